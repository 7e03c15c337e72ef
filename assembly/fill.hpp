// The fill of the boundary-element system: one equation per collocation point.
#pragma once

#include <span>
#include <vector>

#include "base/problem.hpp"
#include "geometry/element.hpp"
#include "kernels/element_quadrature.hpp"

namespace ostrel {

/// What the fill and the charge integration share: the problem, the collocation points and
/// their numbering, and the quadrature points of every element.
struct System {
  /// Numbers the points of `pb` element after element; the spans hold the collocation points.
  System(const Problem& pb, const ElementQuadrature& quad, std::span<const double> tcol,
         std::span<const double> xcol, std::span<const double> ycol, int nd);

  const Problem& pb;
  const ElementQuadrature& quad;
  std::span<const double> tcol, xcol, ycol;
  std::vector<int> off;  ///< off[i] = ni(1) + ... + ni(i-1): global index before element i
  int nd = 0;            ///< order of the system

  /// The node parameters of element i.
  std::span<const double> grid(int i) const { return tcol.subspan(off[i], pb.el(i).ni); }
};

/// True when the double-layer integral over the straight element j seen from (x, y) with the
/// normal n vanishes identically: free-space kernel and ort(). O(1).
bool vanishes(const Problem& pb, int j, double x, double y, Point n);

/// Fills the equation of collocation point k of element i into row[0..nd-1] (row[c-1] the
/// coefficient of unknown c). Conductor points (itype 1): the single-layer potential of every
/// basis function, with the closed-form logarithm on the own element. Other points: dcoef
/// times the normal derivative, with the free term -w pi/ds on the diagonal; integrals known to
/// vanish (ort, equal materials) are not computed. With idmn != 0 entry nd is 1 for potential
/// rows and 0 for flux rows. Cost: one element integral (6 (ni + 1) kernel evaluations) per
/// column element.
void fill_row(const System& s, int i, int k, std::span<double> row);

/// Fills the rows of element i, the same numbers as fill_row, into ama (column-major, leading
/// dimension ld, all nd columns): global rows off(i)+k in core, rows 1..ni(i) of a block
/// buffer otherwise. The element's rows go in tiles of up to tile_rows rows, alike in size and
/// as many as a multiple of the threads (OpenMP), the next tile to the first thread free. Per tile:
/// for one column element after the other, the tile's entries into its buffer in `bufs` (one per
/// thread, each grown to tile_rows * nimax values), and from there into ama, a run of consecutive
/// rows per column. The numbers do not depend on the number of threads.
void fill_element(const System& s, int i, std::span<double> ama, int ld, bool in_core,
                  std::vector<std::vector<double>>& bufs);

/// Most rows of one tile of fill_element. Each column's run of a tile is written at once, and
/// every column of the matrix lies on a memory page of its own, so longer runs mean fewer page
/// look-ups per entry. With the lines of the next element's columns asked for ahead of their
/// writes, 48 rows (the 95 rows of an element in one tile per thread of two) measured best on
/// an AVX-512 Xeon: the fill at 0.72 of the tight loop of its kernels on one thread, against
/// 0.68 with 16 rows and 0.70 with 24.
inline constexpr int tile_rows = 48;

/// Writes the zero-total-charge equation: row[(c-1)*stride] = the parameter integral of basis
/// function c for every point c, and 0 for the extra unknown nd.
void fill_charge_row(const System& s, std::span<double> row, std::size_t stride,
                     std::span<double> buf);

}  // namespace ostrel
