// The free-format group reader: every reading rule, and the failures that name file and line.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "base/freeformat.hpp"
#include "base/halt.hpp"

using namespace ostrel;

namespace {

struct Reader {
  explicit Reader(const std::string& text) : in(text), rd(in, "case.inp") {}
  std::istringstream in;
  ListReader rd;
};

// The Halt thrown by `f`, which must throw one.
template <class F>
Halt halted(F f) {
  try {
    f();
  } catch (const Halt& h) {
    return h;
  }
  ADD_FAILURE() << "no stop";
  return {};
}

}  // namespace

TEST(FreeFormat, SeparatorsContinuationAndRestOfLine) {
  Reader r("1, 2  3\n4.5\t6 ignored words\n7\n");
  int a = 0, b = 0, c = 0, e = 0, f = 0;
  double d = 0;
  ASSERT_TRUE(r.rd.read_group({&a, &b, &c, &d, &e}));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  EXPECT_EQ(d, 4.5);
  EXPECT_EQ(e, 6);
  ASSERT_TRUE(r.rd.read_group({&f}));  // "ignored words" were skipped with the line
  EXPECT_EQ(f, 7);
  EXPECT_FALSE(r.rd.read_group({&f}));  // end of file
}

TEST(FreeFormat, SlashAndNullValuesKeepPresets) {
  Reader r("1 /  2 3\n,,5\n 8 , , 9\n,7\n2* 4\n");
  int a = 10, b = 20, c = 30;
  ASSERT_TRUE(r.rd.read_group({&a, &b, &c}));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 20);
  EXPECT_EQ(c, 30);
  ASSERT_TRUE(r.rd.read_group({&a, &b, &c}));
  EXPECT_EQ(a, 1);  // two leading nulls
  EXPECT_EQ(b, 20);
  EXPECT_EQ(c, 5);
  ASSERT_TRUE(r.rd.read_group({&a, &b, &c}));
  EXPECT_EQ(a, 8);
  EXPECT_EQ(b, 20);  // blanks between commas are still a null value
  EXPECT_EQ(c, 9);
  ASSERT_TRUE(r.rd.read_group({&a, &b}));
  EXPECT_EQ(a, 8);  // a comma opening the group
  EXPECT_EQ(b, 7);
  a = b = c = 0;
  ASSERT_TRUE(r.rd.read_group({&a, &b, &c}));  // r* alone: r unchanged items
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(c, 4);
}

// A line end is a blank: a comma that starts a continuation line joins it to the separator
// before it, so it is no null value; after a comma that ends a line, it is one.
TEST(FreeFormat, CommaStartingAContinuationLineIsNoNullValue) {
  Reader r("1 2\n,3\n4,\n,6\n");
  int a = 0, b = 0, c = 0;
  ASSERT_TRUE(r.rd.read_group({&a, &b, &c}));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  ASSERT_TRUE(r.rd.read_group({&a, &b, &c}));
  EXPECT_EQ(a, 4);
  EXPECT_EQ(b, 2);  // null value between the two commas
  EXPECT_EQ(c, 6);
}

TEST(FreeFormat, RepeatExponentsAndWholeNumbers) {
  Reader r("3*2.5D-1 2*7\n1E3 -2d+2 .5 5. +4 2000000000*1\n");
  double x[3];
  int i1 = 0, i2 = 0;
  ASSERT_TRUE(r.rd.read_group({&x[0], &x[1], &x[2], &i1, &i2}));
  EXPECT_EQ(x[0], 0.25);
  EXPECT_EQ(x[2], 0.25);
  EXPECT_EQ(i1, 7);
  EXPECT_EQ(i2, 7);
  double y[6];
  ASSERT_TRUE(r.rd.read_group({&y[0], &y[1], &y[2], &y[3], &y[4], &y[5]}));
  EXPECT_EQ(y[0], 1000.0);
  EXPECT_EQ(y[1], -200.0);
  EXPECT_EQ(y[2], 0.5);
  EXPECT_EQ(y[3], 5.0);
  EXPECT_EQ(y[4], 4.0);
  EXPECT_EQ(y[5], 1.0);  // a huge repeat count fills the group and is not expanded further
}

TEST(FreeFormat, ValuelessGroupAndLinesConsumeOneLineEach) {
  Reader r("title one that is long\nshort\n skipped 1 2 3\n42\n");
  std::string t1, t2;
  ASSERT_TRUE(r.rd.read_line(t1, 10));
  EXPECT_EQ(t1, "title one ");
  ASSERT_TRUE(r.rd.read_line(t2, 10));
  EXPECT_EQ(t2, "short     ");
  ASSERT_TRUE(r.rd.read_group({}));
  int v = 0;
  ASSERT_TRUE(r.rd.read_group({&v}));
  EXPECT_EQ(v, 42);
  EXPECT_FALSE(r.rd.skip_line());
}

TEST(FreeFormat, QuotedAndPlainText) {
  Reader r("'my file.inp' rest\nplain.inp other\n\"it''s\"\n");
  std::string s;
  ASSERT_TRUE(r.rd.read_group({&s}));
  EXPECT_EQ(s, "my file.inp");
  ASSERT_TRUE(r.rd.read_group({&s}));
  EXPECT_EQ(s, "plain.inp");
  ASSERT_TRUE(r.rd.read_group({&s}));
  EXPECT_EQ(s, "it''s");  // a doubled quote of the other kind is kept as it stands
}

TEST(FreeFormat, NonFiniteWordsAndOverflowReachTheChecks) {
  Reader r("nan Inf -infinity 1e999 1e-999\n");
  double v[5];
  ASSERT_TRUE(r.rd.read_group({&v[0], &v[1], &v[2], &v[3], &v[4]}));
  EXPECT_TRUE(std::isnan(v[0]));
  EXPECT_EQ(v[1], HUGE_VAL);
  EXPECT_EQ(v[2], -HUGE_VAL);
  EXPECT_EQ(v[3], HUGE_VAL);
  EXPECT_EQ(v[4], 0.0);
}

TEST(FreeFormat, MalformedValuesNameFileAndLine) {
  for (const char* bad : {"1.5", "abc", "99999999999", "1e5", "0*3", "--1", "1 2*x"}) {
    Reader r(std::string("\n") + bad + "\n");
    int a = 0, b = 0;
    ASSERT_TRUE(r.rd.skip_line());
    Halt h = halted([&] { r.rd.read_group({&a, &b}); });
    EXPECT_EQ(h.status, exit_io_error) << bad;
    ASSERT_EQ(h.error.size(), 1u);
    EXPECT_NE(h.error[0].find("\"case.inp\", line 2"), std::string::npos) << h.error[0];
  }
  for (const char* bad : {"1.2.3", "e5", ".", "1e", "1x", "1d+"}) {
    Reader r(bad);
    double d = 0;
    Halt h = halted([&] { r.rd.read_group({&d}); });
    EXPECT_EQ(h.status, exit_io_error) << bad;
  }
  Reader endless(std::string(100000, '7'));
  int v = 0;
  Halt h = halted([&] { endless.rd.read_group({&v}); });
  EXPECT_EQ(h.status, exit_io_error);
}

TEST(FreeFormat, EndOfFileInsideAGroupIsReported) {
  Reader r("1 2\n");
  int a = 0, b = 0, c = 0;
  EXPECT_FALSE(r.rd.read_group({&a, &b, &c}));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
}
