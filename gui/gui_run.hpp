// One run of the windowed program: the frame window on the window thread, the computation on a
// worker thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ostrel::gui {

class FrameWindow;

/// What one run is asked to do.
struct GuiRun {
  std::vector<std::string> files;  ///< input file and result file, as on the command line
  std::string snapshot;            ///< image file (PNG) of the frame window after the run; empty:
                                   ///< the windows stay open until the user closes them
  /// Called on the window thread once the frame is shown and the computation has started (the
  /// tests watch and steer the run through it).
  std::function<void(FrameWindow&)> started;
  /// Called on the window thread when the run has ended, before the snapshot is taken.
  std::function<void(FrameWindow&)> ended;
};

/// Runs the windowed program once: shows the frame window maximised, runs run_windowed() on a
/// worker thread against a QtPlatform, and runs the window thread's event loop meanwhile.
/// After the run, either saves the snapshot and ends, or keeps the windows open until the user
/// closes the frame. Closing the frame during the run cancels it: the worker unwinds at its next
/// window operation (releasing its arrays and scratch file) and is joined before this returns.
/// Returns the run's exit status (exit_failure for a cancelled run; exit_io_error when the
/// snapshot cannot be written after a successful run). Needs a QApplication on this thread;
/// the application does not quit when its last window closes, so it may run again.
int run_gui(const GuiRun& run);

}  // namespace ostrel::gui
