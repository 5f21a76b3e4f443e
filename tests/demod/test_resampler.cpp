// The rate changer against ideal tones: levels within 0.1 dB, everything
// else (images, aliases, distortion) at least 80 dB down, no delay, a
// stopband that keeps out what lies above the output's Nyquist frequency,
// and an output independent of how the input was cut into blocks.
#include "demod/Resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "support/ToneFit.h"

namespace {

constexpr double kAmplitude = 0.5;

std::vector<float> Tone(double hz, double rate, size_t n)
{
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(kAmplitude * std::cos(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
    return x;
}

// Resamples x in blocks of `block` values, or of random sizes up to it when rng is given, flushed.
std::vector<float> Resample(CResampler& r, const std::vector<float>& x, size_t block, std::mt19937* rng = nullptr)
{
    std::vector<float> out;
    for (size_t i = 0, n = block; i < x.size(); i += n) {
        n = std::min(x.size() - i, rng ? std::uniform_int_distribution<size_t>(1, block)(*rng) : block);
        r.Process(x.data() + i, static_cast<int>(n), out);
    }
    r.Flush(out);
    return out;
}

} // namespace

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
        {"22.05 kHz up by two", 22050, 44100, 9000, 0.1},
        {"192 kHz down: a half-band stage, then polyphase", 192000, 44100, 15000, 0.1},
        {"an odd rate: interpolated phases", 44101, 48000, 5000, 0.1},
        {"the lowest source rate", 1000, 48000, 300, 1.0},
        {"2 MS/s: half-band stages", 2000000, 48000, 1000, 0.1},
        {"the highest source rate", 100000000, 48000, 2000, 0.03},
        {"96 kHz to 48 kHz, a tone at 30 kHz", 96000, 48000, 30000, 0.1, false},
        {"48 kHz to CD, a tone just past CD's Nyquist", 48000, 44100, 22500, 0.1, false},
        {"2 MS/s, a tone at 400 kHz", 2000000, 48000, 400000, 0.1, false},
        {"2 MS/s, a tone where the first halving folds onto 1 kHz", 2000000, 48000, 999000, 0.1, false},
        {"100 MS/s, a tone at 10 MHz", 100000000, 48000, 10e6, 0.02, false},
        {"100 MS/s, a tone where the first halving folds onto 1 kHz", 100000000, 48000, 49999000, 0.02, false},
    };
    std::mt19937 rng(7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CResampler r(c.in, c.out), pieces(c.in, c.out);
        const auto n = static_cast<size_t>(c.seconds * c.in);
        const std::vector<float> x = Tone(c.toneHz, c.in, n), y = Resample(r, x, 4096);
        const std::vector<float> z = Resample(pieces, x, 3000, &rng);
        ASSERT_EQ(z.size(), y.size());
        for (size_t i = 0; i < y.size(); ++i)
            ASSERT_NEAR(z[i], y[i], 1e-6f) << "output " << i;
        EXPECT_NEAR(static_cast<double>(y.size()), n * c.out / c.in, 2.0);
        // The middle half, away from the stream's ends.
        const size_t first = y.size() / 4, count = y.size() / 2;
        if (!c.kept) {
            EXPECT_LE(tone::Db(tone::Rms(y, first, count) * std::sqrt(2.0) / kAmplitude), -80.0);
            continue;
        }
        const tone::Fit fit = tone::FitTone(y, c.toneHz, c.out, first, count);
        EXPECT_NEAR(tone::Db(fit.amplitude / kAmplitude), 0.0, 0.1) << r.Describe();
        EXPECT_LE(tone::Db(fit.residualRms * std::sqrt(2.0) / kAmplitude), -80.0) << r.Describe();
        // No delay: output k is the input at time k * in / out.
        const double expected =
            std::remainder(2.0 * std::numbers::pi * c.toneHz * first / c.out, 2.0 * std::numbers::pi);
        EXPECT_NEAR(std::remainder(fit.phase - expected, 2.0 * std::numbers::pi), 0.0, 1e-3);
    }
}
