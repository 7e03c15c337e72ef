// The console program: everything happens in run_console().
#include "driver/run.hpp"
#include "solvers/blas_workspace.hpp"

int main(int argc, char** argv) {
  ostrel::start_without_blas_threads(argv);
  return ostrel::run_console(argc, argv);
}
