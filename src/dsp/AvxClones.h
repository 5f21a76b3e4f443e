// AVX2_CLONES marks a function that is compiled twice, for AVX2 and for the
// baseline instruction set; the loader picks the one the machine runs. The
// library is built without multiply-add fusion, so both give the same bits.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define AVX2_CLONES
#endif

// AVX2_FMA_CLONES: the same for code that may fuse multiplies and adds (the
// demodulation filters, which promise no bit pattern): the x86-64-v3 level
// (AVX2 and FMA) and the baseline.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define AVX2_FMA_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define AVX2_FMA_CLONES
#endif

// AVX512_VERSION marks a function written for the x86-64-v4 level (AVX-512),
// with eight-lane vectors where its AVX2_CLONES partner has four; the caller
// takes it where Avx512() says the machine runs it. Elsewhere Avx512() is
// false and the function is never called.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define AVX512_VERSION __attribute__((target("arch=x86-64-v4")))
inline bool Avx512()
{
    static const bool runs = __builtin_cpu_supports("x86-64-v4");
    return runs;
}
#else
#define AVX512_VERSION
inline bool Avx512()
{
    return false;
}
#endif
