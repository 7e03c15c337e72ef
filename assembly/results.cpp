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

constexpr int prf_width = 10;   // e0 field of one value
constexpr int prf_digits = 4;   // fraction digits of e0
constexpr int units_codes = 7;  // iunits 0..6

// One units code: the console labels for iprobl 0 and 1 (null: the combination stops the run)
// and the unit text of the file heading.
struct Units {
  const char* label_capacitance;
  const char* label_inductance;
  const char* text;
};

constexpr Units units_table[units_codes] = {
    {"Capacitance (Conductivity) [no units]:", "Inductivity (resistance) [no units]:",
     "[no units]; "},
    {"Capacitance (Conductivity) [pF/m]:", nullptr, "[pF/m]; "},
    {"Capacitance (Conductivity) [F/m]:", nullptr, "[F/m]; "},
    {"Capacitance (Conductivity) [1/om]:", nullptr, "[1/om]; "},
    {nullptr, "Inductivity (resistance) [mH/m]:", "[mH/m]; "},
    {nullptr, "Inductivity (resistance) [om]:", "[om]; "},
    {nullptr, "Inductivity (resistance) [pH]:", "[pH]; "},
};

constexpr const char* no_such_units = "No such units";
constexpr const char* singular_message =
    " Results are not valid: the non-dimensional capacitance matrix is singular, its inverse "
    "is meaningless";
constexpr const char* non_finite_message =
    " Results are not valid: the reported matrix holds values that are not finite numbers "
    "(singular or ill-conditioned system)";

[[noreturn]] void stop_units() {
  Halt h;
  h.console.push_back(no_such_units);
  halt(std::move(h));
}

[[noreturn]] void stop_invalid(const char* text) {
  Halt h;
  h.console.push_back(text);
  h.log.push_back(text);
  halt(std::move(h));
}

// The rows of prf without the closing empty line.
void rows(std::ostream& os, std::span<const double> a, int m) {
  std::string line;
  for (int p = 0; p < m; ++p) {
    line.clear();
    for (int q = 0; q < m; ++q) {
      if (q > 0 && q % prf_values_per_line == 0) {
        os << line << '\n';
        line.clear();
      }
      line += e0(a[p + static_cast<std::size_t>(q) * m], prf_width, prf_digits);
      line += ' ';
    }
    os << line << '\n';
  }
}

// The reported matrix is geinv: code 0 with iprobl 1, codes 4..6.
bool reports_inverse(const Problem& pb) {
  return pb.iunits == 0 ? pb.iprobl != 0 : pb.iunits >= 4;
}

void scale(std::span<double> a, double factor) {
  for (double& v : a)
    v *= factor;
}

}  // namespace

void prf(std::ostream& os, std::span<const double> a, int m) {
  rows(os, a, m);
  os << '\n';
}

void outputer(const Problem& pb, std::span<const double> x, std::span<const double> y, int m,
              std::ostream& os) {
  assert(pb.iunits >= 0 && pb.iunits < units_codes);
  os << "\n\n\n";
  if (pb.iprobl == 0) os << "Capacitance (conductance) ";
  if (pb.iprobl == 1) os << "Inductance (resistance) ";
  os << units_table[pb.iunits].text << "\n\n";
  prf(os, reports_inverse(pb) ? y : x, m);
}

void results(const Problem& pb, int m, Work& w, Streams& io) {
  assert(m >= 0);
  const std::size_t mm = static_cast<std::size_t>(m) * m;
  assert(w.ge.size() >= mm && w.geinv.size() >= mm && w.gework.size() >= mm);
  const std::span<double> ge = w.ge.first(mm), geinv = w.geinv.first(mm);
  const int low_pivots = invert(ge, geinv, w.gework, w.rhs, w.ipvt, m);

  io.log << "\nNon-dimensional direct matrix:\n\n";
  prf(io.log, ge, m);
  io.log << "\nNon-dimensional inverted matrix:\n\n";
  prf(io.log, geinv, m);

  if (pb.iunits < 0 || pb.iunits >= units_codes) stop_units();
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
      scale(geinv, pb.c().permeability);
      break;
    default:
      break;
  }

  const Units& u = units_table[pb.iunits];
  const char* label = pb.iprobl == 0   ? u.label_capacitance
                      : pb.iprobl == 1 ? u.label_inductance
                                       : nullptr;
  if (!label) stop_units();
  io.console << label << "\n\n";
  const std::span<const double> reported = reports_inverse(pb) ? geinv : ge;
  rows(io.console, reported, m);

  outputer(pb, ge, geinv, m, io.log);
  outputer(pb, ge, geinv, m, io.result);

  // What was written stays; a result that cannot be trusted must not end as a success.
  if (reports_inverse(pb) && low_pivots > 0) stop_invalid(singular_message);
  for (double v : reported)
    if (!std::isfinite(v)) stop_invalid(non_finite_message);
}

}  // namespace ostrel
