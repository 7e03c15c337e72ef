// What the residuals of an out-of-core solution leave uncertain in the printed matrix.
#pragma once

#include <span>
#include <string>

namespace ostrel {

/// Factor between a conductor's relative residual and the error it leaves in the capacitance
/// matrix, relative to the geometric mean of the diagonal entries concerned: measured between
/// in-core and out-of-core solutions of coaxial, coupled, microstrip, dielectric and shielded
/// 49-wire problems, at most 0.96; twice that leaves room.
inline constexpr double residual_error_factor = 2.0;

/// The printed entries of the reported matrix that an out-of-core solution cannot vouch for.
struct Unresolved {
  int count = 0;        ///< entries whose printed text could differ within their error
  double largest = 0;   ///< magnitude of the largest of them
  double residual = 0;  ///< the largest relative residual of the conductors
};

/// Which printed entries of the reported matrix `reported` (m x m, column-major, in the units of
/// the result; the inverse of `ge` times a unit factor when `inverse`) are not determined by
/// solutions whose relative residuals are `residuals` (one per conductor). The error of ge(i,j)
/// is estimated as residual_error_factor * max(r_i, r_j) * sqrt(|ge(i,i) ge(j,j)|); for an
/// inverse it is carried through R dG R. An entry is uncertain when the values within its error
/// do not all print (e0, `digits` fraction digits) as it does. `ge` is the non-dimensional
/// matrix that was reported or inverted. Cost O(m^3) for an inverse, O(m^2) otherwise.
Unresolved unresolved_entries(std::span<const double> ge, std::span<const double> reported,
                              bool inverse, std::span<const double> residuals, int digits);

/// The console and log line that says so: the residual, how many entries, the largest of them,
/// and what gives every digit.
std::string unresolved_message(const Unresolved& u, int total);

}  // namespace ostrel
