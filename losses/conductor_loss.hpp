// The conductor loss of a line over frequency: resistance and internal inductance matrices.
//
// Skin effect: a conductor whose skin depth delta = 1/sqrt(pi f mu0 sigma) is small against its
// size carries the current of the vacuum solution in a thin layer of surface impedance
// Zs = Rs (1 + j), Rs = sqrt(pi f mu0 / sigma), so that the loss of unit currents a and b is
// R_ab = sum over surfaces Rs K(f) integral J_a J_b dl, and the internal reactance equals it.
// K >= 1 is the roughness factor (Hammerstad-Jensen or Huray).
//
// Transition to DC, for a conductor of bounded cross-section A (direct current I spread evenly,
// r_dc = 1/(sigma A)): with the conductor's own share r_sk = x' R_sk x / (x'x)^2 of the skin
// resistance (x the currents it carries: e_k for conductor k, -1 for every line on the ground's
// return), the weights w_dc = r_dc / hypot(r_dc, r_sk) and w_sk = r_sk / hypot(r_dc, r_sk) give
//   R = w_dc r_dc x x' + w_sk R_sk,   X_internal = w_sk R_sk.
// The conductor's own resistance is then hypot(r_dc, r_sk), the root sum of squares of the two
// regimes, and its internal inductance tends to r_sk^2 / (omega r_dc), constant at low frequency:
// for a round wire exactly the DC value mu0 / (8 pi). Both matrices stay positive semidefinite.
//
// Metal the problem leaves unbounded (a shield given by its inner face, the grounded planes of
// the kernel) is infinitely thick (skin effect at every frequency) unless --ground-thickness
// gives the ground a thickness t, whose slab has the surface impedance
// Zs = Rs (1 + j) coth((1 + j) t / delta), 1/(sigma t) at DC.
#pragma once

#include <Eigen/Dense>
#include <string>
#include <vector>

#include "losses/conductor_outline.hpp"
#include "losses/loss_options.hpp"
#include "losses/surface_current.hpp"

namespace ostrel::losses {

/// Skin depth (m) of a conductivity sigma (S/m) at f (Hz).
double skin_depth(double f, double sigma);

/// Roughness factor K(f) >= 1 of the loss: Hammerstad-Jensen 1 + (2/pi) atan(1.4 (rms/delta)^2),
/// or Huray 1 + 1.5 ratio / (1 + delta/a + delta^2/(2 a^2)) (the snowball model with the flat
/// part's area equal to the flat area); 1 when smooth.
double roughness_factor(const Roughness& r, double delta);

/// One surface of the loss: a conductor's elements, the ground's elements or the planes.
struct LossSurface {
  enum Model { rss, skin, slab } model = skin;
  int conductor = 0;         ///< 0 = ground
  std::string name;          ///< for the report
  double sigma = 0;          ///< S/m
  Roughness roughness;       ///< of the conductor
  Eigen::MatrixXd m;         ///< integral of J_a J_b dl over the surface, 1/m
  double r_dc = 0;           ///< rss: 1/(sigma A), ohm/m
  Eigen::VectorXd x;         ///< rss: the currents the surface carries (e_k, or -1 for the ground)
  double thickness = 0;      ///< slab: m
  double area = 0;           ///< rss: m^2
  bool incremental = false;  ///< m from the incremental inductance (an outline with corners)
};

/// The loss model of a line.
struct ConductorLoss {
  std::vector<LossSurface> surfaces;
  Eigen::MatrixXd r_dc;       ///< resistance at DC, ohm/m (zero where the return is unbounded)
  Eigen::MatrixXd rs_smooth;  ///< sum of sqrt(pi mu0 / sigma) M: R = rs_smooth sqrt(f) when
                              ///< every surface is smooth and thick, ohm/(m sqrt(Hz))
};

/// Builds the surfaces from the current integrals (per length unit; `unit` metres) and the
/// outlines: conductors 1..m and the ground's elements with a bounded cross-section follow the
/// DC transition, unbounded ones the skin law (the ground's with --ground-thickness the slab),
/// the planes the ground's skin or slab law. A ground body beside grounded planes, which take
/// the direct current, follows the skin law. O(m^2) per surface.
ConductorLoss conductor_loss(const CurrentIntegrals& c,
                             const std::vector<ConductorOutline>& outlines, const LossOptions& o,
                             int m);

/// R(f) and the internal reactance X(f) = omega L_internal(f), ohm/m, by the laws above.
struct SeriesLoss {
  Eigen::MatrixXd r, x;
};
SeriesLoss series_loss(const ConductorLoss& loss, double f);

}  // namespace ostrel::losses
