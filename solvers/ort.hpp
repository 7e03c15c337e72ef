// The test that a straight element contributes nothing to a normal derivative.
#pragma once

#include "base/problem.hpp"

namespace ostrel {

/// True when the point (x, y) lies on the straight line through the straight element e and
/// the direction (nx, ny) is perpendicular to e, so that the double-layer kernel vanishes on the
/// whole element. With tau = pb.c().tiny and the end points P1, P2 of e: false when
/// |(P1 - P2).n| > tau; true when both end points are level with the point (within tau); false
/// when exactly one is; otherwise true when the slopes (x - x1)/(y - y1) and (x - x2)/(y - y2)
/// agree within tau. Reads geom(e, 1..4) only: does not check that e is straight. O(1).
bool ort(const Problem& pb, int e, double x, double y, double nx, double ny);

}  // namespace ostrel
