// CSpectrumEngine through its public interface, as the plot uses it, and its
// display indices: known levels on known scales, the fast column mapping
// against the exact one on and beside every index boundary, silence at every
// reference level, and the engine's power path.
#include "dsp/LevelIndex.h"
#include "dsp/SpectrumEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const double kTwoPi = 8.0 * std::atan(1.0);
constexpr int N = 2048;

// A -200 .. +200 dB scale of 400 000 000 steps reads levels back to a millionth of a dB.
void Configure(CSpectrumEngine& e, int complex, int size = N, int window = WINDOW_HANN)
{
    e.SetParameters(complex, size, -200.0, 200.0, 1, 0, window, 0, 0, PEAK_OFF, 0.0);
}

std::vector<double> Block(CSpectrumEngine& e, const std::vector<int32_t>& samples, int nBins)
{
    e.LoadSamples(samples.data(), INT_MAX);
    e.Transform();
    std::vector<int> out(nBins);
    e.GetDisplayLevels(400000000, 0, nBins - 1, out.data());
    std::vector<double> db(nBins);
    for (int i = 0; i < nBins; ++i)
        db[i] = 200.0 + out[i] * 1e-6;
    return db;
}

// One channel of amp * cos(2 pi f i / N), f in bins.
std::vector<int32_t> Tone(double f, double amp)
{
    std::vector<int32_t> s;
    for (int i = 0; i < N; ++i)
        s.push_back(static_cast<int32_t>(std::llround(amp * std::cos(kTwoPi * f * i / N))));
    return s;
}

struct Scale {
    double floor, offset, topDb, bottomDb;
    int scale;
};

CLevelIndex Configured(const Scale& s)
{
    CLevelIndex index;
    index.Configure(s.floor, s.offset, -16.0, s.bottomDb * 0.1, s.topDb * 0.1, 10.0 / (s.topDb - s.bottomDb), s.scale);
    return index;
}

// Powers on and next to every index boundary, plus log-uniform random powers and zeros.
std::vector<double> Powers(const Scale& s, int randomCount)
{
    std::vector<double> p;
    const double stepBels = (s.topDb - s.bottomDb) * 0.1 / s.scale;
    for (int k = 0; k <= s.scale + 1; ++k) {
        const double edge = std::pow(10.0, s.topDb * 0.1 - k * stepBels - s.offset) - s.floor;
        if (!(edge > 0.0))
            continue;
        double lo = edge, hi = edge;
        for (int u = 0; u < 4; ++u) {
            p.insert(p.end(), {lo, hi});
            lo = std::nextafter(lo, 0.0);
            hi = std::nextafter(hi, INFINITY);
        }
        p.insert(p.end(), {edge * (1.0 - 1e-12), edge * (1.0 + 1e-12)});
    }
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> exponent(-3.0, 30.0);
    for (int i = 0; i < randomCount; ++i)
        p.push_back(i % 1000 == 0 ? 0.0 : std::pow(10.0, exponent(rng)));
    return p;
}

} // namespace

// The zero block reads exactly -160 dB; a step is 1 dB on these scales but the plot's (-160 .. 0).
TEST(SpectrumEngine, DisplayIndicesTruncateAtTopAndBottom)
{
    struct Row {
        double bottomDb, topDb;
        int index;
    } rows[] = {{-413.5, -158.5, -1}, {-160.0, 0.0, -255},    {-200.0, -170.0, 0},
                {-160.0, -160.0, 0},  {-159.0, -159.0, -255}, {NAN, NAN, -255}};
    const std::vector<int32_t> zeros(N, 0);
    for (const Row& r : rows) {
        CSpectrumEngine e;
        e.SetParameters(0, N, r.bottomDb, r.topDb, 1, 0, WINDOW_HANN, 0, 0, PEAK_OFF, 0.0);
        e.LoadSamples(zeros.data(), INT_MAX);
        e.Transform();
        std::vector<int> out(N / 2, 999);
        e.GetDisplayLevels(255, 0, N / 2 - 1, out.data());
        EXPECT_EQ(out[0], r.index) << r.bottomDb << " .. " << r.topDb;
        EXPECT_EQ(out[N / 2 - 1], r.index);
    }
}

// Sizes out of range become 524288, others round down to a power of two; 256 and 512 are taken as they are.
// Only first..last are written, as seen by the last display bin: last beyond the bins writes nothing, a
// negative first starts at 0.
TEST(SpectrumEngine, OutOfRangeSizesAndDisplayRanges)
{
    const int sizes[][2] = {{1024, 1024}, {524288, 524288}, {1023, 524288}, {524289, 524288},
                            {1500, 1024}, {256, 256},       {512, 512}};
    for (const auto [asked, used] : sizes) {
        CSpectrumEngine e;
        Configure(e, 1, asked);
        std::vector<int> out(524300, 77);
        e.GetDisplayLevels(255, 0, used, out.data() + 4);
        e.GetDisplayLevels(255, -4, 3, out.data() + 4);
        e.GetDisplayLevels(255, used - 1, used - 1, out.data() + 4);
        EXPECT_EQ(std::count_if(out.begin(), out.end(), [](int v) { return v != 77; }), 5) << asked;
        EXPECT_NE(out[4], 77) << asked;
        EXPECT_NE(out[7], 77) << asked;
        EXPECT_NE(out[used + 3], 77) << asked;
    }
}

// A sample above the limit anywhere in the block, and only then, is reported.
TEST(SpectrumEngine, OverloadFromAnySample)
{
    for (int complex : {0, 1}) {
        const int values = complex ? 2 * N : N;
        for (int at : {-1, 0, 1, values / 2 + 1, values - 1}) {
            std::vector<int32_t> s(static_cast<size_t>(values), 1000);
            if (at >= 0)
                s[static_cast<size_t>(at)] = 1001;
            CSpectrumEngine e;
            Configure(e, complex);
            e.LoadSamples(s.data(), 1000);
            std::vector<int> out(static_cast<size_t>(complex ? N : N / 2));
            EXPECT_EQ(e.GetDisplayLevels(255, 0, 0, out.data()), at >= 0 ? 1 : 0) << complex << " at " << at;
        }
    }
}

// A full-scale tone of one channel at bin 100 and at 100.5 through the Hamming
// window: the level on bin 100 (coherent gain, scalloping) and the leakage 8
// bins away, as numpy's rfft of the same windowed samples gives them. The
// plot's pixel-for-pixel test checks every window against a direct DFT.
TEST(SpectrumEngine, HammingGainAndLeakage)
{
    CSpectrumEngine e;
    Configure(e, 0, N, WINDOW_HAMMING);
    EXPECT_NEAR(Block(e, Tone(100.0, 2147483647.0), N / 2)[100], 0.66, 0.02);
    const auto db = Block(e, Tone(100.5, 2147483647.0), N / 2);
    EXPECT_NEAR(db[100], -1.09, 0.02);
    EXPECT_NEAR(db[108], -43.98, 0.02);
}

// Levels worked out by hand: bels below the top times steps per bel, truncated.
TEST(LevelIndex, KnownLevelsOnKnownScales)
{
    const struct {
        const char* proves;
        Scale s;
        double power;
        int index;
    } rows[] = {
        {"-76.99 dB is 122.7 steps of 160/255 dB down", {0, 0, 0, -160, 255}, 2e-8, -122},
        {"the top is index 0", {0, 0, 0, -160, 255}, 1.0, 0},
        {"zero power is the floor level", {0, 0, 0, -160, 255}, 0.0, -255},
        {"a scale too fine for the fast path", {0, 0, 0, -160, 400000000}, 2e-8, -192474250},
    };
    for (const auto& r : rows) {
        CLevelIndex index = Configured(r.s);
        int out = 999;
        index.Map(&r.power, 1, &out);
        EXPECT_EQ(out, r.index) << r.proves;
        EXPECT_EQ(index.Exact(r.power), r.index) << r.proves;
    }
}

// The vectorised logarithm never moves a power across an index boundary: plot
// scales at several reference levels, a coarse and a fine scale.
TEST(LevelIndex, FastColumnEqualsTheExactPath)
{
    const Scale rows[] = {{480.3, -18.68, 0.0, -160.0, 255},
                          {480.3, -18.68, -100.0, -160.0, 255},
                          {120.07, -18.08, 100.0, -160.0, 255},
                          {480.3, -18.68, 37.0, -160.0, 7},
                          {0.5, 3.0, 30.0, -200.0, 40000}};
    for (const Scale& s : rows) {
        const std::vector<double> p = Powers(s, 300000);
        CLevelIndex index = Configured(s);
        std::vector<int> out(p.size(), 999);
        // Odd lengths and offsets reach the tail of the vectorised loop.
        index.Map(p.data(), static_cast<int>(p.size()), out.data());
        index.Map(p.data() + 1, 3, out.data() + 1);
        int wrong = 0;
        for (size_t i = 0; i < p.size(); ++i)
            wrong += out[i] != index.Exact(p[i]);
        EXPECT_EQ(wrong, 0) << "top " << s.topDb << " scale " << s.scale << " of " << p.size();
    }
}

// The power paths at every size (the passes split into blocks differently),
// in one and two channels, DC suppression on and off. The fused paths that
// load while they transform (from 32-bit samples, or straight from a file's
// 16-bit bytes) store the powers of LoadSamples then TransformPower bit for
// bit, fresh and combined. At every reference level the plot is given one block
// through the power path reads what the level path reads, digital silence the
// bottom colour, -255, and a column of several blocks keeps each bin's
// strongest block, whichever block it is.
TEST(LevelIndex, PowerPathsAgreeWithEachOtherAndTheLevelPath)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (int size : {256, 512, 1024, 2048, 8192, 65536}) {
        for (int complex : {0, 1}) {
            for (int suppressDc : {0, 1}) {
                const int values = complex ? 2 * size : size, nBins = complex ? size : size / 2;
                const std::string what = std::to_string(size) + " complex " + std::to_string(complex) + " dc " +
                                         std::to_string(suppressDc) + " ref ";
                // A loud block, a quiet one about 70 dB below it and silence, as 32-bit samples and 16-bit bytes.
                std::vector<int32_t> blocks[3] = {std::vector<int32_t>(values), std::vector<int32_t>(values),
                                                  std::vector<int32_t>(values, 0)};
                std::vector<uint8_t> pcm[2] = {std::vector<uint8_t>(2 * values), std::vector<uint8_t>(2 * values)};
                for (int b : {0, 1})
                    for (int i = 0; i < values; ++i) {
                        const int v = b == 0 ? sample(rng) : sample(rng) / 4096;
                        blocks[b][i] = v * 65536;
                        pcm[b][2 * i] = static_cast<uint8_t>(v & 0xff);
                        pcm[b][2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xff);
                    }
                for (int ref = -100; ref <= 100; ref += size == 2048 ? 1 : 31) {
                    CSpectrumEngine e[4]; // the level path, the two-step and the two fused power paths
                    for (CSpectrumEngine& one : e)
                        one.SetParameters(complex, size, -160.0, ref, 1, 0, WINDOW_HANN, 0, suppressDc, PEAK_OFF, 0.0);
                    // Levels of the first block given through the level path, and of all through the power path.
                    const auto levels = [&](std::initializer_list<int> given) {
                        std::vector<int> byLevel(nBins), byPower(nBins);
                        e[0].LoadSamples(blocks[*given.begin()].data(), INT_MAX);
                        e[0].Transform();
                        e[0].GetDisplayLevels(255, 0, nBins - 1, byLevel.data());
                        int combine = 0;
                        for (int b : given) {
                            e[1].LoadSamples(blocks[b].data(), INT_MAX); // the transform works in place
                            e[1].TransformPower(combine++);
                        }
                        e[1].GetPowerLevels(255, 0, nBins - 1, byPower.data());
                        return std::pair{byLevel, byPower};
                    };
                    const std::vector<int> bottom(nBins, -255);
                    ASSERT_EQ(levels({2}), std::pair(bottom, bottom)) << what << ref;
                    const auto [single, power] = levels({0});
                    EXPECT_EQ(power, single) << what << ref;
                    EXPECT_EQ(levels({1, 0}).second, single) << what << ref;
                    EXPECT_EQ(levels({0, 1}).second, single) << what << ref;
                    for (int combine : {0, 1}) {
                        e[2].TransformPowerOf(blocks[combine].data(), combine);
                        e[3].TransformPowerOf16(pcm[combine].data(), combine);
                    }
                    std::vector<double> want(nBins), got32(nBins), got16(nBins);
                    e[1].GetPowers(want.data(), nBins);
                    e[2].GetPowers(got32.data(), nBins);
                    e[3].GetPowers(got16.data(), nBins);
                    const size_t bytes = want.size() * sizeof(double);
                    EXPECT_EQ(std::memcmp(got32.data(), want.data(), bytes), 0) << what << ref;
                    EXPECT_EQ(std::memcmp(got16.data(), want.data(), bytes), 0) << what << ref;
                }
            }
        }
    }
}
