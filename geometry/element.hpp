// The four element forms: point, length per unit parameter, normal, length and extents.
//
// Element i (1-based) of the problem is parametrised by t in [-1, 1]. Forms: 0 segment
// A=(g1,g2) to B=(g3,g4); 1 arc of centre (g1,g2), radius g3 from angle g4 to g5 in radians;
// 2 the same in degrees; 3 full circle of centre (g1,g2), radius g3, counter-clockwise when
// g4 >= 0. The normal is the tangent turned by +90 degrees; it points to the plus side.
// All operations are O(1) pure functions; a form outside 0..3 stops the run (the reading
// rejects such forms, so this is a guard).
#pragma once

#include "base/problem.hpp"

namespace ostrel {

struct Point {
  double x = 0, y = 0;
};

struct Box {
  double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
};

/// Point of element i at parameter t.
Point elem(const Problem& pb, int i, double t);
/// Length per unit parameter |dP/dt| of element i at t (positive).
double dlength(const Problem& pb, int i, double t);
/// Unit normal of element i at t, the tangent turned by +90 degrees.
Point nelem(const Problem& pb, int i, double t);
/// Total length of element i.
double elength(const Problem& pb, int i);
/// Axis-aligned box containing element i (the whole circle for arcs).
Box emima(const Problem& pb, int i);

/// The directions an arc (forms 1 and 2) covers, with its angles converted to radians as elem()
/// converts them: counter-clockwise from `start`, the smaller angle reduced to (-pi, pi], through
/// `sweep` = |phi2 - phi1| (not a number when the angles are not).
struct ArcSweep {
  double start = 0, sweep = 0;
  /// True when the direction `angle` (radians, any size) lies on the arc. O(1).
  bool covers(double angle) const;
};

/// The sweep of arc i (forms 1 and 2; asserted). O(1).
ArcSweep arc_sweep(const Problem& pb, int i);

/// a when a < b, otherwise b.
inline double amin(double a, double b) {
  return a < b ? a : b;
}
/// b when b > a, otherwise a.
inline double amax(double a, double b) {
  return b > a ? b : a;
}

}  // namespace ostrel
