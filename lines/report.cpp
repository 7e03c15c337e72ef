#include "lines/report.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>

namespace ostrel::lines {

namespace {

// Display scales of the console table.
constexpr double pico = 1e12;   // F/m to pF/m
constexpr double nano = 1e9;    // H/m to nH/m, s/m to ns/m
constexpr double milli = 1e3;   // S/m to mS/m
constexpr int digits = 6;       // significant digits of a console figure
constexpr int cell_width = 13;  // columns of a figure
constexpr int move_width = 11;  // columns of its move, " (+1.2e-03%)"

std::string printf_string(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

// A figure with `digits` significant digits.
std::string fig(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

std::string right(const std::string& s, int w) {
  return s.size() >= static_cast<std::size_t>(w) ? s : std::string(w - s.size(), ' ') + s;
}

std::string left(const std::string& s, int w) {
  return s.size() >= static_cast<std::size_t>(w) ? s : s + std::string(w - s.size(), ' ');
}

// One figure, and with a check its relative move in percent.
struct Table {
  const Check* check;

  std::string cell(double v, double refined) const {
    std::string s = right(fig(v == 0 ? 0.0 : v), cell_width);
    if (!check) return s;
    std::string move;
    if (v == refined)
      move = "(0%)";
    else if (v == 0)
      move = "(new)";
    else
      move = "(" + printf_string("%+.2g", 100 * (refined - v) / std::fabs(v)) + "%)";
    return s + " " + left(move, move_width - 1);
  }
};

// A matrix block: heading, column numbers, one row per conductor.
void matrix_block(std::string& out, const Table& t, const std::string& heading, const Matrix& a,
                  const Matrix* refined, double scale) {
  out += heading + "\n";
  const int w = cell_width + (t.check ? move_width : 0);
  out += "      ";
  for (int j = 0; j < a.m; ++j)
    out += right(std::to_string(j + 1), cell_width) + std::string(w - cell_width, ' ');
  out += "\n";
  for (int i = 0; i < a.m; ++i) {
    out += right(std::to_string(i + 1), 6);
    for (int j = 0; j < a.m; ++j) {
      const double v = a(i, j) * scale;
      out += t.cell(v, refined ? (*refined)(i, j) * scale : v);
    }
    out += "\n";
  }
  out += "\n";
}

std::string json_number(double v) {
  return std::isfinite(v) ? exact_number(v) : "null";
}

std::string json_vector(const std::vector<double>& v) {
  std::string out = "[";
  for (std::size_t i = 0; i < v.size(); ++i)
    out += (i ? ", " : "") + json_number(v[i]);
  return out + "]";
}

std::string json_matrix(const Matrix& a, const std::string& indent) {
  std::string out = "[";
  for (int i = 0; i < a.m; ++i) {
    std::vector<double> row;
    for (int j = 0; j < a.m; ++j)
      row.push_back(a(i, j));
    out += (i ? ",\n" + indent + " " : "") + json_vector(row);
  }
  return out + "]";
}

std::string trimmed(const std::string& s) {
  const auto end = s.find_last_not_of(' ');
  return end == std::string::npos ? "" : s.substr(0, end + 1);
}

// The figures of one set of parameters as JSON members at `indent`.
std::string json_figures(const LineParameters& p, const std::string& indent) {
  const std::string in = indent + "  ";
  std::string out;
  const auto member = [&](const std::string& key, const std::string& value, bool last = false) {
    out += in + json_string(key) + ": " + value + (last ? "\n" : ",\n");
  };
  member("capacitance", json_matrix(p.c, in + std::string(16, ' ')));
  member("capacitance_vacuum", json_matrix(p.c0, in + std::string(23, ' ')));
  member("inductance", json_matrix(p.l, in + std::string(15, ' ')));
  member("conductance", json_matrix(p.g, in + std::string(16, ' ')));
  std::string lines = "[";
  for (int i = 0; i < p.m; ++i)
    lines += std::string(i ? ",\n" + in + "  " : "\n" + in + "  ") +
             "{\"conductor\": " + std::to_string(i + 1) +
             ", \"impedance\": " + json_number(p.z_self[i]) +
             ", \"eps_eff\": " + json_number(p.eps_self[i]) +
             ", \"delay\": " + json_number(p.delay_self[i]) + "}";
  member("lines", lines + "\n" + in + "]");
  std::string modes = "[";
  for (int k = 0; k < p.m; ++k) {
    std::vector<double> v;
    for (int i = 0; i < p.m; ++i)
      v.push_back(p.voltage_modes(i, k));
    modes += std::string(k ? ",\n" + in + "  " : "\n" + in + "  ") +
             "{\"eps_eff\": " + json_number(p.eps_mode[k]) +
             ", \"velocity\": " + json_number(p.velocity_mode[k]) +
             ", \"delay\": " + json_number(p.delay_mode[k]) + ", \"voltage\": " + json_vector(v) +
             "}";
  }
  member("modes", modes + "\n" + in + "]");
  member("impedance_matrix", json_matrix(p.zc, in + std::string(21, ' ')));
  if (p.symmetric_pair) {
    const auto mode = [](double z, double e, double d) {
      return "{\"impedance\": " + json_number(z) + ", \"eps_eff\": " + json_number(e) +
             ", \"delay\": " + json_number(d) + "}";
    };
    member("symmetric_pair",
           "{\n" + in + "  \"even\": " + mode(p.z_even, p.eps_even, p.delay_even) + ",\n" + in +
               "  \"odd\": " + mode(p.z_odd, p.eps_odd, p.delay_odd) + ",\n" + in +
               "  \"differential_impedance\": " + json_number(2 * p.z_odd) + ",\n" + in +
               "  \"common_mode_impedance\": " + json_number(p.z_even / 2) + "\n" + in + "}",
           true);
  } else {
    member("symmetric_pair", "null", true);
  }
  return out;
}

// Relative difference below which two modes count as degenerate.
constexpr double degenerate_modes = 1e-9;

}  // namespace

std::string exact_number(double v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::string("nan");
}

std::string console_table(const LineParameters& p, const Options& o, const Check* check) {
  const Table t{check};
  const LineParameters* r = check ? &check->refined : nullptr;
  std::string out;
  if (check) {
    out +=
        "Check: every figure is followed by how much it moved when every element's ni was\n"
        "doubled (relative, in percent): an estimate of its discretisation error.\n";
    for (const std::string& note : check->notes)
      out += "  " + note + "\n";
    out += "\n";
  }
  const auto column = [](const std::string& s) { return right(s, cell_width); };
  const int w = cell_width + (check ? move_width : 0);
  const auto head = [&](std::initializer_list<const char*> names) {
    std::string s;
    for (const char* n : names)
      s += left(column(n), w);
    return s;
  };

  matrix_block(out, t, "C: capacitance with the dielectrics [pF/m]", p.c, r ? &r->c : nullptr,
               pico);
  matrix_block(out, t, "L: inductance [nH/m]", p.l, r ? &r->l : nullptr, nano);
  matrix_block(out, t, "C0: capacitance in vacuum [pF/m]", p.c0, r ? &r->c0 : nullptr, pico);
  if (o.lossy)
    matrix_block(out, t, "G: conductance at " + printf_string("%g", o.frequency) + " Hz [mS/m]",
                 p.g, r ? &r->g : nullptr, milli);

  if (p.m == 1) {
    out += "Line\n      " + head({"Z0 [ohm]", "eps_eff", "v [m/s]", "delay [ns/m]"}) + "\n";
    out += "      " + t.cell(p.z_self[0], r ? r->z_self[0] : p.z_self[0]) +
           t.cell(p.eps_self[0], r ? r->eps_self[0] : p.eps_self[0]) +
           t.cell(p.velocity_mode[0], r ? r->velocity_mode[0] : p.velocity_mode[0]) +
           t.cell(p.delay_self[0] * nano, r ? r->delay_self[0] * nano : p.delay_self[0] * nano) +
           "\n";
    return out;
  }

  out += "Lines: each conductor with the others held at 0 V\n  line" +
         head({"Z [ohm]", "eps_eff", "delay [ns/m]"}) + "\n";
  for (int i = 0; i < p.m; ++i)
    out += right(std::to_string(i + 1), 6) + t.cell(p.z_self[i], r ? r->z_self[i] : p.z_self[i]) +
           t.cell(p.eps_self[i], r ? r->eps_self[i] : p.eps_self[i]) +
           t.cell(p.delay_self[i] * nano, (r ? r->delay_self[i] : p.delay_self[i]) * nano) + "\n";
  out += "\n";

  out += "Modes: eigenvalues of L*C (eps_eff = c^2 lambda), voltage vectors in columns\n  mode" +
         head({"eps_eff", "v [m/s]", "delay [ns/m]"}) + "  voltages\n";
  for (int k = 0; k < p.m; ++k) {
    out += right(std::to_string(k + 1), 6) +
           t.cell(p.eps_mode[k], r ? r->eps_mode[k] : p.eps_mode[k]) +
           t.cell(p.velocity_mode[k], r ? r->velocity_mode[k] : p.velocity_mode[k]) +
           t.cell(p.delay_mode[k] * nano, (r ? r->delay_mode[k] : p.delay_mode[k]) * nano) + "  ";
    for (int i = 0; i < p.m; ++i) {
      out += ' ';
      out += printf_string("%+.4f", p.voltage_modes(i, k));
    }
    out += "\n";
  }
  for (int k = 1; k < p.m; ++k)
    if (p.eps_mode[k] - p.eps_mode[k - 1] <= degenerate_modes * p.eps_mode[k]) {
      out +=
          "  Modes of equal eps_eff travel together: any combination of their voltage vectors is\n"
          "  a mode as well (a homogeneous medium has one velocity for all).\n";
      break;
    }
  out += "\n";

  matrix_block(out, t, "Zc: characteristic impedance matrix, V = Zc I for a forward wave [ohm]",
               p.zc, r ? &r->zc : nullptr, 1.0);

  if (p.symmetric_pair) {
    out += "Symmetric pair: even mode (both lines at +V), odd mode (+V and -V)\n      " +
           head({"Z [ohm]", "eps_eff", "delay [ns/m]"}) + "\n";
    out += "  even" + t.cell(p.z_even, r ? r->z_even : p.z_even) +
           t.cell(p.eps_even, r ? r->eps_even : p.eps_even) +
           t.cell(p.delay_even * nano, (r ? r->delay_even : p.delay_even) * nano) + "\n";
    out += "  odd " + t.cell(p.z_odd, r ? r->z_odd : p.z_odd) +
           t.cell(p.eps_odd, r ? r->eps_odd : p.eps_odd) +
           t.cell(p.delay_odd * nano, (r ? r->delay_odd : p.delay_odd) * nano) + "\n";
    out += "  differential impedance 2 Z_odd = " + fig(2 * p.z_odd) +
           " ohm, common-mode impedance Z_even/2 = " + fig(p.z_even / 2) + " ohm\n";
  } else if (p.m == 2) {
    out +=
        "The two lines are not alike (C or C0 differ on the diagonal): no even and odd modes;\n"
        "the modes above are the pair's.\n";
  }
  return out;
}

std::string json_report(const LineParameters& p, const Options& o, const std::string& title1,
                        const std::string& title2, const Check* check, const std::string& extra) {
  std::string out = "{\n";
  out += "  \"program\": \"ostrel-lines\",\n";
  out += "  \"problem\": " + json_string(o.problem) + ",\n";
  out += "  \"titles\": [" + json_string(trimmed(title1)) + ", " + json_string(trimmed(title2)) +
         "],\n";
  out += "  \"conductors\": " + std::to_string(p.m) + ",\n";
  out +=
      "  \"units\": {\"capacitance\": \"F/m\", \"inductance\": \"H/m\", \"conductance\": "
      "\"S/m\", \"impedance\": \"ohm\", \"velocity\": \"m/s\", \"delay\": \"s/m\", "
      "\"frequency\": \"Hz\", \"length\": \"m\"},\n";
  out += "  \"constants\": {\"c\": " + json_number(speed_of_light) +
         ", \"mu0\": " + json_number(mu0) + ", \"eps0\": " + json_number(eps0) + "},\n";
  out += "  \"frequency\": " + (o.lossy ? json_number(o.frequency) : std::string("null")) + ",\n";
  std::string td = "{";
  for (int k = 0; k < static_cast<int>(o.tan_delta.size()); ++k)
    if (o.tan_delta[k] != 0)
      td += std::string(td.size() > 1 ? ", " : "") + "\"" + std::to_string(k + 1) +
            "\": " + json_number(o.tan_delta[k]);
  out += "  \"tan_delta\": " + td + "},\n";
  out += "  \"length\": " + (o.length > 0 ? json_number(o.length) : std::string("null")) + ",\n";
  out += json_figures(p, "");
  if (check) {
    out.insert(out.size() - 1, ",");
    out += "  \"check\": {\n";
    std::string notes = "[";
    for (std::size_t i = 0; i < check->notes.size(); ++i)
      notes += (i ? ", " : "") + json_string(check->notes[i]);
    out += "    \"notes\": " + notes + "],\n";
    out += "    \"refined\": {\n" + json_figures(check->refined, "    ") + "    }\n  }\n";
  }
  if (!extra.empty()) {
    out.insert(out.size() - 1, ",");
    out += extra + "\n";
  }
  return out + "}\n";
}

std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (unsigned char ch : s) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", ch);
      out += buf;
    } else {
      out += static_cast<char>(ch);
    }
  }
  return out + "\"";
}

}  // namespace ostrel::lines
