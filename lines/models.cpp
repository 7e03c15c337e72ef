#include "lines/models.hpp"

#include "lines/report.hpp"

#include <cmath>
#include <vector>

namespace ostrel::lines {

namespace {

// Full double precision, as a SPICE reader takes it.
std::string number(double v) {
  return exact_number(v);
}

std::string trimmed(const std::string& s) {
  const auto end = s.find_last_not_of(' ');
  return end == std::string::npos ? "" : s.substr(0, end + 1);
}

// Lower triangle row by row, one row per line.
std::string lower_rows(const Matrix& a, double scale) {
  std::string out;
  for (int i = 0; i < a.m; ++i) {
    for (int j = 0; j <= i; ++j) {
      if (j > 0) out += ' ';
      out += number(a(i, j) * scale);
    }
    out += "\n";
  }
  return out;
}

// Upper triangle row by row on one line.
// Relative difference below which two self terms are the same quantity computed twice (the
// solver's rounding is about 1e-14 of them; real differences of geometry are far larger).
constexpr double rounding_agreement = 1e-12;

// a with its diagonal entries that agree to rounding replaced by their common mean, so that
// lines alike by construction are exactly alike in the model. ngspice's CPL model takes a
// different and inaccurate path for a pair whose self terms differ in the last bits (measured:
// a 1.5 % reflection on a matched symmetric pair).
Matrix evened(Matrix a) {
  std::vector<bool> done(a.m, false);
  for (int i = 0; i < a.m; ++i) {
    if (done[i]) continue;
    std::vector<int> group;
    double sum = 0;
    for (int j = i; j < a.m; ++j)
      if (!done[j] && std::fabs(a(j, j) - a(i, i)) <= rounding_agreement * std::fabs(a(i, i))) {
        group.push_back(j);
        sum += a(j, j);
      }
    for (int j : group) {
      a(j, j) = sum / static_cast<double>(group.size());
      done[j] = true;
    }
  }
  return a;
}

std::string upper_row(const Matrix& a) {
  std::string out;
  for (int i = 0; i < a.m; ++i)
    for (int j = i; j < a.m; ++j) {
      if (!out.empty()) out += ' ';
      out += number(a(i, j));
    }
  return out;
}

std::string pins(const char* prefix, int m) {
  std::string out;
  for (int i = 1; i <= m; ++i) {
    out += ' ';
    out += prefix;
    out += std::to_string(i);
  }
  return out;
}

}  // namespace

std::string rlgc_file(const LineParameters& p, const Options& o, const std::string& title,
                      const RlgcLoss* loss) {
  const Matrix zero(p.m);
  std::string out;
  out += "* RLGC matrix file (W element) written by ostrel-lines from " + o.problem + "\n";
  out += "* " + trimmed(title) + "\n";
  out += "* Per unit length in SI units; each matrix as its lower triangle, row by row.\n";
  if (loss) {
    out += "* R(f) = R0 + Rs sqrt(f) (1 + j), G(f) = G0 + Gd f.\n";
    for (const std::string& note : loss->notes)
      out += "* " + note + "\n";
  } else {
    out += "* Perfect conductors: R0 = Rs = 0. Dielectric loss: G(f) = G0 + Gd f";
    out += o.lossy ? " (constant loss tangent).\n" : " (lossless: zero).\n";
  }
  out += "* W1" + pins("in", p.m) + " 0" + pins("out", p.m) + " 0 RLGCfile=" + o.rlgc +
         " N=" + std::to_string(p.m) + " l=" + number(o.length) + "\n";
  out += "* number of conductors\n" + std::to_string(p.m) + "\n";
  out += "* L0 [H/m]\n" + lower_rows(p.l, 1);
  out += "* C0 [F/m]\n" + lower_rows(loss ? loss->c : p.c, 1);
  out += "* R0 [ohm/m]\n" + lower_rows(loss ? loss->r0 : zero, 1);
  out += "* G0 [S/m]\n" + lower_rows(zero, 1);
  out += "* Rs [ohm/(m sqrt(Hz))]\n" + lower_rows(loss ? loss->rs : zero, 1);
  if (loss)
    out += "* Gd [S/(m Hz)]\n" + lower_rows(loss->gd, 1);
  else
    out += "* Gd [S/(m Hz)]\n" + lower_rows(p.g, o.lossy ? 1 / o.frequency : 0.0);
  return out;
}

std::string cpl_model(const LineParameters& p, const Options& o, const std::string& title,
                      const Matrix* r, double at) {
  const Matrix zero(p.m);
  std::string out;
  out += "* ngspice coupled-line (CPL) model written by ostrel-lines from " + o.problem + "\n";
  out += "* " + trimmed(title) + "\n";
  out += "* " + std::to_string(p.m) + " conductor(s), length " + number(o.length) +
         " m; R, L, G, C per metre in SI units, upper triangles row by row.\n";
  if (r)
    out +=
        "* R, L, G and C are those at " + number(at) + " Hz (CPL has no frequency dependence).\n";
  else if (o.lossy)
    out += "* G is the dielectric loss at " + number(o.frequency) + " Hz.\n";
  out += "* Use: .include this file, then X1" + pins("in", p.m) + pins("out", p.m) + " 0 " +
         cpl_subcircuit + "\n";
  out += ".subckt " + std::string(cpl_subcircuit) + pins("in", p.m) + pins("out", p.m) + " ref\n";
  out += "P1" + pins("in", p.m) + " ref" + pins("out", p.m) + " ref ostrel_cpl\n";
  out += ".model ostrel_cpl CPL length=" + number(o.length) + "\n";
  out += "+ R=" + upper_row(r ? evened(*r) : zero) + "\n";
  out += "+ L=" + upper_row(evened(p.l)) + "\n";
  out += "+ G=" + upper_row(evened(p.g)) + "\n";
  out += "+ C=" + upper_row(evened(p.c)) + "\n";
  out += ".ends " + std::string(cpl_subcircuit) + "\n";
  return out;
}

}  // namespace ostrel::lines
