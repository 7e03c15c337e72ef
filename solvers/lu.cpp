#include "solvers/lu.hpp"

#include <cblas.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <ostream>
#include <utility>
#include <vector>

#include "base/fields.hpp"
#include "solvers/blas_workspace.hpp"

namespace ostrel {

namespace {

// Progress of one factorisation. On the console: "LU: ", at most one "." per completed step
// while the marks written so far number at most floor(10*(k+1)/n) (k the 1-based step), and
// " Done;". On the windowed build's screen: after every completed step the display
// "LU decomposition:   " with floor(100*(k+1)/n) in 3 columns and "%".
class Progress {
 public:
  Progress(int quiet, int n, std::ostream& console, Screen* screen)
      : on_(quiet == 0), n_(n), console_(console), screen_(screen) {
    if (on_ && !screen_) console_ << "LU: " << std::flush;
  }
  // Called after the completed (not skipped) 0-based step k.
  void step(int k) {
    if (!on_) return;
    if (screen_) {
      screen_->progress("LU decomposition:   " + iw(100LL * (k + 2) / n_, 3) + "%");
      return;
    }
    const long long limit = 10LL * (k + 2) / n_;
    if (marks_ <= limit) {
      console_ << '.' << std::flush;
      ++marks_;
    }
  }
  void done() {
    if (on_ && !screen_) console_ << " Done;" << std::endl;
  }

 private:
  bool on_;
  int n_;
  long long marks_ = 0;
  std::ostream& console_;
  Screen* screen_;
};

// The column algorithm, step by step as documented; used below the crossover order.
int decomp_column(int ld, int n, double* a, int* ipvt, double tau, Progress& progress) {
  const auto col = [&](int j) { return a + static_cast<std::size_t>(j) * ld; };
  int sign = 1;
  int skipped = 0;
  for (int k = 0; k < n - 1; ++k) {
    double* ck = col(k);
    int m = k;
    double big = std::fabs(ck[k]);
    for (int i = k + 1; i < n; ++i) {
      if (std::fabs(ck[i]) > big) {
        big = std::fabs(ck[i]);
        m = i;
      }
    }
    ipvt[k] = m + 1;
    if (m != k) sign = -sign;
    const double t = ck[m];
    ck[m] = ck[k];
    ck[k] = t;
    if (std::fabs(t) < tau) {
      ++skipped;
      continue;
    }
    for (int i = k + 1; i < n; ++i)
      ck[i] = -ck[i] / t;
    for (int j = k + 1; j < n; ++j) {
      double* cj = col(j);
      const double s = cj[m];
      cj[m] = cj[k];
      cj[k] = s;
      if (s == 0.0) continue;
      for (int i = k + 1; i < n; ++i)
        cj[i] += ck[i] * s;
    }
    progress.step(k);
  }
  ipvt[n - 1] = sign;
  return skipped;
}

// The blocked factorisation. It performs the steps of the column algorithm in the same order
// (same pivot searches, skips and marks) but delays the update of the columns right of a panel
// and applies it as one matrix product.
//
// Internal form: while a column range is being worked on, its multiplier columns also carry
// the interchanges of the later completed steps of the range (as in LAPACK), so that all
// interchanges of a range can be applied to a trailing column before the updates. Each panel
// is turned back into the documented form (multipliers in the row order of their own step)
// once its trailing update is done.
//
// The skipped steps become masks. For a trailing column j and a step k of the range, the
// column algorithm adds multiplier column k times s = a(k,j) (after the exchange of step k and
// the earlier updates) unless step k was skipped or s is zero. The masked triangular solve
// computes those s in step order and stores s, or 0 where the column algorithm adds nothing, in
// the block W; the product A22 += L21 * W then adds exactly the same contributions. Skipped
// steps never exchange rows outside their own column.
class Blocked {
 public:
  Blocked(int ld, int n, double* a, double tau, const LuBlocking& bl, Progress& progress)
      : ld_(ld),
        n_(n),
        a_(a),
        tau_(tau),
        bl_(bl),
        progress_(progress),
        piv_(n),
        skip_(n, 1),
        bad_(n, 0),
        w_(static_cast<std::size_t>(bl.panel) * bl.chunk) {}

  // Every product runs on one BLAS thread (the library's threads would split some products
  // differently, and with them the order of their sums, by the number of threads); the two
  // threads come from sharing the trailing update (apply_trailing).
  int run(int* ipvt) {
    const SerialBlas serial;
    bool factored = false;  // the panel was factorised ahead, during the previous update
    for (int k0 = 0; k0 < n_ - 1; k0 += bl_.panel) {
      const int k1 = std::min(k0 + bl_.panel, n_);
      if (!factored) factor(k0, k1);
      factored = k1 < n_ && apply_trailing(k0, k1);
      restore_order(k0, k1);
    }
    for (int k = 0; k < n_ - 1; ++k)
      ipvt[k] = piv_[k] + 1;
    ipvt[n_ - 1] = sign_;
    return skipped_;
  }

 private:
  double* col(int j) const { return a_ + static_cast<std::size_t>(j) * ld_; }
  double* at(int i, int j) const { return col(j) + i; }
  // Step k exchanged rows of columns other than its own.
  bool swaps(int k) const { return !skip_[k] && piv_[k] != k; }

  // Factorises columns [c0,c1) (rows c0..n-1), leaving them in the internal form.
  void factor(int c0, int c1) {
    if (c1 - c0 <= bl_.base) {
      factor_base(c0, c1);
      return;
    }
    const int mid = c0 + std::max(bl_.base, ((c1 - c0) / 2) / bl_.base * bl_.base);
    factor(c0, mid);
    apply(c0, mid, mid, c1);
    factor(mid, c1);
    const int last = std::min(c1, n_ - 1);
    for (int j = c0; j < mid; ++j) {
      double* cj = col(j);
      for (int k = mid; k < last; ++k)
        if (swaps(k)) std::swap(cj[k], cj[piv_[k]]);
    }
  }

  // Column algorithm restricted to columns [c0,c1).
  void factor_base(int c0, int c1) {
    for (int k = c0; k < c1 && k < n_ - 1; ++k) {
      double* ck = col(k);
      int m = k;
      double big = std::fabs(ck[k]);
      for (int i = k + 1; i < n_; ++i) {
        if (std::fabs(ck[i]) > big) {
          big = std::fabs(ck[i]);
          m = i;
        }
      }
      piv_[k] = m;
      if (m != k) sign_ = -sign_;
      const double t = ck[m];
      ck[m] = ck[k];
      ck[k] = t;
      bool finite = true;
      if (std::fabs(t) < tau_) {
        ++skipped_;
        // The raw entries stay in the column; the product must not see them as multipliers.
        for (int i = k + 1; i < n_; ++i)
          finite = finite && std::isfinite(ck[i]);
        bad_[k] = !finite;
        continue;
      }
      skip_[k] = 0;
      for (int i = k + 1; i < n_; ++i) {
        ck[i] = -ck[i] / t;
        finite = finite && std::isfinite(ck[i]);
      }
      bad_[k] = !finite;
      if (m != k)
        for (int j = c0; j < k; ++j)
          std::swap(col(j)[k], col(j)[m]);
      for (int j = k + 1; j < c1; ++j) {
        double* cj = col(j);
        const double s = cj[m];
        cj[m] = cj[k];
        cj[k] = s;
        if (s == 0.0) continue;
        for (int i = k + 1; i < n_; ++i)
          cj[i] += ck[i] * s;
      }
      progress_.step(k);
    }
  }

  // Applies the steps of columns [c0,c1) (already factorised, internal form) to the columns
  // [r0,r1), chunk after chunk of columns (see apply_chunk).
  void apply(int c0, int c1, int r0, int r1) {
    const bool finite = finite_range(c0, c1);
    for (int j0 = r0; j0 < r1; j0 += bl_.chunk)
      apply_chunk(c0, c1, j0, std::min(j0 + bl_.chunk, r1), finite, w_.data());
  }

  // apply for a panel [c0,c1) and all the columns right of it: the chunks are shared among the
  // threads, each updating its chunks alone, so that the interchanges and the masked solves run
  // in parallel as well as the products. The calling thread updates the first chunk and then,
  // while the others go on with the rest, factorises the next panel (which lies in that chunk
  // and needs no other): the panel's serial work is hidden behind the update. Returns true when
  // it did. Every chunk and the panel are computed exactly as
  // sequentially, whichever thread takes them, so the numbers, the marks and the progress
  // displays (shown by the calling thread) do not depend on the number of threads.
  bool apply_trailing(int c0, int c1) {
    const int chunks = (n_ - c1 + bl_.chunk - 1) / bl_.chunk;
    if (chunks < 2 || omp_get_max_threads() < 2) {
      apply(c0, c1, c1, n_);
      return false;
    }
    const int c2 = std::min(c1 + bl_.panel, n_);
    const bool ahead = c1 < n_ - 1 && c2 - c1 <= bl_.chunk;
    const bool finite = finite_range(c0, c1);
    std::atomic<int> next{1};
    // One block of masked pivot-row entries per thread beside w_ (which the panel's own
    // factorisation uses), obtained once per factorisation.
    if (thread_w_.empty())
      thread_w_.assign(omp_get_max_threads(),
                       std::vector<double>(static_cast<std::size_t>(bl_.panel) * bl_.chunk));
#pragma omp parallel
    {
      double* w = thread_w_[omp_get_thread_num()].data();
      if (omp_get_thread_num() == 0) {
        apply_chunk(c0, c1, c1, std::min(c1 + bl_.chunk, n_), finite, w);
        if (ahead) factor(c1, c2);
      }
      for (int c = next++; c < chunks; c = next++) {
        const int j0 = c1 + c * bl_.chunk;
        apply_chunk(c0, c1, j0, std::min(j0 + bl_.chunk, n_), finite, w);
      }
    }
    return ahead;
  }

  // No multiplier column of the steps [c0,c1) holds a non-finite value.
  bool finite_range(int c0, int c1) const {
    for (int k = c0; k < c1; ++k)
      if (bad_[k]) return false;
    return true;
  }

  // Columns [j0,j1) of apply: interchanges, masked triangular solve for rows c0..c1-1 (its
  // pivot-row entries to wb, panel x chunk), product for the rows below. With a non-finite
  // multiplier in the range it updates column by column instead, since a masked 0 times an
  // infinity would spread NaN where the column algorithm adds nothing.
  void apply_chunk(int c0, int c1, int j0, int j1, bool finite, double* wb) {
    const int w = c1 - c0;
    for (int j = j0; j < j1; ++j) {
      double* cj = col(j);
      for (int k = c0; k < c1; ++k)
        if (swaps(k)) std::swap(cj[k], cj[piv_[k]]);
    }
    if (!finite) {
      apply_columns(c0, c1, j0, j1);
      return;
    }
    masked_solve(c0, w, j0, j1 - j0, wb, w);
    if (c1 < n_)
      cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, n_ - c1, j1 - j0, w, 1.0, at(c1, c0),
                  ld_, wb, w, 1.0, at(c1, j0), ld_);
  }

  // Rows c0..c0+w-1 of columns j0..j0+nc-1: forward substitution with the unit lower triangle
  // of the multipliers, where a step adds nothing when it was skipped or its pivot-row entry
  // is zero. The masked pivot-row entries go to wb (leading dimension ldw).
  void masked_solve(int c0, int w, int j0, int nc, double* wb, int ldw) {
    if (w <= bl_.base) {
      for (int jj = 0; jj < nc; ++jj) {
        double* x = col(j0 + jj) + c0;
        double* u = wb + static_cast<std::size_t>(jj) * ldw;
        for (int kk = 0; kk < w; ++kk) {
          const int k = c0 + kk;
          const double s = x[kk];
          if (skip_[k] || s == 0.0) {
            u[kk] = 0.0;
            continue;
          }
          u[kk] = s;
          const double* lk = col(k) + c0;
          for (int ii = kk + 1; ii < w; ++ii)
            x[ii] += lk[ii] * s;
        }
      }
      return;
    }
    const int h = std::max(bl_.base, (w / 2) / bl_.base * bl_.base);
    masked_solve(c0, h, j0, nc, wb, ldw);
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, w - h, nc, h, 1.0, at(c0 + h, c0), ld_,
                wb, ldw, 1.0, at(c0 + h, j0), ld_);
    masked_solve(c0 + h, w - h, j0, nc, wb + h, ldw);
  }

  // The same update as masked_solve plus product, one column and one step at a time.
  void apply_columns(int c0, int c1, int j0, int j1) {
    for (int j = j0; j < j1; ++j) {
      double* x = col(j);
      for (int k = c0; k < c1; ++k) {
        const double s = x[k];
        if (skip_[k] || s == 0.0) continue;
        const double* lk = col(k);
        for (int i = k + 1; i < n_; ++i)
          x[i] += lk[i] * s;
      }
    }
  }

  // Undoes, in each multiplier column of the panel, the interchanges of the later steps of
  // the panel: the multipliers return to the row order of their own step.
  void restore_order(int k0, int k1) {
    const int last = std::min(k1, n_ - 1);
    for (int j = k0; j < last; ++j) {
      double* cj = col(j);
      for (int k = last - 1; k > j; --k)
        if (swaps(k)) std::swap(cj[k], cj[piv_[k]]);
    }
  }

  int ld_, n_;
  double* a_;
  double tau_;
  LuBlocking bl_;
  Progress& progress_;
  std::vector<int> piv_;                       // 0-based pivot rows
  std::vector<unsigned char> skip_;            // step left undone (and the last column: no step)
  std::vector<unsigned char> bad_;             // multiplier column holds a non-finite value
  std::vector<double> w_;                      // masked pivot-row entries, panel x chunk
  std::vector<std::vector<double>> thread_w_;  // the same, one per thread of apply_trailing
  int sign_ = 1;
  int skipped_ = 0;
};

}  // namespace

int decomp(int ld, int n, std::span<double> a, std::span<int> ipvt, int quiet,
           std::ostream& console, double tau, const LuBlocking& blocking, Screen* screen) {
  assert(n >= 0 && ld >= n);
  if (n == 0) return 0;
  assert(a.size() >= static_cast<std::size_t>(ld) * (n - 1) + n);
  assert(ipvt.size() >= static_cast<std::size_t>(n));
  assert(blocking.base >= 1 && blocking.panel >= blocking.base && blocking.chunk >= 1);
  Progress progress(quiet, n, console, screen);
  ipvt[n - 1] = 1;
  if (n == 1) return std::fabs(a[0]) < tau ? 1 : 0;
  int skipped;
  if (n < blocking.crossover) {
    skipped = decomp_column(ld, n, a.data(), ipvt.data(), tau, progress);
  } else {
    Blocked blocked(ld, n, a.data(), tau, blocking, progress);
    skipped = blocked.run(ipvt.data());
  }
  progress.done();
  const double last = a[static_cast<std::size_t>(n - 1) * ld + (n - 1)];
  return skipped + (std::fabs(last) < tau ? 1 : 0);
}

int decomp(int ld, int n, std::span<double> a, std::span<int> ipvt, int quiet,
           std::ostream& console, double tau, Screen* screen) {
  return decomp(ld, n, a, ipvt, quiet, console, tau, lu_default_blocking, screen);
}

namespace {

// The columns of the factors of decomp for solve and solve_transposed, after the checks both
// rely on; `empty` when the order is 0 and there is nothing to solve.
struct FactorColumns {
  FactorColumns(int ld_, int n, std::span<const double> a_,
                [[maybe_unused]] std::span<const double> b)
      : ld(ld_), a(a_.data()), empty(n == 0) {
    assert(n >= 0 && ld >= n && b.size() >= static_cast<std::size_t>(n));
  }
  const double* operator()(int j) const { return a + static_cast<std::size_t>(j) * ld; }
  int ld;
  const double* a;
  bool empty;
};

}  // namespace

void solve(int ld, int n, std::span<const double> a, std::span<double> b,
           std::span<const int> ipvt) {
  const FactorColumns col(ld, n, a, b);
  if (col.empty) return;
  if (n > 1) {
    for (int k = 0; k < n - 1; ++k) {
      const int m = ipvt[k] - 1;
      assert(m >= k && m < n);
      std::swap(b[m], b[k]);
      const double* ck = col(k);
      const double bk = b[k];
      for (int i = k + 1; i < n; ++i)
        b[i] += ck[i] * bk;
    }
    for (int k = n - 1; k >= 1; --k) {
      const double* ck = col(k);
      b[k] = b[k] / ck[k];
      const double bk = b[k];
      for (int i = 0; i < k; ++i)
        b[i] -= ck[i] * bk;
    }
  }
  b[0] = b[0] / a[0];
}

void solve_transposed(int ld, int n, std::span<const double> a, std::span<double> b,
                      std::span<const int> ipvt) {
  const FactorColumns col(ld, n, a, b);
  if (col.empty) return;
  // solve applies E(n-1) ... E(1), then U^-1, where E(k) exchanges b(k) and b(p(k)) and adds
  // multiples of b(k) below it; the transpose is U^-T, then E(1)^T ... E(n-1)^T in reverse.
  for (int k = 0; k < n; ++k) {
    const double* ck = col(k);
    double sum = b[k];
    for (int i = 0; i < k; ++i)
      sum -= ck[i] * b[i];
    b[k] = sum / ck[k];
  }
  for (int k = n - 2; k >= 0; --k) {
    const double* ck = col(k);
    double sum = b[k];
    for (int i = k + 1; i < n; ++i)
      sum += ck[i] * b[i];
    b[k] = sum;
    std::swap(b[ipvt[k] - 1], b[k]);
  }
}

void solve_many(int ld, int n, std::span<const double> a, std::span<double> b, int ldb, int nrhs,
                std::span<const int> ipvt) {
  assert(n >= 0 && ld >= n && ldb >= n && nrhs >= 0);
  if (n == 0 || nrhs == 0) return;
  assert(b.size() >= static_cast<std::size_t>(ldb) * (nrhs - 1) + n);
  const auto col = [&](int j) { return a.data() + static_cast<std::size_t>(j) * ld; };
  const auto bat = [&](int i, int c) -> double& {
    return b[static_cast<std::size_t>(c) * ldb + i];
  };
  // Rows [r0, r1) updated as products over fixed pieces of solve_many_rows rows, shared among
  // the threads, each on one BLAS thread: every entry is computed the same way whatever the
  // number of threads.
  const auto product = [&](int r0, int r1, int depth, double alpha, const double* m, int ldm,
                           int k0) {
    const int pieces = (r1 - r0 + solve_many_rows - 1) / solve_many_rows;
#pragma omp for schedule(dynamic, 1)
    for (int q = 0; q < pieces; ++q) {
      const int i0 = r0 + q * solve_many_rows, i1 = std::min(i0 + solve_many_rows, r1);
      cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, i1 - i0, nrhs, depth, alpha,
                  m + (i0 - r0), ldm, &bat(k0, 0), ldb, 1.0, &bat(i0, 0), ldb);
    }
  };

  const SerialBlas serial;
  const int nb = std::min(solve_many_block, n - 1);
  std::vector<double> w(static_cast<std::size_t>(n) * nb);
#pragma omp parallel
  {
    // Forward, one block of steps [k0, k1) at a time. The multipliers of step j are stored in
    // the row order of step j; the later interchanges of the block are applied to a copy of
    // them (the panel w), so that after all the block's interchanges have been applied to b,
    // the pending updates of every row travel with it: the rows of the block then take their
    // updates in the order of the steps, as solve does, and the rows below take them as one
    // product.
    for (int k0 = 0; k0 < n - 1; k0 += nb) {
      const int k1 = std::min(k0 + nb, n - 1), width = k1 - k0, rows = n - k0;
      const auto wat = [&](int i, int j) -> double& {
        return w[static_cast<std::size_t>(j - k0) * rows + (i - k0)];
      };
#pragma omp for schedule(static)
      for (int j = k0; j < k1; ++j) {
        std::copy(col(j) + k0, col(j) + n, &wat(k0, j));
        for (int k = j + 1; k < k1; ++k)
          if (ipvt[k] - 1 != k) std::swap(wat(k, j), wat(ipvt[k] - 1, j));
      }
#pragma omp for schedule(static)
      for (int c = 0; c < nrhs; ++c) {
        for (int k = k0; k < k1; ++k) {
          assert(ipvt[k] - 1 >= k && ipvt[k] - 1 < n);
          std::swap(bat(k, c), bat(ipvt[k] - 1, c));
        }
        for (int k = k0 + 1; k < k1; ++k) {
          double v = bat(k, c);
          for (int j = k0; j < k; ++j)
            v += wat(k, j) * bat(j, c);
          bat(k, c) = v;
        }
      }
      product(k1, n, width, 1.0, &wat(k1, k0), rows, k0);
    }

    // Backward, one block of rows [r0, r1) from the bottom: inside the block column by column
    // as solve does, then the rows above the block as one product with U's columns r0..r1-1.
    for (int r1 = n; r1 > 0;) {
      const int r0 = std::max(0, r1 - solve_many_block);
#pragma omp for schedule(static)
      for (int c = 0; c < nrhs; ++c)
        for (int k = r1 - 1; k >= r0; --k) {
          const double* ck = col(k);
          bat(k, c) = bat(k, c) / ck[k];
          const double bk = bat(k, c);
          for (int i = r0; i < k; ++i)
            bat(i, c) -= ck[i] * bk;
        }
      if (r0 > 0) product(0, r0, r1 - r0, -1.0, col(r0), ld, r0);
      r1 = r0;
    }
  }
}

int invert(std::span<const double> a, std::span<double> inv, std::span<double> work,
           std::span<double> wvec, std::span<int> wpiv, int n, double tau) {
  assert(n >= 0);
  const std::size_t nn = static_cast<std::size_t>(n) * n;
  assert(a.size() >= nn && inv.size() >= nn && work.size() >= nn);
  assert(wvec.size() >= static_cast<std::size_t>(n) && wpiv.size() >= static_cast<std::size_t>(n));
  std::copy_n(a.begin(), nn, work.begin());
  std::ostream silent(nullptr);
  const int low = decomp(n, n, work, wpiv, 1, silent, tau);
  for (int c = 0; c < n; ++c) {
    std::fill_n(wvec.begin(), n, 0.0);
    wvec[c] = 1.0;
    solve(n, n, work, wvec, wpiv);
    std::copy_n(wvec.begin(), n, inv.begin() + static_cast<std::ptrdiff_t>(c) * n);
  }
  return low;
}

}  // namespace ostrel
