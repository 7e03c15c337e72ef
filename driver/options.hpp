// The command line of the programs: file names and the options that start with "--".
#pragma once

#include <string>
#include <vector>

namespace ostrel {

/// The programs' names, as their messages on standard error begin.
inline constexpr const char* console_program = "ostrel";
inline constexpr const char* windowed_program = "ostrel-gui";

/// What a command line asks for. Every argument that starts with "--" is an option and never a
/// file name; a file whose name starts so is given as "./--name".
struct CommandLine {
  std::vector<std::string> files;  ///< the file arguments in their order
  bool help = false;               ///< --help: usage and the file format in brief
  bool version = false;            ///< --version: version and capacities
  std::string snapshot;            ///< --snapshot FILE (windowed program only): image after the run
  std::string error;               ///< a message when the line cannot be understood
};

/// Parses argv[1..argc-1]. `windowed` admits the windowed program's --snapshot FILE. An
/// unknown option or a missing option value leaves a message in `error`.
CommandLine parse_command_line(int argc, const char* const* argv, bool windowed);

/// The usage and the problem file format in brief, for --help.
std::string usage_text(bool windowed);

/// The version line and the capacities, for --version.
std::string version_text(bool windowed);

}  // namespace ostrel
