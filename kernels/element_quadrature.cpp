#include "kernels/element_quadrature.hpp"

#include <cassert>
#include <cmath>
#include <limits>

#include "geometry/element.hpp"
#include "kernels/integrals.hpp"

namespace ostrel {

namespace {

constexpr int np = GaussRule::max_points;
static_assert(gauss.count == np, "the interval tables hold one full Gauss rule");

using Interval = ElementQuadrature::Interval;

ElementQuadrature::Interval make_interval(const Problem& pb, int i, double a, double b) {
  Interval v;
  v.a = a;
  v.b = b;
  const double m = (a + b) / 2;  // the same m, h and t as wtl/wtl0
  v.h = (b - a) / 2;
  for (int q = 0; q < np; ++q) {
    v.t[q] = m + v.h * gauss.node[q];
    const Point p = elem(pb, i, v.t[q]);
    v.x[q] = p.x;
    v.y[q] = p.y;
  }
  return v;
}

// The kernel part of K at the six Gauss points of one interval: G for codes 0 and 1, dG/dn0 for
// code 2, 1 for code 3.
template <int Igg, int Code>
inline void kernel_values(const GreenKernel& gk, const Interval& v, double x0, double y0, double nx,
                          double ny, double* k) {
  for (int q = 0; q < np; ++q) {
    if constexpr (Code == code_flux)
      k[q] = gk.template normal_derivative<Igg>(v.x[q], v.y[q], x0, y0, nx, ny);
    else if constexpr (Code == code_unit)
      k[q] = 1;
    else
      k[q] = gk.template value<Igg>(v.x[q], v.y[q], x0, y0);
  }
}

// Code 0 adds the logarithm of the parameter distance back: K = G + ln|t - t0|.
inline void add_log(const Interval& v, const double* gv, double t0, double* k) {
  for (int q = 0; q < np; ++q)
    k[q] = gv[q] + std::log(std::fabs(v.t[q] - t0));
}

// wtl on the interval with the ramp that is 0 at c and 1 at d: sum of (t - c) K h w, / (d - c).
inline double ramp(const Interval& v, const double* k, double c, double d) {
  double sum = 0;
  for (int q = 0; q < np; ++q)
    sum += (v.t[q] - c) * k[q] * v.h * gauss.weight[q];
  return sum / (d - c);
}

// wtl0 on the interval: sum of K h w.
inline double flat(const Interval& v, const double* k) {
  double sum = 0;
  for (int q = 0; q < np; ++q)
    sum += k[q] * v.h * gauss.weight[q];
  return sum;
}

}  // namespace

ElementQuadrature::ElementQuadrature(const Problem& pb, std::span<const double> tcol) : green_(pb) {
  std::size_t off = 0, count = 0;
  for (int i = 1; i <= pb.n(); ++i)
    count += pb.el(i).ni + 1;
  intervals_.reserve(count);
  elements_.reserve(pb.n());
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& el = pb.el(i);
    const int n = el.ni;
    assert(n >= 2 && off + n <= tcol.size());
    const auto t = [&](int k) { return tcol[off + k - 1]; };  // 1-based node parameter
    ElementInfo info{n, el.iform == 3, intervals_.size()};
    intervals_.push_back(make_interval(pb, i, -1, t(1)));
    for (int k = 1; k < n; ++k)
      intervals_.push_back(make_interval(pb, i, t(k), t(k + 1)));
    if (info.closed)
      intervals_.push_back(make_interval(pb, i, t(n - 1) - seam_shift, -1));
    else
      intervals_.push_back(make_interval(pb, i, t(n), 1));
    elements_.push_back(info);
    off += n;
  }
}

template <int Igg, int Code>
void ElementQuadrature::integrate(const ElementInfo& e, double t0, double x0, double y0, double nx,
                                  double ny, std::span<double> out) const noexcept {
  const Interval* iv = intervals_.data() + e.first;
  const int n = e.n;
  double gv[np], kv[np];
  // K of one interval for the collocation parameter tz; returns the values to integrate.
  const auto values = [&](const Interval& v, double tz) -> const double* {
    kernel_values<Igg, Code>(green_, v, x0, y0, nx, ny, gv);
    if constexpr (Code != code_self) {
      (void)tz;
      return gv;
    } else {
      add_log(v, gv, tz, kv);
      return kv;
    }
  };

  if (!e.closed) {
    // phi_1 = constant on [-1,T1] + falling on [T1,T2]; interior hats rising + falling;
    // phi_N = rising on [T(N-1),TN] + constant on [TN,1]. A hat's first piece is stored in
    // out and its second piece added when its interval comes.
    out[0] = flat(iv[0], values(iv[0], t0));
    for (int s = 1; s < n; ++s) {
      const Interval& v = iv[s];
      const double* k = values(v, t0);
      out[s - 1] = out[s - 1] + ramp(v, k, v.b, v.a);
      out[s] = ramp(v, k, v.a, v.b);
    }
    out[n - 1] = out[n - 1] + flat(iv[n], values(iv[n], t0));
    return;
  }

  // Circle: phi_1 = rising on [-1,T1] + falling on [T1,T2]; the seam function phi_N = rising
  // on [T(N-1)-2, -1] + falling on [-1,T1], both with t0 - 2. [-1,T1] carries phi_1's rise and
  // the seam's fall: the kernel part is shared, only code 0's logarithm differs.
  const double t0s = t0 - seam_shift;
  double seam_fall;
  {
    const Interval& v = iv[0];
    const double* k = values(v, t0);
    out[0] = ramp(v, k, v.a, v.b);
    if constexpr (Code == code_self) {
      add_log(v, gv, t0s, kv);
      seam_fall = ramp(v, kv, v.b, v.a);
    } else {
      seam_fall = ramp(v, k, v.b, v.a);
    }
  }
  for (int s = 1; s < n; ++s) {
    const Interval& v = iv[s];
    const double* k = values(v, t0);
    out[s - 1] = out[s - 1] + ramp(v, k, v.b, v.a);
    if (s < n - 1) out[s] = ramp(v, k, v.a, v.b);  // [T(N-1),1] belongs to phi_(N-1) only
  }
  const Interval& v = iv[n];
  out[n - 1] = ramp(v, values(v, t0s), v.a, v.b) + seam_fall;
}

template <int Igg>
void ElementQuadrature::dispatch_code(const ElementInfo& e, int code, double t0, double x0,
                                      double y0, double nx, double ny,
                                      std::span<double> out) const noexcept {
  switch (code) {
    case code_self:
      integrate<Igg, code_self>(e, t0, x0, y0, nx, ny, out);
      break;
    case code_potential:
      integrate<Igg, code_potential>(e, t0, x0, y0, nx, ny, out);
      break;
    default:  // code_flux
      integrate<Igg, code_flux>(e, t0, x0, y0, nx, ny, out);
      break;
  }
}

void ElementQuadrature::element_integrals(int j, int code, double t0, double x0, double y0,
                                          double nx, double ny,
                                          std::span<double> out) const noexcept {
  assert(j >= 1 && j <= static_cast<int>(elements_.size()));
  const ElementInfo& e = elements_[j - 1];
  assert(out.size() >= static_cast<std::size_t>(e.n));
  assert(code >= code_self && code <= code_unit);
  if (code == code_unit) {
    integrate<0, code_unit>(e, t0, x0, y0, nx, ny, out);  // the kernel is not evaluated
    return;
  }
  if (code < code_self || code > code_unit || !green_.valid()) {
    for (int l = 0; l < e.n; ++l)
      out[l] = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  with_selector(green_.igg, [&](auto s) {
    dispatch_code<decltype(s)::value>(e, code, t0, x0, y0, nx, ny, out);
  });
}

}  // namespace ostrel
