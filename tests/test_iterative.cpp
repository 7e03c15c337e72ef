// The out-of-core solution: the block iteration against the in-core LU and the closed forms, its
// iteration limit and stopping test, the conductors' iterations in lockstep against one by one,
// damaged scratch files, the scratch file's end, and the block product au against the plain
// product.
#include <gtest/gtest.h>

#include <dirent.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "assembly/fill.hpp"
#include "assembly/resolution.hpp"
#include "base/fields.hpp"
#include "geometry/grid.hpp"
#include "kernels/element_quadrature.hpp"
#include "run_util.hpp"
#include "solve_util.hpp"
#include "solvers/au.hpp"
#include "solvers/it.hpp"
#include "solvers/lu.hpp"

using namespace ostrel;
using namespace ostrel::testing;

namespace {

constexpr double pi = std::numbers::pi;

// The global groups of a problem file; `controls` is group 7.
std::string header(const std::string& deps, const std::string& green,
                   const std::string& controls = "0 /") {
  return "out-of-core case\n\n0 0\n" + deps + "\n" + green + "\n0.1 1\n" + controls +
         "\nheadings\n";
}

std::string el(int nr, const std::string& head, const std::string& geom, const std::string& sides) {
  return std::to_string(nr) + " " + head + "\n" + geom + "\n" + sides + "\n--\n";
}

double rel(double got, double want) {
  return std::fabs(got - want) / std::fabs(want);
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto p = text.find(part); p != std::string::npos; p = text.find(part, p + 1))
    ++n;
  return n;
}

// A problem with a closed-form capacitance c(1,1) (non-dimensional, C/eps0).
struct Case {
  const char* name;
  std::string body;  // the elements; the header comes from `deps` and `green`
  const char* deps;
  const char* green;
  double exact;
  double tolerance;  // of the discretisation, as in the in-core physics tests
};

// A coax of circles, radii 1 and 2.3 (the PTFE of the physics tests, eps_r 2.1), with
// symmetry-boundary segments on the x axis between them: the radial field has no normal
// component there, so their densities vanish and C/eps0 = 2 pi eps_r / ln 2.3 still holds.
// Seen from one of their points every segment lies on the point's own line, perpendicular to
// its normal: au skips both segments' columns in their rows.
const std::string coax_with_axis =
    el(1, "3 1 1 24 1 1", "0 0 1 0 0", "1 1") + el(2, "3 1 0 40 1 1", "0 0 2.3 0 0", "1 1") +
    el(3, "0 2 0 10 1 1", "1 0 2.3 0 0", "1 1") + el(4, "0 2 0 10 1 1", "-2.3 0 -1 0 0", "1 1");

const Case cases[] = {
    // Two-layer coax with an interface circle (au on a curved element: nothing skipped):
    // C/eps0 = 2 pi / (ln(1.6)/4 + ln(2.3/1.6)).
    {"InterfaceCircle",
     el(1, "3 1 1 24 1 1", "0 0 1 0 0", "1 1") + el(2, "3 3 0 24 1 1", "0 0 1.6 0 0", "2 1") +
         el(3, "3 1 0 24 1 1", "0 0 2.3 0 0", "2 2"),
     "4 1 1 1 1", "0 0 0 0 0 0 0", 2 * pi / (std::log(1.6) / 4 + std::log(2.3 / 1.6)), 1e-4},
    {"SymmetrySegmentsOnTheAxis", coax_with_axis, "2.1 1 1 1 1", "0 0 0 0 0 0 0",
     2 * pi * 2.1 / std::log(2.3), 1e-4},
    // Two-wire line with zero total charge: C/eps0 = pi / acosh(D / 2r).
    {"ZeroTotalCharge",
     el(1, "3 1 1 40 1 1", "-1 0 0.5 0 0", "1 1") + el(-2, "3 1 0 40 1 1", "1 2 0 0", "1 1"),
     "1 1 1 1 1", "0 1 0 0 0 0 0", pi / std::acosh(2.0), 1e-3},
    // Two conductors over a ground plane (igg 1: the plain product everywhere); c(1,1) against
    // the thin-wire formula is checked through the inverse in the physics tests, here only the
    // agreement with the in-core solution counts.
    {"TwoConductorsOverGround",
     el(1, "3 1 1 40 1 1", "-1.5 2 0.1 0 0", "1 1") + el(-2, "3 1 2 40 1 1", "1 3 0 0", "1 1"),
     "1 1 1 1 1", "1 0 0 0 0 0 0", 0, 0},
};

// The name in test listings.
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class OutOfCore : public ::testing::TestWithParam<Case> {};

// Default controls (imm 40, itlim 50, eps 1e-9). The reports print four digits: they agree
// when the values agree to well below 5e-5 (half a unit of the fourth digit) and sit away from
// a rounding tie; the iteration works with the matrix of the in-core mode (the scratch file
// reads back every value) and stops at a relative residual of 1e-9, which bounds the
// difference by the condition of the preconditioned system times 1e-9: 1e-7 is the bound.
TEST_P(OutOfCore, AgreesWithInCoreToThePrintedDigits) {
  const Case& c = GetParam();
  const std::string text = header(c.deps, c.green) + c.body;
  const Solution in = solve_text(text);
  const Solution out = solve_text(text, 1);
  ASSERT_FALSE(out.stopped) << out.console;
  const int m = out.input.dims.m;
  for (std::size_t i = 0; i < out.ge.size(); ++i)
    EXPECT_LT(rel(out.ge[i], in.ge[i]), 1e-7) << i << ": " << out.ge[i] << " vs " << in.ge[i];
  EXPECT_EQ(out.result, in.result);
  if (c.exact != 0) {
    EXPECT_LT(rel(out.c(1, 1), c.exact), c.tolerance) << out.c(1, 1) << " vs " << c.exact;
  }
  EXPECT_EQ(count(out.log, " it: nerr=  0   nmbit = "), std::size_t(m)) << out.log;
  EXPECT_EQ(count(out.log, "Warning"), 0u);
  // A dot per conductor, a mark per pass over the scratch file as it happens (those that refine
  // the charges after the last dot).
  EXPECT_TRUE(std::regex_search(
      out.console, std::regex("Solving: \\.\\++\\.{" + std::to_string(m - 1) + "}\\++ Done;\n")))
      << out.console;
  EXPECT_FALSE(out.scratch_left_open);  // deleted before the results
}

INSTANTIATE_TEST_SUITE_P(ClosedForms, OutOfCore, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A bundle of 36 wires (6 x 6, radius 0.4, pitch 1.2) over a ground plane, 20 nodes each: 720
// unknowns. The stopping test of the power-basis iteration on the correction norm divided by the
// order ended these solutions with couplings wrong in their second digit and every conductor
// "converged". The relative residual 1e-9 alone leaves errors of about 5e-10 of the diagonal,
// and the far couplings reach down to 1e-11 of it: 406 entries printed otherwise than in core.
// The charges refined by the adjoint iterations are within 1.2e-15 of the diagonal (2e-15
// allowed: the rounding of both solutions), and every entry prints as in core.
TEST(OutOfCore, BundleAgreesWithInCoreToThePrintedDigits) {
  std::string body;
  for (int k = 0; k < 36; ++k)
    body +=
        el(k + 1, "3 1 " + std::to_string(k + 1) + " 20 1 1",
           std::to_string(1.2 * (k % 6)) + " " + std::to_string(1.0 + 1.2 * (k / 6)) + " 0.4 0 0",
           "1 1");
  const std::string text = header("1 1 1 1 1", "1 0 0 0 0 0 0") + body;
  const Solution in = solve_text(text);
  const Solution out = solve_text(text, 1);
  ASSERT_FALSE(out.stopped) << out.halt.console[0];
  const int m = 36;
  double smallest = 1;
  for (int q = 1; q <= m; ++q)
    for (int p = 1; p <= m; ++p) {
      const double d = std::sqrt(in.c(p, p) * in.c(q, q)), a = in.c(p, q), b = out.c(p, q);
      EXPECT_LE(std::fabs(a - b), 2e-15 * d) << p << "," << q;
      EXPECT_EQ(e0(a, 10, 4), e0(b, 10, 4)) << p << "," << q << ": " << a << " vs " << b;
      smallest = std::min(smallest, std::fabs(a) / d);
    }
  EXPECT_LT(smallest, 1e-10);  // the case reaches that far
}

// What the run says of its printed digits: an entry whose error bound (twice its level times
// the diagonal) straddles a rounding boundary of its four printed digits is counted, one well
// inside its digits is not, and a level of zero (charges refined to the rounding) judges nothing.
TEST(OutOfCore, PrintedDigitsWithinTheErrorBoundAreJudged) {
  const std::vector<double> ge = {1.0, -0.123449999, -0.123449999, 1.0};
  const Unresolved u = unresolved_entries(ge, ge, false, std::vector<double>(4, 1e-9), 2, 4);
  EXPECT_EQ(u.count, 2);  // -0.12344999(7..9) or -0.1234500(0..1): .1234 or .1235
  EXPECT_EQ(u.largest, 0.123449999);
  EXPECT_EQ(unresolved_entries(ge, ge, false, std::vector<double>(4, 1e-10), 2, 4).count, 0);
  EXPECT_EQ(unresolved_entries(ge, ge, false, std::vector<double>(4, 0.0), 2, 4).count, 0);
}

const std::string two_wires = cases[3].body;

std::string with_controls(const std::string& controls) {
  return header("1 1 1 1 1", "1 0 0 0 0 0 0", controls) + two_wires;
}

// A solution that stops at its iteration limit: with itlim < 0 the block-Jacobi start, with
// itlim = 1 two corrections of one Krylov vector each, too few to be confirmed by eps = 1e-8. The
// results are written, then the console and the log say that they are not reliable and the run ends
// with status 1.
TEST(OutOfCoreLimits, UnconvergedSolutionsAreReportedAfterTheResults) {
  const Solution none = solve_text(with_controls("1 5 -1 1e-4"), 1);
  EXPECT_EQ(count(none.log, "it(...): iteration"), 0u);
  EXPECT_EQ(count(none.log,
                  "Warning: too many iterations in it(...)\n"
                  " it: nerr=  1   nmbit =   0\n"
                  " residual= 0.000E+00  ||difit||= 0.000E+00\n"),
            2u)
      << none.log;

  const Solution two = solve_text(with_controls("1 1 1 1e-8"), 1);
  EXPECT_EQ(count(two.log, "it(...): iteration    0  ||u-u0||=  0.00E+00  residual=  "), 2u);
  EXPECT_EQ(count(two.log, "it(...): iteration    1  ||u-u0||=  "), 2u);
  EXPECT_EQ(count(two.log, "it(...): iteration"), 4u);
  EXPECT_EQ(
      count(two.log, "Warning: too many iterations in it(...)\n it: nerr=  1   nmbit =   2\n"), 2u)
      << two.log;

  const Solution done = solve_text(with_controls("0 /"));
  for (const Solution* s : {&none, &two}) {
    ASSERT_TRUE(s->stopped);
    const std::string line =
        " Not converged: the out-of-core iteration reached its limit itlim = " +
        std::to_string(s->input.controls.itlim) +
        " for conductor(s) 1 2; the matrices above are not reliable.";
    EXPECT_EQ(s->halt.console, std::vector<std::string>{line});
    EXPECT_EQ(s->halt.log, std::vector<std::string>{line});
    EXPECT_EQ(s->halt.status, 1);
    EXPECT_FALSE(s->scratch_left_open);
    // Written before the stop: the matrix on the console, in the log and in the result file.
    EXPECT_NE(s->console.find("Capacitance (Conductivity) [no units]:"), std::string::npos);
    EXPECT_NE(s->result.find("Capacitance (conductance) [no units]; "), std::string::npos);
  }
  // The start alone knows nothing of the coupling (each wire is solved as if alone); two
  // corrections of one Krylov vector each have found most of it.
  EXPECT_EQ(none.c(1, 2), 0.0);
  EXPECT_LT(rel(two.c(1, 2), done.c(1, 2)), 0.05);
}

// An iteration limit of two thousand million is accepted and runs (the count is kept wide); a
// Krylov dimension of two thousand million is lowered to the order of the system, which holds
// the solution, instead of asking for memory it cannot have.
TEST(OutOfCoreLimits, HugeLimitsRun) {
  const auto dir = std::filesystem::path(OSTREL_SOURCE_DIR) / "tests/data/iteration";
  const Solution s = solve_text(slurp(dir / "itlim_huge.inp"), 1);
  ASSERT_FALSE(s.stopped);
  EXPECT_NE(s.log.find(" it(..) will start with: imm= 5  itlim=****  eps=1.00E-06\n"),
            std::string::npos);
  EXPECT_NE(s.log.find(" it: nerr=  0"), std::string::npos);

  std::string text = slurp(dir / "imm_huge.inp");
  std::istringstream in(text);
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  const Input input = read_problem(in, "imm_huge.inp", io);
  further(input.problem, input.dims, input.controls, io);
  const std::string nd = std::to_string(input.dims.nd);
  EXPECT_NE(log.str().find(" imm=2000000000 is more than the " + nd +
                           " unknowns: the iteration uses imm=" + nd + "\n"),
            std::string::npos)
      << log.str();
  EXPECT_NE(log.str().find(" it: nerr=  0"), std::string::npos);
  const Solution in_core = solve_text(text.replace(text.find("1 2000000000 50 1e-4"), 20, "0 /"));
  EXPECT_EQ(result.str(), in_core.result);
}

// Four wires of different sizes inside a dielectric box (eps_r 4) of straight interfaces, so
// that the flux rows use au: the iterations of the four conductors need different numbers of
// cycles.
std::string four_wires(int idmn, const std::string& controls) {
  return header("1 4 1 1 1", "0 " + std::to_string(idmn) + " 0 0 0 0 0", controls) +
         el(1, "3 1 1 12 1 1", "-3 1 0.3 0 0", "2 2") +
         el(2, "3 1 2 16 1 1", "-1 1.4 0.5 0 0", "2 2") +
         el(3, "3 1 3 10 1 1", "1.5 1 0.2 0 0", "2 2") +
         el(4, "3 1 4 20 1 1", "3 2.5 0.4 0 0", "2 2") +
         el(5, "0 3 0 12 1 1", "-5 0 5 0 0", "2 1") + el(6, "0 3 0 12 1 1", "5 0 5 3.5 0", "2 1") +
         el(7, "0 3 0 12 1 1", "5 3.5 -5 3.5 0", "2 1") +
         el(8, "0 3 0 12 1 1", "-5 3.5 -5 0 0", "2 1");
}

// Solves out of core with at most `cap` bytes for extra iteration vectors.
Solution solve_capped(const std::string& text, std::size_t cap) {
  cap_affordable_bytes(cap);
  Solution s = solve_text(text, 1);
  cap_affordable_bytes(std::nullopt);
  return s;
}

// The iteration counts of the conductors' solutions, from their summary lines in the log.
std::vector<long long> counts(const std::string& log) {
  std::vector<long long> n;
  const std::string key = "nmbit =";
  for (auto p = log.find(key); p != std::string::npos; p = log.find(key, p + 1))
    n.push_back(std::stoll(log.substr(p + key.size(), 4)));
  return n;
}

// The text without the marks of the passes over the scratch file and the log line that counts
// them: the only things that tell a lockstep run from one conductor after the other.
std::string without_passes(std::string text) {
  std::erase(text, pass_mark);
  for (auto p = text.find(" it(...): "); p != std::string::npos; p = text.find(" it(...): ", p))
    text.erase(p, text.find('\n', p) + 1 - p);
  return text;
}

struct LockstepCase {
  const char* name;
  int idmn;
  const char* controls;  // iswitch imm itlim eps
  int imm;
  bool stops;  // some conductor does not converge
};

void PrintTo(const LockstepCase& c, std::ostream* os) {
  *os << c.name;
}

class Lockstep : public ::testing::TestWithParam<LockstepCase> {};

// The conductors solved together, with every pass over the scratch file serving all that still
// iterate, give the console, log and result file of the conductors solved one by one byte for
// byte (but for the count of the passes) and the same matrices bit for bit, while the file is
// read far less often. With room for two extra conductors, three are solved together and the
// fourth alone, again with the same output. The cases have iterations that stop after
// different numbers of cycles, one that stops at its limit (the run then stops after the
// results) and the zero-total-charge row.
TEST_P(Lockstep, GivesTheOutputOfTheConductorsOneByOne) {
  const LockstepCase& c = GetParam();
  const std::string text = four_wires(c.idmn, c.controls);
  const Solution alone = solve_capped(text, 0);
  const Solution together = solve_capped(text, SIZE_MAX);
  const int nd = alone.input.dims.nd;
  const Solution three = solve_capped(text, 2 * it_vectors_bytes(nd, c.imm));
  const Solution still_alone = solve_capped(text, it_vectors_bytes(nd, c.imm) - 1);

  const std::vector<long long> n = counts(alone.log);
  ASSERT_EQ(n.size(), 4u) << alone.log;
  EXPECT_GT(std::set<long long>(n.begin(), n.end()).size(), 1u) << alone.log;
  EXPECT_EQ(alone.stopped, c.stops) << alone.log;
  EXPECT_LT(2 * together.scratch_passes, alone.scratch_passes);
  EXPECT_LT(together.scratch_passes, three.scratch_passes);
  EXPECT_LT(three.scratch_passes, alone.scratch_passes);
  EXPECT_EQ(still_alone.scratch_passes, alone.scratch_passes);
  for (const Solution* s : {&together, &three, &still_alone}) {
    EXPECT_EQ(without_passes(s->console), without_passes(alone.console));
    // The log's first line is the date and time of the run.
    EXPECT_EQ(without_passes(s->log.substr(s->log.find('\n'))),
              without_passes(alone.log.substr(alone.log.find('\n'))));
    EXPECT_EQ(s->result, alone.result);
    EXPECT_EQ(s->ge, alone.ge);
    EXPECT_EQ(s->geinv, alone.geinv);
    EXPECT_EQ(s->stopped, alone.stopped);
    EXPECT_EQ(s->halt.console, alone.halt.console);
  }
}

INSTANTIATE_TEST_SUITE_P(FourWires, Lockstep,
                         ::testing::Values(
                             // Cycles 8, 8, 8 and the limit 8 (9 would be needed).
                             LockstepCase{"OneStopsAtTheLimit", 0, "1 5 8 5.8e-7", 5, true},
                             // Cycles 7, 6, 7, 7 with the constraint row.
                             LockstepCase{"ZeroTotalCharge", 1, "1 5 60 1e-6", 5, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A block system built from a dense matrix: E conductor blocks (so every product is the plain
// one), their records in a scratch file, the block-Jacobi start and a right-hand side.
struct Synthetic {
  Problem pb;
  std::vector<int> off;
  std::vector<double> a, tcol, xcol, ycol, b, start;
  std::vector<std::size_t> ends;  // where each record ends in the text of records()
  int nd = 0, nimax = 0;

  explicit Synthetic(std::vector<int> sizes, unsigned seed = 7) {
    off.assign(sizes.size() + 2, 0);
    for (std::size_t k = 0; k < sizes.size(); ++k) {
      Element e;
      e.itype = 1;
      e.isign = 1;
      e.ni = sizes[k];
      pb.elements.push_back(e);
      off[k + 2] = off[k + 1] + sizes[k];
      nimax = std::max(nimax, sizes[k]);
    }
    nd = off.back();
    // Diagonally dominant: 4 on the diagonal, the rest in [-0.3, 0.3].
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> u(-0.3, 0.3);
    a.resize(std::size_t(nd) * nd);
    for (std::size_t i = 0; i < a.size(); ++i)
      a[i] = i % (nd + 1) == 0 ? 4.0 : u(g);
    b.resize(nd);
    for (double& v : b)
      v = u(g) + 1;
    tcol.assign(nd, 0.0), xcol = ycol = tcol;
  }

  // The records as the fill writes them, and the block-Jacobi start from the same factors.
  std::string records() {
    std::string text;
    start = b;
    std::ostream quiet(nullptr);
    for (int k = 1; k <= pb.n(); ++k) {
      const int p = pb.el(k).ni, r0 = off[k];
      std::vector<double> rows(std::size_t(nimax) * nd), d(std::size_t(nimax) * nimax);
      std::vector<int> piv(nimax);
      for (int c = 0; c < nd; ++c)
        for (int j = 0; j < p; ++j)
          rows[std::size_t(c) * nimax + j] = a[std::size_t(c) * nd + r0 + j];
      for (int c = 0; c < p; ++c)
        for (int j = 0; j < p; ++j)
          d[std::size_t(c) * nimax + j] = a[std::size_t(r0 + c) * nd + r0 + j];
      decomp(nimax, p, d, piv, 1, quiet);
      text += ScratchFile::format_record(p, nd, rows.data(), nimax, d.data(), nimax, piv.data());
      ends.push_back(text.size());
      solve(nimax, p, d, std::span<double>(start).subspan(r0), piv);
    }
    return text;
  }

  // |P(A u - b)|_2 / |P b|_2 with the unrounded matrix and diagonal blocks.
  double relative_residual(const std::vector<double>& u) const {
    std::vector<double> r(nd), pb_(b);
    for (int i = 0; i < nd; ++i) {
      r[i] = -b[i];
      for (int c = 0; c < nd; ++c)
        r[i] += a[std::size_t(c) * nd + i] * u[c];
    }
    std::ostream quiet(nullptr);
    for (int k = 1; k <= pb.n(); ++k) {
      const int p = pb.el(k).ni, r0 = off[k];
      std::vector<double> d(std::size_t(p) * p);
      std::vector<int> piv(p);
      for (int c = 0; c < p; ++c)
        for (int j = 0; j < p; ++j)
          d[std::size_t(c) * p + j] = a[std::size_t(r0 + c) * nd + r0 + j];
      decomp(p, p, d, piv, 1, quiet);
      solve(p, p, d, std::span<double>(r).subspan(r0, p), piv);
      solve(p, p, d, std::span<double>(pb_).subspan(r0, p), piv);
    }
    double rr = 0, bb = 0;
    for (int i = 0; i < nd; ++i)
      rr += r[i] * r[i], bb += pb_[i] * pb_[i];
    return std::sqrt(rr / bb);
  }

  // Runs it() on the records `text` from the block-Jacobi start.
  struct Run {
    ItResult r;
    std::vector<double> u;
    std::string log;
  };
  Run run(const std::string& text, double eps, int itlim, int imm = 3) {
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    ScratchFile file(f);
    std::vector<double> r(std::size_t(nimax) * nd), d(std::size_t(nimax) * nimax), w(2 * nimax);
    std::vector<int> piv(nimax);
    ItStore store(nd, imm);
    store.b = b;
    Run out;
    out.u = start;
    const BlockSystem sys{pb, off, tcol, xcol, ycol, {}, nd, nimax};
    const BlockBuffers buf{r, d, piv, w};
    std::ostringstream log;
    out.r = it(sys, file, buf, store.vectors(out.u), eps, imm, itlim, log);
    out.log = log.str();
    EXPECT_EQ(store.u, out.u);  // u and u0 both hold the solution
    return out;
  }
};

// The stopping test accepts a relative residual equal to eps and nothing larger, and the
// residual it tests is the true one: |P(Au - b)| / |P b| computed from the dense matrix. With
// eps = 0 no cycle ends early, so the run limited to one correction and the runs that stop
// there take the same steps.
TEST(It, ConvergesExactlyAtEpsOnTheTrueRelativeResidual) {
  Synthetic s({4, 4, 4});
  const std::string text = s.records();
  const Synthetic::Run one = s.run(text, 0.0, 1);
  ASSERT_EQ(one.r.nmbit, 2);
  ASSERT_EQ(one.r.nerr, 1);
  const Synthetic::Run first = s.run(text, 0.0, 0);
  ASSERT_EQ(first.r.nmbit, 1);
  const double r1 = one.r.residual;  // the residual of the first correction's iterate
  ASSERT_GT(r1, 0);
  const Synthetic::Run at = s.run(text, r1, 50);
  EXPECT_EQ(at.r.nerr, 0);
  EXPECT_EQ(at.r.nmbit, 1);
  EXPECT_EQ(at.r.residual, r1);
  EXPECT_EQ(at.u, first.u);
  const Synthetic::Run below = s.run(text, std::nextafter(r1, 0.0), 50);
  EXPECT_EQ(below.r.nerr, 0);
  EXPECT_GT(below.r.nmbit, 1);
  // The reported residual against the dense one: the records hold the matrix and the block
  // factors as they are, so the two differ only by the rounding of their sums (1e-12 of |P b|
  // is far above it for this small, well conditioned system).
  EXPECT_GT(r1, 1e-6);
  EXPECT_LE(std::fabs(s.relative_residual(at.u) - r1), 1e-12) << r1;
  EXPECT_LE(s.relative_residual(below.u), below.r.residual + 1e-12);
}

// itlim < 0: no pass, the start is returned, count 0, not converged, only the warning logged.
// itlim = 0: the start's residual is logged as iteration 0, one correction is applied, and the
// call ends unconverged (convergence can first be declared at iteration 1).
TEST(It, NegativeAndZeroIterationLimits) {
  Synthetic s({4, 5});
  const std::string text = s.records();
  const Synthetic::Run none = s.run(text, 1e-4, -1);
  EXPECT_EQ(none.r.nmbit, 0);
  EXPECT_EQ(none.r.nerr, 1);
  EXPECT_EQ(none.r.difit, 0.0);
  EXPECT_EQ(none.u, s.start);
  EXPECT_EQ(none.log, "Warning: too many iterations in it(...)\n");

  const Synthetic::Run one = s.run(text, 1e-4, 0);
  EXPECT_EQ(one.r.nmbit, 1);
  EXPECT_EQ(one.r.nerr, 1);
  EXPECT_GT(one.r.difit, 0.0);
  EXPECT_NE(one.u, s.start);
  EXPECT_EQ(one.log.rfind("it(...): iteration    0  ||u-u0||=  0.00E+00  residual=  ", 0), 0u);
  EXPECT_EQ(count(one.log, "\n"), 2u);
  EXPECT_TRUE(one.log.ends_with("\nWarning: too many iterations in it(...)\n")) << one.log;
}

// A scratch file cut inside the second record stops the first pass that reaches it with the
// iteration's own message.
TEST(It, TruncatedScratchFileStopsThePass) {
  Synthetic s({3, 3, 3});
  const std::string text = s.records();
  const std::string cut = text.substr(0, (s.ends[0] + s.ends[1]) / 2);
  try {
    s.run(cut, 1e-6, 50);
    ADD_FAILURE() << "no stop";
  } catch (const Halt& h) {
    EXPECT_EQ(h.console, std::vector<std::string>{"Cannot read file <osl.tmp>"});
    EXPECT_TRUE(h.log.empty());
    EXPECT_EQ(h.status, 1);
  }
}

// A stream that keeps only the first `limit` bytes written to it while reporting every write as
// done: a scratch file that loses its end without a write error.
struct Truncating {
  std::string data;
  std::size_t limit;
  off64_t pos = 0;

  static std::FILE* open(std::size_t limit) {
    cookie_io_functions_t io{};
    io.read = [](void* c, char* buf, std::size_t n) -> ssize_t {
      auto* t = static_cast<Truncating*>(c);
      const std::size_t at = std::min<std::size_t>(t->pos, t->data.size());
      const std::size_t got = std::min(n, t->data.size() - at);
      std::memcpy(buf, t->data.data() + at, got);
      t->pos += got;
      return static_cast<ssize_t>(got);
    };
    io.write = [](void* c, const char* buf, std::size_t n) -> ssize_t {
      auto* t = static_cast<Truncating*>(c);
      for (std::size_t i = 0; i < n; ++i, ++t->pos)
        if (std::size_t(t->pos) < t->limit) {
          if (std::size_t(t->pos) >= t->data.size()) t->data.resize(t->pos + 1);
          t->data[t->pos] = buf[i];
        }
      return static_cast<ssize_t>(n);
    };
    io.seek = [](void* c, off64_t* offset, int whence) -> int {
      auto* t = static_cast<Truncating*>(c);
      const off64_t base = whence == SEEK_SET   ? 0
                           : whence == SEEK_CUR ? t->pos
                                                : off64_t(t->data.size());
      t->pos = base + *offset;
      *offset = t->pos;
      return 0;
    };
    io.close = [](void* c) -> int {
      delete static_cast<Truncating*>(c);
      return 0;
    };
    return fopencookie(new Truncating{{}, limit}, "w+", io);
  }
};

// The records are read back for the block-Jacobi start of every conductor before the iteration
// reads them: a file that lost its end stops there, with the solution driver's message, after
// the announcement of the iteration and before any iteration line.
TEST(OutOfCoreScratch, TruncatedFileStopsTheReadBack) {
  const Solution s = solve_text(with_controls("0 /"), 1, Truncating::open(3000));
  ASSERT_TRUE(s.stopped);
  EXPECT_EQ(s.halt.console, std::vector<std::string>{" Can not read file <osl.tmp>"});
  EXPECT_TRUE(s.halt.log.empty());
  EXPECT_NE(s.log.find(" it(..) will start with: imm=40  itlim=  50  eps=1.00E-09\n\n"),
            std::string::npos);
  EXPECT_EQ(s.log.find("it(...)"), std::string::npos);
  EXPECT_EQ(s.result, "");
}

// The file descriptors of this process, as "target@fd".
std::set<std::string> open_files() {
  std::set<std::string> links;
  DIR* d = opendir("/proc/self/fd");
  while (dirent* e = readdir(d)) {
    char target[4096];
    const std::string path = std::string("/proc/self/fd/") + e->d_name;
    const ssize_t len = readlink(path.c_str(), target, sizeof target - 1);
    if (len > 0 && std::string(target, len).find("/proc/") == std::string::npos)
      links.insert(std::string(target, len) + "@" + e->d_name);
  }
  closedir(d);
  return links;
}

// The whole solution step as the program runs it: after a converged run and an unconverged
// one, no file of it stays open.
TEST(OutOfCoreScratch, NoFileOutlivesTheSolution) {
  const auto before = open_files();
  for (const char* controls : {"1 /", "1 1 1 1e-8"}) {
    std::istringstream in(with_controls(controls));
    std::ostringstream console, log, result;
    Streams io{console, log, result};
    const Input input = read_problem(in, "case.inp", io);
    bool stopped = false;
    try {
      further(input.problem, input.dims, input.controls, io);
    } catch (const Halt&) {
      stopped = true;
    }
    EXPECT_EQ(stopped, std::string(controls) != "1 /") << controls;
    EXPECT_NE(result.str().find("Capacitance"), std::string::npos);
    EXPECT_EQ(open_files(), before) << controls;
  }
}

// au against the plain product on the flux rows of three problems with straight elements: the
// coax with symmetry segments on its axis (itype 2), a strip over a slab whose top is an
// interface in two collinear pieces (itype 3), and a circle with one row level with a segment. The
// entries au may skip are poisoned with NaN: every exact zero of a straight element's columns, and
// the stored free term of a straight row's own point. au must give the plain product of the
// unpoisoned rows, to the rounding of its summation order (1e-14 of the sum of the magnitudes), and
// must have skipped something.
TEST(Au, EqualsThePlainProductAndSkipsTheVanishingPairs) {
  const std::string slab =
      el(1, "0 1 1 12 1 1", "-1 1 1 1 0", "1 1") + el(2, "0 3 0 10 1 1", "-2 0.5 0 0.5 0", "2 1") +
      el(3, "0 3 0 10 1 1", "0 0.5 2 0.5 0", "2 1") + el(4, "0 3 0 6 1 1", "2 0.5 2 0 0", "2 1") +
      el(5, "0 3 0 10 1 1", "2 0 -2 0 0", "2 1") + el(6, "0 3 0 6 1 1", "-2 0 -2 0.5 0", "2 1");
  // An interface circle whose top point (t = 0.5 of four nodes) sees a short level segment far
  // to the side: only that row skips the segment.
  const std::string tangent = el(1, "3 1 1 12 1 1", "0 -3 0.5 0 0", "1 1") +
                              el(2, "3 3 0 4 1 1", "0 0 1 0 0", "2 1") +
                              el(3, "0 3 0 2 1 1", "3 1 3.01 1 0", "2 1");
  const std::string problems[] = {header("2.1 1 1 1 1", "0 0 0 0 0 0 0") + coax_with_axis,
                                  header("1 4 1 1 1", "0 0 0 0 0 0 0") + slab,
                                  header("1 4 1 1 1", "0 0 0 0 0 0 0") + tangent};
  int partly_skipped = 0;  // element pairs skipped by some rows of a block and not by others
  std::mt19937_64 g(11);
  std::uniform_real_distribution<double> u(-1, 1);
  for (const std::string& text : problems) {
    std::istringstream in(text);
    std::ostringstream console, log, result;
    Streams io{console, log, result};
    const Input input = read_problem(in, "case.inp", io);
    const Problem& pb = input.problem;
    const int nd = input.dims.nd, ld = input.dims.nimax;
    std::vector<double> tcol(nd), xcol(nd), ycol(nd);
    collocation_points(pb, tcol, xcol, ycol);
    const ElementQuadrature quad(pb, tcol);
    const System sys(pb, quad, tcol, xcol, ycol, nd);
    std::vector<std::vector<double>> bufs(omp_get_max_threads(), std::vector<double>(ld));
    std::vector<double> z(nd);
    for (double& v : z)
      v = u(g);
    int skipped_total = 0;
    for (int k = 1; k <= pb.n(); ++k) {
      if (pb.el(k).itype == 1) continue;
      const int nk = pb.el(k).ni, r0 = sys.off[k];
      std::vector<double> rows(std::size_t(ld) * nd);
      fill_element(sys, k, rows, ld, false, bufs);
      std::vector<double> poisoned = rows;
      for (int e = 1; e <= pb.n(); ++e) {
        if (pb.el(e).iform != 0) continue;
        std::set<int> rows_hit;
        for (int c = sys.off[e]; c < sys.off[e] + pb.el(e).ni; ++c)
          for (int j = 0; j < nk; ++j) {
            double& v = poisoned[std::size_t(c) * ld + j];
            if (v == 0 || (e == k && c == r0 + j)) {
              v = std::nan("");
              skipped_total += e != k;
              rows_hit.insert(j);
            }
          }
        partly_skipped += !rows_hit.empty() && int(rows_hit.size()) < nk;
      }
      std::vector<double> y(nk);
      au(pb, poisoned, ld, z, y, std::span(tcol).subspan(r0), std::span(xcol).subspan(r0),
         std::span(ycol).subspan(r0), k);
      for (int j = 0; j < nk; ++j) {
        double plain = 0, size = 0;
        for (int c = 0; c < nd; ++c) {
          plain += rows[std::size_t(c) * ld + j] * z[c];
          size += std::fabs(rows[std::size_t(c) * ld + j] * z[c]);
        }
        ASSERT_TRUE(std::isfinite(y[j])) << "element " << k << " row " << j;
        EXPECT_LT(std::fabs(y[j] - plain), 1e-14 * size) << "element " << k << " row " << j;
      }
    }
    EXPECT_GT(skipped_total, 0);
  }
  EXPECT_GT(partly_skipped, 0);
}

}  // namespace
