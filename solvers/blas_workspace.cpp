#include "solvers/blas_workspace.hpp"

#include "solvers/storage.hpp"

#include <cblas.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

// The library's own buffer pool (exported by libopenblas, not declared in its headers). Weak, so
// that a BLAS without them still links; small products then take the buffers instead.
extern "C" void* blas_memory_alloc(int procpos) __attribute__((weak));
extern "C" int blas_memory_free(void* buffer) __attribute__((weak));

namespace ostrel {

namespace {

// The environment variable by which OpenBLAS is told its thread count when it is loaded.
constexpr const char* blas_threads_variable = "OPENBLAS_NUM_THREADS";
// OpenBLAS's kernels of processors without AVX: what it falls back to (Prescott, as Debian's
// 0.3.21 does on recent Xeons that it does not know) where a processor's model is new to it.
constexpr const char* sse_era_kernels[] = {"Prescott",   "Core2",   "Penryn",
                                           "Dunnington", "Nehalem", "Atom"};
// Order of a product large enough to take a buffer from the pool.
constexpr int warm_up_order = 64;

// Buffers that the library's pool holds for the threads of this thread's OpenMP team (the
// team's threads live as long as this thread; the pool, as long as the process).
thread_local int reserved = 0;

// One buffer for every thread of the team, held by all at the same time (a buffer given back
// before another thread asks would serve both), then given back: the pool keeps them mapped.
void take_buffers(int threads) {
  if (blas_memory_alloc && blas_memory_free) {
#pragma omp parallel num_threads(threads)
    {
      void* held = blas_memory_alloc(0);
#pragma omp barrier
      blas_memory_free(held);
    }
    return;
  }
  std::vector<double> a(warm_up_order * warm_up_order, 1.0);
#pragma omp parallel num_threads(threads)
  {
    std::vector<double> c(a.size(), 0.0);
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, warm_up_order, warm_up_order,
                warm_up_order, 1.0, a.data(), warm_up_order, a.data(), warm_up_order, 0.0, c.data(),
                warm_up_order);
  }
}

}  // namespace

SerialBlas::SerialBlas() : before_(openblas_get_num_threads()) {
  openblas_set_num_threads(1);
}

SerialBlas::~SerialBlas() {
  openblas_set_num_threads(before_);
}

const char* blas_kernels_for_processor() {
  if (std::getenv(blas_kernels_variable)) return nullptr;
  const char* chosen = openblas_get_corename();
  if (!chosen || std::find_if(std::begin(sse_era_kernels), std::end(sse_era_kernels),
                              [&](const char* k) { return std::strcmp(k, chosen) == 0; }) ==
                     std::end(sse_era_kernels))
    return nullptr;
  // The features as the system has enabled them (their registers saved on a switch of tasks).
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl"))
    return "SkylakeX";
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return "Haswell";
  return nullptr;
}

void start_with_blas_settings(char** argv) {
  bool again = false;
  const char* count = std::getenv(blas_threads_variable);
  if (!count || std::strcmp(count, "1") != 0) {
    if (setenv(blas_threads_variable, "1", 1) != 0) return;
    again = true;
  }
  if (const char* kernels = blas_kernels_for_processor()) {
    if (setenv(blas_kernels_variable, kernels, 1) != 0) return;
    again = true;
  }
  // The new image replaces this one; the library's threads (and any buffer they wait for) go
  // with it. Should the start fail, the program goes on as it is.
  if (again) execv("/proc/self/exe", argv);
}

int reserve_blas_workspace(int callers) {
  // The OpenMP threads first, each with the memory pool of its own that its first request
  // creates: their stacks and pools are memory too, and a thread that cannot be created later
  // would end the process without a word from this program.
#pragma omp parallel
  {
    std::vector<char> first_request(1);
    (void)first_request;
  }
  openblas_set_num_threads(1);
  int n = callers;
  while (n > reserved && !address_space_for(std::size_t(n - reserved) * blas_buffer_bytes))
    --n;
  if (n > reserved) {
    take_buffers(n);
    reserved = n;
  }
  return std::min(n, reserved);
}

}  // namespace ostrel
