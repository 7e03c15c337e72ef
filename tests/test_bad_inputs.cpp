// End-to-end runs of the console program on bad input: every file of tests/data/bad/ (and a few
// made here: a missing file, a directory, huge lines) must end with its message, a non-zero exit
// status, no signal, no sanitizer report or stack trace, and no matrix in the result file.
// Each run happens in a fresh temporary folder with a copy of its input, so its log, result
// file and picture never touch the source tree. Also: the domain checks of the reading on the
// cases that once slipped through.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/halt.hpp"
#include "driver/reading.hpp"
#include "run_util.hpp"

namespace fs = std::filesystem;
using ostrel::testing::TempDir;

namespace {

const fs::path bad_dir = fs::path(OSTREL_SOURCE_DIR) / "tests" / "data" / "bad";

// Longest a bad input may take (far above the milliseconds it needs; also under sanitizers).
constexpr unsigned run_time_limit_s = 60;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A fresh folder, removed with everything in it at the end of the test.

struct Outcome {
  bool signaled = false;
  int signal = 0;
  int status = 0;
  std::string out, err, log, result;
  bool result_exists = false;
  bool picture_exists = false;
};

// Runs the ostrel binary in `dir` with `args`, standard input from `input` (or /dev/null), and
// collects its streams and files. A run longer than run_time_limit_s is ended by SIGALRM,
// which shows as a signal.
Outcome run_ostrel(const fs::path& dir, const std::vector<std::string>& args,
                   const std::string& input = "") {
  const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt", in = dir / "stdin.txt";
  {
    std::ofstream f(in, std::ios::binary);
    f << input;
  }
  std::vector<std::string> argv_text{OSTREL_BINARY};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    // Child: only async-signal-safe calls until exec.
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int fi = open(in.c_str(), O_RDONLY);
    const int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fi < 0 || fo < 0 || fe < 0) _exit(126);
    dup2(fi, 0);
    dup2(fo, 1);
    dup2(fe, 2);
    alarm(run_time_limit_s);  // a pending alarm survives exec
    execv(argv[0], argv.data());
    _exit(127);
  }
  Outcome r;
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return r;
  }
  int ws = 0;
  while (waitpid(pid, &ws, 0) < 0 && errno == EINTR) {
  }
  r.signaled = WIFSIGNALED(ws);
  r.signal = r.signaled ? WTERMSIG(ws) : 0;
  r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  r.out = slurp(out);
  r.err = slurp(err);
  r.log = slurp(dir / "ostrel.log");
  r.result_exists = fs::exists(dir / "result.osl");
  if (r.result_exists) r.result = slurp(dir / "result.osl");
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".ps") r.picture_exists = true;
  return r;
}

// A result file that holds a matrix has numbers in it (or what a number turned into: NaN,
// Infinity, a field of asterisks); the headings alone have none.
bool holds_matrix(const std::string& result) {
  for (char c : result)
    if ((c >= '0' && c <= '9') || c == '*') return true;
  return contains(result, "NaN") || contains(result, "nan") || contains(result, "Inf") ||
         contains(result, "inf");
}

// What every rejected run must show, whatever its message.
void expect_clean_failure(const Outcome& r, const std::string& what) {
  EXPECT_FALSE(r.signaled) << what << ": ended by signal " << r.signal << " ("
                           << strsignal(r.signal) << ")\n"
                           << r.err;
  EXPECT_NE(r.status, 0) << what << ": exit status 0 on a bad input";
  EXPECT_NE(r.status, 126) << what << ": the test could not start the program";
  EXPECT_NE(r.status, 127) << what << ": the test could not start the program";
  for (const char* trace : {"Sanitizer", "runtime error", "terminate called", "#0 ", "Aborted",
                            "what():", "Segmentation"})
    EXPECT_FALSE(contains(r.err, trace)) << what << ": standard error shows \"" << trace << "\"\n"
                                         << r.err;
  EXPECT_FALSE(holds_matrix(r.result)) << what << ": result file holds a matrix:\n" << r.result;
}

enum class Where { console, log, error };

struct BadCase {
  const char* file;     // in tests/data/bad/
  Where where;          // the stream that carries the message
  const char* message;  // a part of the message
  bool reading = true;  // stopped by the reading: no picture, message ends the log
};

// How the test runner names a case in its listing: the file.
void PrintTo(const BadCase& c, std::ostream* os) {
  *os << c.file;
}

const char* const input_stop = "STOP error input file, see <ostrel.log> statement executed";

// clang-format off
const BadCase bad_cases[] = {
  {"ah_not_positive.inp", Where::log, "error in input file: ah<=0"},
  {"iform_out_of_range.inp", Where::log, "error in input file: iform( 1)= 4 != {0,1,2,3}"},
  {"itype_out_of_range.inp", Where::log, "error in input file: itype( 2)=7 != {1,2,3}"},
  {"isign_negative.inp", Where::log, "error in input file: isign( 1)=* < 0.0"},
  {"one_sub_element.inp", Where::log, "error in input file: ni( 1)= 1 < 2"},
  {"zero_length.inp", Where::log, "zero length element   2"},
  {"copy_of_itself.inp", Where::log, " n=  2   iele=  2"},
  {"copy_rounded_to_zero_length.inp", Where::log, "zero length element   2"},
  {"side_index_out_of_range.inp", Where::log,
   "error in input file: side index of element  1 = 9 != {-1,0,1,2,3,4,5}"},
  {"no_element.inp", Where::log, "error in input file: no boundary element"},
  {"coinciding_conductors.inp", Where::log,
   "error in input file: conductor elements   1 and   2 coincide or overlap"},
  {"no_conductor.inp", Where::log, "error in input file: no conductor (every isign(i) is 0)"},
  {"conductor_without_element.inp", Where::log,
   "error in input file: conductor   2 has no conductor element (itype 1)"},
  {"conductor_number_huge.inp", Where::log,
   "error in input file: conductor   1 has no conductor element (itype 1)"},
  {"value_not_a_number.inp", Where::log, "error in input file: value not finite in line 10"},
  {"value_overflow.inp", Where::log, "error in input file: value not finite in line 4"},
  {"imm_negative.inp", Where::log, "error in input file: imm=-1 < 0"},
  {"channel_without_width.inp", Where::log, "error in input file: gpars(1)<=0 for igg= 4"},
  {"half_space_opposite_permittivities.inp", Where::log,
   "error in input file: deps(1)+deps(2)=0 for igg= 3"},
  {"half_space_upper_medium_not_positive.inp", Where::log,
   "error in input file: deps(1)<=0 for igg= 3"},
  {"half_space_element_below_interface.inp", Where::log,
   "error in input file: element   1 reaches below the interface y=0 of igg= 3; mirror the"
   " problem (y to -y) and swap deps(1) and deps(2)"},
  {"wrong_problem_kind.inp", Where::error, "STOP wrong problem, stop! statement executed"},
  {"null_charge_with_ground.inp", Where::log, "NULL charge and Green function incompatible"},
  {"one_hundred_and_one_elements.inp", Where::console, "Internal arrays dimension exceeded;"},
  {"below_ground_plane.inp", Where::log,
   "error in input file: element   1 reaches below the plane y=0 of igg= 1"},
  {"below_ground_plane_far_out.inp", Where::log,
   "error in input file: element   1 reaches below the plane y=0 of igg= 1"},
  {"below_symmetry_plane_arc.inp", Where::log,
   "error in input file: element   1 reaches below the plane y=0 of igg= 2"},
  {"arc_at_large_angles_below_ground.inp", Where::log,
   "error in input file: element   1 reaches below the plane y=0 of igg= 1"},
  {"arc_angles_beyond_a_million_turns.inp", Where::log,
   "error in input file: angles of arc   1 beyond a million turns"},
  {"arc_more_than_a_full_turn.inp", Where::log,
   "error in input file: arc   1 turns more than a full circle"},
  {"above_channel.inp", Where::log,
   "error in input file: element   1 reaches above the plane y=gpars(1) of igg= 4"},
  {"behind_channel_symmetry_plane.inp", Where::log,
   "error in input file: element   1 reaches into x<0, behind the symmetry plane of igg= 5"},
  {"element_beyond_range.inp", Where::log,
   "error in input file: size of element   1 beyond the range of reals"},
  {"integer_malformed.inp", Where::error, "input file \"case.inp\", line 3: bad integer \"1.5\""},
  {"end_of_file_in_group.inp", Where::error,
   "input file \"case.inp\", line 11: end of file inside a group"},
  {"empty.inp", Where::error, "input file \"case.inp\", line 1: end of file inside a group"},
  {"value_too_long.inp", Where::error,
   "input file \"case.inp\", line 6: value longer than 4096 characters"},
  {"repeat_count_huge.inp", Where::error,
   "input file \"case.inp\", line 4: bad repeat count \"99999999999*1\""},
  {"no_separator_between_entries.inp", Where::error,
   "input file \"case.inp\", line 15: bad integer \"--\""},
  {"unterminated_quote.inp", Where::error,
   "input file \"case.inp\", line 3: unterminated quoted text"},
  {"binary_garbage.inp", Where::error, "input file \"case.inp\", line 3: bad integer"},
  // Read fine, rejected by the solution.
  {"igg_out_of_range.inp", Where::error, "STOP error parameter Green function statement executed",
   false},
  {"units_out_of_range.inp", Where::console, "No such units", false},
  {"units_wrong_for_inductance.inp", Where::console, "No such units", false},
  // A Krylov dimension of two thousand million: its arrays cannot be had.
};
// clang-format on

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, EndsWithItsMessageAndNoMatrix) {
  const BadCase& c = GetParam();
  TempDir dir;
  fs::copy_file(bad_dir / c.file, dir.path / "case.inp");
  const Outcome r = run_ostrel(dir.path, {"case.inp"});
  expect_clean_failure(r, c.file);
  const std::string& stream = c.where == Where::console ? r.out
                              : c.where == Where::log   ? r.log
                                                        : r.err;
  EXPECT_TRUE(contains(stream, c.message)) << c.file << ": no \"" << c.message << "\"\nconsole:\n"
                                           << r.out << "\nlog:\n"
                                           << r.log << "\nerror:\n"
                                           << r.err;
  // A failed run leaves no result file; the reason of a rejected input is on the console too.
  EXPECT_FALSE(r.result_exists) << c.file;
  if (c.where == Where::log) {
    EXPECT_TRUE(contains(r.out, c.message)) << c.file << ":\n" << r.out;
  }
  if (c.reading) {
    EXPECT_FALSE(r.picture_exists) << c.file << ": a picture of a rejected input";
    if (c.where == Where::log) {
      // The message is the last line of the log.
      const std::string tail = r.log.substr(0, r.log.size() - 1);
      EXPECT_EQ(r.log.back(), '\n') << c.file;
      EXPECT_TRUE(tail.ends_with(c.message) ||
                  contains(tail.substr(tail.rfind('\n') + 1), c.message))
          << c.file << ": the log does not end with the message:\n"
          << r.log;
    }
  }
  if (contains(c.message, "error in input file") || contains(c.message, "zero length") ||
      contains(c.message, "iele=")) {
    EXPECT_TRUE(contains(r.err, input_stop)) << c.file << ":\n" << r.err;
  }
}

std::string case_name(const ::testing::TestParamInfo<BadCase>& info) {
  std::string name = info.param.file;
  name = name.substr(0, name.find('.'));
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, BadInput, ::testing::ValuesIn(bad_cases), case_name);

// Every file in the folder has its case, so none is forgotten.
TEST(BadInputFiles, EveryFileHasACase) {
  for (const auto& entry : fs::directory_iterator(bad_dir)) {
    const std::string name = entry.path().filename().string();
    bool found = false;
    for (const BadCase& c : bad_cases)
      found = found || name == c.file;
    EXPECT_TRUE(found) << name << " has no case in test_bad_inputs.cpp";
  }
}

TEST(BadInputRuns, MissingInputFileAndUnopenableResultFile) {
  TempDir dir;
  Outcome r = run_ostrel(dir.path, {"missing.inp"});
  expect_clean_failure(r, "missing input file");
  EXPECT_TRUE(contains(r.out, "Can not open input file  \nmissing.inp\n")) << r.out;

  fs::copy_file(fs::path(OSTREL_SOURCE_DIR) / "examples" / "coax.inp", dir.path / "coax.inp");
  r = run_ostrel(dir.path, {"coax.inp", "no/such/folder/out.osl"});
  expect_clean_failure(r, "unopenable result file");
  EXPECT_TRUE(contains(r.log, "Cannot open output file no/such/folder/out.osl")) << r.log;
}

TEST(BadInputRuns, NoNameOnStandardInputAndADirectoryAsInput) {
  TempDir dir;
  Outcome r = run_ostrel(dir.path, {});
  expect_clean_failure(r, "no name at the prompt");
  EXPECT_TRUE(contains(r.out, "Enter name of input file:  ")) << r.out;
  EXPECT_TRUE(contains(r.err, "no input file name on standard input")) << r.err;

  fs::create_directory(dir.path / "folder.inp");
  r = run_ostrel(dir.path, {"folder.inp"});
  expect_clean_failure(r, "directory as input");
  EXPECT_TRUE(contains(r.out, "Can not open input file  \nfolder.inp\n")) << r.out;
  EXPECT_EQ(r.err, "ostrel: folder.inp: Is a directory\n");
}

// Inputs too big to keep as files: a 4 MB first line without a line end, a million empty lines,
// 4 MB of blanks inside a group, a repeat count of 2147483647.
TEST(BadInputRuns, HugeLinesAndCountsStayBounded) {
  TempDir dir;
  struct Made {
    std::string text, where;
  };
  const std::string head = "t\nt\n0 1\n1 1 1 1 1\n0 0 0 0 0 0 0\n0.4 1\n";
  const Made made[] = {
      {std::string(4 << 20, 'x'), "line 1: end of file inside a group"},
      {std::string(1000000, '\n'), "line 1000001: end of file inside a group"},
      {head + "0" + std::string(4 << 20, ' ') + "\n", "line 8: end of file inside a group"},
      {"t\nt\n0 2147483647*1\n", "end of file inside a group"},
  };
  for (const Made& m : made) {
    {
      std::ofstream f(dir.path / "big.inp", std::ios::binary);
      f << m.text;
    }
    const Outcome r = run_ostrel(dir.path, {"big.inp"});
    expect_clean_failure(r, m.where);
    EXPECT_TRUE(contains(r.err, m.where)) << r.err;
  }
}

// The reading's domain checks on the cases that once slipped through: an allowance taken from
// coordinates on the other axis, and arcs at angles so large that stepping through the quarter
// directions never ended.
struct Read {
  bool stopped = false;
  ostrel::Halt halt;
};

Read read(const std::string& green, const std::string& element) {
  std::istringstream in("t\nt\n0 1\n1 1 1 1 1\n" + green + "\n0.4 1\n0 /\nh\n" + element);
  std::ostringstream console, log, result;
  ostrel::Streams io{console, log, result};
  Read r;
  try {
    ostrel::read_problem(in, "case.inp", io);
  } catch (const ostrel::Halt& h) {
    r.stopped = true;
    r.halt = h;
  }
  return r;
}

TEST(DomainChecks, AllowanceBelongsToEachAxis) {
  const std::string ground = "1 0 0 0 0 0 0";
  // Far out in x, still 0.5 below the plane.
  EXPECT_TRUE(read(ground, "1 0 1 1 4 1 1\n1e9 -0.5 1000000001 1 0\n1 1\n").stopped);
  EXPECT_TRUE(read(ground, "1 0 1 1 4 1 1\n0 -0.5 0 1e6 0\n1 1\n").stopped);
  // On the plane, however far out, is fine; so is a copy shifted onto it (grounded conductors:
  // one at its own potential may not touch the grounded plane; the wire is the conductor).
  const std::string wire = "--\n9 3 1 1 4 1 1\n0 5 1 0 0\n1 1\n";
  EXPECT_FALSE(read(ground, "1 0 1 0 4 1 1\n1e9 0 1000000001 1 0\n1 1\n" + wire).stopped);
  // 0.3 - 0.1 - 0.2 = -2.8e-17
  EXPECT_FALSE(read(ground,
                    "1 0 1 0 4 1 1\n0 0.3 1 0.3 0\n1 1\n--\n-2 0 1 0 4 1 1\n1 5 -0.1 0\n1 1\n--\n"
                    "-3 0 1 0 4 1 1\n2 5 -0.2 0\n1 1\n" +
                        wire)
                   .stopped);
  // Channel symmetry plane x = 0: far up the channel does not excuse x < 0.
  const std::string channel = "5 0 1e7 0 0 0 0";
  EXPECT_TRUE(read(channel, "1 0 1 1 4 1 1\n-0.5 9e6 1 9e6 0\n1 1\n").stopped);
  // Half circles that sit on a plane, with ends computed through the single-precision pi.
  EXPECT_FALSE(read(ground, "1 2 1 0 4 1 1\n0 0 1e3 0 180\n1 1\n" + wire).stopped);
  EXPECT_FALSE(read(channel, "1 2 1 1 4 1 1\n0 2e3 1e3 -90 90\n1 1\n").stopped);
  EXPECT_FALSE(read("4 0 2 0 0 0 0",
                    "1 2 1 0 4 1 1\n0 2 1 180 360\n1 1\n--\n9 3 1 1 4 1 1\n5 1 0.5 0 0\n1 1\n")
                   .stopped);
}

// The last log line of a stopped reading ("" when it went through).
std::string stop_line(const std::string& green, const std::string& element) {
  const Read r = read(green, element);
  return r.stopped && !r.halt.log.empty() ? r.halt.log.back() : "";
}

TEST(DomainChecks, ArcAnglesAndSweeps) {
  const std::string ground = "1 0 0 0 0 0 0";
  const auto arc = [&](const char* form, const char* centre_radius, const char* angles) {
    return stop_line(ground, std::string("1 ") + form + " 1 1 4 1 1\n" + centre_radius + " " +
                                 angles + "\n1 1\n");
  };
  // Sweeps of 6 radians around a centre 0.5 above the plane, at large angles: below the plane
  // wherever they start (stepping through the quarter directions once never ended here).
  for (const char* angles : {"6e6 6000006", "-6.2e6 -6199994", "1234567.8 1234573.8"})
    EXPECT_EQ(arc("1", "0 0.5 1", angles),
              "error in input file: element   1 reaches below the plane y=0 of igg= 1")
        << angles;
  EXPECT_EQ(arc("1", "0 5 1", "6e6 6000001"), "");  // high above: passes
  // Beyond a million turns the points lose their place on the circle.
  for (const char* angles : {"1.5e16 1.5000000000000006e16", "6.3e6 6300001", "-6.3e6 -6300004"})
    EXPECT_NE(arc("1", "0 5 1", angles).find("angles of arc   1 beyond a million turns"),
              std::string::npos)
        << angles;
  EXPECT_EQ(arc("2", "0 5 1", "3.5e8 350000001"), "");
  // More than one turn covers the circle twice; one turn written out is the circle.
  EXPECT_EQ(arc("1", "0 5 1", "0 7"), "error in input file: arc   1 turns more than a full circle");
  EXPECT_EQ(arc("2", "0 5 1", "-10 351"),
            "error in input file: arc   1 turns more than a full circle");
  EXPECT_EQ(arc("1", "0 5 1", "1.45e17 1.5000000003e308"),
            "error in input file: arc   1 turns more than a full circle");  // once made NaN points
  EXPECT_EQ(arc("1", "0 5 1", "0 6.2831854"), "");
  EXPECT_EQ(arc("2", "0 5 1", "90 -270"), "");
  // Arcs whose ends stay above the plane: only the bottom of the circle, when the sweep passes
  // it, reaches below.
  for (const char* angles : {"-60 60", "60 120", "120 240", "780 840"})
    EXPECT_FALSE(read(ground, std::string("1 2 1 1 4 1 1\n0 0.9 1 ") + angles + "\n1 1\n").stopped)
        << angles;
  for (const char* angles : {"-120 -60", "600 660", "-60 -120", "-999840 -999780"})
    EXPECT_TRUE(read(ground, std::string("1 2 1 1 4 1 1\n0 0.9 1 ") + angles + "\n1 1\n").stopped)
        << angles;
}

}  // namespace
