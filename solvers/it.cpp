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

[[noreturn]] void stop_unreadable(const Problem& pb) {
  Halt h;
  h.console.push_back(pb.c().text.cannot_read_scratch);
  halt(std::move(h));
}

// Column s of the Krylov array.
double* column(const ItVectors& x, int nd, int s) {
  return x.v.data() + std::size_t(s) * nd;
}

// One pass over the scratch file: every block's share of column s, for each right-hand side in
// `active` (indices into xs) in turn while the block's record is in the buffers.
void pass(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf,
          std::span<const ItVectors> xs, std::span<const int> active, int s) {
  file.rewind();
  for (int k = 1; k <= sys.pb.n(); ++k) {
    if (!file.read_record(sys.pb.el(k).ni, sys.nd, buf.r.data(), sys.nimax, buf.d.data(), sys.nimax,
                          buf.piv.data()))
      stop_unreadable(sys.pb);
    for (int c : active)
      it_block(sys, buf, xs[c], k, s);
  }
}

// The largest |V(i,0)|; not a number when a component is not.
double largest(std::span<const double> v) {
  double r = 0;
  for (double a : v) {
    if (std::isnan(a)) return a;
    r = std::max(r, std::fabs(a));
  }
  return r;
}

// The end of a cycle: normal equations over columns 1..q, coefficients, correction
// d = V(:,0..q-1) g (kept in column q, which is no longer needed), u = u - d, u0 = u.
// Returns |d|_2 / nd.
double correct(const BlockSystem& sys, const ItVectors& x, int q) {
  const int nd = sys.nd;
  const double* v0 = column(x, nd, 0);
  const double* v1 = column(x, nd, 1);
  double* d = column(x, nd, q);
  cblas_dsyrk(CblasColMajor, CblasLower, CblasTrans, q, nd, 1.0, v1, nd, 0.0, x.h.data(), q);
  for (int p = 0; p < q; ++p)
    for (int pp = 0; pp < p; ++pp)
      x.h[std::size_t(p) * q + pp] = x.h[std::size_t(pp) * q + p];
  std::ostream quiet(nullptr);
  decomp(q, q, x.h, x.hpiv, 1, quiet, sys.pb.c().tiny);
  cblas_dgemv(CblasColMajor, CblasTrans, nd, q, 1.0, v1, nd, v0, 1, 0.0, x.g.data(), 1);
  solve(q, q, x.h, x.g, x.hpiv);
  cblas_dgemv(CblasColMajor, CblasNoTrans, nd, q, 1.0, v0, nd, x.g.data(), 1, 0.0, d, 1);
  cblas_daxpy(nd, -1.0, d, 1, x.u.data(), 1);
  std::copy_n(x.u.begin(), nd, x.u0.begin());
  return std::sqrt(cblas_ddot(nd, d, 1, d, 1)) / nd;
}

}  // namespace

void it_block(const BlockSystem& sys, const BlockBuffers& buf, const ItVectors& x, int k, int s) {
  const Problem& pb = sys.pb;
  const int nd = sys.nd, ld = sys.nimax, nk = pb.el(k).ni, r0 = sys.off[k];
  const double* z = s == 0 ? x.u.data() : column(x, nd, s - 1);
  double* w = buf.w.data();
  if (pb.el(k).itype == 1 || pb.igg != 0) {
    cblas_dgemv(CblasColMajor, CblasNoTrans, nk, nd, 1.0, buf.r.data(), ld, z, 1, 0.0, w, 1);
  } else {
    au(pb, buf.r, ld, {z, std::size_t(nd)}, buf.w, sys.tcol.subspan(r0), sys.xcol.subspan(r0),
       sys.ycol.subspan(r0), k);
  }
  if (s == 0)
    for (int j = 0; j < nk; ++j)
      w[j] -= x.b[r0 + j];
  solve(ld, nk, buf.d, buf.w, buf.piv);
  std::copy_n(w, nk, column(x, nd, s) + r0);
  if (k == pb.n() && pb.idmn != 0)
    column(x, nd, s)[nd - 1] = cblas_ddot(nd, sys.last.data(), 1, z, 1);
}

std::vector<ItResult> it(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf,
                         std::span<const ItVectors> xs, double eps, int imm, int itlim,
                         std::span<std::ostream* const> logs, const ItDisplay& display) {
  const int nd = sys.nd, q = imm;
  assert(q >= 1 && logs.size() == xs.size());
  const SerialBlas serial;
  std::vector<ItResult> res(xs.size());
  std::vector<int> active;  // the right-hand sides still iterating, in their order
  for (std::size_t c = 0; c < xs.size(); ++c) {
    const ItVectors& x = xs[c];
    assert(x.v.size() >= std::size_t(nd) * (q + 1));
    assert(x.h.size() >= std::size_t(q) * q && x.g.size() >= std::size_t(q));
    std::copy_n(x.u0.begin(), nd, x.u.begin());
    active.push_back(int(c));
  }
  // The residual of pass 0 for right-hand side c: logged, shown, and true when c has converged.
  const auto converged = [&](int c) {
    ItResult& r = res[c];
    r.residual = largest({column(xs[c], nd, 0), std::size_t(nd)});
    *logs[c] << "it(...): iteration  " << iw(r.nmbit, 3) << "  ||u-u0||=" << es(r.difit, 10, 2)
             << "  residual=" << es(r.residual, 10, 2) << '\n';
    if (display.screen)
      display.screen->progress("solving " + iw(display.ic + c, 2) + " of " + iw(display.m, 2) +
                               ": iter." + iw(r.nmbit, 2) + " err. " + es(r.residual, 8, 2));
    if (r.nmbit != 0 && r.difit <= eps) r.nerr = 0;  // a correction norm not a number goes on
    return r.nerr == 0;
  };
  // All active right-hand sides have the same count. It can pass the largest int only by one;
  // it is kept wider.
  for (long long nmbit = 0; nmbit <= itlim && !active.empty(); ++nmbit) {
    for (int c : active)
      std::fill_n(xs[c].v.begin(), std::size_t(nd) * (q + 1), 0.0);
    for (int s = 0; s <= q; ++s) {
      pass(sys, file, buf, xs, active, s);
      if (s != 0) continue;
      std::vector<int> going;
      for (int c : active)
        if (!converged(c)) going.push_back(c);
      active.swap(going);
      if (active.empty()) return res;
    }
    for (int c : active) {
      res[c].nmbit = nmbit + 1;
      res[c].difit = correct(sys, xs[c], q);
    }
  }
  for (int c : active) {
    res[c].nerr = 1;
    *logs[c] << sys.pb.c().text.too_many_iterations << '\n';
  }
  return res;
}

ItResult it(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf, const ItVectors& x,
            double eps, int imm, int itlim, std::ostream& log, const ItDisplay& display) {
  std::ostream* const logs[] = {&log};
  return it(sys, file, buf, {&x, 1}, eps, imm, itlim, logs, display)[0];
}

std::size_t it_vectors_bytes(int nd, int imm) {
  const std::size_t n = nd, q = imm;
  // u, b and the Krylov array of q + 1 columns; H, g; the pivots of H.
  return sizeof(double) * (n * (q + 3) + q * q + q) + sizeof(int) * q;
}

}  // namespace ostrel
