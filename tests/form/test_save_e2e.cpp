// "Save Segment" end to end: marks set by Ctrl + clicks on the bar, the file written checked byte for byte,
// the overwrite question, a failed save, and `tavirel-cli cut` writing the same bytes.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QPushButton>

#include "test_view_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
const std::vector<uint32_t> kAuxiValues{7050000, 64000000, 11, 4000, 12, 13, 14, 15, 16, 17};
const SYSTEMTIME kStart{2003, 6, 6, 21, 9, 5, 0, 0};

// Frame f, channel c of the source: distinct for nearby frames and channels.
int16_t SampleAt(size_t f, size_t c) { return static_cast<int16_t>(f * 3 + c * 12345); }

class SaveEndToEnd : public ViewFixture {
protected:
    void SetUp() override
    {
        ViewFixture::SetUp();
        // One minute of two-channel 16-bit samples at 8000 frames/s.
        const SYSTEMTIME stop{2003, 6, 6, 21, 9, 6, 0, 0};
        riff::WaveShape shape(2, 8000, 16, 1, riff::AuxiPayload(kStart, stop, kAuxiValues));
        riff::WriteFile(File("src.wav"), riff::WaveFile(shape, riff::Gen16(60 * 8000 * 2, [](size_t i) { return SampleAt(i / 2, i % 2); })));
        ShowView(Path("src.wav"));
        ASSERT_EQ(m_doc->m_nLengthSec, 60);
    }
    std::string File(const char* name) const { return Path(name).toStdString(); }

    // Chooses the destination and marks From and To at bar columns fromPx, toPx.
    void Prepare(const char* dest, int fromPx, int toPx)
    {
        m_dialogs.m_answers = {Path(dest)};
        Click(1001);
        ClickBar(Qt::LeftButton, fromPx, Qt::ControlModifier);
        ClickBar(Qt::RightButton, toPx, Qt::ControlModifier);
        ASSERT_LT(Bar().m_nFrom, Bar().m_nTo);
    }
    void PressSave() { QTest::mouseClick(m_view->m_btnSave, Qt::LeftButton); }

    // The segment file for the marks: whole 2048-frame blocks from where the reader puts the From second
    // (its rate counts the last block whole), zeros past the source's end.
    Bytes Expected() const
    {
        const int from = Bar().m_nFrom, to = Bar().m_nTo;
        SYSTEMTIME a, b;
        EXPECT_TRUE((CTime(kStart, -1) + from).GetAsSystemTime(a) && (CTime(kStart, -1) + to).GetAsSystemTime(b));
        const size_t first = m_doc->m_wave.m_nBytesPerSec * from / 4,
                     blocks = ((to - from) * int64_t{m_doc->m_nTotalFrames} / 60 + 2047) / 2048;
        const riff::Bytes data = riff::Gen16(blocks * 2048 * 2, [&](size_t i) {
            return first + i / 2 < 60 * 8000 ? SampleAt(first + i / 2, i % 2) : int16_t{0};
        });
        return riff::Wave(riff::FmtPayload(1, 2, 8000, 16, 18), data, {riff::Chunk("auxi", riff::AuxiPayload(a, b, kAuxiValues))}).v;
    }
};

TEST_F(SaveEndToEnd, SavesNumberedSegmentsByteForByte)
{
    Prepare("cut.wav", 60, 150);
    PressSave();
    EXPECT_TRUE(riff::ReadFile(File("cut_001.wav")) == Expected());
    PressSave();
    EXPECT_TRUE(riff::ReadFile(File("cut_002.wav")) == Expected());
    EXPECT_TRUE(m_dialogs.Questions().isEmpty());
    EXPECT_FALSE(QFile::exists(Path("cut.wav")));
}

TEST_F(SaveEndToEnd, OverwriteNoKeepsTheFileAndYesReplacesIt)
{
    Prepare("cut.wav", 10, 40);
    const Bytes earlier{'e', 'a', 'r', 'l', 'y'};
    riff::WriteFile(File("cut_001.wav"), earlier);
    PressSave();
    EXPECT_EQ(m_dialogs.Questions(), QStringList{QStringLiteral("File exists.  Overwrite?")});
    EXPECT_TRUE(riff::ReadFile(File("cut_001.wav")) == earlier);
    EXPECT_FALSE(QFile::exists(Path("cut_002.wav")));
    m_dialogs.m_bYes = true;
    PressSave();
    EXPECT_TRUE(riff::ReadFile(File("cut_001.wav")) == Expected());
}

TEST_F(SaveEndToEnd, AFailedSaveSaysSoOnTheStatusLine)
{
    Prepare("gone/cut.wav", 0, 100);
    PressSave();
    EXPECT_TRUE(m_view->m_wndStatus->text().startsWith(QStringLiteral("Save failed: ")));
    EXPECT_TRUE(m_doc->m_wave.m_bInOpen);
}

TEST_F(SaveEndToEnd, CommandLineCutWritesTheSameBytesAsTheWindow)
{
    Prepare("cut.wav", 100, 250);
    PressSave();
    Click(1019); // levelling on
    PressSave();
    const QByteArray build = qgetenv("TAVIREL_BUILD_DIR");
    const QString cli = (build.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/../..")
                                         : QString::fromLocal8Bit(build)) + QStringLiteral("/src/cli/tavirel-cli");
    for (const char* dest : {"plain.wav", "agc.wav"}) {
        QStringList args{QStringLiteral("cut"), Path("src.wav"), QStringLiteral("--from"), QString::number(Bar().m_nFrom),
                         QStringLiteral("--to"), QString::number(Bar().m_nTo), QStringLiteral("--dest"), Path(dest)};
        if (dest[0] == 'a')
            args << QStringLiteral("--agc");
        EXPECT_EQ(QProcess::execute(cli, args), 0);
    }
    EXPECT_TRUE(riff::ReadFile(File("plain_001.wav")) == riff::ReadFile(File("cut_001.wav")));
    EXPECT_TRUE(riff::ReadFile(File("agc_001.wav")) == riff::ReadFile(File("cut_002.wav")));
    EXPECT_FALSE(riff::ReadFile(File("cut_001.wav")) == riff::ReadFile(File("cut_002.wav")));
}

} // namespace
