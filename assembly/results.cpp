#include "assembly/results.hpp"

#include <cassert>
#include <cmath>
#include <ostream>
#include <string>

#include "base/fields.hpp"
#include "base/halt.hpp"
#include "constants.hpp"
#include "solvers/lu.hpp"

namespace ostrel {

namespace {

constexpr int prf_width = 10;  // e0 field of one value

constexpr const char* singular_message =
    " Results are not valid: the non-dimensional capacitance matrix is singular, its inverse "
    "is meaningless";
constexpr const char* non_finite_message =
    " Results are not valid: the reported matrix holds values that are not finite numbers "
    "(singular or ill-conditioned system)";

// A units code that the table does not have for the problem: a console line in the console
// build, the stop text in the windowed build.
[[noreturn]] void stop_units(const Problem& pb) {
  Halt h;
  if (pb.c().windowed)
    h.stop_text = pb.c().text.no_such_units;
  else
    h.console.push_back(pb.c().text.no_such_units);
  halt(std::move(h));
}

[[noreturn]] void stop_invalid(const char* text) {
  Halt h;
  h.console.push_back(text);
  h.log.push_back(text);
  halt(std::move(h));
}

// The lines of the rows of prf without the closing empty line, each given to `put`.
template <class Put>
void rows(std::span<const double> a, int m, Put put) {
  std::string line;
  for (int p = 0; p < m; ++p) {
    line.clear();
    for (int q = 0; q < m; ++q) {
      if (q > 0 && q % prf_values_per_line == 0) {
        put(line);
        line.clear();
      }
      line += e0(a[p + static_cast<std::size_t>(q) * m], prf_width, prf_digits);
      line += ' ';
    }
    put(line);
  }
}

void scale(std::span<double> a, double factor) {
  for (double& v : a)
    v *= factor;
}

}  // namespace

void prf(std::ostream& os, std::span<const double> a, int m) {
  rows(a, m, [&](const std::string& line) { os << line << '\n'; });
  os << '\n';
}

void outputer(const Problem& pb, std::span<const double> x, std::span<const double> y, int m,
              std::ostream& os) {
  assert(pb.iunits >= 0 && pb.iunits < units_codes);
  os << "\n\n\n";
  if (pb.iprobl == 0) os << pb.c().text.capacitance_head;
  if (pb.iprobl == 1) os << pb.c().text.inductance_head;
  os << units_table[pb.iunits].text << "\n\n";
  prf(os, reports_inverse(pb) ? y : x, m);
}

void results(const Problem& pb, int m, Work& w, Streams& io) {
  assert(m >= 0);
  const std::size_t mm = static_cast<std::size_t>(m) * m;
  assert(w.ge.size() >= mm && w.geinv.size() >= mm && w.gework.size() >= mm);
  const std::span<double> ge = w.ge.first(mm), geinv = w.geinv.first(mm);
  const BuildConstants& build = pb.c();
  // The windowed build inverts only for the codes that report the inverse.
  int low_pivots = 0;
  if (!build.lean_results || reports_inverse(pb))
    low_pivots = invert(ge, geinv, w.gework, w.rhs, w.ipvt, m, build.tiny);

  if (!build.lean_results) {
    io.log << "\nNon-dimensional direct matrix:\n\n";
    prf(io.log, ge, m);
    io.log << "\nNon-dimensional inverted matrix:\n\n";
    prf(io.log, geinv, m);
  }

  if (pb.iunits < 0 || pb.iunits >= units_codes) stop_units(pb);
  switch (pb.iunits) {
    case 1:
      scale(ge, vacuum_permittivity_pf);
      break;
    case 2:
      scale(ge, vacuum_permittivity_pf);
      scale(ge, pico);
      break;
    case 4:
    case 6:
      scale(geinv, build.permeability);
      break;
    default:
      break;
  }

  if (!units_fit(pb)) stop_units(pb);
  const Units& u = units_table[pb.iunits];
  const bool capacitance = pb.iprobl == 0;
  const std::string unit = u.text;
  const std::string label =
      (capacitance ? build.text.capacitance_label : build.text.inductance_label) +
      unit.substr(0, unit.size() - 2) + ":";
  show(io, label);
  show(io, "");
  const std::span<const double> reported = reports_inverse(pb) ? geinv : ge;
  rows(reported, m, [&](const std::string& line) { show(io, line); });

  outputer(pb, ge, geinv, m, io.log);
  outputer(pb, ge, geinv, m, io.result);
  if (io.screen) io.screen->matrix(label, reported, m);

  // What was written stays; a result that cannot be trusted must not end as a success.
  if (reports_inverse(pb) && low_pivots > 0) stop_invalid(singular_message);
  for (double v : reported)
    if (!std::isfinite(v)) stop_invalid(non_finite_message);
}

}  // namespace ostrel
