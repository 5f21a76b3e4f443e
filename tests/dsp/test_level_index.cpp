// Display indices: the fast column mapping against a direct computation, the
// bottom of the scale at every reference level, and the engine's power path.
#include "dsp/LevelIndex.h"
#include "dsp/SpectrumEngine.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int N = 2048;

struct Scale {
    double floor, offset, topDb, bottomDb;
    int scale;
};

// The mapping written out plainly: level in bels, then steps below the top, truncated.
int Direct(const Scale& s, double p)
{
    const double level = p > 0.0 ? std::log10(p + s.floor) + s.offset : -16.0;
    if (level <= s.bottomDb * 0.1 && level < s.topDb * 0.1)
        return -s.scale;
    const double top = s.topDb * 0.1;
    const double d = level - top;
    const double v = d == 0.0 ? 0.0 : (d * (10.0 / (s.topDb - s.bottomDb))) * s.scale;
    if (!(v >= -s.scale))
        return -s.scale;
    return v > 0.0 ? 0 : static_cast<int>(v);
}

// Powers on and next to every index boundary, plus log-uniform random powers and zeros.
std::vector<double> Powers(const Scale& s, int randomCount)
{
    std::vector<double> p;
    const double stepBels = (s.topDb - s.bottomDb) * 0.1 / s.scale;
    // Every boundary of the plot's scales, about a thousand spread over finer ones.
    const int stride = s.scale > 2000 ? s.scale / 1000 : 1;
    for (int k = 0; k <= s.scale + 1; k += stride) {
        const double edge = std::pow(10.0, s.topDb * 0.1 - k * stepBels - s.offset) - s.floor;
        if (!(edge > 0.0))
            continue;
        double lo = edge, hi = edge;
        for (int u = 0; u < 4; ++u) {
            p.push_back(lo);
            p.push_back(hi);
            lo = std::nextafter(lo, 0.0);
            hi = std::nextafter(hi, INFINITY);
        }
        p.push_back(edge * (1.0 - 1e-12));
        p.push_back(edge * (1.0 + 1e-12));
    }
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> exponent(-3.0, 30.0);
    for (int i = 0; i < randomCount; ++i)
        p.push_back(i % 1000 == 0 ? 0.0 : std::pow(10.0, exponent(rng)));
    return p;
}

} // namespace

// Every mapped index equals the direct one: plot scales at several reference
// levels, a coarse and a fine scale, and one too fine for the fast logarithm.
TEST(LevelIndex, FastColumnEqualsDirectComputation)
{
    const Scale rows[] = {{480.3, -18.68, 0.0, -160.0, 255},      {480.3, -18.68, -100.0, -160.0, 255},
                          {480.3, -18.68, -20.0, -160.0, 255},    {120.07, -18.08, 100.0, -160.0, 255},
                          {480.3, -18.68, 37.0, -160.0, 7},       {0.5, 3.0, 30.0, -200.0, 40000},
                          {480.3, -18.68, 0.0, -160.0, 400000000}};
    for (const Scale& s : rows) {
        const std::vector<double> p = Powers(s, s.scale > 100000 ? 20000 : 1000000);
        CLevelIndex index;
        index.Configure(s.floor, s.offset, -16.0, s.bottomDb * 0.1, s.topDb * 0.1, 10.0 / (s.topDb - s.bottomDb),
                        s.scale);
        std::vector<int> out(p.size(), 999);
        // Odd lengths and offsets reach the tail of the vectorised loop.
        index.Map(p.data(), static_cast<int>(p.size()), out.data());
        index.Map(p.data() + 1, 3, out.data() + 1);
        int wrong = 0;
        for (size_t i = 0; i < p.size(); ++i)
            wrong += out[i] != Direct(s, p[i]);
        EXPECT_EQ(wrong, 0) << "top " << s.topDb << " scale " << s.scale << " of " << p.size();
    }
}

// Digital silence is the bottom colour, -255, at every reference level the plot
// is given, in one and two channels, through both level paths.
TEST(LevelIndex, SilenceIsTheBottomAtEveryReferenceLevel)
{
    const std::vector<int32_t> zeros(2 * N, 0);
    for (int complex : {0, 1}) {
        const int nBins = complex ? N : N / 2;
        CSpectrumEngine e;
        for (int ref = -100; ref <= 100; ++ref) {
            e.SetParameters(complex, N, -160.0, ref, 1, 0, WINDOW_HANN, 0, 1, PEAK_OFF, 0.0);
            std::vector<int> levels(nBins, 0), powers(nBins, 0);
            e.LoadSamples(zeros.data(), INT_MAX);
            e.Transform();
            e.GetDisplayLevels(255, 0, nBins - 1, levels.data());
            e.TransformPower(0);
            e.GetPowerLevels(255, 0, nBins - 1, powers.data());
            for (int i = 0; i < nBins; ++i) {
                ASSERT_EQ(levels[i], -255) << "ref " << ref << " complex " << complex << " bin " << i;
                ASSERT_EQ(powers[i], -255) << "ref " << ref << " complex " << complex << " bin " << i;
            }
        }
    }
}

// One block through the power path reads what the level path reads; a column
// of several blocks keeps each bin's strongest block, whichever block it is.
TEST(LevelIndex, PowerPathMatchesLevelsAndKeepsTheStrongestBlock)
{
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 3e6);
    std::vector<int32_t> loud(2 * N), quiet(2 * N);
    for (int i = 0; i < 2 * N; ++i) {
        const double tone = 1e9 * std::cos(0.3 * i);
        loud[i] = static_cast<int32_t>(std::lround(noise(rng) + tone));
        quiet[i] = static_cast<int32_t>(std::lround(noise(rng) * 0.001));
    }
    for (int complex : {0, 1}) {
        const int nBins = complex ? N : N / 2;
        for (int ref : {-100, -37, 0, 55}) {
            CSpectrumEngine e;
            e.SetParameters(complex, N, -160.0, ref, 1, 0, WINDOW_HANN, 0, 1, PEAK_OFF, 0.0);
            std::vector<int> levels(nBins), single(nBins), loudFirst(nBins), loudLast(nBins);
            e.LoadSamples(loud.data(), INT_MAX);
            e.Transform();
            e.GetDisplayLevels(255, 0, nBins - 1, levels.data());
            e.LoadSamples(loud.data(), INT_MAX); // the transform works in place
            e.TransformPower(0);
            e.GetPowerLevels(255, 0, nBins - 1, single.data());
            e.LoadSamples(quiet.data(), INT_MAX);
            e.TransformPower(1);
            e.GetPowerLevels(255, 0, nBins - 1, loudFirst.data());
            e.LoadSamples(quiet.data(), INT_MAX);
            e.TransformPower(0);
            e.LoadSamples(loud.data(), INT_MAX);
            e.TransformPower(1);
            e.GetPowerLevels(255, 0, nBins - 1, loudLast.data());
            EXPECT_EQ(single, levels) << complex << " ref " << ref;
            EXPECT_EQ(loudFirst, levels) << complex << " ref " << ref;
            EXPECT_EQ(loudLast, levels) << complex << " ref " << ref;
        }
    }
}

// The fused paths that load while they transform (from 32-bit samples, or
// straight from a file's 16-bit bytes) store the powers of LoadSamples then
// TransformPower bit for bit: every size (the passes split into blocks
// differently), both modes, DC suppression on and off, fresh and combined.
TEST(LevelIndex, FusedPowerPathsEqualTheTwoStepOne)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (int size : {256, 512, 1024, 2048, 8192, 65536}) {
        for (int complex : {0, 1}) {
            for (int suppressDc : {0, 1}) {
                const int values = complex ? 2 * size : size, nBins = complex ? size : size / 2;
                CSpectrumEngine twoStep, fused32, fused16;
                for (CSpectrumEngine* e : {&twoStep, &fused32, &fused16})
                    e->SetParameters(complex, size, -160.0, 0.0, 1, 0, WINDOW_HANN, 0, suppressDc, PEAK_OFF, 0.0);
                for (int combine : {0, 1}) {
                    std::vector<int32_t> s(values);
                    std::vector<uint8_t> pcm(2 * static_cast<size_t>(values));
                    for (int i = 0; i < values; ++i) {
                        const int v = sample(rng);
                        s[i] = v * 65536;
                        pcm[2 * i] = static_cast<uint8_t>(v & 0xff);
                        pcm[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xff);
                    }
                    twoStep.LoadSamples(s.data(), INT_MAX);
                    twoStep.TransformPower(combine);
                    fused32.TransformPowerOf(s.data(), combine);
                    fused16.TransformPowerOf16(pcm.data(), combine);
                }
                std::vector<double> want(nBins), got32(nBins), got16(nBins);
                twoStep.GetPowers(want.data(), nBins);
                fused32.GetPowers(got32.data(), nBins);
                fused16.GetPowers(got16.data(), nBins);
                for (int b = 0; b < nBins; ++b) {
                    ASSERT_EQ(std::bit_cast<uint64_t>(got32[b]), std::bit_cast<uint64_t>(want[b]))
                        << size << " complex " << complex << " dc " << suppressDc << " bin " << b;
                    ASSERT_EQ(std::bit_cast<uint64_t>(got16[b]), std::bit_cast<uint64_t>(want[b]))
                        << size << " complex " << complex << " dc " << suppressDc << " bin " << b;
                }
            }
        }
    }
}
