// The document's colour map, source probing and opening, and segment times.
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "doc/TavirelDoc.h"
#include "support/WaveBytes.h"

namespace {

using riff::Pcm16;
using riff::WaveFile;

struct Rgb {
    int r, g, b;
};

Rgb Split(uint32_t colorref)
{
    return {static_cast<int>(colorref & 0xFF), static_cast<int>((colorref >> 8) & 0xFF),
            static_cast<int>((colorref >> 16) & 0xFF)};
}

TEST(PaletteTest, NamedEntriesAndTheBandsBetweenThem)
{
    CTavirelDoc doc(nullptr);
    ASSERT_TRUE(doc.OnNewDocument());
    struct Entry {
        int index, r, g, b;
    } named[] = {{0, 0, 0, 0},       {42, 0, 0, 249},   {43, 0, 0, 255},  {86, 0, 255, 255},
                 {87, 0, 255, 255},  {119, 0, 255, 0},  {120, 0, 255, 0}, {128, 61, 255, 0},
                 {153, 255, 255, 0}, {154, 255, 255, 0}, {216, 255, 0, 0}, {217, 255, 0, 0},
                 {255, 255, 0, 128}};
    for (const Entry& e : named) {
        const Rgb c = Split(doc.m_palette[static_cast<size_t>(e.index)]);
        EXPECT_EQ(c.r, e.r) << "entry " << e.index;
        EXPECT_EQ(c.g, e.g) << "entry " << e.index;
        EXPECT_EQ(c.b, e.b) << "entry " << e.index;
        EXPECT_EQ(doc.m_palette[static_cast<size_t>(e.index)] >> 24, 0u) << "entry " << e.index;
    }
    EXPECT_EQ(RGB(1, 2, 3), 0x030201u);
}

class SourceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString Write(const QString& name, const riff::Bytes& bytes)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(riff::WriteFile(path.toStdString(), bytes));
        return path;
    }

    // seconds of 16-bit silence at 8000 frames per second
    QString Silence(const QString& name, int channels, int seconds)
    {
        const std::vector<int16_t> s(static_cast<size_t>(8000 * seconds * channels), 0);
        return Write(name, WaveFile({static_cast<uint16_t>(channels)}, Pcm16(s)));
    }

    QTemporaryDir m_dir;
};

TEST_F(SourceTest, ProbeTellsOneChannelFromTwo)
{
    CTavirelDoc doc(nullptr);
    const QString mono = Silence("mono.wav", 1, 3);
    const QString stereo = Silence("stereo ä.wav", 2, 5);

    ASSERT_TRUE(doc.ProbeSource(stereo));
    EXPECT_EQ(doc.m_bTwoChannel, 1);
    EXPECT_EQ(doc.m_nDisplayBins, 2048);
    EXPECT_EQ(doc.m_nLengthSec, 5);
    EXPECT_EQ(doc.m_wfSource.nChannels, 2);
    EXPECT_FALSE(doc.m_wave.m_bInOpen); // the probe uses a reader of its own

    ASSERT_TRUE(doc.ProbeSource(mono));
    EXPECT_EQ(doc.m_bTwoChannel, 0);
    EXPECT_EQ(doc.m_nDisplayBins, 1024);
    EXPECT_EQ(doc.m_nLengthSec, 3);
}

TEST_F(SourceTest, OpenKeepsTheReaderOpenAndTakesTheRecordingTimes)
{
    SYSTEMTIME start{2026, 3, 0, 14, 10, 20, 30, 0};
    SYSTEMTIME stop{2026, 3, 0, 14, 10, 20, 32, 0};
    const std::vector<int16_t> s(static_cast<size_t>(8000 * 2 * 2), 0);
    const QString path = Write("iq.wav", WaveFile({2, 8000, 16, 1, riff::AuxiPayload(start, stop)}, Pcm16(s)));

    CTavirelDoc doc(nullptr);
    ASSERT_TRUE(doc.OpenSource(path));
    EXPECT_TRUE(doc.m_wave.m_bInOpen);
    EXPECT_EQ(doc.m_bTwoChannel, 1);
    EXPECT_EQ(doc.m_nDisplayBins, 2048);
    EXPECT_EQ(doc.m_nLengthSec, 2);
    EXPECT_EQ(doc.m_nTotalFrames, 16384u); // 16000 frames rounded up to whole 2048-frame blocks
    EXPECT_EQ(doc.m_stStart, start);
    EXPECT_EQ(doc.m_stStop, stop);
    EXPECT_EQ(doc.m_wfSource.nSamplesPerSec, 8000u);

    doc.m_bLoaded = true;
    doc.CloseSource();
    EXPECT_FALSE(doc.m_bLoaded);
    EXPECT_FALSE(doc.m_wave.m_bInOpen);
    doc.CloseSource(); // twice is harmless
}

TEST_F(SourceTest, FailingFilesAreRefusedAndClosePreviousSource)
{
    const QString good = Silence("good.wav", 1, 2);
    const std::vector<int16_t> s(800, 0);
    const QString failing[] = {
        m_dir.filePath("missing.wav"),
        Write("text.wav", riff::Bytes::Text("this is not a wave file at all, only some words")),
        Write("threech.wav", WaveFile({3}, Pcm16(s))),
    };
    for (const QString& path : failing) {
        CTavirelDoc doc(nullptr);
        ASSERT_TRUE(doc.OpenSource(good));
        doc.m_bLoaded = true;
        EXPECT_FALSE(doc.ProbeSource(path)) << path.toStdString();
        EXPECT_EQ(doc.m_nLengthSec, 0);
        EXPECT_TRUE(doc.m_wave.m_bInOpen) << "a failed probe leaves the open source alone";

        EXPECT_FALSE(doc.OpenSource(path)) << path.toStdString();
        EXPECT_EQ(doc.m_nLengthSec, 0);
        EXPECT_FALSE(doc.m_wave.m_bInOpen);
        EXPECT_FALSE(doc.m_bLoaded);
    }
}

} // namespace
