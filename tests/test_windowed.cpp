// The windowed build end to end, without a window system: its run driver on the recording
// platform (ostrel-window-runner) against the console program on the same problems.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "run_util.hpp"

using namespace ostrel::testing;

namespace {

// The values of the matrix that ends a result file: every number after the heading line.
std::vector<double> matrix_of(const std::string& result) {
  const std::size_t head = result.find("; \n");
  std::istringstream in(result.substr(head == std::string::npos ? 0 : head + 3));
  std::vector<double> v;
  for (double x; in >> x;)
    v.push_back(x);
  return v;
}

// Two coated wires with the zero-total-charge switch, solved out of core; the windowed build
// keeps its binary scratch file in the folder the input names.
const std::string coated_pair =
    "Two coated wires, zero total charge\n"
    "out of core\n"
    "0 1 /\n"
    "3 1 1 1 1\n"
    "0 1 0 0 0 0 0\n"
    "0.1 1\n"
    "1 5 60 1e-10 'scratch/'\n"
    "headings\n"
    "1 3 1 1 24 1 1\n-1.5 0 0.5 0 0\n1 1\n--\n"
    "2 3 3 0 24 1 1\n-1.5 0 0.8 0 0\n1 -1\n--\n"
    "3 3 1 2 24 1 1\n1.5 0 0.5 0 0\n1 1\n--\n"
    "4 3 3 0 24 1 1\n1.5 0 0.8 0 0\n1 -1\n--\n";

}  // namespace

// The same problems give the same matrices in both builds to the printed digits (their
// constants differ from the eighth digit on: pi, and thresholds that decide nothing here), the
// windowed files carry the windowed build's lines, and no scratch file is left behind.
TEST(Windowed, SameMatricesAsTheConsoleProgram) {
  const std::string coupled =
      slurp(std::filesystem::path(OSTREL_SOURCE_DIR) / "examples" / "coupled.inp");
  for (const auto& [name, text] :
       {std::pair{"coupled", coupled}, std::pair{"coated", coated_pair}}) {
    auto dir = fresh_dir(std::string("windowed-") + name);
    std::filesystem::create_directory(dir / "scratch");
    write_file(dir / "case.inp", text);
    RunOutput console = run_ostrel(dir, {"case.inp", "console.osl"});
    ASSERT_EQ(console.status, 0) << name << console.out << console.err;
    RunOutput window = run_program(OSTREL_WINDOW_RUNNER, dir, {"case.inp", "window.osl"});
    ASSERT_EQ(window.status, 0) << name << window.out << window.err;

    const std::vector<double> c = matrix_of(console.file("console.osl"));
    const std::vector<double> w = matrix_of(window.file("window.osl"));
    ASSERT_EQ(c.size(), 4u) << name;
    ASSERT_EQ(w.size(), 4u) << name;
    // Four printed digits: equal, or one unit apart where rounding falls either way.
    for (std::size_t i = 0; i < c.size(); ++i)
      EXPECT_LT(std::fabs(c[i] - w[i]), 1.01e-3 * std::fabs(c[i])) << name << " " << i;

    const std::string log = window.file("ostrel.log");
    // The result file starts with the first title (60 characters of it).
    const std::string title = text.substr(0, std::min<std::size_t>(text.find('\n'), 60));
    EXPECT_EQ(window.file("window.osl").rfind(title, 0), 0u) << name;
    EXPECT_NE(window.file("window.osl").find("\ncapacitance (conductance) [pF/m]; \n"),
              std::string::npos);
    EXPECT_NE(log.find("grids and collocation points computed;\n"), std::string::npos);
    EXPECT_NE(log.find("output file is  window.osl\n"), std::string::npos);
    EXPECT_EQ(log.find("Non-dimensional"), std::string::npos);
    EXPECT_NE(window.out.find(" output file: window.osl\n"), std::string::npos) << window.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "scratch" / "tmp.osl")) << name;
    EXPECT_TRUE(std::filesystem::is_empty(dir / "scratch")) << name;
  }
}

namespace {

// One conductor among 62 grounded wires of 95 nodes each: 5985 unknowns, 287 MB in core, and a
// block-Jacobi start that is nearly the solution, so that the iteration ends after a few cycles.
std::string wire_field(const std::string& controls) {
  std::string text = "One wire among grounded wires\nmemory limit\n0 1 /\n1 1 1 1 1\n" +
                     std::string("0 0 0 0 0 0 0\n0.1 1\n") + controls + "\nheadings\n";
  int i = 0;
  for (int r = 0; r < 7; ++r)
    for (int c = 0; c < 9; ++c)
      text += std::to_string(++i) + " 3 1 " + (r == 3 && c == 4 ? "1" : "0") + " 95 1 1\n" +
              std::to_string((c - 4) * 3) + " " + std::to_string((r - 3) * 3) +
              " 0.3 0 0\n1 1\n--\n";
  return text;
}

}  // namespace

// Far couplings, carried by matrix entries far below 1e-6: between two wires at mid-height in a
// grounded channel 4 mm high the field decays as exp(-pi d / 4) (the next mode excited, as
// exp(-3 pi d / 4), is 5e-13 of it at 18 mm), so C12(21 mm) / C12(18 mm) = exp(-3 pi / 4) on the
// same grids, and the pair's mirror symmetry makes the windowed build's two one-sided couplings
// equal. A factorisation that left out small pivot-row entries gave 0.14 and one coupling 66
// times the other. 0.5 %: four printed digits (0.01 %) and 95 nodes (0.1 % measured).
TEST(Windowed, FarCouplingsInAGroundedChannelDecayAsTheFirstMode) {
  auto dir = fresh_dir("windowed-channel");
  std::vector<double> c[2], w[2];
  for (int k = 0; k < 2; ++k) {
    std::string text =
        "Channel\n\n0 1 /\n1 1 1 1 1\n4 0 4 0 0 0 0\n0.1 1\n0 /\nheadings\n"
        "1 3 1 1 95 1 1\n0 2 0.5 0 0\n1 1\n--\n2 3 1 2 95 1 1\n";
    text += std::to_string(18 + 3 * k) + " 2 0.5 0 0\n1 1\n--\n";
    write_file(dir / "case.inp", text);
    RunOutput console = run_ostrel(dir, {"case.inp", "c.osl"});
    RunOutput window = run_program(OSTREL_WINDOW_RUNNER, dir, {"case.inp", "w.osl"});
    c[k] = matrix_of(console.file("c.osl")), w[k] = matrix_of(window.file("w.osl"));
    ASSERT_TRUE(c[k].size() == 4 && w[k].size() == 4) << console.out << window.out;
    EXPECT_LT(std::fabs(w[k][1] / w[k][2] - 1), 5e-3) << w[k][1];
  }
  const double first_mode = std::exp(-3 * std::numbers::pi / 4);
  for (int e : {1, 2}) {
    EXPECT_LT(std::fabs(c[1][e] / c[0][e] / first_mode - 1), 5e-3) << c[1][e];
    EXPECT_LT(std::fabs(w[1][e] / w[0][e] / first_mode - 1), 5e-3) << w[1][e];
  }
}

// Where the whole matrix cannot be obtained, the windowed build solves out of core with the
// default parameters instead of stopping, not with the iteration controls of the in-core input
// (here a loose eps that would end the iteration early). The address space is limited to what
// the same problem needs out of core (measured first) and 32 MB more: far below the 287 MB more
// that the whole matrix needs.
TEST(Windowed, FallsBackToTheOutOfCoreModeWhenMemoryIsShort) {
#ifdef OSTREL_SANITIZE_BUILD
  GTEST_SKIP() << "the sanitizers reserve far more address space than any limit here";
#endif
  auto dir = fresh_dir("windowed-fallback");
  write_file(dir / "ooc.inp", wire_field("1 /"));
  write_file(dir / "incore.inp", wire_field("0 2 3 0.5 /"));
  RunOutput measured = run_program(OSTREL_WINDOW_RUNNER, dir, {"--peak", "ooc.inp", "ooc.osl"});
  ASSERT_EQ(measured.status, 0) << measured.out << measured.err;
  const std::size_t at = measured.err.find("VmPeak:");
  ASSERT_NE(at, std::string::npos) << measured.err;
  const long peak_kb = std::stol(measured.err.substr(at + 7));
  const long limit_kb = peak_kb + 32 * 1024;

  const std::string cmd = "cd '" + dir.string() + "' && ulimit -v " + std::to_string(limit_kb) +
                          " && '" OSTREL_WINDOW_RUNNER "' incore.inp incore.osl > out.txt 2>&1";
  const int raw = std::system(cmd.c_str());
  const std::string out = slurp(dir / "out.txt");
  ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << out;
  EXPECT_NE(out.find(" small memory for in-core matrix\n out-of-core solver applied\n"),
            std::string::npos)
      << out;
  const std::string log = slurp(dir / "ostrel.log");
  EXPECT_NE(log.find("block out-of-core solver with default parameters"), std::string::npos);
  EXPECT_NE(log.find(" it(..) will start with: imm=40  itlim=  50  eps=1.00E-09"),
            std::string::npos)
      << log;
  const std::vector<double> fallen = matrix_of(slurp(dir / "incore.osl"));
  ASSERT_EQ(fallen.size(), 1u);
  EXPECT_EQ(fallen, matrix_of(slurp(dir / "ooc.osl")));
  EXPECT_FALSE(std::filesystem::exists(dir / "tmp.osl"));
}

// The text window of a whole run: status lines at column 2, the summary, the progress displays
// overwriting each other on their row, the labelled matrix, the times after five free rows.
TEST(Windowed, TextWindowOfAWholeRun) {
  auto dir = fresh_dir("windowed-text");
  std::filesystem::copy_file(std::filesystem::path(OSTREL_SOURCE_DIR) / "examples" / "coupled.inp",
                             dir / "coupled.inp");
  RunOutput r = run_program(OSTREL_WINDOW_RUNNER, dir, {"coupled.inp"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::string text = r.out;
  const std::size_t times = text.find(" start time ");
  ASSERT_NE(times, std::string::npos) << text;
  text.replace(times, text.find('\n', times) - times, " start time hh:mm:ss    end time hh:mm:ss");
  EXPECT_EQ(text,
            "\n"
            " Coupled lines: two wires, radius 0.5 mm, 2 mm above ground,\n"
            " Capacitance matrix in pF/m of the pair in air over a ground\n"
            "\n"
            " problem: capacitance (conductance) [pF/m];\n"
            " Green function: 1\n"
            " NULL total charge OFF\n"
            " 2 boundary element(s)\n"
            " 2 conductor(s)\n"
            " 62 unknowns\n"
            "\n"
            " BEM matrix allocated in core\n"
            " LU decomposition:   100%\n"
            "  capacitance (conductivity) [pF/m]:\n"
            "\n"
            " 0.2886E+02 -.6929E+01\n"
            " -.6929E+01 0.2886E+02\n"
            "\n\n\n\n\n"
            " start time hh:mm:ss    end time hh:mm:ss\n"
            " output file: result.osl\n");
}

// The windowed build's scratch file is a file of its own in the folder the input names, given
// with or without its closing '/' and of any length: a file there of someone else's, even one
// called tmp.osl, stays as it was, and nothing is left behind. A folder that is not there, or
// a name that is a file, stops the run with a message naming it. Each conductor of the
// out-of-core solution gets its charge plot.
TEST(Windowed, ScratchFileIsItsOwnInTheNamedFolder) {
  auto dir = fresh_dir("windowed-scratch");
  const std::string folder = "scratch folder longer than twenty characters";
  std::filesystem::create_directory(dir / folder);
  write_file(dir / folder / "tmp.osl", "someone else's\n");
  std::string text = coated_pair;
  text.replace(text.find("'scratch/'"), 10, "'" + folder + "'");
  write_file(dir / "case.inp", text);
  RunOutput r = run_program(OSTREL_WINDOW_RUNNER, dir, {"--ops", "ops.txt", "case.inp"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::vector<std::string> left;
  for (const auto& f : std::filesystem::directory_iterator(dir / folder))
    left.push_back(f.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"tmp.osl"});
  EXPECT_EQ(slurp(dir / folder / "tmp.osl"), "someone else's\n");
  EXPECT_NE(r.file("ostrel.log").find("tmp dir:  " + folder + "\n"), std::string::npos);
  const std::string ops = r.file("ops.txt");
  std::size_t plots = 0;
  for (auto p = ops.find("densities of charges"); p != std::string::npos;
       p = ops.find("densities of charges", p + 1))
    ++plots;
  EXPECT_EQ(plots, 2u);

  write_file(dir / "a file", "not a folder\n");
  for (const auto& [name, why] :
       {std::pair<std::string, std::string>{"a file", "<a file/tmp.osl>"},
        std::pair<std::string, std::string>{"missing/",
                                            "the scratch folder 'missing/' does not exist"}}) {
    std::string other = coated_pair;
    other.replace(other.find("'scratch/'"), 10, "'" + name + "'");
    write_file(dir / "case.inp", other);
    RunOutput s = run_program(OSTREL_WINDOW_RUNNER, dir, {"case.inp"});
    EXPECT_EQ(s.status, 1) << name;
    EXPECT_NE(s.out.find(why), std::string::npos) << s.out;
  }
  EXPECT_EQ(slurp(dir / "a file"), "not a folder\n");
}
