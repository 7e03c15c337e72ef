// What a structure run is asked to do: the structure and its values, the tolerance and the
// target, from the command line and a structure file (one KEY=VALUE a line).
#pragma once

#include <string>

#include "lines/options.hpp"
#include "structures/catalogue.hpp"

namespace ostrel::structures {

/// The discretisation error a run reaches when --tolerance is not given: 0.1 %.
inline constexpr double default_tolerance = 1e-3;

struct Request {
  const Structure* structure = nullptr;
  Values values;
  double tolerance = default_tolerance;
  bool targeted = false;
  Quantity quantity = Quantity::z0;
  std::string quantity_name;  ///< as the user wrote it: Z0, Zdiff, ...
  double target = 0;          ///< ohm
  std::string vary;           ///< the length key to vary
};

/// The request of the options: the structure file is read first (lines KEY=VALUE; blank lines
/// and lines led by '#' skipped; the keys structure, target, vary and tolerance are the run's,
/// every other key the structure's), then the command line, whose values win. Throws
/// std::invalid_argument naming the file and line, or the argument, for: a file that cannot be
/// read, a line that is not KEY=VALUE, no structure named or two different ones, an unknown
/// key or a bad value, a target that is not one of the structure's (Z0 for a single line,
/// Zdiff, Zodd, Zeven, Zcm for a pair) or not a positive number of ohms, a --vary key that is
/// not a length key or whose value is 0. O(size of the file).
Request make_request(const lines::Options& o);

/// Only the structure of the options (for --help): --structure, else the file's.
const Structure& requested_structure(const lines::Options& o);

}  // namespace ostrel::structures
