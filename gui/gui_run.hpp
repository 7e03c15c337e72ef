// The windowed program's session: the frame window on the window thread, its runs on a worker
// thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ostrel::gui {

class FrameWindow;

/// What one session is asked to do.
struct GuiRun {
  std::vector<std::string> files;  ///< input file and result file, as on the command line
  std::string snapshot;            ///< image file (PNG) of the frame window after the first run;
                                   ///< empty: the windows stay open until the user closes them
  /// Someone is there: without files the problem is asked for in a file dialog before any run
  /// (cancelled: an empty window), and closing during a run asks first. Otherwise (tests, the
  /// snapshot mode) nothing waits for an answer.
  bool interactive = false;
  /// SIGINT, SIGTERM and SIGHUP stop the run going as Stop does and end the session.
  bool watch_signals = false;
  /// Called on the window thread once the frame is shown and the first run (if any) has
  /// started (the tests watch and steer the session through it).
  std::function<void(FrameWindow&)> started;
  /// Called on the window thread whenever a run has ended, before the snapshot is taken.
  std::function<void(FrameWindow&)> ended;
};

/// Runs the windowed program's session: shows the frame window maximised, starts a run of
/// `files` when given (run_windowed() on a worker thread against a QtPlatform) and runs the
/// window thread's event loop meanwhile. With a snapshot, saves it after the first run and
/// ends; otherwise the windows stay until the user closes the frame (or a watched signal
/// comes). Closing the frame during a run stops it first: the worker unwinds at its next window
/// operation (releasing its arrays and scratch file) and is joined before this returns.
/// Returns the exit status: the last run's (0 when none ran; exit_failure for a run stopped by
/// closing; exit_io_error when the snapshot cannot be written after a successful run); 128 + the
/// signal's number after a watched signal. Needs a QApplication on this thread; the
/// application does not quit when its last window closes, so it may run again.
int run_gui(const GuiRun& run);

}  // namespace ostrel::gui
