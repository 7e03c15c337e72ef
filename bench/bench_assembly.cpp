// The fill of the whole boundary-element system on one and on two threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <sstream>
#include <string>
#include <vector>

#include "assembly/fill.hpp"
#include "driver/reading.hpp"
#include "geometry/grid.hpp"
#include "kernels/green.hpp"

namespace {

using namespace ostrel;

// Twelve wires (circles), four shields of arcs and four dielectric faces over a ground plane,
// 95 points each: 1900 unknowns, potential and flux rows.
Input problem() {
  std::string text = "fill benchmark\n\n0 0\n1 4 1 1 1\n1 0 0 0 0 0 0\n0.1 1\n0 /\nheadings\n";
  int nr = 0;
  auto add = [&](const std::string& head, const std::string& geom, const std::string& sides) {
    text += std::to_string(++nr) + " " + head + "\n" + geom + "\n" + sides + "\n--\n";
  };
  for (int w = 0; w < 12; ++w)
    add("3 1 " + std::to_string(w + 1) + " 95 1 1", std::to_string(-11 + 2 * w) + " 2 0.4 0 0",
        "1 1");
  for (int a = 0; a < 4; ++a)
    add("2 1 0 95 1 1", std::to_string(-9 + 6 * a) + " 6 1.5 0 180", "1 1");
  add("0 3 0 95 1 1", "-14 1 14 1 0", "2 1");
  add("0 3 0 95 1 1", "14 0 14 1 0", "1 2");
  add("0 3 0 95 1 1", "-14 1 -14 0 0", "1 2");
  add("1 3 0 95 1 1", "0 9 1 0 3", "1 2");
  std::istringstream in(text);
  std::ostringstream sink;
  Streams io{sink, sink, sink};
  return read_problem(in, "bench", io);
}

void BM_fill_threads(benchmark::State& state) {
  const Input input = problem();
  const Problem& pb = input.problem;
  const int nd = input.dims.nd;
  std::vector<double> t(nd), x(nd), y(nd), ama(std::size_t(nd) * nd);
  collocation_points(pb, t, x, y);
  check_green(pb);
  const ElementQuadrature quad(pb, t);
  const System s(pb, quad, t, x, y, nd);
  const int threads = static_cast<int>(state.range(0));
  const int before = omp_get_max_threads();
  omp_set_num_threads(threads);
  std::vector<std::vector<double>> bufs(threads, std::vector<double>(input.dims.nimax));
  for (auto _ : state) {
    for (int i = 1; i <= pb.n(); ++i)
      fill_element(s, i, ama, nd, true, bufs);
    benchmark::DoNotOptimize(ama.data());
  }
  omp_set_num_threads(before);
  state.counters["entries/s"] =
      benchmark::Counter(double(nd) * nd, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_fill_threads)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
