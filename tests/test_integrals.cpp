// Element integrals: closed forms, an independent long-double adaptive reference, and the
// agreement of the matrix-fill fast path with sigal to the rounding of its terms.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "base/halt.hpp"
#include "geometry/element.hpp"
#include "geometry/grid.hpp"
#include "kernels/element_quadrature.hpp"
#include "kernels/gauss.hpp"
#include "kernels/green.hpp"
#include "kernels/integrals.hpp"
#include "kernels/vector_log.hpp"

namespace {

using namespace ostrel;
using ld = long double;

// ---------------------------------------------------------------------------------------------
// Independent reference: adaptive Gauss-Kronrod 7/15 in long double.

const ld xgk[8] = {0.991455371120812639206854697526329L, 0.949107912342758524526189684047851L,
                   0.864864423359769072789712788640926L, 0.741531185599394439863864773280788L,
                   0.586087235467691130294144845693013L, 0.405845151377397166906606412076961L,
                   0.207784955007898467600689403773245L, 0.0L};
const ld wgk[8] = {0.022935322010529224963732008058970L, 0.063092092629978553290700663189204L,
                   0.104790010322250183839876322541518L, 0.140653259715525918745189590510238L,
                   0.169004726639267902826583426598550L, 0.190350578064785409913256402421014L,
                   0.204432940075298892414161999234649L, 0.209482141084727828012999174891714L};
const ld wg[4] = {0.129484966168869693270611432679082L, 0.279705391489276667901467771423780L,
                  0.381830050505118944950369775488975L, 0.417959183673469387755102040816327L};

using Fn = std::function<ld(ld)>;

// Each sub-interval must meet the absolute tolerance by itself (no halving with depth), so an
// integrable logarithmic end-point singularity converges: its interval's error shrinks like its
// length. About 60 levels reach the long-double resolution of the end point.
ld adaptive(const Fn& f, ld a, ld b, int depth = 0) {
  const ld c = (a + b) / 2, h = (b - a) / 2;
  ld k = wgk[7] * f(c), gs = wg[3] * f(c);
  for (int j = 0; j < 7; ++j) {
    const ld fs = f(c - h * xgk[j]) + f(c + h * xgk[j]);
    k += wgk[j] * fs;
    if (j % 2 == 1) gs += wg[j / 2] * fs;
  }
  k *= h;
  gs *= h;
  if (std::fabs(k - gs) <= 1e-17L || depth >= 64) return k;
  return adaptive(f, a, c, depth + 1) + adaptive(f, c, b, depth + 1);
}

// Integral over [a, b], split at the singular parameters that fall inside.
ld integral(const Fn& f, ld a, ld b, std::vector<ld> cuts) {
  std::vector<ld> pts{a};
  std::sort(cuts.begin(), cuts.end());
  for (ld c : cuts)
    if (c > a && c < b) pts.push_back(c);
  pts.push_back(b);
  ld s = 0;
  for (std::size_t i = 0; i + 1 < pts.size(); ++i)
    s += adaptive(f, pts[i], pts[i + 1]);
  return s;
}

// Element point in long double, from the parametrisation of the four forms (same pi).
struct LPoint {
  ld x, y;
};
LPoint lelem(const Problem& pb, const Element& e, ld t) {
  const auto& g = e.geom;
  const ld pi = pb.c().pi;
  ld phi = 0;
  switch (e.iform) {
    case 0:
      return {g[0] + (ld(g[2]) - g[0]) * (1 + t) / 2, g[1] + (ld(g[3]) - g[1]) * (1 + t) / 2};
    case 1:
      phi = g[3] + (1 + t) * (ld(g[4]) - g[3]) / 2;
      break;
    case 2:
      phi = pi * (g[3] + (1 + t) * (ld(g[4]) - g[3]) / 2) / 180;
      break;
    default:
      phi = g[3] >= 0 ? pi * t : -pi * t;
  }
  return {g[0] + g[2] * std::cos(phi), g[1] + g[2] * std::sin(phi)};
}

// Reference kernels: free space and the grounded channel, in long double.
ld ref_kernel(const Problem& pb, LPoint p, ld x0, ld y0) {
  if (pb.igg == 0) return -0.5L * std::log((p.x - x0) * (p.x - x0) + (p.y - y0) * (p.y - y0));
  // cosh u - cos v = 2 sinh^2(u/2) + 2 sin^2(v/2): free of cancellation near the source, so
  // the adaptive rule sees no rounding noise next to the singularity.
  const ld a = pb.gpars(1), pi = pb.c().pi;
  const ld su = std::sinh(pi * (p.x - x0) / (2 * a));
  const ld sp = std::sin(pi * (p.y + y0) / (2 * a)), sm = std::sin(pi * (p.y - y0) / (2 * a));
  return 0.5L * std::log((su * su + sp * sp) / (su * su + sm * sm));
}
ld ref_flux(const Problem& pb, LPoint p, ld x0, ld y0, ld nx, ld ny) {
  const ld dx = p.x - x0, dy = p.y - y0;
  (void)pb;
  return (dx * nx + dy * ny) / (dx * dx + dy * dy);
}

// Basis function k of an element as pieces: [a, b] with value (t - c)/(d - c), or 1 when
// constant; the circle's seam function on the period shifted by -2.
struct RefPiece {
  ld a, b, c, d;
  bool constant;
};
std::vector<RefPiece> ref_pieces(const Element& e, const std::vector<double>& T, int k) {
  const int n = e.ni;
  const auto t = [&](int j) -> ld { return T[j - 1]; };
  const bool closed = e.iform == 3;
  std::vector<RefPiece> p;
  if (k == 1) {
    if (closed)
      p.push_back({-1, t(1), -1, t(1), false});
    else
      p.push_back({-1, t(1), 0, 1, true});
    p.push_back({t(1), t(2), t(2), t(1), false});
  } else if (k < n) {
    p.push_back({t(k - 1), t(k), t(k - 1), t(k), false});
    p.push_back({t(k), t(k + 1), t(k + 1), t(k), false});
  } else if (!closed) {
    p.push_back({t(n - 1), t(n), t(n - 1), t(n), false});
    p.push_back({t(n), 1, 0, 1, true});
  } else {
    const ld s = ld(T[n - 2] - 2.0);  // the shifted node as the program forms it
    p.push_back({s, -1, s, -1, false});
    p.push_back({-1, t(1), t(1), -1, false});
  }
  return p;
}

// int phi_k(t) K(P(t)) dt with the kernel `kern`, split at `cuts` (and their period images).
ld ref_hat(const Problem& pb, int i, const std::vector<double>& T, int k,
           const std::function<ld(LPoint)>& kern, std::vector<ld> cuts) {
  const Element& e = pb.el(i);
  ld s = 0;
  for (const RefPiece& pc : ref_pieces(e, T, k)) {
    Fn f = [&](ld t) {
      const ld phi = pc.constant ? 1 : (t - pc.c) / (pc.d - pc.c);
      return phi * kern(lelem(pb, e, t));
    };
    std::vector<ld> all = cuts;
    for (ld c : cuts)
      all.push_back(c - 2);
    s += integral(f, pc.a, pc.b, all);
  }
  return s;
}

// ---------------------------------------------------------------------------------------------
// Test geometry: every form, both grid laws, both orientations; all in 0 < y < 4.

Element make(int iform, std::array<double, 5> geom, int ni, int ileft = 0, int iright = 0) {
  Element e;
  e.iform = iform;
  e.geom = geom;
  e.ni = ni;
  e.ileft = ileft;
  e.iright = iright;
  return e;
}

Problem sample_problem(int igg) {
  Problem pb;
  pb.igg = igg;
  pb.gpars_[0] = 4.0;  // channel 0 < y < 4
  pb.deps_[2] = 3.0;   // deps(1)
  pb.deps_[3] = 1.0;   // deps(2)
  pb.elements = {
      make(0, {0.2, 0.5, 2.2, 1.5, 0}, 7, 0, 1),       // segment, uniform then refined
      make(1, {0.0, 2.0, 1.5, 0.3, 2.2}, 6, 1, 1),     // arc in radians, counter-clockwise
      make(2, {3.0, 2.0, 0.8, 200.0, 20.0}, 5, 1, 0),  // arc in degrees, clockwise
      make(3, {-1.5, 2.0, 1.0, 0.0, 0}, 8),            // circle, counter-clockwise
      make(3, {1.2, 1.8, 0.6, -1.0, 0}, 5),            // circle, clockwise
      make(0, {-2.0, 3.5, -0.5, 3.2, 0}, 2, 1, 1),     // shortest open element
      make(3, {4.5, 0.9, 0.5, 1.0, 0}, 2),             // shortest circle
  };
  return pb;
}

std::vector<double> grid_of(const Problem& pb, int i) {
  std::vector<double> t(pb.el(i).ni);
  element_grid(pb, i, t);
  return t;
}

// ---------------------------------------------------------------------------------------------

TEST(Integrals, GaussTable) {
  // Single-precision roundings of the 6-point Gauss-Legendre rule, symmetric, weights sum to 2.
  const double exact_nodes[3] = {0.9324695142031521, 0.6612093864662645, 0.2386191860831969};
  const double exact_weights[3] = {0.1713244923791704, 0.3607615730481386, 0.4679139345726910};
  ASSERT_EQ(gauss.count, 6);
  double sw = 0;
  for (int q = 0; q < 6; ++q) {
    EXPECT_EQ(static_cast<double>(static_cast<float>(gauss.node[q])), gauss.node[q]);
    EXPECT_EQ(static_cast<double>(static_cast<float>(gauss.weight[q])), gauss.weight[q]);
    EXPECT_EQ(gauss.node[q], -gauss.node[5 - q]);
    EXPECT_EQ(gauss.weight[q], gauss.weight[5 - q]);
    const int m = q < 3 ? q : 5 - q;
    EXPECT_NEAR(std::fabs(gauss.node[q]), exact_nodes[m], 6e-8);  // half a float ulp
    EXPECT_NEAR(gauss.weight[q], exact_weights[m], 3e-8);
    sw += gauss.weight[q];
  }
  EXPECT_NEAR(sw, 2.0, 1e-7);
}

TEST(Integrals, LogAntiderivatives) {
  const double tiny = console_build.tiny;
  EXPECT_EQ(f_1(0.0, tiny), 0.0);
  EXPECT_EQ(f_1(9e-10, tiny), 0.0);
  EXPECT_EQ(f1l(-9e-10, 0.7, tiny), 0.0);
  EXPECT_NE(f_1(1.1e-9, tiny), 0.0);
  // -int_0^L ln t dt = L(1 - ln L) for the constant piece ending at the collocation point.
  for (double L : {0.05, 0.3, 1.0, 1.7})
    EXPECT_NEAR(f_0(-1, -1 + L, -1 + L, tiny), L * (1 - std::log(L)), 1e-15);
  // A ramp that is 1 at t0: -int_0^h (1 - u/h) ln u du = h (3/4 - ln(h)/2).
  for (double h : {0.1, 0.5, 1.0})
    EXPECT_NEAR(f0l(0.2, 0.2 + h, 0.2, 0.2 + h, 0.2, tiny), h * (0.75 - 0.5 * std::log(h)), 1e-15);
}

TEST(Integrals, ClosedFormsOfUnitKernel) {
  const Problem pb = sample_problem(0);
  for (int i = 1; i <= pb.n(); ++i) {
    const auto T = grid_of(pb, i);
    const int n = pb.el(i).ni;
    const bool closed = pb.el(i).iform == 3;
    for (int k = 1; k <= n; ++k) {
      double expect;
      if (k > 1 && k < n)
        expect = (T[k] - T[k - 2]) / 2;
      else if (k == 1)
        expect = closed ? (T[1] - (-1)) / 2 : (T[0] + 1) + (T[1] - T[0]) / 2;
      else
        expect = closed ? (1 - T[n - 2]) / 2 + (T[0] + 1) / 2
                        : (T[n - 1] - T[n - 2]) / 2 + (1 - T[n - 1]);
      // The rule integrates ramps exactly; the rounded nodes and weights leave ~1e-8.
      EXPECT_NEAR(sigal(pb, i, k, T, code_unit, 0, 0, 0, 0, 0), expect, 1e-7) << i << " " << k;
    }
  }
  // Seam function of a uniform circle = interior hat of the same width.
  const auto T = grid_of(pb, 4);
  EXPECT_NEAR(sigal(pb, 4, 8, T, code_unit, 1, 0, 0, 0, 0),
              sigal(pb, 4, 3, T, code_unit, 1, 0, 0, 0, 0), 1e-15);
  EXPECT_NEAR(sigal(pb, 4, 8, T, code_unit, 1, 0, 0, 0, 0), 0.25, 1e-7);
}

TEST(Integrals, ClosedFormsOfLogarithm) {
  const Problem pb = sample_problem(0);
  // Uniform circle with 8 nodes: h = 0.25; every hat, the seam one included, at its own node.
  const auto T = grid_of(pb, 4);
  for (int k = 1; k <= 8; ++k)
    EXPECT_NEAR(ilogl(pb, 4, k, T, T[k - 1]), 0.25 * (1.5 - std::log(0.25)), 1e-15) << k;
  // Circle with 2 nodes: the first hat has h = 1, so 1.5.
  const auto T2 = grid_of(pb, 7);
  EXPECT_NEAR(ilogl(pb, 7, 1, T2, T2[0]), 1.5, 1e-15);
  // First hat of an open element at its own node: L(1 - ln L) + h(3/4 - ln(h)/2).
  const auto Ts = grid_of(pb, 1);
  const double L = Ts[0] + 1, h = Ts[1] - Ts[0];
  EXPECT_NEAR(ilogl(pb, 1, 1, Ts, Ts[0]), L * (1 - std::log(L)) + h * (0.75 - 0.5 * std::log(h)),
              1e-14);
}

// sigal(code 0) + ilogl on the own element and sigal(code 1/2) off it, against the adaptive
// long-double integral of phi_k G. On the element the Gauss rule meets smooth integrands: on a
// segment G + ln|t - t0| is constant, on an arc -ln(2R sin(c u)/u), analytic far beyond the
// piece. What remains is the rule's single-precision second and higher moments (relative errors
// 1e-8 .. 5e-8 on the curvature terms) and, for the channel, the plate images about one piece
// length away; measured at most 5e-10, hence 2e-9.
TEST(Integrals, AgainstAdaptiveReference) {
  for (int igg : {0, 4}) {
    const Problem pb = sample_problem(igg);
    for (int i = 1; i <= pb.n(); ++i) {
      const Element& e = pb.el(i);
      // Two-node elements have pieces as long as the element itself (a half circle), where
      // six points do not resolve the kernel; they serve the exactness tests only.
      if (e.ni < 3) continue;
      const auto T = grid_of(pb, i);
      const int n = e.ni;
      const bool closed = e.iform == 3;
      // On the element: every node and a point between two nodes.
      std::vector<double> t0s(T.begin(), T.end());
      t0s.push_back((T[0] + T[1]) / 2);
      for (double t0 : t0s) {
        const Point p0 = elem(pb, i, t0);
        for (int k = 1; k <= n; ++k) {
          const double got =
              sigal(pb, i, k, T, code_self, t0, p0.x, p0.y, 0, 0) + ilogl(pb, i, k, T, t0);
          const ld ref =
              ref_hat(pb, i, T, k, [&](LPoint p) { return ref_kernel(pb, p, p0.x, p0.y); }, {t0});
          ASSERT_TRUE(std::isfinite(got));
          // Across the circle's seam the logarithm is taken out at the other period:
          // - the collocation point at t0 = 1 meets the first hat at its end t = -1, and the
          //   point at t0 = T(1) meets the seam function at its end T(1), with the logarithm
          //   taken out at t0 (resp. t0 - 2): the rule integrates u ln u there, with its error
          //   on int_0^1 u ln u du of 1.45e-4, i.e. 1.45e-4 h on a piece of length h;
          // - on the seam function with t0 between two nodes the unremoved singularity lies
          //   half a piece from the nearest piece: measured up to 4e-9, hence 1e-8.
          // The single-precision pi leaves the circle open by 1.7e-7 R at the seam; that moves
          // the singularity within the seam function's support and costs only O(gap^2).
          const bool seam_pair = closed && ((k == 1 && t0 == 1.0) || (k == n && t0 == T[0]));
          const bool at_seam = closed && (k == 1 || k == n || t0 == 1.0);
          const double tol = seam_pair ? 2e-4 * (T[1] - T[0]) : at_seam ? 1e-8 : 2e-9;
          EXPECT_NEAR(got, static_cast<double>(ref), tol)
              << "igg " << igg << " element " << i << " hat " << k << " t0 " << t0;
        }
      }
      // Off the element: points at a distance of twice the element length L from its box, so at
      // least 4 half-lengths of any piece: rho >= 4 + sqrt 17 and rho^-12 ~ 1e-11, and the
      // curvature terms that meet the rule's single-precision moments are of order 1e-3 there:
      // together well below 1e-10 (measured 1e-12).
      const Box b = emima(pb, i);
      const double len = elength(pb, i), ym = (b.ymin + b.ymax) / 2;
      const double off[][2] = {{b.xmax + 2 * len, ym}, {b.xmin - 2 * len, ym + 0.3}};
      for (const auto& q : off) {
        const double nx = 0.6, ny = -0.8;
        for (int k = 1; k <= n; ++k) {
          const double got1 = sigal(pb, i, k, T, code_potential, 0, q[0], q[1], 0, 0);
          const ld ref1 =
              ref_hat(pb, i, T, k, [&](LPoint p) { return ref_kernel(pb, p, q[0], q[1]); }, {});
          EXPECT_NEAR(got1, static_cast<double>(ref1), 1e-10) << "element " << i << " hat " << k;
          if (igg != 0) continue;
          const double got2 = sigal(pb, i, k, T, code_flux, 0, q[0], q[1], nx, ny);
          const ld ref2 = ref_hat(
              pb, i, T, k, [&](LPoint p) { return ref_flux(pb, p, q[0], q[1], nx, ny); }, {});
          EXPECT_NEAR(got2, static_cast<double>(ref2), 1e-10) << "element " << i << " hat " << k;
        }
      }
    }
  }
}

TEST(Integrals, LogarithmCancels) {
  // Code 0 + ilogl = code 1 up to the rule's error on ln|t - t0| (the two logarithm terms
  // cancel). With t0 outside [-1, 1] the logarithm is smooth on every piece: the rule's error is
  // that of its single-precision moments, below 1e-8 of the piece integrals (~1). With t0 at a
  // node that the hat does not touch, the singularity is at least one piece length away from
  // the piece: rho >= 3 + sqrt 8 gives rho^-12 < 1e-9, so 1e-7 as well.
  const Problem pb = sample_problem(0);
  for (int i : {1, 2, 4}) {
    const auto T = grid_of(pb, i);
    const int n = pb.el(i).ni;
    for (double t0 : {1.7, -2.5, T[2]}) {
      for (int k = 1; k <= n; ++k) {
        if (t0 == T[2] && k >= 2 && k <= 4) continue;  // hats that end at t0
        const double a = sigal(pb, i, k, T, code_self, t0, 5, 5, 0, 0) + ilogl(pb, i, k, T, t0);
        const double b = sigal(pb, i, k, T, code_potential, t0, 5, 5, 0, 0);
        EXPECT_NEAR(a, b, 1e-7) << i << " " << k << " " << t0;
      }
    }
  }
}

TEST(Integrals, SeamIntegrandBounded) {
  // On a circle of radius R the code 0 integrand of the seam function at its own node t0 = 1 is
  // -ln(2R sin(pi u/2)/u), u = |t - t0| (t0 - 2 on the shifted pieces): bounded, between
  // -ln(pi R) at the seam and -ln(2R sin(pi h/2)/h) at the hat's ends. The hat integrates to h,
  // so sigal lies between h times these bounds (to the rule's 1e-8).
  const Problem pb = sample_problem(0);
  const auto T = grid_of(pb, 4);
  const double h = 0.25, r = pb.el(4).geom[2], pi = pb.c().pi;
  const Point p0 = elem(pb, 4, 1.0);
  const double s = sigal(pb, 4, 8, T, code_self, 1.0, p0.x, p0.y, 0, 0);
  ASSERT_TRUE(std::isfinite(s));
  EXPECT_GT(s, h * -std::log(pi * r) - 1e-8);
  EXPECT_LT(s, h * -std::log(2 * r * std::sin(pi * h / 2) / h) + 1e-8);
}

TEST(Integrals, UnknownKernelCodeStops) {
  const Problem pb = sample_problem(0);
  const auto T = grid_of(pb, 1);
  for (int code : {4, -1}) {
    try {
      sigal(pb, 1, 2, T, code, 0, 5, 5, 0, 0);
      ADD_FAILURE() << "code " << code << " accepted";
    } catch (const Halt& h) {
      ASSERT_EQ(h.console.size(), 1u);
      EXPECT_EQ(h.console[0], "no such function to integrate");
      EXPECT_TRUE(h.stop_text.empty());
      EXPECT_TRUE(h.log.empty());
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Fast path against sigal for every code, kernel, element form and basis function.

std::vector<double> all_tcol(const Problem& pb, std::vector<double>* xc = nullptr,
                             std::vector<double>* yc = nullptr) {
  int nd = 0;
  for (const auto& e : pb.elements)
    nd += e.ni;
  std::vector<double> t(nd), x(nd), y(nd);
  collocation_points(pb, t, x, y);
  if (xc) *xc = x;
  if (yc) *yc = y;
  return t;
}

// A collocation point: its element (0 for none), parameter, point and normal.
struct Col {
  int e;
  double t, x, y, nx, ny;
};

// The sum of the magnitudes of the twelve terms of sigal's Gauss sums for hat l of element j
// (the ramp factor taken as its bound 1, code 0's kernel as |G| + |ln|t - t0||): the scale of
// the rounding differences between two evaluations of the same terms.
double term_magnitude(const Problem& pb, int j, int l, std::span<const double> T, int code,
                      const Col& c) {
  double sum = 0;
  for (const BasisPiece& pc : basis_pieces(pb, j, l, T)) {
    const double tz = pc.seam ? c.t - seam_shift : c.t;
    const double m = (pc.a + pc.b) / 2, h = (pc.b - pc.a) / 2;
    for (int q = 0; q < gauss.count; ++q) {
      const double t = m + h * gauss.node[q];
      const Point p = elem(pb, j, t);
      double k = code == code_flux ? std::fabs(dgdn(pb, p.x, p.y, c.x, c.y, c.nx, c.ny))
                                   : std::fabs(g(pb, p.x, p.y, c.x, c.y));
      if (code == code_self) k += std::fabs(std::log(std::fabs(t - tz)));
      sum += k * std::fabs(h) * gauss.weight[q];
    }
  }
  return sum;
}

// The fast path takes the logarithms of kernels 0..3 and of code 0's ln|t - t0| with vlog
// (within 4 ulp of std::log), weighs K with (t - c) h w formed once per run instead of
// multiplying K by t - c, h and w in turn (3 more roundings), and multiplies each piece's sum by
// 1/(d - c) instead of dividing (2 more): every term of a hat's sum then differs from sigal's
// by at most about 9 ulp (2e-15) of its own magnitude, in the same order of summation, so the
// hat's value differs by at most about 2.5e-15 times the sum of the terms' magnitudes. That sum,
// not the value, is the scale: G changes sign where r crosses 1 and dG/dn along an element, and a
// hat's terms can cancel to a value hundreds of times smaller. 1e-14 of it leaves a factor of four
// over that bound (observed: 4e-16) and still catches any wrong Gauss point, weight, piece or
// pairing of pieces (errors of 1e-3 and more). Code 3 (K = 1) keeps sigal's bits.
TEST(ElementQuadrature, MatchesSigal) {
  for (int igg = 0; igg <= igg_max; ++igg) {
    const Problem pb = sample_problem(igg);
    std::vector<double> xc, yc;
    const auto tc = all_tcol(pb, &xc, &yc);
    const ElementQuadrature eq(pb, tc);
    std::vector<double> out(nimax_def);
    // Collocation points: every node of every element, plus a point off all elements.
    std::vector<Col> cols;
    std::size_t off = 0;
    for (int i = 1; i <= pb.n(); ++i) {
      for (int k = 0; k < pb.el(i).ni; ++k) {
        const Point nn = nelem(pb, i, tc[off + k]);
        cols.push_back({i, tc[off + k], xc[off + k], yc[off + k], nn.x, nn.y});
      }
      off += pb.el(i).ni;
    }
    cols.push_back({0, 0.3, 2.7, 3.1, 0.6, 0.8});
    off = 0;
    for (int j = 1; j <= pb.n(); ++j) {
      const int n = pb.el(j).ni;
      const std::span<const double> T(tc.data() + off, n);
      for (const Col& c : cols) {
        for (int code = code_self; code <= code_unit; ++code) {
          eq.element_integrals(j, code, c.t, c.x, c.y, c.nx, c.ny, out);
          for (int l = 1; l <= n; ++l) {
            const double ref = sigal(pb, j, l, T, code, c.t, c.x, c.y, c.nx, c.ny);
            if (std::isnan(ref)) {  // the collocation point at a Gauss point cannot happen
              ADD_FAILURE() << "NaN reference";
              continue;
            }
            const auto where = [&] {
              return ::testing::Message()
                     << "igg " << igg << " code " << code << " element " << j << " hat " << l
                     << " point of element " << c.e << " t0 " << c.t;
            };
            if (code == code_unit) {
              ASSERT_EQ(out[l - 1], ref) << where();
            } else {
              ASSERT_TRUE(std::isfinite(out[l - 1])) << where();
              const double scale = term_magnitude(pb, j, l, T, code, c);
              ASSERT_LE(std::fabs(out[l - 1] - ref), 1e-14 * scale) << where();
            }
          }
        }
      }
      off += n;
    }
  }
}

TEST(ElementQuadrature, ThreadSafe) {
  const Problem pb = sample_problem(0);
  std::vector<double> xc, yc;
  const auto tc = all_tcol(pb, &xc, &yc);
  const ElementQuadrature eq(pb, tc);
  const int nd = static_cast<int>(tc.size());
  std::vector<double> serial(static_cast<std::size_t>(nd) * nimax_def), parallel(serial.size());
  for (int r = 0; r < nd; ++r)
    eq.element_integrals(4, code_potential, tc[r], xc[r] + 0.01, yc[r], 0, 0,
                         std::span<double>(serial).subspan(r * nimax_def, nimax_def));
#pragma omp parallel for num_threads(2)
  for (int r = 0; r < nd; ++r)
    eq.element_integrals(4, code_potential, tc[r], xc[r] + 0.01, yc[r], 0, 0,
                         std::span<double>(parallel).subspan(r * nimax_def, nimax_def));
  for (std::size_t q = 0; q < serial.size(); ++q)
    ASSERT_EQ(serial[q], parallel[q]);
}

// The vector logarithm against std::log over the whole range of doubles: within 4 ulp of the
// correctly rounded result (std::log is within 1 ulp; libmvec documents 4 for its log), the
// same result whatever the value's place in the array and the count (the partial last vector),
// and the special values.
TEST(VectorLog, WithinFourUlpOfStdLogEverywhere) {
  std::vector<double> x = {std::numeric_limits<double>::denorm_min(),
                           1e-320,
                           1e-310,
                           std::numeric_limits<double>::min() / 3,
                           std::numeric_limits<double>::min(),
                           1e-300,
                           1e-100,
                           0.5,
                           1,
                           2,
                           std::exp(1.0),
                           1e100,
                           1e300,
                           std::numeric_limits<double>::max()};
  for (int k = 1; k <= 64; ++k) {  // next to 1, where ln x ~ x - 1 is tiny
    x.push_back(1 + k * std::numeric_limits<double>::epsilon());
    x.push_back(1 - k * std::numeric_limits<double>::epsilon() / 2);
    x.push_back(1 + k * 1e-9);
    x.push_back(1 - k * 1e-9);
  }
  for (int e = -1074; e <= 1023; ++e)  // every binary exponent, three mantissas each
    for (double m : {1.0, 1.3819660112501051, 1.9999999999999998})
      x.push_back(std::ldexp(m, e));
  std::vector<double> y(x.size());
  // Every unit this machine can run, not only the one chosen (which the rest of the test uses).
  for (const char* unit : {"avx512", "avx2", "sse2", "scalar"}) {
    if (!vlog_on(unit, x, y)) continue;
    for (std::size_t p = 0; p < x.size(); ++p) {
      const double ref = std::log(x[p]);
      const double ulp = std::nextafter(std::fabs(ref), HUGE_VAL) - std::fabs(ref);
      ASSERT_TRUE(std::isfinite(y[p])) << x[p] << " on " << unit;
      ASSERT_LE(std::fabs(y[p] - ref), 4 * ulp) << "x = " << x[p] << " on " << unit;
    }
    for (std::size_t count = 1; count <= 9; ++count) {  // the partial last vector
      std::vector<double> part(count);
      vlog_on(unit, std::span(x).subspan(5, count), part);
      for (std::size_t p = 0; p < count; ++p)
        ASSERT_EQ(part[p], y[5 + p]) << "count " << count << " on " << unit;
    }
  }
  vlog(x, y);
  for (std::size_t count = 1; count <= 9; ++count) {
    std::vector<double> part(count);
    vlog(std::span(x).subspan(5, count), part);
    for (std::size_t p = 0; p < count; ++p)
      ASSERT_EQ(part[p], y[5 + p]) << "count " << count;
  }
  std::vector<double> special = {0.0, HUGE_VAL, -1.0};
  vlog(special, special);
  EXPECT_EQ(special[0], -HUGE_VAL);
  EXPECT_EQ(special[1], HUGE_VAL);
  EXPECT_TRUE(std::isnan(special[2]));
}

TEST(ElementQuadrature, InvalidSelectorGivesNaNWithoutThrowing) {
  Problem pb = sample_problem(0);
  pb.igg = 7;
  const auto tc = all_tcol(pb);
  const ElementQuadrature eq(pb, tc);
  std::vector<double> out(nimax_def);
  EXPECT_NO_THROW(eq.element_integrals(1, code_potential, 0, 5, 5, 0, 0, out));
  EXPECT_TRUE(std::isnan(out[0]));
  eq.element_integrals(1, code_unit, 0, 5, 5, 0, 0, out);
  EXPECT_TRUE(std::isfinite(out[0]));
}

}  // namespace
