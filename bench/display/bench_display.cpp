// Renders a 1920 x 1080 window of a two-channel and of a one-channel 16-bit
// source through the document and the plot, and times the engine alone on the
// same blocks (already in memory) in the same run. The difference is what
// reading the source and setting pixels add; the aim is at most a third of the
// engine's cost.
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"

namespace {

constexpr int kWidthPx = 1920;
constexpr int kHeightPx = 1080;
constexpr int kBlockFrames = 2048;
constexpr int kRate = 48000;
constexpr int kRuns = 5;

void Put16(QByteArray& b, uint32_t v)
{
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(QByteArray& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A 16-bit source with a sweep and noise, long enough for the whole window.
bool WriteSource(const QString& path, int channels)
{
    const int64_t frames = static_cast<int64_t>(kWidthPx + 8) * kBlockFrames;
    QByteArray data;
    data.reserve(static_cast<qsizetype>(frames * channels * 2));
    uint32_t noise = 1;
    for (int64_t j = 0; j < frames; ++j) {
        const double t = static_cast<double>(j) / kRate;
        const double phase = 2.0 * M_PI * (1000.0 * t + 50.0 * t * t);
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double v = 0.3 * (c == 0 ? std::cos(phase) : std::sin(phase)) +
                             0.01 * (static_cast<double>(noise >> 8) / 8388608.0 - 1.0);
            Put16(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767.0))));
        }
    }
    QByteArray file("RIFF");
    Put32(file, static_cast<uint32_t>(4 + 24 + 8 + data.size()));
    file.append("WAVEfmt ");
    Put32(file, 16);
    Put16(file, 1);
    Put16(file, static_cast<uint32_t>(channels));
    Put32(file, kRate);
    Put32(file, static_cast<uint32_t>(kRate * channels * 2));
    Put16(file, static_cast<uint32_t>(channels * 2));
    Put16(file, 16);
    file.append("data");
    Put32(file, static_cast<uint32_t>(data.size()));
    file.append(data);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(file) == file.size();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double TimeMs(F&& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

bool Bench(const QString& path, const char* name)
{
    CTavirelDoc doc(nullptr);
    doc.OnNewDocument();
    doc.m_strSrcPath = path;
    if (!doc.OpenSource(path)) {
        std::fprintf(stderr, "bench_display: cannot open %s\n", qPrintable(path));
        return false;
    }
    doc.m_bLoaded = true;
    CSpectrogramPlot plot(&doc);
    plot.SetLevels(doc.m_bTwoChannel, 0.0);
    const int nBins = doc.m_nDisplayBins;
    const int channels = doc.m_bTwoChannel ? 2 : 1;

    // The same blocks in memory, for the engine alone.
    std::vector<int32_t> blocks(static_cast<size_t>(kWidthPx) * kBlockFrames * static_cast<size_t>(channels));
    doc.m_wave.SeekSeconds(0);
    for (int x = 0; x < kWidthPx; ++x) {
        int progress = 0;
        if (doc.m_wave.ReadBlock(&blocks[static_cast<size_t>(x) * kBlockFrames * static_cast<size_t>(channels)],
                                 kBlockFrames, &progress) != kBlockFrames) {
            std::fprintf(stderr, "bench_display: source too short\n");
            return false;
        }
    }
    CSpectrumEngine engine;
    engine.SetParameters(doc.m_bTwoChannel, kBlockFrames, -160.0, 0.0, 1, 0, WINDOW_HANN, 0, 1, PEAK_OFF, 0.0);
    std::vector<int> levels(static_cast<size_t>(nBins));
    long long checksum = 0;

    std::vector<double> renderMs, engineMs;
    for (int run = 0; run < kRuns; ++run) {
        engineMs.push_back(TimeMs([&] {
            for (int x = 0; x < kWidthPx; ++x) {
                engine.LoadSamples(&blocks[static_cast<size_t>(x) * kBlockFrames * static_cast<size_t>(channels)],
                                   2147483647);
                engine.Transform();
                engine.GetDisplayLevels(255, 0, nBins - 1, levels.data());
                checksum += levels[static_cast<size_t>(x % nBins)];
            }
        }));
        doc.m_nViewStart = 0;
        doc.m_nDrawnStart = -1;
        renderMs.push_back(TimeMs([&] { plot.Draw(QRect(0, 0, kWidthPx, kHeightPx), nullptr); }));
        checksum += static_cast<long long>(plot.m_bitmap.pixel(run, run) & 0xFF);
    }
    const double render = Median(renderMs);
    const double eng = Median(engineMs);
    std::printf("%-28s render %8.1f ms   engine alone %8.1f ms   render/engine %.3f   overhead %+.1f%%\n", name,
                render, eng, render / eng, 100.0 * (render - eng) / eng);
    std::printf("  (median of %d runs; window ends at %d s; checksum %lld)\n", kRuns, doc.m_nViewEnd, checksum);
    return true;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString iq = dir.filePath("iq16.wav");
    const QString mono = dir.filePath("mono16.wav");
    if (!WriteSource(iq, 2) || !WriteSource(mono, 1)) {
        std::fprintf(stderr, "bench_display: cannot write the sources\n");
        return 1;
    }
    std::printf("1920 x 1080 window, 16-bit sources at %d frames/s, blocks of %d frames\n", kRate, kBlockFrames);
    const bool ok = Bench(iq, "two channels (2048 bins)") && Bench(mono, "one channel (1024 bins)");
    return ok ? 0 : 1;
}
