// Replays every input that ever failed a fuzz target (tests/data/fuzz-regressions/<target>/),
// and the seed corpora (fuzz/corpus/<target>/), through the same checks as the fuzz targets.
// Under the sanitizer build this also catches the memory and undefined-behaviour faults that
// those inputs once triggered. The reading seeds must be accepted: they are the valid problems
// that the fuzzer mutates.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/reading_harness.hpp"
#include "fuzz/scratch_harness.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path source = OSTREL_SOURCE_DIR;

std::vector<fs::path> files_in(const fs::path& dir) {
  std::vector<fs::path> files;
  if (fs::is_directory(dir))
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.is_regular_file()) files.push_back(entry.path());
  return files;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(FuzzRegressions, ReadingInputsThatOnceFailed) {
  const auto files = files_in(source / "tests/data/fuzz-regressions/reading");
  EXPECT_FALSE(files.empty());
  for (const fs::path& f : files) {
    try {
      ostrel::fuzz::check_reading(slurp(f));
    } catch (const std::exception& e) {
      ADD_FAILURE() << f.filename() << ": " << e.what();
    }
  }
}

TEST(FuzzRegressions, ReadingSeedsAreAccepted) {
  const auto files = files_in(source / "fuzz/corpus/reading");
  EXPECT_FALSE(files.empty());
  for (const fs::path& f : files) {
    try {
      EXPECT_TRUE(ostrel::fuzz::check_reading(slurp(f))) << f.filename() << " is rejected";
    } catch (const std::exception& e) {
      ADD_FAILURE() << f.filename() << ": " << e.what();
    }
  }
}

TEST(FuzzRegressions, ScratchInputsThatOnceFailedAndSeeds) {
  for (const char* dir : {"tests/data/fuzz-regressions/scratch", "fuzz/corpus/scratch"}) {
    for (const fs::path& f : files_in(source / dir)) {
      try {
        ostrel::fuzz::check_scratch(slurp(f));
      } catch (const std::exception& e) {
        ADD_FAILURE() << f.filename() << ": " << e.what();
      }
    }
  }
}
