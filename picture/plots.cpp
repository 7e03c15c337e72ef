#include "picture/plots.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <string>

#include "base/fields.hpp"
#include "base/halt.hpp"

namespace ostrel {

namespace {

// Label boxes in pixels: one digit needs 5 columns, two need 10; both are 10 rows high.
constexpr int label_width_one = 5;
constexpr int label_width_two = 10;
constexpr int label_height = 10;
// Element numbers from here on take two digits.
constexpr int two_digit_labels = 10;
// Parameter of the element point that carries the number in the cross-section.
constexpr double label_parameter = 0.0;
// Caption of the charge plot: 40 pixels left of the middle, 20 above the bottom.
constexpr int caption_left = 40;
constexpr int caption_up = 20;
// World range across the charge plot: the element parameter.
constexpr double t_low = -1.0, t_high = 1.0;
// Half-height of a flat charge plot's range when the relative margin leaves none (a common
// value of 0): the densities are non-dimensional, so 1 is a plain unit range around the curve.
constexpr double flat_half_range = 1.0;

// Colour of element `el` while conductor k is solved for; `other` for a type outside 1..3.
Colour kind_colour(const Element& el, int k, Colour other) {
  switch (el.itype) {
    case 1:
      return el.isign == 0 ? Colour::blue : el.isign == k ? Colour::yellow : Colour::light_red;
    case 2:
      return Colour::light_magenta;
    case 3:
      return Colour::green;
    default:
      return other;
  }
}

void segment(Platform& p, WorldPoint a, WorldPoint b) {
  p.move_to(a);
  p.line_to(b);
}

void set_world_or_stop(Platform& p, WorldPoint a, WorldPoint b) {
  if (!p.set_world_window(a, b)) {
    Halt h;
    h.stop_text = error_window_text;
    h.status = exit_failure;
    halt(std::move(h));
  }
}

// White frame of the viewport.
void frame(Platform& p, int w, int h) {
  p.set_colour(Colour::white);
  p.rectangle(Fill::outline, {0, 0}, {w, h});
}

// Paints the viewport's dark-grey background with its white frame.
void background(Platform& p, int w, int h) {
  p.set_colour(Colour::dark_grey);
  p.rectangle(Fill::filled, {0, 0}, {w, h});
  frame(p, w, h);
}

// Dotted light-grey axes through the origin across the world window (x0, y0)-(x1, y1).
void axes(Platform& p, double x0, double y0, double x1, double y1) {
  p.set_line_style(LineStyle::dotted);
  p.set_colour(Colour::light_grey);
  segment(p, {x0, 0}, {x1, 0});
  segment(p, {0, y0}, {0, y1});
}

// Element number i at world point `at`: white digits in a black box whose top-left corner is
// the point.
void label(Platform& p, int i, WorldPoint at) {
  const PixelPoint px = p.world_to_pixels(at);
  const bool one = i < two_digit_labels;
  p.set_colour(Colour::black);
  p.rectangle(Fill::filled, px,
              {px.x + (one ? label_width_one : label_width_two), px.y + label_height});
  p.set_colour(Colour::white);
  p.move_to_pixels(px);
  p.draw_text(iw(i, one ? 1 : 2));
}

// Ground planes of the Green's function, dotted, across x0..x1 (from x = 0 for the channel
// with its symmetry wall); g is the channel height gpars(1).
void ground_planes(Platform& p, int igg, double g, double x0, double x1) {
  switch (igg) {
    case 1:
    case 2:
    case 3:
    case 4:
      p.set_colour(igg == 2 ? Colour::light_magenta : igg == 3 ? Colour::green : Colour::blue);
      segment(p, {x0, 0}, {x1, 0});
      if (igg == 4) segment(p, {x0, g}, {x1, g});
      break;
    case 5:
    case 6:
      p.set_colour(Colour::blue);
      segment(p, {0, 0}, {x1, 0});
      segment(p, {0, g}, {x1, g});
      if (igg == 5) p.set_colour(Colour::light_magenta);
      segment(p, {0, 0}, {0, g});
      break;
    default:
      break;
  }
}

// Outline of element el: a line, an arc from the smaller to the larger angle, or a circle.
void outline(Platform& p, const Problem& pb, const Element& el) {
  const auto& g = el.geom;
  const double xc = g[0], yc = g[1], r = g[2];
  const WorldPoint b1{xc - r, yc + r}, b2{xc + r, yc - r};
  switch (el.iform) {
    case 0:
      segment(p, {g[0], g[1]}, {g[2], g[3]});
      break;
    case 1:
    case 2: {
      const double a = el.iform == 1 ? g[3] : g[3] * pb.c().pi / 180;
      const double b = el.iform == 1 ? g[4] : g[4] * pb.c().pi / 180;
      const double s = b < a ? b : a;
      const double e = b < a ? a : b;
      p.arc(b1, b2, {xc + r * std::cos(s), yc + r * std::sin(s)},
            {xc + r * std::cos(e), yc + r * std::sin(e)});
      break;
    }
    case 3:
      p.ellipse(b1, b2);
      break;
    default:
      break;
  }
}

}  // namespace

Box picture_extents(const Problem& pb) {
  if (pb.n() < 1) return {};
  Box b = emima(pb, 1);
  for (int i = 2; i <= pb.n(); ++i) {
    const Box e = emima(pb, i);
    b.xmin = amin(b.xmin, e.xmin);
    b.xmax = amax(b.xmax, e.xmax);
    b.ymin = amin(b.ymin, e.ymin);
    b.ymax = amax(b.ymax, e.ymax);
  }
  return b;
}

void cross_section_plot(Platform& p, const WindowLayout& sc, const Box& extents, const Problem& pb,
                        int e, int k, int ish) {
  assert(e >= 0 && e <= pb.n());
  const double xmin = extents.xmin, xmax = extents.xmax;
  const double ymin = extents.ymin, ymax = extents.ymax;
  p.activate(graphics_unit);

  // Margins; a picture on one horizontal or vertical line borrows the other axis's margin.
  const double tau = pb.c().tiny;
  double dx = std::fabs(xmax - xmin) * screen_plot_margin;
  double dy = std::fabs(ymax - ymin) * screen_plot_margin;
  if (std::fabs(dy) < tau) dy = dx;
  if (std::fabs(dx) < tau) dx = dy;

  const int w = sc.upper.width(), h = sc.upper.height();
  p.set_viewport(sc.upper);
  if (k < 1) {
    p.clear_viewport();
    background(p, w, h);
  }

  // World window of the viewport's shape: the picture with its margins fills the viewport's
  // height when it is relatively narrower (or exactly as wide), else its width, and is centred
  // along the other axis.
  double x0, x1, y0, y1;
  if ((xmax - xmin + 2 * dx) / (ymax - ymin + 2 * dy) <= static_cast<double>(w) / h) {
    y0 = ymin - dy;
    y1 = ymax + dy;
    const double xc = (xmin + xmax) / 2;
    const double half = w * (y1 - y0) / (2 * h);
    x0 = xc - half;
    x1 = xc + half;
  } else {
    x0 = xmin - dx;
    x1 = xmax + dx;
    const double yc = (ymin + ymax) / 2;
    const double half = h * (x1 - x0) / (2 * w);
    y0 = yc - half;
    y1 = yc + half;
  }
  set_world_or_stop(p, {x0, y0}, {x1, y1});

  axes(p, x0, y0, x1, y1);
  ground_planes(p, pb.igg, pb.gpars(1), x0, x1);

  p.set_line_style(LineStyle::solid);
  for (int i = 1; i <= e; ++i) {
    const Element& el = pb.el(i);
    p.set_colour(kind_colour(el, k, Colour::white));
    outline(p, pb, el);
    if (ish != 0) {
      const Point at = elem(pb, i, label_parameter);
      label(p, i, {at.x, at.y});
    }
  }

  frame(p, w, h);
  p.activate(text_unit);
}

void charge_plot(Platform& p, const WindowLayout& sc, const Problem& pb, int e, int k, int ish,
                 std::span<const double> sigma, std::span<const double> t) {
  assert(e >= 0 && e <= pb.n());
  p.activate(graphics_unit);

  // Range of the finite densities of all element points.
  std::size_t points = 0;
  for (int i = 1; i <= e; ++i)
    points += static_cast<std::size_t>(std::max(pb.el(i).ni, 0));
  assert(sigma.size() >= points && t.size() >= points);
  bool any = false;
  double smin = 0, smax = 0;
  for (std::size_t r = 0; r < points; ++r) {
    const double s = sigma[r];
    if (!std::isfinite(s)) continue;
    if (!any || s < smin) smin = s;
    if (!any || s > smax) smax = s;
    any = true;
  }
  double dy = std::fabs(smax - smin) * screen_plot_margin;
  double y0 = smin - dy, y1 = smax + dy;
  if (!(y0 < y1)) {
    // Flat densities: a range around the common value, with the margin the plot gives any
    // range, relative to the value, so the curve runs across the middle of the frame.
    dy = std::fabs(smin) * screen_plot_margin;
    if (!(smin - dy < smin + dy)) dy = flat_half_range;
    y0 = smin - dy;
    y1 = smin + dy;
  }

  const int w = sc.lower.width(), h = sc.lower.height();
  p.set_viewport(sc.lower);
  p.clear_viewport();
  background(p, w, h);
  set_world_or_stop(p, {t_low, y0}, {t_high, y1});
  axes(p, t_low, y0, t_high, y1);
  p.set_line_style(LineStyle::solid);

  Colour colour = Colour::light_grey;  // the axes' colour, current before the first element
  std::size_t r = 0;                   // offset of element i's rows
  for (int i = 1; i <= e; ++i) {
    const Element& el = pb.el(i);
    const int ni = std::max(el.ni, 0);
    colour = kind_colour(el, k, colour);
    p.set_colour(colour);
    if (ni >= 1) {
      p.move_to({t[r], sigma[r]});
      for (int j = 2; j <= ni; ++j)
        p.line_to({t[r + j - 1], sigma[r + j - 1]});
    }
    if (ish != 0 && ni >= 1) {
      // Labels spread over the parameter range by element number, so they stay apart.
      const double f = 2.0 * i / e - 1;
      int j = ni;
      for (int q = 2; q <= ni; ++q) {
        if (t[r + q - 2] <= f && f <= t[r + q - 1]) {
          j = q;
          break;
        }
      }
      label(p, i, {t[r + j - 1], sigma[r + j - 1]});
    }
    r += static_cast<std::size_t>(ni);
  }

  p.set_colour(Colour::light_grey);
  p.move_to_pixels({w / 2 - caption_left, h - caption_up});
  p.draw_text(charge_plot_caption);
  frame(p, w, h);
  p.activate(text_unit);
}

}  // namespace ostrel
