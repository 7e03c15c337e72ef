// Storage strategy: the work arrays of the solution, the choice of in-core or out-of-core mode.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "base/problem.hpp"
#include "base/streams.hpp"

namespace ostrel {

class ScratchFile;

/// Address of a block obtained through foralloc; null when nothing is held.
struct Handle {
  void* p = nullptr;
  std::size_t mapped = 0;  ///< length of the mapping when the block came from map_block
};

/// The work arrays of one solution, all obtained by further() before mo() starts.
struct Work {
  int ld = 0;  ///< leading dimension of ama: nd in-core, nimax out-of-core
  std::span<double> dens, rhs, xcol, ycol, tcol;
  std::span<int> ipvt;
  std::span<double> ge, geinv, gework;  ///< m*m each
  std::span<double> ama;
  // Out-of-core mode only (empty otherwise): the diagonal block, the iteration's vectors (w1 the
  // iterate, w2 the Arnoldi basis, w3 the Hessenberg matrix, w4 the least-squares right-hand
  // side, w5 two block vectors, w6 the rotations; sizes from it_sizes) and the constraint row.
  std::span<double> blk, w1, w2, w3, w4, w5, w6, last;
  ScratchFile* scratch = nullptr;
};

/// Element size of every work array: 8-byte reals, and one 8-byte element per pivot.
inline constexpr std::size_t work_element_size = 8;

/// Memory that a run may still take for extra work arrays: half of the memory the system reports
/// available (MemAvailable) and half of the room left under the process's address-space limit,
/// whichever is less, or the cap of cap_affordable_bytes. Reads /proc (a few microseconds); the
/// largest size_t when nothing can be read.
std::size_t affordable_bytes();

/// Caps what affordable_bytes() reports for the rest of the process (nullopt: no cap). For tests
/// of the way a run uses less memory when little is available.
void cap_affordable_bytes(std::optional<std::size_t> cap);

/// True when `bytes` of address space can be mapped now (without touching it); the mapping is
/// let go at once. For memory that a run will take later and must be sure of before it
/// commits. O(1): one mmap and munmap.
bool address_space_for(std::size_t bytes);

/// An upper bound of the memory that a solution takes besides its work arrays while it runs:
/// the densities of every conductor, the right-hand sides solved together, the factorisation's
/// panels and the charge sums (about 8 nd (3 m + 136) bytes), and per thread its tiles.
std::size_t solution_extra_bytes(int nd, int m, int threads);

/// Obtains count * elsize bytes, all zero, and stores their address in h: blocks of at least
/// mapped_block_bytes by map_block (aligned to huge pages and advised for them, see
/// solvers/matrix_memory.hpp), smaller ones by calloc. When the memory
/// cannot be obtained (or the count is negative or its byte size overflows) it stops the run
/// with " Can not allocate <count> elements of <elsize> bytes long" on the console and exit
/// status 1; nothing goes to the log. A count of 0 gives a valid (unusable) block.
void foralloc(Handle& h, std::size_t elsize, long long count);

/// foralloc that reports a failure instead of stopping the run: returns false and leaves h
/// null (the windowed build's way).
bool try_foralloc(Handle& h, std::size_t elsize, long long count);

/// Takes the pages of a mapped block of foralloc from the system now, by all threads, in the
/// kind (huge or small pages) that costs least (see prefault); other blocks are left alone.
void prefault_block(const Handle& h);

/// Releases the block of h if there is one and sets h to null in any case.
void forfree(Handle& h);

/// Obtains every work array of the solution, chooses the mode by ctl.iswitch alone (0 in-core:
/// the whole nd x nd system; otherwise block out-of-core with the scratch file), shows and logs
/// the mode's line, calls mo() once and releases the arrays in their documented order. Memory
/// and the scratch file are also released when a stop ends the run inside. The windowed build
/// reports failed requests with its own texts (exit status 1) and, when the whole matrix
/// cannot be obtained, falls back to the out-of-core mode with imm 5, itlim 50, eps 1e-4. An imm
/// above nd is lowered to nd (a Krylov space of order nd holds the solution), with a log line.
/// Memory: 8*nd^2 bytes in-core; 8*(nd*nimax + nimax^2 + nd*(imm+2) + imm^2 + 4*imm + 2*nimax + 1)
/// out-of-core, plus 8*nd with idmn != 0.
/// Returns ge (m x m, column-major) as mo() leaves it: the non-dimensional capacitance matrix
/// when pb.iunits is 0 or 3 (the other codes scale it for the report), so that a caller can
/// solve in memory without reading the result file.
std::vector<double> further(const Problem& pb, const Dimensions& dims, const SolverControls& ctl,
                            Streams& io);

}  // namespace ostrel
