// The matrix fill against the kernels it evaluates.
//
// BM_fill_row_fast / BM_fill_row_sigal: one row of the boundary-element matrix through the
// fill's fast path (ElementQuadrature) and through per-hat sigal/ilogl, on a problem of 3450
// unknowns: ten circles, ten arcs (radians and degrees) and twenty segments with 80 to 95 nodes
// each. Args: {row kind, igg}. Row kind 0 is a potential row (code 1 on every other element,
// code 0 plus ilogl on the row's own element), 1 a flux row (code 2 everywhere). Counters:
// matrix entries per second and kernel evaluations per second (what each path actually
// evaluates: 12 per entry for sigal, 6 per sub-interval and collocation point for the fast
// path).
//
// BM_kernel_tight_loop / BM_fill_capacity: the whole in-core fill of bench/capacity.inp (9500
// unknowns, free space) against a tight loop that evaluates only the kernels at the same points:
// G = -1/2 ln r^2 with the vector logarithm for potential rows, dG/dn for flux rows, at every
// Gauss point of every element the fill integrates over (6 per sub-interval), for every row,
// parallel over the rows of each element as the fill. Arg: threads. Counter "points/s": kernel
// points per second; BM_fill_capacity also reports "vs_tight", its rate over that of the tight
// loop on the same number of threads (the median over the iterations of a fill against a tight
// loop timed just before it, so that a busier moment of a shared machine weighs on both), and
// "vs_tight_first", the same for its first fill together with the taking of the matrix's fresh
// pages from the system before it, as a run does, and on two threads "vs_one_thread", the
// median of its time on one thread over that on two, each pair timed back to back, and
// "tight_vs_one_thread", the same for the tight loop: what the machine's two processors give.
// Its time is that of the fills alone.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "assembly/fill.hpp"
#include "driver/reading.hpp"
#include "geometry/element.hpp"
#include "geometry/grid.hpp"
#include "kernels/element_quadrature.hpp"
#include "kernels/integrals.hpp"
#include "kernels/vector_log.hpp"
#include "solvers/storage.hpp"

namespace {

using namespace ostrel;

constexpr double channel_width = 10;  // kernel 4: every element lies in 0 < y < 10
constexpr int row_stride = 37;        // rows used: every 37th unknown, cycled

struct Setup {
  Problem pb;
  std::vector<double> tcol, xcol, ycol;
  std::vector<int> owner, first;  // element of each unknown; first unknown of each element
  int nd = 0;
};

Element element(int iform, std::array<double, 5> geom, int ni) {
  Element e;
  e.iform = iform;
  e.geom = geom;
  e.ni = ni;
  e.ileft = 1;
  e.iright = 1;
  return e;
}

Setup make_setup(int igg) {
  Setup s;
  s.pb.igg = igg;
  s.pb.gpars_[0] = channel_width;
  for (int q = 0; q < 10; ++q) {
    const double x = q;
    s.pb.elements.push_back(element(3, {x, 2.0, 0.3, q % 2 ? -1.0 : 0.0, 0}, 95));
    if (q % 2)
      s.pb.elements.push_back(element(1, {x, 5.0, 0.4, 0.0, 3.1}, 90));
    else
      s.pb.elements.push_back(element(2, {x, 5.0, 0.4, 200.0, 20.0}, 90));
    s.pb.elements.push_back(element(0, {x, 8.0, x + 0.8, 8.0, 0}, 80));
    s.pb.elements.push_back(element(0, {x + 0.5, 6.5, x + 0.5, 7.5, 0}, 80));
  }
  for (const Element& e : s.pb.elements) {
    s.first.push_back(s.nd);
    for (int k = 0; k < e.ni; ++k)
      s.owner.push_back(static_cast<int>(s.first.size()));
    s.nd += e.ni;
  }
  s.tcol.resize(s.nd);
  s.xcol.resize(s.nd);
  s.ycol.resize(s.nd);
  collocation_points(s.pb, s.tcol, s.xcol, s.ycol);
  return s;
}

// Row r by the fast path into row[0..nd-1]; returns the kernel evaluations it made.
long long row_fast(const Setup& s, const ElementQuadrature& eq, int r, bool flux,
                   std::vector<double>& row) {
  const int i = s.owner[r];
  const double t = s.tcol[r], x = s.xcol[r], y = s.ycol[r];
  const Point n = nelem(s.pb, i, t);
  long long evals = 0;
  for (int j = 1; j <= s.pb.n(); ++j) {
    const int nj = s.pb.el(j).ni;
    const std::span<double> out(row.data() + s.first[j - 1], nj);
    const int code = flux ? code_flux : (j == i ? code_self : code_potential);
    eq.element_integrals(j, code, t, x, y, n.x, n.y, out);
    evals += 6LL * (nj + 1);
    if (code == code_self) {
      const std::span<const double> T(s.tcol.data() + s.first[j - 1], nj);
      for (int l = 1; l <= nj; ++l)
        out[l - 1] = out[l - 1] + ilogl(s.pb, j, l, T, t);
    }
  }
  return evals;
}

// Row r by per-hat sigal/ilogl.
long long row_sigal(const Setup& s, int r, bool flux, std::vector<double>& row) {
  const int i = s.owner[r];
  const double t = s.tcol[r], x = s.xcol[r], y = s.ycol[r];
  const Point n = nelem(s.pb, i, t);
  long long evals = 0;
  for (int j = 1; j <= s.pb.n(); ++j) {
    const int nj = s.pb.el(j).ni;
    const std::span<const double> T(s.tcol.data() + s.first[j - 1], nj);
    const int code = flux ? code_flux : (j == i ? code_self : code_potential);
    for (int l = 1; l <= nj; ++l) {
      double v = sigal(s.pb, j, l, T, code, t, x, y, n.x, n.y);
      if (code == code_self) v += ilogl(s.pb, j, l, T, t);
      row[s.first[j - 1] + l - 1] = v;
    }
    evals += 12LL * nj;
  }
  return evals;
}

void report(benchmark::State& state, const Setup& s, long long evals) {
  using benchmark::Counter;
  state.counters["entries"] =
      Counter(static_cast<double>(state.iterations()) * s.nd, Counter::kIsRate);
  state.counters["kernel_evals"] = Counter(static_cast<double>(evals), Counter::kIsRate);
  state.counters["unknowns"] = s.nd;
}

void BM_fill_row_fast(benchmark::State& state) {
  const bool flux = state.range(0) != 0;
  const Setup s = make_setup(static_cast<int>(state.range(1)));
  const ElementQuadrature eq(s.pb, s.tcol);
  std::vector<double> row(s.nd), check(s.nd);
  // The fast path must reproduce sigal to the last bits of the logarithms (the bound of the
  // tests); check one row before timing.
  row_fast(s, eq, 100, flux, row);
  row_sigal(s, 100, flux, check);
  for (int c = 0; c < s.nd; ++c)
    if (!(std::fabs(row[c] - check[c]) <= 1e-13 * std::fabs(check[c])))
      state.SkipWithError("fast path differs from sigal");
  long long evals = 0;
  int r = 0;
  for (auto _ : state) {
    evals += row_fast(s, eq, r, flux, row);
    benchmark::DoNotOptimize(row.data());
    r = (r + row_stride) % s.nd;
  }
  report(state, s, evals);
}

void BM_fill_row_sigal(benchmark::State& state) {
  const bool flux = state.range(0) != 0;
  const Setup s = make_setup(static_cast<int>(state.range(1)));
  std::vector<double> row(s.nd);
  long long evals = 0;
  int r = 0;
  for (auto _ : state) {
    evals += row_sigal(s, r, flux, row);
    benchmark::DoNotOptimize(row.data());
    r = (r + row_stride) % s.nd;
  }
  report(state, s, evals);
}

void fill_args(benchmark::internal::Benchmark* b) {
  b->ArgNames({"flux", "igg"});
  for (int igg : {0, 4})
    for (int flux : {0, 1})
      b->Args({flux, igg});
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_fill_row_fast)->Apply(fill_args);
BENCHMARK(BM_fill_row_sigal)->Apply(fill_args);

// ---------------------------------------------------------------------------------------------
// The whole fill of the reference case against the tight kernel loop.

struct Capacity {
  Input input;
  std::vector<double> tcol, xcol, ycol;
  // Gauss points of every element, interval after interval, 6 per sub-interval: the same
  // points (and as many) as ElementQuadrature places.
  std::vector<std::vector<double>> gx, gy;
};

Capacity load_capacity() {
  Capacity c;
  std::ifstream in(OSTREL_SOURCE_DIR "/bench/capacity.inp");
  std::ostringstream sink;
  Streams io{sink, sink, sink};
  c.input = read_problem(in, "capacity.inp", io);
  const Problem& pb = c.input.problem;
  const int nd = c.input.dims.nd;
  c.tcol.resize(nd);
  c.xcol.resize(nd);
  c.ycol.resize(nd);
  collocation_points(pb, c.tcol, c.xcol, c.ycol);
  std::size_t off = 0;
  for (int i = 1; i <= pb.n(); ++i) {
    const int n = pb.el(i).ni;
    const auto t = [&](int k) { return c.tcol[off + k - 1]; };
    std::vector<double> ends{-1};
    for (int k = 1; k <= n; ++k)
      ends.push_back(t(k));
    ends.push_back(1);
    auto& xs = c.gx.emplace_back();
    auto& ys = c.gy.emplace_back();
    const auto add = [&](double a, double b) {
      for (int q = 0; q < gauss.count; ++q) {
        const Point p = elem(pb, i, (a + b) / 2 + (b - a) / 2 * gauss.node[q]);
        xs.push_back(p.x);
        ys.push_back(p.y);
      }
    };
    // A circle's last node is T(N) = 1: its intervals end with [T(N-1), 1] and the seam
    // piece [T(N-1) - 2, -1] instead of [T(N), 1].
    const bool closed = pb.el(i).iform == 3;
    for (std::size_t s = 0; s + 2 < ends.size(); ++s)
      add(ends[s], ends[s + 1]);
    if (closed)
      add(t(n - 1) - seam_shift, -1);
    else
      add(t(n), 1);
    off += n;
  }
  return c;
}

// True when the fill evaluates element j for a row of element i at (x, y) with the normal n
// (fill_row's tests): every element for a conductor point, otherwise unless the materials are
// equal or the integral vanishes.
bool evaluated(const Problem& pb, int i, int j, double x, double y, Point n) {
  const Element& e = pb.el(i);
  if (e.itype == 1) return true;
  const double dcoef = e.itype == 2 ? 1.0 : e.aplus - e.amns;
  return std::fabs(dcoef) > pb.c().tiny && !vanishes(pb, j, x, y, n);
}

// Kernel points of one whole fill.
double fill_points(const Capacity& c) {
  const Problem& pb = c.input.problem;
  double points = 0;
  int g = 0;
  for (int i = 1; i <= pb.n(); ++i)
    for (int k = 1; k <= pb.el(i).ni; ++k, ++g) {
      const Point n = nelem(pb, i, c.tcol[g]);
      for (int j = 1; j <= pb.n(); ++j)
        if (evaluated(pb, i, j, c.xcol[g], c.ycol[g], n))
          points += static_cast<double>(c.gx[j - 1].size());
    }
  return points;
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TIGHT_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TIGHT_CLONES
#endif

// G = -1/2 ln r^2 at m points, with the vector logarithm; compiled for AVX2 and the baseline
// as the fill's loops are.
TIGHT_CLONES void free_space_g(const double* xs, const double* ys, std::size_t m, double x0,
                               double y0, double* v) {
  for (std::size_t p = 0; p < m; ++p) {
    const double dx = xs[p] - x0, dy = ys[p] - y0;
    v[p] = dx * dx + dy * dy;
  }
  vlog({v, m}, {v, m});
  for (std::size_t p = 0; p < m; ++p)
    v[p] = -0.5 * v[p];
}

// dG/dn = d/r^2 at m points.
TIGHT_CLONES void free_space_dgdn(const double* xs, const double* ys, std::size_t m, double x0,
                                  double y0, double nx, double ny, double* v) {
  for (std::size_t p = 0; p < m; ++p) {
    const double dx = xs[p] - x0, dy = ys[p] - y0;
    v[p] = (dx * nx + dy * ny) / (dx * dx + dy * dy);
  }
}

// The tight loop: G or dG/dn at the fill's points, for every row. The values go to a
// per-thread buffer of which one value per element is kept, so that none of it is dead code.
double tight_loop(const Capacity& c, std::vector<std::vector<double>>& bufs) {
  const Problem& pb = c.input.problem;
  const int nd = c.input.dims.nd;
  std::vector<double> sink(nd);
  std::size_t first = 0;
  for (int i = 1; i <= pb.n(); ++i) {
    const int ni = pb.el(i).ni;
    const bool potential = pb.el(i).itype == 1;
#pragma omp parallel for schedule(static)
    for (int k = 0; k < ni; ++k) {
      std::vector<double>& v = bufs[omp_get_thread_num()];
      const std::size_t g = first + k;
      const double x0 = c.xcol[g], y0 = c.ycol[g];
      const Point n = nelem(pb, i, c.tcol[g]);
      double keep = 0;
      for (int j = 1; j <= pb.n(); ++j) {
        if (!evaluated(pb, i, j, x0, y0, n)) continue;
        const std::vector<double>& xs = c.gx[j - 1];
        const std::size_t m = xs.size();
        if (potential)
          free_space_g(xs.data(), c.gy[j - 1].data(), m, x0, y0, v.data());
        else
          free_space_dgdn(xs.data(), c.gy[j - 1].data(), m, x0, y0, n.x, n.y, v.data());
        keep += v[m / 2];
      }
      sink[g] = keep;
    }
    first += ni;
  }
  benchmark::DoNotOptimize(sink.data());
  return sink[0];
}

// Threads for the rest of the benchmark; restores the previous count when it ends.
struct Threads {
  int before = omp_get_max_threads();
  explicit Threads(int n) { omp_set_num_threads(n); }
  ~Threads() { omp_set_num_threads(before); }
};

std::vector<std::vector<double>> thread_buffers(const Capacity& c) {
  std::size_t most = 0;
  for (const auto& xs : c.gx)
    most = std::max(most, xs.size());
  return std::vector<std::vector<double>>(omp_get_max_threads(), std::vector<double>(most));
}

void BM_kernel_tight_loop(benchmark::State& state) {
  const Capacity c = load_capacity();
  const Threads threads(static_cast<int>(state.range(0)));
  auto bufs = thread_buffers(c);
  for (auto _ : state)
    benchmark::DoNotOptimize(tight_loop(c, bufs));
  state.counters["points/s"] =
      benchmark::Counter(fill_points(c), benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(vlog_unit());
}

void BM_fill_capacity(benchmark::State& state) {
  const Capacity c = load_capacity();
  const Problem& pb = c.input.problem;
  const int nd = c.input.dims.nd;
  const Threads threads(static_cast<int>(state.range(0)));
  check_green(pb);
  const ElementQuadrature quad(pb, c.tcol);
  const System s(pb, quad, c.tcol, c.xcol, c.ycol, nd);
  // The matrix as the run obtains it (foralloc), its pages not yet touched.
  Handle h;
  if (!try_foralloc(h, sizeof(double), static_cast<long long>(nd) * nd)) {
    state.SkipWithError("no memory for the matrix");
    return;
  }
  const std::unique_ptr<Handle, void (*)(Handle*)> release(&h, [](Handle* p) { forfree(*p); });
  const std::span<double> ama(static_cast<double*>(h.p), std::size_t(nd) * nd);
  std::vector<std::vector<double>> bufs(omp_get_max_threads(),
                                        std::vector<double>(c.input.dims.nimax));
  auto tight_bufs = thread_buffers(c);
  const auto seconds = [](auto&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const auto tight = [&] { benchmark::DoNotOptimize(tight_loop(c, tight_bufs)); };
  const auto fill = [&] {
    for (int i = 1; i <= pb.n(); ++i)
      fill_element(s, i, ama, nd, true, bufs);
    benchmark::DoNotOptimize(ama.data());
  };
  // Each fill against a tight loop timed just before it, so that a slower or busier moment
  // weighs on both; the median of the iterations' ratios.
  const double tight_first = seconds(tight);
  const double first = seconds([&] {
    prefault_block(h);
    fill();
  });
  // On more threads, also a fill and a tight loop on one thread after each: the speed-ups.
  const int team = omp_get_max_threads();
  std::vector<double> ratios, speedups, tight_speedups;
  for (auto _ : state) {
    const double t = seconds(tight);
    const double f = seconds(fill);
    state.SetIterationTime(f);
    ratios.push_back(t / f);
    if (team > 1) {
      omp_set_num_threads(1);
      speedups.push_back(seconds(fill) / f);
      tight_speedups.push_back(seconds(tight) / t);
      omp_set_num_threads(team);
    }
  }
  const auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
  };
  state.counters["points/s"] =
      benchmark::Counter(fill_points(c), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["vs_tight"] = median(ratios);
  if (team > 1) {
    state.counters["vs_one_thread"] = median(speedups);
    state.counters["tight_vs_one_thread"] = median(tight_speedups);
  }
  // The first fill with the taking of the matrix's pages, as in a run.
  state.counters["vs_tight_first"] = tight_first / first;
  state.SetLabel(vlog_unit());
}

BENCHMARK(BM_kernel_tight_loop)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_fill_capacity)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace
