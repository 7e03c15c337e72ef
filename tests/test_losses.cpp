// The lossy line over frequency (ostrel-lines --frequencies) against closed-form physics and
// ngspice: the resistance, conductance and attenuation of a coax; the proximity effect of a wire
// pair and of a wire over its grounded plane; a thick trace modelled whole and as a half with a
// symmetry plane; the S-parameters read back from the Touchstone files against ngspice's LTRA
// line (one line) and a ladder of the same R, L, G, C matrices (a coupled pair), every S
// reciprocal and passive; the failures.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <Eigen/Dense>
#include <array>
#include <cmath>
#include <complex>
#include <map>
#include <numbers>

#include "run_util.hpp"

using namespace ostrel::testing;
namespace fs = std::filesystem;
using cd = std::complex<double>;

namespace {

constexpr double pi = std::numbers::pi;
constexpr double mu0 = 1.25663706212e-6;  // CODATA 2018, as the program
constexpr double eps0 = 1 / (mu0 * 299792458.0 * 299792458.0);
constexpr double copper = 5.8e7;
constexpr double db_per_neper = 8.685889638065035;

// A fresh folder of its own, removed with its files at the end.

std::string header(const std::string& deps, const std::string& green) {
  return "loss case\n\n0 0\n" + deps + "\n" + green + "\n0.1 1\n0 /\nheadings\n";
}

std::string el(int nr, const std::string& head, const std::string& geom, const std::string& sides) {
  return std::to_string(nr) + " " + head + "\n" + geom + "\n" + sides + "\n--\n";
}

// A rectangle a conductor, counter-clockwise from its lower left corner (x0, y0).
std::string rectangle(int first, int conductor, double x0, double y0, double w, double t,
                      int n_long, int n_short) {
  const auto seg = [&](int i, double ax, double ay, double bx, double by, int n) {
    return el(first + i, "0 1 " + std::to_string(conductor) + " " + std::to_string(n) + " 1 1",
              std::to_string(ax) + " " + std::to_string(ay) + " " + std::to_string(bx) + " " +
                  std::to_string(by) + " 0",
              "1 1");
  };
  return seg(0, x0, y0, x0 + w, y0, n_long) + seg(1, x0 + w, y0, x0 + w, y0 + t, n_short) +
         seg(2, x0 + w, y0 + t, x0, y0 + t, n_long) + seg(3, x0, y0 + t, x0, y0, n_short);
}

double rel(double got, double want) {
  return std::fabs(got - want) / std::fabs(want);
}

// The CSV table: one map from column name to value per frequency.
std::vector<std::map<std::string, double>> csv(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> names;
  std::istringstream head(line);
  for (std::string n; std::getline(head, n, ',');)
    names.push_back(n);
  std::vector<std::map<std::string, double>> rows;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::map<std::string, double> row;
    std::size_t i = 0;
    for (std::string v; std::getline(fields, v, ',') && i < names.size(); ++i)
      row[names[i]] = std::strtod(v.c_str(), nullptr);
    rows.push_back(row);
  }
  return rows;
}

// A Touchstone 1.1 file read back on its own: comments, the option line, then per frequency
// 1 + 2 N^2 numbers (two-ports in the order S11 S21 S12 S22).
std::vector<std::pair<double, Eigen::MatrixXcd>> touchstone(const std::string& text, int ports) {
  std::istringstream in(text);
  std::vector<double> values;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '!' || line[0] == '#') continue;
    std::istringstream words(line);
    for (double v; words >> v;)
      values.push_back(v);
  }
  const std::size_t per = 1 + 2 * ports * ports;
  std::vector<std::pair<double, Eigen::MatrixXcd>> out;
  for (std::size_t at = 0; at + per <= values.size(); at += per) {
    Eigen::MatrixXcd s(ports, ports);
    for (int k = 0; k < ports * ports; ++k) {
      const cd v(values[at + 1 + 2 * k], values[at + 2 + 2 * k]);
      // Row by row; a two-port column by column.
      if (ports == 2)
        s(k % 2, k / 2) = v;
      else
        s(k / ports, k % ports) = v;
    }
    out.push_back({values[at], s});
  }
  return out;
}

// Reciprocal (S = S^T) and passive (every eigenvalue of S^H S at most 1), to rounding.
void expect_reciprocal_and_passive(const Eigen::MatrixXcd& s, double f) {
  EXPECT_LE((s - s.transpose()).cwiseAbs().maxCoeff(), 1e-12) << f;
  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXcd> e(s.adjoint() * s);
  EXPECT_LE(e.eigenvalues().maxCoeff(), 1 + 1e-12) << f;
}

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// Runs ngspice on `netlist` in `dir`; returns the complex values that "print" shows of each
// name in `names` ("v(x) = re,im").
std::vector<cd> ngspice(const fs::path& dir, const std::string& netlist,
                        const std::vector<std::string>& names) {
  write_file(dir / "run.cir", netlist);
  const std::string cmd = "cd '" + dir.string() + "' && ngspice -b run.cir > spice.txt 2>&1";
  std::system(cmd.c_str());  // ngspice -b ends with status 1 when it plots nothing
  const std::string out = slurp(dir / "spice.txt");
  std::vector<cd> v;
  for (const std::string& name : names) {
    const auto at = out.find("\n" + name + " = ");
    if (at == std::string::npos) return {};
    const char* p = out.c_str() + at + name.size() + 4;
    char* end = nullptr;
    const double re = std::strtod(p, &end);
    v.push_back({re, std::strtod(end + 1, nullptr)});
  }
  return v;
}

std::string ac_control(double f, const std::vector<std::string>& names) {
  std::string out = ".ac lin 1 " + num(f) + " " + num(f) + "\n.control\nset numdgt=12\nrun\n";
  for (const std::string& n : names)
    out += "print " + n + "\n";
  return out + ".endc\n.end\n";
}

// Coaxial line: inner radius 1 mm, shield radius 2.3 mm (grounded), filled with eps_r 2.1.
const std::string coax = header("2.1 1 1 1 1", "0 0 0 0 0 0 0") +
                         el(1, "3 1 1 24 1 1", "0 0 1 0 0", "1 1") +
                         el(2, "3 1 0 40 1 1", "0 0 2.3 -1 0", "1 1");

}  // namespace

// Coax with a lossy filler, closed forms: R = Rs/(2 pi) (1/a + 1/b) of the skin effect (the
// inner conductor's share combined with its DC resistance 1/(sigma pi a^2) by the root sum of
// squares, which moves R by 1e-4 at 100 MHz), G = omega C tan(delta) with C = 2 pi eps/ln(b/a),
// and the attenuation Re sqrt(Z Y) of these with Z = R + j(omega L + X), X = R's skin part. The
// densities of circles are constant, which the basis holds exactly: the figures carry the
// quadrature's 1e-4 of C and L only (the line tests' figure), so 2e-4; closed-form checks of field
// solvers commonly allow 0.5 %.
TEST(Losses, CoaxResistanceConductanceAndAttenuation) {
  TempDir dir;
  write_file(dir.path / "coax.inp", coax);
  RunOutput r = run_program(
      OSTREL_LINES_BINARY, dir.path,
      {"coax.inp", "--frequencies", "1e8:1e10:3:log", "--unit", "mm", "--tan-delta", "1=0.001"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto rows = csv(r.file("coax.inp.csv"));
  ASSERT_EQ(rows.size(), 3u);
  const double a = 1e-3, b = 2.3e-3, er = 2.1, tand = 0.001;
  for (const auto& row : rows) {
    const double f = row.at("f_Hz"), w = 2 * pi * f;
    const double rs = std::sqrt(pi * f * mu0 / copper);
    const double inner = rs / (2 * pi * a), shield = rs / (2 * pi * b);
    const double r_dc = 1 / (copper * pi * a * a);
    const double r_cf = std::hypot(inner, r_dc) + shield;
    const double x_cf = inner * inner / std::hypot(inner, r_dc) + shield;
    const double c_cf = 2 * pi * eps0 * er / std::log(b / a);
    const double l_cf = mu0 / (2 * pi) * std::log(b / a);
    EXPECT_LE(rel(row.at("R_1_1_ohm_per_m"), r_cf), 2e-4) << f;
    EXPECT_LE(rel(row.at("C_1_1_F_per_m"), c_cf), 2e-4) << f;
    EXPECT_LE(rel(row.at("G_1_1_S_per_m"), w * c_cf * tand), 2e-4) << f;
    EXPECT_LE(rel(row.at("L_1_1_H_per_m"), l_cf + x_cf / w), 2e-4) << f;
    const cd gamma = std::sqrt(cd(r_cf, w * l_cf + x_cf) * cd(w * c_cf * tand, w * c_cf));
    EXPECT_LE(rel(row.at("mode_1_alpha_dB_per_m"), gamma.real() * db_per_neper), 2e-4) << f;
    // The parts, to first order in the losses (their second order is (R / omega L)^2 = 3e-5):
    // R / (2 Z0) and omega sqrt(L C) tan(delta) / 2, with L the whole inductance.
    const double l_all = l_cf + x_cf / w;
    EXPECT_LE(
        rel(row.at("mode_1_alpha_c_dB_per_m"), r_cf / 2 * std::sqrt(c_cf / l_all) * db_per_neper),
        2e-4)
        << f;
    EXPECT_LE(rel(row.at("mode_1_alpha_d_dB_per_m"),
                  w * std::sqrt(l_all * c_cf) * tand / 2 * db_per_neper),
              2e-4)
        << f;
  }
}

// The coax filled with a wideband Debye (Djordjevic-Sarkar) medium, eps_r 2.1 and tan(delta)
// 0.002 at 1 GHz: eps(f) = eps_inf + delta F(f), F = log10((f2 + j f)/(f1 + j f))/9 with the
// corners 1 kHz and 1 THz, the model through eps_r (1 - j tan(delta)) at the reference. With the
// whole section in the medium, C(f) = 2 pi eps0 eps'(f)/ln(b/a) and G(f) = omega 2 pi eps0
// eps''(f)/ln(b/a) exactly: the figures carry the quadrature's 1e-4 of the coax's C, so 2e-4
// (as the coax above). The permittivity falls with frequency (a causal loss is dispersive).
// The RLGC file of the sweep: R0 the inner conductor's DC resistance 1/(sigma pi a^2) (the
// shield's metal is unbounded: no DC part), the circle's area exact but for the problem's
// single-precision pi (3e-8), so 1e-6; Rs sqrt(f) the skin law Rs = sqrt(pi mu0/sigma)
// (1/a + 1/b)/(2 pi), 2e-4 as R above; Gd and C0 those of --frequency. The CPL model has R
// of that frequency, the very number of the CSV table.
TEST(Losses, DebyeFillerAndTheModelsOfASweep) {
  TempDir dir;
  write_file(dir.path / "coax.inp", coax);
  RunOutput r =
      run_program(OSTREL_LINES_BINARY, dir.path,
                  {"coax.inp", "--frequencies", "1e8,1e9,1e10", "--unit", "mm", "--tan-delta",
                   "1=0.002", "--debye", "1=1e9", "--length", "0.3", "--frequency", "1e9"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const double a = 1e-3, b = 2.3e-3, er = 2.1, tand = 0.002, f_ref = 1e9;
  const auto shape = [](double f) { return std::log10(cd(1e12, f) / cd(1e3, f)) / 9.0; };
  const double delta = er * tand / -shape(f_ref).imag();
  const double eps_inf = er - delta * shape(f_ref).real();
  const double per_eps = 2 * pi * eps0 / std::log(b / a);  // C of the coax per unit eps
  const auto rows = csv(r.file("coax.inp.csv"));
  ASSERT_EQ(rows.size(), 3u);
  double last_c = INFINITY;
  for (const auto& row : rows) {
    const double f = row.at("f_Hz");
    const cd eps = eps_inf + delta * shape(f);
    EXPECT_LE(rel(row.at("C_1_1_F_per_m"), per_eps * eps.real()), 2e-4) << f;
    EXPECT_LE(rel(row.at("G_1_1_S_per_m"), 2 * pi * f * per_eps * -eps.imag()), 2e-4) << f;
    EXPECT_LT(row.at("C_1_1_F_per_m"), last_c) << f;
    last_c = row.at("C_1_1_F_per_m");
  }

  // The RLGC file: comment lines, N, then L0, C0, R0, G0, Rs, Gd (1 x 1 each).
  std::istringstream rlgc(r.file("coax.inp.rlgc"));
  std::vector<double> v;
  for (std::string line; std::getline(rlgc, line);)
    if (!line.empty() && line[0] != '*') v.push_back(std::strtod(line.c_str(), nullptr));
  ASSERT_EQ(v.size(), 7u);
  EXPECT_LE(rel(v[1], mu0 / (2 * pi) * std::log(b / a)), 2e-4);
  EXPECT_LE(rel(v[2], per_eps * er), 2e-4);
  EXPECT_LE(rel(v[3], 1 / (copper * pi * a * a)), 1e-6);
  EXPECT_EQ(v[4], 0.0);
  EXPECT_LE(rel(v[5], std::sqrt(pi * mu0 / copper) / (2 * pi) * (1 / a + 1 / b)), 2e-4);
  EXPECT_LE(rel(v[6], 2 * pi * per_eps * er * tand), 2e-4);
  const std::string cpl = r.file("coax.inp.cpl");
  const auto at = cpl.find("+ R=");
  ASSERT_NE(at, std::string::npos) << cpl;
  EXPECT_EQ(std::strtod(cpl.c_str() + at + 4, nullptr), rows[1].at("R_1_1_ohm_per_m"));
}

// The proximity effect. A wire pair (radius a, centres D apart; one wire the grounded return,
// zero total charge): R = Rs/(pi a) (D/2a) / sqrt((D/2a)^2 - 1). A wire at height h over a
// grounded plane (the plane's return current from the field of the solution):
// R = Rs/(2 pi sqrt(h^2 - a^2)) (h/a + 1), the plane's share Rs/(2 pi sqrt(h^2 - a^2)). At
// D/2a = h/a = 1.25 the density varies by a factor 9 around the wire; the pair's R is 4.6e-5
// low with 64 nodes, 1.2e-5 with 96 (the error falls with the square of the spacing), so 1e-4;
// closed-form checks of field solvers commonly allow 0.5 %.
TEST(Losses, ProximityOfAWirePairAndOfAWireOverItsPlane) {
  TempDir dir;
  const double a = 1e-3, d = 2.5e-3, f = 1e9;
  const double rs = std::sqrt(pi * f * mu0 / copper);
  const double x = d / (2 * a), h = d / 2;
  struct Case {
    std::string name, text;
    double want;
  } cases[] = {
      {"pair",
       header("1 1 1 1 1", "0 1 0 0 0 0 0") + el(1, "3 1 1 64 1 1", "-1.25 0 1 0 0", "1 1") +
           el(2, "3 1 0 64 1 1", "1.25 0 1 0 0", "1 1"),
       rs / (pi * a) * x / std::sqrt(x * x - 1)},
      {"plane", header("1 1 1 1 1", "1 0 0 0 0 0 0") + el(1, "3 1 1 64 1 1", "0 1.25 1 0 0", "1 1"),
       rs / (2 * pi * std::sqrt(h * h - a * a)) * (h / a + 1)},
  };
  for (const Case& c : cases) {
    write_file(dir.path / (c.name + ".inp"), c.text);
    RunOutput r = run_program(OSTREL_LINES_BINARY, dir.path,
                              {c.name + ".inp", "--frequencies", "1e9", "--unit", "mm"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto rows = csv(r.file(c.name + ".inp.csv"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_LE(rel(rows[0].at("R_1_1_ohm_per_m"), c.want), 1e-4)
        << c.name << ": " << rows[0].at("R_1_1_ohm_per_m") << " vs " << c.want;
  }
}

// A 1 mm by 35 um trace midway in a grounded channel 2 mm high, whole (igg 4) and as its half
// beside the symmetry plane x = 0 (igg 5), whose line carries the same field in half the
// section: R, L and the attenuation of the half are twice, once and once those of the whole.
// The corners take the incremental inductance (the half's outline slides along the plane). The
// two are discretised differently (the half's elements crowd their nodes at the plane too), so
// they agree to the discretisation error, which --check puts at 1.3e-4 for R and 1.6e-4 for the
// attenuation of the whole: 3e-4.
TEST(Losses, ThickTraceWholeAndHalfBesideASymmetryPlane) {
  TempDir dir;
  write_file(dir.path / "whole.inp", header("1 1 1 1 1", "4 0 2 0 0 0 0") +
                                         rectangle(1, 1, -0.5, 0.9825, 1.0, 0.035, 40, 10));
  const auto seg = [](int i, const std::string& head, const std::string& g) {
    return el(i, head, g, "1 1");
  };
  write_file(dir.path / "half.inp", header("1 1 1 1 1", "5 0 2 0 0 0 0") +
                                        seg(1, "0 1 1 20 1 1", "0 0.9825 0.5 0.9825 0") +
                                        seg(2, "0 1 1 10 1 1", "0.5 0.9825 0.5 1.0175 0") +
                                        seg(3, "0 1 1 20 1 1", "0.5 1.0175 0 1.0175 0"));
  std::map<std::string, std::map<std::string, double>> got;
  for (const char* name : {"whole", "half"}) {
    RunOutput r = run_program(OSTREL_LINES_BINARY, dir.path,
                              {std::string(name) + ".inp", "--frequencies", "1e9", "--unit", "mm"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("corners: currents from the incremental inductance"), std::string::npos);
    got[name] = csv(r.file(std::string(name) + ".inp.csv")).at(0);
  }
  EXPECT_LE(rel(got["half"]["R_1_1_ohm_per_m"], 2 * got["whole"]["R_1_1_ohm_per_m"]), 3e-4);
  EXPECT_LE(rel(got["half"]["L_1_1_H_per_m"], 2 * got["whole"]["L_1_1_H_per_m"]), 3e-4);
  EXPECT_LE(rel(got["half"]["mode_1_alpha_dB_per_m"], got["whole"]["mode_1_alpha_dB_per_m"]), 3e-4);
}

// One lossy line (the coax with its conductor loss) against ngspice's LTRA in an AC analysis:
// per frequency the program's R, L, C (LTRA takes no G) of the CSV table in an LTRA line of the
// same length between 50 ohm ports; S11 = 2 V1 - 1 and S21 = 2 V2 with 1 V behind port 1. LTRA's
// AC solution is exact, so the S-parameters of the Touchstone file agree to ngspice's printed
// twelve digits and the file's R, L, C seventeen: 1e-9.
TEST(Losses, SingleLineAgainstNgspiceLtra) {
  TempDir dir;
  write_file(dir.path / "coax.inp", coax);
  RunOutput r =
      run_program(OSTREL_LINES_BINARY, dir.path,
                  {"coax.inp", "--frequencies", "1e7,1e9,5e9", "--unit", "mm", "--length", "0.5"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto rows = csv(r.file("coax.inp.csv"));
  const auto s = touchstone(r.file("coax.inp.s2p"), 2);
  ASSERT_EQ(s.size(), 3u);
  for (std::size_t n = 0; n < s.size(); ++n) {
    const auto& [f, sp] = s[n];
    expect_reciprocal_and_passive(sp, f);
    const auto& row = rows[n];
    ASSERT_EQ(row.at("f_Hz"), f);
    const std::string net =
        "ltra\nV1 s 0 AC 1\nR1 s a 50\nO1 a 0 b 0 line\nR2 b 0 50\n"
        ".model line LTRA R=" +
        num(row.at("R_1_1_ohm_per_m")) + " L=" + num(row.at("L_1_1_H_per_m")) +
        " C=" + num(row.at("C_1_1_F_per_m")) + " LEN=0.5\n" + ac_control(f, {"v(a)", "v(b)"});
    const std::vector<cd> v = ngspice(dir.path, net, {"v(a)", "v(b)"});
    ASSERT_EQ(v.size(), 2u) << slurp(dir.path / "spice.txt");
    EXPECT_LE(std::abs(sp(0, 0) - (2.0 * v[0] - 1.0)), 1e-9) << f;
    EXPECT_LE(std::abs(sp(1, 0) - 2.0 * v[1]), 1e-9) << f;
  }
}

// A coupled pair (two wires over a grounded plane, a lossy medium) against ngspice: its
// four-port file read back, port 1 driven through 50 ohm, the others loaded with 50 ohm, in a
// ladder of 400 symmetric T sections of the program's R, L, G, C matrices (mutual L by
// coupling factors, mutual R by current-controlled sources, mutual C and G between the lines).
// ngspice's CPL line has no AC analysis, and in a transient's sinusoidal steady state it is
// 1.5 % from the closed-form even and odd solution even without loss (measured), so it cannot
// judge these figures; the ladder's error is (beta l)(beta dz)^2 / 24 = 2e-5 at 3 GHz, so 1e-4.
// The port order (far end of line i at port m + i) is what S31 and S41 test.
TEST(Losses, CoupledPairAgainstAnNgspiceLadder) {
  TempDir dir;
  fs::copy_file(fs::path(OSTREL_SOURCE_DIR) / "examples/coupled.inp", dir.path / "pair.inp");
  RunOutput r = run_program(OSTREL_LINES_BINARY, dir.path,
                            {"pair.inp", "--frequencies", "3e8,3e9", "--unit", "mm", "--length",
                             "0.1", "--tan-delta", "1=0.01"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("SDD21"), std::string::npos);
  const auto rows = csv(r.file("pair.inp.csv"));
  const auto s = touchstone(r.file("pair.inp.s4p"), 4);
  ASSERT_EQ(s.size(), 2u);
  const int sections = 400;
  const double dz = 0.1 / sections;
  for (std::size_t n = 0; n < s.size(); ++n) {
    const auto& [f, sp] = s[n];
    expect_reciprocal_and_passive(sp, f);
    const auto& row = rows[n];
    const auto m = [&](const char* q, int i, int j, const char* unit) {
      return row.at(std::string(q) + "_" + std::to_string(std::min(i, j)) + "_" +
                    std::to_string(std::max(i, j)) + "_" + unit);
    };
    std::string net = "ladder\nV1 s 0 AC 1\nR1 s a1_0 50\nR2 a2_0 0 50\n";
    for (int k = 0; k < sections; ++k) {
      const std::string K = std::to_string(k), K1 = std::to_string(k + 1);
      for (const char* half : {"a", "b"}) {
        const std::string h = half;
        for (int i = 1; i <= 2; ++i) {
          const std::string I = std::to_string(i), J = std::to_string(3 - i);
          const std::string from = h == "a" ? "a" + I + "_" + K : "m" + I + "_" + K;
          const std::string to = h == "a" ? "m" + I + "_" + K : "a" + I + "_" + K1;
          const std::string id = h + I + "_" + K;
          net += "V" + id + " " + from + " p" + id + " 0\n";
          net += "R" + id + " p" + id + " q" + id + " " + num(m("R", i, i, "ohm_per_m") * dz / 2) +
                 "\n";
          net += "H" + id + " q" + id + " r" + id + " V" + h + J + "_" + K + " " +
                 num(m("R", 1, 2, "ohm_per_m") * dz / 2) + "\n";
          net +=
              "L" + id + " r" + id + " " + to + " " + num(m("L", i, i, "H_per_m") * dz / 2) + "\n";
        }
        net += "K" + h + K + " L" + h + "1_" + K + " L" + h + "2_" + K + " " +
               num(m("L", 1, 2, "H_per_m") /
                   std::sqrt(m("L", 1, 1, "H_per_m") * m("L", 2, 2, "H_per_m"))) +
               "\n";
      }
      for (int i = 1; i <= 2; ++i) {
        std::string node(1, 'm');  // by appends: g++ 12 warns falsely on "m" + std::string
        node += std::to_string(i);
        node += '_';
        node += K;
        net += "Cg" + node + " " + node + " 0 " +
               num((m("C", i, i, "F_per_m") + m("C", 1, 2, "F_per_m")) * dz) + "\n";
        net += "Rg" + node + " " + node + " 0 " +
               num(1 / ((m("G", i, i, "S_per_m") + m("G", 1, 2, "S_per_m")) * dz)) + "\n";
      }
      net += "Cc" + K + " m1_" + K + " m2_" + K + " " + num(-m("C", 1, 2, "F_per_m") * dz) + "\n";
      net += "Rc" + K + " m1_" + K + " m2_" + K + " " + num(-1 / (m("G", 1, 2, "S_per_m") * dz)) +
             "\n";
    }
    const std::string far1 = "a1_" + std::to_string(sections),
                      far2 = "a2_" + std::to_string(sections);
    net += "R3 " + far1 + " 0 50\nR4 " + far2 + " 0 50\n";
    const std::vector<std::string> names{"v(a1_0)", "v(a2_0)", "v(" + far1 + ")",
                                         "v(" + far2 + ")"};
    const std::vector<cd> v = ngspice(dir.path, net + ac_control(f, names), names);
    ASSERT_EQ(v.size(), 4u) << slurp(dir.path / "spice.txt").substr(0, 2000);
    EXPECT_LE(std::abs(sp(0, 0) - (2.0 * v[0] - 1.0)), 1e-4) << f;
    for (int p = 1; p < 4; ++p)
      EXPECT_LE(std::abs(sp(p, 0) - 2.0 * v[p]), 1e-4) << f << " port " << p + 1;
  }
}

// A named cross-section's problem swept: the default edge-coupled stripline pair (thick strips,
// a homogeneous filling of tan(delta) 0.01) saved with --write-problem, then its 4-port over
// 5 cm. The pair is drawn mirror-symmetric, so its two lines are alike: R11 = R22, S11 = S22,
// S31 = S42, S41 = S32 (the two lines' figures differ by the rounding of one solution, 1e-13
// measured; a drawing or port order out of true would move them by the discretisation error,
// 1e-4 and more): 1e-9. In a homogeneous medium G = omega tan(delta) C exactly (one share of
// the capacitance), constant C; the lossy line is passive and reciprocal.
TEST(Losses, StructurePairSweptIsSymmetricAndPassive) {
  TempDir dir;
  RunOutput made = run_program(OSTREL_LINES_BINARY, dir.path,
                               {"--structure", "diff_stripline", "--write-problem", "pair.inp"});
  ASSERT_EQ(made.status, 0) << made.out << made.err;
  RunOutput refused =
      run_program(OSTREL_LINES_BINARY, dir.path,
                  {"--structure", "diff_stripline", "--frequencies", "1e9", "--unit", "mm"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("--frequencies runs on a problem file"), std::string::npos)
      << refused.err;
  RunOutput r = run_program(OSTREL_LINES_BINARY, dir.path,
                            {"pair.inp", "--frequencies", "1e9,2e10", "--unit", "mm", "--length",
                             "0.05", "--tan-delta", "2=0.01"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto rows = csv(r.file("pair.inp.csv"));
  const auto s = touchstone(r.file("pair.inp.s4p"), 4);
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(s.size(), 2u);
  for (std::size_t n = 0; n < s.size(); ++n) {
    const auto& [f, sp] = s[n];
    const auto& row = rows[n];
    expect_reciprocal_and_passive(sp, f);
    EXPECT_LE(rel(row.at("R_2_2_ohm_per_m"), row.at("R_1_1_ohm_per_m")), 1e-9) << f;
    for (const auto& [i, j, k, l] : {std::array{0, 0, 1, 1}, {2, 0, 3, 1}, {3, 0, 2, 1}})
      EXPECT_LE(std::abs(sp(i, j) - sp(k, l)), 1e-9) << f << ": S" << i + 1 << j + 1;
    for (const char* entry : {"1_1", "1_2"}) {
      const std::string g = std::string("G_") + entry + "_S_per_m";
      const std::string c = std::string("C_") + entry + "_F_per_m";
      EXPECT_LE(rel(row.at(g), 2 * pi * f * 0.01 * row.at(c)), 1e-9) << f << " " << entry;
      EXPECT_EQ(row.at(c), rows[0].at(c)) << f;
    }
  }
}

// Every failure says why, exits non-zero and writes nothing: a zero-thickness strip (named),
// a sweep without the problem's length unit, an output over the problem file.
TEST(Losses, FailuresSayWhyAndWriteNothing) {
  TempDir dir;
  fs::copy_file(fs::path(OSTREL_SOURCE_DIR) / "examples/microstrip.inp", dir.path / "strip.inp");
  const std::string problem = slurp(dir.path / "strip.inp");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> message;
  } cases[] = {
      {{"--frequencies", "1e9", "--unit", "mm"}, 1, {"conductor 1", "zero-thickness strip"}},
      {{"--frequencies", "1e9"}, 1, {"--frequencies needs --unit"}},
      {{"--frequencies", "1e9", "--unit", "mm", "--csv", "strip.inp"}, 2, {"is the problem file"}},
      {{"--sigma", "1=1e7"}, 1, {"give --frequencies"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"strip.inp"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunOutput r = run_program(OSTREL_LINES_BINARY, dir.path, args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << "\n" << r.err;
    for (const std::string& part : c.message)
      EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    EXPECT_FALSE(r.exists("strip.inp.json") || r.exists("strip.inp.csv")) << r.err;
    EXPECT_EQ(slurp(dir.path / "strip.inp"), problem);
  }
}
