// The dielectric loss of a line over frequency: G(f) and C(f) from the media's loss tangents,
// constant or by the wideband Debye (Djordjevic-Sarkar) model.
//
// The capacitance is homogeneous of degree one in the permittivities, so it is the sum of the
// shares D_g = sum over the media k of group g of eps_k dC/deps_k. With complex permittivities
// eps'_k(f) - j eps''_k(f), to first order in the changes from the values of the problem
// (eps'_k at the reference) and in the loss:
//   C(f) = sum_g D_g eps'_g(f) / eps_g,   G(f) = omega sum_g D_g eps''_g(f) / eps_g.
// A constant loss tangent gives C(f) = C and G = omega sum_g tan(delta_g) D_g.
#pragma once

#include <Eigen/Dense>
#include <array>
#include <complex>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "driver/reading.hpp"
#include "elements.hpp"
#include "losses/loss_options.hpp"

namespace ostrel::losses {

/// Decades of the wideband Debye model's corner frequencies: 10^3 Hz and 10^12 Hz, the band
/// Djordjevic and Sarkar (2001) fit FR-4 with, and the usual choice of field solvers since.
inline constexpr double debye_low_decade = 3;
inline constexpr double debye_high_decade = 12;

/// eps(f) = eps_inf + delta / (m2 - m1) log10((f2 + j f) / (f1 + j f)), f1 = 10^m1, f2 = 10^m2:
/// causal (a continuum of Debye relaxations between the corners), with a nearly constant loss
/// tangent inside the band. The imaginary part is negative: eps = eps' - j eps''.
struct DebyeModel {
  double eps_inf = 1;
  double delta = 0;
  std::complex<double> eps(double f) const;
};

/// The model through eps' = eps_r and eps''/eps' = tan_delta at f_ref. Throws
/// std::invalid_argument when eps_inf comes out below 1 (a loss too large for the band).
DebyeModel fit_debye(double eps_r, double tan_delta, double f_ref);

/// Media that share their loss law, and their share of the capacitance.
struct MediumGroup {
  std::vector<int> media;  ///< deps indices (-1: vacuum)
  double tan_delta = 0;
  bool debye = false;
  double eps = 1;         ///< the media's permittivity deps (Debye groups share it)
  DebyeModel model;       ///< Debye groups
  Eigen::MatrixXd share;  ///< D_g, m x m, in units of eps0
  /// eps'(f)/eps and eps''(f)/eps of the group.
  double real_ratio(double f) const;
  double loss_ratio(double f) const;
};

/// The dielectric model of a line.
struct DielectricLoss {
  std::vector<MediumGroup> groups;
  int solutions = 0;  ///< solutions computed for the shares
};

/// Groups the media the line's field sees (vacuum included) by loss tangent, Debye reference
/// and, for Debye media, permittivity, and finds each group's share of ge (the non-dimensional
/// capacitance matrix of `in`): one group takes the rest, every other group costs one solution
/// with its permittivities raised by lines::loss_step (lines::capacitance, a progress line to
/// `console` each). Throws what the solution throws, and std::invalid_argument for a Debye fit
/// that fails.
DielectricLoss dielectric_loss(const Input& in, const Eigen::MatrixXd& ge,
                               const std::array<double, ndiel>& tan_delta, const LossOptions& o,
                               const std::string& tag, std::ostream& console);

/// C(f) and G(f) in F/m and S/m.
struct ShuntAdmittance {
  Eigen::MatrixXd c, g;
};
ShuntAdmittance shunt_admittance(const DielectricLoss& d, double f);

}  // namespace ostrel::losses
