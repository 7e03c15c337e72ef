#include "kernels/green.hpp"

#include "base/halt.hpp"

namespace ostrel {

void check_green(const Problem& pb) {
  if (pb.igg >= 0 && pb.igg <= igg_max) return;
  Halt h;
  h.stop_text = green_stop_text;
  halt(std::move(h));
}

double g(const Problem& pb, double x, double y, double x0, double y0) {
  check_green(pb);
  return GreenKernel(pb)(x, y, x0, y0);
}

double dgdn(const Problem& pb, double x, double y, double x0, double y0, double nx, double ny) {
  check_green(pb);
  return GreenKernel(pb).dn(x, y, x0, y0, nx, ny);
}

}  // namespace ostrel
