// Whole runs compared line by line with reviewed expected files: console, log and result file.
// The date line of the log and the CPU time are masked.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "run_util.hpp"

using namespace ostrel::testing;

namespace {

std::string masked(const std::string& text) {
  static const std::regex date("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]{2} [0-9:]{8} [0-9]{4}");
  static const std::regex cpu("Total CPU time  [ 0-9.*]{5} sec");
  std::istringstream in(text);
  std::string out, line;
  while (std::getline(in, line))
    out += std::regex_match(line, date) ? "<date>\n"
                                        : std::regex_replace(line, cpu, "Total CPU time xx") + "\n";
  return out;
}

void compare(const std::string& name) {
  const auto source = std::filesystem::path(OSTREL_SOURCE_DIR) / "tests/data/e2e" / name;
  auto dir = fresh_dir("e2e-" + name);
  std::filesystem::copy_file(source / "case.inp", dir / "case.inp");
  RunOutput r = run_ostrel(dir, {"case.inp"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(masked(r.out), masked(slurp(source / "stdout")));
  EXPECT_EQ(masked(r.file("ostrel.log")), masked(slurp(source / "log")));
  EXPECT_EQ(r.file("result.osl"), slurp(source / "result"));
  EXPECT_TRUE(r.exists("case.inp.ps"));
}

}  // namespace

TEST(EndToEnd, CoupledLinesInPicofaradPerMetre) {
  compare("coupled");
}
TEST(EndToEnd, InductanceWithCopiedArcs) {
  compare("inductance");
}
TEST(EndToEnd, ZeroTotalChargeWithInterface) {
  compare("zero_charge");
}
