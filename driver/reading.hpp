// Reading, checking and echo of the problem input file.
#pragma once

#include <fstream>
#include <istream>
#include <string>

#include "base/problem.hpp"
#include "base/streams.hpp"

namespace ostrel {

/// Everything the reading yields: the problem description, its counts and the solver controls
/// (with the defaults for zero values applied).
struct Input {
  Problem problem;
  Dimensions dims;
  SolverControls controls;
};

/// Opens the problem file `name` into `in`. When it cannot be read (missing, a folder, no
/// permission), stops the run with "Can not open input file  " and the name on the console and
/// "<program>: <name>: <the system's reason>" on standard error. O(1).
void open_input(std::ifstream& in, const std::string& name, const char* program);

/// Reads the problem from `in` (the file `name`), checks it in the order of the input errors,
/// completes it (copies, automatic sub-elements, material values), writes the titles to the
/// console and the echo to the log, and applies the solver defaults. Any failure stops the run
/// with its message. Cost: linear in the file size.
Input read_problem(std::istream& in, const std::string& name, Streams& io,
                   const BuildConstants& build = console_build);

/// True when the zero-total-charge switch is on (any idmn but 0) with a Green's function that
/// grounds the charge (igg 1, 4 or 5): the problem has no solution.
bool null_charge_incompatible(const Problem& pb);

/// Writes the echo of the accepted problem (the lines from the date to the end marker) to `log`.
void write_echo(const Input& input, std::ostream& log);

}  // namespace ostrel
