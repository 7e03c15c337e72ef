#include "kernels/element_quadrature.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "elements.hpp"
#include "geometry/element.hpp"
#include "kernels/integrals.hpp"
#include "kernels/vector_log.hpp"

namespace ostrel {

namespace {

constexpr int np = GaussRule::max_points;
static_assert(gauss.count == np, "the point tables hold one full Gauss rule");

// Intervals handled in one pass: every interval of an element of the largest size, so that one
// pass covers any element the problem reading lets through; longer elements take several.
constexpr int block = nimax_def + 1;
// Values per pass: one per Gauss point.
constexpr int block_points = np * block;

// wtl0 on one interval from its kernel values k[q * stride]: the sum of K h w in table order.
inline double flat(const double* k, int stride, double h) {
  double sum = 0;
  for (int q = 0; q < np; ++q)
    sum += k[q * stride] * h * gauss.weight[q];
  return sum;
}

// wtl on one interval with the ramp that is 0 at c and 1 at d, from its Gauss parameters
// t[q * tstride] and kernel values k[q * kstride]: sum of (t - c) K h w in table order, / (d - c).
inline double ramp(const double* t, int tstride, const double* k, int kstride, double h, double c,
                   double d) {
  double sum = 0;
  for (int q = 0; q < np; ++q)
    sum += (t[q * tstride] - c) * k[q * kstride] * h * gauss.weight[q];
  return sum / (d - c);
}

}  // namespace

ElementQuadrature::ElementQuadrature(const Problem& pb, std::span<const double> tcol) : green_(pb) {
  std::size_t off = 0, count = 0;
  for (int i = 1; i <= pb.n(); ++i)
    count += pb.el(i).ni + 1;
  for (std::vector<double>* v : {&a_, &b_, &h_})
    v->reserve(count);
  for (std::vector<double>* v : {&t_, &x_, &y_})
    v->reserve(count * np);
  elements_.reserve(pb.n());
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& el = pb.el(i);
    const int n = el.ni;
    assert(n >= 2 && off + n <= tcol.size());
    const auto t = [&](int k) { return tcol[off + k - 1]; };  // 1-based node parameter
    ElementInfo info{n, el.iform == 3, a_.size(), t_.size()};
    const std::size_t first = a_.size();
    const auto add = [&](double a, double b) {
      a_.push_back(a);
      b_.push_back(b);
      h_.push_back((b - a) / 2);  // the same h as wtl/wtl0
    };
    add(-1, t(1));
    for (int k = 1; k < n; ++k)
      add(t(k), t(k + 1));
    if (info.closed)
      add(t(n - 1) - seam_shift, -1);
    else
      add(t(n), 1);
    // The Gauss points, point-major: t = m + h xi with the same m as wtl/wtl0.
    for (int q = 0; q < np; ++q)
      for (std::size_t s = first; s < a_.size(); ++s) {
        const double tq = (a_[s] + b_[s]) / 2 + h_[s] * gauss.node[q];
        const Point p = elem(pb, i, tq);
        t_.push_back(tq);
        x_.push_back(p.x);
        y_.push_back(p.y);
      }
    elements_.push_back(info);
    off += n;
  }
}

// The kernel part of K (G for codes 0 and 1, dG/dn0 for code 2, 1 for code 3) at every Gauss
// point of the m intervals s0..s0+m-1 of element e, into gv[q * m + s - s0].
template <int Igg, int Code>
void ElementQuadrature::kernel_block(const ElementInfo& e, int s0, int m, double x0, double y0,
                                     double nx, double ny, double* gv) const noexcept {
  const int ni = e.n + 1;
  const double* xs = x_.data() + e.first_point + s0;
  const double* ys = y_.data() + e.first_point + s0;
  const GreenKernel& gk = green_;
  if constexpr (Code == code_unit) {
    std::fill_n(gv, np * m, 1.0);
  } else if constexpr (Code == code_flux) {
    for (int q = 0; q < np; ++q)
      for (int s = 0; s < m; ++s)
        gv[q * m + s] =
            gk.template normal_derivative<Igg>(xs[q * ni + s], ys[q * ni + s], x0, y0, nx, ny);
  } else if constexpr (GreenKernel::logs_of<Igg> == 0) {
    // Channel kernels: hyperbolic and circular functions per point, logarithm included.
    for (int q = 0; q < np; ++q)
      for (int s = 0; s < m; ++s)
        gv[q * m + s] = gk.template value<Igg>(xs[q * ni + s], ys[q * ni + s], x0, y0);
  } else {
    // Kernels 0..3: the arguments of all logarithms first, then all logarithms in one call,
    // then G from them.
    double lu[block_points], lv[block_points];
    for (int q = 0; q < np; ++q)
      for (int s = 0; s < m; ++s)
        gk.template log_arguments<Igg>(xs[q * ni + s], ys[q * ni + s], x0, y0, lu[q * m + s],
                                       lv[q * m + s]);
    const std::size_t count = std::size_t(np) * m;
    vlog({lu, count}, {lu, count});
    if constexpr (GreenKernel::logs_of<Igg> == 2) vlog({lv, count}, {lv, count});
    for (int q = 0; q < np; ++q)
      for (int s = 0; s < m; ++s)
        gv[q * m + s] = gk.template from_logs<Igg>(
            ys[q * ni + s], lu[q * m + s], GreenKernel::logs_of<Igg> == 2 ? lv[q * m + s] : 0.0);
  }
}

template <int Igg, int Code>
void ElementQuadrature::integrate(const ElementInfo& e, double t0, double x0, double y0, double nx,
                                  double ny, std::span<double> out) const noexcept {
  const int n = e.n, ni = n + 1;
  const double t0s = t0 - seam_shift;  // the seam function's collocation parameter
  double gv[block_points], lg[block_points], rise[block], fall[block];
  double seam_fall = 0;
  for (int s0 = 0; s0 < ni; s0 += block) {
    const int m = std::min(block, ni - s0);
    const std::size_t count = std::size_t(np) * m;
    const double* ts = t_.data() + e.first_point + s0;
    const double* as = a_.data() + e.first_interval + s0;
    const double* bs = b_.data() + e.first_interval + s0;
    const double* hs = h_.data() + e.first_interval + s0;
    kernel_block<Igg, Code>(e, s0, m, x0, y0, nx, ny, gv);
    // K at every point: code 0 adds ln|t - tz| to G, tz = t0 - 2 on the circle's seam piece.
    const double* kv = gv;
    if constexpr (Code == code_self) {
      for (int q = 0; q < np; ++q)
        for (int s = 0; s < m; ++s) {
          const double tz = e.closed && s0 + s == n ? t0s : t0;
          lg[q * m + s] = std::fabs(ts[q * ni + s] - tz);
        }
      vlog({lg, count}, {lg, count});
      for (std::size_t p = 0; p < count; ++p)
        lg[p] = gv[p] + lg[p];
      kv = lg;
    }
    // Both ramps of every interval, wtl's sums in table order for each (vectorised across the
    // intervals only): rising 0 at a and 1 at b, falling 1 at a and 0 at b.
    for (int s = 0; s < m; ++s)
      rise[s] = fall[s] = 0;
    for (int q = 0; q < np; ++q) {
      const double w = gauss.weight[q];
      const double* tq = ts + q * ni;
      const double* kq = kv + q * m;
      for (int s = 0; s < m; ++s) {
        rise[s] += (tq[s] - as[s]) * kq[s] * hs[s] * w;
        fall[s] += (tq[s] - bs[s]) * kq[s] * hs[s] * w;
      }
    }
    for (int s = 0; s < m; ++s) {
      rise[s] = rise[s] / (bs[s] - as[s]);
      fall[s] = fall[s] / (as[s] - bs[s]);
    }

    // Each hat's first piece is stored in out and its second piece added when its interval
    // comes, as sigal adds its two pieces.
    for (int s = 0; s < m; ++s) {
      const int g = s0 + s;  // interval of the element
      if (!e.closed) {
        // phi_1 = constant on [-1,T1] + falling on [T1,T2]; interior hats rising + falling;
        // phi_N = rising on [T(N-1),TN] + constant on [TN,1].
        if (g == 0) {
          out[0] = flat(kv + s, m, hs[s]);
        } else if (g < n) {
          out[g - 1] = out[g - 1] + fall[s];
          out[g] = rise[s];
        } else {
          out[n - 1] = out[n - 1] + flat(kv + s, m, hs[s]);
        }
        continue;
      }
      // Circle: phi_1 = rising on [-1,T1] + falling on [T1,T2]; the seam function phi_N =
      // rising on [T(N-1)-2, -1] + falling on [-1,T1], both with t0 - 2. [-1,T1] carries
      // phi_1's rise and the seam's fall: the kernel part is shared, only code 0's logarithm
      // differs.
      if (g == 0) {
        out[0] = rise[s];
        if constexpr (Code == code_self) {
          double ks[np];
          for (int q = 0; q < np; ++q)
            ks[q] = std::fabs(ts[q * ni + s] - t0s);
          vlog(ks, ks);
          for (int q = 0; q < np; ++q)
            ks[q] = gv[q * m + s] + ks[q];
          seam_fall = ramp(ts + s, ni, ks, 1, hs[s], bs[s], as[s]);
        } else {
          seam_fall = fall[s];
        }
      } else if (g < n) {
        out[g - 1] = out[g - 1] + fall[s];
        if (g < n - 1) out[g] = rise[s];  // [T(N-1),1] belongs to phi_(N-1) only
      } else {
        out[n - 1] = rise[s] + seam_fall;
      }
    }
  }
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
