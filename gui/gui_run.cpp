#include "gui/gui_run.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <iostream>
#include <thread>

#include "base/halt.hpp"
#include "driver/windowed_run.hpp"
#include "gui/frame_window.hpp"
#include "gui/qt_platform.hpp"
#include "gui/window_contents.hpp"
#include "picture/platform.hpp"

namespace ostrel::gui {

namespace {

// How long to wait for the window system to show the frame before the run starts anyway, and
// for its size to settle (a window manager maximises it after showing it).
constexpr int show_timeout_ms = 5000;
constexpr int settle_ms = 150;
constexpr int poll_ms = 5;

// Shows the frame maximised and waits until the window system shows it, so that the size the
// run queries at start-up is the maximised one.
void show_maximised(FrameWindow& frame) {
  if (const QScreen* s = QGuiApplication::primaryScreen())
    frame.setGeometry(s->availableGeometry());  // as large as maximised where nothing maximises
  frame.showMaximized();
  QElapsedTimer t;
  t.start();
  while (!(frame.windowHandle() && frame.windowHandle()->isExposed()) &&
         t.elapsed() < show_timeout_ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, poll_ms);
    QThread::msleep(poll_ms);
  }
  QSize last = frame.size();
  t.restart();
  QElapsedTimer total;
  total.start();
  while (t.elapsed() < settle_ms && total.elapsed() < show_timeout_ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, poll_ms);
    QThread::msleep(poll_ms);
    if (frame.size() != last) {
      last = frame.size();
      t.restart();
    }
  }
}

}  // namespace

int run_gui(const GuiRun& run) {
  QApplication::setQuitOnLastWindowClosed(false);
  WindowContents contents;
  FrameWindow frame(contents);
  QtPlatform platform(contents, frame, !run.snapshot.empty());
  QEventLoop loop;
  bool finished = false;  // window thread: the run's end has been seen
  int status = exit_failure;
  int worker_status = exit_failure;  // the worker's, read after joining it
  frame.on_close = [&] {
    if (!finished) platform.cancel();
    loop.exit();
  };
  show_maximised(frame);

  std::thread worker([&] {
    clear_upper_vector_state();
    int s = exit_failure;
    try {
      s = run_windowed(platform, run.files);
    } catch (const RunCancelled&) {
      // run_windowed shows a stop's lines from its handler of the stop, outside its own
      // handling of a cancelled run: a close at that moment ends up here.
    }
    worker_status = s;
    QMetaObject::invokeMethod(
        &frame,
        [&, s] {
          finished = true;
          status = s;
          if (run.ended) run.ended(frame);
          if (run.snapshot.empty()) return;
          if (!frame.grab().save(QFile::decodeName(run.snapshot.c_str()), "PNG")) {
            std::cerr << "ostrel-gui: cannot write the snapshot \"" << run.snapshot << "\"\n";
            if (status == 0) status = exit_io_error;
          }
          loop.exit();
        },
        Qt::QueuedConnection);
  });
  if (run.started) run.started(frame);
  loop.exec();
  platform.cancel();
  worker.join();
  frame.on_close = nullptr;
  return finished ? status : worker_status;
}

}  // namespace ostrel::gui
