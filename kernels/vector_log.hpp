// Natural logarithms of many values at once, by the C library's vector logarithm.
#pragma once

#include <span>
#include <string_view>

namespace ostrel {

/// y[p] = ln(x[p]) for every p < x.size(), by glibc's vector logarithm (libmvec) on the widest
/// vector unit of the CPU: AVX-512 (8 values per call), AVX2 with FMA (4) or SSE2 (2), chosen
/// once on first use; std::log one by one where the target is not x86-64. Within 4 ulp of
/// std::log for every positive normal or subnormal argument; ln 0 = -inf, ln of a negative is
/// NaN. Each result depends on its own argument and the vector unit only, not on its place in
/// the array, the count or the thread. y may be x (in place); otherwise they must not overlap.
/// Needs y.size() >= x.size() (asserted). Cost on AVX2: about a quarter of std::log's per
/// value. No allocation; thread-safe.
void vlog(std::span<const double> x, std::span<double> y) noexcept;

/// The vector unit vlog uses: "avx512", "avx2", "sse2" or "scalar".
const char* vlog_unit() noexcept;

/// vlog on the named unit instead of the chosen one, when this CPU can run it (returns false
/// otherwise, and leaves y alone): for the tests of every unit a machine has.
bool vlog_on(std::string_view unit, std::span<const double> x, std::span<double> y);

}  // namespace ostrel
