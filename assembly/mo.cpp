#include "assembly/mo.hpp"

namespace ostrel {

void mo(const Problem&, const Dimensions&, const SolverControls&, Work&, Streams&) {}

}  // namespace ostrel
