#include "kernels/element_quadrature.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "base/vector_clones.hpp"
#include "elements.hpp"
#include "geometry/element.hpp"
#include "kernels/integrals.hpp"
#include "kernels/vector_log.hpp"

// The loops over all Gauss points of an element are compiled for AVX2 and for the baseline
// (OSTREL_VECTOR_CLONES), with the same bits.

namespace ostrel {

namespace {

constexpr int np = GaussRule::max_points;
static_assert(gauss.count == np, "the point tables hold one full Gauss rule");

// Intervals of the largest element: N + 1 for N = nimax_def nodes.
constexpr int max_intervals = nimax_def + 1;
// Gauss points of the largest element.
constexpr int max_points = np * max_intervals;

// The kernel part of K at the count Gauss points xs, ys of one element: G for codes 0 and 1,
// dG/dn0 for code 2, 1 for code 3, into gv. Kernels 0..3 take the arguments of all their
// logarithms first, then all logarithms in one vlog call, then G from them.
template <int Igg, int Code>
OSTREL_VECTOR_CLONES void kernel_values(const GreenKernel& gk, const double* xs, const double* ys,
                                        int count, double x0, double y0, double nx, double ny,
                                        double* gv) {
  if constexpr (Code == code_unit) {
    for (int p = 0; p < count; ++p)
      gv[p] = 1;
  } else if constexpr (Code == code_flux) {
    for (int p = 0; p < count; ++p)
      gv[p] = gk.template normal_derivative<Igg>(xs[p], ys[p], x0, y0, nx, ny);
  } else if constexpr (GreenKernel::logs_of<Igg> == 0) {
    // Channel kernels: hyperbolic and circular functions per point, logarithm included.
    for (int p = 0; p < count; ++p)
      gv[p] = gk.template value<Igg>(xs[p], ys[p], x0, y0);
  } else {
    double lv[GreenKernel::logs_of<Igg> == 2 ? max_points : 1];
    double unused = 0;
    for (int p = 0; p < count; ++p)
      gk.template log_arguments<Igg>(xs[p], ys[p], x0, y0, gv[p],
                                     GreenKernel::logs_of<Igg> == 2 ? lv[p] : unused);
    vlog({gv, std::size_t(count)}, {gv, std::size_t(count)});
    if constexpr (GreenKernel::logs_of<Igg> == 2) {
      vlog({lv, std::size_t(count)}, {lv, std::size_t(count)});
      for (int p = 0; p < count; ++p)
        gv[p] = gk.template from_logs<Igg>(ys[p], gv[p], lv[p]);
    } else {
      for (int p = 0; p < count; ++p)
        gv[p] = gk.template from_logs<Igg>(ys[p], gv[p], 0.0);
    }
  }
}

// Code 0: kv = gv + ln|t - tz| at every point, tz = t0 except on the seam piece (interval n)
// of a circle, where it is t0 - 2.
OSTREL_VECTOR_CLONES void add_parameter_log(const double* ts, const double* gv, int n, bool closed,
                                            double t0, double* kv) {
  const int ni = n + 1, count = np * ni;
  for (int p = 0; p < count; ++p)
    kv[p] = std::fabs(ts[p] - t0);
  if (closed)
    for (int q = 0; q < np; ++q)
      kv[q * ni + n] = std::fabs(ts[q * ni + n] - (t0 - seam_shift));
  vlog({kv, std::size_t(count)}, {kv, std::size_t(count)});
  for (int p = 0; p < count; ++p)
    kv[p] = gv[p] + kv[p];
}

// Four doubles: one AVX2 register, or two SSE2 registers in the baseline build.
typedef double lanes __attribute__((vector_size(32)));
constexpr int width = sizeof(lanes) / sizeof(double);

// The same four doubles at any address of a double array.
typedef double lanes_at __attribute__((vector_size(32), aligned(alignof(double)), may_alias));

// Both ramps of all ni intervals from the kernel values kv (point-major, Gauss point q of
// interval s at q ni + s): the sum over the Gauss points in table order of K times the ramp's
// weight (t - c) h w, / (d - c), for the rising ramp (c = a, d = b, weights wa) into rise and
// the falling one (c = b, d = a, weights wb) into fall. Exact divides by d - c (ba: b - a,
// ab: a - b) as wtl does; otherwise the sums are multiplied by 1/(d - c) (one rounding more,
// and no division, whose unit would set the pace of the whole loop). Vectorised across
// intervals only, four at a time: every lane's sum is one interval's, in table order.
template <bool Exact>
OSTREL_VECTOR_CLONES void ramps(const double* wa, const double* wb, const double* kv,
                                const double* ba, const double* ab, int ni, double* rise,
                                double* fall) {
  int s = 0;
  for (; s + width <= ni; s += width) {
    lanes r = {}, f = {};
    for (int q = 0; q < np; ++q) {
      const int p = q * ni + s;
      const lanes k = *reinterpret_cast<const lanes_at*>(kv + p);
      r += k * *reinterpret_cast<const lanes_at*>(wa + p);
      f += k * *reinterpret_cast<const lanes_at*>(wb + p);
    }
    const lanes dr = *reinterpret_cast<const lanes_at*>(ba + s);
    const lanes df = *reinterpret_cast<const lanes_at*>(ab + s);
    *reinterpret_cast<lanes_at*>(rise + s) = Exact ? r / dr : r * dr;
    *reinterpret_cast<lanes_at*>(fall + s) = Exact ? f / df : f * df;
  }
  for (; s < ni; ++s) {
    double r = 0, f = 0;
    for (int q = 0; q < np; ++q) {
      const int p = q * ni + s;
      r += kv[p] * wa[p];
      f += kv[p] * wb[p];
    }
    rise[s] = Exact ? r / ba[s] : r * ba[s];
    fall[s] = Exact ? f / ab[s] : f * ab[s];
  }
}

// ramps<false> with the kernel values computed where they are summed instead of stored first,
// four points at a time by the same operations as one by one: dG/dn0 of kernels 0..2 at the
// points (xs, ys) for Code 2, G = plane_from_log(lu) from the logarithms lu for Code 1.
template <int Igg, int Code>
OSTREL_VECTOR_CLONES void fused_ramps(const double* xs, const double* ys, const double* lu,
                                      const double* wa, const double* wb, const double* ia,
                                      const double* ib, int ni, double x0, double y0, double nx,
                                      double ny, double* rise, double* fall) {
  const auto at = [](const double* p) -> const lanes_at& {
    return *reinterpret_cast<const lanes_at*>(p);
  };
  int s = 0;
  for (; s + width <= ni; s += width) {
    lanes r = {}, f = {};
    for (int q = 0; q < np; ++q) {
      const int p = q * ni + s;
      // Loaded into aligned values first: a reference to lanes may assume their alignment.
      lanes k;
      if constexpr (Code == code_flux) {
        const lanes x = at(xs + p), y = at(ys + p);
        GreenKernel::plane_flux<Igg, lanes>(x, y, x0, y0, nx, ny, k);
      } else {
        const lanes l = at(lu + p);
        GreenKernel::plane_from_log<lanes>(l, k);
      }
      r += k * at(wa + p);
      f += k * at(wb + p);
    }
    *reinterpret_cast<lanes_at*>(rise + s) = r * at(ia + s);
    *reinterpret_cast<lanes_at*>(fall + s) = f * at(ib + s);
  }
  for (; s < ni; ++s) {
    double r = 0, f = 0;
    for (int q = 0; q < np; ++q) {
      const int p = q * ni + s;
      double k;
      if constexpr (Code == code_flux)
        GreenKernel::plane_flux<Igg>(xs[p], ys[p], x0, y0, nx, ny, k);
      else
        GreenKernel::plane_from_log(lu[p], k);
      r += k * wa[p];
      f += k * wb[p];
    }
    rise[s] = r * ia[s];
    fall[s] = f * ib[s];
  }
}

// The logarithms lu of kernels 0..2's G at the count points xs, ys (log_arguments, then vlog).
template <int Igg>
OSTREL_VECTOR_CLONES void plane_logs(const GreenKernel& gk, const double* xs, const double* ys,
                                     int count, double x0, double y0, double* lu) {
  double unused = 0;
  for (int p = 0; p < count; ++p)
    gk.template log_arguments<Igg>(xs[p], ys[p], x0, y0, lu[p], unused);
  vlog({lu, std::size_t(count)}, {lu, std::size_t(count)});
}

// wtl0 on interval s: the sum of K h w in table order.
inline double flat(const double* kv, int ni, int s, double h) {
  double sum = 0;
  for (int q = 0; q < np; ++q)
    sum += kv[q * ni + s] * h * gauss.weight[q];
  return sum;
}

}  // namespace

ElementQuadrature::ElementQuadrature(const Problem& pb, std::span<const double> tcol) : green_(pb) {
  std::size_t off = 0, count = 0;
  for (int i = 1; i <= pb.n(); ++i) {
    if (pb.el(i).ni > nimax_def)
      throw std::length_error("element with more than nimax_def sub-elements");
    count += pb.el(i).ni + 1;
  }
  for (std::vector<double>* v : {&h_, &ba_, &ab_, &iba_, &iab_})
    v->reserve(count);
  for (std::vector<double>* v : {&t_, &x_, &y_, &wa_, &wb_})
    v->reserve(count * np);
  elements_.reserve(pb.n());
  std::vector<double> a, b;
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& el = pb.el(i);
    const int n = el.ni;
    assert(n >= 2 && off + n <= tcol.size());
    const auto t = [&](int k) { return tcol[off + k - 1]; };  // 1-based node parameter
    ElementInfo info{n, el.iform == 3, h_.size(), t_.size()};
    a.clear();
    b.clear();
    const auto add = [&](double from, double to) {
      a.push_back(from);
      b.push_back(to);
    };
    add(-1, t(1));
    for (int k = 1; k < n; ++k)
      add(t(k), t(k + 1));
    if (info.closed)
      add(t(n - 1) - seam_shift, -1);
    else
      add(t(n), 1);
    for (std::size_t s = 0; s < a.size(); ++s) {
      h_.push_back((b[s] - a[s]) / 2);  // the same h as wtl/wtl0
      ba_.push_back(b[s] - a[s]);
      ab_.push_back(a[s] - b[s]);
      iba_.push_back(1 / (b[s] - a[s]));
      iab_.push_back(1 / (a[s] - b[s]));
    }
    // The Gauss points, point-major: t = m + h xi with the same m and h as wtl/wtl0.
    for (int q = 0; q < np; ++q)
      for (std::size_t s = 0; s < a.size(); ++s) {
        const double tq = (a[s] + b[s]) / 2 + h_[info.first_interval + s] * gauss.node[q];
        const Point p = elem(pb, i, tq);
        t_.push_back(tq);
        x_.push_back(p.x);
        y_.push_back(p.y);
        // wtl's (t - c) K h w with K = 1, so that code 3 keeps wtl's bits.
        const double h = h_[info.first_interval + s];
        wa_.push_back((tq - a[s]) * h * gauss.weight[q]);
        wb_.push_back((tq - b[s]) * h * gauss.weight[q]);
      }
    elements_.push_back(info);
    off += n;
  }
}

template <int Igg, int Code>
void ElementQuadrature::integrate(const ElementInfo& e, double t0, double x0, double y0, double nx,
                                  double ny, std::span<double> out) const noexcept {
  const int n = e.n, ni = n + 1, count = np * ni;
  const std::size_t pt = e.first_point, iv = e.first_interval;
  const double* ts = t_.data() + pt;
  const double* h = h_.data() + iv;
  double gv[max_points], lg[max_points], rise[max_intervals], fall[max_intervals];
  const double* kv = gv;
  if constexpr ((Code == code_flux || Code == code_potential) && Igg <= 2) {
    // Kernels 0..2 off the own element: the values go straight into the sums; the two end
    // intervals' values are kept for the constant pieces of open elements.
    const double* xs = x_.data() + pt;
    const double* ys = y_.data() + pt;
    if constexpr (Code == code_potential) plane_logs<Igg>(green_, xs, ys, count, x0, y0, gv);
    fused_ramps<Igg, Code>(xs, ys, Code == code_potential ? gv : nullptr, wa_.data() + pt,
                           wb_.data() + pt, iba_.data() + iv, iab_.data() + iv, ni, x0, y0, nx, ny,
                           rise, fall);
    for (int q = 0; q < np; ++q)
      for (int s : {0, n}) {
        const int p = q * ni + s;
        gv[p] = Code == code_flux ? green_.normal_derivative<Igg>(xs[p], ys[p], x0, y0, nx, ny)
                                  : green_.from_logs<Igg>(ys[p], gv[p], 0.0);
      }
  } else {
    kernel_values<Igg, Code>(green_, x_.data() + pt, y_.data() + pt, count, x0, y0, nx, ny, gv);
    if constexpr (Code == code_self) {
      add_parameter_log(ts, gv, n, e.closed, t0, lg);
      kv = lg;
    }
    // The unit code keeps wtl's divisions, and so its bits; the kernels' sums are rounded anyway.
    if constexpr (Code == code_unit)
      ramps<true>(wa_.data() + pt, wb_.data() + pt, kv, ba_.data() + iv, ab_.data() + iv, ni, rise,
                  fall);
    else
      ramps<false>(wa_.data() + pt, wb_.data() + pt, kv, iba_.data() + iv, iab_.data() + iv, ni,
                   rise, fall);
  }

  // Each hat is its first piece plus its second piece, as in sigal.
  if (!e.closed) {
    // phi_1 = constant on [-1,T1] + falling on [T1,T2]; interior hats rising + falling;
    // phi_N = rising on [T(N-1),TN] + constant on [TN,1].
    out[0] = flat(kv, ni, 0, h[0]) + fall[1];
    for (int l = 1; l < n - 1; ++l)
      out[l] = rise[l] + fall[l + 1];
    out[n - 1] = rise[n - 1] + flat(kv, ni, n, h[n]);
    return;
  }
  // Circle: phi_1 = rising on [-1,T1] + falling on [T1,T2]; [T(N-1),1] belongs to phi_(N-1)
  // only; the seam function phi_N = rising on [T(N-1)-2, -1] + falling on [-1,T1], both with
  // t0 - 2. [-1,T1] carries phi_1's rise and the seam's fall: the kernel part is shared, only
  // code 0's logarithm differs.
  for (int l = 0; l < n - 1; ++l)
    out[l] = rise[l] + fall[l + 1];
  double seam_fall = fall[0];
  if constexpr (Code == code_self) {
    double ks[np];
    for (int q = 0; q < np; ++q)
      ks[q] = std::fabs(ts[q * ni] - (t0 - seam_shift));
    vlog(ks, ks);
    double sum = 0;
    for (int q = 0; q < np; ++q)
      sum += (gv[q * ni] + ks[q]) * wb_[pt + q * ni];
    seam_fall = sum / ab_[iv];
  }
  out[n - 1] = rise[n] + seam_fall;
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
