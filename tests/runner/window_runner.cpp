// A whole run of the windowed program without a window system: the windowed run driver on the
// recording platform of the tests. For tests and for checking the windowed build by hand.
//
// Usage: ostrel-window-runner [--ops FILE] [--peak] [INPUT [RESULT]]
// Writes ostrel.log and the result file as the windowed program does, prints the text window as
// it stands after the run to standard output, writes every recorded platform operation, one per
// line, to FILE when asked, and exits with the run's exit status. Without INPUT it answers the
// file dialog with no file. --peak writes the process's peak address space ("VmPeak: ... kB")
// to standard error at the end, for tests that run it under a limit of address space.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "../recording_platform.hpp"
#include "driver/windowed_run.hpp"
#include "solvers/blas_workspace.hpp"

int main(int argc, char** argv) {
  ostrel::start_without_blas_threads(argv);
  std::vector<std::string> files;
  std::string ops;
  bool peak = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--ops" && i + 1 < argc)
      ops = argv[++i];
    else if (a == "--peak")
      peak = true;
    else
      files.push_back(a);
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
