// The console program: everything happens in run_console().
#include "driver/run.hpp"
#include "solvers/blas_workspace.hpp"

int main(int argc, char** argv) {
  ostrel::start_with_blas_settings(argv);
  return ostrel::run_console(argc, argv);
}
