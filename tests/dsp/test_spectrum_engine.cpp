// CSpectrumEngine through its public interface, as the plot uses it.
#include "dsp/SpectrumEngine.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

const double kTwoPi = 8.0 * std::atan(1.0);
constexpr int N = 2048;

// A -200 .. +200 dB scale of 400 000 000 steps reads levels back to a millionth of a dB.
void Configure(CSpectrumEngine& e, int complex, int averages = 1, int suppressDc = 0, int size = N)
{
    e.SetParameters(complex, size, -200.0, 200.0, averages, 0, WINDOW_HANN, 0, suppressDc, PEAK_OFF, 0.0);
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

// amp * cos (one channel) or amp * exp(+j 2 pi f i / size) plus dc on I (I/Q pairs).
std::vector<int32_t> Tone(int complex, int f, double amp, double dc = 0.0, int size = N)
{
    std::vector<int32_t> s;
    for (int i = 0; i < size; ++i) {
        const double phase = kTwoPi * static_cast<double>((int64_t{f} * i % size + size) % size) / size;
        s.push_back(static_cast<int32_t>(std::llround(std::fmin(2147483647.0, dc + amp * std::cos(phase)))));
        if (complex)
            s.push_back(static_cast<int32_t>(std::llround(amp * std::sin(phase))));
    }
    return s;
}

} // namespace

// Tones and DC on their display bin (two-channel DC is bin N/2 - 1), not on
// the mirror bin, at every size (the transform's passes differ with it), at the
// symmetric Hann window's coherent gain of (N - 1) / 2N; digital silence reads
// the floor.
TEST(SpectrumEngine, TonesAndDcReadTheirLevelOnTheirBin)
{
    const double full = 2147483647.0, gain = 20.0 * std::log10((N - 1.0) / N);
    struct Row {
        const char* proves;
        int complex;
        std::vector<int32_t> samples;
        int bin;
        double db; // NAN: not looked at
        int other;
        double otherBelowDb;
        int size = N;
    };
    std::vector<Row> rows = {
        {"bin 1", 0, Tone(0, 1, full), 1, gain, 3, -60.0},
        {"bin 700", 0, Tone(0, 700, full), 700, gain, 702, -60.0},
        {"I/Q +37", 1, Tone(1, 37, full), N / 2 - 1 + 37, gain, N / 2 - 1 - 37, -60.0},
        {"I/Q -37", 1, Tone(1, -37, full), N / 2 - 1 - 37, gain, N / 2 - 1 + 37, -60.0},
        {"I/Q Nyquist is the last bin", 1, Tone(1, N / 2, full), N - 1, gain, N / 2 + 1, -60.0},
        {"one-channel bin 0 is true DC", 0, std::vector<int32_t>(N, 1 << 28), 0, gain - 12.0412, 2, -60.0},
        {"I/Q DC shows unless suppressed", 1, Tone(1, 0, 1 << 28), N / 2 - 1, gain - 18.0618, N / 2 + 1, -60.0},
        {"a Nyquist tone is not DC", 0, Tone(0, N / 2, 1 << 30), 0, NAN, 0, -100.0},
        {"silence is the floor", 1, std::vector<int32_t>(2 * N, 0), N - 1, -160.0, N / 2, -159.99},
    };
    for (int size : {256, 512, 1024, 4096, 8192, 32768, 65536})
        for (int complex : {0, 1}) {
            const int f = size / 8 + 3, bin = complex ? size / 2 - 1 + f : f;
            rows.push_back({"every size", complex, Tone(complex, f, full, 0.0, size), bin,
                            20.0 * std::log10((size - 1.0) / size), bin + 2, -55.0, size});
        }
    for (const Row& r : rows) {
        CSpectrumEngine e;
        Configure(e, r.complex, 1, 0, r.size);
        const auto db = Block(e, r.samples, r.complex ? r.size : r.size / 2);
        if (!std::isnan(r.db)) {
            EXPECT_NEAR(db[r.bin], r.db, 0.002) << r.proves << " " << r.size << " " << r.complex;
        }
        EXPECT_LT(db[r.other], r.otherBelowDb) << r.proves << " " << r.size << " " << r.complex;
    }
}

// The zero block reads exactly -160 dB; a step is 1 dB on these scales but the plot's (-160 .. 0).
TEST(SpectrumEngine, DisplayIndicesTruncateAtTopAndBottom)
{
    struct Row {
        double bottomDb, topDb;
        int index;
    } rows[] = {{-414.6, -159.6, 0},   {-413.5, -158.5, -1},   {-160.5, 94.5, -254},
                {-150.0, 105.0, -255}, {-160.0, 0.0, -255},    {-200.0, -170.0, 0},
                {-160.0, -160.0, 0},   {-159.0, -159.0, -255}, {NAN, NAN, -255}};
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

// Only first..last are written: last beyond the bins writes nothing, a negative first starts at 0.
TEST(SpectrumEngine, DisplayRangeIsChecked)
{
    CSpectrumEngine e;
    Configure(e, 1);
    std::vector<int> out(N + 8, 77);
    e.GetDisplayLevels(255, 0, N, out.data() + 4);
    e.GetDisplayLevels(255, -4, 3, out.data() + 4);
    for (int i = 0; i < N + 8; ++i)
        EXPECT_EQ(out[i] != 77, i >= 4 && i <= 7) << i;
}

// LoadSamples' count shows which changes clear the average.
TEST(SpectrumEngine, AveragingAndWhatClearsIt)
{
    CSpectrumEngine e;
    struct Row {
        const char* what;
        int complex, size, averages, window;
        double topDb;
        bool clears;
    } rows[] = {{"topDb", 0, N, 1, WINDOW_HANN, 150.0, false},
                {"averages 0 is 1", 0, N, 0, WINDOW_HANN, 200.0, false},
                {"averages", 0, N, 3, WINDOW_HANN, 200.0, true},
                {"size", 0, 4096, 1, WINDOW_HANN, 200.0, true},
                {"complex", 1, N, 1, WINDOW_HANN, 200.0, true},
                {"Hamming", 0, N, 1, WINDOW_HAMMING, 200.0, true},
                {"rectangular", 0, N, 1, WINDOW_RECTANGULAR, 200.0, true}};
    const std::vector<int32_t> big(2 * 4096, 0);
    for (const Row& r : rows) {
        Configure(e, 0);
        e.ResetAverage();
        Block(e, big, 1);
        Block(e, big, 1);
        e.SetParameters(r.complex, r.size, -200.0, r.topDb, r.averages, 0, r.window, 0, 0, PEAK_OFF, 0.0);
        EXPECT_EQ(e.LoadSamples(big.data(), INT_MAX), r.clears ? 0 : 2) << r.what;
    }
}

// Sizes out of range become 524288, others round down to a power of two; 256 and 512 are taken as they are.
// Seen by the last display bin written.
TEST(SpectrumEngine, OutOfRangeSizes)
{
    const int sizes[][2] = {{1024, 1024}, {524288, 524288}, {1023, 524288}, {0, 524288},   {524289, 524288},
                            {1500, 1024}, {256, 256},       {512, 512},     {300, 524288}, {128, 524288}};
    for (const auto [asked, used] : sizes) {
        CSpectrumEngine e;
        Configure(e, 1, 1, 0, asked);
        std::vector<int> out(524290, 77);
        e.GetDisplayLevels(255, used - 1, used - 1, out.data());
        e.GetDisplayLevels(255, used, used, out.data());
        EXPECT_NE(out[used - 1], 77) << asked;
        EXPECT_EQ(out[used], 77) << asked;
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

// Full-scale tones of one channel at bin 100 and 100.5: the level on bin 100
// (coherent gain, scalloping) and the leakage 8 bins away, as numpy's rfft of
// the same windowed samples gives them.
TEST(SpectrumEngine, EachWindowsGainAndLeakage)
{
    struct Row {
        int window;
        double centred, offCentre, leakage; // dB
    } rows[] = {
        {WINDOW_RECTANGULAR, 0.0, -3.94, -27.15},
        {WINDOW_HAMMING, 0.66, -1.09, -43.98},
        {WINDOW_HANN, 0.0, -1.43, -62.28},
        {WINDOW_BLACKMAN_HARRIS, 0.0, -0.83, -93.21},
    };
    for (const Row& r : rows) {
        CSpectrumEngine e;
        e.SetParameters(0, N, -200.0, 200.0, 1, 0, r.window, 0, 0, PEAK_OFF, 0.0);
        std::vector<int32_t> centred(N), off(N);
        for (int i = 0; i < N; ++i) {
            centred[i] = static_cast<int32_t>(std::lround(2147483647.0 * std::cos(kTwoPi * 100.0 * i / N)));
            off[i] = static_cast<int32_t>(std::lround(2147483647.0 * std::cos(kTwoPi * 100.5 * i / N)));
        }
        EXPECT_NEAR(Block(e, centred, N / 2)[100], r.centred, 0.02) << "window " << r.window;
        const auto db = Block(e, off, N / 2);
        EXPECT_NEAR(db[100], r.offCentre, 0.02) << "window " << r.window;
        EXPECT_NEAR(db[108], r.leakage, 0.02) << "window " << r.window;
    }
}
