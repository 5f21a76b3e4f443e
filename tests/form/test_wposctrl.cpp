// The position bar on a painted area of 310 x 16 pixels: its picture and the notifications its clicks send.
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "form/WposCtrl.h"

namespace {

using Runs = std::vector<std::pair<int, int>>;
const QRgb kDarkBlue = qRgb(0, 0, 128), kLightBlue = qRgb(128, 255, 255), kYellow = qRgb(255, 255, 0);

class WposCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.resize(310 + 2 * CWposCtrl::kEdgePx, 16 + 2 * CWposCtrl::kEdgePx);
        bar.m_pOwner = &owner;
        bar.m_pfnNotify = [this](int kind, int seconds) { sent.emplace_back(kind, seconds); };
        bar.m_nLength = 1000;
    }
    void Click(Qt::MouseButton button, int x, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::mouseClick(&bar, button, mods, bar.ClientRect().topLeft() + QPoint(x, 8));
    }
    // Runs [first, last] of colour c in row y of the painted area.
    Runs RowRuns(int y, QRgb c)
    {
        const QImage img = bar.grab().toImage().convertToFormat(QImage::Format_RGB32).copy(bar.ClientRect());
        Runs runs;
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == c) {
                if (!runs.empty() && runs.back().second == x - 1)
                    runs.back().second = x;
                else
                    runs.emplace_back(x, x);
            }
        return runs;
    }

    CWposCtrl bar;
    QObject owner;
    Runs sent;
};

TEST_F(WposCtrlTest, WindowAndSegmentAreDrawnAtTruncatedPixels)
{
    bar.SetViewStart(100);
    bar.SetViewEnd(500);
    bar.SetFrom(200);
    bar.SetTo(399); // 123.69 px
    EXPECT_EQ(RowRuns(0, kDarkBlue), (Runs{{0, 30}, {155, 309}}));
    EXPECT_EQ(RowRuns(0, kLightBlue), (Runs{{31, 154}}));
    EXPECT_TRUE(RowRuns(5, kYellow).empty());
    EXPECT_EQ(RowRuns(6, kYellow), (Runs{{62, 122}})); // the band covers rows 6 to 9
    EXPECT_EQ(RowRuns(9, kLightBlue), (Runs{{31, 61}, {123, 154}}));
    EXPECT_EQ(bar.m_rcClient, QRect(0, 0, 310, 16));
}

TEST_F(WposCtrlTest, ClicksBecomeViewFromAndToOnlyOnTheRightSideOfTheOtherMark)
{
    bar.m_nFrom = 2;
    bar.m_nTo = 4;
    Click(Qt::LeftButton, 1); // second 3
    Click(Qt::LeftButton, 1, Qt::ControlModifier);
    Click(Qt::RightButton, 1, Qt::ControlModifier);
    Click(Qt::RightButton, 1);
    EXPECT_EQ(sent, (Runs{{WPOS_SETVIEW, 3}, {WPOS_SETFROM, 3}, {WPOS_SETTO, 3}}));
    sent.clear();
    bar.m_nFrom = bar.m_nTo = 3; // at the marks
    Click(Qt::LeftButton, 1, Qt::ControlModifier);
    Click(Qt::RightButton, 1, Qt::ControlModifier);
    EXPECT_TRUE(sent.empty());
    bar.m_pOwner = nullptr;
    Click(Qt::LeftButton, 10);
    bar.m_pOwner = &owner;
    bar.m_pfnNotify = nullptr;
    Click(Qt::LeftButton, 10);
    EXPECT_TRUE(sent.empty());
}

TEST_F(WposCtrlTest, LengthZeroPaintsTheBarOnlyAndSendsNothing)
{
    bar.m_nLength = 0;
    bar.SetViewEnd(1);
    bar.SetTo(1);
    EXPECT_EQ(RowRuns(7, kDarkBlue), (Runs{{0, 309}}));
    Click(Qt::LeftButton, 100);
    Click(Qt::LeftButton, 100, Qt::ControlModifier);
    Click(Qt::RightButton, 100, Qt::ControlModifier);
    EXPECT_TRUE(sent.empty());
}

} // namespace
