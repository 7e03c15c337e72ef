#include "structures/outline.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "base/halt.hpp"
#include "lines/report.hpp"
#include "lines/solutions.hpp"

namespace ostrel::structures {

namespace {

// Growth of the elements of a graded segment away from its fine end. Fewer, longer elements
// cost accuracy: with a growth of 4 the coplanar waveguide's effective permittivity was 0.7 %
// off at 8 nodes an element, with 2 it was 0.12 % off (the six-point rule of an element's end
// interval is accurate for the collocation points of a neighbour that is not much longer).
constexpr double growth = 2;
// A segment fine at both ends at least this many first lengths long is cut in two.
constexpr double least_halving = 1.5;
// A segment fine at both ends has a first element at each end when each half holds this many
// first lengths beyond its own: the middle element is then at least half a first length.
constexpr double least_half_rest = 0.25;

std::string num(double v) {
  return lines::exact_number(v == 0 ? 0.0 : v);
}

Point lerp(Point a, Point b, double s) {
  return {a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s};
}

double distance(Point a, Point b) {
  return std::hypot(b.x - a.x, b.y - a.y);
}

// Fractions along a segment of length `len` at which elements growing from 0 end. The first
// element is `first` long whenever the rest is at least `least_rest` first lengths, so that
// the elements meeting at a corner are alike; then each is `growth` times the one before, and
// the last takes the rest (less than 1 + growth times the size it would have had).
std::vector<double> growing_cuts(double len, double first, double least_rest) {
  std::vector<double> cuts;
  if (len - first < least_rest * first) return cuts;
  double at = first, size = first * growth;
  cuts.push_back(at / len);
  while (len - at >= (1 + growth) * size) {
    at += size;
    cuts.push_back(at / len);
    size *= growth;
  }
  return cuts;
}

}  // namespace

void segment(Outline& o, Point a, Point b, int itype, int isign, int ni, int minus, int plus,
             const std::string& note) {
  const int parts = (ni + nimax_def - 1) / nimax_def;
  const int each = (ni + parts - 1) / parts;
  for (int k = 0; k < parts; ++k) {
    const Point p = lerp(a, b, double(k) / parts), q = lerp(a, b, double(k + 1) / parts);
    if (distance(p, q) < least_element)
      throw std::invalid_argument("the geometry has an element shorter than " + num(least_element) +
                                  " mm (" + note + ")");
    o.pieces.push_back({0, itype, isign, each, {p.x, p.y, q.x, q.y, 0}, minus, plus, note});
  }
}

int thinned_nodes(int nodes, double distance, double thin_from) {
  if (!(distance > thin_from)) return nodes;
  const double share = std::max(least_node_share, thin_from / distance);
  return std::max(least_nodes_of_element, static_cast<int>(std::lround(nodes * share)));
}

void graded(Outline& o, Point a, Point b, double first, bool fine_a, bool fine_b, int itype,
            int isign, int nodes, int minus, int plus, const std::string& note, double thin_from) {
  const double len = distance(a, b);
  std::vector<double> cuts;
  if (fine_a && fine_b) {
    // The halves' rests make one middle element when it is at most the next size of the
    // growth, else one each; a segment too short for a first element at each end is cut in two
    // when its halves are still about a first length.
    for (double c : growing_cuts(len / 2, first, least_half_rest))
      cuts.push_back(c / 2);
    const std::size_t half = cuts.size();
    double last = first;  // the last element of a half
    for (std::size_t k = 1; k < half; ++k)
      last = (cuts[k] - cuts[k - 1]) * len;
    const double middle = half > 0 ? (1 - 2 * cuts[half - 1]) * len : len;
    if (half > 0 ? middle > growth * last * (1 + 1e-9) : len >= least_halving * first)
      cuts.push_back(0.5);
    for (std::size_t k = half; k-- > 0;)
      cuts.push_back(1 - cuts[k]);
  } else if (fine_a) {
    cuts = growing_cuts(len, first, 1);
  } else if (fine_b) {
    for (double c : growing_cuts(len, first, 1))
      cuts.push_back(1 - c);
    std::reverse(cuts.begin(), cuts.end());
  }
  cuts.push_back(1);
  const int count = static_cast<int>(cuts.size());
  double from = 0;
  for (int k = 0; k < count; ++k) {
    // The distance of the element's nearer end from the nearer fine end.
    const double to = cuts[k];
    const double near = fine_a && fine_b ? std::min(from, 1 - to)
                        : fine_a         ? from
                        : fine_b         ? 1 - to
                                         : 0;
    segment(o, lerp(a, b, from), lerp(a, b, to), itype, isign,
            thinned_nodes(nodes, near * len, thin_from), minus, plus, note);
    from = to;
  }
}

void circle(Outline& o, Point centre, double radius, int itype, int isign, int ni, int minus,
            int plus, const std::string& note) {
  o.pieces.push_back({3,
                      itype,
                      isign,
                      std::min(ni, nimax_def),
                      {centre.x, centre.y, radius, 0, 0},
                      minus,
                      plus,
                      note});
}

std::string problem_text(const Outline& o) {
  std::string out = o.title1 + "\n" + o.title2 + "\n";
  out += "0 1 /               iprobl (0 = capacitance), iunits (1 = pF/m)\n";
  std::string deps;
  for (double d : o.deps)
    deps += num(d) + " ";
  out += deps + "  deps(1..5): " + o.media + "\n";
  out += std::to_string(o.igg) + " " + std::to_string(o.idmn) + " " + num(o.gpars1) +
         " 0 0 0 0   igg, idmn, gpars(1..5) (lengths in mm)\n";
  out += "1 1                 ah (not used: every ni is given), iorder\n";
  out += "0 /                 iswitch (0 = in-core LU)\n";
  out += " nr iform itype isign  ni ileft iright  / geometry / sides iamns iaplus\n";
  int nr = 0;
  for (const Piece& p : o.pieces) {
    ++nr;
    out += std::to_string(nr) + " " + std::to_string(p.iform) + " " + std::to_string(p.itype) +
           " " + std::to_string(p.isign) + " " + std::to_string(p.ni) + " 1 1   " + p.note + "\n";
    for (double g : p.geom)
      out += num(g) + " ";
    out.back() = '\n';
    out += std::to_string(p.minus) + " " + std::to_string(p.plus) + "\n--\n";
  }
  return out;
}

Input read_outline(const std::string& text) {
  std::istringstream in(text);
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  try {
    Input input = read_problem(in, "generated problem", io);
    return input;
  } catch (const Halt& h) {
    throw std::runtime_error("the generated problem does not read: " + lines::halt_text(h));
  }
}

}  // namespace ostrel::structures
