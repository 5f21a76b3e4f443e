// The document's probing and opening of sources.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "doc/TavirelDoc.h"
#include "support/WaveBytes.h"

TEST(Source, ProbeAndOpenMonoAndStereoAndRefuseFailingFiles)
{
    QTemporaryDir dir;
    const QString three = dir.filePath("3ch.wav"), text = dir.filePath("text.wav");
    ASSERT_TRUE(riff::WriteFile(three.toStdString(), riff::WaveFile({3}, riff::Ramp16(900))));
    ASSERT_TRUE(riff::WriteFile(text.toStdString(), riff::Bytes::Text("this is not a wave file at all, only words")));
    const SYSTEMTIME start{2026, 3, 0, 14, 10, 20, 30, 0}, stop{2026, 3, 0, 14, 10, 20, 32, 0};
    for (uint16_t ch : {1, 2}) {
        const QString path = dir.filePath(ch == 1 ? "mono.wav" : "stereo \xc3\xa4.wav");
        const riff::WaveShape shape(ch, 8000, 16, 1, riff::AuxiPayload(start, stop));
        ASSERT_TRUE(riff::WriteFile(path.toStdString(), riff::WaveFile(shape, riff::Ramp16(16000u * ch))));
        CTavirelDoc doc(nullptr);
        ASSERT_TRUE(doc.ProbeSource(path));
        EXPECT_EQ(doc.m_bTwoChannel, ch - 1);
        EXPECT_EQ(doc.m_nDisplayBins, 1024 * ch);
        EXPECT_EQ(doc.m_nLengthSec, 2);
        EXPECT_FALSE(doc.m_wave.m_bInOpen); // the probe uses a reader of its own
        for (const QString& bad : {dir.filePath("missing.wav"), three, text}) {
            ASSERT_TRUE(doc.OpenSource(path));
            EXPECT_TRUE(doc.m_wave.m_bInOpen);
            EXPECT_EQ(doc.m_nTotalFrames, 16384u); // 16000 frames in whole 2048-frame blocks
            EXPECT_EQ(doc.m_stStart, start);
            doc.m_bLoaded = true;
            EXPECT_FALSE(doc.ProbeSource(bad)) << bad.toStdString();
            EXPECT_TRUE(doc.m_wave.m_bInOpen) << "a failed probe leaves the open source alone";
            EXPECT_FALSE(doc.OpenSource(bad)) << bad.toStdString();
            EXPECT_EQ(doc.m_nLengthSec, 0);
            EXPECT_FALSE(doc.m_wave.m_bInOpen);
            EXPECT_FALSE(doc.m_bLoaded);
        }
    }
}
