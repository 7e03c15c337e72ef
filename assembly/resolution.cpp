#include "assembly/resolution.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

#include <Eigen/Dense>

#include "base/fields.hpp"

namespace ostrel {

namespace {

// Width of the e0 field of a printed value (any width that holds it gives the same digits).
constexpr int field_width = 12;

}  // namespace

Unresolved unresolved_entries(std::span<const double> ge, std::span<const double> reported,
                              bool inverse, std::span<const double> levels, int m, int digits) {
  const std::size_t mm = std::size_t(m) * m;
  assert(m >= 0 && ge.size() >= mm && reported.size() >= mm && levels.size() >= mm);
  using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic>;
  const Eigen::Map<const Matrix> g(ge.data(), m, m), r(reported.data(), m, m),
      level(levels.data(), m, m);
  // Error bound of ge, then of what was reported: reported = s ge^-1 gives
  // d(reported) = -(1/s) reported d(ge) reported, s from reported * ge.
  const Eigen::VectorXd root = g.diagonal().cwiseAbs().cwiseSqrt();
  const Matrix dg = residual_error_factor * level.cwiseProduct(root * root.transpose());
  const Matrix err =
      inverse ? Matrix(r.cwiseAbs() * dg * r.cwiseAbs() / std::fabs(r.row(0).dot(g.col(0)))) : dg;
  Unresolved u;
  u.level = m > 0 ? residual_error_factor * level.maxCoeff() : 0;
  for (std::size_t k = 0; k < mm; ++k) {
    const double v = reported[k], e = err(Eigen::Index(k));
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
