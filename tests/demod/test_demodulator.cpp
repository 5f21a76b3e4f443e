// The demodulators and the rate changer against signals made here. Each
// mode's tone comes out at the level the signal implies with at least 40 dB
// SINAD, the wrong sideband and signals off the channel are rejected by at
// least 40 dB; the rate changer keeps tones within 0.1 dB with everything else
// (images, aliases, distortion) at least 80 dB down, no delay, and keeps out
// what lies above the output's Nyquist frequency. Neither output depends on
// how the input was cut into blocks.
#include "demod/Demodulator.h"
#include "demod/Resampler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "support/ToneFit.h"

namespace {

using Signal = std::function<std::complex<double>(double)>; // baseband at time t (seconds)
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kA = 0.5; // the signal's amplitude

Signal Am(double depth, double hz)
{
    return [=](double t) { return std::polar(kA * (1.0 + depth * std::cos(kTwoPi * hz * t)), 0.7); };
}

Signal Fm(double deviationHz, double hz)
{
    return [=](double t) { return std::polar(kA, 0.3 + deviationHz / hz * std::sin(kTwoPi * hz * t)); };
}

Signal Tone(double hz)
{
    return [=](double t) { return std::polar(kA, kTwoPi * hz * t + 0.2); };
}

// s(t) sampled at rate for the given seconds, as Values.
template <class Value, class F>
std::vector<Value> Make(const F& s, double rate, double seconds)
{
    std::vector<Value> x(static_cast<size_t>(rate * seconds));
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<Value>(s(static_cast<double>(i) / rate));
    return x;
}

// Runs x through the stage in blocks of `block` values, or of random sizes up to it when rng is given, flushed.
template <class Stage, class Value>
std::vector<float> InBlocks(Stage&& stage, const std::vector<Value>& x, size_t block, std::mt19937* rng = nullptr)
{
    std::vector<float> out;
    for (size_t i = 0, n = block; i < x.size(); i += n) {
        n = std::min(x.size() - i, rng ? std::uniform_int_distribution<size_t>(1, block)(*rng) : block);
        stage.Process(x.data() + i, static_cast<int>(n), out);
    }
    stage.Flush(out);
    return out;
}

// Broadcast FM's de-emphasis at f.
double Deemphasis(double hz, double tau)
{
    return 1.0 / std::hypot(1.0, kTwoPi * hz * tau);
}

struct ModeCase {
    const char* what;
    int mode;
    double rate; // the input's rate
    Signal signal;
    double toneHz; // where the audio tone is expected
    double level;  // its amplitude; 0: nothing is to be heard
};

// Each mode's tone at its level and clean, or nothing at all; the same audio
// however the input is cut into blocks.
TEST(Demodulator, TonesAtTheirLevels)
{
    const ModeCase cases[] = {
        {"AM from the band a 2 MS/s source gives", DEMOD_AM, 12500, Am(0.5, 1000), 1000, 0.5 * kA},
        {"AM straight from 2 MS/s", DEMOD_AM, 2000000, Am(0.8, 1000), 1000, 0.8 * kA},
        {"AM keeps the low tones of speech", DEMOD_AM, 12500, Am(0.5, 150), 150, 0.5 * kA},
        {"narrow FM, 2.5 kHz deviation", DEMOD_FM, 15625, Fm(2500, 1000), 1000, 0.5},
        {"broadcast FM at the band's rate", DEMOD_WFM, 250000, Fm(37500, 1000), 1000, 0.5 * Deemphasis(1000, 50e-6)},
        {"broadcast FM from a wider rate", DEMOD_WFM, 1000000, Fm(60000, 3000), 3000, 0.8 * Deemphasis(3000, 50e-6)},
        {"USB: a tone above the carrier", DEMOD_USB, 2e6 / 266, Tone(1000), 1000, kA},
        {"USB: a tone below is rejected", DEMOD_USB, 2e6 / 266, Tone(-1000), 1000, 0.0},
        {"LSB: a tone below the carrier", DEMOD_LSB, 2e6 / 266, Tone(-1000), 1000, kA},
        {"LSB: a tone above is rejected", DEMOD_LSB, 2e6 / 266, Tone(1000), 1000, 0.0},
        {"CW: the carrier is a 700 Hz tone", DEMOD_CW, 625, Tone(0), 700, kA},
        {"CW: 100 Hz above it, 800 Hz", DEMOD_CW, 8000, Tone(100), 800, kA},
        {"CW: a signal 600 Hz off is rejected", DEMOD_CW, 8000, Tone(600), 1300, 0.0},
    };
    std::mt19937 rng(3);
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.what);
        const auto x = Make<std::complex<float>>(c.signal, c.rate, 0.5);
        const std::vector<float> audio = InBlocks(CDemodulator(c.mode, c.rate), x, 1024);
        ASSERT_THAT(InBlocks(CDemodulator(c.mode, c.rate), x, 2000, &rng),
                    testing::Pointwise(testing::FloatNear(1e-5f), audio));
        const double rate = CDemodulator(c.mode, c.rate).AudioRate();
        ASSERT_NEAR(static_cast<double>(audio.size()), x.size() * rate / c.rate, 2.0);
        const auto first = static_cast<size_t>(0.2 * rate), count = static_cast<size_t>(0.25 * rate);
        const tone::Fit fit = tone::FitTone(audio, c.toneHz, rate, first, count);
        if (c.level == 0.0) {
            EXPECT_LE(tone::Db(tone::Rms(audio, first, count) * std::sqrt(2.0) / kA), -40.0);
            continue;
        }
        EXPECT_NEAR(tone::Db(fit.amplitude / c.level), 0.0, 0.2);
        EXPECT_GE(tone::SinadDb(fit), 40.0);
    }
}

// Tones within the output's band keep their level and phase (no delay) with
// nothing else 80 dB near them; tones above its Nyquist frequency are stopped
// (level 0); the output does not depend on how the input was cut into blocks.
TEST(Resampler, KeepsTonesAndStopsWhatWouldAlias)
{
    const struct {
        const char* what;
        double in, out, toneHz, seconds;
        bool kept = true;
    } cases[] = {
        {"CD to 48 kHz, the common pair", 44100, 48000, 1000, 0.1},
        {"48 kHz to CD near the band's top", 48000, 44100, 19000, 0.1},
        {"8 kHz up by six: its images lie close above", 8000, 48000, 3500, 0.2},
        {"192 kHz down: a half-band stage, then polyphase", 192000, 44100, 15000, 0.1},
        {"an odd rate: interpolated phases", 44101, 48000, 5000, 0.1},
        {"the lowest source rate", 1000, 48000, 300, 1.0},
        {"2 MS/s: half-band stages", 2000000, 48000, 1000, 0.1},
        {"the highest source rate", 100000000, 48000, 2000, 0.03},
        {"96 kHz to 48 kHz, a tone at 30 kHz", 96000, 48000, 30000, 0.1, false},
        {"48 kHz to CD, a tone just past CD's Nyquist", 48000, 44100, 22500, 0.1, false},
        {"2 MS/s, a tone where the first halving folds onto 1 kHz", 2000000, 48000, 999000, 0.1, false},
        {"100 MS/s, a tone where the first halving folds onto 1 kHz", 100000000, 48000, 49999000, 0.02, false},
    };
    std::mt19937 rng(7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CResampler r(c.in, c.out);
        const auto x = Make<float>([&](double t) { return kA * std::cos(kTwoPi * c.toneHz * t); }, c.in, c.seconds);
        const std::vector<float> y = InBlocks(r, x, 4096);
        ASSERT_THAT(InBlocks(CResampler(c.in, c.out), x, 3000, &rng), testing::Pointwise(testing::FloatNear(1e-6f), y));
        EXPECT_NEAR(static_cast<double>(y.size()), x.size() * c.out / c.in, 2.0);
        // The middle half, away from the stream's ends.
        const size_t first = y.size() / 4, count = y.size() / 2;
        if (!c.kept) {
            EXPECT_LE(tone::Db(tone::Rms(y, first, count) * std::sqrt(2.0) / kA), -80.0);
            continue;
        }
        const tone::Fit fit = tone::FitTone(y, c.toneHz, c.out, first, count);
        EXPECT_NEAR(tone::Db(fit.amplitude / kA), 0.0, 0.1) << r.Describe();
        EXPECT_LE(tone::Db(fit.residualRms * std::sqrt(2.0) / kA), -80.0) << r.Describe();
        // No delay: output k is the input at time k * in / out.
        const double expected = std::remainder(kTwoPi * c.toneHz * first / c.out, kTwoPi);
        EXPECT_NEAR(std::remainder(fit.phase - expected, kTwoPi), 0.0, 1e-3);
    }
}

} // namespace
