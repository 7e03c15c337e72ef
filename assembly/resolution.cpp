#include "assembly/resolution.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

#include "base/fields.hpp"

namespace ostrel {

namespace {

// Width of the e0 field of a printed value (any width that holds it gives the same digits).
constexpr int field_width = 12;

}  // namespace

Unresolved unresolved_entries(std::span<const double> ge, std::span<const double> reported,
                              bool inverse, std::span<const double> levels, int m_, int digits) {
  const std::size_t m = m_;
  assert(ge.size() >= m * m && reported.size() >= m * m && levels.size() >= m * m);
  const auto at = [m](std::span<const double> a, std::size_t i, std::size_t j) {
    return a[i + j * m];
  };
  // Error bound of ge, then of what was reported.
  std::vector<double> dg(m * m), err(m * m);
  for (std::size_t j = 0; j < m; ++j)
    for (std::size_t i = 0; i < m; ++i)
      dg[i + j * m] = residual_error_factor * levels[i + j * m] *
                      std::sqrt(std::fabs(at(ge, i, i) * at(ge, j, j)));
  if (!inverse) {
    err = dg;
  } else {
    // reported = s ge^-1, so d(reported) = -(1/s) reported d(ge) reported; s from reported * ge.
    double s = 0;
    for (std::size_t k = 0; k < m; ++k)
      s += at(reported, 0, k) * at(ge, k, 0);
    std::vector<double> t(m * m, 0.0);  // |dG| |R|
    for (std::size_t j = 0; j < m; ++j)
      for (std::size_t k = 0; k < m; ++k)
        for (std::size_t i = 0; i < m; ++i)
          t[i + j * m] += dg[i + k * m] * std::fabs(at(reported, k, j));
    for (std::size_t j = 0; j < m; ++j)
      for (std::size_t i = 0; i < m; ++i) {
        double sum = 0;
        for (std::size_t k = 0; k < m; ++k)
          sum += std::fabs(at(reported, i, k)) * t[k + j * m];
        err[i + j * m] = sum / std::fabs(s);
      }
  }
  Unresolved u;
  u.level =
      m > 0 ? residual_error_factor * *std::max_element(levels.begin(), levels.begin() + m * m) : 0;
  for (std::size_t k = 0; k < m * m; ++k) {
    const double v = reported[k], e = err[k];
    if (e0(v - e, field_width, digits) == e0(v + e, field_width, digits)) continue;
    ++u.count;
    u.largest = std::max(u.largest, std::fabs(v));
  }
  return u;
}

std::string unresolved_message(const Unresolved& u, int total) {
  return " Out of core: the iteration leaves the last printed digit of " + std::to_string(u.count) +
         " of the " + std::to_string(total) + " entries uncertain (errors up to " +
         es(u.level, 7, 1) + " of the diagonal), the largest of them " + es(u.largest, 7, 1) +
         " in magnitude; solve in core for every digit.";
}

}  // namespace ostrel
