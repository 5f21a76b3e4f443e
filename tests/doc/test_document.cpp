// The document's colour map and opening of sources.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "doc/TavirelDoc.h"
#include "support/WaveBytes.h"

TEST(Palette, NamedEntries)
{
    CTavirelDoc doc(nullptr);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(RGB(1, 2, 3), 0x030201u);
    const struct {
        int index;
        uint32_t rgb;
    } named[] = {{0, RGB(0, 0, 0)},      {42, RGB(0, 0, 249)},    {43, RGB(0, 0, 255)},   {86, RGB(0, 255, 255)},
                 {119, RGB(0, 255, 0)},  {128, RGB(61, 255, 0)},  {153, RGB(255, 255, 0)}, {216, RGB(255, 0, 0)},
                 {255, RGB(255, 0, 128)}};
    for (const auto& e : named)
        EXPECT_EQ(doc.m_palette[static_cast<size_t>(e.index)], e.rgb) << e.index;
}

TEST(Source, ProbeAndOpenMonoAndStereo)
{
    QTemporaryDir dir;
    const SYSTEMTIME start{2026, 3, 0, 14, 10, 20, 30, 0}, stop{2026, 3, 0, 14, 10, 20, 32, 0};
    for (uint16_t ch : {1, 2}) {
        const QString path = dir.filePath(ch == 1 ? "mono.wav" : "stereo \xc3\xa4.wav");
        const std::vector<int16_t> s(8000u * 2 * ch, 0);
        ASSERT_TRUE(riff::WriteFile(path.toStdString(),
                                    riff::WaveFile({ch, 8000, 16, 1, riff::AuxiPayload(start, stop)}, riff::Pcm16(s))));
        CTavirelDoc doc(nullptr);
        ASSERT_TRUE(doc.ProbeSource(path));
        EXPECT_EQ(doc.m_bTwoChannel, ch - 1);
        EXPECT_EQ(doc.m_nDisplayBins, 1024 * ch);
        EXPECT_EQ(doc.m_nLengthSec, 2);
        EXPECT_FALSE(doc.m_wave.m_bInOpen); // the probe uses a reader of its own
        ASSERT_TRUE(doc.OpenSource(path));
        EXPECT_TRUE(doc.m_wave.m_bInOpen);
        EXPECT_EQ(doc.m_nTotalFrames, 16384u); // 16000 frames in whole 2048-frame blocks
        EXPECT_EQ(doc.m_stStart, start);
    }
}

TEST(Source, FailingFilesAreRefusedAndOpenClosesThePreviousSource)
{
    QTemporaryDir dir;
    const std::string good = dir.filePath("good.wav").toStdString(), three = dir.filePath("3ch.wav").toStdString(),
                      text = dir.filePath("text.wav").toStdString();
    ASSERT_TRUE(riff::WriteFile(good, riff::WaveFile({1}, riff::Pcm16(std::vector<int16_t>(16000, 0)))));
    ASSERT_TRUE(riff::WriteFile(three, riff::WaveFile({3}, riff::Pcm16(std::vector<int16_t>(800, 0)))));
    ASSERT_TRUE(riff::WriteFile(text, riff::Bytes::Text("this is not a wave file at all, only some words")));
    for (const std::string& path : {dir.filePath("missing.wav").toStdString(), three, text}) {
        CTavirelDoc doc(nullptr);
        ASSERT_TRUE(doc.OpenSource(QString::fromStdString(good)));
        doc.m_bLoaded = true;
        EXPECT_FALSE(doc.ProbeSource(QString::fromStdString(path))) << path;
        EXPECT_TRUE(doc.m_wave.m_bInOpen) << "a failed probe leaves the open source alone";
        EXPECT_FALSE(doc.OpenSource(QString::fromStdString(path))) << path;
        EXPECT_EQ(doc.m_nLengthSec, 0);
        EXPECT_FALSE(doc.m_wave.m_bInOpen);
        EXPECT_FALSE(doc.m_bLoaded);
    }
}
