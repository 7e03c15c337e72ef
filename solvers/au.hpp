// The product of one element's block rows with a vector, without the element pairs whose
// double-layer kernel vanishes.
#pragma once

#include <span>

#include "base/problem.hpp"

namespace ostrel {

/// out(j) = row j of block k times z, for j = 1..ni(k), where the block rows are r (column-major,
/// leading dimension ld, one column per unknown) and the constraint column is left out (only
/// the columns of the elements take part). For every straight element e with ort(e, P_j, n_j)
/// true, where P_j = (x(j), y(j)) and n_j = nelem(k, t(j)), the columns of e take no part: the
/// fill of a flux row with the free-space kernel stores zero there, except for e = k, where
/// the stored free term is replaced by its exact value, -kappa/lambda z(r(k)+j) with
/// lambda = dlength(k, t(j)) and kappa = pi (amns(k) + aplus(k)) for an interface (itype 3),
/// pi otherwise (pi = pb.c().pi). So au equals the plain product up to the rounding of the
/// summation order.
/// t, x and y hold the block's rows only (the collocation data from row r(k)+1 on).
/// Cost: ni(k) (E ort calls + nelem + dlength), and 2 ni(k) flops per column that takes part,
/// with cblas_dgemv over runs of elements that no row skips. Meant for flux rows with igg = 0;
/// it does not check that.
void au(const Problem& pb, std::span<const double> r, int ld, std::span<const double> z,
        std::span<double> out, std::span<const double> t, std::span<const double> x,
        std::span<const double> y, int k);

}  // namespace ostrel
