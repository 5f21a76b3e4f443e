// What a band extraction does, worked out before any sample is read: the
// band asked for, the frequency mixed down to zero, the decimation and the
// filter stages that take the source's rate down to the output's.
//
// A band is a span of frequencies [low, high] in Hz. For a two-channel (I/Q)
// source with a centre frequency they are absolute (centre +- rate/2); for
// I/Q without one they are offsets from the centre (-rate/2 .. rate/2); for a
// one-channel source they lie in 0 .. rate/2. The output is complex (I/Q),
// centred on the band's middle, at rate / D: within +-0.1 dB from low to
// high and at least kStopbandDb down farther than rate / (2 D) from the
// middle, wherever that would alias.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace band {

// Suppression of everything farther than half the output rate from the band's middle.
constexpr double kStopbandDb = 80.0;
// Each stage is designed for this much, so the cascade keeps kStopbandDb.
constexpr double kStageStopbandDb = 84.0;
// The output rate is at least this many times the band's width: the room
// the filters have between passband and stopband.
constexpr double kRateMargin = 1.25;
// The lowest output rate: the lowest rate the reader opens.
constexpr uint32_t kMinOutputRate = 1000;

// Where a source's frequencies lie.
struct SourceSpectrum {
    uint32_t nRate = 0;     // samples per second
    int nChannels = 0;      // 1 (real) or 2 (I/Q)
    uint32_t nCentreHz = 0; // tuning of an I/Q source; 0 = not known (offsets)
    // The frequencies the source holds, in the band's terms.
    double Lowest() const;
    double Highest() const;
};

// One decimating FIR stage: output j is sum over t of taps[t] x in[j*nFactor + t - Half()],
// taps symmetric and of odd length, so the output stands at its input's own
// position (the delay is compensated). A half-band stage (factor 2) has every
// other tap but the centre zero.
struct BandStage {
    int nFactor = 1;
    bool bHalfBand = false;
    std::vector<float> taps;
    int Half() const { return static_cast<int>(taps.size() / 2); }
};

// Why a band cannot be extracted as asked.
enum class BandFault {
    None,
    NoWidth,         // high is not above low
    OutsideSpectrum, // the band reaches beyond what the source holds
    WiderThanSource, // wider than the source's whole spectrum
    RateNotWhole,    // rate / D is not a whole number of Hz
    RateTooLow,      // rate / D under kMinOutputRate
    BandTooWide,     // rate / D below kRateMargin x the band's width
};

struct BandPlan {
    SourceSpectrum source;
    double dLowHz = 0.0, dHighHz = 0.0; // as asked
    // The frequency mixed down to zero, in the source's baseband (an offset
    // from the centre for I/Q, Hz for one channel): the band's middle
    // rounded to whole Hz, so that the output's stated centre is exact.
    int64_t nMixHz = 0;
    // The output's centre as stated in its file: absolute where the source
    // has a centre frequency.
    int64_t nCentreHz = 0;
    int nDecimation = 1;
    uint32_t nOutputRate = 0;
    // Gain before the filters: 2 for a one-channel source, whose tone
    // A cos(wt) holds A/2 at +w, so that a tone keeps its amplitude.
    float fGain = 1.0f;
    std::vector<BandStage> stages;

    // Input frames an output depends on before and after its own frame.
    int64_t ReachBefore() const;
    int64_t ReachAfter() const;
    // Taps of all stages.
    int TotalTaps() const;
};

// The largest D that divides rate with rate / D >= kRateMargin x width and
// rate / D >= kMinOutputRate; 0 when there is none.
int DefaultDecimation(uint32_t nRate, double dWidthHz);
// The largest D dividing rate whose output rate keeps the margin for dWidthHz; 0 when none.
int LargestDecimation(uint32_t nRate, double dWidthHz);
// The whole output rates nearest to dRateHz that a whole D gives: the one
// below (0 when none) and the one above (0 when none).
void NearestRates(uint32_t nRate, double dRateHz, uint32_t* pBelow, uint32_t* pAbove);

// Plans the extraction of [low, high] from source with decimation nDecimation
// (0: DefaultDecimation). BandFault::None and *plan filled, or the fault.
BandFault DesignBand(const SourceSpectrum& source, double dLowHz, double dHighHz, int nDecimation, BandPlan* plan);

// The stages for decimating by nDecimation at nRate, passing +-dPassHz flat
// and stopping beyond half the output rate.
std::vector<BandStage> DesignStages(uint32_t nRate, int nDecimation, double dPassHz);

// The magnitude of a stage's response at dHz of its input rate dRate.
double StageResponse(const BandStage& stage, double dRate, double dHz);

} // namespace band
