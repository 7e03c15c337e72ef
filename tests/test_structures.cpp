// Named cross-sections of ostrel-lines against closed forms (exact ones: coax, wire over
// ground, twin lead, Cohn's striplines, coplanar waveguide on a half-space; Hammerstad-Jensen
// for the microstrip), a thick coplanar waveguide against its own finer solution, and the
// program's targeting: a run that lands, its problem file read back by ostrel, ostrel-lines and
// the windowed reading, and a target out of reach.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <numbers>
#include <sstream>

#include "closed_forms.hpp"
#include "lines/parameters.hpp"
#include "run_util.hpp"
#include "structures/request.hpp"
#include "structures/sizing.hpp"

using namespace ostrel;
using namespace ostrel::structures;
using namespace ostrel::testing;
using lines::eta0;

namespace {

constexpr double pi = std::numbers::pi;

struct Solved {
  lines::LineParameters p;
  Accuracy accuracy;
};

// The structure solved as the program does it, at the resolution it chooses (tolerance 0.1 %).
Solved solve(const std::string& name, const std::vector<std::string>& keys) {
  lines::Options o;
  o.structure = name;
  o.assignments = keys;
  const Request r = make_request(o);
  std::ostringstream console;
  Sizing z{*r.structure, o, console, {}, {}, 0};
  const Accuracy a = choose_resolution(z, r.values, r.tolerance, r.structure->start, true);
  EXPECT_LE(a.estimate(), r.tolerance) << name;
  return {evaluate(z, r.values, a.res).p, a};
}

double rel(double got, double want) {
  return std::fabs(got - want) / want;
}

// K(k')/K(k) by the arithmetic-geometric mean, written out here as a reference.
double kk(double k) {
  auto agm = [](double a, double b) {
    for (int i = 0; i < 40; ++i) {
      const double an = (a + b) / 2;
      b = std::sqrt(a * b);
      a = an;
    }
    return a;
  };
  return agm(1, std::sqrt(1 - k * k)) / agm(1, k);
}

std::filesystem::path temp_dir() {
  return fresh_dir("structures");
}

double json_value(const std::string& text, const std::string& key) {
  const auto at = text.find("\"" + key + "\": ");
  return at == std::string::npos ? NAN : std::strtod(text.c_str() + at + key.size() + 4, nullptr);
}

}  // namespace

// Round conductors in one medium: the density on a circle is smooth, the closed forms exact.
// The figures must agree within the proven estimate and the quadrature's 1e-4 (as the coax of
// the line tests).
TEST(Structures, RoundConductorsAgainstExactForms) {
  const Solved coax = solve("coax", {"a=0.5mm", "b=1.75mm", "er=2.1"});
  EXPECT_LE(rel(coax.p.z_self[0], eta0 / (2 * pi * std::sqrt(2.1)) * std::log(3.5)),
            coax.accuracy.estimate() + 1e-4);
  const Solved wire = solve("wire_over_ground", {"r=20mil", "h=2mm"});
  EXPECT_LE(rel(wire.p.z_self[0], eta0 / (2 * pi) * std::acosh(2 / 0.508)),
            wire.accuracy.estimate() + 1e-4);
  const Solved twin = solve("twin_lead", {"r=400um", "s=7.5mm", "ins_t=0"});
  EXPECT_LE(rel(twin.p.z_self[0], eta0 / pi * std::acosh(7.5 / 0.8)),
            twin.accuracy.estimate() + 1e-4);
  // With coats the line is inhomogeneous: eps_eff between air and the coat.
  const Solved coated = solve("twin_lead", {});
  EXPECT_GT(coated.p.eps_self[0], 1.05);
  EXPECT_LT(coated.p.eps_self[0], 2.3);
}

// Zero-thickness striplines in the channel kernel (no truncation) against Cohn's exact forms:
// the single strip K(sech)/K(tanh), the edge-coupled pair's even and odd modes. The strip edges'
// singular density leaves the figures above their limit by less than the tolerance (0.1 %),
// which the refinement proves; so 0.1 % plus the estimate.
TEST(Structures, ZeroThicknessStriplinesAgainstCohn) {
  const double er = 3.5, b = 0.5;
  const Solved one = solve("stripline", {"w=0.3", "t=0", "b=0.5", "er=3.5"});
  const double z = eta0 / (4 * std::sqrt(er)) * kk(std::tanh(pi * 0.3 / (2 * b)));
  EXPECT_LE(rel(one.p.z_self[0], z), 1e-3 + one.accuracy.estimate()) << one.p.z_self[0] << " " << z;
  const Solved pair = solve("diff_stripline", {"w=0.15", "s=0.2", "t=0", "b=0.5", "er=3.5"});
  const double tw = std::tanh(pi * 0.15 / (2 * b)), tws = std::tanh(pi * 0.35 / (2 * b));
  const double tol = 1e-3 + pair.accuracy.estimate();
  EXPECT_LE(rel(pair.p.z_even, eta0 / (4 * std::sqrt(er)) * kk(tw * tws)), tol);
  EXPECT_LE(rel(pair.p.z_odd, eta0 / (4 * std::sqrt(er)) * kk(tw / tws)), tol);
}

// Coplanar waveguide of zero thickness on a half-space substrate (no bottom ground): conformal
// mapping gives eps_eff = (er + 1)/2 and Z = eta0/(4 sqrt(eps_eff)) K(k')/K(k), k = a/b, for
// grounds without end. The grounds are cut at the extent the run chooses: the widening proves
// that cut, the refinement the nodes, so 0.1 % plus the estimate.
TEST(Structures, CoplanarWaveguideOnHalfSpaceAgainstConformalMapping) {
  const Solved cpw = solve("cpw", {"w=0.3", "s=0.15", "t=0", "h=inf", "er=9.8"});
  const double eps = (9.8 + 1) / 2, z = eta0 / (4 * std::sqrt(eps)) * kk(0.15 / 0.3);
  const double tol = 1e-3 + cpw.accuracy.estimate();
  EXPECT_LE(rel(cpw.p.z_self[0], z), tol) << cpw.p.z_self[0] << " vs " << z;
  EXPECT_LE(rel(cpw.p.eps_self[0], eps), tol);
}

// A thick narrow strip in wide gaps on a slab without a ground plane: the field crowds into the
// corners of the gaps, the slab's bottom and far grounds carry little. At the resolution the run
// proves, the figures must be within the tolerance of those with four times the nodes (whose
// own error is about a sixteenth of theirs): 0.003 %. Corner elements that differ in length
// leave an error there that doubling the nodes barely moves: they put this line 0.102 % off.
TEST(Structures, CoplanarWaveguideWithinToleranceOfFinerNodes) {
  lines::Options o;
  o.structure = "cpw";
  o.assignments = {"w=0.05", "s=0.5"};
  const Request r = make_request(o);
  std::ostringstream console;
  Sizing z{*r.structure, o, console, {}, {}, 0};
  const Accuracy a = choose_resolution(z, r.values, r.tolerance, r.structure->start, true);
  const std::vector<double> got = evaluate(z, r.values, a.res).figures;
  const std::vector<double> fine = evaluate(z, r.values, {4 * a.res.nodes, a.res.reach}).figures;
  for (std::size_t k = 0; k < got.size(); ++k)
    EXPECT_LE(rel(got[k], fine[k]), r.tolerance) << k << ": " << got[k] << " vs " << fine[k];
}

// Zero-thickness microstrip, w/h = 2 on er 4.4, against Hammerstad and Jensen (1980): Z0 of
// the air line within 0.03 %, eps_eff within 0.2 %; the run's estimate adds its own part.
TEST(Structures, MicrostripAgainstHammerstadJensen) {
  const Solved ms = solve("microstrip", {"w=0.4", "t=0", "h=0.2", "er=4.4"});
  const Microstrip hj = hammerstad_jensen(2, 4.4, eta0);
  const double eps = hj.eps_eff, z_air = hj.z_air;
  EXPECT_LE(rel(ms.p.eps_self[0], eps), 2e-3 + ms.accuracy.estimate());
  EXPECT_LE(rel(ms.p.z_self[0], z_air / std::sqrt(eps)), 1.3e-3 + ms.accuracy.estimate());
}

// A stack-up file is the command line written down: its keys (comments, blanks, units), with
// a key of the command line winning over the file's, give the very line of the same keys on
// the command line (the same solutions of the same outline: 1e-12 leaves room for the last
// bit of a unit's conversion), and that line is Cohn's zero-thickness stripline within 0.1 %
// plus the estimate the run reports (as above). A strip offset from the middle is the mirror
// image of the opposite offset, and the broadside pair's strips mirror each other: each pair of
// figures agrees to the rounding of the mirrored elements' quadrature (3e-8 measured), far below
// the discretisation error (1e-4 and more) that a drawing out of true would show: 1e-6.
TEST(Structures, StackUpFileAsTheCommandLineAndMirroredLines) {
  TempDir dir;
  write_file(dir.path / "board.txt",
             "# inner layer\nstructure = stripline\n  w = 300um\nt=0\n\nb = 0.5mm\ner=2.2\n");
  RunOutput file =
      run_program(OSTREL_LINES_BINARY, dir.path, {"--structure-file", "board.txt", "er=3.5"});
  RunOutput line = run_program(OSTREL_LINES_BINARY, dir.path,
                               {"--structure", "stripline", "w=0.3", "t=0", "b=0.5", "er=3.5"});
  ASSERT_EQ(file.status, 0) << file.err;
  ASSERT_EQ(line.status, 0) << line.err;
  const std::string from_file = file.file("board.txt.json"), given = line.file("stripline.json");
  const double z = json_value(from_file.substr(from_file.find("\"lines\"")), "impedance");
  EXPECT_LE(rel(z, json_value(given.substr(given.find("\"lines\"")), "impedance")), 1e-12);
  const double cohn = eta0 / (4 * std::sqrt(3.5)) * kk(std::tanh(pi * 0.3 / (2 * 0.5)));
  EXPECT_LE(rel(z, cohn), 1e-3 + json_value(from_file, "estimate")) << z << " vs " << cohn;

  const Solved up = solve("stripline", {"offset=0.1"}), down = solve("stripline", {"offset=-0.1"});
  EXPECT_LE(rel(up.p.z_self[0], down.p.z_self[0]), 1e-6);
  EXPECT_LE(rel(up.p.eps_self[0], down.p.eps_self[0]), 1e-6);
  // Nearer to one plane, the strip has more capacitance: a lower impedance than in the middle.
  EXPECT_LT(up.p.z_self[0], solve("stripline", {}).p.z_self[0]);
  const Solved broadside = solve("broadside_stripline", {});
  ASSERT_EQ(broadside.p.m, 2);
  EXPECT_TRUE(broadside.p.symmetric_pair);
  EXPECT_LE(rel(broadside.p.z_self[0], broadside.p.z_self[1]), 1e-6);
  EXPECT_LT(broadside.p.z_odd, broadside.p.z_even);
}

// A request that cannot be met says why and writes nothing: a target without the key to vary
// (a bad command line, status 1), a key that is not a length, a quantity that is not the
// structure's, an impedance that is not positive, a structure file line that is not KEY=VALUE
// (the request, status 2), and a target that no width in the valid range reaches (status 1,
// with the nearest impedance).
TEST(Structures, RefusedRequestsSayWhyAndWriteNothing) {
  TempDir dir;
  write_file(dir.path / "bad.txt", "structure = stripline\nw 0.2\n");
  const std::vector<std::string> strip{"--structure", "stripline", "--target"};
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{"Z0=50"}, 1, "--target and --vary go together"},
      {{"Z0=50", "--vary", "er"}, 2, "--vary: 'er' is not a length key of stripline"},
      {{"Zdiff=50", "--vary", "w"},
       2,
       "--target: 'Zdiff=50' is not a target of stripline (Z0=OHMS)"},
      {{"Z0=-5", "--vary", "w"}, 2, "--target: the impedance must be positive"},
      {{"Z0=500", "--vary", "w"},
       1,
       "no w from 0.0002 to 200 mm gives Z0 = 500 ohm: the nearest is"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = strip;
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunOutput r = run_program(OSTREL_LINES_BINARY, dir.path, args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(r.exists("stripline.json")) << c.args[0];
  }
  RunOutput bad = run_program(OSTREL_LINES_BINARY, dir.path, {"--structure-file", "bad.txt"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("bad.txt, line 2: 'w 0.2' is not KEY=VALUE"), std::string::npos)
      << bad.err;
  EXPECT_FALSE(bad.exists("bad.txt.json"));
}

// The program: --target Z0=50 --vary w lands within a quarter of the tolerance; the problem
// it writes gives the same line in ostrel-lines and the same capacitance in ostrel (result
// file in pF/m, four digits), and reads in the windowed program's reading. A structure file
// is never overwritten by --write-problem; a target out of reach fails with exit status 1.
TEST(Structures, TargetingLandsAndItsProblemRunsElsewhere) {
  const auto dir = temp_dir();
  write_file(dir / "stack.txt", "# FR-4 microstrip\nstructure = microstrip\nh=8mil\nt=35um\n");
  RunOutput r = run_program(OSTREL_LINES_BINARY, dir,
                            {"--structure-file", "stack.txt", "--target", "Z0=50", "--vary", "w",
                             "--write-problem", "ms.inp"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string json = r.file("stack.txt.json");
  const std::string target = json.substr(json.find("\"target\""));
  EXPECT_LE(rel(json_value(target, "achieved"), 50), root_share * 1e-3) << target;
  EXPECT_LE(json_value(json, "estimate"), 1e-3);

  RunOutput again = run_program(OSTREL_LINES_BINARY, dir, {"ms.inp"});
  ASSERT_EQ(again.status, 0) << again.err;
  const std::string j2 = again.file("ms.inp.json");
  const std::string line = j2.substr(j2.find("\"lines\""));
  EXPECT_LE(rel(json_value(line, "impedance"), json_value(target, "achieved")), 1e-9);

  RunOutput plain = run_ostrel(dir, {"ms.inp", "ms.osl"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::string osl = plain.file("ms.osl");
  const double c_pf =
      std::strtod(osl.c_str() + osl.find_first_of("0-", osl.find("]; ") + 3), nullptr);
  const double c_json = std::strtod(j2.c_str() + j2.find("\"capacitance\": [[") + 17, nullptr);
  EXPECT_LE(rel(c_pf, c_json * 1e12), 1e-3) << osl;  // 4 printed digits, single-precision eps0

  std::istringstream in(slurp(dir / "ms.inp"));
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  EXPECT_EQ(read_problem(in, "ms.inp", io, windowed_build).dims.nd,
            read_outline(slurp(dir / "ms.inp")).dims.nd);

  const std::string stack = slurp(dir / "stack.txt");
  RunOutput refused = run_program(
      OSTREL_LINES_BINARY, dir, {"--structure-file", "stack.txt", "--write-problem", "stack.txt"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("is the structure file"), std::string::npos) << refused.err;
  EXPECT_EQ(slurp(dir / "stack.txt"), stack);

  // Two strips apart tend to twice the single line's 51 ohm: 200 ohm is out of reach.
  RunOutput out_of_reach =
      run_program(OSTREL_LINES_BINARY, dir,
                  {"--structure", "diff_stripline", "--target", "Zdiff=200", "--vary", "s"});
  EXPECT_EQ(out_of_reach.status, 1);
  EXPECT_NE(out_of_reach.err.find("no s from"), std::string::npos) << out_of_reach.err;
  std::filesystem::remove_all(dir);
}
