// The BLAS library's workspace, reserved before the work arrays, and its thread count.
#pragma once

namespace ostrel {

/// OpenBLAS on one thread while it lives (the count before is restored). For callers whose
/// products are too small to gain from threads, or that run products on several threads of
/// their own. The count is global to the process: do not nest with another thread's guard.
class SerialBlas {
 public:
  SerialBlas();
  SerialBlas(const SerialBlas&) = delete;
  SerialBlas& operator=(const SerialBlas&) = delete;
  ~SerialBlas();

 private:
  int before_;
};

/// Has OpenBLAS reserve the work buffers of every one of its threads now, by one small threaded
/// matrix product. It reserves them at first use and, when the memory cannot be obtained then,
/// waits for it without end: done before the solution's work arrays are obtained, a shortage
/// shows as a failed request of those arrays (reported, or met by the windowed build's fall-back
/// to the out-of-core mode) instead of a run that hangs in its first product. The buffers are
/// address space, hardly touched memory. Cost: one 256 x 256 product, once per process.
void reserve_blas_workspace();

}  // namespace ostrel
