// Speed of one pass of the out-of-core iteration over the scratch file, and of whole out-of-core
// solutions with the conductors' iterations one by one and in lockstep (BM_lockstep_run).
//
// The problem: 20 coated wires in free space (a conductor circle and a dielectric-interface
// circle each) and a dielectric box of four straight interfaces around them, 95 points per
// element: 4180 unknowns, 17.9 million values in a scratch file of 245 MB (counter "MB"). Its
// block records are filled and written as the out-of-core mode writes them.
//
// BM_it_pass is one pass of it(): a rewind, every record read, and every block's share of a
// Krylov column (the plain product for the wires, au for the interfaces, the block solve).
// BM_it_pass_read is the same pass without the arithmetic. BM_from_chars_bare is the bare
// parsing loop over the same text held in memory: skip the blanks, std::from_chars each value;
// BM_from_chars_file the same loop over the file read in pieces of the reader's size. Each
// reports passes per second (one pass = the whole file) and values parsed per second.
#include <benchmark/benchmark.h>
#include <cblas.h>
#include <omp.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "assembly/fill.hpp"
#include "driver/reading.hpp"
#include "geometry/grid.hpp"
#include "kernels/green.hpp"
#include "solvers/it.hpp"
#include "solvers/lu.hpp"
#include "solvers/scratch.hpp"
#include "solvers/storage.hpp"
#include "tests/solve_util.hpp"

namespace {

using namespace ostrel;

// `wires` coated wires (20 at most, in two rows of ten) in the dielectric box, solved out of core
// with the default iteration controls.
std::string wires_in_box(int wires) {
  std::string text = "iteration benchmark\n\n0 0\n1 3 4 1 1\n0 0 0 0 0 0 0\n0.1 1\n1 /\nh\n";
  int nr = 0;
  auto add = [&](const std::string& head, const std::string& geom, const std::string& sides) {
    text += std::to_string(++nr) + " " + head + "\n" + geom + "\n" + sides + "\n--\n";
  };
  for (int w = 0; w < wires; ++w) {
    const std::string centre =
        std::to_string(-9 + 2 * (w % 10)) + " " + std::to_string(w < 10 ? 1 : 3);
    add("3 1 " + std::to_string(w + 1) + " 95 1 1", centre + " 0.4 0 0", "2 2");
    add("3 3 0 95 1 1", centre + " 0.7 0 0", "1 2");
  }
  add("0 3 0 95 1 1", "-11 0 11 0 0", "3 1");
  add("0 3 0 95 1 1", "11 0 11 4 0", "3 1");
  add("0 3 0 95 1 1", "11 4 -11 4 0", "3 1");
  add("0 3 0 95 1 1", "-11 4 -11 0 0", "3 1");
  return text;
}

Input problem() {
  std::istringstream in(wires_in_box(20));
  std::ostringstream sink;
  Streams io{sink, sink, sink};
  return read_problem(in, "bench", io);
}

// The filled system and its scratch file, made once for all benchmarks.
struct Sample {
  Input input;
  std::vector<double> t, x, y;
  std::unique_ptr<ElementQuadrature> quad;
  std::unique_ptr<System> sys;
  std::string text;      // the scratch file's text
  long long values = 0;  // values in the file
  ScratchFile file{nullptr};
  // The same text in a plain stream, for the bare loop over the file.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> copy{nullptr, std::fclose};

  Sample() : input(problem()) {
    const Problem& pb = input.problem;
    const int nd = input.dims.nd, ld = input.dims.nimax;
    t.resize(nd), x.resize(nd), y.resize(nd);
    collocation_points(pb, t, x, y);
    check_green(pb);
    quad = std::make_unique<ElementQuadrature>(pb, t);
    sys = std::make_unique<System>(pb, *quad, t, x, y, nd);
    std::vector<std::vector<double>> bufs(omp_get_max_threads(), std::vector<double>(ld));
    std::vector<double> rows(std::size_t(ld) * nd), blk(std::size_t(ld) * ld);
    std::vector<int> piv(ld);
    std::ostream quiet(nullptr);
    for (int i = 1; i <= pb.n(); ++i) {
      const int ni = pb.el(i).ni;
      fill_element(*sys, i, rows, ld, false, bufs);
      for (int l = 0; l < ni; ++l)
        for (int k = 0; k < ni; ++k)
          blk[std::size_t(l) * ld + k] = rows[std::size_t(sys->off[i] + l) * ld + k];
      decomp(ld, ni, blk, piv, 1, quiet);
      text += ScratchFile::format_record(ni, nd, rows.data(), ld, blk.data(), ld, piv.data());
      values += static_cast<long long>(ni) * (nd + ni + 1);
    }
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    file = ScratchFile(f);
    copy.reset(std::tmpfile());
    std::fwrite(text.data(), 1, text.size(), copy.get());
    std::fflush(copy.get());
  }
};

Sample& sample() {
  static Sample s;
  return s;
}

void report(benchmark::State& st, long long values) {
  st.counters["MB"] = double(sample().text.size()) * 1e-6;
  st.counters["passes/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
  st.counters["values/s"] =
      benchmark::Counter(double(values), benchmark::Counter::kIsIterationInvariantRate);
}

void run_pass(benchmark::State& st, bool arithmetic) {
  Sample& s = sample();
  const Problem& pb = s.input.problem;
  const int nd = s.input.dims.nd, ld = s.input.dims.nimax, imm = 5;
  std::vector<double> r(std::size_t(ld) * nd), d(std::size_t(ld) * ld), w(2 * ld);
  std::vector<int> piv(ld);
  std::vector<double> u0(nd);
  ItStore store(nd, imm);
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> dist(-1, 1);
  for (int i = 0; i < nd; ++i)
    store.v[i] = dist(gen);
  const BlockSystem sys{pb, s.sys->off, s.t, s.x, s.y, {}, nd, ld};
  const BlockBuffers buf{r, d, piv, w};
  const ItVectors vec = store.vectors(u0);
  const int threads = openblas_get_num_threads();
  openblas_set_num_threads(1);  // as it() runs its passes
  for (auto _ : st) {
    s.file.rewind();
    for (int k = 1; k <= pb.n(); ++k) {
      if (!s.file.read_record(pb.el(k).ni, nd, r.data(), ld, d.data(), ld, piv.data())) {
        st.SkipWithError("read failed");
        break;
      }
      if (arithmetic) it_block(sys, buf, vec, k, 1);
    }
    benchmark::DoNotOptimize(store.v.data());
  }
  openblas_set_num_threads(threads);
  report(st, s.values);
}

void BM_it_pass(benchmark::State& st) {
  run_pass(st, true);
}
void BM_it_pass_read(benchmark::State& st) {
  run_pass(st, false);
}

void BM_from_chars_bare(benchmark::State& st) {
  const Sample& s = sample();
  const char* const begin = s.text.data();
  const char* const end = begin + s.text.size();
  for (auto _ : st) {
    double sum = 0;
    long long n = 0;
    for (const char* p = begin;;) {
      while (p < end && (*p == ' ' || *p == '\n'))
        ++p;
      if (p == end) break;
      double v;
      p = std::from_chars(p, end, v).ptr;
      sum += v;
      ++n;
    }
    if (n != s.values) st.SkipWithError("value count");
    benchmark::DoNotOptimize(sum);
  }
  report(st, s.values);
}

// The bare loop over the file: read in pieces of the reader's size, the values of each piece
// up to its last blank parsed, the rest carried over to the next piece.
void BM_from_chars_file(benchmark::State& st) {
  const Sample& s = sample();
  std::FILE* f = s.copy.get();
  std::vector<char> buf(ScratchFile::default_read_buffer);
  const auto blank = [](char c) { return c == ' ' || c == '\n'; };
  for (auto _ : st) {
    std::rewind(f);
    double sum = 0;
    long long n = 0;
    std::size_t have = 0;
    for (;;) {
      const std::size_t got = std::fread(buf.data() + have, 1, buf.size() - have, f);
      const char* p = buf.data();
      const char* const end = p + have + got;
      const char* stop = end;
      if (got > 0)
        while (stop > p && !blank(stop[-1]))
          --stop;
      for (;;) {
        while (p < stop && blank(*p))
          ++p;
        if (p >= stop) break;
        double v;
        p = std::from_chars(p, end, v).ptr;
        sum += v;
        ++n;
      }
      have = static_cast<std::size_t>(end - p);
      std::memmove(buf.data(), p, have);
      if (got == 0) break;
    }
    if (n != s.values) st.SkipWithError("value count");
    benchmark::DoNotOptimize(sum);
  }
  report(st, s.values);
}

// Whole out-of-core solutions of eight coated wires in the box (1900 unknowns, 8 conductors, a
// scratch file of 51 MB), the fill included: one conductor after the other, then the iterations
// of all conductors in lockstep. Counters: the passes made over the scratch file by each (the
// read-backs of the start included) and their ratio lockstep_pass_ratio (one by one / lockstep);
// the seconds of each and their ratio lockstep_speedup.
void BM_lockstep_run(benchmark::State& st) {
  const std::string text = wires_in_box(8);
  double passes[2] = {}, secs[2] = {};
  for (auto _ : st) {
    for (int lockstep = 0; lockstep <= 1; ++lockstep) {
      cap_affordable_bytes(lockstep ? SIZE_MAX : 0);
      const auto start = std::chrono::steady_clock::now();
      const testing::Solution s = testing::solve_text(text, 1);
      secs[lockstep] =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      cap_affordable_bytes(std::nullopt);
      if (s.stopped) st.SkipWithError("the solution stopped");
      passes[lockstep] = double(s.scratch_passes);
    }
  }
  st.counters["passes_one_by_one"] = passes[0];
  st.counters["passes_lockstep"] = passes[1];
  st.counters["lockstep_pass_ratio"] = passes[0] / passes[1];
  st.counters["s_one_by_one"] = secs[0];
  st.counters["s_lockstep"] = secs[1];
  st.counters["lockstep_speedup"] = secs[0] / secs[1];
}

BENCHMARK(BM_lockstep_run)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_it_pass)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_it_pass_read)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_from_chars_bare)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_from_chars_file)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
