// AVX2_CLONES marks a function that is compiled twice, for AVX2 and for the
// baseline instruction set; the loader picks the one the machine runs. The
// library is built without multiply-add fusion, so both give the same bits.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define AVX2_CLONES
#endif
