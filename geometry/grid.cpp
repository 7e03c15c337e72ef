#include "geometry/grid.hpp"

#include <cassert>

#include "base/halt.hpp"
#include "geometry/element.hpp"

namespace ostrel {

namespace {

// A node law other than 0 or 1: a console line in the console build, the stop text in the
// windowed build (which reads the laws from the file).
[[noreturn]] void no_such_grids(const Problem& pb) {
  Halt h;
  if (pb.c().windowed)
    h.stop_text = pb.c().text.no_such_grids;
  else
    h.console.push_back(pb.c().text.no_such_grids);
  halt(std::move(h));
}

}  // namespace

void element_grid(const Problem& pb, int i, std::span<double> t) {
  const Element& e = pb.el(i);
  const int nn = e.ni;
  assert(static_cast<int>(t.size()) >= nn);
  if (e.iform == 3) {
    const double h = 2.0 / nn;
    for (int j = 1; j <= nn; ++j)
      t[j - 1] = j * h - 1;
    return;
  }
  const double h = 2.0 / (nn + 1);
  const double c = (1 - h / 2) / (1 - h);
  for (int j = 1; j <= nn; ++j) {
    const double s = j * h;
    const bool first_half = s <= pb.c().half_threshold;
    const int law = first_half ? e.ileft : e.iright;
    if (law == 0)
      t[j - 1] = c * (s - 1);
    else if (law == 1)
      t[j - 1] = first_half ? s * s - 1 : 1 - (2 - s) * (2 - s);
    else
      no_such_grids(pb);
  }
}

void collocation_points(const Problem& pb, std::span<double> tcol, std::span<double> xcol,
                        std::span<double> ycol) {
  std::size_t off = 0;
  for (int i = 1; i <= pb.n(); ++i) {
    const int nn = pb.el(i).ni;
    element_grid(pb, i, tcol.subspan(off, nn));
    for (int k = 0; k < nn; ++k) {
      Point p = elem(pb, i, tcol[off + k]);
      xcol[off + k] = p.x;
      ycol[off + k] = p.y;
    }
    off += nn;
  }
}

}  // namespace ostrel
