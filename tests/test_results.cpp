// The result tail: non-dimensional log records, units, console, log and result file, stops.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "assembly/results.hpp"
#include "base/halt.hpp"
#include "constants.hpp"
#include "solvers/lu.hpp"

namespace ostrel {
namespace {

// One call of results() on its own streams and arrays.
struct Tail {
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  std::vector<double> ge, geinv, gework, rhs;
  std::vector<int> ipvt;
  Work w;
  Problem pb;

  Tail(std::vector<double> g, int m, int iprobl, int iunits)
      : ge(std::move(g)), geinv(m * m, 0.0), gework(m * m), rhs(m + 2), ipvt(m + 2) {
    w.ge = ge;
    w.geinv = geinv;
    w.gework = gework;
    w.rhs = rhs;
    w.ipvt = ipvt;
    pb.iprobl = iprobl;
    pb.iunits = iunits;
  }
  // Runs results(); returns the stop it ended with, if any.
  std::optional<Halt> run(int m) {
    try {
      results(pb, m, w, io);
    } catch (const Halt& h) {
      return h;
    }
    return std::nullopt;
  }
};

// ge = [2 -1; -1 2], its inverse [2/3 1/3; 1/3 2/3].
const std::vector<double> ge2{2, -1, -1, 2};
const std::string log_records =
    "\nNon-dimensional direct matrix:\n\n"
    "0.2000E+01 -.1000E+01 \n"
    "-.1000E+01 0.2000E+01 \n"
    "\n"
    "\nNon-dimensional inverted matrix:\n\n"
    "0.6667E+00 0.3333E+00 \n"
    "0.3333E+00 0.6667E+00 \n"
    "\n";

struct Case {
  int iprobl, iunits;
  const char* label;
  const char* heading;
  const char* rows;
};

const Case reported[] = {
    {0, 0, "Capacitance (Conductivity) [no units]:", "Capacitance (conductance) [no units]; ",
     "0.2000E+01 -.1000E+01 \n-.1000E+01 0.2000E+01 \n"},
    {0, 1, "Capacitance (Conductivity) [pF/m]:", "Capacitance (conductance) [pF/m]; ",
     "0.1771E+02 -.8854E+01 \n-.8854E+01 0.1771E+02 \n"},
    {0, 2, "Capacitance (Conductivity) [F/m]:", "Capacitance (conductance) [F/m]; ",
     "0.1771E-10 -.8854E-11 \n-.8854E-11 0.1771E-10 \n"},
    {0, 3, "Capacitance (Conductivity) [1/om]:", "Capacitance (conductance) [1/om]; ",
     "0.2000E+01 -.1000E+01 \n-.1000E+01 0.2000E+01 \n"},
    {1, 0, "Inductivity (resistance) [no units]:", "Inductance (resistance) [no units]; ",
     "0.6667E+00 0.3333E+00 \n0.3333E+00 0.6667E+00 \n"},
    {1, 4, "Inductivity (resistance) [mH/m]:", "Inductance (resistance) [mH/m]; ",
     "0.8378E+00 0.4189E+00 \n0.4189E+00 0.8378E+00 \n"},
    {1, 5, "Inductivity (resistance) [om]:", "Inductance (resistance) [om]; ",
     "0.6667E+00 0.3333E+00 \n0.3333E+00 0.6667E+00 \n"},
    {1, 6, "Inductivity (resistance) [pH]:", "Inductance (resistance) [pH]; ",
     "0.8378E+00 0.4189E+00 \n0.4189E+00 0.8378E+00 \n"},
};

TEST(Results, EveryUnitCodeToTheCharacter) {
  for (const Case& c : reported) {
    Tail t(ge2, 2, c.iprobl, c.iunits);
    SCOPED_TRACE(::testing::Message() << "iprobl=" << c.iprobl << " iunits=" << c.iunits);
    ASSERT_FALSE(t.run(2).has_value());
    EXPECT_EQ(t.console.str(), std::string(c.label) + "\n\n" + c.rows);
    EXPECT_EQ(t.log.str(), log_records + "\n\n\n" + c.heading + "\n\n" + c.rows + "\n");
    EXPECT_EQ(t.result.str(), std::string("\n\n\n") + c.heading + "\n\n" + c.rows + "\n");
  }
}

// The factors are applied exactly as given, one after the other, to the matrix they belong to.
TEST(Results, ScalingUsesTheExactFactorsInOrder) {
  std::vector<double> inv(4), work(4), wv(2);
  std::vector<int> wp(2);
  invert(ge2, inv, work, wv, wp, 2);
  Tail f(ge2, 2, 0, 2);
  ASSERT_FALSE(f.run(2).has_value());
  EXPECT_EQ(f.ge[0], (2.0 * 8.85420036315918) * 9.999999960041972e-13);
  EXPECT_NE(f.ge[0], 2.0 * (8.8542 * 1e-12));
  EXPECT_EQ(f.geinv, inv);  // geinv is left alone
  Tail p(ge2, 2, 0, 1);
  ASSERT_FALSE(p.run(2).has_value());
  EXPECT_EQ(p.ge[1], -8.85420036315918);
  Tail l(ge2, 2, 1, 6);
  ASSERT_FALSE(l.run(2).has_value());
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(l.geinv[k], inv[k] * 1.2566371151303812);
  EXPECT_EQ(l.ge, ge2);  // ge is left alone
}

// Every combination that the table marks as a stop, and every code outside it: "No such units"
// on the console, nothing else but the non-dimensional log records.
TEST(Results, StopCombinations) {
  const int stops[][2] = {{0, 4},  {0, 5}, {0, 6},  {1, 1}, {1, 2}, {1, 3},
                          {0, -1}, {0, 7}, {1, -1}, {1, 7}, {2, 0}, {-1, 1}};
  for (const auto& s : stops) {
    Tail t(ge2, 2, s[0], s[1]);
    SCOPED_TRACE(::testing::Message() << "iprobl=" << s[0] << " iunits=" << s[1]);
    const auto h = t.run(2);
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(h->console, std::vector<std::string>{"No such units"});
    EXPECT_TRUE(h->log.empty());
    EXPECT_TRUE(h->stop_text.empty());
    EXPECT_EQ(t.console.str(), "");
    EXPECT_EQ(t.result.str(), "");
    EXPECT_EQ(t.log.str(), log_records);
  }
}

// Rows longer than 25 values go on over the next line: m = 26 takes two lines per row.
TEST(Results, TwentySixConductorsWrapAfterTwentyFive) {
  const int m = 26;
  std::vector<double> g(m * m, -1.0);
  for (int i = 0; i < m; ++i)
    g[i * m + i] = 26.0;
  Tail t(g, m, 0, 0);
  ASSERT_FALSE(t.run(m).has_value());
  const std::string d = "0.2600E+02 ", o = "-.1000E+01 ";
  std::string rows;
  for (int p = 0; p < m; ++p) {
    for (int q = 0; q < 25; ++q)
      rows += q == p ? d : o;
    rows += "\n";
    rows += p == 25 ? d : o;
    rows += "\n";
  }
  EXPECT_EQ(t.console.str(), "Capacitance (Conductivity) [no units]:\n\n" + rows);
  EXPECT_EQ(t.result.str(), "\n\n\nCapacitance (conductance) [no units]; \n\n" + rows + "\n");
  // First line of a row: 25 fields of 11 characters.
  EXPECT_EQ(rows.find('\n'), 275u);
}

TEST(Results, PrfOfSingleValues) {
  std::ostringstream os;
  prf(os, std::vector<double>{-12.34}, 1);
  prf(os, std::vector<double>{12.34}, 1);
  prf(os, std::vector<double>{0.0}, 1);
  EXPECT_EQ(os.str(), "-.1234E+02 \n\n0.1234E+02 \n\n0.0000E+00 \n\n");
}

// The inverse of a singular ge is reported as inductance: everything is written, then the
// run stops with a message on the console and in the log and a failure status.
TEST(Results, SingularInverseIsWrittenThenRefused) {
  Tail t({1, 1, 1, 1}, 2, 1, 0);
  const auto h = t.run(2);
  ASSERT_TRUE(h.has_value());
  const std::string msg =
      " Results are not valid: the non-dimensional capacitance matrix is singular, its inverse "
      "is meaningless";
  EXPECT_EQ(h->console, std::vector<std::string>{msg});
  EXPECT_EQ(h->log, std::vector<std::string>{msg});
  EXPECT_EQ(h->status, 1);
  EXPECT_EQ(t.result.str(),
            "\n\n\nInductance (resistance) [no units]; \n\n"
            "  Infinity  -Infinity \n -Infinity   Infinity \n\n");
}

TEST(Results, NonFiniteReportedValueIsWrittenThenRefused) {
  Tail t({std::nan(""), 0, 0, 1}, 2, 0, 1);
  const auto h = t.run(2);
  ASSERT_TRUE(h.has_value());
  const std::string msg =
      " Results are not valid: the reported matrix holds values that are not finite numbers "
      "(singular or ill-conditioned system)";
  EXPECT_EQ(h->console, std::vector<std::string>{msg});
  EXPECT_EQ(h->log, std::vector<std::string>{msg});
  EXPECT_EQ(h->status, 1);
  EXPECT_EQ(t.result.str(),
            "\n\n\nCapacitance (conductance) [pF/m]; \n\n"
            "       NaN 0.0000E+00 \n0.0000E+00 0.8854E+01 \n\n");
  EXPECT_EQ(
      t.console.str(),
      "Capacitance (Conductivity) [pF/m]:\n\n       NaN 0.0000E+00 \n0.0000E+00 0.8854E+01 \n");
}

// A singular ge reported as capacitance is finite: reported as it is (the inverse in the log
// carries the infinities).
TEST(Results, SingularCapacitanceIsStillReported) {
  Tail t({1, 1, 1, 1}, 2, 0, 0);
  EXPECT_FALSE(t.run(2).has_value());
  EXPECT_NE(t.log.str().find("Infinity"), std::string::npos);
}

}  // namespace
}  // namespace ostrel
