// Closed-form references of the tests, from the literature.
#pragma once

#include <cmath>
#include <numbers>

namespace ostrel::testing {

/// A zero-thickness microstrip of width/height u on eps_r er by Hammerstad and Jensen (1980):
/// the impedance of the air line (ohm, with the impedance of free space eta0) and the effective
/// permittivity; stated within 0.03 % and 0.2 % for u in 0.01..100 and er up to 128.
struct Microstrip {
  double z_air, eps_eff;
};
inline Microstrip hammerstad_jensen(double u, double er, double eta0) {
  constexpr double pi = std::numbers::pi;
  const double fu = 6 + (2 * pi - 6) * std::exp(-std::pow(30.666 / u, 0.7528));
  const double z_air = eta0 / (2 * pi) * std::log(fu / u + std::sqrt(1 + 4 / (u * u)));
  const double ea =
      1 + std::log((std::pow(u, 4) + std::pow(u / 52, 2)) / (std::pow(u, 4) + 0.432)) / 49 +
      std::log(1 + std::pow(u / 18.1, 3)) / 18.7;
  const double eb = 0.564 * std::pow((er - 0.9) / (er + 3), 0.053);
  return {z_air, (er + 1) / 2 + (er - 1) / 2 * std::pow(1 + 10 / u, -ea * eb)};
}

}  // namespace ostrel::testing
