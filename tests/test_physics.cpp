// The complete solution against closed-form capacitances and inductances: every Green's
// function, every element form, interfaces, copies, inductance runs and the zero-total-charge
// switch; and the convergence of the error as the elements are refined.
#include <cblas.h>
#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <numbers>

#include "solve_util.hpp"

using namespace ostrel::testing;

namespace {

constexpr double pi = std::numbers::pi;

// The global groups of a problem file.
std::string header(const std::string& kind_units, const std::string& deps, const std::string& green,
                   const std::string& ah = "0.1") {
  return "validation case\n\n" + kind_units + "\n" + deps + "\n" + green + "\n" + ah +
         " 1\n0 /\nheadings\n";
}

// One element entry.
std::string el(int nr, const std::string& head, const std::string& geom, const std::string& sides) {
  return std::to_string(nr) + " " + head + "\n" + geom + "\n" + sides + "\n--\n";
}

std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

double rel(double got, double want) {
  return std::fabs(got - want) / std::fabs(want);
}

}  // namespace

// Coaxial line of circles: C/eps0 = 2 pi eps_r / ln(b/a). The density is constant, which the
// hat functions represent exactly, so only the quadrature limits the accuracy.
TEST(Physics, CoaxialLineOfCircles) {
  const double a = 1, b = 2.3, er = 2.1;
  const std::string text = header("0 0", "2.1 1 1 1 1", "0 0 0 0 0 0 0") +
                           el(1, "3 1 1 24 1 1", "0 0 1 0 0", "1 1") +
                           el(2, "3 1 0 40 1 1", "0 0 2.3 -1 0", "1 1");
  Solution s = solve_text(text);
  const double exact = 2 * pi * er / std::log(b / a);
  EXPECT_LT(rel(s.c(1, 1), exact), 1e-4) << s.c(1, 1) << " vs " << exact;
  EXPECT_NE(s.console.find("Capacitance (Conductivity) [no units]:"), std::string::npos);
}

// The same line with its shield made of two arcs in degrees, the second a copy turned by 180
// degrees, and the inner conductor of two arcs in radians.
TEST(Physics, CoaxialLineOfArcsAndCopies) {
  const std::string text = header("0 0", "2.1 1 1 1 1", "0 0 0 0 0 0 0") +
                           el(1, "1 1 1 20 1 1", "0 0 1 0 " + num(pi), "1 1") +
                           el(-2, "1 1 1 20 1 1", "1 0 0 " + num(pi), "1 1") +
                           el(3, "2 1 0 30 1 1", "0 0 2.3 0 180", "1 1") +
                           el(-4, "2 1 0 30 1 1", "3 0 0 180", "1 1");
  Solution s = solve_text(text);
  const double exact = 2 * pi * 2.1 / std::log(2.3);
  EXPECT_LT(rel(s.c(1, 1), exact), 1e-3) << s.c(1, 1) << " vs " << exact;
}

// Wire of radius r at height h over a grounded plane: C/eps0 = 2 pi / acosh(h/r).
TEST(Physics, WireOverGroundPlane) {
  const std::string text =
      header("0 0", "1 1 1 1 1", "1 0 0 0 0 0 0") + el(1, "3 1 1 40 1 1", "0 2 0.5 0 0", "1 1");
  Solution s = solve_text(text);
  const double exact = 2 * pi / std::acosh(2 / 0.5);
  // The density varies around the wire (proximity), so the error is the discretisation's.
  EXPECT_LT(rel(s.c(1, 1), exact), 1e-3) << s.c(1, 1) << " vs " << exact;
}

// Half of a coaxial line on a symmetry plane: half the capacitance of the whole line.
TEST(Physics, HalfCoaxOnASymmetryPlane) {
  const std::string text = header("0 0", "3 1 1 1 1", "2 0 0 0 0 0 0") +
                           el(1, "2 1 1 20 1 1", "0 0 1 0 180", "1 1") +
                           el(2, "2 1 0 30 1 1", "0 0 2 180 0", "1 1");
  Solution s = solve_text(text);
  const double exact = pi * 3 / std::log(2.0);
  EXPECT_LT(rel(s.c(1, 1), exact), 1e-3) << s.c(1, 1) << " vs " << exact;
}

// Two-layer coaxial line with a dielectric interface circle between the layers:
// C/eps0 = 2 pi / (ln(b/a)/eps1 + ln(c/b)/eps2). The interface normal points inwards, so its
// plus side is the inner layer.
TEST(Physics, TwoLayerCoaxWithInterface) {
  const double a = 1, b = 1.6, c = 2.3, e1 = 4, e2 = 1;
  const double exact = 2 * pi / (std::log(b / a) / e1 + std::log(c / b) / e2);
  double previous = 1;
  for (int ni : {6, 12, 24}) {
    const std::string n = std::to_string(ni);
    const std::string text = header("0 0", "4 1 1 1 1", "0 0 0 0 0 0 0") +
                             el(1, "3 1 1 " + n + " 1 1", "0 0 1 0 0", "1 1") +
                             el(2, "3 3 0 " + n + " 1 1", "0 0 1.6 0 0", "2 1") +
                             el(3, "3 1 0 " + n + " 1 1", "0 0 2.3 0 0", "2 2");
    Solution s = solve_text(text);
    const double err = rel(s.c(1, 1), exact);
    EXPECT_LT(err, previous) << ni;
    previous = err;
  }
  EXPECT_LT(previous, 1e-3);
}

// The dielectric half-space kernel: a shielded line in the upper medium does not see the lower
// one, and equal permittivities give the free-space result.
TEST(Physics, DielectricHalfSpaceKernel) {
  const std::string body =
      el(1, "3 1 1 24 1 1", "0 3 1 0 0", "1 1") + el(2, "3 1 0 40 1 1", "0 3 2 0 0", "1 1");
  Solution lower4 = solve_text(header("0 0", "1 4 1 1 1", "3 0 0 0 0 0 0") + body);
  Solution free = solve_text(header("0 0", "1 1 1 1 1", "0 0 0 0 0 0 0") + body);
  const double exact = 2 * pi / std::log(2.0);
  EXPECT_LT(rel(lower4.c(1, 1), exact), 1e-4) << lower4.c(1, 1);
  Solution same = solve_text(header("0 0", "1 1 1 1 1", "3 0 0 0 0 0 0") + body);
  EXPECT_LT(rel(same.c(1, 1), free.c(1, 1)), 1e-12);
}

// Thin wire of radius r at height h in a grounded channel of width a:
// C/eps0 = 2 pi / ln(2a sin(pi h/a) / (pi r)), exact up to O((pi r/a)^2 / 6) in the logarithm,
// here 1.6e-4 against 4.0, so 1e-4 relative; with the symmetry plane x = 0, half a wire on it
// gives half of that.
TEST(Physics, WireInGroundedChannelAndHalfWireOnItsSymmetryPlane) {
  const double a = 2, h = 0.7, r = 0.02;
  const double exact = 2 * pi / std::log(2 * a * std::sin(pi * h / a) / (pi * r));
  Solution full = solve_text(header("0 0", "1 1 1 1 1", "4 0 2 0 0 0 0", "0.01") +
                             el(1, "3 1 1 24 1 1", "0 0.7 0.02 0 0", "1 1"));
  EXPECT_LT(rel(full.c(1, 1), exact), 3e-4) << full.c(1, 1) << " vs " << exact;
  Solution half =
      solve_text(header("0 0", "1 1 1 1 1", "5 0 2 0 0 0 0", "0.01") +
                 el(1, "1 1 1 16 1 1", "0 0.7 0.02 " + num(-pi / 2) + " " + num(pi / 2), "1 1"));
  EXPECT_LT(rel(half.c(1, 1), exact / 2), 3e-4) << half.c(1, 1) << " vs " << exact / 2;
}

// Zero-thickness strip of width w centred between plates a distance b apart (Cohn):
// C/eps0 = 4 K(k')/K(k), k = sech(pi w / 2b). The density has inverse square-root edges, so
// the error falls with refinement toward the edges (the quadratic node law).
TEST(Physics, StriplineAgainstCohn) {
  const double w = 1, b = 1;
  const double k = 1 / std::cosh(pi * w / (2 * b)), kp = std::sqrt(1 - k * k);
  const double exact = 4 * std::comp_ellint_1(kp) / std::comp_ellint_1(k);
  double previous = 1;
  for (int ni : {10, 30, 90}) {
    Solution s =
        solve_text(header("0 0", "1 1 1 1 1", "4 0 1 0 0 0 0") +
                   el(1, "0 1 1 " + std::to_string(ni) + " 1 1", "-0.5 0.5 0.5 0.5 0", "1 1"));
    const double err = rel(s.c(1, 1), exact);
    EXPECT_LT(err, previous) << ni << ": " << s.c(1, 1) << " vs " << exact;
    previous = err;
  }
  EXPECT_LT(previous, 5e-3);
}

// Inductance of a coaxial line with a magnetic filling, in microhenry per metre:
// L = mu0 mu_r ln(b/a) / (2 pi) = 0.2 mu_r ln(b/a) uH/m.
TEST(Physics, InductanceOfACoaxialLine) {
  Solution s = solve_text(header("1 4", "3 1 1 1 1", "0 0 0 0 0 0 0") +
                          el(1, "3 1 1 24 1 1", "0 0 1 0 0", "1 1") +
                          el(2, "3 1 0 40 1 1", "0 0 2.3 0 0", "1 1"));
  const double exact = 1.2566371151303812 * 3 * std::log(2.3) / (2 * pi);
  EXPECT_LT(rel(s.l(1, 1), exact), 1e-4) << s.l(1, 1) << " vs " << exact;
  EXPECT_NE(s.result.find("Inductance (resistance) [mH/m]; "), std::string::npos);
}

// Two-wire line in free space with zero total charge: the charge of wire 1 at potential 1
// against wire 2 at 0 is C (V1 - V2) with C/eps0 = pi / acosh(D / 2r).
TEST(Physics, TwoWireLineWithZeroTotalCharge) {
  Solution s = solve_text(header("0 0", "1 1 1 1 1", "0 1 0 0 0 0 0") +
                          el(1, "3 1 1 40 1 1", "-1 0 0.5 0 0", "1 1") +
                          el(-2, "3 1 0 40 1 1", "1 2 0 0", "1 1"));
  const double exact = pi / std::acosh(2 / (2 * 0.5));
  EXPECT_LT(rel(s.c(1, 1), exact), 1e-3) << s.c(1, 1) << " vs " << exact;
  EXPECT_EQ(s.input.dims.nd, 81);
}

// Coupled wires over ground: symmetric, diagonally dominant Maxwell matrix whose inverse is the
// potential-coefficient matrix; the thin-wire formula for it holds to O((r/D)^2).
TEST(Physics, CoupledWiresOverGround) {
  Solution s = solve_text(header("0 0", "1 1 1 1 1", "1 0 0 0 0 0 0") +
                          el(1, "3 1 1 40 1 1", "-1.5 2 0.1 0 0", "1 1") +
                          el(-2, "3 1 2 40 1 1", "1 3 0 0", "1 1"));
  EXPECT_EQ(s.c(1, 2), s.c(2, 1));
  EXPECT_GT(s.c(1, 1), 0);
  EXPECT_LT(s.c(1, 2), 0);
  const double p11 = std::acosh(2 / 0.1) / (2 * pi), p12 = std::log(5.0 / 3.0) / (2 * pi);
  EXPECT_LT(rel(s.l(1, 1), p11), 5e-3) << s.l(1, 1) << " vs " << p11;
  EXPECT_LT(rel(s.l(1, 2), p12), 5e-3) << s.l(1, 2) << " vs " << p12;
}

// The fill, the factorisation, the solutions and the charges give the same numbers on one
// thread and on two, for OpenMP and for the BLAS library alike. Twelve coated wires in a shield
// (1500 unknowns, 12 conductors): large enough for the factorisation's parallel trailing update
// with its panel factorised ahead, for BLAS products that the library would share among its
// threads, and for two groups of right-hand sides in the multi-right-hand-side solve.
TEST(Physics, ResultsDoNotDependOnTheNumberOfThreads) {
  std::string text = header("0 0", "1 3 1 1 1", "0 0 0 0 0 0 0", "0.3");
  for (int k = 1; k <= 12; ++k) {
    const std::string centre =
        std::to_string(-5.5 + (k - 1) % 4 * 3.5) + " " + std::to_string(-3.0 + (k - 1) / 4 * 3.0);
    text += el(k, "3 1 " + std::to_string(k) + " 60 1 1", centre + " 0.3 0 0", "2 1");
    text += el(12 + k, "3 3 0 60 1 1", centre + " 0.6 0 0", "1 2");
  }
  text += el(25, "3 1 0 60 1 1", "0 0 12 0 0", "1 1");
  const int threads = omp_get_max_threads();
  const int blas_threads = openblas_get_num_threads();
  omp_set_num_threads(1);
  openblas_set_num_threads(1);
  Solution one = solve_text(text);
  omp_set_num_threads(2);
  openblas_set_num_threads(2);
  Solution two = solve_text(text);
  omp_set_num_threads(threads);
  openblas_set_num_threads(blas_threads);
  ASSERT_EQ(one.input.dims.nd, 1500);
  EXPECT_EQ(one.ge, two.ge);
  EXPECT_EQ(one.geinv, two.geinv);
}

namespace {

// Capacitance matrix (in eps0) of two thin wires of radius r at height h and distance d above
// the interface of two half-spaces with material values e1 (upper) and e2, by image theory: the
// potential coefficients of line charges in the upper medium are
// p_ij = (-ln r_ij - k ln r'_ij) / (2 pi e1), k = (e1 - e2)/(e1 + e2), referred to the distance
// of one length unit as the boundary-element model is. The thin-wire approximation holds to
// O((r/d)^2) relative (the induced dipole of each wire). Returns c11, c12.
std::pair<double, double> wires_over_half_space(double r, double h, double d, double e1,
                                                double e2) {
  const double k = (e1 - e2) / (e1 + e2);
  const double p11 = -std::log(r) - k * std::log(2 * h);
  const double p12 = -std::log(d) - k * std::log(std::hypot(d, 2 * h));
  const double det = p11 * p11 - p12 * p12;
  return {2 * pi * e1 * p11 / det, -2 * pi * e1 * p12 / det};
}

const std::string two_wires = el(1, "3 1 1 24 1 1", "-0.5 1 0.02 0 0", "1 1") +
                              el(2, "3 1 2 24 1 1", "0.5 1 0.02 0 0", "1 1");

}  // namespace

// The dielectric half-space with an upper medium other than vacuum: the charges come out in
// units of eps0, and equal media give the homogeneous result of their permittivity.
TEST(Physics, WiresAboveADielectricHalfSpace) {
  // Thin-wire error (r/d)^2 = 4e-4 in the potential coefficients, about 1e-4 relative.
  const double tolerance = 1e-3;
  for (auto [e1, e2] : {std::pair{2.0, 4.0}, std::pair{3.0, 1.0}}) {
    Solution s =
        solve_text(header("0 0", num(e1) + " " + num(e2) + " 1 1 1", "3 0 0 0 0 0 0") + two_wires);
    const auto [c11, c12] = wires_over_half_space(0.02, 1, 1, e1, e2);
    EXPECT_LT(rel(s.c(1, 1), c11), tolerance) << e1 << "/" << e2 << ": " << s.c(1, 1);
    EXPECT_LT(rel(s.c(1, 2), c12), tolerance) << e1 << "/" << e2 << ": " << s.c(1, 2);
  }
  // Equal media of permittivity 2: twice the free-space matrix (same numbers otherwise: the
  // image term vanishes identically).
  Solution same = solve_text(header("0 0", "2 2 1 1 1", "3 0 0 0 0 0 0") + two_wires);
  Solution free = solve_text(header("0 0", "1 1 1 1 1", "0 0 0 0 0 0 0") + two_wires);
  EXPECT_LT(rel(same.c(1, 1), 2 * free.c(1, 1)), 1e-12);
  EXPECT_LT(rel(same.c(1, 2), 2 * free.c(1, 2)), 1e-12);
}

// Line currents over a magnetic half-space: the material values are reciprocal permeabilities,
// so the image current is (mu2 - mu1)/(mu2 + mu1) times the current, of the same sign over a
// highly permeable medium, and L = mu0 mu1 p / (2 pi) with p the coefficients above. In uH/m.
TEST(Physics, WiresAboveAMagneticHalfSpace) {
  const double mu0 = 1.2566371151303812;  // the permeability factor of the result tables
  const double mu1 = 2, mu2 = 1000;
  Solution s = solve_text(header("1 4", "2 1000 1 1 1", "3 0 0 0 0 0 0") + two_wires);
  // The inductance matrix is the inverse of the capacitance analogue with material 1/mu.
  const auto [c11, c12] = wires_over_half_space(0.02, 1, 1, 1 / mu1, 1 / mu2);
  const double det = c11 * c11 - c12 * c12;
  const double l11 = mu0 * c11 / det, l12 = -mu0 * c12 / det;
  EXPECT_LT(rel(s.l(1, 1), l11), 1e-3) << s.l(1, 1) << " vs " << l11;
  EXPECT_LT(rel(s.l(1, 2), l12), 1e-3) << s.l(1, 2) << " vs " << l12;
  // The loop of the two wires has more inductance than in a homogeneous medium mu1,
  // mu0 mu1 / pi ln(d/r): the permeable medium below draws the flux in.
  const double loop = s.l(1, 1) + s.l(2, 2) - 2 * s.l(1, 2);
  EXPECT_GT(loop, mu0 * mu1 / pi * std::log(1 / 0.02));
  // Equal permeabilities 2: twice the inductance of air.
  Solution same = solve_text(header("1 4", "2 2 1 1 1", "3 0 0 0 0 0 0") + two_wires);
  Solution air = solve_text(header("1 4", "1 1 1 1 1", "0 0 0 0 0 0 0") + two_wires);
  EXPECT_LT(rel(same.l(1, 1), 2 * air.l(1, 1)), 1e-12);
  EXPECT_LT(rel(same.l(1, 2), 2 * air.l(1, 2)), 1e-12);
}

// Conductors with different media on their two sides: the field inside a closed conductor
// vanishes, so whatever material its inside is given, the charge is that of the outside medium:
// the coaxial line with vacuum inside the inner conductor and outside the shield still has
// C/eps0 = 2 pi eps_r / ln(b/a). This needs the double-layer term of the charge with its sign,
// summed over every unknown: here 570 of them, more than one tile of the charge sums (512).
TEST(Physics, CoaxWithOtherMediaInsideTheConductors) {
  // Arcs and circles have the plus side inside: the inner conductor's outside (minus) is PTFE,
  // its inside vacuum; the shield's inside (plus) is PTFE, its outside vacuum.
  std::string body;
  for (int k = 0; k < 4; ++k)
    body += el(k + 1, "2 1 1 95 1 1",
               "0 0 1 " + std::to_string(90 * k) + " " + std::to_string(90 * (k + 1)), "1 -1");
  body += el(5, "2 1 0 95 1 1", "0 0 2.3 0 180", "-1 1") +
          el(6, "2 1 0 95 1 1", "0 0 2.3 180 360", "-1 1");
  Solution s = solve_text(header("0 0", "2.1 1 1 1 1", "0 0 0 0 0 0 0") + body);
  ASSERT_GT(s.input.dims.nd, 512);
  const double exact = 2 * pi * 2.1 / std::log(2.3);
  EXPECT_LT(rel(s.c(1, 1), exact), 1e-4) << s.c(1, 1) << " vs " << exact;
}

// The reported mutual capacitance is the mean of the two one-sided charges (each conductor's
// charge when the other is at potential 1), which differ on a coarse grid. Swapping the
// conductor numbers swaps the one-sided charges, so the reported value must not change at all.
TEST(Physics, MutualCapacitanceIsTheMeanOfBothOneSidedCharges) {
  const std::string green = "1 0 0 0 0 0 0";
  const auto wires = [](int first, int second) {
    return el(1, "3 1 " + std::to_string(first) + " 5 1 1", "-1 1.5 0.3 0 0", "1 1") +
           el(2, "0 1 " + std::to_string(second) + " 4 1 1", "0.5 0.5 1.5 2.5 0", "1 1");
  };
  Solution a = solve_text(header("0 0", "1 1 1 1 1", green) + wires(1, 2));
  Solution b = solve_text(header("0 0", "1 1 1 1 1", green) + wires(2, 1));
  EXPECT_EQ(a.c(1, 2), a.c(2, 1));
  EXPECT_EQ(a.c(1, 2), b.c(1, 2));
  EXPECT_EQ(a.c(1, 1), b.c(2, 2));
}
