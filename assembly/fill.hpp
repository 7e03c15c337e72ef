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
/// rows and 0 for flux rows. `buf` holds at least nimax values. Cost: one element integral
/// (6 (ni + 1) kernel evaluations) per column element.
void fill_row(const System& s, int i, int k, std::span<double> row, std::span<double> buf);

/// Fills the rows of element i, in parallel over its points (OpenMP): global rows off(i)+k of
/// ama (column-major, leading dimension ld, all nd columns) in core, rows 1..ni(i) of a block
/// buffer otherwise. Each thread fills panel_rows rows at a time into its buffer in `bufs`
/// (one per thread, each grown to panel_rows * nd + nimax values on first use) and then writes
/// them to ama column by column, a run of consecutive entries per column instead of one entry
/// per column and row. The numbers do not depend on the number of threads.
void fill_element(const System& s, int i, std::span<double> ama, int ld, bool in_core,
                  std::vector<std::vector<double>>& bufs);

/// Rows that fill_element fills before writing them out: the doubles of a 64-byte cache line,
/// so that a panel's entries of one column fill a whole line of the column-major matrix.
inline constexpr int panel_rows = 16;

/// Writes the zero-total-charge equation: row[(c-1)*stride] = the parameter integral of basis
/// function c for every point c, and 0 for the extra unknown nd.
void fill_charge_row(const System& s, std::span<double> row, std::size_t stride,
                     std::span<double> buf);

}  // namespace ostrel
