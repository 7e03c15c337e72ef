// Reads a problem from text and solves it in core or out of core, keeping the non-dimensional
// matrices.
#pragma once

#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "assembly/mo.hpp"
#include "base/halt.hpp"
#include "driver/reading.hpp"
#include "solvers/it.hpp"
#include "solvers/scratch.hpp"
#include "solvers/storage.hpp"

namespace ostrel::testing {

struct Solution {
  Input input;
  std::vector<double> ge, geinv;  ///< column-major m x m, after the units of the problem
  std::string console, log, result;
  bool stopped = false;            ///< the solution stopped (halt holds why)
  Halt halt;                       ///< the stop, when there was one
  bool scratch_left_open = false;  ///< the scratch file was still open when mo ended
  long long scratch_passes = 0;    ///< passes made over the scratch file (its rewinds)
  double c(int p, int q) const { return ge[std::size_t(q - 1) * input.dims.m + (p - 1)]; }
  double l(int p, int q) const { return geinv[std::size_t(q - 1) * input.dims.m + (p - 1)]; }
};

/// Solves the problem of `text` with the in-core solver (iswitch = 0) or the out-of-core
/// iteration (any other iswitch, with the iteration controls of the text); the work arrays are
/// plain vectors. A stop of the out-of-core solution is kept in `halt` (`stopped` set), with
/// what was written before it; an in-core stop is thrown on. `scratch_stream`, when given, is
/// the scratch file's stream (an empty read/write stream; the solution takes it over).
inline Solution solve_text(const std::string& text, int iswitch = 0,
                           std::FILE* scratch_stream = nullptr) {
  Solution s;
  std::istringstream in(text);
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  s.input = read_problem(in, "case.inp", io);
  const Dimensions& d = s.input.dims;
  SolverControls ctl = s.input.controls;
  ctl.iswitch = iswitch;
  const bool in_core = iswitch == 0;
  const std::size_t nd = d.nd, m = d.m, nimax = d.nimax, imm = ctl.imm;
  std::vector<double> dens(nd), rhs(nd), xcol(nd), ycol(nd), tcol(nd);
  std::vector<double> ama(nd * (in_core ? nd : nimax));
  std::vector<int> ipvt(nd);
  std::vector<double> gework(m * m);
  s.ge.assign(m * m, 0.0);
  s.geinv.assign(m * m, 0.0);
  Work w;
  w.ld = in_core ? d.nd : d.nimax;
  w.dens = dens, w.rhs = rhs, w.xcol = xcol, w.ycol = ycol, w.tcol = tcol, w.ama = ama;
  w.ipvt = ipvt, w.ge = s.ge, w.geinv = s.geinv, w.gework = gework;
  std::vector<double> blk, w1, w2, w3, w4, w5, w6, last;
  std::optional<ScratchFile> scratch;
  if (!in_core) {
    const ItSizes it = it_sizes(int(nd), int(imm));
    blk.resize(nimax * nimax), w1.resize(it.u), w2.resize(it.v), w3.resize(it.h);
    w4.resize(it.g), w5.resize(2 * nimax), w6.resize(it.rot);
    if (s.input.problem.idmn != 0) last.resize(nd);
    w.blk = blk, w.w1 = w1, w.w2 = w2, w.w3 = w3, w.w4 = w4, w.w5 = w5, w.w6 = w6;
    w.last = last;
    scratch.emplace(scratch_stream ? ScratchFile(scratch_stream) : ScratchFile::create());
    w.scratch = &*scratch;
  }
  try {
    mo(s.input.problem, d, ctl, w, io);
  } catch (const Halt& h) {
    if (in_core) throw;
    s.stopped = true;
    s.halt = h;
  }
  s.scratch_left_open = scratch && scratch->is_open();
  s.scratch_passes = scratch ? scratch->rewinds() : 0;
  s.console = console.str();
  s.log = log.str();
  s.result = result.str();
  return s;
}

}  // namespace ostrel::testing
