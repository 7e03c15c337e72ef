#include "picture/windows.hpp"

namespace ostrel {

namespace {

// Layout of the graphics window: the plots take 19/40 of the width (the graphics window is the
// left one of two tiled child windows), the cross-section the upper 4/10 of the height and the
// charge densities the next 4/10, with small gaps in pixels around and between them.
constexpr int width_num = 19, width_den = 40;
constexpr int upper_num = 4, lower_num = 8, height_den = 10;
constexpr int edge = 2;       // gap to the window's left and top edges and to the right end
constexpr int between = 4;    // gap between the two viewports
constexpr int lower_gap = 2;  // gap below the lower viewport

}  // namespace

WindowLayout window_layout(PixelSize s) {
  WindowLayout sc;
  sc.size = s;
  const int right = width_num * s.w / width_den - edge;
  sc.upper = {edge, edge, right, upper_num * s.h / height_den};
  sc.lower = {edge, upper_num * s.h / height_den + between, right,
              lower_num * s.h / height_den - lower_gap};
  return sc;
}

WindowLayout window_setup(Platform& p, const std::string& about) {
  p.set_about_text(about.substr(0, about_text_limit));
  p.maximise_window(frame_window);
  const PixelSize size = p.query_window_size();
  p.maximise_window(default_unit);
  p.close_default_window();
  const WindowLayout sc = window_layout(size);
  p.open_window(graphics_unit, graphics_window_title);
  p.set_font(plot_font);
  p.clear_window();
  p.open_window(text_unit, text_window_title);
  p.clear_window();
  p.tile_windows();
  return sc;
}

}  // namespace ostrel
