#include "solvers/matrix_memory.hpp"

#include <omp.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace ostrel {

namespace {

std::size_t page_bytes() {
  static const std::size_t page = [] {
    const long p = sysconf(_SC_PAGESIZE);
    return p > 0 ? std::size_t(p) : std::size_t{4096};
  }();
  return page;
}

void* map(std::size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

// The two kinds of pages a block can be taken in.
enum PageKind { huge_pages = 0, small_pages = 1 };

// Huge pages' worth of each kind taken by the probe that chooses the kind of the rest: 4 MiB,
// a few milliseconds at the dearest.
constexpr std::size_t probe_bytes = 2 * huge_page_bytes;

// Pieces of the rest handed to the threads one at a time: 8 MiB, some ninety of the matrix at
// full capacity, each a few system calls; at most 70 ms when of the dearer kind.
constexpr std::size_t piece_bytes = 4 * huge_page_bytes;

// Small pages count at this many times their cost when the kinds are compared: huge pages also
// spare the fill and the factorisation most of their page look-ups, and where the host backs
// neither kind, small pages cost as much as huge ones or up to twice (the guest's faults on top
// of the host's): ties that huge pages should win.
constexpr double small_page_weight = 2;

// A kind that turns dearer than the other by this factor (weights included) gives the rest of
// the block to it: above the noise of the timing of one piece, below the tenfold difference.
constexpr double switch_factor = 1.5;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Advises the system to back [p, p + bytes) with pages of the given kind (ignored without
// transparent huge pages, where both kinds are the same).
void advise(char* p, std::size_t bytes, PageKind kind) {
#if defined(MADV_HUGEPAGE) && defined(MADV_NOHUGEPAGE)
  madvise(p, bytes, kind == huge_pages ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
#else
  (void)p, (void)bytes, (void)kind;
#endif
}

// Takes the pages of [p, p + bytes) (p page aligned) from the system as writes would; false
// when the system has no memory for them.
bool populate(char* p, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  if (madvise(p, bytes, MADV_POPULATE_WRITE) == 0) return true;
  if (errno != EINVAL) return false;
#endif
  // Kernels before 5.14: one write per page, of the value already there (zero).
  for (std::size_t at = 0; at < bytes; at += page_bytes())
    reinterpret_cast<volatile char*>(p)[at] = 0;
  return true;
}

}  // namespace

MappedBlock map_block(std::size_t bytes) {
  const std::size_t page = page_bytes();
  const std::size_t length = (bytes + page - 1) / page * page;
  if (length == 0 || length < bytes) return {};
  // Room for the alignment: a mapping one huge page longer, whose ends beyond the aligned
  // block are given back at once.
  MappedBlock b;
  if (length <= SIZE_MAX - huge_page_bytes) {
    if (char* raw = static_cast<char*>(map(length + huge_page_bytes))) {
      const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(raw);
      char* start = raw + (huge_page_bytes - at % huge_page_bytes) % huge_page_bytes;
      if (start > raw) munmap(raw, std::size_t(start - raw));
      char* end = start + length;
      if (const std::size_t tail = std::size_t(raw + length + huge_page_bytes - end); tail > 0)
        munmap(end, tail);
      b = {start, length};
    }
  }
  if (!b.p) {
    // Too little address space for the slack: the block alone.
    void* p = map(length);
    if (!p) return {};
    b = {p, length};
  }
  advise(static_cast<char*>(b.p), b.bytes, huge_pages);
  return b;
}

void unmap_block(MappedBlock& b) {
  if (b.p) munmap(b.p, b.bytes);
  b = {};
}

void prefault(void* p, std::size_t bytes) {
  if (!p || bytes == 0) return;
  char* base = static_cast<char*>(p);
  if (bytes <= 2 * probe_bytes) {
    populate(base, bytes);
    return;
  }
  // Huge pages spare the kernel 511 faults of 512; but on a virtual machine whose host takes
  // back the guest's free huge pages (free page reporting), each fresh huge page costs the host
  // 512 faults, while small pages can come from pieces that the host still backs: ten times
  // cheaper then. So the kind is chosen by its cost: first of a few pages of each, taken by
  // this thread alone so that no other thread disturbs the timing, then of every piece: a kind
  // that turns dearer than the other by switch_factor gives the rest of the block to the other.
  double cost[2] = {0, 0};  // weighted seconds per byte of the last pages of each kind
  const double weight[2] = {1, small_page_weight};
  for (const PageKind k : {huge_pages, small_pages}) {
    advise(base, probe_bytes, k);
    const auto start = std::chrono::steady_clock::now();
    if (!populate(base, probe_bytes)) return;  // no memory: the rest is left to the writes
    cost[k] = weight[k] * seconds_since(start) / probe_bytes;
    base += probe_bytes;
    bytes -= probe_bytes;
  }
  PageKind kind = cost[small_pages] < cost[huge_pages] ? small_pages : huge_pages;
  if (kind != huge_pages) advise(base, bytes, kind);
  // Pieces to the first thread free: a thread whose faults cost more (they did, by half, on one
  // of the two processors of a virtual machine) takes fewer. The piece and the kind it is
  // advised for are read together, and the kind changes only for the pieces not yet given.
  const std::size_t pieces = (bytes + piece_bytes - 1) / piece_bytes;
  std::size_t next = 0;
  bool enough = true;  // false once the system had no memory for a piece
  std::mutex choice;
#pragma omp parallel
  for (;;) {
    std::size_t i;
    PageKind k;
    {
      const std::lock_guard lock(choice);
      if (!enough || next == pieces) break;
      i = next++;
      k = kind;
    }
    const std::size_t from = i * piece_bytes, n = std::min(piece_bytes, bytes - from);
    const auto start = std::chrono::steady_clock::now();
    const bool taken = populate(base + from, n);
    const double c = weight[k] * seconds_since(start) / n;
    const std::lock_guard lock(choice);
    // Without memory for them, the pages are left to the first writes.
    if (!taken) enough = false;
    if (!taken || k != kind) continue;
    cost[k] = c;
    const PageKind other = k == huge_pages ? small_pages : huge_pages;
    if (c > switch_factor * cost[other] && next < pieces) {
      advise(base + next * piece_bytes, bytes - next * piece_bytes, other);
      kind = other;
    }
  }
}

}  // namespace ostrel
