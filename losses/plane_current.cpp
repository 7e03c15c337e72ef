#include "losses/plane_current.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <queue>
#include <stdexcept>

#include "geometry/element.hpp"
#include "kernels/green.hpp"
#include "losses/conductor_outline.hpp"

namespace ostrel::losses {

namespace {

// 8-point Gauss-Legendre rule on [-1, 1] (nodes and weights to 30 digits, as tabulated by
// Abramowitz and Stegun, table 25.4): the positive half.
constexpr double gl_x[4] = {
    0.183434642495649804939476142360184, 0.525532409916328985817739049189254,
    0.796666477413626739591553936475830, 0.960289856497536231683560868569473};
constexpr double gl_w[4] = {
    0.362683783378361982965150449277196, 0.313706645877887287337962201986601,
    0.222381034453374470544355994426241, 0.101228536290376259152531354309962};

// 15-point Kronrod rule and its embedded 7-point Gauss rule on [-1, 1] (QUADPACK's qk15): the
// nodes from the end to the centre; the Gauss nodes are the odd-numbered ones.
constexpr double gk_x[8] = {
    0.991455371120812639206854697526329, 0.949107912342758524526189684047851,
    0.864864423359769072789712788640926, 0.741531185599394439863864773280788,
    0.586087235467691130294144845693013, 0.405845151377397166906606412076961,
    0.207784955007898467600689403773245, 0.0};
constexpr double gk_w[8] = {
    0.022935322010529224963732008058970, 0.063092092629978553290700663189204,
    0.104790010322250183839876322541518, 0.140653259715525918745189590510238,
    0.169004726639267902826583426598550, 0.190350578064785409913256402421014,
    0.204432940075298892414161999234649, 0.209482141084727828012999174891714};
constexpr double g7_w[4] = {
    0.129484966168869693270611432679082, 0.279705391489276667901467771423780,
    0.381830050505118944950369775488975, 0.417959183673469387755102040816327};

// A piece nearer to the point than this many of its lengths is halved (8-point Gauss on a piece
// at least its length away: error below 1e-9 of the piece's share).
constexpr double near_ratio = 1.0;
// Halvings of one piece at most (a point within 2^-30 of a piece is on it).
constexpr int max_halvings = 30;
// Intervals of the line integral at most: the budget of one plane.
constexpr int max_intervals = 4000;
// Intervals the conductors' span is first cut into, besides the ends of the elements.
constexpr int first_cuts = 16;
// Channel kernels (igg 4, 5): the densities on the planes decay as exp(-pi |x| / a) beyond the
// conductors, so the line is cut this many plate distances beyond them, where the density has
// fallen by exp(-14 pi) = 8e-20 (and its square far more).
constexpr double channel_reach = 14;
// The grounded plane y = 0: the scale of the tails' map is the conductors' height, at least this
// share of their span (a flat conductor near the plane still has the span's features).
constexpr double least_height = 1e-3;
// Points closer than this share of the line's scale count as one (cuts, the symmetry plane).
constexpr double same_point = 1e-9;

struct GaussPoints {
  double x[8], y[8], w[8], s[8];  // points, weights h w_i (parameter), ramp s in [0, 1]
  Point mid;
  double length = 0;
};

// The density pieces with their Gauss points, placed once.
struct Sources {
  const Problem& pb;
  GreenKernel kernel;
  std::vector<DensityPiece> pieces;
  std::vector<GaussPoints> points;
  Eigen::MatrixXd mu_a, mu_b;  // per piece (row): mu at its two ends, per solution (column)

  Sources(const VacuumSolution& v) : pb(v.input.problem), kernel(v.input.problem) {
    for (const DensityPiece& p : v.pieces) {
      if (v.mu.row(p.ga).isZero(0.0) && v.mu.row(p.gb).isZero(0.0)) continue;  // no charge
      pieces.push_back(p);
      points.push_back(place(p.element, p.ta, p.tb, p.ta, p.tb));
    }
    mu_a.resize(pieces.size(), v.m);
    mu_b.resize(pieces.size(), v.m);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      mu_a.row(i) = v.mu.row(pieces[i].ga);
      mu_b.row(i) = v.mu.row(pieces[i].gb);
    }
  }

  GaussPoints place(int e, double ta, double tb, double ta0, double tb0) const {
    GaussPoints g;
    const double c = 0.5 * (ta + tb), h = 0.5 * (tb - ta);
    for (int i = 0; i < 8; ++i) {
      const double xi = i < 4 ? -gl_x[3 - i] : gl_x[i - 4];
      const double w = i < 4 ? gl_w[3 - i] : gl_w[i - 4];
      const double t = c + h * xi;
      const Point p = elem(pb, e, t);
      g.x[i] = p.x;
      g.y[i] = p.y;
      g.w[i] = h * w;
      g.s[i] = (t - ta0) / (tb0 - ta0);
    }
    g.mid = elem(pb, e, c);
    g.length = dlength(pb, e, c) * (tb - ta);
    return g;
  }

  // i0 += integral of dG/dn0 (1 - s) dt, i1 += integral of dG/dn0 s dt over the piece, halving
  // it while the point is near.
  void moments(const GaussPoints& g, int e, double ta, double tb, double ta0, double tb0, Point p0,
               Point n0, int depth, double& i0, double& i1, bool& exact) const {
    const double d = std::hypot(g.mid.x - p0.x, g.mid.y - p0.y) - 0.5 * g.length;
    if (d < near_ratio * g.length) {
      if (depth < max_halvings) {
        const double c = 0.5 * (ta + tb);
        moments(place(e, ta, c, ta0, tb0), e, ta, c, ta0, tb0, p0, n0, depth + 1, i0, i1, exact);
        moments(place(e, c, tb, ta0, tb0), e, c, tb, ta0, tb0, p0, n0, depth + 1, i0, i1, exact);
        return;
      }
      exact = false;
    }
    for (int i = 0; i < 8; ++i) {
      const double f = kernel.dn(g.x[i], g.y[i], p0.x, p0.y, n0.x, n0.y) * g.w[i];
      i0 += f * (1 - g.s[i]);
      i1 += f * g.s[i];
    }
  }

  // sigma_k at the point p0 of a plane with the normal n0 into the field: -dphi/dn0.
  Eigen::RowVectorXd density(Point p0, Point n0, bool& exact) const {
    Eigen::RowVectorXd out = Eigen::RowVectorXd::Zero(mu_a.cols());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const DensityPiece& p = pieces[i];
      double i0 = 0, i1 = 0;
      moments(points[i], p.element, p.ta, p.tb, p.ta, p.tb, p0, n0, 0, i0, i1, exact);
      out -= i0 * mu_a.row(i) + i1 * mu_b.row(i);
    }
    return out;
  }
};

// The integrand of the line integral at one point: the products sigma_k sigma_l (upper
// triangle, row by row) and then sigma_k, times the Jacobian of the map.
struct LineIntegrand {
  const Sources& src;
  double y, ny;
  int m;
  bool exact = true;

  Eigen::VectorXd operator()(double x, double jacobian) {
    Eigen::RowVectorXd s = src.density({x, y}, {0.0, ny}, exact);
    if (!s.allFinite()) {
      exact = false;
      s.setZero();
    }
    Eigen::VectorXd v(m * (m + 1) / 2 + m);
    int k = 0;
    for (int i = 0; i < m; ++i)
      for (int j = i; j < m; ++j)
        v(k++) = s(i) * s(j) * jacobian;
    for (int i = 0; i < m; ++i)
      v(k++) = s(i) * jacobian;
    return v;
  }
};

// A piece of the line: u in [a, b] maps to x = map(u).
struct Interval {
  double a, b;
  Eigen::VectorXd value;
  double error;
  bool operator<(const Interval& o) const { return error < o.error; }
};

// x of the parameter u: the span itself (kind 0), the right tail x = x1 + h u/(1 - u) (kind 1)
// or the left tail x = x0 - h u/(1 - u) (kind 2), u in [0, 1).
struct LineMap {
  int kind;
  double x0, x1, h;
  double x(double u) const {
    if (kind == 0) return u;
    const double v = h * u / (1 - u);
    return kind == 1 ? x1 + v : x0 - v;
  }
  double jacobian(double u) const { return kind == 0 ? 1.0 : h / ((1 - u) * (1 - u)); }
};

Interval kronrod(LineIntegrand& f, const LineMap& map, double a, double b) {
  const double c = 0.5 * (a + b), h = 0.5 * (b - a);
  Eigen::VectorXd fc = f(map.x(c), map.jacobian(c));
  Eigen::VectorXd k15 = gk_w[7] * fc, g7 = g7_w[3] * fc;
  for (int i = 0; i < 7; ++i) {
    const double u1 = c - h * gk_x[i], u2 = c + h * gk_x[i];
    const Eigen::VectorXd s = f(map.x(u1), map.jacobian(u1)) + f(map.x(u2), map.jacobian(u2));
    k15 += gk_w[i] * s;
    if (i % 2 == 1) g7 += g7_w[i / 2] * s;
  }
  Interval r{a, b, h * k15, 0};
  // The error of the squared densities (the diagonal products) measures the interval.
  int k = 0;
  for (int i = 0; i < f.m; ++i) {
    r.error += std::fabs(h * (k15(k) - g7(k)));
    k += f.m - i;
  }
  return r;
}

// The trace of the products (sum of the integrals of sigma_k^2).
double trace(const Eigen::VectorXd& v, int m) {
  double t = 0;
  int k = 0;
  for (int i = 0; i < m; ++i) {
    t += v(k);
    k += m - i;
  }
  return t;
}

}  // namespace

PlaneIntegrals plane_integrals(const VacuumSolution& v) {
  const Problem& pb = v.input.problem;
  const int m = v.m;
  PlaneIntegrals out;
  out.products = Eigen::MatrixXd::Zero(m, m);
  out.net = Eigen::VectorXd::Zero(m);
  if (!has_grounded_planes(pb)) return out;
  out.any = true;
  const Sources src(v);

  // The span of the charged elements and their height: the scale of the line's features.
  double x0 = std::numeric_limits<double>::max(), x1 = -x0, top = 0;
  std::vector<double> cuts;
  for (const DensityPiece& p : src.pieces) {
    const Box b = emima(pb, p.element);
    x0 = std::min(x0, b.xmin);
    x1 = std::max(x1, b.xmax);
    top = std::max(top, std::max(std::fabs(b.ymin), std::fabs(b.ymax)));
    cuts.push_back(elem(pb, p.element, p.ta).x);
  }
  if (src.pieces.empty()) return out;
  const double a = pb.gpars(1);
  const bool channel = pb.igg != 1;
  const double h = channel ? channel_reach * a : std::max(top, least_height * (x1 - x0));
  double lo = x0 - h, hi = x1 + h;
  bool left_tail = !channel, right_tail = !channel;
  if (pb.igg == 5) {
    // The modelled half of the symmetric line: the side of the conductors.
    if (x0 >= -same_point * h) {
      lo = 0;
      left_tail = false;
    } else if (x1 <= same_point * h) {
      hi = 0;
      right_tail = false;
    } else {
      throw std::runtime_error(
          "the elements lie on both sides of the symmetry plane x = 0 of igg 5: the return current "
          "on the grounded planes belongs to the modelled half, which must lie on one side");
    }
  }
  cuts.push_back(lo);
  cuts.push_back(hi);
  for (int i = 1; i < first_cuts; ++i)
    cuts.push_back(lo + (hi - lo) * i / first_cuts);
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::remove_if(cuts.begin(), cuts.end(), [&](double c) { return c < lo || c > hi; }),
             cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end(),
                         [&](double p, double q) { return q - p <= same_point * (hi - lo); }),
             cuts.end());

  std::vector<std::pair<double, double>> planes{{0.0, 1.0}};
  if (pb.igg != 1) planes.push_back({a, -1.0});
  double worst = 0;
  for (const auto& [y, ny] : planes) {
    LineIntegrand f{src, y, ny, m};
    std::vector<LineMap> maps{{0, lo, hi, h}};
    if (right_tail) maps.push_back({1, lo, hi, h});
    if (left_tail) maps.push_back({2, lo, hi, h});
    // Globally adaptive: halve the interval with the largest error until the sum is good.
    struct Entry {
      Interval iv;
      int map;
      bool operator<(const Entry& o) const { return iv < o.iv; }
    };
    std::priority_queue<Entry> queue;
    for (int mi = 0; mi < static_cast<int>(maps.size()); ++mi) {
      if (maps[mi].kind == 0) {
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i)
          queue.push({kronrod(f, maps[mi], cuts[i], cuts[i + 1]), mi});
      } else {
        queue.push({kronrod(f, maps[mi], 0.0, 1.0), mi});
      }
    }
    int count = static_cast<int>(queue.size());
    Eigen::VectorXd sum = Eigen::VectorXd::Zero(m * (m + 1) / 2 + m);
    double err = 0;
    for (auto q = queue; !q.empty(); q.pop()) {
      sum += q.top().iv.value;
      err += q.top().iv.error;
    }
    for (;;) {
      const double size = std::fabs(trace(sum, m));
      if (err <= plane_tolerance * size || count >= max_intervals || !f.exact) break;
      const Entry e = queue.top();
      queue.pop();
      const double c = 0.5 * (e.iv.a + e.iv.b);
      const Entry left{kronrod(f, maps[e.map], e.iv.a, c), e.map};
      const Entry right{kronrod(f, maps[e.map], c, e.iv.b), e.map};
      sum += left.iv.value + right.iv.value - e.iv.value;
      err += left.iv.error + right.iv.error - e.iv.error;
      queue.push(left);
      queue.push(right);
      ++count;
    }
    // The sums again from the intervals, free of the running updates' rounding.
    sum.setZero();
    err = 0;
    for (; !queue.empty(); queue.pop()) {
      sum += queue.top().iv.value;
      err += queue.top().iv.error;
    }
    const double size = std::fabs(trace(sum, m));
    int k = 0;
    for (int i = 0; i < m; ++i)
      for (int j = i; j < m; ++j) {
        out.products(i, j) += sum(k);
        if (i != j) out.products(j, i) += sum(k);
        ++k;
      }
    for (int i = 0; i < m; ++i)
      out.net(i) += sum(k++);
    worst = std::max(worst, size > 0 ? err / size : 0.0);
    if (!f.exact) worst = std::max(worst, 1.0);  // a point of the plane on an element
  }
  out.relative_error = worst;
  return out;
}

}  // namespace ostrel::losses
