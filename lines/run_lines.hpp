// The driver of ostrel-lines.
#pragma once

namespace ostrel::lines {

/// Runs the line report: options, the problem reading (titles and warnings to the console,
/// nothing to a log), the checks that the problem is a line, the solutions with progress lines,
/// the table on the console, the JSON file and, with --length, the circuit models; with
/// --frequencies the lossy sweep instead (losses::run_sweep). Writes no ostrel.log, result file
/// or picture. Returns the exit status: 0 done; 1 a problem that is rejected or whose solution
/// stops; 2 a bad command line or options that do not fit the problem, an input file that cannot
/// be read, or an output file that cannot be written (or that is the problem file). Every failure
/// writes one message, led by "ostrel-lines: ", to standard error.
int run_lines(int argc, char** argv);

}  // namespace ostrel::lines
