// Solving a named structure: its resolution chosen and proven by refinement, and the value of
// one of its lengths that gives a target impedance.
#pragma once

#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

#include "lines/options.hpp"
#include "lines/parameters.hpp"
#include "structures/catalogue.hpp"
#include "structures/request.hpp"

namespace ostrel::structures {

/// Share of the tolerance that the impedance targeting leaves to the root (the rest is the
/// discretisation's): the value found gives the target within a quarter of the tolerance.
inline constexpr double root_share = 0.25;
/// The varied length is searched from its given value divided by this to multiplied by it,
/// where the geometry is valid.
inline constexpr double vary_span = 1000;

/// One solved geometry.
struct Evaluation {
  Values values;
  Resolution res;
  std::string text;  ///< its problem file
  lines::LineParameters p;
  std::vector<double> figures;  ///< the impedances and effective permittivities checked
};

/// The state of a run: the structure, the options (media losses, frequency), where progress
/// goes, the solved geometries (solved once each) and the count of system solutions.
struct Sizing {
  const Structure& s;
  const lines::Options& o;
  std::ostream& console;
  std::string vary;  ///< the varied key, named in the progress lines
  std::deque<Evaluation> solved;
  int solutions = 0;
};

/// How far the figures moved with the nodes doubled (refined) and with the extent doubled
/// (widened; 0 for a structure without one): the largest relative move of each.
struct Accuracy {
  Resolution res;
  double refined = 0, widened = 0;
  double estimate() const { return refined + widened; }
};

/// Draws, reads and solves `v` at `res` once (later calls return the same evaluation): the
/// capacitance with the dielectrics and in vacuum (one vacuum solution scaled by er when the
/// line is in one medium and lossless), then the line parameters. Throws std::runtime_error
/// for more than n0 elements or a solution that fails. Cost: one or two solutions.
const Evaluation& evaluate(Sizing& z, const Values& v, const Resolution& res);

/// The impedance `q` of a solved line.
double impedance(const lines::LineParameters& p, Quantity q);

/// The resolution for `v`: from `start` (scaled to the tolerance), solve, refine and widen;
/// double the nodes while the refinement moves the figures by more than half the tolerance,
/// the extent while the widening does, until the two moves add up to at most `tolerance`.
/// Throws std::runtime_error when the capacity (n0 elements) is reached first.
Accuracy choose_resolution(Sizing& z, const Values& v, double tolerance, Resolution start,
                           bool scale_start);

/// The outcome of a targeting.
struct Targeted {
  Values values;  ///< with the varied key at the value found
  Accuracy accuracy;
  double achieved = 0;  ///< the impedance there, ohm
  int evaluations = 0;  ///< impedances the root finder asked for (the accuracy's excluded)
};

/// Finds the value of r.vary for which impedance r.quantity is r.target within root_share of
/// the tolerance, at a resolution proven at that value: a start from the closed form (solved
/// for the target), a second point from the closed form corrected by the first solution's
/// ratio, steps outward until the target is bracketed, then Brent's method. Throws
/// std::runtime_error when no value in the valid range reaches the target (naming the nearest
/// figure) or the resolution cannot be had.
Targeted find_value(Sizing& z, const Request& r);

}  // namespace ostrel::structures
