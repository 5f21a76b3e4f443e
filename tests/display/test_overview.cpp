// Whole-recording pictures: the cache folder's pictures and level pyramids,
// provisional pictures and the cancel of a rendering, on generated sources
// read through the real reader and engine.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <cmath>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "display/OverviewCache.h"
#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "support/FaultFs.h"
#include "support/WaveBytes.h"

namespace {

constexpr int kWidth = 12;
constexpr int kHeight = 90;
constexpr int kBlocks = 1600; // the whole recording: 256 blocks per column in 7 of 12 columns

// Bytes this process has read so far, from any file.
int64_t BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string name;
    int64_t value = 0;
    while (io >> name >> value)
        if (name == "rchar:")
            return value;
    return 0;
}

struct stat StatOf(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

// Gives path the access and modification times of st, to the nanosecond.
void SetTimes(const QString& path, const struct stat& st)
{
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

// Noise whose strength wanders over 60 dB and a tone: levels all over the colour scale.
riff::Bytes NoiseSource(int channels, int blocks)
{
    uint32_t seed = 99;
    const size_t n = size_t{2048} * static_cast<size_t>(blocks) * static_cast<size_t>(channels);
    return riff::Gen16(n, [&](size_t i) {
        seed = seed * 1664525u + 1013904223u;
        const double t = static_cast<double>(i / static_cast<size_t>(channels));
        const double gain = std::pow(10.0, -3.0 * (0.5 + 0.5 * std::sin(t / 90000.0)));
        const double v = gain * (static_cast<double>(seed >> 8) / 8388608.0 - 1.0) + 0.05 * std::cos(t * 0.3);
        return static_cast<int16_t>(std::lround(v * 20000.0));
    });
}

class OverviewTest : public ::testing::Test {
protected:
    OverviewTest() : m_doc(nullptr), m_plot(&m_doc)
    {
        qputenv("XDG_CACHE_HOME", m_dir.filePath("cache").toUtf8());
        m_doc.OnNewDocument();
        m_plot.m_nCacheMinBytes = 0;
    }
    ~OverviewTest() override { qunsetenv("XDG_CACHE_HOME"); }

    QString Write(const QString& name, int channels, int blocks = kBlocks)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(riff::WriteFile(path.toStdString(),
                                    riff::WaveFile({static_cast<uint16_t>(channels)}, NoiseSource(channels, blocks))));
        return path;
    }
    void Load(const QString& path, int refLevel = 0)
    {
        m_doc.m_strSrcPath = path;
        ASSERT_TRUE(m_doc.OpenSource(path));
        m_doc.m_bLoaded = true;
        m_doc.m_nRefLevel = refLevel;
        m_plot.SetLevels(m_doc.m_bTwoChannel, refLevel);
    }
    // The picture of a window: from the samples alone, or as the cache and pyramid allow.
    QImage Picture(int zoom, int64_t startBlock, int rows, bool samplesOnly)
    {
        m_doc.m_nZoom = zoom;
        m_doc.m_nViewStartBlock = startBlock;
        m_doc.m_nRowMode = rows;
        m_doc.m_nDrawnStart = -1;
        m_plot.m_bUsePyramid = !samplesOnly;
        const int64_t minBytes = m_plot.m_nCacheMinBytes;
        if (samplesOnly)
            m_plot.m_nCacheMinBytes = -1;
        m_plot.Draw(QRect(0, 0, m_nWidth, kHeight), nullptr);
        m_plot.m_nCacheMinBytes = minBytes;
        return m_plot.m_bitmap.copy();
    }
    QImage Whole(int rows = PLOT_ROWS_FIRST_BIN)
    {
        return Picture(CSpectrogramPlot::FitZoom(m_doc.m_nTotalFrames, m_nWidth), 0, rows, false);
    }
    QStringList Entries(const char* pattern) const
    {
        return QDir(m_dir.filePath("cache/tavirel/overview")).entryList({pattern}, QDir::Files);
    }
    QString Entry(const char* pattern) const
    {
        const QStringList e = Entries(pattern);
        return e.size() == 1 ? m_dir.filePath("cache/tavirel/overview/" + e[0]) : QString();
    }
    // Palette entry of each pixel; -1 for a colour not in it.
    int IndexOf(QRgb pixel) const
    {
        for (int e = 0; e < 256; ++e) {
            const uint32_t c = m_doc.m_palette[static_cast<size_t>(e)];
            if (qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF) == (pixel | 0xFF000000u))
                return e;
        }
        return -1;
    }

    int m_nWidth = kWidth;
    QTemporaryDir m_dir;
    CTavirelDoc m_doc;
    CSpectrogramPlot m_plot;
};

// After one whole-recording rendering every window of 64 transforms per
// column or more, at any reference level, range and colour map, comes from
// the pyramid of its transform size and window: it reads a small part of what
// the samples would need, and its pixels are those of the samples but for at
// most one colour index on a few of them (levels that close to a boundary). A
// pyramid of another size or window is never used.
TEST_F(OverviewTest, PyramidPicturesMatchSamplePicturesAtEveryCoarseZoom)
{
    struct Case {
        int channels, fft, window, rows, ref, range, colours;
    } cases[] = {
        {1, 2048, WINDOW_HANN, PLOT_ROWS_FIRST_BIN, 0, kRangeToFloor, COLOURS_CLASSIC},
        {1, 2048, WINDOW_HANN, PLOT_ROWS_STRONGEST_BIN, 40, kRangeToFloor, COLOURS_CLASSIC},
        {2, 2048, WINDOW_HANN, PLOT_ROWS_FIRST_BIN, 40, kRangeToFloor, COLOURS_CLASSIC},
        {2, 2048, WINDOW_HANN, PLOT_ROWS_STRONGEST_BIN, 0, 120, COLOURS_VIRIDIS},
        {2, 2048, WINDOW_BLACKMAN_HARRIS, PLOT_ROWS_FIRST_BIN, 0, kRangeToFloor, COLOURS_CLASSIC},
        {2, 512, WINDOW_BLACKMAN_HARRIS, PLOT_ROWS_STRONGEST_BIN, -20, 100, COLOURS_INFERNO},
    };
    int channels = 0, fft = 0, window = -1;
    QString path;
    for (const Case& c : cases) {
        m_doc.SetFftSize(c.fft);
        m_doc.m_nWindow = c.window;
        m_doc.m_nRangeDb = c.range;
        m_doc.SetColourMap(c.colours);
        // The window's whole zoom: pyramid columns split between picture columns.
        const int whole = (kBlocks * (2048 / c.fft) + kWidth - 1) / kWidth;
        if (c.channels != channels) {
            channels = c.channels;
            QDir(m_dir.filePath("cache")).removeRecursively();
            path = Write(c.channels == 2 ? "iq.wav" : "mono.wav", c.channels);
        }
        Load(path, c.ref);
        if (c.fft != fft || c.window != window || Entries("*.tvp").isEmpty()) {
            fft = c.fft;
            window = c.window;
            EXPECT_EQ(Picture(64, 0, c.rows, false), Picture(64, 0, c.rows, true))
                << c.fft << ": drawn from the samples, not from the pyramid of another size or window";
            const qsizetype pyramids = Entries("*.tvp").size();
            Picture(whole, 0, PLOT_ROWS_FIRST_BIN, false);
            ASSERT_EQ(Entries("*.tvp").size(), pyramids + 1) << "the whole rendering builds the pyramid";
        }
        const struct {
            int zoom;
            int64_t startBlock;
        } windows[] = {{64, 0}, {64, 64 * 7}, {128, 256}, {256, 0}, {whole, 0}};
        for (const auto& w : windows) {
            const std::string what = std::to_string(c.channels) + " ch fft " + std::to_string(c.fft) + " rows " +
                                     std::to_string(c.rows) + " ref " + std::to_string(c.ref) + " zoom " +
                                     std::to_string(w.zoom) + " start " + std::to_string(w.startBlock);
            const QImage exact = Picture(w.zoom, w.startBlock, c.rows, true);
            for (const QString& png : Entries("*.png"))
                QFile::remove(m_dir.filePath("cache/tavirel/overview/" + png));
            const int64_t before = BytesRead();
            const QImage drawn = Picture(w.zoom, w.startBlock, c.rows, false);
            EXPECT_LT(BytesRead() - before, QFileInfo(path).size() / 8) << what;
            int differ = 0, lit = 0;
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    const int a = IndexOf(exact.pixel(x, y)), b = IndexOf(drawn.pixel(x, y));
                    ASSERT_LE(std::abs(a - b), 1) << what << " pixel " << x << "," << y;
                    differ += a != b;
                    lit += a > 0 && a < 255;
                }
            EXPECT_LE(differ * 1000, kWidth * kHeight) << what;
            EXPECT_GT(lit * 2, kWidth * kHeight) << what << ": most pixels inside the scale " << lit;
        }
    }
}

// A cache entry that is cut short, damaged or made for another source is
// never trusted: the picture is the samples' own.
TEST_F(OverviewTest, DamagedTruncatedAndForeignEntriesAreIgnored)
{
    const QString other = Write("other.wav", 2, 1500);
    Load(other);
    Whole();
    const QString foreignPyramid = Entry("*.tvp");
    ASSERT_FALSE(foreignPyramid.isEmpty());
    QFile::rename(foreignPyramid, m_dir.filePath("foreign.tvp"));
    QFile::remove(Entry("*.png"));

    const QString path = Write("iq.wav", 2);
    struct Damage {
        const char* what;
        const char* pattern;
        std::function<void(const QString& entry)> apply;
    } damages[] = {
        {"pyramid cut short", "*.tvp", [](const QString& e) { QFile(e).resize(QFileInfo(e).size() - 100); }},
        {"pyramid column damaged", "*.tvp",
         [](const QString& e) {
             QFile f(e);
             f.open(QIODevice::ReadWrite);
             f.seek(4096); // 200 bins of the first finest column, which the zoom of 64 reads, at full level
             f.write(QByteArray(600, '\xff'));
         }},
        {"pyramid header damaged", "*.tvp",
         [](const QString& e) {
             QFile f(e);
             f.open(QIODevice::ReadWrite);
             f.seek(20);
             f.write("\x01", 1);
         }},
        {"another source's pyramid", "*.tvp",
         [&](const QString& e) {
             QFile::remove(e);
             QFile::copy(m_dir.filePath("foreign.tvp"), e);
         }},
        {"picture cut short", "*.png", [](const QString& e) { QFile(e).resize(QFileInfo(e).size() / 2); }},
        {"picture of another size", "*.png",
         [](const QString& e) {
             QImage small(3, 3, QImage::Format_RGB32);
             small.fill(Qt::white);
             small.save(e, "PNG");
         }},
        {"no picture at all", "*.png",
         [](const QString& e) { riff::WriteFile(e.toStdString(), riff::Bytes::Text("x")); }},
    };
    for (const Damage& d : damages) {
        Load(path);
        const QImage exact = Picture(CSpectrogramPlot::FitZoom(m_doc.m_nTotalFrames, kWidth), 0, 0, true);
        const QImage whole = Whole(); // builds the entries
        const QString entry = Entry(d.pattern);
        ASSERT_FALSE(entry.isEmpty()) << d.what;
        d.apply(entry);
        if (QString(d.pattern) == "*.tvp")
            QFile::remove(Entry("*.png"));
        Load(path, -20); // another reference level: the pyramid draws, if it is trusted
        const QImage exactRef = Picture(64, 0, 0, true);
        EXPECT_EQ(Picture(64, 0, 0, false), exactRef) << d.what;
        Load(path);
        EXPECT_EQ(Whole(), exact) << d.what;
        for (const QString& e : Entries("*"))
            QFile::remove(m_dir.filePath("cache/tavirel/overview/" + e));
        (void)whole;
    }
}

// A cache folder that cannot be written: the pictures are drawn all the same.
TEST_F(OverviewTest, FullOrReadOnlyCacheFolder)
{
    const QString path = Write("iq.wav", 2);
    Load(path);
    const QImage exact = Picture(CSpectrogramPlot::FitZoom(m_doc.m_nTotalFrames, kWidth), 0, 0, true);
    const std::string folder = m_dir.filePath("cache/tavirel/overview").toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    struct Fault {
        const char* what;
        const char* options;
        bool readOnly;
    } faults[] = {{"full", "size=8k", false}, {"read-only", "size=1m", true}};
    for (const Fault& f : faults) {
        faultfs::Mount mount(folder, f.options, f.readOnly);
        if (!mount.Ok())
            GTEST_SKIP() << "mounting a file system needs root";
        EXPECT_EQ(Whole(), exact) << f.what;
        EXPECT_EQ(Whole(), exact) << f.what;
        EXPECT_TRUE(Entries("*.tvp").isEmpty()) << f.what;
    }
}

// The source cut short while the whole-recording rendering reads it (a
// transient failure): neither the picture nor the pyramid is kept, so the
// source made whole again, even with its old modification time, shows whole.
TEST_F(OverviewTest, ASourceThatShrinksWhileReadLeavesNoEntry)
{
    const QString path = Write("iq.wav", 2);
    const riff::Bytes whole = riff::WaveFile({2}, NoiseSource(2, kBlocks));
    Load(path);
    m_plot.m_nWorkers = 1;
    m_nWidth = 40; // spans of columns, read one after the other
    const QImage exact = Picture(CSpectrogramPlot::FitZoom(m_doc.m_nTotalFrames, m_nWidth), 0, 0, true);
    const QDateTime modified = QFileInfo(path).lastModified();
    m_doc.m_nZoom = CSpectrogramPlot::FitZoom(m_doc.m_nTotalFrames, m_nWidth);
    m_doc.m_nViewStartBlock = 0;
    m_doc.m_nDrawnStart = -1;
    std::atomic<bool> cut{false};
    auto onColumns = [&](int, int) {
        if (!cut.exchange(true))
            QFile(path).resize(10000);
    };
    ASSERT_TRUE(m_plot.RequestRender(onColumns, {}));
    m_plot.FinishRender();
    EXPECT_TRUE(cut.load());
    EXPECT_TRUE(Entries("*.png").isEmpty());
    EXPECT_TRUE(Entries("*.tvp").isEmpty());

    ASSERT_TRUE(riff::WriteFile(path.toStdString(), whole));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    Load(path);
    EXPECT_EQ(Whole(), exact);
}

// A read that fails while the source stays as it was (here: no file can be
// opened): the picture is cut short, and kept nowhere.
TEST_F(OverviewTest, APictureCutShortByAFailedReadIsNotKept)
{
    Load(Write("iq.wav", 2, 600));
    m_plot.m_nWorkers = 1;
    m_plot.m_nQuickBlocks = 0; // a provisional picture first, whose report starts the failure
    const QImage exact = Picture(CSpectrogramPlot::FitZoom(m_doc.m_nTotalFrames, kWidth), 0, 0, true);
    m_doc.m_nDrawnStart = -1;
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    struct rlimit none = old;
    none.rlim_cur = 0;
    // From the provisional picture to the end no file can be opened, the source's worker reader included.
    ASSERT_TRUE(m_plot.RequestRender(
        {}, [&] { ::setrlimit(RLIMIT_NOFILE, &old); }, [&] { ::setrlimit(RLIMIT_NOFILE, &none); }));
    EXPECT_TRUE(m_plot.FinishRender());
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_NE(m_plot.m_bitmap, exact) << "the rendering could not read the source";
    EXPECT_TRUE(Entries("*").isEmpty());
    EXPECT_EQ(Whole(), exact);
}

// An entry is found again only while nothing about the source changed, and
// not by another version of the renderer.
TEST_F(OverviewTest, EntriesMissWhenAnythingAboutTheSourceChanged)
{
    const QString path = Write("iq.wav", 2, 600);
    const riff::Bytes other = riff::WaveFile(
        {2}, riff::Gen16(size_t{2048} * 600 * 2, [](size_t i) { return static_cast<int16_t>(i % 7 * 1000); }));
    struct Change {
        const char* what;
        std::function<void()> apply;
    } changes[] = {
        {"newer modification time",
         [&] {
             QFile f(path);
             f.open(QIODevice::ReadWrite);
             f.setFileTime(QDateTime::currentDateTime().addSecs(90), QFileDevice::FileModificationTime);
         }},
        {"replaced by a file of the same size and modification time",
         [&] {
             const struct stat st = StatOf(path);
             const QString temp = path + ".new";
             riff::WriteFile(temp.toStdString(), other);
             SetTimes(temp, st);
             ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData());
         }},
        {"rewritten in place, modification time kept to the nanosecond",
         [&] {
             const struct stat st = StatOf(path);
             std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a change time of its own
             {
                 QFile f(path);
                 f.open(QIODevice::ReadWrite);
                 f.seek(f.size() - 4);
                 f.write("\x7f\x7f\x7f\x7f", 4);
             }
             SetTimes(path, st);
         }},
    };
    for (const Change& c : changes) {
        Load(path);
        const QImage before = Whole();
        QImage marked = before;
        marked.setPixel(0, 0, qRgb(255, 255, 255));
        const QString entry = Entry("*.png");
        {
            QImageWriter writer(entry, "PNG");
            writer.setText("tavirel-missing", QString::number(kWidth));
            ASSERT_TRUE(writer.write(marked));
        }
        EXPECT_EQ(Whole(), marked) << c.what << ": the entry is used while the source is unchanged";
        c.apply();
        Load(path);
        const QImage after = Picture(m_doc.m_nZoom, 0, 0, true);
        EXPECT_EQ(Whole(), after) << c.what;
    }
    EXPECT_NE(overview_cache::EntryPath(overview_cache::SourceKey(path, 1), "s", ".png"),
              overview_cache::EntryPath(overview_cache::SourceKey(path, 2), "s", ".png"))
        << "another renderer version, another entry";
}

// One entry per picture setting: a second setting keeps the first.
TEST_F(OverviewTest, OneEntryPerPictureSetting)
{
    Load(Write("iq.wav", 2, 600));
    Whole();
    Load(m_doc.m_strSrcPath, -20);
    Whole();
    EXPECT_EQ(Entries("*.png").size(), 2u);
    Whole(PLOT_ROWS_STRONGEST_BIN);
    EXPECT_EQ(Entries("*.png").size(), 3u);
}

// Load fills the caller's picture in place (its pixels keep their address, so a
// rendering that holds it can never write through a freed buffer) and leaves
// it alone when the entry is unusable.
TEST_F(OverviewTest, LoadFillsThePictureInPlaceOrNotAtAll)
{
    const QString entry = m_dir.filePath("entry.png");
    QImage stored(20, 10, QImage::Format_RGB32);
    stored.fill(qRgb(10, 20, 30));
    struct Row {
        const char* what;
        std::function<void()> make;
        bool loads;
    } rows[] = {
        {"whole entry", [&] { overview_cache::Store(entry, stored, 20); }, true},
        {"cut short", [&] { QFile(entry).resize(QFileInfo(entry).size() / 2); }, false},
        {"no columns count",
         [&] {
             QFile::remove(entry);
             stored.save(entry, "PNG");
         },
         false},
        {"count past the width",
         [&] {
             QImageWriter w(entry, "PNG");
             w.setText("tavirel-missing", "21");
             w.write(stored);
         },
         false},
        {"missing", [&] { QFile::remove(entry); }, false},
    };
    for (const Row& r : rows) {
        r.make();
        QImage picture(20, 10, QImage::Format_RGB32);
        picture.fill(Qt::black);
        const uchar* const bits = picture.constBits();
        int missing = -1;
        EXPECT_EQ(overview_cache::Load(entry, &picture, &missing), r.loads) << r.what;
        EXPECT_EQ(picture.constBits(), bits) << r.what;
        EXPECT_EQ(picture.pixel(5, 5) | 0xFF000000u, r.loads ? qRgb(10, 20, 30) : qRgb(0, 0, 0)) << r.what;
        EXPECT_EQ(missing, r.loads ? 20 : -1) << r.what;
    }
}

// Entries beyond the budget go, the least recently used first.
TEST_F(OverviewTest, TheBudgetRemovesTheLeastRecentlyUsedEntries)
{
    const QString folder = m_dir.filePath("cache/tavirel/overview");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    struct Entry {
        const char* name;
        int kib, ageSecs;
        bool kept;
    } entries[] = {{"a.png", 40, 30, true},  {"b.tvp", 50, 20, true},  {"c.png", 30, 10, true},
                   {"d.tvp", 10, 50, false}, {"e.png", 20, 40, false}, {"f.tvp.1234.part", 10, 5, true}};
    for (const Entry& e : entries) {
        const QString path = folder + '/' + e.name;
        ASSERT_TRUE(riff::WriteFile(path.toStdString(), std::vector<uint8_t>(size_t{1024} * e.kib, 1)));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(now.addSecs(-e.ageSecs), QFileDevice::FileModificationTime));
    }
    overview_cache::KeepWithin(135 * 1024);
    for (const Entry& e : entries)
        EXPECT_EQ(QFileInfo::exists(folder + '/' + e.name), e.kept) << e.name;
}

// A rendering of many blocks first delivers a provisional picture with every
// column drawn, then the exact columns, and ends with the exact picture.
TEST_F(OverviewTest, ProvisionalPictureThenExactColumns)
{
    Load(Write("iq.wav", 2));
    m_plot.m_nCacheMinBytes = -1;
    m_plot.m_nQuickBlocks = 256;
    const QImage exact = Picture(128, 0, 0, true);
    m_plot.m_bitmap.fill(Qt::white);
    std::atomic<int> provisional{0}, columnsBefore{0}, columns{0};
    ASSERT_TRUE(m_plot.RequestRender(
        [&](int x0, int x1) {
            columns += x1 - x0;
            if (provisional == 0)
                ++columnsBefore;
        },
        {}, [&] { ++provisional; }));
    while (provisional == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_plot.TakeProvisional();
    EXPECT_TRUE(m_plot.IsProvisional());
    for (int x = 0; x < kWidth; ++x)
        EXPECT_NE(IndexOf(m_plot.m_bitmap.pixel(x, 0)), -1) << "column " << x << " is drawn";
    EXPECT_TRUE(m_plot.FinishRender());
    EXPECT_FALSE(m_plot.IsProvisional());
    EXPECT_EQ(columnsBefore.load(), 0);
    EXPECT_GE(columns.load(), kWidth);
    EXPECT_EQ(m_plot.m_bitmap, exact);
}

// A cancel stops a rendering within a few blocks, even inside one column of many blocks.
TEST_F(OverviewTest, CancelStopsInsideAColumn)
{
    // 1 GiB of silence, mostly a hole in the file: one column of all its blocks.
    const QString path = m_dir.filePath("long.wav");
    const int64_t dataBytes = int64_t{1} << 30;
    const uint32_t dataBytes32 = static_cast<uint32_t>(dataBytes);
    riff::Bytes body = riff::Chunk("fmt ", riff::FmtPayload(1, 1, 8000, 16));
    body.Id("data").U32(dataBytes32);
    const riff::Bytes head = riff::Riff("WAVE", body, static_cast<uint32_t>(4 + body.size()) + dataBytes32);
    ASSERT_TRUE(riff::WriteFile(path.toStdString(), head));
    ASSERT_TRUE(QFile(path).resize(static_cast<qint64>(head.size()) + dataBytes));
    Load(path);
    m_plot.m_nCacheMinBytes = -1;
    m_plot.m_nWorkers = 1;
    m_plot.Fit(QRect(0, 0, 1, 8));
    m_doc.m_nZoom = CTavirelDoc::kMaxZoom / 64; // 256 Ki blocks
    m_doc.m_nViewStartBlock = 0;
    m_doc.m_nDrawnStart = -1;
    const int64_t before = BytesRead();
    ASSERT_TRUE(m_plot.RequestRender({}, {}));
    while (BytesRead() - before < (int64_t{4} << 20))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_plot.CancelRender();
    EXPECT_LT(BytesRead() - before, dataBytes / 4);
}

} // namespace
