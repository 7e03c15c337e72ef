// The iterative block solver of the out-of-core mode: restarted GMRES on the block-Jacobi
// preconditioned system, reading the block rows from the scratch file.
//
// With P the inverse of the block diagonal (one block per element, factorised by the fill and
// stored with its rows), a cycle makes up to q + 1 passes over the scratch file. Pass 0 gives
// the preconditioned residual r = P(A u - b) of the current iterate, whose 2-norm relative to
// that of P b (the block-Jacobi solution, found in the first pass) is the measure of
// convergence: scale-free, and independent of the order of the system. Pass s >= 1 gives
// P A v(s-1), which the Arnoldi process (classical Gram-Schmidt, applied twice) makes
// orthogonal to the earlier basis vectors v(0) = r/|r|, ..., v(s-1); Givens rotations keep the
// least-squares problem min |beta e1 - H y| solved as the basis grows, and with it the norm of
// the residual that the correction u <- u - V y would leave. The cycle ends after q passes, or
// earlier when that norm is small enough that the next pass 0 will find the iterate converged.
// The orthonormal basis spans the same Krylov space as the power basis P A ... r of the
// original minimal-residual cycle, but its least-squares problem stays well conditioned, so
// the iteration does not stagnate once the power basis has become numerically dependent. The
// zero-total-charge row (idmn != 0) is not preconditioned: its component is the plain weighted
// sum c . z, and its right-hand side is 0.
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
  std::span<double> w;  ///< work vectors, 2 nimax
};

/// The sizes (in 8-byte values) of the vectors of one right-hand side's iteration besides its
/// initial guess u0, for order nd and Krylov dimension imm: the one place that knows them, for
/// the work arrays of the storage, the extra right-hand sides of a lockstep run and the memory
/// estimate of how many of those fit.
struct ItSizes {
  std::size_t u, v, h, g, rot;
  std::size_t total() const { return u + v + h + g + rot; }
};
ItSizes it_sizes(int nd, int imm);

/// The vectors of one right-hand side's iteration (every span of the caller, at least the sizes
/// of it_sizes).
struct ItVectors {
  std::span<double> u0;       ///< in: initial guess; out: solution (nd)
  std::span<double> u;        ///< work copy; out: solution (nd)
  std::span<const double> b;  ///< right-hand side (nd)
  std::span<double> v;        ///< Arnoldi basis, nd x (imm+1), columns 0..imm
  std::span<double> h;        ///< Hessenberg matrix, (imm+1) x imm, column-major
  std::span<double> g;        ///< rotated right-hand side of the least-squares problem, imm+1
  std::span<double> rot;      ///< the Givens rotations: cosines, then sines, imm each
};

/// One right-hand side's own copy of the vectors besides u0 (the extra right-hand sides of a
/// lockstep run), sized by it_sizes; the right-hand side b is filled by the caller.
struct ItStore {
  std::vector<double> u, b, v, h, g, rot;
  ItStore(int nd, int imm);
  /// Its vectors, with `u0` as the initial guess and solution.
  ItVectors vectors(std::span<double> u0);
};

/// Bytes of an ItStore and its initial guess: what one more right-hand side in lockstep takes.
std::size_t it_vectors_bytes(int nd, int imm);

/// What it() reports.
struct ItResult {
  long long nmbit = 0;   ///< iteration count: corrections applied
  double residual = 0;   ///< |P(A u - b)|_2 / |P b|_2 of the last iterate whose residual was
                         ///< computed (the tested quantity)
  double difit = 0;      ///< |d|_2 / |u|_2 of the last correction d (0 before one)
  int nerr = 1;          ///< 0 converged, 1 not converged
  long long passes = 0;  ///< passes over the scratch file that served this right-hand side
};

/// The progress shown while the iteration runs: the windowed build's display of the conductor
/// being solved for and the number of conductors after every residual (none without a screen),
/// and the console's mark after every pass over the scratch file (none without a console).
struct ItDisplay {
  Screen* screen = nullptr;
  int m = 0;   ///< number of conductors
  int ic = 0;  ///< the conductor being solved for
  std::ostream* console = nullptr;
};

/// The console's mark of one pass of the out-of-core iteration over the scratch file.
inline constexpr char pass_mark = '+';

/// Share of eps that the residual estimated during a cycle must reach to end the cycle before
/// its q-th pass: the estimate is exact in exact arithmetic, so a half leaves room for its
/// rounding and the next pass 0 almost always confirms convergence instead of starting a cycle.
inline constexpr double early_end_share = 0.5;

/// Solves A u = b for one right-hand side, starting from u0 (the block-Jacobi start), with
/// Krylov dimension imm >= 1, tolerance eps and at most itlim + 1 cycles (none when itlim < 0).
/// Each cycle logs "it(...): iteration  " with the count (3 columns), "  ||u-u0||=" with the
/// relative correction |d|/|u| of the step that produced the current iterate (0.00E+00 before
/// the first) and "  residual=" with its relative residual |P(Au - b)|/|P b| (both es 10.2), and
/// stops converged when that residual is at most eps (also at count 0: a start that is already
/// good enough is not iterated). A residual that is not a number never converges. An exhausted
/// limit logs "Warning: too many iterations in it(...)" (the build's text) and returns the last
/// iterate with nerr = 1. Reads the scratch file from its start at most imm + 1 times per cycle;
/// a record that cannot be read stops the run with "Cannot read file <osl.tmp>" (the build's
/// text; a named scratch file's own name in place of osl.tmp) on a console line of its own.
/// Cost per pass:
/// the file's values parsed, 2 nd^2 flops (fewer with au) and one block solve per block (two in
/// the first); per step s of a cycle 8 s nd flops of orthogonalisation (BLAS). With a screen in
/// `display`, every residual also shows the progress display "solving " ic (2 columns) " of " m
/// (2) ": iter." count (2) " err. " residual (es 8.2).
ItResult it(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf, const ItVectors& x,
            double eps, int imm, int itlim, std::ostream& log, const ItDisplay& display = {});

/// The iterations of several right-hand sides in lockstep: xs[c] is solved exactly as it() solves
/// it alone (the same operations on the same numbers: the same iterates, stopping and results),
/// with its log lines, in the same order, written to *logs[c]. Every pass over the scratch file
/// serves all right-hand sides still iterating: they all make pass 0 of a cycle together, and
/// pass s of it as long as their own cycle goes on. So the call reads the file as often as the
/// longest of the iterations alone reads it, where one after the other they read it the sum.
/// With a screen in `display`, right-hand side c shows the progress display as conductor
/// display.ic + c; with a console, every pass writes one pass_mark. Memory: the vectors of
/// every right-hand side, one block buffer for all. A stop for an unreadable record ends the call
/// with the lines already written to the logs.
std::vector<ItResult> it(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf,
                         std::span<const ItVectors> xs, double eps, int imm, int itlim,
                         std::span<std::ostream* const> logs, const ItDisplay& display = {});

/// The adjoint iterations: solves (P A)^T u = b, in lockstep for every xs[c] (b the caller's,
/// u0 the start), by the same restarted GMRES as it() with the same controls, stopping at the
/// relative residual |(P A)^T u - b| / |b| <= eps; no log lines (a pass_mark per pass on the
/// console of `display`; with its screen, after every residual the progress display "refining "
/// display.ic + c (2 columns) " of " m (2) ": iter." count (2) " err. " residual (es 8.2)). One
/// pass reads the file once: each block contributes its rows' transpose times D_k^-T applied to its
/// part of the vector (solve_transposed), the constraint row c (idmn != 0) c times the last
/// component. Used to refine functionals of the solutions: for a functional g.u of the solution of
/// A u = b, with r = P(A u~ - b) the last residual of it() and (P A)^T phi = g, g.u = g.u~ - phi.r
/// up to the product of both relative residuals. Cost per pass as it()'s (2 nd^2 flops, the file's
/// values parsed).
std::vector<ItResult> it_adjoint(const BlockSystem& sys, ScratchFile& file, const BlockBuffers& buf,
                                 std::span<const ItVectors> xs, double eps, int imm, int itlim,
                                 const ItDisplay& display);

/// Block k's share of pass s for one right-hand side, with block k's record in buf.r, buf.d,
/// buf.piv: z = u (s = 0) or V(:, s-1); w = block rows times z (the plain product, all nd
/// columns, for a conductor block or igg != 0; au otherwise), minus b for s = 0; w = D^-1 w;
/// V(off[k]+j, s) = w(j); after the last block with idmn != 0, V(nd, s) = c . z. With `bsq`,
/// also adds |D^-1 b_k|^2 to *bsq (the block's share of |P b|^2). Cost 2 ni(k) nd + 2 ni(k)^2
/// flops (twice the second with bsq).
void it_block(const BlockSystem& sys, const BlockBuffers& buf, const ItVectors& x, int k, int s,
              double* bsq = nullptr);

}  // namespace ostrel
