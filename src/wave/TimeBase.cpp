#include "wave/TimeBase.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace {

// Products of a frame count and a second count need more than 64 bits.
__extension__ typedef __int128 Wide;

// a / b rounded toward minus infinity (b > 0).
Wide FloorDiv(Wide a, Wide b)
{
    const Wide q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// a / b rounded to the nearest integer, halves away from zero (b > 0).
Wide RoundDiv(Wide a, Wide b)
{
    return a < 0 ? -((-a + b / 2) / b) : (a + b / 2) / b;
}

int64_t Saturated(Wide v)
{
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    return v > kMax ? kMax : v < kMin ? kMin : static_cast<int64_t>(v);
}

} // namespace

CTimeBase::CTimeBase(int64_t nFrames, int64_t nSeconds)
{
    if (nFrames <= 0 || nSeconds <= 0)
        return;
    const int64_t g = std::gcd(nFrames, nSeconds);
    m_nFrames = nFrames / g;
    m_nSeconds = nSeconds / g;
}

int64_t CTimeBase::FrameOfSeconds(double dSec) const
{
    const double frames = std::round(dSec * FramesPerSecond());
    // Beyond what 64 bits hold (or not a number) the nearest end stands in.
    if (!(frames > -9.2e18))
        return std::numeric_limits<int64_t>::min();
    if (!(frames < 9.2e18))
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(frames);
}

int64_t CTimeBase::FrameOfWholeSeconds(int64_t nSec) const
{
    return Saturated(RoundDiv(Wide{nSec} * m_nFrames, m_nSeconds));
}

double CTimeBase::SecondsOfFrame(int64_t nFrame) const
{
    // Whole seconds exactly, then the fraction: no precision lost on long recordings.
    const int64_t whole = SecondOfFrame(nFrame);
    const Wide rest = Wide{nFrame} * m_nSeconds - Wide{whole} * m_nFrames;
    return static_cast<double>(whole) + static_cast<double>(rest) / static_cast<double>(m_nFrames);
}

int64_t CTimeBase::SecondOfFrame(int64_t nFrame) const
{
    return Saturated(FloorDiv(Wide{nFrame} * m_nSeconds, m_nFrames));
}

int64_t CTimeBase::MillisecondOfFrame(int64_t nFrame) const
{
    return Saturated(FloorDiv(Wide{nFrame} * m_nSeconds * 1000, m_nFrames));
}
