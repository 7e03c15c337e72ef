#include "structures/closed_forms.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "lines/parameters.hpp"

namespace ostrel::structures {

namespace {

constexpr double pi = std::numbers::pi;
using lines::eta0;

// Hammerstad and Jensen's constants (IEEE MTT-S 1980, eqs. 2, 4, 6).
constexpr double hj_f0 = 6, hj_f1 = 30.666, hj_f2 = 0.7528;
constexpr double hj_a1 = 49, hj_a2 = 52, hj_a3 = 0.432, hj_a4 = 18.7, hj_a5 = 18.1;
constexpr double hj_b1 = 0.564, hj_b2 = 0.9, hj_b3 = 3, hj_b4 = 0.053;
constexpr double hj_t1 = 6.517;  // of the thickness correction, eq. 14
// Wheeler's thick stripline (1978): the constants of his width correction and impedance.
constexpr double wh_c1 = 0.0796, wh_c2 = 1.1, wh_c3 = 6.27;
// The IPC coupling of an edge-coupled microstrip pair: 0.48 exp(-0.96 s/h).
constexpr double ipc_k = 0.48, ipc_decay = 0.96;
// Gupta's thickness widening of a coplanar strip: 1.25 t/pi (1 + ln(4 pi w/t)).
constexpr double gupta_width = 1.25;
// Bahl's cover factor of an embedded microstrip: exp(-2 cover/h).
constexpr double bahl_decay = 2;
// Fringe capacitance per edge of a zero-thickness strip facing a plane, over eps: 2 ln 2 / pi
// (Cohn's c_f' for t = 0).
const double fringe = 2 * std::numbers::ln2 / pi;

// Arithmetic-geometric mean of 1 and x, to rounding.
double agm(double x) {
  double a = 1, b = x;
  while (std::fabs(a - b) > 1e-15 * a) {
    const double an = 0.5 * (a + b);
    b = std::sqrt(a * b);
    a = an;
  }
  return a;
}

double hj_z_air(double u) {
  const double f = hj_f0 + (2 * pi - hj_f0) * std::exp(-std::pow(hj_f1 / u, hj_f2));
  return eta0 / (2 * pi) * std::log(f / u + std::sqrt(1 + 4 / (u * u)));
}

double hj_eps(double u, double er) {
  const double a =
      1 + std::log((std::pow(u, 4) + std::pow(u / hj_a2, 2)) / (std::pow(u, 4) + hj_a3)) / hj_a1 +
      std::log(1 + std::pow(u / hj_a5, 3)) / hj_a4;
  const double b = hj_b1 * std::pow((er - hj_b2) / (er + hj_b3), hj_b4);
  return (er + 1) / 2 + (er - 1) / 2 * std::pow(1 + 10 / u, -a * b);
}

// Z of a stripline in air (er = 1).
double stripline_air(double w, double t, double b) {
  if (t == 0) {
    const double x = pi * w / (2 * b);
    return eta0 / 4 * elliptic_ratio(std::tanh(x), 1 / std::cosh(x));
  }
  const double x = t / b, bt = b - t;
  const double m = 2 / (1 + 2.0 / 3.0 * x / (1 - x));
  const double dw =
      bt * x / (pi * (1 - x)) *
      (1 - 0.5 * std::log(std::pow(x / (2 - x), 2) + std::pow(wh_c1 * x / (w / b + wh_c2 * x), m)));
  const double q = 4 / pi * bt / (w + dw);
  return eta0 / (4 * pi) * std::log(1 + q * (2 * q + std::sqrt(4 * q * q + wh_c3)));
}

}  // namespace

double elliptic_ratio(double k, double kp) {
  // K(k) = pi / (2 agm(1, k')), so K(k')/K(k) = agm(1, k')/agm(1, k).
  return agm(kp) / agm(k);
}

Estimate coax_estimate(double a, double b, double er) {
  return {eta0 / (2 * pi * std::sqrt(er)) * std::log(b / a), er};
}

Estimate wire_over_ground_estimate(double r, double h, double er) {
  return {eta0 / (2 * pi * std::sqrt(er)) * std::acosh(h / r), er};
}

Estimate twin_lead_estimate(double r, double s, double ins_t, double ins_er) {
  const double gap = std::acosh(s / (2 * r));
  const double share = std::min(1.0, std::log((r + ins_t) / r) / gap);
  const double eps = 1 + (ins_er - 1) * share;
  return {eta0 / (pi * std::sqrt(eps)) * gap, eps};
}

Estimate microstrip_estimate(double w, double t, double h, double er) {
  const double u = w / h;
  double u1 = u, ur = u;
  if (t > 0) {
    const double t1 = t / h;
    const double coth = 1 / std::tanh(std::sqrt(hj_t1 * u));
    const double du1 = t1 / pi * std::log(1 + 4 * std::numbers::e / (t1 * coth * coth));
    u1 = u + du1;
    ur = u + (1 + 1 / std::cosh(std::sqrt(er - 1))) * du1 / 2;
  }
  const double zr = hj_z_air(ur), z1 = hj_z_air(u1);
  const double eps = hj_eps(ur, er) * (z1 / zr) * (z1 / zr);
  return {z1 / std::sqrt(eps), eps};
}

Estimate embedded_microstrip_estimate(double w, double t, double h, double cover, double er) {
  const Estimate ms = microstrip_estimate(w, t, h, er);
  const double z_air = ms.z0 * std::sqrt(ms.eps_eff);
  const double f = std::exp(-bahl_decay * cover / h);
  const double eps = ms.eps_eff * f + er * (1 - f);
  return {z_air / std::sqrt(eps), eps};
}

Estimate stripline_estimate(double w, double t, double b, double er, double offset) {
  if (offset == 0) return {stripline_air(w, t, b) / std::sqrt(er), er};
  const double below = b / 2 + offset - t / 2, above = b / 2 - offset - t / 2;
  const double z1 = stripline_air(w, t, 2 * below + t), z2 = stripline_air(w, t, 2 * above + t);
  return {2 * z1 * z2 / (z1 + z2) / std::sqrt(er), er};
}

Estimate diff_stripline_estimate(double w, double s, double t, double b, double er) {
  const double tw = std::tanh(pi * w / (2 * b)), tws = std::tanh(pi * (w + s) / (2 * b));
  const double ke = tw * tws, ko = tw / tws;
  const double scale = stripline_air(w, t, b) / stripline_air(w, 0, b) / std::sqrt(er);
  Estimate e;
  e.z_even = eta0 / 4 * elliptic_ratio(ke, std::sqrt((1 - ke) * (1 + ke))) * scale;
  e.z_odd = eta0 / 4 * elliptic_ratio(ko, std::sqrt((1 - ko) * (1 + ko))) * scale;
  return e;
}

Estimate diff_microstrip_estimate(double w, double s, double t, double h, double er) {
  const Estimate ms = microstrip_estimate(w, t, h, er);
  const double k = ipc_k * std::exp(-ipc_decay * s / h);
  Estimate e;
  e.z_even = ms.z0 * (1 + k);
  e.z_odd = ms.z0 * (1 - k);
  return e;
}

Estimate broadside_stripline_estimate(double w, double t, double b, double sep, double er) {
  const double inner = sep / 2, outer = (b - sep) / 2 - t;
  // Odd: each strip faces the electric wall midway and its outer plane; even: the outer only.
  const double c_odd = w / inner + w / outer + 4 * fringe + 2 * t / outer;
  const double c_even = w / outer + 2 * fringe + 2 * t / outer;
  Estimate e;
  e.z_even = eta0 / (std::sqrt(er) * c_even);
  e.z_odd = eta0 / (std::sqrt(er) * c_odd);
  return e;
}

Estimate cpw_estimate(double w, double s, double t, double g, double h, double er, bool grounded) {
  double a = w / 2, b = w / 2 + s;
  const double c = b + g;
  if (t > 0) {
    const double d = std::min(gupta_width * t / pi * (1 + std::log(4 * pi * w / t)), s);
    a += d / 4;  // half of d on each side, half of that in the strip's favour
    b -= d / 4;
  }
  double k0 = a / b;
  if (std::isfinite(g)) k0 *= std::sqrt((1 - b * b / (c * c)) / (1 - a * a / (c * c)));
  const double r0 = 1 / elliptic_ratio(k0, std::sqrt((1 - k0) * (1 + k0)));  // K(k0)/K(k0')
  double c_air = 0, c_diel = 0;                                              // over eps0
  if (grounded) {
    const double k3 = std::tanh(pi * a / (2 * h)) / std::tanh(pi * b / (2 * h));
    const double r3 = 1 / elliptic_ratio(k3, std::sqrt((1 - k3) * (1 + k3)));
    c_air = 2 * r0 + 2 * r3;
    c_diel = 2 * r0 + 2 * er * r3;
  } else {
    double r1 = r0;  // a half-space: the substrate holds the whole lower half-plane
    if (std::isfinite(h)) {
      const double k1 = std::sinh(pi * a / (2 * h)) / std::sinh(pi * b / (2 * h));
      r1 = 1 / elliptic_ratio(k1, std::sqrt((1 - k1) * (1 + k1)));
    }
    c_air = 4 * r0;
    c_diel = 4 * r0 + 2 * (er - 1) * r1;
  }
  // Z = 1/(c sqrt(C C0)) with C = eps0 c_diel: eta0 / sqrt(c_diel c_air).
  return {eta0 / std::sqrt(c_diel * c_air), c_diel / c_air};
}

}  // namespace ostrel::structures
