#include "losses/conductor_outline.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "geometry/element.hpp"

namespace ostrel::losses {

namespace {

// Ends of elements closer than this share a point, relative to the problem's extent: far above
// the rounding of the coordinates (the arcs' single-precision pi moves their ends by about 1e-7
// of the radius), far below any feature a cross-section is drawn with.
constexpr double meeting_tolerance = 1e-6;
// Points per element of the polygons that the containment tests use (a circle gets four times
// as many); the test points are element midpoints, far from other contours in any valid problem.
constexpr int polygon_points = 16;

std::string point_text(Point p) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "(%.6g, %.6g)", p.x, p.y);
  return buf;
}

// The planes a chain may end on.
enum class Plane { none, symmetry_y0, symmetry_x0, ground_y0, ground_ya };

struct PlaneTest {
  const Problem& pb;
  double tol;
  Plane at(Point p) const {
    const double a = pb.gpars(1);
    switch (pb.igg) {
      case 1:
        return std::fabs(p.y) <= tol ? Plane::ground_y0 : Plane::none;
      case 2:
        return std::fabs(p.y) <= tol ? Plane::symmetry_y0 : Plane::none;
      case 4:
      case 5:
        if (pb.igg == 5 && std::fabs(p.x) <= tol) return Plane::symmetry_x0;
        if (std::fabs(p.y) <= tol) return Plane::ground_y0;
        if (std::fabs(p.y - a) <= tol) return Plane::ground_ya;
        return Plane::none;
      default:
        return Plane::none;
    }
  }
};

bool grounded(Plane p) {
  return p == Plane::ground_y0 || p == Plane::ground_ya;
}

// 1/2 (x dy - y dx) along element e from t = -1 to 1, in closed form.
double half_cross(const Problem& pb, int e) {
  const Element& el = pb.el(e);
  const auto& g = el.geom;
  const double pi = pb.c().pi;
  if (el.iform == 0) return 0.5 * (g[0] * g[3] - g[2] * g[1]);
  const double xc = g[0], yc = g[1], r = g[2];
  double p1 = 0, p2 = 0;
  if (el.iform == 3) {
    p1 = g[3] >= 0 ? -pi : pi;
    p2 = -p1;
  } else {
    const double scale = el.iform == 2 ? pi / 180 : 1.0;
    p1 = g[3] * scale;
    p2 = g[4] * scale;
  }
  return 0.5 * (xc * r * (std::sin(p2) - std::sin(p1)) - yc * r * (std::cos(p2) - std::cos(p1)) +
                r * r * (p2 - p1));
}

double distance(Point a, Point b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// A closed contour: its elements in order with their direction, and its polygon.
struct Loop {
  std::vector<std::pair<int, bool>> steps;  // element, traversed from t = -1 to 1
  bool closed = true;
  bool corners = false;
  std::vector<Point> polygon;
  double signed_area = 0;
  int depth = 0, parent = -1;
  bool metal_inside = true;
};

// Crossing test; points within tol of an edge count as outside.
bool inside(const std::vector<Point>& poly, Point p, double tol) {
  bool in = false;
  const std::size_t n = poly.size();
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const Point a = poly[j], b = poly[i];
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    const double s =
        len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
    if (distance(p, {a.x + s * dx, a.y + s * dy}) <= tol) return false;
    if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * dx / dy) in = !in;
  }
  return in;
}

// The corner of two planes, through which a chain from one to the other is closed.
Point corner(Plane a, Plane b, double height) {
  const bool ya = a == Plane::ground_ya || b == Plane::ground_ya;
  return {0.0, ya ? height : 0.0};
}

struct Chainer {
  const Problem& pb;
  int k;
  double tol;
  PlaneTest planes;
  std::vector<int> elements;

  [[noreturn]] void fail(const std::string& why) const {
    throw std::runtime_error(conductor_name(k) + ": " + why);
  }

  std::vector<Loop> loops() const {
    struct End {
      int e;
      bool start;  // the end at t = -1
      Point p;
      int node = -1;
    };
    std::vector<End> ends;
    std::vector<Loop> out;
    for (int e : elements) {
      if (pb.el(e).iform == 3) {
        Loop l;
        l.steps.push_back({e, true});
        out.push_back(l);
        continue;
      }
      ends.push_back({e, true, elem(pb, e, -1.0)});
      ends.push_back({e, false, elem(pb, e, 1.0)});
    }
    // Nodes: ends closer than tol.
    std::vector<std::vector<int>> nodes;
    for (std::size_t i = 0; i < ends.size(); ++i) {
      for (std::size_t n = 0; n < nodes.size() && ends[i].node < 0; ++n)
        if (distance(ends[nodes[n][0]].p, ends[i].p) <= tol) {
          ends[i].node = static_cast<int>(n);
          nodes[n].push_back(static_cast<int>(i));
        }
      if (ends[i].node < 0) {
        ends[i].node = static_cast<int>(nodes.size());
        nodes.push_back({static_cast<int>(i)});
      }
    }
    for (const auto& node : nodes) {
      const End& first = ends[node[0]];
      const Plane plane = planes.at(first.p);
      const std::string where =
          "element " + std::to_string(first.e) + " ends at " + point_text(first.p);
      if (node.size() > 2)
        fail(where + " where " + std::to_string(node.size()) +
             " element ends meet; give each conductor closed outlines whose elements meet two by "
             "two");
      if (node.size() == 1 && grounded(plane) && k != 0)
        fail(where +
             " on a grounded plane of the Green's function: the conductor is shorted "
             "to the ground");
      if (node.size() == 1 && plane == Plane::none)
        fail(where +
             " without meeting another of its elements: a zero-thickness strip (an "
             "open outline). The current density at its edge is not square-integrable, so "
             "its skin-effect loss is infinite; give the strip a thickness (a closed "
             "outline of elements)");
    }
    // Walk the chains: first those that start on a plane, then the closed ones.
    std::vector<bool> used(ends.size() / 2, false);
    const auto index_of = [&](int end) { return end / 2; };
    const auto walk = [&](int start_end) {
      Loop l;
      int end = start_end;
      for (;;) {
        const int idx = index_of(end);
        used[idx] = true;
        const bool forward = ends[end].start;
        l.steps.push_back({ends[end].e, forward});
        const int other = forward ? end + 1 : end - 1;  // the element's far end
        const auto& node = nodes[ends[other].node];
        int next = -1;
        for (int cand : node)
          if (cand != other) next = cand;
        if (next < 0 || used[index_of(next)]) break;
        end = next;
      }
      return l;
    };
    for (const auto& node : nodes)
      if (node.size() == 1 && !used[index_of(node[0])]) out.push_back(walk(node[0]));
    for (std::size_t i = 0; i < ends.size(); i += 2)
      if (!used[i / 2]) out.push_back(walk(static_cast<int>(i)));
    for (Loop& l : out)
      close(l);
    return out;
  }

  // The unit tangent in the direction of travel at the end (or the start) of a step.
  Point travel_tangent(const std::pair<int, bool>& step, bool at_end) const {
    const auto& [e, forward] = step;
    const double t = (at_end == forward) ? 1.0 : -1.0;
    const Point n = nelem(pb, e, t);
    const double sign = forward ? 1.0 : -1.0;
    return {sign * n.y, -sign * n.x};
  }

  // The polygon and the signed area of a loop, closed along a plane where it ends on one.
  void close(Loop& l) const {
    for (const auto& [e, forward] : l.steps) {
      const int n = pb.el(e).iform == 3 ? 4 * polygon_points : polygon_points;
      for (int i = 0; i < n; ++i) {
        const double t = -1.0 + 2.0 * i / n;
        l.polygon.push_back(elem(pb, e, forward ? t : -t));
      }
      l.signed_area += forward ? half_cross(pb, e) : -half_cross(pb, e);
    }
    const auto& [last_e, last_forward] = l.steps.back();
    const auto& [first_e, first_forward] = l.steps.front();
    if (pb.el(first_e).iform == 3) return;
    const Point end = elem(pb, last_e, last_forward ? 1.0 : -1.0);
    const Point start = elem(pb, first_e, first_forward ? -1.0 : 1.0);
    // Corners: the joins of consecutive elements (and of the last with the first).
    for (std::size_t i = 0; i < l.steps.size(); ++i) {
      const std::size_t next = i + 1 < l.steps.size() ? i + 1 : 0;
      if (next == 0 && distance(end, start) > tol) break;
      const Point a = travel_tangent(l.steps[i], true), b = travel_tangent(l.steps[next], false);
      if (std::acos(std::clamp(a.x * b.x + a.y * b.y, -1.0, 1.0)) > corner_angle) l.corners = true;
    }
    if (distance(end, start) <= tol) return;
    l.closed = false;
    // Ends on planes: a corner unless the contour meets a symmetry plane at right angles.
    for (const auto& [point, tangent] :
         {std::pair{end, travel_tangent(l.steps.back(), true)},
          std::pair{start, travel_tangent(l.steps.front(), false)}}) {
      const Plane plane = planes.at(point);
      const double along = plane == Plane::symmetry_x0 ? tangent.y : tangent.x;
      if (grounded(plane) || std::fabs(along) > std::sin(corner_angle)) l.corners = true;
    }
    // An open chain: both ends lie on planes (checked above); close it through their corner
    // when the planes differ.
    std::vector<Point> path{end};
    const Plane pe = planes.at(end), ps = planes.at(start);
    if (pe != ps) path.push_back(corner(pe, ps, pb.gpars(1)));
    path.push_back(start);
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
      l.polygon.push_back(path[i]);
      l.signed_area += 0.5 * (path[i].x * path[i + 1].y - path[i + 1].x * path[i].y);
    }
  }
};

}  // namespace

std::string conductor_name(int k) {
  return k == 0 ? std::string("the ground (elements with isign 0)")
                : "conductor " + std::to_string(k);
}

bool has_grounded_planes(const Problem& pb) {
  return pb.igg == 1 || pb.igg == 4 || pb.igg == 5;
}

std::vector<ConductorOutline> conductor_outlines(const Problem& pb, int m) {
  // The problem's extent sets the tolerance.
  const double huge = std::numeric_limits<double>::max();
  Box all{huge, -huge, huge, -huge};
  for (int e = 1; e <= pb.n(); ++e) {
    const Box b = emima(pb, e);
    all = {std::min(all.xmin, b.xmin), std::max(all.xmax, b.xmax), std::min(all.ymin, b.ymin),
           std::max(all.ymax, b.ymax)};
  }
  const double tol = meeting_tolerance * std::hypot(all.xmax - all.xmin, all.ymax - all.ymin);

  std::vector<ConductorOutline> out(m + 1);
  for (int k = 0; k <= m; ++k) {
    ConductorOutline& c = out[k];
    c.conductor = k;
    for (int e = 1; e <= pb.n(); ++e)
      if (pb.el(e).itype == 1 && pb.el(e).isign == k) c.elements.push_back(e);
    if (c.elements.empty()) continue;
    const Chainer chainer{pb, k, tol, PlaneTest{pb, tol}, c.elements};
    std::vector<Loop> loops = chainer.loops();
    // Nesting among the conductor's own loops: the parent is the smallest loop containing it.
    for (std::size_t i = 0; i < loops.size(); ++i) {
      double parent_area = 0;
      for (std::size_t j = 0; j < loops.size(); ++j) {
        if (i == j || !inside(loops[j].polygon, loops[i].polygon.front(), tol)) continue;
        ++loops[i].depth;
        const double a = std::fabs(loops[j].signed_area);
        if (loops[i].parent < 0 || a < parent_area) {
          loops[i].parent = static_cast<int>(j);
          parent_area = a;
        }
      }
    }
    // Metal inside an outermost loop unless an element that is not the conductor's lies there
    // (outside the loops of the conductor within it); inner loops alternate.
    std::vector<Point> foreign;
    for (int e = 1; e <= pb.n(); ++e)
      if (!(pb.el(e).itype == 1 && pb.el(e).isign == k)) foreign.push_back(elem(pb, e, 0.0));
    std::vector<std::size_t> order(loops.size());
    for (std::size_t i = 0; i < order.size(); ++i)
      order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return loops[a].depth < loops[b].depth; });
    c.bounded = !(k == 0 && has_grounded_planes(pb));
    for (std::size_t i : order) {
      Loop& l = loops[i];
      if (l.parent >= 0) {
        l.metal_inside = !loops[l.parent].metal_inside;
      } else {
        bool field = false;
        for (Point p : foreign) {
          if (!inside(l.polygon, p, tol)) continue;
          bool in_child = false;
          for (const Loop& child : loops)
            if (child.parent == static_cast<int>(i) && inside(child.polygon, p, tol))
              in_child = true;
          field = field || !in_child;
        }
        l.metal_inside = !field;
        if (field) c.bounded = false;
      }
      c.area += (l.metal_inside ? 1.0 : -1.0) * std::fabs(l.signed_area);
    }
    for (const Loop& l : loops) {
      // The inside of a contour lies left of its travel when it runs counter-clockwise.
      c.loops.push_back({l.steps, l.closed, (l.signed_area > 0) == l.metal_inside});
      c.corners = c.corners || l.corners;
    }
    if (!c.bounded) c.area = 0;
  }
  return out;
}

}  // namespace ostrel::losses
