#include "geometry/coincidence.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/element.hpp"
#include "geometry/grid.hpp"

namespace ostrel {

namespace {

// Relative size of the band around an element in which a point counts as lying on it: far
// above the rounding of points computed with sin and cos, far below any meaningful gap.
constexpr double on_element_tolerance = 1e-9;

double distance_to_segment(double x, double y, double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1, dy = y2 - y1, len2 = dx * dx + dy * dy;
  double s = len2 > 0 ? ((x - x1) * dx + (y - y1) * dy) / len2 : 0.0;
  s = std::clamp(s, 0.0, 1.0);
  return std::hypot(x - (x1 + s * dx), y - (y1 + s * dy));
}

// Size of element i: the largest coordinate magnitude of its box, for relative tolerances.
double size_of(const Problem& pb, int i) {
  const Box b = emima(pb, i);
  return std::max({std::fabs(b.xmin), std::fabs(b.xmax), std::fabs(b.ymin), std::fabs(b.ymax)});
}

}  // namespace

double distance_to_element(const Problem& pb, int j, double x, double y) {
  const Element& e = pb.el(j);
  const auto& g = e.geom;
  if (e.iform == 0) return distance_to_segment(x, y, g[0], g[1], g[2], g[3]);
  const double radial = std::fabs(std::hypot(x - g[0], y - g[1]) - g[2]);
  if (e.iform == 3) return radial;
  // Arc: the point's direction must lie on the sweep, else the nearer end point is nearest.
  if (arc_sweep(pb, j).covers(std::atan2(y - g[1], x - g[0]))) return radial;
  const Point p = elem(pb, j, -1.0), q = elem(pb, j, 1.0);
  return std::min(std::hypot(x - p.x, y - p.y), std::hypot(x - q.x, y - q.y));
}

int nodes_on_element(const Problem& pb, int i, int j) {
  const int ni = pb.el(i).ni;
  std::vector<double> t(ni);
  element_grid(pb, i, t);
  const double tol = on_element_tolerance * (1 + std::max(size_of(pb, i), size_of(pb, j)));
  int count = 0;
  for (double tk : t) {
    const Point p = elem(pb, i, tk);
    if (distance_to_element(pb, j, p.x, p.y) <= tol) ++count;
  }
  return count;
}

}  // namespace ostrel
