// Integrals of the kernels against the piecewise-linear basis functions of an element.
//
// Basis function phi_k of element i (nodes T(1) < ... < T(N), T[0] = T(1)) has two pieces; a
// rising ramp on [a, b] goes from 0 at a to 1 at b, a falling ramp from 1 at a to 0 at b:
//
//   phi_1      open:   constant 1 on [-1, T(1)],          falling on [T(1), T(2)]
//   phi_1      circle: rising on [-1, T(1)],              falling on [T(1), T(2)]
//   phi_k      any:    rising on [T(k-1), T(k)],          falling on [T(k), T(k+1)]
//   phi_N      open:   rising on [T(N-1), T(N)],          constant 1 on [T(N), 1]
//   phi_N      circle: rising on [T(N-1) - 2, -1],        falling on [-1, T(1)]  (seam)
//
// tried in this order (k = 1 before k = N). The circle's seam function lives on the period
// shifted by -2, so the collocation parameter t0 becomes t0 - 2 on both its pieces.
// Integrals are over the parameter t (no length factor). Each piece is integrated with the
// 6-point rule of `gauss`; the logarithm of the self-integral in closed form.
#pragma once

#include <array>
#include <span>

#include "base/problem.hpp"

namespace ostrel {

/// Kernel codes, the integrand K(t) with P(t) = elem(i, t) and P0 = (x0, y0).
inline constexpr int code_self = 0;       ///< G(P(t), P0) + ln|t - t0| (own element)
inline constexpr int code_potential = 1;  ///< G(P(t), P0)
inline constexpr int code_flux = 2;       ///< dG/dn0(P(t), P0, n0)
inline constexpr int code_unit = 3;       ///< 1
/// Console line of an unknown kernel code.
inline constexpr const char* bad_code_text = "no such function to integrate";

/// Shift of the circle's seam function: the parameter period of a closed element.
inline constexpr double seam_shift = 2;

/// One linear piece of a basis function.
struct BasisPiece {
  enum class Shape { constant, rising, falling };
  Shape shape = Shape::constant;
  double a = 0, b = 0;  ///< the interval [a, b]
  bool seam = false;    ///< on the circle's seam function: use t0 - 2
};

/// The two pieces of phi_k of element i (table above), first piece first. Needs N >= 2 and
/// 1 <= k <= N (asserted). O(1).
std::array<BasisPiece, 2> basis_pieces(const Problem& pb, int i, int k, std::span<const double> T);

/// u (ln|u| - 1), the antiderivative of ln|u|; 0 when |u| <= tiny (its limit at 0).
double f_1(double u, double tiny);
/// f_1(a - t0) - f_1(b - t0) = -int_a^b ln|t - t0| dt.
double f_0(double a, double b, double t0, double tiny);
/// 1/2 u^2 (ln|u| - 1/2) - v u (ln|u| - 1), the antiderivative of (u - v) ln|u|; 0 when
/// |u| <= tiny.
double f1l(double u, double v, double tiny);
/// (f1l(a-t0, d-t0) - f1l(b-t0, d-t0))/(c - d) = -int_a^b ((t-d)/(c-d)) ln|t - t0| dt, the
/// ramp that is 1 at c and 0 at d. Coinciding c and d divide by zero (not checked).
double f0l(double a, double b, double c, double d, double t0, double tiny);

/// int_a^b ((t - c)/(d - c)) K(t) dt by the Gauss rule: m = (a+b)/2, h = (b-a)/2,
/// t = m + h xi_g, sum += (t - c) K h w_g, result sum/(d - c). Six kernel evaluations (and six
/// elem calls for codes 0-2). A code outside 0..3 stops the run with "no such function to
/// integrate" on the console; an invalid Green's function selector stops it in g/dgdn.
double wtl(const Problem& pb, int i, double a, double b, double c, double d, int code, double t0,
           double x0, double y0, double nx, double ny);
/// int_a^b K(t) dt by the Gauss rule (sum += K h w_g). Same cost and stops as wtl.
double wtl0(const Problem& pb, int i, double a, double b, int code, double t0, double x0, double y0,
            double nx, double ny);

/// int phi_k(t) K(t) dt over element i: the sum of its two pieces by wtl/wtl0. t0 is used by
/// code 0 only, (x0, y0) by codes 0-2, (nx, ny) by code 2. Twelve kernel evaluations; every
/// sub-interval is integrated afresh (the matrix fill uses ElementQuadrature instead).
double sigal(const Problem& pb, int i, int k, std::span<const double> T, int code, double t0,
             double x0, double y0, double nx, double ny);

/// -int phi_k(t) ln|t - t0| dt over the pieces of phi_k, in closed form (f0l for ramps, f_0
/// for constant pieces). sigal(code 0) + ilogl = int phi_k G dt. O(1), four logarithms.
double ilogl(const Problem& pb, int i, int k, std::span<const double> T, double t0);

}  // namespace ostrel
