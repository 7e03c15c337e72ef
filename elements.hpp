// Build-time capacities shared by every subsystem.
#pragma once

namespace ostrel {

/// Maximum number of boundary elements of one problem.
inline constexpr int n0 = 100;
/// Number of dielectric permittivities deps(1..5) read from every problem.
inline constexpr int ndiel = 5;
/// Maximum number of sub-elements (collocation points) of one element.
inline constexpr int nimax_def = 95;
/// Characters kept of each title line.
inline constexpr int title_length = 72;
/// Width of the file-name field where a line shows it.
inline constexpr int name_length = 80;

}  // namespace ostrel
