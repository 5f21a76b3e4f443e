#include "dsp/SpectrumEngine.h"

#include "dsp/AvxClones.h"
#include "dsp/FftKernel.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Code elsewhere in the process (the graphics library's AVX routines, for one)
// may return with the upper halves of the AVX registers still in use. Until
// they are cleared, every SSE instruction of this file and of the maths
// library's log10 pays a state-transition penalty, up to several times the cost
// of a block (bench/dsp's bench_dsp times a block; run it beside the display to
// see the effect). Clearing them once per block costs nothing measurable.
inline void ClearUpperVectorState()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        __asm__ volatile("vzeroupper");
#endif
}

constexpr int kMinFftSize = 1024;
constexpr int kMaxFftSize = 524288;
// Sizes below kMinFftSize taken as they are, for pictures of fine time resolution.
constexpr int kSmallFftSizes[] = {256, 512};
constexpr double kFloorDb = -160.0;
constexpr double kFloorBels = -16.0;
// Power of a full-scale tone centred on a bin is (N * K)^2 under the Hann window
// (coherent gain (N - 1) / 2N, samples up to 2^31): K is about 2^30 for a complex
// exponential and 2^29 for a real sinusoid, whose power splits over +f and -f.
constexpr double kFullScaleComplex = 1073740000.0;
constexpr double kFullScaleReal = 536870000.0;

// Largest power of two not above n (n >= 1).
int PowerOfTwoAtMost(int n)
{
    int p = 1;
    while (p <= n / 2)
        p *= 2;
    return p;
}

// The transform size the engine uses for a requested one.
int UsableFftSize(int fftSize)
{
    for (int small : kSmallFftSizes)
        if (fftSize == small)
            return small;
    // Out of range falls back to the largest size. A size in range that is not
    // a power of two is rounded down: the kernel needs a power of two, and
    // rounding down never reads past the caller's block of fftSize frames.
    return fftSize >= kMinFftSize && fftSize <= kMaxFftSize ? PowerOfTwoAtMost(fftSize) : kMaxFftSize;
}

// floor(sqrt(n)) without trusting the rounding of std::sqrt.
int IntegerSqrt(int n)
{
    auto r = static_cast<int64_t>(std::sqrt(static_cast<double>(n)));
    while (r * r > n)
        --r;
    while ((r + 1) * (r + 1) <= n)
        ++r;
    return static_cast<int>(r);
}

// Per transform point in bit-reversed order, the offset of its two samples:
// the transform's own reversal applied to the point numbers. ip is the
// offsets area of the work area.
std::vector<int> ReversedSampleOffsets(int points, int* ip)
{
    std::vector<double> number(2 * static_cast<size_t>(points));
    for (int q = 0; q < points; ++q)
        number[2 * static_cast<size_t>(q)] = q;
    fft::BitReverse(2 * points, ip, number.data());
    std::vector<int> offsets(static_cast<size_t>(points));
    for (int p = 0; p < points; ++p)
        offsets[static_cast<size_t>(p)] = 2 * static_cast<int>(number[2 * static_cast<size_t>(p)]);
    return offsets;
}

// Vectors of doubles and of 32-bit integers: the window products are the
// scalar products, lane by lane.
#pragma GCC diagnostic ignored "-Wpsabi"
using V2d = double __attribute__((vector_size(16)));
using V4d = double __attribute__((vector_size(32)));
using V2i = int32_t __attribute__((vector_size(8)));
using V4i = int32_t __attribute__((vector_size(16)));

// Windows a block straight into the transform's bit-reversed point order:
// point p of work takes the two samples at samples + order[p] times the
// two window values at pairWindow + 2p. Returns 1 when one of the 2 * points
// samples (a multiple of 4) is above limit.
AVX2_CLONES
int WindowReversed(const int32_t* samples, const int* order, const double* pairWindow, int points, int limit,
                   double* work)
{
    V4i above{};
    for (int k = 0; k < 2 * points; k += 4) {
        V4i s;
        std::memcpy(&s, samples + k, sizeof s);
        above |= s > limit;
    }
    for (int p = 0; p < points; ++p) {
#ifdef __SSE2__
        const V2d s = _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples + order[p])));
#else
        V2i si;
        std::memcpy(&si, samples + order[p], sizeof si);
        const V2d s = __builtin_convertvector(si, V2d);
#endif
        V2d w;
        std::memcpy(&w, pairWindow + 2 * p, sizeof w);
        const V2d v = w * s;
        std::memcpy(work + 2 * p, &v, sizeof v);
    }
    return (above[0] | above[1] | above[2] | above[3]) != 0;
}

// top[-i] = |point i|^2 for the count (even) points of a, or, with combine,
// the larger of that and top[-i]. Each power is re * re + im * im, as one
// point at a time would compute it.
AVX2_CLONES
void PowersReversed(const double* a, int count, double* top, int combine)
{
    for (int i = 0; i < count; i += 2) {
        V4d v;
        std::memcpy(&v, a + 2 * i, sizeof v);
        const V4d sq = v * v;
        const V4d sum = sq + __builtin_shufflevector(sq, sq, 1, 0, 3, 2);
        V2d p{sum[2], sum[0]}; // points i + 1 and i, for top[-i - 1] and top[-i]
        double* const out = top - i - 1;
        if (combine) {
            V2d old;
            std::memcpy(&old, out, sizeof old);
            p = p > old ? p : old;
        }
        std::memcpy(out, &p, sizeof p);
    }
}

} // namespace

CSpectrumEngine::CSpectrumEngine()
{
    SetParameters(0, 1024, -140.0, 0.0, 1, 0, WINDOW_HANN, 0, 0, PEAK_OFF, 0.0);
}

CSpectrumEngine::~CSpectrumEngine() = default;

void CSpectrumEngine::SetParameters(int complex, int fftSize, double bottomDb, double topDb, int averages,
                                    int smoothing, int windowType, int mirror, int suppressDc, int peakMode,
                                    double calibDb)
{
    complex = complex ? 1 : 0;
    if (peakMode != PEAK_MAX && peakMode != PEAK_SNAPSHOT)
        peakMode = PEAK_OFF;
    if (!std::isfinite(calibDb))
        calibDb = 0.0;
    if (windowType != WINDOW_RECTANGULAR && windowType != WINDOW_HAMMING && windowType != WINDOW_HANN &&
        windowType != WINDOW_BLACKMAN_HARRIS)
        windowType = WINDOW_HANN;

    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bMirror = mirror ? 1 : 0;
        m_bSuppressDc = suppressDc ? 1 : 0;
        if (complex != m_bComplex || peakMode != m_nPeakMode || calibDb != m_dCalibDb) {
            m_dCalibDb = calibDb;
            m_nAllocSize = 0;
            m_nAppliedAverages = 0;
        }
        m_bComplex = complex;
        m_nPeakMode = peakMode;
        m_nAverages = averages > 0 ? averages : 1;
        // 64-bit product: fftSize * smoothing may not fit an int.
        int64_t width = static_cast<int64_t>(fftSize) * smoothing / 2000;
        width = width < 0 ? 0 : (width > kMaxFftSize ? kMaxFftSize : width);
        m_nSmoothWidth = static_cast<int>(width) & ~1;
    }

    bool clearAverage = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nFftSize = UsableFftSize(fftSize);
        if (m_nFftSize != m_nAllocSize) {
            AllocateLocked();
            clearAverage = true;
        }
        if (windowType != m_nWindowType) {
            m_nWindowType = windowType;
            BuildWindowLocked();
            clearAverage = true;
        }
        if (m_nAverages != m_nAppliedAverages) {
            m_nAppliedAverages = m_nAverages;
            clearAverage = true;
        }
        m_dTopBels = topDb * 0.1;
        m_dBottomBels = bottomDb * 0.1;
        // top == bottom makes a hard threshold at the top instead of a division by zero.
        const double spanDb = topDb - bottomDb;
        m_dScaleGain = spanDb != 0.0 ? 10.0 / spanDb : std::numeric_limits<double>::infinity();
        if (clearAverage)
            ResetAverageLocked();
    }
}

void CSpectrumEngine::AllocateLocked()
{
    const int n = m_nFftSize;
    m_nAllocSize = n;
    m_nWindowType = -1;
    // Free everything first so a size change never holds both sets of buffers.
    m_bitrev = {};
    m_twiddle = {};
    m_window = {};
    m_loadOrder = {};
    m_loadWindow = {};
    m_average = {};
    m_accum = {};
    m_work = {};
    m_peak = {};
    m_power = {};

    m_window.assign(n, 0.0);
    m_twiddle.assign(n / 2, 0.0);
    m_bitrev.assign(IntegerSqrt(n) + 2, 0);
    m_average.assign(n, 0.0);
    m_accum.assign(n, 0.0);
    m_power.assign(n, 0.0);
    if (m_nPeakMode != PEAK_OFF) {
        m_peak.assign(n, 0.0);
        ResetPeakHoldLocked();
    }
    if (m_bComplex) {
        m_work.assign(2 * static_cast<size_t>(n), 0.0);
        fft::MakeTwiddleTable(n / 2, m_bitrev.data(), m_twiddle.data());
    } else {
        m_work.assign(n, 0.0);
        fft::MakeTwiddleTable(n / 4, m_bitrev.data(), m_twiddle.data());
        fft::MakeCosineTable(n / 4, m_bitrev.data(), m_twiddle.data() + n / 4);
    }

    const int points = m_bComplex ? n : n / 2;
    m_loadOrder = ReversedSampleOffsets(points, m_bitrev.data() + 2);
    m_loadWindow.assign(2 * static_cast<size_t>(points), 0.0);

    const double fullScale = m_bComplex ? kFullScaleComplex : kFullScaleReal;
    const double gainDb = m_dCalibDb - 20.0 * std::log10(n * fullScale);
    // A bin of zero power then reads exactly kFloorBels, whatever the calibration.
    m_dPowerFloor = std::pow(10.0, (kFloorDb - gainDb) * 0.1);
    m_dOffsetBels = gainDb * 0.1;
}

void CSpectrumEngine::BuildWindowLocked()
{
    const int n = m_nFftSize;
    const double twoPi = 8.0 * std::atan(1.0);
    // The four-term Blackman-Harris window (92 dB side lobes), scaled from its
    // coherent gain a0 to the Hann window's 0.5.
    constexpr double a0 = 0.35875, a1 = 0.48829, a2 = 0.14128, a3 = 0.01168, bhScale = 0.5 / a0;
    // The symmetric forms, N - 1 in the denominator. The rectangular window is 0.5,
    // the Hann window's coherent gain, so levels do not shift between the two.
    for (int i = 0; i < n; ++i) {
        const double phase = twoPi * i / (n - 1);
        switch (m_nWindowType) {
        case WINDOW_RECTANGULAR: m_window[i] = 0.5; break;
        case WINDOW_HAMMING: m_window[i] = 0.54 - 0.46 * std::cos(phase); break;
        case WINDOW_BLACKMAN_HARRIS:
            m_window[i] =
                bhScale * (a0 - a1 * std::cos(phase) + a2 * std::cos(2.0 * phase) - a3 * std::cos(3.0 * phase));
            break;
        default: m_window[i] = 0.5 - 0.5 * std::cos(phase); break;
        }
    }
    // Two window values per point in load order: frame f's value twice (I/Q),
    // or those of samples 2f and 2f + 1.
    for (size_t p = 0; p < m_loadOrder.size(); ++p) {
        const size_t f = static_cast<size_t>(m_loadOrder[p] / 2);
        m_loadWindow[2 * p] = m_bComplex ? m_window[f] : m_window[2 * f];
        m_loadWindow[2 * p + 1] = m_bComplex ? m_window[f] : m_window[2 * f + 1];
    }
}

void CSpectrumEngine::ResetAverage()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ResetAverageLocked();
}

void CSpectrumEngine::ResetAverageLocked()
{
    std::fill(m_average.begin(), m_average.end(), 0.0);
    std::fill(m_accum.begin(), m_accum.end(), 0.0);
    m_bCaptureArmed = 0;
    m_bCaptureRequest = 0;
    m_nBlocksInAverage = 0;
    m_nBlocksSeen = 0;
}

void CSpectrumEngine::ResetPeakHold()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ResetPeakHoldLocked();
}

void CSpectrumEngine::ResetPeakHoldLocked()
{
    std::fill(m_peak.begin(), m_peak.end(), kFloorBels);
}

int CSpectrumEngine::LoadSamples(const int32_t* samples, int limit)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bOverload = 0;
    if (m_bCaptureRequest) {
        m_bCaptureRequest = 0;
        m_bCaptureArmed = 1;
    }
    if (!samples)
        return m_nBlocksSeen;
    m_bOverload = WindowReversed(samples, m_loadOrder.data(), m_loadWindow.data(), static_cast<int>(m_loadOrder.size()),
                                 limit, m_work.data());
    return m_nBlocksSeen;
}

inline void CSpectrumEngine::FoldLevel(int b, double re, double im)
{
    // Zero power is the floor exactly, not the floor give or take a rounding step.
    const double power = re * re + im * im;
    const double level = power > 0.0 ? std::log10(power + m_dPowerFloor) + m_dOffsetBels : kFloorBels;
    if (m_nBlocksSeen <= m_nAverages)
        m_accum[b] += level;
    else
        m_accum[b] = m_accum[b] - m_average[b] + level;
    m_average[b] = m_accum[b] / m_nBlocksInAverage;
    if (m_nPeakMode == PEAK_MAX) {
        if (m_average[b] > m_peak[b])
            m_peak[b] = m_average[b];
    } else if (m_nPeakMode == PEAK_SNAPSHOT && m_bCaptureArmed) {
        m_peak[b] = m_average[b];
    }
}

void CSpectrumEngine::TransformComplexLocked()
{
    const int n = m_nFftSize;
    double* a = m_work.data();
    fft::ComplexForward(2 * n, a, m_twiddle.data());
    if (m_bSuppressDc) {
        // Point k stands for -k * fs / N: the points at +-1 copy those at +-2 and
        // DC becomes the complex mean of +-2, hiding the receiver's DC spike.
        const int last = 2 * (n - 1), second = 2 * (n - 2);
        a[2] = a[4];
        a[3] = a[5];
        a[last] = a[second];
        a[last + 1] = a[second + 1];
        a[0] = 0.5 * (a[4] + a[second]);
        a[1] = 0.5 * (a[5] + a[second + 1]);
    }
}

template <typename Fold>
void CSpectrumEngine::TransformLocked(Fold&& fold)
{
    const int n = m_nFftSize;
    double* a = m_work.data();
    const double* w = m_twiddle.data();

    if (m_bComplex) {
        TransformComplexLocked();
        // Display bin i takes point N/2 - 1 - i below N/2 and point 3N/2 - 1 - i from N/2 on.
        const int half = n / 2;
        for (int k = 0; k < half; ++k)
            fold(half - 1 - k, a[2 * k], a[2 * k + 1]);
        for (int k = half; k < n; ++k)
            fold(3 * half - 1 - k, a[2 * k], a[2 * k + 1]);
    } else {
        fft::ComplexForward(n, a, w);
        fft::RealPostProcessEach(n, a, n / 4, w + n / 4, [&fold, a](int j, int k) {
            fold(j / 2, a[j], a[j + 1]);
            fold(k / 2, a[k], a[k + 1]);
        });
        // Bin 0 is the true DC term, the sum of the even- and the odd-indexed
        // samples; the even sum alone would show a tone near Nyquist as DC.
        fold(0, a[0] + a[1], 0.0);
        fold(n / 4, a[n / 2], a[n / 2 + 1]);
    }
}

void CSpectrumEngine::Transform()
{
    ClearUpperVectorState();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_nBlocksInAverage < m_nAverages)
        ++m_nBlocksInAverage;
    // Saturates instead of overflowing on very long runs; only its comparison
    // with m_nAverages matters once it is past the averaging length.
    if (m_nBlocksSeen < INT_MAX)
        ++m_nBlocksSeen;
    TransformLocked([this](int b, double re, double im) { FoldLevel(b, re, im); });
    m_bCaptureArmed = 0;
}

void CSpectrumEngine::TransformPower(int combine)
{
    ClearUpperVectorState();
    std::lock_guard<std::mutex> guard(m_lock);
    double* const power = m_power.data();
    if (m_bComplex) {
        // Display bin i takes point N/2 - 1 - i below N/2 and point 3N/2 - 1 - i from N/2 on.
        TransformComplexLocked();
        const int half = m_nFftSize / 2;
        PowersReversed(m_work.data(), half, power + half - 1, combine);
        PowersReversed(m_work.data() + 2 * half, half, power + 2 * half - 1, combine);
    } else {
        const int n = m_nFftSize;
        double* const a = m_work.data();
        fft::ComplexForward(n, a, m_twiddle.data());
        fft::RealPostProcessPowers(n, a, n / 4, m_twiddle.data() + n / 4, power, combine);
        auto keep = [power, combine](int b, double re, double im) {
            const double p = re * re + im * im;
            power[b] = combine ? (p > power[b] ? p : power[b]) : p;
        };
        // Bin 0 and bin N/4 as TransformLocked takes them.
        keep(0, a[0] + a[1], 0.0);
        keep(n / 4, a[n / 2], a[n / 2 + 1]);
    }
}

int CSpectrumEngine::DisplayBinCount() const
{
    return m_bComplex ? m_nFftSize : m_nFftSize / 2;
}

void CSpectrumEngine::ConfigureIndexLocked(int scale)
{
    m_index.Configure(m_dPowerFloor, m_dOffsetBels, kFloorBels, m_dBottomBels, m_dTopBels, m_dScaleGain, scale);
}

int CSpectrumEngine::GetPowerLevels(int scale, int first, int last, int* out)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (last >= DisplayBinCount() || !out)
        return m_bOverload;
    if (first < 0)
        first = 0;
    if (first > last)
        return m_bOverload;
    ConfigureIndexLocked(scale);
    m_index.Map(m_power.data() + first, last - first + 1, out + first);
    return m_bOverload;
}

int CSpectrumEngine::GetPowerLevelsOfGroups(int scale, const int* bounds, int groups, int strongest, int* out)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (groups <= 0 || !bounds || !out || bounds[0] < 0 || bounds[groups] > DisplayBinCount())
        return m_bOverload;
    m_groupPower.resize(static_cast<size_t>(groups));
    const double* const power = m_power.data();
    for (int g = 0; g < groups; ++g) {
        const int first = bounds[g], end = bounds[g + 1];
        if (end <= first)
            return m_bOverload; // not rising: nothing written
        double p = power[first];
        // The index rises with the power: the largest power gives the largest index.
        for (int i = first + 1; strongest && i < end; ++i)
            p = power[i] > p ? power[i] : p;
        m_groupPower[static_cast<size_t>(g)] = p;
    }
    ConfigureIndexLocked(scale);
    m_index.Map(m_groupPower.data(), groups, out);
    return m_bOverload;
}

bool CSpectrumEngine::GetRelativePowers(int first, int last, double* out)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (first < 0 || first > last || last >= DisplayBinCount() || !out)
        return false;
    const double toFullScale = std::pow(10.0, m_dOffsetBels);
    for (int i = first; i <= last; ++i)
        out[i - first] = m_power[static_cast<size_t>(i)] * toFullScale;
    return true;
}

double CSpectrumEngine::DisplayLevel(int i, int nBins) const
{
    return m_average[m_bMirror ? nBins - 1 - i : i];
}

int CSpectrumEngine::GetDisplayLevels(int scale, int first, int last, int* out)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const int nBins = DisplayBinCount();
    if (last >= nBins || !out)
        return m_bOverload;
    if (first < 0)
        first = 0;
    if (first > last)
        return m_bOverload;
    if (scale < 0)
        scale = 0;

    ConfigureIndexLocked(scale);
    auto toIndex = [this](double level) { return m_index.OfLevel(level); };

    const int half = m_nSmoothWidth / 2 < nBins ? m_nSmoothWidth / 2 : nBins - 1;
    if (half == 0) {
        for (int i = first; i <= last; ++i)
            out[i] = toIndex(DisplayLevel(i, nBins));
        return m_bOverload;
    }

    // Centred moving average over display bins i - half .. i + half, cut short at
    // both ends of the bin range, kept as a running sum.
    int lo = first - half < 0 ? 0 : first - half;
    int hi = first + half > nBins - 1 ? nBins - 1 : first + half;
    double sum = 0.0;
    for (int j = lo; j <= hi; ++j)
        sum += DisplayLevel(j, nBins);
    for (int i = first; i <= last; ++i) {
        if (i > first) {
            if (i - half - 1 >= 0) {
                sum -= DisplayLevel(i - half - 1, nBins);
                ++lo;
            }
            if (i + half <= nBins - 1) {
                sum += DisplayLevel(i + half, nBins);
                ++hi;
            }
        }
        out[i] = toIndex(sum / (hi - lo + 1));
    }
    return m_bOverload;
}
