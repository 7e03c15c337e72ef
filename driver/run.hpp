// The run driver of the console program.
#pragma once

namespace ostrel {

/// Runs one problem: banner, log "ostrel.log", input file from the first file argument or the
/// prompt, result file (the second of exactly two file arguments), reading and echo, picture,
/// solution, CPU time. Arguments that start with "--" are options: --help and --version print
/// their text and return 0 without a run; any other stops with a message on standard error.
/// Returns the exit status: 0 for a run that completes, non-zero for every stop on a failure.
int run_console(int argc, char** argv);

}  // namespace ostrel
