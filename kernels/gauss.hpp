// The one quadrature rule of the element integrals.
#pragma once

#include <array>

namespace ostrel {

/// Gauss-Legendre rule on [-1, 1]: nodes ascending, weights paired with them.
struct GaussRule {
  static constexpr int max_points = 6;
  int count;
  std::array<double, max_points> node;
  std::array<double, max_points> weight;
};

/// The 6-point Gauss-Legendre rule, every node and weight rounded to single precision and
/// widened to double (the element integrals are defined with exactly these values).
inline constexpr GaussRule gauss{
    6,
    {-0.9324694871902466, -0.6612094044685364, -0.23861919343471527, 0.23861919343471527,
     0.6612094044685364, 0.9324694871902466},
    {0.1713244915008545, 0.3607615828514099, 0.4679139256477356, 0.4679139256477356,
     0.3607615828514099, 0.1713244915008545},
};

}  // namespace ostrel
