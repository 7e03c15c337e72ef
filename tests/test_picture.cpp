// The EPS picture: names, window, file text, and the picture as a PostScript interpreter draws it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/fields.hpp"
#include "base/halt.hpp"
#include "driver/reading.hpp"
#include "picture/psout.hpp"
#include "run_util.hpp"

namespace {

using namespace ostrel;
namespace fs = std::filesystem;
using ostrel::testing::TempDir;

constexpr double pi_d = 3.141592653589793;  // double pi, as an input file would give it

Element make(int iform, int itype, int isign, std::array<double, 5> g) {
  Element e;
  e.iform = iform;
  e.itype = itype;
  e.isign = isign;
  e.geom = g;
  return e;
}

Problem problem(std::vector<Element> els, int igg = 0, double g1 = 0) {
  Problem pb;
  pb.elements = std::move(els);
  pb.igg = igg;
  pb.gpars_[0] = g1;
  return pb;
}

// Every element form and kind in a channel (igg 5) of height 4: segment, arcs in radians and
// degrees, circles of both orientations, a clockwise arc of an unnamed kind.
Problem channel_problem() {
  return problem({make(0, 1, 1, {1, 1, 3, 1, 0}), make(1, 1, 0, {5, 2, 1, 0, pi_d / 2}),
                  make(2, 3, 0, {5, 2, 1, 90, 270}), make(3, 2, 0, {2, 3, 0.5, 0, 0}),
                  make(3, 1, 2, {7, 1, 0.5, -1, 0}), make(2, 5, 0, {7, 3, 0.5, 90, 0})},
                 5, 4.0);
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string s; std::getline(in, s);)
    lines.push_back(s);
  return lines;
}

std::vector<std::string> picture_lines(const Problem& pb, const std::string& name = "case.inp") {
  std::ostringstream out;
  write_picture(pb, name, "Thu Jan  1 00:00:00 1970", out);
  return split_lines(out.str());
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// "%%CreationDate: " and 24 characters such as "Thu Jan  1 00:00:00 1970".
bool is_creation_date(const std::string& s) {
  const std::string head = "%%CreationDate: ";
  if (s.size() != head.size() + 24 || s.compare(0, head.size(), head) != 0) return false;
  const std::string d = s.substr(head.size());
  const std::string days = "SunMonTueWedThuFriSat", months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  auto is_digit = [&](size_t k) { return std::isdigit(static_cast<unsigned char>(d[k])) != 0; };
  bool ok = days.find(d.substr(0, 3)) % 3 == 0 && days.find(d.substr(0, 3)) != days.npos &&
            months.find(d.substr(4, 3)) % 3 == 0 && months.find(d.substr(4, 3)) != months.npos;
  ok = ok && d[3] == ' ' && d[7] == ' ' && (d[8] == ' ' || is_digit(8)) && is_digit(9);
  ok = ok && d[10] == ' ' && d[13] == ':' && d[16] == ':' && d[19] == ' ';
  for (size_t k : {11, 12, 14, 15, 17, 18, 20, 21, 22, 23})
    ok = ok && is_digit(k);
  return ok;
}

// Index of the first line equal to `s` at or after `from`, or -1.
int find_line(const std::vector<std::string>& lines, const std::string& s, int from = 0) {
  for (int k = from; k < static_cast<int>(lines.size()); ++k)
    if (lines[k] == s) return k;
  return -1;
}

// The lines drawing element i: from its "newpath" to its "show" line.
std::vector<std::string> element_lines(const std::vector<std::string>& lines, int i) {
  int k = find_line(lines, "1 setlinewidth");
  k = find_line(lines, "1 setlinewidth", k + 1);  // after the ground planes
  for (int e = 1; e <= i; ++e) {
    int start = find_line(lines, "newpath", k + 1);
    int end = start;
    while (end < static_cast<int>(lines.size()) && lines[end].find(" show") == std::string::npos)
      ++end;
    if (e == i) return {lines.begin() + start, lines.begin() + end + 1};
    k = end;
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// Names.

TEST(PictureName, AppendsPsToTheWholeNameWithoutTrailingBlanks) {
  EXPECT_EQ(picture_name("case.inp"), "case.inp.ps");
  EXPECT_EQ(picture_name("case.inp" + std::string(72, ' ')), "case.inp.ps");
  EXPECT_EQ(picture_name("dir/a b.dat  "), "dir/a b.dat.ps");
  // Names of 77, 78, 80 and 200 characters are never cut and never give the fall-back name,
  // which could only be right if the picture replaced the input file.
  for (int n : {77, 78, 79, 80, 200}) {
    std::string name(n, 'x');
    EXPECT_EQ(picture_name(name), name + ".ps") << n;
  }
}

TEST(PictureName, LengthIsThePositionOfTheLastNonBlank) {
  EXPECT_EQ(length(""), 0);
  EXPECT_EQ(length("    "), 0);
  EXPECT_EQ(length("ab  "), 2);
  EXPECT_EQ(length(" a"), 2);
  EXPECT_EQ(length(std::string(80, 'q')), 80);
}

TEST(PictureName, TitleAndConsoleFieldsArePaddedNeverCut) {
  auto lines = picture_lines(channel_problem(), "case.inp");
  EXPECT_EQ(lines[2], "%%Title: case.inp" + std::string(72, ' ') + " data");
  EXPECT_EQ(lines[2].size(), 9u + 80u + 5u);
  std::string long_name(120, 'n');
  EXPECT_EQ(picture_lines(channel_problem(), long_name)[2], "%%Title: " + long_name + " data");
  // A line end in a file name must not end the comment and put the rest into the program.
  EXPECT_EQ(picture_lines(channel_problem(), "a\nshowpage\rb")[2],
            "%%Title: " + std::string("a?showpage?b") + std::string(68, ' ') + " data");
}

// ---------------------------------------------------------------------------------------------
// Device mapping.

TEST(PictureMapping, IpTruncatesTowardZero) {
  EXPECT_EQ(ip(0.5, 50, 550, 0, 1), 300);
  EXPECT_EQ(ip(0.999, 0, 10, 0, 1), 9);     // 9.99 -> 9, not rounded
  EXPECT_EQ(ip(-0.37, 0, 10, 0, 1), -3);    // -3.7 -> -3, not floor
  EXPECT_EQ(ip(1.0, 800, 300, 0, 1), 300);  // reversed device range
  EXPECT_EQ(ip(2.0, 50, 550, 0, 1), 1050);  // beyond the window: not clamped
}

TEST(PictureMapping, WindowEndsMapExactlyOntoTheDeviceBox) {
  // 500 * span / span is 500 +- one unit in the last place for about a quarter of all spans;
  // adding 50 or 300 rounds the half-unit to the even 550 or 800, so the frame never shrinks to
  // 549 or 799. Random spans over 60 binary orders of magnitude, with the window's two ends.
  std::mt19937_64 gen(2024);
  std::uniform_real_distribution<double> mant(1.0, 2.0), offset(-3.0, 3.0);
  std::uniform_int_distribution<int> expo(-30, 30);
  int off_by_ulp = 0;
  for (int k = 0; k < 20000; ++k) {
    double span = std::ldexp(mant(gen), expo(gen));
    double q1 = offset(gen) * span, q2 = q1 + span;
    if (500 * (q2 - q1) / (q2 - q1) != 500) ++off_by_ulp;
    ASSERT_EQ(ip(q1, 50, 550, q1, q2), 50) << span;
    ASSERT_EQ(ip(q2, 50, 550, q1, q2), 550) << span;
    ASSERT_EQ(ip(q1, 300, 800, q1, q2), 300) << span;
    ASSERT_EQ(ip(q2, 300, 800, q1, q2), 800) << span;
  }
  EXPECT_GT(off_by_ulp, 1000);  // the case is really exercised
}

TEST(PictureMapping, IpSaturatesAndNeverOverflows) {
  EXPECT_EQ(ip(1e300, 50, 550, 0, 1), INT_MAX);
  EXPECT_EQ(ip(-1e300, 50, 550, 0, 1), INT_MIN);
  EXPECT_EQ(ip(INFINITY, 50, 550, 0, 1), INT_MAX);
  EXPECT_EQ(ip(NAN, 50, 550, 0, 1), 50);
  EXPECT_EQ(ip(1, 50, 550, 0, NAN), 50);
  EXPECT_EQ(ip(3, 50, 550, 2, 2), 50);                 // empty range
  EXPECT_EQ(ip(1, 50, 550, -INFINITY, INFINITY), 50);  // inf/inf
  EXPECT_EQ(ip(DBL_MAX, INT_MIN, INT_MAX, 0, 1), INT_MAX);
  EXPECT_EQ(ip(2147483647.9, 0, 1, 0, 1), INT_MAX);  // truncates to INT_MAX itself
  EXPECT_EQ(ip(-2147483648.9, 0, 1, 0, 1), INT_MIN);
}

// ---------------------------------------------------------------------------------------------
// World window.

constexpr double margin = eps_picture_margin;

TEST(PictureWindow, WiderThanTallFillsHorizontallyAndCentresVertically) {
  Problem pb = problem({make(0, 1, 1, {0, 0, 10, 2, 0})});
  PictureWindow w = picture_window(pb);
  double dx = 10 * margin;
  double h = (10 + 2 * dx) * 250 / 500;
  EXPECT_EQ(w.x0, -dx);
  EXPECT_EQ(w.x1, 10 + dx);
  EXPECT_EQ(w.y0, 1 - h);
  EXPECT_EQ(w.y1, 1 + h);
  // 2.5 % of 10 on each side of 10.5 in 500 points: 11.9 points.
  EXPECT_EQ(ip(0, 50, 550, w.x0, w.x1), 61);
  EXPECT_EQ(ip(10, 50, 550, w.x0, w.x1), 538);
  EXPECT_EQ(ip(1, 300, 800, w.y0, w.y1), 550);
}

TEST(PictureWindow, TallerThanWideFillsVerticallyAndCentresHorizontally) {
  Problem pb = problem({make(0, 1, 1, {0, 0, 2, 10, 0})});
  PictureWindow w = picture_window(pb);
  double dy = 10 * margin;
  double h = (10 + 2 * dy) * 250 / 500;
  EXPECT_EQ(w.y0, -dy);
  EXPECT_EQ(w.y1, 10 + dy);
  EXPECT_EQ(w.x0, 1 - h);
  EXPECT_EQ(w.x1, 1 + h);
  EXPECT_EQ(ip(1, 50, 550, w.x0, w.x1), 300);
}

TEST(PictureWindow, ExactlySquareTakesTheSecondBranch) {
  // Extents chosen so that the two branches differ in the last bit of X1.
  const double xmin = -0.9, ymin = -1.3, a = 0.7;
  const double xmax = xmin + a, ymax = ymin + a;
  ASSERT_EQ(xmax - xmin, ymax - ymin);
  Problem pb = problem({make(0, 1, 1, {xmin, ymin, xmax, ymax, 0})});
  PictureWindow w = picture_window(pb);
  double dx = std::fabs(xmax - xmin) * margin, dy = std::fabs(ymax - ymin) * margin;
  ASSERT_EQ((xmax - xmin + 2 * dx) / (ymax - ymin + 2 * dy), 1.0);
  double y0 = ymin - dy, y1 = ymax + dy, h2 = (y1 - y0) * 250 / 500;
  double first_x1 = xmax + dx, second_x1 = (xmax + xmin) / 2 + h2;
  ASSERT_NE(first_x1, second_x1);  // the case tells the branches apart
  EXPECT_EQ(w.y0, y0);
  EXPECT_EQ(w.y1, y1);
  EXPECT_EQ(w.x1, second_x1);
  EXPECT_EQ(w.x0, (xmax + xmin) / 2 - h2);
}

TEST(PictureWindow, OneHorizontalOrVerticalLineStillGetsASquare) {
  // Horizontal: dy = 0 takes dx.
  PictureWindow h = picture_window(problem({make(0, 1, 1, {0, 1, 10, 1, 0})}));
  double dx = 10 * margin;
  EXPECT_EQ(h.x0, -dx);
  EXPECT_EQ(h.x1, 10 + dx);
  EXPECT_DOUBLE_EQ(h.y1 - h.y0, h.x1 - h.x0);
  EXPECT_DOUBLE_EQ((h.y1 + h.y0) / 2, 1.0);
  // Vertical: dx = 0 takes dy.
  PictureWindow v = picture_window(problem({make(0, 1, 1, {3, 0, 3, 10, 0})}));
  EXPECT_EQ(v.y0, -10 * margin);
  EXPECT_DOUBLE_EQ(v.x1 - v.x0, v.y1 - v.y0);
  EXPECT_DOUBLE_EQ((v.x1 + v.x0) / 2, 3.0);
  // Horizontal line at a large offset: the substituted margin, not a zero-height window.
  PictureWindow far = picture_window(problem({make(0, 1, 1, {0, 1e6, 1, 1e6, 0})}));
  EXPECT_GT(far.y1 - far.y0, 0.9);
}

TEST(PictureWindow, GroundPlanesOfTheGreensFunctionAreInside) {
  std::vector<Element> above{make(0, 1, 1, {0, 5, 1, 6, 0})};
  PictureWindow free_space = picture_window(problem(above, 0));
  EXPECT_GT(free_space.y0, 0.0);  // nothing widens the free-space window
  for (int igg = 1; igg <= 3; ++igg) {
    PictureWindow w = picture_window(problem(above, igg, 99.0));
    EXPECT_LE(w.y0, 0.0) << igg;
    EXPECT_LT(w.y1, 99.0) << igg;  // gpars(1) only counts for the channels
    EXPECT_LT(ip(0, 300, 800, w.y0, w.y1), 800);
    EXPECT_GT(ip(0, 300, 800, w.y0, w.y1), 300) << igg;  // the ground line is visible
  }
  for (int igg = 4; igg <= 5; ++igg) {
    PictureWindow w = picture_window(problem({make(0, 1, 1, {0, 1, 1, 2, 0})}, igg, 10.0));
    EXPECT_LT(w.y0, 0.0) << igg;
    EXPECT_GT(w.y1, 10.0) << igg;
  }
}

// ---------------------------------------------------------------------------------------------
// File text.

TEST(PictureText, MatchesTheExpectedFileLineByLine) {
  TempDir dir;
  const fs::path input = dir.path / "case.inp";
  std::ostringstream console;
  psout(channel_problem(), input.string(), console);
  const std::string name = input.string() + ".ps";
  EXPECT_EQ(console.str(), "PostScript picture in  " + name +
                               std::string(name.size() < 78 ? 78 - name.size() : 0, ' ') + "\n");

  auto got = split_lines(read_file(name));
  auto want = split_lines(read_file(OSTREL_SOURCE_DIR "/tests/data/picture/channel.eps"));
  ASSERT_EQ(got.size(), want.size());
  ASSERT_GE(got.size(), 5u);
  // The Title line carries the name the test used; the date is masked.
  want[2] = "%%Title: " + padded(input.string(), 80) + " data";
  EXPECT_EQ(got[3].size(), 16u + 24u);
  EXPECT_TRUE(is_creation_date(got[3])) << got[3];
  for (size_t k = 0; k < got.size(); ++k) {
    if (k == 3) continue;
    EXPECT_EQ(got[k], want[k]) << "line " << k + 1;
  }
}

TEST(PictureText, AnglesAreTruncatedTowardZero) {
  struct Case {
    int iform;
    double a, b;
    const char* angles;
  };
  // Single-precision pi is a little larger than pi: pi/2 radians is 89.999996 degrees.
  const Case cases[] = {
      {1, 0, pi_d / 2, "    0   89 arc"}, {1, 0, pi_d, "    0  179 arc"},
      {1, 0, pi_d / 4, "    0   44 arc"}, {1, -pi_d / 4, 0, "  -44    0 arc"},
      {2, 45.9, 90.99, "   45   90 arc"}, {2, -45.9, 0, "  -45    0 arc"},
      {2, 0, 359.999, "    0  359 arc"},  {2, 30, -1080.5, "   30 -1080 arcn"},
  };
  for (const Case& c : cases) {
    auto lines = picture_lines(problem({make(c.iform, 1, 1, {0, 0, 1, c.a, c.b})}));
    auto el = element_lines(lines, 1);
    ASSERT_EQ(el.size(), 9u);
    const std::string& arc = el[3];
    ASSERT_GE(arc.size(), std::string(c.angles).size());
    EXPECT_EQ(arc.substr(arc.size() - std::string(c.angles).size()), c.angles)
        << c.iform << " " << c.a << " " << c.b;
  }
}

TEST(PictureText, ArcAndCircleOutlines) {
  // Unit circle at the origin with igg 0: the window is -1.05..1.05 in both directions.
  auto ccw = element_lines(picture_lines(problem({make(3, 1, 1, {0, 0, 1, 0, 0})})), 1);
  auto cw = element_lines(picture_lines(problem({make(3, 1, 1, {0, 0, 1, -1, 0})})), 1);
  // Start at (R, 0) = 50 + 500 * 2.05/2.1 = 538.1; centre 300; r = 238.
  EXPECT_EQ(ccw[2], " 538  550  moveto");
  EXPECT_EQ(ccw[3], " 300  550  238    0  360 arc");
  // A circle is drawn the same way in both orientations; only its label moves.
  EXPECT_EQ(std::vector<std::string>(cw.begin(), cw.begin() + 7),
            std::vector<std::string>(ccw.begin(), ccw.begin() + 7));
  EXPECT_EQ(cw[7], " 131  381  moveto");  // t = 0.75 of the clockwise circle: angle -135
  EXPECT_EQ(ccw[7], " 131  718  moveto");
  // Arc in degrees from 90 to 180: start point (0, 1), one more blank before "moveto".
  auto arc = element_lines(picture_lines(problem({make(2, 1, 1, {0, 0, 1, 90, 180})})), 1);
  // cos(pi/2) with the single-precision pi is -4.4e-8: 299.99999 truncates to 299.
  EXPECT_EQ(arc[2], " 299  788   moveto");
  EXPECT_EQ(arc[3], " 300  550  238   90  180 arc");
  // Label at t = 0.75: 90 + 1.75 * 45 = 168.75 degrees, the point (-0.9808, 0.1951):
  // 50 + 500 * 0.0692 / 2.1 = 66.5 and 550 + 500 * 0.1951 / 2.1 = 596.5.
  EXPECT_EQ(arc[7], "  66  596  moveto");
  EXPECT_EQ(arc[8], "( 1 ) show");
}

TEST(PictureText, ColoursByKind) {
  struct Case {
    int itype, isign;
    const char* colour;
  };
  const Case cases[] = {{1, 1, "c1"}, {1, 7, "c1"}, {1, -1, "c1"}, {1, 0, "c3"},
                        {2, 0, "c8"}, {3, 0, "c2"}, {0, 0, "c16"}, {4, 2, "c16"}};
  std::vector<Element> els;
  for (const Case& c : cases)
    els.push_back(make(0, c.itype, c.isign, {0, 0, 1, 1, 0}));
  auto lines = picture_lines(problem(els));
  for (size_t i = 0; i < std::size(cases); ++i) {
    auto el = element_lines(lines, static_cast<int>(i) + 1);
    ASSERT_GE(el.size(), 2u);
    EXPECT_EQ(el[1], cases[i].colour) << i + 1;
  }
}

TEST(PictureText, GroundPlanesByGreensFunction) {
  std::vector<Element> one{make(0, 1, 1, {0, 1, 1, 2, 0})};
  auto between = [](const std::vector<std::string>& lines) {
    int a = find_line(lines, "1 setlinewidth");
    int b = find_line(lines, "1 setlinewidth", a + 1);
    return std::vector<std::string>(lines.begin() + a + 1, lines.begin() + b);
  };
  EXPECT_EQ(between(picture_lines(problem(one, 0))), std::vector<std::string>{"stroke"});
  EXPECT_EQ(between(picture_lines(problem(one, 6))), std::vector<std::string>{"stroke"});
  const char* colour[] = {"", "c11", "c8", "c3", "c11"};
  for (int igg = 1; igg <= 4; ++igg) {
    auto g = between(picture_lines(problem(one, igg, 3.0)));
    ASSERT_EQ(g.size(), igg == 4 ? 6u : 4u) << igg;
    EXPECT_EQ(g[0], colour[igg]);
    EXPECT_EQ(g[1].substr(0, 4), "  50");             // from X0 ...
    EXPECT_EQ(g[2].substr(0, 4), " 550");             // ... to X1
    EXPECT_EQ(g[1].substr(4, 5), g[2].substr(4, 5));  // at one height
    EXPECT_EQ(g.back(), "stroke");
  }
  // Channel: planes from x = 0 in dark blue, stroked before the wall turns brown.
  auto g = between(picture_lines(problem(one, 5, 3.0)));
  ASSERT_EQ(g.size(), 10u);
  EXPECT_EQ(g[0], "c11");
  EXPECT_EQ(g[5], "stroke");
  EXPECT_EQ(g[6], "c8");
  EXPECT_EQ(g[1].substr(0, 4), g[7].substr(0, 4));  // both at x = 0
  EXPECT_EQ(g[9], "stroke");
}

TEST(PictureText, LabelsOfThreeDigitNumbersAreStars) {
  std::vector<Element> els;
  for (int i = 0; i < 100; ++i)
    els.push_back(make(0, 3, 0, {double(i), 0, i + 0.5, 1, 0}));
  auto lines = picture_lines(problem(els));
  EXPECT_EQ(element_lines(lines, 7).back(), "( 7 ) show");
  EXPECT_EQ(element_lines(lines, 42).back(), "(42 ) show");
  EXPECT_EQ(element_lines(lines, 100).back(), "(** ) show");
  EXPECT_EQ(lines.back(), "(** ) show");  // no page operator, no trailer
}

// Every integer of the file but the labels must be a valid PostScript number.
void expect_numbers_only(const std::vector<std::string>& lines) {
  for (const auto& s : lines) {
    std::istringstream in(s);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
      words.push_back(w);
    const std::string op = words.empty() ? "" : words.back();
    if (op != "moveto" && op != "lineto" && op != "arc" && op != "arcn") continue;
    EXPECT_EQ(words.size(), op == "arc" || op == "arcn" ? 6u : 3u) << s;
    for (size_t k = 0; k + 1 < words.size(); ++k) {
      const std::string& w = words[k];
      size_t digits = w.find_first_not_of('-') == 1 ? 1 : 0;
      EXPECT_TRUE(w.size() > digits && w.find_first_not_of("0123456789", digits) == w.npos &&
                  w.find('-', 1) == w.npos)
          << s;
    }
  }
}

TEST(PictureText, CoordinatesFarFromTheWindowStayValidNumbers) {
  // A device far from the axes: the axes map thousands of points outside the box, where they
  // are clamped (still outside the clipping box) instead of turning into asterisks.
  auto far = picture_lines(problem({make(0, 1, 1, {1000, 1000, 1001, 1000.5, 0})}));
  expect_numbers_only(far);
  EXPECT_NE(find_line(far, "  50 -999  moveto"), -1);  // the axis y = 0, far below
  EXPECT_NE(find_line(far, "-999  300  moveto"), -1);  // the axis x = 0, far left
  // Huge and non-finite geometry gives a meaningless but well-formed picture.
  for (double big : {1e300, DBL_MAX, double(INFINITY), double(NAN)}) {
    auto lines = picture_lines(
        problem({make(0, 1, 1, {-big, 0, big, 1, 0}), make(1, 1, 1, {0, big, 1, 0, big}),
                 make(3, 1, 1, {big, 0, big, 0, 0})},
                5, big));
    expect_numbers_only(lines);
  }
}

TEST(PictureText, NoElementsGivesTheFrameAndAxesOnly) {
  auto lines = picture_lines(problem({}, 4, 2.0));
  expect_numbers_only(lines);
  EXPECT_EQ(lines.back(), "1 setlinewidth");
  PictureWindow w = picture_window(problem({}, 4, 2.0));
  EXPECT_LT(w.y0, 0.0);
  EXPECT_GT(w.y1, 2.0);
}

// ---------------------------------------------------------------------------------------------
// The file.

TEST(PictureFile, WritesBesideTheInputAndReplacesOnlyItsOwnFile) {
  TempDir dir;
  const fs::path input = dir.path / "case.inp";
  std::ofstream(input) << "input stays\n";
  std::ofstream(dir.path / "case.inp.ps") << "old picture\n";
  std::ostringstream console;
  psout(channel_problem(), input.string() + "   ", console);
  EXPECT_EQ(read_file(input), "input stays\n");
  std::string pic = read_file(dir.path / "case.inp.ps");
  EXPECT_EQ(pic.rfind("%!PS-Adobe-3.0 EPSF-3.0\n", 0), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator{}), 2);
  // A name too long for the 78-column field is kept whole.
  const std::string long_base = (dir.path / std::string(90, 'L')).string();
  std::ostringstream console2;
  psout(channel_problem(), long_base, console2);
  EXPECT_TRUE(fs::exists(long_base + ".ps"));
  EXPECT_EQ(console2.str(), "PostScript picture in  " + long_base + ".ps\n");
}

Halt psout_halt(const std::string& input, std::string& console_text) {
  std::ostringstream console;
  try {
    psout(channel_problem(), input, console);
  } catch (const Halt& h) {
    console_text = console.str();
    return h;
  }
  console_text = console.str();
  ADD_FAILURE() << "psout did not stop for " << input;
  return {};
}

// Runs in another current folder while it lives.
struct InFolder {
  fs::path before = fs::current_path();
  explicit InFolder(const fs::path& p) { fs::current_path(p); }
  ~InFolder() { fs::current_path(before); }
};

// A picture that cannot be written beside its input goes to the current folder, and the console
// says where and why; one that cannot be written there either stops the run with the reason.
TEST(PictureFile, UnwritableFolderSendsThePictureToTheCurrentFolder) {
  TempDir dir, here;
  const InFolder in(here.path);
  const std::string input = (dir.path / "missing-dir" / "case.inp").string();
  std::string console;
  std::ostringstream shown;
  psout(channel_problem(), input, shown);
  EXPECT_TRUE(fs::exists(here.path / "case.inp.ps"));
  EXPECT_EQ(shown.str(), "PostScript picture in  " + padded("case.inp.ps", 78) + "\n (" + input +
                             ".ps cannot be written: No such file or directory)\n");
  // A NUL would have the system open a shorter name: here the input file itself.
  std::ofstream(dir.path / "in") << "input\n";
  Halt nul = psout_halt((dir.path / "in").string() + std::string(1, '\0') + "x", console);
  ASSERT_EQ(nul.console.size(), 1u);
  EXPECT_EQ(nul.console[0].rfind("Can not open PostScript file  ", 0), 0u);
  EXPECT_EQ(read_file(dir.path / "in"), "input\n");
}

TEST(PictureFile, WriteFailureIsNotReportedAsSuccess) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  TempDir dir;
  const InFolder in(dir.path);  // the current folder is the input's: no other place to go
  fs::create_symlink("/dev/full", dir.path / "case.inp.ps");
  std::string console;
  Halt h = psout_halt((dir.path / "case.inp").string(), console);
  ASSERT_EQ(h.console.size(), 1u);
  EXPECT_EQ(h.console[0], "Can not write PostScript file  " + (dir.path / "case.inp.ps").string() +
                              ": No space left on device");
  EXPECT_EQ(h.status, exit_failure);
}

// ---------------------------------------------------------------------------------------------
// The picture as Ghostscript draws it.

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  std::array<int, 3> at(int col, int row) const {
    size_t k = 3 * (static_cast<size_t>(row) * width + col);
    return {rgb[k], rgb[k + 1], rgb[k + 2]};
  }
};

// Next header token of a PPM file, skipping "#" comments.
std::string ppm_token(std::istream& in) {
  std::string tok;
  while (in >> tok && tok[0] == '#') {
    std::string rest;
    std::getline(in, rest);
  }
  return tok;
}

// Reads a binary PPM (P6, maxval 255) as Ghostscript's ppmraw device writes it.
Image read_ppm(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  Image img;
  std::string magic = ppm_token(in);
  img.width = std::atoi(ppm_token(in).c_str());
  img.height = std::atoi(ppm_token(in).c_str());
  int maxval = std::atoi(ppm_token(in).c_str());
  in.get();  // the one white-space character before the samples
  EXPECT_EQ(magic, "P6");
  EXPECT_EQ(maxval, 255);
  img.rgb.resize(3 * static_cast<size_t>(img.width) * img.height);
  in.read(reinterpret_cast<char*>(img.rgb.data()), static_cast<std::streamsize>(img.rgb.size()));
  EXPECT_TRUE(in.good());
  return img;
}

bool have_gs() {
  return std::system("command -v gs >/dev/null 2>&1") == 0;
}

// Renders the picture of `pb` at 72 dpi, cropped to the bounding box, so that one pixel is
// one point: column c covers x = 50 + c .. 51 + c, row r covers y = 799 - r .. 800 - r.
Image render(const Problem& pb, const TempDir& dir, const std::string& base) {
  std::ostringstream console;
  const std::string input = (dir.path / base).string();
  psout(pb, input, console);
  const std::string ps = input + ".ps", ppm = input + ".ppm", log = input + ".gs.txt";
  const std::string cmd =
      "gs -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -sDEVICE=ppmraw -r72 "
      "-sOutputFile='" +
      ppm + "' '" + ps + "' >'" + log + "' 2>&1";
  int rc = std::system(cmd.c_str());
  std::string out = read_file(log);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out.find("rror"), std::string::npos) << out;
  Image img = read_ppm(ppm);
  EXPECT_EQ(img.width, 500);
  EXPECT_EQ(img.height, 500);
  return img;
}

int count(const Image& img, std::array<int, 3> rgb) {
  int n = 0;
  for (int r = 0; r < img.height; ++r)
    for (int c = 0; c < img.width; ++c)
      if (img.at(c, r) == rgb) ++n;
  return n;
}

// Whether a pixel of colour `rgb` lies within `d` pixels of the device point (x, y).
bool near(const Image& img, double x, double y, std::array<int, 3> rgb, int d = 2) {
  int c0 = static_cast<int>(x) - 50, r0 = 799 - static_cast<int>(y);
  for (int r = r0 - d; r <= r0 + d; ++r)
    for (int c = c0 - d; c <= c0 + d; ++c)
      if (r >= 0 && c >= 0 && r < img.height && c < img.width && img.at(c, r) == rgb) return true;
  return false;
}

constexpr std::array<int, 3> red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, brown{153, 51, 51},
    white{255, 255, 255};

TEST(PictureGhostscript, ColoursOfTheElementKindsAppear) {
  if (!have_gs()) GTEST_SKIP() << "Ghostscript (gs) is not on PATH";
  TempDir dir;
  Image img = render(channel_problem(), dir, "channel.inp");
  EXPECT_GT(count(img, red), 100);    // conductors 1 and 2: a segment and a circle
  EXPECT_GT(count(img, blue), 50);    // grounded quarter arc
  EXPECT_GT(count(img, green), 100);  // half-circle interface
  EXPECT_GT(count(img, brown), 100);  // zero-normal-field circle
  EXPECT_GT(count(img, white), 200000);
}

TEST(PictureGhostscript, ChannelPlanesAndWallKeepTheirOwnColours) {
  if (!have_gs()) GTEST_SKIP() << "Ghostscript (gs) is not on PATH";
  TempDir dir;
  // Conductor at x = 0.5..1.5 inside a channel of height 2: the window x = -0.05..2.05 shows
  // the wall x = 0.
  Problem pb = problem({make(0, 1, 1, {0.5, 0.5, 1.5, 1.5, 0})}, 5, 2.0);
  PictureWindow w = picture_window(pb);
  Image img = render(pb, dir, "wall.inp");
  auto px = [&](double x) { return ip(x, 50, 550, w.x0, w.x1); };
  auto py = [&](double y) { return ip(y, 300, 800, w.y0, w.y1); };
  // Dark blue (0, 0, 0.5): 127 or 128 depending on the interpreter's rounding.
  auto dark_blue_near = [&](int x, int y) {
    return near(img, x, y, {0, 0, 127}) || near(img, x, y, {0, 0, 128});
  };
  ASSERT_GT(px(0), 55);
  EXPECT_TRUE(dark_blue_near(px(1.5), py(0)));
  EXPECT_TRUE(dark_blue_near(px(1.5), py(2)));
  EXPECT_FALSE(near(img, px(1.5), py(0), brown));
  EXPECT_TRUE(near(img, px(0), py(1), brown));
  EXPECT_FALSE(dark_blue_near(px(0), py(1)));
  EXPECT_TRUE(near(img, px(1), py(1), red));
}

TEST(PictureGhostscript, ClockwiseArcsAreDrawnTheirOwnWay) {
  if (!have_gs()) GTEST_SKIP() << "Ghostscript (gs) is not on PATH";
  TempDir dir;
  // Form 2 from 90 to 0 degrees and form 1 from pi to 0 radians, both clockwise, on circles
  // of radius 1 at (0, 0) and (3, 0); each must cover its own part and nothing opposite.
  Problem pb = problem({make(2, 1, 1, {0, 0, 1, 90, 0}), make(1, 3, 0, {3, 0, 1, pi_d, 0})}, 0);
  PictureWindow w = picture_window(pb);
  Image img = render(pb, dir, "clockwise.inp");
  auto at = [&](double x, double y, std::array<int, 3> rgb) {
    return near(img, ip(x, 50, 550, w.x0, w.x1), ip(y, 300, 800, w.y0, w.y1), rgb);
  };
  const double s = std::sqrt(0.5);
  EXPECT_TRUE(at(s, s, red));
  EXPECT_FALSE(at(-s, -s, red));
  EXPECT_FALSE(at(-s, s, red));
  EXPECT_TRUE(at(3, 1, green));
  EXPECT_FALSE(at(3, -1, green));
}

TEST(PictureGhostscript, AwkwardProblemsStillGiveValidPictures) {
  if (!have_gs()) GTEST_SKIP() << "Ghostscript (gs) is not on PATH";
  TempDir dir;
  // Far from both axes.
  Image far = render(problem({make(0, 1, 1, {1000, 1000, 1001, 1000.5, 0})}), dir, "far.inp");
  EXPECT_GT(count(far, red), 100);
  // A hundred elements with three-digit labels, and a horizontal line only.
  std::vector<Element> els;
  for (int i = 0; i < 100; ++i)
    els.push_back(make(0, 1, 0, {double(i), 0, i + 0.5, 1, 0}));
  EXPECT_GT(count(render(problem(els, 1), dir, "hundred.inp"), blue), 100);
  EXPECT_GT(count(render(problem({make(0, 3, 0, {0, 1, 10, 1, 0})}), dir, "flat.inp"), green), 300);
  // Huge geometry: nothing meaningful to see, but the interpreter must accept the file.
  render(problem({make(0, 1, 1, {-1e300, 0, 1e300, 1, 0})}, 5, 1e300), dir, "huge.inp");
}

// Every bundled example, read as a user's run reads it, gives a picture that Ghostscript
// draws: conductors red, grounded conductors blue, interfaces green.
TEST(PictureGhostscript, EveryExampleIsDrawn) {
  if (!have_gs()) GTEST_SKIP() << "Ghostscript (gs) is not on PATH";
  TempDir dir;
  struct Example {
    const char* file;
    bool grounded, interface;
  };
  for (Example ex : {Example{"coax.inp", true, false}, Example{"microstrip.inp", false, true},
                     Example{"coupled.inp", false, false}}) {
    std::ifstream in(fs::path(OSTREL_SOURCE_DIR) / "examples" / ex.file);
    std::ostringstream sink;
    Streams io{sink, sink, sink};
    const Input input = read_problem(in, ex.file, io);
    const Image img = render(input.problem, dir, ex.file);
    EXPECT_GT(count(img, red), 50) << ex.file;
    EXPECT_EQ(count(img, blue) > 50, ex.grounded) << ex.file;
    EXPECT_EQ(count(img, green) > 50, ex.interface) << ex.file;
  }
}

}  // namespace
