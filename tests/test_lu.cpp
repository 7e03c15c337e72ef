// Dense LU: the column algorithm against a transcription of its documented steps, the blocked
// algorithm against the column algorithm, both against LAPACK's dgetrf, solve and invert.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "constants.hpp"
#include "solvers/lu.hpp"

extern "C" void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv,
                        int* info);

namespace ostrel {
namespace {

constexpr double tau = console_build.tiny;
constexpr double u = std::numeric_limits<double>::epsilon() / 2;  // unit roundoff
constexpr LuBlocking column_only{INT_MAX, 256, 16, 512};

struct Mat {
  int n = 0, ld = 0;
  std::vector<double> a;
  Mat(int n_, int ld_) : n(n_), ld(ld_), a(static_cast<std::size_t>(ld_) * n_, 0.0) {}
  double& operator()(int i, int j) { return a[(j - 1) * static_cast<std::size_t>(ld) + i - 1]; }
  double operator()(int i, int j) const {
    return a[(j - 1) * static_cast<std::size_t>(ld) + i - 1];
  }
};

// Tallies of a reference factorisation: which documented paths the matrix went through.
struct Paths {
  int skipped_steps = 0;  // pivot below tau
  int small_pairs = 0;    // non-zero pivot-row entry below tau (its column updated all the same)
  int ties = 0;           // a candidate pivot equal in magnitude to the chosen one
  // Smallest margins of the decisions, in units of the magnitude scale of the values compared
  // (filled only when the scales are tracked): between the chosen pivot and a different smaller
  // candidate, and between a pivot and tau. A different order of
  // summation changes a value by a few n*u of its scale, so it cannot change a decision whose
  // margin is far above that.
  double pivot_gap = INFINITY;
  double tau_gap = INFINITY;
};

// The documented steps, transcribed with 1-based indices; the reference of the column path.
// When `mag` is given it receives, for every entry, the sum of the magnitudes of the terms that
// make up its value (for a multiplier: that of its column entry over the pivot): the natural
// scale of the rounding differences between two orders of summation.
std::vector<int> reference_decomp(Mat& a, std::string& text, Paths& paths, Mat* mag = nullptr) {
  const int n = a.n;
  if (mag) {
    *mag = a;
    for (double& v : mag->a)
      v = std::fabs(v);
  }
  std::vector<int> p(n + 1);
  std::ostringstream out;
  out << "LU: ";
  p[n] = 1;
  if (n == 1) {
    text = out.str();
    return p;
  }
  int marks = 0;
  for (int k = 1; k <= n - 1; ++k) {
    int m = k;
    for (int i = k + 1; i <= n; ++i)
      if (std::fabs(a(i, k)) > std::fabs(a(m, k))) m = i;
    for (int i = k; i <= n; ++i) {
      const double big = std::fabs(a(m, k)), other = std::fabs(a(i, k));
      if (i == m || big == 0) continue;
      if (other == big)
        ++paths.ties;
      else if (mag)
        paths.pivot_gap =
            std::min(paths.pivot_gap, (big - other) / std::max((*mag)(m, k), (*mag)(i, k)));
    }
    if (mag && std::fabs(a(m, k)) != tau)
      paths.tau_gap = std::min(paths.tau_gap, std::fabs(std::fabs(a(m, k)) - tau) / (*mag)(m, k));
    p[k] = m;
    if (m != k) p[n] = -p[n];
    const double t = a(m, k);
    a(m, k) = a(k, k);
    a(k, k) = t;
    if (mag) std::swap((*mag)(m, k), (*mag)(k, k));
    if (std::fabs(t) < tau) {
      ++paths.skipped_steps;
      continue;
    }
    for (int i = k + 1; i <= n; ++i)
      a(i, k) = -a(i, k) / t;
    if (mag)
      for (int i = k + 1; i <= n; ++i)
        (*mag)(i, k) /= std::fabs(t);
    for (int j = k + 1; j <= n; ++j) {
      const double s = a(m, j);
      a(m, j) = a(k, j);
      a(k, j) = s;
      if (mag) std::swap((*mag)(m, j), (*mag)(k, j));
      if (s != 0 && std::fabs(s) < tau) ++paths.small_pairs;
      if (s == 0) continue;  // adds nothing
      for (int i = k + 1; i <= n; ++i)
        a(i, j) = a(i, j) + a(i, k) * s;
      if (mag)
        for (int i = k + 1; i <= n; ++i)
          (*mag)(i, j) += std::fabs(a(i, k) * s);
    }
    if (marks <= 10 * (k + 1) / n) {
      out << '.';
      ++marks;
    }
  }
  out << " Done;\n";
  text = out.str();
  return p;
}

struct Result {
  Mat f;
  std::vector<int> p;  // p[1..n]
  std::string text;
  int low = 0;
};

Result run(const Mat& a, const LuBlocking& bl, int quiet = 0) {
  Result r{a, std::vector<int>(a.n + 1), "", 0};
  std::ostringstream out;
  r.low = decomp(a.ld, a.n, r.f.a, std::span<int>(r.p).subspan(1), quiet, out, tau, bl);
  r.text = out.str();
  return r;
}

Mat random_matrix(int n, int ld, unsigned seed) {
  std::mt19937_64 g(seed);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  Mat a(n, ld);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= ld; ++i)
      a(i, j) = i <= n ? d(g) : std::nan("");  // NaN: untouched rows
  return a;
}

// A row permutation of an upper triangle with a dominant diagonal, so that the pivot rows are
// known and well separated. Most rows ("plain" rows) have nothing left of their diagonal: their
// multipliers are exactly zero, so their entries reach the pivot-row test unchanged in every
// algorithm, and only they receive tiny entries (below tau, exactly tau, zero, just above).
// The other rows carry small entries left of the diagonal (real updates) and only ordinary
// values, which stay far from tau. Some columns are tiny throughout (their steps are skipped).
// Exact ties: in a few columns j whose diagonal row is plain, one later plain row r (at most one
// per column and per row) gets minus the diagonal value; at step j both rows still hold their
// input values, and whichever wins, the other one receives a single update.
Mat structured_matrix(int n, int ld, unsigned seed) {
  std::mt19937_64 g(seed);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  std::uniform_real_distribution<double> prob(0.0, 1.0);
  const double tiny[] = {1e-12, -3e-11, 5e-10, -9.9e-10, tau, -tau, 0.0, 2e-9};
  Mat t(n, ld);
  std::vector<bool> tiny_col(n + 1, false), lower_row(n + 1, false);
  for (int j = 1; j <= n; ++j)
    tiny_col[j] = prob(g) < 0.06;
  for (int i = 1; i <= n; ++i)
    lower_row[i] = prob(g) < 0.3;
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      double v = 0.0;
      if (j == i)
        v = (prob(g) < 0.5 ? -1 : 1) * (10.0 + 5.0 * prob(g));
      else if (j > i)
        v = !lower_row[i] && prob(g) < 0.25 ? tiny[g() % 8] : d(g);
      else if (lower_row[i])
        v = 0.1 * d(g);
      if (tiny_col[j]) v = 1e-12 * d(g);
      t(i, j) = v;
    }
  }
  std::vector<bool> tied(n + 1, false);
  for (int c = 0; c < n / 10; ++c) {
    const int j = 1 + static_cast<int>(g() % (n - 1));
    const int r = j + 1 + static_cast<int>(g() % (n - j));
    if (tiny_col[j] || lower_row[j] || lower_row[r] || tied[j] || tied[r]) continue;
    tied[j] = tied[r] = true;
    t(r, j) = -t(j, j);
  }
  std::vector<int> perm(n);
  for (int i = 0; i < n; ++i)
    perm[i] = i + 1;
  std::shuffle(perm.begin(), perm.end(), g);
  Mat a(n, ld);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      a(perm[i - 1], j) = t(i, j);
  for (int i = n + 1; i <= ld; ++i)
    for (int j = 1; j <= n; ++j)
      a(i, j) = std::nan("");
  return a;
}

// Largest |x - y| relative to the magnitude scale of each entry.
double factor_difference(const Mat& x, const Mat& y, const Mat& mag) {
  double worst = 0;
  for (int j = 1; j <= x.n; ++j)
    for (int i = 1; i <= x.n; ++i) {
      const double diff = std::fabs(x(i, j) - y(i, j));
      if (diff != 0) worst = std::max(worst, diff / mag(i, j));
    }
  return worst;
}

void expect_same_bits(const Mat& x, const Mat& y) {
  ASSERT_EQ(x.a.size(), y.a.size());
  EXPECT_EQ(std::memcmp(x.a.data(), y.a.data(), x.a.size() * sizeof(double)), 0);
}

void expect_rows_beyond_n_untouched(const Mat& f) {
  for (int j = 1; j <= f.n; ++j)
    for (int i = f.n + 1; i <= f.ld; ++i)
      ASSERT_TRUE(std::isnan(f(i, j))) << i << "," << j;
}

TEST(LuColumn, FollowsTheDocumentedStepsBitForBit) {
  for (int n : {1, 2, 3, 7, 40, 97}) {
    for (unsigned seed : {1u, 2u}) {
      for (bool structured : {false, true}) {
        if (structured && n < 3) continue;
        const Mat a =
            structured ? structured_matrix(n, n + 3, seed) : random_matrix(n, n + 3, seed);
        Mat ref = a;
        std::string text;
        Paths paths;
        const auto p = reference_decomp(ref, text, paths);
        const Result r = run(a, column_only);
        expect_same_bits(r.f, ref);
        EXPECT_EQ(r.text, text);
        for (int k = 1; k <= n; ++k)
          EXPECT_EQ(r.p[k], p[k]) << "n=" << n << " k=" << k;
      }
    }
  }
}

// The structured matrices go through every path of the algorithm: skipped steps, small
// pivot-row entries (which update their columns), ties.
TEST(LuColumn, StructuredMatricesReachEveryTolerancePath) {
  Paths total;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    Mat a = structured_matrix(120, 120, seed);
    std::string text;
    reference_decomp(a, text, total);
  }
  EXPECT_GT(total.skipped_steps, 5);
  EXPECT_GT(total.small_pairs, 100);
  EXPECT_GT(total.ties, 3);
}

// Blocked and column factorisations take the same steps: pivots, sign, skips, marks and the
// count of small pivots agree exactly; the factors differ only by the order of summation. Each
// entry is a sum whose terms add up in magnitude to its scale (tracked by the reference), so
// its own rounding differs by at most about 2 n u of that scale; differences of earlier
// entries reach it through at most n steps with multipliers of magnitude at most 1 and pivots
// that dominate their rows. 8 n u bounds both (the largest seen over a few hundred such
// matrices is 2 n u), while a single wrongly skipped update of a small pivot-row entry (the
// structured matrices hold many, down to 1e-12) shows up as hundreds of n u.
TEST(LuBlocked, AgreesWithColumnAlgorithm) {
  const LuBlocking blockings[] = {
      {0, 8, 2, 3}, {0, 16, 4, 5}, {0, 32, 8, 64}, {0, 64, 16, 7}, lu_default_blocking};
  for (const LuBlocking& bl : blockings) {
    for (int n : {2, 3, 15, 16, 17, 33, 65, 95, 96, 97, 161, 257, 300}) {
      if (n < bl.crossover) continue;
      for (bool structured : {false, true}) {
        const unsigned seed = static_cast<unsigned>(n * 7 + bl.panel);
        const Mat a =
            structured ? structured_matrix(n, n + 2, seed) : random_matrix(n, n + 2, seed);
        const Result col = run(a, column_only);
        const Result blk = run(a, bl);
        Mat ref = a, mag = a;
        std::string text;
        Paths paths;
        reference_decomp(ref, text, paths, &mag);
        SCOPED_TRACE(::testing::Message() << "n=" << n << " panel=" << bl.panel
                                          << " base=" << bl.base << " structured=" << structured);
        // The matrix is a fair test: no decision hangs on the last bits.
        ASSERT_GT(paths.pivot_gap, 1000 * n * u);
        ASSERT_GT(paths.tau_gap, 1000 * n * u);
        ASSERT_EQ(blk.p, col.p);
        EXPECT_EQ(blk.text, col.text);
        EXPECT_EQ(blk.low, col.low);
        expect_rows_beyond_n_untouched(blk.f);
        const double diff = factor_difference(col.f, blk.f, mag);
        ASSERT_TRUE(std::isfinite(diff));
        EXPECT_LT(diff, 8.0 * n * u);
      }
    }
  }
}

// On structured matrices the entries that no update reaches (zero multipliers, skipped steps)
// keep their input values in both algorithms: every entry below tau of the column factors that is
// still one of its column's input values (moved only by interchanges) is bit-identical in the
// blocked factors. Tiny entries produced by cancellation may differ in their last bits.
TEST(LuBlocked, EntriesLeftAloneKeepTheirValues) {
  const int n = 150;
  const Mat a = structured_matrix(n, n, 11);
  const Result col = run(a, column_only);
  const Result blk = run(a, {0, 32, 4, 16});
  ASSERT_EQ(blk.p, col.p);
  int preserved = 0;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      const double v = col.f(i, j);
      if (!(std::fabs(v) < tau) || v == 0) continue;
      bool input = false;
      for (int r = 1; r <= n && !input; ++r)
        input = a(r, j) == v;
      if (!input) continue;
      EXPECT_EQ(blk.f(i, j), v) << i << "," << j;
      ++preserved;
    }
  EXPECT_GT(preserved, 100);
}

// A non-finite multiplier: the blocked path must not turn the masked zeros into NaN, so the
// NaN pattern is the column algorithm's.
TEST(LuBlocked, NonFiniteEntriesSpreadLikeTheColumnAlgorithm) {
  const int n = 64;
  Mat a = structured_matrix(n, n, 5);
  a(n / 2, 3) = std::nan("");
  a(n / 3, 20) = std::numeric_limits<double>::infinity();
  const Result col = run(a, column_only);
  const Result blk = run(a, {0, 16, 4, 8});
  ASSERT_EQ(blk.p, col.p);
  int nans = 0;
  for (std::size_t k = 0; k < col.f.a.size(); ++k) {
    EXPECT_EQ(std::isnan(col.f.a[k]), std::isnan(blk.f.a[k])) << k;
    nans += std::isnan(col.f.a[k]);
  }
  EXPECT_GT(nans, 0);
  EXPECT_LT(nans, n * n);
}

// Against LAPACK: the same partial pivoting (first of equal magnitudes), U to rounding, and
// the multipliers once the later interchanges are applied to them (LAPACK's storage) equal to
// minus LAPACK's L. Both compute the same sums in different orders, so for a random matrix of
// order n the factors agree within a few n*u of their |L||U| magnitude.
TEST(LuReference, MatchesLapackDgetrf) {
  for (int n : {1, 5, 50, 95, 96, 300}) {
    const Mat a = random_matrix(n, n, 100 + n);
    const Result r = run(a, lu_default_blocking);
    Mat lap = a;
    std::vector<int> ipiv(n);
    int info = 0;
    dgetrf_(&n, &n, lap.a.data(), &n, ipiv.data(), &info);
    ASSERT_EQ(info, 0);
    int sign = 1;
    for (int k = 1; k < n; ++k) {
      EXPECT_EQ(r.p[k], ipiv[k - 1]);
      if (ipiv[k - 1] != k) sign = -sign;
    }
    EXPECT_EQ(r.p[n], sign);
    Mat ours = r.f;
    for (int j = 1; j < n; ++j)
      for (int k = j + 1; k < n; ++k)
        std::swap(ours(k, j), ours(r.p[k], j));
    double worst = 0;
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i) {
        // Scale: (|L||U|)_ij from LAPACK's factors; over |u_jj| for a multiplier.
        double scale = 0;
        for (int k = 1; k <= std::min(i, j); ++k)
          scale += std::fabs((k == i ? 1.0 : lap(i, k)) * lap(k, j));
        if (i > j) scale /= std::fabs(lap(j, j));
        const double mine = i > j ? -ours(i, j) : ours(i, j);
        worst = std::max(worst, std::fabs(mine - lap(i, j)) / scale);
      }
    ASSERT_TRUE(std::isfinite(worst));
    EXPECT_LT(worst, 4.0 * n * u) << "n=" << n;
  }
}

TEST(LuHandCases, TiesPickTheRowNearestTheDiagonal) {
  Mat a(3, 3);
  // Column 1: |1| = |-1| = |1|: row 1 stays; column 2 after step 1: rows 2, 3 tie again.
  const double v[3][3] = {{1, 1, 1}, {-1, 1, 2}, {1, 3, 4}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      a(i, j) = v[i - 1][j - 1];
  const Result r = run(a, column_only, 1);
  EXPECT_EQ(r.p[1], 1);
  // After step 1: column 2 rows 2,3 are 2 and 2: row 2 wins.
  EXPECT_EQ(r.p[2], 2);
  EXPECT_EQ(r.p[3], 1);
  EXPECT_EQ(r.f(1, 1), 1.0);
  EXPECT_EQ(r.f(2, 1), 1.0);   // -(-1)/1
  EXPECT_EQ(r.f(3, 1), -1.0);  // -(1)/1
  EXPECT_EQ(r.f(2, 2), 2.0);
  EXPECT_EQ(r.f(3, 2), -1.0);  // -(2)/2
  EXPECT_EQ(r.f(2, 3), 3.0);
  EXPECT_EQ(r.f(3, 3), 0.0);  // 4 - 1 - 3
  EXPECT_EQ(r.low, 1);        // the last pivot is zero
}

TEST(LuHandCases, SkippedStepRecordsPivotAndSignOnly) {
  Mat a(2, 2);
  a(1, 1) = 1e-12;
  a(2, 1) = -2e-12;
  a(1, 2) = 5.0;
  a(2, 2) = 7.0;
  const Result r = run(a, column_only, 0);
  EXPECT_EQ(r.p[1], 2);
  EXPECT_EQ(r.p[2], -1);
  EXPECT_EQ(r.f(1, 1), -2e-12);  // column 1 exchanged
  EXPECT_EQ(r.f(2, 1), 1e-12);   // no multiplier formed
  EXPECT_EQ(r.f(1, 2), 5.0);     // other columns neither exchanged nor updated
  EXPECT_EQ(r.f(2, 2), 7.0);
  EXPECT_EQ(r.text, "LU:  Done;\n");  // no mark for the skipped step
  EXPECT_EQ(r.low, 1);
}

TEST(LuHandCases, PivotRowEntryBelowTauUpdatesItsColumn) {
  Mat a(2, 2);
  a(1, 1) = 1.0, a(1, 2) = 2.0;
  a(2, 1) = 4.0, a(2, 2) = 5e-10;
  const Result r = run(a, column_only, 1);
  EXPECT_EQ(r.p[1], 2);
  EXPECT_EQ(r.f(1, 1), 4.0);
  EXPECT_EQ(r.f(2, 1), -0.25);
  EXPECT_EQ(r.f(1, 2), 5e-10);                // the small pivot-row entry moved up
  EXPECT_EQ(r.f(2, 2), 2.0 + -0.25 * 5e-10);  // and updated its column
}

TEST(LuHandCases, PivotRowEntryEqualToTauUpdates) {
  Mat a(2, 2);
  a(1, 1) = 4.0, a(1, 2) = tau;
  a(2, 1) = 2.0, a(2, 2) = 1.0;
  const Result r = run(a, column_only, 1);
  EXPECT_EQ(r.f(2, 2), 1.0 + (-0.5) * tau);
  Mat b = a;
  b(1, 1) = tau;  // pivot exactly tau: the step is done
  b(2, 1) = 0.0;
  const Result s = run(b, column_only, 1);
  EXPECT_EQ(s.f(2, 1), -0.0);
  EXPECT_EQ(s.low, 0);
}

TEST(LuHandCases, SignCountsEveryExchangeSkippedStepsIncluded) {
  // Anti-diagonal of order 4: exchanges at steps 1 and 2, none at 3: sign +1.
  Mat a(4, 4);
  for (int i = 1; i <= 4; ++i)
    a(i, 5 - i) = i;
  EXPECT_EQ(run(a, column_only, 1).p[4], 1);
  // Order 3 anti-diagonal: one exchange at step 1.
  Mat b(3, 3);
  for (int i = 1; i <= 3; ++i)
    b(i, 4 - i) = i;
  EXPECT_EQ(run(b, column_only, 1).p[3], -1);
  // A skipped step with an exchange still turns the sign.
  Mat c(3, 3);
  c(1, 1) = 1e-13, c(3, 1) = 2e-13;
  c(2, 2) = 1, c(3, 3) = 1, c(1, 3) = 1;
  const Result rc = run(c, column_only, 1);
  EXPECT_EQ(rc.p[1], 3);
  EXPECT_EQ(rc.p[3], -1);
}

TEST(LuHandCases, OrderOne) {
  Mat a(1, 1);
  a(1, 1) = 4.0;
  const Result r = run(a, column_only, 0);
  EXPECT_EQ(r.text, "LU: ");
  EXPECT_EQ(r.p[1], 1);
  EXPECT_EQ(r.f(1, 1), 4.0);
  EXPECT_EQ(r.low, 0);
  std::vector<double> b{2.0};
  solve(1, 1, r.f.a, b, std::span<const int>(r.p).subspan(1));
  EXPECT_EQ(b[0], 0.5);
  std::vector<double> inv(1), work(1), wv(1);
  std::vector<int> wp(1);
  EXPECT_EQ(invert(a.a, inv, work, wv, wp, 1), 0);
  EXPECT_EQ(inv[0], 0.25);
  a(1, 1) = 1e-10;
  EXPECT_EQ(run(a, column_only, 1).low, 1);
}

TEST(LuProgress, MarksFollowTheTenthsOfTheSteps) {
  const auto text = [](int n, const LuBlocking& bl) {
    return run(random_matrix(n, n, 3), bl).text;
  };
  EXPECT_EQ(text(2, column_only), "LU: . Done;\n");
  EXPECT_EQ(text(3, column_only), "LU: .. Done;\n");
  // n = 5: limits 10k+10 over 5 = 4, 6, 8, 10 for k = 1..4: a mark at every step.
  EXPECT_EQ(text(5, column_only), "LU: .... Done;\n");
  // n = 100 and 1000: marks at k = 1, 9, 19, ..., 99 (resp. 999): eleven.
  EXPECT_EQ(text(100, column_only), "LU: ........... Done;\n");
  EXPECT_EQ(text(1000, lu_default_blocking), "LU: ........... Done;\n");
  // n = 20: a mark while marks <= (k+1)/2: at k = 1, 2, 3, 5, 7, ..., 19: eleven.
  EXPECT_EQ(text(20, column_only), "LU: ........... Done;\n");
  EXPECT_EQ(text(20, {0, 4, 2, 3}), "LU: ........... Done;\n");
  // Quiet: nothing.
  std::ostringstream out;
  Mat a = random_matrix(30, 30, 4);
  std::vector<int> p(30);
  decomp(30, 30, a.a, p, 7, out);
  EXPECT_EQ(out.str(), "");
}

TEST(LuProgress, SkippedStepsWriteNoMark) {
  // Step 1 skipped (column 1 all tiny): the first mark comes at step 2, where 10*3/100 = 0.
  Mat a = random_matrix(100, 100, 8);
  for (int i = 1; i <= 100; ++i)
    a(i, 1) = 1e-12 * a(i, 1);
  const Result col = run(a, column_only);
  const Result blk = run(a, {0, 16, 4, 16});
  EXPECT_EQ(col.text, "LU: ........... Done;\n");
  EXPECT_EQ(blk.text, col.text);
  EXPECT_EQ(col.low, 1);
  // Every step skipped: no marks at all.
  Mat z(30, 30);
  EXPECT_EQ(run(z, column_only).text, "LU:  Done;\n");
  EXPECT_EQ(run(z, {0, 8, 2, 3}).text, "LU:  Done;\n");
  EXPECT_EQ(run(z, column_only).low, 30);
}

// solve and solve_transposed against a known solution: x = A^-1 b with b = A x0, and the same
// for A^T. The forward error is bounded by
// about n u cond(A) ||x0||; random matrices of order 200 have cond below 1e4, so 1e-9 is wide.
TEST(LuSolve, RecoversKnownSolutionBothPaths) {
  for (const LuBlocking& bl : {column_only, LuBlocking{0, 32, 8, 20}}) {
    const int n = 200;
    const Mat a = random_matrix(n, n + 1, 21);
    std::vector<double> x0(n), b(n, 0.0);
    for (int i = 0; i < n; ++i)
      x0[i] = std::sin(i + 1.0);
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i)
        b[i - 1] += a(i, j) * x0[j - 1];
    const Result r = run(a, bl, 1);
    // The transposed solve against the same known solution: A^T x = c with c = A^T x0.
    std::vector<double> c(n, 0.0);
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i)
        c[j - 1] += a(i, j) * x0[i - 1];
    solve(a.ld, n, r.f.a, b, std::span<const int>(r.p).subspan(1));
    solve_transposed(a.ld, n, r.f.a, c, std::span<const int>(r.p).subspan(1));
    double err = 0;
    for (int i = 0; i < n; ++i)
      err = std::max({err, std::fabs(b[i] - x0[i]), std::fabs(c[i] - x0[i])});
    ASSERT_TRUE(std::isfinite(err));
    EXPECT_LT(err, 1e-9);
  }
}

// solve_many against solve, column by column, on orders that span one and several blocks of
// its products (with interchanges that cross block boundaries, as random matrices pivot
// everywhere). Both apply the same interchanges and multipliers; only the order of the sums of
// the products differs, by a few k u of the summed magnitudes per entry, amplified at most by
// cond(A) (below 1e4 at these orders): 1e-10 relative is wide, while a misplaced interchange
// or multiplier makes the difference of order one.
TEST(LuSolve, ManyRightHandSidesAgreeWithOneByOne) {
  for (int n : {1, 2, 100, 300}) {
    SCOPED_TRACE(n);
    const Mat a = random_matrix(n, n + 1, 40 + n);
    const Result r = run(a, lu_default_blocking, 1);
    const std::span<const int> piv = std::span<const int>(r.p).subspan(1);
    const int nrhs = 5, ldb = n + 2;
    std::vector<double> many(static_cast<std::size_t>(ldb) * nrhs, -7.0);
    std::mt19937_64 g(n);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    for (int c = 0; c < nrhs; ++c)
      for (int i = 0; i < n; ++i)
        many[c * ldb + i] = d(g);
    std::vector<double> one = many;
    solve_many(a.ld, n, r.f.a, many, ldb, nrhs, piv);
    for (int c = 0; c < nrhs; ++c) {
      const std::span<double> x(one.data() + c * ldb, n);
      solve(a.ld, n, r.f.a, x, piv);
      double diff = 0, size = 0;
      for (int i = 0; i < n; ++i) {
        diff = std::max(diff, std::fabs(many[c * ldb + i] - x[i]));
        size = std::max(size, std::fabs(x[i]));
      }
      ASSERT_TRUE(std::isfinite(diff / size));
      EXPECT_LT(diff / size, 1e-10) << "right-hand side " << c;
      EXPECT_EQ(many[c * ldb + n], -7.0);  // rows beyond the order untouched
    }
  }
}

// ||X A - I||_max <= c n u cond_1(A) for the computed inverse X; c = 4 covers the factor and
// the n solves (each backward stable with a constant of order 1).
TEST(LuInvert, InverseTimesMatrixIsIdentity) {
  for (int n : {2, 3, 10, 60, 200}) {
    Mat a = random_matrix(n, n, 30 + n);
    for (int i = 1; i <= n; ++i)
      a(i, i) += 2.0;
    const std::vector<double> orig = a.a;
    std::vector<double> inv(n * n), work(n * n), wv(n);
    std::vector<int> wp(n);
    EXPECT_EQ(invert(a.a, inv, work, wv, wp, n), 0);
    EXPECT_EQ(a.a, orig);  // unchanged
    // The work matrix holds the factors.
    const Result r = run(a, lu_default_blocking, 1);
    EXPECT_EQ(std::vector<double>(work.begin(), work.end()), r.f.a);
    double norm_a = 0, norm_x = 0, err = 0;
    for (int j = 0; j < n; ++j) {
      double ca = 0, cx = 0;
      for (int i = 0; i < n; ++i) {
        ca += std::fabs(a.a[j * n + i]);
        cx += std::fabs(inv[j * n + i]);
        double s = 0;
        for (int k = 0; k < n; ++k)
          s += inv[k * n + i] * a.a[j * n + k];
        err = std::max(err, std::fabs(s - (i == j ? 1.0 : 0.0)));
      }
      norm_a = std::max(norm_a, ca);
      norm_x = std::max(norm_x, cx);
    }
    ASSERT_TRUE(std::isfinite(err));
    EXPECT_LT(err, 4.0 * n * u * norm_a * norm_x) << "n=" << n;
  }
}

TEST(LuInvert, SingularMatrixIsReportedThroughTheCount) {
  const std::vector<double> a{1, 1, 1, 1};
  std::vector<double> inv(4), work(4), wv(2);
  std::vector<int> wp(2);
  EXPECT_EQ(invert(a, inv, work, wv, wp, 2), 1);
  EXPECT_FALSE(std::isfinite(inv[3]));  // divides by the zero pivot, as documented
}

}  // namespace
}  // namespace ostrel
