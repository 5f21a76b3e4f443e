// Selections on the picture with real drags and keys, the marks' labels and
// the bar's segment at positions finer than a second, and the segment list
// beside the form: kept across starts, renamed, removed, gone back to,
// imported and exported, and saved all at once with a Cancel half way; the
// selection's measurements and Save Band.
#include "form/FormFixture.h"
#include "support/SigmfSchema.h"

namespace {

using namespace form_test;

class SelectTest : public FormTest {
protected:
    QStringList Column(int col) const
    {
        QStringList texts;
        const CSegmentTableModel* m = m_dock->Model();
        for (int r = 0; r < m->rowCount(); ++r)
            texts << m->data(m->index(r, col)).toString();
        return texts;
    }
};

TEST_F(SelectTest, DragsAndKeysSetTheMarksToColumnsFirstFrames)
{
    Show(Source("iq.wav", 1500), true); // 733 blocks: more than the window's columns
    const int W = Plot().width(), H = Plot().height();
    ASSERT_GT(W, 100);
    const int64_t end = 1500000; // the data's last frame and the load's To
    const QString band = QStringLiteral("drag 10,%1 50,%2 +shift").arg(H / 4).arg(3 * H / 4);
    const struct {
        const char* proves;
        QString input;    // as FormTest::Play reads it
        int64_t from, to; // from -1: To 40 columns of two blocks after From, and one of one block
        bool bBand = false;
    } rows[] = {
        {"a drag selects the first frames of its columns", "drag 10 50", 10 * C, 50 * C},
        {"dragged leftwards: the same span", "drag 50 10", 10 * C, 50 * C},
        {"a move under 4 px stays a click: the marks stay", "drag 300 303", 0, end},
        {"Shift+drag: a rectangle with a band", band, 10 * C, 50 * C, true},
        {"Esc drops the band and keeps the span", band + "; key Esc", 10 * C, 50 * C},
        {"a drag of no width in time selects nothing", "drag 10,10 10,60", 0, end},
        {"past the recording's end the span ends at its last frame", "key End; drag W-10 W+20",
         (733 - W) * C + (W - 10) * C, end},
        {"[ and ] at the pointer's columns", "hover 20; key [; hover 70; key ]", 20 * C, 70 * C},
        {"] with the pointer off the picture: the window's end", "hover exit; key ]", 0, W * C},
        {"[ past To sends To to the recording's end", "hover 20; key ]; hover 40; key [", 40 * C, end},
        {"Shift+Right moves the mark nearer the pointer by a column",
         "drag 10 50; hover 45; key Right +shift; hover 12; key Left +shift", 9 * C, 51 * C},
        // Zoomed in about its centre, 200 to 240 stays in the window.
        {"an edge dragged after zooming in takes the finer columns", "key -; drag 200 240; key +; drag To To+1", -1, 0},
    };
    for (const auto& r : rows) {
        m_view->LoadSource(m_doc->m_strSrcPath);
        m_view->RefreshPlot();
        Form()->repaint();
        Play(r.input);
        const int64_t from = r.from < 0 ? m_doc->m_nFromFrame : r.from;
        EXPECT_EQ(Marks(), (std::pair{from, r.from < 0 ? from + 40 * 2 * C + C : r.to})) << r.proves;
        EXPECT_EQ(m_doc->m_selBand.has_value(), r.bBand) << r.proves;
    }
    // The band of the rectangle: the picture's rows span the rate, centred on the tuning.
    m_view->LoadSource(m_doc->m_strSrcPath);
    Play(band);
    ASSERT_TRUE(m_doc->m_selBand.has_value());
    const double rowHz = 1000.0 / H; // one row of the picture
    EXPECT_NEAR(m_doc->m_selBand->dLowHz, kCentreHz - 250 + 0.5, rowHz);
    EXPECT_NEAR(m_doc->m_selBand->dHighHz, kCentreHz + 250 + 0.5, rowHz);
    Drag(At(30, 10), At(30, 60)); // inside the selection, off its edges
    EXPECT_THAT(Status(), Has("no width"));
}

TEST_F(SelectTest, MarksFinerThanASecondKeepTheFormsTextsForWholeSeconds)
{
    Show(Source("iq.wav", 20), true); // a short source: a quarter second moves the bar's ends by pixels
    const struct {
        const char* proves;
        int64_t from, to;
        bool dated;
        QString fromText, toText;
    } rows[] = {
        {"whole seconds: the form's texts", 10000, 20000, true, "06/21/2003 9:05:10 (10 Secs)",
         "06/21/2003 9:05:20 (20 Secs)"},
        {"milliseconds otherwise", 10250, 17250, true, "06/21/2003 9:05:10.250 (10.250 Secs)",
         "06/21/2003 9:05:17.250 (17.250 Secs)"},
        {"no recording time: seconds", 10250, 20000, false, "10.250 Secs", "20 Secs"},
    };
    for (const auto& r : rows) {
        if (!r.dated)
            m_doc->m_stStart = SYSTEMTIME{};
        m_view->SetMarks(r.from, r.to);
        EXPECT_EQ(Text(IDC_FROM), r.fromText) << r.proves;
        EXPECT_EQ(Text(IDC_TO), r.toText) << r.proves;
        // The bar's yellow segment at the marks' true place.
        Bar().repaint();
        const int width = Bar().ClientRect().width();
        EXPECT_EQ(Bar().m_nFromPx, static_cast<int>(width * (r.from / 1000.0) / 20)) << r.proves;
        EXPECT_EQ(Bar().m_nToPx, static_cast<int>(width * (r.to / 1000.0) / 20)) << r.proves;
    }
}

// The list kept for the source comes back at the next start, with what was
// renamed and removed; a source changed since shows it with a warning.
TEST_F(SelectTest, ListComesBackAcrossStartsAndWarnsOfAChangedSource)
{
    const QString src = Source("iq.wav", 300);
    Show(src, true);
    Play("drag 40 60; key Ins; drag 10,20 20,60 +shift; key Ins; drag 100 120; key Ins"); // Insert adds, a band too
    m_dock->activateWindow(); // keys to the list: its window active, the table focused
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_dock.get()));
    m_dock->Table()->setFocus();
    m_dock->Table()->selectRow(2);
    QTest::keyClick(m_dock->Table(), Qt::Key_Delete); // removes the chosen rows
    m_dock->Table()->setCurrentIndex(m_dock->Model()->index(1, 0));
    QTest::keyClick(m_dock->Table(), Qt::Key_F2); // renames
    auto* editor = m_dock->Table()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Burst A"));
    QTest::keyClick(editor, Qt::Key_Return);
    FocusForm();
    Show(src, true); // a new start shows the list as it was, in time order
    EXPECT_EQ(Column(CSegmentTableModel::ColLabel), (QStringList{"Segment 2", "Burst A"}));
    EXPECT_EQ(Column(CSegmentTableModel::ColStart), (QStringList{"09:05:20.480", "09:06:21.920"}));
    EXPECT_EQ(Column(CSegmentTableModel::ColDuration), (QStringList{"20.480 s", "40.960 s"}));
    EXPECT_EQ(Column(CSegmentTableModel::ColBand)[0].right(4), QStringLiteral(" MHz"));
    EXPECT_TRUE(m_dock->Note()->isHidden());

    // A double-click off the label goes to the segment and selects it.
    const QPoint cell =
        m_dock->Table()->visualRect(m_dock->Model()->index(1, CSegmentTableModel::ColDuration)).center();
    QTest::mouseClick(m_dock->Table()->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(m_dock->Table()->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(Marks(), (std::pair<int64_t, int64_t>{40 * C, 60 * C}));

    // The source written anew: the list comes back with the warning.
    Close();
    QFile::remove(src);
    Source("iq.wav", 300);
    Show(src, true);
    EXPECT_EQ(Column(CSegmentTableModel::ColLabel), (QStringList{"Segment 2", "Burst A"}));
    EXPECT_THAT(m_dock->Note()->text(), Has("may have moved"));
}

TEST_F(SelectTest, ExportAndImportKeepTheListAndNameRefusedLines)
{
    Show(Source("iq.wav", 300), true);
    Play("drag 10 20; key Ins; drag 30,20 45,60 +shift; key Ins");
    const std::vector<CSegment> before = m_doc->m_segments.Segments();
    const QString csv = Path("list.csv");
    m_dialogs.m_answers = {csv};
    m_view->ExportSegments();
    m_view->RemoveSegments({0, 1});
    ASSERT_TRUE(m_doc->m_segments.IsEmpty());
    m_dialogs.m_answers = {csv};
    m_view->ImportSegments();
    EXPECT_EQ(m_doc->m_segments.Segments(), before);
    EXPECT_TRUE(m_dialogs.Messages().isEmpty());

    // As SigMF: the source described in place, each segment an annotation;
    // a second export finds the name taken and says so.
    const QString meta = Path("list.sigmf-meta");
    m_dialogs.m_answers = {meta, meta};
    m_view->ExportSegments();
    m_view->ExportSegments();
    QFile f(meta);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonArray notes = QJsonDocument::fromJson(f.readAll())["annotations"].toArray();
    ASSERT_EQ(notes.size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(notes[i]["core:sample_start"].toInteger(), before[static_cast<size_t>(i)].nFirstFrame);
        EXPECT_EQ(notes[i]["core:sample_count"].toInteger(), before[static_cast<size_t>(i)].Frames());
        EXPECT_EQ(notes[i]["core:label"].toString(), before[static_cast<size_t>(i)].strLabel);
    }
    EXPECT_EQ(notes[1]["core:freq_upper_edge"].toDouble(), before[1].band->dHighHz);
    EXPECT_EQ(SigmfSchemaErrors({meta.toStdString()}), "");
    EXPECT_THAT(Errors(), testing::ElementsAre(Has("already exists")));

    m_dialogs.m_answers = {
        Write("bad.csv", riff::Bytes::Text("from_s,to_s,label\n1,2,fine\n5,3,backwards\n1,x,text\n"))};
    m_view->ImportSegments();
    EXPECT_EQ(m_doc->m_segments.Count(), 3);
    EXPECT_THAT(m_dialogs.Messages(), testing::ElementsAre(testing::AllOf(Has("Line 3"), Has("Line 4"))));
}

// Save All with Cancel while its second segment is written: the first file
// stays whole, the second is gone, the third never started, and the message
// says so.
TEST_F(SelectTest, SaveAllCancelledHalfWayKeepsTheFinishedFiles)
{
    Show(Source("iq.wav", 1500), true);
    m_dialogs.m_answers = {Path("cut.wav")};
    Click(IDC_DEST_FILE);
    // The long one of over 256 blocks reports while written.
    for (const CSegment& s : {CSegment{1000, 5000, "first", {}}, CSegment{100000, 1400000, "long", {}},
                              CSegment{1450000, 1460000, "last", SegmentBand{7050100, 7050300}}})
        ASSERT_GE(m_doc->m_segments.Add(s), 0);
    int nCancels = 0;
    WhileSaving([&] { m_view->SaveAllSegments(); },
                [&](QProgressDialog* dialog) {
                    if (dialog->labelText().contains(QStringLiteral("segment 2 of 3")) && dialog->value() > 333) {
                        ++nCancels;
                        dialog->cancel();
                    }
                    return true;
                });
    EXPECT_EQ(nCancels, 1);
    EXPECT_EQ(Files("cut*"), (QStringList{"cut_001.wav"}));
    EXPECT_EQ(riff::ParseWave(Read("cut_001.wav")).payload.at("data").size(), 2u * C * 4); // two blocks of I/Q
    EXPECT_THAT(m_dialogs.Messages(),
                testing::ElementsAre(testing::AllOf(Begins("1 of 3 segments written.\nfirst: cut_001.wav\n"),
                                                    Has("Cancelled during segment 2 (\"long\")"))));

    // Run again to its end: three more files, the band row's band extracted.
    m_view->SaveAllSegments();
    EXPECT_EQ(Files("cut*").size(), 4);
    EXPECT_THAT(m_dialogs.Messages().last(), Has("1 of them hold their band"));
    EXPECT_EQ(riff::Le32(riff::ParseWave(Read("cut_004.wav")).payload.at("auxi"), 32), kCentreHz + 200) // its middle
        << "the band row's band extracted";
}

// The measurements of a selection against known values: a tone of half
// full scale on a bin reads 20 log10(0.5 (n - 1) / n) dB there, and the Hann
// window puts a quarter of its power on each neighbour, so the mean of b bins
// around it holds 1.5 / b of it, times the share of the span it sounds in.
TEST_F(SelectTest, SelectionMeasurementsOfAKnownTone)
{
    Show(ToneSource("tone.wav", 2, 1000, 1500, 100 * 1000.0 / C, kCentreHz, 750000)); // on bin 100, the first half
    const double tone = 20.0 * std::log10(kToneAmplitude / 32768.0 * (C - 1) / C);
    const SegmentBand band{kCentreHz + 40.0, kCentreHz + 60.0}; // display bins 1105 .. 1145: 41, the tone's at 1123
    const struct {
        const char* proves;
        int64_t from, to;
        std::optional<SegmentBand> band;
        const char* text; // before the mean
        double share;     // of the tone's power in the mean
    } rows[] = {
        {"a rectangle over the tone: its bins", 20480, 40960, band, "Δt 20.480 s  1/Δt 0.04883 Hz  BW 20 Hz", 1.5 / 41},
        {"a span: every bin of the picture", 20480, 40960, std::nullopt, "Δt 20.480 s  1/Δt 0.04883 Hz", 1.5 / 2048},
        {"under a second: milliseconds; one transform", 20480, 20500, band, "Δt 20 ms  1/Δt 50 Hz  BW 20 Hz", 1.5 / 41},
        {"the whole recording, the tone in half", 0, 1500000, band, "Δt 1500.000 s  1/Δt 0.0006667 Hz  BW 20 Hz",
         0.5 * 1.5 / 41},
    };
    for (const auto& r : rows) {
        m_doc->m_selBand = r.band;
        m_view->SetMarks(r.from, r.to);
        const QString text = m_view->SelectionMeasureText();
        const QString head = QString::fromUtf8(r.text) + QStringLiteral("  Mean ");
        ASSERT_THAT(text, Begins(head)) << r.proves;
        EXPECT_NEAR(text.mid(head.size()).chopped(3).toDouble(), tone + 10.0 * std::log10(r.share), 0.06) << r.proves;
        EXPECT_EQ(Status(), text) << r.proves;
    }
    // A drag shows them on the status line until the pointer moves on.
    Play(QStringLiteral("drag 10,%1 50,%2 +shift").arg(Plot().height() / 4).arg(3 * Plot().height() / 4));
    EXPECT_THAT(Status(), Begins("Δt 81.920 s"));
    Play("hover 100");
    EXPECT_THAT(Status(), Begins("Cursor = "));
}

// Save Band: offered for a rectangle only, says the output's rate and centre
// (as the file then holds them) before it starts, writes nothing when
// declined or when the band cannot be extracted; Save Segment keeps the
// whole band.
TEST_F(SelectTest, SaveBandSaysRateAndCentreAndWritesTheNumberedBandFile)
{
    constexpr uint32_t kRate = 96000;
    Show(ToneSource("wide.wav", 2, kRate, 2, 0.0, kCentreHz, 0)); // silent
    m_dialogs.m_answers = {Path("cut.wav")};
    Click(IDC_DEST_FILE);
    const SegmentBand in{kCentreHz - 6000.0, kCentreHz + 6000.0}, far{kCentreHz + 40000.0, kCentreHz + 60000.0};
    const struct {
        const char* proves;
        std::optional<SegmentBand> band;
        bool bYes;
        int nQuestions, nErrors;
        QStringList files;
    } rows[] = {
        {"a span without a band: not offered", {}, true, 0, 0, {}},
        {"declined: nothing written", in, false, 1, 0, {}},
        {"beyond the source's spectrum: told why, nothing asked", far, true, 0, 1, {}},
        {"agreed: the next numbered file", in, true, 1, 0, {"cut_001.wav"}},
    };
    for (const auto& r : rows) {
        m_dialogs.m_asked.clear();
        m_dialogs.m_bYes = r.bYes;
        m_doc->m_selBand = r.band;
        m_view->SetMarks(9600, 9600 + kRate);
        EXPECT_EQ(m_view->SaveBandAction()->isEnabled(), r.band.has_value()) << r.proves;
        Play("key S +ctrl +shift");
        EXPECT_EQ(m_dialogs.Questions().size(), r.nQuestions) << r.proves;
        EXPECT_EQ(Errors().size(), r.nErrors) << r.proves;
        EXPECT_EQ(Files("cut*"), r.files) << r.proves;
    }
    // The question named the rate and centre the file holds: 12 kHz takes 96 kHz down by 6.
    const riff::Chunks out = riff::ParseWave(Read("cut_001.wav"));
    const uint32_t rate = riff::Le32(out.payload.at("fmt "), 4), centre = riff::Le32(out.payload.at("auxi"), 32);
    EXPECT_EQ(rate, kRate / 6);
    EXPECT_EQ(out.payload.at("data").size(), size_t{kRate / 6} * 4); // one second of 16-bit I/Q
    EXPECT_THAT(m_dialogs.Questions(),
                testing::ElementsAre(testing::AllOf(Has(QStringLiteral("%1 Hz").arg(rate)),
                                                    Has(RadioFrequencyText(centre)), Has("cut_001.wav"))));

    // Save Segment with the rectangle still selected: the source's rate and whole band.
    Click(IDC_SAVE);
    const riff::Chunks cut = riff::ParseWave(Read("cut_002.wav"));
    EXPECT_EQ(riff::Le32(cut.payload.at("fmt "), 4), kRate);
}

} // namespace
