#include "lines/models.hpp"

#include "lines/report.hpp"

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

std::string rlgc_file(const LineParameters& p, const Options& o, const std::string& title) {
  const Matrix zero(p.m);
  std::string out;
  out += "* RLGC matrix file (W element) written by ostrel-lines from " + o.problem + "\n";
  out += "* " + trimmed(title) + "\n";
  out += "* Per unit length in SI units; each matrix as its lower triangle, row by row.\n";
  out += "* Perfect conductors: R0 = Rs = 0. Dielectric loss: G(f) = G0 + Gd f";
  out += o.lossy ? " (constant loss tangent).\n" : " (lossless: zero).\n";
  out += "* W1" + pins("in", p.m) + " 0" + pins("out", p.m) + " 0 RLGCfile=" + o.rlgc +
         " N=" + std::to_string(p.m) + " l=" + number(o.length) + "\n";
  out += "* number of conductors\n" + std::to_string(p.m) + "\n";
  out += "* L0 [H/m]\n" + lower_rows(p.l, 1);
  out += "* C0 [F/m]\n" + lower_rows(p.c, 1);
  out += "* R0 [ohm/m]\n" + lower_rows(zero, 1);
  out += "* G0 [S/m]\n" + lower_rows(zero, 1);
  out += "* Rs [ohm/(m sqrt(Hz))]\n" + lower_rows(zero, 1);
  out += "* Gd [S/(m Hz)]\n" + lower_rows(p.g, o.lossy ? 1 / o.frequency : 0.0);
  return out;
}

std::string cpl_model(const LineParameters& p, const Options& o, const std::string& title) {
  const Matrix zero(p.m);
  std::string out;
  out += "* ngspice coupled-line (CPL) model written by ostrel-lines from " + o.problem + "\n";
  out += "* " + trimmed(title) + "\n";
  out += "* " + std::to_string(p.m) + " conductor(s), length " + number(o.length) +
         " m; R, L, G, C per metre in SI units, upper triangles row by row.\n";
  if (o.lossy) out += "* G is the dielectric loss at " + number(o.frequency) + " Hz.\n";
  out += "* Use: .include this file, then X1" + pins("in", p.m) + pins("out", p.m) + " 0 " +
         cpl_subcircuit + "\n";
  out += ".subckt " + std::string(cpl_subcircuit) + pins("in", p.m) + pins("out", p.m) + " ref\n";
  out += "P1" + pins("in", p.m) + " ref" + pins("out", p.m) + " ref ostrel_cpl\n";
  out += ".model ostrel_cpl CPL length=" + number(o.length) + "\n";
  out += "+ R=" + upper_row(zero) + "\n";
  out += "+ L=" + upper_row(p.l) + "\n";
  out += "+ G=" + upper_row(p.g) + "\n";
  out += "+ C=" + upper_row(p.c) + "\n";
  out += ".ends " + std::string(cpl_subcircuit) + "\n";
  return out;
}

}  // namespace ostrel::lines
