#include "assembly/fill.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

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

namespace {

// What the entries of one row need of its collocation point, found once per row.
struct RowPoint {
  int i = 0, k = 0;  // element and point of the element
  double t = 0, x = 0, y = 0;
  bool potential = false;  // conductor point (itype 1): potential equation
  Point n;                 // flux equations: the normal, coefficients and the equal-media test
  double dcoef = 0, jump = 0;
  bool same_material = false;
};

RowPoint row_point(const System& s, int i, int k) {
  const Element& ei = s.pb.el(i);
  const int g = s.off[i] + k;
  RowPoint p;
  p.i = i;
  p.k = k;
  p.t = s.tcol[g - 1];
  p.x = s.xcol[g - 1];
  p.y = s.ycol[g - 1];
  p.potential = ei.itype == 1;
  if (!p.potential) {
    // Flux equation: zero normal field (type 2) or continuity of the normal flux (type 3).
    p.n = nelem(s.pb, i, p.t);
    p.dcoef = ei.itype == 2 ? 1.0 : ei.aplus - ei.amns;
    p.jump = ei.itype == 2 ? 1.0 : ei.amns + ei.aplus;
    p.same_material = std::fabs(p.dcoef) <= s.pb.c().tiny;
  }
  return p;
}

// The row's entries of the basis functions of element j, into out[0..ni(j)-1].
void row_entries(const System& s, const RowPoint& p, int j, std::span<double> out) {
  const Problem& pb = s.pb;
  const int nj = pb.el(j).ni;
  if (p.potential) {
    // Single-layer potential of element j at the point; on its own element with the
    // logarithm in closed form.
    s.quad.element_integrals(j, j == p.i ? code_self : code_potential, p.t, p.x, p.y, 0, 0, out);
    if (j == p.i)
      for (int l = 1; l <= nj; ++l)
        out[l - 1] += ilogl(pb, j, l, s.grid(j), p.t);
    return;
  }
  if (p.same_material || vanishes(pb, j, p.x, p.y, p.n))
    std::fill_n(out.begin(), nj, 0.0);
  else
    s.quad.element_integrals(j, code_flux, p.t, p.x, p.y, p.n.x, p.n.y, out);
  for (int l = 1; l <= nj; ++l)
    out[l - 1] = p.dcoef * out[l - 1];
  if (j == p.i) out[p.k - 1] -= p.jump * pb.c().pi / dlength(pb, p.i, p.t);
}

// Bytes of a cache line of x86-64 and of most other processors.
constexpr std::uintptr_t cache_line = 64;

// Asks for the cache lines of count doubles from p ahead of their writes. A hint only: it
// faults in no page and changes no value.
inline void prefetch_for_write(const double* p, int count) {
  const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(p + count - 1);
  for (std::uintptr_t a = reinterpret_cast<std::uintptr_t>(p) & ~(cache_line - 1); a <= last;
       a += cache_line)
    __builtin_prefetch(reinterpret_cast<const void*>(a), 1, 2);  // for writing, to L2 and on
}

// The row's entry of the extra unknown nd (idmn != 0): 1 in potential rows, 0 in flux rows.
double extra_entry(const RowPoint& p) {
  return p.potential ? 1.0 : 0.0;
}

}  // namespace

void fill_row(const System& s, int i, int k, std::span<double> row) {
  const RowPoint p = row_point(s, i, k);
  for (int j = 1; j <= s.pb.n(); ++j)
    row_entries(s, p, j, row.subspan(s.off[j], s.pb.el(j).ni));
  if (s.pb.idmn != 0) row[s.nd - 1] = extra_entry(p);
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
  const Problem& pb = s.pb;
  const int ni = pb.el(i).ni;
  const int first = in_core ? s.off[i] : 0;  // row of ama before the element's first row
  int nimax = 0;
  for (int j = 1; j <= pb.n(); ++j)
    nimax = std::max(nimax, pb.el(j).ni);
  // Tiles to the first thread free, as many as a multiple of the threads and alike in size, so
  // that no thread waits for another at the element's end with a tile more to do.
  const int threads = omp_get_max_threads();
  const int tiles = (ni + threads * tile_rows - 1) / (threads * tile_rows) * threads;
  const int rows_per_tile = (ni + tiles - 1) / tiles;
#pragma omp parallel
  {
    std::vector<double>& tile = bufs[omp_get_thread_num()];
    if (tile.size() < std::size_t(tile_rows) * nimax) tile.resize(std::size_t(tile_rows) * nimax);
    RowPoint pts[tile_rows];
#pragma omp for schedule(dynamic, 1)
    for (int t = 0; t < tiles; ++t) {
      const int r0 = 1 + t * rows_per_tile;
      const int rows = std::min(rows_per_tile, ni + 1 - r0);
      if (rows <= 0) continue;
      for (int r = 0; r < rows; ++r)
        pts[r] = row_point(s, i, r0 + r);
      double* dst = ama.data() + (first + r0 - 1);  // row r0 of column 1
      for (int j = 1; j <= pb.n(); ++j) {
        // The tile's entries of element j (row-major), then into ama column by column. While
        // they are computed, the lines of the tile's rows in the next element's columns are
        // asked for, a share after each row, so that the writes find them in the cache.
        const int nj = pb.el(j).ni;
        const int next = j < pb.n() ? pb.el(j + 1).ni : 0;
        for (int r = 0; r < rows; ++r) {
          row_entries(s, pts[r], j, std::span(tile.data() + std::size_t(r) * nj, nj));
          for (int l = r * next / rows; l < (r + 1) * next / rows; ++l)
            prefetch_for_write(dst + std::size_t(s.off[j + 1] + l) * ld, rows);
        }
        for (int l = 0; l < nj; ++l) {
          double* col = dst + std::size_t(s.off[j] + l) * ld;
          for (int r = 0; r < rows; ++r)
            col[r] = tile[std::size_t(r) * nj + l];
        }
      }
      if (pb.idmn != 0)
        for (int r = 0; r < rows; ++r)
          dst[std::size_t(s.nd - 1) * ld + r] = extra_entry(pts[r]);
    }
  }
}

}  // namespace ostrel
