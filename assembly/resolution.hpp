// What the residuals of an out-of-core solution leave uncertain in the printed matrix.
#pragma once

#include <span>
#include <string>

namespace ostrel {

/// Factor between the relative error level of an entry (see unresolved_entries) and its error
/// relative to the geometric mean of the diagonal entries concerned: measured between in-core
/// and out-of-core solutions of coaxial, coupled, microstrip, dielectric and shielded 49-wire
/// problems, at most 0.96; twice that leaves room.
inline constexpr double residual_error_factor = 2.0;

/// The printed entries of the reported matrix that an out-of-core solution cannot vouch for.
struct Unresolved {
  int count = 0;       ///< entries whose printed text could differ within their error
  double largest = 0;  ///< magnitude of the largest of them
  double level = 0;    ///< the largest error bound, relative to the diagonal
};

/// Which printed entries of the reported matrix `reported` (m x m, column-major, in the units of
/// the result; the inverse of `ge` times a unit factor when `inverse`) are not determined by
/// solutions whose entries of ge carry relative error levels `levels` (m x m): the relative
/// residual of the solution, or its product with the adjoint's where the charge was refined.
/// The error of ge(i,j) is estimated as residual_error_factor * levels(i,j) *
/// sqrt(|ge(i,i) ge(j,j)|); for an inverse it is carried through R dG R. An entry is uncertain
/// when the values within its error do not all print (e0, `digits` fraction digits) as it does.
/// `ge` is the non-dimensional matrix that was reported or inverted. Cost O(m^3) for an
/// inverse, O(m^2) otherwise.
Unresolved unresolved_entries(std::span<const double> ge, std::span<const double> reported,
                              bool inverse, std::span<const double> levels, int m, int digits);

/// The console and log line that says so: how many entries, the error bound, the largest of
/// them, and what gives every digit.
std::string unresolved_message(const Unresolved& u, int total);

}  // namespace ostrel
