// Numerical constants, switches and texts of the two builds.
//
// Several values are single-precision numbers widened to double on purpose: the results of
// the console program are defined with them, so they must not be replaced by more precise ones.
// The windowed program follows an older state of the design with other values, switches and
// messages; everything that differs between the two builds lives in one BuildConstants record,
// chosen at start-up and carried by the problem description. No routine exists twice.
#pragma once

#include "elements.hpp"

namespace ostrel {

/// The texts that differ between the builds (messages, stop texts, labels, log lines).
struct BuildTexts {
  const char* input_stop;           ///< stop text of every input error
  const char* capacity_exceeded;    ///< log line (and console line) of more than n0 elements
  const char* echo_end;             ///< closing line of the echo
  const char* no_such_units;        ///< units code outside the table
  const char* no_such_grids;        ///< node law other than 0 or 1
  const char* capacitance_label;    ///< start of the shown label of a capacitance matrix
  const char* inductance_label;     ///< start of the shown label of an inductance matrix
  const char* capacitance_head;     ///< heading of a capacitance matrix in the files
  const char* inductance_head;      ///< heading of an inductance matrix in the files
  const char* too_many_iterations;  ///< log line of an iteration that did not converge
  const char* cannot_read_scratch;  ///< a scratch record could not be read back (iteration)
  const char* in_core;              ///< shown when the whole matrix is in memory
  const char* in_core_log;          ///< the same in the log
  const char* out_of_core;          ///< shown when the block out-of-core mode is chosen
  const char* out_of_core_log;      ///< the same in the log
  const char* lu_log_before;        ///< log text before the in-core factorisation
  const char* lu_log_after;         ///< log line after it
  // Failures of the work arrays of the windowed build, which are reported to their caller.
  const char* no_vectors;         ///< the vectors of the solution cannot be obtained
  const char* no_blocks;          ///< not even one block row of the out-of-core mode
  const char* small_memory;       ///< the whole matrix cannot be obtained: the fall-back
  const char* no_scratch;         ///< the named scratch file cannot be opened
  const char* no_charge_row;      ///< the zero-total-charge row cannot be obtained
  const char* no_iteration_work;  ///< the work arrays of the iteration cannot be obtained
};

struct BuildConstants {
  double pi;              ///< pi used by geometry, kernels, assembly and pictures
  double two_pi;          ///< 2*pi in the same precision
  double tiny;            ///< small-value threshold: log limits, LU tolerance, ort, equal materials
  double zero_length;     ///< elements shorter than this are rejected on input
  double half_threshold;  ///< where the first half of an open element's grid ends
  int min_auto_ni;        ///< least number of sub-elements of an automatic subdivision
  double permeability;    ///< vacuum permeability in units of 1e-6 H/m, for inductances
  int title_length;       ///< characters kept of each title line

  // Switches of the windowed build (all false in the console build).
  bool windowed;            ///< status and progress in the text window, plots instead of the EPS
  bool reads_window_items;  ///< reads ish (group 3), the scratch directory (group 7) and the
                            ///< node laws ileft/iright from the file
  bool result_head;         ///< the result file starts with the titles and the problem kind
  bool lean_results;        ///< no non-dimensional log records, invert only when geinv is reported,
                            ///< ge reported as integrated (not made symmetric)
  bool named_scratch;  ///< binary scratch file "tmp.osl" in the given directory, and the fall-back
                       ///< to the out-of-core mode when the whole matrix cannot be obtained

  BuildTexts text;
};

/// Console build: pi = 3.14159274 (float), 1e-9 as float.
inline constexpr BuildConstants console_build{
    3.1415927410125732,     // float(pi)
    6.2831854820251465,     // float(2*pi)
    9.999999717180685e-10,  // float(1e-9)
    9.999999717180685e-10,  // float(1e-9)
    1.000000001,            // grid half threshold
    3,                      // at least 3 automatic sub-elements
    1.2566371151303812,     // permeability factor of the result tables
    title_length,           // characters kept of a title
    false,
    false,
    false,
    false,
    false,
    {
        "error input file, see <ostrel.log>",
        "Internal arrays dimension exceeded;",
        "-----------------------------end-of-input-data",
        "No such units",
        "No such grids",
        "Capacitance (Conductivity) ",
        "Inductivity (resistance) ",
        "Capacitance (conductance) ",
        "Inductance (resistance) ",
        "Warning: too many iterations in it(...)",
        "Cannot read file <osl.tmp>",
        "BEM matrix allocated in core;",
        "Whole BEM matrix allocated in core;",
        "Out-of-core solver applied;",
        "Block out-of-core solver with default parameters applied;",
        "LU decomposition: ",
        "Done",
        "",
        "",
        "",
        "",
        "",
        "",
    },
};

/// Windowed build: ten-digit pi, threshold 1e-6 in double, lower-case messages.
inline constexpr BuildConstants windowed_build{
    3.1415926536,        // pi to ten decimals
    6.2831853072,        // 2*pi to ten decimals
    1.0e-6,              // threshold
    1.0e-6,              // zero length
    1.000001,            // grid half threshold
    2,                   // at least 2 automatic sub-elements: the older design's 1 would give
                         // an element a single node, which its basis functions cannot have
    1.2566370801653515,  // permeability factor of the result tables
    60,                  // title length
    true,
    true,
    true,
    true,
    true,
    {
        "error input file, see <ostrel.log>",  // the log it writes (an older text named a
                                               // file that no run writes)
        "internal arrays dimension exceeded;",
        "-------------------------------end-of-input-data-",
        "no such units",
        "no such grids",
        " capacitance (conductivity) ",
        " inductivity (resistance) ",
        "capacitance (conductance) ",
        "inductance (resistance) ",
        "warning: too many iterations in it(...)",
        "cannot read file <osl.tmp>",
        "BEM matrix allocated in core",
        "all BEM matrix allocated in core",
        "out-of-core solver applied",
        "block out-of-core solver with default parameters applied",
        "LU decomposition ...%\n",
        "LU - decomposition ready",
        "unsufficient memory allocation 1D arrays",
        "no blocks of matrix  ama(i,j) can be allocated",
        "small memory for in-core matrix",
        " error open file <tmp.osl>",
        "no memory for last string",
        "unsufficient allocation arrays for it(...)",
    },
};

/// Vacuum permittivity in pF/m: float(8.8542).
inline constexpr double vacuum_permittivity_pf = 8.85420036315918;
/// Pico factor: float(1e-12).
inline constexpr double pico = 9.999999960041972e-13;
/// Margin of the EPS picture's world window: float(0.025).
inline constexpr double eps_picture_margin = 0.02500000037252903;
/// Margin of the on-screen plots: float(0.05).
inline constexpr double screen_plot_margin = 0.05000000074505806;

}  // namespace ostrel
