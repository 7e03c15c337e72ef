// Element grids: the parameter nodes (collocation points) of every element.
#pragma once

#include <span>

#include "base/problem.hpp"

namespace ostrel {

/// Node parameters t_1 < ... < t_N of element i, N = ni(i), written to t[0..N-1].
/// Open elements (forms 0-2): h = 2/(N+1), s = j*h; on the first half (s <= the half
/// threshold) law 0 gives c*(s-1) with c = (1-h/2)/(1-h), law 1 gives s^2-1; on the second
/// half law 0 gives c*(s-1), law 1 gives 1-(2-s)^2. Closed elements: t_j = 2j/N - 1.
/// A law other than 0 or 1 stops the run with "No such grids". Needs N >= 2 on open elements.
void element_grid(const Problem& pb, int i, std::span<double> t);

/// Collocation points of all elements, element after element: parameters and coordinates.
/// Each span holds at least the sum of all ni. Cost O(sum ni).
void collocation_points(const Problem& pb, std::span<double> tcol, std::span<double> xcol,
                        std::span<double> ycol);

}  // namespace ostrel
