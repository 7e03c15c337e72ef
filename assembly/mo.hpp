// The solution driver: collocation, fill, factorisation, one solution per conductor, charges.
#pragma once

#include "base/problem.hpp"
#include "base/streams.hpp"
#include "solvers/storage.hpp"

namespace ostrel {

/// Fills the boundary-element system, solves it for every conductor at potential 1, integrates
/// the charges into ge, makes ge symmetric and hands it to the result tail. Reads the problem,
/// writes the work arrays of `w` and the streams. In the out-of-core mode `w.scratch` is open.
void mo(const Problem& pb, const Dimensions& dims, const SolverControls& ctl, Work& w, Streams& io);

}  // namespace ostrel
