#include "driver/run.hpp"

#include <time.h>

#include <exception>
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "base/fields.hpp"
#include "base/freeformat.hpp"
#include "base/halt.hpp"
#include "base/log_lock.hpp"
#include "base/result_file.hpp"
#include "base/signal_cleanup.hpp"
#include "base/streams.hpp"
#include "driver/banner.hpp"
#include "driver/options.hpp"
#include "driver/reading.hpp"
#include "elements.hpp"
#include "picture/psout.hpp"
#include "solvers/storage.hpp"

namespace ostrel {

namespace {

constexpr const char* log_name = "ostrel.log";
constexpr const char* default_result_name = "result.osl";

// Process CPU time (user plus system) in seconds.
double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

[[noreturn]] void io_error(const std::string& what) {
  Halt h;
  h.error.push_back(std::string(console_program) + ": " + what);
  h.status = exit_io_error;
  halt(std::move(h));
}

// A file name as it is opened: trailing blanks are not part of it.
std::string file_name(std::string name) {
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

// The input file name from the console: one free-format text value (a word or a quoted text).
std::string prompt_input_name() {
  std::cout << "Enter name of input file:  " << std::flush;
  std::string name;
  ListReader rd(std::cin, "standard input");
  if (!rd.read_group({&name})) io_error("no input file name on standard input");
  return name;
}

// The sequence of one run once the log is open. Every stop leaves through a Halt; the result
// file is in place only when the sequence has come to its end.
void run_sequence(const std::vector<std::string>& files, std::ofstream& log) {
  const std::string input_name = file_name(!files.empty() ? files[0] : prompt_input_name());
  std::ifstream in;
  open_input(in, input_name, console_program);
  const std::string input_line = "Input file  " + padded(input_name, name_length);
  std::cout << input_line << '\n';
  log << input_line << '\n';

  // The result file is written when the run has succeeded (ResultFile); here it is only found
  // writable.
  ResultFile result(files.size() == 2 ? file_name(files[1]) : default_result_name);
  if (!result.is_open()) {
    const std::string line = "Cannot open output file " + result.name() + ": " + result.why();
    if (files.size() != 2) io_error(line);
    Halt h;
    h.console = h.log = {line};
    halt(std::move(h));
  }

  Streams io{std::cout, log, result.stream()};
  Input input = read_problem(in, input_name, io);
  in.close();

  psout(input.problem, input_name, std::cout);
  further(input.problem, input.dims, input.controls, io);
  commit_or_halt(result);
}

}  // namespace

int run_console(int argc, char** argv) {
  const CommandLine cl = parse_command_line(argc, argv, false);
  if (!cl.error.empty()) {
    std::cerr << console_program << ": " << cl.error << "\n"
              << "Try ostrel --help.\n";
    return exit_failure;
  }
  if (cl.help || cl.version) {
    std::cout << (cl.help ? usage_text(false) : version_text(false));
    return 0;
  }
  std::cout << banner_line() << '\n' << capacity_line() << '\n';
  install_signal_cleanup();
  // Two runs in one folder would write the same log and result file: the second stops here,
  // before it has written anything.
  const LogLock lock(log_name);
  if (lock.busy()) {
    std::cout.flush();
    std::cerr << console_program << ": another run is using \"" << log_name
              << "\" in this folder; wait until it ends, or run in another folder\n";
    return exit_failure;
  }
  std::ofstream log(log_name);
  if (!log) {
    std::cout.flush();
    std::cerr << console_program << ": cannot create the run log \"" << log_name << "\"\n";
    return exit_io_error;
  }
  try {
    run_sequence(cl.files, log);
  } catch (const Halt& h) {
    return finish_halt(h, std::cout, &log, std::cerr);
  } catch (const std::bad_alloc&) {
    Halt h;
    h.console = {" Can not allocate memory"};
    return finish_halt(h, std::cout, &log, std::cerr);
  } catch (const std::exception& e) {
    // No routine ends a run this way; should one ever do, the run still ends with a message.
    Halt h;
    h.console = h.log = {std::string(" Internal error: ") + e.what()};
    return finish_halt(h, std::cout, &log, std::cerr);
  }
  std::cout << "\n\nTotal CPU time  " << fw(cpu_seconds(), 5, 1) << " sec" << std::endl;
  log << "\n\nTotal CPU time  " << fw(cpu_seconds(), 5, 1) << " sec" << std::endl;
  if (!log) {
    std::cerr << console_program << ": error writing the run log \"" << log_name << "\"\n";
    return exit_io_error;
  }
  return 0;
}

}  // namespace ostrel
