#include "lines/parameters.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <stdexcept>
#include <string>

// LAPACK from OpenBLAS (already linked for the LU's matrix products). dsyev is the reference
// symmetric eigensolver: backward stable, real eigenvalues and orthonormal eigenvectors in all
// cases, degenerate ones included. Every matrix this file decomposes is symmetric (C, C0 and
// A^1/2 B^-1 A^1/2), so a general solver (dgeev on L C) is not needed: on the non-symmetric
// product it could turn the equal eigenvalues of a homogeneous medium into complex pairs by
// rounding, and its eigenvectors are not orthogonal. The trailing arguments are the lengths of
// the two character arguments (gfortran's calling convention).
extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                       double* w, double* work, const int* lwork, int* info, std::size_t jobz_len,
                       std::size_t uplo_len);

namespace ostrel::lines {

namespace {

Matrix multiply(const Matrix& x, const Matrix& y) {
  Matrix r(x.m);
  for (int j = 0; j < x.m; ++j)
    for (int k = 0; k < x.m; ++k)
      for (int i = 0; i < x.m; ++i)
        r(i, j) += x(i, k) * y(k, j);
  return r;
}

// f(A) = U diag(f(lambda)) U^T for a symmetric A = U diag(lambda) U^T, made exactly symmetric.
template <class F>
Matrix apply(const SymmetricEigen& e, F f) {
  const int m = e.vectors.m;
  Matrix r(m);
  for (int k = 0; k < m; ++k) {
    const double fk = f(e.values[k]);
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < m; ++i)
        r(i, j) += e.vectors(i, k) * fk * e.vectors(j, k);
  }
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < j; ++i)
      r(i, j) = r(j, i) = 0.5 * (r(i, j) + r(j, i));
  return r;
}

// Decomposes a matrix that must be positive definite; `what` names it in the failure.
SymmetricEigen positive_definite(const Matrix& a, const char* what) {
  SymmetricEigen e = symmetric_eigen(a);
  if (!(e.values.front() > 0) || !std::isfinite(e.values.back()))
    throw std::runtime_error(std::string("the ") + what +
                             " is not positive definite (smallest eigenvalue " +
                             std::to_string(e.values.front()) + "): the line has no meaning");
  return e;
}

Matrix scaled(const Matrix& x, double factor) {
  Matrix r = x;
  for (double& v : r.a)
    v *= factor;
  return r;
}

}  // namespace

SymmetricEigen symmetric_eigen(const Matrix& a) {
  const int n = a.m;
  SymmetricEigen e;
  e.vectors = a;
  e.values.assign(n, 0.0);
  if (n == 0) return e;
  int lwork = -1, info = 0;
  double query = 0;
  dsyev_("V", "L", &n, e.vectors.a.data(), &n, e.values.data(), &query, &lwork, &info, 1, 1);
  lwork = std::max(1, static_cast<int>(query));
  std::vector<double> work(lwork);
  dsyev_("V", "L", &n, e.vectors.a.data(), &n, e.values.data(), work.data(), &lwork, &info, 1, 1);
  if (info != 0)
    throw std::runtime_error("the symmetric eigensolver failed (dsyev info " +
                             std::to_string(info) + ")");
  return e;
}

LineParameters line_parameters(std::span<const double> ge, std::span<const double> ge0,
                               std::span<const double> gloss, double frequency, int m) {
  const Matrix a(m, ge), b(m, ge0);
  LineParameters p;
  p.m = m;
  p.c = scaled(a, eps0);
  p.c0 = scaled(b, eps0);
  p.g = Matrix(m);
  if (!gloss.empty()) p.g = scaled(Matrix(m, gloss), 2 * std::numbers::pi * frequency * eps0);

  const SymmetricEigen ea = positive_definite(a, "capacitance matrix with the dielectrics");
  const SymmetricEigen eb = positive_definite(b, "capacitance matrix in vacuum");
  p.l = scaled(apply(eb, [](double v) { return 1 / v; }), mu0);

  for (int i = 0; i < m; ++i) {
    p.eps_self.push_back(a(i, i) / b(i, i));
    p.z_self.push_back(eta0 / std::sqrt(a(i, i) * b(i, i)));
    p.delay_self.push_back(std::sqrt(p.eps_self.back()) / speed_of_light);
  }

  // M = A^1/2 B^-1 A^1/2 = W diag(mu) W^T: mu are the effective permittivities of the modes,
  // A^-1/2 W their voltage vectors.
  const Matrix a_half = apply(ea, [](double v) { return std::sqrt(v); });
  const Matrix a_minus_half = apply(ea, [](double v) { return 1 / std::sqrt(v); });
  Matrix mm = multiply(multiply(a_half, apply(eb, [](double v) { return 1 / v; })), a_half);
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < j; ++i)
      mm(i, j) = mm(j, i) = 0.5 * (mm(i, j) + mm(j, i));
  const SymmetricEigen em = positive_definite(mm, "modal matrix");
  p.voltage_modes = multiply(a_minus_half, em.vectors);
  for (int k = 0; k < m; ++k) {
    const double mu = em.values[k];
    p.eps_mode.push_back(mu);
    p.velocity_mode.push_back(speed_of_light / std::sqrt(mu));
    p.delay_mode.push_back(std::sqrt(mu) / speed_of_light);
    // Scaled by its largest entry; among entries equal to rounding the first, so that the
    // signs shown do not depend on the last bits of the matrices.
    int big = 0;
    for (int i = 1; i < m; ++i)
      if (std::fabs(p.voltage_modes(i, k)) >
          std::fabs(p.voltage_modes(big, k)) * (1 + mode_sign_margin))
        big = i;
    const double norm = p.voltage_modes(big, k);
    for (int i = 0; i < m; ++i)
      p.voltage_modes(i, k) /= norm;
  }
  const Matrix m_half = apply(em, [](double v) { return std::sqrt(v); });
  p.zc = scaled(multiply(multiply(a_minus_half, m_half), a_minus_half), eta0);
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < j; ++i)
      p.zc(i, j) = p.zc(j, i) = 0.5 * (p.zc(i, j) + p.zc(j, i));

  // Two lines alike: the modes are exactly even and odd; their figures from the matrices, with
  // the two diagonal entries averaged.
  if (m == 2 && std::fabs(a(0, 0) - a(1, 1)) <= symmetric_pair_tolerance * std::fabs(a(0, 0)) &&
      std::fabs(b(0, 0) - b(1, 1)) <= symmetric_pair_tolerance * std::fabs(b(0, 0))) {
    p.symmetric_pair = true;
    const double a_self = 0.5 * (a(0, 0) + a(1, 1)), b_self = 0.5 * (b(0, 0) + b(1, 1));
    const double ae = a_self + a(1, 0), be = b_self + b(1, 0);
    const double ao = a_self - a(1, 0), bo = b_self - b(1, 0);
    p.z_even = eta0 / std::sqrt(ae * be);
    p.z_odd = eta0 / std::sqrt(ao * bo);
    p.eps_even = ae / be;
    p.eps_odd = ao / bo;
    p.delay_even = std::sqrt(p.eps_even) / speed_of_light;
    p.delay_odd = std::sqrt(p.eps_odd) / speed_of_light;
  }
  return p;
}

void require_finite(const LineParameters& p) {
  const auto check = [](const char* name, std::span<const double> values) {
    for (double v : values)
      if (!std::isfinite(v))
        throw std::runtime_error(std::string("a figure of the line is not a finite number: ") +
                                 name + " holds " + std::to_string(v));
  };
  check("C", p.c.a), check("C0", p.c0.a), check("L", p.l.a), check("G", p.g.a);
  check("Zc", p.zc.a), check("the modes' voltages", p.voltage_modes.a);
  check("the self impedances", p.z_self), check("the effective permittivities", p.eps_self);
  check("the delays", p.delay_self), check("the modes' permittivities", p.eps_mode);
  check("the modes' velocities", p.velocity_mode), check("the modes' delays", p.delay_mode);
  check("the even and odd modes",
        std::vector<double>{p.z_even, p.z_odd, p.eps_even, p.eps_odd, p.delay_even, p.delay_odd});
}

}  // namespace ostrel::lines
