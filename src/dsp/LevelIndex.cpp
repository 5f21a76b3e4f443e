#include "dsp/LevelIndex.h"

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

// The vectors never cross a call boundary (ApproxFour is always inlined), so the
// note on their calling convention without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

using V4d = double __attribute__((vector_size(32)));
using V4u = unsigned long long __attribute__((vector_size(32)));

struct ApproxConstants {
  double powerFloor;     // added to every power
  double offsetMinusTop; // offset bels minus top bels
  double stepsPerBel;    // scale gain times scale
  double lo, hi;         // v is clamped to [lo, hi]
};

// v of four powers; NaN where x = p + floor is not a normal finite number.
// x = m * 2^e with m in [sqrt(1/2), sqrt(2)); ln m = 2 atanh(s), s = (m-1)/(m+1),
// |s| < 0.1716, whose series to s^13 is accurate to about 4e-13 relative.
__attribute__((always_inline)) inline V4d ApproxFour(V4d p, const ApproxConstants& c)
{
  const V4d x = p + c.powerFloor;
  const V4u bits = std::bit_cast<V4u>(x);
  // Adding 1 - sqrt(1/2) in the exponent field moves the exponent step to sqrt(2).
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
  V4d v = (lg + c.offsetMinusTop) * c.stepsPerBel;
  v = v < c.lo ? c.lo : v;
  v = v > c.hi ? c.hi : v;
  const V4d nan = V4d{} + NAN;
  return (x >= DBL_MIN && x <= DBL_MAX) ? v : nan;
}

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
__attribute__((target_clones("avx2", "default")))
#endif
void ApproxColumn(const double* power, int n, const ApproxConstants& c, double* v)
{
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    V4d p;
    std::memcpy(&p, power + i, sizeof p);
    const V4d r = ApproxFour(p, c);
    std::memcpy(v + i, &r, sizeof r);
  }
  if (i < n) {
    V4d p = V4d{} + 1.0;
    for (int k = 0; i + k < n; ++k)
      p[k] = power[i + k];
    const V4d r = ApproxFour(p, c);
    for (int k = 0; i + k < n; ++k)
      v[i + k] = r[k];
  }
}

} // namespace

void CLevelIndex::Configure(double powerFloor, double offsetBels, double floorBels, double bottomBels,
                            double topBels, double scaleGain, int scale)
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
  if (m_approx.size() < static_cast<size_t>(n))
    m_approx.resize(static_cast<size_t>(n));
  const double lo = -m_nScale - 0.5;
  const ApproxConstants c{m_dPowerFloor, m_dOffsetBels - m_dTopBels, m_dScaleGain * m_nScale, lo, 0.5};
  double* const v = m_approx.data();
  ApproxColumn(power, n, c, v);
  for (int i = 0; i < n; ++i) {
    const double a = v[i];
    if (power[i] == 0.0 || !(a >= lo)) {
      out[i] = Exact(power[i]);
      continue;
    }
    const int t = static_cast<int>(a);
    const double frac = t - a; // in [0, 1) below zero, (-1, 0] above
    if (std::fabs(frac) < kMargin || std::fabs(frac) > 1.0 - kMargin) {
      out[i] = Exact(power[i]);
      continue;
    }
    out[i] = t < -m_nScale ? -m_nScale : (t > 0 ? 0 : t);
  }
}
