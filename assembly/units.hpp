// The units codes (iunits) of the reported matrices: which belong to which problem kind, and
// their texts.
#pragma once

#include "base/problem.hpp"

namespace ostrel {

/// Number of units codes: iunits 0..6.
inline constexpr int units_codes = 7;

/// One units code: whether it belongs to a capacitance (iprobl 0) and to an inductance problem
/// (iprobl 1), and the unit text of the file heading. The shown label is the build's start of
/// label with the unit text, its "; " replaced by ":".
struct Units {
  bool capacitance;
  bool inductance;
  const char* text;
};

/// The table of the codes 0..6.
inline constexpr Units units_table[units_codes] = {
    {true, true, "[no units]; "}, {true, false, "[pF/m]; "}, {true, false, "[F/m]; "},
    {true, false, "[1/om]; "},    {false, true, "[mH/m]; "}, {false, true, "[om]; "},
    {false, true, "[pH]; "},
};

/// The unit text of a units code ("[pF/m]; " for 1), or null outside 0..6. O(1).
const char* unit_text(int iunits);

/// True when pb.iunits is a code of the table for the problem kind: 0..3 for a capacitance,
/// 0, 4, 5, 6 for an inductance problem. O(1).
bool units_fit(const Problem& pb);

/// True when the reported matrix is the inverse of ge: code 0 with iprobl 1, codes 4..6. O(1).
bool reports_inverse(const Problem& pb);

}  // namespace ostrel
