// In-place, table-driven radix-4 FFT on arrays of doubles whose length is a
// power of two. The kernel keeps no state: the caller owns the data array, the
// work area and the tables. Nothing here allocates, and trigonometry is only
// used by the two table builders.
//
// Data array a of n doubles = n/2 complex points, point p = (a[2p], a[2p+1]).
// Work area ip: ip[0] = number of twiddle doubles, ip[1] = number of cosine
// doubles, bit-reversal offsets from ip[2] on (at least 2 + sqrt(n/2) entries).
//
// Complex transform of M = n/2 points (twiddle table of M/2 doubles):
//   BitReverse(n, ip + 2, a); ComplexForward(n, a, w);
//   point k then holds X[k] = sum_j x[j] * exp(+2 pi i j k / M).
// Real transform of n samples (twiddle table of n/4 doubles, cosine table of
// n/4 doubles at c = w + n/4):
//   BitReverse(n, ip + 2, a); ComplexForward(n, a, w); RealPostProcess(n, a, n/4, c);
//   for 0 < k < n/2: a[2k] = sum_j x[j] cos(2 pi j k / n), a[2k+1] = sum_j x[j] sin(2 pi j k / n);
//   a[0] = sum of the even-indexed samples, a[1] = sum of the odd-indexed ones.
#pragma once

#include <cstdint>

namespace fft {

// Fills ip[0], ip[1] and the nw-double twiddle table w: cosine/sine pairs of the
// first octant, stored in bit-reversed pair order.
void MakeTwiddleTable(int nw, int* ip, double* w);
// Fills ip[1] and the nc-double cosine table c used by RealPostProcess.
void MakeCosineTable(int nc, int* ip, double* c);
// Permutes the n/2 points of a into bit-reversed order; ip is the offsets area
// (the third entry of the work area).
void BitReverse(int n, int* ip, double* a);
// Butterfly passes over bit-reversed data: the first and middle radix-4 passes,
// then a radix-4 last pass (n = 2^p, p odd) or a radix-2 one (p even).
void ComplexForward(int n, double* a, const double* w);
// ComplexForward in parts, for a caller that fills the data a block at a
// time: BlockPasses(n, a, w, d0) for every block d0 = 0, B, 2B, ... (B =
// BlockDoubles(n)) once its B doubles are in, then WidePasses and LastPass
// give ComplexForward's results bit for bit.
constexpr int kBlockDoubles = 2048; // 16 KiB, a block and the twiddles within the first-level cache
int BlockDoubles(int n);
// The passes whose butterfly groups lie within doubles d0 .. d0 + B - 1.
void BlockPasses(int n, double* a, const double* w, int d0);
// The remaining radix-4 passes but the last pass.
void WidePasses(int n, double* a, const double* w);
// The last pass (radix 4 or 2), and its span in doubles.
void LastPass(int n, double* a);
int LastSpan(int n);

// BlockPasses(n, a, w, d0) on points loaded in the same pass, for n >= 64:
// point p of doubles d0 .. d0 + B - 1 is (x, y) times (pairWindow[2p],
// pairWindow[2p + 1]), x and y the samples at order[p] and order[p] + 1 as
// doubles. With pcm16 they are 16-bit little-endian samples, each taken as
// its value times 65536 (a 16-bit sample as a 32-bit one holds it).
void LoadBlock(int n, const int32_t* samples, const int* order, const double* pairWindow, const double* w, double* a,
               int d0);
void LoadBlock16(int n, const uint8_t* pcm16, const int* order, const double* pairWindow, const double* w, double* a,
                 int d0);
// LastPass (n >= 64), and the power re * re + im * im of every point k of the
// result: for k < n/4 at lowTop[-k], for the others at highTop[n/4 - k]; with
// combine the larger of that and the value there.
void LastPassPowers(int n, double* a, double* lowTop, double* highTop, int combine);
// The first radix-4 pass; the same as MiddleRadix4Stage(n, 2, a, w).
void FirstRadix4Stage(int n, double* a, const double* w);
// One radix-4 pass with butterfly span l (in doubles).
void MiddleRadix4Stage(int n, int l, double* a, const double* w);
// Turns the half-length complex transform of n real samples into their spectrum.
void RealPostProcess(int n, double* a, int nc, const double* c);

// RealPostProcess for n >= 16 that also stores, for 0 < b < n/2 but b != n/4,
// the power of bin b, re * re + im * im of (a[2b], a[2b + 1]), in power[b], or
// with combine the larger of that and power[b]. The results are those of
// RealPostProcess and of one power at a time, bit for bit.
void RealPostProcessPowers(int n, double* a, int nc, const double* c, double* power, int combine);

// One pair of the real post-process: points j and k = n - j with the twiddle (wkr, wki).
inline void PostProcessPair(double* a, int j, int k, double wkr, double wki)
{
    const double xr = a[j] - a[k];
    const double xi = a[j + 1] + a[k + 1];
    const double yr = wkr * xr - wki * xi;
    const double yi = wkr * xi + wki * xr;
    a[j] -= yr;
    a[j + 1] -= yi;
    a[k] += yr;
    a[k + 1] -= yi;
}

// RealPostProcess that calls binDone(j, k) as soon as the iteration for the
// doubles j and k = n - j has finished bins j/2 and k/2, so a caller can take
// their levels while they are still in cache. Bin 0 (a[0], a[1]) and bin n/4
// (a[n/2], a[n/2 + 1]) are never touched.
template <typename BinDone>
inline void RealPostProcessEach(int n, double* a, int nc, const double* c, BinDone&& binDone)
{
    const int m = n >> 1;
    const int ks = 2 * nc / m;
    int kk = 0;
    for (int j = 2; j < m; j += 2) {
        const int k = n - j;
        kk += ks;
        PostProcessPair(a, j, k, 0.5 - c[nc - kk], c[kk]);
        binDone(j, k);
    }
}

} // namespace fft
