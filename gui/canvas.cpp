#include "gui/canvas.hpp"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

namespace ostrel::gui {

namespace {

// Character cell of a font option text without h or w: 12 pixels high, 6 wide.
constexpr int default_cell_height = 12, default_cell_width = 6;
// Smallest pixel size tried for a font cell that nothing fits.
constexpr int smallest_font_pixels = 4;
// Arcs and ellipses: chords of at most this many pixels of arc length, between these counts.
constexpr double chord_pixels = 2.0;
constexpr int fewest_chords = 8, most_chords = 4096;
// Arc rays closer than this (radians) are one ray: the arc is the whole ellipse.
constexpr double same_ray = 1e-9;
// Pixel coordinates beyond this are nowhere near any picture: text there is not drawn.
constexpr long long far_pixels = 1 << 24;
constexpr double two_pi = 2 * std::numbers::pi;

int saturate(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

// Cuts the segment (x0, y0)-(x1, y1) to the box [l, r] x [t, b] (Liang-Barsky); false when
// nothing of it lies inside.
bool clip(double& x0, double& y0, double& x1, double& y1, double l, double t, double r, double b) {
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

}  // namespace

QRgb palette_colour(int index) {
  return palette[static_cast<std::size_t>(((index % 16) + 16) % 16)];
}

QFont fixed_font(const std::string& options) {
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

Canvas::Canvas(QSize size)
    : image_(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32),
      colour_(palette_colour(15)),
      mask_(static_cast<std::uint16_t>(LineStyle::solid)),
      font_(fixed_font("h12w6")) {
  image_.fill(palette_colour(0));
  set_viewport({0, 0, image_.width() - 1, image_.height() - 1});
  used_ = QRect();
}

QSize Canvas::used() const {
  return used_.isEmpty() ? image_.size() : QSize(used_.right() + 1, used_.bottom() + 1);
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
  origin_ = {r.left, r.top};
  vw_ = r.width();
  vh_ = r.height();
  view_ = QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)).intersected(image_.rect());
  used_ = used_.united(view_);
}

bool Canvas::set_world_window(WorldPoint p1, WorldPoint p2) {
  const bool ok = std::isfinite(p1.x) && std::isfinite(p1.y) && std::isfinite(p2.x) &&
                  std::isfinite(p2.y) && p1.x != p2.x && p1.y != p2.y;
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
  double x, y;
  to_viewport(p, x, y);
  return {saturate(x), saturate(y)};
}

int Canvas::segment(double x0, double y0, double x1, double y1, int phase, bool skip_first) {
  if (view_.isEmpty()) return phase;
  x0 += origin_.x;
  x1 += origin_.x;
  y0 += origin_.y;
  y1 += origin_.y;
  // A pixel is drawn where the line's rounded position falls inside the viewport.
  const double half = 0.5;
  if (!clip(x0, y0, x1, y1, view_.left() - half, view_.top() - half, view_.right() + half,
            view_.bottom() + half))
    return phase;
  int x = static_cast<int>(std::floor(x0 + half)), y = static_cast<int>(std::floor(y0 + half));
  const int xe = static_cast<int>(std::floor(x1 + half)),
            ye = static_cast<int>(std::floor(y1 + half));
  // Bresenham: one pixel per step along the longer axis.
  const int dx = std::abs(xe - x), dy = -std::abs(ye - y);
  const int sx = x < xe ? 1 : -1, sy = y < ye ? 1 : -1;
  int err = dx + dy;
  for (bool first = true;; first = false) {
    if (!(first && skip_first)) {
      if ((mask_ >> (15 - phase)) & 1u) plot(x, y);
      phase = (phase + 1) & 15;
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
  const double cx = (b1.x + b2.x) / 2, cy = (b1.y + b2.y) / 2;
  const double rx = std::fabs(b2.x - b1.x) / 2, ry = std::fabs(b2.y - b1.y) / 2;
  if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(rx) || !std::isfinite(ry)) return;
  const double rpx = rx * std::fabs(vw_ / (w2_.x - w1_.x));
  const double rpy = ry * std::fabs(vh_ / (w2_.y - w1_.y));
  const double chords = std::ceil(sweep * std::max(rpx, rpy) / chord_pixels);
  const int n = std::isfinite(chords) ? std::clamp(static_cast<int>(std::min(chords, 1e6)),
                                                   fewest_chords, most_chords)
                                      : most_chords;
  double px, py;
  to_viewport({cx + rx * std::cos(a), cy + ry * std::sin(a)}, px, py);
  int phase = 0;
  for (int i = 1; i <= n; ++i) {
    const double th = a + sweep * i / n;
    double qx, qy;
    to_viewport({cx + rx * std::cos(th), cy + ry * std::sin(th)}, qx, qy);
    phase = segment(px, py, qx, qy, phase, i > 1);
    px = qx;
    py = qy;
  }
}

void Canvas::arc(WorldPoint b1, WorldPoint b2, WorldPoint start, WorldPoint end) {
  const double cx = (b1.x + b2.x) / 2, cy = (b1.y + b2.y) / 2;
  const double rx = std::fabs(b2.x - b1.x) / 2, ry = std::fabs(b2.y - b1.y) / 2;
  // The ellipse point (rx cos t, ry sin t) lies on the ray (dx, dy) where
  // tan t = (dy / ry) / (dx / rx); written without divisions so flat boxes stay finite.
  const double s = std::atan2((start.y - cy) * rx, (start.x - cx) * ry);
  const double e = std::atan2((end.y - cy) * rx, (end.x - cx) * ry);
  if (!std::isfinite(s) || !std::isfinite(e)) return;
  double sweep = std::fmod(e - s, two_pi);
  if (sweep < 0) sweep += two_pi;
  if (sweep < same_ray || sweep > two_pi - same_ray) sweep = two_pi;
  ellipse_path(b1, b2, s, sweep);
}

void Canvas::ellipse(WorldPoint b1, WorldPoint b2) {
  ellipse_path(b1, b2, 0, two_pi);
}

void Canvas::rectangle(Fill f, PixelPoint p1, PixelPoint p2) {
  if (f == Fill::outline) {
    const double l = std::min(p1.x, p2.x), r = std::max(p1.x, p2.x);
    const double t = std::min(p1.y, p2.y), b = std::max(p1.y, p2.y);
    int phase = segment(l, t, r, t, 0, false);
    phase = segment(r, t, r, b, phase, true);
    phase = segment(r, b, l, b, phase, true);
    segment(l, b, l, t, phase, true);
    return;
  }
  const long long l = origin_.x + static_cast<long long>(std::min(p1.x, p2.x));
  const long long r = origin_.x + static_cast<long long>(std::max(p1.x, p2.x));
  const long long t = origin_.y + static_cast<long long>(std::min(p1.y, p2.y));
  const long long b = origin_.y + static_cast<long long>(std::max(p1.y, p2.y));
  const long long x0 = std::max<long long>(l, view_.left()),
                  x1 = std::min<long long>(r, view_.right());
  const long long y0 = std::max<long long>(t, view_.top()),
                  y1 = std::min<long long>(b, view_.bottom());
  for (long long y = y0; y <= y1; ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(y)));
    for (long long x = x0; x <= x1; ++x)
      line[x] = colour_;
  }
}

void Canvas::draw_text(const std::string& text) {
  const long long x = origin_.x + static_cast<long long>(text_at_.x);
  const long long y = origin_.y + static_cast<long long>(text_at_.y);
  if (view_.isEmpty() || std::llabs(x) > far_pixels || std::llabs(y) > far_pixels) return;
  QPainter p(&image_);
  p.setClipRect(view_);
  p.setFont(font_);
  p.setPen(QColor::fromRgb(colour_));
  p.drawText(QPoint(static_cast<int>(x), static_cast<int>(y) + QFontMetrics(font_).ascent()),
             QString::fromStdString(text));
}

}  // namespace ostrel::gui
