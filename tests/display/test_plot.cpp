// The plot's columns, the source's end, redraw triggers and failure paths, on
// hand-built sources read through the real reader and engine; rows and colours
// are checked against a reference computation in test_reference.cpp.
#include <QFile>
#include <QPainter>

#include "PlotTestSupport.h"

namespace {

using plottest::NoiseFile;
using plottest::PlotTest;

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
