#include "losses/line_response.hpp"

#include <unsupported/Eigen/MatrixFunctions>

#include <algorithm>
#include <numbers>

#include "lines/parameters.hpp"

namespace ostrel::losses {

namespace {

using cd = std::complex<double>;
constexpr cd j{0.0, 1.0};

}  // namespace

std::vector<cd> propagation_constants(const Eigen::MatrixXcd& z, const Eigen::MatrixXcd& y) {
  const Eigen::MatrixXcd zy = z * y;
  Eigen::ComplexEigenSolver<Eigen::MatrixXcd> solver(-zy, false);
  std::vector<cd> gamma;
  for (Eigen::Index i = 0; i < solver.eigenvalues().size(); ++i)
    gamma.push_back(j * std::sqrt(solver.eigenvalues()(i)));
  std::sort(gamma.begin(), gamma.end(), [](cd a, cd b) { return a.imag() < b.imag(); });
  return gamma;
}

Eigen::MatrixXcd propagation_matrix(const Eigen::MatrixXcd& z, const Eigen::MatrixXcd& y) {
  const Eigen::MatrixXcd minus = -(z * y);
  return j * minus.sqrt();
}

Eigen::MatrixXcd characteristic_impedance(const Eigen::MatrixXcd& gamma,
                                          const Eigen::MatrixXcd& z) {
  const Eigen::MatrixXcd zc = gamma.partialPivLu().solve(z);
  return 0.5 * (zc + zc.transpose());
}

Eigen::MatrixXcd s_parameters(const Eigen::MatrixXcd& gamma, const Eigen::MatrixXcd& z,
                              double length, double z_ref) {
  const Eigen::Index m = z.rows();
  const Eigen::MatrixXcd yc = z.partialPivLu().solve(gamma);
  const Eigen::MatrixXcd e = (-gamma * length).exp();
  const Eigen::MatrixXcd id = Eigen::MatrixXcd::Identity(m, m);
  const Eigen::MatrixXcd p = id + z_ref * yc, q = id - z_ref * yc;
  // S_x = B A^-1, computed as (A^T \ B^T)^T.
  const auto right_divide = [](const Eigen::MatrixXcd& b, const Eigen::MatrixXcd& a) {
    return Eigen::MatrixXcd(a.transpose().partialPivLu().solve(b.transpose()).transpose());
  };
  const Eigen::MatrixXcd se = right_divide(q + p * e, p + q * e);
  const Eigen::MatrixXcd so = right_divide(q - p * e, p - q * e);
  Eigen::MatrixXcd s(2 * m, 2 * m);
  s.topLeftCorner(m, m) = s.bottomRightCorner(m, m) = 0.5 * (se + so);
  s.bottomLeftCorner(m, m) = s.topRightCorner(m, m) = 0.5 * (se - so);
  // A reciprocal line has S = S^T; the average removes the rounding of the two solves.
  return 0.5 * (s + s.transpose());
}

MixedMode mixed_mode(const Eigen::MatrixXcd& s) {
  return {0.5 * (s(2, 0) - s(2, 1) - s(3, 0) + s(3, 1)),
          0.5 * (s(2, 0) + s(2, 1) + s(3, 0) + s(3, 1))};
}

LineResponse line_response(const Eigen::MatrixXd& r, const Eigen::MatrixXd& l,
                           const Eigen::MatrixXd& g, const Eigen::MatrixXd& c, double f,
                           double length, double z_ref) {
  const double w = 2 * std::numbers::pi * f;
  const Eigen::MatrixXcd zl = j * w * l.cast<cd>(), yc = j * w * c.cast<cd>();
  const Eigen::MatrixXcd z = r.cast<cd>() + zl, y = g.cast<cd>() + yc;
  const std::vector<cd> all = propagation_constants(z, y);
  const std::vector<cd> cond = propagation_constants(z, yc);
  const std::vector<cd> diel = propagation_constants(zl, y);
  LineResponse out;
  for (std::size_t k = 0; k < all.size(); ++k) {
    ModeFigures mf;
    mf.gamma = all[k];
    mf.alpha = all[k].real();
    mf.alpha_c = cond[k].real();
    mf.alpha_d = diel[k].real();
    mf.velocity = w / all[k].imag();
    mf.eps_eff = std::pow(lines::speed_of_light / mf.velocity, 2);
    out.modes.push_back(mf);
  }
  // One matrix square root serves Zc and S.
  const Eigen::MatrixXcd gamma = propagation_matrix(z, y);
  out.zc = characteristic_impedance(gamma, z);
  if (length > 0) out.s = s_parameters(gamma, z, length, z_ref);
  return out;
}

}  // namespace ostrel::losses
