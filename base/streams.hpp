// The text streams of a run: the console, the run log and the result file.
#pragma once

#include <iosfwd>

namespace ostrel {

/// Open streams of one run, owned by the run driver; every routine that reports writes here.
struct Streams {
  std::ostream& console;  ///< standard output: banner, progress marks, short messages
  std::ostream& log;      ///< the run log "ostrel.log"
  std::ostream& result;   ///< the result file
};

}  // namespace ostrel
