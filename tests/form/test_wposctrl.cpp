// The position bar on a painted area of 310 x 16 pixels: its picture and the notifications its clicks send.
#include <QtTest>

#include <gtest/gtest.h>

#include "form/WposCtrl.h"

namespace {

using Sent = std::vector<std::pair<int, int>>;

class WposCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.resize(310 + 2 * CWposCtrl::kEdgePx, 16 + 2 * CWposCtrl::kEdgePx);
        bar.m_pOwner = &owner;
        bar.m_pfnNotify = [this](int kind, int seconds) { sent.emplace_back(kind, seconds); };
        bar.m_nLength = 1000;
    }
    void Click(Qt::MouseButton button, int x, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(&bar, button, mods, bar.ClientRect().topLeft() + QPoint(x, 8));
    }
    // Row y of the painted area as colour runs: D(ark blue), L(ight blue) or Y(ellow) and the first column.
    std::string Row(int y)
    {
        const QImage img = bar.grab().toImage().convertToFormat(QImage::Format_RGB32).copy(bar.ClientRect());
        std::string s;
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            if (x == 0 || img.pixel(x - 1, y) != p)
                s += (p == qRgb(0, 0, 128)       ? "D"
                      : p == qRgb(128, 255, 255) ? "L"
                      : p == qRgb(255, 255, 0)   ? "Y"
                                                 : "?") +
                     std::to_string(x) + ' ';
        }
        return s;
    }

    CWposCtrl bar;
    QObject owner;
    Sent sent;
};

// The window light blue, the marks' segment a yellow band across its middle rows; without a length the bar only.
TEST_F(WposCtrlTest, WindowAndSegmentAreDrawnAtTruncatedPixels)
{
    bar.SetViewStart(100);
    bar.SetViewEnd(500);
    bar.SetFrom(200);
    bar.SetTo(399); // 123.69 px
    for (int y : {0, 5, 10, 15})
        EXPECT_EQ(Row(y), "D0 L31 D155 ") << y;
    for (int y : {6, 9}) // the yellow band
        EXPECT_EQ(Row(y), "D0 L31 Y62 L123 D155 ") << y;
    EXPECT_EQ(bar.m_rcClient, QRect(0, 0, 310, 16));
    bar.m_nLength = 0;
    bar.repaint();
    EXPECT_EQ(Row(7), "D0 ");
}

// Clicks send View, From and To only on the right side of the other mark; nothing without a length or a receiver.
TEST_F(WposCtrlTest, ClicksBecomeViewFromAndToOnlyOnTheRightSideOfTheOtherMark)
{
    bar.m_nFrom = 2;
    bar.m_nTo = 4;
    Click(Qt::LeftButton, 1); // second 3
    Click(Qt::LeftButton, 1, Qt::ControlModifier);
    Click(Qt::RightButton, 1, Qt::ControlModifier);
    Click(Qt::RightButton, 1);
    EXPECT_EQ(sent, (Sent{{WPOS_SETVIEW, 3}, {WPOS_SETFROM, 3}, {WPOS_SETTO, 3}}));
    sent.clear();
    bar.m_nFrom = bar.m_nTo = 3; // at the marks
    Click(Qt::LeftButton, 1, Qt::ControlModifier);
    Click(Qt::RightButton, 1, Qt::ControlModifier);
    bar.m_nLength = 0;
    Click(Qt::LeftButton, 100);
    bar.m_nLength = 1000;
    bar.m_pfnNotify = nullptr;
    Click(Qt::LeftButton, 10);
    EXPECT_TRUE(sent.empty());
}

} // namespace
