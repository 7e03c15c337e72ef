#include "gui/text_page.hpp"

#include <algorithm>

namespace ostrel::gui {

namespace {

// Columns beyond this are cut back to it: no window is that wide, and a wild position must not
// make a row of gigabytes.
constexpr int last_column = 4096;

}  // namespace

void TextPage::set_position(int row, int column) {
  row_ = std::max(row, 1);
  column_ = std::clamp(column, 1, last_column);
}

void TextPage::write(const std::string& text) {
  const QString t = QString::fromStdString(text);
  QString& row = rows_[row_];
  const int at = column_ - 1;
  if (row.size() < at + t.size()) row = row.leftJustified(at + t.size(), QLatin1Char(' '));
  row.replace(at, t.size(), t);
  column_ = std::min(column_ + static_cast<int>(t.size()), last_column);
  width_ = std::max(width_, static_cast<int>(row.size()));
  versions_[row_] = ++version_;
  last_written_ = row_;
}

void TextPage::clear() {
  rows_.clear();
  versions_.clear();
  row_ = column_ = 1;
  width_ = 0;
  last_written_ = 0;
  ++clears_;
}

std::uint64_t TextPage::row_version(int row) const {
  const auto it = versions_.find(row);
  return it == versions_.end() ? 0 : it->second;
}

QString TextPage::plain_text() const {
  QString s;
  const int last = rows_.empty() ? 0 : rows_.rbegin()->first;
  for (int r = 1; r <= last; ++r)
    s += text(r) + QLatin1Char('\n');
  return s;
}

QString TextPage::text(int row) const {
  const auto it = rows_.find(row);
  if (it == rows_.end()) return {};
  QString s = it->second;
  while (s.endsWith(QLatin1Char(' ')))
    s.chop(1);
  return s;
}

}  // namespace ostrel::gui
