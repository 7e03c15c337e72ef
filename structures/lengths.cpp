#include "structures/lengths.hpp"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "lines/report.hpp"

namespace ostrel::structures {

namespace {

// Millimetres per unit; the inch is 25.4 mm exactly.
constexpr std::pair<const char*, double> units[] = {{"mm", 1.0},
                                                    {"um", 1e-3},
                                                    {"\xc2\xb5m", 1e-3},
                                                    {"cm", 10.0},
                                                    {"m", 1000.0},
                                                    {"mil", mm_per_mil},
                                                    {"thou", mm_per_mil},
                                                    {"in", 1000 * mm_per_mil},
                                                    {"inch", 1000 * mm_per_mil}};

}  // namespace

double parse_length(const std::string& text, const std::string& what, bool unbounded) {
  if (unbounded && text == "inf") return INFINITY;
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || !std::isfinite(v))
    throw std::invalid_argument(what + ": '" + text + "' is not a length (as 0.3mm, 12mil, 300um)");
  const std::string unit(ptr, end);
  if (unit.empty()) return v;
  for (const auto& [name, scale] : units)
    if (unit == name) return v * scale;
  throw std::invalid_argument(what + ": unknown unit '" + unit +
                              "' (mm, um, cm, m, mil, thou, in; mm when none is given)");
}

std::string mm_text(double mm) {
  return lines::exact_number(mm) + " mm";
}

}  // namespace ostrel::structures
