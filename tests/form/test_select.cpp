// Selections on the picture with real drags and keys, the marks' labels and
// the bar's segment at positions finer than a second, and the segment list
// beside the form: kept across starts, renamed, removed, gone back to,
// imported and exported, and saved all at once with a Cancel half way.
#include <QLineEdit>
#include <QTableView>

#include "form/FormFixture.h"

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
    QPoint Cell(int row, int col) const
    {
        QTableView* t = m_dock->Table();
        return t->visualRect(t->model()->index(row, col)).center();
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
    EXPECT_TRUE(m_view->m_wndStatus->text().contains(QStringLiteral("no width")))
        << m_view->m_wndStatus->text().toStdString();
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
        {"a frame just past a second", 10001, 20000, true, "06/21/2003 9:05:10.001 (10.001 Secs)",
         "06/21/2003 9:05:20 (20 Secs)"},
        {"no recording time: seconds", 10250, 20000, false, "10.250 Secs", "20 Secs"},
    };
    for (const auto& r : rows) {
        if (!r.dated)
            m_doc->m_stStart = SYSTEMTIME{};
        m_view->SetMarks(r.from, r.to);
        EXPECT_EQ(Text(IDC_FROM), r.fromText) << r.proves;
        EXPECT_EQ(Text(IDC_TO), r.toText) << r.proves;
        // The bar's yellow segment at the marks' true place.
        CWposCtrl& bar = m_view->m_wndPosBar;
        bar.repaint();
        const int width = bar.ClientRect().width();
        EXPECT_EQ(bar.m_nFromPx, static_cast<int>(width * (r.from / 1000.0) / 20)) << r.proves;
        EXPECT_EQ(bar.m_nToPx, static_cast<int>(width * (r.to / 1000.0) / 20)) << r.proves;
    }
}

// The list kept for the source comes back at the next start, with what was
// renamed and removed; a source changed since shows it with a warning.
TEST_F(SelectTest, ListComesBackAcrossStartsAndWarnsOfAChangedSource)
{
    const QString src = Source("iq.wav", 300);
    const struct {
        const char* proves;
        std::function<void()> act;
        QStringList labels;
    } steps[] = {
        {"Insert adds the selection", [&] { Play("drag 40 60; key Ins"); }, {"Segment 1"}},
        {"the list sorts by time; a band shows",
         [&] { Play("drag 10,20 20,60 +shift; key Ins"); },
         {"Segment 2", "Segment 1"}},
        {"F2 renames",
         [&] {
             FocusList();
             m_dock->Table()->setCurrentIndex(m_dock->Model()->index(1, 0));
             QTest::keyClick(m_dock->Table(), Qt::Key_F2);
             auto* editor = m_dock->Table()->findChild<QLineEdit*>();
             ASSERT_NE(editor, nullptr);
             editor->selectAll();
             QTest::keyClicks(editor, QStringLiteral("Burst A"));
             QTest::keyClick(editor, Qt::Key_Return);
             FocusForm();
         },
         {"Segment 2", "Burst A"}},
        {"Delete removes the chosen rows",
         [&] {
             Play("drag 100 120; key Ins");
             FocusList();
             m_dock->Table()->selectRow(2);
             QTest::keyClick(m_dock->Table(), Qt::Key_Delete);
             FocusForm();
         },
         {"Segment 2", "Burst A"}},
        {"a new start shows the list as it was", [&] { Show(src, true); }, {"Segment 2", "Burst A"}},
    };
    Show(src, true);
    for (const auto& s : steps) {
        s.act();
        EXPECT_EQ(Column(CSegmentTableModel::ColLabel), s.labels) << s.proves;
    }
    EXPECT_EQ(Column(CSegmentTableModel::ColStart), (QStringList{"09:05:20.480", "09:06:21.920"}));
    EXPECT_EQ(Column(CSegmentTableModel::ColDuration), (QStringList{"20.480 s", "40.960 s"}));
    EXPECT_TRUE(Column(CSegmentTableModel::ColBand)[0].endsWith(QStringLiteral(" MHz")));
    EXPECT_TRUE(m_dock->Note()->isHidden());

    // A double-click off the label goes to the segment and selects it.
    const QPoint cell = Cell(1, CSegmentTableModel::ColDuration);
    QTest::mouseClick(m_dock->Table()->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(m_dock->Table()->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(Marks(), (std::pair<int64_t, int64_t>{40 * C, 60 * C}));

    // The source written anew: the list comes back with the warning.
    Close();
    QFile::remove(src);
    Source("iq.wav", 300);
    Show(src, true);
    EXPECT_EQ(Column(CSegmentTableModel::ColLabel), (QStringList{"Segment 2", "Burst A"}));
    EXPECT_TRUE(m_dock->Note()->text().contains(QStringLiteral("may have moved")))
        << m_dock->Note()->text().toStdString();
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

    QFile bad(Path("bad.csv"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("from_s,to_s,label\n1,2,fine\n5,3,backwards\n1,x,text\n");
    bad.close();
    m_dialogs.m_answers = {bad.fileName()};
    m_view->ImportSegments();
    EXPECT_EQ(m_doc->m_segments.Count(), 3);
    ASSERT_EQ(m_dialogs.Messages().size(), 1);
    EXPECT_TRUE(m_dialogs.Messages()[0].contains(QStringLiteral("Line 3")));
    EXPECT_TRUE(m_dialogs.Messages()[0].contains(QStringLiteral("Line 4")));
}

// Save All with Cancel while its second segment is written: the first file
// stays whole, the second is gone, the third never started, and the message
// says so.
TEST_F(SelectTest, SaveAllCancelledHalfWayKeepsTheFinishedFiles)
{
    Show(Source("iq.wav", 1500), true);
    const QString dest = Path("out/cut.wav");
    QDir().mkpath(Path("out"));
    m_dialogs.m_answers = {dest};
    QTest::mouseClick(m_view->Control(IDC_DEST_FILE), Qt::LeftButton);
    CSegmentList& list = m_doc->m_segments;
    ASSERT_GE(list.Add(CSegment{1000, 5000, "first", {}}), 0);
    ASSERT_GE(list.Add(CSegment{100000, 1400000, "long", {}}), 0); // over 256 blocks: reports while written
    ASSERT_GE(list.Add(CSegment{1450000, 1460000, "last", SegmentBand{7050100, 7050300}}), 0);
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
    EXPECT_EQ(QDir(Path("out")).entryList(QDir::Files), (QStringList{"cut_001.wav"}));
    const riff::Chunks first = riff::ParseWave(riff::ReadFile(Path("out/cut_001.wav").toStdString()));
    EXPECT_EQ(first.payload.at("data").size(), 2u * 2048 * 4); // two blocks of two 16-bit channels
    ASSERT_EQ(m_dialogs.Messages().size(), 1);
    const QString said = m_dialogs.Messages()[0];
    EXPECT_TRUE(said.startsWith(QStringLiteral("1 of 3 segments written.\nfirst: cut_001.wav\n")))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("Cancelled during segment 2 (\"long\")"))) << said.toStdString();

    // Run again to its end: three more files, the band row's band extracted.
    m_view->SaveAllSegments();
    EXPECT_EQ(QDir(Path("out")).entryList(QDir::Files).size(), 4);
    EXPECT_TRUE(m_dialogs.Messages().last().contains(QStringLiteral("1 of them hold their band")))
        << m_dialogs.Messages().last().toStdString();
    const riff::Chunks band = riff::ParseWave(riff::ReadFile(Path("out/cut_004.wav").toStdString()));
    EXPECT_EQ(riff::Le32(band.payload.at("auxi"), 32), kCentreHz + 200); // tuned to the band's middle
}

} // namespace
