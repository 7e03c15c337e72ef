// Transmission-line parameters of a multi-conductor line from its capacitance matrices.
//
// For perfect conductors in nonmagnetic media the line is described by its per-unit-length
// capacitance C (with the dielectrics) and C0 (every permittivity replaced by 1): the inductance
// is L = mu0 eps0 C0^-1, and the modes propagate with the eigenvalues of L C. Everything here
// works on the non-dimensional matrices of the solution (charge per unit length per unit vacuum
// permittivity), in SI units on output.
#pragma once

#include <span>
#include <vector>

namespace ostrel::lines {

/// Speed of light in vacuum, m/s: exact by the definition of the metre.
inline constexpr double speed_of_light = 299792458.0;
/// Vacuum permeability, H/m: the CODATA 2018 recommended value.
inline constexpr double mu0 = 1.25663706212e-6;
/// Vacuum permittivity, F/m: 1/(mu0 c^2) from the two values above.
inline constexpr double eps0 = 1.0 / (mu0 * speed_of_light * speed_of_light);
/// Impedance of free space, ohm: mu0 c.
inline constexpr double eta0 = mu0 * speed_of_light;

/// Largest relative difference of C(1,1) and C(2,2) (and of C0(1,1) and C0(2,2)) for which two
/// lines count as a symmetric pair. Mirror-image lines discretised with different grids (a
/// translated copy is not a mirror image) differ by far less; lines meant to differ, by more.
inline constexpr double symmetric_pair_tolerance = 1e-3;

/// Relative margin by which a mode's entry must exceed an earlier one to become the entry the
/// mode is scaled by: entries of equal magnitude (a symmetric pair) differ only by rounding.
inline constexpr double mode_sign_margin = 1e-9;

/// A small dense matrix, column-major, 0-based.
struct Matrix {
  int m = 0;
  std::vector<double> a;

  Matrix() = default;
  explicit Matrix(int order) : m(order), a(static_cast<std::size_t>(order) * order, 0.0) {}
  Matrix(int order, std::span<const double> values) : m(order), a(values.begin(), values.end()) {}
  double& operator()(int i, int j) { return a[static_cast<std::size_t>(j) * m + i]; }
  double operator()(int i, int j) const { return a[static_cast<std::size_t>(j) * m + i]; }
};

/// Eigen-decomposition of a symmetric matrix: values ascending, vectors orthonormal columns.
struct SymmetricEigen {
  std::vector<double> values;
  Matrix vectors;
};

/// Eigenvalues and eigenvectors of the symmetric matrix `a` (its lower triangle is used) by
/// LAPACK's dsyev. Cost about 9 m^3 flops. Throws std::runtime_error when LAPACK reports a
/// failure (no convergence); does not check symmetry.
SymmetricEigen symmetric_eigen(const Matrix& a);

/// Everything reported for one line, in SI units. Matrices are m x m.
struct LineParameters {
  int m = 0;
  Matrix c, c0, l, g;  ///< F/m with dielectrics, F/m in vacuum, H/m, S/m (zero: lossless)
  /// Per conductor i: the line with every other conductor held at 0 V along its whole length,
  /// Z = 1/(c sqrt(C(i,i) C0(i,i))), eps_eff = C(i,i)/C0(i,i), delay = sqrt(eps_eff)/c.
  std::vector<double> z_self, eps_self, delay_self;
  /// Modes, ascending in effective permittivity: eps_eff = c^2 lambda for each eigenvalue
  /// lambda of L C, velocity 1/sqrt(lambda), delay sqrt(lambda) (s/m).
  std::vector<double> eps_mode, velocity_mode, delay_mode;
  /// Voltage vector of each mode (column k), scaled so that its largest entry is +1.
  Matrix voltage_modes;
  /// Characteristic impedance matrix (ohm): V = Zc I for every wave travelling forward.
  Matrix zc;
  /// Two symmetric lines: the even (both at +V) and odd (+V, -V) modes.
  bool symmetric_pair = false;
  double z_even = 0, z_odd = 0, eps_even = 0, eps_odd = 0, delay_even = 0, delay_odd = 0;
};

/// Derives the line parameters from the non-dimensional capacitance matrices ge (with the
/// dielectrics) and ge0 (in vacuum), both m x m column-major, symmetric and positive definite,
/// and the non-dimensional loss matrix gloss (sum over the media of tan(delta) times the part
/// of ge that the medium carries; empty for a lossless line) at `frequency` (Hz).
///
/// The modes come from the symmetric problem M = A^1/2 B^-1 A^1/2 (A = ge, B = ge0), which has
/// the eigenvalues of c^2 L C, so that every step is a symmetric eigen-decomposition: real
/// eigenvalues and orthonormal vectors even when modes are degenerate (a homogeneous medium).
/// Zc = eta0 A^-1/2 M^1/2 A^-1/2, the symmetric form of (L C)^-1/2 L. Cost O(m^3).
/// Throws std::runtime_error when ge or ge0 is not positive definite.
LineParameters line_parameters(std::span<const double> ge, std::span<const double> ge0,
                               std::span<const double> gloss, double frequency, int m);

/// Throws std::runtime_error naming the first figure of `p` that is not a finite number (a
/// conductance at an absurd frequency, a solution that went wrong): such a figure must not be
/// reported, in the table or in a file. O(m^2).
void require_finite(const LineParameters& p);

}  // namespace ostrel::lines
