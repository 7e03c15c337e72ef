#include "kernels/vector_log.hpp"

#include <cassert>
#include <cmath>
#include <cstddef>
#include <vector>

#if defined(__x86_64__) && defined(__GLIBC__)
#include <immintrin.h>

// The libmvec entry points (x86-64 vector function ABI: 'b' SSE2, 'd' AVX2, 'e' AVX-512, all
// unmasked with one vector argument). Each is itself dispatched inside glibc to its best
// implementation for the CPU; the caller must only have the registers of its width, which is
// why each is called from a function compiled for that unit and picked at run time.
extern "C" {
__m128d _ZGVbN2v_log(__m128d);
__attribute__((target("avx2,fma"))) __m256d _ZGVdN4v_log(__m256d);
__attribute__((target("avx512f"))) __m512d _ZGVeN8v_log(__m512d);
}
#endif

namespace ostrel {

namespace {

using LogLoop = void (*)(const double*, double*, std::size_t);

[[maybe_unused]] void log_scalar(const double* x, double* y, std::size_t n) {
  for (std::size_t p = 0; p < n; ++p)
    y[p] = std::log(x[p]);
}

#if defined(__x86_64__) && defined(__GLIBC__)

// Value given to the unused lanes of the last, partial vector: any argument with a plain
// result does; 1 keeps the vector routines off their special-case branches.
constexpr double pad_value = 1;

void log_sse2(const double* x, double* y, std::size_t n) {
  std::size_t p = 0;
  for (; p + 2 <= n; p += 2)
    _mm_storeu_pd(y + p, _ZGVbN2v_log(_mm_loadu_pd(x + p)));
  if (p < n) {
    alignas(16) double tail[2] = {x[p], pad_value};
    _mm_store_pd(tail, _ZGVbN2v_log(_mm_load_pd(tail)));
    y[p] = tail[0];
  }
}

__attribute__((target("avx2,fma"))) void log_avx2(const double* x, double* y, std::size_t n) {
  std::size_t p = 0;
  for (; p + 4 <= n; p += 4)
    _mm256_storeu_pd(y + p, _ZGVdN4v_log(_mm256_loadu_pd(x + p)));
  if (p < n) {
    alignas(32) double tail[4] = {pad_value, pad_value, pad_value, pad_value};
    for (std::size_t q = p; q < n; ++q)
      tail[q - p] = x[q];
    _mm256_store_pd(tail, _ZGVdN4v_log(_mm256_load_pd(tail)));
    for (std::size_t q = p; q < n; ++q)
      y[q] = tail[q - p];
  }
}

__attribute__((target("avx512f"))) void log_avx512(const double* x, double* y, std::size_t n) {
  std::size_t p = 0;
  for (; p + 8 <= n; p += 8)
    _mm512_storeu_pd(y + p, _ZGVeN8v_log(_mm512_loadu_pd(x + p)));
  if (p < n) {
    alignas(64) double tail[8];
    for (double& v : tail)
      v = pad_value;
    for (std::size_t q = p; q < n; ++q)
      tail[q - p] = x[q];
    _mm512_store_pd(tail, _ZGVeN8v_log(_mm512_load_pd(tail)));
    for (std::size_t q = p; q < n; ++q)
      y[q] = tail[q - p];
  }
}

struct Unit {
  LogLoop loop;
  const char* name;
};

// The units this CPU can run, widest first.
std::vector<Unit> supported_units() {
  __builtin_cpu_init();
  std::vector<Unit> units;
  if (__builtin_cpu_supports("avx512f")) units.push_back({log_avx512, "avx512"});
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
    units.push_back({log_avx2, "avx2"});
  units.push_back({log_sse2, "sse2"});
  units.push_back({log_scalar, "scalar"});
  return units;
}

#else

struct Unit {
  LogLoop loop;
  const char* name;
};

std::vector<Unit> supported_units() {
  return {{log_scalar, "scalar"}};
}

#endif

// Chosen once, on the first call (thread-safe static initialisation).
const Unit& unit() {
  static const Unit u = supported_units().front();
  return u;
}

}  // namespace

void vlog(std::span<const double> x, std::span<double> y) noexcept {
  assert(y.size() >= x.size());
  unit().loop(x.data(), y.data(), x.size());
}

const char* vlog_unit() noexcept {
  return unit().name;
}

bool vlog_on(std::string_view name, std::span<const double> x, std::span<double> y) {
  assert(y.size() >= x.size());
  for (const Unit& u : supported_units())
    if (name == u.name) {
      u.loop(x.data(), y.data(), x.size());
      return true;
    }
  return false;
}

}  // namespace ostrel
