// The plot's rows, columns, colours, redraw triggers and failure paths, on
// hand-built sources read through the real reader and engine; whole pictures
// are also checked against a reference computation in test_reference.cpp.
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "PlotTestSupport.h"

namespace {

using plottest::NoiseFile;
using plottest::PlotTest;
using riff::Float32;
using riff::IqTone;
using riff::Pcm16;
using riff::WaveFile;

// A one-channel float source with a tone centred on bin 100 at levelDb of full scale.
riff::Bytes MonoToneFloat(double levelDb, int seconds = 2)
{
    const int frames = 8000 * seconds;
    const double amplitude = std::pow(10.0, levelDb / 20.0);
    std::vector<float> s(static_cast<size_t>(frames));
    for (int j = 0; j < frames; ++j)
        s[static_cast<size_t>(j)] = static_cast<float>(amplitude * std::cos(2.0 * M_PI * 100.0 * j / 2048.0));
    return WaveFile({1, 8000, 32, 3}, Float32(s));
}

TEST_F(PlotTest, HundredRowsOfTwoChannelsShowTheFirstBinOfEachRow)
{
    // Display bin 205 is the first bin of row 10 (205 = ceil(2048 * 10 / 100));
    // bin 215 falls on the same row but is never shown.
    Load(Write("first.wav", WaveFile({2}, Pcm16(IqTone(8000, 0.5, 205 - 1023)))));
    m_plot.Draw(QRect(0, 0, 3, 100), nullptr);
    for (int i = 0; i < 2048; ++i) {
        ASSERT_EQ(m_plot.m_rowOfBin[i], i * 100 / 2048) << "bin " << i;
    }
    for (int r = 0; r < 100; ++r) {
        const int first = (2048 * r + 99) / 100; // ceil(2048 r / 100)
        EXPECT_EQ(m_plot.m_rowOfBin[first], r);
        if (first > 0) {
            EXPECT_EQ(m_plot.m_rowOfBin[first - 1], r - 1);
        }
    }
    // A half-scale exponential centred on its bin reads -6.03 dB: index trunc(255 * -6.03 / 160) = -9.
    const QRgb tone = Colour(255 - 9);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(Pixel(x, 10), tone) << "column " << x;

    Load(Write("hidden.wav", WaveFile({2}, Pcm16(IqTone(8000, 0.5, 215 - 1023)))));
    m_plot.Refresh(nullptr);
    // The tone and its neighbours (-12 dB) would be entries 236 and up; nothing
    // above the quantisation floor may show.
    std::vector<QRgb> bright;
    for (int i = 160; i < 256; ++i)
        bright.push_back(Colour(i));
    for (int x = 0; x < 3; ++x) {
        for (int y = 0; y < 100; ++y) {
            EXPECT_EQ(std::count(bright.begin(), bright.end(), Pixel(x, y)), 0)
                << "nothing bright may show at " << x << "," << y;
        }
    }
}

TEST_F(PlotTest, RowsThatNoBinFallsOnStayBlack)
{
    Load(Write("noise.wav", NoiseFile(1, 2, 0.5)));
    const int height = 1500;
    m_plot.Draw(QRect(0, 0, 4, height), nullptr);
    std::vector<bool> mapped(height, false);
    for (int i = 0; i < 1024; ++i)
        mapped[static_cast<size_t>(i * height / 1024)] = true;
    int black = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(Pixel(x, y) == qRgb(0, 0, 0), !mapped[static_cast<size_t>(y)]) << x << "," << y;
        black += mapped[static_cast<size_t>(y)] ? 0 : 1;
    }
    EXPECT_EQ(black, height - 1024);
}

TEST_F(PlotTest, ToneColourFollowsTheReferenceLevel)
{
    struct Case {
        double levelDb;
        int refLevel;
        int index; // expected palette entry at the tone's row
    } cases[] = {
        {-80.0, 0, 128},    // 255 * -80 / 160 = -127.5 -> -127
        {0.0, 0, 255},      // at the reference: last colour
        {-80.0, -100, 255}, // above the reference
        {-130.0, -100, 128} // 255 * -30 / 60 = -127.5 -> -127
    };
    for (const Case& c : cases) {
        Load(Write("tone.wav", MonoToneFloat(c.levelDb)), c.refLevel);
        m_plot.Draw(QRect(0, 0, 3, 1024), nullptr); // one row per bin
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Pixel(x, 100), Colour(c.index)) << c.levelDb << " dB, ref " << c.refLevel;
    }
    // Silence is -160 dB in every bin: black at either reference level.
    for (int ref : {0, -100}) {
        const std::vector<int16_t> zeros(16000, 0);
        Load(Write("silence.wav", WaveFile({1}, Pcm16(zeros))), ref);
        m_plot.Draw(QRect(0, 0, 3, 1024), nullptr);
        for (int x = 0; x < 3; ++x)
            EXPECT_TRUE(ColumnIsBlack(x)) << "ref " << ref;
    }

    // The view's way to change the level: SetLevels, mark stale, refresh.
    Load(Write("tone.wav", MonoToneFloat(-80.0)), 0);
    m_plot.Draw(QRect(0, 0, 3, 1024), nullptr);
    ASSERT_EQ(Pixel(0, 100), Colour(128));
    m_plot.SetLevels(0, -100.0);
    m_doc.m_nDrawnStart = -1;
    m_plot.Refresh(nullptr);
    EXPECT_EQ(Pixel(0, 100), Colour(255));
}


TEST_F(PlotTest, SourceEndingInsideTheWindowLeavesBlackColumnsAndEndsAtItsLength)
{
    // 2 s at 8000 frames/s: 16000 frames, seven full blocks and one padded one.
    Load(Write("short.wav", NoiseFile(1, 2, 0.5)));
    m_plot.Draw(QRect(0, 0, 20, 64), nullptr);
    for (int x = 0; x < 8; ++x)
        EXPECT_FALSE(ColumnIsBlack(x)) << x;
    for (int x = 8; x < 20; ++x)
        EXPECT_TRUE(ColumnIsBlack(x)) << x;
    EXPECT_EQ(m_doc.m_nViewEnd, 2);
    EXPECT_EQ(m_doc.m_nViewEnd, m_doc.m_nLengthSec);
    EXPECT_TRUE(m_doc.m_bLoaded);
    EXPECT_TRUE(m_doc.m_wave.m_bInOpen) << "reopened for the next reader";
    EXPECT_EQ(m_doc.m_nDrawnStart, 0);

    // From second 1 on only 8000 frames are left: three full blocks and a padded one.
    m_doc.m_nViewStart = 1;
    m_plot.Refresh(nullptr);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(ColumnIsBlack(x), x >= 4) << x;
    EXPECT_EQ(m_doc.m_nViewEnd, 2);

    // A window inside the source ends where the reader stands: 5 blocks of 4096 bytes at 16000 bytes/s.
    m_doc.m_nViewStart = 0;
    m_plot.Draw(QRect(0, 0, 5, 64), nullptr);
    EXPECT_EQ(m_doc.m_nViewEnd, 1);
}

TEST_F(PlotTest, RendersOnlyWhenStartRectangleOrLevelChanged)
{
    Load(Write("noise.wav", NoiseFile(2, 4, 0.5)));
    const QRect rc(10, 20, 6, 50);
    QImage screen(40, 80, QImage::Format_RGB32);
    screen.fill(Qt::white);
    {
        QPainter painter(&screen);
        m_plot.Draw(rc, &painter);
    }
    EXPECT_EQ(m_plot.m_rcBitmap, QRect(0, 0, 6, 50));
    EXPECT_EQ(screen.copy(rc), m_plot.m_bitmap) << "the picture lands at the plot's place";
    EXPECT_EQ(screen.pixel(9, 20), qRgb(255, 255, 255));

    const QRgb drawn = Pixel(0, 0);
    const QRgb poked = qRgb(1, 2, 3);
    auto poke = [&] { m_plot.m_bitmap.setPixel(0, 0, poked); };

    poke();
    m_plot.Draw(rc, nullptr); // same place and size, same start: only a copy
    EXPECT_EQ(Pixel(0, 0), poked);
    m_plot.Refresh(nullptr);
    EXPECT_EQ(Pixel(0, 0), poked);

    m_plot.Draw(rc.translated(5, 0), nullptr); // moved: drawn again
    EXPECT_EQ(Pixel(0, 0), drawn);

    poke();
    m_doc.m_nViewStart = 1;
    m_plot.Refresh(nullptr);
    EXPECT_NE(Pixel(0, 0), poked);
    EXPECT_EQ(m_doc.m_nDrawnStart, 1);

    poke();
    m_doc.m_nDrawnStart = -1;
    m_plot.Refresh(nullptr);
    EXPECT_NE(Pixel(0, 0), poked);

    // No source: nothing is drawn or copied.
    m_doc.CloseSource();
    m_doc.m_nDrawnStart = -1;
    poke();
    screen.fill(Qt::white);
    const QImage white = screen.copy();
    {
        QPainter painter(&screen);
        m_plot.Draw(rc.translated(5, 0), &painter);
    }
    EXPECT_EQ(Pixel(0, 0), poked);
    EXPECT_EQ(screen, white);
}

TEST_F(PlotTest, FailedReopenLeavesNoSourceAndThePictureAsDrawn)
{
    for (const char* how : {"removed", "replaced"}) {
        const QString path = Write("gone.wav", NoiseFile(1, 2, 0.5));
        Load(path);
        if (std::string(how) == "removed")
            ASSERT_TRUE(QFile::remove(path));
        else
            ASSERT_TRUE(riff::WriteFile(path.toStdString(), riff::Bytes::Text("no longer a wave file")));
        m_plot.Draw(QRect(0, 0, 20, 64), nullptr);
        EXPECT_FALSE(m_doc.m_bLoaded) << how;
        EXPECT_FALSE(m_doc.m_wave.m_bInOpen) << how;
        EXPECT_EQ(m_doc.m_nViewEnd, 2) << how;
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(ColumnIsBlack(x), x >= 8) << how << " column " << x;

        // Later paints keep the picture and do not touch the closed reader.
        const QImage before = m_plot.m_bitmap.copy();
        m_doc.m_nViewStart = 1;
        m_plot.Draw(QRect(0, 0, 20, 64), nullptr);
        m_plot.Render();
        EXPECT_EQ(m_plot.m_bitmap, before) << how;
        EXPECT_FALSE(m_doc.m_wave.m_bInOpen) << how;
    }
}

TEST_F(PlotTest, ReaderClosedElsewhereIsReopenedBeforeRendering)
{
    const QString path = Write("noise.wav", NoiseFile(2, 3, 0.5));
    Load(path);
    m_plot.Draw(QRect(0, 0, 6, 40), nullptr);
    const QImage first = m_plot.m_bitmap.copy();

    m_doc.m_wave.Close(); // as a failed read during a save leaves it
    m_doc.m_nDrawnStart = -1;
    m_plot.Refresh(nullptr);
    EXPECT_TRUE(m_doc.m_wave.m_bInOpen);
    EXPECT_EQ(m_plot.m_bitmap, first);
}

TEST_F(PlotTest, SourceReplacedByAnotherChannelCountIsShownWithItsOwnBins)
{
    const QString path = Write("swap.wav", NoiseFile(1, 1, 0.5));
    Load(path);
    ASSERT_TRUE(riff::WriteFile(path.toStdString(), NoiseFile(2, 3, 0.5, 7)));
    m_plot.Draw(QRect(0, 0, 8, 64), nullptr); // meets the end, reopens the new file
    ASSERT_TRUE(m_doc.m_bLoaded);
    EXPECT_EQ(m_doc.m_bTwoChannel, 1);
    EXPECT_EQ(m_doc.m_nViewEnd, 3);

    m_doc.m_nDrawnStart = -1;
    m_plot.Refresh(nullptr);

    CTavirelDoc fresh(nullptr);
    fresh.OnNewDocument();
    CSpectrogramPlot plot(&fresh);
    fresh.m_strSrcPath = path;
    ASSERT_TRUE(fresh.OpenSource(path));
    fresh.m_bLoaded = true;
    plot.SetLevels(1, 0);
    plot.Draw(QRect(0, 0, 8, 64), nullptr);
    EXPECT_EQ(m_plot.m_bitmap, plot.m_bitmap);
}

TEST_F(PlotTest, EmptyAreasDrawNothingAndTouchNothing)
{
    Load(Write("noise.wav", NoiseFile(1, 2, 0.5)));
    m_doc.m_nDrawnStart = 7;
    m_doc.m_nViewEnd = 99;
    const int blockIndex = m_doc.m_wave.m_nBlockIndex;
    QImage screen(40, 80, QImage::Format_RGB32);
    screen.fill(Qt::white);
    const QImage white = screen.copy();
    const QRect empty[] = {QRect(0, 0, 0, 50), QRect(0, 0, 50, 0), QRect(QPoint(10, 10), QPoint(5, 40)),
                           QRect(QPoint(10, 10), QPoint(30, 2))};
    for (const QRect& rc : empty) {
        QPainter painter(&screen);
        m_plot.Draw(rc, &painter);
        m_plot.Refresh(&painter);
        m_plot.Render();
    }
    EXPECT_TRUE(m_plot.m_bitmap.isNull());
    EXPECT_EQ(m_doc.m_nDrawnStart, 7);
    EXPECT_EQ(m_doc.m_nViewEnd, 99);
    EXPECT_EQ(m_doc.m_wave.m_nBlockIndex, blockIndex);
    EXPECT_EQ(screen, white);

    // A picture made before stays as it is while the area is empty.
    m_plot.Draw(QRect(0, 0, 6, 30), nullptr);
    const QImage before = m_plot.m_bitmap.copy();
    m_doc.m_nViewStart = 1;
    m_plot.Draw(QRect(0, 0, 0, 30), nullptr);
    EXPECT_EQ(m_plot.m_bitmap, before);
    EXPECT_EQ(m_doc.m_nDrawnStart, 0);
}

} // namespace
