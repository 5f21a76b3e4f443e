#include "dsp/LevelIndex.h"

#include "dsp/AvxClones.h"

#include <cfloat>
#include <cmath>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

// Distance from a whole number below which v is computed again exactly. The
// vectorised logarithm is good to about 1e-14 bels, so even at the finest
// fast scale below it errs by less than 1e-9 of an index step.
constexpr double kMargin = 1e-6;
// Index steps per bel above which every value takes the exact path.
constexpr double kMaxFastStepsPerBel = 1e4;
constexpr double kLog10Of2 = 0.30102999566398119521;
constexpr double kLog10OfE = 0.43429448190325182765;

// The vectors never cross a call boundary (IndexFour is always inlined), so the
// note on their calling convention without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

using V4d = double __attribute__((vector_size(32)));
using V4u = unsigned long long __attribute__((vector_size(32)));

using V4i = int __attribute__((vector_size(16)));
using V4m = long long __attribute__((vector_size(32)));

struct ApproxConstants {
    double powerFloor;     // added to every power
    double offsetMinusTop; // offset bels minus top bels
    double stepsPerBel;    // scale gain times scale
    int scale;
};

// Indices of four powers, and a lane mask of those that must be computed
// exactly: a power of 0, x = p + floor not a normal finite number, or v within
// kMargin of a whole number. x = m * 2^e with m in [sqrt(1/2), sqrt(2));
// ln m = 2 atanh(s), s = (m-1)/(m+1), |s| < 0.1716, whose series to s^13 is
// accurate to about 4e-13 relative.
__attribute__((always_inline)) inline V4i IndexFour(V4d p, const ApproxConstants& c, V4m* exact)
{
    const V4d x = p + c.powerFloor;
    const V4u bits = std::bit_cast<V4u>(x);
    // Adding 2 - sqrt(2) in the mantissa field moves the exponent step to sqrt(2).
    const V4u biased = (bits + 0x00095F619980C433ULL) >> 52;
    const V4u mbits = bits - ((biased - 1023ULL) << 52);
    const V4d m = std::bit_cast<V4d>(mbits);
    const V4d s = (m - 1.0) / (m + 1.0);
    const V4d z = s * s;
    V4d poly = z * (1.0 / 13.0) + 1.0 / 11.0;
    poly = poly * z + 1.0 / 9.0;
    poly = poly * z + 1.0 / 7.0;
    poly = poly * z + 1.0 / 5.0;
    poly = poly * z + 1.0 / 3.0;
    poly = poly * z + 1.0;
    const V4u expBits = biased | 0x4330000000000000ULL; // 2^52 + biased exponent
    const V4d e = std::bit_cast<V4d>(expBits) - (4503599627370496.0 + 1023.0);
    const V4d lg = e * kLog10Of2 + (2.0 * kLog10OfE) * (s * poly);
    const V4m valid = (x >= DBL_MIN) & (x <= DBL_MAX) & (p != 0.0);
    V4d v = (lg + c.offsetMinusTop) * c.stepsPerBel;
    // Within [-scale - 0.5, 0.5] and 0 where invalid, so the conversion is defined.
    const double lo = -c.scale - 0.5;
    v = v < lo ? lo : v;
    v = v > 0.5 ? 0.5 : v;
    v = valid ? v : V4d{};
    const V4i t = __builtin_convertvector(v, V4i); // truncation toward zero
    const V4d frac = v - __builtin_convertvector(t, V4d);
    const V4d dist = frac < 0.0 ? -frac : frac;
    *exact = ~valid | (dist < kMargin) | (dist > 1.0 - kMargin);
    V4i index = t < -c.scale ? -c.scale : t;
    return index > 0 ? 0 : index;
}

// Indices of n powers into out; returns how many lanes need the exact path,
// listed in exact[].
AVX2_CLONES
int IndexColumn(const double* power, int n, const ApproxConstants& c, int* out, int* exact)
{
    int count = 0;
    for (int i = 0; i < n; i += 4) {
        V4d p = V4d{} + 1.0;
        if (i + 4 <= n)
            std::memcpy(&p, power + i, sizeof p);
        else
            for (int k = 0; i + k < n; ++k)
                p[k] = power[i + k];
        V4m mask;
        const V4i index = IndexFour(p, c, &mask);
        if (i + 4 <= n) {
            std::memcpy(out + i, &index, sizeof index);
        } else {
            for (int k = 0; i + k < n; ++k)
                out[i + k] = index[k];
        }
        if (mask[0] | mask[1] | mask[2] | mask[3])
            for (int k = 0; k < 4 && i + k < n; ++k)
                if (mask[k])
                    exact[count++] = i + k;
    }
    return count;
}

} // namespace

void CLevelIndex::Configure(double powerFloor, double offsetBels, double floorBels, double bottomBels, double topBels,
                            double scaleGain, int scale)
{
    m_dPowerFloor = powerFloor;
    m_dOffsetBels = offsetBels;
    m_dFloorBels = floorBels;
    m_dBottomBels = bottomBels;
    m_dTopBels = topBels;
    m_dScaleGain = scaleGain;
    m_nScale = scale < 0 ? 0 : scale;
    m_nFloorIndex = OfLevel(floorBels);
    const double steps = scaleGain * m_nScale;
    m_bFastPath = std::isfinite(steps) && steps <= kMaxFastStepsPerBel && std::isfinite(powerFloor) &&
                  std::isfinite(offsetBels) && std::isfinite(topBels) && m_nScale <= 1000000;
}

int CLevelIndex::OfLevel(double level) const
{
    if (level <= m_dBottomBels && level < m_dTopBels)
        return -m_nScale;
    const double d = level - m_dTopBels;
    const double v = d == 0.0 ? 0.0 : (d * m_dScaleGain) * m_nScale;
    if (!(v >= -m_nScale)) // below the bottom, -inf or not a number
        return -m_nScale;
    if (v > 0.0)
        return 0;
    return static_cast<int>(v); // truncation toward zero
}

int CLevelIndex::Exact(double power) const
{
    // Zero power is the floor exactly, not the floor give or take a rounding step.
    return power > 0.0 ? OfLevel(std::log10(power + m_dPowerFloor) + m_dOffsetBels) : m_nFloorIndex;
}

void CLevelIndex::Map(const double* power, int n, int* out)
{
    if (n <= 0)
        return;
    if (!m_bFastPath) {
        for (int i = 0; i < n; ++i)
            out[i] = Exact(power[i]);
        return;
    }
    if (m_exact.size() < static_cast<size_t>(n))
        m_exact.resize(static_cast<size_t>(n));
    const ApproxConstants c{m_dPowerFloor, m_dOffsetBels - m_dTopBels, m_dScaleGain * m_nScale, m_nScale};
    const int count = IndexColumn(power, n, c, out, m_exact.data());
    for (int j = 0; j < count; ++j) {
        const int i = m_exact[static_cast<size_t>(j)];
        out[i] = Exact(power[i]);
    }
}
