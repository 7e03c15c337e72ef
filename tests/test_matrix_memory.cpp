// Large work arrays: mapped on huge-page boundaries, zero, all resident after prefault_block on
// any number of threads, and given back by forfree.
#include <gtest/gtest.h>
#include <omp.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "solvers/matrix_memory.hpp"
#include "solvers/storage.hpp"

using namespace ostrel;

namespace {

// The share of the pages of [p, p + bytes) that are resident.
double resident_share(const void* p, std::size_t bytes) {
  const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> in((bytes + page - 1) / page);
  if (mincore(const_cast<void*>(p), bytes, in.data()) != 0) return -1;
  std::size_t n = 0;
  for (unsigned char c : in)
    n += c & 1;
  return double(n) / double(in.size());
}

TEST(MatrixMemory, LargeBlocksAlignedZeroAndResidentAfterPrefault) {
  const int threads = omp_get_max_threads();
  for (int nt : {1, 2, 3}) {
    omp_set_num_threads(nt);
    // Beyond the threshold by a part of a huge page, so that the last piece is a short one.
    const long long count = (mapped_block_bytes + 5 * huge_page_bytes / 2 + 24) / sizeof(double);
    Handle h;
    ASSERT_TRUE(try_foralloc(h, sizeof(double), count));
    ASSERT_GT(h.mapped, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(h.p) % huge_page_bytes, 0u);
    EXPECT_EQ(resident_share(h.p, h.mapped), 0.0);  // nothing taken before the first touch
    prefault_block(h);
    EXPECT_EQ(resident_share(h.p, h.mapped), 1.0) << nt << " threads";
    const double* a = static_cast<const double*>(h.p);
    long long nonzero = 0;
    for (long long q = 0; q < count; ++q)
      nonzero += a[q] != 0;
    EXPECT_EQ(nonzero, 0) << nt << " threads";
    forfree(h);
    EXPECT_EQ(h.p, nullptr);
    EXPECT_EQ(h.mapped, 0u);
  }
  omp_set_num_threads(threads);
  // Small blocks stay with the C library, and prefault_block leaves them alone.
  Handle small;
  ASSERT_TRUE(try_foralloc(small, sizeof(double), 1000));
  EXPECT_EQ(small.mapped, 0u);
  prefault_block(small);
  forfree(small);
}

}  // namespace
