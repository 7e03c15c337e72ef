#include "lines/solutions.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <new>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "base/halt.hpp"
#include "base/streams.hpp"
#include "constants.hpp"
#include "solvers/storage.hpp"

namespace ostrel::lines {

namespace {

[[noreturn]] void reject(const std::string& why) {
  throw std::runtime_error("not a line problem: " + why);
}

bool has_grounded_conductor(const Problem& pb) {
  return std::any_of(pb.elements.begin(), pb.elements.end(),
                     [](const Element& e) { return e.itype == 1 && e.isign == 0; });
}

// Takes the material values of every element again from deps.
void retake_materials(Problem& pb) {
  for (Element& e : pb.elements) {
    e.amns = pb.material(e.iamns);
    e.aplus = pb.material(e.iaplus);
  }
}

}  // namespace

Input scaled_media(const Input& in, const std::vector<int>& media, double factor) {
  Input out = in;
  for (int k : media)
    out.problem.deps_[k + 1] *= factor;
  retake_materials(out.problem);
  return out;
}

std::string halt_text(const Halt& h) {
  std::vector<std::string> lines;
  for (const auto* group : {&h.console, &h.log, &h.error})
    for (const std::string& line : *group) {
      const auto first = line.find_first_not_of(' ');
      if (first == std::string::npos) continue;
      const std::string text = line.substr(first);
      if (std::find(lines.begin(), lines.end(), text) == lines.end()) lines.push_back(text);
    }
  if (!h.stop_text.empty() && h.stop_text != console_build.text.input_stop)
    lines.push_back(h.stop_text);
  std::string out;
  for (const auto& line : lines)
    out += (out.empty() ? "" : "\n  ") + line;
  return out.empty() ? "(no message)" : out;
}

void check_line_problem(const Input& in) {
  const Problem& pb = in.problem;
  if (pb.iprobl != 0)
    reject("an inductance (resistance) problem, iprobl=" + std::to_string(pb.iprobl) +
           "; give the capacitance problem (iprobl 0): L comes from its vacuum solution");
  if (pb.iunits == 3)
    reject(
        "a conductance problem (iunits 3): its material values are conductivities, not"
        " permittivities");
  const bool ground_plane = pb.igg == 1 || pb.igg == 4 || pb.igg == 5;
  if (!ground_plane && !has_grounded_conductor(pb))
    reject("no return conductor: igg=" + std::to_string(pb.igg) +
           " has no grounded plane and no element is a grounded conductor (itype 1, isign 0);"
           " the potentials would refer to a distance of one length unit");
  if (ground_plane && pb.idmn != 0)
    reject("zero total charge (idmn=" + std::to_string(pb.idmn) +
           ") with the grounded plane of igg=" + std::to_string(pb.igg) +
           " leaves the conductors floating; use idmn=0");
  for (int k : used_media(pb))
    if (k >= 1 && !(pb.deps(k) > 0))
      reject("deps(" + std::to_string(k) + ")=" + std::to_string(pb.deps(k)) +
             " is not a permittivity (it must be positive)");
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& e = pb.el(i);
    if (e.itype == 3 && (e.iamns == 0 || e.iaplus == 0))
      reject("interface element " + std::to_string(i) +
             " has the side index 0 (no medium); give the index of its medium");
  }
}

Input vacuum(const Input& in) {
  Input out = in;
  for (int k = 1; k <= ndiel; ++k)
    out.problem.deps_[k + 1] = 1.0;
  retake_materials(out.problem);
  return out;
}

std::vector<int> used_media(const Problem& pb) {
  if (pb.igg == 3) return {1, 2};
  std::vector<int> media;
  for (const Element& e : pb.elements)
    for (int k : {e.iamns, e.iaplus})
      if (k != 0 && std::find(media.begin(), media.end(), k) == media.end()) media.push_back(k);
  std::sort(media.begin(), media.end());
  return media;
}

Refinement refined(const Input& in) {
  Refinement r{in, {}, false};
  Problem& pb = r.input.problem;
  Dimensions& d = r.input.dims;
  d.nd = pb.idmn != 0 ? 1 : 0;
  d.nimax = 0;
  for (int i = 1; i <= pb.n(); ++i) {
    Element& e = pb.elements[i - 1];
    const int want = 2 * e.ni, got = std::min(want, nimax_def);
    if (got == e.ni)
      r.notes.push_back("element " + std::to_string(i) +
                        " cannot be refined: ni=" + std::to_string(e.ni) + " is the capacity");
    else if (got < want)
      r.notes.push_back("element " + std::to_string(i) + " refined from ni=" +
                        std::to_string(e.ni) + " to the capacity " + std::to_string(got) + " only");
    r.any = r.any || got > e.ni;
    e.ni = got;
    d.nd += e.ni;
    d.nimax = std::max(d.nimax, e.ni);
  }
  return r;
}

void shown_solution(const std::string& label, int nd, std::ostream& console,
                    const std::function<void()>& solve) {
  console << "  " << label << ", " << nd << " unknowns ..." << std::flush;
  const auto start = std::chrono::steady_clock::now();
  try {
    solve();
  } catch (const std::bad_alloc&) {
    console << " stopped\n";
    throw std::runtime_error("the solution " + label + " needs more memory than there is (" +
                             std::to_string(nd) + " unknowns)");
  } catch (...) {
    console << " stopped\n";
    throw;
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, " %.2f s\n", took.count());
  console << seconds;
}

std::vector<double> capacitance(const Input& in, const std::string& label, std::ostream& console) {
  Input run = in;
  run.problem.iunits = 0;
  run.controls.iswitch = 0;
  std::vector<double> ge;
  shown_solution(label, run.dims.nd, console, [&] {
    std::ostringstream discard_console, discard_log, discard_result;
    Streams io{discard_console, discard_log, discard_result};
    try {
      ge = further(run.problem, run.dims, run.controls, io);
    } catch (const Halt& h) {
      throw std::runtime_error("the solution " + label + " stopped:\n  " + halt_text(h));
    }
  });
  return ge;
}

Capacitances capacitances(const Input& in, const std::array<double, ndiel>& tan_delta, bool lossy,
                          const std::string& tag, std::ostream& console) {
  Capacitances c;
  c.m = in.dims.m;
  c.ge = capacitance(in, tag + "with the dielectrics", console);
  ++c.solutions;
  const Problem& pb = in.problem;
  bool all_vacuum = true;
  for (int k = 1; k <= ndiel; ++k)
    all_vacuum = all_vacuum && pb.deps(k) == 1.0;
  if (all_vacuum) {
    c.ge0 = c.ge;  // the vacuum problem is the problem itself
  } else {
    c.ge0 = capacitance(vacuum(in), tag + "in vacuum", console);
    ++c.solutions;
  }
  if (!lossy) return c;

  // Media grouped by loss tangent (vacuum, index -1, is lossless).
  std::map<double, std::vector<int>> groups;
  for (int k : used_media(pb))
    groups[k >= 1 ? tan_delta[k - 1] : 0.0].push_back(k);
  // gloss = t_r ge + sum over the other groups g of (t_g - t_r) D_g, where D_g = eps dge/deps
  // over the media of g and the D_g of all groups add up to ge.
  auto ref = groups.begin();
  c.gloss = c.ge;
  for (double& v : c.gloss)
    v *= ref->first;
  for (auto g = std::next(ref); g != groups.end(); ++g) {
    std::string names;
    for (int k : g->second) {
      if (!names.empty()) names += ',';
      names += std::to_string(k);
    }
    const std::vector<double> up = capacitance(scaled_media(in, g->second, 1 + loss_step),
                                               tag + "with deps(" + names + ") raised", console);
    ++c.solutions;
    for (std::size_t i = 0; i < c.gloss.size(); ++i)
      c.gloss[i] += (g->first - ref->first) * (up[i] - c.ge[i]) / loss_step;
  }
  return c;
}

}  // namespace ostrel::lines
