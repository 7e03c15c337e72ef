#include "gui/gui_run.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <memory>

#include "base/halt.hpp"
#include "gui/frame_window.hpp"
#include "gui/identity.hpp"
#include "gui/qt_platform.hpp"
#include "gui/signal_watch.hpp"
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
  FrameWindow frame(contents, !run.interactive || !run.snapshot.empty());
  QEventLoop loop;
  int status = 0;
  int signalled = 0;
  bool snapshot_taken = false;
  frame.on_close = [&] {
    // Closed during a run, the run stopped: its status is the frame's.
    if (frame.last_status() != 0) status = frame.last_status();
    loop.exit();
  };
  frame.on_run_ended = [&](int s) {
    status = s;
    if (run.ended) run.ended(frame);
    if (signalled) {
      loop.exit();
      return;
    }
    if (run.snapshot.empty() || snapshot_taken) return;
    snapshot_taken = true;
    if (!frame.grab().save(QFile::decodeName(run.snapshot.c_str()), "PNG")) {
      print_message("cannot write the snapshot \"" + run.snapshot + "\"");
      if (status == 0) status = exit_io_error;
    }
    loop.exit();
  };
  std::unique_ptr<SignalWatch> watch;
  if (run.watch_signals)
    watch = std::make_unique<SignalWatch>([&](int sig) {
      if (signalled) return;
      signalled = sig;
      if (frame.running())
        frame.stop_run();  // the loop ends when the run has
      else
        loop.exit();
    });
  show_maximised(frame);

  if (signalled) {
    // Nothing to start.
  } else if (!run.files.empty() || !run.interactive) {
    frame.start_run(run.files, false);
  } else {
    // The problem is asked for before the run, and opened as from the menu (its files next to
    // it, not in a start-up folder the user never chose); a cancelled dialog leaves an empty
    // window.
    const std::string name = frame.choose_input_file();
    if (name.empty() || !frame.open_problem(QFile::decodeName(name.c_str())))
      frame.close_child(default_unit);
  }
  if (run.started) run.started(frame);
  if (!signalled) loop.exec();
  frame.on_close = nullptr;
  frame.on_run_ended = nullptr;
  if (frame.running()) {
    // The snapshot's session ends with its first run; anything else going stops here.
    frame.stop_run();
    status = exit_failure;
  }
  return signalled ? 128 + signalled : status;
}

}  // namespace ostrel::gui
