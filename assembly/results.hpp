// The result tail of the solution: inversion, units, the printed matrices and the result file.
#pragma once

#include <iosfwd>
#include <span>

#include "assembly/units.hpp"
#include "base/problem.hpp"
#include "base/streams.hpp"
#include "solvers/storage.hpp"

namespace ostrel {

/// Values of one printed line of a matrix row.
inline constexpr int prf_values_per_line = 25;
/// Fraction digits of a printed matrix value (e0).
inline constexpr int prf_digits = 4;

/// Turns the symmetric non-dimensional capacitance matrix w.ge (m x m) into the reported
/// results: w.geinv = ge^-1 (invert, with w.gework, w.rhs, w.ipvt as work); both
/// non-dimensional matrices to the log; scaling by pb.iunits (1: ge * vacuum_permittivity_pf;
/// 2: then * pico; 4, 6: geinv * pb.c().permeability); the console label and matrix;
/// outputer() to the log and to the result file. A units code outside the table for the problem
/// kind stops the run with "No such units" on the console (after the log record, before any
/// result). When the reported matrix holds a value that is not finite, or it is the inverse of
/// a matrix with a pivot below the LU tolerance, the run stops with a message on the console and
/// in the log after everything has been written. Cost 8m^3/3 flops.
void results(const Problem& pb, int m, Work& w, Streams& io);

/// Writes three empty lines, the heading ("Capacitance (conductance) " or "Inductance
/// (resistance) " and the unit text of pb.iunits), an empty line and prf() of the matrix that
/// pb.iunits and pb.iprobl select: x (ge) for codes 1..3 and for 0 with iprobl 0, y (geinv)
/// otherwise. Expects a units code of the table.
void outputer(const Problem& pb, std::span<const double> x, std::span<const double> y, int m,
              std::ostream& os);

/// Writes the rows of the m x m matrix a (column-major), each value as e0(v,10,4) and one
/// blank, at most prf_values_per_line values a line (a longer row goes on over several lines),
/// then one empty line.
void prf(std::ostream& os, std::span<const double> a, int m);

}  // namespace ostrel
