// Reading blocks: sample conversions, the padded last block, the end of the
// data, seeking and reads on a closed reader.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "wave/test_reader_util.h"

using riff::Bytes;
using riff::Chunk;
using riff::FmtPayload;
using riff::Wave;

namespace {

std::vector<int32_t> ReadOne(CRiffWaveFile& w, int nFrames, int channels, int* pRet = nullptr)
{
    std::vector<int32_t> out(static_cast<size_t>(nFrames * channels), 0x5A5A5A5A);
    int progress = -1;
    const int r = w.ReadBlock(out.data(), nFrames, &progress);
    if (pRet)
        *pRet = r;
    return out;
}

} // namespace

// One row per stored sample format: the bytes of one sample and the value read.
TEST(ReaderRead, SampleConversions)
{
    const struct {
        const char* proves;
        uint16_t tag, bits;
        Bytes sample;
        int32_t value;
    } rows[] = {
        {"16-bit FF 7F is the largest sample times 65536", 1, 16, {0xFF, 0x7F}, 2147418112},
        {"24-bit 00 00 80 is the smallest", 1, 24, {0x00, 0x00, 0x80}, INT32_MIN},
        {"8-bit is unsigned: 80 is silence", 1, 8, {0x80}, 0},
        {"8-bit 00 is the smallest", 1, 8, {0x00}, INT32_MIN},
        {"8-bit FF is the largest", 1, 8, {0xFF}, 0x7F000000},
        {"32-bit integer PCM is read as an integer", 1, 32, {0xFF, 0xFF, 0xFF, 0x7F}, INT32_MAX},
        {"float 1.0", 3, 32, Bytes().F32(1.0f), 2147480000},
        {"float -0.5", 3, 32, Bytes().F32(-0.5f), -1073740000},
        {"float 2.0 saturates", 3, 32, Bytes().F32(2.0f), INT32_MAX},
    };
    for (const auto& row : rows) {
        CRiffWaveFile w;
        ASSERT_EQ(OpenBytes(w, Wave(FmtPayload(row.tag, 1, 8000, row.bits), row.sample), 4).rc, WAVE_OK) << row.proves;
        int ret = 0;
        const std::vector<int32_t> v = ReadOne(w, 4, 1, &ret);
        EXPECT_EQ(ret, 4) << row.proves;
        EXPECT_EQ(v[0], row.value) << row.proves;
        // The rest of the short block is silence in every format.
        EXPECT_EQ(v[1], 0) << row.proves;
        EXPECT_EQ(v[3], 0) << row.proves;
    }
}

// 10000 bytes of 16-bit stereo: 2500 frames, 4096 reported, the second block
// ends in 1596 frames of silence, the third read ends the data.
TEST(ReaderRead, TheTwoAndAHalfThousandFrameExample)
{
    Bytes data;
    for (int i = 0; i < 2500; ++i)
        data.U16(static_cast<uint16_t>(i + 1)).U16(static_cast<uint16_t>(-(i + 1)));
    ASSERT_EQ(data.size(), 10000u);
    CRiffWaveFile w;
    const OpenResult o = OpenBytes(w, Wave(FmtPayload(1, 2, 8000, 16), data));
    ASSERT_EQ(o.rc, WAVE_OK);
    EXPECT_EQ(o.frames, 4096u);
    EXPECT_EQ(w.m_nBlockCount, 2);

    int ret = 0;
    std::vector<int32_t> b1 = ReadOne(w, 2048, 2, &ret);
    ASSERT_EQ(ret, 2048);
    EXPECT_EQ(b1[0], 1 << 16);
    EXPECT_EQ(b1[1], -(1 << 16));
    EXPECT_EQ(b1[2 * 2047], 2048 << 16);
    std::vector<int32_t> b2 = ReadOne(w, 2048, 2, &ret);
    ASSERT_EQ(ret, 2048);
    EXPECT_EQ(b2[0], 2049 << 16);
    EXPECT_EQ(b2[2 * 451 + 1], -(2500 << 16)); // frame 2500 is the 452nd of block 2
    for (size_t i = 2 * 452; i < b2.size(); ++i)
        ASSERT_EQ(b2[i], 0) << "sample " << i;
    EXPECT_EQ(w.GetPositionSeconds(), 0u); // 2 blocks x 8192 bytes / 32000 bytes per second, truncated

    int progress = -1;
    EXPECT_EQ(w.ReadBlock(b2.data(), 2048, &progress), 0);
    EXPECT_EQ(progress, 999);
    EXPECT_FALSE(w.m_bInOpen);
    EXPECT_EQ(w.ReadBlock(b2.data(), 2048, &progress), -1);
    EXPECT_EQ(w.m_nError, WAVE_ERR_NOT_OPEN);
}

// Only the data chunk is samples: what follows it (and a cut frame) is not.
TEST(ReaderRead, ChunksAfterDataAreNotSamples)
{
    const Bytes list = Chunk("LIST", Bytes().Id("INFO").Id("ISFT").U32(4).Fill(4, 0x7F));
    Bytes data = riff::Ramp16(3);
    data.U8(0x55); // half a sample: padded, then not read
    CRiffWaveFile w;
    ASSERT_EQ(OpenBytes(w, Wave(FmtPayload(1, 1, 8000, 16), data, {}, {list})).rc, WAVE_OK);
    EXPECT_EQ(w.m_nDataFrames, 3u);
    const std::vector<int32_t> v = ReadOne(w, 2048, 1);
    EXPECT_EQ(v[2], 3 << 16);
    for (size_t i = 3; i < v.size(); ++i)
        ASSERT_EQ(v[i], 0) << "sample " << i;
}

TEST(ReaderRead, SeekSecondsAndPosition)
{
    // 16-bit mono at 1000/s: 2000 bytes per second, blocks of 500 frames (1000 bytes).
    CRiffWaveFile w;
    ASSERT_EQ(OpenBytes(w, Wave(FmtPayload(1, 1, 1000, 16), riff::Ramp16(5000)), 500).rc, WAVE_OK);
    EXPECT_EQ(w.m_nBytesPerSec, 2000);
    ReadOne(w, 500, 1);
    ReadOne(w, 500, 1);
    ReadOne(w, 500, 1);
    EXPECT_EQ(w.GetPositionSeconds(), 1u); // 3 x 1000 / 2000

    w.SeekSeconds(0);
    EXPECT_EQ(w.GetPositionSeconds(), 0u);
    EXPECT_EQ(ReadOne(w, 500, 1)[0], 1 << 16);

    w.SeekSeconds(3);
    EXPECT_EQ(w.m_nBlockIndex, 6);
    EXPECT_EQ(w.GetPositionSeconds(), 3u);
    EXPECT_EQ(ReadOne(w, 500, 1)[0], 3001 << 16);

    // Before the start means the start.
    w.SeekSeconds(-7);
    EXPECT_EQ(w.m_nBlockIndex, 0);
    EXPECT_EQ(ReadOne(w, 500, 1)[0], 1 << 16);

    // Beyond the data the next read meets the end.
    w.SeekSeconds(100);
    int ret = 1;
    ReadOne(w, 500, 1, &ret);
    EXPECT_EQ(ret, 0);
    EXPECT_FALSE(w.m_bInOpen);
}

TEST(ReaderRead, SeekDropsAPartlyUsedBuffer)
{
    CRiffWaveFile w;
    ASSERT_EQ(OpenBytes(w, Wave(FmtPayload(1, 1, 1000, 16), riff::Ramp16(5000)), 500).rc, WAVE_OK);
    EXPECT_EQ(ReadOne(w, 100, 1)[0], 1 << 16); // a fifth of the first block
    w.SeekSeconds(2);
    EXPECT_EQ(ReadOne(w, 100, 1)[0], 2001 << 16);
}

TEST(ReaderRead, ClosedReaderIsHarmless)
{
    CRiffWaveFile w;
    int32_t buf[4] = {};
    int progress = 0;
    EXPECT_EQ(w.ReadBlock(buf, 2, &progress), -1);
    EXPECT_EQ(w.m_nError, WAVE_ERR_NOT_OPEN);
    w.SeekSeconds(5);
    EXPECT_EQ(w.GetPositionSeconds(), 0u);
    w.Close();
    w.Close();

    ASSERT_EQ(OpenBytes(w, Wave(FmtPayload(1, 1, 8000, 16), riff::Ramp16(4)), 2).rc, WAVE_OK);
    w.Close();
    w.SeekSeconds(1);
    EXPECT_EQ(w.ReadBlock(buf, 2, &progress), -1);
    EXPECT_EQ(w.m_nError, WAVE_ERR_NOT_OPEN);
}

TEST(ReaderRead, RequestsLargerThanTheBlockAreRefused)
{
    CRiffWaveFile w;
    ASSERT_EQ(OpenBytes(w, Wave(FmtPayload(1, 1, 8000, 16), riff::Ramp16(100)), 16).rc, WAVE_OK);
    std::vector<int32_t> big(64);
    int progress = 0;
    EXPECT_EQ(w.ReadBlock(big.data(), 17, &progress), -1);
    EXPECT_EQ(w.m_nError, WAVE_ERR_READ);
    EXPECT_FALSE(w.m_bInOpen);
}

TEST(ReaderRead, StartFrameAndProgress)
{
    CRiffWaveFile w;
    const OpenResult o = OpenBytes(w, Wave(FmtPayload(1, 1, 8000, 16), riff::Ramp16(10)), 4, 3);
    ASSERT_EQ(o.rc, WAVE_OK);
    EXPECT_EQ(o.frames, 8u); // 7 frames left, rounded up
    int progress = -1;
    std::vector<int32_t> v(4);
    ASSERT_EQ(w.ReadBlock(v.data(), 4, &progress), 4);
    EXPECT_EQ(v[0], 4 << 16);
    EXPECT_EQ(progress, 500);
}

TEST(ReaderRead, WrapModeStartsOverAtTheDataStart)
{
    CRiffWaveFile w;
    ASSERT_EQ(OpenBytes(w, Wave(FmtPayload(1, 1, 8000, 16), riff::Ramp16(6)), 4, -1).rc, WAVE_OK);
    EXPECT_TRUE(w.m_bWrap);
    std::vector<int32_t> got;
    for (int i = 0; i < 4; ++i) {
        const std::vector<int32_t> v = ReadOne(w, 4, 1);
        got.insert(got.end(), v.begin(), v.end());
    }
    const std::vector<int32_t> want = {1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 1, 2, 3, 4};
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(got[i], want[i] << 16) << "sample " << i;
    EXPECT_TRUE(w.m_bInOpen);
}
