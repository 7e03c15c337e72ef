// Files that a run creates and must not leave behind when a signal ends it.
//
// SIGINT, SIGTERM and SIGHUP end a process without running its destructors, so a temporary
// file (a result not yet moved into place, a named scratch file) would stay. The files are
// registered here while they exist; the handler removes them and then ends the process by the
// same signal, with its usual status. The registry is the one piece of global state of the
// program: a signal handler can reach nothing else.
#pragma once

#include <string>

namespace ostrel {

/// Most files registered at the same time; a registration beyond them is not made (and says
/// so by returning false).
inline constexpr int signal_cleanup_slots = 8;

/// Installs the handler for SIGINT, SIGTERM and SIGHUP where they have their default action
/// (an ignored signal stays ignored, a handler of the program's own stays); once, later calls
/// do nothing.
void install_signal_cleanup();

/// Registers `path` (made absolute) for removal when a signal ends the process. Any thread.
/// Returns false when every slot is taken or the path is too long for one.
bool remove_on_signal(const std::string& path);

/// Takes `path` out of the registry again (it was removed or moved into place). Any thread.
void keep_on_signal(const std::string& path);

}  // namespace ostrel
