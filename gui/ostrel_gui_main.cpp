// The windowed program: the command line, then one run in the windows.
#include <QApplication>
#include <iostream>

#include "base/halt.hpp"
#include "driver/options.hpp"
#include "gui/gui_run.hpp"

int main(int argc, char** argv) {
  using namespace ostrel;
  const CommandLine cl = parse_command_line(argc, argv, /*windowed=*/true);
  if (!cl.error.empty()) {
    std::cerr << "ostrel-gui: " << cl.error << "\n"
              << "Try ostrel-gui --help.\n";
    return exit_failure;
  }
  if (cl.help || cl.version) {
    std::cout << (cl.help ? usage_text(true) : version_text(true));
    return 0;
  }
  if (!cl.snapshot.empty() && cl.files.empty()) {
    // Nobody would be there to pick the input file in a dialog.
    std::cerr << "ostrel-gui: --snapshot needs the input file on the command line\n"
              << "Try ostrel-gui --help.\n";
    return exit_failure;
  }
  // Qt sees no argument of ours: every argument is a file name or one of the options above.
  int qt_argc = 1;
  char* qt_argv[] = {argv[0], nullptr};
  QApplication app(qt_argc, qt_argv);
  QApplication::setApplicationName(QStringLiteral("OSTREL"));
  return gui::run_gui({cl.files, cl.snapshot, nullptr, nullptr});
}
