#include "losses/conductor_loss.hpp"

#include <cmath>
#include <complex>
#include <numbers>

#include "lines/parameters.hpp"

namespace ostrel::losses {

namespace {

constexpr double pi = std::numbers::pi;
// Hammerstad-Jensen's fit constant (Hammerstad and Jensen, 1980).
constexpr double hj_constant = 1.4;
// Huray's factor of the nodules' loss relative to a flat surface of their area: 3/2 (the
// absorption of a good-conductor sphere, Huray et al. 2010).
constexpr double huray_constant = 1.5;

// Rs(f) of a conductivity, ohm.
double surface_resistance(double f, double sigma) {
  return std::sqrt(pi * f * lines::mu0 / sigma);
}

}  // namespace

double skin_depth(double f, double sigma) {
  return 1 / std::sqrt(pi * f * lines::mu0 * sigma);
}

double roughness_factor(const Roughness& r, double delta) {
  switch (r.kind) {
    case Roughness::hammerstad:
      return 1 + 2 / pi * std::atan(hj_constant * (r.rms / delta) * (r.rms / delta));
    case Roughness::huray:
      return 1 + huray_constant * r.ratio /
                     (1 + delta / r.radius + delta * delta / (2 * r.radius * r.radius));
    default:
      return 1;
  }
}

ConductorLoss conductor_loss(const CurrentIntegrals& c,
                             const std::vector<ConductorOutline>& outlines, const LossOptions& o,
                             int m) {
  ConductorLoss loss;
  loss.r_dc = Eigen::MatrixXd::Zero(m, m);
  loss.rs_smooth = Eigen::MatrixXd::Zero(m, m);
  const auto add = [&](LossSurface s) {
    loss.rs_smooth += std::sqrt(pi * lines::mu0 / s.sigma) * s.m;
    if (s.model == LossSurface::rss) loss.r_dc += s.r_dc * s.x * s.x.transpose();
    loss.surfaces.push_back(std::move(s));
  };
  // The conductors first, the ground's elements after them.
  for (int n = 1; n <= m + 1; ++n) {
    const int k = n % (m + 1);
    const ConductorOutline& out = outlines[k];
    if (out.elements.empty()) continue;
    LossSurface s;
    s.conductor = k;
    s.name = k == 0 ? "ground" : "conductor " + std::to_string(k);
    s.sigma = o.sigma_of(k);
    s.roughness = o.roughness_of(k);
    s.m = c.surface[k] / o.unit;
    s.incremental = out.corners;
    if (out.bounded && !(k == 0 && c.has_planes)) {
      s.model = LossSurface::rss;
      s.area = out.area * o.unit * o.unit;
      s.r_dc = 1 / (s.sigma * s.area);
      s.x = k == 0 ? Eigen::VectorXd(-Eigen::VectorXd::Ones(m))
                   : Eigen::VectorXd(Eigen::VectorXd::Unit(m, k - 1));
    } else if (k == 0 && !out.bounded && o.ground_thickness > 0) {
      s.model = LossSurface::slab;
      s.thickness = o.ground_thickness;
    }
    add(std::move(s));
  }
  if (c.has_planes) {
    LossSurface s;
    s.name = "grounded planes";
    s.sigma = o.sigma_of(0);
    s.roughness = o.roughness_of(0);
    s.m = c.planes / o.unit;
    if (o.ground_thickness > 0) {
      s.model = LossSurface::slab;
      s.thickness = o.ground_thickness;
    }
    add(std::move(s));
  }
  return loss;
}

SeriesLoss series_loss(const ConductorLoss& loss, double f) {
  const int m = static_cast<int>(loss.r_dc.rows());
  SeriesLoss out{Eigen::MatrixXd::Zero(m, m), Eigen::MatrixXd::Zero(m, m)};
  for (const LossSurface& s : loss.surfaces) {
    const double delta = skin_depth(f, s.sigma);
    const double rs = surface_resistance(f, s.sigma) * roughness_factor(s.roughness, delta);
    const Eigen::MatrixXd skin = rs * s.m;
    switch (s.model) {
      case LossSurface::rss: {
        const double share = s.x.squaredNorm();
        const double r_sk = s.x.dot(skin * s.x) / (share * share);
        const double both = std::hypot(s.r_dc, r_sk);
        const double w_dc = s.r_dc / both, w_sk = r_sk / both;
        out.r += w_dc * s.r_dc * s.x * s.x.transpose() + w_sk * skin;
        out.x += w_sk * skin;
        break;
      }
      case LossSurface::slab: {
        // coth(z) = (1 + e^-2z)/(1 - e^-2z), Re z > 0: no overflow for thick slabs.
        const std::complex<double> z(s.thickness / delta, s.thickness / delta);
        const std::complex<double> e = std::exp(-2.0 * z);
        const std::complex<double> zs = std::complex<double>(1, 1) * (1.0 + e) / (1.0 - e);
        out.r += zs.real() * skin;
        out.x += zs.imag() * skin;
        break;
      }
      default:
        out.r += skin;
        out.x += skin;
    }
  }
  return out;
}

}  // namespace ostrel::losses
