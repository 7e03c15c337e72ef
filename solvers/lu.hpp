// Dense LU factorisation with partial pivoting, solution of one right-hand side, inversion.
//
// Storage: column-major, entry a(i,j) (1-based) at a[(j-1)*ld + (i-1)]; rows beyond the order
// are never touched. After decomp, a(i,j) for i <= j holds U and a(i,j) for i > j holds the
// multipliers of step j with their sign reversed (the factor is I - L), in the row order that
// held at step j: later interchanges are applied to U but not to earlier multipliers, and solve
// replays them in the same order. ipvt(k), k < n, is the row exchanged with row k at step k;
// ipvt(n) is (-1)^(number of steps with an exchange), the sign of the determinant.
//
// The pivot tolerance tau is absolute. A step whose pivot is below tau is left undone (only the
// two column-k entries are exchanged and the pivot is recorded). Singularity is not an error
// here: decomp returns the number of pivots below tau so that a caller can refuse a singular
// system.
//
// Every other pivot-row entry, however small, updates its column (only exact zeros, which add
// nothing, are passed over). Leaving out the entries below tau, as an absolute threshold would,
// is not a change in the last digits: the far entries of a boundary-element matrix are small
// in absolute terms (they scale with the element lengths and, in a grounded channel, decay
// exponentially), and the couplings they carry are what the elimination would drop. Two wires
// 21 mm apart in a channel 4 mm high came out with a mutual capacitance 1.5 times too large at
// tau = 1e-9 and 66 times at 1e-6 (one of the two one-sided values), and the answer depended
// on the unit of length.
#pragma once

#include <iosfwd>
#include <span>

#include "base/screen.hpp"
#include "constants.hpp"

namespace ostrel {

/// How decomp organises its work. The blocked path performs the same steps with the same
/// pivots, skips and progress marks as the column path; only the summation order differs.
struct LuBlocking {
  int crossover;  ///< orders below this use the column algorithm
  int panel;      ///< width of the panels of the right-looking outer loop
  int base;       ///< panels are split recursively down to this width (column algorithm)
  int chunk;      ///< trailing columns per masked triangular solve and product
};

/// Values found by measurement (bench/bench_lu.cpp) on the development machine.
inline constexpr LuBlocking lu_default_blocking{96, 256, 8, 512};

/// Factorises the n x n matrix `a` (leading dimension ld) in place and fills ipvt(1..n).
/// With quiet == 0 it writes "LU: ", at most one "." per completed step while the marks
/// written so far number at most floor(10*(k+1)/n), and " Done;" with a line end (order 1:
/// only "LU: "); given the windowed build's screen, it shows instead after every completed
/// step the progress display "LU decomposition:   " floor(100*(k+1)/n) (3 columns) "%". Returns the
/// number of pivots below tau: the skipped steps plus one when the last diagonal entry a(n,n) is
/// below tau; zero means every pivot of U is at least tau. Cost 2n^3/3 flops; orders of at least
/// lu_default_blocking.crossover run blocked with cblas_dgemm and allocate a work block of
/// panel*chunk reals. Does not check ld >= n.
int decomp(int ld, int n, std::span<double> a, std::span<int> ipvt, int quiet,
           std::ostream& console, double tau = console_build.tiny, Screen* screen = nullptr);

/// decomp with an explicit organisation of the work (tests and benchmarks).
int decomp(int ld, int n, std::span<double> a, std::span<int> ipvt, int quiet,
           std::ostream& console, double tau, const LuBlocking& blocking, Screen* screen = nullptr);

/// Overwrites b(1..n) with the solution of A x = b from the factors of decomp: the recorded
/// interchanges and multipliers forward, then back substitution with U. Cost 2n^2 flops.
/// Divides by whatever stands on the diagonal (a singular U gives infinities or NaN).
/// Does not check the pivot vector.
void solve(int ld, int n, std::span<const double> a, std::span<double> b,
           std::span<const int> ipvt);

/// Overwrites b(1..n) with the solution of A^T x = b from the factors of decomp: the transpose
/// of every step of solve, in reverse order. Cost 2n^2 flops. Does not check the pivot vector.
void solve_transposed(int ld, int n, std::span<const double> a, std::span<double> b,
                      std::span<const int> ipvt);

/// Rows of multipliers (and of U) that solve_many applies per matrix product: deep enough for
/// the product to run near the machine's peak, small enough for the copied panel (n x 128 reals)
/// to stay small beside the factor and for the in-block work, done column by column, to stay
/// a small share (about 1 % of the products' flops).
inline constexpr int solve_many_block = 128;

/// Rows of one product piece of solve_many: a thread's unit of work. Fixed, so that the numbers
/// do not depend on the number of threads; 512 rows of 128 columns (0.5 MB) stay in the
/// second-level cache while all right-hand sides pass over them.
inline constexpr int solve_many_rows = 512;

/// solve for nrhs right-hand sides at once: overwrites the n x nrhs block b (column-major,
/// leading dimension ldb) with the solutions of A X = B. The same interchanges, multipliers and
/// divisions as solve, column by column; the forward and backward updates of the rows beyond
/// each block of solve_many_block steps are matrix products (cblas_dgemm), so the factor is
/// streamed once for all right-hand sides instead of once per right-hand side. The products run
/// in pieces of solve_many_rows rows and the work inside a block column by column, shared among
/// the threads (OpenMP), one BLAS thread each. Results differ from solve only in the order of
/// the sums of those products (last bits). Cost 2 n^2 nrhs flops; allocates a panel of
/// n x solve_many_block reals. Does not check ipvt.
void solve_many(int ld, int n, std::span<const double> a, std::span<double> b, int ldb, int nrhs,
                std::span<const int> ipvt);

/// Writes the inverse of the n x n matrix `a` (leading dimension n) to `inv`, column by
/// column (solve with unit vectors). `a` is unchanged; `work` (n*n) ends holding the factors,
/// `wvec` (n) and `wpiv` (n) are work. Silent. Returns what decomp returned (pivots below the
/// tolerance). Cost 8n^3/3 flops.
int invert(std::span<const double> a, std::span<double> inv, std::span<double> work,
           std::span<double> wvec, std::span<int> wpiv, int n, double tau = console_build.tiny);

}  // namespace ostrel
