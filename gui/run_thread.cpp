#include "gui/run_thread.hpp"

#include <QMetaObject>
#include <cassert>

#include "base/halt.hpp"
#include "driver/windowed_run.hpp"
#include "gui/frame_window.hpp"
#include "gui/qt_platform.hpp"
#include "gui/window_contents.hpp"
#include "picture/platform.hpp"

namespace ostrel::gui {

RunThread::RunThread(WindowContents& contents, FrameWindow& frame)
    : contents_(contents), frame_(frame) {}

RunThread::~RunThread() {
  stop_and_wait();
}

void RunThread::start(const std::vector<std::string>& files, const std::string& first_row,
                      bool unattended, std::function<void(int)> done) {
  assert(!running_);
  if (worker_.joinable()) worker_.join();
  platform_ = std::make_unique<QtPlatform>(contents_, frame_, unattended);
  platform_->first_row = first_row;
  running_ = true;
  const int epoch = ++*epoch_;
  std::weak_ptr<int> current = epoch_;
  QtPlatform* platform = platform_.get();
  FrameWindow* frame = &frame_;
  worker_ = std::thread([this, files, platform, frame, epoch, current, done] {
    clear_upper_vector_state();
    int status = exit_failure;
    try {
      status = run_windowed(*platform, files);
    } catch (const RunCancelled&) {
      // run_windowed shows a stop's lines from its handler of the stop, outside its own
      // handling of a stopped run: a stop at that moment ends up here.
    }
    QMetaObject::invokeMethod(
        frame,
        [this, epoch, current, done, status] {
          // A run waited for (stop_and_wait) or a RunThread gone: nothing to report.
          const auto e = current.lock();
          if (!e || *e != epoch || !running_) return;
          worker_.join();
          running_ = false;
          if (done) done(status);
        },
        Qt::QueuedConnection);
  });
}

void RunThread::stop() {
  if (running_ && platform_) platform_->cancel();
}

void RunThread::stop_and_wait() {
  if (platform_) platform_->cancel();
  if (worker_.joinable()) worker_.join();
  running_ = false;
  ++*epoch_;
}

}  // namespace ostrel::gui
