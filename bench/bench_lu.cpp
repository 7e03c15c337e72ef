// Dense LU and scratch-file speed.
//
// BM_decomp/N and BM_dgetrf/N factorise the same random matrix (entries uniform in [-1,1], a
// fixed seed) with OpenBLAS limited to one thread for both, so that the comparison measures
// the algorithms and not how a shared machine schedules threads; the _2t variants repeat it with
// two OpenBLAS threads for both. The rate counter is 2n^3/3 flops per second of wall time.
// BM_decomp_column/N and BM_decomp_blocking/N/panel/base are the measurements behind the
// crossover order and the panel and base widths of lu_default_blocking.
// BM_scratch_read and BM_scratch_write report values converted per second.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <climits>
#include <cmath>
#include <ostream>
#include <random>
#include <vector>

#include "solvers/lu.hpp"
#include "solvers/scratch.hpp"

extern "C" void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv,
                        int* info);

namespace {

using ostrel::LuBlocking;

std::vector<double> random_matrix(int n, unsigned seed = 12345) {
  std::mt19937_64 g(seed);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  std::vector<double> a(static_cast<std::size_t>(n) * n);
  for (double& v : a)
    v = d(g);
  return a;
}

void set_flops(benchmark::State& st, int n) {
  st.counters["flops"] = benchmark::Counter(2.0 / 3.0 * n * double(n) * n,
                                            benchmark::Counter::kIsIterationInvariantRate);
}

void run_decomp(benchmark::State& st, int threads, const LuBlocking& bl) {
  openblas_set_num_threads(threads);
  const int n = static_cast<int>(st.range(0));
  const std::vector<double> a0 = random_matrix(n);
  std::vector<double> a(a0.size());
  std::vector<int> p(n);
  std::ostream silent(nullptr);
  for (auto _ : st) {
    st.PauseTiming();
    a = a0;
    st.ResumeTiming();
    ostrel::decomp(n, n, a, p, 1, silent, ostrel::console_build.tiny, bl);
    benchmark::DoNotOptimize(a.data());
  }
  set_flops(st, n);
}

void run_dgetrf(benchmark::State& st, int threads) {
  openblas_set_num_threads(threads);
  const int n = static_cast<int>(st.range(0));
  const std::vector<double> a0 = random_matrix(n);
  std::vector<double> a(a0.size());
  std::vector<int> p(n);
  for (auto _ : st) {
    st.PauseTiming();
    a = a0;
    st.ResumeTiming();
    int info = 0;
    dgetrf_(&n, &n, a.data(), &n, p.data(), &info);
    benchmark::DoNotOptimize(a.data());
  }
  set_flops(st, n);
}

void BM_decomp(benchmark::State& st) {
  run_decomp(st, 1, ostrel::lu_default_blocking);
}
void BM_dgetrf(benchmark::State& st) {
  run_dgetrf(st, 1);
}
void BM_decomp_2t(benchmark::State& st) {
  run_decomp(st, 2, ostrel::lu_default_blocking);
}
void BM_dgetrf_2t(benchmark::State& st) {
  run_dgetrf(st, 2);
}

void BM_decomp_column(benchmark::State& st) {
  run_decomp(st, 1, {INT_MAX, 256, 16, 512});
}
void BM_decomp_blocking(benchmark::State& st) {
  const LuBlocking bl{0, static_cast<int>(st.range(1)), static_cast<int>(st.range(2)),
                      ostrel::lu_default_blocking.chunk};
  run_decomp(st, 1, bl);
}

// The trailing update's organisation on two threads: panel width and columns per product.
void BM_decomp_chunk_2t(benchmark::State& st) {
  const LuBlocking bl{ostrel::lu_default_blocking.crossover, static_cast<int>(st.range(1)),
                      ostrel::lu_default_blocking.base, static_cast<int>(st.range(2))};
  run_decomp(st, 2, bl);
}
void BM_decomp_chunk(benchmark::State& st) {
  const LuBlocking bl{ostrel::lu_default_blocking.crossover, static_cast<int>(st.range(1)),
                      ostrel::lu_default_blocking.base, static_cast<int>(st.range(2))};
  run_decomp(st, 1, bl);
}
BENCHMARK(BM_decomp_chunk)
    ->ArgsProduct({{4000}, {256}, {256, 512, 1024, 4096}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_decomp_chunk_2t)
    ->ArgsProduct({{6000}, {192, 256, 384}, {256, 512, 1024}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_decomp)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_dgetrf)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_decomp_2t)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_dgetrf_2t)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Arg(6000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_decomp_column)
    ->Arg(64)
    ->Arg(96)
    ->Arg(128)
    ->Arg(160)
    ->Arg(192)
    ->Arg(256)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_decomp_blocking)
    ->ArgsProduct({{64, 96, 128, 160, 192, 256}, {256}, {16}})
    ->ArgsProduct({{1000, 4000}, {128, 256, 384}, {8, 16, 32}})
    ->Unit(benchmark::kMicrosecond);

// A scratch file of 20 records of 50 rows of a 2000-unknown system: two million reals of all
// signs and magnitudes a boundary-element matrix holds.
struct ScratchSample {
  static constexpr int records = 20, p = 50, nd = 2000;
  std::vector<double> ama, blk;
  std::vector<int> ipvt;
  ScratchSample() : ama(static_cast<std::size_t>(p) * nd), blk(p * p), ipvt(p) {
    std::mt19937_64 g(7);
    std::uniform_real_distribution<double> mant(-1.0, 1.0);
    std::uniform_int_distribution<int> expo(-12, 3);
    for (double& v : ama)
      v = mant(g) * std::pow(10.0, expo(g));
    for (double& v : blk)
      v = mant(g);
    for (int k = 0; k < p; ++k)
      ipvt[k] = k + 1;
    ipvt[p - 1] = 1;
  }
  long long values() const { return static_cast<long long>(records) * (p * nd + p * p + p); }
};

void BM_scratch_write(benchmark::State& st) {
  const ScratchSample s;
  for (auto _ : st) {
    ostrel::ScratchFile f = ostrel::ScratchFile::create();
    for (int r = 0; r < s.records; ++r)
      f.write_record(s.p, s.nd, s.ama.data(), s.p, s.blk.data(), s.p, s.ipvt.data());
    f.rewind();
  }
  st.SetItemsProcessed(st.iterations() * s.values());
}

void BM_scratch_read(benchmark::State& st) {
  const ScratchSample s;
  ostrel::ScratchFile f = ostrel::ScratchFile::create();
  for (int r = 0; r < s.records; ++r)
    f.write_record(s.p, s.nd, s.ama.data(), s.p, s.blk.data(), s.p, s.ipvt.data());
  std::vector<double> ama(s.ama.size()), blk(s.blk.size());
  std::vector<int> ipvt(s.p);
  for (auto _ : st) {
    f.rewind();
    for (int r = 0; r < s.records; ++r)
      if (!f.read_record(s.p, s.nd, ama.data(), s.p, blk.data(), s.p, ipvt.data()))
        st.SkipWithError("read failed");
    benchmark::DoNotOptimize(ama.data());
  }
  st.SetItemsProcessed(st.iterations() * s.values());
}

BENCHMARK(BM_scratch_write)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_scratch_read)->Unit(benchmark::kMillisecond);

}  // namespace
