// The graphics window's picture: a backing image and the drawing operations on it.
//
// The operations take logical pixels and world coordinates, as the run draws; the image holds
// `scale` device pixels per logical pixel, so that the same operations give a larger picture
// for a larger window and a crisp one on a screen of high pixel density. Drawing happens in the
// current viewport (a pixel rectangle that clips and translates) with the current palette
// colour and line mask; world coordinates map onto the viewport with y upward. Lines are
// rasterised here pixel by pixel, so that the 16-bit line masks come out exactly (a set bit
// draws a logical pixel, repeating along the line; lines are one logical pixel wide) and
// coordinates that are huge or not numbers are clipped or dropped before they reach any
// integer arithmetic. A Canvas is not thread-safe: its owner serialises the calls.
#pragma once

#include <QFont>
#include <QImage>
#include <QRgb>
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "picture/platform.hpp"

namespace ostrel::gui {

/// The standard 16-colour palette of the window system, by index: 0 black, 1 blue, 2 green,
/// 3 cyan, 4 red, 5 magenta, 6 brown, 7 light grey, 8 dark grey, 9 light blue, 10 light green,
/// 11 light cyan, 12 light red, 13 light magenta, 14 yellow, 15 white (the classic 16-colour
/// text-mode values: 0xAA for the dim, 0x55/0xFF for the bright components).
inline constexpr std::array<QRgb, 16> palette = {
    0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA, 0xFFAA5500, 0xFFAAAAAA,
    0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF, 0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF};

/// The palette colour of an index; indices outside 0..15 are taken modulo 16.
QRgb palette_colour(int index);

/// A fixed-pitch font for an option text such as "h12w6b": the largest pixel size whose
/// character cell fits height h and width w, both times `scale` (other letters are ignored;
/// without h or w the cell 12 x 6). Uses the font database, O(h).
QFont fixed_font(const std::string& options, double scale = 1);

/// Cuts the segment (x0, y0)-(x1, y1) to the box [l, r] x [t, b] (Liang-Barsky); false when
/// nothing of it lies inside or a coordinate is not finite. O(1).
bool clip_line(double& x0, double& y0, double& x1, double& y1, double l, double t, double r,
               double b);

class Canvas {
 public:
  /// A black picture of `size` logical pixels (at least 1 x 1) at `scale` (> 0, asserted)
  /// device pixels each, the whole picture as viewport, the world window (0, 0)-(1, 1),
  /// colour 15, solid lines, font "h12w6".
  explicit Canvas(QSize size, double scale = 1);

  /// The picture in device pixels.
  const QImage& image() const { return image_; }
  double scale() const { return scale_; }
  /// The part of the picture in use: the union of the viewports set so far (of the whole
  /// picture before any), from its top-left corner. A window needs to show only this.
  QSize used() const;

  /// Erases the whole picture, or only the current viewport, to black.
  void clear();
  void clear_viewport();

  /// Drawing from here on is clipped to r (edges included, cut to the picture) and pixel
  /// coordinates count from its top-left corner.
  void set_viewport(const PixelRect& r);
  /// Maps (x1, y1)-(x2, y2) onto the viewport with y upward; refuses (false, mapping kept)
  /// when x1 = x2, y1 = y2 or a corner is not a finite number.
  bool set_world_window(WorldPoint p1, WorldPoint p2);

  void set_colour(int index) { colour_ = palette_colour(index); }
  void set_line_mask(std::uint16_t mask) { mask_ = mask; }
  /// Selects the font of an option text (fixed_font, at the picture's scale).
  void set_font(const std::string& options);

  /// The world point's viewport pixel, truncated toward zero (saturating; not a number: 0).
  PixelPoint world_to_pixels(WorldPoint p) const;

  void move_to(WorldPoint p) { at_ = p; }
  /// Line from the current point to p, which becomes the current point; the mask starts anew.
  void line_to(WorldPoint p);
  /// Counter-clockwise arc of the ellipse inscribed in the world box b1-b2, from the ray
  /// through `start` to the ray through `end` (rays from the box centre); equal rays give the
  /// whole ellipse. Drawn as a polyline fine enough to look round; O(size in pixels).
  void arc(WorldPoint b1, WorldPoint b2, WorldPoint start, WorldPoint end);
  /// Outline of the ellipse inscribed in the world box b1-b2.
  void ellipse(WorldPoint b1, WorldPoint b2);
  /// Fills (in the colour) or outlines (with the line mask) the pixel rectangle p1-p2, edges
  /// included.
  void rectangle(Fill f, PixelPoint p1, PixelPoint p2);

  void move_to_pixels(PixelPoint p) { text_at_ = p; }
  /// Draws text with its top-left corner at the current pixel point, clipped to the viewport.
  void draw_text(const std::string& text);

 private:
  QImage image_;
  double scale_;                    // device pixels per logical pixel
  int thick_;                       // device pixels per logical pixel, whole: a line's width
  PixelRect logical_{};             // the viewport in logical pixels
  double ox_ = 0, oy_ = 0;          // its top-left corner in device pixels
  double vw_ = 0, vh_ = 0;          // its width and height in device pixels
  QRect view_;                      // the viewport cut to the picture, device pixels: the clip
  QRect used_;                      // union of the viewports set, logical, cut to the picture
  WorldPoint w1_{0, 0}, w2_{1, 1};  // the world window
  QRgb colour_;
  std::uint16_t mask_;
  std::string font_options_;
  QFont font_;
  WorldPoint at_{};       // current world point
  PixelPoint text_at_{};  // current pixel point

  // The world point in viewport pixels, unrounded.
  void to_viewport(WorldPoint p, double& x, double& y) const;
  // Line between viewport points (device pixels, unrounded), clipped to the viewport, masked
  // from `phase` on (device pixels along the line, one mask bit per logical pixel; the first
  // pixel left out when `skip_first`, as a polyline's shared vertex); returns the phase after
  // its last pixel.
  int segment(double x0, double y0, double x1, double y1, int phase, bool skip_first);
  // The ellipse of the box from angle a over `sweep` radians counter-clockwise.
  void ellipse_path(WorldPoint b1, WorldPoint b2, double a, double sweep);
  // A line's pixel: a square of thick_ device pixels, clipped to the viewport.
  void plot(int x, int y) {
    for (int j = y; j < y + thick_; ++j) {
      if (j < view_.top() || j > view_.bottom()) continue;
      QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(j));
      for (int i = std::max(x, view_.left()); i < x + thick_ && i <= view_.right(); ++i)
        line[i] = colour_;
    }
  }
};

}  // namespace ostrel::gui
