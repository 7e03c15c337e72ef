// Element integrals of all basis functions of one element at once, for the matrix fill.
//
// sigal integrates each basis function by itself, so every interior sub-interval of an element
// is integrated twice (once for each of the two hats that share it) and every Gauss point is
// placed with elem again for every matrix entry. ElementQuadrature places the Gauss points of
// every sub-interval once per run, evaluates the kernel once per collocation point and Gauss
// point, and forms both hats' sums from the same values. The logarithms of a whole element's
// kernel values are taken in one call of the vector routine vlog; the sums of all intervals are
// formed four intervals at a time, each interval's sum over its Gauss points in the order of
// wtl/wtl0, with each point's ramp weight (t - c) h w formed once per run and the ramp's
// division by d - c a multiplication by its reciprocal. For kernels 0..2 off the own element
// the kernel values are computed where they are summed, four at a time. The results therefore equal
// sigal's up to a few ulp of each term (the logarithms, the weights' rounding): bit for bit for
// the unit code only.
#pragma once

#include <cstddef>
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
  /// (see check_green). Needs ni >= 2 on every element (asserted) and ni <= nimax_def (the
  /// problem reading caps it there; std::length_error otherwise). Cost: 6 elem calls per
  /// sub-interval, about (ni + 1) per element; memory about 300 bytes per sub-interval.
  ElementQuadrature(const Problem& pb, std::span<const double> tcol);

  /// out[l-1] = sigal(pb, j, l, T_j, code, t0, x0, y0, nx, ny) for l = 1..ni(j) (T_j the grid
  /// of element j), for code 0..3: bit for bit for code 3, otherwise up to a few ulp of each
  /// of the sum's terms (see above). (ni(j) + 1) * 6 kernel evaluations (plus a second
  /// logarithm per point for code 0, and six more on the circle's seam) instead of 12 * ni(j).
  /// const and thread-safe; no allocation (about 20 KB of stack); never throws. Preconditions:
  /// out.size() >= ni(j) (asserted); code in 0..3 (asserted, otherwise out is NaN); a valid Green's
  /// function selector for codes 0..2 (otherwise out is NaN: call check_green before the fill).
  void element_integrals(int j, int code, double t0, double x0, double y0, double nx, double ny,
                         std::span<double> out) const noexcept;

  /// Number of nodes of element j.
  int ni(int j) const { return elements_[j - 1].n; }
  /// The kernel used for codes 0..2.
  const GreenKernel& kernel() const { return green_; }

 private:
  // Per element: node count, closed form, index of its first interval and of its first Gauss
  // point. Open elements have the intervals [-1,T1], [T1,T2], ..., [T(N-1),TN], [TN,1];
  // circles [-1,T1], [T1,T2], ..., [T(N-1),1] and then the seam's first piece [T(N-1)-2, -1]:
  // N + 1 intervals either way. The Gauss points of an element are stored point-major: Gauss
  // point q of interval s at first_point + q (N + 1) + s, so that one Gauss point of all
  // intervals is contiguous.
  struct ElementInfo {
    int n = 0;
    bool closed = false;
    std::size_t first_interval = 0;
    std::size_t first_point = 0;
  };

  template <int Igg, int Code>
  void integrate(const ElementInfo& e, double t0, double x0, double y0, double nx, double ny,
                 std::span<double> out) const noexcept;
  template <int Igg>
  void dispatch_code(const ElementInfo& e, int code, double t0, double x0, double y0, double nx,
                     double ny, std::span<double> out) const noexcept;

  GreenKernel green_;
  std::vector<ElementInfo> elements_;
  std::vector<double> h_;          ///< per interval: half-width (b - a)/2
  std::vector<double> ba_, ab_;    ///< per interval: the divisors b - a and a - b of its ramps
  std::vector<double> iba_, iab_;  ///< per interval: 1/(b - a) and 1/(a - b)
  std::vector<double> t_, x_, y_;  ///< per Gauss point: parameter and point elem(t)
  std::vector<double> wa_, wb_;    ///< per Gauss point: ramp weights (t - a) h w, (t - b) h w
};

}  // namespace ostrel
