#include "losses/sweep_report.hpp"

#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>

#include "lines/report.hpp"

namespace ostrel::losses {

namespace {

using lines::exact_number;
using lines::json_string;

constexpr double nano = 1e9;   // H/m to nH/m
constexpr double milli = 1e3;  // S/m to mS/m
constexpr double pico = 1e12;  // F/m to pF/m
constexpr int width = 12;      // columns of a console figure
constexpr double degrees_per_radian = 180 / std::numbers::pi;

std::string fig(double v, int digits = 6) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v == 0 ? 0.0 : v);
  return buf;
}

std::string cfig(std::complex<double> v) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "%.6g%+.4gj", v.real(), v.imag() == 0 ? 0.0 : v.imag());
  return buf;
}

std::string right(const std::string& s, int w = width) {
  return s.size() >= static_cast<std::size_t>(w) ? " " + s : std::string(w - s.size(), ' ') + s;
}

double db(std::complex<double> v) {
  return 20 * std::log10(std::abs(v));
}

// The largest relative move of the entries of a matrix (relative to its largest entry).
double move(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b) {
  const double scale = a.cwiseAbs().maxCoeff();
  return scale > 0 ? (b - a).cwiseAbs().maxCoeff() / scale : 0.0;
}

double alpha_move(const SweepPoint& a, const SweepPoint& b) {
  double worst = 0;
  for (std::size_t k = 0; k < a.response.modes.size(); ++k)
    worst = std::max(worst, std::fabs(b.response.modes[k].alpha - a.response.modes[k].alpha) /
                                std::fabs(a.response.modes[k].alpha));
  return worst;
}

std::string percent(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2g%%", 100 * v);
  return buf;
}

std::string roughness_text(const Roughness& r) {
  switch (r.kind) {
    case Roughness::hammerstad:
      return "Hammerstad-Jensen roughness, rms " + fig(r.rms, 4) + " m";
    case Roughness::huray:
      return "Huray roughness, nodules of radius " + fig(r.radius, 4) + " m, surface ratio " +
             fig(r.ratio, 4);
    default:
      return "smooth";
  }
}

std::string law_text(const LossSurface& s, const lines::Options& o) {
  const double u2 = o.loss.unit * o.loss.unit;
  switch (s.model) {
    case LossSurface::rss:
      return "cross-section " + fig(s.area / u2) + " " + o.loss.unit_name + "^2, R_dc " +
             fig(s.r_dc) + " ohm/m, root sum of squares with the skin effect";
    case LossSurface::slab:
      return "unbounded, a slab " + fig(s.thickness, 4) + " m thick";
    default:
      return "unbounded: infinitely thick, skin effect at every frequency";
  }
}

std::string media_text(const MediumGroup& g) {
  std::string names;
  for (int k : g.media)
    names += (names.empty() ? "" : ", ") + (k < 0 ? std::string("vacuum") : std::to_string(k));
  std::string law;
  if (g.debye)
    law = "wideband Debye, eps_inf " + fig(g.model.eps_inf) + ", delta eps " + fig(g.model.delta) +
          " (tan(delta) " + fig(g.tan_delta, 4) + " and eps " + fig(g.eps) + " at the reference)";
  else if (g.tan_delta == 0)
    law = "lossless";
  else
    law = "constant tan(delta) " + fig(g.tan_delta, 4);
  return "medium " + names + ": " + law;
}

// Upper triangle row by row of a matrix, as CSV fields.
void csv_matrix(std::string& line, const Eigen::MatrixXd& a) {
  for (Eigen::Index i = 0; i < a.rows(); ++i)
    for (Eigen::Index j = i; j < a.cols(); ++j) {
      line += ',';
      line += exact_number(a(i, j));
    }
}

void csv_names(std::string& line, const std::string& stem, const std::string& unit, int m) {
  for (int i = 1; i <= m; ++i)
    for (int j = i; j <= m; ++j)
      line += "," + stem + "_" + std::to_string(i) + "_" + std::to_string(j) + "_" + unit;
}

std::string json_matrix(const Eigen::MatrixXd& a) {
  std::string out = "[";
  for (Eigen::Index i = 0; i < a.rows(); ++i) {
    out += i ? ", [" : "[";
    for (Eigen::Index j = 0; j < a.cols(); ++j)
      out += (j ? ", " : "") + exact_number(a(i, j));
    out += "]";
  }
  return out + "]";
}

std::string json_points(const Sweep& s, const std::string& in) {
  std::string out = "[";
  for (std::size_t n = 0; n < s.points.size(); ++n) {
    const SweepPoint& p = s.points[n];
    const std::string i2 = in + "  ";
    out += (n ? ",\n" : "\n") + in + "{\"frequency\": " + exact_number(p.f) + ",\n";
    out += i2 + "\"resistance\": " + json_matrix(p.r) + ",\n";
    out += i2 + "\"inductance\": " + json_matrix(p.l) + ",\n";
    out += i2 + "\"internal_inductance\": " + json_matrix(p.l_internal) + ",\n";
    out += i2 + "\"conductance\": " + json_matrix(p.g) + ",\n";
    out += i2 + "\"capacitance\": " + json_matrix(p.c) + ",\n";
    out += i2 + "\"impedance_matrix\": {\"re\": " + json_matrix(p.response.zc.real()) +
           ", \"im\": " + json_matrix(p.response.zc.imag()) + "},\n";
    out += i2 + "\"modes\": [";
    for (std::size_t k = 0; k < p.response.modes.size(); ++k) {
      const ModeFigures& mf = p.response.modes[k];
      out += std::string(k ? ", " : "") + "{\"gamma\": [" + exact_number(mf.gamma.real()) + ", " +
             exact_number(mf.gamma.imag()) +
             "], \"attenuation\": " + exact_number(mf.alpha * db_per_neper) +
             ", \"attenuation_conductor\": " + exact_number(mf.alpha_c * db_per_neper) +
             ", \"attenuation_dielectric\": " + exact_number(mf.alpha_d * db_per_neper) +
             ", \"velocity\": " + exact_number(mf.velocity) +
             ", \"eps_eff\": " + exact_number(mf.eps_eff) + "}";
    }
    out += "]";
    if (p.response.s.size() > 0)
      out += ",\n" + i2 + "\"s\": {\"re\": " + json_matrix(p.response.s.real()) +
             ", \"im\": " + json_matrix(p.response.s.imag()) + "}";
    if (p.mixed)
      out += ",\n" + i2 + "\"mixed_mode\": {\"sdd21\": [" +
             exact_number(p.mixed_mode.sdd21.real()) + ", " +
             exact_number(p.mixed_mode.sdd21.imag()) + "], \"scc21\": [" +
             exact_number(p.mixed_mode.scc21.real()) + ", " +
             exact_number(p.mixed_mode.scc21.imag()) + "]}";
    out += "}";
  }
  return out + "\n" + in.substr(2) + "]";
}

}  // namespace

std::string touchstone_name(const lines::Options& o, int m) {
  return o.loss.touchstone.empty() ? o.problem + ".s" + std::to_string(2 * m) + "p"
                                   : o.loss.touchstone;
}

std::string sweep_table(const Sweep& s, const lines::Options& o, const Sweep* refined) {
  const int m = s.m;
  std::string out =
      "Line over frequency: conductor loss from the surface currents of the vacuum solution,\n"
      "dielectric loss to first order in tan(delta); lengths of the problem in " +
      o.loss.unit_name + " (" + fig(o.loss.unit) + " m)\n";
  for (const LossSurface& surf : s.conductor.surfaces)
    out += "  " + surf.name + ": sigma " + fig(surf.sigma) + " S/m, " +
           roughness_text(surf.roughness) + "; " + law_text(surf, o) +
           (surf.incremental ? "; corners: currents from the incremental inductance" : "") + "\n";
  for (const MediumGroup& g : s.dielectric.groups)
    out += "  " + media_text(g) + "\n";
  out += "\n";
  const bool through = o.length > 0;
  if (m == 1) {
    out += right("f [Hz]") + right("R [ohm/m]") + right("L [nH/m]") + right("G [mS/m]") +
           right("C [pF/m]") + right("Zc [ohm]", 2 * width) + right("a_c [dB/m]") +
           right("a_d [dB/m]") + right("a [dB/m]") + right("v [m/s]") +
           (through ? right("S21 [dB]") : "") +
           (refined ? right("R moved") + right("a moved") : "") + "\n";
    for (std::size_t n = 0; n < s.points.size(); ++n) {
      const SweepPoint& p = s.points[n];
      const ModeFigures& mf = p.response.modes[0];
      out += right(fig(p.f)) + right(fig(p.r(0, 0))) + right(fig(p.l(0, 0) * nano)) +
             right(fig(p.g(0, 0) * milli)) + right(fig(p.c(0, 0) * pico)) +
             right(cfig(p.response.zc(0, 0)), 2 * width) + right(fig(mf.alpha_c * db_per_neper)) +
             right(fig(mf.alpha_d * db_per_neper)) + right(fig(mf.alpha * db_per_neper)) +
             right(fig(mf.velocity)) + (through ? right(fig(db(p.response.s(1, 0)))) : "");
      if (refined)
        out += right(percent(move(p.r, refined->points[n].r))) +
               right(percent(alpha_move(p, refined->points[n])));
      out += "\n";
    }
    return out;
  }
  for (std::size_t n = 0; n < s.points.size(); ++n) {
    const SweepPoint& p = s.points[n];
    out += "f = " + fig(p.f) + " Hz\n";
    out += "  " + std::string("R [ohm/m]") + std::string(m * width - 9, ' ') + "  L [nH/m]" +
           std::string(m * width - 8, ' ') + "  G [mS/m]" + std::string(m * width - 8, ' ') +
           "  C [pF/m]\n";
    for (int i = 0; i < m; ++i) {
      std::string line;
      for (const auto& [a, scale] :
           {std::pair{&p.r, 1.0}, {&p.l, nano}, {&p.g, milli}, {&p.c, pico}}) {
        for (int j = 0; j < m; ++j)
          line += right(fig((*a)(i, j) * scale));
        line += "  ";
      }
      out += line + "\n";
    }
    out += "  Zc [ohm]\n";
    for (int i = 0; i < m; ++i) {
      std::string line = "  ";
      for (int j = 0; j < m; ++j)
        line += right(cfig(p.response.zc(i, j)), 2 * width);
      out += line + "\n";
    }
    out += "  mode" + right("a_c [dB/m]") + right("a_d [dB/m]") + right("a [dB/m]") +
           right("v [m/s]") + right("eps_eff") + "\n";
    for (int k = 0; k < m; ++k) {
      const ModeFigures& mf = p.response.modes[k];
      out += "  " + right(std::to_string(k + 1), 4) + right(fig(mf.alpha_c * db_per_neper)) +
             right(fig(mf.alpha_d * db_per_neper)) + right(fig(mf.alpha * db_per_neper)) +
             right(fig(mf.velocity)) + right(fig(mf.eps_eff)) + "\n";
    }
    if (through) {
      out += "  through, |S(m+i, i)| [dB]:";
      for (int i = 0; i < m; ++i)
        out += "  line " + std::to_string(i + 1) + " " + fig(db(p.response.s(m + i, i)));
      out += "\n";
    }
    if (p.mixed)
      out += "  SDD21 " + fig(db(p.mixed_mode.sdd21)) + " dB at " +
             fig(std::arg(p.mixed_mode.sdd21) * degrees_per_radian, 4) + " deg, SCC21 " +
             fig(db(p.mixed_mode.scc21)) + " dB at " +
             fig(std::arg(p.mixed_mode.scc21) * degrees_per_radian, 4) + " deg\n";
    if (refined)
      out += "  check: R moved by " + percent(move(p.r, refined->points[n].r)) +
             ", the attenuation by " + percent(alpha_move(p, refined->points[n])) +
             " on the refined grids\n";
  }
  return out;
}

std::string sweep_csv(const Sweep& s, const lines::Options& o) {
  const int m = s.m;
  std::string head = "f_Hz";
  csv_names(head, "R", "ohm_per_m", m);
  csv_names(head, "L", "H_per_m", m);
  csv_names(head, "G", "S_per_m", m);
  csv_names(head, "C", "F_per_m", m);
  csv_names(head, "Zc_re", "ohm", m);
  csv_names(head, "Zc_im", "ohm", m);
  for (int k = 1; k <= m; ++k) {
    const std::string mode = ",mode_" + std::to_string(k) + "_";
    head += mode + "alpha_dB_per_m" + mode + "alpha_c_dB_per_m" + mode + "alpha_d_dB_per_m" + mode +
            "velocity_m_per_s" + mode + "eps_eff";
  }
  if (o.length > 0)
    for (int i = 1; i <= m; ++i)
      head += ",through_" + std::to_string(i) + "_dB";
  const bool mixed = !s.points.empty() && s.points.front().mixed;
  if (mixed) head += ",SDD21_dB,SDD21_deg,SCC21_dB,SCC21_deg";
  std::string out = head + "\n";
  for (const SweepPoint& p : s.points) {
    std::string line = exact_number(p.f);
    csv_matrix(line, p.r);
    csv_matrix(line, p.l);
    csv_matrix(line, p.g);
    csv_matrix(line, p.c);
    csv_matrix(line, p.response.zc.real());
    csv_matrix(line, p.response.zc.imag());
    for (const ModeFigures& mf : p.response.modes)
      line += std::string(",") + exact_number(mf.alpha * db_per_neper) + "," +
              exact_number(mf.alpha_c * db_per_neper) + "," +
              exact_number(mf.alpha_d * db_per_neper) + "," + exact_number(mf.velocity) + "," +
              exact_number(mf.eps_eff);
    if (o.length > 0)
      for (int i = 0; i < m; ++i)
        line += "," + exact_number(db(p.response.s(m + i, i)));
    if (mixed)
      line += "," + exact_number(db(p.mixed_mode.sdd21)) + "," +
              exact_number(std::arg(p.mixed_mode.sdd21) * degrees_per_radian) + "," +
              exact_number(db(p.mixed_mode.scc21)) + "," +
              exact_number(std::arg(p.mixed_mode.scc21) * degrees_per_radian);
    out += line + "\n";
  }
  return out;
}

std::string sweep_json(const Sweep& s, const lines::Options& o, const Sweep* refined) {
  std::string out = "  \"sweep\": {\n";
  out +=
      "    \"units\": {\"resistance\": \"ohm/m\", \"inductance\": \"H/m\", \"conductance\": "
      "\"S/m\", \"capacitance\": \"F/m\", \"impedance\": \"ohm\", \"attenuation\": \"dB/m\", "
      "\"gamma\": \"1/m\", \"velocity\": \"m/s\", \"sigma\": \"S/m\", \"area\": \"m^2\", "
      "\"length\": \"m\"},\n";
  out += "    \"unit\": " + json_string(o.loss.unit_name) + ",\n";
  out += "    \"unit_metres\": " + exact_number(o.loss.unit) + ",\n";
  out += "    \"z_ref\": " + exact_number(o.loss.z_ref) + ",\n";
  out += "    \"return_error\": " + exact_number(s.return_error) + ",\n";
  out += "    \"surfaces\": [";
  for (std::size_t i = 0; i < s.conductor.surfaces.size(); ++i) {
    const LossSurface& surf = s.conductor.surfaces[i];
    const char* law = surf.model == LossSurface::rss    ? "dc_transition"
                      : surf.model == LossSurface::slab ? "slab"
                                                        : "skin";
    const Roughness& r = surf.roughness;
    std::string rough =
        r.kind == Roughness::hammerstad
            ? "{\"model\": \"hammerstad_jensen\", \"rms\": " + exact_number(r.rms) + "}"
        : r.kind == Roughness::huray
            ? "{\"model\": \"huray\", \"radius\": " + exact_number(r.radius) +
                  ", \"ratio\": " + exact_number(r.ratio) + "}"
            : std::string("{\"model\": \"smooth\"}");
    out += std::string(i ? "," : "") + "\n      {\"name\": " + json_string(surf.name) +
           ", \"sigma\": " + exact_number(surf.sigma) + ", \"roughness\": " + rough +
           ", \"law\": \"" + law + "\", \"currents\": \"" +
           (surf.incremental ? "incremental_inductance" : "surface_charges") + "\"";
    if (surf.model == LossSurface::rss)
      out += ", \"area\": " + exact_number(surf.area) + ", \"r_dc\": " + exact_number(surf.r_dc);
    if (surf.model == LossSurface::slab) out += ", \"thickness\": " + exact_number(surf.thickness);
    out += "}";
  }
  out += "\n    ],\n    \"media\": [";
  for (std::size_t i = 0; i < s.dielectric.groups.size(); ++i) {
    const MediumGroup& g = s.dielectric.groups[i];
    std::string media;
    for (int k : g.media)
      media += (media.empty() ? "" : ", ") + std::to_string(k);
    out += std::string(i ? "," : "") + "\n      {\"media\": [" + media +
           "], \"tan_delta\": " + exact_number(g.tan_delta) + ", \"model\": \"" +
           (g.debye ? "debye" : "constant") + "\"";
    if (g.debye)
      out += ", \"eps_inf\": " + exact_number(g.model.eps_inf) +
             ", \"delta_eps\": " + exact_number(g.model.delta);
    out += ", \"share\": " + json_matrix(g.share) + "}";
  }
  out += "\n    ],\n";
  out += "    \"r_dc\": " + json_matrix(s.conductor.r_dc) + ",\n";
  out += "    \"rs_smooth\": " + json_matrix(s.conductor.rs_smooth) + ",\n";
  if (o.length > 0) out += "    \"touchstone\": " + json_string(touchstone_name(o, s.m)) + ",\n";
  out += "    \"points\": " + json_points(s, "      ");
  if (refined) out += ",\n    \"refined_points\": " + json_points(*refined, "      ");
  return out + "\n  }";
}

std::string touchstone(const Sweep& s, const lines::Options& o, const std::string& title) {
  const int m = s.m, ports = 2 * m;
  std::string out = "! Touchstone 1.1 file written by ostrel-lines from " + o.problem + "\n";
  const auto end = title.find_last_not_of(' ');
  if (end != std::string::npos) out += "! " + title.substr(0, end + 1) + "\n";
  out += "! S-parameters of " + std::to_string(m) + " coupled line(s) of length " +
         exact_number(o.length) + " m, reference impedance " + exact_number(o.loss.z_ref) +
         " ohm at every port\n";
  out += "! Port order: ports 1.." + std::to_string(m) + " are the near ends of conductors 1.." +
         std::to_string(m) + ", ports " + std::to_string(m + 1) + ".." + std::to_string(ports) +
         " their far ends (port " + std::to_string(m) + "+i is the far end of conductor i)\n";
  out += ports == 2 ? "! Each line: f S11 S21 S12 S22 (real and imaginary parts)\n"
                    : "! Each frequency: the matrix row by row, four entries per line at most\n";
  out += "# Hz S RI R " + exact_number(o.loss.z_ref) + "\n";
  const auto pair = [](std::complex<double> v) {
    std::string out = " ";
    out += exact_number(v.real());
    out += ' ';
    out += exact_number(v.imag());
    return out;
  };
  for (const SweepPoint& p : s.points) {
    const Eigen::MatrixXcd& sp = p.response.s;
    std::string line = exact_number(p.f);
    if (ports == 2) {
      out += line + pair(sp(0, 0)) + pair(sp(1, 0)) + pair(sp(0, 1)) + pair(sp(1, 1)) + "\n";
      continue;
    }
    for (int i = 0; i < ports; ++i) {
      for (int j = 0; j < ports; ++j) {
        if (j > 0 && j % 4 == 0) {
          out += line + "\n";
          line.clear();
        }
        line += pair(sp(i, j));
      }
      out += line + "\n";
      line.clear();
    }
  }
  return out;
}

}  // namespace ostrel::losses
