// The segment writer: file layout, sizes, naming, splitting and failures.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

#include "platform/RiffWriter.h"
#include "test_writer_support.h"
#include "wave/RiffWaveFile.h"

using namespace writer_test;

namespace {

WAVEFORMATEX Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits)
{
    WAVEFORMATEX wf;
    wf.wFormatTag = tag;
    wf.nChannels = channels;
    wf.nSamplesPerSec = rate;
    wf.wBitsPerSample = bits;
    wf.nBlockAlign = static_cast<uint16_t>(bits / 8 * channels);
    wf.nAvgBytesPerSec = rate * wf.nBlockAlign;
    return wf;
}

AUXIINFO Record()
{
    AUXIINFO a;
    a.stStartTime = {2024, 3, 0, 5, 10, 20, 30, 0};
    a.stStopTime = {2024, 3, 0, 5, 10, 21, 30, 0};
    a.dwCenterFreq = 10000000;
    a.dwClockFreq = 64000000;
    a.dwSpare1 = 0x11111111;
    a.dwBandwidth = 250000;
    a.dwSpare7 = 0x77777777;
    return a;
}

std::vector<uint8_t> AuxiBytes(const AUXIINFO& a)
{
    std::vector<uint8_t> v(72);
    AuxiToBytes(a, v.data());
    return v;
}

// "/r/t_YYYYMMDD_HHMMSS.wav" with digits in place of the letters.
bool IsStampedName(const std::string& s)
{
    const std::string shape = "/r/t_########_######.wav";
    if (s.size() != shape.size())
        return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (shape[i] == '#' ? (s[i] < '0' || s[i] > '9') : s[i] != shape[i])
            return false;
    return true;
}

bool Exists(const std::string& p)
{
    return std::filesystem::exists(p);
}

} // namespace

// The whole file byte for byte: header with "auxi", samples, sizes fixed on close.
TEST(SegmentWriter, LayoutWithAuxiMatchesByteForByte)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 2, 48000, 16);
    const AUXIINFO a = Record();
    ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &wf, 2048, 0, 0, &a), WAVE_OK);
    EXPECT_EQ(w.m_lAuxiDataOffset, 46);
    const int32_t s[] = {0x12340000, -65536, 0x7FFF0000, INT32_MIN, 0x00010000, 0};
    ASSERT_EQ(w.WriteBlock(s, 3), 3);
    w.ClearAuxiRewrite();
    w.CloseOutput();
    EXPECT_EQ(w.m_nError, WAVE_OK);

    Bytes e;
    // 4 "WAVE" + 26 "fmt " + 80 "auxi" + 8 "data" header + 12 sample bytes
    e.Id("RIFF").U32(130).Id("WAVE");
    e.Id("fmt ").U32(18).U16(1).U16(2).U32(48000).U32(192000).U16(4).U16(16).U16(0);
    e.Id("auxi").U32(72).Add(AuxiBytes(a));
    e.Id("data").U32(12);
    e.U16(0x1234).U16(0xFFFF).U16(0x7FFF).U16(0x8000).U16(0x0001).U16(0);
    EXPECT_EQ(ReadFile(dir / "cut.wav"), e.v);
}

// Without a record the data chunk follows "fmt " at 38; the format's derived
// fields are made to agree with the samples, and the extension size is 0.
TEST(SegmentWriter, LayoutWithoutAuxiAndDerivedFormatFields)
{
    TempDir dir;
    CRiffWaveFile w;
    WAVEFORMATEX wf = Format(3, 1, 1000, 32);
    wf.nBlockAlign = 99;
    wf.nAvgBytesPerSec = 1;
    wf.cbSize = 22;
    ASSERT_EQ(w.OpenOutput(dir / "f.wav", &wf, 16, 0, 0, nullptr), WAVE_OK);
    EXPECT_EQ(w.m_lAuxiDataOffset, 0);
    const int32_t s[] = {2147480000, -1073740000};
    ASSERT_EQ(w.WriteBlock(s, 2), 2);
    ASSERT_EQ(w.WriteBlock(nullptr, 0), 0);

    const std::vector<uint8_t> b = ReadFile(dir / "f.wav");
    ASSERT_EQ(b.size(), 54u);
    EXPECT_EQ(Le32(b, 4), 46u); // 4 + 26 + 8 + 8
    EXPECT_EQ(IdAt(b, 38), "data");
    EXPECT_EQ(Le32(b, 42), 8u);
    Bytes fmt;
    fmt.U16(3).U16(1).U32(1000).U32(4000).U16(4).U16(32).U16(0);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 20, b.begin() + 38), fmt.v);
    float f[2];
    std::memcpy(f, b.data() + 46, 8);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[1], -0.5f);
}

// Odd sample bytes get a zero pad byte; the data size leaves it out, the RIFF size counts it.
TEST(SegmentWriter, OddDataGetsPadByte)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 1, 8000, 24);
    ASSERT_EQ(w.OpenOutput(dir / "odd.wav", &wf, 4, 0, 0, nullptr), WAVE_OK);
    const int32_t s[] = {0x01020300, 0x04050600, static_cast<int32_t>(0x80000000u)};
    ASSERT_EQ(w.WriteBlock(s, 2), 2);
    ASSERT_EQ(w.WriteBlock(s + 2, 1), 1);
    w.CloseOutput();

    const std::vector<uint8_t> b = ReadFile(dir / "odd.wav");
    ASSERT_EQ(b.size(), 56u);
    EXPECT_EQ(Le32(b, 42), 9u);
    EXPECT_EQ(Le32(b, 4), 48u); // 4 + 26 + 8 + 9 + 1 pad
    const std::vector<uint8_t> tail(b.begin() + 46, b.end());
    EXPECT_EQ(tail, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 0, 0, 0x80, 0}));
}

// WriteBlock(0) at once gives a valid empty file; afterwards WriteBlock is refused.
TEST(SegmentWriter, EmptyFileAndWriteAfterClose)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 2, 48000, 16);
    const AUXIINFO a = Record();
    ASSERT_EQ(w.OpenOutput(dir / "e.wav", &wf, 2048, 0, 0, &a), WAVE_OK);
    w.ClearAuxiRewrite();
    EXPECT_EQ(w.WriteBlock(nullptr, 0), 0);
    EXPECT_FALSE(w.m_bOutOpen);

    const std::vector<uint8_t> b = ReadFile(dir / "e.wav");
    ASSERT_EQ(b.size(), 126u);
    EXPECT_EQ(Le32(b, 4), 118u);
    EXPECT_EQ(IdAt(b, 118), "data");
    EXPECT_EQ(Le32(b, 122), 0u);

    const int32_t s[2] = {};
    EXPECT_EQ(w.WriteBlock(s, 1), -1);
    EXPECT_EQ(w.m_nError, WAVE_ERR_OUT_NOT_OPEN);
    w.CloseOutput(); // closing twice is harmless
    EXPECT_EQ(ReadFile(dir / "e.wav"), b);
}

// Without ClearAuxiRewrite the stop time is stamped with the time of closing.
TEST(SegmentWriter, CloseStampsStopTimeUnlessCleared)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 1, 8000, 16);
    const AUXIINFO a = Record();
    ASSERT_EQ(w.OpenOutput(dir / "s.wav", &wf, 8, 0, 0, &a), WAVE_OK);
    SYSTEMTIME before;
    GetSystemTime(&before);
    w.CloseOutput();
    const AUXIINFO got = AuxiFromBytes(ReadFile(dir / "s.wav").data() + 46);
    EXPECT_EQ(got.stStartTime, a.stStartTime);
    EXPECT_EQ(got.dwSpare7, a.dwSpare7);
    const int64_t diff = CTime(got.stStopTime, -1) - CTime(before, -1);
    EXPECT_GE(diff, -1);
    EXPECT_LE(diff, 5);
    EXPECT_EQ(got.stStopTime.wMilliseconds, 0);
}

TEST(SegmentWriter, UnsupportedFormatsAreRefusedWithoutAFile)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX bad[] = {Format(1, 1, 8000, 12), Format(3, 1, 8000, 16), Format(2, 1, 8000, 16),
                                Format(1, 3, 8000, 16), Format(1, 0, 8000, 16), Format(1, 1, 999, 16)};
    for (const WAVEFORMATEX& wf : bad) {
        EXPECT_EQ(w.OpenOutput(dir / "x.wav", &wf, 2048, 0, NAME_NUMBERED, nullptr), WAVE_ERR_FORMAT);
        EXPECT_FALSE(w.m_bOutOpen);
    }
    EXPECT_EQ(w.OpenOutput(dir / "x.wav", nullptr, 2048, 0, 0, nullptr), WAVE_ERR_FORMAT);
    const WAVEFORMATEX ok = Format(1, 1, 8000, 16);
    EXPECT_EQ(w.OpenOutput(dir / "x.wav", &ok, 0, 0, 0, nullptr), WAVE_ERR_ALLOC);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    EXPECT_EQ(w.m_nFileSeq, 0); // refusals use up no number
}

TEST(SegmentWriter, CreateFailureIs108)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 1, 8000, 16);
    EXPECT_EQ(w.OpenOutput(dir / "missing/cut.wav", &wf, 2048, 0, 0, nullptr), WAVE_ERR_CREATE);
    EXPECT_EQ(w.m_nError, WAVE_ERR_CREATE);
    EXPECT_FALSE(w.m_bOutOpen);
}

// ---- naming ----

// Only the file name changes: every occurrence of its last four characters in
// it, the whole name when it is shorter, never the folder.
TEST(SegmentWriterNames, SuffixReplacesInsideTheFileNameOnly)
{
    const CRiffWaveFile w;
    struct Case {
        const char* path;
        int seq;
        const char* expected;
    } cases[] = {
        {"a.wav.wav", 1, "a_001.wav_001.wav"},
        {"/data/ab", 4, "/data/_004.wav"},
        {"/tmp/x.wav/dir/cut.wav", 7, "/tmp/x.wav/dir/cut_007.wav"},
        {"/tmp/cut.wav", 1000, "/tmp/cut_1000.wav"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(w.MakeOutputName(c.path, NAME_NUMBERED, c.seq), c.expected) << c.path;
    EXPECT_EQ(w.MakeOutputName("/tmp/cut.wav", 0, 1), "/tmp/cut.wav");

    TempDir dir;
    std::filesystem::create_directories(dir / "x.wav/sub");
    CRiffWaveFile out;
    const WAVEFORMATEX wf = Format(1, 1, 8000, 16);
    ASSERT_EQ(out.OpenOutput(dir / "x.wav/sub/cut.wav", &wf, 2048, 0, NAME_NUMBERED, nullptr), WAVE_OK);
    out.CloseOutput();
    EXPECT_TRUE(Exists(dir / "x.wav/sub/cut_001.wav"));
}

TEST(SegmentWriterNames, FrequencyAndTimestampNames)
{
    TempDir dir;
    CRiffWaveFile w;
    AUXIINFO a = Record(); // 10000000 Hz
    WAVEFORMATEX wf = Format(1, 2, 48000, 16);
    ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &wf, 2048, 0, NAME_FREQUENCY, &a), WAVE_OK);
    w.CloseOutput();
    EXPECT_TRUE(Exists(dir / "cut-D10000000Hz.wav"));

    wf = Format(1, 2, 96000, 16);
    ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &wf, 2048, 0, NAME_FREQUENCY | NAME_NUMBERED, &a), WAVE_OK);
    w.CloseOutput();
    EXPECT_TRUE(Exists(dir / "cut-10000000Hz_001.wav"));

    // Without a record the frequency is 0, not whatever an earlier output had.
    ASSERT_EQ(w.OpenOutput(dir / "none.wav", &wf, 2048, 0, NAME_FREQUENCY, nullptr), WAVE_OK);
    w.CloseOutput();
    EXPECT_TRUE(Exists(dir / "none-0Hz.wav"));

    // A time stamp wins over the number and uses none up.
    const int seq = w.m_nFileSeq;
    const std::string name = w.MakeOutputName("/r/t.wav", NAME_TIMESTAMP | NAME_NUMBERED, 5);
    EXPECT_TRUE(IsStampedName(name)) << name;
    ASSERT_EQ(w.OpenOutput(dir / "t.wav", &wf, 2048, 0, NAME_TIMESTAMP | NAME_NUMBERED, &a), WAVE_OK);
    w.CloseOutput();
    EXPECT_EQ(w.m_nFileSeq, seq);
}

// ---- frame limit ----

TEST(SegmentWriterSplit, NumberedOutputContinuesInTheNextFile)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 1, 8000, 16);
    std::vector<int32_t> block(2048, 0x01000000);
    ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &wf, 2048, 5000, NAME_NUMBERED, nullptr), WAVE_OK);
    EXPECT_EQ(w.WriteBlock(block.data(), 2048), 2048);
    EXPECT_EQ(w.WriteBlock(block.data(), 2048), 2048);
    EXPECT_EQ(w.WriteBlock(block.data(), 2048), -2); // 6144 >= 5000: next file started
    EXPECT_TRUE(w.m_bOutOpen);
    EXPECT_EQ(w.WriteBlock(block.data(), 100), 100);
    w.ClearAuxiRewrite();
    EXPECT_EQ(w.WriteBlock(nullptr, 0), 0);

    const std::vector<uint8_t> first = ReadFile(dir / "cut_001.wav");
    ASSERT_EQ(first.size(), 46u + 6144 * 2);
    EXPECT_EQ(Le32(first, 42), 6144u * 2);
    // Every file after a split carries a record whose start and stop are its start.
    const std::vector<uint8_t> second = ReadFile(dir / "cut_002.wav");
    ASSERT_EQ(second.size(), 126u + 200);
    EXPECT_EQ(IdAt(second, 38), "auxi");
    EXPECT_EQ(Le32(second, 122), 200u);
    const AUXIINFO a = AuxiFromBytes(second.data() + 46);
    EXPECT_GT(a.stStartTime.wYear, 2000);
    EXPECT_EQ(a.stStartTime, a.stStopTime);
}

// A split never writes over a file that is already there.
TEST(SegmentWriterSplit, SplitKeepsAnExistingNextFile)
{
    TempDir dir;
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    WriteFile(dir / "cut_002.wav", old);
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 1, 8000, 16);
    std::vector<int32_t> block(64, 0);
    ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &wf, 64, 64, NAME_NUMBERED, nullptr), WAVE_OK);
    EXPECT_EQ(w.WriteBlock(block.data(), 64), 0);
    EXPECT_EQ(w.m_nError, WAVE_ERR_CREATE);
    EXPECT_FALSE(w.m_bOutOpen);
    EXPECT_EQ(ReadFile(dir / "cut_002.wav"), old);
    EXPECT_EQ(Le32(ReadFile(dir / "cut_001.wav"), 42), 128u);
}

TEST(SegmentWriterSplit, UnnumberedOutputStopsAtTheLimit)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 2, 8000, 16);
    std::vector<int32_t> block(2 * 64, 0);
    ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &wf, 64, 100, 0, nullptr), WAVE_OK);
    EXPECT_EQ(w.WriteBlock(block.data(), 64), 64);
    EXPECT_EQ(w.WriteBlock(block.data(), 64), 0);
    EXPECT_FALSE(w.m_bOutOpen);
    EXPECT_EQ(w.m_nError, WAVE_OK);
    EXPECT_EQ(w.WriteBlock(block.data(), 64), -1);
    EXPECT_EQ(w.m_nError, WAVE_ERR_OUT_NOT_OPEN);
    EXPECT_EQ(Le32(ReadFile(dir / "cut.wav"), 42), 128u * 4);
}

// A call larger than the frames per call given to OpenOutput is written whole.
TEST(SegmentWriter, LargerCallIsWrittenInPieces)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 1, 8000, 16);
    std::vector<int32_t> s(1000);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int32_t>(i) << 16;
    ASSERT_EQ(w.OpenOutput(dir / "big.wav", &wf, 64, 0, 0, nullptr), WAVE_OK);
    EXPECT_EQ(w.WriteBlock(s.data(), 1000), 1000);
    w.CloseOutput();
    const std::vector<uint8_t> b = ReadFile(dir / "big.wav");
    ASSERT_EQ(b.size(), 46u + 2000);
    EXPECT_EQ(b[46 + 2 * 999], 999 & 0xFF);
    EXPECT_EQ(b[46 + 2 * 999 + 1], 999 >> 8);
}

// ---- failures ----

// A block that would take the sizes past 32 bits is refused, and the file is
// finished as it stands instead of getting wrapped sizes.
TEST(SegmentWriterFailure, DataBeyondFourGibIsRefused)
{
    TempDir dir;
    CRiffWaveFile w;
    const WAVEFORMATEX wf = Format(1, 2, 48000, 16);
    ASSERT_EQ(w.OpenOutput(dir / "big.wav", &wf, 2048, 0, 0, nullptr), WAVE_OK);
    std::vector<int32_t> block(4096, 0);
    ASSERT_EQ(w.WriteBlock(block.data(), 10), 10);
    w.m_nFramesWritten = (0xFFFFFFFFu - 38) / 4 - 100; // as if almost 4 GiB had been written
    EXPECT_EQ(w.WriteBlock(block.data(), 2048), -1);
    EXPECT_EQ(w.m_nError, WAVE_ERR_WRITE);
    EXPECT_FALSE(w.m_bOutOpen);
    const std::vector<uint8_t> b = ReadFile(dir / "big.wav");
    ASSERT_EQ(b.size(), 86u);
    EXPECT_EQ(Le32(b, 42), 40u);
}

// Writing to a full device: the failure surfaces as -1 and 109 (at the latest
// when the file is finished), the output is closed, nothing reports success.
TEST(SegmentWriterFailure, FullDeviceReports109)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    const WAVEFORMATEX wf = Format(1, 2, 48000, 16);
    std::vector<int32_t> block(4096, 0x10000);
    {
        CRiffWaveFile w;
        ASSERT_EQ(w.OpenOutput("/dev/full", &wf, 2048, 0, 0, nullptr), WAVE_OK);
        int rc = 0;
        for (int i = 0; i < 64 && rc >= 0; ++i)
            rc = w.WriteBlock(block.data(), 2048);
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(w.m_nError, WAVE_ERR_WRITE);
        EXPECT_FALSE(w.m_bOutOpen);
        EXPECT_EQ(w.WriteBlock(block.data(), 2048), -1);
        EXPECT_EQ(w.m_nError, WAVE_ERR_OUT_NOT_OPEN);
    }
    {
        CRiffWaveFile w; // a small file fails when it is finished
        ASSERT_EQ(w.OpenOutput("/dev/full", &wf, 2048, 0, 0, nullptr), WAVE_OK);
        EXPECT_EQ(w.WriteBlock(block.data(), 16), 16);
        EXPECT_EQ(w.WriteBlock(nullptr, 0), -1);
        EXPECT_EQ(w.m_nError, WAVE_ERR_WRITE);
    }
    {
        CRiffWaveFile w; // or when CloseOutput finishes it
        ASSERT_EQ(w.OpenOutput("/dev/full", &wf, 2048, 0, 0, nullptr), WAVE_OK);
        w.CloseOutput();
        EXPECT_EQ(w.m_nError, WAVE_ERR_WRITE);
    }
}

// ---- the chunk writer itself ----

TEST(RiffWriter, AscendPadsAndRewritesOnlyWhatDiffers)
{
    TempDir dir;
    CRiffWriter w;
    ASSERT_TRUE(w.Create(dir / "c.riff"));
    MMCKINFO form;
    form.fccType = MakeFourCC('T', 'E', 'S', 'T');
    ASSERT_TRUE(w.CreateChunk(form, true));
    EXPECT_EQ(form.dwDataOffset, 8);
    MMCKINFO ck;
    ck.ckid = MakeFourCC('a', 'b', 'c', 'd');
    ck.cksize = 5; // as it will be
    ASSERT_TRUE(w.CreateChunk(ck, false));
    EXPECT_EQ(ck.dwDataOffset, 20);
    ASSERT_EQ(w.Write("hello", 5), 5);
    ASSERT_TRUE(w.Ascend(ck));
    EXPECT_EQ(w.Tell(), 26);
    // A payload larger than the buffer, declared wrong: the size is rewritten.
    MMCKINFO big;
    big.ckid = MakeFourCC('b', 'i', 'g', ' ');
    big.cksize = 1;
    ASSERT_TRUE(w.CreateChunk(big, false));
    std::vector<uint8_t> payload(CRiffWriter::kBufferBytes + 3, 0xAB);
    ASSERT_EQ(w.Write(payload.data(), static_cast<int64_t>(payload.size())), static_cast<int64_t>(payload.size()));
    ASSERT_TRUE(w.Ascend(big));
    EXPECT_EQ(big.cksize, payload.size());
    ASSERT_TRUE(w.Ascend(form));
    ASSERT_TRUE(w.Close());
    EXPECT_TRUE(w.Close());

    const std::vector<uint8_t> b = ReadFile(dir / "c.riff");
    ASSERT_EQ(b.size(), 26u + 8 + payload.size() + 1);
    EXPECT_EQ(Le32(b, 4), b.size() - 8);
    EXPECT_EQ(Le32(b, 16), 5u);
    EXPECT_EQ(b[25], 0); // pad after "hello"
    EXPECT_EQ(Le32(b, 30), payload.size());
    EXPECT_EQ(b.back(), 0);
    EXPECT_EQ(b[b.size() - 2], 0xAB);
}

TEST(RiffWriter, ChunkBeyondFourGibFailsWithEfbig)
{
    TempDir dir;
    CRiffWriter w;
    ASSERT_TRUE(w.Create(dir / "sparse.riff"));
    MMCKINFO ck;
    ck.ckid = MakeFourCC('d', 'a', 't', 'a');
    ASSERT_TRUE(w.CreateChunk(ck, false));
    ASSERT_EQ(w.Seek(int64_t{5} << 30, SEEK_SET), int64_t{5} << 30); // nothing written there
    EXPECT_FALSE(w.Ascend(ck));
    EXPECT_EQ(w.Errno(), EFBIG);
    EXPECT_EQ(w.Write("x", 1), -1); // stays failed
    EXPECT_FALSE(w.Close());
}
