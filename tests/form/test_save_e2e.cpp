// "Save Segment" end to end: a generated source shown in the form, the marks
// set with Ctrl + clicks on the bar, the destination chosen through the dialog
// seam, the button pressed, and the file written checked byte for byte; the
// overwrite question; and `tavirel-cli cut` writing the same bytes.
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "doc/ProfileStore.h"
#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "doc/test_segmentsave_files.h"
#include "form/FileDialogs.h"
#include "form/TavirelView.h"
#include "support/ScriptedDialogs.h"

using namespace segtest;

namespace {

constexpr int kDestFileId = 1001;
constexpr int kUseAgcId = 1019;

// Runs tavirel-cli cut; returns its exit status and its standard output
// (its error output when it did not finish normally).
std::pair<int, QString> RunCut(const QStringList& args)
{
    const QByteArray buildDir = qgetenv("TAVIREL_BUILD_DIR");
    const QString cli = buildDir.isEmpty()
                            ? QCoreApplication::applicationDirPath() + QStringLiteral("/../../src/cli/tavirel-cli")
                            : QString::fromLocal8Bit(buildDir) + QStringLiteral("/src/cli/tavirel-cli");
    QProcess p;
    p.start(cli, QStringList{QStringLiteral("cut")} + args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit)
        return {-1, QString::fromLocal8Bit(p.readAllStandardError())};
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput())};
}


class SaveEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        ASSERT_TRUE(dir.isValid());
        CFileDialogs::SetInstance(&dialogs);

        // One minute of two-channel 16-bit samples recorded on 21 June 2003.
        source.frames = 60 * 8000;
        source.start = SYSTEMTIME{2003, 6, 6, 21, 9, 5, 0, 0};
        source.stop = SYSTEMTIME{2003, 6, 6, 21, 9, 6, 0, 0};
        sourceBytes = WaveBytes(source);
        WriteFile(PathOf("src.wav"), sourceBytes);

        store = std::make_unique<CSettingsStore>(dir.filePath(QStringLiteral("Tavirel.conf")));
        doc = std::make_unique<CTavirelDoc>(store.get());
        ASSERT_TRUE(doc->OnNewDocument());
        doc->m_strSrcPath = dir.filePath(QStringLiteral("src.wav"));
        view = std::make_unique<CTavirelView>(doc.get());
        view->resize(view->GetDesignSize());
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->OnInitialUpdate();
        ASSERT_TRUE(doc->m_bLoaded);
        ASSERT_EQ(doc->m_nLengthSec, 60);
    }

    void TearDown() override
    {
        view.reset();
        CFileDialogs::SetInstance(nullptr);
    }

    std::string PathOf(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    // A Ctrl + click on the bar at client column x.
    void CtrlClickBar(Qt::MouseButton button, int x)
    {
        CWposCtrl& bar = view->m_wndPosBar;
        const QRect client = bar.ClientRect();
        QTest::mouseClick(&bar, button, Qt::ControlModifier, QPoint(client.left() + x, client.center().y()));
    }

    // Marks From and To as the user does and returns them.
    std::pair<int, int> MarkSegment(int fromPx, int toPx)
    {
        CWposCtrl& bar = view->m_wndPosBar;
        const int widthPx = bar.ClientRect().width();
        CtrlClickBar(Qt::LeftButton, fromPx);
        CtrlClickBar(Qt::RightButton, toPx);
        EXPECT_EQ(bar.m_nFrom, 60 * fromPx / widthPx);
        EXPECT_EQ(bar.m_nTo, 60 * toPx / widthPx);
        return {bar.m_nFrom, bar.m_nTo};
    }

    void ChooseDestination(const char* name)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        dialogs.m_answers = {path};
        QTest::mouseClick(view->Control(kDestFileId), Qt::LeftButton);
        ASSERT_EQ(doc->m_strDestPath, path);
        ASSERT_TRUE(view->m_btnSave->isEnabled());
    }

    void PressSave()
    {
        QTest::mouseClick(view->m_btnSave, Qt::LeftButton);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr); // the wait cursor has ended
    }

    // The file the window must write for marks from..to, byte for byte.
    Bytes ExpectedSegment(int from, int to) const
    {
        const Chunks in = ParseWave(sourceBytes);
        Bytes fmt = in.payload.at("fmt ");
        fmt.push_back(0); // written as the 18-byte record, no extension
        fmt.push_back(0);

        riff::Bytes auxi;
        SYSTEMTIME st;
        EXPECT_TRUE((CTime(source.start, -1) + from).GetAsSystemTime(st));
        auxi.Time(st);
        EXPECT_TRUE((CTime(source.start, -1) + to).GetAsSystemTime(st));
        auxi.Time(st);
        auxi.v.insert(auxi.v.end(), in.payload.at("auxi").begin() + 32, in.payload.at("auxi").end());

        // Whole blocks from the frame where the reader puts the From second.
        const int64_t frames = int64_t{to - from} * doc->m_nTotalFrames / doc->m_nLengthSec;
        const int64_t blocks = (frames + 2047) / 2048;
        const uint32_t first = static_cast<uint32_t>(doc->m_wave.m_nBytesPerSec * from / 4);
        const riff::Bytes data = riff::Gen16(static_cast<size_t>(blocks) * 2048 * 2, [&](size_t i) {
            const uint32_t f = first + static_cast<uint32_t>(i / 2);
            return f < source.frames ? SampleAt(f, static_cast<int>(i % 2)) : int16_t{0};
        });
        return riff::Wave(riff::Bytes(fmt), data, {riff::Chunk("auxi", auxi)}).v;
    }

    QTemporaryDir dir;
    CScriptedDialogs dialogs;
    Source source;
    Bytes sourceBytes;
    std::unique_ptr<CSettingsStore> store;
    std::unique_ptr<CTavirelDoc> doc;
    std::unique_ptr<CTavirelView> view; // destroyed before the document
};

TEST_F(SaveEndToEnd, SavesNumberedSegmentsWithTheSourcesFormatTimesAndFrames)
{
    ChooseDestination("cut.wav");
    const auto [from, to] = MarkSegment(60, 150);
    ASSERT_LT(from, to);
    const Bytes expected = ExpectedSegment(from, to);

    PressSave();
    ASSERT_TRUE(Exists(PathOf("cut_001.wav")));
    EXPECT_TRUE(ReadFile(PathOf("cut_001.wav")) == expected);

    // Saving again without moving the marks writes the same bytes to the next number.
    PressSave();
    EXPECT_TRUE(ReadFile(PathOf("cut_002.wav")) == expected);
    EXPECT_TRUE(dialogs.Questions().isEmpty());
    EXPECT_FALSE(Exists(PathOf("cut.wav")));
    EXPECT_TRUE(doc->m_wave.m_bInOpen);
}

TEST_F(SaveEndToEnd, OverwriteQuestionIsAboutTheNumberedFile)
{
    ChooseDestination("cut.wav");
    const auto [from, to] = MarkSegment(10, 40);

    // A file with the chosen name itself is never written, so it asks nothing.
    WriteFile(PathOf("cut.wav"), Bytes{'m', 'i', 'n', 'e'});
    PressSave();
    EXPECT_TRUE(dialogs.Questions().isEmpty());
    EXPECT_TRUE(ReadFile(PathOf("cut.wav")) == (Bytes{'m', 'i', 'n', 'e'}));
    ASSERT_TRUE(Exists(PathOf("cut_001.wav")));

    // cut_002.wav from an earlier run: No keeps it and changes nothing.
    const Bytes earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    WriteFile(PathOf("cut_002.wav"), earlier);
    const AUXIINFO auxiBefore = doc->m_auxi;
    dialogs.m_bYes = false;
    PressSave();
    ASSERT_EQ(dialogs.Questions(), QStringList{QStringLiteral("File exists.  Overwrite?")});
    EXPECT_TRUE(ReadFile(PathOf("cut_002.wav")) == earlier);
    EXPECT_EQ(std::memcmp(&doc->m_auxi, &auxiBefore, sizeof(AUXIINFO)), 0);
    EXPECT_FALSE(Exists(PathOf("cut_003.wav")));

    // Yes replaces it with the segment.
    dialogs.m_bYes = true;
    PressSave();
    EXPECT_EQ(dialogs.Questions().size(), 2);
    EXPECT_TRUE(ReadFile(PathOf("cut_002.wav")) == ExpectedSegment(from, to));
    EXPECT_FALSE(Exists(PathOf("cut_003.wav")));
}

TEST_F(SaveEndToEnd, AFailedSaveSaysSoOnTheStatusLine)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("gone")));
    ChooseDestination("gone/cut.wav");
    ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("gone")));
    MarkSegment(0, 100);
    PressSave();
    EXPECT_TRUE(view->m_wndStatus->text().startsWith(QStringLiteral("Save failed: "))) <<
        view->m_wndStatus->text().toStdString();
    EXPECT_TRUE(dialogs.Questions().isEmpty());
    EXPECT_TRUE(doc->m_wave.m_bInOpen); // the source is still there for the window
}

TEST_F(SaveEndToEnd, CommandLineCutWritesTheSameBytesAsTheWindow)
{
    ChooseDestination("cut.wav");
    const auto [from, to] = MarkSegment(100, 250);
    PressSave(); // cut_001.wav, plain
    QTest::mouseClick(view->Control(kUseAgcId), Qt::LeftButton);
    ASSERT_TRUE(view->m_bUseAgc);
    PressSave(); // cut_002.wav, levelled

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("cli")));
    const QString src = dir.filePath(QStringLiteral("src.wav"));
    const QString dest = dir.filePath(QStringLiteral("cli/cut.wav"));
    const QStringList marks{src, QStringLiteral("--from"), QString::number(from), QStringLiteral("--to"),
                            QString::number(to), QStringLiteral("--dest"), dest};
    const auto plain = RunCut(marks);
    ASSERT_EQ(plain.first, 0) << plain.second.toStdString();
    EXPECT_EQ(plain.second, QString::fromStdString(PathOf("cli/cut_001.wav")) + QLatin1Char('\n'));
    EXPECT_TRUE(ReadFile(PathOf("cli/cut_001.wav")) == ReadFile(PathOf("cut_001.wav")));

    // Each run numbers from 001: the file is there now, and is kept.
    const auto again = RunCut(marks + QStringList{QStringLiteral("--agc")});
    EXPECT_EQ(again.first, 1);
    EXPECT_TRUE(ReadFile(PathOf("cli/cut_001.wav")) == ReadFile(PathOf("cut_001.wav")));
    const auto levelled = RunCut(marks + QStringList{QStringLiteral("--agc"), QStringLiteral("--overwrite")});
    ASSERT_EQ(levelled.first, 0);
    EXPECT_TRUE(ReadFile(PathOf("cli/cut_001.wav")) == ReadFile(PathOf("cut_002.wav")));
    EXPECT_FALSE(ReadFile(PathOf("cut_002.wav")) == ReadFile(PathOf("cut_001.wav")));
}

TEST(SaveCommandLine, BadMarksAreUsageErrorsAndWriteNothing)
{
    setenv("TZ", "UTC", 1);
    tzset();
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src.wav"));
    Source s;
    s.frames = 5 * 8000;
    (CTime(s.start, -1) + 5).GetAsSystemTime(s.stop);
    WriteFile(src.toStdString(), WaveBytes(s));
    const QString dest = dir.filePath(QStringLiteral("cut.wav"));
    auto cut = [&](const char* from, const char* to) {
        return RunCut(QStringList{src, QStringLiteral("--from"), QString::fromLatin1(from), QStringLiteral("--to"),
                                  QString::fromLatin1(to), QStringLiteral("--dest"), dest})
            .first;
    };
    EXPECT_EQ(cut("3", "3"), 2);  // From must come before To
    EXPECT_EQ(cut("0", "6"), 2);  // past the 5-second source
    EXPECT_EQ(cut("-1", "2"), 2);
    EXPECT_EQ(cut("x", "2"), 2);
    EXPECT_EQ(RunCut(QStringList{src, QStringLiteral("--from"), QStringLiteral("0")}).first, 2);
    EXPECT_FALSE(Exists(dir.filePath(QStringLiteral("cut_001.wav")).toStdString()));
    EXPECT_EQ(cut("0", "5"), 0);  // the whole source
    EXPECT_TRUE(Exists(dir.filePath(QStringLiteral("cut_001.wav")).toStdString()));
    // Not a wave file: a file error.
    EXPECT_EQ(RunCut(QStringList{dest, QStringLiteral("--from"), QStringLiteral("0"), QStringLiteral("--to"),
                                 QStringLiteral("1"), QStringLiteral("--dest"), dest})
                  .first,
              1);
}

} // namespace
