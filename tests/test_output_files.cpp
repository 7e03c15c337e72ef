// Files the programs write for the user: the whole-file writer behind the result file, the
// outputs of ostrel-lines that move to the current folder when the problem's folder cannot
// take them, and the BLAS kernels a run starts with (which must not change its matrix).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "base/result_file.hpp"
#include "lines/output_file.hpp"
#include "run_util.hpp"
#include "solvers/blas_workspace.hpp"

using namespace ostrel;
using namespace ostrel::testing;
namespace fs = std::filesystem;

namespace {

// Runs in another current folder while it lives.
struct InFolder {
  fs::path before = fs::current_path();
  explicit InFolder(const fs::path& p) { fs::current_path(p); }
  ~InFolder() { fs::current_path(before); }
};

// Sets an environment variable (or removes it, for nullopt) while it lives.
struct EnvVar {
  std::string name;
  std::optional<std::string> before;
  EnvVar(const char* n, std::optional<std::string> value) : name(n) {
    if (const char* v = std::getenv(n)) before = v;
    if (value)
      setenv(n, value->c_str(), 1);
    else
      unsetenv(n);
  }
  ~EnvVar() {
    if (before)
      setenv(name.c_str(), before->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
};

// The numbers of a result file, in order.
std::vector<double> numbers(const std::string& text) {
  std::vector<double> v;
  std::istringstream in(text);
  for (std::string t; in >> t;) {
    char* end = nullptr;
    const double x = std::strtod(t.c_str(), &end);
    if (end && *end == '\0' && end != t.c_str()) v.push_back(x);
  }
  return v;
}

}  // namespace

// A result file reached through a symbolic link is replaced where the link points, the link
// stays a link, and the file keeps its permissions; a folder or a missing folder is refused
// with the system's reason and nothing is written.
TEST(OutputFiles, WholeFileWriterKeepsLinksAndPermissions) {
  TempDir dir;
  const fs::path target = dir.path / "shared.osl", link = dir.path / "result.osl";
  write_file(target, "old\n");
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  fs::create_symlink(target, link);
  EXPECT_EQ(write_whole_file(link.string(), "new matrix\n"), "");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(slurp(target), "new matrix\n");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(write_whole_file(dir.path.string(), "x"), "it is a directory");
  EXPECT_EQ(write_whole_file((dir.path / "no" / "r.osl").string(), "x"),
            "No such file or directory");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& f : fs::directory_iterator(dir.path))
    ++files;
  EXPECT_EQ(files, 2u);  // no temporary file left beside them
}

// An output of ostrel-lines named after its problem, beside it in a folder that cannot take
// it, goes to the current folder and the console says so; any other name there is an error,
// and so is a name that is the problem file or a folder.
TEST(OutputFiles, LinesOutputsMoveToTheCurrentFolderOnlyWhenTheyBelongToTheProblem) {
  TempDir dir, here;
  const InFolder in(here.path);
  const std::string problem = (dir.path / "gone" / "case.inp").string();
  std::ostringstream console;
  EXPECT_EQ(lines::write_output(problem + ".json", "{}\n", problem, console), "case.inp.json");
  EXPECT_EQ(slurp(here.path / "case.inp.json"), "{}\n");
  EXPECT_EQ(console.str(), "  " + problem +
                               ".json cannot be written (No such file or directory): written to "
                               "case.inp.json in the current folder instead\n");
  const auto refused = [&](const std::string& name, const std::string& why) {
    try {
      lines::write_output(name, "x", problem, console);
      ADD_FAILURE() << name << " was written";
    } catch (const lines::OutputError& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
  };
  refused((dir.path / "gone" / "other.json").string(), "No such file or directory");
  refused(problem, "is the problem file");
  refused(here.path.string(), "it is a directory");
  EXPECT_FALSE(fs::exists(here.path / "other.json"));
}

// The kernels the programs ask OpenBLAS for: never against the user's OPENBLAS_CORETYPE, only
// ones the processor runs; and a run started on its own choice of kernels gives the matrix of
// a run on the library's generic ones, to the rounding of the factorisation (a bundle of 1000
// unknowns: its entries agree to 1e-9 of the largest, where a backward-stable LU of a matrix of
// condition 1e5 leaves about 1e-11).
TEST(OutputFiles, BlasKernelsFollowTheUserAndLeaveTheMatrix) {
  {
    const EnvVar user(blas_kernels_variable, "Haswell");
    EXPECT_EQ(blas_kernels_for_processor(), nullptr);
  }
  if (const char* k = blas_kernels_for_processor()) {
    __builtin_cpu_init();
    EXPECT_TRUE(std::string(k) == "SkylakeX" ? __builtin_cpu_supports("avx512f")
                                             : __builtin_cpu_supports("avx2"))
        << k;
  }
  TempDir generic("generic"), chosen("chosen");
  for (const fs::path* d : {&generic.path, &chosen.path})
    fs::copy_file(fs::path(OSTREL_SOURCE_DIR) / "tests/data/memory/bundle.inp", *d / "case.inp");
  std::vector<double> a, b;
  {
    const EnvVar kernels(blas_kernels_variable, "Prescott");
    ASSERT_EQ(run_ostrel(generic.path, {"case.inp"}).status, 0);
    a = numbers(slurp(generic.path / "result.osl"));
  }
  {
    const EnvVar kernels(blas_kernels_variable, std::nullopt);
    const EnvVar threads("OPENBLAS_NUM_THREADS", std::nullopt);  // the start again sets both
    ASSERT_EQ(run_ostrel(chosen.path, {"case.inp"}).status, 0);
    b = numbers(slurp(chosen.path / "result.osl"));
  }
  ASSERT_EQ(a.size(), b.size());
  ASSERT_GT(a.size(), 4u);
  double largest = 0, err = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    largest = std::max(largest, std::fabs(a[i]));
    err = std::max(err, std::fabs(a[i] - b[i]));
  }
  EXPECT_LE(err, 1e-9 * largest);
}
