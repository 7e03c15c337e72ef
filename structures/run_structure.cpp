#include "structures/run_structure.hpp"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>

#include "base/result_file.hpp"
#include "lines/models.hpp"
#include "lines/report.hpp"
#include "structures/catalogue.hpp"
#include "structures/request.hpp"
#include "structures/sizing.hpp"

namespace ostrel::structures {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void bad(const std::string& why) {
  throw std::invalid_argument(why);
}

std::string fig(double v, int digits = 6) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

std::string percent(double rel) {
  return fig(100 * rel, 2) + " %";
}

std::string json_number(double v) {
  return std::isfinite(v) ? lines::exact_number(v) : "null";
}

// Writes `text` as the whole of `name` (a temporary file moved into place), so that `name` is
// either as it was or complete.
void write_whole(const std::string& name, const std::string& text) {
  const std::string why = write_whole_file(name, text);
  if (!why.empty()) bad("cannot write '" + name + "': " + why);
}

std::string structure_json(const Request& r, const Values& v, const Accuracy& a, int solutions,
                           const Targeted* t) {
  const Structure& s = *r.structure;
  std::string keys;
  for (const Key& k : s.keys) {
    const auto it = v.find(k.name);
    if (it == v.end()) continue;
    keys += std::string(keys.empty() ? "" : ", ") + "\"" + k.name + "\": ";
    if (k.kind == KeyKind::choice)
      keys += it->second == 1 ? "\"yes\"" : "\"no\"";
    else if (std::isinf(it->second))
      keys += "\"inf\"";
    else
      keys += json_number(it->second);
  }
  std::string out = "{\"name\": \"" + s.name + "\", \"lengths\": \"mm\", \"keys\": {" + keys +
                    "},\n    \"resolution\": {\"nodes\": " + std::to_string(a.res.nodes) +
                    ", \"extent\": " + (s.truncated ? json_number(a.res.reach) : "null") +
                    "},\n    \"accuracy\": {\"tolerance\": " + json_number(r.tolerance) +
                    ", \"refined_move\": " + json_number(a.refined) +
                    ", \"widened_move\": " + (s.truncated ? json_number(a.widened) : "null") +
                    ", \"estimate\": " + json_number(a.estimate()) +
                    "},\n    \"solutions\": " + std::to_string(solutions);
  if (t)
    out += ",\n    \"target\": {\"quantity\": \"" + r.quantity_name +
           "\", \"impedance\": " + json_number(r.target) + ", \"vary\": \"" + r.vary +
           "\", \"value\": " + json_number(t->values.at(r.vary)) +
           ", \"achieved\": " + json_number(t->achieved) +
           ", \"evaluations\": " + std::to_string(t->evaluations) + "}";
  return out + "}";
}

}  // namespace

int run_structure(const lines::Options& o, std::ostream& console) {
  if (o.help) {
    console << structure_help(requested_structure(o));
    return 0;
  }
  const Request r = make_request(o);
  const Structure& s = *r.structure;
  if (!o.write_problem.empty()) {
    if (!o.structure_file.empty() && same_file(o.write_problem, o.structure_file))
      bad("--write-problem " + o.write_problem + " is the structure file: it is not overwritten");
    for (const std::string& out : {o.json, o.rlgc, o.cpl})
      if (same_file(o.write_problem, out))
        bad("--write-problem " + o.write_problem + " is also an output of the run (" + out + ")");
  }
  console << "Transmission-line report of the structure " << s.name << " ("
          << values_text(s, r.values) << ", lengths in mm)\n";
  if (r.targeted)
    console << "Target " << r.quantity_name << " = " << fig(r.target) << " ohm by " << r.vary
            << ", tolerance " << percent(r.tolerance) << "\n";
  console << "\nSolutions:\n";

  Sizing z{s, o, console, {}, {}, 0};
  Targeted found;
  Values values = r.values;
  Accuracy accuracy;
  if (r.targeted) {
    found = find_value(z, r);
    values = found.values;
    accuracy = found.accuracy;
  } else {
    accuracy = choose_resolution(z, values, r.tolerance, s.start, true);
  }
  const Evaluation& final = evaluate(z, values, accuracy.res);

  lines::Options shown = o;
  shown.problem = o.structure_file.empty() ? s.name : o.structure_file;
  console << '\n' << lines::console_table(final.p, shown, nullptr) << '\n';
  console << "Discretisation: " << accuracy.res.nodes << " nodes an element";
  if (s.truncated) console << ", extent " << fig(accuracy.res.reach) << " x " << s.reach_unit;
  console << "\n  with the nodes doubled the figures (Z and eps_eff) moved by at most "
          << percent(accuracy.refined) << "\n";
  if (s.truncated)
    console << "  with the extent doubled they moved by at most " << percent(accuracy.widened)
            << "\n";
  console << "  estimated error " << percent(accuracy.estimate()) << " (tolerance "
          << percent(r.tolerance) << "); " << z.solutions << " solutions in all\n";
  if (r.targeted) {
    const double x = values.at(r.vary);
    console << "\nTarget: " << r.vary << " = " << fig(x) << " mm (" << lines::exact_number(x)
            << ") gives " << r.quantity_name << " = " << fig(found.achieved) << " ohm ("
            << fig(100 * (found.achieved - r.target) / r.target, 2) << " % from " << fig(r.target)
            << " ohm), found in " << found.evaluations << " impedance evaluations\n";
  }
  console << '\n';

  const Input input = read_outline(final.text);
  write_whole(o.json, lines::json_report(
                          final.p, shown, input.problem.title1, input.problem.title2, nullptr,
                          "  \"structure\": " + structure_json(r, values, accuracy, z.solutions,
                                                               r.targeted ? &found : nullptr)));
  console << "JSON file " << o.json << '\n';
  if (o.length > 0) {
    write_whole(o.rlgc, lines::rlgc_file(final.p, shown, input.problem.title1));
    console << "RLGC file (W element) " << o.rlgc << '\n';
    write_whole(o.cpl, lines::cpl_model(final.p, shown, input.problem.title1));
    console << "ngspice CPL model " << o.cpl << " (subcircuit " << lines::cpl_subcircuit << ")\n";
  }
  if (!o.write_problem.empty()) {
    write_whole(o.write_problem, final.text);
    console << "Problem file " << o.write_problem << " (runs in ostrel, opens in ostrel-gui)\n";
  }
  return 0;
}

}  // namespace ostrel::structures
