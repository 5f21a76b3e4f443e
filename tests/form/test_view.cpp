// The main form driven by real clicks: labels, status line, plot and bar clicks, the spin, the file buttons, resizing.
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>

#include "test_view_support.h"

namespace {

class ViewTest : public ViewFixture {
protected:
    QRect Plot() const { return m_view->PlotAreaRect(); }
    void ClickPlot(int x) { QTest::mouseClick(m_view->GetLayoutWindow(), Qt::LeftButton, Qt::NoModifier, QPoint(x, Plot().center().y())); }
    void MoveTo(int x, int y) { QTest::mouseMove(m_view->GetLayoutWindow(), QPoint(x, y)); }
    QString Status() const { return m_view->m_wndStatus->text(); }
};

TEST_F(ViewTest, DatedSourceShowsWallClockTimesAndSegmentMarks)
{
    ShowView(Source("hour.wav", 3600));
    EXPECT_EQ(Text(1010), QStringLiteral("06/21/2003 9:05:00 (0 Sec)"));
    EXPECT_EQ(Text(1011), QStringLiteral("06/21/2003 10:05:00 (3600 Sec)"));
    EXPECT_EQ(Text(1006), QStringLiteral("06/21/2003 9:05:00 (0 Secs)"));
    EXPECT_EQ(Text(1007), QStringLiteral("06/21/2003 10:05:00 (3600 Secs)"));
    ClickBar(Qt::LeftButton, Bar().ClientRect().width() / 4, Qt::ControlModifier);
    const int nFromSec = Bar().m_nFrom;
    ASSERT_GT(nFromSec, 0);
    EXPECT_EQ(m_doc->m_timeFrom, CTime(m_doc->m_stStart, -1) + nFromSec);
    EXPECT_EQ(Text(1006), QString::fromStdString(m_doc->m_timeFrom.Format("%m/%d/%Y %-H:%M:%S ")) +
                              QStringLiteral("(%1 Secs)").arg(nFromSec));
    m_doc->m_stStart = SYSTEMTIME{}; // no recording time: plain seconds
    m_view->OnPosBarNotify(WPOS_SETFROM, 120);
    EXPECT_EQ(Text(1006), QStringLiteral("120 Secs"));
}

TEST_F(ViewTest, SourceWithoutRecordingTimeIsTimedByTheFile)
{
    ShowView(Source("plain.wav", 90, false));
    const QRegularExpression date(QStringLiteral(R"(^\d\d/\d\d/\d{4} \d{1,2}:\d\d:\d\d \(0 Sec\)$)"));
    EXPECT_TRUE(date.match(Text(1010)).hasMatch()) << Text(1010).toStdString();
    EXPECT_TRUE(Text(1007).endsWith(QStringLiteral(" (%1 Secs)").arg(m_doc->m_nLengthSec)));
}

TEST_F(ViewTest, StatusLineFollowsThePointerOverAndOffThePlot)
{
    ShowView(Source("hour.wav", 3600));
    const int nEndSec = Bar().m_nViewEnd;
    const QRect rc = Plot();
    MoveTo(rc.left(), rc.center().y());
    EXPECT_EQ(Status(), QStringLiteral("Cursor = 0 Sec"));
    MoveTo(rc.left() + rc.width() / 3, rc.top());
    EXPECT_EQ(Status(), QStringLiteral("Cursor = %1 Sec").arg(rc.width() / 3 * nEndSec / rc.width()));
    MoveTo(rc.right() + 1, rc.bottom());
    EXPECT_EQ(Status(), QStringLiteral("View 0 Sec to %1 Sec").arg(nEndSec));
}

TEST_F(ViewTest, PlotClicksCentreTheWindowAndClampAtBothEnds)
{
    ShowView(Source("hour.wav", 3600));
    const int nSpanSec = Bar().m_nViewEnd;
    ASSERT_LT(nSpanSec, 3600);
    ClickPlot(Plot().left());
    EXPECT_EQ(m_doc->m_nViewStart, 0);
    ClickBar(Qt::LeftButton, -2); // asks for a start past length - span
    EXPECT_EQ(m_doc->m_nViewStart, 3600 - nSpanSec);
    EXPECT_EQ(Status(), QStringLiteral("View %1 Sec to 3600 Sec").arg(3600 - nSpanSec));
    ClickPlot(Plot().right());
    EXPECT_EQ(m_doc->m_nViewStart, 3600 - nSpanSec);
    ClickPlot(Plot().left());
    EXPECT_EQ(m_doc->m_nViewStart, 3600 - nSpanSec - nSpanSec / 2);
    EXPECT_EQ(Bar().m_nViewStart, m_doc->m_nViewStart);
}

TEST_F(ViewTest, WindowWiderThanTheFileStartsAtZero)
{
    ShowView(Source("short.wav", 10));
    Bar().m_nViewEnd = 25;
    m_view->OnPosBarNotify(WPOS_SETVIEW, 7); // length - span is negative
    EXPECT_EQ(m_doc->m_nViewStart, 0);
    EXPECT_EQ(m_doc->m_wave.GetPositionSeconds(), 0u);
}

TEST_F(ViewTest, SpinStepsTheReferenceLevelBetweenItsLimits)
{
    ShowView(Source("hour.wav", 3600));
    auto* spin = static_cast<CSpinArrows*>(m_view->Control(1012));
    m_doc->m_nRefLevel = 80;
    QTest::mouseClick(spin->m_btnUp, Qt::LeftButton);
    EXPECT_EQ(m_doc->m_nRefLevel, 100);
    EXPECT_EQ(Text(1020), QStringLiteral("100"));
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(m_doc->m_nRefLevel, 100);
    m_doc->m_nRefLevel = -100;
    QTest::mouseClick(spin->m_btnDown, Qt::LeftButton);
    EXPECT_EQ(m_doc->m_nRefLevel, -100);
}

TEST_F(ViewTest, SrcFileCancelledLeavesTheSourceClosedAndClicksIdle)
{
    const QString hour = Source("hour.wav", 3600);
    m_doc->m_strDestPath = Path("cut.wav");
    ShowView(hour);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled());
    Click(1000); // no answer: cancelled
    EXPECT_EQ(m_dialogs.m_asked, QStringList{QStringLiteral("open:") + hour + QStringLiteral("|Wave Files (*.wav)")});
    EXPECT_FALSE(m_doc->m_bLoaded);
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());
    const int nViewStartSec = m_doc->m_nViewStart;
    ClickBar(Qt::LeftButton, -2);
    ClickBar(Qt::LeftButton, 20, Qt::ControlModifier);
    ClickPlot(Plot().center().x());
    EXPECT_EQ(m_doc->m_nViewStart, nViewStartSec);
    EXPECT_EQ(Bar().m_nFrom, 0);
}

TEST_F(ViewTest, DestinationEnablesSaveOnlyWithASource)
{
    ShowView(QString());
    m_dialogs.m_answers = {Path("cut.wav"), Source("hour.wav", 3600)};
    Click(1001);
    EXPECT_EQ(m_dialogs.m_asked.value(0), QStringLiteral("save:|Wave Files (*.wav)"));
    EXPECT_EQ(Text(1003), Path("cut.wav"));
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());
    Click(1000);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled());
}

TEST_F(ViewTest, PlotStretchesAndExitStaysAtTheBottomRightWhenTheWindowGrows)
{
    ShowView(Source("hour.wav", 60));
    const QRect plot = m_view->Control(1004)->geometry(), exit = m_view->Control(1009)->geometry();
    m_view->resize(m_view->GetDesignSize() + QSize(100, 60));
    EXPECT_EQ(m_view->Control(1004)->geometry(), plot.adjusted(0, 0, 100, 60));
    EXPECT_EQ(m_view->Control(1009)->geometry(), exit.translated(100, 60));
}

} // namespace
