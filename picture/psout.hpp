// The Encapsulated PostScript picture of the device cross-section (console program).
//
// The picture shows every boundary element as a line, arc or circle in the colour of its kind
// with its number beside it, the coordinate axes and the ground planes of the chosen Green's
// function, in a square world window mapped onto the 500 x 500 point box 50..550 x 300..800.
// It is written once per run, after the echo and before the solution; it holds no results.
#pragma once

#include <iosfwd>
#include <string>

#include "base/problem.hpp"

namespace ostrel {

/// Device box of the picture in PostScript points; also the file's bounding box.
inline constexpr int ps_xlow = 50;
inline constexpr int ps_xhigh = 550;
inline constexpr int ps_ylow = 300;
inline constexpr int ps_yhigh = 800;
/// Width of the picture-name field of the console lines.
inline constexpr int ps_name_field = 78;

/// Square world window X0 < X1, Y0 < Y1 that the device box shows.
struct PictureWindow {
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

/// Position of the last non-blank character of `text` (1-based), 0 when it is all blanks.
/// O(length).
int length(const std::string& text);

/// Device coordinate of the world coordinate q on the axis whose world range q1..q2 maps onto
/// the device range i1..i2: i1 + (i2 - i1) * (q - q1) / (q2 - q1) evaluated from left to
/// right in double, truncated toward zero. q = q1 and q = q2 give i1 and i2 exactly for the
/// device box (the product and quotient are within one unit in the last place of i2 - i1 and
/// the sum rounds to the even end point). A result beyond the int range saturates at INT_MIN or
/// INT_MAX; a NaN (empty range, non-finite input) gives i1. O(1).
int ip(double q, int i1, int i2, double q1, double q2);

/// Name of the picture file of the input file `input_name`: the name without its trailing
/// blanks followed by ".ps", never cut; "OSTREL_dat.ps" should that equal the input name.
std::string picture_name(const std::string& input_name);

/// The square world window of the picture: the box of all elements (emima), widened to y = 0
/// for igg 1..5 and to y = gpars(1) for igg 4 and 5, with a margin of eps_picture_margin of
/// the extent on each side (the other axis's margin where one extent is below pb.c().tiny),
/// made square around the centre of the shorter side. O(n).
PictureWindow picture_window(const Problem& pb);

/// Writes the whole picture text of `pb` to `out`: header (with `date` on the CreationDate
/// line and `input_name` blank-padded to 80 columns on the Title line), prologue, clipping
/// frame, axes, ground planes and every element with its label. Does not check `out`. O(n).
void write_picture(const Problem& pb, const std::string& input_name, const std::string& date,
                   std::ostream& out);

/// Writes the picture of `pb` to the file picture_name(input_name) whole (a temporary file moved
/// into place, replacing a file of that name), and tells the console "PostScript picture in  "
/// + name (78-column field). When that file cannot be written (the input's folder is
/// read-only), the picture goes to the current folder under the same file name, and the console
/// names that file and says why. Stops the run (Halt, exit_failure) with "Can not write
/// PostScript file  " + name + the reason on the console when neither can be written. O(n).
void psout(const Problem& pb, const std::string& input_name, std::ostream& console);

}  // namespace ostrel
