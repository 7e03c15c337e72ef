// Runs the built programs in a fresh temporary directory and collects what it wrote.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace ostrel::testing {

inline std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void write_file(const std::filesystem::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

struct RunOutput {
  int status = -1;         ///< exit status, -1 when the program did not exit normally
  bool signalled = false;  ///< ended by a signal
  std::string out, err;    ///< standard output and standard error
  std::filesystem::path dir;
  std::string file(const std::string& name) const { return slurp(dir / name); }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir / name); }
};

/// A new, empty folder of its own under the system's temporary directory (mkdtemp, so that two
/// runs of the suite never meet), removed with everything in it when the object goes.
struct TempDir {
  std::filesystem::path path;
  explicit TempDir(const std::string& tag = "test") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("ostrel-" + tag + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    path = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

/// A new, empty folder of its own (a TempDir kept until the test program ends).
inline std::filesystem::path fresh_dir(const std::string& tag) {
  static std::vector<std::unique_ptr<TempDir>> kept;
  kept.push_back(std::make_unique<TempDir>(tag));
  return kept.back()->path;
}

/// Runs the program `binary` with `args...` in `dir` with `input` on standard input.
inline RunOutput run_program(const std::string& binary, const std::filesystem::path& dir,
                             const std::vector<std::string>& args, const std::string& input = "") {
  write_file(dir / "stdin.txt", input);
  std::string cmd = "cd '" + dir.string() + "' && '" + binary + "'";
  for (const auto& a : args)
    cmd += " '" + a + "'";
  cmd += " < stdin.txt > stdout.txt 2> stderr.txt";
  const int raw = std::system(cmd.c_str());
  RunOutput r;
  r.dir = dir;
  if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  // The shell reports a child killed by a signal as 128 + signal number.
  r.signalled = WIFSIGNALED(raw) || (WIFEXITED(raw) && WEXITSTATUS(raw) > 128);
  r.out = slurp(dir / "stdout.txt");
  r.err = slurp(dir / "stderr.txt");
  return r;
}

/// Runs `ostrel args...` in `dir` with `input` on standard input.
inline RunOutput run_ostrel(const std::filesystem::path& dir, const std::vector<std::string>& args,
                            const std::string& input = "") {
  return run_program(OSTREL_BINARY, dir, args, input);
}

}  // namespace ostrel::testing
