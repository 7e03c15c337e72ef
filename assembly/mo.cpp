#include "assembly/mo.hpp"

#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <numeric>
#include <ostream>
#include <sstream>
#include <vector>

#include "assembly/fill.hpp"
#include "assembly/resolution.hpp"
#include "assembly/results.hpp"
#include "assembly/units.hpp"
#include "base/fields.hpp"
#include "base/halt.hpp"
#include "base/vector_clones.hpp"
#include "geometry/element.hpp"
#include "geometry/grid.hpp"
#include "kernels/element_quadrature.hpp"
#include "kernels/green.hpp"
#include "kernels/integrals.hpp"
#include "solvers/it.hpp"
#include "solvers/lu.hpp"
#include "solvers/ort.hpp"
#include "solvers/scratch.hpp"

namespace ostrel {

namespace {

// Relative residual of the adjoint iterations that refine the charges out of core: the
// refined charge's error is about the product of both relative residuals times the diagonal,
// so with eps 1e-9 this leaves 1e-15, far below the rounding (refined_error_floor).
constexpr double adjoint_eps = 1e-6;
// The error of a refined charge where rounding decides, relative to the diagonal: refined and
// in-core charges differed by at most 1.2e-15 on a bundle of 36 wires over ground, 1.8e-15 for
// 16 wires in a grounded channel and 1.4e-13 on the shielded bundle of 49 coated wires, the
// last whatever the tolerances of both iterations (1e-9 or 1e-12, 1e-6 or 1e-9): the
// rounding of either solution, magnified by the condition of the system, in core as well. A
// charge refined down to it is as good as in core and is not judged further.
constexpr double refined_error_floor = 2e-13;

// A conductor point and what its charge needs besides the densities.
struct ChargePoint {
  int e = 0;                  // element
  int q = 0;                  // conductor number
  int g = 0;                  // global index of the point
  double ds = 0, wk = 0;      // length factor and parameter integral of its basis function
  double a = 0, b = 0;        // materials on the minus and plus side
  bool double_layer = false;  // materials differ: the double-layer sum is needed
};

// The conductor points in the order of the charge integration (element, then point).
std::vector<ChargePoint> charge_points(const System& s, std::span<double> buf) {
  const Problem& pb = s.pb;
  std::vector<ChargePoint> pts;
  for (int e = 1; e <= pb.n(); ++e) {
    const Element& el = pb.el(e);
    if (el.itype != 1 || el.isign == 0) continue;
    s.quad.element_integrals(e, code_unit, 0, 0, 0, 0, 0, buf);
    for (int k = 1; k <= el.ni; ++k) {
      ChargePoint p;
      p.e = e;
      p.q = el.isign;
      p.g = s.off[e] + k;
      p.ds = dlength(pb, e, s.tcol[p.g - 1]);
      p.wk = buf[k - 1];
      p.a = el.amns;
      p.b = el.aplus;
      p.double_layer = !(std::fabs(p.a - p.b) <= pb.c().tiny);
      pts.push_back(p);
    }
  }
  return pts;
}

// Double-layer points whose sums share one pass over the densities: their rows (8 npts reals)
// stay in the cache while the densities are loaded once for the block instead of once per point.
constexpr std::size_t charge_block = 8;
// Conductors whose sums advance together in one vector of four lanes (AVX2's width).
constexpr std::size_t charge_lanes = 4;
// Points per tile of the pass: the tile's rows (8 x 512 reals) and densities (512 x m reals)
// stay in the first- and second-level caches while every group of four conductors passes.
constexpr int charge_tile = 512;

typedef double charge_vector __attribute__((vector_size(charge_lanes * sizeof(double))));
// A vector as an element of std::vector, which would drop the vector type's alignment.
struct alignas(charge_vector) ChargeLanes {
  charge_vector v;
};

// The densities of all solutions arranged for the double-layer sums: group g of four
// conductors, point c at lanes [(g npts + c) 4, +4); missing conductors of the last group are 0.
struct LaneDensities {
  int npts = 0;
  std::size_t groups = 0;
  std::vector<ChargeLanes> v;
  LaneDensities(const std::vector<std::vector<double>>& dens, int npts_)
      : npts(npts_), groups((dens.size() + charge_lanes - 1) / charge_lanes), v(groups * npts_) {
    for (std::size_t ic = 0; ic < dens.size(); ++ic)
      for (int c = 0; c < npts; ++c)
        v[(ic / charge_lanes) * npts + c].v[ic % charge_lanes] = dens[ic][c];
  }
};

// sum[b] lanes g += d(c, g) * row_b(c) for c = 0..npts-1 in this order, for every group g of
// four conductors and the count <= charge_block rows of a block (row b at rows + b npts). The
// sums stay in registers across a tile of points; each lane is one conductor's sum, with a
// multiplication and an addition per term as a scalar loop would do them.
OSTREL_VECTOR_CLONES void add_double_layer_sums(const LaneDensities& d, const double* rows,
                                                std::size_t count, ChargeLanes* const* sum) {
  const int npts = d.npts;
  for (int c0 = 0; c0 < npts; c0 += charge_tile) {
    const int c1 = std::min(c0 + charge_tile, npts);
    for (std::size_t g = 0; g < d.groups; ++g) {
      const ChargeLanes* dg = &d.v[g * npts];
      charge_vector acc[charge_block];
      for (std::size_t b = 0; b < count; ++b)
        acc[b] = sum[b][g].v;
      if (count == charge_block) {
        for (int c = c0; c < c1; ++c) {
          const charge_vector dc = dg[c].v;
          for (std::size_t b = 0; b < charge_block; ++b)
            acc[b] += dc * rows[b * npts + c];
        }
      } else {
        for (int c = c0; c < c1; ++c)
          for (std::size_t b = 0; b < count; ++b)
            acc[b] += dg[c].v * rows[b * npts + c];
      }
      for (std::size_t b = 0; b < count; ++b)
        sum[b][g].v = acc[b];
    }
  }
}

// The flux integrals at conductor point cp of every basis function, into row[0..npts-1]: the
// double-layer row of the point's charge (an integral known to vanish as an exact zero).
void flux_row(const System& s, const ChargePoint& cp, double* row, std::span<double> buf) {
  const Problem& pb = s.pb;
  const double t = s.tcol[cp.g - 1], x = s.xcol[cp.g - 1], y = s.ycol[cp.g - 1];
  const Point n = nelem(pb, cp.e, t);
  for (int j = 1; j <= pb.n(); ++j) {
    if (pb.el(j).itype != 1 && vanishes(pb, j, x, y, n)) {
      std::fill_n(row + s.off[j], pb.el(j).ni, 0.0);
      continue;
    }
    s.quad.element_integrals(j, code_flux, t, x, y, n.x, n.y, buf);
    std::copy_n(buf.begin(), pb.el(j).ni, row + s.off[j]);
  }
}

// Integrates the free charge of every conductor for every solution into ge (m x m), column ic
// from dens[ic-1], in units of eps0 (the kernel's normalisation, kernel_material, included). The
// double-layer sum of a point uses the same integrals for every conductor, so each is evaluated
// once and applied to all densities at once: the densities of four conductors lie side by side
// (LaneDensities), so that the sums of a block of points advance together in vector registers,
// each in its own order, element by element, node by node. An integral known
// to vanish takes part as an exact zero, which leaves a sum unchanged. The numbers therefore do
// not depend on this sharing nor on the number of threads. Cost: one flux row (element
// integrals over every element) per conductor point between different materials, and npts
// multiply-adds per such point and conductor.
void integrate_charges(const System& s, int m, const std::vector<std::vector<double>>& dens,
                       std::span<double> ge, std::vector<std::vector<double>>& bufs) {
  const Problem& pb = s.pb;
  const double pi = pb.c().pi;
  const double scale = kernel_material(pb);
  const std::vector<ChargePoint> pts = charge_points(s, bufs[0]);
  const int npts = s.nd - (pb.idmn != 0 ? 1 : 0);
  const LaneDensities lanes(dens, npts);
  std::vector<std::size_t> layered;  // the points with a double-layer sum
  for (std::size_t p = 0; p < pts.size(); ++p)
    if (pts[p].double_layer) layered.push_back(p);
  // Per point, its sums for the groups of four conductors.
  std::vector<ChargeLanes> sums(pts.size() * lanes.groups, ChargeLanes{});
  const std::size_t blocks = (layered.size() + charge_block - 1) / charge_block;
#pragma omp parallel
  {
    std::vector<double> rows(charge_block * npts);
    std::span<double> buf = bufs[omp_get_thread_num()];
#pragma omp for schedule(dynamic, 1)
    for (std::size_t blk = 0; blk < blocks; ++blk) {
      const std::size_t first = blk * charge_block;
      const std::size_t count = std::min(charge_block, layered.size() - first);
      for (std::size_t b = 0; b < count; ++b) {
        flux_row(s, pts[layered[first + b]], &rows[b * npts], buf);
      }
      std::array<ChargeLanes*, charge_block> sum{};
      for (std::size_t b = 0; b < count; ++b)
        sum[b] = &sums[layered[first + b] * lanes.groups];
      add_double_layer_sums(lanes, rows.data(), count, sum.data());
    }
  }
  // Sum in the order of the points, as one conductor after the other would.
  for (std::size_t p = 0; p < pts.size(); ++p) {
    const ChargePoint& cp = pts[p];
    for (int ic = 1; ic <= m; ++ic) {
      double sigma = (cp.a + cp.b) * pi * dens[ic - 1][cp.g - 1] / cp.ds;
      if (cp.double_layer)
        sigma -= (cp.b - cp.a) *
                 sums[p * lanes.groups + (ic - 1) / charge_lanes].v[(ic - 1) % charge_lanes];
      ge[std::size_t(ic - 1) * m + (cp.q - 1)] += scale * sigma * cp.ds * cp.wk;
    }
  }
}

// The charge of every conductor as a linear functional of a solution: the charge of conductor
// q in solution ic is g[q-1] . dens[ic-1], the terms of integrate_charges summed in another
// order. Cost: one flux row per conductor point between different materials.
std::vector<std::vector<double>> charge_functionals(const System& s, int m,
                                                    std::vector<std::vector<double>>& bufs) {
  const Problem& pb = s.pb;
  const double pi = pb.c().pi, scale = kernel_material(pb);
  const int npts = s.nd - (pb.idmn != 0 ? 1 : 0);
  std::vector<std::vector<double>> g(m, std::vector<double>(s.nd, 0.0));
  std::vector<double> row(npts);
  for (const ChargePoint& cp : charge_points(s, bufs[0])) {
    std::vector<double>& gq = g[cp.q - 1];
    gq[cp.g - 1] += scale * (cp.a + cp.b) * pi * cp.wk;
    if (!cp.double_layer) continue;
    flux_row(s, cp, row.data(), bufs[0]);
    const double f = -scale * (cp.b - cp.a) * cp.ds * cp.wk;
    for (int c = 0; c < npts; ++c)
      gq[c] += f * row[c];
  }
  return g;
}

// Stop of a singular system: the factorisation met pivots below its tolerance.
[[noreturn]] void singular_system(int skipped) {
  const std::string text =
      " The boundary-element system is singular: " + std::to_string(skipped) +
      " pivot(s) below 1e-9. The matrices above mean nothing; look for coinciding or"
      " overlapping elements.";
  Halt h;
  h.console = h.log = {text};
  halt(std::move(h));
}

// The right-hand side of conductor ic on element e: potential 1 on the conductor's elements, 0
// on every other element (other conductors and the flux equations).
double potential(const Element& e, int ic) {
  return e.itype == 1 && e.isign == ic ? 1.0 : 0.0;
}

// How many of `remaining` right-hand sides of order nd can iterate in lockstep (Krylov
// dimension q) in the memory the run can still afford, beside the work arrays; 0 when none.
int lockstep_batch(int remaining, int nd, int q) {
  return int(
      std::min<std::size_t>(std::max(remaining, 0), affordable_bytes() / it_vectors_bytes(nd, q)));
}

// The solutions of the out-of-core mode for conductors first..last (returned), left in
// dens[first-1..last-1], the unconverged ones added to not_converged. The console build solves
// every remaining conductor at once when the iterations' vectors fit in what the run can afford
// (as many as fit, at least one): one read-back of the records serves every right-hand side and
// its block-Jacobi start (each element's part solved with its diagonal factors), and one it()
// iterates them all in lockstep; each conductor's log lines, buffered, are written after it in
// conductor order with its two summary lines, and its console mark, so that the log and the
// console read as if the conductors were solved one after the other. The first conductor works
// in the arrays of w, the others in vectors of their own; the windowed build solves one conductor
// with its progress display.
int solve_out_of_core(const System& s, const Dimensions& dims, const SolverControls& ctl, Work& w,
                      int first, std::vector<std::vector<double>>& dens,
                      std::vector<int>& not_converged, std::vector<double>& residuals,
                      std::vector<std::vector<double>>& rp, Streams& io) {
  const Problem& pb = s.pb;
  const int nd = s.nd, nimax = dims.nimax, q = ctl.imm;
  int count = 1;
  std::vector<ItStore> own;
  if (!pb.c().windowed && first < dims.m) {
    count = lockstep_batch(dims.m - first, nd, q) + 1;
    try {
      own.reserve(count - 1);
      for (int c = 1; c < count; ++c) {
        own.emplace_back(nd, q);
        dens[first + c - 1].resize(nd);
      }
    } catch (const std::bad_alloc&) {
      count = 1;
      own = {};
    }
  }
  std::vector<ItVectors> xs{{w.dens, w.w1, w.rhs, w.w2, w.w3, w.w4, w.w6}};
  std::vector<std::span<double>> rhs{w.rhs};
  for (int c = 1; c < count; ++c) {
    xs.push_back(own[c - 1].vectors(dens[first + c - 1]));
    rhs.push_back(own[c - 1].b);
  }

  w.scratch->rewind();
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& e = pb.el(i);
    if (!w.scratch->read_record(e.ni, nd, w.ama.data(), w.ld, w.blk.data(), nimax, w.ipvt.data())) {
      Halt h;
      h.console.push_back(" Can not read file <" +
                          (w.scratch->name().empty() ? std::string("osl.tmp") : w.scratch->name()) +
                          ">");
      h.mid_line = true;
      halt(std::move(h));
    }
    for (int c = 0; c < count; ++c) {
      const ItVectors& x = xs[c];
      const double v = potential(e, first + c);
      for (int k = 1; k <= e.ni; ++k)
        rhs[c][s.off[i] + k - 1] = x.u0[s.off[i] + k - 1] = v;
      if (pb.idmn != 0) rhs[c][nd - 1] = x.u0[nd - 1] = 0.0;
      solve(nimax, e.ni, w.blk, x.u0.subspan(s.off[i]), w.ipvt);
    }
  }
  const BlockSystem sys{pb, s.off, s.tcol, s.xcol, s.ycol, w.last, nd, nimax};
  const BlockBuffers buf{w.ama, w.blk, w.ipvt, w.w5};
  std::vector<std::ostringstream> logs(count > 1 ? count : 0);
  std::vector<std::ostream*> to(count, &io.log);
  for (int c = 0; c < int(logs.size()); ++c)
    to[c] = &logs[c];
  std::vector<ItResult> res;
  try {
    res = it(sys, *w.scratch, buf, xs, ctl.eps, q, ctl.itlim, to,
             {io.screen, dims.m, first, pb.c().windowed ? nullptr : &io.console});
  } catch (const Halt&) {
    for (const std::ostringstream& l : logs)
      io.log << l.str();
    throw;
  }
  for (int c = 0; c < count; ++c) {
    const ItResult& r = res[c];
    if (c > 0) io.console << '.' << std::flush;  // the first conductor's is written
    if (!logs.empty()) io.log << logs[c].str();
    io.log << " it: nerr=" << iw(r.nerr, 3) << "   nmbit = " << iw(r.nmbit, 3) << '\n'
           << " residual=" << es(r.residual, 10, 3) << "  ||difit||=" << es(r.difit, 10, 3) << '\n';
    if (r.nerr != 0) not_converged.push_back(first + c);
    residuals[first + c - 1] = r.residual;
    // The residual P(A u - b) of the solution, which the iteration leaves in its first basis
    // column when it has converged: what refined_charges needs (none when it cannot be kept).
    if (r.nerr == 0) try {
        rp[first + c - 1].assign(xs[c].v.begin(), xs[c].v.begin() + nd);
      } catch (const std::bad_alloc&) {
      }
  }
  dens[first - 1].assign(w.dens.begin(), w.dens.begin() + nd);
  return first + count - 1;
}

// Out of core: the charges of every conductor for every solution into ge, from the charge
// functionals g_q (ge(q, ic) = g_q . dens[ic-1]), each refined by the adjoint of its functional
// (it_adjoint, as many conductors at once as the memory allows). With rp[ic-1] the last
// preconditioned residual of solution ic, the charge becomes g_q . dens - phi_q . rp: its error
// falls from the order of solution ic's relative residual to that times the adjoint's, so that
// the far couplings, many orders of magnitude below the diagonal, get their printed digits.
// adj[q-1] receives the adjoint's relative residual, or stays 1 where conductor q's charges are
// not refined (its iteration did not converge, or the memory for it could not be had). Returns
// false, ge untouched, when the functionals themselves cannot be had (integrate_charges then
// serves). The console gets a pass_mark per pass over the scratch file.
bool refined_charges(const System& s, const Dimensions& dims, const SolverControls& ctl, Work& w,
                     const std::vector<std::vector<double>>& dens,
                     const std::vector<std::vector<double>>& rp, std::vector<double>& adj,
                     std::vector<std::vector<double>>& bufs, Streams& io) {
  const Problem& pb = s.pb;
  const int m = dims.m, nd = s.nd, q = ctl.imm;
  std::vector<std::vector<double>> g;
  try {
    g = charge_functionals(s, m, bufs);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int ic = 1; ic <= m; ++ic)
    for (int qc = 1; qc <= m; ++qc)
      w.ge[std::size_t(ic - 1) * m + (qc - 1)] =
          std::inner_product(g[qc - 1].begin(), g[qc - 1].end(), dens[ic - 1].begin(), 0.0);
  const BlockSystem sys{pb, s.off, s.tcol, s.xcol, s.ycol, w.last, nd, dims.nimax};
  const BlockBuffers buf{w.ama, w.blk, w.ipvt, w.w5};
  long long passes = 0;
  for (int first = 1; first <= m;) {
    const int count = std::max(1, lockstep_batch(m - first + 1, nd, q));
    std::vector<ItStore> store;
    std::vector<std::vector<double>> phi;
    std::vector<ItVectors> xs;
    try {
      for (int c = 0; c < count; ++c) {
        store.emplace_back(nd, q);
        store.back().b = std::move(g[first + c - 1]);
        phi.emplace_back(nd, 0.0);
      }
    } catch (const std::bad_alloc&) {
      break;
    }
    for (int c = 0; c < count; ++c)
      xs.push_back(store[c].vectors(phi[c]));
    const long long before = w.scratch->rewinds();
    const std::vector<ItResult> res =
        it_adjoint(sys, *w.scratch, buf, xs, adjoint_eps, q, ctl.itlim,
                   {io.screen, m, first, pb.c().windowed ? nullptr : &io.console});
    passes += w.scratch->rewinds() - before;
    for (int c = 0; c < count; ++c) {
      if (res[c].nerr != 0) continue;
      const int qc = first + c;
      adj[qc - 1] = res[c].residual;
      for (int ic = 1; ic <= m; ++ic)
        if (!rp[ic - 1].empty())
          w.ge[std::size_t(ic - 1) * m + (qc - 1)] -=
              std::inner_product(phi[c].begin(), phi[c].end(), rp[ic - 1].begin(), 0.0);
    }
    first += count;
  }
  io.log << " it(...): " << passes << " passes over the scratch file to refine the charges\n";
  return true;
}

// The message of solutions that stopped at the iteration limit, for the console and the log.
void add_not_converged(Halt& h, const std::vector<int>& conductors, const SolverControls& ctl) {
  std::string text = " Not converged: the out-of-core iteration reached its limit itlim = " +
                     std::to_string(ctl.itlim) + " for conductor(s)";
  for (int ic : conductors) {
    text += ' ';
    text += std::to_string(ic);
  }
  text += "; the matrices above are not reliable.";
  h.console.push_back(text);
  h.log.push_back(text);
}

}  // namespace

void mo(const Problem& pb, const Dimensions& dims, const SolverControls& ctl, Work& w,
        Streams& io) {
  const int n = dims.n, m = dims.m, nd = dims.nd, ld = w.ld;
  const bool in_core = ctl.iswitch == 0;
  const int npts = nd - (pb.idmn != 0 ? 1 : 0);

  // 1. Collocation points and the quadrature points of every element.
  collocation_points(pb, w.tcol.first(npts), w.xcol.first(npts), w.ycol.first(npts));
  const ElementQuadrature quad(pb, w.tcol.first(npts));
  const System s(pb, quad, w.tcol, w.xcol, w.ycol, nd);
  const BuildConstants& build = pb.c();
  if (build.windowed) io.log << "grids and collocation points computed;\n";
  io.console << "Filling BEM matrix " << std::flush;
  // An unknown kernel stops the run where its first evaluation would; the parallel fill below
  // must not throw.
  check_green(pb);

  // 2./3. Fill the rows of one element after the other, in parallel over the element's rows.
  std::vector<std::vector<double>> bufs(omp_get_max_threads(), std::vector<double>(dims.nimax));
  for (int i = 1; i <= n; ++i) {
    const int ni = pb.el(i).ni;
    fill_element(s, i, w.ama, ld, in_core, bufs);
    if (pb.idmn != 0 && i == n) {
      if (in_core)
        fill_charge_row(s, w.ama.subspan(nd - 1), ld, bufs[0]);
      else
        fill_charge_row(s, w.last, 1, bufs[0]);
    }
    if (!in_core) {
      for (int l = 1; l <= ni; ++l)
        for (int k = 1; k <= ni; ++k)
          w.blk[std::size_t(l - 1) * dims.nimax + (k - 1)] =
              w.ama[std::size_t(s.off[i] + l - 1) * ld + (k - 1)];
    }
    io.log << "block string for  i = " << iw(i, 2) << " is ready\n";
    if (!in_core) {
      decomp(dims.nimax, ni, w.blk, w.ipvt, 1, io.console, build.tiny);
      io.log << "writing on disk block string for i = " << iw(i, 3) << '\n';
      w.scratch->write_record(ni, nd, w.ama.data(), ld, w.blk.data(), dims.nimax, w.ipvt.data());
      io.log << "Done\n";
    }
    io.console << '.' << std::flush;
    io.log << std::flush;  // a long fill can be followed in the log
    if (io.screen) io.screen->progress("Filling BEM matrix: " + iw(100LL * i / n, 3) + "%");
  }
  io.console << " Done;\n";

  // 4. Factorisation, or the announcement of the iteration.
  int skipped = 0;
  if (in_core) {
    io.log << build.text.lu_log_before << std::flush;
    skipped = decomp(nd, nd, w.ama, w.ipvt, 0, io.console, build.tiny, io.screen);
    io.log << build.text.lu_log_after << '\n';
    if (io.screen) io.screen->advance(1);
  } else {
    io.log << " it(..) will start with: imm=" << iw(ctl.imm, 2) << "  itlim=" << iw(ctl.itlim, 4)
           << "  eps=" << es(ctl.eps, 8, 2) << "\n\n";
  }
  std::fill(w.ge.begin(), w.ge.end(), 0.0);
  std::fill(w.geinv.begin(), w.geinv.end(), 0.0);
  io.console << "Solving: " << std::flush;

  // 5. One solution per conductor at potential 1, the others at 0. In core, the right-hand
  // sides of all conductors are solved together (one pass over the factor); the progress marks
  // and plots then follow conductor by conductor.
  std::vector<std::vector<double>> dens(m);
  if (in_core) {
    std::vector<double> many(static_cast<std::size_t>(nd) * m, 0.0);  // idmn's row stays 0
    for (int ic = 1; ic <= m; ++ic)
      for (int i = 1; i <= n; ++i)
        std::fill_n(many.begin() + static_cast<std::ptrdiff_t>(ic - 1) * nd + s.off[i], pb.el(i).ni,
                    potential(pb.el(i), ic));
    solve_many(nd, nd, w.ama, many, nd, m, w.ipvt);
    for (int ic = 1; ic <= m; ++ic)
      dens[ic - 1].assign(many.begin() + static_cast<std::ptrdiff_t>(ic - 1) * nd,
                          many.begin() + static_cast<std::ptrdiff_t>(ic) * nd);
  }
  std::vector<int> not_converged;
  std::vector<double> residuals(m);        // out of core: each conductor's relative residual
  std::vector<std::vector<double>> rp(m);  // and its last residual vector, P(A u - b)
  for (int ic = 1; ic <= m; ++ic) {
    io.console << '.' << std::flush;
    if (io.screen) io.screen->cross_section(ic);
    if (!in_core) {
      const int last =
          solve_out_of_core(s, dims, ctl, w, ic, dens, not_converged, residuals, rp, io);
      if (io.screen) io.screen->charges(ic, dens[ic - 1], s.tcol);
      ic = last;  // conductors ic..last are solved
      continue;
    }
    if (io.screen) io.screen->charges(ic, dens[ic - 1], s.tcol);
  }

  // The iteration's display stayed on one row for all conductors; what follows goes below it.
  if (!in_core && io.screen) io.screen->advance(1);
  // What the out-of-core solution cost: one pass reads the whole scratch file.
  if (!in_core)
    io.log << " it(...): " << w.scratch->rewinds() << " passes over the scratch file for " << m
           << " conductor(s)\n";

  // 6. Charges of every conductor for every solution.
  // Out of core they come from the charges as functionals of the solutions, which their
  // refinement needs as well.
  std::vector<double> adj(m, 1.0);  // each conductor's adjoint residual (1: not refined)
  if (in_core || !refined_charges(s, dims, ctl, w, dens, rp, adj, bufs, io))
    integrate_charges(s, m, dens, w.ge, bufs);
  io.console << " Done;\n";
  io.log << "ge(i,j) done\n";

  // 7. Symmetry (the windowed build reports ge as integrated).
  if (!build.lean_results)
    for (int q = 1; q <= m; ++q)
      for (int p = 1; p < q; ++p) {
        double& pq = w.ge[std::size_t(q - 1) * m + (p - 1)];
        double& qp = w.ge[std::size_t(p - 1) * m + (q - 1)];
        pq = qp = (pq + qp) * 0.5;
      }

  // 8. Hand-over to the results; the scratch file is deleted first. Out of core, the
  // non-dimensional matrix is kept to judge afterwards what the residuals leave uncertain.
  if (!in_core) w.scratch->close();
  const std::size_t mm = std::size_t(m) * m;
  std::vector<double> ge_solved;
  if (!in_core) ge_solved.assign(w.ge.begin(), w.ge.begin() + mm);
  try {
    results(pb, m, w, io);
  } catch (Halt& h) {
    // Results that are not valid: the console says why, also when the iteration is the cause.
    if (!not_converged.empty()) add_not_converged(h, not_converged, ctl);
    throw;
  }
  if (skipped > 0) singular_system(skipped);
  if (!not_converged.empty()) {
    Halt h;
    add_not_converged(h, not_converged, ctl);
    halt(std::move(h));
  }
  // Converged out of core, but an entry whose printed digits the residuals do not determine
  // could print otherwise than the exact solution: the results stand, and the run says so.
  if (!in_core) {
    const bool inverse = reports_inverse(pb);
    // The error level of ge(p, q), the charge of conductor p in solution q, refined or not (0
    // where it is refined down to the rounding, as good as in core); the matrix is the mean of
    // both one-sided charges.
    const auto level = [&](int p, int q) {
      const bool refined = adj[p] < 1 && !rp[q].empty();
      const double l = residuals[q] * (refined ? adj[p] : 1.0);
      return refined && l <= refined_error_floor ? 0.0 : std::max(l, refined_error_floor);
    };
    std::vector<double> levels(mm);
    for (int q = 0; q < m; ++q)
      for (int p = 0; p < m; ++p)
        levels[p + std::size_t(q) * m] = std::max(level(p, q), level(q, p));
    const Unresolved u = unresolved_entries(ge_solved, (inverse ? w.geinv : w.ge).first(mm),
                                            inverse, levels, m, prf_digits);
    if (u.count > 0) {
      Halt h;
      h.console.push_back(unresolved_message(u, m * m));
      h.log.push_back(h.console.back());
      halt(std::move(h));
    }
  }
}

}  // namespace ostrel
