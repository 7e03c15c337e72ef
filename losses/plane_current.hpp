// The return current on the grounded planes that the Green's function models (igg 1, 4, 5).
//
// The planes carry the image charge of the conductors: per eps0 their surface charge density is
// the normal field of the solution at the plane, E.n = -sum_j integral dG/dn0 mu_j dt with n
// pointing into the field region, and their current density follows from it as on the
// conductors (J = c rho).
#pragma once

#include <Eigen/Dense>

#include "losses/surface_current.hpp"

namespace ostrel::losses {

/// Relative accuracy the plane integrals are taken to: far below the discretisation error of
/// the densities (1e-4 and more), far above the rounding of their sums.
inline constexpr double plane_tolerance = 1e-8;

/// The integrals over the planes of the charge densities sigma_k of the solutions.
struct PlaneIntegrals {
  bool any = false;           ///< the kernel has grounded planes
  Eigen::MatrixXd products;   ///< m x m: integral of sigma_k sigma_l along the planes
  Eigen::VectorXd net;        ///< m: integral of sigma_k
  double relative_error = 0;  ///< estimated error of the products, relative to their trace
};

/// Integrates along every grounded plane of the kernel (y = 0 for igg 1; y = 0 and y = gpars(1)
/// for igg 4 and 5), over the whole line, or for igg 5 over the half on the side of the
/// conductors (the modelled half of the symmetric line). The densities at a point come from
/// the pieces of every element with 8-point Gauss-Legendre, pieces nearer than their length
/// halved until they are not; the line integral is globally adaptive Gauss-Kronrod (7/15
/// points) on the conductors' span and on both tails mapped to finite intervals, until its
/// error estimate falls below plane_tolerance or 4000 intervals are used. Throws
/// std::runtime_error when the conductors of igg 5 lie on both sides of the symmetry plane.
/// Cost: about npts * 8 kernel evaluations per point of the line, a few thousand points.
PlaneIntegrals plane_integrals(const VacuumSolution& v);

}  // namespace ostrel::losses
