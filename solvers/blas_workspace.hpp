// The BLAS library's workspace, obtained before the work arrays, and its thread count.
#pragma once

#include <cstddef>

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

/// Bytes of one work buffer of OpenBLAS: its BUFFER_SIZE on x86-64 (32 << 22, 128 MiB) and the
/// page it adds to it, as Debian's libopenblas0 0.3.21 requests them. Were the library's buffers
/// larger, a run under a limit on the address space could hang: the test that sweeps such
/// limits (tests/memory_limits.sh) would find it.
inline constexpr std::size_t blas_buffer_bytes = (std::size_t{32} << 22) + 4096;

/// The environment variable by which OpenBLAS is told which kernels to use when it is loaded.
inline constexpr const char* blas_kernels_variable = "OPENBLAS_CORETYPE";

/// The OpenBLAS kernels to ask for on this processor, or null when the library's own choice
/// stands: "SkylakeX" (AVX-512 F, BW, DQ and VL) or "Haswell" (AVX2 and FMA) where the library,
/// not knowing the processor, took one of its kernels of the SSE era (Prescott, Core2...), which
/// factorise three to five times slower; null where OPENBLAS_CORETYPE is set already (the
/// user's choice), where the processor or its system offers neither vector unit, or where the
/// library chose kernels of its own for it. Reads the processor's features (those the system
/// has enabled) and the library's choice; O(1).
const char* blas_kernels_for_processor();

/// Makes sure that OpenBLAS runs without threads of its own, from the very start of the
/// process, and with kernels for the processor's vector unit: call it first thing in main().
/// Every product of the program runs on one BLAS thread (the threads are OpenMP's), but the
/// library starts its threads when it is loaded, before main(), and each takes a work buffer
/// (blas_buffer_bytes) at once; when that memory cannot be had (a limit on the address space)
/// the thread tries again without end, and the process hangs when it ends. The library reads
/// its thread count from OPENBLAS_NUM_THREADS, and its kernels from OPENBLAS_CORETYPE, when it
/// is loaded: unless the count is 1 already and blas_kernels_for_processor() has nothing to
/// ask for, this sets them and starts the program again (the same executable and arguments).
/// Returns only when nothing is left to set, or when the program cannot be started again (then
/// nothing changes). O(1).
void start_with_blas_settings(char** argv);

/// Has OpenBLAS obtain now the work buffers that up to `callers` OpenMP threads (this thread
/// and the others of its team) calling it at the same time will hold, and starts those threads;
/// returns for how many threads the buffers are there: `callers`, fewer when the memory for all
/// cannot be had, 0 when not even one buffer can. OpenBLAS keeps a pool of buffers, takes one
/// (blas_buffer_bytes) for every call of a level-2 or level-3 routine, and when the memory for a
/// new one cannot be had it tries again without end: a run that first needed a buffer after
/// its work arrays had taken the memory would hang. So the buffers are obtained first and kept
/// (the pool lives as long as the process), and the library is set to one thread. Whether the
/// memory is there is found out first by mapping it (without touching it) and letting it go,
/// so that the library is never asked for a buffer it cannot have. Cost: the first call maps
/// and unmaps the buffers' address space; their pages are only touched by the products that
/// use them. The caller must then run its BLAS calls on at most the returned number of threads.
int reserve_blas_workspace(int callers);

}  // namespace ostrel
