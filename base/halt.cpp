#include "base/halt.hpp"

#include <ostream>

namespace ostrel {

void halt(Halt h) {
  throw h;
}

void halt_input(std::string log_line, const char* stop_text) {
  Halt h;
  h.console.push_back(log_line);  // the reason on the console as well, not only in the log
  h.log.push_back(std::move(log_line));
  h.stop_text = stop_text;
  halt(std::move(h));
}

int finish_halt(const Halt& h, std::ostream& console, std::ostream* log, std::ostream& err) {
  if (h.mid_line && !h.console.empty()) console << '\n';
  for (const auto& line : h.console)
    console << line << '\n';
  console.flush();
  if (log) {
    for (const auto& line : h.log)
      *log << line << '\n';
    log->flush();
  }
  for (const auto& line : h.error)
    err << line << '\n';
  if (!h.stop_text.empty()) err << "STOP " << h.stop_text << " statement executed\n";
  err.flush();
  return h.status;
}

}  // namespace ostrel
