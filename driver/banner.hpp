// The program's banner: its name with the maker's credit, and its capacities.
#pragma once

#include <string>

namespace ostrel {

/// "Program OSTREL (" + the maker's web address + ")": the console banner's first line and the
/// windowed program's About text.
std::string banner_line();

/// The console banner's second line: "100 boundary elements,   5 dielectrics;".
std::string capacity_line();

}  // namespace ostrel
