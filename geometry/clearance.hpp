// How close the elements of different conductors, and the conductors and the grounded planes,
// come to each other, against the node spacing that has to resolve the field between them.
#pragma once

#include "base/problem.hpp"

namespace ostrel {

/// The closest approach of two boundaries.
struct Approach {
  double gap = 0;      ///< the smallest distance found between them
  double spacing = 0;  ///< the length of the grid interval (or the larger of two) that holds
                       ///< the closest point(s): the resolution of the charge there
};

/// Points sampled in each grid interval of an element (and its nodes) to find where it comes
/// closest to another boundary: the gap found is within (interval / 2 samples)^2 / (2 r) of the
/// true one for an arc of radius r, far below the interval it is compared with.
inline constexpr int clearance_samples = 8;

/// Closest approach of elements i and j: the smallest distance from the sampled points of
/// either to the other element (exact distance to a segment, arc or circle), and the larger of
/// the two grid intervals (element_grid) that hold the closest points. O((ni(i) + ni(j))
/// clearance_samples).
Approach closest_approach(const Problem& pb, int i, int j);

/// Closest approach of element i to the line y = level (a plane of the Green's function), and
/// the grid interval of i that holds the closest point. O(ni(i) clearance_samples).
Approach approach_to_line(const Problem& pb, int i, double level);

}  // namespace ostrel
