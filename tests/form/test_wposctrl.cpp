// The position bar: its picture (grabbed pixels) and the notifications its
// clicks send, on a bar whose painted area is 310 x 16 pixels.
#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "form/WposCtrl.h"

namespace {

constexpr int kWidthPx = 310;
constexpr int kHeightPx = 16; // the yellow band covers rows 6 to 9
const QRgb kDarkBlue = qRgb(0, 0, 128);
const QRgb kLightBlue = qRgb(128, 255, 255);
const QRgb kYellow = qRgb(255, 255, 0);

class WposCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.resize(kWidthPx + 2 * CWposCtrl::kEdgePx, kHeightPx + 2 * CWposCtrl::kEdgePx);
        ASSERT_EQ(bar.ClientRect().size(), QSize(kWidthPx, kHeightPx));
        owner = std::make_unique<QObject>();
        bar.m_pOwner = owner.get();
        bar.m_pfnNotify = [this](int kind, int seconds) { sent.emplace_back(kind, seconds); };
    }

    // The painted area as an image, client pixel (0,0) at (0,0).
    QImage Picture()
    {
        const QImage whole = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
        return whole.copy(bar.ClientRect());
    }

    // A press (and release) at client column x, in the middle row.
    void Click(Qt::MouseButton button, int x, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::mouseClick(&bar, button, mods, ClientPoint(x));
    }

    QPoint ClientPoint(int x) const { return bar.ClientRect().topLeft() + QPoint(x, kHeightPx / 2); }

    // Columns of row y with colour c, as [first, last] runs.
    static std::vector<std::pair<int, int>> Runs(const QImage& img, int y, QRgb c)
    {
        std::vector<std::pair<int, int>> runs;
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) != c)
                continue;
            if (!runs.empty() && runs.back().second == x - 1)
                runs.back().second = x;
            else
                runs.emplace_back(x, x);
        }
        return runs;
    }

    using Runs_t = std::vector<std::pair<int, int>>;
    CWposCtrl bar;
    std::unique_ptr<QObject> owner;
    std::vector<std::pair<int, int>> sent;
};

TEST_F(WposCtrlTest, BeforeAnyFileTheBarIsDarkBlueWithALightBlueLineAtTheLeft)
{
    EXPECT_EQ(bar.m_nLength, 5000);
    const QImage img = Picture();
    for (int y = 0; y < kHeightPx; ++y) {
        EXPECT_EQ(Runs(img, y, kLightBlue), (Runs_t{{0, 0}})) << "row " << y;
        EXPECT_EQ(Runs(img, y, kDarkBlue), (Runs_t{{1, kWidthPx - 1}})) << "row " << y;
    }
}

TEST_F(WposCtrlTest, WindowAndSegmentAreDrawnAtTruncatedPixels)
{
    bar.m_nLength = 1000;
    bar.SetViewStart(100); // 310 * 100 / 1000 = 31
    bar.SetViewEnd(500);   // 155
    bar.SetFrom(200);      // 62
    bar.SetTo(399);        // 123.69 -> 123
    const QImage img = Picture();
    EXPECT_EQ(bar.m_nViewStartPx, 31);
    EXPECT_EQ(bar.m_nViewEndPx, 155);
    EXPECT_EQ(bar.m_nFromPx, 62);
    EXPECT_EQ(bar.m_nToPx, 123);
    EXPECT_EQ(bar.m_rcClient, QRect(0, 0, kWidthPx, kHeightPx));
    for (int y = 0; y < kHeightPx; ++y) {
        const bool band = y >= kHeightPx * 3 / 8 && y < kHeightPx * 5 / 8;
        EXPECT_EQ(Runs(img, y, kDarkBlue), (Runs_t{{0, 30}, {155, kWidthPx - 1}})) << "row " << y;
        if (band) {
            EXPECT_EQ(Runs(img, y, kYellow), (Runs_t{{62, 122}})) << "row " << y;
            EXPECT_EQ(Runs(img, y, kLightBlue), (Runs_t{{31, 61}, {123, 154}})) << "row " << y;
        } else {
            EXPECT_TRUE(Runs(img, y, kYellow).empty()) << "row " << y;
            EXPECT_EQ(Runs(img, y, kLightBlue), (Runs_t{{31, 154}})) << "row " << y;
        }
    }
}

TEST_F(WposCtrlTest, NarrowOrReversedWindowIsOnePixelAndEqualSegmentPixelsDrawNoYellow)
{
    bar.m_nLength = 1000;
    // Seconds 1 and 4 land on pixels 0 and 1; seconds 1 and 3 both on pixel 0.
    bar.SetViewStart(1);
    bar.SetViewEnd(4);
    bar.SetFrom(1);
    bar.SetTo(3);
    QImage img = Picture();
    EXPECT_EQ(bar.m_nViewStartPx, 0);
    EXPECT_EQ(bar.m_nViewEndPx, 1);
    EXPECT_EQ(Runs(img, 7, kLightBlue), (Runs_t{{0, 0}}));
    EXPECT_TRUE(Runs(img, 7, kYellow).empty());

    bar.SetViewStart(500); // end before start: a line at the start pixel
    bar.SetViewEnd(400);
    bar.SetTo(4); // pixels 0 and 1: one yellow column
    img = Picture();
    EXPECT_EQ(Runs(img, 0, kLightBlue), (Runs_t{{155, 155}}));
    EXPECT_EQ(Runs(img, 7, kYellow), (Runs_t{{0, 0}}));

    bar.SetViewEnd(500);
    bar.SetFrom(600); // From after To: no band
    bar.SetTo(300);
    img = Picture();
    EXPECT_EQ(Runs(img, 0, kLightBlue), (Runs_t{{155, 155}}));
    EXPECT_TRUE(Runs(img, 7, kYellow).empty());
}

TEST_F(WposCtrlTest, ClicksBecomeViewFromAndToAtTheirConditions)
{
    bar.m_nLength = 1000;
    bar.m_nFrom = 2;
    bar.m_nTo = 4;
    Click(Qt::LeftButton, 1); // 1000 * 1 / 310 = 3
    Click(Qt::LeftButton, 1, Qt::ControlModifier);  // 3 < To 4: From
    Click(Qt::RightButton, 1, Qt::ControlModifier); // 3 > From 2: To
    Click(Qt::RightButton, 1);                       // plain right: nothing
    Click(Qt::MiddleButton, 1, Qt::ControlModifier); // nothing
    EXPECT_EQ(sent, (Runs_t{{WPOS_SETVIEW, 3}, {WPOS_SETFROM, 3}, {WPOS_SETTO, 3}}));

    sent.clear();
    bar.m_nTo = 3; // exactly at To
    bar.m_nFrom = 3; // exactly at From
    Click(Qt::LeftButton, 1, Qt::ControlModifier);
    Click(Qt::RightButton, 1, Qt::ControlModifier);
    EXPECT_TRUE(sent.empty());

    // The marks do not move by themselves, and nothing is clamped.
    bar.m_nFrom = -50;
    bar.m_nTo = 2000;
    Click(Qt::LeftButton, kWidthPx - 1, Qt::ControlModifier);
    Click(Qt::RightButton, 0, Qt::ControlModifier);
    EXPECT_EQ(sent, (Runs_t{{WPOS_SETFROM, 996}, {WPOS_SETTO, 0}}));
    EXPECT_EQ(bar.m_nFrom, -50);
    EXPECT_EQ(bar.m_nTo, 2000);

    // A press on the sunken edge is outside the bar.
    sent.clear();
    QTest::mouseClick(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(0, kHeightPx / 2));
    EXPECT_TRUE(sent.empty());
}

TEST_F(WposCtrlTest, DoubleClickActsAsOneClick)
{
    bar.m_nLength = 1000;
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    // Through the window system, as a real double click arrives.
    QTest::mouseDClick(bar.windowHandle(), Qt::LeftButton, Qt::NoModifier, ClientPoint(31));
    EXPECT_EQ(sent, (Runs_t{{WPOS_SETVIEW, 100}}));
}

TEST_F(WposCtrlTest, WithoutOwnerOrCallbackNothingIsSent)
{
    bar.m_nLength = 1000;
    bar.m_nTo = 500;
    auto fn = bar.m_pfnNotify;
    bar.m_pOwner = nullptr;
    Click(Qt::LeftButton, 10);
    Click(Qt::LeftButton, 10, Qt::ControlModifier);
    bar.m_pOwner = owner.get();
    bar.m_pfnNotify = nullptr;
    Click(Qt::LeftButton, 10);
    Click(Qt::RightButton, 10, Qt::ControlModifier);
    EXPECT_TRUE(sent.empty());
    bar.m_pfnNotify = fn; // set again, it works again
    Click(Qt::LeftButton, 10);
    EXPECT_EQ(sent, (Runs_t{{WPOS_SETVIEW, 32}}));
}

TEST_F(WposCtrlTest, LengthZeroPaintsTheBarOnlyAndSendsNothing)
{
    bar.m_nLength = 0;
    bar.SetViewStart(0);
    bar.SetViewEnd(1);
    bar.SetFrom(0);
    bar.SetTo(1);
    const QImage img = Picture();
    for (int y = 0; y < kHeightPx; ++y)
        EXPECT_EQ(Runs(img, y, kDarkBlue), (Runs_t{{0, kWidthPx - 1}})) << "row " << y;
    Click(Qt::LeftButton, 100);
    Click(Qt::LeftButton, 100, Qt::ControlModifier);
    Click(Qt::RightButton, 100, Qt::ControlModifier);
    EXPECT_TRUE(sent.empty());
}

} // namespace
