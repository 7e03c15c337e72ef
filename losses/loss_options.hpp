// The command-line options of the lossy line over frequency (ostrel-lines --frequencies ...).
#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "elements.hpp"

namespace ostrel::losses {

/// Conductivity of annealed copper, S/m: the IACS standard's 58.0 MS/m at 20 degrees C.
inline constexpr double copper_conductivity = 5.8e7;
/// Reference impedance of the S-parameters, ohm: the usual 50 ohm of measuring equipment.
inline constexpr double default_z_ref = 50.0;
/// Most frequencies one run accepts: a table far longer than any sweep an instrument makes,
/// small enough that the output stays a few megabytes.
inline constexpr int max_frequencies = 100000;

/// Surface roughness of one conductor.
struct Roughness {
  enum Kind { smooth, hammerstad, huray } kind = smooth;
  double rms = 0;     ///< Hammerstad-Jensen: rms height of the profile (m)
  double radius = 0;  ///< Huray: radius of the nodules (m)
  double ratio = 0;   ///< Huray: total nodule surface per flat area, N 4 pi a^2 / A_flat
};

/// A medium that follows the wideband Debye (Djordjevic-Sarkar) model.
struct Debye {
  double reference = 0;  ///< frequency (Hz) at which deps(K) and its loss tangent are given
};

/// What --frequencies and its companion options ask for. Conductor numbers are checked
/// against the problem after reading (0 is the ground: the elements with isign 0 and the
/// grounded planes of the Green's function).
struct LossOptions {
  std::vector<double> frequencies;  ///< Hz, in the order given; empty: no sweep
  double unit = 0;                  ///< metres per length unit of the problem; 0: not given
  std::string unit_name;            ///< as given ("mm", "1e-3")
  bool sigma_all_given = false;     ///< a bare --sigma VALUE
  double sigma_all = copper_conductivity;
  std::map<int, double> sigma;         ///< per conductor (0 = ground), S/m
  Roughness roughness_all;             ///< a bare --roughness
  std::map<int, Roughness> roughness;  ///< per conductor (0 = ground)
  std::map<int, Debye> debye;          ///< per medium index 1..ndiel
  double z_ref = default_z_ref;        ///< ohm
  double ground_thickness = 0;         ///< m; 0 = infinitely thick unbounded ground metal
  std::string csv, touchstone;         ///< output names; empty: defaults from the problem's

  bool sweep() const { return !frequencies.empty(); }
  /// Conductivity of conductor k (0 = ground).
  double sigma_of(int k) const;
  /// Roughness of conductor k (0 = ground).
  Roughness roughness_of(int k) const;
};

/// Tries the option `name` (without its value): when it is one of the sweep's options, reads
/// its value through `next` (which throws when there is none), stores it and returns true;
/// otherwise returns false and reads nothing. Throws std::invalid_argument naming the option
/// for a malformed value: frequencies that are not finite and positive, a count outside
/// 1..max_frequencies, an unknown unit, a conductivity or thickness that is not positive, a
/// roughness that is not "none", "hj:RMS" or "huray:RADIUS:RATIO", a medium outside 1..ndiel.
bool parse_loss_option(LossOptions& o, const std::string& name,
                       const std::function<std::string()>& next);

/// Checks the options against each other once all are read (throws std::invalid_argument):
/// the sweep's options without --frequencies, --frequencies without --unit.
void check_loss_options(const LossOptions& o);

/// The usage text of the sweep's options (a section of --help).
std::string loss_usage();

}  // namespace ostrel::losses
