// The output of a run: the console, the run log, the result file and the windowed build's
// screen.
#pragma once

#include <iosfwd>
#include <string>

#include "base/screen.hpp"

namespace ostrel {

/// Open streams of one run, owned by the run driver; every routine that reports writes here.
struct Streams {
  std::ostream& console;     ///< standard output: banner, progress marks, short messages
  std::ostream& log;         ///< the run log "ostrel.log"
  std::ostream& result;      ///< the result file
  Screen* screen = nullptr;  ///< the windowed build's windows; none in the console build
};

/// Shows one line to the user: on the console, or as a status line in the text window of the
/// windowed build.
void show(Streams& io, const std::string& line);

}  // namespace ostrel
