// The outlines of the conductors: closed contours of their elements, the metal they bound and
// its cross-section area, for the conductor loss.
#pragma once

#include <string>
#include <vector>

#include "base/problem.hpp"

namespace ostrel::losses {

/// A contour of a conductor: its elements in order, each traversed from t = -1 to 1 (forward)
/// or back, closed or ending on two planes of the kernel.
struct OutlineLoop {
  std::vector<std::pair<int, bool>> steps;  ///< element, forward
  bool closed = true;                       ///< false: both ends lie on planes
  bool metal_left = true;                   ///< the metal lies left of the direction of travel
};

/// The elements of one conductor (0: the grounded elements, isign 0) and the metal they bound.
struct ConductorOutline {
  int conductor = 0;
  std::vector<int> elements;  ///< itype 1 elements with isign = conductor
  /// The metal is bounded: every outline that is not inside another of the conductor's has
  /// metal on its inside (no element of another conductor or medium there). A shield given by
  /// its inner face, or the ground of a kernel with grounded planes, is not bounded.
  bool bounded = false;
  double area = 0;  ///< cross-section of the metal, in squared length units (bounded only)
  std::vector<OutlineLoop> loops;
  /// Some contour has a corner: two elements meet at an angle (more than corner_angle), or a
  /// contour meets a plane other than at right angles, or ends on a grounded plane.
  bool corners = false;
};

/// Angle (radians) between the tangents of two joined elements above which the join is a
/// corner: joins drawn tangent differ by the rounding of their coordinates (1e-7 with the
/// single-precision pi of the arcs), real corners by degrees.
inline constexpr double corner_angle = 1e-4;

/// The name of conductor k in messages: "conductor k", or "the ground (isign 0)" for 0.
std::string conductor_name(int k);

/// Grounded planes the kernel models: igg 1 (y = 0), 4 and 5 (y = 0 and y = gpars(1)).
bool has_grounded_planes(const Problem& pb);

/// Chains the conductor elements of conductors 0..m into closed contours and finds their metal.
/// Ends of open elements meet when they are closer than 1e-6 of the problem's extent. A chain
/// may end on a symmetry plane (igg 2: y = 0; igg 5: x = 0), which closes it; the ground's
/// elements may also end on a grounded plane. The metal of a contour lies inside it unless an
/// element of another conductor or medium does (then the contour is the inner face of metal
/// that reaches outward); contours inside contours of the same conductor alternate between
/// metal and hole. Areas are exact for segments, arcs and circles (the contour integral
/// 1/2 (x dy - y dx) of each element in closed form).
///
/// Throws std::runtime_error naming the conductor and the element for an outline that is not
/// closed: a free end (a zero-thickness strip, whose current density at the edge is not
/// square-integrable, so that its skin-effect loss is infinite), an end on a grounded plane (a
/// conductor shorted to the ground), or three or more ends meeting. Cost O(n^2) in elements.
std::vector<ConductorOutline> conductor_outlines(const Problem& pb, int m);

}  // namespace ostrel::losses
