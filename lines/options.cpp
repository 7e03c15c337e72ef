#include "lines/options.hpp"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace ostrel::lines {

namespace {

// Largest loss tangent accepted: the loss enters to first order, which needs tan(delta) << 1.
constexpr double max_tan_delta = 1.0;
// Largest --tolerance accepted: the discretisation check compares grids whose figures move by
// far less, and a coarser answer needs no solver.
constexpr double max_tolerance = 0.1;

[[noreturn]] void bad(const std::string& what) {
  throw std::invalid_argument(what);
}

// "K=VALUE": a medium index 1..ndiel and its loss tangent.
void tan_delta(Options& o, const std::string& text) {
  const std::string option = "--tan-delta";
  const auto eq = text.find('=');
  if (eq == std::string::npos) bad(option + ": '" + text + "' is not MEDIUM=VALUE (as 2=0.02)");
  const std::string index = text.substr(0, eq);
  int k = 0;
  const char* end = index.data() + index.size();
  const auto [ptr, ec] = std::from_chars(index.data(), end, k);
  if (ec != std::errc() || ptr != end || k < 1 || k > ndiel)
    bad(option + ": the medium '" + index + "' is not an index 1.." + std::to_string(ndiel) +
        " of deps");
  const double v = option_real(option, text.substr(eq + 1));
  if (v < 0 || v > max_tan_delta) bad(option + ": '" + text + "' is outside 0..1");
  o.tan_delta[k - 1] = v;
  o.lossy = true;
}

}  // namespace

double option_real(const std::string& option, const std::string& text) {
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(v))
    bad(option + ": '" + text + "' is not a finite number");
  return v;
}

double option_positive(const std::string& option, const std::string& text) {
  const double v = option_real(option, text);
  if (!(v > 0)) bad(option + ": '" + text + "' must be positive");
  return v;
}

std::string usage() {
  return R"(Usage: ostrel-lines PROBLEM [options]

Transmission-line report of a capacitance problem (iprobl 0): solves it as given (C) and with
every permittivity deps(1..5) replaced by 1 (C0), in memory, and derives L = mu0 eps0 C0^-1, the
impedances, effective permittivities, modes and delays. Writes the table to the console and
every figure to PROBLEM.json; writes no ostrel.log, result file or picture.

Options:
  --length METRES       also write the circuit models of a line of this length:
                        PROBLEM.rlgc (RLGC matrix file of the W-element kind) and
                        PROBLEM.cpl (ngspice coupled-line model, subcircuit ostrel_line)
  --tan-delta K=VALUE   loss tangent of medium K (the index of deps(K), 1..5); repeat it
                        for several media; needs --frequency. Gives the conductance G
  --frequency HZ        frequency at which G is stated (G grows in proportion to it)
  --check               solve again with every element's ni doubled (at most 95) and show
                        beside each figure how much it moved: an estimate of the
                        discretisation error
  --json FILE           write the JSON file to FILE instead of PROBLEM.json
  --rlgc FILE           write the RLGC file to FILE instead of PROBLEM.rlgc
  --cpl FILE            write the ngspice model to FILE instead of PROBLEM.cpl
  --help                show this text
  --version             show the version

Named cross-sections (no problem file; see README, 'Structures by name'):
  --structure NAME      build the problem of a named cross-section from KEY=VALUE
                        arguments (lengths in mm unless a unit is given: 0.3mm,
                        12mil, 300um), choose its extent and nodes for --tolerance,
                        solve and report; --structure NAME --help lists its keys
  --structure-file FILE the structure and its keys (and target, vary, tolerance),
                        one KEY=VALUE a line; arguments on the command line win
  --tolerance REL       the discretisation error to reach, relative (default 0.001)
  --target Q=OHMS       find the value of the --vary key that gives Z0, Zdiff, Zodd,
                        Zeven or Zcm = OHMS (within the tolerance)
  --vary KEY            the length key that --target changes
  --write-problem FILE  save the generated problem file (it runs in ostrel and
                        opens in ostrel-gui)
)" + losses::loss_usage() +
         R"(
Exit status: 0 done; 1 a bad command line, a problem file that cannot be opened, or a problem
that cannot be solved or makes no line; 2 a problem file that cannot be read (a malformed value)
or an output file that cannot be written.
)";
}

std::string version() {
#ifndef OSTREL_VERSION
#define OSTREL_VERSION "unknown"
#endif
  return std::string("ostrel-lines ") + OSTREL_VERSION + "\n";
}

Options parse_options(const std::vector<std::string>& args) {
  Options o;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i], value;
    bool has_value = false;
    if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
      // --option=value
      value = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      has_value = true;
    }
    const auto next = [&]() -> std::string {
      if (has_value) return value;
      if (i + 1 >= args.size()) bad(a + " needs a value");
      return args[++i];
    };
    const auto flag = [&] {
      if (has_value) bad(a + " takes no value");
    };
    if (a == "--help" || a == "-h") {
      flag();
      o.help = true;
    } else if (a == "--version") {
      flag();
      o.version = true;
    } else if (a == "--check") {
      flag();
      o.check = true;
    } else if (a == "--length") {
      o.length = option_positive(a, next());
    } else if (a == "--frequency") {
      o.frequency = option_positive(a, next());
    } else if (a == "--tan-delta") {
      tan_delta(o, next());
    } else if (a == "--json") {
      o.json = next();
    } else if (a == "--rlgc") {
      o.rlgc = next();
    } else if (a == "--cpl") {
      o.cpl = next();
    } else if (losses::parse_loss_option(o.loss, a, next)) {
      // a sweep's option
    } else if (a == "--structure") {
      o.structure = next();
    } else if (a == "--structure-file") {
      o.structure_file = next();
    } else if (a == "--write-problem") {
      o.write_problem = next();
    } else if (a == "--target") {
      o.target = next();
    } else if (a == "--vary") {
      o.vary = next();
    } else if (a == "--tolerance") {
      o.tolerance = option_positive(a, next());
      if (o.tolerance >= max_tolerance) bad(a + ": the tolerance must be below 0.1 (10 %)");
    } else if (a.size() > 1 && a[0] == '-') {
      bad("unknown option '" + a + "' (see --help)");
    } else {
      files.push_back(a);
    }
  }
  if (o.structured()) {
    for (const std::string& f : files) {
      if (f.find('=') == std::string::npos)
        bad("a structure takes KEY=VALUE arguments, not the file '" + f + "'");
      o.assignments.push_back(f);
    }
    files.clear();
  } else if (!o.write_problem.empty() || !o.target.empty() || !o.vary.empty() || o.tolerance != 0) {
    bad("--write-problem, --target, --vary and --tolerance need --structure or --structure-file");
  }
  if (o.help || o.version) return o;
  if (o.target.empty() != o.vary.empty()) bad("--target and --vary go together");
  if (!o.structured() && files.size() != 1)
    bad(files.empty() ? "no problem file given (see --help)"
                      : "one problem file only, not '" + files[1] + "'");
  if (!o.structured()) o.problem = files[0];
  if (o.lossy && o.frequency == 0 && !o.loss.sweep())
    bad("--tan-delta needs --frequency or --frequencies");
  losses::check_loss_options(o.loss);
  if (o.structured() && o.loss.sweep())
    bad("--frequencies runs on a problem file: save the structure's with --write-problem and give "
        "that file");
  if (o.length == 0 && (!o.rlgc.empty() || !o.cpl.empty()))
    bad("--rlgc and --cpl need --length (the models are written for a line length)");
  const std::string stem = !o.problem.empty()          ? o.problem
                           : !o.structure_file.empty() ? o.structure_file
                                                       : o.structure;
  if (o.json.empty()) o.json = stem + ".json";
  if (o.rlgc.empty()) o.rlgc = stem + ".rlgc";
  if (o.cpl.empty()) o.cpl = stem + ".cpl";
  return o;
}

}  // namespace ostrel::lines
