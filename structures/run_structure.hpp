// ostrel-lines --structure: the run of a named cross-section.
#pragma once

#include <iosfwd>

#include "lines/options.hpp"

namespace ostrel::structures {

/// Runs a structure: with --help the structure's help; otherwise the request (structure file
/// and arguments), the resolution chosen and proven (and the target found), the line report
/// on `console` with the discretisation and the targeting, the JSON file (with a "structure"
/// member), the circuit models with --length and the problem file with --write-problem, each
/// written whole under a temporary name and renamed into place. Returns 0. Throws
/// std::invalid_argument for a bad request, a file that cannot be read or written, or a
/// --write-problem that would overwrite the structure file or an output of the run;
/// std::runtime_error (and the solutions' failures) when the run cannot vouch for a result.
int run_structure(const lines::Options& o, std::ostream& console);

}  // namespace ostrel::structures
