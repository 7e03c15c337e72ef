// The iterative block solver of the out-of-core mode: a restarted minimal-residual iteration on
// the block-Jacobi preconditioned system, reading the block rows from the scratch file.
//
// With P the inverse of the block diagonal (one block per element, factorised by the fill and
// stored with its rows), a cycle makes q + 1 passes over the scratch file: pass 0 gives
// V0 = P(A u - b), pass s gives Vs = P A V(s-1). The coefficients g minimise
// |V0 - sum g(p) Vp| through the normal equations H g = (V0 . Vp), H(p,p') = Vp . Vp', and
// u <- u - sum g(p) V(p-1), so that the next preconditioned residual is the minimised vector.
// The zero-total-charge row (idmn != 0) is not preconditioned: its component is the plain
// weighted sum c . z, and its right-hand side is 0.
//
// The work of one pass for one block is it_block(). The iterations of several right-hand sides
// can run in lockstep: every pass over the file serves each of them that is still iterating,
// with it_block applied to each in turn, so that each computes exactly what it computes alone.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <span>
#include <vector>

#include "base/problem.hpp"
#include "base/screen.hpp"

namespace ostrel {

class ScratchFile;

/// The fixed data of the block system, shared by every right-hand side.
struct BlockSystem {
  const Problem& pb;
  std::span<const int> off;  ///< off[k] = rows before block k, k = 1..E (off[1] = 0)
  std::span<const double> tcol, xcol, ycol;  ///< collocation data of every row
  std::span<const double> last;              ///< constraint weights c(1..nd) when idmn != 0
  int nd = 0;                                ///< order of the system
  int nimax = 0;                             ///< largest block: leading dimension of r and d
};

/// One block record in memory, and the work vector of one block.
struct BlockBuffers {
  std::span<double> r;  ///< block rows, nimax x nd, column-major
  std::span<double> d;  ///< factors of the diagonal block, nimax x nimax
  std::span<int> piv;   ///< their pivots, nimax
  std::span<double> w;  ///< work vector, nimax
};

/// The vectors of one right-hand side's iteration (every span of the caller).
struct ItVectors {
  std::span<double> u0;       ///< in: initial guess; out: solution (nd)
  std::span<double> u;        ///< work copy; out: solution (nd)
  std::span<const double> b;  ///< right-hand side (nd)
  std::span<double> v;        ///< Krylov array, nd x (imm+1), columns 0..imm
  std::span<double> h;        ///< normal-equation matrix, imm x imm
  std::span<int> hpiv;        ///< its pivots, imm
  std::span<double> g;        ///< coefficients, imm
};

/// What it() reports.
struct ItResult {
  long long nmbit = 0;  ///< iteration count: corrections applied
  double residual = 0;  ///< largest |component| of the last preconditioned residual
  double difit = 0;     ///< correction norm |d|_2 / nd of the last correction (0 before one)
  int nerr = 1;         ///< 0 converged, 1 not converged
};

/// The windowed build's progress display of the iteration: the conductor being solved for
/// and the number of conductors, shown on the screen after every residual (none without one).
struct ItDisplay {
  Screen* screen = nullptr;
  int m = 0;   ///< number of conductors
  int ic = 0;  ///< the conductor being solved for
};

/// Solves A u = b for one right-hand side, starting from u0 (the block-Jacobi start), with
/// Krylov dimension imm >= 1, tolerance eps and at most itlim + 1 cycles (none when itlim < 0).
/// Each cycle logs "it(...): iteration  " with the count (3 columns), "  ||u-u0||=" with the
/// correction norm of the step that produced the current iterate (0.00E+00 before the first)
/// and "  residual=" with the largest component of its preconditioned residual (both es 10.2),
/// and stops converged when the count is not 0 and the correction norm is at most eps (the
/// residual is never tested). An exhausted limit logs "Warning: too many iterations in it(...)"
/// (the build's text) and returns the last iterate with nerr = 1. Reads the scratch file from
/// its start imm + 1 times per cycle; a record that cannot be read stops the run with "Cannot
/// read file <osl.tmp>" (the build's text) on the console. Cost per pass: the file's values parsed,
/// 2 nd^2 flops (fewer with au) and one block solve per block; per cycle imm^2 nd + 2 imm nd flops
/// (BLAS) and an imm-order LU. Singular normal equations are not detected (decomp's tolerance rules
/// apply). With a screen in `display`, every residual also shows the progress display
/// "solving " ic (2 columns) " of " m (2) ": iter." count (2) " err. " residual (es 8.2).
ItResult it(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf, const ItVectors& x,
            double eps, int imm, int itlim, std::ostream& log, const ItDisplay& display = {});

/// The iterations of several right-hand sides in lockstep: xs[c] is solved exactly as it() solves
/// it alone (the same operations on the same numbers: the same iterates, stopping and results),
/// with its log lines, in the same order, written to *logs[c]. Every pass over the scratch file
/// serves all right-hand sides still iterating: they all make pass s of cycle nmbit together,
/// since each stops only after a pass 0. So the call reads the file as often as the longest of
/// the iterations alone reads it, where one after the other they read it the sum. With a screen in
/// `display`, right-hand side c shows the progress display as conductor display.ic + c. Memory: the
/// vectors of every right-hand side (it_vectors_bytes each), one block buffer for all. A stop for
/// an unreadable record ends the call with the lines already written to the logs.
std::vector<ItResult> it(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf,
                         std::span<const ItVectors> xs, double eps, int imm, int itlim,
                         std::span<std::ostream* const> logs, const ItDisplay& display = {});

/// Bytes of the vectors of one right-hand side besides its initial guess u0: u, b, the Krylov
/// array, the normal equations, their pivots and the coefficients (ItVectors), for order nd and
/// Krylov dimension imm. A lockstep iteration of m right-hand sides holds m times this.
std::size_t it_vectors_bytes(int nd, int imm);

/// Block k's share of pass s for one right-hand side, with block k's record in buf.r, buf.d,
/// buf.piv: z = u (s = 0) or V(:, s-1); w = block rows times z (the plain product, all nd
/// columns, for a conductor block or igg != 0; au otherwise), minus b for s = 0; w = D^-1 w;
/// V(off[k]+j, s) = w(j); after the last block with idmn != 0, V(nd, s) = c . z.
/// Cost 2 ni(k) nd + 2 ni(k)^2 flops.
void it_block(const BlockSystem& sys, const BlockBuffers& buf, const ItVectors& x, int k, int s);

}  // namespace ostrel
