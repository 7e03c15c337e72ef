// The solution driver: collocation, fill, factorisation, one solution per conductor, charges.
#pragma once

#include "base/problem.hpp"
#include "base/streams.hpp"
#include "solvers/storage.hpp"

namespace ostrel {

/// Fills the boundary-element system, solves it for every conductor at potential 1, integrates
/// the charges into ge, makes ge symmetric and hands it to the result tail. Reads the problem,
/// writes the work arrays of `w` and the streams. In core: one LU factorisation, a singular
/// system stops the run after the results. Out of core (`w.scratch` open and empty): each
/// element's block row goes to the scratch file; per conductor the records are read back for
/// the block-Jacobi start and it() solves; the file is closed (deleted) before the results, and
/// a solution that did not converge stops the run after them. A record that cannot be read
/// back stops the run with " Can not read file <osl.tmp>".
void mo(const Problem& pb, const Dimensions& dims, const SolverControls& ctl, Work& w, Streams& io);

}  // namespace ostrel
