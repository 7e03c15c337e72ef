// Green's functions: closed-form values, image properties and consistency of the normal
// derivatives with the kernels.
#include <gtest/gtest.h>

#include <cmath>

#include "base/halt.hpp"
#include "kernels/green.hpp"

namespace {

using namespace ostrel;

constexpr double plate = 1.5;  // channel width a of kernels 4 and 5 in these tests

Problem kernel_problem(int igg, double e1 = 1, double e2 = 1) {
  Problem pb;
  pb.igg = igg;
  pb.gpars_[0] = plate;
  pb.deps_[2] = e1;  // deps(1)
  pb.deps_[3] = e2;  // deps(2)
  return pb;
}

struct Pair {
  double x, y, x0, y0, nx, ny;
};

// Source/observation pairs at distances 0.3 .. 2, inside the channel 0 < y < a, sources on
// both sides of y = 0 for the half-space kernels (below only where the kernel allows it).
const Pair pairs[] = {
    {0.3, 0.4, 1.1, 0.9, 0.6, 0.8},    {-0.7, 1.2, 0.2, 0.35, -1, 0},
    {1.9, 0.2, 1.6, 1.3, 0.0, 1.0},    {0.0, 0.75, 0.4, 0.75, 0.8, -0.6},
    {2.5, 1.1, -0.5, 0.6, 0.28, 0.96},
};
const Pair pairs_below[] = {
    {0.3, -0.4, 1.1, 0.9, 0.6, 0.8},
    {-0.7, -1.2, 0.2, 0.35, -1, 0},
    {1.0, -0.3, 0.5, -0.8, 0.6, -0.8},
};

// Central difference of g along the normal at the observation point. With step s the
// truncation error is s^2/6 |G'''| <= 1e-10 * (2/r^3 <= 80 at r = 0.3) ~ 1e-8 and the rounding
// error 2e-16 |G| / s ~ 1e-11, so 1e-7 (absolute plus relative) is a safe bound that still
// catches a wrong sign, factor or image term (all of order 0.1 .. 10).
void expect_dgdn_is_derivative(const Problem& pb, const Pair& p) {
  const double s = 1e-5;
  const double gp = g(pb, p.x, p.y, p.x0 + s * p.nx, p.y0 + s * p.ny);
  const double gm = g(pb, p.x, p.y, p.x0 - s * p.nx, p.y0 - s * p.ny);
  const double fd = (gp - gm) / (2 * s);
  const double an = dgdn(pb, p.x, p.y, p.x0, p.y0, p.nx, p.ny);
  ASSERT_TRUE(std::isfinite(an));
  EXPECT_NEAR(an, fd, 1e-7 * (1 + std::fabs(an)))
      << "igg " << pb.igg << " source (" << p.x << "," << p.y << ")";
}

TEST(Green, FreeSpaceClosedForms) {
  const Problem pb = kernel_problem(0);
  EXPECT_EQ(g(pb, 1, 0, 0, 0), 0.0);
  EXPECT_NEAR(g(pb, 0.6 * std::exp(1.0), 0.8 * std::exp(1.0), 0, 0), -1.0, 1e-15);
  EXPECT_EQ(dgdn(pb, 2, 0, 0, 0, 1, 0), 0.5);
}

TEST(Green, NormalDerivativeIsDerivativeOfKernel) {
  for (int igg = 0; igg <= igg_max; ++igg) {
    // Kernel 3 with a contrast, so that the image and transmission factors matter.
    const Problem pb = kernel_problem(igg, 4.0, 1.5);
    for (const Pair& p : pairs)
      expect_dgdn_is_derivative(pb, p);
    if (igg <= 3)
      for (const Pair& p : pairs_below)
        expect_dgdn_is_derivative(pb, p);
  }
}

TEST(Green, PlaneImages) {
  const Problem grounded = kernel_problem(1), symmetric = kernel_problem(2),
                free = kernel_problem(0);
  for (const Pair& p : pairs) {
    // A source on y = 0 is its own mirror image.
    EXPECT_EQ(g(grounded, p.x, 0, p.x0, p.y0), 0.0);
    const double g0 = g(free, p.x, 0, p.x0, p.y0);
    EXPECT_NEAR(g(symmetric, p.x, 0, p.x0, p.y0), 2 * g0, 1e-15 * (1 + std::fabs(g0)));
    // The grounded plane kernel vanishes for an observation point on the plane as well.
    EXPECT_NEAR(g(grounded, p.x, p.y, p.x0, 0), 0.0, 1e-15);
  }
}

TEST(Green, DielectricHalfSpace) {
  const Problem same = kernel_problem(3, 2.5, 2.5), free = kernel_problem(0);
  for (const auto* set : {pairs, pairs_below}) {
    for (int q = 0; q < 3; ++q) {
      const Pair& p = set[q];
      EXPECT_DOUBLE_EQ(g(same, p.x, p.y, p.x0, p.y0), g(free, p.x, p.y, p.x0, p.y0));
      EXPECT_DOUBLE_EQ(dgdn(same, p.x, p.y, p.x0, p.y0, p.nx, p.ny),
                       dgdn(free, p.x, p.y, p.x0, p.y0, p.nx, p.ny));
    }
  }
  // With a contrast the two branches meet at y = 0: g takes the lower one there, dgdn the upper
  // one; both must be continuous across the plane (differences of order 1e-12 * |G'|).
  const Problem pb = kernel_problem(3, 4.0, 1.5);
  const double k = (4.0 - 1.5) / 5.5, f = 8.0 / 5.5;
  for (const Pair& p : pairs) {
    const double r2 = (p.x - p.x0) * (p.x - p.x0) + p.y0 * p.y0;
    const double at0 = g(pb, p.x, 0, p.x0, p.y0);
    EXPECT_NEAR(at0, f * (-0.5 * std::log(r2)), 1e-14);
    EXPECT_NEAR(at0, -0.5 * std::log(r2) - k * 0.5 * std::log(r2), 1e-14);
    EXPECT_NEAR(g(pb, p.x, 1e-12, p.x0, p.y0), at0, 1e-10);
    const double d0 = dgdn(pb, p.x, 0, p.x0, p.y0, p.nx, p.ny);
    EXPECT_NEAR(dgdn(pb, p.x, -1e-12, p.x0, p.y0, p.nx, p.ny), d0, 1e-10);
  }
}

TEST(Green, ChannelVanishesOnPlates) {
  for (int igg : {4, 5}) {
    const Problem pb = kernel_problem(igg);
    for (const Pair& p : pairs) {
      // Source or observation point on y = 0: c+ = c- up to rounding, which relative to
      // C - c- >= cosh(pi*0.3/a) - 1 ~ 0.2 leaves |F| ~ 1e-15.
      EXPECT_NEAR(g(pb, p.x, 0, p.x0, p.y0), 0.0, 1e-14);
      EXPECT_NEAR(g(pb, p.x, p.y, p.x0, 0), 0.0, 1e-14);
      // On y = a the cosines are those of pi_f +- u with the single-precision pi_f, so
      // c+ - c- = -2 sin(pi_f) sin(u), |2 sin(pi_f)| = 1.75e-7: |F| <= 1.75e-7/(2 * 0.2) * 2
      // (two terms for kernel 5) < 1e-6. The kernel is zero there to the accuracy of pi_f.
      EXPECT_NEAR(g(pb, p.x, plate, p.x0, p.y0), 0.0, 1e-6);
      EXPECT_NEAR(g(pb, p.x, p.y, p.x0, plate), 0.0, 1e-6);
    }
  }
}

TEST(Green, ChannelNearSourceAndFarField) {
  const Problem pb = kernel_problem(4);
  const double pi = pb.c().pi;
  const double y = 0.5, y0 = 1.1;
  // Near the source F = -ln r + ln(2 a sin(pi y/a)/pi) + O(r).
  const double r = 1e-5;
  EXPECT_NEAR(g(pb, 0.3, y, 0.3 + 0.6 * r, y + 0.8 * r) + std::log(r),
              std::log(2 * plate * std::sin(pi * y / plate) / pi), 1e-4);
  // Far from it F = 2 sin(pi y/a) sin(pi y0/a) exp(-pi |x - x0|/a) (1 + O(exp(-pi|x-x0|/a)));
  // at |x - x0| >= 2a the relative correction is below 2 exp(-2 pi) ~ 4e-3.
  const double amp = 2 * std::sin(pi * y / plate) * std::sin(pi * y0 / plate);
  for (double dist : {2 * plate, 3 * plate, 4 * plate}) {
    const double decay = std::exp(-pi * dist / plate);
    for (double sx : {1.0, -1.0}) {
      const double f = g(pb, 0.2 + sx * dist, y, 0.2, y0);
      EXPECT_NEAR(f / decay, amp, 3 * decay * std::fabs(amp)) << dist;
    }
    // Kernel 5 adds the mirror source at -x0: two such tails, the nearer 0.2 closer than dist
    // (its correction up to e^(0.2 pi/a) ~ 1.5 times larger: margin 4).
    const Problem pb5 = kernel_problem(5);
    const double x0 = 0.4, x = 0.2 + dist;
    const double tails = std::exp(-pi * (x - x0) / plate) + std::exp(-pi * (x + x0) / plate);
    EXPECT_NEAR(g(pb5, x, y, x0, y0) / tails, amp, 3 * decay * std::fabs(amp) * 4) << dist;
  }
}

TEST(Green, ChannelWithSymmetryPlane) {
  const Problem pb = kernel_problem(5), pb4 = kernel_problem(4);
  const double pi = pb.c().pi;
  for (const Pair& p : pairs) {
    EXPECT_EQ(g(pb, p.x, p.y, p.x0, p.y0), g(pb, p.x, p.y, -p.x0, p.y0));
    // The shared-term evaluation equals the two channel kernels it stands for, bit for bit.
    EXPECT_EQ(g(pb, p.x, p.y, p.x0, p.y0),
              fgst(p.x, p.y, p.x0, p.y0, plate, pi) + fgst(p.x, p.y, -p.x0, p.y0, plate, pi));
    EXPECT_EQ(g(pb4, p.x, p.y, p.x0, p.y0), fgst(p.x, p.y, p.x0, p.y0, plate, pi));
    double gx, gy, gxs, gys;
    grst(p.x, p.y, p.x0, p.y0, plate, pi, gx, gy);
    grst(-p.x, p.y, p.x0, p.y0, plate, pi, gxs, gys);
    EXPECT_EQ(dgdn(pb, p.x, p.y, p.x0, p.y0, p.nx, p.ny), p.nx * (gx + gxs) + p.ny * (gy + gys));
    EXPECT_EQ(dgdn(pb4, p.x, p.y, p.x0, p.y0, p.nx, p.ny), p.nx * gx + p.ny * gy);
    // No normal field through the symmetry plane x0 = 0 (sources off that plane).
    if (p.x != 0) {
      EXPECT_NEAR(dgdn(pb, p.x, p.y, 0, p.y0, 1, 0), 0.0, 1e-14);
    }
  }
}

TEST(Green, InvalidSelectorStops) {
  for (int igg : {6, -1}) {
    const Problem pb = kernel_problem(igg);
    for (int which = 0; which < 3; ++which) {
      try {
        if (which == 0) g(pb, 1, 1, 0, 0);
        if (which == 1) dgdn(pb, 1, 1, 0, 0, 1, 0);
        if (which == 2) check_green(pb);
        ADD_FAILURE() << "selector " << igg << " accepted";
      } catch (const Halt& h) {
        EXPECT_EQ(h.stop_text, "error parameter Green function");
        EXPECT_TRUE(h.console.empty());
        EXPECT_TRUE(h.log.empty());
      }
    }
  }
  for (int igg = 0; igg <= igg_max; ++igg)
    EXPECT_NO_THROW(check_green(kernel_problem(igg)));
}

}  // namespace
