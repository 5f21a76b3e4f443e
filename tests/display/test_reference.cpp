// A rendered picture against one computed here, independently of the engine
// and the plot: direct DFT of each Hann-windowed block, level in dB of full
// scale, colour index by the reference level, first bin of each row.
#include <cmath>
#include <complex>

#include "PlotTestSupport.h"

namespace {

using plottest::Noise;
using plottest::PlotTest;
using riff::Pcm16;
using riff::WaveFile;

constexpr int N = 2048;

// Full-scale normalisation of the levels: a full-scale sinusoid (one channel) or
// complex exponential (two channels) under the Hann window reads about 0 dB.
double NormDb(bool twoChannel)
{
    return -20.0 * std::log10(N * (twoChannel ? 1073740000.0 : 536870000.0));
}

// Level in dB of a power, with the scale's floor of -160 dB added as power.
double LevelDb(double power, bool twoChannel)
{
    const double g = NormDb(twoChannel);
    return 10.0 * std::log10(power + std::pow(10.0, (-160.0 - g) / 10.0)) + g;
}

// Colour index v in -255..0 as an exact real (before truncation).
double IndexOf(double levelDb, int ref)
{
    return 255.0 * (levelDb - ref) / (ref + 160.0);
}

struct Expected {
    double v;       // exact index
    double vAlt;    // a second acceptable value (one-channel DC), or NaN
};

// The display levels of one block of int32 samples (frames interleaved).
std::vector<Expected> ReferenceColumn(const std::vector<int32_t>& block, bool twoChannel, int ref)
{
    std::vector<double> cosT(N), sinT(N), window(N);
    for (int m = 0; m < N; ++m) {
        cosT[static_cast<size_t>(m)] = std::cos(2.0 * M_PI * m / N);
        sinT[static_cast<size_t>(m)] = std::sin(2.0 * M_PI * m / N);
        window[static_cast<size_t>(m)] = 0.5 - 0.5 * std::cos(2.0 * M_PI * m / (N - 1));
    }
    // Spectrum at frequency f (cycles per block) of the windowed block:
    // Y(f) = sum_j w_j z_j e^(-2 pi i f j / N), z_j = I_j + i Q_j (or x_j).
    auto spectrum = [&](int f) {
        std::complex<double> y = 0.0;
        const int step = ((f % N) + N) % N;
        for (int j = 0; j < N; ++j) {
            const size_t m = static_cast<size_t>((static_cast<int64_t>(step) * j) % N);
            const double w = window[static_cast<size_t>(j)];
            const std::complex<double> z = twoChannel
                ? std::complex<double>(w * block[2 * static_cast<size_t>(j)],
                                       w * block[2 * static_cast<size_t>(j) + 1])
                : std::complex<double>(w * block[static_cast<size_t>(j)], 0.0);
            y += z * std::complex<double>(cosT[m], -sinT[m]);
        }
        return y;
    };
    std::vector<Expected> out;
    if (twoChannel) {
        // Display bin i is the frequency i - 1023. DC and its neighbours are
        // replaced from two bins either side before levels are taken.
        std::vector<std::complex<double>> y(N);
        for (int i = 0; i < N; ++i)
            y[static_cast<size_t>(i)] = spectrum(i - (N / 2 - 1));
        const size_t dc = N / 2 - 1;
        y[dc - 1] = y[dc - 2];
        y[dc + 1] = y[dc + 2];
        y[dc] = (y[dc - 2] + y[dc + 2]) / 2.0;
        for (const auto& v : y)
            out.push_back({IndexOf(LevelDb(std::norm(v), true), ref), NAN});
    } else {
        for (int b = 0; b < N / 2; ++b)
            out.push_back({IndexOf(LevelDb(std::norm(spectrum(b)), false), ref), NAN});
        // Bin 0 may be taken from the sum of the even-indexed windowed samples
        // alone (the packed real transform's first element) or as the true DC term.
        double even = 0.0;
        for (int j = 0; j < N; j += 2)
            even += window[static_cast<size_t>(j)] * block[static_cast<size_t>(j)];
        out[0].vAlt = IndexOf(LevelDb(even * even, false), ref);
    }
    return out;
}

int Truncated(double v)
{
    return std::clamp(static_cast<int>(v), -255, 0); // toward zero, as the display mapping does
}

class ReferenceTest : public PlotTest {
protected:
    // Compares the plot's picture with the reference, pixel by pixel. A
    // difference of one palette entry is allowed only where the exact index
    // lies within 1e-6 of a whole number (the two computations may round to
    // either side of it); any other difference fails.
    void Compare(const std::vector<int32_t>& samples, int width, int height, int startSec, int ref)
    {
        const bool two = m_doc.m_bTwoChannel != 0;
        const int channels = two ? 2 : 1;
        const int bins = two ? N : N / 2;
        const size_t firstFrame = static_cast<size_t>(startSec) * 8000;
        int boundary = 0;
        for (int x = 0; x < width; ++x) {
            const size_t from = (firstFrame + static_cast<size_t>(x) * N) * channels;
            ASSERT_LE(from + N * channels, samples.size()) << "the window must lie inside the source";
            const std::vector<int32_t> block(samples.begin() + static_cast<ptrdiff_t>(from),
                                             samples.begin() + static_cast<ptrdiff_t>(from + N * channels));
            const std::vector<Expected> col = ReferenceColumn(block, two, ref);
            int nextRow = 0; // rows are visited in order; a row's first bin sets it
            std::vector<int> binOfRow(static_cast<size_t>(height), -1);
            for (int i = 0; i < bins; ++i) {
                const int row = static_cast<int>(static_cast<int64_t>(i) * height / bins);
                if (row >= nextRow) {
                    binOfRow[static_cast<size_t>(row)] = i;
                    nextRow = row + 1;
                }
            }
            for (int y = 0; y < height; ++y) {
                const int bin = binOfRow[static_cast<size_t>(y)];
                const QRgb got = Pixel(x, y);
                if (bin < 0) {
                    ASSERT_EQ(got, qRgb(0, 0, 0)) << "row without a bin at " << x << "," << y;
                    continue;
                }
                const Expected& e = col[static_cast<size_t>(bin)];
                std::vector<int> ok = {Truncated(e.v)};
                if (!std::isnan(e.vAlt))
                    ok.push_back(Truncated(e.vAlt));
                const double frac = std::abs(e.v - std::round(e.v));
                if (frac < 1e-6) {
                    ok.push_back(Truncated(std::round(e.v) - 1));
                    ok.push_back(Truncated(std::round(e.v)));
                }
                bool match = false;
                for (int v : ok)
                    match = match || got == Colour(v + 255);
                if (match && got != Colour(Truncated(e.v) + 255))
                    ++boundary;
                ASSERT_TRUE(match) << "pixel " << x << "," << y << " bin " << bin << ": index " << e.v
                                   << " expected entry " << Truncated(e.v) + 255;
            }
        }
        EXPECT_LE(boundary, 0) << "pixels that matched only through the boundary allowance";
    }
};

// Two tones, a sweep and noise, clipped to 16 bits; I/Q pairs when two channels.
std::vector<int16_t> TestSignal(int channels, int seconds)
{
    const size_t frames = static_cast<size_t>(8000 * seconds);
    std::vector<int16_t> s(frames * static_cast<size_t>(channels));
    Noise noise(12345);
    for (size_t j = 0; j < frames; ++j) {
        const double t = static_cast<double>(j);
        const double sweep = 2.0 * M_PI * (-600.0 * t / N + 0.4 * t * t / (static_cast<double>(frames) * N));
        const std::complex<double> z = 0.30 * std::polar(1.0, 2.0 * M_PI * 100.5 * t / N) +
                                       0.05 * (1.0 + std::sin(t / 3000.0)) * std::polar(1.0, -2.0 * M_PI * 733.0 * t / N) +
                                       0.10 * std::polar(1.0, sweep) +
                                       std::complex<double>(0.02, 0.0) + // a DC offset
                                       0.001 * std::complex<double>(noise.Next(), noise.Next());
        auto clip = [](double v) { return static_cast<int16_t>(std::clamp(std::lround(v * 32767.0), -32768L, 32767L)); };
        if (channels == 2) {
            s[2 * j] = clip(z.real());
            s[2 * j + 1] = clip(z.imag());
        } else {
            s[j] = clip(z.real());
        }
    }
    return s;
}

std::vector<int32_t> AsReaderDelivers(const std::vector<int16_t>& s)
{
    std::vector<int32_t> out(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<int32_t>(s[i]) * 65536;
    return out;
}

TEST_F(ReferenceTest, TwoChannelPictureMatchesPixelForPixel)
{
    const std::vector<int16_t> s = TestSignal(2, 8);
    Load(Write("iq.wav", WaveFile({2}, Pcm16(s))), -20);
    m_doc.m_nViewStart = 1;
    m_plot.Draw(QRect(0, 0, 20, 300), nullptr);
    Compare(AsReaderDelivers(s), 20, 300, 1, -20);
}

TEST_F(ReferenceTest, OneChannelPicturesMatchPixelForPixel)
{
    const std::vector<int16_t> s = TestSignal(1, 6);
    Load(Write("mono.wav", WaveFile({1}, Pcm16(s))), 0);
    m_plot.Draw(QRect(0, 0, 16, 700), nullptr); // bins share rows
    Compare(AsReaderDelivers(s), 16, 700, 0, 0);

    m_plot.SetLevels(0, -60.0);
    m_doc.m_nRefLevel = -60;
    m_doc.m_nViewStart = 2;
    m_plot.Draw(QRect(0, 0, 12, 1100), nullptr); // some rows without a bin
    Compare(AsReaderDelivers(s), 12, 1100, 2, -60);
}

} // namespace
