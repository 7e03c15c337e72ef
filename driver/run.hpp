// The run driver of the console program.
#pragma once

namespace ostrel {

/// Runs one problem: banner, log "ostrel.log", input file from argv[1] or the prompt, result
/// file, reading and echo, picture, solution, CPU time. Returns the exit status: 0 for a run
/// that completes, non-zero for every stop on a failure.
int run_console(int argc, char** argv);

}  // namespace ostrel
