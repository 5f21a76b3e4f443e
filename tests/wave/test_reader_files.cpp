// Reading real files: recordings made by sox compared with sox's own raw
// output, the file's creation time, and positions beyond 2 GiB.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "wave/SampleFormats.h"
#include "wave/test_reader_util.h"
#include "wave/test_writer_support.h"

using riff::Bytes;
using riff::FmtPayload;
using writer_test::HaveSox;
using writer_test::TempDir;

namespace {

bool Shell(const std::string& cmd)
{
    const int st = std::system((cmd + " 2>/dev/null").c_str());
    return st != -1 && WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

} // namespace

// Every sample of sox-made files, read in blocks of two sizes (the larger
// bypasses the file buffer), against sox's raw 32-bit output of the same file.
TEST(ReaderFiles, SoxRecordingsMatchSoxRawOutput)
{
    if (!HaveSox())
        GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    const struct {
        const char* encoding;
        int bits;
        bool isFloat;
    } formats[] = {{"unsigned-integer", 8, false}, {"signed-integer", 16, false}, {"signed-integer", 24, false},
                   {"signed-integer", 32, false}, {"floating-point", 32, true}};
    for (const auto& fmt : formats) {
        for (int channels : {1, 2}) {
            const std::string tag = std::to_string(fmt.bits) + (fmt.isFloat ? "f" : "i") + std::to_string(channels);
            const std::string wav = dir / (tag + ".wav");
            const std::string raw = dir / (tag + ".raw");
            const std::string tones = channels == 2 ? "sine 440 sine 660" : "sine 440";
            ASSERT_TRUE(Shell("sox -n -r 8000 -c " + std::to_string(channels) + " -b " + std::to_string(fmt.bits) +
                            " -e " + fmt.encoding + " -t wavpcm " + wav + " synth 0.6 " + tones + " vol 0.9"))
                << tag;
            ASSERT_TRUE(Shell("sox " + wav + (fmt.isFloat ? " -t f32 " : " -t s32 ") + raw)) << tag;
            const std::vector<uint8_t> rawBytes = riff::ReadFile(raw);
            const size_t nSamples = rawBytes.size() / 4;
            ASSERT_EQ(nSamples, 4800u * static_cast<size_t>(channels)) << tag;

            for (int blockFrames : {2048, 16384}) {
                CRiffWaveFile w;
                WAVEFORMATEX wf;
                uint32_t frames = 0;
                AUXIINFO a;
                ASSERT_EQ(w.Open(wav, &wf, blockFrames, &frames, 0, &a), WAVE_OK) << tag;
                EXPECT_EQ(wf.wFormatTag, fmt.isFloat ? 3 : 1) << tag;
                EXPECT_EQ(w.m_nDataFrames, 4800u) << tag;
                std::vector<int32_t> got;
                std::vector<int32_t> block(static_cast<size_t>(blockFrames * channels));
                int progress = 0;
                while (w.ReadBlock(block.data(), blockFrames, &progress) == blockFrames)
                    got.insert(got.end(), block.begin(), block.end());
                ASSERT_EQ(got.size(), static_cast<size_t>(frames) * static_cast<size_t>(channels)) << tag;
                for (size_t i = 0; i < nSamples; ++i) {
                    const int32_t want = fmt.isFloat ? samples::ReadF32(&rawBytes[4 * i]) : samples::ReadS32(&rawBytes[4 * i]);
                    ASSERT_EQ(got[i], want) << tag << " sample " << i << " blocks of " << blockFrames;
                }
                for (size_t i = nSamples; i < got.size(); ++i)
                    ASSERT_EQ(got[i], 0) << tag << " padding " << i;
            }
        }
    }
}

// Without a recording time (here a start year of 2000) the file's own time
// stands in: its birth time, or its modification time where the file system
// keeps no birth time.
TEST(ReaderFiles, NoRecordingTimeTakesTheFileTime)
{
    TempDir dir;
    const std::string path = dir / "plain.wav";
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    Bytes auxi;
    auxi.Time(2000, 6, 1, 0, 0, 0).Time(2000, 6, 1, 0, 0, 50).Fill(40, 0);
    riff::WriteFile(path, riff::Wave(FmtPayload(1, 1, 1000, 16), riff::Ramp16(2500), {riff::Chunk("auxi", auxi)}));
    const int64_t after = static_cast<int64_t>(std::time(nullptr));

    CRiffWaveFile w;
    WAVEFORMATEX wf;
    uint32_t frames = 0;
    AUXIINFO a;
    ASSERT_EQ(w.Open(path, &wf, 0, &frames, 0, &a), WAVE_OK);
    EXPECT_FALSE(w.m_bInOpen);
    EXPECT_EQ(w.m_nLengthSec, 2);
    const int64_t t0 = CTime(a.stStartTime, -1).GetTime();
    EXPECT_GE(t0, before);
    EXPECT_LE(t0, after);
    EXPECT_EQ(CTime(a.stStopTime, -1).GetTime(), t0 + 2);
}

// A 3.5 GiB data chunk in a sparse file: seconds beyond 2 GiB land on the
// right byte, and the last frame is reachable.
TEST(ReaderFiles, PositionsBeyondTwoGibibytes)
{
    TempDir dir;
    const std::string path = dir / "big.wav";
    const uint32_t dataBytes = 3584u * 1024u * 1024u; // 3.5 GiB of 16-bit stereo at 1 MHz
    Bytes header = riff::Riff("WAVE", Bytes(riff::Chunk("fmt ", FmtPayload(1, 2, 1000000, 16)))
                                          .Id("data").U32(dataBytes), 36 + dataBytes);
    ASSERT_EQ(header.size(), 44u);
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const int64_t dataStart = 44;
    const int64_t seekSec = 768; // 3072000000 bytes in: past 2^31, on a block boundary
    const int64_t markerAt = dataStart + seekSec * 4000000;
    const int64_t lastFrameAt = dataStart + dataBytes - 4;
    const uint8_t marker[8] = {0x34, 0x12, 0xCD, 0xAB, 0x02, 0x00, 0xFE, 0xFF};
    const uint8_t last[4] = {0x11, 0x11, 0x22, 0x22};
    bool ok = ::pwrite(fd, header.v.data(), header.size(), 0) == 44 &&
              ::ftruncate(fd, dataStart + dataBytes) == 0 && ::pwrite(fd, marker, 8, markerAt) == 8 &&
              ::pwrite(fd, last, 4, lastFrameAt) == 4;
    ::close(fd);
    ASSERT_TRUE(ok);

    CRiffWaveFile w;
    WAVEFORMATEX wf;
    uint32_t frames = 0;
    AUXIINFO a;
    ASSERT_EQ(w.Open(path, &wf, 2048, &frames, 0, &a), WAVE_OK);
    EXPECT_EQ(w.m_lDataBytes, static_cast<int64_t>(dataBytes));
    EXPECT_EQ(w.m_nDataFrames, dataBytes / 4);
    EXPECT_EQ(w.m_nBytesPerSec, 4000000);
    EXPECT_EQ(w.m_nLengthSec, 939); // 939526144 frames (whole blocks) at 1 MHz

    w.SeekSeconds(static_cast<int>(seekSec));
    EXPECT_EQ(w.GetPositionSeconds(), static_cast<uint32_t>(seekSec));
    std::vector<int32_t> block(4096);
    int progress = 0;
    ASSERT_EQ(w.ReadBlock(block.data(), 2048, &progress), 2048);
    EXPECT_EQ(block[0], static_cast<int32_t>(0x12340000));
    EXPECT_EQ(block[1], static_cast<int32_t>(0xABCD0000));
    EXPECT_EQ(block[2], 2 << 16);
    EXPECT_EQ(block[3], -(2 << 16));
    EXPECT_EQ(block[4], 0);

    // The last second: the data's last frame, then the end.
    w.SeekSeconds(939);
    std::vector<int32_t> prev;
    while (w.ReadBlock(block.data(), 2048, &progress) == 2048)
        prev = block;
    ASSERT_FALSE(prev.empty());
    // Blocks now start 939 x 4000000 bytes in; the final one is padded.
    const int64_t leftBytes = dataBytes - 939LL * 4000000;
    const size_t framesInLast = static_cast<size_t>(leftBytes % 8192 / 4);
    ASSERT_GT(framesInLast, 0u);
    EXPECT_EQ(prev[2 * (framesInLast - 1)], 0x11110000);
    EXPECT_EQ(prev[2 * (framesInLast - 1) + 1], 0x22220000);
    EXPECT_EQ(prev[2 * framesInLast], 0);
    EXPECT_FALSE(w.m_bInOpen);
}
