#include "driver/run.hpp"

namespace ostrel {

int run_console(int, char**) { return 0; }

}  // namespace ostrel
