// The window-system operations the windowed program draws and writes with.
//
// The window set-up, the text rows and the plots are written against this one interface, so
// that they run (and are tested) without a window system; the windowed program binds it to a
// real one. The operations act on the current window (see activate) and, for drawing, on its
// current viewport: pixel coordinates are relative to the viewport's top-left corner, world
// coordinates follow the world window last set. Nothing here keeps state of its own.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace ostrel {

/// Window numbers of the operations: the frame window, the default child window the window
/// system opens with the program, and the units of the text and graphics windows.
inline constexpr int frame_window = -1;
inline constexpr int default_unit = 0;
inline constexpr int text_unit = 10;
inline constexpr int graphics_unit = 20;

/// Index into the window system's standard 16-colour palette; the names are the ones used.
enum class Colour : int {
  black = 0,
  blue = 1,
  green = 2,
  light_grey = 7,
  dark_grey = 8,
  light_red = 12,
  light_magenta = 13,
  yellow = 14,
  white = 15,
};

/// 16-bit line mask: a set bit draws a pixel, repeating along the line.
enum class LineStyle : std::uint16_t {
  dotted = 0x8888,
  solid = 0xFFFF,
};

/// Pixel width and height of a window.
struct PixelSize {
  int w = 0, h = 0;
};

/// A point in viewport pixels, x to the right and y downward from the top-left corner.
struct PixelPoint {
  int x = 0, y = 0;
};

/// A point in world coordinates, y upward.
struct WorldPoint {
  double x = 0, y = 0;
};

/// A pixel rectangle of a window (edges included), left <= right and top <= bottom.
struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

/// Fill or outline, for rectangle().
enum class Fill { filled, outline };

/// Thrown by a platform operation when the user has closed the frame window during a run: the
/// run ends at once, releasing everything it holds on the way out.
struct RunCancelled {};

/// The window system as the windowed program sees it. World coordinates handed to the drawing
/// operations may lie far outside the world window, be huge or not be numbers (a singular
/// system gives such densities); an implementation clips them or draws nothing, and must not
/// fail on them.
class Platform {
 public:
  virtual ~Platform() = default;

  /// Stores a text of at most 512 characters that the application's About box shows.
  virtual void set_about_text(const std::string& text) = 0;
  /// Maximises the frame window (frame_window) or the child window of a unit.
  virtual void maximise_window(int unit) = 0;
  /// Gives the pixel width and height of the current child window.
  virtual PixelSize query_window_size() = 0;
  /// Closes the default child window (default_unit).
  virtual void close_default_window() = 0;
  /// Opens a child window for a unit with a title and makes it the current window; unit 10 is
  /// the text window, unit 20 the graphics window.
  virtual void open_window(int unit, const std::string& title) = 0;
  /// Arranges the child windows side by side.
  virtual void tile_windows() = 0;
  /// Selects the font of an option text ("h12w6b": character height 12, width 6 pixels).
  virtual void set_font(const std::string& options) = 0;
  /// Erases the whole current window.
  virtual void clear_window() = 0;
  /// Erases the current viewport only.
  virtual void clear_viewport() = 0;
  /// Makes the window of a unit the current one for drawing and text.
  virtual void activate(int unit) = 0;
  /// Clips and translates drawing to a pixel rectangle of the current window.
  virtual void set_viewport(const PixelRect& r) = 0;
  /// Maps the world rectangle (x1, y1)-(x2, y2) onto the viewport, y increasing upward; returns
  /// false (and keeps the previous mapping) when x1 = x2 or y1 = y2.
  virtual bool set_world_window(WorldPoint p1, WorldPoint p2) = 0;
  /// Chooses the palette colour of what follows.
  virtual void set_colour(Colour c) = 0;
  /// Chooses the line mask of what follows.
  virtual void set_line_style(LineStyle s) = 0;
  /// Moves the current point to a world point.
  virtual void move_to(WorldPoint p) = 0;
  /// Draws a line from the current point to a world point, which becomes the current point.
  virtual void line_to(WorldPoint p) = 0;
  /// Draws counter-clockwise the arc of the ellipse inscribed in the world box with corners b1
  /// and b2, from the ray through `start` to the ray through `end` (rays from the box centre).
  virtual void arc(WorldPoint b1, WorldPoint b2, WorldPoint start, WorldPoint end) = 0;
  /// Draws the outline of the ellipse inscribed in the world box with corners b1 and b2.
  virtual void ellipse(WorldPoint b1, WorldPoint b2) = 0;
  /// Fills or outlines the pixel rectangle with corners p1 and p2.
  virtual void rectangle(Fill f, PixelPoint p1, PixelPoint p2) = 0;
  /// Converts a world point to viewport pixels (truncating toward zero).
  virtual PixelPoint world_to_pixels(WorldPoint p) = 0;
  /// Moves the current point to a pixel point.
  virtual void move_to_pixels(PixelPoint p) = 0;
  /// Draws text at the current point in the current font and colour.
  virtual void draw_text(const std::string& text) = 0;
  /// Places the text cursor of the text window at (row, column), both 1-based.
  virtual void set_text_position(int row, int column) = 0;
  /// Writes a string (its whole length) at the text cursor.
  virtual void write_text(const std::string& text) = 0;
  /// Lets the user pick the input file in a file-selection dialog; returns its name, or an
  /// empty text when none was chosen.
  virtual std::string select_input_file() = 0;
  /// Shows a modal box with a text and a caption (the program's boxes report errors and carry
  /// the error icon) and returns when the user has closed it.
  virtual void message_box(const std::string& text, const std::string& caption) = 0;
  /// Receives the matrix the run reports (column-major, m x m, in its units) with the label
  /// the text window shows above it, so that a window system can offer it for copying at full
  /// precision. Does nothing unless overridden.
  virtual void report_matrix(const std::string& label, std::span<const double> a, int m) {
    (void)label, (void)a, (void)m;
  }
};

}  // namespace ostrel
