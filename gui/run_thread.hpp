// One run of the windowed program on a worker thread, started and stopped from the window
// thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::gui {

class FrameWindow;
class QtPlatform;
struct WindowContents;

/// Owns the worker thread of at most one run at a time. Every member runs on the window thread.
class RunThread {
 public:
  RunThread(WindowContents& contents, FrameWindow& frame);
  /// Stops a run still going and waits for its thread.
  ~RunThread();
  RunThread(const RunThread&) = delete;
  RunThread& operator=(const RunThread&) = delete;

  /// Starts run_windowed(files) on a new worker thread against a QtPlatform that shows
  /// `contents` in `frame` (asserts that no run is going). `first_row` is written at row 1 of
  /// the text window when the run clears it; `unattended`: no dialog waits for anyone. When the
  /// run has ended and its thread is joined, `done(status)` is called from the window thread's
  /// event loop.
  void start(const std::vector<std::string>& files, const std::string& first_row, bool unattended,
             std::function<void(int)> done);
  /// Asks a going run to stop: it ends at its next window operation (releasing its arrays and
  /// scratch file) with exit_failure. Returns at once; nothing when no run is going.
  void stop();
  /// Stops a going run and waits until it has ended; `done` is not called then.
  void stop_and_wait();
  bool running() const { return running_; }

 private:
  WindowContents& contents_;
  FrameWindow& frame_;
  std::unique_ptr<QtPlatform> platform_;
  std::thread worker_;
  bool running_ = false;
  std::shared_ptr<int> epoch_ = std::make_shared<int>(0);  // tells a stale end from the last
};

}  // namespace ostrel::gui
