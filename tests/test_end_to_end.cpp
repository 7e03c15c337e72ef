// Whole runs compared line by line with reviewed expected files: console, log and result file.
// The date line of the log and the CPU time are masked.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "run_util.hpp"

using namespace ostrel::testing;

namespace {

// Whether `line` has the shape of the 24-character date: "Mon Dec  7 22:54:13 2026".
bool is_date(const std::string& line) {
  return line.size() == 24 && line[3] == ' ' && line[7] == ' ' && line[10] == ' ' &&
         line[13] == ':' && line[16] == ':' && line[19] == ' ';
}

std::string masked(const std::string& text) {
  const std::string cpu = "Total CPU time  ";
  std::istringstream in(text);
  std::string out, line;
  while (std::getline(in, line)) {
    if (is_date(line)) line = "<date>";
    if (line.rfind(cpu, 0) == 0) line = cpu + "<time>";
    out += line + "\n";
  }
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

// The coupled lines solved by the out-of-core iteration: the same console (but for the mode
// line and the LU progress), the same matrices in the log and the same result file as the
// in-core run, and the iteration's lines in the log.
TEST(EndToEnd, OutOfCoreGivesTheInCoreResults) {
  const auto source = std::filesystem::path(OSTREL_SOURCE_DIR) / "tests/data/e2e/coupled";
  auto dir = fresh_dir("e2e-outofcore");
  std::string text = slurp(source / "case.inp");
  text.replace(text.find("0 /"), 3, "1 /");
  write_file(dir / "case.inp", text);
  RunOutput r = run_ostrel(dir, {"case.inp"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  std::string out = masked(slurp(source / "stdout"));
  out.replace(out.find("BEM matrix allocated in core;"), 29, "Out-of-core solver applied;");
  out.erase(out.find("LU: "), out.find("Solving: ") - out.find("LU: "));
  // Without the marks of the passes over the scratch file.
  const std::string shown = std::regex_replace(r.out, std::regex("\\.\\++"), ".");
  EXPECT_EQ(masked(shown), out);
  EXPECT_EQ(r.file("result.osl"), slurp(source / "result"));
  const std::string log = masked(r.file("ostrel.log")), in_core = masked(slurp(source / "log"));
  EXPECT_EQ(log.substr(log.find("ge(i,j) done")), in_core.substr(in_core.find("ge(i,j) done")));
  for (const char* line :
       {"Block out-of-core solver with default parameters applied;\n",
        "block string for  i =  1 is ready\nwriting on disk block string for i =   1\nDone\n",
        "block string for  i =  2 is ready\nwriting on disk block string for i =   2\nDone\n",
        " it(..) will start with: imm=40  itlim=  50  eps=1.00E-09\n\n"
        "it(...): iteration    0  ||u-u0||=  0.00E+00  residual=  ",
        " it: nerr=  0   nmbit =   1\n residual= "})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

// An iteration stopped by its limit (here itlim < 0: the block-Jacobi start alone) still writes
// its results; then the console says that they are not reliable and the exit status is 1.
TEST(EndToEnd, UnconvergedOutOfCoreRunEndsWithStatusOne) {
  auto dir = fresh_dir("e2e-unconverged");
  std::string text =
      slurp(std::filesystem::path(OSTREL_SOURCE_DIR) / "tests/data/e2e/coupled/case.inp");
  text.replace(text.find("0 /"), 3, "1 5 -1 1e-4");
  write_file(dir / "case.inp", text);
  RunOutput r = run_ostrel(dir, {"case.inp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(r.signalled);
  EXPECT_EQ(r.err, "");
  const std::string line =
      " Not converged: the out-of-core iteration reached its limit itlim = -1 for conductor(s) 1 "
      "2; the matrices above are not reliable.\n";
  EXPECT_TRUE(r.out.ends_with(line)) << r.out;
  EXPECT_NE(r.out.find("Capacitance (Conductivity) [pF/m]:"), std::string::npos);
  EXPECT_TRUE(r.file("ostrel.log").ends_with(line));
  EXPECT_FALSE(r.exists("result.osl"));  // a failed run writes no result file
}
