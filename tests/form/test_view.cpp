// The main form driven by real clicks on the offscreen platform: labels, status line, plot and bar clicks,
// the spin, the file buttons, and "Save Segment" end to end against `tavirel-cli cut`.
#include <QCoreApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "doc/ProfileStore.h"
#include "doc/TavirelDoc.h"
#include "form/TavirelView.h"
#include "support/ScriptedDialogs.h"
#include "support/WaveBytes.h"

namespace {

using Bytes = std::vector<uint8_t>;
const std::vector<uint32_t> kAuxiValues{7050000, 64000000, 11, 4000, 12, 13, 14, 15, 16, 17};
const SYSTEMTIME kStart{2003, 6, 6, 21, 9, 5, 0, 0};
int16_t SampleAt(size_t f, size_t c) { return static_cast<int16_t>(f * 3 + c * 12345); }

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "Europe/Berlin", 1); // recording times are shown as stored, not shifted
        tzset();
        m_store = std::make_unique<CSettingsStore>(Path("Tavirel.conf"));
        m_doc = std::make_unique<CTavirelDoc>(m_store.get());
        ASSERT_TRUE(m_doc->OnNewDocument());
        CFileDialogs::SetInstance(&m_dialogs);
    }
    void TearDown() override
    {
        m_view.reset();
        CFileDialogs::SetInstance(nullptr);
    }

    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    Bytes Read(const char* name) const { return riff::ReadFile(Path(name).toStdString()); }

    // A two-channel 16-bit source of nSec seconds at 1000 frames/s, recorded from 9:05:00 on 21 June 2003 if dated.
    QString Source(const char* name, int nSec, bool dated = true)
    {
        riff::WaveShape shape(2, 1000, 16);
        SYSTEMTIME stop{};
        if (dated && (CTime(kStart, -1) + nSec).GetAsSystemTime(stop))
            shape.auxi = riff::AuxiPayload(kStart, stop, kAuxiValues);
        const riff::Bytes data = riff::Gen16(nSec * 2000u, [](size_t i) { return SampleAt(i / 2, i % 2); });
        EXPECT_TRUE(riff::WriteFile(Path(name).toStdString(), riff::WaveFile(shape, data)));
        return Path(name);
    }

    // Constructs, shows and first paints the view, as the main window does.
    void ShowView(const QString& srcPath)
    {
        m_doc->m_strSrcPath = srcPath;
        m_view = std::make_unique<CTavirelView>(m_doc.get());
        m_view->resize(m_view->GetDesignSize());
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->OnInitialUpdate();
        m_view->GetLayoutWindow()->repaint();
    }

    QString Text(int id) const { return static_cast<QLabel*>(m_view->Control(id))->text(); }
    QString Status() const { return m_view->m_wndStatus->text(); }
    void Click(int id) { QTest::mouseClick(m_view->Control(id), Qt::LeftButton); }
    CWposCtrl& Bar() const { return m_view->m_wndPosBar; }
    QRect Plot() const { return m_view->PlotAreaRect(); }
    void ClickPlot(int x) { QTest::mouseClick(m_view->GetLayoutWindow(), Qt::LeftButton, {}, QPoint(x, Plot().center().y())); }
    void MoveTo(int x, int y) { QTest::mouseMove(m_view->GetLayoutWindow(), QPoint(x, y)); }
    // A click on the bar at client column x (negative: from the right end).
    void ClickBar(Qt::MouseButton button, int x, Qt::KeyboardModifiers mods = {})
    {
        const QRect c = Bar().ClientRect();
        QTest::mouseClick(&Bar(), button, mods, QPoint(x < 0 ? c.right() + 1 + x : c.left() + x, c.center().y()));
    }

    // Shows a 60 s source, chooses the destination and marks From and To at bar columns fromPx, toPx.
    void PrepareSave(int fromPx, int toPx)
    {
        ShowView(Source("src.wav", 60));
        m_dialogs.m_answers = {Path("cut.wav")};
        Click(1001);
        ClickBar(Qt::LeftButton, fromPx, Qt::ControlModifier);
        ClickBar(Qt::RightButton, toPx, Qt::ControlModifier);
        ASSERT_LT(Bar().m_nFrom, Bar().m_nTo);
    }
    void PressSave() { QTest::mouseClick(m_view->m_btnSave, Qt::LeftButton); }

    // The segment for the marks: whole 2048-frame blocks from where the reader puts the From second
    // (its rate counts the last block whole), zeros past the source's end.
    Bytes ExpectedSegment() const
    {
        const int from = Bar().m_nFrom, to = Bar().m_nTo;
        SYSTEMTIME a, b;
        EXPECT_TRUE((CTime(kStart, -1) + from).GetAsSystemTime(a) && (CTime(kStart, -1) + to).GetAsSystemTime(b));
        const size_t first = m_doc->m_wave.m_nBytesPerSec * from / 4,
                     blocks = ((to - from) * static_cast<int64_t>(m_doc->m_nTotalFrames) / 60 + 2047) / 2048;
        const riff::Bytes data = riff::Gen16(blocks * 2048 * 2, [&](size_t i) {
            return first + i / 2 < 60000 ? SampleAt(first + i / 2, i % 2) : int16_t{0};
        });
        return riff::Wave(riff::FmtPayload(1, 2, 1000, 16, 18), data, {riff::Chunk("auxi", riff::AuxiPayload(a, b, kAuxiValues))}).v;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CSettingsStore> m_store;
    std::unique_ptr<CTavirelDoc> m_doc;
    CScriptedDialogs m_dialogs;
    std::unique_ptr<CTavirelView> m_view; // destroyed before the document
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

TEST_F(ViewTest, StatusLineFollowsThePointerAndClicksMoveTheWindowWithinTheFile)
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
    // Clicks centre the window on the clicked second, held between 0 and length - span.
    const int nSpanSec = nEndSec;
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
    ShowView(Source("short.wav", 10));
    auto* spin = static_cast<CSpinArrows*>(m_view->Control(1012));
    m_doc->m_nRefLevel = 80;
    QTest::mouseClick(spin->m_btnUp, Qt::LeftButton);
    EXPECT_EQ(Text(1020), QStringLiteral("100"));
    QTest::mouseClick(spin->m_btnUp, Qt::LeftButton);
    EXPECT_EQ(m_doc->m_nRefLevel, 100);
    m_doc->m_nRefLevel = -100;
    QTest::mouseClick(spin->m_btnDown, Qt::LeftButton);
    EXPECT_EQ(m_doc->m_nRefLevel, -100);
}

TEST_F(ViewTest, SrcFileCancelledLeavesTheSourceClosedAndClicksIdle)
{
    const QString src = Source("short.wav", 10);
    m_doc->m_strDestPath = Path("cut.wav");
    ShowView(src);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled());
    Click(1000); // no answer: cancelled
    EXPECT_EQ(m_dialogs.m_asked, QStringList{QStringLiteral("open:") + src + QStringLiteral("|Wave Files (*.wav)")});
    EXPECT_FALSE(m_doc->m_bLoaded);
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());
    const int nViewStartSec = m_doc->m_nViewStart;
    ClickBar(Qt::LeftButton, -2);
    ClickPlot(Plot().center().x());
    EXPECT_EQ(m_doc->m_nViewStart, nViewStartSec);
}

TEST_F(ViewTest, DestinationEnablesSaveOnlyWithASource)
{
    ShowView(QString());
    m_dialogs.m_answers = {Path("cut.wav"), Source("short.wav", 10)};
    Click(1001);
    EXPECT_EQ(m_dialogs.m_asked.value(0), QStringLiteral("save:|Wave Files (*.wav)"));
    EXPECT_EQ(Text(1003), Path("cut.wav"));
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());
    Click(1000);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled());
}

TEST_F(ViewTest, SaveWritesNumberedSegmentsByteForByteAndPassesOverExistingFiles)
{
    PrepareSave(60, 150);
    PressSave();
    EXPECT_TRUE(Read("cut_001.wav") == ExpectedSegment());
    PressSave();
    EXPECT_TRUE(Read("cut_002.wav") == ExpectedSegment());
    const Bytes earlier{'e', 'a', 'r', 'l', 'y'};
    riff::WriteFile(Path("cut_003.wav").toStdString(), earlier);
    PressSave();
    EXPECT_TRUE(m_dialogs.Questions().isEmpty());
    EXPECT_TRUE(Read("cut_003.wav") == earlier);
    EXPECT_TRUE(Read("cut_004.wav") == ExpectedSegment());
    EXPECT_TRUE(Read("cut.wav").empty());
}

TEST_F(ViewTest, CommandLineCutWritesTheSameBytesAsTheWindow)
{
    PrepareSave(100, 250);
    PressSave();
    Click(1019); // levelling on
    PressSave();
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../../src/cli/tavirel-cli");
    for (const char* dest : {"plain.wav", "agc.wav"}) {
        QStringList args{QStringLiteral("cut"), Path("src.wav"), QStringLiteral("--from"), QString::number(Bar().m_nFrom),
                         QStringLiteral("--to"), QString::number(Bar().m_nTo), QStringLiteral("--dest"), Path(dest)};
        if (dest[0] == 'a')
            args << QStringLiteral("--agc");
        EXPECT_EQ(QProcess::execute(cli, args), 0);
    }
    EXPECT_TRUE(Read("plain_001.wav") == Read("cut_001.wav"));
    EXPECT_TRUE(Read("agc_001.wav") == Read("cut_002.wav"));
    EXPECT_FALSE(Read("cut_001.wav") == Read("cut_002.wav"));
}

} // namespace
