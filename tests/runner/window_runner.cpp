// A whole run of the windowed program without a window system: the windowed run driver on the
// recording platform of the tests. For tests and for checking the windowed build by hand.
//
// Usage: ostrel-window-runner [--ops FILE] [--peak] [--help] [--version] [INPUT [RESULT]]
// Writes ostrel.log and the result file as the windowed program does, prints the text window as
// it stands after the run to standard output, writes every recorded platform operation, one per
// line, to FILE when asked, and exits with the run's exit status. Without INPUT it answers the
// file dialog with no file. --peak writes the process's peak address space ("VmPeak: ... kB")
// to standard error at the end, for tests that run it under a limit of address space. Arguments
// that start with "--" are options; an unknown one exits with status 1, as in every program.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "../recording_platform.hpp"
#include "base/halt.hpp"
#include "driver/options.hpp"
#include "driver/windowed_run.hpp"
#include "solvers/blas_workspace.hpp"

namespace {

constexpr const char* usage =
    "Usage: ostrel-window-runner [--ops FILE] [--peak] [INPUT [RESULT]]\n"
    "Runs the windowed program's whole run on a recording stand-in for the window system:\n"
    "writes ostrel.log and the result file as ostrel-gui does, prints the text window as it\n"
    "stands after the run and exits with the run's exit status. Without INPUT the file dialog\n"
    "is answered with no file.\n"
    "  --ops FILE  write every recorded window operation, one per line, to FILE\n"
    "  --peak      write the process's peak address space to standard error at the end\n"
    "  --help      this text\n"
    "  --version   the version and the capacities\n";

}  // namespace

int main(int argc, char** argv) {
  ostrel::start_with_blas_settings(argv);
  std::vector<std::string> files;
  std::string ops;
  bool peak = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--ops" && i + 1 < argc) {
      ops = argv[++i];
    } else if (a == "--peak") {
      peak = true;
    } else if (a == "--help" || a == "--version") {
      std::cout << (a == "--help" ? std::string(usage)
                                  : "ostrel-window-runner" + ostrel::version_text(false).substr(
                                                                 std::string("ostrel").size()));
      return 0;
    } else if (a.starts_with("--")) {
      std::cerr << "ostrel-window-runner: unknown option " << a
                << "\nTry ostrel-window-runner --help.\n";
      return ostrel::exit_failure;
    } else {
      files.push_back(a);
    }
  }
  ostrel::testing::RecordingPlatform platform;
  const int status = ostrel::run_windowed(platform, files);
  std::cout << platform.text_window();
  if (!ops.empty()) std::ofstream(ops) << platform.text();
  if (peak) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmPeak:", 0) == 0) std::cerr << line << '\n';
  }
  return status;
}
