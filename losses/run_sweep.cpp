#include "losses/run_sweep.hpp"

#include <algorithm>
#include <ostream>
#include <stdexcept>

#include "lines/models.hpp"
#include "lines/output_file.hpp"
#include "lines/report.hpp"
#include "lines/solutions.hpp"
#include "losses/sweep.hpp"
#include "losses/sweep_report.hpp"

namespace ostrel::losses {

namespace {

// The RLGC file's frequency dependence: R0 the DC resistance, Rs the smooth skin law, Gd and
// C0 at the reference frequency; notes on what the form leaves out.
lines::RlgcLoss rlgc_loss(const Sweep& s, const SweepPoint& ref) {
  lines::RlgcLoss r;
  r.r0 = to_lines(s.conductor.r_dc);
  r.rs = to_lines(s.conductor.rs_smooth);
  r.gd = to_lines(ref.g / ref.f);
  r.c = to_lines(ref.c);
  r.notes.push_back(
      "R0 is the resistance at DC, Rs sqrt(f) the skin effect of smooth, thick conductors; the");
  r.notes.push_back(
      "W element adds them where ostrel-lines takes their root sum of squares (its CSV and JSON");
  r.notes.push_back("have R(f) as computed, roughness and thin grounds included).");
  r.notes.push_back("Gd and C0 are those at " + lines::exact_number(ref.f) + " Hz.");
  return r;
}

}  // namespace

void run_sweep(const Input& input, const lines::Options& o, std::ostream& console) {
  const int m = input.dims.m;
  const auto check_conductor = [&](int k, const char* option) {
    if (k > m)
      throw std::invalid_argument(std::string(option) + " " + std::to_string(k) +
                                  "=...: the problem has the conductors 1.." + std::to_string(m) +
                                  " and the ground 0");
  };
  for (const auto& [k, v] : o.loss.sigma)
    check_conductor(k, "--sigma");
  for (const auto& [k, v] : o.loss.roughness)
    check_conductor(k, "--roughness");
  std::vector<std::string> names{o.json, o.loss.csv.empty() ? o.problem + ".csv" : o.loss.csv};
  if (o.length > 0) {
    names.push_back(touchstone_name(o, m));
    names.push_back(o.rlgc);
    names.push_back(o.cpl);
  }
  lines::check_output_names(names, o.problem);

  console << "Solutions:\n";
  const Sweep s = analyse(input, o, "", console);
  check_finite(s);
  Sweep fine;
  lines::Check check;
  bool checked = false;
  if (o.check) {
    const lines::Refinement r = lines::refined(input);
    check.notes = r.notes;
    if (!r.any) {
      console << "  no element can be refined (every ni is the capacity " << nimax_def
              << "): no check\n";
    } else {
      fine = analyse(r.input, o, "refined: ", console);
      check_finite(fine);
      check.refined = fine.base;
      checked = true;
    }
  }
  console << '\n';
  // The lossless part in the table of ostrel-lines; G belongs to the sweep.
  lines::Options lossless = o;
  lossless.lossy = false;
  console << lines::console_table(s.base, lossless, checked ? &check : nullptr) << '\n';
  console << sweep_table(s, o, checked ? &fine : nullptr) << '\n';

  const std::string& title = input.problem.title1;
  const std::string json = lines::write_output(
      o.json,
      lines::json_report(s.base, lossless, title, input.problem.title2, checked ? &check : nullptr,
                         sweep_json(s, o, checked ? &fine : nullptr)),
      o.problem, console);
  console << "JSON file " << json << '\n';
  const std::string csv = lines::write_output(names[1], sweep_csv(s, o), o.problem, console);
  console << "CSV table " << csv << '\n';
  if (o.length > 0) {
    const std::string ts =
        lines::write_output(names[2], touchstone(s, o, title), o.problem, console);
    console << "Touchstone file " << ts << " (" << 2 * m << " ports)\n";
    // The models hold one frequency: --frequency, or the highest of the sweep.
    SweepPoint at =
        *std::max_element(s.points.begin(), s.points.end(),
                          [](const SweepPoint& a, const SweepPoint& b) { return a.f < b.f; });
    if (o.frequency > 0) at = sweep_point(s, o.frequency, o.length, o.loss.z_ref);
    check_finite(at);
    const lines::RlgcLoss rl = rlgc_loss(s, at);
    const std::string rlgc =
        lines::write_output(o.rlgc, lines::rlgc_file(s.base, o, title, &rl), o.problem, console);
    console << "RLGC file (W element) " << rlgc << '\n';
    lines::LineParameters p = s.base;
    p.l = to_lines(at.l);
    p.c = to_lines(at.c);
    p.g = to_lines(at.g);
    const lines::Matrix r = to_lines(at.r);
    const std::string cpl =
        lines::write_output(o.cpl, lines::cpl_model(p, o, title, &r, at.f), o.problem, console);
    console << "ngspice CPL model " << cpl << " (subcircuit " << lines::cpl_subcircuit
            << ", R, L, G, C at " << at.f << " Hz)\n";
  }
}

}  // namespace ostrel::losses
