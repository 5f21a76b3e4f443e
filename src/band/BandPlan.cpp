#include "band/BandPlan.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace band {
namespace {

// The modified Bessel function of the first kind, order 0 (its power series).
double BesselI0(double x)
{
    double sum = 1.0, term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 500 && term > 1e-17 * sum; ++k) {
        term *= q / (static_cast<double>(k) * static_cast<double>(k));
        sum += term;
    }
    return sum;
}

// The Kaiser window's shape parameter for a stopband of dDb (Kaiser's formula).
double KaiserBeta(double dDb)
{
    return dDb > 50.0 ? 0.1102 * (dDb - 8.7) : 0.5842 * std::pow(dDb - 21.0, 0.4) + 0.07886 * (dDb - 21.0);
}

// Half the length (taps on one side of the centre) Kaiser's estimate gives
// for a transition of dWidth (a fraction of the input rate).
int KaiserHalf(double dWidth, double dDb)
{
    const double n = (dDb - 7.95) / (2.285 * 2.0 * std::numbers::pi * dWidth);
    return std::max(1, static_cast<int>(std::ceil(n / 2.0)));
}

// A windowed-sinc low-pass of 2 nHalf + 1 taps with its cutoff at dCutoff
// (a fraction of the input rate), gain 1 at zero frequency. A cutoff of a
// quarter gives a half-band filter; its zero taps are made exact and its
// centre exactly 1/2.
std::vector<float> WindowedSinc(int nHalf, double dCutoff, double dBeta, bool bHalfBand)
{
    std::vector<double> h(static_cast<size_t>(2 * nHalf + 1));
    const double i0Beta = BesselI0(dBeta);
    for (int t = -nHalf; t <= nHalf; ++t) {
        const double x = 2.0 * dCutoff * t;
        const double sinc = t == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        const double r = static_cast<double>(t) / nHalf;
        const double w = BesselI0(dBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / i0Beta;
        h[static_cast<size_t>(t + nHalf)] = 2.0 * dCutoff * sinc * w;
    }
    double sum = 0.0;
    for (int t = -nHalf; t <= nHalf; ++t) {
        if (bHalfBand && (t == 0 || t % 2 == 0))
            h[static_cast<size_t>(t + nHalf)] = 0.0;
        sum += h[static_cast<size_t>(t + nHalf)];
    }
    // Gain 1: the taps sum to 1 (for a half-band the odd ones to 1/2).
    const double scale = bHalfBand ? 0.5 / sum : 1.0 / sum;
    std::vector<float> taps(h.size());
    for (size_t i = 0; i < h.size(); ++i)
        taps[i] = static_cast<float>(h[i] * scale);
    if (bHalfBand)
        taps[static_cast<size_t>(nHalf)] = 0.5f;
    return taps;
}

// The strongest response (dB) from dStop up to half the input rate, looked
// at closely over the first lobes (where a windowed sinc peaks), sparsely beyond.
double StopbandPeakDb(const BandStage& s, double dRate, double dStop)
{
    const double lobe = dRate / static_cast<double>(s.taps.size());
    double peak = 0.0;
    for (double f = dStop; f <= dRate / 2.0; f += f < dStop + 48.0 * lobe ? lobe / 12.0 : lobe / 2.0)
        peak = std::max(peak, StageResponse(s, dRate, f));
    return 20.0 * std::log10(std::max(peak, 1e-30));
}

// The shortest stage (from Kaiser's estimate on) that stops kStageStopbandDb
// from dStop on, passing up to dPass.
BandStage DesignStage(double dRate, int nFactor, bool bHalfBand, double dPass, double dStop)
{
    const double width = (dStop - dPass) / dRate;
    const double beta = KaiserBeta(kStageStopbandDb);
    int half = KaiserHalf(width, kStageStopbandDb);
    if (bHalfBand)
        half |= 1; // the outermost taps of a half-band are odd ones
    const int step = bHalfBand ? 2 : 1;
    const double cutoff = bHalfBand ? 0.25 : (dPass + dStop) / 2.0 / dRate;
    BandStage s{nFactor, bHalfBand, {}};
    // Kaiser's estimate can be a little short or long: take the shortest that holds.
    const auto holds = [&](int h) {
        s.taps = WindowedSinc(h, cutoff, beta, bHalfBand);
        return StopbandPeakDb(s, dRate, dStop) <= -kStageStopbandDb;
    };
    constexpr int kMaxHalf = 1 << 20;
    if (holds(half)) {
        while (half > step && holds(half - step))
            half -= step;
    } else {
        while (half < kMaxHalf && !holds(half + step))
            half += step;
        half += step;
    }
    s.taps = WindowedSinc(half, cutoff, beta, bHalfBand);
    return s;
}

// The factors of D in the order the stages take them: half-bands first
// (cheapest at the highest rate), then the odd primes from the largest, and
// last the stage with the narrowest transition: a factor 2 when D is even,
// else the smallest odd prime.
std::vector<int> StageFactors(int nDecimation)
{
    std::vector<int> twos, odds;
    int d = nDecimation;
    while (d % 2 == 0) {
        twos.push_back(2);
        d /= 2;
    }
    for (int p = 3; d > 1; p += 2) {
        if (static_cast<int64_t>(p) * p > d)
            p = d;
        while (d % p == 0) {
            odds.push_back(p);
            d /= p;
        }
    }
    std::sort(odds.rbegin(), odds.rend());
    std::vector<int> order(twos.begin(), twos.end() - (twos.empty() ? 0 : 1));
    order.insert(order.end(), odds.begin(), odds.end());
    if (!twos.empty())
        order.push_back(2);
    return order;
}

// The divisors of n in increasing order.
std::vector<uint32_t> Divisors(uint32_t n)
{
    std::vector<uint32_t> low, high;
    for (uint32_t d = 1; static_cast<uint64_t>(d) * d <= n; ++d) {
        if (n % d != 0)
            continue;
        low.push_back(d);
        if (d != n / d)
            high.push_back(n / d);
    }
    low.insert(low.end(), high.rbegin(), high.rend());
    return low;
}

} // namespace

double SourceSpectrum::Lowest() const
{
    return nChannels == 1 ? 0.0 : static_cast<double>(nCentreHz) - nRate / 2.0;
}

double SourceSpectrum::Highest() const
{
    return nChannels == 1 ? nRate / 2.0 : static_cast<double>(nCentreHz) + nRate / 2.0;
}

int64_t BandPlan::ReachBefore() const
{
    int64_t reach = 0, step = 1;
    for (const BandStage& s : stages) {
        reach += s.Half() * step;
        step *= s.nFactor;
    }
    return reach;
}

int64_t BandPlan::ReachAfter() const
{
    return ReachBefore(); // symmetric stages
}

int BandPlan::TotalTaps() const
{
    int n = 0;
    for (const BandStage& s : stages)
        n += static_cast<int>(s.taps.size());
    return n;
}

int LargestDecimation(uint32_t nRate, double dWidthHz)
{
    int best = 0;
    for (uint32_t d : Divisors(nRate)) {
        const double out = static_cast<double>(nRate / d);
        if (out >= kMinOutputRate && out >= kRateMargin * dWidthHz)
            best = static_cast<int>(d);
    }
    return best;
}

int DefaultDecimation(uint32_t nRate, double dWidthHz)
{
    return LargestDecimation(nRate, dWidthHz);
}

void NearestRates(uint32_t nRate, double dRateHz, uint32_t* pBelow, uint32_t* pAbove)
{
    *pBelow = *pAbove = 0;
    for (uint32_t d : Divisors(nRate)) {
        const uint32_t out = nRate / d;
        if (out < kMinOutputRate)
            continue;
        if (out <= dRateHz)
            *pBelow = std::max(*pBelow, out);
        if (out >= dRateHz && (*pAbove == 0 || out < *pAbove))
            *pAbove = out;
    }
}

std::vector<BandStage> DesignStages(uint32_t nRate, int nDecimation, double dPassHz)
{
    std::vector<BandStage> stages;
    const double stopEdge = nRate / (2.0 * nDecimation);
    const std::vector<int> factors = StageFactors(nDecimation);
    double rate = nRate;
    for (size_t i = 0; i < factors.size(); ++i) {
        const int m = factors[i];
        const double rateOut = rate / m;
        // What a stage must stop is what its decimation would fold onto the
        // output's band; the last stage stops from half the output rate on.
        const bool last = i + 1 == factors.size();
        const double stop = last ? stopEdge : rateOut - stopEdge;
        const bool halfBand = m == 2 && !last;
        // A half-band's passband mirrors its stopband about a quarter of its rate.
        const double pass = halfBand ? rate / 2.0 - stop : dPassHz;
        stages.push_back(DesignStage(rate, m, halfBand, pass, stop));
        rate = rateOut;
    }
    return stages;
}

double StageResponse(const BandStage& stage, double dRate, double dHz)
{
    // Symmetric taps: a real response, h0 + 2 sum h_t cos(t w), the cosines by
    // their recurrence.
    const int half = stage.Half();
    const double w = 2.0 * std::numbers::pi * dHz / dRate;
    const double c1 = std::cos(w);
    double prev = 1.0, cur = c1;
    double sum = stage.taps[static_cast<size_t>(half)];
    for (int t = 1; t <= half; ++t) {
        sum += 2.0 * stage.taps[static_cast<size_t>(half + t)] * cur;
        const double next = 2.0 * c1 * cur - prev;
        prev = cur;
        cur = next;
    }
    return std::fabs(sum);
}

BandFault DesignBand(const SourceSpectrum& source, double dLowHz, double dHighHz, int nDecimation, BandPlan* plan)
{
    const double width = dHighHz - dLowHz;
    if (!(width > 0.0))
        return BandFault::NoWidth;
    if (width > source.Highest() - source.Lowest())
        return BandFault::WiderThanSource;
    if (dLowHz < source.Lowest() || dHighHz > source.Highest())
        return BandFault::OutsideSpectrum;
    int d = nDecimation;
    if (d <= 0) {
        d = std::max(1, DefaultDecimation(source.nRate, width));
    } else if (source.nRate % static_cast<uint32_t>(d) != 0) {
        return BandFault::RateNotWhole;
    } else if (source.nRate / static_cast<uint32_t>(d) < kMinOutputRate) {
        return BandFault::RateTooLow;
    } else if (d > 1 && source.nRate / static_cast<uint32_t>(d) < kRateMargin * width) {
        return BandFault::BandTooWide;
    }

    BandPlan p;
    p.source = source;
    p.dLowHz = dLowHz;
    p.dHighHz = dHighHz;
    const double base = source.nChannels == 2 ? static_cast<double>(source.nCentreHz) : 0.0;
    p.nMixHz = std::llround((dLowHz + dHighHz) / 2.0 - base);
    p.nCentreHz = static_cast<int64_t>(base) + p.nMixHz;
    p.nDecimation = d;
    p.nOutputRate = source.nRate / static_cast<uint32_t>(d);
    p.fGain = source.nChannels == 1 ? 2.0f : 1.0f;
    const double pass = std::max(dHighHz - base - p.nMixHz, p.nMixHz - (dLowHz - base));
    p.stages = DesignStages(source.nRate, d, pass);
    *plan = std::move(p);
    return BandFault::None;
}

} // namespace band
