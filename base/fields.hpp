// Fixed-width output fields in the manner of Fortran edit descriptors.
//
// Every number that the program writes to the console, the run log, the result file or the
// picture goes through one of these functions. A value too wide for its field is written as
// asterisks filling the field. Each call costs one short snprintf and allocates one string.
#pragma once

#include <string>

namespace ostrel {

/// `w` asterisks.
std::string stars(int w);

/// Integer right-aligned in `w` columns (Iw).
std::string iw(long long v, int w);

/// Exponent form with one digit before the point and `d` after (1PEw.d):
/// es(1.0, 10, 3) == " 1.000E+00". Exponents beyond two digits drop the letter (1.000+100).
std::string es(double v, int w, int d);

/// Exponent form with a zero before the point (Ew.d): e0(12.34, 10, 4) == "0.1234E+02"; a
/// negative value without room for the zero drops it: e0(-12.34, 10, 4) == "-.1234E+02".
std::string e0(double v, int w, int d);

/// Fixed notation with `d` decimals right-aligned in `w` columns (Fw.d): fw(2.25, 5, 1) == "  2.2".
std::string fw(double v, int w, int d);

/// Text left-aligned in `w` columns: padded with blanks, never cut (a longer text is kept whole).
std::string padded(const std::string& s, int w);

/// The current local date and time as 24 characters, "Mon Dec  7 22:54:13 2026".
std::string date24();

}  // namespace ostrel
