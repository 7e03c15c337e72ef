// A window system for the tests: records every platform operation as one readable text line.
//
// Tests compare the recorded operation sequences. World coordinates are written with 12
// significant digits (enough to tell every value the plots compute apart, and free of the last
// bits that the mathematical library may round either way); the last world window is also kept
// exactly. World-to-pixel conversion uses the current viewport and world window, y upward,
// truncating toward zero; a world window with x1 = x2 or y1 = y2 is refused.
#pragma once

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "picture/platform.hpp"

namespace ostrel::testing {

class RecordingPlatform : public Platform {
 public:
  explicit RecordingPlatform(PixelSize size = {851, 505}) : size_(size) {}

  std::vector<std::string> lines;  ///< one line per operation, in call order
  WorldPoint world1, world2;       ///< the world window last accepted

  /// The recorded lines joined with line ends.
  std::string text() const {
    std::string s;
    for (const auto& l : lines)
      s += l + "\n";
    return s;
  }

  /// A world coordinate as recorded: 12 significant digits, negative zero as 0.
  static std::string num(double v) {
    if (v == 0) v = 0;  // drops the sign of -0
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.12g", v);
    return buf;
  }

  void set_about_text(const std::string& text) override { add("about " + text); }
  void maximise_window(int unit) override {
    add("maximise " + (unit == frame_window ? std::string("frame") : std::to_string(unit)));
  }
  PixelSize query_window_size() override {
    add("size " + std::to_string(size_.w) + " " + std::to_string(size_.h));
    return size_;
  }
  void close_default_window() override { add("close default"); }
  void open_window(int unit, const std::string& title) override {
    add("open " + std::to_string(unit) + " " + title);
  }
  void tile_windows() override { add("tile"); }
  void set_font(const std::string& options) override { add("font " + options); }
  void clear_window() override { add("clear window"); }
  void clear_viewport() override { add("clear viewport"); }
  void activate(int unit) override { add("activate " + std::to_string(unit)); }
  void set_viewport(const PixelRect& r) override {
    viewport_ = r;
    add("viewport " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
        std::to_string(r.right) + " " + std::to_string(r.bottom));
  }
  bool set_world_window(WorldPoint p1, WorldPoint p2) override {
    const bool ok = p1.x != p2.x && p1.y != p2.y;
    add("world " + pt(p1) + " " + pt(p2) + (ok ? "" : " refused"));
    if (ok) {
      world1 = p1;
      world2 = p2;
    }
    return ok;
  }
  void set_colour(Colour c) override { add("colour " + std::to_string(static_cast<int>(c))); }
  void set_line_style(LineStyle s) override {
    char buf[16];
    std::snprintf(buf, sizeof buf, "style %04X", static_cast<unsigned>(s));
    add(buf);
  }
  void move_to(WorldPoint p) override { add("move " + pt(p)); }
  void line_to(WorldPoint p) override { add("line " + pt(p)); }
  void arc(WorldPoint b1, WorldPoint b2, WorldPoint s, WorldPoint e) override {
    add("arc " + pt(b1) + " " + pt(b2) + " " + pt(s) + " " + pt(e));
  }
  void ellipse(WorldPoint b1, WorldPoint b2) override { add("ellipse " + pt(b1) + " " + pt(b2)); }
  void rectangle(Fill f, PixelPoint p1, PixelPoint p2) override {
    add((f == Fill::filled ? "fill " : "outline ") + px(p1) + " " + px(p2));
  }
  PixelPoint world_to_pixels(WorldPoint p) override {
    const double w = viewport_.width(), h = viewport_.height();
    const PixelPoint q{trunc((p.x - world1.x) * w / (world2.x - world1.x)),
                       trunc((world2.y - p.y) * h / (world2.y - world1.y))};
    add("pixels " + pt(p) + " -> " + px(q));
    return q;
  }
  void move_to_pixels(PixelPoint p) override { add("pmove " + px(p)); }
  void draw_text(const std::string& text) override { add("text " + text); }
  void set_text_position(int row, int column) override {
    add("textpos " + std::to_string(row) + " " + std::to_string(column));
    cursor_row_ = row;
    cursor_column_ = column;
  }
  void write_text(const std::string& text) override {
    add("write " + text);
    // The text window: the string overwrites the characters from the cursor on.
    std::string& row = rows_[cursor_row_];
    const std::size_t at = static_cast<std::size_t>(cursor_column_ > 0 ? cursor_column_ - 1 : 0);
    if (row.size() < at + text.size()) row.resize(at + text.size(), ' ');
    row.replace(at, text.size(), text);
    cursor_column_ += static_cast<int>(text.size());
  }
  std::string select_input_file() override {
    add("dialog");
    return chosen_file;
  }
  void message_box(const std::string& text, const std::string& caption) override {
    add("message " + caption + ": " + text);
  }

  /// The name select_input_file() returns (empty: the user chose none).
  std::string chosen_file;

  /// The text window as it stands: its rows from 1 to the last written, each without trailing
  /// blanks, joined with line ends.
  std::string text_window() const {
    std::string s;
    const int last = rows_.empty() ? 0 : rows_.rbegin()->first;
    for (int r = 1; r <= last; ++r) {
      auto it = rows_.find(r);
      std::string row = it == rows_.end() ? "" : it->second;
      row.erase(row.find_last_not_of(' ') + 1);
      s += row + "\n";
    }
    return s;
  }

 private:
  PixelSize size_;
  PixelRect viewport_;
  std::map<int, std::string> rows_;  // the text window's rows by number
  int cursor_row_ = 1, cursor_column_ = 1;

  void add(std::string s) { lines.push_back(std::move(s)); }
  static std::string pt(WorldPoint p) { return num(p.x) + " " + num(p.y); }
  static std::string px(PixelPoint p) { return std::to_string(p.x) + " " + std::to_string(p.y); }
  // Truncation toward zero, saturating; not a number gives 0.
  static int trunc(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
  }
};

}  // namespace ostrel::testing
