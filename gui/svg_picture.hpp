// A graphics window's recorded picture as an SVG document: every recorded operation becomes a
// vector element (lines and polylines, elliptical arcs, ellipses, rectangles, text), clipped
// to its viewport, in the palette's colours and with the line masks as dash patterns.
#pragma once

#include <string>

#include "gui/drawing.hpp"

namespace ostrel::gui {

/// The used part of the drawing (Drawing::used()) as a standalone SVG document, one user unit
/// per logical pixel. Coordinates that are not finite or lie far outside the picture are
/// dropped. Reads the font database for the text's size; O(operations).
std::string svg_picture(const Drawing& d);

}  // namespace ostrel::gui
