// The text window's contents: rows of characters written at positions.
//
// Text is written at a cursor (row, column), both counted from 1, and overwrites what stands
// there; the cursor moves on past the text. Rows that were never written are empty. A
// TextPage is not thread-safe: its owner serialises the calls.
#pragma once

#include <QString>
#include <map>
#include <string>

namespace ostrel::gui {

class TextPage {
 public:
  /// Places the cursor; rows and columns below 1 count as 1, columns beyond 4096 as 4096.
  void set_position(int row, int column);
  /// Writes `text` (UTF-8) at the cursor, overwriting, and moves the cursor past it.
  /// O(length of the row).
  void write(const std::string& text);
  /// Erases every row; the cursor goes to (1, 1).
  void clear();

  /// The rows written so far, by number.
  const std::map<int, QString>& rows() const { return rows_; }
  /// The cursor row.
  int row() const { return row_; }
  /// The row as it stands, without trailing blanks (empty when never written).
  QString text(int row) const;
  /// The length of the longest row.
  int width() const { return width_; }

 private:
  std::map<int, QString> rows_;
  int row_ = 1, column_ = 1;
  int width_ = 0;
};

}  // namespace ostrel::gui
