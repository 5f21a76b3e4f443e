// The segment save below the widgets: the AGC, and whole segments written and read back.
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "support/WaveBytes.h"

namespace {

constexpr int32_t H = 1 << 30; // a levelled first-channel peak: -6 dBFS

TEST(SegmentAgc, LevelTrackingAndScaling)
{
    const struct {
        const char* name;
        int channels;
        double level, levelAfter;
        std::vector<int32_t> in, out;
    } rows[] = {
        {"silent frame below the floor", 2, 0, 0, {0, 0}, {0, 0}},
        {"rising: at once", 2, 10, 1000, {1000, 500}, {H, H / 2}},
        {"falling: 1 % of the gap", 2, 1000, 990, {0, 0}, {0, 0}},
        {"one channel", 1, 0, 2000, {1000, -2000}, {H, -H}},
        {"louder second channel drives", 2, 0, 5000, {1000, -5000}, {H / 5, -H}},
        {"either channel at full scale", 2, 0, 2147483648.0, {INT32_MIN, 1 << 30, 1 << 30, INT32_MIN},
         {-H, H / 2, 536870912, -H}},
    };
    for (const auto& r : rows) {
        std::vector<int32_t> block = r.in;
        double level = r.level;
        AgcLevelBlock(block.data(), static_cast<int>(block.size()) / r.channels, r.channels, level);
        EXPECT_EQ(block, r.out) << r.name;
        EXPECT_NEAR(level, r.levelAfter, 1e-9) << r.name;
    }
}

struct Seg {
    void Load(int channels, uint32_t rate, const riff::Bytes& data, const char* name = "src.wav")
    {
        src = riff::WaveFile({static_cast<uint16_t>(channels), rate}, data).v;
        doc.m_strSrcPath = dir.filePath(name);
        ASSERT_TRUE(riff::WriteFile(doc.m_strSrcPath.toStdString(), src));
        ASSERT_TRUE(doc.OpenSource(doc.m_strSrcPath));
        doc.m_bLoaded = true;
        doc.m_strDestPath = dir.filePath("cut.wav");
    }
    SegmentSaveResult Save(int from, int to, bool agc = false)
    {
        double level = -1.0;
        std::vector<int32_t> block(kSegmentBlockValues);
        return SaveSegment(doc, from, to, agc, level, block.data());
    }
    std::vector<uint8_t> Data(const std::string& path) { return riff::ParseWave(riff::ReadFile(path)).payload["data"]; }

    QTemporaryDir dir;
    CTavirelDoc doc{nullptr};
    std::vector<uint8_t> src;
};

TEST(SegmentSave, BlocksWrittenAndSavedAgainAsTheNextNumber)
{
    EXPECT_EQ(SegmentFrameCount(0, 2000000, 4000000000u, 2000000), 4000000000ll); // multiplied in 64 bits
    const struct {
        int channels;
        uint32_t rate, frames;
        int from, to, blocks;
    } rows[] = {
        {1, 8000, 800000, 0, 10, 40}, // 0..10 s of 100 s
        {1, 1000, 5000, 1, 2, 1},     // a short segment: one whole block
        {2, 1000, 3000, 1, 3, 1},     // runs into the source end, padded with zeros
        {1, 1000, 5000, 2, 2, 0},     // zero length
        {1, 8000, 400, 0, 1, 0},      // source shorter than one second
    };
    for (const auto& r : rows) {
        Seg t;
        t.Load(r.channels, r.rate, riff::Ramp16(size_t{r.frames} * r.channels));
        const SegmentSaveResult first = t.Save(r.from, r.to);
        EXPECT_EQ(first.nBlocks, r.blocks) << r.frames;
        EXPECT_EQ(QFile::exists(t.dir.filePath("cut_001.wav")), r.blocks > 0) << r.frames;
        if (r.blocks == 0)
            continue;
        // The reader places second s at frame m_nBytesPerSec * s / bytes per frame.
        const size_t at = 44 + static_cast<size_t>(t.doc.m_wave.m_nBytesPerSec) * r.from / (2 * r.channels) * 2 * r.channels;
        std::vector<uint8_t> expected(t.src.begin() + at, t.src.begin() + std::min(t.src.size(), at + r.blocks * 4096u * r.channels));
        expected.resize(r.blocks * 4096u * r.channels, 0);
        EXPECT_EQ(t.Data(first.strPath), expected) << r.frames;
        const SegmentSaveResult second = t.Save(r.from, r.to);
        EXPECT_EQ(second.strPath, t.dir.filePath("cut_002.wav").toStdString());
        EXPECT_EQ(t.Data(second.strPath), expected) << r.frames;
    }
}

TEST(SegmentSave, AgcOutputOfA16BitSourcePeaksAtMinus6dBFS)
{
    Seg t;
    t.Load(2, 1000, riff::Gen16(4096, [](size_t i) { return static_cast<int16_t>(i % 2 ? 0 : 8000 * std::sin(i / 2 * 0.3)); }));
    const std::vector<uint8_t> d = t.Data(t.Save(0, 2, true).strPath);
    int peak = 0;
    for (size_t i = 0; i + 1 < d.size(); i += 4)
        peak = std::max(peak, std::abs(int{static_cast<int16_t>(d[i] | d[i + 1] << 8)}));
    EXPECT_EQ(peak, 16384);
}

TEST(SegmentSave, SourceKeptUnderANumberedNameAndUncreatableOutputRefused)
{
    Seg t;
    t.Load(1, 1000, riff::Ramp16(5000), "cut_001.wav"); // the first numbered name
    EXPECT_EQ(SegmentOutputPath(t.doc), t.dir.filePath("cut_002.wav").toStdString());
    EXPECT_EQ(t.Save(0, 2).strPath, t.dir.filePath("cut_002.wav").toStdString());
    EXPECT_EQ(riff::ReadFile(t.dir.filePath("cut_001.wav").toStdString()), t.src);
    t.doc.m_strDestPath = t.dir.filePath("no/such/folder/cut.wav");
    EXPECT_NE(t.Save(0, 2).nError, WAVE_OK);
}

} // namespace
