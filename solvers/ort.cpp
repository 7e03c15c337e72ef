#include "solvers/ort.hpp"

#include <cmath>

namespace ostrel {

bool ort(const Problem& pb, int e, double x, double y, double nx, double ny) {
  const double tau = pb.c().tiny;
  const auto& g = pb.el(e).geom;
  const double x1 = g[0], y1 = g[1], x2 = g[2], y2 = g[3];
  if (std::fabs((x1 - x2) * nx + (y1 - y2) * ny) > tau) return false;
  const bool level1 = std::fabs(y1 - y) <= tau, level2 = std::fabs(y2 - y) <= tau;
  if (level1 && level2) return true;
  if (level1 || level2) return false;
  return std::fabs((x - x1) / (y - y1) - (x - x2) / (y - y2)) <= tau;
}

}  // namespace ostrel
