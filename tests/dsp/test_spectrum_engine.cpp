// CSpectrumEngine through its public interface, as the plot uses it.
#include "dsp/SpectrumEngine.h"

#include <gtest/gtest.h>

#include <climits>
#include <complex>
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
// the mirror bin; digital silence reads the floor.
TEST(SpectrumEngine, TonesAndDcReadTheirLevelOnTheirBin)
{
    const struct {
        const char* proves;
        int complex;
        std::vector<int32_t> samples;
        int bin;
        double db; // NAN: not looked at
        int other;
        double otherBelowDb;
    } rows[] = {
        {"bin 1", 0, Tone(0, 1, 2147483647.0), 1, 0.0, 3, -60.0},
        {"bin 700", 0, Tone(0, 700, 2147483647.0), 700, 0.0, 702, -60.0},
        {"I/Q +37", 1, Tone(1, 37, 2147483647.0), N / 2 - 1 + 37, 0.0, N / 2 - 1 - 37, -60.0},
        {"I/Q -37", 1, Tone(1, -37, 2147483647.0), N / 2 - 1 - 37, 0.0, N / 2 - 1 + 37, -60.0},
        {"I/Q Nyquist is the last bin", 1, Tone(1, N / 2, 2147483647.0), N - 1, 0.0, N / 2 + 1, -60.0},
        {"one-channel bin 0 is true DC", 0, std::vector<int32_t>(N, 1 << 28), 0, -12.04, 2, -60.0},
        {"a Nyquist tone is not DC", 0, Tone(0, N / 2, 1 << 30), 0, NAN, 0, -100.0},
        {"silence is the floor", 1, std::vector<int32_t>(2 * N, 0), N - 1, -160.0, N / 2, -159.99},
    };
    for (const auto& r : rows) {
        CSpectrumEngine e;
        Configure(e, r.complex);
        const auto db = Block(e, r.samples, r.complex ? N : N / 2);
        if (!std::isnan(r.db)) {
            EXPECT_NEAR(db[r.bin], r.db, 0.01) << r.proves;
        }
        EXPECT_LT(db[r.other], r.otherBelowDb) << r.proves;
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
    for (auto [asked, used] : {std::pair{1024, 1024},
                               {524288, 524288},
                               {1023, 524288},
                               {0, 524288},
                               {524289, 524288},
                               {1500, 1024},
                               {256, 256},
                               {512, 512},
                               {300, 524288},
                               {128, 524288}}) {
        CSpectrumEngine e;
        Configure(e, 1, 1, 0, asked);
        std::vector<int> out(524290, 77);
        e.GetDisplayLevels(255, used - 1, used - 1, out.data());
        e.GetDisplayLevels(255, used, used, out.data());
        EXPECT_NE(out[used - 1], 77) << asked;
        EXPECT_EQ(out[used], 77) << asked;
    }
}

// Every block size loads, transforms and reads its bins in the right places:
// the transform's passes differ with the size.
TEST(SpectrumEngine, TonesLandOnTheirBinAtEverySize)
{
    for (int size : {256, 512, 1024, 4096, 8192, 32768, 65536}) {
        for (int complex : {0, 1}) {
            const int f = size / 8 + 3;
            const int nBins = complex ? size : size / 2;
            const int bin = complex ? size / 2 - 1 + f : f;
            CSpectrumEngine e;
            Configure(e, complex, 1, 0, size);
            const auto samples = Tone(complex, f, 2147483647.0, 0.0, size);
            const auto db = Block(e, samples, nBins);
            // The symmetric Hann window's coherent gain is (N - 1) / 2N.
            EXPECT_NEAR(db[bin], 20.0 * std::log10((size - 1.0) / size), 0.001) << size << " " << complex;
            EXPECT_LT(db[bin + 2], -55.0) << size << " " << complex;
        }
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

// Past the averaging length each block replaces one average's worth of the sum:
// sum = sum - average + level, average = sum / length.
TEST(SpectrumEngine, AverageAfterMoreBlocksThanItsLength)
{
    CSpectrumEngine e;
    Configure(e, 0, 2);
    const std::vector<int32_t> zeros(N, 0);
    const double tone = Block(e, Tone(0, 200, 2147483647.0), N / 2)[200]; // the first block of the average
    double sum = tone;
    double average = tone;
    for (int block = 2; block <= 5; ++block) {
        sum = block <= 2 ? sum - 160.0 : sum - average - 160.0;
        average = sum / 2;
        EXPECT_NEAR(Block(e, zeros, N / 2)[200], average, 1e-5) << "block " << block;
    }
}

namespace {

// Direct DFT at frequency k (bins) of samples under window w, with i the index of a sample in the block.
std::complex<double> DirectBin(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& w,
                               int k)
{
    std::complex<double> sum;
    for (size_t i = 0; i < w.size(); ++i)
        sum +=
            w[i] * std::complex<double>(x[i], y.empty() ? 0.0 : y[i]) *
            std::polar(1.0, -kTwoPi * static_cast<double>((static_cast<int64_t>(k) * static_cast<int64_t>(i)) % N) / N);
    return sum;
}

std::vector<double> Hann()
{
    std::vector<double> w(N);
    for (int i = 0; i < N; ++i)
        w[i] = 0.5 - 0.5 * std::cos(kTwoPi * i / (N - 1));
    return w;
}

double Db(std::complex<double> a, std::complex<double> b)
{
    return 10.0 * std::log10(std::norm(a) / std::norm(b));
}

} // namespace

// The DC patch: display bins -1 and +1 read exactly as -2 and +2, and DC reads
// the complex mean of the transform's points at -2 and +2; unasked, the DC
// offset shows.
TEST(SpectrumEngine, DcPatchValues)
{
    std::vector<int32_t> samples;
    std::vector<double> x(N), y(N);
    for (int i = 0; i < N; ++i) {
        const double phase = kTwoPi * 2.0 * i / N;
        samples.push_back(static_cast<int32_t>(std::llround(4e8 + 9e8 * std::cos(phase + 0.3))));
        samples.push_back(static_cast<int32_t>(std::llround(2e8 * std::sin(phase))));
        x[i] = samples[2 * i];
        y[i] = samples[2 * i + 1];
    }
    const int dc = N / 2 - 1;
    CSpectrumEngine plain;
    Configure(plain, 1);
    EXPECT_GT(Block(plain, samples, N)[dc], -20.0);
    CSpectrumEngine e;
    Configure(e, 1, 1, 1);
    const auto db = Block(e, samples, N);
    EXPECT_EQ(db[dc - 1], db[dc - 2]);
    EXPECT_EQ(db[dc + 1], db[dc + 2]);
    const auto w = Hann();
    const auto minus2 = DirectBin(x, y, w, -2), plus2 = DirectBin(x, y, w, 2);
    EXPECT_NEAR(db[dc] - db[dc - 2], Db(0.5 * (minus2 + plus2), minus2), 1e-4);
    EXPECT_NEAR(db[dc + 2] - db[dc - 2], Db(plus2, minus2), 1e-4);
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
