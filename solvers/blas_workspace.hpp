// The workspace of the BLAS library, reserved before the work arrays.
#pragma once

namespace ostrel {

/// Has OpenBLAS reserve the work buffers of every one of its threads now, by one small threaded
/// matrix product. It reserves them at first use and, when the memory cannot be obtained then,
/// waits for it without end: done before the solution's work arrays are obtained, a shortage
/// shows as a failed request of those arrays (reported, or met by the windowed build's fall-back
/// to the out-of-core mode) instead of a run that hangs in its first product. The buffers are
/// address space, hardly touched memory. Cost: one 256 x 256 product, once per process.
void reserve_blas_workspace();

}  // namespace ostrel
