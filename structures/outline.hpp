// The boundary elements of a generated cross-section and the problem file that holds them.
//
// A structure is drawn as an Outline: the media, the Green's function and a list of elements
// with explicit node counts. problem_text() writes it in the form that both ostrel and
// ostrel-gui read (group 3 and group 7 ended by a slash, so that the windowed program's extra
// values keep their defaults; every ni given, ileft and iright 1), and read_outline() reads
// that very text back, so that a run solves exactly what --write-problem saves.
#pragma once

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "driver/reading.hpp"
#include "elements.hpp"

namespace ostrel::structures {

/// The media of every generated problem, as deps indices.
inline constexpr int air = 1;        ///< deps(1) = 1
inline constexpr int substrate = 2;  ///< deps(2): the substrate or the filling
inline constexpr int coating = 3;    ///< deps(3): solder mask, or the insulation of a wire

/// Least length of an element, mm: above the windowed program's zero-length threshold (1e-6)
/// with a margin, so that both programs accept every element.
inline constexpr double least_element = 1e-5;

struct Point {
  double x = 0, y = 0;
};

/// One element of the file: form 0 (segment) or 3 (circle), its type, conductor number, node
/// count, geometry and the deps indices of its minus and plus sides (the plus side is on the
/// left of the direction of travel; for a counter-clockwise circle, inside).
struct Piece {
  int iform = 0, itype = 0, isign = 0, ni = 0;
  std::array<double, 5> geom{};
  int minus = 0, plus = 0;
  std::string note;  ///< comment written after the header
};

struct Outline {
  std::string title1, title2;  ///< at most 60 characters each (the windowed program's)
  std::array<double, ndiel> deps{1, 1, 1, 1, 1};
  std::string media;  ///< comment after the permittivities
  int igg = 0, idmn = 0;
  double gpars1 = 0;  ///< the channel height of igg 4 and 5
  std::vector<Piece> pieces;
};

/// Element kinds.
inline constexpr int conductor = 1;  ///< itype 1
inline constexpr int interface = 3;  ///< itype 3

/// Appends the segment a -> b with `ni` nodes, split into equal elements of at most nimax_def
/// nodes each when ni is larger. O(ni).
void segment(Outline& o, Point a, Point b, int itype, int isign, int ni, int minus, int plus,
             const std::string& note);

/// The least share of the nodes of a thinned element (see thinned_nodes). Measured on coplanar
/// waveguides at 12 nodes an element: a quarter moved the figures by at most 0.005 % from those
/// with every node (a fifth of the move of the doubled nodes) and saved a fifth of the unknowns.
inline constexpr double least_node_share = 0.25;
/// Nodes of an element at least: its first and last basis functions reach to the other node.
inline constexpr int least_nodes_of_element = 2;

/// The node count of an element whose nearer end lies `distance` from a conductor's edge when
/// the nodes thin out from `thin_from` on: `nodes` up to there, then nodes thin_from/distance,
/// at least least_node_share of them (and least_nodes_of_element). Beyond the features the
/// density is smooth and small; doubling `nodes` still doubles every element's count (to
/// rounding).
int thinned_nodes(int nodes, double distance, double thin_from);

/// Appends the segment a -> b as elements that grow from `first` by a factor of two away from
/// the fine end(s) (`fine_a`, `fine_b`; both: from each end toward the middle; neither: one
/// element), their nodes thinned from `thin_from` on (thinned_nodes; infinite: `nodes` on
/// every element); the element at a fine end is `first` long unless the segment is too short
/// for it (under two first lengths, or two and a half when fine at both ends): then it is one
/// element, or two halves when fine at both ends and at least one and a half first lengths
/// long, so that the elements that meet at its ends stay alike. Suits a line whose density is
/// singular at a corner or an edge and smooth far from it.
/// O(number of elements + nodes).
void graded(Outline& o, Point a, Point b, double first, bool fine_a, bool fine_b, int itype,
            int isign, int nodes, int minus, int plus, const std::string& note,
            double thin_from = INFINITY);

/// Appends a full circle (counter-clockwise: its plus side is inside) with `ni` nodes.
void circle(Outline& o, Point centre, double radius, int itype, int isign, int ni, int minus,
            int plus, const std::string& note);

/// The problem file of the outline. Numbers are written exactly (shortest round trip), in mm.
std::string problem_text(const Outline& o);

/// Reads `text` as the console program does (echo and console discarded). Throws
/// std::runtime_error with the reading's messages if it stops (a generated problem never should).
Input read_outline(const std::string& text);

}  // namespace ostrel::structures
