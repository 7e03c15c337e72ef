#include "solvers/storage.hpp"

#include <omp.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "assembly/mo.hpp"
#include "base/halt.hpp"
#include "solvers/blas_workspace.hpp"
#include "solvers/it.hpp"
#include "solvers/matrix_memory.hpp"
#include "solvers/scratch.hpp"

namespace ostrel {

namespace {

[[noreturn]] void no_memory(long long count, std::size_t elsize) {
  Halt h;
  h.console.push_back(" Can not allocate " + std::to_string(count) + " elements of " +
                      std::to_string(elsize) + " bytes long");
  h.status = exit_failure;
  halt(std::move(h));
}

// The number of OpenMP threads of the parallel regions this thread starts, lowered while it
// lives and set back after.
class ThreadLimit {
 public:
  explicit ThreadLimit(int threads) : before_(omp_get_max_threads()) {
    if (threads < before_) omp_set_num_threads(threads);
  }
  ThreadLimit(const ThreadLimit&) = delete;
  ThreadLimit& operator=(const ThreadLimit&) = delete;
  ~ThreadLimit() { omp_set_num_threads(before_); }
  bool lowered() const { return omp_get_max_threads() < before_; }

 private:
  int before_;
};

// The blocks of further(). release() frees them in the documented order; the destructor does
// the same when a stop (a Halt thrown inside mo or by a later foralloc) ends the run.
struct Arrays {
  Handle dens, rhs, xcol, ycol, tcol, ipvt, ge, geinv, gework, ama;
  Handle blk, last, w1, w2, w3, w4, w5, w6;

  Arrays() = default;
  Arrays(const Arrays&) = delete;
  Arrays& operator=(const Arrays&) = delete;
  ~Arrays() { release(); }

  void release() {
    for (Handle* h : {&dens, &rhs, &xcol, &ycol, &tcol, &ipvt, &ge, &geinv, &ama, &gework, &blk,
                      &last, &w1, &w2, &w3, &w4, &w5, &w6})
      forfree(*h);
  }
};

// Obtains the work arrays. The console build stops the run on the first failure (foralloc);
// the windowed build reports failures to its caller: `ok` turns false, the failed array and
// every later one stay empty, and the caller decides what the failure means.
struct Obtainer {
  bool reported;  // the windowed build's way
  bool ok = true;

  // count 8-byte elements viewed as count values of T.
  template <class T>
  std::span<T> get(Handle& h, long long count) {
    static_assert(sizeof(T) <= work_element_size);
    if (!ok) return {};
    if (!reported) {
      foralloc(h, work_element_size, count);
    } else if (!try_foralloc(h, work_element_size, count)) {
      ok = false;
      return {};
    }
    return {static_cast<T*>(h.p), static_cast<std::size_t>(count)};
  }
};

// A failure of the windowed build's work arrays: shown and logged, exit status 1.
[[noreturn]] void fail(std::vector<std::string> lines) {
  Halt h;
  h.console = h.log = std::move(lines);
  h.status = exit_failure;
  halt(std::move(h));
}

}  // namespace

bool try_foralloc(Handle& h, std::size_t elsize, long long count) {
  assert(h.p == nullptr);
  if (count < 0 || (elsize != 0 && static_cast<unsigned long long>(count) > SIZE_MAX / elsize))
    return false;
  const std::size_t bytes = static_cast<std::size_t>(count) * elsize;
  if (bytes >= mapped_block_bytes) {
    if (const MappedBlock b = map_block(bytes); b.p) {
      h.p = b.p;
      h.mapped = b.bytes;
      return true;
    }
  }
  // calloc(0, ...) may legally return null; a block of one byte keeps null meaning failure.
  h.p = std::calloc(count > 0 ? static_cast<std::size_t>(count) : 1, elsize > 0 ? elsize : 1);
  return h.p != nullptr;
}

void foralloc(Handle& h, std::size_t elsize, long long count) {
  if (!try_foralloc(h, elsize, count)) no_memory(count, elsize);
}

void prefault_block(const Handle& h) {
  if (h.mapped > 0) prefault(h.p, h.mapped);
}

void forfree(Handle& h) {
  if (h.mapped > 0) {
    MappedBlock b{h.p, h.mapped};
    unmap_block(b);
  } else {
    std::free(h.p);
  }
  h = {};
}

std::vector<double> further(const Problem& pb, const Dimensions& dims,
                            const SolverControls& controls, Streams& io) {
  SolverControls ctl = controls;
  const long long nd = dims.nd, m = dims.m, nimax = dims.nimax;
  const BuildTexts& text = pb.c().text;
  // The BLAS library's buffers before any work array: one for every thread of the in-core
  // factorisation, one for the out-of-core iteration; with memory for fewer, the run uses fewer
  // threads. Without one no mode can run: the console build reports a failed request of its
  // size, the windowed build its failure of the vectors.
  bool in_core = ctl.iswitch == 0;
  const int threads = omp_get_max_threads();
  const int blas = reserve_blas_workspace(in_core ? threads : 1);
  if (blas == 0) {
    if (!pb.c().named_scratch)
      no_memory(static_cast<long long>(blas_buffer_bytes / work_element_size), work_element_size);
    fail({text.no_vectors});
  }
  const ThreadLimit limit(in_core ? blas : threads);
  if (limit.lowered()) {
    io.log << " Memory for the BLAS buffers of " << threads << " threads is not there: the run"
           << " uses " << blas << " thread(s)\n";
  }
  Arrays h;
  Work w;
  Obtainer get{pb.c().named_scratch};
  w.dens = get.get<double>(h.dens, nd);
  w.rhs = get.get<double>(h.rhs, nd);
  w.xcol = get.get<double>(h.xcol, nd);
  w.ycol = get.get<double>(h.ycol, nd);
  w.tcol = get.get<double>(h.tcol, nd);
  w.ipvt = get.get<int>(h.ipvt, nd);
  w.ge = get.get<double>(h.ge, m * m);
  w.geinv = get.get<double>(h.geinv, m * m);
  w.gework = get.get<double>(h.gework, m * m);
  if (!get.ok) fail({text.no_vectors});

  // Destroyed before the arrays: a stop inside mo closes (and so deletes) the file first.
  std::optional<ScratchFile> scratch;
  if (in_core) {
    w.ld = dims.nd;
    w.ama = get.get<double>(h.ama, nd * nd);
    // What the solution takes besides its arrays must be there too: a request that fails
    // inside the factorisation could no longer fall back.
    const std::size_t extra = solution_extra_bytes(int(nd), int(m), omp_get_max_threads());
    if (get.ok && !address_space_for(extra)) {
      forfree(h.ama);
      w.ama = {};
      if (!pb.c().named_scratch)
        no_memory(nd * nd + static_cast<long long>(extra / work_element_size), work_element_size);
      get.ok = false;
    }
    if (get.ok) {
      show(io, text.in_core);
      io.log << text.in_core_log << '\n';
    } else {
      // The windowed build falls back to the out-of-core mode with the default parameters.
      get.ok = true;
      show(io, text.small_memory);
      io.log << text.small_memory << '\n';
      in_core = false;
      ctl.iswitch = 1;
      ctl.imm = SolverControls{}.imm;
      ctl.itlim = SolverControls{}.itlim;
      ctl.eps = SolverControls{}.eps;
    }
  }
  if (!in_core) {
    show(io, text.out_of_core);
    io.log << text.out_of_core_log << '\n';
    // A Krylov space of the system's order holds its solution: a larger imm only costs memory.
    if (ctl.imm > dims.nd) {
      io.log << " imm=" << ctl.imm << " is more than the " << dims.nd
             << " unknowns: the iteration uses imm=" << dims.nd << '\n';
      ctl.imm = dims.nd;
    }
    const long long imm = ctl.imm;
    w.ld = dims.nimax;
    w.ama = get.get<double>(h.ama, nd * nimax);
    w.blk = get.get<double>(h.blk, nimax * nimax);
    if (!get.ok) fail({text.no_blocks, "program terminated"});
    if (pb.c().named_scratch) {
      scratch.emplace(ScratchFile::create_named(ctl.tmpdir, text.no_scratch));
    } else {
      scratch.emplace(ScratchFile::create());
    }
    w.scratch = &*scratch;
    const ItSizes it = it_sizes(int(nd), int(imm));
    w.w1 = get.get<double>(h.w1, it.u);
    w.w2 = get.get<double>(h.w2, it.v);
    w.w3 = get.get<double>(h.w3, it.h);
    w.w5 = get.get<double>(h.w5, 2 * nimax);
    w.w6 = get.get<double>(h.w6, it.rot);
    w.w4 = get.get<double>(h.w4, it.g);
    if (!get.ok) fail({text.no_iteration_work});
    if (pb.idmn != 0) w.last = get.get<double>(h.last, nd);
    if (!get.ok) fail({text.no_charge_row});
    const std::size_t extra = solution_extra_bytes(int(nd), int(m), omp_get_max_threads());
    if (!address_space_for(extra)) {
      if (!pb.c().named_scratch)
        no_memory(static_cast<long long>(extra / work_element_size), work_element_size);
      fail({text.no_iteration_work});
    }
  }

  // The whole matrix's pages at once, by all threads, before the fill writes them (the mode's
  // line on the console first: it marks the start of this phase).
  if (in_core) {
    io.console.flush();
    prefault_block(h.ama);
  }
  mo(pb, dims, ctl, w, io);

  std::vector<double> ge(w.ge.begin(), w.ge.end());
  if (scratch) scratch->close();
  h.release();
  return ge;
}

namespace {

// Bytes in a kB of the /proc files.
constexpr std::size_t kib = 1024;
// The share of the free memory that extra work arrays may take: one half, so that the other half
// stays with the page cache, which holds the scratch file between passes, and other processes.
constexpr std::size_t affordable_share = 2;

std::optional<std::size_t> affordable_cap;

// The number of the line "<key>: <number> kB" of a /proc file, in bytes; nullopt when there is
// no such line.
std::optional<std::size_t> proc_bytes(const char* path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.starts_with(key + ':')) continue;
    const char* p = line.c_str() + key.size() + 1;
    while (*p == ' ' || *p == '\t')
      ++p;
    std::size_t kb = 0;
    if (std::from_chars(p, line.c_str() + line.size(), kb).ec != std::errc{}) return std::nullopt;
    return kb * kib;
  }
  return std::nullopt;
}

}  // namespace

bool address_space_for(std::size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return false;
  munmap(p, bytes);
  return true;
}

std::size_t solution_extra_bytes(int nd, int m, int threads) {
  // Per unknown: the densities of every conductor, the right-hand sides solved together and
  // the densities side by side for the charge sums (3 m), the panel of the solve (128) and a
  // few vectors (8). Per thread: the factorisation's masked panel (256 x 512) and tiles.
  constexpr std::size_t per_unknown_extra = 136;
  constexpr std::size_t per_thread = std::size_t{2} << 20;
  return sizeof(double) * std::size_t(nd) * (3 * std::size_t(m) + per_unknown_extra) +
         per_thread * std::size_t(threads);
}

std::size_t affordable_bytes() {
  if (affordable_cap) return *affordable_cap;
  std::size_t room = std::numeric_limits<std::size_t>::max();
  if (const auto available = proc_bytes("/proc/meminfo", "MemAvailable"))
    room = std::min(room, *available / affordable_share);
  rlimit lim{};
  if (getrlimit(RLIMIT_AS, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY) {
    const std::size_t used = proc_bytes("/proc/self/status", "VmSize").value_or(0);
    const std::size_t limit = lim.rlim_cur;
    room = std::min(room, (limit > used ? limit - used : 0) / affordable_share);
  }
  return room;
}

void cap_affordable_bytes(std::optional<std::size_t> cap) {
  affordable_cap = cap;
}

}  // namespace ostrel
