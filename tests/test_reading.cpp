// Reading of problem files: presets, copies, completion, the echo, and every input error with
// its exact log line and stop text.
#include <gtest/gtest.h>

#include <sstream>

#include "base/halt.hpp"
#include "driver/reading.hpp"

using namespace ostrel;

namespace {

struct Outcome {
  Input input;
  bool stopped = false;
  Halt halt;
  std::string console, log, result;
};

Outcome read_text(const std::string& text, const BuildConstants& build = console_build) {
  std::istringstream in(text);
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  Outcome out;
  try {
    out.input = read_problem(in, "case.inp", io, build);
  } catch (const Halt& h) {
    out.stopped = true;
    out.halt = h;
  }
  out.console = console.str();
  out.log = log.str();
  out.result = result.str();
  if (!build.result_head) {
    EXPECT_TRUE(out.result.empty());
  }
  return out;
}

const std::string head =
    "Title one\n"
    "Title two\n"
    "0 1\n"
    "2.5 1 1 1 1\n"
    "0 0 0 0 0 0 0\n"
    "0.4 1\n"
    "0 /\n"
    "headings\n";

const std::string circle = "1 3 1 1 0 1 1\n0 0 1 0 0\n1 1\n--\n";

// The element entry `i` with the given header tail and geometry.
std::string entry(int number, const std::string& header, const std::string& geom,
                  const std::string& sides = "1 1") {
  return std::to_string(number) + " " + header + "\n" + geom + "\n" + sides + "\n--\n";
}

void expect_input_error(const std::string& text, const std::string& log_line) {
  Outcome o = read_text(text);
  ASSERT_TRUE(o.stopped) << log_line;
  EXPECT_EQ(o.halt.stop_text, "error input file, see <ostrel.log>");
  EXPECT_NE(o.halt.status, 0);
  ASSERT_EQ(o.halt.log.size(), 1u);
  EXPECT_EQ(o.halt.log[0], log_line);
}

}  // namespace

TEST(Reading, EchoIsLaidOutExactly) {
  Outcome o = read_text(head + entry(1, "0 1 1 0 1 1", "0 0 10 0 0") +
                        entry(2, "2 3 0 4 0 0", "1 2 0.5 0 90", "1 2"));
  ASSERT_FALSE(o.stopped);
  // A lone strip in free space: its potential refers to one length unit, which is said.
  const std::string warning =
      " Warning: no grounded conductor (itype 1, isign 0) and idmn=0: potentials are referred to"
      " a distance of one length unit, so the matrix depends on the unit of length; idmn=1 (zero"
      " total charge) removes the dependence\n";
  EXPECT_EQ(o.console, std::string("Title one") + std::string(63, ' ') + "\nTitle two" +
                           std::string(63, ' ') + "\n\n" + warning);
  const std::string expected =
      "Title one" + std::string(63, ' ') + "\nTitle two" + std::string(63, ' ') +
      "\n"
      "iprobl=0    iunits=1    ish=0\n"
      "deps(i):   2.500E+00   1.000E+00   1.000E+00   1.000E+00   1.000E+00\n"
      "igg=  0   idmn=  0   gpars:   0.000E+00   0.000E+00   0.000E+00   0.000E+00   0.000E+00\n"
      "default LU: iswitch=0\n"
      "ah= 4.000E-01\n"
      "program starts with the next input data:\n"
      " n= 2   m= 1\n"
      "dimension of main matrix and max block of this matrix are:\n"
      "nd=  29\n"
      "nimax=  25\n"
      "element number    1\n"
      "  itype(i)=  1  ni(i)= 25  isign(i)=  1  iform(i)=  0\n"
      "  iamns(i)=  1  iaplus(i)=  1  ileft(i)=  1  iright(i)=  1\n"
      "  geom(i,*):    0.0000E+00    0.0000E+00    1.0000E+01    0.0000E+00\n"
      "  amns(i)= 2.500E+00    aplus(i)= 2.500E+00  \n"
      "element number    2\n"
      "  itype(i)=  3  ni(i)=  4  isign(i)=  0  iform(i)=  2\n"
      "  iamns(i)=  1  iaplus(i)=  2  ileft(i)=  1  iright(i)=  1\n"
      "  geom(i,*):    1.0000E+00    2.0000E+00    5.0000E-01    0.0000E+00    9.0000E+01\n"
      "  amns(i)= 2.500E+00    aplus(i)= 1.000E+00  \n"
      "-----------------------------end-of-input-data\n" +
      warning;
  ASSERT_GT(o.log.size(), 25u);
  EXPECT_EQ(o.log.substr(25), expected);  // the date line is masked
  EXPECT_EQ(o.input.dims.nd, 29);
  EXPECT_EQ(o.input.dims.nimax, 25);
  EXPECT_EQ(o.input.controls.imm, 40);
}

TEST(Reading, GroupSixWithoutSlashTakesTheNextLine) {
  std::string text = head;
  text.replace(text.find("0.4 1\n0 /\n"), 10, "0.4\n3 7 9\n1 2 3 0.5\n");
  Outcome o = read_text(text + circle);
  ASSERT_FALSE(o.stopped);
  const SolverControls& c = o.input.controls;
  EXPECT_EQ(c.iorder, 1);  // 3 was read as iorder, then set to 1
  EXPECT_EQ(c.iswitch, 1);
  EXPECT_EQ(c.imm, 2);
  EXPECT_EQ(c.itlim, 3);
  EXPECT_EQ(c.eps, 0.5);
  EXPECT_NE(o.log.find("iswitch=1    imm= 2    itlim=  3    eps= 5.000E-01\n"), std::string::npos);
}

TEST(Reading, SolverControlsDefaultsAndEcho) {
  std::string slash = head;
  slash.replace(slash.find("0 /\n"), 4, "1 /\n");
  Outcome o = read_text(slash + circle);
  ASSERT_FALSE(o.stopped);
  EXPECT_NE(o.log.find("iswitch=1    imm=40    itlim= 50    eps= 1.000E-09\n"), std::string::npos);

  std::string zeros = head;
  zeros.replace(zeros.find("0 /\n"), 4, "2 0 0 0.0\n");
  o = read_text(zeros + circle);
  ASSERT_FALSE(o.stopped);
  EXPECT_NE(o.log.find("iswitch=2    imm= 0    itlim=  0    eps= 0.000E+00\n"), std::string::npos);
  EXPECT_EQ(o.input.controls.imm, 40);
  EXPECT_EQ(o.input.controls.itlim, 50);
  EXPECT_EQ(o.input.controls.eps, 1.0e-9);
  EXPECT_EQ(o.log.find("at or below"), std::string::npos);  // a zero is no tolerance given

  // A tolerance at or below the zero threshold is replaced, and the run says so; a negative
  // one is refused.
  std::string tiny = head;
  tiny.replace(tiny.find("0 /\n"), 4, "1 5 50 1e-12\n");
  o = read_text(tiny + circle);
  ASSERT_FALSE(o.stopped);
  EXPECT_EQ(o.input.controls.eps, 1.0e-9);
  const std::string note = " eps=1.00E-12 is at or below 1.00E-09: the iteration uses eps=1.00E-09";
  EXPECT_NE(o.log.find(note + "\n"), std::string::npos) << o.log;
  EXPECT_NE(o.console.find(note + "\n"), std::string::npos);
  tiny.replace(tiny.find("1e-12"), 5, "-1e-3");
  o = read_text(tiny + circle);
  ASSERT_TRUE(o.stopped);
  EXPECT_EQ(o.halt.log, std::vector<std::string>{"error in input file: eps=-1.000E-03 < 0"});

  // Values wider than their echo fields are accepted and shown as asterisks; only a negative
  // imm is refused.
  std::string wide = head;
  wide.replace(wide.find("0 /\n"), 4, "1 150 5000 1e-3\n");
  o = read_text(wide + circle);
  ASSERT_FALSE(o.stopped);
  EXPECT_NE(o.log.find("iswitch=1    imm=**    itlim=***    eps= 1.000E-03\n"), std::string::npos);
  EXPECT_EQ(o.input.controls.imm, 150);
  EXPECT_EQ(o.input.controls.itlim, 5000);
}

TEST(Reading, MaterialValuesBySideAndProblemKind) {
  std::string igg3 = head;
  igg3.replace(igg3.find("0 0 0 0 0 0 0\n"), 14, "3 0 0 0 0 0 0\n");
  Outcome o = read_text(igg3 + entry(1, "3 1 1 0 1 1", "0 1 1 0 0", "2 0"));
  ASSERT_FALSE(o.stopped);
  const Element& e = o.input.problem.el(1);
  EXPECT_EQ(e.iamns, -1);
  EXPECT_EQ(e.iaplus, -1);
  EXPECT_EQ(e.amns, 1.0);
  EXPECT_EQ(e.aplus, 1.0);

  std::string ind = head;
  ind.replace(0, ind.find("2.5"), "t\nt\n1 4\n");
  ind.replace(ind.find("2.5 1 1 1 1"), 11, "2.5 -1 1 1 1");
  o = read_text(ind + entry(1, "3 1 1 0 1 1", "0 0 1 0 0", "1 0") +
                entry(2, "3 1 0 0 1 1", "5 0 1 0 0", "2 -1"));
  ASSERT_FALSE(o.stopped);
  EXPECT_DOUBLE_EQ(o.input.problem.el(1).amns, 1 / 2.5);
  EXPECT_EQ(o.input.problem.el(1).aplus, 0.0);  // side 0
  EXPECT_EQ(o.input.problem.el(2).amns, 0.0);   // a permittivity below zero
  EXPECT_EQ(o.input.problem.el(2).aplus, 1.0);  // deps(-1) = 1
}

TEST(Reading, AutomaticSubdivisionAndCap) {
  struct Case {
    const char* ah;
    const char* geom;
    int ni;
  };
  for (Case c : {Case{"0.4", "0 0 10 0 0", 25}, Case{"5", "0 0 10 0 0", 3},
                 Case{"4", "0 0 10 0 0", 3}, Case{"4", "0 0 14 0 0", 4}}) {
    std::string text = head;
    text.replace(text.find("0.4 1"), 5, std::string(c.ah) + " 1");
    Outcome o = read_text(text + entry(1, "0 1 1 0 1 1", c.geom));
    ASSERT_FALSE(o.stopped);
    EXPECT_EQ(o.input.problem.el(1).ni, c.ni) << c.ah << " " << c.geom;
  }
  // 95 is the capacity: kept without a word; 96 and beyond are capped with a log line.
  Outcome o = read_text(head + entry(1, "0 1 1 95 1 1", "0 0 1 0 0"));
  ASSERT_FALSE(o.stopped);
  EXPECT_EQ(o.input.problem.el(1).ni, 95);
  EXPECT_EQ(o.log.find("cuted"), std::string::npos);
  o = read_text(head + entry(1, "0 1 1 96 1 1", "0 0 1 0 0"));
  EXPECT_EQ(o.input.problem.el(1).ni, 95);
  o = read_text(head + entry(1, "0 1 1 200 1 1", "0 0 1 0 0"));
  ASSERT_FALSE(o.stopped);
  EXPECT_EQ(o.input.problem.el(1).ni, 95);
  EXPECT_EQ(o.input.dims.nimax, 95);
  EXPECT_NE(o.log.find("i=  1  <ni(i)> cuted to <nimax_def>\n"), std::string::npos);
  // An explicit 2 stays: only automatic subdivisions have the minimum of 3.
  o = read_text(head + entry(1, "0 1 1 2 1 1", "0 0 10 0 0"));
  EXPECT_EQ(o.input.problem.el(1).ni, 2);
}

TEST(Reading, NumberingWarningAndCopies) {
  Outcome o = read_text(
      head + entry(1, "1 1 1 4 1 1", "1 2 3 0.5 1.5") + entry(2, "2 3 0 4 1 1", "0 0 1 10 20") +
      entry(-3, "0 1 1 4 1 1", "1 5 6 0.25") + entry(4, "0 1 1 4 1 1", "0 0 1 1 0") +
      entry(3, "0 1 1 4 1 1", "5 5 6 6 0") + entry(-4, "0 1 2 5 1 1", "4 1 2 0"));
  ASSERT_FALSE(o.stopped) << o.halt.log[0];
  EXPECT_NE(o.log.find("\nwarning - error numeration element   5\n\n"), std::string::npos);
  const Problem& pb = o.input.problem;
  // Element 3 copies the radian arc: centre shifted, radius kept, angles turned.
  EXPECT_EQ(pb.el(3).iform, 1);
  EXPECT_EQ(pb.el(3).geom, (std::array<double, 5>{6, 8, 3, 0.75, 1.75}));
  // Element 6 copies the segment 4: both end points shifted; its own header's isign stays.
  EXPECT_EQ(pb.el(6).geom, (std::array<double, 5>{1, 2, 2, 3, 0}));
  EXPECT_EQ(pb.el(6).isign, 2);
  EXPECT_EQ(pb.el(6).ni, 5);
  EXPECT_EQ(o.input.dims.m, 2);
}

TEST(Reading, CopiesOfCircles) {
  Outcome o = read_text(head + circle + entry(-2, "3 1 1 0 1 1", "1 5 6 -1"));
  ASSERT_FALSE(o.stopped);
  EXPECT_EQ(o.input.problem.el(2).geom, (std::array<double, 5>{5, 6, 1, -1, 0}));
}

TEST(Reading, EndOfTheElementList) {
  // With and without a separator after the last entry.
  Outcome a = read_text(head + "1 3 1 1 0 1 1\n0 0 1 0 0\n1 1\n");
  ASSERT_FALSE(a.stopped);
  EXPECT_EQ(a.input.dims.n, 1);
  // A header cut short by the end of the file is not counted.
  Outcome b = read_text(head + circle + "2 3 1");
  ASSERT_FALSE(b.stopped);
  EXPECT_EQ(b.input.dims.n, 1);
  // Without the separator the next header is consumed as the separator.
  Outcome c =
      read_text(head + "1 3 1 1 0 1 1\n0 0 1 0 0\n1 1\n2 3 1 1 0 1 1\n0 0 2 0 0\n1 1\n--\n");
  ASSERT_TRUE(c.stopped);
  EXPECT_EQ(c.halt.status, exit_io_error);  // "0 0 2 0 0" is read as a header...
}

TEST(Reading, CapacityOfOneHundredElements) {
  std::string text = head;
  for (int i = 1; i <= 100; ++i)
    text += entry(i, "0 1 1 3 1 1", "0 " + std::to_string(i) + " 1 " + std::to_string(i) + " 0");
  Outcome ok = read_text(text);
  ASSERT_FALSE(ok.stopped);
  EXPECT_NE(ok.log.find(" n=**   m= 1\n"), std::string::npos);
  // The 101st entry stops before any of its groups after the header is read.
  Outcome o = read_text(text + "101 0 1 1 3 1 1\nnot numbers at all\n");
  ASSERT_TRUE(o.stopped);
  EXPECT_EQ(o.halt.stop_text, "");
  EXPECT_NE(o.halt.status, 0);
  EXPECT_EQ(o.halt.log,
            (std::vector<std::string>{"n = 101 > n0 = 100", "Internal arrays dimension exceeded;",
                                      "change file <elements> and recompile."}));
  EXPECT_EQ(o.halt.console, (std::vector<std::string>{"Internal arrays dimension exceeded;",
                                                      " Error input file, see <ostrel.log>"}));
}

TEST(Reading, ZeroLengthThresholdIsStrict) {
  Outcome ok = read_text(head + entry(1, "0 1 1 3 1 1", "0 0 9.999999717180685e-10 0 0"));
  EXPECT_FALSE(ok.stopped);
  expect_input_error(head + entry(1, "0 1 1 3 1 1", "0 0 9.99999e-10 0 0"),
                     "zero length element   1");
  expect_input_error(head + circle + entry(2, "3 1 1 3 1 1", "0 0 -1 0 0"),
                     "zero length element   2");
}

TEST(Reading, InputErrorsInTheirOrder) {
  expect_input_error(head + entry(1, "4 0 1 0 1 1", "0 0 1 0 0"),
                     "error in input file: iform( 1)= 4 != {0,1,2,3}");
  expect_input_error(head + circle + entry(2, "0 4 -1 0 1 1", "0 0 1 0 0"),
                     "error in input file: itype( 2)=4 != {1,2,3}");
  expect_input_error(head + entry(1, "0 1 -1 0 1 1", "0 0 1 0 0"),
                     "error in input file: isign( 1)=* < 0.0");
  expect_input_error(head + circle + entry(0, "0 1 1 0 1 1", "2 0 0 0"), " n=  2   iele=  2");
  expect_input_error(head + circle + entry(-2, "0 1 1 0 1 1", "0 0 0 0"), " n=  2   iele=  0");
  std::string ah = head;
  ah.replace(ah.find("0.4 1"), 5, "-1 1");
  expect_input_error(ah + circle, "error in input file: ah<=0");
  expect_input_error(head + entry(1, "0 1 1 1 1 1", "0 0 1 0 0"),
                     "error in input file: ni( 1)= 1 < 2");
  expect_input_error(head + entry(1, "3 1 1 0 1 1", "0 0 1 0 0", "1 6"),
                     "error in input file: side index of element  1 = 6 != {-1,0,1,2,3,4,5}");
  expect_input_error(head, "error in input file: no boundary element");
  expect_input_error(head + entry(1, "3 1 0 0 1 1", "0 0 1 0 0"),
                     "error in input file: no conductor (every isign(i) is 0)");
  expect_input_error(head + entry(1, "3 1 1 0 1 1", "0 nan 1 0 0"),
                     "error in input file: value not finite in line 10");
  std::string imm = head;
  imm.replace(imm.find("0 /\n"), 4, "1 -2 /\n");
  expect_input_error(imm + circle, "error in input file: imm=-2 < 0");
  std::string chan = head;
  chan.replace(chan.find("0 0 0 0 0 0 0\n"), 14, "4 0 0 0 0 0 0\n");
  expect_input_error(chan + circle, "error in input file: gpars(1)<=0 for igg= 4");
  std::string hs = head;
  hs.replace(hs.find("2.5 1 1 1 1"), 11, "1 -1 1 1 1");
  hs.replace(hs.find("0 0 0 0 0 0 0\n"), 14, "3 0 0 0 0 0 0\n");
  expect_input_error(hs + circle, "error in input file: deps(1)+deps(2)=0 for igg= 3");
}

TEST(Reading, WrongProblemKindStopsWithItsText) {
  std::string text = head;
  text.replace(text.find("0 1\n"), 4, "2 1\n");
  Outcome o = read_text(text + circle);
  ASSERT_TRUE(o.stopped);
  EXPECT_EQ(o.halt.stop_text, "wrong problem, stop!");
  EXPECT_TRUE(o.halt.log.empty());
  EXPECT_TRUE(o.halt.console.empty());
}

TEST(Reading, ZeroTotalChargeSwitch) {
  std::string text = head;
  text.replace(text.find("0 0 0 0 0 0 0\n"), 14, "1 1 0 0 0 0 0\n");
  Outcome o = read_text(text + entry(1, "3 1 1 4 1 1", "0 2 1 0 0"));
  ASSERT_TRUE(o.stopped);
  EXPECT_EQ(o.halt.console,
            (std::vector<std::string>{"NULL charge and Green function incompatible"}));
  EXPECT_EQ(o.halt.log, o.halt.console);
  EXPECT_EQ(o.halt.stop_text, "");
  EXPECT_NE(o.log.find("end-of-input-data"), std::string::npos);  // after the echo

  // Any value but 0 switches the zero total charge on, so it is refused just the same.
  text.replace(text.find("1 1 0 0 0 0 0\n"), 14, "1 2 0 0 0 0 0\n");
  o = read_text(text + entry(1, "3 1 1 4 1 1", "0 2 1 0 0"));
  ASSERT_TRUE(o.stopped);
  EXPECT_EQ(o.halt.log, (std::vector<std::string>{"NULL charge and Green function incompatible"}));
}

TEST(Reading, ElementsMustStayWhereTheGreenFunctionIsDefined) {
  std::string ground = head;
  ground.replace(ground.find("0 0 0 0 0 0 0\n"), 14, "1 0 0 0 0 0 0\n");
  // A conductor at its own potential may not touch the grounded plane (a short circuit); an
  // arc whose full circle would cross it is fine.
  expect_input_error(ground + entry(1, "3 1 1 0 1 1", "0 1 1 0 0"),
                     "error in input file: conductor element   1 (conductor 1) touches the "
                     "grounded plane y=0 of igg= 1");
  EXPECT_FALSE(read_text(ground + entry(1, "2 1 1 0 1 1", "0 0.5 1 0 180")).stopped);
  expect_input_error(ground + entry(1, "2 1 1 0 1 1", "0 0.5 1 180 360"),
                     "error in input file: element   1 reaches below the plane y=0 of igg= 1");
  std::string chan = head;
  chan.replace(chan.find("0 0 0 0 0 0 0\n"), 14, "5 0 2 0 0 0 0\n");
  EXPECT_FALSE(read_text(chan + entry(1, "0 1 1 0 1 1", "0 0.5 1 1.5 0")).stopped);
  expect_input_error(
      chan + entry(1, "3 1 1 0 1 1", "2 1.5 1 0 0"),
      "error in input file: element   1 reaches above the plane y=gpars(1) of igg= 5");
  expect_input_error(chan + entry(1, "0 1 1 0 1 1", "-1 1 1 1 0"),
                     "error in input file: element   1 reaches into x<0, behind the symmetry "
                     "plane of igg= 5");
}

// The half-space kernel holds above its interface: elements on it are fine, below it not.
TEST(Reading, HalfSpaceElementsStayInTheUpperMedium) {
  std::string half = head;
  half.replace(half.find("0 0 0 0 0 0 0\n"), 14, "3 0 0 0 0 0 0\n");
  EXPECT_FALSE(read_text(half + entry(1, "0 1 1 0 1 1", "-1 0 1 0 0")).stopped);
  EXPECT_FALSE(read_text(half + entry(1, "2 1 1 0 1 1", "0 0 1 0 180")).stopped);
  expect_input_error(half + entry(1, "2 1 1 0 1 1", "0 0 1 -10 180"),
                     "error in input file: element   1 reaches below the interface y=0 of igg= 3;"
                     " mirror the problem (y to -y) and swap deps(1) and deps(2)");
}

// Problems whose potentials refer to one length unit say so once, on the console and in the
// log; a grounded conductor, the zero-total-charge switch or a grounded kernel fix the
// reference instead.
TEST(Reading, WarningWhenTheMatrixDependsOnTheUnitOfLength) {
  struct Case {
    const char* name;
    const char* green;
    bool grounded_shield;  // the second element: a grounded shield, or a second wire
    bool warned;
  };
  const std::string shield = entry(2, "3 1 0 0 1 1", "0 0 5 0 0");
  const std::string wire2 = entry(2, "3 1 2 0 1 1", "3 3 1 0 0");
  for (const Case& c : {Case{"free space, two wires", "0 0 0 0 0 0 0", false, true},
                        Case{"symmetry plane", "2 0 0 0 0 0 0", false, true},
                        Case{"half-space", "3 0 0 0 0 0 0", false, true},
                        Case{"grounded shield", "0 0 0 0 0 0 0", true, false},
                        Case{"zero total charge", "0 1 0 0 0 0 0", false, false},
                        Case{"ground plane", "1 0 0 0 0 0 0", false, false},
                        Case{"channel", "4 0 9 0 0 0 0", false, false}}) {
    std::string text = head;
    text.replace(text.find("0 0 0 0 0 0 0\n"), 14, std::string(c.green) + "\n");
    text += entry(1, "3 1 1 0 1 1", "0 3 1 0 0");
    text += c.grounded_shield ? shield : wire2;
    Outcome o = read_text(text);
    ASSERT_FALSE(o.stopped) << c.name;
    const std::string line = " Warning: no grounded conductor (itype 1, isign 0) and idmn=0:";
    EXPECT_EQ(o.console.find(line) != std::string::npos, c.warned) << c.name;
    EXPECT_EQ(o.log.find(line) != std::string::npos, c.warned) << c.name;
  }
}

TEST(Reading, EndOfFileInsideAGroupIsAReadError) {
  Outcome o = read_text(head + "1 3 1 1 0 1 1\n0 0 1\n");
  ASSERT_TRUE(o.stopped);
  EXPECT_EQ(o.halt.status, exit_io_error);
  ASSERT_EQ(o.halt.error.size(), 1u);
  EXPECT_NE(o.halt.error[0].find("case.inp"), std::string::npos);
  o = read_text("only a title\n");
  ASSERT_TRUE(o.stopped);
  EXPECT_EQ(o.halt.status, exit_io_error);
}

TEST(Reading, CoincidingConductorsAreRejected) {
  std::string ground = head;
  ground.replace(ground.find("0 0 0 0 0 0 0\n"), 14, "1 0 0 0 0 0 0\n");
  // A copy on top of its original.
  expect_input_error(
      ground + entry(1, "3 1 1 8 1 1", "0 2 0.5 0 0") + entry(-2, "3 1 2 8 1 1", "1 0 0 0"),
      "error in input file: conductor elements   1 and   2 coincide or overlap");
  // Two segments sharing a stretch, and an arc lying on a circle.
  expect_input_error(
      ground + entry(1, "0 1 1 8 1 1", "0 1 2 1 0") + entry(2, "0 1 2 8 1 1", "1 1 3 1 0"),
      "error in input file: conductor elements   1 and   2 coincide or overlap");
  expect_input_error(
      ground + entry(1, "3 1 1 8 1 1", "0 2 0.5 0 0") + entry(2, "2 1 1 8 1 1", "0 2 0.5 10 80"),
      "error in input file: conductor elements   1 and   2 coincide or overlap");
  // Conductors at different potentials that touch (a wire resting on a strip, a strip ending
  // where another begins) are a short circuit; an interface along a conductor has no meaning.
  expect_input_error(
      ground + entry(1, "3 1 1 8 1 1", "0 1.5 0.5 0 0") + entry(2, "0 1 2 9 1 1", "-2 1 2 1 0"),
      "error in input file: conductor elements 1 (conductor 1) and 2 (conductor 2) "
      "touch");
  expect_input_error(
      ground + entry(1, "0 1 1 8 1 1", "0 1 2 1 0") + entry(2, "0 1 2 8 1 1", "2 1 4 1 0"),
      "error in input file: conductor elements 1 (conductor 1) and 2 (conductor 2) "
      "touch");
  expect_input_error(
      ground + entry(1, "0 1 1 8 1 1", "0 1 2 1 0") + entry(2, "0 3 0 8 1 1", "0 1 2 1 0"),
      "error in input file: element   2 (itype 3) lies on conductor element   1");
}

// The windowed build reads the same file with its own items and rules: the label switch ish,
// the node laws and the scratch directory from the file, 60-character titles, its echo without
// a date, the head lines of the result file and its own stop text.
TEST(Reading, WindowedBuildItemsEchoAndStopText) {
  const std::string title(70, 'T');
  const std::string text = title + "\nsecond\n0 1 1\n2.5 1 1 1 1\n0 0 0 0 0 0 0\n0.4 1\n" +
                           "1 0 0 0 '/scratch/here/and/far/away'\nheadings\n" +
                           entry(1, "0 1 1 4 0 1", "0 0 1 0 0") +
                           entry(2, "0 1 0 0 1 1", "0 1 0.5 1 0");
  Outcome o = read_text(text, windowed_build);
  ASSERT_FALSE(o.stopped) << (o.halt.log.empty() ? "" : o.halt.log[0]);
  const Problem& pb = o.input.problem;
  EXPECT_EQ(pb.title1, std::string(60, 'T'));
  EXPECT_EQ(pb.ish, 1);
  EXPECT_EQ(pb.el(1).ileft, 0);
  EXPECT_EQ(pb.el(1).iright, 1);
  EXPECT_EQ(pb.el(2).ni, 2);  // automatic: 0.7 / 0.4 rounds to 2, the windowed minimum
  EXPECT_EQ(o.input.controls.tmpdir, "/scratch/here/and/far/away");  // never cut
  EXPECT_EQ(o.log.rfind(std::string(60, 'T') + "\nsecond", 0), 0u);  // no date line
  EXPECT_NE(o.log.find("\ntmp dir:  /scratch/here/and/far/away\n"), std::string::npos);
  EXPECT_TRUE(o.log.ends_with("\n-------------------------------end-of-input-data-\n")) << o.log;
  EXPECT_EQ(o.result,
            std::string(60, 'T') + "\nsecond" + std::string(54, ' ') + "\niprobl=0    iunits=1\n");

  std::string windowed_head = head;
  windowed_head.replace(windowed_head.find("0 1\n"), 4, "0 1 /\n");
  Outcome bad = read_text(windowed_head + entry(1, "0 1 1 0 1 1", "0 0 0 0 0"), windowed_build);
  ASSERT_TRUE(bad.stopped);
  EXPECT_EQ(bad.halt.stop_text, "error input file, see <ostrel.log>");
  EXPECT_EQ(bad.halt.log, std::vector<std::string>{"zero length element   1"});
}

// Conductors closer to each other, or to a grounded plane, than half the node spacing there are
// warned of with the gap and the spacing, on the console and in the log; the run goes on. Two
// wires 1e-9 apart (their capacitance came out 1e3 times too small without a word), a wire
// 1e-3 above the plane; a coarse coax (gap 1.3, spacing about 1.9) is resolved.
TEST(Reading, ConductorsCloserThanTheGridResolvesAreWarnedOf) {
  std::string ground = head;
  ground.replace(ground.find("0 0 0 0 0 0 0\n"), 14, "1 0 0 0 0 0 0\n");
  Outcome o = read_text(ground + entry(1, "3 1 1 40 1 1", "-1 2 1 0 0") +
                        entry(2, "3 1 2 40 1 1", "1.000000001 2 1 0 0") +
                        entry(3, "3 1 3 40 1 1", "5 1.001 1 0 0"));
  ASSERT_FALSE(o.stopped);
  const std::string pair =
      " Warning: conductor elements 1 (conductor 1) and 2 (conductor 2) come within  1.00E-09 of "
      "each other, less than half the node spacing  1.57E-01 there: the charges between them are "
      "not resolved; raise ni\n";
  EXPECT_NE(o.console.find(pair), std::string::npos) << o.console;
  EXPECT_NE(o.log.find(pair), std::string::npos);
  EXPECT_NE(o.console.find("conductor element 3 and the grounded plane y=0 of igg= 1 come within  "
                           "1.00E-03"),
            std::string::npos)
      << o.console;
  Outcome coax = read_text(head + entry(1, "3 1 1 8 1 1", "0 0 1 0 0") +
                           entry(2, "3 1 0 6 1 1", "0 0 2.3 -1 0"));
  ASSERT_FALSE(coax.stopped);
  EXPECT_EQ(coax.console.find("Warning: conductor"), std::string::npos) << coax.console;
}
