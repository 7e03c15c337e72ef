// The text window's contents: rows of characters written at positions.
//
// Text is written at a cursor (row, column), both counted from 1, and overwrites what stands
// there; the cursor moves on past the text. Rows that were never written are empty. A
// TextPage is not thread-safe: its owner serialises the calls.
#pragma once

#include <QString>
#include <cstdint>
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

  /// Counts the writes: a row's version is the count after its last write, so a window that
  /// shows the page updates only the rows newer than what it shows.
  std::uint64_t version() const { return version_; }
  std::uint64_t row_version(int row) const;
  /// Counts the clears.
  std::uint64_t clears() const { return clears_; }
  /// The row written last (0 before any write).
  int last_written() const { return last_written_; }
  /// The page as plain text: rows 1 to the last, without trailing blanks, each ended by a
  /// line end.
  QString plain_text() const;

 private:
  std::map<int, QString> rows_;
  std::map<int, std::uint64_t> versions_;
  int row_ = 1, column_ = 1;
  int width_ = 0;
  std::uint64_t version_ = 0, clears_ = 0;
  int last_written_ = 0;
};

}  // namespace ostrel::gui
