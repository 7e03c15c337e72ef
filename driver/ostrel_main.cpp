// The console program: everything happens in run_console().
#include "driver/run.hpp"

int main(int argc, char** argv) {
  return ostrel::run_console(argc, argv);
}
