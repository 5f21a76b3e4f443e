// The band extractor against an independent model: a tone's ideal output
// is the tone shifted by the mix, sampled at From + k D, and anything that
// lies farther than half the output rate from the band's middle must be at
// least 80 dB down. Also the plan's choices and faults, and that workers
// and block sizes never change a bit.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "band/BandExtract.h"
#include "band/BandPlan.h"
#include "band/BandStream.h"
#include "platform/RiffReader.h"

namespace {

using band::BandFault;
using band::BandPlan;
using band::SourceSpectrum;

// The phase in turns of f Hz at frame n, exact for any n (integer Hz).
double Turns(int64_t f, int64_t n, uint32_t rate)
{
    const int64_t fm = ((f % rate) + rate) % rate, nm = ((n % rate) + rate) % rate;
    return static_cast<double>(fm * nm % rate) / rate;
}

// Float frames of a tone of amplitude a at f Hz (integer), frames first .. first + count.
std::vector<float> Tone(int channels, uint32_t rate, int64_t f, double a, int64_t first, int64_t count)
{
    std::vector<float> x;
    for (int64_t i = 0; i < count; ++i) {
        const double ph = 2.0 * M_PI * Turns(f, first + i, rate) + 0.3;
        x.push_back(static_cast<float>(a * std::cos(ph)));
        if (channels == 2)
            x.push_back(static_cast<float>(a * std::sin(ph)));
    }
    return x;
}

struct Measured {
    double dB = 0.0;       // output power against the tone's
    double maxError = 0.0; // largest distance from the ideal output, over the amplitude
};

// Runs a tone through one stream whose outputs start at frame origin and
// measures the outputs whose reach lies within the tone.
Measured Measure(const BandPlan& p, int64_t f, int64_t origin)
{
    const double a = 0.5;
    const int64_t reach = p.ReachBefore(), outputs = 400, count = outputs * p.nDecimation + 2 * reach + 1;
    const std::vector<float> x = Tone(p.source.nChannels, p.source.nRate, f, a, origin - reach, count);
    band::CBandStream s(p, samples::Codec::F32);
    s.Start(origin, origin - reach);
    s.Push(reinterpret_cast<const uint8_t*>(x.data()), count);
    std::vector<float> y(static_cast<size_t>(2 * outputs));
    s.Pull(nullptr, -s.NextOutput()); // those reaching before the tone
    EXPECT_EQ(s.Pull(y.data(), outputs), outputs);
    Measured m;
    double power = 0.0;
    for (int64_t k = 0; k < outputs; ++k) {
        const std::complex<double> z(y[static_cast<size_t>(2 * k)], y[static_cast<size_t>(2 * k + 1)]);
        const int64_t n = origin + k * p.nDecimation;
        const double ph = 2.0 * M_PI * (Turns(f, n, p.source.nRate) - Turns(p.nMixHz, n, p.source.nRate)) + 0.3;
        power += std::norm(z);
        m.maxError = std::max(m.maxError, std::abs(z - std::polar(a, ph)) / a);
    }
    m.dB = 10.0 * std::log10(std::max(power / outputs / (a * a), 1e-30));
    return m;
}

} // namespace

TEST(Band, TonesThroughPassbandEdgeTransitionAndStopband)
{
    constexpr int64_t kTenHours = int64_t{36000} * 2048000;
    const struct {
        const char* proves;
        int channels;
        uint32_t rate;
        int d;
        double offset; // from the band's middle, in output rates
        double minDb, maxDb;
        bool ideal; // equals the shifted tone at From + k D (phase and delay right)
        int64_t origin = 5000;
    } rows[] = {
        {"the band's edge stays within 0.1 dB", 2, 2048000, 64, -0.4, -0.1, 0.1, true},
        {"the transition lies between", 2, 2048000, 64, 0.45, -80.0, 0.1, false},
        {"half the output rate away is 80 dB down", 2, 2048000, 64, 0.5, -400.0, -80.0, false},
        {"what aliases from afar is 80 dB down", 2, 2048000, 64, -3.7, -400.0, -80.0, false},
        {"far off (the first half-band's stopband)", 2, 2048000, 64, 20.3, -400.0, -80.0, false},
        {"the phase is exact 10 hours in", 2, 2048000, 64, 0.31, -0.1, 0.1, true, kTenHours},
        {"odd stages: edge", 2, 2000000, 125, 0.4, -0.1, 0.1, true},
        {"odd stages: stopband", 2, 2000000, 125, -0.5, -400.0, -80.0, false},
        {"one channel keeps a tone's amplitude", 1, 48000, 12, 0.3, -0.1, 0.1, true},
        {"one channel: out of band is 80 dB down", 1, 48000, 12, -0.6, -400.0, -80.0, false},
        {"D = 1 only mixes", 2, 48000, 1, 0.45, -0.01, 0.01, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        const double out = static_cast<double>(r.rate) / r.d, width = out / band::kRateMargin;
        const double middle = r.channels == 2 ? 0.1 * r.rate : 0.25 * r.rate;
        BandPlan p;
        ASSERT_EQ(
            band::DesignBand(SourceSpectrum{r.rate, r.channels, 0}, middle - width / 2, middle + width / 2, r.d, &p),
            BandFault::None);
        const Measured m = Measure(p, std::llround(middle + r.offset * out), r.origin);
        EXPECT_GE(m.dB, r.minDb);
        EXPECT_LE(m.dB, r.maxDb);
        EXPECT_LT(r.ideal ? m.maxError : 0.0, 2e-3);
    }
}

TEST(Band, PlanChoicesAndFaults)
{
    const SourceSpectrum iq{2000000, 2, 7000000}, iqNoCentre{2000000, 2, 0}, mono{48000, 1, 0};
    const struct {
        const char* proves;
        SourceSpectrum source;
        double low, high;
        int d; // 0: the default
        BandFault fault;
        int wantD = 0;
        int64_t wantCentre = 0;
    } rows[] = {
        {"default D: the largest divisor keeping 1.25 x the width", iq, 6994000, 7006000, 0, BandFault::None, 128,
         7000000},
        {"absolute band of an I/Q source; centre rounded to whole Hz", iq, 7100000, 7100201, 0, BandFault::None, 2000,
         7100101},
        {"offsets for I/Q without a centre", iqNoCentre, -20000, -10000, 0, BandFault::None, 160, -15000},
        {"a one-channel source gives 0 .. rate/2", mono, 0, 24000, 0, BandFault::None, 1, 12000},
        {"the whole I/Q spectrum: nothing to decimate", iq, 6000000, 8000000, 0, BandFault::None, 1, 7000000},
        {"a chosen D", iq, 6999000, 7001000, 100, BandFault::None, 100, 7000000},
        {"zero width", iq, 7000000, 7000000, 0, BandFault::NoWidth},
        {"outside the spectrum", iq, 7990000, 8010000, 0, BandFault::OutsideSpectrum},
        {"one channel has no negative frequencies", mono, -100, 100, 0, BandFault::OutsideSpectrum},
        {"wider than the source", mono, 0, 30000, 0, BandFault::WiderThanSource},
        {"rate / D not whole", iq, 6999000, 7001000, 3, BandFault::RateNotWhole},
        {"output under 1000 Hz", iq, 6999900, 7000100, 4000, BandFault::RateTooLow},
        {"too little room for the band", iq, 6990000, 7010000, 100, BandFault::BandTooWide},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        BandPlan p;
        ASSERT_EQ(band::DesignBand(r.source, r.low, r.high, r.d, &p), r.fault);
        if (r.fault != BandFault::None)
            continue;
        EXPECT_EQ(p.nDecimation, r.wantD);
        EXPECT_EQ(p.nCentreHz, r.wantCentre);
        int product = 1;
        for (const band::BandStage& s : p.stages)
            product *= s.nFactor;
        EXPECT_EQ(product, p.nDecimation);
    }
}

TEST(Band, WorkersAndBlockSizesNeverChangeABit)
{
    // 16-bit I/Q noise; a span from near the start to near the end, so the
    // silence on both sides takes part too.
    const int64_t frames = 600000;
    std::vector<uint8_t> bytes(static_cast<size_t>(4 * frames));
    std::mt19937 rng(5);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(rng());
    BandPlan p;
    ASSERT_EQ(band::DesignBand(SourceSpectrum{512000, 2, 0}, 30000, 36000, 64, &p), BandFault::None);
    const int64_t from = 100, to = frames - 50;
    const int64_t outputs = band::BandOutputFrames(from, to, p.nDecimation);

    // The reference: one stream, all frames in one push.
    band::CBandStream s(p, samples::Codec::S16);
    s.Start(from, from - p.ReachBefore());
    s.PushSilence(p.ReachBefore() - from);
    s.Push(bytes.data(), frames);
    s.PushSilence(p.ReachAfter() + p.nDecimation);
    std::vector<float> want(static_cast<size_t>(2 * outputs));
    s.Pull(nullptr, -s.NextOutput());
    ASSERT_EQ(s.Pull(want.data(), outputs), outputs);

    band::BandInput input;
    input.open = [&] { return std::make_unique<CMemoryByteSource>(bytes); };
    input.nFrames = frames;
    input.codec = samples::Codec::S16;
    const struct {
        int workers;
        int64_t block;
    } rows[] = {{1, 65536}, {2, 7}, {3, 1000}, {2, 1}, {5, 4096}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.workers << " workers, blocks of " << r.block);
        std::vector<float> got;
        const band::BandJob job{from, outputs, r.workers, r.block};
        const band::BandRunResult res = band::ExtractBand(p, input, job, [&](const float* q, int64_t n) {
            got.insert(got.end(), q, q + 2 * n);
            return true;
        });
        EXPECT_EQ(std::pair(res.nError, res.nFramesOut), std::pair(0, outputs));
        ASSERT_EQ(got.size(), want.size());
        EXPECT_EQ(std::memcmp(got.data(), want.data(), want.size() * sizeof(float)), 0);
    }
}
