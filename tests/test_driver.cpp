// The console run driver, end to end: arguments, prompt, file failures, stop texts, exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "run_util.hpp"

using namespace ostrel::testing;

namespace {

const std::string banner =
    "Program OSTREL (https://ostrel.example.org)\n100 boundary elements,   5 dielectrics;\n";

const std::string problem =
    "Circle\nin free space\n0 0\n1 1 1 1 1\n0 0 0 0 0 0 0\n0.5 1\n0 /\nheadings\n"
    "1 3 1 1 4 1 1\n0 0 1 0 0\n1 1\n";

std::string field80(const std::string& name) {
  return name.size() >= 80 ? name : name + std::string(80 - name.size(), ' ');
}

}  // namespace

TEST(Driver, PromptAndQuotedName) {
  auto dir = fresh_dir("prompt");
  write_file(dir / "my case.inp", problem);
  RunOutput r = run_ostrel(dir, {}, "'my case.inp'\n");
  EXPECT_FALSE(r.signalled);
  ASSERT_EQ(r.out.rfind(banner + "Enter name of input file:  Input file  " +
                            field80("my case.inp") + "\nCircle",
                        0),
            0u)
      << r.out;
  EXPECT_EQ(r.file("ostrel.log").rfind("Input file  " + field80("my case.inp") + "\n", 0), 0u);
}

TEST(Driver, InputFileThatCannotBeOpened) {
  auto dir = fresh_dir("noinput");
  RunOutput r = run_ostrel(dir, {"missing.inp"});
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(r.signalled);
  EXPECT_EQ(r.out, banner + "Can not open input file  \nmissing.inp\n");
  EXPECT_EQ(r.err, "ostrel: missing.inp: No such file or directory\n");
  EXPECT_TRUE(r.exists("ostrel.log"));
}

TEST(Driver, ResultFileArguments) {
  auto dir = fresh_dir("results");
  write_file(dir / "case.inp", problem);
  // A second argument that cannot be opened: the console and the log say why.
  RunOutput bad = run_ostrel(dir, {"case.inp", "no/such/dir/out.osl"});
  EXPECT_NE(bad.status, 0);
  const std::string why =
      "Cannot open output file no/such/dir/out.osl: No such file or directory\n";
  EXPECT_EQ(bad.file("ostrel.log"), "Input file  " + field80("case.inp") + "\n" + why);
  EXPECT_EQ(bad.out, banner + "Input file  " + field80("case.inp") + "\n" + why);
  EXPECT_FALSE(bad.exists("result.osl"));
  // Three arguments: the others are ignored, results go to result.osl.
  RunOutput three = run_ostrel(dir, {"case.inp", "a.osl", "b.osl"});
  EXPECT_TRUE(three.exists("result.osl"));
  EXPECT_FALSE(three.exists("a.osl"));
  RunOutput two = run_ostrel(dir, {"case.inp", "mine.osl"});
  EXPECT_TRUE(two.exists("mine.osl"));
}

TEST(Driver, LongNamesAreNotCut) {
  auto dir = fresh_dir("longname");
  const std::string name(120, 'x');
  write_file(dir / (name + ".inp"), problem);
  RunOutput r = run_ostrel(dir, {name + ".inp"});
  EXPECT_NE(r.out.find("Input file  " + name + ".inp\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Circle"), std::string::npos);  // the file was read
}

TEST(Driver, ReadingFailureEndsTheLogAndWritesTheStopText) {
  auto dir = fresh_dir("badinput");
  std::string text = problem;
  text.replace(text.find("0.5 1"), 5, "0 1");
  write_file(dir / "case.inp", text);
  RunOutput r = run_ostrel(dir, {"case.inp"});
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(r.signalled);
  EXPECT_EQ(r.err, "STOP error input file, see <ostrel.log> statement executed\n");
  const std::string log = r.file("ostrel.log");
  EXPECT_EQ(log, "Input file  " + field80("case.inp") + "\nerror in input file: ah<=0\n");
  EXPECT_EQ(r.file("result.osl"), "");
  EXPECT_FALSE(r.exists("case.inp.ps"));
}

TEST(Driver, MalformedValueIsAnErrorReportNamingFileAndLine) {
  auto dir = fresh_dir("malformed");
  std::string text = problem;
  text.replace(text.find("0 0 1 0 0"), 9, "0 0 x 0 0");
  write_file(dir / "case.inp", text);
  RunOutput r = run_ostrel(dir, {"case.inp"});
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(r.signalled);
  EXPECT_NE(r.err.find("\"case.inp\", line 10"), std::string::npos) << r.err;
}

TEST(Driver, TrailingBlanksAreNotPartOfFileNames) {
  auto dir = fresh_dir("blanks");
  write_file(dir / "case.inp", problem);
  RunOutput r = run_ostrel(dir, {"case.inp  ", "out.osl  "});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Input file  " + field80("case.inp") + "\n"), std::string::npos);
  EXPECT_TRUE(r.exists("out.osl"));
  EXPECT_TRUE(r.exists("case.inp.ps"));
  RunOutput prompted = run_ostrel(dir, {}, "'case.inp   '\n");
  EXPECT_EQ(prompted.status, 0) << prompted.out << prompted.err;
  EXPECT_TRUE(prompted.exists("result.osl"));
}

// Options start with "--" and are never file names; --help and --version start no run.
TEST(Driver, OptionsAreNeverFileNames) {
  auto dir = fresh_dir("options");
  RunOutput help = run_ostrel(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: ostrel [INPUT [RESULT]]\n", 0), 0u) << help.out;
  EXPECT_FALSE(help.exists("ostrel.log"));
  RunOutput version = run_ostrel(dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("100 boundary elements,   5 dielectrics,  95 sub-elements"),
            std::string::npos)
      << version.out;
  write_file(dir / "--case.inp", problem);
  RunOutput option = run_ostrel(dir, {"--case.inp"});
  EXPECT_NE(option.status, 0);
  EXPECT_EQ(option.out, "");
  EXPECT_NE(option.err.find("unknown option --case.inp"), std::string::npos) << option.err;
  RunOutput file = run_ostrel(dir, {"./--case.inp"});
  EXPECT_EQ(file.status, 0) << file.out << file.err;
}

// A failed run leaves an earlier good result file as it was, under either name, and no
// temporary file; a result file that cannot be written (a full disk) is an error naming it, not
// a success with a cut matrix.
TEST(Driver, FailedRunKeepsTheEarlierResult) {
  auto dir = fresh_dir("keep");
  write_file(dir / "good.inp", problem);
  std::string bad = problem;  // "No such units": found while reading
  bad.replace(bad.find("0 0\n"), 4, "0 4\n");
  write_file(dir / "bad.inp", bad);
  for (const std::vector<std::string>& names :
       {std::vector<std::string>{}, std::vector<std::string>{"mine.osl"}}) {
    const std::string result = names.empty() ? "result.osl" : names[0];
    std::vector<std::string> args{"good.inp"};
    args.insert(args.end(), names.begin(), names.end());
    ASSERT_EQ(run_ostrel(dir, args).status, 0);
    const std::string good = slurp(dir / result);
    ASSERT_NE(good.find("Capacitance (conductance)"), std::string::npos);
    args[0] = "bad.inp";
    RunOutput r = run_ostrel(dir, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("No such units"), std::string::npos) << r.out;
    EXPECT_EQ(slurp(dir / result), good);
  }
  for (const auto& f : std::filesystem::directory_iterator(dir))
    EXPECT_NE(f.path().filename().string()[0], '.') << f.path();  // no temporary file left
  RunOutput full = run_ostrel(dir, {"good.inp", "/dev/full"});
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.out.find("Cannot write output file /dev/full: No space left on device"),
            std::string::npos)
      << full.out;
}

// A run started where another holds the log stops at once, with a message, and writes nothing:
// the other run's log, result file and picture stay as they are.
TEST(Driver, SecondRunInTheSameFolderStopsBeforeWriting) {
  auto dir = fresh_dir("lock");
  write_file(dir / "case.inp", problem);
  write_file(dir / "ostrel.log", "the other run's log\n");
  const int fd = open((dir / "ostrel.log").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);  // as the other run holds it
  RunOutput r = run_ostrel(dir, {"case.inp"});
  close(fd);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("another run is using \"ostrel.log\" in this folder"), std::string::npos)
      << r.err;
  EXPECT_EQ(slurp(dir / "ostrel.log"), "the other run's log\n");
  EXPECT_FALSE(r.exists("result.osl"));
  EXPECT_FALSE(r.exists("case.inp.ps"));
  EXPECT_EQ(run_ostrel(dir, {"case.inp"}).status, 0);  // once it is free
}

namespace {

// A bundle of wires over ground, solved in core (iswitch 0) or out of core (1), with `scratch`
// as the windowed build's scratch folder: long enough to be interrupted in every phase.
std::string bundle(int iswitch, const std::string& scratch = "") {
  std::string text = "Bundle\nsignals\n0 1 /\n1 1 1 1 1\n1 0 0 0 0 0 0\n0.1 1\n" +
                     std::to_string(iswitch) + " 0 0 0 " +
                     (scratch.empty() ? "" : "'" + scratch + "' ") + "/\nheadings\n";
  for (int k = 0; k < 36; ++k)
    text += std::to_string(k + 1) + " 3 1 " + std::to_string(k + 1) + " 70 1 1\n" +
            std::to_string(1.2 * (k % 6)) + " " + std::to_string(1.0 + 1.2 * (k / 6)) +
            " 0.4 0 0\n1 1\n--\n";
  return text;
}

// Starts `program case.inp` in `dir`, sends `sig` once its file `watched` (its standard output
// is stdout.txt) holds `mark`, and returns how the process ended (the raw wait status).
int interrupted(const std::string& program, const std::filesystem::path& dir,
                const std::string& watched, const std::string& mark, int sig) {
  const std::filesystem::path out = dir / "stdout.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    execl(program.c_str(), program.c_str(), "case.inp", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Polls for the mark (a run takes seconds; 20 s is a hang).
  for (int i = 0; i < 4000 && slurp(dir / watched).find(mark) == std::string::npos; ++i)
    usleep(5000);
  kill(pid, sig);
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

}  // namespace

// SIGINT, SIGTERM and SIGHUP in the fill, the factorisation or the iteration end the run by that
// signal and leave no scratch file and no result file, complete-looking or temporary, in
// either build.
TEST(Driver, SignalsLeaveNoFilesBehind) {
  struct Case {
    const char* program;
    int iswitch;
    const char* watched;  // the windowed build shows its progress in the log
    const char* mark;
    int sig;
  };
  for (const Case& c :
       {Case{OSTREL_BINARY, 0, "stdout.txt", "Filling", SIGINT},
        Case{OSTREL_BINARY, 0, "stdout.txt", "LU: .", SIGTERM},
        Case{OSTREL_BINARY, 1, "stdout.txt", "Solving: .+", SIGHUP},
        Case{OSTREL_WINDOW_RUNNER, 1, "ostrel.log", "writing on disk block string", SIGTERM},
        Case{OSTREL_WINDOW_RUNNER, 1, "ostrel.log", "it(...): iteration", SIGINT}}) {
    auto dir = fresh_dir("signals");
    std::filesystem::create_directory(dir / "scratch");
    write_file(dir / "case.inp", bundle(c.iswitch, "scratch"));
    const int status = interrupted(c.program, dir, c.watched, c.mark, c.sig);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig)
        << c.program << " " << c.mark << ": " << status;
    EXPECT_FALSE(std::filesystem::exists(dir / "result.osl")) << c.mark;
    for (const auto& f : std::filesystem::directory_iterator(dir))
      EXPECT_NE(f.path().filename().string()[0], '.') << f.path();
    EXPECT_TRUE(std::filesystem::is_empty(dir / "scratch")) << c.program;
  }
}
