// The surface current of a quasi-TEM line from its vacuum solution.
//
// In vacuum the line carries a TEM wave, whose magnetic field at a conductor is E x z / eta0:
// the surface current density is c times the surface charge density (J = c rho). A forward wave
// with the currents I carries the charges Q = I / c, that is the potentials C0^-1 Q, so the
// current density of a unit current on conductor a is J_a = sum_k (C0^-1)_ka rho_k c / c =
// sum_k (ge0^-1)_ka sigma_k, with sigma_k the free charge density per eps0 of the solution with
// conductor k at 1 V (the charge step of the solution) and ge0 the capacitance matrix in units
// of eps0. J_a is per length unit of the problem, per ampere.
#pragma once

#include <Eigen/Dense>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "driver/reading.hpp"

namespace ostrel::losses {

/// A linear piece of an element's density: from the parameter ta, where it has the value of
/// point ga (global index, 0-based), to tb with the value of point gb. The basis functions make
/// the density constant on the end pieces of open elements (ga == gb) and wrap it around the
/// seam of a circle.
struct DensityPiece {
  int element = 0;
  double ta = 0, tb = 0;
  int ga = 0, gb = 0;
};

/// The pieces of every element, element after element, from the element grids in tcol
/// (collocation_points order). O(sum ni).
std::vector<DensityPiece> density_pieces(const Problem& pb, std::span<const double> tcol);

/// The solutions of the vacuum problem, one per conductor at 1 V with the others at 0 V.
struct VacuumSolution {
  Input input;  ///< the vacuum problem
  int m = 0;    ///< conductors
  int npts = 0;
  std::vector<double> tcol, xcol, ycol;  ///< collocation points
  Eigen::MatrixXd mu;                    ///< npts x m: the single-layer density per unit parameter
  Eigen::MatrixXd sigma;  ///< npts x m: free charge per unit length per eps0 on conductor points
  Eigen::MatrixXd ge0;    ///< m x m: charge of conductor q (row) per eps0, made symmetric
  std::vector<DensityPiece> pieces;
};

/// Fills, factorises and solves the vacuum problem in memory (the same fill, LU and solves as
/// the in-core solution) and takes the free charge density at every conductor point (isign 0
/// included) by the charge step's rule, the double-layer sum included where the element's two
/// sides differ. Throws std::runtime_error for a singular system or an unknown kernel. Cost:
/// that of the solution, 8 nd^2 bytes, plus one flux row per conductor point between
/// different materials.
VacuumSolution solve_vacuum(const Input& vacuum_input);

/// solve_vacuum with a progress line to `console`: `label`, the number of unknowns and, when
/// done, the wall time. Memory that cannot be had becomes a std::runtime_error naming `label`.
VacuumSolution solve_vacuum_shown(const Input& vacuum_input, const std::string& label,
                                  std::ostream& console);

/// What the loss needs of the current densities of unit currents.
struct CurrentIntegrals {
  /// Per conductor k = 0..m (0: the grounded elements): the m x m matrix of the integrals of
  /// J_a J_b over its surface, per length unit (1/unit).
  std::vector<Eigen::MatrixXd> surface;
  /// The same over the grounded planes of the kernel (zero when there are none).
  Eigen::MatrixXd planes;
  bool has_planes = false;
  /// (m + 2) x m: the net current of a unit current on conductor a (column) carried by
  /// conductor k (row k = 0..m) and by the planes (row m + 1); each column sums to 0 for a
  /// complete return path.
  Eigen::MatrixXd net;
  double plane_error = 0;  ///< estimated relative error of the plane integrals
};

/// Integrates the products of the current densities: on the elements exactly for the
/// piecewise-linear densities, on the planes by adaptive quadrature of the normal field of the
/// solution (plane_current.hpp). Cost O(npts m^2) plus the planes'.
CurrentIntegrals current_integrals(const VacuumSolution& v);

}  // namespace ostrel::losses
