#include "structures/sizing.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "lines/solutions.hpp"

namespace ostrel::structures {

namespace {

// Bounds of the starting node count when it is scaled to the tolerance.
constexpr int least_start_nodes = 8, most_start_nodes = 64;
// Rounds of the resolution choice: each doubles the nodes or the extent (or both).
constexpr int resolution_rounds = 6;
// Rounds of the targeting: a new resolution at the value found starts another.
constexpr int targeting_rounds = 3;
// Root finder steps at most (Brent's method halves the bracket at least every other step).
constexpr int brent_steps = 60;
// Bisection steps of the closed form and of the valid range: 2^-60 of a factor 10^6.
constexpr int bisection_steps = 60;
// Samples of the closed form across the valid range, to find where it crosses the target.
constexpr int estimate_samples = 48;
// Factors of the outward steps that search for a bracket: at least 1.001, at most 4; each is
// the secant's step lengthened by half.
constexpr double least_step = 1.001, most_step = 4, overshoot = 1.5;
// Relative step of the second point when the corrected closed form gives none.
constexpr double second_step = 0.05;

std::string short_number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

bool valid(const Structure& s, const Values& v) {
  try {
    s.check(v);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

Values with(Values v, const std::string& key, double x) {
  v[key] = x;
  return v;
}

std::vector<double> figures_of(const Structure& s, const lines::LineParameters& p) {
  if (!s.pair) return {p.z_self[0], p.eps_self[0]};
  if (!p.symmetric_pair)
    throw std::runtime_error("the two lines of the pair came out unlike (C or C0 differ)");
  return {p.z_even, p.z_odd, p.eps_even, p.eps_odd};
}

double largest_move(const std::vector<double>& a, const std::vector<double>& b) {
  double m = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    m = std::max(m, std::fabs(b[i] - a[i]) / std::fabs(a[i]));
  return std::isfinite(m) ? m : INFINITY;
}

// The line of a single medium k (every element a conductor in k, no half-space): C = eps C0.
std::optional<double> one_medium(const Outline& o) {
  if (o.igg == 3 || o.pieces.empty()) return std::nullopt;
  const int k = o.pieces.front().minus;
  for (const Piece& p : o.pieces)
    if (p.itype != conductor || p.minus != k || p.plus != k) return std::nullopt;
  return o.deps[k - 1];
}

// The interval of the varied key where the geometry is valid, within vary_span of x.
std::pair<double, double> valid_range(const Structure& s, const Values& v, const std::string& key) {
  const double x = v.at(key);
  auto limit = [&](double end) {
    if (valid(s, with(v, key, end))) return end;
    double in = std::log(x), out = std::log(end);  // valid and not
    for (int i = 0; i < bisection_steps; ++i) {
      const double mid = 0.5 * (in + out);
      (valid(s, with(v, key, std::exp(mid))) ? in : out) = mid;
    }
    return std::exp(in);
  };
  return {limit(x / vary_span), limit(x * vary_span)};
}

// Where the closed form of q equals `target`, the crossing nearest to the present value.
std::optional<double> estimate_root(const Structure& s, const Values& v, const std::string& key,
                                    Quantity q, double target, double lo, double hi) {
  auto g = [&](double lx) {
    return estimate_of(s.estimate(with(v, key, std::exp(lx))), q) - target;
  };
  const double l0 = std::log(lo), l1 = std::log(hi), here = std::log(v.at(key));
  std::optional<double> best;
  double prev_x = l0, prev = g(l0);
  for (int i = 1; i <= estimate_samples; ++i) {
    const double lx = l0 + (l1 - l0) * i / estimate_samples, gx = g(lx);
    if (std::isfinite(prev) && std::isfinite(gx) && (prev <= 0) != (gx <= 0)) {
      double a = prev_x, b = lx, ga = prev;
      for (int k = 0; k < bisection_steps; ++k) {
        const double m = 0.5 * (a + b), gm = g(m);
        if ((gm <= 0) == (ga <= 0)) {
          a = m;
          ga = gm;
        } else {
          b = m;
        }
      }
      const double root = 0.5 * (a + b);
      if (!best || std::fabs(root - here) < std::fabs(*best - here)) best = root;
    }
    prev_x = lx;
    prev = gx;
  }
  if (!best) return std::nullopt;
  return std::exp(*best);
}

}  // namespace

double impedance(const lines::LineParameters& p, Quantity q) {
  switch (q) {
    case Quantity::z0:
      return p.z_self[0];
    case Quantity::zdiff:
      return 2 * p.z_odd;
    case Quantity::zodd:
      return p.z_odd;
    case Quantity::zeven:
      return p.z_even;
    case Quantity::zcm:
      return p.z_even / 2;
  }
  return NAN;
}

const Evaluation& evaluate(Sizing& z, const Values& v, const Resolution& res) {
  for (const Evaluation& e : z.solved)
    if (e.values == v && e.res.nodes == res.nodes && e.res.reach == res.reach) return e;
  const Outline outline = z.s.draw(v, res);
  if (outline.pieces.size() > static_cast<std::size_t>(n0))
    throw std::runtime_error(z.s.name + " needs " + std::to_string(outline.pieces.size()) +
                             " elements at " + std::to_string(res.nodes) +
                             " nodes an element, more than the " + std::to_string(n0) +
                             " there are");
  Evaluation e{v, res, problem_text(outline), {}, {}};
  const Input input = read_outline(e.text);
  lines::check_line_problem(input);
  std::string tag = "  ";
  if (!z.vary.empty()) tag += z.vary + "=" + short_number(v.at(z.vary)) + " mm, ";
  tag += "nodes " + std::to_string(res.nodes);
  if (z.s.truncated) tag += ", extent " + short_number(res.reach);
  tag += ": ";
  lines::Capacitances c;
  const std::optional<double> eps = one_medium(outline);
  if (eps && !z.o.lossy) {
    c.m = input.dims.m;
    c.ge0 = lines::capacitance(lines::vacuum(input), tag.substr(2) + "in vacuum", z.console);
    c.ge = c.ge0;
    for (double& g : c.ge)
      g *= *eps;  // one medium: C = eps C0 (the charges scale with it, the potentials do not)
    c.solutions = 1;
  } else {
    c = lines::capacitances(input, z.o.tan_delta, z.o.lossy, tag.substr(2), z.console);
  }
  z.solutions += c.solutions;
  e.p = lines::line_parameters(c.ge, c.ge0, c.gloss, z.o.frequency, c.m);
  e.figures = figures_of(z.s, e.p);
  z.solved.push_back(std::move(e));
  return z.solved.back();
}

Accuracy choose_resolution(Sizing& z, const Values& v, double tolerance, Resolution start,
                           bool scale_start) {
  Resolution res = start;
  if (scale_start) {
    // The node error falls about as nodes^-2 (the grids crowd quadratically to the edges).
    const double f = default_tolerance / tolerance;
    res.nodes = std::clamp(static_cast<int>(std::lround(start.nodes * std::sqrt(f))),
                           least_start_nodes, most_start_nodes);
    if (z.s.truncated) res.reach = start.reach * std::pow(f, 1 / z.s.reach_order);
  }
  Accuracy a;
  for (int round = 0; round < resolution_rounds; ++round) {
    a = {res, 0, 0};
    const Evaluation& base = evaluate(z, v, res);
    const std::vector<double> f0 = base.figures;
    a.refined = largest_move(f0, evaluate(z, v, {2 * res.nodes, res.reach}).figures);
    if (z.s.truncated)
      a.widened = largest_move(f0, evaluate(z, v, {res.nodes, 2 * res.reach}).figures);
    if (a.estimate() <= tolerance) return a;
    if (a.refined > tolerance / 2) res.nodes *= 2;
    if (a.widened > tolerance / 2) res.reach *= 2;
  }
  throw std::runtime_error("the discretisation error of " + z.s.name + " stays above the " +
                           "tolerance: the figures still move by " +
                           short_number(100 * a.estimate()) + " % (a larger --tolerance?)");
}

Targeted find_value(Sizing& z, const Request& r) {
  const Structure& s = *r.structure;
  const std::string& key = r.vary;
  z.vary = key;
  const auto [lo, hi] = valid_range(s, r.values, key);
  const double T = r.target, ftol = root_share * r.tolerance * T;
  Targeted out;
  double x0 = estimate_root(s, r.values, key, r.quantity, T, lo, hi).value_or(r.values.at(key));
  out.accuracy = choose_resolution(z, with(r.values, key, x0), r.tolerance, s.start, true);
  auto f = [&](double x) {
    ++out.evaluations;
    return impedance(evaluate(z, with(r.values, key, x), out.accuracy.res).p, r.quantity) - T;
  };
  auto fail = [&](double x, double fx, const std::string& beyond = "") {
    throw std::runtime_error("no " + key + " from " + short_number(lo) + " to " + short_number(hi) +
                             " mm gives " + r.quantity_name + " = " + short_number(T) +
                             " ohm: the nearest is " + short_number(fx + T) + " ohm at " + key +
                             " = " + short_number(x) + " mm" + beyond);
  };
  for (int round = 0; round < targeting_rounds; ++round) {
    double e0 = f(x0), x = x0, fx = e0;
    if (std::fabs(e0) > ftol) {
      // The second point: the closed form corrected by the ratio of the solution to it.
      const double cf = estimate_of(s.estimate(with(r.values, key, x0)), r.quantity);
      std::optional<double> x1o;
      if (cf > 0) x1o = estimate_root(s, r.values, key, r.quantity, T * cf / (e0 + T), lo, hi);
      double x1 = x1o.value_or(x0);
      if (!(std::fabs(std::log(x1 / x0)) > 1e-9)) {
        const double up =
            estimate_of(s.estimate(with(r.values, key, x0 * (1 + second_step))), r.quantity) - cf;
        x1 = x0 * ((up > 0) == (e0 < 0) ? 1 + second_step : 1 - second_step);
      }
      x1 = std::clamp(x1, lo, hi);
      double e1 = f(x1);
      // Outward steps until the target is bracketed.
      while ((e0 < 0) == (e1 < 0) && std::fabs(e1) > ftol) {
        double a = x1, ea = e1, b = x0, eb = e0;  // a: the nearer to the target
        if (std::fabs(e0) < std::fabs(e1)) {
          std::swap(a, b);
          std::swap(ea, eb);
        }
        const double dir = std::log(a / b) > 0 ? 1 : -1;
        // The secant's step in log x, lengthened by half so that it likely passes the target
        // and brackets it closely.
        double step = overshoot * std::log(a / b) * ea / (eb - ea);
        if (!(step * dir > 0)) step = dir * std::log(most_step);
        step = dir * std::clamp(std::fabs(step), std::log(least_step), std::log(most_step));
        const double next = std::clamp(a * std::exp(step), lo, hi);
        if (next == a) fail(a, ea);
        x0 = a;
        e0 = ea;
        x1 = next;
        try {
          e1 = f(x1);
        } catch (const std::runtime_error& e) {
          // Far out the solution itself may fail (a channel's kernel overflows 100 heights
          // away): the search ends at the last value solved.
          fail(a, ea, std::string("; at ") + key + " = " + short_number(next) + " mm: " + e.what());
        }
      }
      x = x1;
      fx = e1;
      if (std::fabs(e1) > ftol) {
        // Brent's method on [x0, x1] (Numerical Recipes' zbrent, on the function's value).
        double a = x0, fa = e0, b = x1, fb = e1, c = a, fc = fa, d = b - a, e = d;
        for (int i = 0; i < brent_steps; ++i) {
          if ((fb > 0) == (fc > 0)) {
            c = a;
            fc = fa;
            d = e = b - a;
          }
          if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
          }
          const double tol1 = 4 * std::numeric_limits<double>::epsilon() * std::fabs(b);
          const double xm = 0.5 * (c - b);
          if (std::fabs(fb) <= ftol || std::fabs(xm) <= tol1) break;
          if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            const double sr = fb / fa;
            double p, q;
            if (a == c) {
              p = 2 * xm * sr;
              q = 1 - sr;
            } else {
              const double qa = fa / fc, rb = fb / fc;
              p = sr * (2 * xm * qa * (qa - rb) - (b - a) * (rb - 1));
              q = (qa - 1) * (rb - 1) * (sr - 1);
            }
            if (p > 0) q = -q;
            p = std::fabs(p);
            if (2 * p < std::min(3 * xm * q - std::fabs(tol1 * q), std::fabs(e * q))) {
              e = d;
              d = p / q;
            } else {
              d = xm;
              e = d;
            }
          } else {
            d = xm;
            e = d;
          }
          a = b;
          fa = fb;
          b += std::fabs(d) > tol1 ? d : std::copysign(tol1, xm);
          fb = f(b);
        }
        x = b;
        fx = fb;
        if (std::fabs(fb) > ftol)
          throw std::runtime_error(r.quantity_name + " jumps across " + short_number(T) +
                                   " ohm near " + key + " = " + short_number(b) + " mm");
      }
    }
    // The resolution proven at the value found; a finer one means another round from there.
    const Resolution used = out.accuracy.res;
    out.accuracy = choose_resolution(z, with(r.values, key, x), r.tolerance, used, false);
    out.values = with(r.values, key, x);
    out.achieved = fx + T;
    if (out.accuracy.res.nodes == used.nodes && out.accuracy.res.reach == used.reach) break;
    x0 = x;
  }
  out.achieved = impedance(evaluate(z, out.values, out.accuracy.res).p, r.quantity);
  if (std::fabs(out.achieved - T) > ftol)
    throw std::runtime_error("the targeting did not settle: " + r.quantity_name + " = " +
                             short_number(out.achieved) + " ohm");
  return out;
}

}  // namespace ostrel::structures
