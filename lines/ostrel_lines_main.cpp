// The transmission-line report program: everything happens in run_lines().
#include "lines/run_lines.hpp"

int main(int argc, char** argv) {
  return ostrel::lines::run_lines(argc, argv);
}
