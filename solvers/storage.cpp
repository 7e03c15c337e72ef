#include "solvers/storage.hpp"

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>

#include "assembly/mo.hpp"
#include "base/halt.hpp"
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

// Obtains count 8-byte elements and views them as count values of T.
template <class T>
std::span<T> obtain(Handle& h, long long count) {
  static_assert(sizeof(T) <= work_element_size);
  foralloc(h, work_element_size, count);
  return {static_cast<T*>(h.p), static_cast<std::size_t>(count)};
}

}  // namespace

void foralloc(Handle& h, std::size_t elsize, long long count) {
  assert(h.p == nullptr);
  if (count < 0 || (elsize != 0 && static_cast<unsigned long long>(count) > SIZE_MAX / elsize))
    no_memory(count, elsize);
  // calloc(0, ...) may legally return null; a block of one byte keeps null meaning failure.
  void* p = std::calloc(count > 0 ? static_cast<std::size_t>(count) : 1, elsize > 0 ? elsize : 1);
  if (!p) no_memory(count, elsize);
  h.p = p;
}

void forfree(Handle& h) {
  std::free(h.p);
  h.p = nullptr;
}

void further(const Problem& pb, const Dimensions& dims, const SolverControls& ctl, Streams& io) {
  const long long nd = dims.nd, m = dims.m, nimax = dims.nimax, imm = ctl.imm;
  Arrays h;
  Work w;
  w.dens = obtain<double>(h.dens, nd);
  w.rhs = obtain<double>(h.rhs, nd);
  w.xcol = obtain<double>(h.xcol, nd);
  w.ycol = obtain<double>(h.ycol, nd);
  w.tcol = obtain<double>(h.tcol, nd);
  w.ipvt = obtain<int>(h.ipvt, nd);
  w.ge = obtain<double>(h.ge, m * m);
  w.geinv = obtain<double>(h.geinv, m * m);
  w.gework = obtain<double>(h.gework, m * m);

  // Destroyed before the arrays: a stop inside mo closes (and so deletes) the file first.
  std::optional<ScratchFile> scratch;
  if (ctl.iswitch == 0) {
    w.ld = dims.nd;
    w.ama = obtain<double>(h.ama, nd * nd);
    io.console << "BEM matrix allocated in core;\n";
    io.log << "Whole BEM matrix allocated in core;\n";
  } else {
    io.console << "Out-of-core solver applied;\n";
    io.log << "Block out-of-core solver with default parameters applied;\n";
    w.ld = dims.nimax;
    w.ama = obtain<double>(h.ama, nd * nimax);
    w.blk = obtain<double>(h.blk, nimax * nimax);
    scratch.emplace(ScratchFile::create());
    w.scratch = &*scratch;
    w.w1 = obtain<double>(h.w1, nd);
    w.w2 = obtain<double>(h.w2, imm * nd + nd);
    w.w3 = obtain<double>(h.w3, imm * imm);
    w.w5 = obtain<double>(h.w5, nimax);
    w.w6 = obtain<double>(h.w6, imm);
    w.w6piv = {static_cast<int*>(h.w6.p), static_cast<std::size_t>(imm)};
    w.w4 = obtain<double>(h.w4, imm);
    if (pb.idmn != 0) w.last = obtain<double>(h.last, nd);
  }

  mo(pb, dims, ctl, w, io);

  if (scratch) scratch->close();
  h.release();
}

}  // namespace ostrel
