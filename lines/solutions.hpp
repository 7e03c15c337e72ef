// The capacitance solutions a line report needs, solved in memory on copies of the problem.
#pragma once

#include <array>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/halt.hpp"
#include "driver/reading.hpp"
#include "elements.hpp"

namespace ostrel::lines {

/// Relative step of the permittivities for the loss derivative (forward difference): its
/// truncation error (about half the step, 5e-5 of G) and the rounding of the two solutions
/// divided by it (about 1e-12 / 1e-4) both stay far below the two or three digits of a loss
/// tangent.
inline constexpr double loss_step = 1e-4;

/// Every message of a stop, one per line (indented after the first), without repeats; the stop
/// text of the input errors names a run log that ostrel-lines does not write and is left out.
std::string halt_text(const Halt& h);

/// Throws std::runtime_error, with a message that says why, for a problem that makes no line:
/// an inductance problem (iprobl 1); a conductance problem (iunits 3); a kernel without a
/// grounded plane (igg 0, 2, 3) and no grounded conductor (itype 1, isign 0): no return
/// conductor, potentials referred to one length unit; zero total charge (idmn != 0) with a
/// grounded plane (igg 1, 4, 5), which leaves the conductors floating; a medium with a
/// permittivity that is not positive; the side index 0 (no medium) on an interface.
void check_line_problem(const Input& in);

/// Copy of the problem with every permittivity deps(1..5) set to 1 and the material values of
/// the elements taken again (a side index -1 stays 1, 0 stays 0).
Input vacuum(const Input& in);

/// Copy of the problem with the permittivities deps(k) of the media k in `media` multiplied by
/// `factor` and the material values of the elements taken again. O(elements).
Input scaled_media(const Input& in, const std::vector<int>& media, double factor);

/// The media the line's field sees: the side indices of the elements other than 0 (-1 is
/// vacuum, never lossy); for the half-space kernel (igg 3) its two media 1 and 2.
std::vector<int> used_media(const Problem& pb);

/// Copy of the problem with every element's ni doubled, at most nimax_def, and its counts
/// updated. `notes` says which elements could not be refined, or only partly.
struct Refinement {
  Input input;
  std::vector<std::string> notes;
  bool any = false;  ///< some element gained nodes
};
Refinement refined(const Input& in);

/// Runs `solve` with a progress line to `console`: `label`, the number of unknowns `nd`, then
/// the wall time when done, or "stopped" when it throws. Memory that cannot be had becomes a
/// std::runtime_error naming `label`; anything else `solve` throws passes through.
void shown_solution(const std::string& label, int nd, std::ostream& console,
                    const std::function<void()>& solve);

/// Solves the problem in core through further() with discarding streams (the copy gets
/// iunits 0, so ge comes back non-dimensional). Writes one progress line to `console`:
/// `label`, the number of unknowns, then the wall time when done. A stop inside the solution
/// (a Halt, or memory that cannot be had) becomes a std::runtime_error that names `label` and
/// carries the stop's messages. Cost: that of the solution, 8 nd^2 bytes.
std::vector<double> capacitance(const Input& in, const std::string& label, std::ostream& console);

/// The matrices of one line, non-dimensional (units of eps0), m x m column-major.
struct Capacitances {
  int m = 0;
  std::vector<double> ge, ge0;  ///< with the dielectrics; in vacuum
  std::vector<double> gloss;    ///< sum over media of tan(delta) eps dge/deps; empty: lossless
  int solutions = 0;            ///< solutions computed
};

/// Solves for ge and ge0 (one solution when every deps(1..5) is 1 already) and, when `lossy`,
/// the loss matrix: the media are grouped by loss tangent; the groups' shares of ge add up to
/// ge (ge is homogeneous of degree 1 in the permittivities), so one group needs none and each
/// other group one more solution with its permittivities scaled by 1 + loss_step.
/// `tag` is put before each progress label ("refined: ").
Capacitances capacitances(const Input& in, const std::array<double, ndiel>& tan_delta, bool lossy,
                          const std::string& tag, std::ostream& console);

}  // namespace ostrel::lines
