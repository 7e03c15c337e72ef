// Times the phases of one run of a program of this project and, in the same run, LAPACK's
// dgetrf on a matrix of the system's order: the reference of the whole-run target.
//
// Usage: ostrel-phases ORDER PROGRAM INPUT [RESULT]
//
// The program's console output is read through a pipe, byte by byte, and the phases are cut at
// its progress marks: "allocated in core;" (reading, echo and picture end), "Filling BEM matrix"
// (the matrix's pages are taken), "LU:" (fill ends), "Solving:" (factorisation ends), the last
// conductor dot (solutions end), " Done;" (charges end), the exit (results written). The whole
// run is the wall time from the start of the process to its end, as /usr/bin/time gives it;
// the processor times and the peak resident memory are the child's, from wait4. Prints one line
// per phase in seconds, then the reference and the ratios (a run without these marks, out of
// core, only its time and memory), and the BLAS library's kernels; exit status 1 when the run
// fails. Where the programs would ask OpenBLAS for other kernels than its own choice, this one
// starts again with them first, so that dgetrf runs on the kernels of the run it is set against.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "solvers/blas_workspace.hpp"

extern "C" void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv,
                        int* info);
// OpenBLAS's name of the kernels it chose for this processor.
extern "C" char* openblas_get_corename();

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

double cpu_seconds(const timeval& t) {
  return double(t.tv_sec) + 1e-6 * double(t.tv_usec);
}

// Seconds of one dgetrf of a random matrix of order n (entries uniform in [-1, 1]).
double time_dgetrf(int n) {
  std::vector<double> a(static_cast<std::size_t>(n) * n);
  std::mt19937_64 gen(42);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (double& v : a)
    v = u(gen);
  std::vector<int> ipiv(n);
  int info = 0;
  const auto t0 = Clock::now();
  dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
  return seconds(t0, Clock::now());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: ostrel-phases ORDER PROGRAM INPUT [RESULT]\n");
    return 2;
  }
  if (const char* kernels = ostrel::blas_kernels_for_processor();
      kernels && setenv(ostrel::blas_kernels_variable, kernels, 1) == 0)
    execv("/proc/self/exe", argv);
  const int order = std::atoi(argv[1]);
  int fd[2];
  if (pipe(fd) != 0) return 2;
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    dup2(fd[1], STDOUT_FILENO);
    close(fd[0]);
    close(fd[1]);
    execv(argv[2], argv + 2);
    _exit(127);
  }
  close(fd[1]);

  // Marks in the order they appear; each phase ends at its mark.
  const std::vector<std::string> marks = {"allocated in core;", "Filling BEM matrix",
                                          "LU:", "Solving:"};
  std::vector<Clock::time_point> at;
  std::string tail;
  Clock::time_point last_dot{}, done_after_solving{};
  bool solving = false;
  char c;
  while (read(fd[0], &c, 1) == 1) {
    tail += c;
    if (tail.size() > 64) tail.erase(0, tail.size() - 64);
    const auto now = Clock::now();
    if (at.size() < marks.size() && tail.ends_with(marks[at.size()])) {
      at.push_back(now);
      solving = at.size() == marks.size();
    } else if (solving && c == '.') {
      last_dot = now;
    } else if (solving && tail.ends_with(" Done;")) {
      done_after_solving = now;
      solving = false;
    }
  }
  int status = 0;
  rusage ru{};
  wait4(child, &status, 0, &ru);
  const auto end = Clock::now();
  const double peak_mb = ru.ru_maxrss / 1024.0;
  const double matrix_mb = 8.0 * order * order / (1024.0 * 1024.0);
  const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (at.size() < marks.size() || done_after_solving == Clock::time_point{}) {
    // An out-of-core run has no factorisation: only its time and memory.
    std::printf("order                %d\n", order);
    std::printf("whole run        s   %.3f\n", seconds(start, end));
    std::printf("peak memory     MiB  %.1f\n", peak_mb);
    return ok ? 0 : 1;
  }
  const double read_s = seconds(start, at[0]), pages_s = seconds(at[0], at[1]),
               fill_s = seconds(at[1], at[2]), lu_s = seconds(at[2], at[3]),
               solve_s = seconds(at[3], last_dot),
               charges_s = seconds(last_dot, done_after_solving),
               output_s = seconds(done_after_solving, end), total_s = seconds(start, end);
  const double dgetrf_s = time_dgetrf(order);
  std::printf("order                %d\n", order);
  std::printf("reading+picture  s   %.3f\n", read_s);
  std::printf("matrix pages     s   %.3f\n", pages_s);
  std::printf("fill             s   %.3f\n", fill_s);
  std::printf("factorisation    s   %.3f\n", lu_s);
  std::printf("solutions        s   %.3f\n", solve_s);
  std::printf("charges          s   %.3f\n", charges_s);
  std::printf("output           s   %.3f\n", output_s);
  std::printf("whole run        s   %.3f\n", total_s);
  std::printf("dgetrf           s   %.3f\n", dgetrf_s);
  std::printf("user cpu         s   %.3f\n", cpu_seconds(ru.ru_utime));
  std::printf("system cpu       s   %.3f\n", cpu_seconds(ru.ru_stime));
  std::printf("run / dgetrf         %.3f\n", total_s / dgetrf_s);
  std::printf("pages / run          %.3f\n", pages_s / total_s);
  std::printf("solutions / LU       %.3f\n", solve_s / lu_s);
  std::printf("charges / run        %.3f\n", charges_s / total_s);
  std::printf("peak memory     MiB  %.1f\n", peak_mb);
  std::printf("peak / 8 nd^2        %.3f\n", peak_mb / matrix_mb);
  std::printf("blas kernels         %s\n", openblas_get_corename());
  return ok ? 0 : 1;
}
