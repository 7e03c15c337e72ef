// Large zeroed blocks of memory taken straight from the system: aligned to its huge pages,
// advised for them, and faulted in by all threads at once.
#pragma once

#include <cstddef>

namespace ostrel {

/// Size of a huge page of x86-64 (and of most 64-bit systems): the alignment of mapped blocks.
inline constexpr std::size_t huge_page_bytes = std::size_t{2} << 20;

/// Blocks of at least this size are mapped by map_block: glibc maps blocks above its largest
/// threshold (32 MiB) by itself anyway, but without huge-page alignment or advice.
inline constexpr std::size_t mapped_block_bytes = std::size_t{32} << 20;

/// A block of memory obtained by map_block.
struct MappedBlock {
  void* p = nullptr;      ///< first byte of the block (huge-page aligned when there was room)
  std::size_t bytes = 0;  ///< length of the mapping that starts at p
};

/// Maps `bytes` zeroed bytes of private anonymous memory, starting on a huge-page boundary
/// when the address space has room for the alignment (otherwise exactly `bytes`), and advises
/// the system to back them with transparent huge pages (ignored where it does not take the
/// advice). Touches nothing: the pages are taken when first written. Returns a null block when
/// the system refuses the mapping. O(1): two or three system calls.
MappedBlock map_block(std::size_t bytes);

/// Gives a block of map_block back to the system (a null block is left alone).
void unmap_block(MappedBlock& b);

/// Takes the pages of [p, p + bytes) from the system now, as writes would, in the kind that
/// costs least: a few huge and a few small pages are taken and timed by the calling thread, the
/// rest goes in pieces of whole huge pages to the OpenMP threads, the next piece to the first
/// thread free, in the cheaper kind; a kind whose pieces turn twice as dear as the other's last
/// ones leaves the remaining pieces to the other. By madvise(MADV_POPULATE_WRITE) where the
/// kernel has it (Linux 5.14), otherwise by a write of zero to one byte of every page. Where
/// the system has no memory for a piece, the rest is left to the first writes. The contents
/// stay as they are (the memory must be zero, as map_block's is); p must be huge-page aligned
/// for the kinds to apply (map_block's blocks are). Cost: the first touch of the pages, shared
/// by the threads, which the first writes then no longer pay.
void prefault(void* p, std::size_t bytes);

}  // namespace ostrel
