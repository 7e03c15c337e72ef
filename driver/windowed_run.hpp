// The run driver of the windowed program.
#pragma once

#include <string>
#include <vector>

#include "picture/platform.hpp"

namespace ostrel {

/// Runs one problem in the windowed build on the window system `platform`: window set-up,
/// input file from files[0] or the platform's file dialog, log "ostrel.log", result file
/// (files[1] when exactly two names are given, else "result.osl"), reading and echo with the
/// windowed build's constants and texts, the summary in the text window, the cross-section, the
/// zero-total-charge check, the solution with its progress displays and plots, the result file,
/// "output file: " and the start and end times. Every stop shows its lines in the text window,
/// writes its log lines, stop text and error lines, and returns a non-zero exit status; message
/// boxes report the two start-up failures. A platform that throws RunCancelled (the user closed
/// the window) ends the run at once, releasing everything. Returns the exit status.
int run_windowed(Platform& platform, const std::vector<std::string>& files);

}  // namespace ostrel
