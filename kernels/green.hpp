// The six Green's functions of the run and their normal derivatives.
//
// G is normalised so that free space gives G = -ln r: G is 2*pi times the permittivity (of the
// upper medium for the dielectric half-space: see kernel_material) times the potential of a unit
// line charge; for inductance problems the material values are reciprocal permeabilities. The
// source point (x, y) carries the charge, (x0, y0) is the observation (collocation) point and
// (nx, ny) the unit normal there; dgdn is nx*dG/dx0 + ny*dG/dy0. With r^2 = (x-x0)^2+(y-y0)^2
// and r'^2 = (x-x0)^2+(y+y0)^2 (mirror image in y = 0):
//
//   igg 0  free space               -1/2 ln r^2
//   igg 1  grounded plane y = 0     -1/2 ln(r^2/r'^2)
//   igg 2  symmetry plane y = 0     -1/2 ln(r^2 r'^2)
//   igg 3  dielectric half-spaces   y > 0: -1/2 ln r^2 - k 1/2 ln r'^2, k = (e1-e2)/(e1+e2)
//          (e1 above, e2 below)     y <= 0: (2 e1/(e1+e2)) (-1/2 ln r^2)
//   igg 4  grounded channel 0<y<a   F(x, y, x0, y0)
//   igg 5  channel, symmetry x = 0  F(x, y, x0, y0) + F(x, y, -x0, y0)
//
// All kernels are inline templates so that the per-point code of the matrix fill and the free
// functions g/dgdn are one and the same expression sequence. The fill takes the logarithms of
// kernels 0..3 for many points at once with a vector routine (log_arguments, from_logs), so its
// values differ from g in the last bits of the logarithm; its values of dgdn are identical.
#pragma once

#include <cassert>
#include <cmath>
#include <limits>
#include <type_traits>

#include "base/problem.hpp"

namespace ostrel {

/// Stop text of an unknown Green's function selector.
inline constexpr const char* green_stop_text = "error parameter Green function";

/// Largest valid Green's function selector.
inline constexpr int igg_max = 5;

/// Channel kernel of width a: F = 1/2 ln((C - c+)/(C - c-)) with C = cosh(pi(x-x0)/a),
/// c+ = cos(pi(y+y0)/a), c- = cos(pi(y-y0)/a). Zero on y = 0 and y = a, -ln r + const near the
/// source. One cosh, two cos, one log. Needs a > 0 (not checked).
inline double fgst(double x, double y, double x0, double y0, double a, double pi) {
  const double cc = std::cosh(pi * (x - x0) / a);
  const double cp = std::cos(pi * (y + y0) / a);
  const double cm = std::cos(pi * (y - y0) / a);
  return 0.5 * std::log((cc - cp) / (cc - cm));
}

/// Gradient (gx, gy) = (dF/dx0, dF/dy0) of the channel kernel with respect to the observation
/// point: with C = cosh(pi(x0-x)/a), S = sinh(pi(x0-x)/a), m = 1/2 pi/a,
/// gx = m (S/(C-c+) - S/(C-c-)), gy = m (sin(pi(y+y0)/a)/(C-c+) - sin(pi(y0-y)/a)/(C-c-)).
inline void grst(double x, double y, double x0, double y0, double a, double pi, double& gx,
                 double& gy) {
  const double cc = std::cosh(pi * (x0 - x) / a);
  const double ss = std::sinh(pi * (x0 - x) / a);
  const double cp = std::cos(pi * (y + y0) / a);
  const double cm = std::cos(pi * (y - y0) / a);
  const double m = 0.5 * pi / a;
  gx = m * (ss / (cc - cp) - ss / (cc - cm));
  gy = m * (std::sin(pi * (y + y0) / a) / (cc - cp) - std::sin(pi * (y0 - y) / a) / (cc - cm));
}

/// Calls f(std::integral_constant<int, Igg>{}) for the selector igg, so that the kernel is
/// chosen once per call site instead of once per point. Needs 0 <= igg <= igg_max (asserted;
/// anything else is taken as 5).
template <class F>
decltype(auto) with_selector(int igg, F&& f) {
  assert(igg >= 0 && igg <= igg_max);
  switch (igg) {
    case 0:
      return f(std::integral_constant<int, 0>{});
    case 1:
      return f(std::integral_constant<int, 1>{});
    case 2:
      return f(std::integral_constant<int, 2>{});
    case 3:
      return f(std::integral_constant<int, 3>{});
    case 4:
      return f(std::integral_constant<int, 4>{});
    default:
      return f(std::integral_constant<int, 5>{});
  }
}

/// The kernel of one run: selector and the constants derived from the problem, built once.
/// Cheap to copy; holds no reference to the problem.
struct GreenKernel {
  int igg = 0;    ///< selector 0..5 (anything else is invalid)
  double a = 0;   ///< plate distance gpars(1) of kernels 4 and 5
  double pi = 0;  ///< pi of the build
  double k = 0;   ///< image factor (e1-e2)/(e1+e2) of kernel 3
  double f = 0;   ///< transmission factor 2 e1/(e1+e2) of kernel 3

  GreenKernel() = default;
  /// Reads igg, gpars(1), the material values of deps(1) and deps(2) for the problem kind (so
  /// that an inductance problem mirrors a line current with (mu2 - mu1)/(mu2 + mu1)) and pi.
  /// Does not check the selector.
  explicit GreenKernel(const Problem& pb) : igg(pb.igg), a(pb.gpars(1)), pi(pb.c().pi) {
    if (igg == 3) {
      const double e1 = pb.material(1), e2 = pb.material(2);
      k = (e1 - e2) / (e1 + e2);
      f = 2 * e1 / (e1 + e2);
    }
  }
  bool valid() const { return igg >= 0 && igg <= igg_max; }

  /// G for the selector Igg (0..5).
  template <int Igg>
  double value(double x, double y, double x0, double y0) const;

  /// Number of logarithms that G of the selector Igg is made of and that log_arguments and
  /// from_logs split it at: 1 for kernels 0..2, 2 for kernel 3 (direct and image term), 0 for
  /// the channel kernels (their logarithms stay inside value).
  template <int Igg>
  static constexpr int logs_of = Igg <= 2 ? 1 : (Igg == 3 ? 2 : 0);
  /// The arguments u (and v for kernel 3) of the logarithms of G for the selector Igg 0..3:
  /// r^2 (0), r^2/r'^2 (1), r^2 r'^2 (2), r^2 and r'^2 (3). v is left alone for 0..2.
  template <int Igg>
  void log_arguments(double x, double y, double x0, double y0, double& u, double& v) const;
  /// G for the selector Igg 0..3 from lu = ln u and lv = ln v of log_arguments (lv is read by
  /// kernel 3 with y > 0 only) and the source's y. With lu and lv from std::log it is value
  /// bit for bit; a batch of points can take its logarithms with a vector routine instead.
  template <int Igg>
  double from_logs(double y, double lu, double lv) const;
  /// dG/dn0 for the selector Igg (0..5).
  template <int Igg>
  double normal_derivative(double x, double y, double x0, double y0, double nx, double ny) const;

  /// g = G of kernels 0..2 from lu = ln u of log_arguments, and g = dG/dn0 of kernels 0..2,
  /// for a value type T: double, or a vector of doubles whose operations act lane by lane, so
  /// that the fill can take four points at once with the same operations (the values go by
  /// reference: vectors are not passed by value between functions of different instruction
  /// sets). from_logs<0..2> and normal_derivative<0..2> are these for double.
  template <class T>
  static void plane_from_log(const T& lu, T& g) {
    g = -0.5 * lu;
  }
  template <int Igg, class T>
  static void plane_flux(const T& x, const T& y, double x0, double y0, double nx, double ny, T& g);

  /// G for the run's selector; NaN for an invalid selector (callers check first).
  double operator()(double x, double y, double x0, double y0) const;
  /// dG/dn0 for the run's selector; NaN for an invalid selector.
  double dn(double x, double y, double x0, double y0, double nx, double ny) const;
};

template <int Igg>
inline double GreenKernel::value(double x, double y, double x0, double y0) const {
  static_assert(Igg >= 0 && Igg <= igg_max);
  if constexpr (Igg == 4) {
    return fgst(x, y, x0, y0, a, pi);
  } else if constexpr (Igg == 5) {
    // F(x,y,x0,y0) + F(x,y,-x0,y0): both terms share c+ and c- (they do not depend on x0), so
    // they are computed once; every operation is that of fgst, so the bits are the same.
    const double cp = std::cos(pi * (y + y0) / a);
    const double cm = std::cos(pi * (y - y0) / a);
    const double c1 = std::cosh(pi * (x - x0) / a);
    const double c2 = std::cosh(pi * (x - (-x0)) / a);
    return 0.5 * std::log((c1 - cp) / (c1 - cm)) + 0.5 * std::log((c2 - cp) / (c2 - cm));
  } else {
    double u, v = 0;
    log_arguments<Igg>(x, y, x0, y0, u, v);
    // Kernel 3 below the plane needs no image term: its logarithm is not taken.
    const double lv = Igg == 3 && y > 0 ? std::log(v) : 0.0;
    return from_logs<Igg>(y, std::log(u), lv);
  }
}

template <int Igg>
inline void GreenKernel::log_arguments(double x, double y, double x0, double y0, double& u,
                                       double& v) const {
  static_assert(Igg >= 0 && Igg <= 3);
  const double dx = x - x0;
  const double dy = y - y0;
  const double r2 = dx * dx + dy * dy;
  if constexpr (Igg == 0) {
    u = r2;
  } else {
    const double yp = y + y0;
    const double rp2 = dx * dx + yp * yp;
    if constexpr (Igg == 1) {
      u = r2 / rp2;
    } else if constexpr (Igg == 2) {
      u = r2 * rp2;
    } else {
      u = r2;
      v = rp2;
    }
  }
}

template <int Igg>
inline double GreenKernel::from_logs(double y, double lu, double lv) const {
  static_assert(Igg >= 0 && Igg <= 3);
  if constexpr (Igg <= 2) {
    (void)y;
    (void)lv;
    double g;
    plane_from_log(lu, g);
    return g;
  } else {
    // Source above the plane: direct term and image; on or below: transmitted field.
    if (y > 0) return -0.5 * lu - k * 0.5 * lv;
    return f * (-0.5 * lu);
  }
}

template <int Igg>
inline double GreenKernel::normal_derivative(double x, double y, double x0, double y0, double nx,
                                             double ny) const {
  static_assert(Igg >= 0 && Igg <= igg_max);
  if constexpr (Igg == 4) {
    double gx, gy;
    grst(x, y, x0, y0, a, pi, gx, gy);
    return nx * gx + ny * gy;
  } else if constexpr (Igg == 5) {
    // grst(x,...) + grst(-x,...): the cosines and sines of the y terms are shared.
    const double cp = std::cos(pi * (y + y0) / a);
    const double cm = std::cos(pi * (y - y0) / a);
    const double sp = std::sin(pi * (y + y0) / a);
    const double sm = std::sin(pi * (y0 - y) / a);
    const double m = 0.5 * pi / a;
    const double c1 = std::cosh(pi * (x0 - x) / a);
    const double s1 = std::sinh(pi * (x0 - x) / a);
    const double c2 = std::cosh(pi * (x0 - (-x)) / a);
    const double s2 = std::sinh(pi * (x0 - (-x)) / a);
    const double gx = m * (s1 / (c1 - cp) - s1 / (c1 - cm));
    const double gy = m * (sp / (c1 - cp) - sm / (c1 - cm));
    const double gxs = m * (s2 / (c2 - cp) - s2 / (c2 - cm));
    const double gys = m * (sp / (c2 - cp) - sm / (c2 - cm));
    return nx * (gx + gxs) + ny * (gy + gys);
  } else if constexpr (Igg <= 2) {
    double g;
    plane_flux<Igg>(x, y, x0, y0, nx, ny, g);
    return g;
  } else {
    const double dx = x - x0;
    const double dy = y - y0;
    const double r2 = dx * dx + dy * dy;
    const double d = dx * nx + dy * ny;
    const double yp = y + y0;
    const double rp2 = dx * dx + yp * yp;
    const double dp = (x0 - x) * nx + yp * ny;
    // Source on or above the plane: direct term and image; below: transmitted field.
    if (y >= 0) return d / r2 - k * dp / rp2;
    return f * d / r2;
  }
}

template <int Igg, class T>
inline void GreenKernel::plane_flux(const T& x, const T& y, double x0, double y0, double nx,
                                    double ny, T& g) {
  static_assert(Igg >= 0 && Igg <= 2);
  const T dx = x - x0;
  const T dy = y - y0;
  const T r2 = dx * dx + dy * dy;
  const T d = dx * nx + dy * ny;
  if constexpr (Igg == 0) {
    g = d / r2;
  } else {
    const T yp = y + y0;
    const T rp2 = dx * dx + yp * yp;
    const T dp = (x0 - x) * nx + yp * ny;
    if constexpr (Igg == 1)
      g = d / r2 + dp / rp2;
    else
      g = d / r2 - dp / rp2;
  }
}

inline double GreenKernel::operator()(double x, double y, double x0, double y0) const {
  if (!valid()) return std::numeric_limits<double>::quiet_NaN();
  return with_selector(igg, [&](auto s) { return value<decltype(s)::value>(x, y, x0, y0); });
}

inline double GreenKernel::dn(double x, double y, double x0, double y0, double nx,
                              double ny) const {
  if (!valid()) return std::numeric_limits<double>::quiet_NaN();
  return with_selector(
      igg, [&](auto s) { return normal_derivative<decltype(s)::value>(x, y, x0, y0, nx, ny); });
}

/// The material value that G is normalised to: that of the upper medium (deps(1) for the
/// problem kind) for the dielectric half-space, 1 for every other kernel. The single layer that
/// solves the potential equations with this G carries the charge 2 pi eps0 * this value times
/// its density, so charges integrated with the element sides' material values are multiplied
/// by it to come out in units of eps0.
inline double kernel_material(const Problem& pb) {
  return pb.igg == 3 ? pb.material(1) : 1.0;
}

/// Stops the run with the stop text "error parameter Green function" (no console or log line)
/// when pb.igg is outside 0..5. Call it before a parallel fill: nothing there may throw.
void check_green(const Problem& pb);

/// G(x, y; x0, y0) of the run's kernel pb.igg. Stops the run on an invalid selector.
/// r = 0 gives an infinite value (not checked).
double g(const Problem& pb, double x, double y, double x0, double y0);

/// dG/dn0 = nx dG/dx0 + ny dG/dy0 of the run's kernel. Stops the run on an invalid selector.
double dgdn(const Problem& pb, double x, double y, double x0, double y0, double nx, double ny);

}  // namespace ostrel
