// Loops compiled twice, for AVX2 and for the baseline instruction set; the CPU picks one when the
// program is loaded. Only for loops that work element by element (no fused multiply-add, by
// -ffp-contract=off, and no reassociated sums), so that both give the same bits.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define OSTREL_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define OSTREL_VECTOR_CLONES
#endif
