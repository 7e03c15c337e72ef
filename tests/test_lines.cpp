// The transmission-line report against closed-form physics: coaxial lines (impedance, a lossy
// layer), a microstrip against Hammerstad-Jensen, a coupled stripline pair against Cohn, the
// modes of a homogeneous three-conductor cable; the exported models in ngspice; the program's
// check and failure paths.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>
#include <sstream>

#include "closed_forms.hpp"
#include "lines/parameters.hpp"
#include "lines/solutions.hpp"
#include "run_util.hpp"

using namespace ostrel;
using namespace ostrel::lines;
using namespace ostrel::testing;

namespace {

constexpr double pi = std::numbers::pi;

std::string header(const std::string& deps, const std::string& green) {
  return "line case\n\n0 0\n" + deps + "\n" + green + "\n0.1 1\n0 /\nheadings\n";
}

std::string el(int nr, const std::string& head, const std::string& geom, const std::string& sides) {
  return std::to_string(nr) + " " + head + "\n" + geom + "\n" + sides + "\n--\n";
}

// Solves the problem of `text` as the program does and derives its line parameters.
LineParameters line_of(const std::string& text, std::array<double, ndiel> tan_delta = {},
                       double frequency = 0) {
  std::istringstream in(text);
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  const Input input = read_problem(in, "case.inp", io);
  check_line_problem(input);
  bool lossy = false;
  for (double t : tan_delta)
    lossy = lossy || t != 0;
  const Capacitances c = capacitances(input, tan_delta, lossy, "", console);
  return line_parameters(c.ge, c.ge0, c.gloss, frequency, c.m);
}

double rel(double got, double want) {
  return std::fabs(got - want) / std::fabs(want);
}

// Complete elliptic integral of the first kind by the arithmetic-geometric mean.
double ellipk(double k) {
  double a = 1, b = std::sqrt(1 - k * k);
  for (int i = 0; i < 40; ++i) {
    const double an = 0.5 * (a + b);
    b = std::sqrt(a * b);
    a = an;
  }
  return pi / (2 * a);
}

// Coaxial line, inner radius 1, shield radius 2.3, filled with eps_r 2.1.
const std::string coax = header("2.1 1 1 1 1", "0 0 0 0 0 0 0") +
                         el(1, "3 1 1 24 1 1", "0 0 1 0 0", "1 1") +
                         el(2, "3 1 0 40 1 1", "0 0 2.3 -1 0", "1 1");

// The first number after "key": in a JSON text.
double json_value(const std::string& text, const std::string& key) {
  const auto at = text.find("\"" + key + "\": ");
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + key.size() + 4, nullptr);
}

}  // namespace

// Z0 = eta0/(2 pi sqrt(er)) ln(b/a) (the "60 ohm" is eta0/(2 pi) = 59.96 ohm), eps_eff = er.
// The density on the circles is constant, which the hat functions represent exactly: only the
// quadrature limits the accuracy (1e-4 in the capacitance tests), so 2e-4 here.
TEST(Lines, CoaxialLineImpedanceAndDelay) {
  const LineParameters p = line_of(coax);
  const double z0 = eta0 / (2 * pi * std::sqrt(2.1)) * std::log(2.3);
  EXPECT_LT(rel(p.z_self[0], z0), 2e-4) << p.z_self[0] << " vs " << z0;
  EXPECT_LT(rel(p.zc(0, 0), z0), 2e-4);
  EXPECT_LT(rel(p.eps_self[0], 2.1), 1e-9);  // C and C0 share the geometry exactly
  EXPECT_LT(rel(p.delay_mode[0], std::sqrt(2.1) / speed_of_light), 1e-9);
  EXPECT_LT(rel(p.l(0, 0), mu0 / (2 * pi) * std::log(2.3)), 2e-4);
}

// A coax of two layers with different losses: with complex permittivities e(1 - j tan d) the
// admittance is j w 2 pi eps0 / (ln(b/a)/e1* + ln(c/b)/e2*). Two loss tangents make two groups
// of media, one of them found from the solution with the dielectrics and the other's share. The
// program's G is first order in tan d, which is 1e-4 relative at tan d = 0.01; the interface
// discretisation adds less than 1e-3 (the capacitance test of this line), so 2e-3.
TEST(Lines, LossyLayersOfATwoLayerCoax) {
  const double a = 1, b = 1.6, c = 2.3, e1 = 4, e2 = 1, tand1 = 0.01, tand2 = 0.004, f = 1e9;
  const std::string text =
      header("4 1 1 1 1", "0 0 0 0 0 0 0") + el(1, "3 1 1 24 1 1", "0 0 1 0 0", "1 1") +
      el(2, "3 3 0 24 1 1", "0 0 1.6 0 0", "2 1") + el(3, "3 1 0 24 1 1", "0 0 2.3 0 0", "2 2");
  const LineParameters p = line_of(text, {tand1, tand2, 0, 0, 0}, f);
  const double w = 2 * pi * f;
  const std::complex<double> e1c(e1, -e1 * tand1), e2c(e2, -e2 * tand2);
  const std::complex<double> y =
      std::complex<double>(0, w * 2 * pi * eps0) / (std::log(b / a) / e1c + std::log(c / b) / e2c);
  EXPECT_LT(rel(p.g(0, 0), y.real()), 2e-3) << p.g(0, 0) << " vs " << y.real();
  EXPECT_LT(rel(p.c(0, 0), y.imag() / w), 2e-3);
}

// Zero-thickness strip, w/h = 2, on eps_r 4.4 over ground, against Hammerstad and Jensen
// (1980): Z0 of the air line within 0.03 %, eps_eff within 0.2 %. The substrate is cut at 10 h
// from the strip and the grids are coarse: against a substrate of 40 h and twice the nodes the
// figures move by 0.06 % (Z0) and 0.01 % (eps_eff). So Z0 within 0.03 + 0.1 (half of eps_eff)
// + 0.06 = 0.2 %, eps_eff within 0.25 %.
TEST(Lines, MicrostripAgainstHammerstadJensen) {
  const std::string text =
      header("1 4.4 1 1 1", "1 0 0 0 0 0 0") + el(1, "0 1 1 30 1 1", "-1 1 1 1 0", "2 1") +
      el(2, "0 3 0 30 1 1", "-10 1 -1 1 0", "2 1") + el(3, "0 3 0 30 1 1", "1 1 10 1 0", "2 1") +
      el(4, "0 3 0 8 1 1", "10 0 10 1 0", "1 2") + el(5, "0 3 0 8 1 1", "-10 1 -10 0 0", "1 2");
  const LineParameters p = line_of(text);
  const Microstrip hj = hammerstad_jensen(2, 4.4, eta0);
  const double eps_eff = hj.eps_eff, z_air = hj.z_air;
  EXPECT_LT(rel(p.eps_self[0], eps_eff), 2.5e-3) << p.eps_self[0] << " vs " << eps_eff;
  EXPECT_LT(rel(p.z_self[0], z_air / std::sqrt(eps_eff)), 2e-3) << p.z_self[0];
}

// Two zero-thickness strips (w = 1, gap 0.5) midway in a grounded channel of height 2 filled
// with eps_r 2.2, against Cohn's exact even and odd impedances (1955). At ni = 40 the figures
// are 0.06 % above their limit (the strip edges' singular density): 0.15 %.
TEST(Lines, StriplinePairAgainstCohn) {
  const std::string text = header("2.2 1 1 1 1", "4 0 2 0 0 0 0") +
                           el(1, "0 1 1 40 1 1", "-1.25 1 -0.25 1 0", "1 1") +
                           el(2, "0 1 2 40 1 1", "0.25 1 1.25 1 0", "1 1");
  const LineParameters p = line_of(text);
  ASSERT_TRUE(p.symmetric_pair);
  const double w = 1, s = 0.5, b = 2, er = 2.2;
  const double t = std::tanh(pi * w / (2 * b)), v = std::tanh(pi * (w + s) / (2 * b));
  const auto cohn = [&](double k) {
    return eta0 / (4 * std::sqrt(er)) * ellipk(std::sqrt(1 - k * k)) / ellipk(k);
  };
  EXPECT_LT(rel(p.z_even, cohn(t * v)), 1.5e-3) << p.z_even << " vs " << cohn(t * v);
  EXPECT_LT(rel(p.z_odd, cohn(t / v)), 1.5e-3) << p.z_odd << " vs " << cohn(t / v);
  // The even and odd waves are the pair's modes: Zc has the eigenvalues Ze and Zo.
  EXPECT_LT(rel(p.zc(0, 0), (p.z_even + p.z_odd) / 2), 1e-9);
  EXPECT_LT(rel(p.zc(0, 1), (p.z_even - p.z_odd) / 2), 1e-9);
}

// Three unequal wires in a shield, all in eps_r 3: every mode travels at c/sqrt(3), and the
// impedance matrix is v L (L C = I/v^2). Both hold to rounding, as C = 3 C0 exactly.
TEST(Lines, HomogeneousCableModesAllAtOneVelocity) {
  const std::string text =
      header("3 1 1 1 1", "0 0 0 0 0 0 0") + el(1, "3 1 1 16 1 1", "-1 0 0.4 0 0", "1 1") +
      el(2, "3 1 2 16 1 1", "1 0.2 0.3 0 0", "1 1") +
      el(3, "3 1 3 16 1 1", "0 1.2 0.5 0 0", "1 1") + el(4, "3 1 0 40 1 1", "0 0 3 -1 0", "1 1");
  const LineParameters p = line_of(text);
  const double v = speed_of_light / std::sqrt(3.0);
  ASSERT_EQ(p.m, 3);
  for (int k = 0; k < 3; ++k) {
    EXPECT_LT(rel(p.velocity_mode[k], v), 1e-9) << k;
    EXPECT_LT(rel(p.eps_mode[k], 3), 1e-9) << k;
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_LT(std::fabs(p.zc(i, j) - v * p.l(i, j)), 1e-9 * p.zc(i, i)) << i << j;
}

namespace {

// Runs ngspice on `netlist` in `dir` and returns its output.
std::string ngspice(const std::filesystem::path& dir, const std::string& netlist) {
  write_file(dir / "run.cir", netlist);
  const std::string cmd = "cd '" + dir.string() + "' && ngspice -b run.cir > spice.txt 2>&1";
  std::system(cmd.c_str());  // ngspice -b ends with status 1 when it plots nothing
  return slurp(dir / "spice.txt");
}

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

double measured(const std::string& out, const std::string& name) {
  const auto at = out.find("\n" + name + " ");
  if (at == std::string::npos) return NAN;
  return std::strtod(out.c_str() + out.find('=', at) + 1, nullptr);
}

// A source behind `z` on each of the lines, the far ends loaded with `z`, time step `step`
// seconds; measures when the near and the far end of line 1 cross half of their final
// value. Edges of 10 steps: an edge of one step shifts the crossing by up to a step.
std::string transient(int m, const std::string& sources, double z, double step, double stop) {
  std::string net = "line check\n.include model.cpl\n" + sources;
  std::string ins, outs;
  for (int i = 1; i <= m; ++i) {
    ins += " i" + std::to_string(i);
    outs += " o" + std::to_string(i);
    net += "Rs" + std::to_string(i) + " s" + std::to_string(i) + " i" + std::to_string(i) + " " +
           num(z) + "\nRl" + std::to_string(i) + " o" + std::to_string(i) + " 0 " + num(z) + "\n";
  }
  net += "X1" + ins + outs + " 0 ostrel_line\n.tran " + num(step) + " " + num(stop) +
         "\n.control\nrun\n";
  net += "meas tran t_in when v(i1)=0.25 cross=1\nmeas tran t_out when v(o1)=0.25 cross=1\n";
  net += "meas tran v_late find v(i1) at=" + num(0.95 * stop) + "\n";
  return net + ".endc\n.end\n";
}

}  // namespace

// The exported coax model in ngspice: a 1 V step through Z0 into the line, loaded with Z0,
// arrives after the stated delay within a time step, and nothing is reflected (the near end
// stays at half the source). The RLGC file holds the same line: sqrt(L0/C0) and sqrt(L0 C0)
// are the stated impedance and delay, and Gd f / (2 pi f C0) the loss tangent.
TEST(Lines, CoaxModelsInNgspiceAndRlgcFile) {
  auto dir = fresh_dir("lines-coax");
  write_file(dir / "case.inp", coax);
  RunOutput r = run_program(OSTREL_LINES_BINARY, dir,
                            {"case.inp", "--length", "0.2", "--tan-delta", "1=0.001", "--frequency",
                             "1e9", "--cpl", "model.cpl"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(r.exists("ostrel.log") || r.exists("result.osl") || r.exists("case.inp.ps"));
  const std::string json = r.file("case.inp.json");
  const std::string line = json.substr(json.find("\"lines\""));
  const double z0 = json_value(line, "impedance"), delay = json_value(line, "delay") * 0.2;
  ASSERT_TRUE(std::isfinite(z0) && std::isfinite(delay));

  // Lossless run for the delay (a loss tangent of 1e-3 dampens but does not delay).
  write_file(dir / "lossless.inp", coax);
  ASSERT_EQ(run_program(OSTREL_LINES_BINARY, dir,
                        {"lossless.inp", "--length", "0.2", "--cpl", "model.cpl"})
                .status,
            0);
  const double step = 1e-12;
  const std::string out =
      ngspice(dir, transient(1, "V1 s1 0 PULSE(0 1 0 10p 10p 10n 20n)\n", z0, step, 3 * delay));
  const double t_in = measured(out, "t_in"), t_out = measured(out, "t_out");
  EXPECT_LT(std::fabs((t_out - t_in) - delay), step) << out;
  EXPECT_LT(std::fabs(measured(out, "v_late") - 0.5), 0.005) << out;

  // The RLGC file: comment lines, N, then L0, C0, R0, G0, Rs, Gd (1 x 1 each).
  std::istringstream rlgc(r.file("case.inp.rlgc"));
  std::vector<double> values;
  for (std::string line; std::getline(rlgc, line);)
    if (!line.empty() && line[0] != '*') values.push_back(std::strtod(line.c_str(), nullptr));
  ASSERT_EQ(values.size(), 7u);
  EXPECT_EQ(values[0], 1);
  EXPECT_LT(rel(std::sqrt(values[1] / values[2]), z0), 1e-12);
  EXPECT_LT(rel(std::sqrt(values[1] * values[2]) * 0.2, delay), 1e-12);
  EXPECT_LT(rel(values[6] / (2 * pi * values[2]), 0.001), 1e-9);  // homogeneous: G = w tan d C
}

// A coupled microstrip pair (inhomogeneous, so the even and odd waves travel at different
// speeds) in ngspice: driven in phase through Ze, or in opposition through Zo, with the same
// loads, each mode arrives after its own stated delay within a time step and is not reflected.
TEST(Lines, CoupledPairModesInNgspice) {
  auto dir = fresh_dir("lines-pair");
  std::filesystem::copy_file(std::filesystem::path(OSTREL_SOURCE_DIR) / "examples/pair.inp",
                             dir / "pair.inp");
  RunOutput r =
      run_program(OSTREL_LINES_BINARY, dir, {"pair.inp", "--length", "0.1", "--cpl", "model.cpl"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string json = r.file("pair.inp.json");
  const auto pair = json.find("\"even\"");
  ASSERT_NE(pair, std::string::npos);
  const std::string even = json.substr(pair, json.find('}', pair) - pair);
  const std::string odd = json.substr(json.find("\"odd\"", pair));
  const double step = 1e-12;
  struct Mode {
    const char* sources;
    double z, delay;
  };
  for (const Mode& mode :
       {Mode{"V1 s1 0 PULSE(0 1 0 10p 10p 10n 20n)\nV2 s2 0 PULSE(0 1 0 10p 10p 10n 20n)\n",
             json_value(even, "impedance"), json_value(even, "delay") * 0.1},
        Mode{"V1 s1 0 PULSE(0 1 0 10p 10p 10n 20n)\nV2 s2 0 PULSE(0 -1 0 10p 10p 10n 20n)\n",
             json_value(odd, "impedance"), json_value(odd, "delay") * 0.1}}) {
    const std::string out = ngspice(dir, transient(2, mode.sources, mode.z, step, 3 * mode.delay));
    EXPECT_LT(std::fabs(measured(out, "t_out") - measured(out, "t_in") - mode.delay), step)
        << mode.sources << out;
    EXPECT_LT(std::fabs(measured(out, "v_late") - 0.5), 0.005) << out;
  }
  // The lines' own effective permittivity is C11 / C0_11, not a mode's; each mode's voltages
  // are scaled to a first largest entry of +1: the even mode (+1, +1), the odd one (+1, -1).
  const auto lines = json.find("\"lines\"");
  const auto first = [&](const std::string& key) {  // the first number of a matrix
    const auto at = json.find("\"" + key + "\": [[");
    return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 6, nullptr);
  };
  const double c11 = first("capacitance"), c011 = first("capacitance_vacuum");
  EXPECT_LT(rel(json_value(json.substr(lines), "eps_eff"), c11 / c011), 1e-12);
  const auto modes = json.find("\"modes\"");
  std::vector<double> v;
  for (auto at = json.find("\"voltage\": [", modes); v.size() < 4 && at != std::string::npos;
       at = json.find("\"voltage\": [", at + 1)) {
    const char* p = json.c_str() + at + 12;
    char* end = nullptr;
    v.push_back(std::strtod(p, &end));
    v.push_back(std::strtod(end + 1, nullptr));
  }
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(v[0], 1.0);  // the odd mode first: ascending in effective permittivity
  EXPECT_LT(std::fabs(v[1] + 1), 1e-12);
  EXPECT_EQ(v[2], 1.0);
  EXPECT_LT(std::fabs(v[3] - 1), 1e-12);
}

// --check: the figures with their moves, and the elements that cannot be refined named.
TEST(Lines, CheckNamesElementsThatCannotBeRefined) {
  auto dir = fresh_dir("lines-check");
  write_file(dir / "case.inp", header("2.1 1 1 1 1", "0 0 0 0 0 0 0") +
                                   el(1, "3 1 1 95 1 1", "0 0 1 0 0", "1 1") +
                                   el(2, "3 1 0 60 1 1", "0 0 2.3 -1 0", "1 1"));
  RunOutput r = run_program(OSTREL_LINES_BINARY, dir, {"case.inp", "--check"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("element 1 cannot be refined: ni=95 is the capacity"), std::string::npos);
  EXPECT_NE(r.out.find("element 2 refined from ni=60 to the capacity 95 only"), std::string::npos);
  EXPECT_NE(r.out.find("%)"), std::string::npos) << r.out;
  EXPECT_NE(r.file("case.inp.json").find("\"refined\""), std::string::npos);

  // The move shown is (refined - as given) / as given: the capacitance of the coupled pair grows
  // by 0.1 % when its grids are refined.
  std::filesystem::copy_file(std::filesystem::path(OSTREL_SOURCE_DIR) / "examples/pair.inp",
                             dir / "pair.inp");
  RunOutput pair = run_program(OSTREL_LINES_BINARY, dir, {"pair.inp", "--check"});
  ASSERT_EQ(pair.status, 0) << pair.err;
  const std::string json = pair.file("pair.inp.json");
  const auto c11 = [&](std::size_t from) {
    const auto at = json.find("\"capacitance\": [[", from);
    return std::strtod(json.c_str() + at + 17, nullptr);
  };
  const double given = c11(0), refined = c11(json.find("\"refined\""));
  const auto block = pair.out.find("C: capacitance with the dielectrics");
  const double shown = std::strtod(pair.out.c_str() + pair.out.find('(', block) + 1, nullptr);
  // Shown to two digits: within 1 % of the move.
  EXPECT_LE(std::fabs(shown - 100 * (refined - given) / given), 0.01 * std::fabs(shown))
      << shown << " vs " << 100 * (refined - given) / given;
}

// Every failure: a message on standard error and a non-zero status, no result files.
TEST(Lines, FailuresSayWhyAndExitNonZero) {
  auto dir = fresh_dir("lines-fail");
  const std::string body = el(1, "3 1 1 12 1 1", "0 0 1 0 0", "1 1");
  struct Case {
    std::string name, text;
    std::vector<std::string> extra;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"inductance",
       "t\n\n1 0\n1 1 1 1 1\n0 0 0 0 0 0 0\n0.1 1\n0 /\nh\n" + body,
       {},
       1,
       "an inductance (resistance) problem"},
      {"floating", header("1 1 1 1 1", "0 0 0 0 0 0 0") + body, {}, 1, "no return conductor"},
      {"kernel",
       header("1 1 1 1 1", "7 0 0 0 0 0 0") + body + el(2, "3 1 0 12 1 1", "0 0 2 -1 0", "1 1"),
       {},
       1,
       "the solution with the dielectrics stopped"},
      {"input", header("1 1 1 1 1", "0 0 0 0 0 0 0"), {}, 1, "no boundary element"},
      {"missing", "", {}, 1, "cannot open the problem file 'missing.inp': No such file"},
      {"option", coax, {"--width", "3"}, 1, "unknown option '--width'"},
      {"loss", coax, {"--tan-delta", "1=0.01"}, 1, "--tan-delta needs --frequency"},
  };
  for (const Case& c : cases) {
    if (!c.text.empty()) write_file(dir / (c.name + ".inp"), c.text);
    std::vector<std::string> args{c.name + ".inp"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    RunOutput r = run_program(OSTREL_LINES_BINARY, dir, args);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find("ostrel-lines: "), std::string::npos) << c.name;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    EXPECT_FALSE(r.exists(c.name + ".inp.json")) << c.name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "ostrel.log"));
}
