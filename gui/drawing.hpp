// A graphics window's picture as the list of drawing operations that made it.
//
// The run's thread only records what it draws (a few words per operation, no pixels), and the
// window thread renders the record at whatever size and pixel density the window has, as often
// as it is resized, or writes it out as a vector picture. Operations are kept in segments, one
// per viewport set, each starting with the complete drawing state, so that clearing a viewport
// or the whole window can drop what it erases: the record stays as long as what the picture
// shows, not as long as the run. Coordinates are the run's: logical pixels of a picture of the
// size the window had when the run started, and world coordinates.
#pragma once

#include <QSize>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "picture/platform.hpp"

namespace ostrel::gui {

/// What one recorded operation does; the operands are in DrawOp.
enum class OpKind : std::uint8_t {
  clear,           ///< erase the whole picture
  clear_viewport,  ///< erase the current viewport
  colour,          ///< i: palette index
  line_style,      ///< i: line mask
  font,            ///< text: font option text
  move,            ///< a: world point
  line,            ///< a: world point
  arc,             ///< a, b: box corners; followed by arc_rays
  arc_rays,        ///< a, b: start and end points of the arc before it
  ellipse,         ///< a, b: box corners
  rectangle,       ///< i: Fill; a, b: pixel corners
  move_pixels,     ///< a: pixel point
  text,            ///< text: drawn at the current pixel point
};

struct DrawOp {
  explicit DrawOp(OpKind k, int i_ = 0, WorldPoint a_ = {}, WorldPoint b_ = {},
                  std::string text_ = {})
      : kind(k), i(i_), a(a_), b(b_), text(std::move(text_)) {}
  OpKind kind;
  int i;
  WorldPoint a, b;
  std::string text;
};

/// Everything a drawing operation depends on besides its operands.
struct DrawState {
  PixelRect view;                 ///< viewport
  WorldPoint w1{0, 0}, w2{1, 1};  ///< world window
  int colour = 15;                ///< palette index
  std::uint16_t mask = 0xFFFF;    ///< line mask
  std::string font = "h12w6";     ///< font option text
  WorldPoint at{};                ///< current world point
  PixelPoint text_at{};           ///< current pixel point
};

/// The run of operations drawn in one viewport, with the state they start from.
struct Segment {
  DrawState start;
  std::vector<DrawOp> ops;
};

/// The viewport pixel of a world point under a state's viewport and world window, unrounded
/// (y downward). Shared by the canvas and the run's world-to-pixel answers, so they agree.
inline void world_to_view(const DrawState& s, WorldPoint p, double& x, double& y) {
  x = (p.x - s.w1.x) * s.view.width() / (s.w2.x - s.w1.x);
  y = (s.w2.y - p.y) * s.view.height() / (s.w2.y - s.w1.y);
}

/// Follows an operation's effect on the drawing state: the colour, line mask, font and the
/// current world and pixel points (clears and drawings leave it as it is). The one rule for
/// the recording and the SVG writer. O(1) but the font text's copy.
void follow(DrawState& s, const DrawOp& op);

/// True when (p1, p2) can be a world window: finite corners, x1 != x2 and y1 != y2.
bool valid_world_window(WorldPoint p1, WorldPoint p2);

/// Truncation toward zero to int, saturating; not a number gives 0.
int saturate(double v);

/// The recorded picture of one graphics window. Not thread-safe: its owner serialises calls.
class Drawing {
 public:
  /// An empty black picture of `size` logical pixels (at least 1 x 1), the whole picture as
  /// viewport.
  explicit Drawing(QSize size);

  QSize size() const { return size_; }
  /// The union of the viewports set so far from the picture's top-left corner (the whole
  /// picture before any): the part a window needs to show.
  QSize used() const;

  /// Records an operation and follows its effect on the state. Clearing drops the segments it
  /// erases: a whole-window clear all of them, a viewport clear those whose viewport lies
  /// inside the current one. O(1) amortised, a clear O(segments).
  void add(DrawOp op);
  /// Sets the viewport: a new segment. O(1) amortised.
  void set_viewport(const PixelRect& r);
  /// Sets the world window when valid_world_window(); returns whether it did.
  bool set_world_window(WorldPoint p1, WorldPoint p2);

  /// The state after the last operation.
  const DrawState& state() const { return now_; }
  const std::vector<Segment>& segments() const { return segments_; }
  /// Grows whenever operations were dropped, so that an incremental renderer starts again.
  std::uint64_t generation() const { return generation_; }
  /// Operations recorded so far in all segments.
  std::size_t count() const;

 private:
  QSize size_;
  DrawState now_;
  std::vector<Segment> segments_;
  PixelRect used_{};
  bool any_viewport_ = false;
  std::uint64_t generation_ = 0;

  // Operations from here on start from the state now: a new segment, or the last one's start
  // when it holds none yet.
  void start_segment();
};

/// A whole turn, radians: the sweep of an ellipse.
inline constexpr double two_pi = 2 * std::numbers::pi;

/// The ellipse inscribed in a world box: its centre and semi-axes.
struct BoxEllipse {
  double cx, cy, rx, ry;
  /// The ellipse point of parameter t (radians, counter-clockwise from the +x semi-axis).
  WorldPoint at(double t) const { return {cx + rx * std::cos(t), cy + ry * std::sin(t)}; }
};

/// The ellipse inscribed in the box with corners b1 and b2 (in either order). O(1).
inline BoxEllipse box_ellipse(WorldPoint b1, WorldPoint b2) {
  return {(b1.x + b2.x) / 2, (b1.y + b2.y) / 2, std::fabs(b2.x - b1.x) / 2,
          std::fabs(b2.y - b1.y) / 2};
}

/// Start angle and counter-clockwise sweep (radians) of an elliptic arc, in the parameter t of
/// the ellipse point (rx cos t, ry sin t) about the centre of its box.
struct ArcAngles {
  double start = 0, sweep = two_pi;
};

/// The arc of the ellipse in the box with corners b1 and b2 from the ray through `start` to the
/// ray through `end` (counter-clockwise, as the platform's arc operation draws it); rays closer
/// than 1e-9 radians give the whole ellipse. False (and `out` untouched) where the box or the
/// points make the angles not finite. O(1).
bool arc_angles(WorldPoint b1, WorldPoint b2, WorldPoint start, WorldPoint end, ArcAngles& out);

class Canvas;

/// Where an incremental rendering of a drawing stands.
struct RenderMark {
  std::uint64_t generation = ~std::uint64_t{0};
  std::size_t segment = 0, op = 0;
};

/// Renders onto `canvas` what `d` recorded since `mark` (everything, on a black picture, when
/// the drawing dropped operations since or the mark is new) and moves the mark to the end.
/// O(operations rendered).
void render(const Drawing& d, Canvas& canvas, RenderMark& mark);

}  // namespace ostrel::gui
