// Detection of elements that lie on top of each other.
#pragma once

#include "base/problem.hpp"

namespace ostrel {

/// Distance from the point (x, y) to element j: to the segment, to the arc (its end points
/// when the point's direction lies outside the sweep), or to the circle. O(1).
double distance_to_element(const Problem& pb, int j, double x, double y);

/// Number of grid nodes of element i (the collocation points of its element grid) that lie on
/// element j, within 1e-9 of the size of the two elements. Two or more mean that the elements
/// share a stretch of curve: their equations coincide and the system is singular. A single
/// node can be a point where the elements merely touch. Needs ni(i) >= 2. O(ni(i)).
int nodes_on_element(const Problem& pb, int i, int j);

}  // namespace ostrel
