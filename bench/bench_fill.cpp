// One row of the boundary-element matrix through the fill's fast path (ElementQuadrature) and
// through per-hat sigal/ilogl, on a problem of 3450 unknowns: ten circles, ten arcs (radians and
// degrees) and twenty segments with 80 to 95 nodes each.
//
// Args: {row kind, igg}. Row kind 0 is a potential row (code 1 on every other element, code 0
// plus ilogl on the row's own element), 1 a flux row (code 2 everywhere). Counters: matrix
// entries per second and kernel evaluations per second (what each path actually evaluates: 12
// per entry for sigal, 6 per sub-interval and collocation point for the fast path).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "geometry/element.hpp"
#include "geometry/grid.hpp"
#include "kernels/element_quadrature.hpp"
#include "kernels/integrals.hpp"

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
  // The fast path must reproduce sigal exactly; check one row before timing.
  row_fast(s, eq, 100, flux, row);
  row_sigal(s, 100, flux, check);
  if (row != check) state.SkipWithError("fast path differs from sigal");
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

}  // namespace
