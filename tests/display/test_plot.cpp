// The spectrogram plot on hand-built sources read through the real reader and
// engine, and tavirel-cli render, which writes its picture.
#include <QFile>
#include <QPainter>
#include <QProcess>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <complex>

#include "display/DisplayFixture.h"

namespace {

constexpr int N = 2048;

// Seconds at 8000 frames/s of two tones, a DC offset and noise; I/Q pairs when two channels.
std::vector<int16_t> Signal(int channels, int seconds)
{
    std::vector<int16_t> s;
    uint32_t seed = 12345;
    auto noise = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
    };
    for (int j = 0; j < 8000 * seconds; ++j) {
        const double t = static_cast<double>(j);
        const std::complex<double> z =
            0.30 * std::polar(1.0, 2.0 * M_PI * 100.5 * t / N) + 0.02 +
            0.05 * (1.0 + std::sin(t / 3000.0)) * std::polar(1.0, -2.0 * M_PI * 733.0 * t / N) +
            0.001 * std::complex<double>(noise(), noise());
        s.push_back(static_cast<int16_t>(std::lround(z.real() * 32767.0)));
        if (channels == 2)
            s.push_back(static_cast<int16_t>(std::lround(z.imag() * 32767.0)));
    }
    return s;
}

class PlotTest : public DisplayTest {
protected:
    QString WriteSignal(int channels, int seconds)
    {
        return Write("s.wav",
                     riff::WaveFile({static_cast<uint16_t>(channels)}, riff::Pcm16(Signal(channels, seconds))));
    }
};

// Direct DFT of each windowed block, DC patched from +-2 bins (two channels),
// level against full scale, index by reference level and bottom colour, first
// bin of each row; rows that no bin falls on (more rows than bins) are black.
// The cases run on one plot in turn, so each picture is drawn over the one
// before, and each by its own number of workers.
TEST_F(PlotTest, PicturesMatchAReferenceComputationPixelForPixel)
{
    struct Case {
        int channels, width, height, startSec, ref, n, window, range, workers;
    } cases[] = {
        {1, 12, 1500, 2, -60, 2048, WINDOW_HANN, kRangeToFloor, 1},
        {1, 12, 700, 2, -40, 2048, WINDOW_RECTANGULAR, kRangeToFloor, 5},
        {2, 12, 700, 1, -40, 256, WINDOW_BLACKMAN_HARRIS, 70, 2},
        {1, 2, 300, 0, 0, 8192, WINDOW_HAMMING, 120, 2},
    };
    for (const Case& c : cases) {
        const std::vector<int16_t> s = Signal(c.channels, 6);
        m_doc.SetFftSize(c.n);
        m_doc.m_nWindow = c.window;
        m_doc.m_nRangeDb = c.range;
        m_plot.m_nWorkers = c.workers;
        Load(Write("ref.wav", riff::WaveFile({static_cast<uint16_t>(c.channels)}, riff::Pcm16(s))), c.ref);
        m_doc.m_nViewStart = c.startSec;
        m_plot.Draw(QRect(0, 0, c.width, c.height), nullptr);
        const bool two = c.channels == 2;
        const int n = c.n, bins = two ? n : n / 2;
        const double normDb = -20.0 * std::log10(n * (two ? 1073740000.0 : 536870000.0));
        const double bottom = c.range == kRangeToFloor ? -160.0 : c.ref - c.range;
        std::vector<std::complex<double>> e(n);
        std::vector<double> w(n);
        for (int m = 0; m < n; ++m) {
            e[m] = std::polar(1.0, -2.0 * M_PI * m / n);
            const double p = 2.0 * M_PI * m / (n - 1);
            const double cosines[] = {std::cos(p), std::cos(2 * p), std::cos(3 * p)};
            const double blackmanHarris =
                (0.35875 - 0.48829 * cosines[0] + 0.14128 * cosines[1] - 0.01168 * cosines[2]) * 0.5 / 0.35875;
            const double value = c.window == WINDOW_RECTANGULAR ? 0.5
                                 : c.window == WINDOW_HANN      ? 0.5 - 0.5 * cosines[0]
                                 : c.window == WINDOW_HAMMING   ? 0.54 - 0.46 * cosines[0]
                                                                : blackmanHarris;
            w[m] = value * 65536.0;
        }
        for (int x = 0; x < c.width; ++x) {
            const size_t from = (8000u * static_cast<size_t>(c.startSec) + static_cast<size_t>(x) * n) * c.channels;
            std::vector<std::complex<double>> y(static_cast<size_t>(bins));
            for (int i = 0; i < bins; ++i) {
                const int f = two ? i - (n / 2 - 1) : i;
                for (int j = 0; j < n; ++j) {
                    const std::complex<double> z(s[from + j * c.channels], two ? s[from + 2 * j + 1] : 0);
                    y[i] += w[j] * z * e[((f * j) % n + n) % n];
                }
            }
            if (two) {
                const int dc = n / 2 - 1;
                y[dc - 1] = y[dc - 2];
                y[dc + 1] = y[dc + 2];
                y[dc] = (y[dc - 2] + y[dc + 2]) / 2.0;
            }
            std::vector<bool> drawn(static_cast<size_t>(c.height), false);
            for (int i = 0, row = -1; i < bins; ++i) {
                if (i * c.height / bins <= row)
                    continue;
                row = i * c.height / bins;
                drawn[static_cast<size_t>(row)] = true;
                const double db =
                    10.0 * std::log10(std::norm(y[i]) + std::pow(10.0, (-160.0 - normDb) / 10.0)) + normDb;
                const int index = db <= bottom
                                      ? -255
                                      : std::clamp(static_cast<int>(255.0 * (db - c.ref) / (c.ref - bottom)), -255, 0);
                ASSERT_EQ(Pixel(x, row), Colour(index + 255))
                    << c.channels << " ch, " << n << " frames, pixel " << x << "," << row << " bin " << i;
            }
            for (int row = 0; row < c.height; ++row)
                ASSERT_TRUE(drawn[static_cast<size_t>(row)] || Pixel(x, row) == qRgb(0, 0, 0)) << n << " row " << row;
        }
    }
}

// 16000 frames: seven full blocks and a padded one, then black; a window
// inside the source ends where the reader stands. Before the next picture a
// reader closed elsewhere (a failed read during a save) is reopened; a source
// that cannot be opened again (removed) is no source any more and the picture
// stays.
TEST_F(PlotTest, SourceEndingInsideTheWindowAndItsReopen)
{
    for (int change : {0, 1}) {
        const QString path = WriteSignal(1, 2);
        Load(path);
        m_plot.Draw(QRect(0, 0, 20, 64), nullptr);
        for (int x = 0; x < 20; ++x) {
            bool black = true;
            for (int y = 0; y < 64; ++y)
                black = black && Pixel(x, y) == qRgb(0, 0, 0);
            EXPECT_EQ(black, x >= 8) << x;
        }
        EXPECT_EQ(m_doc.m_nViewEnd, 2);
        EXPECT_TRUE(m_doc.m_wave.m_bInOpen);
        const QImage first = m_plot.m_bitmap.copy();
        if (change == 0)
            m_doc.m_wave.Close();
        else
            ASSERT_TRUE(QFile::remove(path));
        m_doc.m_nDrawnStart = -1;
        m_plot.Refresh(nullptr);
        EXPECT_EQ(m_doc.m_bLoaded, change == 0) << change;
        EXPECT_EQ(m_doc.m_wave.m_bInOpen, change == 0) << change;
        m_plot.Render();
        EXPECT_EQ(m_plot.m_bitmap, first) << change;
        if (change == 0) {
            m_plot.Draw(QRect(0, 0, 5, 64), nullptr); // 5 blocks of 4096 bytes at 16000 bytes/s
            EXPECT_EQ(m_doc.m_nViewEnd, 1);
        }
    }
}

// Empty rectangles draw nothing and touch nothing; a picture is drawn onto
// the screen at its rectangle and rendered again only when the window's start,
// the rectangle or the stale mark changed.
TEST_F(PlotTest, RendersOnlyWhenStartRectangleOrStaleMarkChanged)
{
    Load(WriteSignal(2, 4));
    m_doc.m_nDrawnStart = 7;
    QImage screen(40, 80, QImage::Format_RGB32);
    screen.fill(Qt::white);
    const QImage white = screen.copy();
    for (const QRect& rc : {QRect(0, 0, 0, 50), QRect(0, 0, 50, 0), QRect(QPoint(10, 10), QPoint(5, 40))}) {
        QPainter painter(&screen);
        m_plot.Draw(rc, &painter);
        m_plot.Refresh(&painter);
        m_plot.Render();
    }
    EXPECT_TRUE(m_plot.m_bitmap.isNull());
    EXPECT_EQ(m_doc.m_nDrawnStart, 7);
    EXPECT_EQ(screen, white);

    const QRect rc(10, 20, 6, 50);
    {
        QPainter painter(&screen);
        m_plot.Draw(rc, &painter);
    }
    EXPECT_EQ(screen.copy(rc), m_plot.m_bitmap);
    const QRgb poked = qRgb(1, 2, 3);
    auto redrawn = [&](auto change) {
        m_plot.m_bitmap.setPixel(0, 0, poked);
        change();
        return Pixel(0, 0) != poked;
    };
    EXPECT_FALSE(redrawn([&] {
        m_plot.Draw(rc, nullptr);
        m_plot.Refresh(nullptr);
    }));
    EXPECT_TRUE(redrawn([&] { m_plot.Draw(rc.translated(5, 0), nullptr); }));
    EXPECT_TRUE(redrawn([&] {
        m_doc.m_nViewStart = 1;
        m_plot.Refresh(nullptr);
    }));
    EXPECT_TRUE(redrawn([&] {
        m_doc.m_nDrawnStart = -1;
        m_plot.Refresh(nullptr);
    }));
}

// A one-block burst between quiet blocks shows at every zoom (the strongest
// block per bin, whichever of three workers draws its column); a carrier that
// is not the first bin of its row shows only with the strongest bin per row.
TEST_F(PlotTest, BurstsAndCarriersStayVisible)
{
    std::vector<int16_t> s(8000 * 8 * 2, 0);
    const std::vector<int16_t> tone = riff::IqTone(N, 0.5, 215 - 1023);
    std::copy(tone.begin(), tone.end(), s.begin() + 2 * 13 * N);
    Load(Write("burst.wav", riff::WaveFile({2}, riff::Pcm16(s))));
    m_plot.m_nWorkers = 3;
    for (int zoom : {1, 2, 8, 16}) {
        for (int rows : {PLOT_ROWS_FIRST_BIN, PLOT_ROWS_STRONGEST_BIN}) {
            m_doc.m_nZoom = zoom;
            m_doc.m_nRowMode = rows;
            m_plot.Draw(QRect(0, 0, 31, 100), nullptr);
            int lit = 0;
            for (int x = 0; x < 31; ++x)
                lit += Pixel(x, 10) == Colour(246);
            EXPECT_EQ(lit, rows == PLOT_ROWS_STRONGEST_BIN ? 1 : 0) << "zoom " << zoom;
            EXPECT_EQ(Pixel(13 / zoom, 10) == Colour(246), rows == PLOT_ROWS_STRONGEST_BIN) << "zoom " << zoom;
        }
    }
    struct Row {
        int64_t frames;
        int width, zoom;
    } fits[] = {{1, 100, 1}, {100 * N, 100, 1}, {100 * N + 1, 100, 2}, {int64_t{3} << 30, 1920, 1024}};
    for (const Row& r : fits)
        EXPECT_EQ(CSpectrogramPlot::FitZoom(r.frames, r.width), r.zoom) << r.frames;
}

// tavirel-cli render writes the plot's picture as an indexed PNG and prints
// the window's end; it keeps an existing file unless told to overwrite, and
// writes into a pipe given with --overwrite instead of replacing it; each
// unknown value is a usage error naming the allowed ones (the windows stand
// for every list of names, read by one check); --axes keeps the PNG
// at W x H.
TEST_F(PlotTest, CliRenderWritesThePlotsPicture)
{
    const QString wav = WriteSignal(2, 3), png = m_dir.filePath("out.png");
    const auto run = [&](const QString& args, const QString& out) {
        QProcess p;
        p.start(TAVIREL_CLI_PATH,
                QStringList{"render", wav, "--out", out, "--width", "16", "--height", "120"} + args.split(' '));
        EXPECT_TRUE(p.waitForFinished(60000));
        return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
    };
    // At second 1, the whole source's zoom (12 blocks fit 16 columns at zoom 1) and the strongest bin per row.
    Load(wav, -20);
    EXPECT_EQ(run("--start 1 --ref -20 --zoom fit --rows strongest", png), std::pair(0, QString("3\n")));
    m_doc.m_nViewStart = 1;
    m_doc.m_nRowMode = PLOT_ROWS_STRONGEST_BIN;
    m_plot.Draw(QRect(0, 0, 16, 120), nullptr);
    const QImage written(png, "PNG");
    EXPECT_EQ(written.format(), QImage::Format_Indexed8);
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), m_plot.m_bitmap);
    const struct {
        const char *args, *says;
        int status;
    } rows[] = {
        {"--start 0", "the file exists", 1},
        {"--zoom=0 --start 0 --overwrite", "--zoom", 2},
        {"--rows=most --start 0 --overwrite", "--rows", 2},
        {"--start 0 --overwrite --fft=1000", "256, 512, 1024, 2048, 4096, 8192, 16384, 32768 or 65536", 2},
        {"--start 0 --overwrite --window=kaiser", "hann, hamming, blackman-harris or rectangular", 2},
        {"--start 0 --overwrite --range=19", "20 to 260 dB", 2},
        {"--start 0 --overwrite --width=20 --axes", "no room for the picture", 2},
        {"--start 0 --overwrite --fft=512 --window=hamming --colours=turbo --range=60 --axes --width 300 --height 200",
         "3", 0},
    };
    for (const auto& r : rows) {
        const auto [status, said] = run(r.args, png);
        EXPECT_EQ(status, r.status) << r.args;
        EXPECT_TRUE(said.contains(r.says)) << r.args << ": " << qPrintable(said);
    }
    EXPECT_EQ(QImage(png).size(), QSize(300, 200));

    const QString pipe = m_dir.filePath("pipe");
    ASSERT_EQ(mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
    QProcess reader;
    reader.start("cat", {pipe});
    EXPECT_EQ(run("--start 0 --overwrite", pipe).first, 0);
    EXPECT_TRUE(reader.waitForFinished(10000));
    EXPECT_TRUE(reader.readAllStandardOutput().startsWith("\x89PNG"));
    struct stat st {};
    ASSERT_EQ(stat(pipe.toLocal8Bit().constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

} // namespace
