#include "gui/canvas.hpp"

#include "gui/drawing.hpp"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cassert>
#include <cctype>
#include <cmath>

namespace ostrel::gui {

namespace {

// Character cell of a font option text without h or w: 12 pixels high, 6 wide.
constexpr int default_cell_height = 12, default_cell_width = 6;
// Smallest pixel size tried for a font cell that nothing fits.
constexpr int smallest_font_pixels = 4;
// Arcs and ellipses: chords of at most this many pixels of arc length, between these counts.
constexpr double chord_pixels = 2.0;
constexpr int fewest_chords = 8, most_chords = 4096;
// Pixel coordinates beyond this are nowhere near any picture: text there is not drawn.
constexpr long long far_pixels = 1 << 24;

}  // namespace

bool clip_line(double& x0, double& y0, double& x1, double& y1, double l, double t, double r,
               double b) {
  double lo = 0, hi = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - l, r - x0, y0 - t, b - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double u = q[i] / p[i];
    if (p[i] < 0)
      lo = std::max(lo, u);
    else
      hi = std::min(hi, u);
    if (lo > hi) return false;
  }
  const double ax = x0 + lo * dx, ay = y0 + lo * dy;
  x1 = x0 + hi * dx;
  y1 = y0 + hi * dy;
  x0 = ax;
  y0 = ay;
  return std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1);
}

QRgb palette_colour(int index) {
  return palette[static_cast<std::size_t>(((index % 16) + 16) % 16)];
}

QFont fixed_font(const std::string& options, double scale) {
  int h = default_cell_height, w = default_cell_width;
  for (std::size_t i = 0; i + 1 < options.size(); ++i) {
    const char c = options[i];
    if ((c != 'h' && c != 'w') || !std::isdigit(static_cast<unsigned char>(options[i + 1])))
      continue;
    int v = 0;
    std::size_t j = i + 1;
    for (; j < options.size() && std::isdigit(static_cast<unsigned char>(options[j])) && v < 1000;
         ++j)
      v = v * 10 + (options[j] - '0');
    (c == 'h' ? h : w) = std::max(v, 1);
    i = j - 1;
  }
  h = std::max(1, static_cast<int>(std::lround(h * scale)));
  w = std::max(1, static_cast<int>(std::lround(w * scale)));
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setStyleHint(QFont::Monospace);
  f.setFixedPitch(true);
  // Plain pixels in palette colours, as a 16-colour window shows them.
  f.setStyleStrategy(QFont::NoAntialias);
  for (int px = std::max(h, smallest_font_pixels); px > smallest_font_pixels; --px) {
    f.setPixelSize(px);
    const QFontMetrics m(f);
    if (m.height() <= h && m.horizontalAdvance(QLatin1Char('0')) <= w) return f;
  }
  f.setPixelSize(smallest_font_pixels);
  return f;
}

Canvas::Canvas(QSize size, double scale)
    : image_(QSize(std::max(1, static_cast<int>(std::ceil(std::max(size.width(), 1) * scale))),
                   std::max(1, static_cast<int>(std::ceil(std::max(size.height(), 1) * scale)))),
             QImage::Format_RGB32),
      scale_(scale),
      thick_(std::max(1, static_cast<int>(std::lround(scale)))),
      colour_(palette_colour(15)),
      mask_(static_cast<std::uint16_t>(LineStyle::solid)) {
  assert(scale > 0);
  image_.fill(palette_colour(0));
  set_font("h12w6");
  set_viewport({0, 0, std::max(size.width(), 1) - 1, std::max(size.height(), 1) - 1});
  used_ = QRect();
}

void Canvas::set_font(const std::string& options) {
  if (options == font_options_) return;
  font_options_ = options;
  font_ = fixed_font(options, scale_);
}

QSize Canvas::used() const {
  if (!used_.isEmpty()) return QSize(used_.right() + 1, used_.bottom() + 1);
  return QSize(logical_.right + 1, logical_.bottom + 1).expandedTo(QSize(1, 1));
}

void Canvas::clear() {
  image_.fill(palette_colour(0));
}

void Canvas::clear_viewport() {
  if (view_.isEmpty()) return;
  QPainter p(&image_);
  p.fillRect(view_, QColor::fromRgb(palette_colour(0)));
}

void Canvas::set_viewport(const PixelRect& r) {
  logical_ = r;
  ox_ = r.left * scale_;
  oy_ = r.top * scale_;
  vw_ = r.width() * scale_;
  vh_ = r.height() * scale_;
  // Device pixels: from the left edge's first to the right edge's last (a line is thick_ wide).
  const auto dev = [&](int v, int extra) {
    return static_cast<int>(std::clamp(std::floor(v * scale_) + extra, -1e9, 1e9));
  };
  view_ = QRect(QPoint(dev(r.left, 0), dev(r.top, 0)),
                QPoint(dev(r.right, thick_ - 1), dev(r.bottom, thick_ - 1)))
              .intersected(image_.rect());
  const QRect logical_rect = QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
  used_ = used_.united(logical_rect.intersected(
      QRect(QPoint(0, 0), QSize(static_cast<int>(image_.width() / scale_),
                                static_cast<int>(image_.height() / scale_)))));
}

bool Canvas::set_world_window(WorldPoint p1, WorldPoint p2) {
  const bool ok = valid_world_window(p1, p2);
  if (ok) {
    w1_ = p1;
    w2_ = p2;
  }
  return ok;
}

void Canvas::to_viewport(WorldPoint p, double& x, double& y) const {
  x = (p.x - w1_.x) * vw_ / (w2_.x - w1_.x);
  y = (w2_.y - p.y) * vh_ / (w2_.y - w1_.y);
}

PixelPoint Canvas::world_to_pixels(WorldPoint p) const {
  DrawState s;
  s.view = logical_;
  s.w1 = w1_;
  s.w2 = w2_;
  double x, y;
  world_to_view(s, p, x, y);
  return {saturate(x), saturate(y)};
}

int Canvas::segment(double x0, double y0, double x1, double y1, int phase, bool skip_first) {
  if (view_.isEmpty()) return phase;
  x0 += ox_;
  x1 += ox_;
  y0 += oy_;
  y1 += oy_;
  // A pixel is drawn where the line's rounded position falls inside the viewport.
  const double half = 0.5;
  if (!clip_line(x0, y0, x1, y1, view_.left() - half, view_.top() - half, view_.right() + half,
                 view_.bottom() + half))
    return phase;
  int x = static_cast<int>(std::floor(x0 + half)), y = static_cast<int>(std::floor(y0 + half));
  const int xe = static_cast<int>(std::floor(x1 + half)),
            ye = static_cast<int>(std::floor(y1 + half));
  // Bresenham: one pixel per step along the longer axis.
  const int dx = std::abs(xe - x), dy = -std::abs(ye - y);
  const int sx = x < xe ? 1 : -1, sy = y < ye ? 1 : -1;
  int err = dx + dy;
  const int period = 16 * thick_;
  for (bool first = true;; first = false) {
    if (!(first && skip_first)) {
      if ((mask_ >> (15 - phase / thick_)) & 1u) plot(x, y);
      phase = (phase + 1) % period;
    }
    if (x == xe && y == ye) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
  return phase;
}

void Canvas::line_to(WorldPoint p) {
  double x0, y0, x1, y1;
  to_viewport(at_, x0, y0);
  to_viewport(p, x1, y1);
  segment(x0, y0, x1, y1, 0, false);
  at_ = p;
}

void Canvas::ellipse_path(WorldPoint b1, WorldPoint b2, double a, double sweep) {
  const BoxEllipse el = box_ellipse(b1, b2);
  if (!std::isfinite(el.cx) || !std::isfinite(el.cy) || !std::isfinite(el.rx) ||
      !std::isfinite(el.ry))
    return;
  const double rpx = el.rx * std::fabs(vw_ / (w2_.x - w1_.x));
  const double rpy = el.ry * std::fabs(vh_ / (w2_.y - w1_.y));
  const double chords = std::ceil(sweep * std::max(rpx, rpy) / chord_pixels);
  const int n = std::isfinite(chords) ? std::clamp(static_cast<int>(std::min(chords, 1e6)),
                                                   fewest_chords, most_chords)
                                      : most_chords;
  double px, py;
  to_viewport(el.at(a), px, py);
  int phase = 0;
  for (int i = 1; i <= n; ++i) {
    const double th = a + sweep * i / n;
    double qx, qy;
    to_viewport(el.at(th), qx, qy);
    phase = segment(px, py, qx, qy, phase, i > 1);
    px = qx;
    py = qy;
  }
}

void Canvas::arc(WorldPoint b1, WorldPoint b2, WorldPoint start, WorldPoint end) {
  if (ArcAngles a; arc_angles(b1, b2, start, end, a)) ellipse_path(b1, b2, a.start, a.sweep);
}

void Canvas::ellipse(WorldPoint b1, WorldPoint b2) {
  ellipse_path(b1, b2, 0, two_pi);
}

void Canvas::rectangle(Fill f, PixelPoint p1, PixelPoint p2) {
  const double l = std::min(p1.x, p2.x), r = std::max(p1.x, p2.x);
  const double t = std::min(p1.y, p2.y), b = std::max(p1.y, p2.y);
  if (f == Fill::outline) {
    int phase = segment(l * scale_, t * scale_, r * scale_, t * scale_, 0, false);
    phase = segment(r * scale_, t * scale_, r * scale_, b * scale_, phase, true);
    phase = segment(r * scale_, b * scale_, l * scale_, b * scale_, phase, true);
    segment(l * scale_, b * scale_, l * scale_, t * scale_, phase, true);
    return;
  }
  // Device pixels from the first of the left edge to the last of the right one, clipped.
  const double x0 = std::max(std::floor(ox_ + l * scale_), static_cast<double>(view_.left()));
  const double x1 =
      std::min(std::floor(ox_ + r * scale_) + thick_ - 1, static_cast<double>(view_.right()));
  const double y0 = std::max(std::floor(oy_ + t * scale_), static_cast<double>(view_.top()));
  const double y1 =
      std::min(std::floor(oy_ + b * scale_) + thick_ - 1, static_cast<double>(view_.bottom()));
  for (int y = static_cast<int>(y0); y <= y1; ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
    for (int x = static_cast<int>(x0); x <= x1; ++x)
      line[x] = colour_;
  }
}

void Canvas::draw_text(const std::string& text) {
  const double dx = std::floor(ox_ + text_at_.x * scale_),
               dy = std::floor(oy_ + text_at_.y * scale_);
  if (view_.isEmpty() || std::fabs(dx) > far_pixels || std::fabs(dy) > far_pixels) return;
  const int x = static_cast<int>(dx), y = static_cast<int>(dy);
  QPainter p(&image_);
  p.setClipRect(view_);
  p.setFont(font_);
  p.setPen(QColor::fromRgb(colour_));
  p.drawText(QPoint(x, y + QFontMetrics(font_).ascent()), QString::fromStdString(text));
}

}  // namespace ostrel::gui
