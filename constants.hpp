// Numerical constants of the two builds.
//
// Several values are single-precision numbers widened to double on purpose: the results of
// the console program are defined with them, so they must not be replaced by more precise ones.
// The windowed program follows an older state of the design with other values; everything
// that differs between the two builds lives in one BuildConstants record, chosen at start-up
// and carried by the problem description.
#pragma once

namespace ostrel {

struct BuildConstants {
  double pi;              ///< pi used by geometry, kernels, assembly and pictures
  double two_pi;          ///< 2*pi in the same precision
  double tiny;            ///< small-value threshold: log limits, LU tolerance, ort, equal materials
  double zero_length;     ///< elements shorter than this are rejected on input
  double half_threshold;  ///< where the first half of an open element's grid ends
  int min_auto_ni;        ///< least number of sub-elements of an automatic subdivision
  double permeability;    ///< vacuum permeability in units of 1e-6 H/m, for inductances
};

/// Console build: pi = 3.14159274 (float), 1e-9 as float.
inline constexpr BuildConstants console_build{
    3.1415927410125732,     // float(pi)
    6.2831854820251465,     // float(2*pi)
    9.999999717180685e-10,  // float(1e-9)
    9.999999717180685e-10,  // float(1e-9)
    1.000000001,            // grid half threshold
    3,                      // at least 3 automatic sub-elements
    1.2566371151303812,     // permeability factor of the result tables
};

/// Windowed build: ten-digit pi, threshold 1e-6 in double.
inline constexpr BuildConstants windowed_build{
    3.1415926536, 6.2831853072, 1.0e-6, 1.0e-6, 1.000001, 1, 1.2566370801653515,
};

/// Vacuum permittivity in pF/m: float(8.8542).
inline constexpr double vacuum_permittivity_pf = 8.85420036315918;
/// Pico factor: float(1e-12).
inline constexpr double pico = 9.999999960041972e-13;
/// Margin of the EPS picture's world window: float(0.025).
inline constexpr double eps_picture_margin = 0.02500000037252903;
/// Margin of the on-screen plots: float(0.05).
inline constexpr double screen_plot_margin = 0.05000000074505806;

}  // namespace ostrel
