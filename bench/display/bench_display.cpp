// Renders a 1920 x 1080 window of a two-channel and of a one-channel 16-bit
// source through the document and the plot, with one worker and with one per
// core, at transform sizes of 256, 2048 and 65536 frames, and times in the
// same run a plain renderer of the same frames at the same size (FFTW, Hann
// window, |X|^2, 10 log10, index; only when FFTW is found) as the baseline.
// At 65536 frames the window is 240 columns wide, so that its source stays
// small. Then draws a long two-channel source zoomed out and reports the
// source megabytes per second. The source files stay in the page cache.
//
// Given a recording (bench_display RECORDING.wav, best a few GB), it instead
// times its whole-recording picture from the disk and from the page cache
// against read() of the same file, the time to the first provisional picture,
// the building of the level pyramid and pictures drawn from it, and the
// process's peak memory. From the disk means after dropping the page cache
// (root only; otherwise the figures say "warm").
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <algorithm>
#include <chrono>
#include <climits>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef TAVIREL_HAVE_FFTW
#include <fftw3.h>
#endif

#include "display/LevelPyramid.h"
#include "display/OverviewCache.h"
#include "display/PictureAxes.h"
#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "dsp/SpectrumEngine.h"
#include "wave/RiffWaveFile.h"

namespace {

constexpr int kWidthPx = 1920;
constexpr int kHeightPx = 1080;
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

// Columns of the window at a transform size: at most 1920 x 8192 frames.
int ColumnsAt(int fftSize)
{
    return std::min(kWidthPx, kWidthPx * 8192 / fftSize);
}

// A 16-bit source with a sweep and noise of the given number of blocks.
bool WriteSource(const QString& path, int channels, int64_t blocks, int fftSize = kWaveBlockFrames)
{
    const int64_t frames = blocks * fftSize;
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

double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall and processor time (all threads) of one call.
struct Times {
    double wall = 0.0, cpu = 0.0;
};

template <typename F>
Times TimeOf(F&& f)
{
    const double c0 = CpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    return {wall, CpuMs() - c0};
}

template <typename F>
double TimeMs(F&& f)
{
    return TimeOf(f).wall;
}

// Median wall and processor time of kRuns calls.
template <typename F>
Times MedianOf(F&& f)
{
    std::vector<double> wall, cpu;
    for (int run = 0; run < kRuns; ++run) {
        const Times t = TimeOf([&] { f(run); });
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    return {Median(wall), Median(cpu)};
}

#ifdef TAVIREL_HAVE_FFTW
// The baseline: the same blocks through FFTW and the maths library's log10.
class Reference {
public:
    Reference(int complex, int n, int nBins) : m_complex(complex), m_n(n), m_nBins(nBins)
    {
        m_window.resize(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            m_window[static_cast<size_t>(i)] = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / (n - 1));
        m_in = fftw_alloc_real(2 * static_cast<size_t>(n));
        m_out = fftw_alloc_complex(static_cast<size_t>(n));
        m_plan = complex ? fftw_plan_dft_1d(n, reinterpret_cast<fftw_complex*>(m_in), m_out, FFTW_FORWARD, FFTW_MEASURE)
                         : fftw_plan_dft_r2c_1d(n, m_in, m_out, FFTW_MEASURE);
        const double fullScale = complex ? 1073740000.0 : 536870000.0;
        m_normDb = -20.0 * std::log10(n * fullScale);
        m_floor = std::pow(10.0, (-160.0 - m_normDb) / 10.0);
    }
    ~Reference()
    {
        fftw_destroy_plan(m_plan);
        fftw_free(m_in);
        fftw_free(m_out);
    }
    void Column(const int32_t* block, int* out)
    {
        const int values = m_complex ? 2 : 1;
        for (int i = 0; i < m_n; ++i)
            for (int c = 0; c < values; ++c)
                m_in[values * i + c] = m_window[static_cast<size_t>(i)] * block[values * i + c];
        fftw_execute(m_plan);
        for (int b = 0; b < m_nBins; ++b) {
            const int k = m_complex ? (b + m_n / 2 + 1) % m_n : b;
            const double p = m_out[k][0] * m_out[k][0] + m_out[k][1] * m_out[k][1];
            const double db = 10.0 * std::log10(p + m_floor) + m_normDb;
            out[b] = std::clamp(static_cast<int>(255.0 * db / 160.0), -255, 0);
        }
    }

private:
    int m_complex, m_n, m_nBins;
    std::vector<double> m_window;
    double* m_in = nullptr;
    fftw_complex* m_out = nullptr;
    fftw_plan m_plan;
    double m_normDb = 0.0, m_floor = 0.0;
};
#endif

struct Source {
    CTavirelDoc doc{nullptr};
    bool Open(const QString& path, int fftSize = kWaveBlockFrames)
    {
        doc.OnNewDocument();
        doc.SetFftSize(fftSize);
        doc.m_strSrcPath = path;
        if (!doc.OpenSource(path)) {
            std::fprintf(stderr, "bench_display: cannot open %s\n", qPrintable(path));
            return false;
        }
        doc.m_bLoaded = true;
        return true;
    }
};

// Median times of drawing the whole window with the given workers and zoom.
Times DrawTimes(CTavirelDoc& doc, int workers, int zoom, int widthPx, long long* checksum)
{
    CSpectrogramPlot plot(&doc);
    plot.SetLevels(doc.m_bTwoChannel, 0.0);
    plot.m_nWorkers = workers;
    plot.m_nCacheMinBytes = -1; // from the samples every time
    doc.m_nZoom = zoom;
    return MedianOf([&](int run) {
        doc.m_nViewStart = 0;
        doc.m_nDrawnStart = -1;
        plot.Draw(QRect(0, 0, widthPx, kHeightPx), nullptr);
        *checksum += static_cast<long long>(plot.m_bitmap.pixel(run, run) & 0xFF);
    });
}

// The blocks of the first columns, read as the plot reads them.
bool ReadBlocks(const QString& path, int channels, int fftSize, int columns, std::vector<int32_t>* blocks)
{
    CRiffWaveFile reader;
    WAVEFORMATEX wf;
    AUXIINFO auxi;
    uint64_t frames = 0;
    if (reader.Open(path.toStdString(), &wf, fftSize, &frames, 0, &auxi) != WAVE_OK)
        return false;
    const size_t blockInts = static_cast<size_t>(fftSize) * static_cast<size_t>(channels);
    blocks->resize(static_cast<size_t>(columns) * blockInts);
    for (int x = 0; x < columns; ++x)
        if (reader.ReadBlock(&(*blocks)[static_cast<size_t>(x) * blockInts], fftSize, nullptr) != fftSize)
            return false;
    return true;
}

bool Bench(const QString& path, const char* name, int fftSize)
{
    Source src;
    if (!src.Open(path, fftSize))
        return false;
    CTavirelDoc& doc = src.doc;
    const int columns = ColumnsAt(fftSize);
    long long checksum = 0;
    const Times one = DrawTimes(doc, 1, 1, columns, &checksum);
    const Times all = DrawTimes(doc, 0, 1, columns, &checksum);
    std::printf("%-26s %d x %d, transforms of %d frames\n", name, columns, kHeightPx, fftSize);
    std::printf("%-26s plot: 1 worker %7.1f ms (cpu %.1f), %d workers %7.1f ms (cpu %.1f)\n", "", one.wall, one.cpu,
                PlotWorkerCount(columns), all.wall, all.cpu);
#ifdef TAVIREL_HAVE_FFTW
    const int channels = doc.m_bTwoChannel ? 2 : 1;
    const size_t blockInts = static_cast<size_t>(fftSize) * static_cast<size_t>(channels);
    std::vector<int32_t> blocks;
    if (!ReadBlocks(path, channels, fftSize, columns, &blocks))
        return false;
    Reference reference(doc.m_bTwoChannel, fftSize, doc.m_nDisplayBins);
    std::vector<int> levels(static_cast<size_t>(doc.m_nDisplayBins));
    const Times ref = MedianOf([&](int) {
        for (int x = 0; x < columns; ++x) {
            reference.Column(&blocks[static_cast<size_t>(x) * blockInts], levels.data());
            checksum += levels[static_cast<size_t>(x % doc.m_nDisplayBins)];
        }
    });
    std::printf("%-26s FFTW + log10 reference %7.1f ms (cpu %.1f; blocks in memory)\n", "", ref.wall, ref.cpu);
    std::printf("%-26s ratio plot / reference: 1 worker %.2f (aim <= 0.8), all workers %.2f (aim <= 0.45)\n", "",
                one.wall / ref.wall, all.wall / ref.wall);
    std::printf("%-26s processor time plot / reference: 1 worker %.2f, all workers %.2f\n", "", one.cpu / ref.cpu,
                all.cpu / ref.cpu);
    // What all workers would take on idle cores: their processor time shared out.
    std::printf("%-26s all workers on idle cores (processor time / workers) / reference: %.2f (aim <= 0.45)\n", "",
                all.cpu / PlotWorkerCount(columns) / ref.cpu);
#endif
    std::printf("  (median of %d runs; checksum %lld)\n", kRuns, checksum);
    return true;
}

// A long two-channel source drawn zoomed out to fit the window: megabytes of source per second.
bool BenchZoomed(const QString& path, int zoom)
{
    Source src;
    if (!src.Open(path))
        return false;
    long long checksum = 0;
    const int columns = 1920;
    DrawTimes(src.doc, 0, zoom, columns, &checksum); // warms the page cache
    const Times t = DrawTimes(src.doc, 0, zoom, columns, &checksum);
    const double mb = static_cast<double>(columns) * zoom * kWaveBlockFrames * 4 / 1e6;
    std::printf("zoom %d, %d columns of two-channel 16-bit source (%.0f MB): %.1f ms (cpu %.1f), %.0f MB/s "
                "(aim >= 3000)\n",
                zoom, columns, mb, t.wall, t.cpu, mb / t.wall * 1e3);
    // On a machine busy with other work the wall time says little; the
    // processor time does: the rate all workers would reach on idle cores.
    const int workers = PlotWorkerCount(columns);
    std::printf("  per processor second %.0f MB/s; on %d idle cores %.0f MB/s\n", mb / t.cpu * 1e3, workers,
                workers * mb / t.cpu * 1e3);
    return true;
}

// Where a zoomed column's time goes, on one thread over the same source: the
// reads alone, the reads with the conversion to 32-bit samples, the
// two-step transform (load, then transform and powers) that the fused one
// replaced, the fused one, and the maximum over a column's blocks mapped onto
// 1080 rows. Processor milliseconds of the pass, and source MB/s.
bool BenchZoomedStages(const QString& path, int zoom)
{
    enum { kRead, kDecode, kTwoStep, kFused };
    const char* const names[] = {"reads only", "reads + conversion", "two-step transform + powers",
                                 "fused transform + powers"};
    double mb = 0.0;
    long long sink = 0;
    for (int stage : {kRead, kDecode, kTwoStep, kFused}) {
        CRiffWaveFile reader;
        WAVEFORMATEX wf{};
        AUXIINFO auxi;
        uint64_t frames = 0;
        if (reader.Open(QFile::encodeName(path).toStdString(), &wf, kWaveBlockFrames, &frames, 0, &auxi) != WAVE_OK)
            return false;
        CSpectrumEngine engine;
        engine.SetParameters(1, kWaveBlockFrames, -160.0, 0.0, 1, 0, WINDOW_HANN, 0, 1, PEAK_OFF, 0.0);
        std::vector<int32_t> samples(2 * kWaveBlockFrames);
        int64_t blocks = 0;
        const double c0 = CpuMs();
        for (const uint8_t* bytes = nullptr; reader.ReadBlockBytes(kWaveBlockFrames, &bytes, nullptr) > 0; ++blocks) {
            const int combine = blocks % zoom != 0;
            if (stage == kRead)
                sink += bytes[0];
            else if (stage == kDecode || stage == kTwoStep)
                samples::Decode(reader.SampleCodec(), bytes, samples.data(), samples.size());
            if (stage == kDecode)
                sink += samples[0];
            if (stage == kTwoStep) {
                engine.LoadSamples(samples.data(), INT_MAX);
                engine.TransformPower(combine);
            } else if (stage == kFused) {
                engine.TransformPowerOf16(bytes, combine);
            }
        }
        const double ms = CpuMs() - c0;
        mb = static_cast<double>(blocks) * kWaveBlockFrames * 4 / 1e6;
        std::printf("  %-28s %7.1f ms  %6.0f MB/s\n", names[stage], ms, mb / ms * 1e3);
    }
    CSpectrumEngine engine;
    engine.SetParameters(1, kWaveBlockFrames, -160.0, 0.0, 1, 0, WINDOW_HANN, 0, 1, PEAK_OFF, 0.0);
    std::vector<int> bounds, out(kHeightPx);
    for (int r = 0; r <= kHeightPx; ++r)
        bounds.push_back(static_cast<int>(int64_t{r} * kWaveBlockFrames / kHeightPx));
    const int columns = static_cast<int>(mb * 1e6 / (4.0 * kWaveBlockFrames * zoom));
    const double c0 = CpuMs();
    for (int c = 0; c < columns; ++c)
        sink += engine.GetPowerLevelsOfGroups(255, bounds.data(), kHeightPx, 1, out.data()) + out[c % kHeightPx];
    const double ms = CpuMs() - c0;
    std::printf("  %-28s %7.1f ms  %6.0f MB/s  (checksum %lld)\n", "column maximum onto rows", ms, mb / ms * 1e3,
                sink % 7);
    return true;
}

// Drops the page cache (written data first); false where that is not permitted.
bool DropCaches()
{
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
    const bool ok = fd >= 0 && ::write(fd, "1", 1) == 1;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// Wall time of reading the whole file with read() of 4 MiB, as dd bs=4M does.
double ReadAllMs(const QString& path)
{
    return TimeMs([&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        std::vector<char> buf(size_t{4} << 20);
        while (fd >= 0 && ::read(fd, buf.data(), buf.size()) > 0) {
        }
        if (fd >= 0)
            ::close(fd);
    });
}

double PeakMb()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss / 1024.0;
}

// One whole-recording picture (1920 x 1080, the smallest power-of-two zoom that fits) of a recording.
struct Overview {
    Source src;
    CSpectrogramPlot plot{&src.doc};
    int zoom = 1;
    bool Open(const QString& path)
    {
        if (!src.Open(path))
            return false;
        plot.SetLevels(src.doc.m_bTwoChannel, 0.0);
        zoom = CSpectrogramPlot::FitZoom(src.doc.m_nTotalFrames, kWidthPx);
        return true;
    }
    double Draw(int z, int64_t startBlock = 0)
    {
        src.doc.m_nZoom = z;
        src.doc.m_nViewStartBlock = startBlock;
        src.doc.m_nDrawnStart = -1;
        return TimeMs([&] { plot.Draw(QRect(0, 0, kWidthPx, kHeightPx), nullptr); });
    }
    // Milliseconds from a request to its provisional picture and to its end.
    std::pair<double, double> Progressive(int z)
    {
        src.doc.m_nZoom = z;
        src.doc.m_nViewStartBlock = 0;
        src.doc.m_nDrawnStart = -1;
        std::atomic<bool> provisional{false};
        const auto t0 = std::chrono::steady_clock::now();
        double firstMs = -1.0;
        if (!plot.RequestRender({}, {}, [&] { provisional = true; }))
            return {-1.0, -1.0};
        while (!provisional && firstMs < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (std::chrono::steady_clock::now() - t0 > std::chrono::seconds(60))
                break;
        }
        firstMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        plot.FinishRender();
        const double allMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        return {firstMs, allMs};
    }
};

bool BenchRecording(const QString& path)
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    Overview o;
    if (!o.Open(path))
        return false;
    const double mb = QFileInfo(path).size() / 1e6;
    std::printf("\n%s: %.0f MB, whole-recording picture at zoom %d, 1920 x 1080\n", qPrintable(path), mb, o.zoom);
    o.plot.m_nCacheMinBytes = -1; // the samples, nothing cached
    const bool cold = DropCaches();
    const double readCold = ReadAllMs(path);
    const double readWarm = ReadAllMs(path);
    if (cold)
        DropCaches();
    const Times pictureCold = TimeOf([&] { o.Draw(o.zoom); });
    const Times pictureWarm = TimeOf([&] { o.Draw(o.zoom); });
    const char* state = cold ? "from the disk" : "warm (page cache not dropped)";
    std::printf("  read() 4 MiB: %s %.0f ms (%.0f MB/s), warm %.0f ms\n", state, readCold, mb / readCold * 1e3,
                readWarm);
    std::printf("  picture: %s %.0f ms (cpu %.0f), warm %.0f ms (cpu %.0f)\n", state, pictureCold.wall, pictureCold.cpu,
                pictureWarm.wall, pictureWarm.cpu);
    std::printf("  ratio cold picture / cold read: %.2f (aim <= 1.3); cold / warm picture: %.2f (aim <= 1.2 when "
                "the disk is faster)\n",
                pictureCold.wall / readCold, pictureCold.wall / pictureWarm.wall);

    // Progressive, then the pass that builds the pyramid.
    o.plot.m_nCacheMinBytes = 0;
    if (cold)
        DropCaches();
    const auto firstCold = o.Progressive(o.zoom);
    QDir(cache.path()).removeRecursively();
    const auto firstWarm = o.Progressive(o.zoom);
    std::printf("  first provisional picture: %s %.0f ms, warm %.0f ms (aim < 300); whole exact picture with "
                "the pyramid built: %.0f ms (against %.0f ms without)\n",
                state, firstCold.first, firstWarm.first, firstWarm.second, pictureWarm.wall);
    QStringList pyramids = QDir(overview_cache::Folder()).entryList({"*.tvp"}, QDir::Files);
    if (pyramids.isEmpty()) {
        std::printf("  no pyramid was built\n");
        return true;
    }
    const double pyramidMb = QFileInfo(overview_cache::Folder() + '/' + pyramids[0]).size() / 1e6;
    std::printf("  pyramid: %.1f MB, %.2f %% of the recording (aim < 2 %%)\n", pyramidMb, 100.0 * pyramidMb / mb);
    struct View {
        const char* what;
        int zoom, ref, range, colours;
        int64_t start;
    } views[] = {{"zoom 64", 64, 0, kRangeToFloor, COLOURS_CLASSIC, 0},
                 {"zoom 64 later", 64, 0, kRangeToFloor, COLOURS_CLASSIC, 64 * 1000},
                 {"zoom 256", 256, 0, kRangeToFloor, COLOURS_CLASSIC, 0},
                 {"zoom 1024", 1024, 0, kRangeToFloor, COLOURS_CLASSIC, 0},
                 {"whole, ref -20", o.zoom, -20, kRangeToFloor, COLOURS_CLASSIC, 0},
                 {"whole, ref +20", o.zoom, 20, kRangeToFloor, COLOURS_CLASSIC, 0},
                 {"whole, range 60", o.zoom, 0, 60, COLOURS_CLASSIC, 0},
                 {"whole, viridis", o.zoom, 0, kRangeToFloor, COLOURS_VIRIDIS, 0}};
    for (const View& v : views) {
        o.src.doc.m_nRangeDb = v.range;
        o.src.doc.SetColourMap(v.colours);
        o.plot.SetLevels(o.src.doc.m_bTwoChannel, v.ref);
        o.Draw(v.zoom, v.start); // the pyramid's pages in the cache
        const Times t = MedianOf([&](int) { o.Draw(v.zoom, v.start); });
        std::printf("  from the pyramid, %-16s %6.1f ms (cpu %.1f; aim < 50)\n", v.what, t.wall, t.cpu);
    }
    o.src.doc.m_nRangeDb = kRangeToFloor;
    o.src.doc.SetColourMap(COLOURS_CLASSIC);
    std::printf("  peak memory of the process: %.0f MB (aim < 300)\n", PeakMb());
    return true;
}

// A sparse two-channel 16-bit recording of gb gigabytes (a hole, read as
// silence): how soon its first picture shows, and the pyramid's size for it.
bool BenchSparse(double gb)
{
    QTemporaryDir dir, cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    const QString path = dir.filePath("sparse.wav");
    const int64_t dataBytes = static_cast<int64_t>(gb * 1e9) / 4 * 4;
    QByteArray head("RF64");
    Put32(head, 0xFFFFFFFFu);
    head.append("WAVEds64");
    Put32(head, 28);
    const auto put64 = [&](uint64_t v) {
        Put32(head, static_cast<uint32_t>(v));
        Put32(head, static_cast<uint32_t>(v >> 32));
    };
    put64(static_cast<uint64_t>(dataBytes) + 4 + 36 + 24 + 8);
    put64(static_cast<uint64_t>(dataBytes));
    put64(static_cast<uint64_t>(dataBytes / 4));
    Put32(head, 0);
    head.append("fmt ");
    Put32(head, 16);
    Put16(head, 1);
    Put16(head, 2);
    Put32(head, 2000000);
    Put32(head, 8000000);
    Put16(head, 4);
    Put16(head, 16);
    head.append("data");
    Put32(head, 0xFFFFFFFFu);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(head) != head.size() || !f.resize(head.size() + dataBytes))
        return false;
    f.close();
    Overview o;
    const Times open = TimeOf([&] { o.Open(path); });
    // Only the provisional picture: the request is timed to it and then cancelled.
    o.plot.Fit(QRect(0, 0, kWidthPx, kHeightPx));
    o.src.doc.m_nZoom = o.zoom;
    o.src.doc.m_nViewStartBlock = 0;
    o.src.doc.m_nDrawnStart = -1;
    std::atomic<bool> provisional{false};
    const auto t0 = std::chrono::steady_clock::now();
    o.plot.RequestRender({}, {}, [&] { provisional = true; });
    while (!provisional)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double firstMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    o.plot.CancelRender();
    PyramidShape shape;
    shape.bins = 2048;
    shape.blocks = dataBytes / 4 / kWaveBlockFrames;
    shape.levels = PyramidShape::LevelsFor(shape.blocks);
    std::printf("\nsparse %.0f GB two-channel recording: opened in %.1f ms, first provisional picture %.0f ms "
                "after the request (aim: both < 1000 ms)\n",
                gb, open.wall, firstMs);
    std::printf("  its pyramid would take %.2f %% of it (aim < 2 %%); peak memory %.0f MB (aim < 300)\n",
                100.0 * shape.FileBytes() / static_cast<double>(dataBytes), PeakMb());
    return true;
}

} // namespace

// One repaint's scales (their margins, ticks and drawing) around a picture
// filling 1920 x 1080, against drawing the picture itself, as a repaint does.
void BenchAxes()
{
    PictureAxesModel m;
    m.framesPerColumn = 16 * 2048;
    m.framesPerSecond = 2e6;
    m.wallClock = true;
    m.startSecondOfDay = 9 * 3600.0;
    m.bins = 2048;
    m.twoChannel = true;
    m.sampleRate = 2e6;
    m.centreHz = 7.05e6;
    m.refDb = -20;
    m.bottomDb = -120;
    const CPictureAxes axes(QGuiApplication::font());
    const QSize screen(kWidthPx, kHeightPx);
    const QSize size = axes.PictureSizeWithin(screen, m);
    m.columns = size.width();
    m.rows = size.height();
    QImage target(screen, QImage::Format_RGB32), picture(size, QImage::Format_RGB32);
    target.fill(Qt::gray);
    picture.fill(Qt::darkBlue);
    const QRect at(QPoint(axes.Margins(m).left(), axes.Margins(m).top()), size);
    const Times scales = MedianOf([&](int run) {
        QPainter painter(&target);
        m.startFrame = int64_t{run} * 100000;
        axes.Draw(painter, QRect(QPoint(axes.Margins(m).left(), axes.Margins(m).top()), size), m, Qt::black);
    });
    const Times copy = MedianOf([&](int) {
        QPainter painter(&target);
        painter.drawImage(at.topLeft(), picture);
    });
    std::printf("scales around a %d x %d picture: %.2f ms per repaint (aim < 2), picture copy %.2f ms, ratio %.2f\n",
                size.width(), size.height(), scales.wall, copy.wall, scales.wall / copy.wall);
}

bool IsNumber(const char* text)
{
    return *text != '\0' && std::all_of(text, text + std::strlen(text), [](char c) { return c >= '0' && c <= '9'; });
}

// bench_display [SIZE...]: the transform sizes to measure (256, 2048 and
// 65536 by default), then the zoomed rate. bench_display --zoomed: the zoomed
// rate only. bench_display RECORDING...: the recordings only. bench_display
// --sparse GB: a sparse recording only.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--sparse")
        return BenchSparse(std::atof(argv[2])) ? 0 : 1;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    constexpr int kZoom = 16;
    const QString longIq = dir.filePath("long16.wav");
    const auto zoomed = [&] {
        if (!WriteSource(longIq, 2, int64_t{1920} * kZoom)) {
            std::fprintf(stderr, "bench_display: cannot write the sources\n");
            return false;
        }
        return BenchZoomed(longIq, kZoom) && BenchZoomedStages(longIq, kZoom);
    };
    if (argc == 2 && std::string(argv[1]) == "--zoomed")
        return zoomed() ? 0 : 1;
    if (argc > 1 && !IsNumber(argv[1])) {
        for (int i = 1; i < argc; ++i)
            if (!BenchRecording(QString::fromLocal8Bit(argv[i])))
                return 1;
        return 0;
    }
    BenchAxes();
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {256, kWaveBlockFrames, 65536};
    std::printf("1080 rows, 16-bit sources at %d frames/s\n", kRate);
    for (int fftSize : sizes) {
        if (!IsPictureFftSize(fftSize)) {
            std::fprintf(stderr, "bench_display: %d is no transform size of the picture\n", fftSize);
            return 2;
        }
        const QString iq = dir.filePath("iq16.wav");
        const QString mono = dir.filePath("mono16.wav");
        const int64_t blocks = ColumnsAt(fftSize) + 8;
        if (!WriteSource(iq, 2, blocks, fftSize) || !WriteSource(mono, 1, blocks, fftSize)) {
            std::fprintf(stderr, "bench_display: cannot write the sources\n");
            return 1;
        }
        if (!Bench(iq, "two channels", fftSize) || !Bench(mono, "one channel", fftSize))
            return 1;
        QFile::remove(iq);
        QFile::remove(mono);
    }
    if (argc > 1)
        return 0;
    return zoomed() ? 0 : 1;
}
