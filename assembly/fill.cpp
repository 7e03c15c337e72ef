#include "assembly/fill.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "kernels/integrals.hpp"
#include "solvers/ort.hpp"

namespace ostrel {

System::System(const Problem& pb_, const ElementQuadrature& quad_, std::span<const double> t,
               std::span<const double> x, std::span<const double> y, int nd_)
    : pb(pb_), quad(quad_), tcol(t), xcol(x), ycol(y), off(pb_.n() + 2), nd(nd_) {
  for (int i = 1; i <= pb.n(); ++i)
    off[i + 1] = off[i] + pb.el(i).ni;
}

bool vanishes(const Problem& pb, int j, double x, double y, Point n) {
  return pb.igg == 0 && pb.el(j).iform == 0 && ort(pb, j, x, y, n.x, n.y);
}

void fill_row(const System& s, int i, int k, std::span<double> ama, int ld, int r,
              std::span<double> buf) {
  const Problem& pb = s.pb;
  const Element& ei = pb.el(i);
  const int g = s.off[i] + k;
  const double t = s.tcol[g - 1], x = s.xcol[g - 1], y = s.ycol[g - 1];
  auto at = [&](int c) -> double& { return ama[std::size_t(c - 1) * ld + (r - 1)]; };

  if (ei.itype == 1) {
    // Potential equation: single-layer potential of every element at the point.
    for (int j = 1; j <= pb.n(); ++j) {
      const int nj = pb.el(j).ni;
      s.quad.element_integrals(j, j == i ? code_self : code_potential, t, x, y, 0, 0, buf);
      for (int l = 1; l <= nj; ++l) {
        double v = buf[l - 1];
        if (j == i) v += ilogl(pb, j, l, s.grid(j), t);
        at(s.off[j] + l) = v;
      }
    }
  } else {
    // Flux equation: zero normal field (type 2) or continuity of the normal flux (type 3).
    const Point n = nelem(pb, i, t);
    const double dcoef = ei.itype == 2 ? 1.0 : ei.aplus - ei.amns;
    const double jump = ei.itype == 2 ? 1.0 : ei.amns + ei.aplus;
    const bool same_material = std::fabs(dcoef) <= pb.c().tiny;
    for (int j = 1; j <= pb.n(); ++j) {
      const int nj = pb.el(j).ni;
      if (same_material || vanishes(pb, j, x, y, n))
        std::fill_n(buf.begin(), nj, 0.0);
      else
        s.quad.element_integrals(j, code_flux, t, x, y, n.x, n.y, buf);
      for (int l = 1; l <= nj; ++l)
        at(s.off[j] + l) = dcoef * buf[l - 1];
      if (j == i) at(g) -= jump * pb.c().pi / dlength(pb, i, t);
    }
  }
  if (pb.idmn != 0) at(s.nd) = ei.itype == 1 ? 1.0 : 0.0;
}

void fill_charge_row(const System& s, std::span<double> row, std::size_t stride,
                     std::span<double> buf) {
  for (int j = 1; j <= s.pb.n(); ++j) {
    s.quad.element_integrals(j, code_unit, 0, 0, 0, 0, 0, buf);
    for (int l = 1; l <= s.pb.el(j).ni; ++l)
      row[(s.off[j] + l - 1) * stride] = buf[l - 1];
  }
  row[(s.nd - 1) * stride] = 0.0;
}

void fill_element(const System& s, int i, std::span<double> ama, int ld, bool in_core,
                  std::vector<std::vector<double>>& bufs) {
  const int ni = s.pb.el(i).ni;
#pragma omp parallel for schedule(static)
  for (int k = 1; k <= ni; ++k)
    fill_row(s, i, k, ama, ld, in_core ? s.off[i] + k : k, bufs[omp_get_thread_num()]);
}

}  // namespace ostrel
