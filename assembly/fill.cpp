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

void fill_row(const System& s, int i, int k, std::span<double> row, std::span<double> buf) {
  const Problem& pb = s.pb;
  const Element& ei = pb.el(i);
  const int g = s.off[i] + k;
  const double t = s.tcol[g - 1], x = s.xcol[g - 1], y = s.ycol[g - 1];
  auto at = [&](int c) -> double& { return row[c - 1]; };

  if (ei.itype == 1) {
    // Potential equation: single-layer potential of every element at the point, written in
    // place (element j's entries are row[off(j)..]).
    for (int j = 1; j <= pb.n(); ++j) {
      const int nj = pb.el(j).ni;
      const std::span<double> out = row.subspan(s.off[j], nj);
      s.quad.element_integrals(j, j == i ? code_self : code_potential, t, x, y, 0, 0, out);
      if (j == i)
        for (int l = 1; l <= nj; ++l)
          out[l - 1] += ilogl(pb, j, l, s.grid(j), t);
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
  const int ni = s.pb.el(i).ni, nd = s.nd;
  const int first = in_core ? s.off[i] : 0;  // row of ama before the element's first row
  const int panels = (ni + panel_rows - 1) / panel_rows;
  const std::size_t rows_size = std::size_t(panel_rows) * nd;
  std::size_t scratch = 0;  // fill_row's buffer: the largest element's integrals
  for (int j = 1; j <= s.pb.n(); ++j)
    scratch = std::max(scratch, std::size_t(s.pb.el(j).ni));
#pragma omp parallel for schedule(static)
  for (int pn = 0; pn < panels; ++pn) {
    std::vector<double>& b = bufs[omp_get_thread_num()];
    if (b.size() < rows_size + scratch) b.resize(rows_size + scratch);
    const std::span<double> panel(b.data(), rows_size), buf(b.data() + rows_size, scratch);
    const int k0 = pn * panel_rows + 1, rows = std::min(panel_rows, ni - k0 + 1);
    for (int r = 0; r < rows; ++r)
      fill_row(s, i, k0 + r, panel.subspan(std::size_t(r) * nd, nd), buf);
    // Row-major panel to column-major ama: rows consecutive per column.
    double* dst = ama.data() + (first + k0 - 1);
    for (int c = 0; c < nd; ++c)
      for (int r = 0; r < rows; ++r)
        dst[std::size_t(c) * ld + r] = panel[std::size_t(r) * nd + c];
  }
}

}  // namespace ostrel
