// The lossy line over frequency: every figure of the sweep, from the solutions of one problem.
#pragma once

#include <Eigen/Dense>
#include <iosfwd>
#include <string>
#include <vector>

#include "driver/reading.hpp"
#include "lines/options.hpp"
#include "lines/parameters.hpp"
#include "losses/conductor_loss.hpp"
#include "losses/conductor_outline.hpp"
#include "losses/dielectric_loss.hpp"
#include "losses/line_response.hpp"
#include "losses/surface_current.hpp"

namespace ostrel::losses {

/// Largest share of a unit current that may be missing from its return path (the net current
/// of all surfaces, which a TEM line carries to zero): well above the discretisation error of
/// the charges (1e-4 on the tests' lines) and the plane integrals (1e-8), far below a return
/// path that is not there (a line in free space whose potentials refer to one length unit).
inline constexpr double return_tolerance = 1e-3;

/// The figures of one frequency, SI units.
struct SweepPoint {
  double f = 0;
  Eigen::MatrixXd r, l, g, c;  ///< per unit length; l includes the internal inductance
  Eigen::MatrixXd l_internal;
  LineResponse response;
  bool mixed = false;  ///< a symmetric pair with a length: the mixed-mode figures
  MixedMode mixed_mode;
};

/// The whole sweep of one problem.
struct Sweep {
  int m = 0;
  lines::LineParameters base;  ///< the lossless figures: C at the reference, external L, C0
  std::vector<ConductorOutline> outlines;
  CurrentIntegrals currents;
  ConductorLoss conductor;
  DielectricLoss dielectric;
  std::vector<SweepPoint> points;
  double return_error = 0;  ///< largest missing share of a unit current's return
  int solutions = 0;
};

/// Analyses the problem for the options: checks the outlines first (a zero-thickness strip
/// stops before any solution), solves with the dielectrics (lines::capacitance; not when every
/// permittivity is 1) and in vacuum with the surface currents (solve_vacuum), the media's shares
/// of the capacitance, and then every frequency: R(f) and the internal inductance, G(f) and
/// C(f), the modes, Zc and with o.length the S-parameters. Each solution writes a progress line
/// to `console`, led by `tag`. Throws std::runtime_error with the reason for a line whose return
/// current is incomplete or whose plane integrals fail, and whatever the solutions throw.
Sweep analyse(const Input& in, const lines::Options& o, const std::string& tag,
              std::ostream& console);

/// The figures at the frequency f (Hz) of an analysed sweep, the S-parameters for `length`
/// metres (none when 0) and the reference z_ref. Cost O(m^3).
SweepPoint sweep_point(const Sweep& s, double f, double length, double z_ref);

/// Throws std::runtime_error naming the first figure of the sweep that is not finite.
void check_finite(const Sweep& s);
void check_finite(const SweepPoint& p);

/// A lines::Matrix as an Eigen matrix and back.
Eigen::MatrixXd to_eigen(const lines::Matrix& a);
lines::Matrix to_lines(const Eigen::MatrixXd& a);

}  // namespace ostrel::losses
