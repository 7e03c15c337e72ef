// The windowed program's window set-up, text rows and plots, recorded through a stub platform.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/halt.hpp"
#include "picture/plots.hpp"
#include "picture/text_rows.hpp"
#include "picture/windows.hpp"
#include "recording_platform.hpp"

namespace {

using namespace ostrel;
using ostrel::testing::RecordingPlatform;
using Lines = std::vector<std::string>;

// A window of 851 x 505 pixels gives round viewports: upper (2, 2)-(402, 202), 400 x 200
// pixels; lower (2, 206)-(402, 402), 400 x 196.
constexpr PixelSize window{851, 505};

Element make(int iform, int itype, int isign, std::array<double, 5> g, int ni = 3) {
  Element e;
  e.iform = iform;
  e.itype = itype;
  e.isign = isign;
  e.geom = g;
  e.ni = ni;
  return e;
}

Problem windowed(std::vector<Element> els, int igg = 0, double g = 0) {
  Problem pb;
  pb.build = &windowed_build;
  pb.elements = std::move(els);
  pb.igg = igg;
  pb.gpars_[0] = g;
  return pb;
}

Lines cross_section(const Problem& pb, int k, int ish = 0) {
  RecordingPlatform p;
  cross_section_plot(p, window_layout(window), picture_extents(pb), pb, pb.n(), k, ish);
  return p.lines;
}

// Charge plot of pb with sigma and t; t defaults to every element's nodes -0.5, 0, 0.5.
Lines charge(const Problem& pb, int k, int ish, const std::vector<double>& sigma,
             std::vector<double> t = {}) {
  for (std::size_t r = t.size(); r < sigma.size(); ++r)
    t.push_back(0.5 * (r % 3) - 0.5);
  RecordingPlatform p;
  charge_plot(p, window_layout(window), pb, pb.n(), k, ish, sigma, t);
  return p.lines;
}

// The lines that start with `prefix`, in order.
Lines only(const Lines& lines, const std::string& prefix) {
  Lines out;
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) out.push_back(l);
  return out;
}

// The lines strictly between the first line equal to `from` and the next equal to `to`.
Lines between(const Lines& lines, const std::string& from, const std::string& to) {
  auto a = std::find(lines.begin(), lines.end(), from);
  EXPECT_NE(a, lines.end()) << from;
  if (a == lines.end()) return {};
  auto b = std::find(a + 1, lines.end(), to);
  return Lines(a + 1, b);
}

// The numbers of a recorded line after its keyword.
std::vector<double> nums(const std::string& line) {
  std::istringstream in(line.substr(line.find(' ')));
  std::vector<double> v;
  for (std::string w; in >> w;)
    if (w != "->") v.push_back(std::stod(w));
  return v;
}

// The colour of each element: every colour line right before an element's outline or curve.
std::vector<std::string> element_colours(const Lines& lines) {
  const Lines drawn = between(lines, "style FFFF", "activate 10");
  Lines out;
  for (std::size_t k = 0; k + 1 < drawn.size(); ++k) {
    const std::string& next = drawn[k + 1];
    if (drawn[k].rfind("colour ", 0) == 0 &&
        (next.rfind("move ", 0) == 0 || next.rfind("arc ", 0) == 0 ||
         next.rfind("ellipse ", 0) == 0))
      out.push_back(drawn[k].substr(7));
  }
  return out;
}

bool starts(const std::string& s, const std::string& prefix) {
  return s.rfind(prefix, 0) == 0;
}

// ---------------------------------------------------------------------------------------------
// The world window of the cross-section.

struct Fit {
  const char* name;
  std::array<double, 4> segment;  // a segment's end points: its box is the picture's extents
  bool fills_height;
  PixelSize size = window;
};

void PrintTo(const Fit& f, std::ostream* os) {
  *os << f.name;
}

class CrossSectionFit : public ::testing::TestWithParam<Fit> {};

// The picture with its margins fills one axis of the viewport and is centred on the other,
// whatever its shape. At the exact viewport ratio (400 x 200) the height is the filled axis;
// the extents were chosen so that filling the width would give other last bits of the window.
TEST_P(CrossSectionFit, FillsOneAxisAndCentresTheOther) {
  const auto [x0, y0, x1, y1] = GetParam().segment;
  const Problem pb = windowed({make(0, 1, 1, {x0, y0, x1, y1, 0})});
  RecordingPlatform p(GetParam().size);
  const WindowLayout sc = window_layout(GetParam().size);
  cross_section_plot(p, sc, picture_extents(pb), pb, 1, 0, 0);
  double dx = std::fabs(x1 - x0) * screen_plot_margin;
  double dy = std::fabs(y1 - y0) * screen_plot_margin;
  // A horizontal or vertical line borrows the other axis's margin.
  if (dy == 0) dy = dx;
  if (dx == 0) dx = dy;
  const WorldPoint a = p.world1, b = p.world2;
  if (GetParam().fills_height) {
    EXPECT_EQ(a.y, y0 - dy);
    EXPECT_EQ(b.y, y1 + dy);
    EXPECT_NEAR((a.x + b.x) / 2, (x0 + x1) / 2, 1e-12);
  } else {
    EXPECT_EQ(a.x, x0 - dx);
    EXPECT_EQ(b.x, x1 + dx);
    EXPECT_NEAR((a.y + b.y) / 2, (y0 + y1) / 2, 1e-12);
  }
  // Same shape as the viewport: no distortion (a few units in the last place of rounding).
  const double ratio = static_cast<double>(sc.upper.width()) / sc.upper.height();
  EXPECT_NEAR((b.x - a.x) / (b.y - a.y) / ratio, 1.0, 1e-14);
}

INSTANTIATE_TEST_SUITE_P(
    Plots, CrossSectionFit,
    ::testing::Values(Fit{"wide", {0, 0, 10, 1}, false}, Fit{"tall", {0, 0, 1, 10}, true},
                      Fit{"exactly_as_wide", {2.331, -0.776, 2.753, -0.565}, true},
                      Fit{"horizontal_line", {-3, 2, 5, 2}, false},
                      // 471 x 18 pixels: the line with its borrowed margins is narrower.
                      Fit{"horizontal_line_in_a_wide_window", {-3, 2, 5, 2}, true, {1000, 50}},
                      Fit{"vertical_line", {1, -3, 1, 5}, true},
                      // 43 x 798 pixels: the line with its borrowed margins is wider.
                      Fit{"vertical_line_in_a_tall_window", {1, -3, 1, 5}, false, {100, 2000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Plots, ExactlyAsWideIsReallyTheViewportRatio) {
  const double x0 = 2.331, y0 = -0.776, x1 = 2.753, y1 = -0.565;
  const double dx = std::fabs(x1 - x0) * screen_plot_margin;
  const double dy = std::fabs(y1 - y0) * screen_plot_margin;
  EXPECT_EQ((x1 - x0 + 2 * dx) / (y1 - y0 + 2 * dy), 2.0);
  // Filling the width there would give other bottom and top edges.
  const double half = 200 * (x1 + dx - (x0 - dx)) / (2 * 400);
  EXPECT_NE((y0 + y1) / 2 - half, y0 - dy);
  EXPECT_NE((y0 + y1) / 2 + half, y1 + dy);
}

TEST(Plots, RefusedCrossSectionWindowStopsTheRun) {
  // Everything in one point: no extent on either axis, nothing to fit a window to.
  const Problem pb = windowed({make(3, 1, 1, {0, 0, 0, 0, 0})});
  RecordingPlatform p;
  try {
    cross_section_plot(p, window_layout(window), picture_extents(pb), pb, 1, 0, 1);
    ADD_FAILURE() << "no stop";
  } catch (const Halt& h) {
    EXPECT_EQ(h.stop_text, "error window");
    EXPECT_EQ(h.status, exit_failure);
    EXPECT_TRUE(h.console.empty() && h.log.empty());
  }
  EXPECT_EQ(p.lines.back(), "world 0 0 0 0 refused");
}

// ---------------------------------------------------------------------------------------------
// Colours, ground planes, arcs and labels.

TEST(Plots, ColoursByKindAndConductor) {
  // Grounded conductor, conductors 1 and 2, a type outside 1..3, zero-field boundary,
  // interface, another type outside 1..3.
  const Problem pb = windowed({make(0, 1, 0, {0, 0, 1, 0, 0}), make(0, 1, 1, {0, 1, 1, 1, 0}),
                               make(0, 1, 2, {0, 2, 1, 2, 0}), make(0, 7, 2, {0, 3, 1, 3, 0}),
                               make(0, 2, 0, {0, 4, 1, 4, 0}), make(0, 3, 0, {0, 5, 1, 5, 0}),
                               make(0, 0, 0, {0, 6, 1, 6, 0})});
  using V = std::vector<std::string>;
  EXPECT_EQ(element_colours(cross_section(pb, 0)), (V{"1", "12", "12", "15", "13", "2", "15"}));
  EXPECT_EQ(element_colours(cross_section(pb, 2)), (V{"1", "12", "14", "15", "13", "2", "15"}));
  // The charge plot: a type outside 1..3 keeps the colour of the element before it, also when
  // that element's white label came in between.
  const std::vector<double> sigma(21, 0.0);
  for (int ish : {0, 1}) {
    EXPECT_EQ(element_colours(charge(
                  pb, 2, ish, {1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 6, 1, 1, 1, 1, 2, 3, 1, 2, 3})),
              (V{"1", "12", "14", "14", "13", "2", "2"}))
        << ish;
  }
  // A first element of another type keeps the light grey of the axes.
  const Problem odd = windowed({make(0, 4, 0, {0, 0, 1, 0, 0}), make(0, 3, 0, {0, 1, 1, 1, 0})});
  const Lines c = charge(odd, 1, 1, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(element_colours(c), (V{"7", "2"}));
}

TEST(Plots, GroundPlanesByGreensFunction) {
  // A conductor inside the channel 0 <= y <= 2, right of the wall x = 0.
  const std::vector<Element> one{make(0, 1, 1, {0.5, 0.5, 1.5, 1.5, 0})};
  const Lines expected[] = {
      {},
      {"colour 1", "move X0 0", "line X1 0"},
      {"colour 13", "move X0 0", "line X1 0"},
      {"colour 2", "move X0 0", "line X1 0"},
      {"colour 1", "move X0 0", "line X1 0", "move X0 2", "line X1 2"},
      {"colour 1", "move 0 0", "line X1 0", "move 0 2", "line X1 2", "colour 13", "move 0 0",
       "line 0 2"},
      {"colour 1", "move 0 0", "line X1 0", "move 0 2", "line X1 2", "move 0 0", "line 0 2"},
      {},
  };
  for (int igg = 0; igg <= 7; ++igg) {
    const Lines lines = cross_section(windowed(one, igg, 2.0), 0);
    const std::vector<double> w = nums(only(lines, "world ").at(0));
    const std::string x0 = RecordingPlatform::num(w[0]), x1 = RecordingPlatform::num(w[2]);
    Lines want;
    for (std::string s : expected[igg]) {
      for (auto [key, value] : {std::pair{"X0", x0}, std::pair{"X1", x1}})
        if (auto at = s.find(key); at != s.npos) s.replace(at, 2, value);
      want.push_back(s);
    }
    // After the two dotted axes, before the solid elements.
    const Lines planes = between(lines, "style 8888", "style FFFF");
    ASSERT_GE(planes.size(), 5u) << igg;
    EXPECT_EQ(Lines(planes.begin() + 5, planes.end()), want) << igg;
  }
}

TEST(Plots, ArcsRunCounterClockwiseFromTheSmallerAngle) {
  // Quarter arcs in degrees and in radians, given either way round, on the unit circle, and a
  // half circle in degrees whose end must lie on the axis to the windowed pi's accuracy.
  const double half_pi = 1.5707963268;
  const Problem pb =
      windowed({make(2, 1, 1, {0, 0, 1, 0, 90}), make(2, 1, 1, {0, 0, 1, 90, 0}),
                make(1, 1, 1, {0, 0, 1, 0, half_pi}), make(1, 1, 1, {0, 0, 1, half_pi, 0}),
                make(2, 3, 0, {3, 0, 1, 180, 0}), make(3, 3, 0, {3, 0, 1, 0, 0})});
  const Lines arcs = only(cross_section(pb, 0), "arc ");
  ASSERT_EQ(arcs.size(), 5u);
  for (int i = 0; i < 4; ++i) {
    const std::vector<double> v = nums(arcs[i]);
    ASSERT_EQ(v.size(), 8u);
    const std::vector<double> box{-1, 1, 1, -1}, from{1, 0}, to{0, 1};
    EXPECT_EQ(std::vector<double>(v.begin(), v.begin() + 4), box) << i;
    EXPECT_EQ(std::vector<double>(v.begin() + 4, v.begin() + 6), from) << i;
    EXPECT_NEAR(v[6], 0, 1e-10) << i;
    EXPECT_EQ(v[7], 1) << i;
  }
  // 180 degrees with the single-precision pi would end 8.7e-8 off the axis.
  const std::vector<double> h = nums(arcs[4]);
  EXPECT_EQ(h[4], 4);
  EXPECT_EQ(h[6], 2);
  EXPECT_LT(std::fabs(h[7]), 1e-10);
  EXPECT_EQ(only(cross_section(pb, 0), "ellipse ").at(0), "ellipse 2 1 4 -1");
}

// The label steps of element i: black box, white digits at the box's corner.
Lines label_of(const Lines& lines, int i) {
  const std::string text = "text " + std::to_string(i);
  auto at = std::find(lines.begin(), lines.end(), text);
  EXPECT_NE(at, lines.end()) << text;
  if (at == lines.end() || at - lines.begin() < 5) return {};
  return Lines(at - 5, at + 1);
}

TEST(Plots, LabelsInOneAndTwoDigitBoxes) {
  std::vector<Element> els;
  for (int i = 0; i < 12; ++i)
    els.push_back(make(0, 3, 0, {double(i), 0, double(i), 1, 0}));
  const Problem pb = windowed(els);
  // The cross-section labels the element's middle, t = 0.
  const Lines x = cross_section(pb, 0, 1);
  const Lines nine = label_of(x, 9), ten = label_of(x, 10);
  ASSERT_EQ(nine.size(), 6u);
  ASSERT_EQ(ten.size(), 6u);
  EXPECT_EQ(nine[0].substr(0, 14), "pixels 8 0.5 -");
  const std::vector<double> p9 = nums(nine[0]), p10 = nums(ten[0]);
  const int x9 = int(p9[2]), y9 = int(p9[3]), x10 = int(p10[2]), y10 = int(p10[3]);
  EXPECT_EQ(nine[1], "colour 0");
  EXPECT_EQ(nine[2], "fill " + std::to_string(x9) + " " + std::to_string(y9) + " " +
                         std::to_string(x9 + 5) + " " + std::to_string(y9 + 10));
  EXPECT_EQ(nine[3], "colour 15");
  EXPECT_EQ(nine[4], "pmove " + std::to_string(x9) + " " + std::to_string(y9));
  EXPECT_EQ(ten[2], "fill " + std::to_string(x10) + " " + std::to_string(y10) + " " +
                        std::to_string(x10 + 10) + " " + std::to_string(y10 + 10));
  EXPECT_GT(x10, x9);
  EXPECT_EQ(y10, y9);
  EXPECT_EQ(only(x, "text ").size(), 12u);
  EXPECT_TRUE(only(cross_section(pb, 0, 0), "text ").empty());

  // The charge plot labels element i at the first node j whose interval t(j-1)..t(j), ends
  // included, holds 2i/12 - 1, else at the last node.
  std::vector<double> sigma, t;
  for (int i = 0; i < 12; ++i)
    for (double tj : {-0.5, 0.0, 0.5}) {
      t.push_back(tj);
      sigma.push_back(i + tj);
    }
  const Lines c = charge(pb, 1, 1, sigma, t);
  EXPECT_TRUE(starts(label_of(c, 2)[0], "pixels 0.5 1.5 -> "));    // -2/3: none, last node
  EXPECT_TRUE(starts(label_of(c, 3)[0], "pixels 0 2 -> "));        // -1/2: -0.5..0
  EXPECT_TRUE(starts(label_of(c, 6)[0], "pixels 0 5 -> "));        // 0: the first holding it
  EXPECT_TRUE(starts(label_of(c, 7)[0], "pixels 0.5 6.5 -> "));    // 1/6: 0..0.5
  EXPECT_TRUE(starts(label_of(c, 12)[0], "pixels 0.5 11.5 -> "));  // 1: none, last node
  EXPECT_EQ(label_of(c, 9)[2].substr(0, 5), "fill ");
  const std::vector<double> f9 = nums(label_of(c, 9)[2]), f10 = nums(label_of(c, 10)[2]);
  EXPECT_EQ(f9[2] - f9[0], 5);
  EXPECT_EQ(f10[2] - f10[0], 10);
}

// ---------------------------------------------------------------------------------------------
// The range of the charge plot.

TEST(Plots, FlatChargePlotIsDrawnAroundItsValue) {
  const Problem pb = windowed({make(0, 1, 1, {0, 0, 1, 0, 0}), make(0, 3, 0, {0, 1, 1, 1, 0})});
  for (double v : {3.0, -0.25, 0.0}) {
    RecordingPlatform p;
    const std::vector<double> sigma(7, v), t{-0.5, 0, 0.5, -0.5, 0, 0.5, 0};
    charge_plot(p, window_layout(window), pb, 2, 1, 1, sigma, t);
    const double half = v == 0 ? 1 : std::fabs(v) * screen_plot_margin;
    EXPECT_EQ(p.world1.x, -1);
    EXPECT_EQ(p.world2.x, 1);
    EXPECT_EQ(p.world1.y, v - half) << v;
    EXPECT_EQ(p.world2.y, v + half) << v;
    // The whole plot follows: both curves, both labels, the caption, the frame.
    EXPECT_EQ(only(p.lines, "line ").size(), 2u + 4u);  // two axes, two curves of 3 nodes
    EXPECT_EQ(only(p.lines, "text ").size(), 3u);
    EXPECT_EQ(p.lines.back(), "activate 10");
  }
  // Non-numbers (a singular system) leave the range to the finite densities; the extra
  // zero-total-charge value after the elements' points is not part of it.
  RecordingPlatform p;
  const std::vector<double> sigma{NAN, 1, 2, 1, INFINITY, 1.5, 100}, t(7, 0.0);
  charge_plot(p, window_layout(window), pb, 2, 1, 0, sigma, t);
  EXPECT_EQ(p.world1.y, 1 - screen_plot_margin);
  EXPECT_EQ(p.world2.y, 2 + screen_plot_margin);
}

// ---------------------------------------------------------------------------------------------
// A whole windowed run's drawing: set-up, status and progress lines, the cross-section before
// the solution and for conductor 1, and conductor 1's charge densities.

TEST(Plots, WholeRecordedRunMatchesTheReviewedSequence) {
  // Two conductors over a ground plane (igg 1): a circle and a strip, with a dielectric arc
  // given clockwise in degrees; labels on.
  Problem pb =
      windowed({make(3, 1, 1, {0, 1, 0.5, 0, 0}, 4), make(0, 1, 2, {1.5, 0.5, 2.5, 0.5, 0}),
                make(2, 3, 0, {0, 1, 0.8, 180, 0}, 3)},
               1);
  RecordingPlatform p({851, 505});
  const WindowLayout sc = window_setup(p, "Program OSTREL");
  EXPECT_EQ(sc.upper.width(), 400);
  EXPECT_EQ(sc.lower.height(), 196);
  TextRow row;
  status_line(p, row, "title one");
  status_line(p, row, "title two", 2);
  const Box extents = picture_extents(pb);
  cross_section_plot(p, sc, extents, pb, pb.n(), 0, 1);
  status_line(p, row, "3 boundary element(s)");
  cross_section_plot(p, sc, extents, pb, pb.n(), 1, 1);
  progress_line(p, row, "LU decomposition:    50%");
  progress_line(p, row, "LU decomposition:   100%");
  row.advance(1);
  // Densities of conductor 1: high on the circle, low on the strip, zero on the interface, and
  // the zero-total-charge value last.
  const std::vector<double> sigma{4, 3, 4, 5, -1, -0.5, -1, 0, 0, 0, 9};
  const std::vector<double> t{-0.5, 0, 0.5, 1, -0.5, 0, 0.5, -0.5, 0, 0.5, 0};
  charge_plot(p, sc, pb, pb.n(), 1, 1, sigma, t);
  status_line(p, row, "output file: result.osl");
  EXPECT_EQ(row.row, 8);

  const std::filesystem::path expected =
      std::filesystem::path(OSTREL_SOURCE_DIR) / "tests" / "data" / "plots" / "whole_run.txt";
  std::ifstream in(expected);
  std::stringstream want;
  want << in.rdbuf();
  EXPECT_EQ(p.text(), want.str());
}

}  // namespace
