// The transmission-line report program: everything happens in run_lines().
#include "lines/run_lines.hpp"
#include "solvers/blas_workspace.hpp"

int main(int argc, char** argv) {
  ostrel::start_with_blas_settings(argv);
  return ostrel::lines::run_lines(argc, argv);
}
