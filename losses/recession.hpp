// The incremental inductance of a conductor: the derivative of the inductance when its surface
// recedes into its metal.
//
// Wheeler's rule: for a skin depth small against the conductor, the loss of unit currents a and
// b on a surface S is Rs / mu0 times the derivative of L_ab when S recedes along its normal into
// the metal, which is the integral of J_a J_b over S (the shape derivative of the field's
// energy). Taken from two solutions of the vacuum problem with S moved by -d and +d, it needs
// the densities only through the inductance, which the solution gives to the accuracy of its
// charges; the products of pointwise densities do not converge where a corner makes the density
// singular (measured on a 3 mm by 35 um trace: from 1.00 to 1.15 ohm/m at 100 MHz as the grids
// change, against 1.0406 to 1.0429 ohm/m from this derivative).
#pragma once

#include <Eigen/Dense>
#include <iosfwd>
#include <string>

#include "driver/reading.hpp"
#include "losses/conductor_outline.hpp"

namespace ostrel::losses {

/// Step of the derivative, relative to the shortest element of the conductor: small enough that
/// the central difference's error (d/size)^2 is far below 1e-6, large enough that the change
/// of the inductance (about d/size of it) stands 1e6 times above the rounding of the solutions.
inline constexpr double recession_step = 1e-4;

/// Copy of the problem with the elements of conductor `c` moved by d along the normal into its
/// metal (d < 0: out of it): circles and arcs change radius, and where two elements meet their
/// common end moves to the intersection of the moved elements (the mitre point
/// V + d (n1 + n2) / (1 + n1.n2) with the unit normals n1, n2 of the two into the metal, exact
/// for segments and to first order in d for arcs); an end on a plane slides along it. Other
/// elements stay. Throws std::runtime_error for a contour that folds back on itself or runs
/// along a plane. O(elements).
Problem receded(const Problem& pb, const ConductorOutline& c, double d);

/// The derivative (1/length unit) of ge0^-1 (the inductance in units of mu0) when the surface of
/// conductor c recedes into the metal: (ge0^-1(+d) - ge0^-1(-d)) / (2 d) with d = recession_step
/// times its shortest element, from two vacuum solutions (a progress line to `console` each,
/// led by `tag`). Throws what the solutions throw.
Eigen::MatrixXd incremental_inductance(const Input& vacuum, const ConductorOutline& c,
                                       const std::string& tag, std::ostream& console);

}  // namespace ostrel::losses
