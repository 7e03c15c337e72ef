// Reader of free-format ("list-directed") input groups.
//
// Rules: every group starts on a new line; values are separated by blanks, commas or line ends
// and a group continues over as many lines as it needs; a slash ends the group early and leaves
// the remaining items unchanged; two consecutive commas (or a comma opening the group) leave
// one item unchanged; r*value stands for r copies of value and r* for r unchanged items;
// integers are whole numbers; reals may use E or D exponents or be whole numbers; after the last
// value of a group the rest of its line is skipped; a group without items consumes exactly one
// line. A malformed value stops the run with a message naming the file and the line.
//
// The reader works character by character on the stream buffer and keeps at most one token
// (bounded in length) in memory, so no input can make it allocate without bound.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <istream>
#include <string>
#include <variant>

namespace ostrel {

/// One item of a group: where to store the value.
using Item = std::variant<int*, double*, std::string*>;

class ListReader {
 public:
  /// Reads from `in`; `name` is the file name used in error messages.
  ListReader(std::istream& in, std::string name);

  /// Reads the next line as text, keeping its first `keep` characters (blank-padded to `keep`).
  /// Returns false at the end of the file.
  bool read_line(std::string& text, std::size_t keep);

  /// Skips the next line. Returns false when the file has ended before a line could be read.
  bool skip_line();

  /// Reads one group into `items`. Returns false when the end of the file is met before the
  /// group is complete (items read so far keep their new values). A group without items
  /// consumes one line. A malformed value stops the run.
  bool read_group(std::initializer_list<Item> items);

  /// 1-based number of the line being read (for messages).
  long line() const { return line_ + 1; }
  const std::string& name() const { return name_; }

  /// Stops the run with a platform error report naming the file and the current line.
  [[noreturn]] void fail(const std::string& what) const;

 private:
  int peek();
  void bump();
  void skip_rest_of_line();
  bool read_token(std::string& token);
  void assign(const Item& item, const std::string& value);

  std::streambuf* buf_;
  std::string name_;
  long line_ = 0;
};

/// Longest token (number or text) the reader accepts.
inline constexpr std::size_t max_token_length = 4096;

}  // namespace ostrel
