#include "geometry/clearance.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include "geometry/coincidence.hpp"
#include "geometry/element.hpp"
#include "geometry/grid.hpp"

namespace ostrel {

namespace {

// Calls visit(t, interval) for the nodes of element i and clearance_samples points in every
// interval between them (and beyond the first and last node of an open element, up to its
// ends), with the length of the interval that holds the point.
template <class Visit>
void sample(const Problem& pb, int i, Visit visit) {
  const Element& e = pb.el(i);
  std::vector<double> t(e.ni);
  element_grid(pb, i, t);
  // The stretches between consecutive nodes, and from the ends to the first and last node (a
  // circle closes on itself: its last node lies at t = 1, where its first stretch starts).
  std::vector<double> edges;
  if (e.iform != 3)
    edges.push_back(-1.0);
  else
    edges.push_back(t.back() - 2.0);
  edges.insert(edges.end(), t.begin(), t.end());
  if (e.iform != 3) edges.push_back(1.0);
  for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
    const double a = edges[k], b = edges[k + 1];
    // Length of the stretch by the midpoint rule on the sample points.
    double length = 0;
    for (int s = 0; s < clearance_samples; ++s)
      length += dlength(pb, i, a + (b - a) * (s + 0.5) / clearance_samples);
    length *= (b - a) / clearance_samples;
    for (int s = 0; s <= clearance_samples; ++s)
      visit(a + (b - a) * s / clearance_samples, length);
  }
}

}  // namespace

Approach closest_approach(const Problem& pb, int i, int j) {
  Approach best{std::numeric_limits<double>::infinity(), 0};
  double interval_i = 0, interval_j = 0;
  sample(pb, i, [&](double t, double interval) {
    const Point p = elem(pb, i, t);
    const double d = distance_to_element(pb, j, p.x, p.y);
    if (d < best.gap) best.gap = d, interval_i = interval;
  });
  double from_j = std::numeric_limits<double>::infinity();
  sample(pb, j, [&](double t, double interval) {
    const Point p = elem(pb, j, t);
    const double d = distance_to_element(pb, i, p.x, p.y);
    if (d < from_j) from_j = d, interval_j = interval;
  });
  best.gap = std::min(best.gap, from_j);
  best.spacing = std::max(interval_i, interval_j);
  return best;
}

Approach approach_to_line(const Problem& pb, int i, double level) {
  Approach best{std::numeric_limits<double>::infinity(), 0};
  sample(pb, i, [&](double t, double interval) {
    const double d = std::fabs(elem(pb, i, t).y - level);
    if (d < best.gap) best = {d, interval};
  });
  return best;
}

}  // namespace ostrel
