#include "base/streams.hpp"

#include <ostream>

namespace ostrel {

void show(Streams& io, const std::string& line) {
  if (io.screen)
    io.screen->status(line);
  else
    io.console << line << '\n';
}

}  // namespace ostrel
