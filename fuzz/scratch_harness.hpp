// One run of the scratch-record fuzz target on one input, shared by the libFuzzer target and by
// the test that replays every input that ever failed.
//
// check_scratch() feeds the bytes to the scratch-record reader, or writes the values they encode
// as records and reads them back. A failure of the code under test to keep its promises is
// thrown as a Finding; crashes, sanitizer reports and hangs are findings of their own.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz/finding.hpp"
#include "solvers/scratch.hpp"

namespace ostrel::fuzz {

namespace detail {

// A read-only stream over a copy of `bytes`; fmemopen needs at least one byte of buffer, so an
// empty input becomes one empty line.
struct MemoryFile {
  explicit MemoryFile(std::string_view bytes) : buf(std::max<std::size_t>(bytes.size(), 1), '\n') {
    std::copy(bytes.begin(), bytes.end(), buf.begin());
    f = fmemopen(buf.data(), buf.size(), "r");
    require(f != nullptr, "fmemopen failed");
  }
  std::vector<char> buf;
  std::FILE* f = nullptr;
};

inline bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || a == b;
}

}  // namespace detail

/// Largest block order and row length the scratch target uses; records of up to these sizes
/// keep one execution well below a millisecond.
inline constexpr int scratch_max_p = 8;
inline constexpr int scratch_max_extra = 24;

/// The first byte selects the mode, the next two the record shape: p rows (1..8) and
/// nd = p + 0..24 columns. Mode even: the rest is read as scratch text with read_record()
/// until it fails. Mode odd: the rest is taken as 8-byte reals, written as records with valid
/// pivots, read back, and every value must come back as it was (a negative zero as zero).
inline void check_scratch(std::string_view bytes) {
  if (bytes.size() < 3) return;
  const auto u = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const bool round_trip = (u(0) & 1) != 0;
  const int p = 1 + u(1) % scratch_max_p;
  const int nd = p + u(2) % (scratch_max_extra + 1);
  const std::string_view rest = bytes.substr(3);
  const std::size_t per_record = static_cast<std::size_t>(p) * (nd + p);
  std::vector<double> ama(per_record), blk(static_cast<std::size_t>(p) * p);
  std::vector<int> ipvt(p);

  if (!round_trip) {
    detail::MemoryFile mf(rest);
    ScratchFile sf(mf.f);
    // Each successful read consumes at least one byte per value, so this ends.
    for (std::size_t records = 0; sf.read_record(p, nd, ama.data(), p, blk.data(), p, ipvt.data());
         ++records) {
      require(records <= rest.size(), "read_record succeeded without consuming input");
      for (int k = 1; k < p; ++k)
        require(ipvt[k - 1] >= k && ipvt[k - 1] <= p, "invalid pivot accepted");
      require(ipvt[p - 1] == 1 || ipvt[p - 1] == -1, "invalid pivot sign accepted");
    }
    return;
  }

  // Round trip through a real temporary file, as the out-of-core mode uses it.
  std::vector<double> values(rest.size() / sizeof(double));
  if (!values.empty()) std::memcpy(values.data(), rest.data(), values.size() * sizeof(double));
  const std::size_t records = std::min<std::size_t>(
      4, (values.size() + per_record - 1) / std::max<std::size_t>(per_record, 1));
  if (records == 0) return;
  values.resize(records * per_record, 0.0);
  for (int k = 0; k < p; ++k)
    ipvt[k] = k + 1;
  ipvt[p - 1] = (u(0) & 2) ? -1 : 1;
  ScratchFile sf = ScratchFile::create();
  for (std::size_t r = 0; r < records; ++r)
    sf.write_record(p, nd, values.data() + r * per_record, p,
                    values.data() + r * per_record + static_cast<std::size_t>(p) * nd, p,
                    ipvt.data());
  sf.rewind();
  std::vector<int> piv(p);
  for (std::size_t r = 0; r < records; ++r) {
    require(sf.read_record(p, nd, ama.data(), p, blk.data(), p, piv.data()),
            "a written record could not be read back");
    const double* want = values.data() + r * per_record;
    for (std::size_t k = 0; k < ama.size() && k < static_cast<std::size_t>(p) * nd; ++k)
      require(detail::same(ama[k], want[k]), "block row value changed");
    for (std::size_t k = 0; k < blk.size(); ++k)
      require(detail::same(blk[k], want[static_cast<std::size_t>(p) * nd + k]),
              "block factor value changed");
    require(piv == ipvt, "pivots changed");
  }
  require(!sf.read_record(p, nd, ama.data(), p, blk.data(), p, piv.data()),
          "a record read beyond the last one written");
}

}  // namespace ostrel::fuzz
