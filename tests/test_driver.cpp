// The console run driver, end to end: arguments, prompt, file failures, stop texts, exit status.
#include <gtest/gtest.h>

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
