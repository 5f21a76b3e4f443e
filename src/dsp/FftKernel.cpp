#include "dsp/FftKernel.h"

#include "dsp/AvxClones.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace fft {
namespace {

// One complex point (re, im) as a two-lane vector, or two (four) neighbouring
// points as a four-lane (eight-lane) one: two (four) butterflies at once.
// Every lane operation below is the scalar operation of the same lane, so the
// results are bit for bit those of one double at a time: a - b is a + (-b),
// and negation is exact.
#pragma GCC diagnostic ignored "-Wpsabi"
using V2d = double __attribute__((vector_size(16)));
using V2u = unsigned long long __attribute__((vector_size(16)));
using V4d = double __attribute__((vector_size(32)));
using V4u = unsigned long long __attribute__((vector_size(32)));
using V8d = double __attribute__((vector_size(64)));
using V8u = unsigned long long __attribute__((vector_size(64)));

template <typename V>
struct Lanes;
template <>
struct Lanes<V2d> {
    using U = V2u;
    static constexpr U kSignRe{0x8000000000000000ULL, 0};
};
template <>
struct Lanes<V4d> {
    using U = V4u;
    static constexpr U kSignRe{0x8000000000000000ULL, 0, 0x8000000000000000ULL, 0};
    static constexpr U kSignIm{0, 0x8000000000000000ULL, 0, 0x8000000000000000ULL};
};
template <>
struct Lanes<V8d> {
    using U = V8u;
    static constexpr U kSignRe{0x8000000000000000ULL, 0, 0x8000000000000000ULL, 0,
                               0x8000000000000000ULL, 0, 0x8000000000000000ULL, 0};
};

template <typename V>
__attribute__((always_inline)) inline V Load(const double* a)
{
    V v;
    std::memcpy(&v, a, sizeof v);
    return v;
}

template <typename V>
__attribute__((always_inline)) inline void Store(double* a, V v)
{
    std::memcpy(a, &v, sizeof v);
}

// (re, im) -> (im, re), (re, re) and (im, im) per point.
__attribute__((always_inline)) inline V2d Swap(V2d v)
{
    return __builtin_shufflevector(v, v, 1, 0);
}
__attribute__((always_inline)) inline V4d Swap(V4d v)
{
    return __builtin_shufflevector(v, v, 1, 0, 3, 2);
}
__attribute__((always_inline)) inline V8d Swap(V8d v)
{
    return __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6);
}
__attribute__((always_inline)) inline V2d DupRe(V2d v)
{
    return __builtin_shufflevector(v, v, 0, 0);
}
__attribute__((always_inline)) inline V4d DupRe(V4d v)
{
    return __builtin_shufflevector(v, v, 0, 0, 2, 2);
}
__attribute__((always_inline)) inline V8d DupRe(V8d v)
{
    return __builtin_shufflevector(v, v, 0, 0, 2, 2, 4, 4, 6, 6);
}
__attribute__((always_inline)) inline V2d DupIm(V2d v)
{
    return __builtin_shufflevector(v, v, 1, 1);
}
__attribute__((always_inline)) inline V4d DupIm(V4d v)
{
    return __builtin_shufflevector(v, v, 1, 1, 3, 3);
}
__attribute__((always_inline)) inline V8d DupIm(V8d v)
{
    return __builtin_shufflevector(v, v, 1, 1, 3, 3, 5, 5, 7, 7);
}

// The two points of a four-lane vector in the other order.
__attribute__((always_inline)) inline V4d ReversePoints(V4d v)
{
    return __builtin_shufflevector(v, v, 2, 3, 0, 1);
}

// (re, im) -> (-re, im) per point.
template <typename V>
__attribute__((always_inline)) inline V NegateRe(V v)
{
    using U = typename Lanes<V>::U;
    return std::bit_cast<V>(std::bit_cast<U>(v) ^ Lanes<V>::kSignRe);
}

// (re, im) -> (re, -im) per point of a four-lane vector.
__attribute__((always_inline)) inline V4d NegateIm(V4d v)
{
    return std::bit_cast<V4d>(std::bit_cast<V4u>(v) ^ Lanes<V4d>::kSignIm);
}

// (p - q, p + q) per point: one add-subtract instruction where the target
// has it; p + (-q) and p - q are the same bits.
__attribute__((always_inline)) inline V2d SubAdd(V2d p, V2d q)
{
    return __builtin_shufflevector(p - q, p + q, 0, 3);
}
__attribute__((always_inline)) inline V4d SubAdd(V4d p, V4d q)
{
    return __builtin_shufflevector(p - q, p + q, 0, 5, 2, 7);
}
// Eight lanes have no add-subtract instruction: a sign flip and an add.
__attribute__((always_inline)) inline V8d SubAdd(V8d p, V8d q)
{
    return p + NegateRe(q);
}

// w * y for w = (wr, wi): (wr * yr - wi * yi, wr * yi + wi * yr); wr and wi
// are one value for every point or one per lane.
template <typename V, typename W>
__attribute__((always_inline)) inline V Rotate(V y, W wr, W wi)
{
    return SubAdd(wr * y, wi * Swap(y));
}

// Sums and differences of the four points at j, j + l, j + 2l, j + 3l:
// y0 = x0 + x2, y2 = x0 - x2, y1 = x1 + i*x3, y3 = x1 - i*x3.
template <typename V>
struct Radix4 {
    V y0, y1, y2, y3;
};

template <typename V>
__attribute__((always_inline)) inline Radix4<V> SumsOf(V a0, V a1, V a2, V a3)
{
    const V x0 = a0 + a1, x1 = a0 - a1, x2 = a2 + a3, x3 = a2 - a3;
    const V ix3 = NegateRe(Swap(x3)); // (-x3i, x3r)
    return {x0 + x2, x1 + ix3, x0 - x2, x1 - ix3};
}

template <typename V>
__attribute__((always_inline)) inline Radix4<V> Sums(const double* a, int j, int l)
{
    return SumsOf(Load<V>(a + j), Load<V>(a + j + l), Load<V>(a + j + 2 * l), Load<V>(a + j + 3 * l));
}

// Swaps the two points (two doubles each) that start at a[j1] and a[k1].
__attribute__((always_inline)) inline void SwapPoints(double* a, int j1, int k1)
{
    const V2d x = Load<V2d>(a + j1);
    Store(a + j1, Load<V2d>(a + k1));
    Store(a + k1, x);
}

// The point at a and the point at b as one four-lane vector, and back.
__attribute__((always_inline)) inline V4d LoadTwo(const double* a, const double* b)
{
    return __builtin_shufflevector(Load<V2d>(a), Load<V2d>(b), 0, 1, 2, 3);
}

__attribute__((always_inline)) inline void StoreTwo(double* a, double* b, V4d v)
{
    Store(a, __builtin_shufflevector(v, v, 0, 1));
    Store(b, __builtin_shufflevector(v, v, 2, 3));
}

// Butterfly with unit twiddles.
template <typename V = V2d>
__attribute__((always_inline)) inline void UnitButterfly(double* a, int j, int l)
{
    const Radix4<V> y = Sums<V>(a, j, l);
    Store(a + j, y.y0);
    Store(a + j + 2 * l, y.y2);
    Store(a + j + l, y.y1);
    Store(a + j + 3 * l, y.y3);
}

// Butterfly of group 1: W2 = i, W1 = r(1 + i), W3 = r(-1 + i), r = cos 45 deg.
template <typename V = V2d>
__attribute__((always_inline)) inline void EighthButterfly(double* a, int j, int l, double r)
{
    const Radix4<V> y = Sums<V>(a, j, l);
    Store(a + j, y.y0);
    Store(a + j + 2 * l, NegateRe(Swap(y.y2)));                      // (-y2i, y2r)
    Store(a + j + l, r * (DupRe(y.y1) + NegateRe(DupIm(y.y1))));     // r (y1r - y1i, y1r + y1i)
    Store(a + j + 3 * l, r * (NegateRe(DupRe(y.y3)) - DupIm(y.y3))); // r (-y3r - y3i, y3r - y3i)
}

// Butterfly with general twiddles W1, W2, W3.
template <typename V = V2d>
__attribute__((always_inline)) inline void TwiddledButterfly(double* a, int j, int l, double w1r, double w1i,
                                                             double w2r, double w2i, double w3r, double w3i)
{
    const Radix4<V> y = Sums<V>(a, j, l);
    Store(a + j, y.y0);
    Store(a + j + 2 * l, Rotate(y.y2, w2r, w2i));
    Store(a + j + l, Rotate(y.y1, w1r, w1i));
    Store(a + j + 3 * l, Rotate(y.y3, w3r, w3i));
}

// One radix-4 pass with butterfly span l; V4d (V8d) takes two (four)
// butterflies at a time and needs l to be a multiple of 4 (8).
template <typename V>
__attribute__((always_inline)) inline void Radix4Stage(int n, int l, double* a, const double* w)
{
    constexpr int step = sizeof(V) / sizeof(double);
    const int m = l << 2;
    for (int j = 0; j < l; j += step)
        UnitButterfly<V>(a, j, l);
    const double r = w[2];
    for (int j = m; j < l + m; j += step)
        EighthButterfly<V>(a, j, l, r);
    const int m2 = 2 * m;
    int k1 = 0;
    for (int k = m2; k < n; k += m2) {
        k1 += 2;
        const int k2 = 2 * k1;
        const double w2r = w[k1], w2i = w[k1 + 1];
        double w1r = w[k2], w1i = w[k2 + 1];
        double w3r = w1r - 2 * w2i * w1i;
        double w3i = 2 * w2i * w1r - w1i;
        for (int j = k; j < l + k; j += step)
            TwiddledButterfly<V>(a, j, l, w1r, w1i, w2r, w2i, w3r, w3i);
        w1r = w[k2 + 2];
        w1i = w[k2 + 3];
        w3r = w1r - 2 * w2r * w1i;
        w3i = 2 * w2r * w1r - w1i;
        for (int j = k + m; j < l + (k + m); j += step)
            TwiddledButterfly<V>(a, j, l, w1r, w1i, -w2i, w2r, w3r, w3i);
    }
}

AVX2_CLONES
void PairedRadix4Stage(int n, int l, double* a, const double* w)
{
    Radix4Stage<V4d>(n, l, a, w);
}

AVX512_VERSION
void WideRadix4Stage(int n, int l, double* a, const double* w)
{
    Radix4Stage<V8d>(n, l, a, w);
}

// Blocks [b0, b1) of the radix-4 pass with span l, block b being the 4l
// doubles from 4l * b, each with the twiddles the whole pass gives it: the
// same butterflies as Radix4Stage's, taken in parts. V4d (V8d) needs l to
// be a multiple of 4 (8).
template <typename V>
__attribute__((always_inline)) inline void Radix4Blocks(int l, double* a, const double* w, int b0, int b1)
{
    constexpr int step = sizeof(V) / sizeof(double);
    const int m = l << 2;
    for (int b = b0; b < b1; ++b) {
        const int k = b * m;
        if (b == 0) {
            for (int j = 0; j < l; j += step)
                UnitButterfly<V>(a, j, l);
            continue;
        }
        if (b == 1) {
            const double r = w[2];
            for (int j = k; j < l + k; j += step)
                EighthButterfly<V>(a, j, l, r);
            continue;
        }
        // Blocks 2q and 2q + 1 share W2; the odd one turns it by i.
        const int k1 = b & ~1, k2 = 2 * k1;
        const double w2r = w[k1], w2i = w[k1 + 1];
        double w1r, w1i, w3r, w3i;
        if ((b & 1) == 0) {
            w1r = w[k2];
            w1i = w[k2 + 1];
            w3r = w1r - 2 * w2i * w1i;
            w3i = 2 * w2i * w1r - w1i;
            for (int j = k; j < l + k; j += step)
                TwiddledButterfly<V>(a, j, l, w1r, w1i, w2r, w2i, w3r, w3i);
        } else {
            w1r = w[k2 + 2];
            w1i = w[k2 + 3];
            w3r = w1r - 2 * w2r * w1i;
            w3i = 2 * w2r * w1r - w1i;
            for (int j = k; j < l + k; j += step)
                TwiddledButterfly<V>(a, j, l, w1r, w1i, -w2i, w2r, w3r, w3i);
        }
    }
}

AVX2_CLONES
void PairedRadix4Blocks(int l, double* a, const double* w, int b0, int b1)
{
    Radix4Blocks<V4d>(l, a, w, b0, b1);
}

AVX512_VERSION
void WideRadix4Blocks(int l, double* a, const double* w, int b0, int b1)
{
    Radix4Blocks<V8d>(l, a, w, b0, b1);
}

// The table-twiddled first-pass butterflies of the pair of blocks at j (j at
// least 16, a multiple of 16), from their inputs: x[i] holds point i of the
// block at j (lanes 0, 1) and of the block at j + 8 (lanes 2, 3).
__attribute__((always_inline)) inline void FirstPair(double* a, const double* w, int j, const V4d* x)
{
    const int k1 = j >> 3;
    const int k2 = 2 * k1;
    const double w2r = w[k1], w2i = w[k1 + 1];
    const double w1r = w[k2], w1i = w[k2 + 1];
    const double w3r = w1r - 2 * w2i * w1i;
    const double w3i = 2 * w2i * w1r - w1i;
    const double v1r = w[k2 + 2], v1i = w[k2 + 3];
    const double v3r = v1r - 2 * w2r * v1i;
    const double v3i = 2 * w2r * v1r - v1i;
    double* const b = a + 8;
    const Radix4<V4d> y = SumsOf(x[0], x[1], x[2], x[3]);
    StoreTwo(a + j, b + j, y.y0);
    StoreTwo(a + j + 4, b + j + 4, Rotate(y.y2, V4d{w2r, w2r, -w2i, -w2i}, V4d{w2i, w2i, w2r, w2r}));
    StoreTwo(a + j + 2, b + j + 2, Rotate(y.y1, V4d{w1r, w1r, v1r, v1r}, V4d{w1i, w1i, v1i, v1i}));
    StoreTwo(a + j + 6, b + j + 6, Rotate(y.y3, V4d{w3r, w3r, v3r, v3r}, V4d{w3i, w3i, v3i, v3i}));
}

// The table-twiddled butterflies of the first pass over doubles [j0, j1)
// (j0 at least 16, both multiples of 16), two blocks of 8 doubles at a time.
AVX2_CLONES
void FirstStageTwiddled(int j0, int j1, double* a, const double* w)
{
    for (int j = j0; j < j1; j += 16) {
        const double* const b = a + 8;
        const V4d x[4] = {LoadTwo(a + j, b + j), LoadTwo(a + j + 2, b + j + 2), LoadTwo(a + j + 4, b + j + 4),
                          LoadTwo(a + j + 6, b + j + 6)};
        FirstPair(a, w, j, x);
    }
}

// The samples of two points each at once, as doubles: (x_A, y_A, x_B, y_B)
// and (x_C, y_C, x_D, y_D) for the points whose samples x, y start at sample
// A, B, C and D.
using V4i = int32_t __attribute__((vector_size(16)));
using V4w = uint32_t __attribute__((vector_size(16)));
using V8s = int16_t __attribute__((vector_size(16)));

struct Samples32 {
    const int32_t* s;
    __attribute__((always_inline)) void Four(int sa, int sb, int sc, int sd, V4d& ab, V4d& cd) const
    {
        ab = __builtin_convertvector((V4i{s[sa], s[sa + 1], s[sb], s[sb + 1]}), V4d);
        cd = __builtin_convertvector((V4i{s[sc], s[sc + 1], s[sd], s[sd + 1]}), V4d);
    }
};

// 16-bit little-endian samples, each taken as its value times 65536: the
// sample in the upper half of a 32-bit word, as the reader delivers it.
struct Samples16 {
    const uint8_t* bytes;
    __attribute__((always_inline)) static uint32_t Word(const uint8_t* p)
    {
        uint32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    __attribute__((always_inline)) void Four(int sa, int sb, int sc, int sd, V4d& ab, V4d& cd) const
    {
        const V8s x = std::bit_cast<V8s>(
            V4w{Word(bytes + 2 * sa), Word(bytes + 2 * sb), Word(bytes + 2 * sc), Word(bytes + 2 * sd)});
        const V8s zero{};
        ab = __builtin_convertvector(std::bit_cast<V4i>(__builtin_shufflevector(zero, x, 0, 8, 1, 9, 2, 10, 3, 11)),
                                     V4d);
        cd = __builtin_convertvector(std::bit_cast<V4i>(__builtin_shufflevector(zero, x, 4, 12, 5, 13, 6, 14, 7, 15)),
                                     V4d);
    }
};

// Loads the points of doubles [d0, d1) (multiples of 16) windowed, two
// blocks of 8 doubles at a time, and runs the first pass on them: point p is
// the samples from order[p] times (pairWindow[2p], pairWindow[2p + 1]).
template <typename Source>
__attribute__((always_inline)) inline void LoadFirstPass(const Source& src, const int* order, const double* pw,
                                                         const double* w, double* a, int d0, int d1)
{
    for (int j = d0; j < d1; j += 16) {
        const int* const o = order + (j >> 1);
        V4d s0, s1, s2, s3;
        src.Four(o[0], o[4], o[1], o[5], s0, s1);
        src.Four(o[2], o[6], o[3], o[7], s2, s3);
        const V4d x[4] = {s0 * LoadTwo(pw + j, pw + j + 8), s1 * LoadTwo(pw + j + 2, pw + j + 10),
                          s2 * LoadTwo(pw + j + 4, pw + j + 12), s3 * LoadTwo(pw + j + 6, pw + j + 14)};
        if (j > 0) {
            FirstPair(a, w, j, x);
            continue;
        }
        for (int i = 0; i < 4; ++i)
            StoreTwo(a + 2 * i, a + 8 + 2 * i, x[i]);
        UnitButterfly(a, 0, 2);
        EighthButterfly(a, 8, 2, w[2]);
    }
}

AVX2_CLONES
void LoadFirstPass32(const int32_t* s, const int* order, const double* pw, const double* w, double* a, int d0, int d1)
{
    LoadFirstPass(Samples32{s}, order, pw, w, a, d0, d1);
}

AVX2_CLONES
void LoadFirstPass16(const uint8_t* s, const int* order, const double* pw, const double* w, double* a, int d0, int d1)
{
    LoadFirstPass(Samples16{s}, order, pw, w, a, d0, d1);
}

// The real lanes of v, last point first.
__attribute__((always_inline)) inline V2d RealsDown(V4d v)
{
    return V2d{v[2], v[0]};
}
__attribute__((always_inline)) inline V4d RealsDown(V8d v)
{
    return __builtin_shufflevector(v, v, 6, 4, 2, 0);
}

// top[-k], top[-k - 1], ... = the powers of the points of v (or the larger of
// each and the value there), each re * re + im * im.
template <bool combine, typename V>
__attribute__((always_inline)) inline void PowersDown(double* top, int k, V v)
{
    const V sq = v * v;
    auto p = RealsDown(sq + Swap(sq));
    constexpr int points = sizeof(p) / sizeof(double);
    double* const out = top - k - (points - 1);
    if constexpr (combine) {
        const auto old = Load<decltype(p)>(out);
        p = p > old ? p : old;
    }
    Store(out, p);
}

// LastPassPowers, two (V4d) or four (V8d) butterflies at a time; combine is
// a template argument, so the test is out of the loop.
template <bool combine, typename V>
__attribute__((always_inline)) inline void LastPassPowersOf(int n, int l, double* a, double* lowTop, double* highTop)
{
    constexpr int step = sizeof(V) / sizeof(double);
    if ((l << 2) == n) {
        const int quarter = l >> 1; // points per quarter
        for (int j = 0; j < l; j += step) {
            const Radix4<V> y = Sums<V>(a, j, l);
            Store(a + j, y.y0);
            Store(a + j + 2 * l, y.y2);
            Store(a + j + l, y.y1);
            Store(a + j + 3 * l, y.y3);
            const int k = j >> 1;
            PowersDown<combine>(lowTop, k, y.y0);
            PowersDown<combine>(lowTop, k + quarter, y.y1);
            PowersDown<combine>(highTop, k, y.y2);
            PowersDown<combine>(highTop, k + quarter, y.y3);
        }
        return;
    }
    for (int j = 0; j < l; j += step) {
        const V x0 = Load<V>(a + j), x1 = Load<V>(a + j + l);
        const V s0 = x0 + x1, s1 = x0 - x1;
        Store(a + j, s0);
        Store(a + j + l, s1);
        PowersDown<combine>(lowTop, j >> 1, s0);
        PowersDown<combine>(highTop, j >> 1, s1);
    }
}

AVX2_CLONES
void PairedLastPassPowers(int n, int l, double* a, double* lowTop, double* highTop, int combine)
{
    if (combine)
        LastPassPowersOf<true, V4d>(n, l, a, lowTop, highTop);
    else
        LastPassPowersOf<false, V4d>(n, l, a, lowTop, highTop);
}

AVX512_VERSION
void WideLastPassPowers(int n, int l, double* a, double* lowTop, double* highTop, int combine)
{
    if (combine)
        LastPassPowersOf<true, V8d>(n, l, a, lowTop, highTop);
    else
        LastPassPowersOf<false, V8d>(n, l, a, lowTop, highTop);
}

// The last pass over span l: radix 4 when 4l = n, else radix 2. V4d (V8d)
// takes two (four) butterflies at a time and needs l to be a multiple of 4 (8).
template <typename V>
__attribute__((always_inline)) inline void LastPassOf(int n, int l, double* a)
{
    constexpr int step = sizeof(V) / sizeof(double);
    if ((l << 2) == n) {
        for (int j = 0; j < l; j += step)
            UnitButterfly<V>(a, j, l);
    } else {
        for (int j = 0; j < l; j += step) {
            const V x0 = Load<V>(a + j), x1 = Load<V>(a + j + l);
            Store(a + j, x0 + x1);
            Store(a + j + l, x0 - x1);
        }
    }
}

AVX2_CLONES
void PairedLastPass(int n, int l, double* a)
{
    LastPassOf<V4d>(n, l, a);
}

AVX512_VERSION
void WideLastPass(int n, int l, double* a)
{
    LastPassOf<V8d>(n, l, a);
}

// power[b] = p[0] and power[b + 1] = p[1], or the larger of each and the
// value already there.
__attribute__((always_inline)) inline void KeepPowers(double* power, int b, V2d p, int combine)
{
    if (combine) {
        const V2d old = Load<V2d>(power + b);
        p = p > old ? p : old;
    }
    Store(power + b, p);
}

// RealPostProcessPowers: the iteration for j = 2 as RealPostProcessEach does
// it, then the iterations for j and j + 2 at once (lanes 0, 1 and 2, 3; their
// partners k and k - 2 likewise), each power re * re + im * im.
AVX2_CLONES
void RealPowersPaired(int n, double* a, int nc, const double* c, double* power, int combine)
{
    const int m = n >> 1;
    const int ks = 2 * nc / m;
    auto keep = [power, combine](int b, double re, double im) {
        const double p = re * re + im * im;
        power[b] = combine ? (p > power[b] ? p : power[b]) : p;
    };
    int kk = 0;
    {
        const int j = 2, k = n - 2;
        kk += ks;
        PostProcessPair(a, j, k, 0.5 - c[nc - kk], c[kk]);
        keep(j / 2, a[j], a[j + 1]);
        keep(k / 2, a[k], a[k + 1]);
    }
    for (int j = 4; j < m; j += 4) {
        const int k = n - j;
        const int kk1 = kk + ks, kk2 = kk1 + ks;
        kk = kk2;
        const double wr1 = 0.5 - c[nc - kk1], wr2 = 0.5 - c[nc - kk2];
        const V4d wr{wr1, wr1, wr2, wr2}, wi{c[kk1], c[kk1], c[kk2], c[kk2]};
        const V4d aj = Load<V4d>(a + j);
        const V4d ak = ReversePoints(Load<V4d>(a + k - 2)); // points k/2, k/2 - 1
        const V4d y = Rotate(aj + NegateRe(ak), wr, wi);    // x = (aj - ak, aj1 + ak1)
        const V4d oj = aj - y;
        const V4d ok = ak + NegateIm(y); // (ak + yr, ak1 - yi)
        Store(a + j, oj);
        Store(a + k - 2, ReversePoints(ok));
        const V4d sj = oj * oj, sk = ok * ok;
        const V4d pj = sj + Swap(sj), pk = sk + Swap(sk);
        KeepPowers(power, j / 2, V2d{pj[0], pj[2]}, combine);
        KeepPowers(power, k / 2 - 1, V2d{pk[2], pk[0]}, combine);
    }
}

} // namespace

void RealPostProcessPowers(int n, double* a, int nc, const double* c, double* power, int combine)
{
    RealPowersPaired(n, a, nc, c, power, combine);
}

void MakeTwiddleTable(int nw, int* ip, double* w)
{
    ip[0] = nw;
    ip[1] = 1;
    if (nw <= 2)
        return;
    const int h = nw >> 1;
    const double delta = std::atan(1.0) / h;
    w[0] = 1.0;
    w[1] = 0.0;
    w[h] = std::cos(delta * h);
    w[h + 1] = w[h];
    if (h > 2) {
        for (int j = 2; j < h; j += 2) {
            const double x = std::cos(delta * j);
            const double y = std::sin(delta * j);
            w[j] = x;
            w[j + 1] = y;
            w[nw - j] = y;
            w[nw - j + 1] = x;
        }
    }
    BitReverse(nw, ip + 2, w);
}

void MakeCosineTable(int nc, int* ip, double* c)
{
    ip[1] = nc;
    if (nc <= 1)
        return;
    const int h = nc >> 1;
    const double delta = std::atan(1.0) / h;
    c[0] = std::cos(delta * h);
    c[h] = 0.5 * c[0];
    for (int j = 1; j < h; ++j) {
        c[j] = 0.5 * std::cos(delta * j);
        c[nc - j] = 0.5 * std::sin(delta * j);
    }
}

void BitReverse(int n, int* ip, double* a)
{
    ip[0] = 0;
    int l = n;
    int m = 1;
    while ((m << 3) < l) {
        l >>= 1;
        for (int j = 0; j < m; ++j)
            ip[m + j] = ip[j] + l;
        m <<= 1;
    }
    const int m2 = 2 * m;
    if ((m << 3) == l) {
        for (int k = 0; k < m; ++k) {
            for (int j = 0; j < k; ++j) {
                int j1 = 2 * j + ip[k];
                int k1 = 2 * k + ip[j];
                SwapPoints(a, j1, k1);
                j1 += m2;
                k1 += 2 * m2;
                SwapPoints(a, j1, k1);
                j1 += m2;
                k1 -= m2;
                SwapPoints(a, j1, k1);
                j1 += m2;
                k1 += 2 * m2;
                SwapPoints(a, j1, k1);
            }
            const int j1 = 2 * k + m2 + ip[k];
            SwapPoints(a, j1, j1 + m2);
        }
    } else {
        for (int k = 1; k < m; ++k) {
            for (int j = 0; j < k; ++j) {
                int j1 = 2 * j + ip[k];
                int k1 = 2 * k + ip[j];
                SwapPoints(a, j1, k1);
                j1 += m2;
                k1 += m2;
                SwapPoints(a, j1, k1);
            }
        }
    }
}

int BlockDoubles(int n)
{
    return n < kBlockDoubles ? n : kBlockDoubles;
}

int LastSpan(int n)
{
    int l = 2;
    if (n > 8)
        for (l = 8; (l << 2) < n; l <<= 2) {
        }
    return l;
}

namespace {

// The radix-4 passes after the first whose groups lie within doubles [d0, d1).
void BlockPassesAfterFirst(int n, double* a, const double* w, int d0, int d1)
{
    for (int l = 8; (l << 2) < n && (l << 2) <= d1 - d0; l <<= 2)
        (Avx512() ? WideRadix4Blocks : PairedRadix4Blocks)(l, a, w, d0 / (l << 2), d1 / (l << 2));
}

} // namespace

void BlockPasses(int n, double* a, const double* w, int d0)
{
    const int d1 = d0 + BlockDoubles(n);
    if (n <= 8)
        return;
    if (d0 == 0) {
        // One butterfly per group of 8 doubles: unit twiddles at 0, the
        // eighth-turn twiddles at 8, then table twiddles.
        UnitButterfly(a, 0, 2);
        EighthButterfly(a, 8, 2, w[2]);
    }
    FirstStageTwiddled(d0 == 0 ? 16 : d0, d1, a, w);
    BlockPassesAfterFirst(n, a, w, d0, d1);
}

void LoadBlock(int n, const int32_t* samples, const int* order, const double* pairWindow, const double* w, double* a,
               int d0)
{
    const int d1 = d0 + BlockDoubles(n);
    LoadFirstPass32(samples, order, pairWindow, w, a, d0, d1);
    BlockPassesAfterFirst(n, a, w, d0, d1);
}

void LoadBlock16(int n, const uint8_t* pcm16, const int* order, const double* pairWindow, const double* w, double* a,
                 int d0)
{
    const int d1 = d0 + BlockDoubles(n);
    LoadFirstPass16(pcm16, order, pairWindow, w, a, d0, d1);
    BlockPassesAfterFirst(n, a, w, d0, d1);
}

void LastPassPowers(int n, double* a, double* lowTop, double* highTop, int combine)
{
    // The span is a multiple of 8 from n = 64 on.
    (Avx512() ? WideLastPassPowers : PairedLastPassPowers)(n, LastSpan(n), a, lowTop, highTop, combine);
}

void WidePasses(int n, double* a, const double* w)
{
    const int last = LastSpan(n);
    for (int l = 8; l < last; l <<= 2)
        if ((l << 2) > BlockDoubles(n))
            MiddleRadix4Stage(n, l, a, w);
}

void LastPass(int n, double* a)
{
    const int l = LastSpan(n);
    if (l % 8 == 0 && Avx512())
        WideLastPass(n, l, a);
    else if (l % 4 == 0)
        PairedLastPass(n, l, a);
    else
        LastPassOf<V2d>(n, l, a);
}

void ComplexForward(int n, double* a, const double* w)
{
    // The passes whose butterfly groups fit a block of kBlockDoubles are run
    // block by block while it is in the cache; every butterfly is the same.
    for (int d0 = 0; d0 < n; d0 += BlockDoubles(n))
        BlockPasses(n, a, w, d0);
    WidePasses(n, a, w);
    LastPass(n, a);
}

void FirstRadix4Stage(int n, double* a, const double* w)
{
    // One butterfly per group of 8 doubles: unit twiddles at 0, the eighth-turn
    // twiddles at 8, then table twiddles, k1 advancing every 16 doubles.
    UnitButterfly(a, 0, 2);
    EighthButterfly(a, 8, 2, w[2]);
    FirstStageTwiddled(16, n, a, w);
}

void MiddleRadix4Stage(int n, int l, double* a, const double* w)
{
    if (l % 8 == 0 && Avx512())
        WideRadix4Stage(n, l, a, w);
    else if (l % 4 == 0)
        PairedRadix4Stage(n, l, a, w);
    else
        Radix4Stage<V2d>(n, l, a, w);
}

void RealPostProcess(int n, double* a, int nc, const double* c)
{
    RealPostProcessEach(n, a, nc, c, [](int, int) {});
}

} // namespace fft
