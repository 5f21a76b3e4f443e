// The segment save below the widgets: the AGC's level tracking and output
// scale, the frame count, and whole segments written from generated sources
// and read back byte for byte.
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <set>

#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "doc/test_segmentsave_files.h"

using namespace segtest;

namespace {

constexpr int32_t kHalfScale = 1 << 30; // a levelled peak: -6 dBFS

TEST(SegmentAgc, SilentFirstChannelLeavesEveryFrameUnchanged)
{
    int32_t block[8] = {0, 123456, 0, -7 << 16, 0, INT32_MAX, 0, INT32_MIN};
    const std::vector<int32_t> before(block, block + 8);
    double level = 0.0;
    AgcLevelBlock(block, 4, 2, level);
    EXPECT_EQ(std::vector<int32_t>(block, block + 8), before);
    EXPECT_EQ(level, 0.0);
}

TEST(SegmentAgc, LevelRisesAtOnceAndFallsByOnePercentOfTheGap)
{
    double level = 10.0;
    int32_t rise[2] = {1000, 500};
    AgcLevelBlock(rise, 1, 2, level);
    EXPECT_EQ(level, 1000.0);
    EXPECT_EQ(rise[0], kHalfScale); // the first channel at its peak: half scale
    EXPECT_EQ(rise[1], kHalfScale / 2);

    int32_t fall[4] = {0, 990, -495, 0};
    AgcLevelBlock(fall, 1, 2, level);
    EXPECT_DOUBLE_EQ(level, 990.0);
    EXPECT_EQ(fall[0], 0);
    EXPECT_EQ(fall[1], kHalfScale);
    EXPECT_EQ(fall[2], -495); // beyond nFrames: untouched
    AgcLevelBlock(fall + 2, 1, 2, level);
    EXPECT_DOUBLE_EQ(level, 0.99 * 990.0 + 0.01 * 495.0);
    EXPECT_EQ(fall[2], static_cast<int32_t>(-495.0 / level * kHalfScale));
}

TEST(SegmentAgc, SecondValueIsClampedAtFullScaleInsteadOfWrapping)
{
    double level = 0.0;
    int32_t block[6] = {1000, 5000, -1000, -5000, 1000, 1500};
    AgcLevelBlock(block, 3, 2, level);
    EXPECT_EQ(block[0], kHalfScale);
    EXPECT_EQ(block[1], INT32_MAX);
    EXPECT_EQ(block[2], -kHalfScale);
    EXPECT_EQ(block[3], INT32_MIN);
    EXPECT_EQ(block[5], 1610612736); // 1.5 x half scale still fits
}

TEST(SegmentAgc, OneChannelBlockIsLevelledSampleBySample)
{
    double level = 0.0;
    int32_t block[5] = {1000, 0, -2000, 500, 777};
    AgcLevelBlock(block, 4, 1, level);
    EXPECT_EQ(block[0], kHalfScale);
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(block[2], -kHalfScale); // -2000 drove the level to 2000 at once
    const double expected = 0.99 * 2000.0 + 0.01 * 500.0;
    EXPECT_DOUBLE_EQ(level, expected);
    EXPECT_EQ(block[3], static_cast<int32_t>(500.0 / expected * kHalfScale));
    EXPECT_EQ(block[4], 777); // only the block's own samples are walked
}

TEST(SegmentFrames, MultipliesFirstIn64BitsAndTruncates)
{
    EXPECT_EQ(SegmentFrameCount(0, 10, 800000, 100), 80000);
    EXPECT_EQ(SegmentFrameCount(3, 4, 1001, 10), 100);
    EXPECT_EQ(SegmentFrameCount(0, 2000000, 4000000000u, 2000000), 4000000000ll);
    EXPECT_EQ(SegmentFrameCount(5, 3, 1000, 10), -200);
    EXPECT_EQ(SegmentFrameCount(0, 1, 500, 0), 0); // no length: no division
}

class SegmentSaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        ASSERT_TRUE(dir.isValid());
    }

    std::string PathOf(const char* name) const { return dir.filePath(name).toStdString(); }

    // Writes the source and opens it as the view does.
    // The recording's stop time is its start plus its duration.
    void Load(const Source& s)
    {
        source = s;
        (CTime(s.start, -1) + s.frames / s.rate).GetAsSystemTime(source.stop);
        sourceBytes = WaveBytes(source);
        WriteFile(PathOf("src.wav"), sourceBytes);
        doc.m_strSrcPath = dir.filePath("src.wav");
        ASSERT_TRUE(doc.OpenSource(doc.m_strSrcPath));
        doc.m_bLoaded = true;
        doc.m_strDestPath = dir.filePath("cut.wav");
    }

    SegmentSaveResult Save(int from, int to, bool agc = false)
    {
        return SaveSegment(doc, from, to, agc, level, block);
    }

    // The frame at which the reader places second sec (its byte rate comes
    // from the recording times and the frame total in whole blocks).
    uint32_t FrameOfSecond(int sec) const
    {
        const int64_t nBytesPerFrame = 2 * source.channels;
        return static_cast<uint32_t>(doc.m_wave.m_nBytesPerSec * sec / nBytesPerFrame);
    }

    // The source's 16-bit values of frames [first, first + n), zeros past its end.
    std::vector<int16_t> SourceFrames(uint32_t first, uint32_t n) const
    {
        std::vector<int16_t> v;
        for (uint32_t f = first; f < first + n; ++f)
            for (int c = 0; c < source.channels; ++c)
                v.push_back(f < source.frames ? SampleAt(f, c) : int16_t{0});
        return v;
    }

    static std::vector<int16_t> Values(const Bytes& data)
    {
        std::vector<int16_t> v(data.size() / 2);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<int16_t>(data[2 * i] | data[2 * i + 1] << 8);
        return v;
    }

    QTemporaryDir dir;
    CTavirelDoc doc{nullptr};
    Source source;
    Bytes sourceBytes;
    double level = -1.0;
    int32_t block[kSegmentBlockValues] = {};
};

TEST_F(SegmentSaveTest, ShortSegmentWritesOneWholeBlockAndTimesCountFromTheFileTimeWithoutARecordingTime)
{
    Source s;
    s.channels = 1;
    s.rate = 1000;
    s.frames = 5000;
    s.auxi = false;
    Load(s);
    const SegmentSaveResult r = Save(1, 2); // about 1228 frames
    EXPECT_EQ(r.nBlocks, 1);
    const Chunks out = ParseWave(ReadFile(r.strPath));
    EXPECT_EQ(Values(out.payload.at("data")), SourceFrames(FrameOfSecond(1), 2048));
    ASSERT_EQ(out.payload.at("auxi").size(), 72u);
    // The reader takes the file's own time as the recording's start.
    SYSTEMTIME from, to;
    ASSERT_TRUE((CTime(doc.m_stStart, -1) + 1).GetAsSystemTime(from));
    ASSERT_TRUE((CTime(doc.m_stStart, -1) + 2).GetAsSystemTime(to));
    EXPECT_EQ(TimeAt(out.payload.at("auxi"), 0), from);
    EXPECT_EQ(TimeAt(out.payload.at("auxi"), 16), to);
}

TEST_F(SegmentSaveTest, SegmentThatRunsIntoTheSourceEndCanBeSavedAgain)
{
    Source s;
    s.rate = 1000;
    s.frames = 3000;
    Load(s);
    const SegmentSaveResult first = Save(1, 3);
    ASSERT_TRUE(first.bOpened);
    EXPECT_TRUE(first.bSourceEnded); // the reader closed the source at its end
    EXPECT_EQ(first.nBlocks, 1);     // its last block, padded with zeros
    EXPECT_EQ(first.nError, WAVE_OK);
    const Bytes firstData = ParseWave(ReadFile(first.strPath)).payload["data"];
    EXPECT_EQ(Values(firstData), SourceFrames(FrameOfSecond(1), static_cast<uint32_t>(first.nBlocks) * 2048));

    const SegmentSaveResult second = Save(1, 3);
    EXPECT_EQ(second.strPath, PathOf("cut_002.wav"));
    EXPECT_EQ(second.nBlocks, first.nBlocks);
    EXPECT_EQ(ParseWave(ReadFile(second.strPath)).payload["data"], firstData);
    EXPECT_TRUE(doc.m_wave.m_bInOpen);
}

TEST_F(SegmentSaveTest, AgcOutputOfA16BitSourcePeaksAtMinus6dBFS)
{
    // A first channel whose amplitude steps down: the levelled output still
    // spans the 16-bit range instead of collapsing to 0 and -1.
    Source s;
    s.rate = 1000;
    s.frames = 4096;
    for (uint32_t f = 0; f < s.frames; ++f) {
        const double amp = f < 2048 ? 8000.0 : 800.0;
        s.samples.push_back(static_cast<int16_t>(amp * std::sin(f * 0.3)));
        s.samples.push_back(static_cast<int16_t>(amp * 0.5 * std::cos(f * 0.3)));
    }
    Load(s);
    const SegmentSaveResult r = Save(0, 4, true);
    ASSERT_EQ(r.nBlocks, 2);
    const std::vector<int16_t> v = Values(ParseWave(ReadFile(r.strPath)).payload["data"]);
    int peak = 0;
    std::set<int16_t> distinct;
    for (size_t i = 0; i < v.size(); i += 2) {
        peak = std::max(peak, std::abs(int{v[i]}));
        distinct.insert(v[i]);
    }
    EXPECT_EQ(peak, 16384);
    EXPECT_GT(distinct.size(), 100u);
    // The quieter second block is lifted once the level has decayed.
    int laterPeak = 0;
    for (size_t i = 2 * 3000; i < v.size(); i += 2)
        laterPeak = std::max(laterPeak, std::abs(int{v[i]}));
    EXPECT_GT(laterPeak, 8000);
}

TEST_F(SegmentSaveTest, NothingIsCreatedForASourceShorterThanOneSecond)
{
    Source s;
    s.rate = 8000;
    s.frames = 400; // one block of 2048 frames, under one second
    s.auxi = false;
    Load(s);
    ASSERT_EQ(doc.m_nLengthSec, 0);
    const SegmentSaveResult r = Save(0, 1);
    EXPECT_FALSE(r.bOpened);
    EXPECT_EQ(r.nBlocks, 0);
    EXPECT_FALSE(Exists(PathOf("cut_001.wav")));
    EXPECT_EQ(SegmentOutputPath(doc), PathOf("cut_001.wav")); // the number was not used
}

TEST_F(SegmentSaveTest, NeverWritesOverItsOwnSource)
{
    Source s;
    s.rate = 1000;
    s.frames = 5000;
    Load(s);
    // The source is the file the next numbered save would create.
    ASSERT_TRUE(QFile::rename(dir.filePath("src.wav"), dir.filePath("cut_001.wav")));
    doc.m_strSrcPath = dir.filePath("cut_001.wav");
    ASSERT_TRUE(doc.OpenSource(doc.m_strSrcPath));
    const SegmentSaveResult r = Save(0, 2);
    EXPECT_FALSE(r.bOpened);
    EXPECT_EQ(r.nError, WAVE_ERR_CREATE);
    EXPECT_EQ(ReadFile(PathOf("cut_001.wav")), sourceBytes);
}

} // namespace
