#include "demod/FirKernels.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "dsp/AvxClones.h"

namespace firk {

AVX2_FMA_CLONES float DotProduct(const float* x, const float* h, int n)
{
    float acc[kTapQuantum] = {};
    for (int j = 0; j < n; j += kTapQuantum)
        for (int l = 0; l < kTapQuantum; ++l)
            acc[l] += x[j + l] * h[j + l];
    float sum = 0.0f;
    for (int l = 0; l < kTapQuantum; ++l)
        sum += acc[l];
    return sum;
}

AVX2_FMA_CLONES float DotProductBetween(const float* x, const float* h, const float* d, float mu, int n)
{
    float acc[kTapQuantum] = {};
    for (int j = 0; j < n; j += kTapQuantum)
        for (int l = 0; l < kTapQuantum; ++l)
            acc[l] += x[j + l] * (h[j + l] + mu * d[j + l]);
    float sum = 0.0f;
    for (int l = 0; l < kTapQuantum; ++l)
        sum += acc[l];
    return sum;
}

AVX2_FMA_CLONES void HalfBand(const float* even, const float* odd, const float* side, int nSide, int nOut, float* out)
{
    // Tiles small enough for the outputs to stay in the first-level cache
    // while every tap passes over them.
    constexpr int kTile = 512;
    for (int t0 = 0; t0 < nOut; t0 += kTile) {
        const int t1 = std::min(nOut, t0 + kTile);
        for (int i = t0; i < t1; ++i)
            out[i] = 0.5f * even[i];
        for (int k = 0; k < nSide; ++k) {
            const float s = side[k];
            const float* before = odd - k - 1;
            const float* after = odd + k;
            for (int i = t0; i < t1; ++i)
                out[i] += s * (before[i] + after[i]);
        }
    }
}

AVX2_FMA_CLONES void ToFloat(const int32_t* in, int n, float scale, float* out)
{
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<float>(in[i]) * scale;
}

AVX2_FMA_CLONES void Deinterleave(const float* in, int n, float* first, float* second)
{
    for (int k = 0; k < n; ++k) {
        first[k] = in[2 * k];
        second[k] = in[2 * k + 1];
    }
}

AVX2_FMA_CLONES void OnePole(float* x, int n, float keep, float gain, float* pState)
{
    float y = *pState; // one multiply-add on the chain from sample to sample
    for (int i = 0; i < n; ++i)
        x[i] = y = keep * y + gain * x[i];
    *pState = y;
}

AVX2_FMA_CLONES void Magnitude(const float* re, const float* im, int n, float* out)
{
    for (int i = 0; i < n; ++i)
        out[i] = std::sqrt(re[i] * re[i] + im[i] * im[i]);
}

namespace {

// atan(a) for 0 <= a <= 1 by the polynomial of Abramowitz and Stegun 4.4.49
// (error below 2e-8 radians); written so that loops over it vectorise.
inline float AtanUnit(float a)
{
    const float s = a * a;
    float p = 0.0028662257f;
    p = p * s - 0.0161657367f;
    p = p * s + 0.0429096138f;
    p = p * s - 0.0752896400f;
    p = p * s + 0.1065626393f;
    p = p * s - 0.1420889944f;
    p = p * s + 0.1999355085f;
    p = p * s - 0.3333314528f;
    return a + a * s * p;
}

inline float Atan2(float y, float x)
{
    const float ax = std::fabs(x), ay = std::fabs(y);
    const float hi = std::max(ax, ay), lo = std::min(ax, ay);
    const float a = lo / std::max(hi, std::numeric_limits<float>::min()); // no branch: the loop vectorises
    float r = AtanUnit(a);
    r = ay > ax ? static_cast<float>(std::numbers::pi / 2) - r : r;
    r = x < 0.0f ? static_cast<float>(std::numbers::pi) - r : r;
    return y < 0.0f ? -r : r;
}

} // namespace

AVX2_FMA_CLONES void PhaseSteps(const float* re, const float* im, int n, float prevRe, float prevIm, float* out)
{
    if (n <= 0)
        return;
    out[0] = Atan2(im[0] * prevRe - re[0] * prevIm, re[0] * prevRe + im[0] * prevIm);
    for (int i = 1; i < n; ++i) {
        const float pr = re[i] * re[i - 1] + im[i] * im[i - 1];
        const float pi = im[i] * re[i - 1] - re[i] * im[i - 1];
        out[i] = Atan2(pi, pr);
    }
}

} // namespace firk
