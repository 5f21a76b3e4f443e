// The main form driven by real clicks on the offscreen platform: labels, status line, plot and bar clicks,
// the spins, the file buttons, dropped files, messages about failures, zoom and scrolling,
// readouts, and "Save Segment" end to end against `tavirel-cli cut`, with its progress and Cancel.
#include <bit>

#include "form/FormFixture.h"

namespace {

using namespace form_test;

// The labels show the recording's own times, or the file's for a source without them; one local wave file
// dropped becomes the source, its marks the whole recording; a window wider than it starts at zero.
TEST_F(FormTest, LabelsShowTheRecordingTimesOrTheFilesOwnOfADroppedSource)
{
    Show(Source("hour.wav", 3600));
    EXPECT_EQ(Text(IDC_START_TIME), QStringLiteral("06/21/2003 9:05:00 (0 Sec)"));
    EXPECT_EQ(Text(IDC_END_TIME), QStringLiteral("06/21/2003 10:05:00 (3600 Sec)"));
    ClickBar(Qt::LeftButton, -2, Qt::ControlModifier);
    const QString plain = Source("plain.wav", 90, false);
    EXPECT_FALSE(Drop({plain, Path("hour.wav")})); // one file at a time
    EXPECT_FALSE(Drop({QStringLiteral("https://example.org/b.wav")}));
    EXPECT_TRUE(Drop({plain}));
    EXPECT_TRUE(Errors().isEmpty());
    EXPECT_EQ(std::pair(m_doc->m_strSrcPath, Text(IDC_SRC_PATH)), std::pair(plain, plain));
    EXPECT_THAT(Text(IDC_START_TIME).toStdString(),
                testing::MatchesRegex(R"([0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2} \(0 Sec\))"));
    EXPECT_EQ(Text(IDC_TO).right(10), QStringLiteral(" (90 Secs)"));
    EXPECT_EQ(std::pair(Bar().m_nFrom, Bar().m_nTo), std::pair(0, 90));
    Bar().m_nViewEnd = 125;
    m_view->OnPosBarNotify(WPOS_SETVIEW, 7); // length - span is negative
    EXPECT_EQ(m_doc->m_nViewStart, 0);
    EXPECT_EQ(m_doc->m_wave.GetPositionSeconds(), 0u);
}

// Clicks centre the window on the clicked second, held between 0 and length - span; the status line tells
// the window (off the picture, over any control) and starts over with a new source.
TEST_F(FormTest, ClicksMoveTheWindowWithinTheFileAndTheStatusLineTellsIt)
{
    Show(Source("hour.wav", 3600));
    const int span = Bar().m_nViewEnd;
    ASSERT_LT(span, 3600);
    Hover(QPoint(Plot().right() + 1, Plot().bottom())); // just past the picture
    EXPECT_EQ(Status(), QStringLiteral("View 0 Sec to %1 Sec").arg(span));
    ClickPlot(Plot().left());
    EXPECT_EQ(m_doc->m_nViewStart, 0);
    ClickBar(Qt::LeftButton, -2); // asks for a start past length - span
    EXPECT_EQ(m_doc->m_nViewStart, 3600 - span);
    EXPECT_EQ(Status(), QStringLiteral("View %1 Sec to 3600 Sec").arg(3600 - span));
    ClickPlot(Plot().right());
    EXPECT_EQ(m_doc->m_nViewStart, 3600 - span);
    ClickPlot(Plot().left());
    EXPECT_EQ(m_doc->m_nViewStart, 3600 - span - span / 2);
    EXPECT_EQ(Bar().m_nViewStart, m_doc->m_nViewStart);

    m_dialogs.m_answers = {Source("other.wav", 3000)};
    Click(IDC_SRC_FILE);
    EXPECT_EQ(Status(), QStringLiteral("View 0 Sec to %1 Sec").arg(span));
    // A wider form draws a longer window; the status line follows.
    m_view->resize(m_view->size() + QSize(200, 0));
    Form()->repaint();
    EXPECT_GT(Bar().m_nViewEnd, span);
    const QString view = QStringLiteral("View 0 Sec to %1 Sec").arg(Bar().m_nViewEnd);
    EXPECT_EQ(Status(), view);
    // A control (every one is tracked and filtered alike; this one disabled), after a move over the picture.
    Hover(Plot().center());
    ASSERT_THAT(Status(), Has(" MHz "));
    QTest::mouseMove(m_view->m_btnSave, m_view->m_btnSave->rect().center());
    EXPECT_EQ(Status(), view);
}

// The reference level's arrows step it by 20 dB between -100 and 100, each level fitting its label beside the
// picture; the range's arrows and wheel by 10 dB, at least 20 dB; up to the floor it follows the reference level
// again (the label shows the span).
TEST_F(FormTest, LevelAndRangeArrowsStepWithinTheirLimits)
{
    Show(Source("short.wav", 10));
    auto* label = static_cast<QLabel*>(m_view->Control(IDC_REF_LEVEL));
    auto* level = static_cast<CSpinArrows*>(m_view->Control(IDC_SPIN));
    auto* range = static_cast<CSpinArrows*>(m_view->Control(IDC_RANGE_SPIN));
    EXPECT_LE(label->geometry().right(), Plot().left()) << "the label stays beside the picture";
    EXPECT_GE(label->font().pointSizeF(), 6.0);
    const struct {
        const char* proves;
        int ref, range;
        QToolButton* button; // null: a wheel notch on the range's arrows, away from the user
        int refAfter, rangeAfter;
        const char* rangeText; // null: a level's row, its label is looked at
    } rows[] = {
        {"level up by 20 dB", 80, 150, level->m_btnUp, 100, 150, nullptr},
        {"level held at 100", 100, 150, level->m_btnUp, 100, 150, nullptr},
        {"level down to -100", -80, 150, level->m_btnDown, -100, 150, nullptr},
        {"level held at -100", -100, 150, level->m_btnDown, -100, 150, nullptr},
        {"range down from the floor", 0, kRangeToFloor, range->m_btnDown, 0, 150, "150"},
        {"range up to the floor", 0, 150, range->m_btnUp, 0, kRangeToFloor, "160"},
        {"the floor's span follows the level", -20, kRangeToFloor, range->m_btnDown, -20, 130, "130"},
        {"range held at 20 dB", 0, 20, range->m_btnDown, 0, 20, "20"},
        {"a wheel notch: 10 dB more", 40, 180, nullptr, 40, 190, "190"},
    };
    for (const auto& r : rows) {
        m_doc->m_nRefLevel = r.ref;
        m_doc->m_nRangeDb = r.range;
        m_view->UpdateData(false);
        if (r.button) {
            QTest::mouseClick(r.button, Qt::LeftButton);
        } else {
            QWheelEvent wheel(QPointF(2, 2), range->mapToGlobal(QPointF(2, 2)), QPoint(), QPoint(0, 120), Qt::NoButton,
                              {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(range, &wheel);
        }
        EXPECT_EQ(std::pair(m_doc->m_nRefLevel, m_doc->m_nRangeDb), std::pair(r.refAfter, r.rangeAfter)) << r.proves;
        if (r.rangeText) {
            EXPECT_EQ(Text(IDC_RANGE), QString::fromLatin1(r.rangeText)) << r.proves;
            continue;
        }
        EXPECT_EQ(label->text(), QString::number(r.refAfter)) << r.proves;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width()) << r.proves;
    }
}

// Export Picture writes the shown picture inside its scales, or the same
// window at a chosen size; a cancelled size or name writes nothing.
TEST_F(FormTest, ExportPictureAtTheShownOrAChosenSize)
{
    Show(Source("short.wav", 10));
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

// "Save Segment" needs a destination and a source; a failed save says why in a message box (the words of
// tavirel-cli cut for the fault) and keeps the status short; Src File... cancelled leaves the source closed
// and clicks idle.
TEST_F(FormTest, SaveOnlyWithASourceAndADestinationAndAFailedOneSaysWhy)
{
    Show(QString());
    const QString src = Source("short.wav", 10), dest = Path("no-such-folder/cut.wav");
    const QString sources = QStringLiteral("|Recordings (*.wav *.sigmf-meta *.sigmf-data *.sigmf);;Wave Files (*.wav);;"
                                           "SigMF Recordings (*.sigmf-meta *.sigmf-data *.sigmf)");
    m_dialogs.m_answers = {dest, src};
    Click(IDC_DEST_FILE);
    EXPECT_EQ(Text(IDC_DEST_PATH), dest);
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());
    Click(IDC_SRC_FILE);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled());
    Click(IDC_SAVE);
    EXPECT_EQ(Errors(), QStringList{QStringLiteral("The segment was not saved: no file can be created in the folder %1 "
                                                   "(No such file or directory). No segment file was left behind; "
                                                   "the source was not written to.")
                                        .arg(Path("no-such-folder"))});
    EXPECT_EQ(Status(), QStringLiteral("Save failed"));
    Click(IDC_SRC_FILE); // no answer: cancelled
    EXPECT_EQ(m_dialogs.m_asked.filter(QRegularExpression("^(save|open):")),
              (QStringList{"save:|Wave Files (*.wav)", "open:" + sources, "open:" + src + sources}));
    EXPECT_FALSE(m_doc->m_bLoaded);
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());
    const int nViewStartSec = m_doc->m_nViewStart;
    ClickBar(Qt::LeftButton, -2);
    ClickPlot(Plot().center().x());
    EXPECT_EQ(m_doc->m_nViewStart, nViewStartSec);
}

// Segments saved from the marks, plain and levelled, are tavirel-cli cut's of the same marks (its bytes are
// checked against a model in SegmentSave.LosslessInWholeBlocksInEveryFormat); each the next file.
TEST_F(FormTest, SaveWritesSegmentsAsTheCommandLineDoes)
{
    Show(Source("src.wav", 60));
    m_dialogs.m_answers = {Path("cut.wav")};
    Click(IDC_DEST_FILE);
    ClickBar(Qt::LeftButton, 60, Qt::ControlModifier);
    ClickBar(Qt::RightButton, 150, Qt::ControlModifier);
    const int from = Bar().m_nFrom, to = Bar().m_nTo;
    ASSERT_LT(from, to);
    Click(IDC_SAVE);
    Click(IDC_USE_AGC); // levelling on
    Click(IDC_SAVE);
    EXPECT_EQ(Files("cut*"), (QStringList{"cut_001.wav", "cut_002.wav"}));
    const QString cli = QStringLiteral(TAVIREL_CLI_PATH);
    const QStringList cut{"cut", Path("src.wav"), "--from", QString::number(from), "--to", QString::number(to)};
    EXPECT_EQ(QProcess::execute(cli, cut + QStringList{"--dest", Path("plain.wav")}), 0);
    EXPECT_EQ(QProcess::execute(cli, cut + QStringList{"--dest", Path("agc.wav"), "--agc"}), 0);
    EXPECT_TRUE(Read("plain_001.wav") == Read("cut_001.wav"));
    EXPECT_TRUE(Read("agc_001.wav") == Read("cut_002.wav"));
}

TEST_F(FormTest, SourcesThatCannotBeOpenedSayWhy)
{
    const char* const kMissing = "the file cannot be opened for reading (No such file or directory)";
    Write("notes.wav", riff::Bytes::Text("notes"));
    enum Act { None, SrcFile, Dropped, Deleted };
    const struct {
        const char* what;
        const char* shown;      // the source named at the start
        Act act;                // then: notes.wav chosen or dropped, or the source deleted and rendered again
        const char *file, *why; // of the message box, if any
        bool bLoaded;           // a source is shown afterwards
    } rows[] = {
        {"no source named yet", "", None, nullptr, nullptr, false},
        {"stored source missing at start", "gone.wav", None, "gone.wav", kMissing, false},
        {"a file that is no wave chosen in Src File...", "a.wav", SrcFile, "notes.wav", "not a RIFF WAVE file", true},
        {"a file that is no wave dropped", "a.wav", Dropped, "notes.wav", "not a RIFF WAVE file", true},
        {"source deleted while shown, found by the next rendering", "a.wav", Deleted, "a.wav", kMissing, false},
    };
    for (const auto& r : rows) {
        m_doc->m_strDestPath = Path("cut.wav");
        m_dialogs.m_asked.clear();
        Show(*r.shown == 'a' ? Source(r.shown, 10) : *r.shown ? Path(r.shown) : QString());
        m_dialogs.m_answers = {Path("notes.wav")};
        if (r.act == SrcFile)
            Click(IDC_SRC_FILE);
        if (r.act == Dropped) {
            EXPECT_TRUE(Drop({Path("notes.wav")}));
        }
        if (r.act == Deleted && QFile::remove(Path("a.wav")))
            QTest::mouseClick(static_cast<CSpinArrows*>(m_view->Control(IDC_SPIN))->m_btnDown, Qt::LeftButton);
        const QStringList said{
            QStringLiteral("Cannot open \"%1\" as a source:\n%2.").arg(Path(r.file), QString::fromLatin1(r.why))};
        EXPECT_EQ(Errors(), r.file ? said : QStringList()) << r.what;
        EXPECT_EQ(m_doc->m_bLoaded, r.bLoaded) << r.what;
        EXPECT_EQ(m_view->m_btnSave->isEnabled(), r.bLoaded) << r.what;
        // The previous source stays, or no window of a source that is gone.
        EXPECT_EQ(r.bLoaded ? Text(IDC_SRC_PATH) : Status(), r.bLoaded ? Path("a.wav") : QString()) << r.what;
    }
}

// Zoom keys and Ctrl+wheel change the blocks per column, never past the whole recording; arrows, pages and the
// wheel move the window by a tenth or a whole window and stop at both ends. The bar follows, and the picture
// is drawn anew when the window changes.
TEST_F(FormTest, KeysAndWheelZoomAndMoveTheWindowWithinTheRecording)
{
    Show(Source("hour.wav", 3600));
    const int64_t width = Plot().width(); // blocks in the window at one block per column
    const int64_t tenth = width / 10, last = Blocks() - width;
    ASSERT_GT(last, width + 2 * tenth);
    const int whole = static_cast<int>((Blocks() + width - 1) / width); // fills the window
    ASSERT_GE(whole, 3);
    const int four = std::min(4, whole);
    const int below = static_cast<int>(std::bit_floor(static_cast<unsigned>(whole - 1))); // the power of two below
    const struct {
        const char* input;
        int zoom;
        int64_t start; // the window's first block; -1: not looked at
    } rows[] = {
        {"key +", 1, 0}, // already at one block per column
        {"key -", 2, -1},
        {"key -", four, -1},
        {"key =", 2, -1}, // "+" without Shift
        {"wheel -1 +ctrl", four, -1},
        {"wheel 2 +ctrl", 1, -1},
        {"key W", whole, 0},
        {"key -", whole, 0}, // never past the whole recording
        {"key +", below, -1},
        {"key 1", 1, -1},
        {"key Home", 1, 0},
        {"key Right", 1, tenth},
        {"key PgDn", 1, tenth + width},
        {"key PgUp", 1, tenth},
        {"key Left", 1, 0},
        {"wheel -1", 1, tenth}, // towards the user: later
        {"wheel 3", 1, 0},
        {"key End", 1, last},
        {"key Right", 1, last}, // held where the window still fills
    };
    QImage shown = Picture();
    for (const auto& r : rows) {
        const std::pair before(m_view->ViewStartBlock(), m_doc->m_nZoom);
        Play(r.input);
        ASSERT_EQ(m_doc->m_nZoom, r.zoom) << r.input;
        const int64_t start = m_view->ViewStartBlock();
        if (r.start >= 0) { // the bar shows the second the first block falls in
            ASSERT_EQ(start, r.start) << r.input;
            EXPECT_EQ(Bar().m_nViewStart, r.start * 2048 / 1000) << r.input;
        }
        // The bar's window spans the columns' blocks, cut at the recording's end.
        const int64_t endFrame = std::min<int64_t>((start + width * r.zoom) * 2048, m_doc->m_nTotalFrames);
        EXPECT_NEAR(Bar().m_nViewEnd, endFrame / 1000.0, 2.1) << r.input;
        EXPECT_EQ(Picture() != shown, std::pair(start, r.zoom) != before) << r.input;
        shown = Picture();
    }
    // A click on the bar places the window, placed by blocks by the key, at a whole second again.
    Key(Qt::Key_Right);
    ClickBar(Qt::LeftButton, Bar().ClientRect().width() / 2);
    EXPECT_EQ(m_doc->m_nViewStartBlock, -1);
    EXPECT_EQ(Status(), QStringLiteral("View %1 Sec to %2 Sec").arg(Bar().m_nViewStart).arg(Bar().m_nViewEnd));
}

// A source of exactly 2 x width blocks gains a padding block in its rounded
// frame count; End and Whole Recording stop at its last block of data.
TEST_F(FormTest, EndAndWholeRecordingStopAtTheLastBlockOfData)
{
    m_doc->m_bShowAxes = false; // the picture fills the plot area, with a source or without
    Show(QString());            // the plot's width, for the source's length
    const int w = Plot().width();
    Show(ToneSource("exact.wav", 1, 2048, 2 * w, 256.0, 0));
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

// The readout at known pixels of a tone source, I/Q in MHz about its centre or one channel in Hz: the column's
// second and time, the row's frequency and the level, whole in the form's narrow status line.
TEST_F(FormTest, ReadoutsAtKnownPixelsOfAToneSource)
{
    const struct {
        const char* name;
        int channels;
        uint32_t centreHz;
        const char* unit;
    } cases[] = {{"iq.wav", 2, 7050000, " MHz"}, {"mono.wav", 1, 0, " Hz"}};
    const QRegularExpression readout(
        QStringLiteral("^Cursor = ([0-9]+) Sec  (\\S+)  (-?[0-9.]+)( MHz| Hz)  (-?[0-9]+) dB$"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t rate = 8192; // 4 Hz per bin
        m_doc->m_nRefLevel = 0;
        m_doc->m_bShowAxes = false; // the picture fills the plot area, with a source or without
        // The tone on the first bin of the row three quarters down the picture, of 1024 x channels bins.
        Show(QString()); // the plot's height, for the tone's bin
        const int h = Plot().height(), yTone = h * 3 / 4;
        const int64_t bin = (int64_t{yTone} * 1024 * c.channels + h - 1) / h;
        const double offsetHz = (c.channels == 2 ? bin - 1023 : bin) * rate / 2048.0;
        Show(ToneSource(c.name, c.channels, rate, 30, offsetHz, c.centreHz));
        ASSERT_EQ(Plot().height(), h);
        EXPECT_EQ(Text(IDC_CENTRE_FREQ), c.centreHz ? QStringLiteral("Centre 7.050000 MHz") : QString());
        const auto at = [&](int x, int y) {
            Hover(At(x, y));
            const QLabel* line = m_view->m_wndStatus;
            const QStringList rows = line->text().split(QLatin1Char('\n'));
            for (const QString& row : rows) // the whole readout shows, the last line's descenders may touch the frame
                EXPECT_LE(line->fontMetrics().horizontalAdvance(row), line->contentsRect().width())
                    << row.toStdString();
            EXPECT_LE((rows.size() - 1) * line->fontMetrics().lineSpacing() + line->fontMetrics().ascent(),
                      line->contentsRect().height());
            const QRegularExpressionMatch m = readout.match(Status());
            EXPECT_TRUE(m.hasMatch()) << Status().toStdString();
            return m;
        };
        // Without a recording time of its own a source is timed by its file.
        const QTime start =
            c.centreHz ? QTime(9, 5)
                       : QTime::fromString(QString::fromStdString(CTime(m_doc->m_stStart, -1).Format("%H:%M:%S")),
                                           QStringLiteral("HH:mm:ss"));
        const QRegularExpressionMatch tone = at(100, yTone); // 100 blocks of 2048 frames in: 25 s
        EXPECT_EQ(tone.captured(1) + tone.captured(4), QStringLiteral("25") + c.unit);
        EXPECT_EQ(tone.captured(2), start.addSecs(25).toString(QStringLiteral("HH:mm:ss.zzz")));
        EXPECT_NEAR(tone.captured(3).toDouble() * (c.centreHz ? 1e6 : 1), c.centreHz + offsetHz, 1.0);
        EXPECT_GT(tone.captured(5).toInt(), -20) << "the tone is strong";
        EXPECT_LT(at(100, h / 4).captured(5).toInt(), tone.captured(5).toInt() - 60) << "away from the tone";
        const QRegularExpressionMatch early = at(3, yTone);
        EXPECT_EQ(early.captured(1) + ' ' + early.captured(2), "0 " + start.addMSecs(750).toString("HH:mm:ss.zzz"));
        // Past the recording's end (120 blocks) the status line tells of the window.
        Hover(At(130, yTone));
        EXPECT_THAT(Status(), Begins("View "));
    }
}

// Times that span twice the samples (500 frames a second): the labels, the bar,
// the readout, the status line and render --start count the same seconds.
TEST_F(FormTest, OneClockForASourceWhoseTimesDisagreeWithItsSamples)
{
    Show(Source("slow.wav", 3600, true, 7200));
    ClickBar(Qt::LeftButton, Bar().ClientRect().width() / 2);
    const int s = m_doc->m_nViewStart, w = Plot().width();
    ASSERT_GT(s, 0);
    EXPECT_EQ(Text(IDC_END_TIME), QStringLiteral("06/21/2003 11:05:00 (7200 Sec)"));
    Hover(At(0));
    EXPECT_EQ(Status().section(QStringLiteral("  "), 0, 1),
              QStringLiteral("Cursor = %1 Sec  %2.000").arg(s).arg(QTime(9, 5).addSecs(s).toString("HH:mm:ss")))
        << "the readout at the window's left edge";
    EXPECT_EQ(Bar().m_nViewEnd, (s * 500 + w * 2048) / 500) << "the window's end: the second after the last column";
    Key(Qt::Key_Right);
    const int64_t block = s * 500 / 2048 + w / 10; // the window's first after the key
    EXPECT_EQ(Status(),
              QString::asprintf("View %.1f Sec to %.1f Sec", block * 2048 / 500.0, (block + w) * 2048 / 500.0));
    EXPECT_EQ(QProcess::execute(QStringLiteral(TAVIREL_CLI_PATH), {"render", Path("slow.wav"), "--start", "4000",
                                                                   "--width=8", "--height=8", "--out", Path("p.png")}),
              0)
        << "render --start past the samples' own 3600 s";
}

// Input queued while a save runs (it lets events through for its progress) reaches nothing: the segment is byte
// for byte an undisturbed one's. Only the progress dialog's Cancel stops it: no file, and the status says so.
TEST_F(FormTest, InputDuringASaveLeavesTheSegmentAsAnUndisturbedOne)
{
    const QString other = Source("other.wav", 10);
    const QString src = ToneSource("long.wav", 1, 8192, 200, 1000.0, 0); // 800 blocks: progress every 256
    m_doc->m_strDestPath = Path("cut.wav");
    Show(src);
    Click(IDC_SAVE);
    const Bytes undisturbed = Read("cut_001.wav");
    ASSERT_FALSE(undisturbed.empty());
    const struct {
        const char* what;
        std::function<void(QProgressDialog*)> act;
        bool bWritten = true;
    } rows[] = {
        {"a dropped wave file", [&](auto) { Drop({other}); }},
        {"Src File...",
         [&](auto) {
             m_dialogs.m_answers = {other};
             Click(IDC_SRC_FILE);
         }},
        {"Cancel", [&](QProgressDialog* d) { QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton); }, false},
    };
    for (const auto& r : rows) {
        QFile::remove(Path(Files("cut_*.wav").value(0)));
        Show(src);
        m_dialogs.m_asked.clear();
        // Once the save runs (its progress dialog exists), the input arrives.
        WhileSaving([&] { Click(IDC_SAVE); }, [&](QProgressDialog* dialog) { return r.act(dialog), false; });
        const QStringList written = Files("cut*");
        ASSERT_EQ(written.size(), r.bWritten ? 1 : 0) << r.what;
        EXPECT_TRUE(!r.bWritten || Read(written[0]) == undisturbed) << r.what;
        EXPECT_EQ(Status() == QStringLiteral("Save cancelled"), !r.bWritten) << r.what;
        EXPECT_EQ(std::pair(m_doc->m_strSrcPath, m_doc->m_nViewStart), std::pair(src, 0)) << r.what;
        EXPECT_TRUE(Errors().isEmpty()) << r.what;
    }
}

// A SigMF recording's annotations fill its segment list (label, else comment; edges as the band);
// one past the data is skipped with a note.
TEST_F(FormTest, SigmfAnnotationsFillTheSegmentList)
{
    Write("rec.sigmf-data", riff::Bytes(Bytes(4 * 8000))); // 8000 ci16 samples
    Write("rec.sigmf-meta",
          riff::Bytes::Text(R"({"global":{"core:datatype":"ci16_le","core:sample_rate":4000,"core:version":"1.2.5"},
        "captures":[{"core:sample_start":0,"core:frequency":1000000}],
        "annotations":[{"core:sample_start":400,"core:sample_count":800,"core:label":"burst",
                        "core:freq_lower_edge":999000,"core:freq_upper_edge":1001000},
                       {"core:sample_start":2000,"core:sample_count":100,"core:comment":"note"},
                       {"core:sample_start":7990,"core:sample_count":100,"core:label":"past"}]})"));
    Show(Path("rec.sigmf-meta"));
    EXPECT_EQ(m_doc->m_segments.Segments(),
              (std::vector<CSegment>{{400, 1200, "burst", SegmentBand{999000, 1001000}}, {2000, 2100, "note", {}}}));
    EXPECT_FALSE(m_view->SegmentNote().isEmpty());
}

} // namespace
