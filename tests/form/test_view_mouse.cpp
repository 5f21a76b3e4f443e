// Pointer and keyboard input on the main form: the status line, clicks in the
// spectrogram, the reference level's up-down control, and resizing.
#include <QPushButton>
#include <QToolButton>

#include "test_view_support.h"

using namespace viewtest;

namespace {

class ViewInput : public ViewFixture {
protected:
    // A source of nSec seconds with a recording time.
    QString Source(const char* name, int nSec)
    {
        const WallTime start{2010, 3, 1, 12, 0, 0};
        const WallTime stop{2010, 3, 1, static_cast<uint16_t>(12 + nSec / 3600),
                            static_cast<uint16_t>(nSec / 60 % 60), static_cast<uint16_t>(nSec % 60)};
        const QString path = Path(name);
        EXPECT_TRUE(WriteFile(path, MonoWave(static_cast<uint32_t>(nSec) * 1000, &start, &stop)));
        return path;
    }
    QRect PlotRect() const { return m_view->m_pPlot->m_rcPlot; }
    void ClickPlot(int x) { QTest::mouseClick(Form(), Qt::LeftButton, Qt::NoModifier, QPoint(x, PlotRect().center().y())); }
    int Span() const { return Bar().m_nViewEnd - Bar().m_nViewStart; }
    CSpinArrows* Spin() const { return static_cast<CSpinArrows*>(m_view->Control(1012)); }
};

} // namespace

TEST_F(ViewInput, StatusLineFollowsThePointerOverAndOffThePlot)
{
    ShowView(Source("long.wav", 3600));
    ASSERT_EQ(PlotRect(), m_view->PlotAreaRect());
    const int nEndSec = Bar().m_nViewEnd;
    ASSERT_GT(nEndSec, 100); // the first picture set the window's end
    const QRect rc = PlotRect();

    QTest::mouseMove(Form(), QPoint(rc.left(), rc.center().y()));
    EXPECT_EQ(m_view->m_wndStatus->text(), QStringLiteral("Cursor = 0 Sec"));
    const int x = rc.left() + rc.width() / 3;
    QTest::mouseMove(Form(), QPoint(x, rc.top()));
    EXPECT_EQ(m_view->m_wndStatus->text(),
              QStringLiteral("Cursor = %1 Sec").arg((x - rc.left()) * nEndSec / rc.width()));
    QTest::mouseMove(Form(), QPoint(rc.right(), rc.bottom()));
    EXPECT_EQ(m_view->m_wndStatus->text(),
              QStringLiteral("Cursor = %1 Sec").arg((rc.width() - 1) * nEndSec / rc.width()));
    EXPECT_LT((rc.width() - 1) * nEndSec / rc.width(), nEndSec);

    QTest::mouseMove(Form(), QPoint(rc.right() + 1, rc.bottom()));
    EXPECT_EQ(m_view->m_wndStatus->text(), QStringLiteral("View 0 Sec to %1 Sec").arg(nEndSec));
    QTest::mouseMove(Form(), QPoint(rc.left(), rc.top() - 1));
    EXPECT_EQ(m_view->m_wndStatus->text(), QStringLiteral("View 0 Sec to %1 Sec").arg(nEndSec));
}

TEST_F(ViewInput, PlotClicksCentreTheWindowAndClampAtBothEnds)
{
    ShowView(Source("long.wav", 3600));
    const int nSpanSec = Span();
    ASSERT_GT(nSpanSec, 100);
    ASSERT_LT(nSpanSec, 3600);

    // At the left edge with the window at 0: back by half a span, held at 0.
    ClickPlot(PlotRect().left());
    EXPECT_EQ(m_doc->m_nViewStart, 0);
    EXPECT_EQ(Bar().m_nViewStart, 0);
    EXPECT_EQ(m_view->m_wndStatus->text(), QStringLiteral("View 0 Sec to %1 Sec").arg(Bar().m_nViewEnd));

    // A click near the bar's end asks for a start past length - span.
    const QRect client = Bar().ClientRect();
    QTest::mouseClick(&Bar(), Qt::LeftButton, Qt::NoModifier, QPoint(client.right() - 1, client.center().y()));
    const int nLastStartSec = 3600 - nSpanSec;
    EXPECT_EQ(m_doc->m_nViewStart, nLastStartSec);
    EXPECT_EQ(Bar().m_nViewStart, nLastStartSec);
    EXPECT_EQ(Bar().m_nViewEnd, 3600);
    EXPECT_EQ(m_view->m_wndStatus->text(), QStringLiteral("View %1 Sec to 3600 Sec").arg(nLastStartSec));

    // At the plot's right edge the window cannot go further.
    ClickPlot(PlotRect().right());
    EXPECT_EQ(m_doc->m_nViewStart, nLastStartSec);

    // At the left edge it centres on its own start.
    const int nSpanNowSec = Span();
    ClickPlot(PlotRect().left());
    EXPECT_EQ(m_doc->m_nViewStart, nLastStartSec - nSpanNowSec / 2);
    EXPECT_EQ(m_doc->m_nDrawnStart, m_doc->m_nViewStart); // the picture followed

    // In the middle of the window: centred on the clicked second.
    const int nStartSec = Bar().m_nViewStart;
    const int span = Span();
    const int x = PlotRect().left() + PlotRect().width() / 4;
    ClickPlot(x);
    const int clicked = (x - PlotRect().left()) * span / PlotRect().width();
    EXPECT_EQ(m_doc->m_nViewStart, nStartSec + clicked - span / 2);

    // Clicks outside the plot area move nothing.
    const int nBeforeSec = m_doc->m_nViewStart;
    QTest::mouseClick(Form(), Qt::LeftButton, Qt::NoModifier, QPoint(PlotRect().right() + 1, PlotRect().center().y()));
    EXPECT_EQ(m_doc->m_nViewStart, nBeforeSec);
}

TEST_F(ViewInput, WindowWiderThanTheFileStartsAtZero)
{
    ShowView(Source("short.wav", 10));
    ASSERT_EQ(m_doc->m_nLengthSec, 10);
    // A window wider than the file: length - span is negative.
    Bar().m_nViewEnd = 25;
    ClickPlot(PlotRect().left() + PlotRect().width() / 2);
    EXPECT_EQ(m_doc->m_nViewStart, 0);
    EXPECT_EQ(Bar().m_nViewStart, 0);
    Bar().m_nViewEnd = 25;
    m_view->OnPosBarNotify(WPOS_SETVIEW, 7);
    EXPECT_EQ(m_doc->m_nViewStart, 0);
    EXPECT_EQ(m_doc->m_wave.GetPositionSeconds(), 0u);
}

TEST_F(ViewInput, SourceShorterThanOneSecondDividesNothingByZero)
{
    const QString path = Path("tiny.wav");
    ASSERT_TRUE(WriteFile(path, MonoWave(500, nullptr, nullptr, 8000)));
    ShowView(path);
    ASSERT_TRUE(m_doc->m_bLoaded);
    ASSERT_EQ(m_doc->m_nLengthSec, 0);
    QTest::mouseMove(Form(), PlotRect().center());
    EXPECT_EQ(m_view->m_wndStatus->text(), QStringLiteral("Cursor = 0 Sec"));
    ClickPlot(PlotRect().center().x());
    EXPECT_EQ(m_doc->m_nViewStart, 0);
    const QRect client = Bar().ClientRect();
    QTest::mouseClick(&Bar(), Qt::LeftButton, Qt::NoModifier, client.center());
    QTest::mouseClick(&Bar(), Qt::RightButton, Qt::ControlModifier, client.center());
    Paint();
    EXPECT_EQ(m_doc->m_nViewStart, 0);
}

TEST_F(ViewInput, SpinStepsTheReferenceLevelBetweenItsLimits)
{
    ShowView(Source("long.wav", 3600));
    m_doc->m_nRefLevel = 80;
    QTest::mouseClick(Spin()->m_btnUp, Qt::LeftButton);
    EXPECT_EQ(m_doc->m_nRefLevel, 100);
    EXPECT_EQ(Text(1020), QStringLiteral("100"));
    EXPECT_EQ(m_doc->m_nDrawnStart, m_doc->m_nViewStart); // drawn again for the new level
    EXPECT_TRUE(Spin()->hasFocus());

    // At the limit nothing changes, not even the label.
    m_view->m_strRefLevel = QStringLiteral("unchanged");
    m_view->UpdateData(false);
    QTest::keyClick(Spin(), Qt::Key_Up);
    EXPECT_EQ(m_doc->m_nRefLevel, 100);
    EXPECT_EQ(Text(1020), QStringLiteral("unchanged"));

    QTest::keyClick(Spin(), Qt::Key_Down);
    EXPECT_EQ(m_doc->m_nRefLevel, 80);
    EXPECT_EQ(Text(1020), QStringLiteral("80"));

    // The lower limit holds the same way.
    m_doc->m_nRefLevel = -100;
    QTest::mouseClick(Spin()->m_btnDown, Qt::LeftButton);
    EXPECT_EQ(m_doc->m_nRefLevel, -100);
}

TEST_F(ViewInput, ControlsFollowTheAnchorTableWhenTheWindowGrows)
{
    ShowView(Source("long.wav", 3600));
    std::map<int, QRect> before;
    for (int id = 1000; id <= 1020; ++id)
        if (QWidget* w = m_view->Control(id))
            before[id] = w->geometry();
    ASSERT_EQ(before.size(), 19u);

    const QSize design = m_view->GetDesignSize();
    m_view->resize(design.width() + 100, design.height() + 60);
    auto moved = [&](int id) {
        const QRect now = m_view->Control(id)->geometry();
        const QRect was = before[id];
        return QRect(now.left() - was.left(), now.top() - was.top(), now.width() - was.width(),
                     now.height() - was.height());
    };
    EXPECT_EQ(moved(1004), QRect(0, 0, 100, 60));  // plot area stretches both ways
    EXPECT_EQ(moved(1013), QRect(0, 60, 100, 0));  // bar: bottom, across
    EXPECT_EQ(moved(1018), QRect(0, 60, 100, 0));  // help line
    EXPECT_EQ(moved(1000), QRect(0, 0, 0, 0));
    EXPECT_EQ(moved(1012), QRect(0, 30, 0, 0));    // spin at mid height
    EXPECT_EQ(moved(1002), QRect(0, 0, 100, 0));   // paths across the top
    EXPECT_EQ(moved(1008), QRect(0, 60, 0, 0));
    EXPECT_EQ(moved(1020), QRect(0, 60, 0, 0));
    EXPECT_EQ(moved(1009), QRect(100, 60, 0, 0));  // Exit, bottom right
    EXPECT_EQ(moved(1011), QRect(100, 60, 0, 0));
    EXPECT_EQ(moved(1006), QRect(50, 60, 0, 0));   // with the centre
    EXPECT_EQ(moved(1014), QRect(50, 60, 0, 0));

    // The next picture is made for the new plot area.
    Paint();
    EXPECT_EQ(PlotRect(), m_view->Control(1004)->geometry());
    EXPECT_EQ(m_view->m_pPlot->m_bitmap.size(), PlotRect().size());
}
