// libFuzzer target: the scratch-record reader on arbitrary text, and the write/read round trip
// of arbitrary reals (see check_scratch for how the bytes are used).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/scratch_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    ostrel::fuzz::check_scratch({reinterpret_cast<const char*>(data), size});
  } catch (const ostrel::fuzz::Finding& f) {
    std::fprintf(stderr, "finding: %s\n", f.what());
    std::abort();
  }
  return 0;
}
