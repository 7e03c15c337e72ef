#include "kernels/integrals.hpp"

#include <cassert>
#include <cmath>

#include "base/halt.hpp"
#include "geometry/element.hpp"
#include "kernels/gauss.hpp"
#include "kernels/green.hpp"

namespace ostrel {

namespace {

[[noreturn]] void bad_code() {
  Halt h;
  h.console.push_back(bad_code_text);
  halt(std::move(h));
}

void check_code(int code) {
  if (code < code_self || code > code_unit) bad_code();
}

// K(t) of the kernel code at parameter t of element i.
double kernel_at(const Problem& pb, int i, int code, double t, double t0, double x0, double y0,
                 double nx, double ny) {
  if (code == code_unit) return 1;
  const Point p = elem(pb, i, t);
  switch (code) {
    case code_self:
      return g(pb, p.x, p.y, x0, y0) + std::log(std::fabs(t - t0));
    case code_potential:
      return g(pb, p.x, p.y, x0, y0);
    default:  // code_flux
      return dgdn(pb, p.x, p.y, x0, y0, nx, ny);
  }
}

}  // namespace

std::array<BasisPiece, 2> basis_pieces(const Problem& pb, int i, int k, std::span<const double> T) {
  using S = BasisPiece::Shape;
  const int n = pb.el(i).ni;
  const bool closed = pb.el(i).iform == 3;
  assert(n >= 2 && k >= 1 && k <= n && static_cast<int>(T.size()) >= n);
  const auto t = [&](int j) { return T[j - 1]; };  // 1-based node parameter
  if (k == 1) {
    const BasisPiece first =
        closed ? BasisPiece{S::rising, -1, t(1), false} : BasisPiece{S::constant, -1, t(1), false};
    return {first, BasisPiece{S::falling, t(1), t(2), false}};
  }
  if (k < n)
    return {BasisPiece{S::rising, t(k - 1), t(k), false},
            BasisPiece{S::falling, t(k), t(k + 1), false}};
  if (!closed)
    return {BasisPiece{S::rising, t(n - 1), t(n), false}, BasisPiece{S::constant, t(n), 1, false}};
  return {BasisPiece{S::rising, t(n - 1) - seam_shift, -1, true},
          BasisPiece{S::falling, -1, t(1), true}};
}

double f_1(double u, double tiny) {
  if (std::fabs(u) <= tiny) return 0;
  return u * (std::log(std::fabs(u)) - 1);
}

double f_0(double a, double b, double t0, double tiny) {
  return f_1(a - t0, tiny) - f_1(b - t0, tiny);
}

double f1l(double u, double v, double tiny) {
  if (std::fabs(u) <= tiny) return 0;
  const double lu = std::log(std::fabs(u));
  return 0.5 * u * u * (lu - 0.5) - v * u * (lu - 1);
}

double f0l(double a, double b, double c, double d, double t0, double tiny) {
  return (f1l(a - t0, d - t0, tiny) - f1l(b - t0, d - t0, tiny)) / (c - d);
}

namespace {

// The Gauss rule on [a, b] of ramp(t) K(t): the sum of ramp(t) K h w in table order, with
// m = (a+b)/2, h = (b-a)/2, t = m + h xi. A ramp of 1 multiplies exactly, so wtl0 keeps its bits.
template <class Ramp>
double gauss_sum(const Problem& pb, int i, double a, double b, int code, double t0, double x0,
                 double y0, double nx, double ny, Ramp ramp) {
  check_code(code);
  const double m = (a + b) / 2;
  const double h = (b - a) / 2;
  double sum = 0;
  for (int q = 0; q < gauss.count; ++q) {
    const double t = m + h * gauss.node[q];
    const double k = kernel_at(pb, i, code, t, t0, x0, y0, nx, ny);
    sum += ramp(t) * k * h * gauss.weight[q];
  }
  return sum;
}

}  // namespace

double wtl(const Problem& pb, int i, double a, double b, double c, double d, int code, double t0,
           double x0, double y0, double nx, double ny) {
  const auto rise = [c](double t) { return t - c; };
  return gauss_sum(pb, i, a, b, code, t0, x0, y0, nx, ny, rise) / (d - c);
}

double wtl0(const Problem& pb, int i, double a, double b, int code, double t0, double x0, double y0,
            double nx, double ny) {
  const auto one = [](double) { return 1.0; };
  return gauss_sum(pb, i, a, b, code, t0, x0, y0, nx, ny, one);
}

double sigal(const Problem& pb, int i, int k, std::span<const double> T, int code, double t0,
             double x0, double y0, double nx, double ny) {
  double part[2];
  const auto pieces = basis_pieces(pb, i, k, T);
  for (int p = 0; p < 2; ++p) {
    const BasisPiece& pc = pieces[p];
    const double tp = pc.seam ? t0 - seam_shift : t0;
    switch (pc.shape) {
      case BasisPiece::Shape::constant:
        part[p] = wtl0(pb, i, pc.a, pc.b, code, tp, x0, y0, nx, ny);
        break;
      case BasisPiece::Shape::rising:
        part[p] = wtl(pb, i, pc.a, pc.b, pc.a, pc.b, code, tp, x0, y0, nx, ny);
        break;
      case BasisPiece::Shape::falling:
        part[p] = wtl(pb, i, pc.a, pc.b, pc.b, pc.a, code, tp, x0, y0, nx, ny);
        break;
    }
  }
  return part[0] + part[1];
}

double ilogl(const Problem& pb, int i, int k, std::span<const double> T, double t0) {
  const double tiny = pb.c().tiny;
  double part[2];
  const auto pieces = basis_pieces(pb, i, k, T);
  for (int p = 0; p < 2; ++p) {
    const BasisPiece& pc = pieces[p];
    const double tp = pc.seam ? t0 - seam_shift : t0;
    switch (pc.shape) {
      case BasisPiece::Shape::constant:
        part[p] = f_0(pc.a, pc.b, tp, tiny);
        break;
      case BasisPiece::Shape::rising:
        part[p] = f0l(pc.a, pc.b, pc.b, pc.a, tp, tiny);
        break;
      case BasisPiece::Shape::falling:
        part[p] = f0l(pc.a, pc.b, pc.a, pc.b, tp, tiny);
        break;
    }
  }
  return part[0] + part[1];
}

}  // namespace ostrel
