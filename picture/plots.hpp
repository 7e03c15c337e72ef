// The windowed program's two plots in the graphics window.
//
// The cross-section plot draws the axes, the ground planes of the Green's function and every
// element in the colour of its kind (the conductor being solved for in yellow, the other
// conductors light red) in the upper viewport, with the world window fitted to the viewport's
// shape. The charge-density plot draws the density along each element against the element
// parameter, all elements overlaid in the lower viewport. With a nonzero label switch both
// plots carry the element numbers in small black boxes. Both draw through the Platform
// operations only and leave the text window current.
#pragma once

#include <span>

#include "base/problem.hpp"
#include "geometry/element.hpp"
#include "picture/platform.hpp"
#include "picture/windows.hpp"

namespace ostrel {

/// Stop text of a world window the window system refuses.
inline constexpr const char* error_window_text = "error window";
/// Caption of the charge-density plot.
inline constexpr const char* charge_plot_caption = "densities of charges";

/// Extents of the plots: the union of the boxes (emima) of all elements of `pb`; the ground
/// planes are not included. All zero without elements. The run computes it once, before the
/// first plot. O(n).
Box picture_extents(const Problem& pb);

/// Cross-section plot of elements 1..e (e <= pb.n(), asserted) with conductor k highlighted
/// (k = 0 before the solution: every numbered conductor light red). Activates the graphics
/// window and sets the upper viewport of `sc`; only k < 1 clears it and paints its dark-grey
/// background, so a later call repaints the elements over the previous picture. The world
/// window is `extents` with a margin of screen_plot_margin of each extent (the other one's
/// where an extent is below pb.c().tiny), widened on one axis to the viewport's shape. Arcs
/// in degrees are converted with pb.c().pi. Labels when `ish` != 0. Leaves the text window
/// current. Stops the run (Halt, stop text "error window", exit_failure) when the window
/// system refuses the world window, which happens when all elements lie in one point. Element
/// forms outside 0..3 draw nothing, but their labels stop the run through elem(). O(e).
void cross_section_plot(Platform& p, const WindowLayout& sc, const Box& extents, const Problem& pb,
                        int e, int k, int ish);

/// Charge-density plot of conductor k's solution: for each element i = 1..e (e <= pb.n(),
/// asserted) the densities sigma(r+1..r+ni) against the parameters t(r+1..r+ni), r the sum of
/// ni over the elements before i (sigma and t hold at least that many values, asserted; an
/// extra zero-total-charge value after them is ignored). Clears the lower viewport of `sc` and
/// sets the world window -1..1 across and the range of the finite densities, with a margin of
/// screen_plot_margin of that range, upward. Densities that are all equal (or none finite)
/// are drawn over the common value v +- |v| * screen_plot_margin, or v +- 1 when that leaves
/// no range, instead of stopping the run. Colours as in the cross-section, except that an
/// element of another type than 1..3 keeps the colour of the element before it (the axes'
/// light grey for the first). Labels when `ish` != 0 at the node whose parameter interval holds
/// 2i/e - 1. Stops the run ("error window") only should the window system refuse a window of
/// nonzero size. Leaves the text window current. O(sum of ni).
void charge_plot(Platform& p, const WindowLayout& sc, const Problem& pb, int e, int k, int ish,
                 std::span<const double> sigma, std::span<const double> t);

}  // namespace ostrel
