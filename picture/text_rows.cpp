#include "picture/text_rows.hpp"

#include <cassert>

namespace ostrel {

void TextRow::advance(int rows) {
  assert(rows >= 0);
  row += rows;
}

void status_line(Platform& p, TextRow& r, const std::string& text, int advance) {
  p.set_text_position(r.row, text_column);
  p.write_text(text);
  r.advance(advance);
}

void progress_line(Platform& p, const TextRow& r, const std::string& text) {
  p.set_text_position(r.row, text_column);
  p.write_text(text);
}

}  // namespace ostrel
