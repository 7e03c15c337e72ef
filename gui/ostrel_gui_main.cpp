// The windowed program: the command line, then a session in the windows.
#include <unistd.h>

#include <QApplication>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <iostream>
#include <string>

#include "base/halt.hpp"
#include "driver/options.hpp"
#include "gui/gui_run.hpp"
#include "gui/identity.hpp"
#include "solvers/blas_workspace.hpp"

namespace {

// Qt's messages while the application connects to the window system: its platform plugin's
// are held back, and a fatal one (no display to be reached) ends the program with one line
// and exit_io_error instead of an abort.
QtMessageHandler qt_handler = nullptr;
bool connecting = false;
QStringList held;

void on_qt_message(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (connecting && type == QtFatalMsg) {
    const char* display = std::getenv("DISPLAY");
    ostrel::gui::print_message(
        std::string("cannot open its windows: no display could be reached (DISPLAY=") +
        (display ? display : "") +
        "); set DISPLAY, or run headless with QT_QPA_PLATFORM=offscreen");
    _exit(ostrel::exit_io_error);
  }
  if (connecting && context.category &&
      QString::fromLatin1(context.category).startsWith("qt.qpa")) {
    held << text;
    return;
  }
  if (qt_handler) qt_handler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ostrel;
  // OpenBLAS without threads of its own, from the start (the program may start again).
  start_with_blas_settings(argv);
  const CommandLine cl = parse_command_line(argc, argv, /*windowed=*/true);
  if (!cl.error.empty()) {
    gui::print_message(cl.error);
    std::cerr << "Try " << gui::program_name << " --help.\n";
    return exit_failure;
  }
  if (cl.help || cl.version) {
    std::cout << (cl.help ? usage_text(true) : version_text(true));
    return 0;
  }
  if (!cl.snapshot.empty() && cl.files.empty()) {
    // Nobody would be there to pick the input file in a dialog.
    gui::print_message("--snapshot needs the input file on the command line");
    std::cerr << "Try " << gui::program_name << " --help.\n";
    return exit_failure;
  }
  // Qt sees no argument of ours: every argument is a file name or one of the options above.
  int qt_argc = 1;
  char* qt_argv[] = {argv[0], nullptr};
  QCoreApplication::setOrganizationName(QString::fromLatin1(gui::application_name));
  QCoreApplication::setApplicationName(QString::fromLatin1(gui::program_name));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(gui::program_name));
  qt_handler = qInstallMessageHandler(on_qt_message);
  connecting = true;
  QApplication app(qt_argc, qt_argv);
  connecting = false;
  for (const QString& m : held)
    std::cerr << m.toStdString() << '\n';
  gui::GuiRun run;
  run.files = cl.files;
  run.snapshot = cl.snapshot;
  run.interactive = cl.snapshot.empty();
  run.watch_signals = true;
  return gui::run_gui(run);
}
