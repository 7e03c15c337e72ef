// The flow of ostrel-lines with --frequencies: the lossy line over frequency.
#pragma once

#include <iosfwd>

#include "driver/reading.hpp"
#include "lines/options.hpp"

namespace ostrel::losses {

/// Runs the sweep of the checked line problem `input` for the options: checks the output names
/// first (none may be the problem file or another output), analyses the line (and with --check
/// the refined grids), refuses any figure that is not finite, then writes the lossless table of
/// ostrel-lines and the sweep's table to `console`, the JSON file with the sweep's member, the
/// CSV table and, with --length, the Touchstone file, the RLGC file (R0, Rs, Gd) and the CPL
/// model (R, L, G, C at --frequency, or at the highest frequency of the sweep). Every file is
/// written whole or not at all (write_output). Throws OutputError for an output file and
/// std::runtime_error (or what the solutions throw) for a line that cannot be analysed, and
/// std::invalid_argument for options that do not fit the problem (a conductor number above m,
/// a Debye fit that fails); nothing is written then.
void run_sweep(const Input& input, const lines::Options& o, std::ostream& console);

}  // namespace ostrel::losses
