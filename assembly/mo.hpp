// The solution driver: collocation, fill, factorisation, one solution per conductor, charges.
#pragma once

#include "base/problem.hpp"
#include "base/streams.hpp"
#include "solvers/storage.hpp"

namespace ostrel {

/// Fills the boundary-element system, solves it for every conductor at potential 1, integrates
/// the charges into ge, makes ge symmetric and hands it to the result tail. Reads the problem,
/// writes the work arrays of `w` and the streams. In core: one LU factorisation and one solve
/// of the right-hand sides of all conductors together (solve_many); a singular system stops
/// the run after the results. Out of core (`w.scratch` open and empty): each element's block
/// row goes to the scratch file; the records are read back for the block-Jacobi starts and it()
/// solves, in the console build for as many conductors at once as the memory allows (one pass
/// over the file serves all, each conductor's log lines written in conductor order), in the
/// windowed build conductor by conductor with its plots; then the charges are refined by the
/// adjoint iterations (it_adjoint) of every conductor's charge, in lockstep, so that the far
/// couplings get the in-core digits; the file is closed (deleted) before the results, and a
/// solution that did not converge, or printed digits that the residuals leave uncertain, stop
/// the run after them. A record that
/// cannot be read back stops the run with " Can not read file <osl.tmp>". Cost in core: the
/// fill (6 (ni(j) + 1) kernel evaluations per collocation point and element j), the
/// factorisation (2 nd^3 / 3 flops), the solves (2 nd^2 m flops) and the charges (one flux row
/// per conductor point between different materials).
void mo(const Problem& pb, const Dimensions& dims, const SolverControls& ctl, Work& w, Streams& io);

}  // namespace ostrel
