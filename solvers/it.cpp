#include "solvers/it.hpp"

#include <cblas.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <ostream>

#include "base/fields.hpp"
#include "base/halt.hpp"
#include "solvers/au.hpp"
#include "solvers/blas_workspace.hpp"
#include "solvers/lu.hpp"
#include "solvers/scratch.hpp"

namespace ostrel {

namespace {

// The products of a pass are matrix-vector products of one block row, too small to gain from
// threads: handing them to a second thread made a pass take twice as long
// (bench/bench_it.cpp), and the time of a pass is the parsing anyway; they run under SerialBlas.

[[noreturn]] void stop_unreadable(const Problem& pb, const ScratchFile& file) {
  std::string text = pb.c().text.cannot_read_scratch;
  if (!file.name().empty()) {
    const auto open = text.find('<'), close = text.find('>');
    if (open != std::string::npos && close != std::string::npos)
      text.replace(open + 1, close - open - 1, file.name());
  }
  Halt h;
  h.console.push_back(text);
  h.mid_line = true;
  halt(std::move(h));
}

// Column s of the Krylov array.
double* column(const ItVectors& x, int nd, int s) {
  return x.v.data() + std::size_t(s) * nd;
}

// One pass over the scratch file: block(k) for every block k while its record is in the
// buffers. The console, when there is one, gets a mark.
template <class Block>
void each_record(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf, Block block,
                 std::ostream* console) {
  file.rewind();
  for (int k = 1; k <= sys.pb.n(); ++k) {
    if (!file.read_record(sys.pb.el(k).ni, sys.nd, buf.r.data(), sys.nimax, buf.d.data(), sys.nimax,
                          buf.piv.data()))
      stop_unreadable(sys.pb, file);
    block(k);
  }
  if (console) *console << pass_mark << std::flush;
}

double norm(int nd, const double* v) {
  return cblas_dnrm2(nd, v, 1);
}

// The state of one right-hand side's iteration between passes.
struct Cycle {
  double bnorm = -1;   // |P b|_2, once the first pass 0 has found it
  double bsq = 0;      // its square, gathered during that pass
  int steps = 0;       // Arnoldi steps of the current cycle
  bool going = false;  // the current cycle's Arnoldi process goes on
};

// Hessenberg entry (i, j), 0-based, of a right-hand side with Krylov dimension q.
double& hes(const ItVectors& x, int q, int i, int j) {
  return x.h[std::size_t(j) * (q + 1) + i];
}

// Arnoldi step s >= 1 of a cycle, after pass s has put P A v(s-1) into column s: makes it
// orthogonal to columns 0..s-1 (classical Gram-Schmidt, twice, so that the basis stays
// orthogonal to the rounding), stores the coefficients as column s-1 of H, brings that column
// to upper-triangular form with the earlier rotations and a new one, and returns the norm of the
// least-squares residual, |g(s)|: the norm of P(A u - b) after the correction of this cycle so far.
double arnoldi_step(const ItVectors& x, int nd, int q, int s) {
  double* w = column(x, nd, s);
  double* hcol = &hes(x, q, 0, s - 1);
  std::fill_n(hcol, q + 1, 0.0);
  std::vector<double> t(s);
  for (int sweep = 0; sweep < 2; ++sweep) {
    cblas_dgemv(CblasColMajor, CblasTrans, nd, s, 1.0, x.v.data(), nd, w, 1, 0.0, t.data(), 1);
    cblas_dgemv(CblasColMajor, CblasNoTrans, nd, s, -1.0, x.v.data(), nd, t.data(), 1, 1.0, w, 1);
    for (int i = 0; i < s; ++i)
      hcol[i] += t[i];
  }
  const double hn = norm(nd, w);
  hcol[s] = hn;
  if (hn > 0) cblas_dscal(nd, 1.0 / hn, w, 1);
  double* cs = x.rot.data();
  double* sn = x.rot.data() + q;
  for (int i = 0; i < s - 1; ++i) {
    const double a = hcol[i], b = hcol[i + 1];
    hcol[i] = cs[i] * a + sn[i] * b;
    hcol[i + 1] = -sn[i] * a + cs[i] * b;
  }
  const double a = hcol[s - 1], b = hcol[s];
  const double r = std::hypot(a, b);
  cs[s - 1] = r > 0 ? a / r : 1.0;
  sn[s - 1] = r > 0 ? b / r : 0.0;
  hcol[s - 1] = r;
  hcol[s] = 0;
  x.g[s] = -sn[s - 1] * x.g[s - 1];
  x.g[s - 1] = cs[s - 1] * x.g[s - 1];
  return std::fabs(x.g[s]);
}

// The end of a cycle of `steps` Arnoldi steps: y = R^-1 g from the triangular part of H,
// correction d = V(:, 0..steps-1) y (built in column `steps`, which is no longer needed),
// u = u - d, u0 = u. Returns |d|_2 / |u|_2.
double correct(const ItVectors& x, int nd, int q, int steps) {
  cblas_dtrsv(CblasColMajor, CblasUpper, CblasNoTrans, CblasNonUnit, steps, x.h.data(), q + 1,
              x.g.data(), 1);
  double* d = column(x, nd, steps);
  cblas_dgemv(CblasColMajor, CblasNoTrans, nd, steps, 1.0, x.v.data(), nd, x.g.data(), 1, 0.0, d,
              1);
  cblas_daxpy(nd, -1.0, d, 1, x.u.data(), 1);
  std::copy_n(x.u.begin(), nd, x.u0.begin());
  const double un = norm(nd, x.u.data());
  return un > 0 ? norm(nd, d) / un : norm(nd, d);
}

}  // namespace

ItSizes it_sizes(int nd, int imm) {
  const std::size_t n = nd, q = imm;
  return {n, n * (q + 1), (q + 1) * q, q + 1, 2 * q};
}

ItStore::ItStore(int nd, int imm) {
  const ItSizes s = it_sizes(nd, imm);
  u.resize(s.u), b.resize(nd), v.resize(s.v), h.resize(s.h), g.resize(s.g), rot.resize(s.rot);
}

ItVectors ItStore::vectors(std::span<double> u0) {
  return {u0, u, b, v, h, g, rot};
}

std::size_t it_vectors_bytes(int nd, int imm) {
  // The store's vectors, its right-hand side and the initial guess it works with.
  return sizeof(double) * (it_sizes(nd, imm).total() + 2 * std::size_t(nd));
}

void it_block(const BlockSystem& sys, const BlockBuffers& buf, const ItVectors& x, int k, int s,
              double* bsq) {
  const Problem& pb = sys.pb;
  const int nd = sys.nd, ld = sys.nimax, nk = pb.el(k).ni, r0 = sys.off[k];
  const double* z = s == 0 ? x.u.data() : column(x, nd, s - 1);
  double* w = buf.w.data();
  if (pb.el(k).itype == 1 || pb.igg != 0) {
    cblas_dgemv(CblasColMajor, CblasNoTrans, nk, nd, 1.0, buf.r.data(), ld, z, 1, 0.0, w, 1);
  } else {
    au(pb, buf.r, ld, {z, std::size_t(nd)}, buf.w.first(ld), sys.tcol.subspan(r0),
       sys.xcol.subspan(r0), sys.ycol.subspan(r0), k);
  }
  if (s == 0)
    for (int j = 0; j < nk; ++j)
      w[j] -= x.b[r0 + j];
  solve(ld, nk, buf.d, buf.w.first(ld), buf.piv);
  std::copy_n(w, nk, column(x, nd, s) + r0);
  if (bsq) {
    const std::span<double> pb_k = buf.w.subspan(ld, ld);
    std::copy_n(x.b.begin() + r0, nk, pb_k.begin());
    solve(ld, nk, buf.d, pb_k, buf.piv);
    *bsq += cblas_ddot(nk, pb_k.data(), 1, pb_k.data(), 1);
  }
  if (k == pb.n() && pb.idmn != 0)
    column(x, nd, s)[nd - 1] = cblas_ddot(nd, sys.last.data(), 1, z, 1);
}

namespace {

// The lockstep restarted GMRES shared by the iteration and its adjoint. pass(active, s, first)
// puts into column s of every right-hand side in `active` the operator applied to its iterate
// (s = 0, minus its right-hand side: the residual) or to basis vector s-1; `first` marks the
// first pass. After every pass 0, report(c) is called with the residual of c in res[c]; cyc[c]
// holds |b| (bnorm), or bnorm < 0 and the square gathered in the first pass (bsq). Returns the
// right-hand sides that did not converge within itlim + 1 cycles.
template <class Pass, class Report>
std::vector<int> lockstep_gmres(std::span<const ItVectors> xs, int nd, int q, double eps, int itlim,
                                std::vector<ItResult>& res, std::vector<Cycle>& cyc, Pass pass,
                                Report report) {
  const ItSizes sizes = it_sizes(nd, q);
  std::vector<int> active;  // the right-hand sides still iterating, in their order
  for (std::size_t c = 0; c < xs.size(); ++c) {
    const ItVectors& x = xs[c];
    assert(x.v.size() >= sizes.v && x.h.size() >= sizes.h && x.g.size() >= sizes.g);
    assert(x.rot.size() >= sizes.rot && x.u.size() >= sizes.u);
    std::copy_n(x.u0.begin(), nd, x.u.begin());
    active.push_back(int(c));
  }
  // After pass 0 for right-hand side c: its relative residual, reported; true when c has
  // converged. Otherwise its first basis vector and the least-squares right-hand side.
  const auto converged = [&](int c) {
    ItResult& r = res[c];
    Cycle& cy = cyc[c];
    const ItVectors& x = xs[c];
    if (cy.bnorm < 0) cy.bnorm = std::sqrt(cy.bsq);
    double* v0 = column(x, nd, 0);
    const double beta = norm(nd, v0);
    r.residual = cy.bnorm > 0 ? beta / cy.bnorm : beta > 0 ? HUGE_VAL : 0.0;
    // A residual that is not a number must not hide in the norm (dnrm2 may skip it).
    for (int i = 0; i < nd && !std::isnan(r.residual); ++i)
      if (std::isnan(v0[i])) r.residual = v0[i];
    report(c);
    if (r.residual <= eps) {
      r.nerr = 0;
      return true;
    }
    if (beta > 0 && std::isfinite(beta)) cblas_dscal(nd, 1.0 / beta, v0, 1);
    std::fill(x.g.begin(), x.g.begin() + sizes.g, 0.0);
    x.g[0] = beta;
    cy.steps = 0;
    cy.going = true;
    return false;
  };

  // All active right-hand sides have the same count. It can pass the largest int only by one;
  // it is kept wider.
  for (long long nmbit = 0; nmbit <= itlim && !active.empty(); ++nmbit) {
    pass(active, 0, nmbit == 0);
    std::vector<int> going;
    for (int c : active) {
      ++res[c].passes;
      if (!converged(c)) going.push_back(c);
    }
    active.swap(going);
    if (active.empty()) break;
    for (int s = 1; s <= q; ++s) {
      std::vector<int> step;
      for (int c : active)
        if (cyc[c].going) step.push_back(c);
      if (step.empty()) break;
      pass(step, s, false);
      for (int c : step) {
        Cycle& cy = cyc[c];
        ++res[c].passes;
        const double left = arnoldi_step(xs[c], nd, q, s);
        cy.steps = s;
        // Ends the cycle: the estimate is small enough, the basis cannot grow (the space holds
        // the solution: an exact zero), or the Krylov dimension is reached.
        if (!(left > early_end_share * eps * cyc[c].bnorm) || s == q) cy.going = false;
      }
    }
    for (int c : active) {
      res[c].nmbit = nmbit + 1;
      res[c].difit = correct(xs[c], nd, q, cyc[c].steps);
    }
  }
  return active;
}

}  // namespace

std::vector<ItResult> it(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf,
                         std::span<const ItVectors> xs, double eps, int imm, int itlim,
                         std::span<std::ostream* const> logs, const ItDisplay& display) {
  const int nd = sys.nd, q = imm;
  assert(q >= 1 && logs.size() == xs.size());
  assert(buf.w.size() >= 2 * std::size_t(sys.nimax));
  const SerialBlas serial;
  std::vector<ItResult> res(xs.size());
  std::vector<Cycle> cyc(xs.size());
  std::vector<double*> bsq(xs.size());
  for (std::size_t c = 0; c < xs.size(); ++c)
    bsq[c] = &cyc[c].bsq;
  // Every block's share of column s for each active right-hand side in turn; in the first
  // pass, bsq[c] gathers |P b|^2 of right-hand side c.
  const auto forward = [&](std::span<const int> active, int s, bool first) {
    const auto block = [&](int k) {
      for (int c : active)
        it_block(sys, buf, xs[c], k, s, first ? bsq[c] : nullptr);
    };
    each_record(sys, file, buf, block, display.console);
  };
  const auto report = [&](int c) {
    const ItResult& r = res[c];
    *logs[c] << "it(...): iteration  " << iw(r.nmbit, 3) << "  ||u-u0||=" << es(r.difit, 10, 2)
             << "  residual=" << es(r.residual, 10, 2) << '\n'
             << std::flush;  // a long iteration can be followed in the log
    if (display.screen)
      display.screen->progress("solving " + iw(display.ic + c, 2) + " of " + iw(display.m, 2) +
                               ": iter." + iw(r.nmbit, 2) + " err. " + es(r.residual, 8, 2));
  };
  for (int c : lockstep_gmres(xs, nd, q, eps, itlim, res, cyc, forward, report)) {
    res[c].nerr = 1;
    *logs[c] << sys.pb.c().text.too_many_iterations << '\n';
  }
  return res;
}

std::vector<ItResult> it_adjoint(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf,
                                 std::span<const ItVectors> xs, double eps, int imm, int itlim,
                                 const ItDisplay& display) {
  const Problem& pb = sys.pb;
  const int nd = sys.nd, ld = sys.nimax, q = imm;
  assert(q >= 1 && buf.w.size() >= std::size_t(ld));
  const SerialBlas serial;
  std::vector<ItResult> res(xs.size());
  std::vector<Cycle> cyc(xs.size());
  for (std::size_t c = 0; c < xs.size(); ++c)
    cyc[c].bnorm = norm(nd, xs[c].b.data());
  // Column s = A^T P^T z, z the iterate (s = 0, then minus b) or basis vector s-1: block k adds
  // its rows' transpose times D_k^-T z_k; the constraint row c (idmn != 0, not preconditioned)
  // adds c z(nd).
  const auto transposed = [&](std::span<const int> active, int s, bool) {
    for (int c : active)
      std::fill_n(column(xs[c], nd, s), nd, 0.0);
    const auto block = [&](int k) {
      const int nk = pb.el(k).ni, r0 = sys.off[k];
      for (int c : active) {
        const ItVectors& x = xs[c];
        const double* z = s == 0 ? x.u.data() : column(x, nd, s - 1);
        std::copy_n(z + r0, nk, buf.w.begin());
        solve_transposed(ld, nk, buf.d, buf.w, buf.piv);
        cblas_dgemv(CblasColMajor, CblasTrans, nk, nd, 1.0, buf.r.data(), ld, buf.w.data(), 1, 1.0,
                    column(x, nd, s), 1);
      }
    };
    each_record(sys, file, buf, block, display.console);
    for (int c : active) {
      const ItVectors& x = xs[c];
      const double* z = s == 0 ? x.u.data() : column(x, nd, s - 1);
      if (pb.idmn != 0) cblas_daxpy(nd, z[nd - 1], sys.last.data(), 1, column(x, nd, s), 1);
      if (s == 0) cblas_daxpy(nd, -1.0, x.b.data(), 1, column(x, nd, 0), 1);
    }
  };
  const auto report = [&](int c) {
    if (display.screen)
      display.screen->progress("refining " + iw(display.ic + c, 2) + " of " + iw(display.m, 2) +
                               ": iter." + iw(res[c].nmbit, 2) + " err. " +
                               es(res[c].residual, 8, 2));
  };
  for (int c : lockstep_gmres(xs, nd, q, eps, itlim, res, cyc, transposed, report))
    res[c].nerr = 1;
  return res;
}

ItResult it(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf, const ItVectors& x,
            double eps, int imm, int itlim, std::ostream& log, const ItDisplay& display) {
  std::ostream* const logs[] = {&log};
  return it(sys, file, buf, {&x, 1}, eps, imm, itlim, logs, display)[0];
}

}  // namespace ostrel
