// Element integrals of all basis functions of one element at once, for the matrix fill.
//
// sigal integrates each basis function by itself, so every interior sub-interval of an element
// is integrated twice (once for each of the two hats that share it) and every Gauss point is
// placed with elem again for every matrix entry. ElementQuadrature places the Gauss points of
// every sub-interval once per run, evaluates the kernel once per collocation point and Gauss
// point, and forms both hats' sums from the same values. Each hat's sum is accumulated in the
// same order and with the same operations as wtl/wtl0, so every result equals sigal bit for bit.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "base/problem.hpp"
#include "kernels/gauss.hpp"
#include "kernels/green.hpp"

namespace ostrel {

class ElementQuadrature {
 public:
  /// Places the Gauss points (parameter and coordinates, by elem) of every sub-interval of
  /// every element, from the element grids in tcol (collocation_points order: element after
  /// element). Reads the kernel selector and constants of the problem but does not check them
  /// (see check_green). Needs ni >= 2 on every element (asserted). Cost: 6 elem calls per
  /// sub-interval, about (ni + 1) per element; memory about 170 bytes per sub-interval.
  ElementQuadrature(const Problem& pb, std::span<const double> tcol);

  /// out[l-1] = sigal(pb, j, l, T_j, code, t0, x0, y0, nx, ny) for l = 1..ni(j), bit for bit,
  /// for code 0..3 (T_j the grid of element j). (ni(j) + 1) * 6 kernel evaluations (plus a
  /// second logarithm on the circle's seam pieces for code 0) instead of 12 * ni(j).
  /// const and thread-safe; no allocation; never throws. Preconditions: out.size() >= ni(j)
  /// (asserted); code in 0..3 (asserted, otherwise out is NaN); a valid Green's function
  /// selector for codes 0..2 (otherwise out is NaN: call check_green before the fill).
  void element_integrals(int j, int code, double t0, double x0, double y0, double nx, double ny,
                         std::span<double> out) const noexcept;

  /// Number of nodes of element j.
  int ni(int j) const { return elements_[j - 1].n; }
  /// The kernel used for codes 0..2.
  const GreenKernel& kernel() const { return green_; }

  /// One sub-interval [a, b] with its Gauss points t = m + h xi_g and P(t) = elem(t).
  struct Interval {
    double a = 0, b = 0, h = 0;
    std::array<double, GaussRule::max_points> t{}, x{}, y{};
  };

 private:
  // Per element: node count, closed form, index of its first interval. Open elements have the
  // intervals [-1,T1], [T1,T2], ..., [T(N-1),TN], [TN,1]; circles [-1,T1], [T1,T2], ...,
  // [T(N-1),1] and then the seam's first piece [T(N-1)-2, -1]: N + 1 intervals either way.
  struct ElementInfo {
    int n = 0;
    bool closed = false;
    std::size_t first = 0;
  };

  template <int Igg, int Code>
  void integrate(const ElementInfo& e, double t0, double x0, double y0, double nx, double ny,
                 std::span<double> out) const noexcept;
  template <int Igg>
  void dispatch_code(const ElementInfo& e, int code, double t0, double x0, double y0, double nx,
                     double ny, std::span<double> out) const noexcept;

  GreenKernel green_;
  std::vector<ElementInfo> elements_;
  std::vector<Interval> intervals_;
};

}  // namespace ostrel
