#include "losses/recession.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "geometry/element.hpp"
#include "losses/surface_current.hpp"

namespace ostrel::losses {

namespace {

// A join whose normals are closer to opposite than this folds the contour back on itself.
constexpr double folded = 1e-6;

using Step = std::pair<int, bool>;

Point plus(Point a, Point b, double s) {
  return {a.x + s * b.x, a.y + s * b.y};
}

double dot(Point a, Point b) {
  return a.x * b.x + a.y * b.y;
}

// The parameter of the end of a step in the direction of travel (at_end) or of its start.
double end_parameter(const Step& s, bool at_end) {
  return at_end == s.second ? 1.0 : -1.0;
}

Point travel_tangent(const Problem& pb, const Step& s, bool at_end) {
  const Point n = nelem(pb, s.first, end_parameter(s, at_end));
  const double sign = s.second ? 1.0 : -1.0;
  return {sign * n.y, -sign * n.x};
}

// The unit normal into the metal at an end of a step.
Point metal_normal(const Problem& pb, const Step& s, bool at_end, bool metal_left) {
  const Point n = nelem(pb, s.first, end_parameter(s, at_end));
  const double sign = (s.second ? 1.0 : -1.0) * (metal_left ? 1.0 : -1.0);
  return {sign * n.x, sign * n.y};
}

// The plane of the kernel nearest to a point: its unit normal.
Point plane_normal(const Problem& pb, Point p) {
  const double a = pb.gpars(1);
  double best = std::fabs(p.y);
  Point n{0.0, 1.0};
  if ((pb.igg == 4 || pb.igg == 5) && std::fabs(p.y - a) < best) best = std::fabs(p.y - a);
  if (pb.igg == 5 && std::fabs(p.x) < best) n = {1.0, 0.0};
  return n;
}

// The element with its two ends (t = -1 and t = 1) at the given points, radius moved by d; the
// metal lies on the side of the normal times metal_side.
void rebuild(Problem& pb, int e, Point first, Point last, double d, double metal_side) {
  Element& el = pb.elements[e - 1];
  auto& g = el.geom;
  if (el.iform == 0) {
    g = {first.x, first.y, last.x, last.y, g[4]};
    return;
  }
  const Point c{g[0], g[1]};
  const Point mid = elem(pb, e, 0.0), n = nelem(pb, e, 0.0);
  const bool outward = metal_side * dot(n, {mid.x - c.x, mid.y - c.y}) > 0;
  const double r = g[2] + (outward ? d : -d);
  if (el.iform != 3) {
    // The angles of the moved ends, on the branch of the old ones.
    const double scale = el.iform == 2 ? pb.c().pi / 180 : 1.0;
    const auto angle = [&](Point p, double old) {
      const double a = std::atan2(p.y - c.y, p.x - c.x);
      return old + std::remainder(a - old, 2 * pb.c().pi);
    };
    g[3] = angle(first, g[3] * scale) / scale;
    g[4] = angle(last, g[4] * scale) / scale;
  }
  g[2] = r;
}

}  // namespace

Problem receded(const Problem& pb, const ConductorOutline& c, double d) {
  Problem out = pb;
  for (const OutlineLoop& loop : c.loops) {
    const std::size_t n = loop.steps.size();
    // The moved start and end (in the direction of travel) of every step.
    std::vector<Point> start(n), end(n);
    for (std::size_t i = 0; i < n; ++i) {
      const Step& s = loop.steps[i];
      start[i] = elem(pb, s.first, end_parameter(s, false));
      end[i] = elem(pb, s.first, end_parameter(s, true));
    }
    const auto metal_side = [&](const Step& s) {
      return (s.second ? 1.0 : -1.0) * (loop.metal_left ? 1.0 : -1.0);
    };
    if (n == 1 && pb.el(loop.steps[0].first).iform == 3) {
      const Step& s = loop.steps[0];
      rebuild(out, s.first, start[0], end[0], d, metal_side(s));
      continue;
    }
    for (std::size_t i = 0; i < n; ++i) {
      const bool last = i + 1 == n;
      if (last && !loop.closed) continue;
      const std::size_t j = last ? 0 : i + 1;
      const Point na = metal_normal(pb, loop.steps[i], true, loop.metal_left);
      const Point nb = metal_normal(pb, loop.steps[j], false, loop.metal_left);
      const double cosine = dot(na, nb);
      if (cosine < -1 + folded)
        throw std::runtime_error(conductor_name(c.conductor) + ": elements " +
                                 std::to_string(loop.steps[i].first) + " and " +
                                 std::to_string(loop.steps[j].first) +
                                 " fold back on each other: the outline has no thickness there");
      const Point v = plus(end[i], {na.x + nb.x, na.y + nb.y}, d / (1 + cosine));
      end[i] = start[j] = v;
    }
    if (!loop.closed) {
      // Ends on planes slide along them.
      for (const bool at_end : {false, true}) {
        const std::size_t i = at_end ? n - 1 : 0;
        const Step& s = loop.steps[i];
        Point& v = at_end ? end[i] : start[i];
        const Point nm = metal_normal(pb, s, at_end, loop.metal_left);
        const Point t = travel_tangent(pb, s, at_end), nplane = plane_normal(pb, v);
        if (std::fabs(dot(t, nplane)) < folded)
          throw std::runtime_error(conductor_name(c.conductor) + ": element " +
                                   std::to_string(s.first) + " runs along a plane at its end");
        v = plus(plus(v, nm, d), t, -d * dot(nm, nplane) / dot(t, nplane));
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      const Step& s = loop.steps[i];
      rebuild(out, s.first, s.second ? start[i] : end[i], s.second ? end[i] : start[i], d,
              metal_side(s));
    }
  }
  return out;
}

Eigen::MatrixXd incremental_inductance(const Input& vacuum, const ConductorOutline& c,
                                       const std::string& tag, std::ostream& console) {
  double shortest = std::numeric_limits<double>::max();
  for (int e : c.elements)
    shortest = std::min(shortest, elength(vacuum.problem, e));
  const double d = recession_step * shortest;
  Eigen::MatrixXd inv[2];
  for (int side = 0; side < 2; ++side) {
    Input moved = vacuum;
    const double step = side == 0 ? d : -d;
    moved.problem = receded(vacuum.problem, c, step);
    const std::string label = tag + conductor_name(c.conductor) + " receded by " +
                              (side == 0 ? "+" : "-") + "d (incremental inductance)";
    inv[side] = solve_vacuum_shown(moved, label, console).ge0.inverse();
  }
  return (inv[0] - inv[1]) / (2 * d);
}

}  // namespace ostrel::losses
