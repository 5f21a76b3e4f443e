// The main form's labels, file dialogs and buttons, driven by real clicks.
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <functional>

#include "test_view_support.h"

using namespace viewtest;

namespace {

const WallTime kStart{2003, 6, 21, 9, 5, 0};
const WallTime kStop{2003, 6, 21, 10, 5, 0};

class ViewLabels : public ViewFixture {
protected:
    // The one-hour recording of 21 June 2003, 9:05:00 to 10:05:00.
    QString HourSource()
    {
        const QString path = Path("hour.wav");
        EXPECT_TRUE(WriteFile(path, MonoWave(3600 * 1000, &kStart, &kStop)));
        return path;
    }
    void Click(int id) { QTest::mouseClick(m_view->Control(id), Qt::LeftButton); }
};

} // namespace

TEST_F(ViewLabels, DatedSourceShowsWallClockTimesAndSegmentMarks)
{
    ShowView(HourSource());
    EXPECT_TRUE(m_doc->m_bLoaded);
    EXPECT_EQ(Text(1010), QStringLiteral("06/21/2003 9:05:00 (0 Sec)"));
    EXPECT_EQ(Text(1011), QStringLiteral("06/21/2003 10:05:00 (3600 Sec)"));
    EXPECT_EQ(Text(1006), QStringLiteral("06/21/2003 9:05:00 (0 Secs)"));
    EXPECT_EQ(Text(1007), QStringLiteral("06/21/2003 10:05:00 (3600 Secs)"));
    EXPECT_EQ(Text(1002), m_doc->m_strSrcPath);
    EXPECT_EQ(Text(1020), QStringLiteral("0"));
    EXPECT_EQ(Bar().m_nLength, 3600);
    EXPECT_EQ(Bar().m_nTo, 3600);
    EXPECT_FALSE(m_view->m_btnSave->isEnabled()); // no destination yet

    // Ctrl + left and Ctrl + right clicks on the bar move the marks and the labels.
    const QRect client = Bar().ClientRect();
    QTest::mouseClick(&Bar(), Qt::LeftButton, Qt::ControlModifier, QPoint(client.left() + client.width() / 4, 5));
    const int nFromSec = Bar().m_nFrom;
    ASSERT_GT(nFromSec, 0);
    const CTime t0(m_doc->m_stStart, -1);
    EXPECT_EQ(m_doc->m_timeFrom, t0 + nFromSec);
    EXPECT_EQ(Text(1006), QString::fromStdString((t0 + nFromSec).Format("%m/%d/%Y %-H:%M:%S ")) +
                              QStringLiteral("(%1 Secs)").arg(nFromSec));
    QTest::mouseClick(&Bar(), Qt::RightButton, Qt::ControlModifier, QPoint(client.left() + client.width() / 2, 5));
    const int nToSec = Bar().m_nTo;
    ASSERT_LT(nToSec, 3600);
    EXPECT_EQ(m_doc->m_timeTo, t0 + nToSec);
    EXPECT_TRUE(Text(1007).endsWith(QStringLiteral(" (%1 Secs)").arg(nToSec)));

    // Without a recording time the marks are plain seconds.
    m_doc->m_stStart = SYSTEMTIME{};
    m_view->OnPosBarNotify(WPOS_SETFROM, 120);
    EXPECT_EQ(Text(1006), QStringLiteral("120 Secs"));
    EXPECT_EQ(Text(1007), QStringLiteral("%1 Secs").arg(nToSec));
    EXPECT_EQ(m_doc->m_timeFrom, CTime(120));
}

TEST_F(ViewLabels, SourceWithoutMetadataIsTimedByTheFileItself)
{
    const QString path = Path("plain.wav");
    ASSERT_TRUE(WriteFile(path, MonoWave(90 * 1000)));
    ShowView(path);
    ASSERT_TRUE(m_doc->m_bLoaded);
    const int n = m_doc->m_nLengthSec;
    EXPECT_GE(n, 90);
    const QRegularExpression date(QStringLiteral(R"(^\d\d/\d\d/\d{4} \d{1,2}:\d\d:\d\d )"));
    EXPECT_TRUE(date.match(Text(1010)).hasMatch()) << Text(1010).toStdString();
    EXPECT_TRUE(Text(1010).endsWith(QStringLiteral(" (0 Sec)")));
    EXPECT_TRUE(Text(1011).endsWith(QStringLiteral(" (%1 Sec)").arg(n)));
    EXPECT_TRUE(Text(1006).endsWith(QStringLiteral(" (0 Secs)")));
    EXPECT_TRUE(Text(1007).endsWith(QStringLiteral(" (%1 Secs)").arg(n)));
}

TEST_F(ViewLabels, StoredPathThatIsNoWaveLoadsNothing)
{
    const QString path = Path("notes.wav");
    ASSERT_TRUE(WriteFile(path, {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'}));
    ShowView(path);
    EXPECT_FALSE(m_doc->m_bLoaded);
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());
    EXPECT_EQ(Text(1002), path);
    // The template's placeholders are replaced by the empty members.
    for (int id : {1010, 1011, 1006, 1007})
        EXPECT_EQ(Text(id), QString()) << id;
    EXPECT_EQ(Text(1018), QStringLiteral("L-Click = Repositions Zoom Window         CTRL-L-Click = Set \"From\" Pos"
                                         "       CTRL-R-Click = Set \"To\" Pos"));
}

TEST_F(ViewLabels, SrcFileCancelledLeavesTheSourceClosedAndClicksIdle)
{
    const QString hour = HourSource();
    m_doc->m_strDestPath = Path("cut.wav");
    ShowView(hour);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled());
    const int nViewStartSec = Bar().m_nViewStart;
    const QString fromText = Text(1006);

    m_dialogs.m_answers = {QString()};
    Click(1000);
    ASSERT_EQ(m_dialogs.m_asked.size(), 1);
    EXPECT_EQ(m_dialogs.m_asked[0], QStringLiteral("open:") + hour + QStringLiteral("|Wave Files (*.wav)"));
    EXPECT_FALSE(m_doc->m_bLoaded);
    EXPECT_FALSE(m_doc->m_wave.m_bInOpen);
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());
    EXPECT_EQ(Text(1006), fromText);
    EXPECT_EQ(m_doc->m_strSrcPath, hour);

    // Bar and plot clicks do nothing without a source.
    const QRect client = Bar().ClientRect();
    QTest::mouseClick(&Bar(), Qt::LeftButton, Qt::NoModifier, QPoint(client.right() - 2, 5));
    QTest::mouseClick(&Bar(), Qt::LeftButton, Qt::ControlModifier, QPoint(client.left() + 20, 5));
    QTest::mouseClick(Form(), Qt::LeftButton, Qt::NoModifier, m_view->PlotAreaRect().center());
    EXPECT_EQ(Bar().m_nViewStart, nViewStartSec);
    EXPECT_EQ(Bar().m_nFrom, 0);
    EXPECT_EQ(m_doc->m_nViewStart, nViewStartSec);

    // A file that is no wave brings the previous source back.
    const QString junk = Path("junk.wav");
    ASSERT_TRUE(WriteFile(junk, {'R', 'I', 'F', 'F', 0, 0}));
    m_dialogs.m_answers = {junk};
    Click(1000);
    EXPECT_EQ(m_doc->m_strSrcPath, hour);
    EXPECT_TRUE(m_doc->m_bLoaded);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled());

    // A good one becomes the source.
    const QString other = Path("other.wav");
    ASSERT_TRUE(WriteFile(other, MonoWave(30 * 1000)));
    m_dialogs.m_answers = {other};
    Click(1000);
    EXPECT_EQ(m_doc->m_strSrcPath, other);
    EXPECT_EQ(Text(1002), other);
    EXPECT_EQ(Bar().m_nLength, 30);
    EXPECT_TRUE(Text(1007).endsWith(QStringLiteral("(30 Secs)")));
}

TEST_F(ViewLabels, DestinationEnablesSaveOnlyWithASourceShown)
{
    ShowView(QString());
    m_dialogs.m_answers = {Path("cut.wav")};
    Click(1001);
    EXPECT_EQ(m_dialogs.m_asked.value(0), QStringLiteral("save:|Wave Files (*.wav)"));
    EXPECT_EQ(m_doc->m_strDestPath, Path("cut.wav"));
    EXPECT_EQ(Text(1003), Path("cut.wav"));
    EXPECT_FALSE(m_view->m_btnSave->isEnabled());

    // Cancelling keeps the path.
    m_dialogs.m_answers = {QString()};
    Click(1001);
    EXPECT_EQ(m_doc->m_strDestPath, Path("cut.wav"));

    // With a source shown, a chosen destination enables saving.
    m_dialogs.m_answers = {HourSource()};
    Click(1000);
    ASSERT_TRUE(m_doc->m_bLoaded);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled()); // the load found a destination shown
    m_view->m_btnSave->setEnabled(false);
    m_dialogs.m_answers = {Path("cut2.wav")};
    Click(1001);
    EXPECT_TRUE(m_view->m_btnSave->isEnabled());
    EXPECT_EQ(Text(1003), Path("cut2.wav"));
}

// Qt's own dialogs behind the seam: the wave filter, the "wav" suffix, the
// overwrite question of the save dialog, and Yes/No.
TEST(FileDialogs, QtDialogsAskForWaveFilesAndConfirmOverwriting)
{
    CFileDialogs::SetInstance(nullptr);
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("cut.wav"));
    ASSERT_TRUE(WriteFile(existing, {0}));

    // Inspects the dialog once it runs, then answers it.
    auto answer = [](std::function<void(QWidget*)> inspect) {
        QTimer::singleShot(0, [inspect] { inspect(QApplication::activeModalWidget()); });
    };
    bool seen = false;
    answer([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Wave Files (*.wav)")});
        EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("wav"));
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());
        seen = true;
        dialog->reject();
    });
    EXPECT_EQ(CFileDialogs::Instance()->GetSaveFileName(nullptr, existing, QStringLiteral("Wave Files (*.wav)")),
              QString());
    EXPECT_TRUE(seen);

    answer([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        dialog->selectFile(existing);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, as the Open button does
    });
    EXPECT_EQ(CFileDialogs::Instance()->GetOpenFileName(nullptr, QString(), QStringLiteral("Wave Files (*.wav)")),
              existing);

    answer([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("File exists.  Overwrite?"));
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    EXPECT_TRUE(CFileDialogs::Instance()->AskYesNo(nullptr, QStringLiteral("File exists.  Overwrite?")));
    answer([](QWidget* w) { static_cast<QMessageBox*>(w)->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(CFileDialogs::Instance()->AskYesNo(nullptr, QStringLiteral("File exists.  Overwrite?")));
}
