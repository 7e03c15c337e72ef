// Storage strategy: the work arrays of the solution, the choice of in-core or out-of-core mode.
#pragma once

#include <cstddef>
#include <span>

#include "driver/problem.hpp"
#include "driver/streams.hpp"

namespace ostrel {

class ScratchFile;

/// Address of a block obtained through foralloc; null when nothing is held.
struct Handle {
  void* p = nullptr;
};

/// The work arrays of one solution, all obtained by further() before mo() starts.
struct Work {
  int ld = 0;  ///< leading dimension of ama: nd in-core, nimax out-of-core
  std::span<double> dens, rhs, xcol, ycol, tcol;
  std::span<int> ipvt;
  std::span<double> ge, geinv, gework;  ///< m*m each
  std::span<double> ama;
  // Out-of-core mode only (empty otherwise).
  std::span<double> blk, w1, w2, w3, w4, w5, w6, last;
  ScratchFile* scratch = nullptr;
};

}  // namespace ostrel
