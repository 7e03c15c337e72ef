// The multiconductor transmission line at one frequency: modes, characteristic impedance and
// the S-parameters of a length of it, from the series impedance Z = R + j omega L and the shunt
// admittance Y = G + j omega C per unit length (complex m x m matrices, Eigen).
//
// Eigen (Debian's libeigen3-dev, header-only) supplies the complex LU, the eigenvalues and, from
// its MatrixFunctions module, the principal square root and the exponential of a matrix by the
// Schur method and by scaling and squaring. Working with these matrix functions instead of the
// eigenvectors of Z Y keeps the result exact when modes are degenerate (a homogeneous medium,
// symmetric conductors), where eigenvectors are not determined.
#pragma once

#include <Eigen/Dense>
#include <complex>
#include <vector>

namespace ostrel::losses {

/// Figures of one mode: propagation constant gamma = alpha + j beta (1/m) of an eigenvalue
/// gamma^2 of Z Y, and its parts.
struct ModeFigures {
  std::complex<double> gamma;
  double alpha = 0;     ///< Np/m
  double alpha_c = 0;   ///< Np/m with G = 0 (the conductor part)
  double alpha_d = 0;   ///< Np/m with R = 0 (the dielectric part)
  double velocity = 0;  ///< phase velocity omega / beta, m/s
  double eps_eff = 0;   ///< (c beta / omega)^2
};

/// The propagation constants of Z Y, Re >= 0, ordered by ascending beta (ascending effective
/// permittivity, the order of the lossless modes). Cost O(m^3).
std::vector<std::complex<double>> propagation_constants(const Eigen::MatrixXcd& z,
                                                        const Eigen::MatrixXcd& y);

/// Gamma = (Z Y)^1/2 with the root of positive real part: j (-Z Y)^1/2 (principal root), whose
/// argument stays away from the branch cut for every passive line.
Eigen::MatrixXcd propagation_matrix(const Eigen::MatrixXcd& z, const Eigen::MatrixXcd& y);

/// The characteristic impedance matrix Zc = Gamma^-1 Z (V = Zc I for a forward wave) of the
/// propagation matrix `gamma` (propagation_matrix) and the series impedance `z`, made symmetric
/// (it is for a reciprocal line; the average removes rounding). Cost O(m^3).
Eigen::MatrixXcd characteristic_impedance(const Eigen::MatrixXcd& gamma, const Eigen::MatrixXcd& z);

/// The 2m-port S-parameters of a line of `length` metres with the propagation matrix `gamma`
/// (propagation_matrix) and the series impedance `z`, reference impedance z_ref (ohm) at
/// every port, ports 1..m the near ends and m+1..2m the far ends. With Yc = Z^-1 Gamma,
/// E = exp(-Gamma length), P = I + z_ref Yc, Q = I - z_ref Yc, the even and odd parts
/// S_e = (Q + P E)(P + Q E)^-1 and S_o = (Q - P E)(P - Q E)^-1 give S11 = S22 = (S_e + S_o)/2 and
/// S21 = S12 = (S_e - S_o)/2, made exactly symmetric. Only decaying exponentials appear, so long
/// and lossy lines are as exact as short ones, and a lossless line at resonance (where its
/// Y-parameters do not exist) is too. Cost O(m^3).
Eigen::MatrixXcd s_parameters(const Eigen::MatrixXcd& gamma, const Eigen::MatrixXcd& z,
                              double length, double z_ref);

/// Mixed-mode transmission of a symmetric pair (ports 1, 2 near, 3, 4 far): the differential
/// SDD21 = (S31 - S32 - S41 + S42)/2 and the common-mode SCC21 = (S31 + S32 + S41 + S42)/2.
struct MixedMode {
  std::complex<double> sdd21, scc21;
};
MixedMode mixed_mode(const Eigen::MatrixXcd& s);

/// Everything of one frequency f (Hz) for the report: modes with their loss parts (the
/// conductor part from the eigenvalues of Z (j omega C), the dielectric part from those of
/// (j omega L) Y, matched to the modes by their order), Zc and, with length > 0, S.
struct LineResponse {
  std::vector<ModeFigures> modes;
  Eigen::MatrixXcd zc;
  Eigen::MatrixXcd s;  ///< empty without a length
};
LineResponse line_response(const Eigen::MatrixXd& r, const Eigen::MatrixXd& l,
                           const Eigen::MatrixXd& g, const Eigen::MatrixXd& c, double f,
                           double length, double z_ref);

}  // namespace ostrel::losses
