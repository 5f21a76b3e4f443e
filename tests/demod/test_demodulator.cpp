// The demodulators against signals made here: each mode's tone comes out at
// the level the signal implies with at least 40 dB SINAD, the wrong sideband
// and signals off the channel are rejected by at least 40 dB, and the output
// does not depend on how the input was cut into blocks.
#include "demod/Demodulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <algorithm>
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

std::vector<std::complex<float>> Make(const Signal& s, double rate, double seconds)
{
    std::vector<std::complex<float>> x(static_cast<size_t>(rate * seconds));
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = std::complex<float>(s(static_cast<double>(i) / rate));
    return x;
}

// Demodulates x in blocks of `block` values, or of random sizes up to it when rng is given, flushed.
std::vector<float> Demodulate(int mode, double rate, const std::vector<std::complex<float>>& x, size_t block,
                              std::mt19937* rng = nullptr)
{
    CDemodulator d(mode, rate);
    std::vector<float> audio;
    for (size_t i = 0, n = block; i < x.size(); i += n) {
        n = std::min(x.size() - i, rng ? std::uniform_int_distribution<size_t>(1, block)(*rng) : block);
        d.Process(x.data() + i, static_cast<int>(n), audio);
    }
    d.Flush(audio);
    return audio;
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
        const auto x = Make(c.signal, c.rate, 0.5);
        const std::vector<float> audio = Demodulate(c.mode, c.rate, x, 1024);
        const std::vector<float> pieces = Demodulate(c.mode, c.rate, x, 2000, &rng);
        ASSERT_EQ(pieces.size(), audio.size());
        for (size_t i = 0; i < audio.size(); ++i)
            ASSERT_NEAR(pieces[i], audio[i], 1e-5f) << "output " << i;
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

} // namespace
