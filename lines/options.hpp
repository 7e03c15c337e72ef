// The command line of ostrel-lines.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "elements.hpp"
#include "losses/loss_options.hpp"

namespace ostrel::lines {

struct Options {
  std::string problem;                    ///< the problem input file
  bool help = false;                      ///< --help: print the usage and stop
  bool version = false;                   ///< --version: print the version and stop
  double length = 0;                      ///< --length (m): write the circuit models; 0 = none
  double frequency = 0;                   ///< --frequency (Hz) of the dielectric loss
  bool check = false;                     ///< --check: solve again with the element grids refined
  bool lossy = false;                     ///< some --tan-delta was given
  std::array<double, ndiel> tan_delta{};  ///< loss tangent of medium k at tan_delta[k-1]
  std::string json, rlgc, cpl;            ///< output file names (defaults from the problem's)
  losses::LossOptions loss;               ///< the lossy line over frequency (--frequencies ...)
  // A named cross-section instead of a problem file (structures/).
  std::string structure;                 ///< --structure NAME
  std::string structure_file;            ///< --structure-file FILE: key=value lines
  std::vector<std::string> assignments;  ///< KEY=VALUE arguments of the structure
  std::string write_problem;             ///< --write-problem FILE: save the generated problem
  std::string target;                    ///< --target QUANTITY=OHMS
  std::string vary;                      ///< --vary KEY
  double tolerance = 0;                  ///< --tolerance (relative); 0: the default
  bool structured() const { return !structure.empty() || !structure_file.empty(); }
};

/// The text of an option's value as a finite real (the whole text, no blanks); throws
/// std::invalid_argument naming the option otherwise.
double option_real(const std::string& option, const std::string& text);

/// option_real() of a value that must be positive.
double option_positive(const std::string& option, const std::string& text);

/// The usage text of --help.
std::string usage();

/// The version line of --version.
std::string version();

/// Reads the arguments (argv[1..argc-1]). Every mistake throws std::invalid_argument with a
/// message that names the argument: an unknown option, a missing or malformed value (lengths
/// and frequencies must be finite and positive, a loss tangent finite in 0..1, a medium index
/// 1..ndiel), a loss tangent without --frequency or --frequencies, the sweep's options
/// (losses::parse_loss_option) malformed or without --frequencies, more or fewer than one
/// problem file. Fills the
/// default output names: the problem file's name with ".json", ".rlgc" and ".cpl" appended.
/// With --structure or --structure-file there is no problem file: arguments KEY=VALUE are the
/// structure's, and the output names come from the structure file's name or the structure's.
Options parse_options(const std::vector<std::string>& args);

}  // namespace ostrel::lines
