// Element forms and element grids: closed-form points, normals, lengths and node laws.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/halt.hpp"
#include "geometry/coincidence.hpp"
#include "geometry/element.hpp"
#include "geometry/grid.hpp"

using namespace ostrel;

namespace {

Problem one(int iform, std::array<double, 5> geom, int ni = 4, int law = 1) {
  Problem pb;
  Element e;
  e.iform = iform;
  e.geom = geom;
  e.ni = ni;
  e.ileft = e.iright = law;
  pb.elements.push_back(e);
  return pb;
}

// Single-precision pi makes angles in degrees off by about 1e-7 relative.
constexpr double pi_error = 1e-7;

}  // namespace

TEST(Geometry, Segment) {
  Problem pb = one(0, {0, 0, 2, 0, 0});
  for (double t : {-1.0, 0.0, 1.0}) {
    Point p = elem(pb, 1, t);
    EXPECT_EQ(p.x, 1 + t);
    EXPECT_EQ(p.y, 0.0);
  }
  EXPECT_EQ(dlength(pb, 1, 0.3), 1.0);
  Point nrm = nelem(pb, 1, 0.0);
  EXPECT_EQ(nrm.x, 0.0);
  EXPECT_EQ(nrm.y, 1.0);
  EXPECT_EQ(elength(pb, 1), 2.0);
  Box b = emima(pb, 1);
  EXPECT_EQ(b.xmin, 0.0);
  EXPECT_EQ(b.xmax, 2.0);
  EXPECT_EQ(b.ymin, 0.0);
  EXPECT_EQ(b.ymax, 0.0);
}

TEST(Geometry, ArcsInBothUnitsAndDirections) {
  Problem ccw = one(2, {0, 0, 1, 0, 90});
  Point a = elem(ccw, 1, -1), b = elem(ccw, 1, 1);
  EXPECT_NEAR(a.x, 1, pi_error);
  EXPECT_NEAR(a.y, 0, pi_error);
  EXPECT_NEAR(b.x, 0, pi_error);
  EXPECT_NEAR(b.y, 1, pi_error);
  Point n = nelem(ccw, 1, -1);  // towards the centre
  EXPECT_NEAR(n.x, -1, pi_error);
  EXPECT_NEAR(n.y, 0, pi_error);
  EXPECT_DOUBLE_EQ(dlength(ccw, 1, 0.5), ccw.c().pi / 4);
  Box box = emima(ccw, 1);
  EXPECT_EQ(box.xmin, -1.0);
  EXPECT_EQ(box.ymax, 1.0);

  Problem cw = one(2, {0, 0, 1, 90, 0});
  Point c = elem(cw, 1, -1);
  EXPECT_NEAR(c.x, 0, pi_error);
  EXPECT_NEAR(c.y, 1, pi_error);
  Point m = nelem(cw, 1, -1);  // away from the centre
  EXPECT_NEAR(m.x, 0, pi_error);
  EXPECT_NEAR(m.y, 1, pi_error);
  EXPECT_DOUBLE_EQ(dlength(cw, 1, 0), cw.c().pi / 4);

  // The same arc in radians gives the same points, to the accuracy of the float pi.
  Problem rad = one(1, {0.5, -2, 3, 0.2 * M_PI / 180 * 100, -0.7});
  Problem deg = one(2, {0.5, -2, 3, 20, -0.7 * 180 / M_PI});
  for (double t : {-1.0, -0.3, 0.4, 1.0}) {
    EXPECT_NEAR(elem(rad, 1, t).x, elem(deg, 1, t).x, 10 * pi_error);
    EXPECT_NEAR(elem(rad, 1, t).y, elem(deg, 1, t).y, 10 * pi_error);
  }
}

TEST(Geometry, CirclesStartAtTheLeftmostPoint) {
  for (double orient : {0.0, -1.0}) {
    Problem pb = one(3, {1, 2, 0.5, orient, 0});
    for (double t : {-1.0, 1.0}) {
      EXPECT_NEAR(elem(pb, 1, t).x, 0.5, 1e-12);
      EXPECT_NEAR(elem(pb, 1, t).y, 2, 1e-6);
    }
    EXPECT_EQ(elem(pb, 1, 0).x, 1.5);
    // A quarter turn later the point is below the centre (ccw) or above it (cw).
    EXPECT_NEAR(elem(pb, 1, -0.5).y, orient >= 0 ? 1.5 : 2.5, 1e-6);
    EXPECT_DOUBLE_EQ(elength(pb, 1), pb.c().two_pi * 0.5);
  }
}

TEST(Geometry, NormalIsTheTangentTurnedLeftAndLengthIsTheIntegralOfDl) {
  const std::vector<Problem> forms = {one(0, {1, 2, -3, 5, 0}), one(1, {1, 2, 2, 3, 1}),
                                      one(2, {1, 2, 2, -30, 200}), one(3, {1, 2, 2, 1, 0}),
                                      one(3, {1, 2, 2, -1, 0})};
  const double h = 1e-6;
  for (const Problem& pb : forms) {
    for (double t : {-0.9, -0.2, 0.5}) {
      Point p1 = elem(pb, 1, t - h), p2 = elem(pb, 1, t + h);
      const double tx = (p2.x - p1.x) / (2 * h), ty = (p2.y - p1.y) / (2 * h);
      // Central differences: error O(h^2 |P'''|) plus rounding 1e-16/h; 1e-8 covers both.
      EXPECT_NEAR(std::hypot(tx, ty), dlength(pb, 1, t), 1e-8);
      Point n = nelem(pb, 1, t);
      EXPECT_NEAR(std::hypot(n.x, n.y), 1.0, 1e-15);
      const double len = std::hypot(tx, ty);
      EXPECT_NEAR(n.x, -ty / len, 1e-8);
      EXPECT_NEAR(n.y, tx / len, 1e-8);
    }
    EXPECT_NEAR(2 * dlength(pb, 1, 0), elength(pb, 1), 1e-14 * elength(pb, 1));
  }
}

TEST(Geometry, BadFormIsAGuard) {
  Problem pb = one(7, {0, 0, 1, 0, 0});
  try {
    elem(pb, 1, 0);
    FAIL();
  } catch (const Halt& h) {
    EXPECT_EQ(h.console, (std::vector<std::string>{" error: iform( 1) =  7"}));
    EXPECT_EQ(h.log, h.console);
  }
}

TEST(Grid, OpenElementLaws) {
  std::vector<double> t(4);
  Problem uni = one(0, {0, 0, 1, 0, 0}, 3, 0);
  element_grid(uni, 1, t);
  EXPECT_DOUBLE_EQ(t[0], -0.75);
  EXPECT_DOUBLE_EQ(t[1], 0.0);
  EXPECT_DOUBLE_EQ(t[2], 0.75);
  Problem quad = one(0, {0, 0, 1, 0, 0}, 3, 1);
  element_grid(quad, 1, t);
  EXPECT_DOUBLE_EQ(t[0], -0.75);
  EXPECT_DOUBLE_EQ(t[1], 0.0);
  EXPECT_DOUBLE_EQ(t[2], 0.75);
  Problem four = one(1, {0, 0, 1, 0, 1}, 4, 1);
  element_grid(four, 1, t);
  EXPECT_DOUBLE_EQ(t[0], -0.84);
  EXPECT_DOUBLE_EQ(t[1], -0.36);
  EXPECT_NEAR(t[2], 0.36, 1e-15);  // 1 - 0.8^2 rounds twice
  EXPECT_NEAR(t[3], 0.84, 1e-15);
  // Mixed laws: uniform first half, refined second half; nodes still increase.
  Problem mixed = one(0, {0, 0, 1, 0, 0}, 40, 1);
  mixed.elements[0].ileft = 0;
  std::vector<double> m(40);
  element_grid(mixed, 1, m);
  for (int j = 1; j < 40; ++j)
    EXPECT_LT(m[j - 1], m[j]);
  EXPECT_GT(m.front(), -1.0);
  EXPECT_LT(m.back(), 1.0);
}

TEST(Grid, CircleEndsOnTheSeamAndPointsFollow) {
  Problem pb = one(3, {0, 0, 2, 0, 0}, 4);
  std::vector<double> t(4), x(4), y(4);
  collocation_points(pb, t, x, y);
  EXPECT_EQ(t, (std::vector<double>{-0.5, 0, 0.5, 1}));
  EXPECT_EQ(x[1], 2.0);
  EXPECT_NEAR(y[0], -2.0, 1e-6);
}

TEST(Grid, UnknownLawStops) {
  Problem pb = one(0, {0, 0, 1, 0, 0}, 3, 2);
  std::vector<double> t(3);
  try {
    element_grid(pb, 1, t);
    FAIL();
  } catch (const Halt& h) {
    EXPECT_EQ(h.console, (std::vector<std::string>{"No such grids"}));
  }
}

TEST(Geometry, DistanceToEachForm) {
  Problem seg = one(0, {0, 0, 2, 0, 0});
  EXPECT_DOUBLE_EQ(distance_to_element(seg, 1, 1, 3), 3.0);
  EXPECT_DOUBLE_EQ(distance_to_element(seg, 1, 5, 4), 5.0);  // beyond B: distance to B
  Problem circle = one(3, {1, 1, 2, -1, 0});
  EXPECT_DOUBLE_EQ(distance_to_element(circle, 1, 1, 4), 1.0);
  EXPECT_DOUBLE_EQ(distance_to_element(circle, 1, 1, 1), 2.0);  // the centre
  // A quarter arc in degrees from 0 to 90, given either way round.
  for (auto angles : {std::pair{0.0, 90.0}, std::pair{90.0, 0.0}}) {
    Problem arc = one(2, {0, 0, 1, angles.first, angles.second});
    EXPECT_NEAR(distance_to_element(arc, 1, 2, 2), std::sqrt(8.0) - 1, 1e-12);
    // (-1, 0) is on the circle but outside the sweep: the nearer end is (0, 1).
    EXPECT_NEAR(distance_to_element(arc, 1, -1, 0), std::sqrt(2.0), 1e-6);
  }
}
