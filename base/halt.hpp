// The one way a run ends early.
//
// A routine that finds a failure throws a Halt that carries everything the user must see: the
// lines for the console, for the run log and for standard error, the stop text and the exit
// status. The run driver catches it and writes it through finish_halt(), so every stop writes
// its messages in the same way and no stop is silent.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ostrel {

/// Exit status of a run that failed: bad input, a file that cannot be opened, a failed memory
/// request, an impossible computation.
inline constexpr int exit_failure = 1;
/// Exit status of a platform I/O error report (malformed value, unreadable file).
inline constexpr int exit_io_error = 2;

struct Halt {
  std::vector<std::string> console;  ///< lines for standard output
  std::vector<std::string> log;      ///< lines for the run log
  std::vector<std::string> error;    ///< lines for standard error (platform error reports)
  std::string stop_text;             ///< written as "STOP <text> statement executed"
  int status = exit_failure;
  /// The console's progress line (marks without a line end) is open when the stop comes: it is
  /// ended first, so that the console lines stand on lines of their own.
  bool mid_line = false;
};

/// Throws a Halt. Never returns.
[[noreturn]] void halt(Halt h);

/// Convenience for the common input failure: one line, on the console and in the log, and the
/// stop text of the input errors of the build (BuildTexts::input_stop).
[[noreturn]] void halt_input(std::string log_line, const char* stop_text);

/// Writes a Halt: console lines, log lines (when the log is open), error lines and the stop
/// text on standard error. Returns the exit status. Flushes every stream it wrote.
int finish_halt(const Halt& h, std::ostream& console, std::ostream* log, std::ostream& err);

}  // namespace ostrel
