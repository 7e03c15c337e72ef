#include "losses/loss_options.hpp"

#include "lines/options.hpp"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace ostrel::losses {

namespace {

[[noreturn]] void bad(const std::string& what) {
  throw std::invalid_argument(what);
}

int integer(const std::string& option, const std::string& text) {
  int v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end)
    bad(option + ": '" + text + "' is not a whole number");
  return v;
}

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto at = text.find(sep, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

// "K=VALUE" split at the '=', K a conductor number 0..; no '=': K = -1 (every conductor).
std::pair<int, std::string> keyed(const std::string& option, const std::string& text) {
  const auto eq = text.find('=');
  if (eq == std::string::npos) return {-1, text};
  const int k = integer(option, text.substr(0, eq));
  if (k < 0) bad(option + ": the conductor '" + text.substr(0, eq) + "' is negative");
  return {k, text.substr(eq + 1)};
}

// "1e6,1e9", "1e6:1e10:41" (linear) or "1e6:1e10:41:log".
std::vector<double> frequencies(const std::string& text) {
  const std::string option = "--frequencies";
  std::vector<double> f;
  if (text.find(':') == std::string::npos) {
    for (const std::string& part : split(text, ','))
      f.push_back(lines::option_positive(option, part));
  } else {
    const std::vector<std::string> p = split(text, ':');
    if (p.size() < 3 || p.size() > 4 || (p.size() == 4 && p[3] != "log" && p[3] != "lin"))
      bad(option + ": '" + text + "' is not START:STOP:COUNT or START:STOP:COUNT:log");
    const double a = lines::option_positive(option, p[0]), b = lines::option_positive(option, p[1]);
    const int n = integer(option, p[2]);
    if (n < 1 || n > max_frequencies)
      bad(option + ": the count '" + p[2] + "' is outside 1.." + std::to_string(max_frequencies));
    if (n == 1 && a != b) bad(option + ": one frequency cannot run from START to a different STOP");
    const bool log = p.size() == 4 && p[3] == "log";
    for (int i = 0; i < n; ++i) {
      const double s = n == 1 ? 0.0 : static_cast<double>(i) / (n - 1);
      f.push_back(log ? a * std::pow(b / a, s) : a + (b - a) * s);
    }
    f.back() = b;  // the stated end point exactly
  }
  if (static_cast<int>(f.size()) > max_frequencies)
    bad(option + ": more than " + std::to_string(max_frequencies) + " frequencies");
  return f;
}

// Metres per length unit: a name or a positive number of metres.
struct UnitName {
  const char* name;
  double metres;  // exact by the definitions of the units (1 in = 25.4 mm, 1 mil = in/1000)
};
constexpr UnitName unit_names[] = {{"m", 1.0},   {"cm", 1e-2},     {"mm", 1e-3},
                                   {"um", 1e-6}, {"mil", 2.54e-5}, {"in", 0.0254}};

double unit(const std::string& text) {
  for (const UnitName& u : unit_names)
    if (text == u.name) return u.metres;
  if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.'))
    return lines::option_positive("--unit", text);
  bad("--unit: '" + text + "' is not m, cm, mm, um, mil, in or a number of metres");
}

Roughness roughness(const std::string& option, const std::string& text) {
  Roughness r;
  const std::vector<std::string> p = split(text, ':');
  if (p[0] == "none" && p.size() == 1) return r;
  if (p[0] == "hj" && p.size() == 2) {
    r.kind = Roughness::hammerstad;
    r.rms = lines::option_positive(option, p[1]);
    return r;
  }
  if (p[0] == "huray" && p.size() == 3) {
    r.kind = Roughness::huray;
    r.radius = lines::option_positive(option, p[1]);
    r.ratio = lines::option_positive(option, p[2]);
    return r;
  }
  bad(option + ": '" + text + "' is not none, hj:RMS or huray:RADIUS:RATIO (lengths in metres)");
}

}  // namespace

double LossOptions::sigma_of(int k) const {
  const auto it = sigma.find(k);
  return it != sigma.end() ? it->second : sigma_all;
}

Roughness LossOptions::roughness_of(int k) const {
  const auto it = roughness.find(k);
  return it != roughness.end() ? it->second : roughness_all;
}

bool parse_loss_option(LossOptions& o, const std::string& name,
                       const std::function<std::string()>& next) {
  if (name == "--frequencies") {
    o.frequencies = frequencies(next());
  } else if (name == "--unit") {
    o.unit_name = next();
    o.unit = unit(o.unit_name);
  } else if (name == "--sigma") {
    const auto [k, value] = keyed(name, next());
    const double s = lines::option_positive(name, value);
    if (k < 0) {
      o.sigma_all = s;
      o.sigma_all_given = true;
    } else {
      o.sigma[k] = s;
    }
  } else if (name == "--roughness") {
    const auto [k, value] = keyed(name, next());
    if (k < 0)
      o.roughness_all = roughness(name, value);
    else
      o.roughness[k] = roughness(name, value);
  } else if (name == "--debye") {
    const std::string text = next();
    const auto [k, value] = keyed(name, text);
    if (k < 1 || k > ndiel)
      bad(name + ": '" + text + "' is not MEDIUM=HZ with a medium 1.." + std::to_string(ndiel));
    o.debye[k].reference = lines::option_positive(name, value);
  } else if (name == "--z-ref") {
    o.z_ref = lines::option_positive(name, next());
  } else if (name == "--ground-thickness") {
    o.ground_thickness = lines::option_positive(name, next());
  } else if (name == "--csv") {
    o.csv = next();
  } else if (name == "--touchstone") {
    o.touchstone = next();
  } else {
    return false;
  }
  return true;
}

void check_loss_options(const LossOptions& o) {
  const bool companion = o.unit != 0 || !o.sigma.empty() || o.sigma_all_given ||
                         !o.roughness.empty() || o.roughness_all.kind != Roughness::smooth ||
                         !o.debye.empty() || o.z_ref != default_z_ref || o.ground_thickness != 0 ||
                         !o.csv.empty() || !o.touchstone.empty();
  if (!o.sweep() && companion)
    bad("--unit, --sigma, --roughness, --debye, --z-ref, --ground-thickness, --csv and "
        "--touchstone belong to a sweep: give --frequencies");
  if (o.sweep() && o.unit == 0)
    bad("--frequencies needs --unit (the length unit of the problem's coordinates: m, cm, mm, "
        "um, mil, in or metres): the conductor loss depends on the size of the cross-section");
}

std::string loss_usage() {
  return R"(
Lossy line over frequency (conductor and dielectric loss, S-parameters):
  --frequencies LIST    F1,F2,... or START:STOP:COUNT (linear) or START:STOP:COUNT:log
                        (Hz): the table of R, L, G, C, Zc, attenuation and phase velocity
                        per frequency, written also to PROBLEM.csv; with --length the
                        S-parameters of the line to PROBLEM.sNp (N = 2 conductors)
  --unit U              length unit of the problem's coordinates: m, cm, mm, um, mil,
                        in, or a number of metres (needed with --frequencies)
  --sigma [K=]S         conductivity (S/m) of conductor K, 0 = the ground (elements with
                        isign 0 and the grounded planes of igg 1, 4, 5); without K every
                        conductor. Default copper, 5.8e7
  --roughness [K=]R     surface roughness of conductor K (0 = ground) or of all: none,
                        hj:RMS (Hammerstad-Jensen, rms height in m) or
                        huray:RADIUS:RATIO (nodule radius in m, nodule surface per flat
                        area)
  --debye K=HZ          medium K follows the wideband Debye (Djordjevic-Sarkar) model
                        whose permittivity deps(K) and loss tangent (--tan-delta) are
                        those at HZ
  --ground-thickness M  thickness (m) of the ground's metal that the problem leaves
                        unbounded (grounded planes, shields given by their inner face);
                        default infinitely thick
  --z-ref OHM           reference impedance of the S-parameters (default 50)
  --csv FILE            write the table to FILE instead of PROBLEM.csv
  --touchstone FILE     write the S-parameters to FILE instead of PROBLEM.sNp
)";
}

}  // namespace ostrel::losses
