// Whole-recording pictures: the cache folder's pictures and level pyramids,
// provisional pictures and the cancel of a rendering, on generated sources
// read through the real reader and engine.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "display/DisplayFixture.h"
#include "display/OverviewCache.h"
#include "support/FaultFs.h"

namespace {

constexpr int kWidth = 12;
constexpr int kHeight = 90;
constexpr int kBlocks = 1600; // the whole recording: 256 blocks per column in 7 of 12 columns

// Bytes this process has read so far, from any file.
int64_t BytesRead()
{
    QFile io("/proc/self/io");
    return io.open(QIODevice::ReadOnly) ? QString(io.readAll()).section("rchar: ", 1).section('\n', 0, 0).toLongLong()
                                        : 0;
}

// Noise whose strength wanders over 60 dB and a tone: levels all over the colour scale.
riff::Bytes NoiseSource(int channels, int blocks)
{
    uint32_t seed = 99;
    const size_t n = size_t{2048} * static_cast<size_t>(blocks) * static_cast<size_t>(channels);
    return riff::WaveFile({static_cast<uint16_t>(channels)}, riff::Gen16(n, [&](size_t i) {
                              seed = seed * 1664525u + 1013904223u;
                              const double t = static_cast<double>(i / static_cast<size_t>(channels));
                              const double gain = std::pow(10.0, -3.0 * (0.5 + 0.5 * std::sin(t / 90000.0)));
                              const double v =
                                  gain * (static_cast<double>(seed >> 8) / 8388608.0 - 1.0) + 0.05 * std::cos(t * 0.3);
                              return static_cast<int16_t>(std::lround(v * 20000.0));
                          }));
}

class OverviewTest : public DisplayTest {
protected:
    OverviewTest() { m_plot.m_nCacheMinBytes = 0; }

    QString Noise(const QString& name, int channels, int blocks = kBlocks)
    {
        return Write(name, NoiseSource(channels, blocks));
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
    int WholeZoom() const { return CSpectrogramPlot::FitZoom(m_doc.m_nTotalFrames, m_nWidth); }
    QImage Whole(int rows = PLOT_ROWS_FIRST_BIN) { return Picture(WholeZoom(), 0, rows, false); }
    QImage Exact() { return Picture(WholeZoom(), 0, PLOT_ROWS_FIRST_BIN, true); }

    QString Folder() const { return m_dir.filePath("cache/tavirel/overview"); }
    QStringList Entries(const char* pattern) const { return QDir(Folder()).entryList({pattern}, QDir::Files); }
    QString Entry(const char* pattern) const
    {
        const QStringList e = Entries(pattern);
        return e.size() == 1 ? Folder() + '/' + e[0] : QString();
    }
    void RemoveEntries(const char* pattern) const
    {
        for (const QString& e : Entries(pattern))
            QFile::remove(Folder() + '/' + e);
    }

    int m_nWidth = kWidth;
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
            path = Noise(c.channels == 2 ? "iq.wav" : "mono.wav", c.channels);
        }
        Load(path, c.ref);
        if (c.fft != fft || c.window != window || Entries("*.tvp").isEmpty()) {
            fft = c.fft;
            window = c.window;
            const QImage exact = Picture(64, 0, c.rows, true);
            EXPECT_EQ(Picture(64, 0, c.rows, false), exact)
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
            SCOPED_TRACE(testing::Message() << c.channels << " ch fft " << c.fft << " rows " << c.rows << " ref "
                                            << c.ref << " zoom " << w.zoom << " start " << w.startBlock);
            const QImage exact = Picture(w.zoom, w.startBlock, c.rows, true);
            RemoveEntries("*.png");
            const int64_t before = BytesRead();
            const QImage drawn = Picture(w.zoom, w.startBlock, c.rows, false);
            EXPECT_LT(BytesRead() - before, QFileInfo(path).size() / 8);
            int differ = 0, lit = 0;
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    const int a = EntryOf(exact.pixel(x, y)), b = EntryOf(drawn.pixel(x, y));
                    ASSERT_LE(std::abs(a - b), 1) << " pixel " << x << "," << y;
                    differ += a != b;
                    lit += a > 0 && a < 255;
                }
            EXPECT_LE(differ * 1000, kWidth * kHeight);
            EXPECT_GT(lit * 2, kWidth * kHeight) << "most pixels inside the scale " << lit;
        }
    }
}

// A pyramid that is cut short, damaged or made for another source is never
// trusted: the pictures are the samples' own.
TEST_F(OverviewTest, DamagedTruncatedAndForeignPyramidsAreIgnored)
{
    Load(Noise("other.wav", 2, 1500));
    Whole();
    ASSERT_TRUE(QFile::rename(Entry("*.tvp"), m_dir.filePath("foreign.tvp")));
    const auto overwrite = [](qint64 at, const QByteArray& bytes) {
        return [=](const QString& entry) {
            QFile f(entry);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(at) && f.write(bytes) == bytes.size());
        };
    };
    const struct {
        const char* what;
        std::function<void(const QString& entry)> apply;
    } damages[] = {
        {"cut short", [](const QString& e) { QFile(e).resize(QFileInfo(e).size() - 100); }},
        // 200 bins of the first finest column, which the zoom of 64 reads, at full level
        {"a column damaged", overwrite(4096, QByteArray(600, '\xff'))},
        {"the header damaged", overwrite(20, QByteArray(1, '\x01'))},
        {"another source's",
         [&](const QString& e) { ASSERT_TRUE(QFile::remove(e) && QFile::copy(m_dir.filePath("foreign.tvp"), e)); }},
    };
    const QString path = Noise("iq.wav", 2);
    for (const auto& d : damages) {
        Load(path);
        const QImage exact = Exact();
        Whole(); // builds the entries
        d.apply(Entry("*.tvp"));
        RemoveEntries("*.png");
        Load(path, -20); // another reference level: the pyramid draws, if it is trusted
        const QImage exactAtRef = Picture(64, 0, 0, true);
        EXPECT_EQ(Picture(64, 0, 0, false), exactAtRef) << d.what;
        Load(path);
        EXPECT_EQ(Whole(), exact) << d.what;
        RemoveEntries("*");
    }
}

// A cache folder that cannot be written: the pictures are drawn all the same.
TEST_F(OverviewTest, FullOrReadOnlyCacheFolder)
{
    Load(Noise("iq.wav", 2));
    const QImage exact = Exact();
    ASSERT_TRUE(QDir().mkpath(Folder()));
    const struct {
        const char* what;
        const char* options;
        bool readOnly;
    } faults[] = {{"full", "size=8k", false}, {"read-only", "size=1m", true}};
    for (const auto& f : faults) {
        faultfs::Mount mount(Folder().toStdString(), f.options, f.readOnly);
        if (!mount.Ok())
            GTEST_SKIP() << "mounting a file system needs root";
        EXPECT_EQ(Whole(), exact) << f.what;
        EXPECT_EQ(Whole(), exact) << f.what;
        EXPECT_TRUE(Entries("*.tvp").isEmpty()) << f.what;
    }
}

// Reads that fail during a whole-recording rendering: the source cut short
// while it is read (a transient failure), or no file that can be opened from
// the provisional picture on (the source as it was). The picture is cut short
// and neither it nor the pyramid is kept, so the source as it was before,
// even with its old modification time, shows whole.
TEST_F(OverviewTest, PicturesOfFailedReadsAreNotKept)
{
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    struct rlimit none = old;
    none.rlim_cur = 0;
    for (const bool shrink : {true, false}) {
        const QString path = Noise("iq.wav", 2, shrink ? kBlocks : 600);
        Load(path);
        m_plot.m_nWorkers = 1;
        m_plot.m_nQuickBlocks = shrink ? 8192 : 0; // a provisional picture first, whose report starts the failure
        m_nWidth = shrink ? 40 : kWidth;           // spans of columns, read one after the other
        const QImage exact = Exact();
        const QDateTime modified = QFileInfo(path).lastModified();
        m_doc.m_nDrawnStart = -1;
        std::atomic<bool> cut{false};
        ASSERT_TRUE(m_plot.RequestRender(
            [&](int, int) {
                if (shrink && !cut.exchange(true))
                    QFile(path).resize(10000);
            },
            [&] { ::setrlimit(RLIMIT_NOFILE, &old); }, [&] { ::setrlimit(RLIMIT_NOFILE, shrink ? &old : &none); }));
        m_plot.FinishRender();
        ::setrlimit(RLIMIT_NOFILE, &old);
        EXPECT_NE(m_plot.m_bitmap, exact) << shrink;
        EXPECT_TRUE(Entries("*").isEmpty()) << shrink;
        Noise("iq.wav", 2, shrink ? kBlocks : 600);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.setFileTime(modified, QFileDevice::FileModificationTime));
        Load(path);
        EXPECT_EQ(Whole(), exact) << shrink;
        RemoveEntries("*");
    }
}

// A picture of part of the source is not kept. A whole-source picture is read
// from its entry (a mark put into it shows, in both rendering paths, with the
// window's end) only while nothing about the source changed, even when
// rewritten in place with its modification time kept to the nanosecond (the
// key's fields are compared as one text), and not by another version of the
// renderer. There is one entry per picture setting: a second setting keeps the
// first, and a new state of the source replaces only its own setting's entry.
TEST_F(OverviewTest, EntriesMissWhenAnythingAboutTheSourceChanged)
{
    const QString path = Noise("iq.wav", 2, 600);
    Load(path);
    Picture(16, 0, PLOT_ROWS_FIRST_BIN, false);
    EXPECT_TRUE(Entries("*.png").isEmpty());
    QImage marked = Whole();
    const int end = m_doc.m_nViewEnd;
    marked.setPixel(0, 0, qRgb(255, 255, 255));
    const QString missing = QImageReader(Entry("*.png")).text("tavirel-missing");
    QImageWriter writer(Entry("*.png"), "PNG");
    writer.setText("tavirel-missing", missing);
    ASSERT_TRUE(writer.write(marked));
    m_doc.m_nViewEnd = -1;
    EXPECT_EQ(Whole(), marked) << "the entry is used while the source is unchanged";
    EXPECT_EQ(m_doc.m_nViewEnd, end);
    m_plot.m_bitmap.fill(Qt::black);
    ASSERT_TRUE(m_plot.RequestRender({}, {}));
    EXPECT_TRUE(m_plot.FinishRender());
    EXPECT_EQ(m_plot.m_bitmap, marked) << "the asynchronous rendering reads it too";
    Load(path, -20);
    Whole();
    EXPECT_EQ(Entries("*.png").size(), 2);
    Whole(PLOT_ROWS_STRONGEST_BIN);
    EXPECT_EQ(Entries("*.png").size(), 3);
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a change time of its own
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(f.size() - 4) && f.write("\x7f\x7f\x7f\x7f", 4) == 4 &&
                f.flush());
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    Load(path);
    const QImage after = Picture(m_doc.m_nZoom, 0, 0, true);
    EXPECT_EQ(Whole(), after);
    EXPECT_EQ(Entries("*.png").size(), 3);
    EXPECT_NE(overview_cache::EntryPath(overview_cache::SourceKey(path, 1), "s", ".png"),
              overview_cache::EntryPath(overview_cache::SourceKey(path, 2), "s", ".png"))
        << "another renderer version, another entry";
}

// Load fills the caller's picture in place (its pixels keep their address, so a
// rendering that holds it can never write through a freed buffer) and leaves
// it alone when the entry is unusable.
TEST_F(OverviewTest, LoadFillsThePictureInPlaceOrNotAtAll)
{
    const QString entry = m_dir.filePath("entry.png");
    QImage stored(20, 10, QImage::Format_RGB32);
    stored.fill(qRgb(10, 20, 30));
    const struct {
        const char* what;
        std::function<void()> make;
        bool loads;
    } rows[] = {
        {"whole entry", [&] { overview_cache::Store(entry, stored, 20); }, true},
        {"cut short", [&] { QFile(entry).resize(QFileInfo(entry).size() / 2); }, false},
        {"another size", [&] { overview_cache::Store(entry, stored.copy(0, 0, 20, 9), 20); }, false},
        {"no columns count", [&] { stored.save(entry, "PNG"); }, false},
        {"count past the width",
         [&] {
             QImageWriter w(entry, "PNG");
             w.setText("tavirel-missing", "21");
             w.write(stored);
         },
         false},
        {"missing", [&] { QFile::remove(entry); }, false},
    };
    for (const auto& r : rows) {
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
    ASSERT_TRUE(QDir().mkpath(Folder()));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const struct {
        const char* name;
        int kib, ageSecs;
        bool kept;
    } entries[] = {{"a.png", 40, 30, true},  {"b.tvp", 50, 20, true},  {"c.png", 30, 10, true},
                   {"d.tvp", 10, 50, false}, {"e.png", 20, 40, false}, {"f.tvp.1234.part", 10, 5, true}};
    for (const auto& e : entries) {
        QFile f(Folder() + '/' + e.name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(QByteArray(1024 * e.kib, 1)) == 1024 * e.kib && f.flush());
        ASSERT_TRUE(f.setFileTime(now.addSecs(-e.ageSecs), QFileDevice::FileModificationTime));
    }
    overview_cache::KeepWithin(135 * 1024);
    for (const auto& e : entries)
        EXPECT_EQ(QFileInfo::exists(Folder() + '/' + e.name), e.kept) << e.name;
}

// A rendering of many blocks first delivers a provisional picture with every
// column drawn, then the exact columns, and ends with the exact picture. A
// newer request cancels an older one, which then changes nothing; a cancelled
// rendering leaves the picture as it was.
TEST_F(OverviewTest, ProvisionalPictureThenExactColumnsAndCancels)
{
    Load(Noise("iq.wav", 2));
    m_plot.m_nCacheMinBytes = -1;
    m_plot.m_nQuickBlocks = 256;
    const QImage exact = Picture(128, 0, 0, true);
    const int end = m_doc.m_nViewEnd;
    m_plot.m_bitmap.fill(Qt::white);
    std::atomic<int> provisional{0}, columnsBefore{0}, columns{0}, done{0};
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
        EXPECT_NE(EntryOf(m_plot.m_bitmap.pixel(x, 0)), -1) << "column " << x << " is drawn";
    EXPECT_TRUE(m_plot.FinishRender());
    EXPECT_FALSE(m_plot.IsProvisional());
    EXPECT_EQ(columnsBefore.load(), 0);
    EXPECT_GE(columns.load(), kWidth);
    EXPECT_EQ(m_plot.m_bitmap, exact);

    m_plot.m_bitmap.fill(Qt::white);
    m_doc.m_nViewStartBlock = 300;
    ASSERT_TRUE(m_plot.RequestRender({}, [&] { ++done; }));
    m_doc.m_nViewStartBlock = 0;
    m_doc.m_nViewEnd = -1;
    ASSERT_TRUE(m_plot.RequestRender({}, [&] { ++done; })); // cancels the first
    EXPECT_TRUE(m_plot.FinishRender());
    EXPECT_EQ(done.load(), 2);
    EXPECT_EQ(m_plot.m_bitmap, exact);
    EXPECT_EQ(m_doc.m_nViewEnd, end);

    m_plot.m_bitmap.fill(Qt::white);
    m_doc.m_nDrawnStart = -1;
    ASSERT_TRUE(m_plot.RequestRender({}, {}));
    m_plot.CancelRender();
    EXPECT_FALSE(m_plot.FinishRender());
    EXPECT_EQ(Pixel(0, 0), qRgb(255, 255, 255));
}

// A cancel stops a rendering within a few blocks, even inside one column of many blocks.
TEST_F(OverviewTest, CancelStopsInsideAColumn)
{
    // 1 GiB of silence, mostly a hole in the file: one column of all its blocks.
    const int64_t dataBytes = int64_t{1} << 30;
    const uint32_t dataBytes32 = static_cast<uint32_t>(dataBytes);
    riff::Bytes body = riff::Chunk("fmt ", riff::FmtPayload(1, 1, 8000, 16));
    body.Id("data").U32(dataBytes32);
    const riff::Bytes head = riff::Riff("WAVE", body, static_cast<uint32_t>(4 + body.size()) + dataBytes32);
    const QString path = Write("long.wav", head);
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
