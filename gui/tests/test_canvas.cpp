// The graphics window's drawing operations, pixel by pixel: the world mapping with y upward,
// viewports, the line masks, the direction of arcs and coordinates that are no use.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "gui/canvas.hpp"
#include "gui/text_page.hpp"

namespace ostrel::gui {
namespace {

constexpr QRgb black = palette[0];
constexpr QRgb yellow = palette[14];

// Pixels of colour c in the picture rectangle r (edges included).
int count(const Canvas& cv, QRect r, QRgb c) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      n += cv.image().pixel(x, y) == c;
  return n;
}

int count(const Canvas& cv, QRgb c) {
  return count(cv, cv.image().rect(), c);
}

// A 100 x 50 viewport at (10, 20) of a 200 x 100 picture, world (0, 0)-(10, 5): 10 pixels per
// unit both ways, y upward.
Canvas framed() {
  Canvas cv(QSize(200, 100));
  cv.set_viewport({10, 20, 110, 70});
  EXPECT_TRUE(cv.set_world_window({0, 0}, {10, 5}));
  cv.set_colour(14);
  return cv;
}

TEST(Canvas, WorldWindowMapsOntoTheViewportWithYUpward) {
  Canvas cv = framed();
  EXPECT_EQ(cv.world_to_pixels({0, 5}).x, 0);
  EXPECT_EQ(cv.world_to_pixels({0, 5}).y, 0);
  EXPECT_EQ(cv.world_to_pixels({10, 0}).x, 100);
  EXPECT_EQ(cv.world_to_pixels({10, 0}).y, 50);
  // Truncation toward zero, also left of and above the viewport.
  EXPECT_EQ(cv.world_to_pixels({0.39, 4.96}).x, 3);
  EXPECT_EQ(cv.world_to_pixels({-0.39, 5.04}).x, -3);
  EXPECT_EQ(cv.world_to_pixels({-0.39, 5.04}).y, 0);

  // The line y = 1 is the picture row 20 + 40, from x = 10 to 110 (edges included).
  cv.move_to({0, 1});
  cv.line_to({10, 1});
  EXPECT_EQ(count(cv, QRect(10, 60, 101, 1), yellow), 101);
  EXPECT_EQ(count(cv, yellow), 101);

  // Refused windows keep the mapping.
  EXPECT_FALSE(cv.set_world_window({1, 0}, {1, 5}));
  EXPECT_FALSE(cv.set_world_window({0, 2}, {10, 2}));
  EXPECT_FALSE(cv.set_world_window({0, 0}, {std::numeric_limits<double>::quiet_NaN(), 1}));
  EXPECT_EQ(cv.world_to_pixels({10, 0}).x, 100);
}

TEST(Canvas, ViewportClipsAndClearsOnlyItself) {
  Canvas cv = framed();
  cv.rectangle(Fill::filled, {-50, -50}, {500, 500});
  EXPECT_EQ(count(cv, yellow), 101 * 51);
  EXPECT_EQ(count(cv, QRect(10, 20, 101, 51), yellow), 101 * 51);
  cv.set_viewport({0, 0, 199, 99});
  cv.set_colour(12);
  cv.rectangle(Fill::outline, {0, 0}, {199, 99});
  EXPECT_EQ(count(cv, palette[12]), 2 * 200 + 2 * 98);
  cv.set_viewport({10, 20, 110, 70});
  cv.clear_viewport();
  EXPECT_EQ(count(cv, yellow), 0);
  EXPECT_EQ(count(cv, palette[12]), 2 * 200 + 2 * 98);
  EXPECT_EQ(cv.used(), QSize(200, 100));
}

TEST(Canvas, LineMasksRepeatAlongTheLine) {
  Canvas cv = framed();
  cv.set_line_mask(0x8888);
  cv.move_to({0, 5});
  cv.line_to({3.1, 5});  // 32 pixels: x = 0 .. 31 of row 0
  for (int x = 0; x < 32; ++x)
    EXPECT_EQ(cv.image().pixel(10 + x, 20) == yellow, x % 4 == 0) << "x = " << x;
  // Vertical and diagonal lines use the same pattern along their pixels.
  cv.move_to({5, 5});
  cv.line_to({5, 3.45});  // 16 pixels down
  EXPECT_EQ(count(cv, QRect(60, 20, 1, 16), yellow), 4);
  cv.set_line_mask(0xF0F0);
  cv.move_to({6, 5});
  cv.line_to({6.75, 4.25});  // 8 pixels on the diagonal
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(cv.image().pixel(70 + i, 20 + i) == yellow, i < 4) << "i = " << i;
}

// Arcs on the unit circle in a square viewport: counter-clockwise from the start ray.
class CanvasArc : public ::testing::Test {
 protected:
  Canvas cv{QSize(101, 101)};
  void SetUp() override {
    cv.set_viewport({0, 0, 100, 100});
    ASSERT_TRUE(cv.set_world_window({-2, -2}, {2, 2}));
    cv.set_colour(14);
  }
  // Pixels per quadrant of the circle: upper right, upper left, lower left, lower right.
  std::array<int, 4> quadrants() const {
    return {count(cv, QRect(52, 0, 49, 49), yellow), count(cv, QRect(0, 0, 49, 49), yellow),
            count(cv, QRect(0, 52, 49, 49), yellow), count(cv, QRect(52, 52, 49, 49), yellow)};
  }
};

TEST_F(CanvasArc, RunsCounterClockwiseFromStartToEnd) {
  cv.arc({-1, 1}, {1, -1}, {1, 0}, {0, 1});
  const auto q = quadrants();
  EXPECT_GT(q[0], 30);
  EXPECT_EQ(q[1] + q[2] + q[3], 0);
}

TEST_F(CanvasArc, ReversedRaysGiveTheOtherThreeQuarters) {
  // Rays given by far points: only their direction counts.
  cv.arc({-1, 1}, {1, -1}, {0, 7}, {3, 0});
  const auto q = quadrants();
  EXPECT_EQ(q[0], 0);
  EXPECT_GT(q[1], 30);
  EXPECT_GT(q[2], 30);
  EXPECT_GT(q[3], 30);
}

TEST_F(CanvasArc, OneRayGivesTheWholeEllipseAsTheOutline) {
  // A full turn as the plots give it: cos and sin of 0 and of 2 pi in double precision.
  const double two_pi = 2 * 3.1415926536;
  cv.arc({-1, 1}, {1, -1}, {1, 0}, {std::cos(two_pi), std::sin(two_pi)});
  const auto arc = quadrants();
  Canvas other(QSize(101, 101));
  other.set_viewport({0, 0, 100, 100});
  ASSERT_TRUE(other.set_world_window({-2, -2}, {2, 2}));
  other.set_colour(14);
  other.ellipse({-1, 1}, {1, -1});
  EXPECT_EQ(other.image(), cv.image());
  for (int n : arc)
    EXPECT_GT(n, 30);
}

TEST(Canvas, HugeOrMissingCoordinatesAreClippedOrDropped) {
  Canvas cv = framed();
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // From inside to very far right: the part inside the viewport is drawn, and only that.
  cv.move_to({0, 1});
  cv.line_to({1e300, 1});
  EXPECT_EQ(count(cv, QRect(10, 60, 101, 1), yellow), 101);
  EXPECT_EQ(count(cv, yellow), 101);
  for (WorldPoint p : {WorldPoint{nan, 1}, WorldPoint{inf, -inf}, WorldPoint{1, nan}}) {
    cv.move_to({5, 2});
    cv.line_to(p);
    cv.ellipse({0, 0}, p);
    cv.arc({0, 0}, {10, 5}, p, {1, 1});
  }
  cv.ellipse({-1e300, 1e300}, {1e300, -1e300});
  cv.ellipse({-1e155, 1e155}, {1e155, -1e155});
  cv.move_to_pixels({2147483647, -2147483647});
  cv.draw_text("far away");
  EXPECT_EQ(count(cv, QRect(0, 0, 10, 100), yellow) + count(cv, QRect(111, 0, 89, 100), yellow) +
                count(cv, QRect(0, 0, 200, 20), yellow) + count(cv, QRect(0, 71, 200, 29), yellow),
            0);
}

TEST(Canvas, TextStartsAtTheCurrentPointInTheCellOfItsFont) {
  Canvas cv = framed();
  cv.set_font("h12w6b");
  cv.move_to_pixels({20, 10});
  cv.draw_text("88");
  // Every pixel of the two digits lies in their cells of 2 x 6 by 12 pixels.
  const QRect cells(10 + 20, 20 + 10, 12, 12);
  EXPECT_GT(count(cv, cells, yellow), 10);
  EXPECT_EQ(count(cv, cells, yellow), count(cv, yellow));
}

TEST(TextPage, WritesOverwriteFromTheCursor) {
  TextPage page;
  page.set_position(3, 2);
  page.write("LU decomposition:    7%");
  page.set_position(3, 2);
  page.write("LU decomposition:  100");
  page.write(" x");
  EXPECT_EQ(page.text(3).toStdString(), " LU decomposition:  100 x");
  EXPECT_EQ(page.text(1).toStdString(), "");
  EXPECT_EQ(page.row(), 3);
  page.set_position(0, -4);
  page.write("a");
  EXPECT_EQ(page.text(1).toStdString(), "a");
  page.clear();
  EXPECT_TRUE(page.rows().empty());
}

}  // namespace
}  // namespace ostrel::gui
