// Lengths with units, as a user writes them on the command line ("0.3mm", "12mil", "300um").
#pragma once

#include <string>

namespace ostrel::structures {

/// Millimetres per mil (a thousandth of an inch): 0.0254 mm, exact by the definition of the inch.
inline constexpr double mm_per_mil = 0.0254;

/// Reads a length: a finite number followed by nothing (millimetres) or one of the units mm, um
/// (or µm), cm, m, mil (or thou) and in (or inch); returns it in millimetres. "inf" is read as
/// an unbounded length (+infinity) when `unbounded` is true. Throws std::invalid_argument, naming
/// `what`, for any other text. Does not check the sign.
double parse_length(const std::string& text, const std::string& what, bool unbounded = false);

/// The shortest text that reads back as `mm` exactly, with " mm" after it.
std::string mm_text(double mm);

}  // namespace ostrel::structures
