#include "lines/run_lines.hpp"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/halt.hpp"
#include "base/result_file.hpp"
#include "base/streams.hpp"
#include "driver/reading.hpp"
#include "lines/models.hpp"
#include "lines/options.hpp"
#include "lines/output_file.hpp"
#include "lines/parameters.hpp"
#include "lines/report.hpp"
#include "lines/solutions.hpp"
#include "losses/run_sweep.hpp"
#include "structures/run_structure.hpp"

namespace ostrel::lines {

namespace {

constexpr const char* program = "ostrel-lines: ";

// A file that cannot be read or written (exit_io_error).
using FileError = OutputError;
// A problem file that cannot be opened (exit_failure, as in the other programs).
struct OpenError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads the problem: the titles and any warning of the reading go to the console, the echo
// and the rest of the run log nowhere; the reading's notes (renumbered elements, ni cut to the
// capacity) are shown. A stop of the reading becomes an error naming the file.
Input read(const std::string& name) {
  std::error_code ec;
  std::ifstream in;
  errno = 0;
  if (!name.empty() && !std::filesystem::is_directory(name, ec)) in.open(name, std::ios::binary);
  const int open_error = errno ? errno : ENOENT;
  if (!in.is_open())
    throw OpenError("cannot open the problem file '" + name + "': " +
                    std::strerror(std::filesystem::is_directory(name, ec) ? EISDIR : open_error));
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  try {
    Input input = read_problem(in, name, io);
    std::cout << console.str();
    std::istringstream notes(log.str());
    for (std::string line; std::getline(notes, line);)
      if (line.find("warning") != std::string::npos || line.find("cuted to") != std::string::npos)
        std::cout << "  note from the reading: " << line << '\n';
    return input;
  } catch (const Halt& h) {
    std::cout << console.str() << std::flush;
    const std::string text = name + ": " + halt_text(h);
    if (h.status == exit_io_error) throw FileError(text);
    throw std::runtime_error(text);
  }
}

int run(const Options& o) {
  std::cout << "Transmission-line report of " << o.problem << "\n\n";
  const Input input = read(o.problem);
  check_line_problem(input);
  if (o.loss.sweep()) {
    losses::run_sweep(input, o, std::cout);
    return 0;
  }

  std::cout << "Solutions:\n";
  const Capacitances base = capacitances(input, o.tan_delta, o.lossy, "", std::cout);
  const LineParameters p = line_parameters(base.ge, base.ge0, base.gloss, o.frequency, base.m);
  require_finite(p);
  Check check;
  bool checked = false;
  if (o.check) {
    const Refinement r = refined(input);
    check.notes = r.notes;
    if (!r.any) {
      std::cout << "  no element can be refined (every ni is the capacity " << nimax_def
                << "): no check\n";
    } else {
      const Capacitances fine = capacitances(r.input, o.tan_delta, o.lossy, "refined: ", std::cout);
      check.refined = line_parameters(fine.ge, fine.ge0, fine.gloss, o.frequency, fine.m);
      require_finite(check.refined);
      checked = true;
    }
  }
  std::cout << '\n';
  std::cout << console_table(p, o, checked ? &check : nullptr) << '\n';

  const std::string& title = input.problem.title1;
  const std::string json = write_output(
      o.json, json_report(p, o, title, input.problem.title2, checked ? &check : nullptr), o.problem,
      std::cout);
  std::cout << "JSON file " << json << '\n';
  if (o.length > 0) {
    const std::string rlgc = write_output(o.rlgc, rlgc_file(p, o, title), o.problem, std::cout);
    std::cout << "RLGC file (W element) " << rlgc << '\n';
    const std::string cpl = write_output(o.cpl, cpl_model(p, o, title), o.problem, std::cout);
    std::cout << "ngspice CPL model " << cpl << " (subcircuit " << cpl_subcircuit << ")\n";
  }
  return 0;
}

}  // namespace

int run_lines(int argc, char** argv) {
  Options o;
  try {
    o = parse_options(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::invalid_argument& e) {
    std::cerr << program << e.what() << '\n';
    return exit_failure;
  }
  if (o.version || (o.help && !o.structured())) {
    std::cout << (o.help ? usage() : version());
    return 0;
  }
  try {
    return o.structured() ? structures::run_structure(o, std::cout) : run(o);
  } catch (const OpenError& e) {
    std::cout.flush();
    std::cerr << program << e.what() << '\n';
    return exit_failure;
  } catch (const std::invalid_argument& e) {
    // A structure's bad request, or a file of it that cannot be read or written; options of a
    // sweep that do not fit the problem (its conductor numbers, a Debye fit).
    std::cout.flush();
    std::cerr << program << e.what() << '\n';
    return exit_io_error;
  } catch (const FileError& e) {
    std::cout.flush();
    std::cerr << program << e.what() << '\n';
    return exit_io_error;
  } catch (const Halt& h) {
    std::cout.flush();
    std::cerr << program << halt_text(h) << '\n';
    return exit_failure;
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << program << "not enough memory\n";
    return exit_failure;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << program << e.what() << '\n';
    return exit_failure;
  }
}

}  // namespace ostrel::lines
