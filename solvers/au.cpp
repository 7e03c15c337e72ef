#include "solvers/au.hpp"

#include <cblas.h>

#include <algorithm>
#include <array>
#include <cassert>

#include "elements.hpp"
#include "geometry/element.hpp"
#include "solvers/ort.hpp"

namespace ostrel {

void au(const Problem& pb, std::span<const double> r, int ld, std::span<const double> z,
        std::span<double> out, std::span<const double> t, std::span<const double> x,
        std::span<const double> y, int k) {
  const int ne = pb.n();
  const Element& ek = pb.el(k);
  const int nk = ek.ni;
  assert(nk >= 1 && nk <= nimax_def && ne <= n0 && ld >= nk);
  assert(out.size() >= std::size_t(nk) && t.size() >= std::size_t(nk));
  const auto col = [&](int c) { return r.data() + std::size_t(c) * ld; };

  // The normal of every row, and for every element the number of rows that skip it.
  std::array<Point, nimax_def> normal;
  for (int j = 0; j < nk; ++j)
    normal[j] = nelem(pb, k, t[j]);
  const auto skips = [&](int e, int j) {
    return pb.el(e).iform == 0 && ort(pb, e, x[j], y[j], normal[j].x, normal[j].y);
  };
  std::array<int, n0 + 1> skipping{};
  for (int e = 1; e <= ne; ++e)
    for (int j = 0; j < nk && pb.el(e).iform == 0; ++j)
      skipping[e] += skips(e, j);

  // Runs of elements that every row takes: one matrix-vector product each.
  std::fill_n(out.begin(), nk, 0.0);
  int first = -1;  // first column of the current run
  int o = 0;       // first column of element e
  int rk = 0;      // first column of element k
  for (int e = 1; e <= ne + 1; ++e) {
    const bool whole = e <= ne && skipping[e] == 0;
    if (whole && first < 0) first = o;
    if (!whole && first >= 0) {
      cblas_dgemv(CblasColMajor, CblasNoTrans, nk, o - first, 1.0, col(first), ld, &z[first], 1,
                  1.0, out.data(), 1);
      first = -1;
    }
    if (e == k) rk = o;
    if (e <= ne) o += pb.el(e).ni;
  }

  // Elements that some rows skip and others take: row by row.
  o = 0;
  for (int e = 1; e <= ne; ++e) {
    const int n = pb.el(e).ni;
    if (skipping[e] > 0 && skipping[e] < nk)
      for (int j = 0; j < nk; ++j)
        if (!skips(e, j)) out[j] += cblas_ddot(n, col(o) + j, ld, &z[o], 1);
    o += n;
  }

  // The free term of the rows that skip their own element.
  if (skipping[k] > 0) {
    const double kappa = ek.itype == 3 ? pb.c().pi * (ek.amns + ek.aplus) : pb.c().pi;
    for (int j = 0; j < nk; ++j)
      if (skips(k, j)) out[j] -= kappa / dlength(pb, k, t[j]) * z[rk + j];
  }
}

}  // namespace ostrel
