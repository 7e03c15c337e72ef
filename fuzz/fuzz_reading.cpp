// libFuzzer target: arbitrary bytes as a problem input file.
//
// The reading must either accept the file as a problem that every later step can use, or stop
// it with a message (a Halt). Anything else aborts, and libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/reading_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    ostrel::fuzz::check_reading({reinterpret_cast<const char*>(data), size});
  } catch (const ostrel::fuzz::Finding& f) {
    std::fprintf(stderr, "finding: %s\n", f.what());
    std::abort();
  }
  return 0;
}
