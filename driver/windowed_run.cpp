#include "driver/windowed_run.hpp"

#include <time.h>

#include <exception>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>
#include <sstream>
#include <string>

#include "assembly/results.hpp"
#include "base/fields.hpp"
#include "base/halt.hpp"
#include "base/log_lock.hpp"
#include "base/result_file.hpp"
#include "base/screen.hpp"
#include "base/signal_cleanup.hpp"
#include "base/streams.hpp"
#include "driver/banner.hpp"
#include "driver/options.hpp"
#include "driver/reading.hpp"
#include "picture/plots.hpp"
#include "picture/text_rows.hpp"
#include "picture/windows.hpp"
#include "solvers/storage.hpp"

namespace ostrel {

namespace {

constexpr const char* log_name = "ostrel.log";
constexpr const char* default_result_name = "result.osl";
// The two start-up failures that message boxes report.
constexpr const char* name_failure = "ERROR READING NAME OF INPUT FILE";
constexpr const char* name_failure_caption = "OSTREL";
constexpr const char* null_charge_failure =
    "NULL charge switch can not be used with th  is Green function";
constexpr const char* null_charge_caption = "ERROR INPUT DATA OSTREL";
// Rows left free before the start and end times.
constexpr int rows_before_times = 5;

// The local clock time as hh:mm:ss, each part in 2 columns.
std::string clock_time() {
  const time_t now = time(nullptr);
  tm lt{};
  localtime_r(&now, &lt);
  return iw(lt.tm_hour, 2) + ":" + iw(lt.tm_min, 2) + ":" + iw(lt.tm_sec, 2);
}

// The windowed build's text window and plots on the platform. A progress display that would
// write the text already standing in its row is skipped: the window shows the same.
class WindowScreen final : public Screen {
 public:
  WindowScreen(Platform& p, const WindowLayout& layout) : p_(p), layout_(layout) {}

  // The problem whose cross-section and densities the plots show; its extents are fixed here.
  void attach(const Problem& pb) {
    pb_ = &pb;
    extents_ = picture_extents(pb);
  }

  void status(const std::string& line, int rows) override {
    status_line(p_, row_, line, rows);
    shown_.clear();
  }
  void progress(const std::string& text) override {
    if (text == shown_) return;
    progress_line(p_, row_, text);
    shown_ = text;
  }
  void advance(int rows) override {
    row_.advance(rows);
    shown_.clear();
  }
  void cross_section(int k) override {
    cross_section_plot(p_, layout_, extents_, *pb_, pb_->n(), k, pb_->ish);
  }
  void charges(int k, std::span<const double> dens, std::span<const double> tcol) override {
    charge_plot(p_, layout_, *pb_, pb_->n(), k, pb_->ish, dens, tcol);
  }
  // Hook: the reported matrix handed to the window system (for copying it out).
  void matrix(const std::string& label, std::span<const double> a, int m) override {
    p_.report_matrix(label, a, m);
  }

 private:
  Platform& p_;
  WindowLayout layout_;
  TextRow row_;
  std::string shown_;  // the progress display standing in the current row
  const Problem* pb_ = nullptr;
  Box extents_{};
};

[[noreturn]] void io_error(const std::string& what) {
  Halt h;
  h.error.push_back(std::string(windowed_program) + ": " + what);
  h.status = exit_io_error;
  halt(std::move(h));
}

// The summary of the problem in the text window, after the echo.
void summary(const Input& input, Streams& io) {
  const Problem& pb = input.problem;
  Screen& screen = *io.screen;
  screen.status(pb.title1);
  screen.status(pb.title2, 2);
  const char* unit = unit_text(pb.iunits);
  if (!unit) {
    Halt h;
    h.stop_text = pb.c().text.no_such_units;
    halt(std::move(h));
  }
  const char* kind = pb.iprobl == 0   ? "capacitance (conductance) "
                     : pb.iprobl == 1 ? "Inductance (resistance) "
                                      : "";
  screen.status(std::string("problem: ") + kind + unit);
  if (!units_fit(pb)) {
    screen.status("Warning: meaningless units");
    io.log << "Warning: meaningless units\n";
  }
  screen.status("Green function: " + std::to_string(pb.igg));
  screen.status(pb.idmn != 0 ? "NULL total charge ON" : "NULL total charge OFF");
  screen.status(std::to_string(input.dims.n) + " boundary element(s)");
  screen.status(std::to_string(input.dims.m) + " conductor(s)");
  screen.status(std::to_string(input.dims.nd) + " unknowns", 2);
  // The result tables have no such code for the problem kind: stop before the solution.
  if (!units_fit(pb)) {
    Halt h;
    h.stop_text = pb.c().text.no_such_units;
    halt(std::move(h));
  }
}

// The sequence of one run after the window set-up. Every stop leaves through a Halt; the log
// is open from the moment `log` is.
void run_sequence(Platform& p, WindowScreen& window, const std::vector<std::string>& files,
                  std::optional<LogLock>& lock, std::ofstream& log) {
  Screen& screen = window;
  const std::string start = clock_time();
  std::string input_name = files.empty() ? p.select_input_file() : files[0];
  input_name.erase(input_name.find_last_not_of(' ') + 1);
  if (input_name.empty()) {
    p.message_box(name_failure, name_failure_caption);
    Halt h;
    h.error.push_back(std::string(windowed_program) + ": " + name_failure);
    halt(std::move(h));
  }
  std::ifstream in;
  open_input(in, input_name, windowed_program);

  // Two runs in one folder would write the same log and result file: the second stops before
  // it has written anything.
  lock.emplace(log_name);
  if (lock->busy()) {
    const std::string text = std::string("another run is using ") + log_name +
                             " in this folder; wait until it ends, or run in another folder";
    p.message_box(text, name_failure_caption);
    Halt h;
    h.console = {text};
    halt(std::move(h));
  }
  log.open(log_name);
  if (!log) io_error(std::string("cannot create the run log \"") + log_name + "\"");
  std::string result_name = default_result_name;
  if (files.size() == 2) {
    result_name = files[1];
    result_name.erase(result_name.find_last_not_of(' ') + 1);
    log << "output file is  " << result_name << '\n';
  }
  // The result file is written when the run has succeeded; here it is only found writable.
  ResultFile result(result_name);
  if (!result.is_open()) {
    const std::string text = "cannot open output file " + result_name + ": " + result.why();
    p.message_box(text, name_failure_caption);
    if (files.size() != 2) io_error(text);
    Halt h;
    h.console = h.log = {text};
    halt(std::move(h));
  }

  std::ostream no_console(nullptr);  // the windowed build writes no console marks
  Streams io{no_console, log, result.stream(), &screen};
  Input input = read_problem(in, input_name, io, windowed_build);
  in.close();
  summary(input, io);
  window.attach(input.problem);
  screen.cross_section(0);
  if (null_charge_incompatible(input.problem)) {
    p.message_box(null_charge_failure, null_charge_caption);
    Halt h;
    h.log = {"NULL charge and Green function incompatible"};
    halt(std::move(h));
  }

  further(input.problem, input.dims, input.controls, io);

  const std::string reason = result.commit();
  if (!reason.empty()) {
    p.message_box(cannot_write(result, reason), name_failure_caption);
    Halt h;
    h.console = h.log = {cannot_write(result, reason)};
    halt(std::move(h));
  }
  screen.advance(rows_before_times);
  screen.status("start time " + start + "    end time " + clock_time());
  screen.status("output file: " + result_name);
  log.flush();
  if (!log) io_error("error writing the run log");
}

// Writes a stop: its console lines and stop text as status lines, its log lines to the log
// (when open), its error lines and stop text to standard error. Returns the exit status.
int finish(Halt h, Screen& screen, std::ofstream& log) {
  h.mid_line = false;  // the text window has no open progress line
  std::ostringstream shown;
  const int status = finish_halt(h, shown, log.is_open() ? &log : nullptr, std::cerr);
  std::istringstream lines(shown.str());
  for (std::string line; std::getline(lines, line);)
    screen.status(line);
  for (const std::string& line : h.error)
    screen.status(line);
  if (!h.stop_text.empty()) screen.status("STOP " + h.stop_text + " statement executed");
  return status;
}

}  // namespace

int run_windowed(Platform& platform, const std::vector<std::string>& files) {
  install_signal_cleanup();
  const WindowLayout layout = window_setup(platform, banner_line());
  WindowScreen screen(platform, layout);
  std::optional<LogLock> lock;
  std::ofstream log;
  try {
    try {
      run_sequence(platform, screen, files, lock, log);
    } catch (const std::bad_alloc&) {
      Halt h;
      h.console = {" Can not allocate memory"};
      halt(std::move(h));
    } catch (const std::exception& e) {
      // No routine ends a run this way; should one ever do, the run still ends with a message.
      Halt h;
      h.console = h.log = {std::string(" Internal error: ") + e.what()};
      halt(std::move(h));
    }
  } catch (const Halt& h) {
    return finish(h, screen, log);
  } catch (const RunCancelled&) {
    // The user closed the window: the run did not complete. Every array and the scratch file
    // were released on the way out.
    if (log.is_open()) log << "run stopped" << std::endl;  // hook: a stopped run says so
    return exit_failure;
  }
  return 0;
}

}  // namespace ostrel
