#include "losses/sweep.hpp"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <ostream>
#include <stdexcept>

#include "lines/solutions.hpp"
#include "losses/plane_current.hpp"
#include "losses/recession.hpp"

namespace ostrel::losses {

namespace {

// Plane integrals less exact than this are not vouched for (a grounded element on a plane).
constexpr double plane_error_limit = 1e-6;

std::string figure(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3g", v);
  return buf;
}

void require_finite(const Eigen::MatrixXd& a, const std::string& what, double f) {
  if (!a.allFinite())
    throw std::runtime_error(what + " at " + figure(f) +
                             " Hz is not finite: the line has no meaning");
}

void require_finite(const Eigen::MatrixXcd& a, const std::string& what, double f) {
  if (!a.allFinite())
    throw std::runtime_error(what + " at " + figure(f) +
                             " Hz is not finite: the line has no meaning");
}

}  // namespace

Eigen::MatrixXd to_eigen(const lines::Matrix& a) {
  return Eigen::Map<const Eigen::MatrixXd>(a.a.data(), a.m, a.m);
}

lines::Matrix to_lines(const Eigen::MatrixXd& a) {
  return lines::Matrix(static_cast<int>(a.rows()),
                       std::span<const double>(a.data(), static_cast<std::size_t>(a.size())));
}

Sweep analyse(const Input& in, const lines::Options& o, const std::string& tag,
              std::ostream& console) {
  const Problem& pb = in.problem;
  Sweep s;
  s.m = in.dims.m;
  const int m = s.m;
  s.outlines = conductor_outlines(pb, m);

  bool all_vacuum = true;
  for (int k = 1; k <= ndiel; ++k)
    all_vacuum = all_vacuum && pb.deps(k) == 1.0;
  const Input vacuum = lines::vacuum(in);
  const VacuumSolution v =
      solve_vacuum_shown(vacuum, tag + "in vacuum, with the surface currents", console);
  ++s.solutions;
  Eigen::MatrixXd ge = v.ge0;
  if (!all_vacuum) {
    const std::vector<double> c = lines::capacitance(in, tag + "with the dielectrics", console);
    ++s.solutions;
    ge = Eigen::Map<const Eigen::MatrixXd>(c.data(), m, m);
  }
  s.base = lines::line_parameters(std::span(ge.data(), ge.size()),
                                  std::span(v.ge0.data(), v.ge0.size()), {}, 0, m);

  s.currents = current_integrals(v);
  // Outlines with corners: the integrals of J_a J_b from the incremental inductance.
  for (const ConductorOutline& c : s.outlines)
    if (c.corners) {
      s.currents.surface[c.conductor] = incremental_inductance(vacuum, c, tag, console);
      s.solutions += 2;
    }
  if (s.currents.plane_error > plane_error_limit)
    throw std::runtime_error(
        "the return current on the grounded planes cannot be integrated (estimated error " +
        figure(s.currents.plane_error) +
        "): an element touches a plane or lies on it; keep the conductors off the planes");
  for (int a = 0; a < m; ++a) {
    const double missing = std::fabs(s.currents.net.col(a).sum());
    s.return_error = std::max(s.return_error, missing);
    if (!(missing <= return_tolerance))
      throw std::runtime_error(
          "the return path of conductor " + std::to_string(a + 1) + " carries only " +
          figure(1 - missing) +
          " of its current: the line has no complete return conductor (igg 0, 2 or 3 without a "
          "grounded conductor enclosing the others: give idmn 1, so that the charges sum to "
          "zero, or a shield)");
  }
  s.dielectric = dielectric_loss(in, ge, o.tan_delta, o.loss, tag, console);
  s.solutions += s.dielectric.solutions;
  s.conductor = conductor_loss(s.currents, s.outlines, o.loss, m);

  for (double f : o.loss.frequencies)
    s.points.push_back(sweep_point(s, f, o.length, o.loss.z_ref));
  return s;
}

SweepPoint sweep_point(const Sweep& s, double f, double length, double z_ref) {
  SweepPoint p;
  p.f = f;
  const double w = 2 * std::numbers::pi * f;
  const SeriesLoss sl = series_loss(s.conductor, f);
  const ShuntAdmittance sh = shunt_admittance(s.dielectric, f);
  p.r = sl.r;
  p.l_internal = sl.x / w;
  p.l = to_eigen(s.base.l) + p.l_internal;
  p.g = sh.g;
  p.c = sh.c;
  p.response = line_response(p.r, p.l, p.g, p.c, f, length, z_ref);
  if (s.base.symmetric_pair && length > 0) {
    p.mixed = true;
    p.mixed_mode = mixed_mode(p.response.s);
  }
  return p;
}

void check_finite(const Sweep& s) {
  for (const SweepPoint& p : s.points)
    check_finite(p);
}

void check_finite(const SweepPoint& p) {
  {
    require_finite(p.r, "the resistance", p.f);
    require_finite(p.l, "the inductance", p.f);
    require_finite(p.g, "the conductance", p.f);
    require_finite(p.c, "the capacitance", p.f);
    require_finite(p.response.zc, "the characteristic impedance", p.f);
    if (p.response.s.size() > 0) require_finite(p.response.s, "the S-parameters", p.f);
    for (const ModeFigures& mf : p.response.modes)
      if (!std::isfinite(mf.alpha) || !std::isfinite(mf.alpha_c) || !std::isfinite(mf.alpha_d) ||
          !std::isfinite(mf.velocity) || !std::isfinite(mf.eps_eff) || !(mf.velocity > 0))
        throw std::runtime_error("a mode's attenuation or velocity at " + figure(p.f) +
                                 " Hz is not finite: the line has no meaning");
    if (p.mixed && (!std::isfinite(std::abs(p.mixed_mode.sdd21)) ||
                    !std::isfinite(std::abs(p.mixed_mode.scc21))))
      throw std::runtime_error("the mixed-mode S-parameters at " + figure(p.f) +
                               " Hz are not finite");
  }
}

}  // namespace ostrel::losses
