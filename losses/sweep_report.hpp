// The reports of the lossy line over frequency: the console table, the CSV table, the JSON
// member and the Touchstone file.
#pragma once

#include <string>

#include "lines/options.hpp"
#include "losses/sweep.hpp"

namespace ostrel::losses {

/// Attenuation in dB of one neper: 20 log10(e).
inline constexpr double db_per_neper = 8.685889638065035;

/// The console table: the loss model (each surface's conductivity, roughness, cross-section and
/// DC resistance or law, each medium group's loss law), then per frequency R, L, G, C, Zc, the
/// attenuation of each mode in dB/m (conductor part, dielectric part, total), its phase
/// velocity and with a length the transmission in dB (SDD21 and SCC21 for a symmetric pair).
/// One line per frequency for a single line; a block per frequency otherwise. `refined`
/// (non-null with --check) adds the relative move of R and of the attenuation on the refined
/// grids.
std::string sweep_table(const Sweep& s, const lines::Options& o, const Sweep* refined);

/// The CSV table: a header line, then one line per frequency with every figure in full
/// precision (the shortest text that reads back exactly), SI units named in the header.
std::string sweep_csv(const Sweep& s, const lines::Options& o);

/// The JSON member "sweep" (without a trailing comma or line end) at two spaces of indent:
/// the model and every figure per frequency in SI units; with `refined` its figures as well.
std::string sweep_json(const Sweep& s, const lines::Options& o, const Sweep* refined);

/// The Touchstone 1.1 file of the S-parameters: comment lines ('!') with the origin, the
/// length, the reference and the port order (ports 1..m the near ends of conductors 1..m, ports
/// m+1..2m their far ends), the option line "# Hz S RI R z_ref", then per frequency the matrix
/// row by row, at most four complex entries per line (a two-port in the order of the format,
/// S11 S21 S12 S22, on one line).
std::string touchstone(const Sweep& s, const lines::Options& o, const std::string& title);

/// The default name of the Touchstone file: PROBLEM.sNp with N = 2m.
std::string touchstone_name(const lines::Options& o, int m);

}  // namespace ostrel::losses
