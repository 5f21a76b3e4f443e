// The inner loops of the demodulation filters, on plain float arrays, each
// compiled for AVX2 with FMA and for the baseline (the loader picks one).
#pragma once

#include <cstdint>

namespace firk {

// Taps are padded to a multiple of this by the filters that call DotProduct.
constexpr int kTapQuantum = 16;

// sum x[j] * h[j] for j < n; n a multiple of kTapQuantum.
float DotProduct(const float* x, const float* h, int n);
// sum x[j] * (h[j] + mu * d[j]): a dot product with coefficients taken
// between two neighbouring tables; n a multiple of kTapQuantum.
float DotProductBetween(const float* x, const float* h, const float* d, float mu, int n);

// One plane of a half-band decimator: for i < nOut,
//   out[i] = even[i] / 2 + sum_k side[k] * (odd[i - k - 1] + odd[i + k]),
// where even[i] and odd[i] are the inputs 2i and 2i + 1 of the output's centre
// 2i (odd must hold nSide values before index 0).
void HalfBand(const float* even, const float* odd, const float* side, int nSide, int nOut, float* out);

// out[i] = in[i] * scale: 32-bit samples to floats.
void ToFloat(const int32_t* in, int n, float scale, float* out);
// Deals n pairs out: first[k] = in[2k], second[k] = in[2k + 1].
void Deinterleave(const float* in, int n, float* first, float* second);

// The one-pole low-pass y = keep * y + gain * x over x in place, y
// starting at and left in *pState.
void OnePole(float* x, int n, float keep, float gain, float* pState);

// out[i] = |(re[i], im[i])|.
void Magnitude(const float* re, const float* im, int n, float* out);
// The phase step from each complex sample to the next, in radians:
// out[i] = arg(z[i] * conj(z[i - 1])), z[-1] being (prevRe, prevIm).
void PhaseSteps(const float* re, const float* im, int n, float prevRe, float prevIm, float* out);

} // namespace firk
