// The main form driven by real clicks on the offscreen platform: labels, status line, plot and bar clicks,
// the spin, the file buttons, dropped files, tab order, messages about failures, and "Save Segment" end
// to end against `tavirel-cli cut`.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTime>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>

#include "display/SpectrogramPlot.h"
#include "doc/ProfileStore.h"
#include "doc/TavirelDoc.h"
#include "form/TavirelView.h"
#include "support/ScopedTz.h"
#include "support/ScriptedDialogs.h"
#include "support/WaveBytes.h"

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using Bytes = std::vector<uint8_t>;
const std::vector<uint32_t> kAuxiValues{7050000, 64000000, 11, 4000, 12, 13, 14, 15, 16, 17};
const SYSTEMTIME kStart{2003, 6, 6, 21, 9, 5, 0, 0};
int16_t SampleAt(size_t f, size_t c)
{
    return static_cast<int16_t>(f * 3 + c * 12345);
}

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tz.emplace("Europe/Berlin"); // recording times are shown as stored, not shifted
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

    // A two-channel 16-bit source of nSec seconds at 1000 frames/s, recorded from 9:05:00 on 21 June 2003 if dated
    // (for spanSec seconds when given: times that disagree with the samples).
    QString Source(const char* name, int nSec, bool dated = true, int spanSec = 0)
    {
        riff::WaveShape shape(2, 1000, 16);
        SYSTEMTIME stop{};
        if (dated && (CTime(kStart, -1) + (spanSec > 0 ? spanSec : nSec)).GetAsSystemTime(stop))
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
    // The status line's text as one line (a readout too long for it is shown in two).
    QString Status() const { return m_view->m_wndStatus->text().replace(QLatin1Char('\n'), QStringLiteral("  ")); }
    void Click(int id) { QTest::mouseClick(m_view->Control(id), Qt::LeftButton); }
    CWposCtrl& Bar() const { return m_view->m_wndPosBar; }
    QRect Plot() const { return m_view->PictureRect(); }
    void ClickPlot(int x)
    {
        QTest::mouseClick(m_view->GetLayoutWindow(), Qt::LeftButton, {}, QPoint(x, Plot().center().y()));
    }
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
        Click(IDC_DEST_FILE);
        ClickBar(Qt::LeftButton, fromPx, Qt::ControlModifier);
        ClickBar(Qt::RightButton, toPx, Qt::ControlModifier);
        ASSERT_LT(Bar().m_nFrom, Bar().m_nTo);
    }
    void PressSave() { QTest::mouseClick(m_view->m_btnSave, Qt::LeftButton); }

    // The failure messages shown so far; they are shown once pending events are handled.
    QStringList Errors()
    {
        QCoreApplication::sendPostedEvents();
        return m_dialogs.Errors();
    }
    QString CannotOpen(const QString& path, const char* why) const
    {
        return QStringLiteral("Cannot open \"%1\" as a source:\n%2.").arg(path, QString::fromLatin1(why));
    }
    // Drags files onto the form as the desktop does; true when the form takes them, and then drops them.
    bool Drop(const QStringList& paths)
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << (p.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(p) : QUrl(p));
        mime.setUrls(urls);
        const QPointF at = Plot().center();
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &drop);
        return true;
    }

    // The segment for the marks of the 60 s source (1000 frames a second): whole 2048-frame blocks
    // from frame From x 1000 on, zeros past the source's end.
    Bytes ExpectedSegment() const
    {
        const int from = Bar().m_nFrom, to = Bar().m_nTo;
        SYSTEMTIME a, b;
        EXPECT_TRUE((CTime(kStart, -1) + from).GetAsSystemTime(a) && (CTime(kStart, -1) + to).GetAsSystemTime(b));
        const size_t first = from * 1000u, blocks = ((to - from) * 1000u + 2047) / 2048;
        const riff::Bytes data = riff::Gen16(blocks * 2048 * 2, [&](size_t i) {
            return first + i / 2 < 60000 ? SampleAt(first + i / 2, i % 2) : int16_t{0};
        });
        return riff::Wave(riff::FmtPayload(1, 2, 1000, 16, 18), data,
                          {riff::Chunk("auxi", riff::AuxiPayload(a, b, kAuxiValues))})
            .v;
    }

    std::optional<ScopedTz> m_tz; // first member: restored last
    QTemporaryDir m_dir;
    std::unique_ptr<CSettingsStore> m_store;
    std::unique_ptr<CTavirelDoc> m_doc;
    CScriptedDialogs m_dialogs;
    std::unique_ptr<CTavirelView> m_view; // destroyed before the document
};

TEST_F(ViewTest, DatedSourceShowsWallClockTimesAndSegmentMarks)
{
    ShowView(Source("hour.wav", 3600));
    EXPECT_EQ(Text(IDC_START_TIME), QStringLiteral("06/21/2003 9:05:00 (0 Sec)"));
    EXPECT_EQ(Text(IDC_END_TIME), QStringLiteral("06/21/2003 10:05:00 (3600 Sec)"));
    EXPECT_EQ(Text(IDC_FROM), QStringLiteral("06/21/2003 9:05:00 (0 Secs)"));
    EXPECT_EQ(Text(IDC_TO), QStringLiteral("06/21/2003 10:05:00 (3600 Secs)"));
    ClickBar(Qt::LeftButton, Bar().ClientRect().width() / 4, Qt::ControlModifier);
    const int nFromSec = Bar().m_nFrom;
    ASSERT_GT(nFromSec, 0);
    EXPECT_EQ(Text(IDC_FROM), QString::fromStdString(m_doc->m_timeFrom.Format("%m/%d/%Y %-H:%M:%S ")) +
                                  QStringLiteral("(%1 Secs)").arg(nFromSec));
    m_doc->m_stStart = SYSTEMTIME{}; // no recording time: plain seconds
    m_view->OnPosBarNotify(WPOS_SETFROM, 120);
    EXPECT_EQ(Text(IDC_FROM), QStringLiteral("120 Secs"));
}

TEST_F(ViewTest, SourceWithoutRecordingTimeIsTimedByTheFile)
{
    ShowView(Source("plain.wav", 90, false));
    const QRegularExpression date(QStringLiteral(R"(^\d\d/\d\d/\d{4} \d{1,2}:\d\d:\d\d \(0 Sec\)$)"));
    EXPECT_TRUE(date.match(Text(IDC_START_TIME)).hasMatch()) << Text(IDC_START_TIME).toStdString();
    EXPECT_TRUE(Text(IDC_TO).endsWith(QStringLiteral(" (%1 Secs)").arg(m_doc->m_nLengthSec)));
}

TEST_F(ViewTest, StatusLineFollowsThePointerAndClicksMoveTheWindowWithinTheFile)
{
    ShowView(Source("hour.wav", 3600));
    const int nEndSec = Bar().m_nViewEnd;
    const QRect rc = Plot();
    // The wall-clock time of the pointer's column: 2048 frames of 1000 per second each.
    // The readout begins with the form's own "Cursor = %d Sec".
    MoveTo(rc.left(), rc.center().y());
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Cursor = 0 Sec  09:05:00.000  "))) << Status().toStdString();
    MoveTo(rc.left() + rc.width() / 3, rc.top());
    const QString at = QStringLiteral("Cursor = %1 Sec  ").arg(rc.width() / 3 * 2048 / 1000) +
                       QTime(9, 5).addMSecs(rc.width() / 3 * 2048).toString(QStringLiteral("HH:mm:ss.zzz  "));
    EXPECT_TRUE(Status().startsWith(at)) << Status().toStdString();
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
    auto* spin = static_cast<CSpinArrows*>(m_view->Control(IDC_SPIN));
    m_doc->m_nRefLevel = 80;
    QTest::mouseClick(spin->m_btnUp, Qt::LeftButton);
    EXPECT_EQ(Text(IDC_REF_LEVEL), QStringLiteral("100"));
    QTest::mouseClick(spin->m_btnUp, Qt::LeftButton);
    EXPECT_EQ(m_doc->m_nRefLevel, 100);
    m_doc->m_nRefLevel = -100;
    QTest::mouseClick(spin->m_btnDown, Qt::LeftButton);
    EXPECT_EQ(m_doc->m_nRefLevel, -100);
}

// The range's arrows and wheel: 10 dB steps, at least 20 dB; up to the floor
// it follows the reference level again (the label shows the span).
TEST_F(ViewTest, RangeStepsBetweenTwentyDbAndTheFloor)
{
    ShowView(Source("short.wav", 10));
    auto* spin = static_cast<CSpinArrows*>(m_view->Control(IDC_RANGE_SPIN));
    const struct {
        int ref, range;
        QToolButton* button; // null: a wheel notch away from the user
        int rangeAfter;
        const char* text;
    } rows[] = {
        {0, kRangeToFloor, spin->m_btnDown, 150, "150"},
        {0, 150, spin->m_btnUp, kRangeToFloor, "160"},
        {-20, kRangeToFloor, spin->m_btnDown, 130, "130"},
        {0, 20, spin->m_btnDown, 20, "20"},
        {40, 180, nullptr, 190, "190"},
        {40, 190, nullptr, kRangeToFloor, "200"},
    };
    for (const auto& r : rows) {
        m_doc->m_nRefLevel = r.ref;
        m_doc->m_nRangeDb = r.range;
        m_view->UpdateData(false);
        if (r.button) {
            QTest::mouseClick(r.button, Qt::LeftButton);
        } else {
            QWheelEvent wheel(QPointF(2, 2), spin->mapToGlobal(QPointF(2, 2)), QPoint(), QPoint(0, 120), Qt::NoButton,
                              {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(spin, &wheel);
        }
        EXPECT_EQ(m_doc->m_nRangeDb, r.rangeAfter) << r.ref << " " << r.range;
        EXPECT_EQ(Text(IDC_RANGE), QString::fromLatin1(r.text)) << r.ref << " " << r.range;
    }
}

// Export Picture writes the shown picture inside its scales, or the same
// window at a chosen size; a cancelled size or name writes nothing.
TEST_F(ViewTest, ExportPictureAtTheShownOrAChosenSize)
{
    ShowView(Source("short.wav", 10));
    const QString png = Path("shown.png");
    m_dialogs.m_bYes = true;
    m_dialogs.m_answers = QStringList{png};
    m_view->ExportAction()->trigger();
    const QImage shown(png);
    const QImage picture = m_view->m_pPlot->m_bitmap;
    ASSERT_FALSE(shown.isNull());
    const QRect at = m_view->PictureRect().translated(-m_view->PlotAreaRect().topLeft());
    EXPECT_EQ(shown.copy(QRect(at.topLeft(), picture.size())).convertToFormat(picture.format()), picture);
    EXPECT_TRUE(m_dialogs.m_asked.contains(QStringLiteral("size:%1x%2").arg(shown.width()).arg(shown.height())));

    m_dialogs.m_pictureSize = QSize(500, 300);
    m_dialogs.m_answers = QStringList{Path("chosen.png")};
    m_view->ExportAction()->trigger();
    EXPECT_EQ(QImage(Path("chosen.png")).size(), QSize(500, 300));

    m_dialogs.m_bYes = false; // the size is cancelled
    m_dialogs.m_answers = QStringList{Path("none.png")};
    m_view->ExportAction()->trigger();
    EXPECT_FALSE(QFile::exists(Path("none.png")));
}

TEST_F(ViewTest, SrcFileCancelledLeavesTheSourceClosedAndClicksIdle)
{
    const QString src = Source("short.wav", 10);
    m_doc->m_strDestPath = Path("cut.wav");
    ShowView(src);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled());
    Click(IDC_SRC_FILE); // no answer: cancelled
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
    Click(IDC_DEST_FILE);
    EXPECT_EQ(m_dialogs.m_asked.value(0), QStringLiteral("save:|Wave Files (*.wav)"));
    EXPECT_EQ(Text(IDC_DEST_PATH), Path("cut.wav"));
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());
    Click(IDC_SRC_FILE);
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
    Click(IDC_USE_AGC); // levelling on
    PressSave();
    const QString cli = QStringLiteral(TAVIREL_CLI_PATH);
    for (const char* dest : {"plain.wav", "agc.wav"}) {
        QStringList args{QStringLiteral("cut"),    Path("src.wav"),
                         QStringLiteral("--from"), QString::number(Bar().m_nFrom),
                         QStringLiteral("--to"),   QString::number(Bar().m_nTo),
                         QStringLiteral("--dest"), Path(dest)};
        if (dest[0] == 'a')
            args << QStringLiteral("--agc");
        EXPECT_EQ(QProcess::execute(cli, args), 0);
    }
    EXPECT_TRUE(Read("plain_001.wav") == Read("cut_001.wav"));
    EXPECT_TRUE(Read("agc_001.wav") == Read("cut_002.wav"));
    EXPECT_FALSE(Read("cut_001.wav") == Read("cut_002.wav"));
}

TEST_F(ViewTest, SourcesThatCannotBeOpenedSayWhy)
{
    const char* const kMissing = "the file cannot be opened for reading (No such file or directory)";
    riff::WriteFile(Path("notes.wav").toStdString(), Bytes{'n', 'o', 't', 'e', 's'});
    struct Case {
        const char* what;
        std::function<void()> act;
        QStringList errors; // what the message boxes said
        bool bLoaded;       // a source is shown afterwards
    };
    const Case cases[] = {
        {"no source named yet", [&] { ShowView(QString()); }, {}, false},
        {"stored source missing at start",
         [&] { ShowView(Path("gone.wav")); },
         {CannotOpen(Path("gone.wav"), kMissing)},
         false},
        {"a file that is no wave chosen in Src File...",
         [&] {
             ShowView(Source("a.wav", 10));
             m_dialogs.m_answers = {Path("notes.wav")};
             Click(IDC_SRC_FILE);
         },
         {CannotOpen(Path("notes.wav"), "not a RIFF WAVE file")},
         true},
        {"a file that is no wave dropped",
         [&] {
             ShowView(Source("a.wav", 10));
             EXPECT_TRUE(Drop({Path("notes.wav")}));
         },
         {CannotOpen(Path("notes.wav"), "not a RIFF WAVE file")},
         true},
        {"source deleted while shown, found by the next rendering",
         [&] {
             ShowView(Source("a.wav", 10));
             QFile::remove(Path("a.wav"));
             QTest::mouseClick(static_cast<CSpinArrows*>(m_view->Control(IDC_SPIN))->m_btnDown, Qt::LeftButton);
         },
         {CannotOpen(Path("a.wav"), kMissing)},
         false},
    };
    for (const Case& c : cases) {
        m_doc->m_strDestPath = Path("cut.wav");
        m_dialogs.m_asked.clear();
        c.act();
        EXPECT_EQ(Errors(), c.errors) << c.what;
        EXPECT_EQ(m_doc->m_bLoaded, c.bLoaded) << c.what;
        EXPECT_EQ(m_view->m_btnSave->isEnabled(), c.bLoaded) << c.what;
        if (c.bLoaded)
            EXPECT_EQ(Text(IDC_SRC_PATH), Path("a.wav")) << c.what; // the previous source stays
        else
            EXPECT_EQ(Status(), QString()) << c.what; // no window of a source that is gone
    }
}

TEST_F(ViewTest, DroppedWaveFileBecomesTheSource)
{
    ShowView(Source("a.wav", 10));
    ClickBar(Qt::LeftButton, -2, Qt::ControlModifier);
    EXPECT_FALSE(Drop({Source("b.wav", 60), Path("a.wav")})); // one file at a time
    EXPECT_FALSE(Drop({QStringLiteral("https://example.org/b.wav")}));
    EXPECT_EQ(m_doc->m_nLengthSec, 10);
    EXPECT_TRUE(Drop({Path("b.wav")}));
    EXPECT_TRUE(Errors().isEmpty());
    EXPECT_EQ(m_doc->m_strSrcPath, Path("b.wav"));
    EXPECT_EQ(Text(IDC_SRC_PATH), Path("b.wav"));
    EXPECT_EQ(Text(IDC_END_TIME), QStringLiteral("06/21/2003 9:06:00 (60 Sec)"));
    EXPECT_EQ(Bar().m_nTo, 60);
}

TEST_F(ViewTest, FailedSaveSaysWhyInAMessageBoxAndKeepsTheStatusShort)
{
    ShowView(Source("src.wav", 60));
    m_dialogs.m_answers = {Path("no-such-folder/cut.wav")};
    Click(IDC_DEST_FILE);
    PressSave();
    // The same words as tavirel-cli cut prints for this fault.
    EXPECT_EQ(Errors(), QStringList{QStringLiteral("The segment was not saved: no file can be created in the folder %1 "
                                                   "(No such file or directory). No segment file was left behind; "
                                                   "the source was not written to.")
                                        .arg(Path("no-such-folder"))});
    EXPECT_EQ(Status(), QStringLiteral("Save failed"));
}

TEST_F(ViewTest, StatusLineStartsOverWithANewSourceAndFollowsThePointerOverControls)
{
    ShowView(Source("hour.wav", 3600));
    ClickBar(Qt::LeftButton, Bar().ClientRect().width() / 2);
    ASSERT_GT(m_doc->m_nViewStart, 0);
    m_dialogs.m_answers = {Source("other.wav", 3000)};
    Click(IDC_SRC_FILE);
    const int nEndSec = Bar().m_nViewEnd;
    EXPECT_EQ(Status(), QStringLiteral("View 0 Sec to %1 Sec").arg(nEndSec));
    // A wider form draws a longer window; the status line follows.
    m_view->resize(m_view->size() + QSize(200, 0));
    m_view->GetLayoutWindow()->repaint();
    EXPECT_GT(Bar().m_nViewEnd, nEndSec);
    const QString view = QStringLiteral("View 0 Sec to %1 Sec").arg(Bar().m_nViewEnd);
    EXPECT_EQ(Status(), view);
    // Each control in turn, after the pointer was over the picture.
    for (int id : {IDC_SRC_FILE, IDC_SRC_PATH, IDC_FROM, IDC_TO, IDC_SAVE, IDC_EXIT, IDC_START_TIME, IDC_END_TIME,
                   IDC_POS_BAR, IDC_STATUS, IDC_FROM_CAPTION, IDC_HELP_LINE, IDC_USE_AGC, IDC_REF_LEVEL}) {
        MoveTo(Plot().center().x(), Plot().center().y());
        ASSERT_TRUE(Status().contains(QStringLiteral(" MHz "))) << id;
        QWidget* control = m_view->Control(id);
        QTest::mouseMove(control, control->rect().center());
        EXPECT_EQ(Status(), view) << id;
    }
}

// Every control of the form: its class, first text, place in dialog units and
// anchors (in the order they are registered; no second anchor keeps the size).
TEST_F(ViewTest, ControlTable)
{
    const char* const help = "L-Click = Repositions Zoom Window         CTRL-L-Click = Set \"From\" Pos"
                             "       CTRL-R-Click = Set \"To\" Pos";
    struct Row {
        int id;
        const char* cls;
        const char* text;
        QRect du;
        int order; // of its anchoring
        QSize first, second;
    } rows[] = {
        {IDC_SRC_FILE, "QPushButton", "Src File...", {3, 3, 42, 14}, 3, ANCHOR_TOP_LEFT, ANCHOR_NONE},
        {IDC_DEST_FILE, "QPushButton", "Dest File...", {3, 18, 42, 14}, 4, ANCHOR_TOP_LEFT, ANCHOR_NONE},
        {IDC_SRC_PATH, "QLabel", "Source File", {52, 5, 254, 8}, 6, ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT},
        {IDC_DEST_PATH, "QLabel", "Destination File", {52, 21, 254, 8}, 8, ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT},
        {IDC_PLOT_AREA, "QFrame", "", {17, 38, 300, 101}, 0, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT},
        {IDC_FROM, "QLabel", "", {101, 176, 129, 8}, 15, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        {IDC_TO, "QLabel", "", {101, 186, 129, 8}, 16, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        {IDC_SAVE, "QPushButton", "Save Segment", {18, 182, 54, 14}, 10, ANCHOR_BOTTOM_LEFT, ANCHOR_NONE},
        {IDC_EXIT, "QPushButton", "Exit", {240, 181, 54, 14}, 14, ANCHOR_BOTTOM_RIGHT, ANCHOR_NONE},
        {IDC_START_TIME, "QLabel", "StartTime", {5, 162, 96, 8}, 9, ANCHOR_BOTTOM_LEFT, ANCHOR_NONE},
        {IDC_END_TIME, "QLabel", "EndTime", {217, 162, 98, 8}, 13, ANCHOR_BOTTOM_RIGHT, ANCHOR_NONE},
        {IDC_SPIN, "CSpinArrows", "", {4, 55, 8, 69}, 5, ANCHOR_MID_LEFT, ANCHOR_NONE},
        {IDC_POS_BAR, "CWposCtrl", "", {7, 147, 310, 13}, 1, ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_RIGHT},
        {IDC_FROM_CAPTION, "QLabel", "From:", {80, 176, 18, 8}, 17, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        {IDC_TO_CAPTION, "QLabel", "To:", {87, 185, 11, 8}, 18, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        {IDC_HELP_LINE, "QLabel", help, {4, 139, 315, 8}, 2, ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_RIGHT},
        {IDC_USE_AGC, "QCheckBox", "Use AGC", {24, 171, 44, 10}, 11, ANCHOR_BOTTOM_LEFT, ANCHOR_NONE},
        {IDC_STATUS, "QLabel", "", {110, 163, 96, 10}, 19, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        // The level label keeps its row but takes the column left of the plot area.
        {IDC_REF_LEVEL, "QLabel", "99", {3, 126, 11, 11}, 12, ANCHOR_BOTTOM_LEFT, ANCHOR_NONE},
        {IDC_CENTRE_FREQ, "QLabel", "", {180, 30, 137, 8}, 7, ANCHOR_TOP_RIGHT, ANCHOR_NONE},
        // The range of the colour scale above the reference level's arrows, growing at half their pace; its label as
        // wide as the column.
        {IDC_RANGE_SPIN, "CSpinArrows", "", {4, 46, 8, 8}, 20, ANCHOR_TOP_LEFT, QSize(0, 25)},
        {IDC_RANGE, "QLabel", "", {3, 38, 11, 8}, 21, ANCHOR_TOP_LEFT, ANCHOR_NONE},
    };
    m_view = std::make_unique<CTavirelView>(m_doc.get());
    for (const Row& r : rows) {
        QWidget* control = m_view->Control(r.id);
        ASSERT_NE(control, nullptr) << r.id;
        EXPECT_STREQ(control->metaObject()->className(), r.cls) << r.id;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(control))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            text = button->text();
        EXPECT_EQ(text, QString::fromLatin1(r.text)) << r.id;
        const QRect px = m_view->DialogUnitsToPx(r.du.x(), r.du.y(), r.du.width(), r.du.height());
        const QRect got = control->geometry();
        if (r.id == IDC_REF_LEVEL || r.id == IDC_RANGE) {
            EXPECT_EQ(got.top(), px.top());
            EXPECT_EQ(got.height(), px.height());
            EXPECT_LE(got.right(), m_view->Control(IDC_PLOT_AREA)->geometry().left());
        } else {
            EXPECT_EQ(got, px) << r.id;
        }
    }
    m_view->resize(m_view->GetDesignSize());
    m_view->OnInitialUpdate();
    ASSERT_EQ(m_view->m_entries.size(), std::size(rows));
    for (const Row& r : rows) {
        const AnchorEntry& entry = m_view->m_entries[static_cast<size_t>(r.order)];
        EXPECT_EQ(entry.hwndControl.data(), m_view->Control(r.id)) << r.id;
        EXPECT_EQ(entry.topLeftAnchor, r.first) << r.id;
        EXPECT_EQ(entry.bottomRightAnchor, r.second == ANCHOR_NONE ? r.first : r.second) << r.id;
    }
}

TEST_F(ViewTest, TabVisitsTheTemplateStopsInOrderEachWithAVisibleFocus)
{
    m_doc->m_strDestPath = Path("cut.wav");
    ShowView(Source("short.wav", 10)); // "Save Segment" enabled
    QApplication::setActiveWindow(m_view.get());
    m_view->Control(IDC_USE_AGC)->setFocus();
    QTest::keyClick(m_view->Control(IDC_USE_AGC), Qt::Key_Tab);
    const int stops[] = {IDC_SRC_FILE, IDC_DEST_FILE, IDC_SAVE, IDC_EXIT, IDC_POS_BAR, IDC_USE_AGC, IDC_SRC_FILE};
    for (int id : stops) {
        QWidget* control = m_view->Control(id);
        ASSERT_EQ(QApplication::focusWidget(), control) << id;
        const QImage focused = control->grab().toImage();
        QTest::keyClick(control, Qt::Key_Tab);
        EXPECT_NE(control->grab().toImage(), focused) << id << " shows no focus";
    }
}

TEST_F(ViewTest, EveryReferenceLevelFitsItsLabel)
{
    ShowView(Source("short.wav", 10));
    auto* label = static_cast<QLabel*>(m_view->Control(IDC_REF_LEVEL));
    auto* spin = static_cast<CSpinArrows*>(m_view->Control(IDC_SPIN));
    EXPECT_LE(label->geometry().right(), Plot().left()) << "the label stays beside the picture";
    EXPECT_GE(label->font().pointSizeF(), 6.0);
    m_doc->m_nRefLevel = 100;
    for (int level = 80; level >= -100; level -= 20) {
        QTest::mouseClick(spin->m_btnDown, Qt::LeftButton);
        ASSERT_EQ(label->text(), QString::number(level));
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width()) << level;
    }
}

// ---- browsing: zoom, scrolling, readouts, save progress ----

class BrowseTest : public ViewTest {
protected:
    // The view shown and active (for its keys), its first picture drawn.
    void ShowActive(const QString& srcPath)
    {
        ShowView(srcPath);
        QApplication::setActiveWindow(m_view.get());
    }
    // Lets a rendering off the UI thread end; it reports through an event.
    void WaitRender()
    {
        while (m_view->IsRenderPending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    void Key(int key, Qt::KeyboardModifiers mods = {})
    {
        QTest::keyClick(m_view.get(), static_cast<Qt::Key>(key), mods);
        WaitRender();
    }
    void Wheel(int notches, Qt::KeyboardModifiers mods = {})
    {
        // The form passes the wheel on to the scroll area's viewport, where the view takes it.
        QWidget* viewport = m_view->viewport();
        const QPointF at = m_view->GetLayoutWindow()->mapTo(viewport, QPointF(Plot().center()));
        QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, notches * 120), Qt::NoButton, mods,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        WaitRender();
    }
    int64_t Blocks() const { return (static_cast<int64_t>(m_doc->m_nTotalFrames) + 2047) / 2048; }
    QImage Picture() const { return m_view->m_pPlot->m_bitmap; }

    // A source of nSec seconds at rate frames/s: two channels with a complex tone of toneHz
    // (centre frequency and recording time from the auxi chunk), or one channel with a cosine.
    QString ToneSource(const char* name, int channels, uint32_t rate, int nSec, double toneHz, uint32_t centreHz)
    {
        riff::WaveShape shape(static_cast<uint16_t>(channels), rate, 16);
        if (centreHz != 0) {
            SYSTEMTIME stop{};
            EXPECT_TRUE((CTime(kStart, -1) + nSec).GetAsSystemTime(stop));
            shape.auxi = riff::AuxiPayload(kStart, stop, {centreHz, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        }
        const double w = 2 * M_PI * toneHz / rate;
        const riff::Bytes data = riff::Gen16(size_t{rate} * nSec * channels, [&](size_t i) {
            const double phase = w * static_cast<double>(i / channels);
            return static_cast<int16_t>(std::lround(16000 * (i % channels == 0 ? std::cos(phase) : std::sin(phase))));
        });
        EXPECT_TRUE(riff::WriteFile(Path(name).toStdString(), riff::WaveFile(shape, data)));
        return Path(name);
    }
};

TEST_F(BrowseTest, ZoomKeysWheelAndCommandsChangeThePictureAndTheBar)
{
    ShowActive(Source("hour.wav", 3600));
    const int whole = static_cast<int>((Blocks() + Plot().width() - 1) / Plot().width()); // fills the window
    ASSERT_GE(whole, 3);
    const int four = std::min(4, whole);
    struct Step {
        std::function<void()> act;
        int zoom;
    };
    const Step steps[] = {
        {[&] { Key(Qt::Key_Plus); }, 1}, // already at one block per column
        {[&] { Key(Qt::Key_Minus); }, 2},
        {[&] { Key(Qt::Key_Minus); }, four},
        {[&] { Key(Qt::Key_Equal); }, 2}, // "+" without Shift
        {[&] { Wheel(-1, Qt::ControlModifier); }, four},
        {[&] { Wheel(+2, Qt::ControlModifier); }, 1},
        {[&] { Key(Qt::Key_W); }, whole},
        {[&] { Key(Qt::Key_Minus); }, whole}, // never past the whole recording
        {[&] { Key(Qt::Key_1); }, 1},
        {[&] { Key(Qt::Key_Minus); }, 2},
        {[&] {
             m_view->ViewActions()[2]->trigger();
             WaitRender();
         },
         whole},
        {[&] { Key(Qt::Key_Plus); }, whole == 4 ? 2 : 1 << CTavirelDoc::ZoomStep(whole)}, // the power of two below
        {[&] {
             m_view->ViewActions()[3]->trigger();
             WaitRender();
         },
         1},
    };
    QImage last = Picture();
    int lastZoom = 1;
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].act();
        ASSERT_EQ(m_doc->m_nZoom, steps[i].zoom) << i;
        // The bar's window spans the columns' blocks, cut at the recording's end.
        const int64_t endFrame =
            std::min<int64_t>((m_view->ViewStartBlock() + int64_t{Plot().width()} * steps[i].zoom) * 2048,
                              static_cast<int64_t>(m_doc->m_nTotalFrames));
        EXPECT_NEAR(Bar().m_nViewEnd, endFrame / 1000.0, 2.1) << i;
        EXPECT_LE(Bar().m_nViewStart, Bar().m_nViewEnd) << i;
        EXPECT_EQ(Picture() != last, steps[i].zoom != lastZoom) << i;
        EXPECT_TRUE(Status().startsWith(QStringLiteral("View "))) << i;
        last = Picture();
        lastZoom = steps[i].zoom;
    }
    Key(Qt::Key_W);
    EXPECT_EQ(m_view->ViewStartBlock(), 0);
    EXPECT_EQ(Bar().m_nViewEnd, 3600) << "the whole recording in the window";
}

TEST_F(BrowseTest, KeysAndWheelMoveTheWindowByBlocksAndStopAtBothEnds)
{
    ShowActive(Source("hour.wav", 3600));
    const int64_t width = Plot().width(); // blocks in the window at one block per column
    const int64_t tenth = width / 10, last = Blocks() - width;
    ASSERT_GT(last, width + 2 * tenth);
    struct Move {
        std::function<void()> act;
        int64_t start;
    };
    const Move moves[] = {
        {[&] { Key(Qt::Key_Right); }, tenth},
        {[&] { Key(Qt::Key_Right); }, 2 * tenth},
        {[&] { Key(Qt::Key_Left); }, tenth},
        {[&] { Key(Qt::Key_PageDown); }, tenth + width},
        {[&] { Key(Qt::Key_PageUp); }, tenth},
        {[&] { Key(Qt::Key_PageUp); }, 0}, // held at the start
        {[&] { Key(Qt::Key_Left); }, 0},
        {[&] { Wheel(-1); }, tenth}, // towards the user: later
        {[&] { Wheel(+3); }, 0},
        {[&] { Key(Qt::Key_End); }, last},
        {[&] { Key(Qt::Key_Right); }, last}, // held where the window still fills
        {[&] { Key(Qt::Key_PageDown); }, last},
        {[&] { Key(Qt::Key_Left); }, last - tenth},
        {[&] { Key(Qt::Key_Home); }, 0},
    };
    QImage shown = Picture();
    for (size_t i = 0; i < std::size(moves); ++i) {
        const int64_t before = m_view->ViewStartBlock();
        moves[i].act();
        ASSERT_EQ(m_doc->m_nViewStartBlock, moves[i].start) << i;
        // The bar shows the second the first block falls in.
        EXPECT_EQ(Bar().m_nViewStart, moves[i].start * 2048 / 1000) << i;
        EXPECT_EQ(Picture() != shown, moves[i].start != before) << i;
        shown = Picture();
    }
    // Starts placed by blocks show on the status line to a tenth of a second.
    Key(Qt::Key_Right);
    EXPECT_EQ(Status(), QString::asprintf("View %.1f Sec to %.1f Sec", tenth * 2.048, (tenth + width) * 2.048));
    // A click on the bar places the window at a whole second again.
    ClickBar(Qt::LeftButton, Bar().ClientRect().width() / 2);
    EXPECT_EQ(m_doc->m_nViewStartBlock, -1);
    EXPECT_EQ(Status(), QStringLiteral("View %1 Sec to %2 Sec").arg(Bar().m_nViewStart).arg(Bar().m_nViewEnd));
}

// A source of exactly 2 x width blocks gains a padding block in its rounded
// frame count; End and Whole Recording stop at its last block of data.
TEST_F(BrowseTest, EndAndWholeRecordingStopAtTheLastBlockOfData)
{
    m_doc->m_bShowAxes = false; // the picture fills the plot area, with a source or without
    ShowView(QString());        // the plot's width, for the source's length
    const int w = Plot().width();
    ShowActive(ToneSource("exact.wav", 1, 2048, 2 * w, 256.0, 0));
    const struct {
        const char* what;
        int key;
        int64_t startBlock;
        int zoom;
    } rows[] = {
        {"End: the window's last column is the last block", Qt::Key_End, w, 1},
        {"Whole Recording: two blocks per column", Qt::Key_W, 0, 2},
    };
    for (const auto& r : rows) {
        Key(r.key);
        EXPECT_EQ(m_view->ViewStartBlock(), r.startBlock) << r.what;
        EXPECT_EQ(m_doc->m_nZoom, r.zoom) << r.what;
        bool bLit = false; // the tone shows in the last column
        for (int y = 0; y < Picture().height(); ++y)
            bLit = bLit || (Picture().pixel(w - 1, y) & 0xFFFFFF) != 0;
        EXPECT_TRUE(bLit) << r.what;
        EXPECT_EQ(Bar().m_nViewEnd, 2 * w) << r.what;
    }
}

TEST_F(BrowseTest, ReadoutsAtKnownPixelsOfAToneSource)
{
    struct Case {
        const char* name;
        int channels;
        uint32_t centreHz;
        const char* unit;
    };
    const Case cases[] = {{"iq.wav", 2, 7050000, " MHz"}, {"mono.wav", 1, 0, " Hz"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t rate = 8192;         // 4 Hz per bin
        const int rows = 1024 * c.channels; // display bins
        m_doc->m_nRefLevel = 0;
        m_doc->m_bShowAxes = false; // the picture fills the plot area, with a source or without
        // The tone on the first bin of the row three quarters down the picture.
        ShowView(QString()); // the plot's height, for the tone's bin
        const int h = Plot().height(), yTone = h * 3 / 4;
        const int64_t bin = (int64_t{yTone} * rows + h - 1) / h;
        const double offsetHz = c.channels == 2 ? (bin - 1023) * rate / 2048.0 : bin * rate / 2048.0;
        ShowActive(ToneSource(c.name, c.channels, rate, 30, offsetHz, c.centreHz));
        ASSERT_EQ(Plot().height(), h);
        EXPECT_EQ(Text(IDC_CENTRE_FREQ), c.centreHz ? QStringLiteral("Centre 7.050000 MHz") : QString());

        const QRegularExpression readout(
            QStringLiteral("^Cursor = ([0-9]+) Sec  (\\S+)  (-?[0-9.]+)( MHz| Hz)  (-?[0-9]+) dB$"));
        auto at = [&](int x, int y) {
            MoveTo(Plot().left() + x, Plot().top() + y);
            const QRegularExpressionMatch m = readout.match(Status());
            EXPECT_TRUE(m.hasMatch()) << Status().toStdString();
            // The whole readout shows in the form's narrow status line.
            const QLabel* line = m_view->m_wndStatus;
            const QStringList rows = line->text().split(QLatin1Char('\n'));
            for (const QString& row : rows)
                EXPECT_LE(line->fontMetrics().horizontalAdvance(row), line->contentsRect().width())
                    << row.toStdString();
            const QFontMetrics metrics = line->fontMetrics(); // the last line's descenders may touch the frame
            EXPECT_LE((rows.size() - 1) * metrics.lineSpacing() + metrics.ascent(), line->contentsRect().height());
            return m;
        };
        // Without a recording time of its own a source is timed by its file.
        const QString startTime = QString::fromStdString(CTime(m_doc->m_stStart, -1).Format("%H:%M:%S"));
        if (c.centreHz) {
            ASSERT_EQ(startTime, QStringLiteral("09:05:00"));
        }
        const QTime start = QTime::fromString(startTime, QStringLiteral("HH:mm:ss"));
        const QRegularExpressionMatch tone = at(100, yTone);
        // Column 100 starts 100 blocks of 2048 frames in: 25 s.
        EXPECT_EQ(tone.captured(1), QStringLiteral("25"));
        EXPECT_EQ(tone.captured(2), start.addSecs(25).toString(QStringLiteral("HH:mm:ss.zzz")));
        EXPECT_EQ(tone.captured(4), QString::fromLatin1(c.unit));
        const double hz = tone.captured(3).toDouble() * (c.centreHz ? 1e6 : 1);
        EXPECT_NEAR(hz, c.centreHz + offsetHz, 1.0);
        EXPECT_GT(tone.captured(5).toInt(), -20) << "the tone is strong";
        const QRegularExpressionMatch quiet = at(100, h / 4);
        EXPECT_LT(quiet.captured(5).toInt(), tone.captured(5).toInt() - 60) << "away from the tone";
        EXPECT_EQ(at(3, yTone).captured(1), QStringLiteral("0"));
        EXPECT_EQ(at(3, yTone).captured(2), start.addMSecs(750).toString(QStringLiteral("HH:mm:ss.zzz")));
        // Past the recording's end (120 blocks) the status line tells of the window.
        MoveTo(Plot().left() + 130, Plot().top() + yTone);
        EXPECT_TRUE(Status().startsWith(QStringLiteral("View "))) << Status().toStdString();
    }
}

// Times that span twice the samples (500 frames a second): the labels, the bar,
// the readout, the status line, render --start and the cut count the same seconds.
TEST_F(BrowseTest, OneClockForASourceWhoseTimesDisagreeWithItsSamples)
{
    ShowActive(Source("slow.wav", 3600, true, 7200));
    m_dialogs.m_answers = {Path("cut.wav")};
    Click(IDC_DEST_FILE);
    ClickBar(Qt::LeftButton, Bar().ClientRect().width() / 2);
    const int s = m_doc->m_nViewStart, w = Plot().width();
    ASSERT_GT(s, 0);
    const auto clock = [](int sec) { return QTime(9, 5).addSecs(sec).toString(QStringLiteral("HH:mm:ss")); };
    const QString png = Path("p.png");
    struct Probe {
        const char* what;
        std::function<QString()> got;
        QString want;
    };
    const Probe probes[] = {
        {"end label", [&] { return Text(IDC_END_TIME); }, QStringLiteral("06/21/2003 11:05:00 (7200 Sec)")},
        {"readout at the window's left edge",
         [&] {
             MoveTo(Plot().left(), Plot().center().y());
             return Status().section(QStringLiteral("  "), 0, 1);
         },
         QStringLiteral("Cursor = %1 Sec  %2.000").arg(s).arg(clock(s))},
        {"window end: the second after the last column", [&] { return QString::number(Bar().m_nViewEnd); },
         QString::number((s * 500 + w * 2048) / 500)},
        {"status of a window placed by a key",
         [&] {
             Key(Qt::Key_Right);
             return Status();
         },
         QString::asprintf("View %.1f Sec to %.1f Sec", (s * 500 / 2048 + w / 10) * 2048 / 500.0,
                           (s * 500 / 2048 + w / 10 + w) * 2048 / 500.0)},
        {"render --start past the samples' own 3600 s",
         [&] {
             return QString::number(QProcess::execute(
                 QStringLiteral(TAVIREL_CLI_PATH),
                 {QStringLiteral("render"), Path("slow.wav"), QStringLiteral("--start"), QStringLiteral("4000"),
                  QStringLiteral("--width=8"), QStringLiteral("--height=8"), QStringLiteral("--out"), png}));
         },
         QStringLiteral("0")},
        {"a cut of 100 to 130 s: 15000 frames from frame 50000 on",
         [&] {
             m_view->OnPosBarNotify(WPOS_SETFROM, 100);
             m_view->OnPosBarNotify(WPOS_SETTO, 130);
             PressSave();
             const std::vector<uint8_t> data = riff::ParseWave(Read("cut_001.wav")).payload["data"];
             return QStringLiteral("%1 frames, first %2")
                 .arg(data.size() / 4)
                 .arg(data.size() >= 2 ? int16_t(data[0] | data[1] << 8) : 0);
         },
         QStringLiteral("%1 frames, first %2").arg((15000 + 2047) / 2048 * 2048).arg(SampleAt(50000, 0))},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(p.got(), p.want) << p.what;
}

// Input queued while a save runs (it lets events through for its progress)
// reaches nothing: the segment is byte for byte an undisturbed one's.
TEST_F(BrowseTest, InputDuringASaveLeavesTheSegmentAsAnUndisturbedOne)
{
    const QString other = Source("other.wav", 10);
    const QString src = ToneSource("long.wav", 1, 8192, 200, 1000.0, 0); // 800 blocks: progress every 256
    m_doc->m_strDestPath = Path("cut.wav");
    ShowActive(src);
    PressSave();
    const Bytes undisturbed = Read("cut_001.wav");
    ASSERT_FALSE(undisturbed.empty());
    const struct {
        const char* what;
        std::function<void()> act;
    } rows[] = {
        {"a press on the bar", [&] { ClickBar(Qt::LeftButton, Bar().ClientRect().width() * 3 / 4); }},
        {"a dropped wave file", [&] { Drop({other}); }},
        {"Src File...",
         [&] {
             m_dialogs.m_answers = {other};
             Click(IDC_SRC_FILE);
         }},
        {"a View key", [&] { QTest::keyClick(m_view.get(), Qt::Key_End); }},
    };
    const auto cuts = [&] { return QDir(m_dir.path()).entryList({QStringLiteral("cut_*.wav")}, QDir::Files); };
    for (const auto& r : rows) {
        // Once the save runs (its progress dialog exists), the input arrives.
        std::function<void()> poll = [&] {
            if (m_view->findChild<QProgressDialog*>() == nullptr)
                QTimer::singleShot(0, m_view.get(), poll);
            else
                r.act();
        };
        ShowActive(src);
        m_dialogs.m_asked.clear();
        const QStringList before = cuts();
        QTimer::singleShot(0, m_view.get(), poll);
        PressSave();
        QStringList written = cuts();
        for (const QString& name : before)
            written.removeOne(name);
        EXPECT_EQ(written.size(), 1) << r.what;
        EXPECT_TRUE(written.size() == 1 && Read(written[0].toLatin1().constData()) == undisturbed) << r.what;
        EXPECT_EQ(m_doc->m_strSrcPath, src) << r.what;
        EXPECT_EQ(m_doc->m_nViewStart, 0) << r.what;
        EXPECT_TRUE(Errors().isEmpty()) << r.what;
    }
}

TEST_F(BrowseTest, SaveShowsProgressAndCancelHalfWayLeavesNoFile)
{
    for (bool bCancel : {true, false}) {
        SCOPED_TRACE(bCancel ? "cancelled" : "completed");
        // One channel of 16 bits, 4096 blocks: progress reports every 256 blocks.
        const QString src = ToneSource("long.wav", 1, 100000, 84, 1000.0, 0);
        m_doc->m_strDestPath = Path("cut.wav");
        ShowActive(src);
        m_view->m_nSaveProgressDelayMs = 0;
        ClickBar(Qt::LeftButton, 0, Qt::ControlModifier);
        ClickBar(Qt::RightButton, -1, Qt::ControlModifier);
        ASSERT_GE(Bar().m_nTo - Bar().m_nFrom, 80);

        int cancelledAt = -1, largest = 0;
        bool bSaving = true;
        std::function<void()> poll = [&] {
            auto* dialog = m_view->findChild<QProgressDialog*>();
            if (!bSaving || dialog == nullptr)
                return;
            largest = std::max(largest, dialog->value());
            if (bCancel && dialog->isVisible() && dialog->value() >= dialog->maximum() / 2) {
                cancelledAt = dialog->value();
                QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
                return;
            }
            QTimer::singleShot(0, m_view.get(), poll);
        };
        QTimer::singleShot(0, m_view.get(), poll);
        PressSave();
        bSaving = false;
        const QStringList written = QDir(m_dir.path()).entryList({QStringLiteral("cut*")}, QDir::Files);
        EXPECT_TRUE(Errors().isEmpty());
        if (bCancel) {
            EXPECT_GE(cancelledAt, 500);
            EXPECT_LT(cancelledAt, 1000);
            EXPECT_TRUE(written.isEmpty()) << written.join(' ').toStdString();
            EXPECT_EQ(Status(), QStringLiteral("Save cancelled"));
        } else {
            EXPECT_GT(largest, 500) << "the dialog followed the save";
            ASSERT_EQ(written.size(), 1);
            EXPECT_GT(QFileInfo(Path("cut_001.wav").replace("001", written[0].mid(4, 3))).size(), 16000000);
        }
        m_view.reset();
    }
}

} // namespace
