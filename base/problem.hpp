// The problem description: the one record of a run.
//
// Filled once by read_problem() and only read afterwards. Element numbers, dielectric indices
// and Green's-function parameters keep the 1-based numbering of the input file through the
// accessors el(i), deps(k) and gpars(k).
#pragma once

#include <array>
#include <cassert>
#include <string>
#include <vector>

#include "constants.hpp"
#include "elements.hpp"

namespace ostrel {

/// One boundary element as read and completed by the problem reading.
struct Element {
  int iform = 0;                 ///< 0 segment, 1 arc (radians), 2 arc (degrees), 3 circle
  int itype = 0;                 ///< 1 conductor, 2 zero normal field, 3 dielectric interface
  int isign = 0;                 ///< conductor number, 0 = on no numbered conductor
  int ni = 0;                    ///< number of sub-elements (collocation points)
  int ileft = 1;                 ///< grid law of the first half: 0 uniform, 1 quadratic
  int iright = 1;                ///< grid law of the second half
  std::array<double, 5> geom{};  ///< geom(i,1..5) at geom[0..4]
  int iamns = 0;                 ///< deps index of the minus side
  int iaplus = 0;                ///< deps index of the plus side
  double amns = 0;               ///< material value on the minus side
  double aplus = 0;              ///< material value on the plus side
};

struct Problem {
  std::string title1, title2;  ///< blank-padded to title_length
  int iprobl = 0;              ///< 0 capacitance (conductance), 1 inductance (resistance)
  int iunits = 0;              ///< unit selector of the reported matrix
  int ish = 0;                 ///< label switch of the windowed plots
  std::array<double, ndiel + 2> deps_{1.0, 0.0};  ///< deps(-1..5) at deps_[0..6]
  int igg = 0;                                    ///< Green's function selector
  int idmn = 0;                                   ///< zero-total-charge switch
  std::array<double, 5> gpars_{};                 ///< gpars(1..5)
  std::vector<Element> elements;                  ///< element i at elements[i-1]
  const BuildConstants* build = &console_build;   ///< constants of this build

  double deps(int k) const {
    assert(k >= -1 && k <= ndiel);
    return deps_[k + 1];
  }
  double gpars(int k) const {
    assert(k >= 1 && k <= 5);
    return gpars_[k - 1];
  }
  /// Material value of the medium with deps index `side` (-1..5) for the problem kind: the
  /// permittivity (conductivity) itself for iprobl 0; for iprobl 1 its reciprocal, the
  /// reciprocal permeability (resistivity), or 0 when the entry is not positive.
  double material(int side) const {
    const double d = deps(side);
    if (iprobl == 0) return d;
    return d > 0 ? 1 / d : 0.0;
  }
  const Element& el(int i) const {
    assert(i >= 1 && i <= static_cast<int>(elements.size()));
    return elements[i - 1];
  }
  int n() const { return static_cast<int>(elements.size()); }
  const BuildConstants& c() const { return *build; }
};

/// Counts derived from the problem after reading.
struct Dimensions {
  int n = 0;      ///< elements
  int m = 0;      ///< conductors: the largest isign
  int nd = 0;     ///< order of the main matrix: sum of ni, plus 1 when idmn != 0
  int nimax = 0;  ///< largest ni
};

/// Solver controls, with the defaults for zero values already applied.
struct SolverControls {
  double ah = 0;        ///< target sub-element length
  int iorder = 1;       ///< accepted and unused
  int iswitch = 0;      ///< 0 in-core LU, otherwise block out-of-core iteration
  int imm = 40;         ///< Krylov dimension of the iteration (restart length of GMRES)
  int itlim = 50;       ///< iteration limit (cycles)
  double eps = 1.0e-9;  ///< iteration tolerance: largest relative residual |P(Au-b)| / |Pb|
  std::string tmpdir;   ///< windowed build: folder of the scratch file, as given
};

// Why these defaults: on a bundle of 49 wires over ground (1960 unknowns), out of core against
// in core, the relative residual 1e-9 leaves errors of at most about 1e-9 of the diagonal in
// every entry (smaller entries, the far couplings, then differ in their printed digits, which
// the run says). A Krylov space of 40 vectors took that run to 1e-9 in 43 passes over the
// scratch file, where 5 vectors took 122.

}  // namespace ostrel
