// The segment writer: layout and pad byte byte for byte, names and numbers,
// the stop time, the formats it refuses, the 4 GiB limit and splits.
#include <ctime>

#include "wave/wave_test_util.h"

namespace {

AUXIINFO Record()
{
    AUXIINFO a;
    a.stStartTime = {2024, 3, 0, 5, 10, 20, 30, 0};
    a.stStopTime = {2024, 3, 0, 5, 10, 21, 30, 0};
    a.dwCenterFreq = 10000000;
    a.dwSpare7 = 0x77777777;
    return a;
}

} // namespace

// "fmt " of 18 bytes, "auxi", "data"; an output planned past the 32-bit sizes
// is RF64 from the start, "ds64" first with the true sizes; an odd data size
// gets a pad byte that the RIFF size counts and the data size does not;
// WriteBlock(0) at once gives a valid empty file. None takes a write once
// closed.
TEST(Writer, LayoutByteForByte)
{
    const WAVEFORMATEX mono24{.wFormatTag = 1, .nChannels = 1, .nSamplesPerSec = 8000, .wBitsPerSample = 24};
    const AUXIINFO a = Record();
    std::vector<uint8_t> auxi(72);
    AuxiToBytes(a, auxi.data());
    const Bytes fmt = Chunk("fmt ", FmtPayload(1, 2, 48000, 16, 18));
    const Bytes fmtAuxi = Bytes(fmt).Add(Chunk("auxi", Bytes(auxi)));
    const std::vector<int32_t> six{0x12340000, -65536, 0x7FFF0000, INT32_MIN, 0x00010000, 0};
    const Bytes pcm = Bytes().U16(0x1234).U16(0xFFFF).U16(0x7FFF).U16(0x8000).U16(1).U16(0);
    const Bytes ds64 = Chunk("ds64", riff::Ds64Payload(166, 12, 3));
    const Bytes fmt24 = Chunk("fmt ", FmtPayload(1, 1, 8000, 24, 18)), oddBytes{3, 2, 1, 6, 5, 4, 0, 0, 0x80};
    const std::vector<int32_t> odd{0x01020300, 0x04050600, INT32_MIN};
    const struct {
        const char* proves;
        const WAVEFORMATEX& wf;
        bool auxi;
        uint64_t planned;
        std::vector<int32_t> samples;
        Bytes expected;
    } rows[] = {
        {"plain", kStereo16, true, 0, six, Riff("WAVE", Bytes(fmtAuxi).Add(Chunk("data", pcm)))},
        {"planned past 4 GiB: RF64", kStereo16, true, uint64_t{1} << 30, six,
         riff::Rf64(Bytes(ds64).Add(fmtAuxi).Id("data").U32(0xFFFFFFFFu).Add(pcm))},
        {"odd 24-bit mono", mono24, false, 0, odd, Riff("WAVE", Bytes(fmt24).Add(Chunk("data", oddBytes)))},
        {"empty", kStereo16, false, 0, {}, Riff("WAVE", Bytes(fmt).Add(Chunk("data", {})))},
    };
    for (const auto& r : rows) {
        TempFolder dir;
        CRiffWaveFile w;
        const int frames = static_cast<int>(r.samples.size()) / r.wf.nChannels;
        ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &r.wf, 4, 0, 0, r.auxi ? &a : nullptr, r.planned), WAVE_OK) << r.proves;
        ASSERT_EQ(w.WriteBlock(r.samples.data(), frames), frames) << r.proves;
        w.ClearAuxiRewrite();
        w.CloseOutput();
        ASSERT_EQ(w.m_nError, WAVE_OK) << r.proves;
        EXPECT_EQ(ReadFile(dir / "cut.wav"), r.expected.v) << r.proves;
        EXPECT_EQ(w.WriteBlock(six.data(), 1), -1) << r.proves;
        EXPECT_EQ(w.m_nError, WAVE_ERR_OUT_NOT_OPEN) << r.proves;
    }
}

// A numbered output takes the number after the highest one the folder holds
// for its name; other names in the folder do not count.
TEST(Writer, NumberingContinuesAfterTheHighestInTheFolder)
{
    const struct {
        const char* proves;
        std::vector<std::string> present;
        const char* dest;
        const char* next;
    } rows[] = {
        {"after the highest, no gap refilled", {"cut_002.wav", "cut_009.wav", "cut_004.wav"}, "cut.wav", "cut_010.wav"},
        {"four-digit numbers count", {"cut_999.wav", "cut_1000.wav"}, "cut.wav", "cut_1001.wav"},
        {"names the writer would not make are not ours",
         {"cut_0007.wav", "cut_7.wav", "cut_008.wav.bak", "cutter_009.wav", "cut_12a.wav", "other_050.wav"},
         "cut.wav",
         "cut_001.wav"},
        {"a repeated suffix", {"a_004.wav_004.wav", "a_006.wav_005.wav"}, "a.wav.wav", "a_005.wav_005.wav"},
        {"a name without .wav", {"_002.wav"}, "abc", "_003.wav"},
        {"a folder named .wav", {"x.wav/cut_006.wav"}, "x.wav/cut.wav", "x.wav/cut_007.wav"},
    };
    for (const auto& row : rows) {
        TempFolder dir;
        std::filesystem::create_directory(dir / "x.wav");
        for (const std::string& name : row.present)
            riff::WriteFile(dir / name, Bytes{'x'});
        CRiffWaveFile w;
        ASSERT_EQ(w.OpenOutput(dir / row.dest, &kMono16, 64, 0, NAME_NUMBERED, nullptr), WAVE_OK) << row.proves;
        w.CloseOutput();
        EXPECT_EQ(w.m_strOutFile, dir / row.next) << row.proves;
    }
}

// Every naming form of an output with a 10 MHz record (8000 and 48000
// frames/s take "-D"): the frequency first, then the number or, in its place,
// the local time of the open.
TEST(Writer, NameForms)
{
    const ScopedTz zone("Europe/Berlin");
    const struct {
        int flags;
        uint32_t rate;
        const char* name; // '#' stands for the local time stamp
    } rows[] = {
        {NAME_FREQUENCY, 44100, "cut-10000000Hz.wav"},
        {NAME_FREQUENCY, 48000, "cut-D10000000Hz.wav"},
        {NAME_FREQUENCY | NAME_NUMBERED, 44100, "cut-10000000Hz_001.wav"},
        {NAME_TIMESTAMP, 44100, "cut_#.wav"},
        {NAME_TIMESTAMP | NAME_NUMBERED, 44100, "cut_#.wav"},
        {NAME_TIMESTAMP | NAME_FREQUENCY | NAME_NUMBERED, 44100, "cut-10000000Hz_#.wav"},
    };
    // The row's name with the local time t in the place of '#'.
    const auto named = [](std::string name, time_t t) {
        char text[32];
        struct tm tm;
        std::strftime(text, sizeof text, "%Y%m%d_%H%M%S", localtime_r(&t, &tm));
        const size_t at = name.find('#');
        return at == std::string::npos ? name : name.replace(at, 1, text);
    };
    const AUXIINFO a = Record();
    for (const auto& row : rows) {
        const WAVEFORMATEX wf{.wFormatTag = 1, .nChannels = 2, .nSamplesPerSec = row.rate, .wBitsPerSample = 16};
        TempFolder dir;
        CRiffWaveFile w;
        const time_t before = std::time(nullptr);
        ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &wf, 2048, 0, row.flags, &a), WAVE_OK) << row.name;
        const time_t after = std::time(nullptr);
        w.CloseOutput();
        const std::string file = w.m_strOutFile.substr(dir.path.string().size() + 1);
        EXPECT_TRUE(file == named(row.name, before) || file == named(row.name, after)) << file;
        EXPECT_TRUE(std::filesystem::exists(w.m_strOutFile)) << file;
    }
}

// CloseOutput stamps the record's stop time with the universal time of the
// close (not the local one); the start time stays as opened.
TEST(Writer, CloseStampsTheStopTime)
{
    const ScopedTz zone("Asia/Kolkata"); // 5 h 30 min from universal time all year
    TempFolder dir;
    CRiffWaveFile w;
    const AUXIINFO a = Record();
    ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &kStereo16, 2048, 0, 0, &a), WAVE_OK);
    const int32_t s[2] = {};
    ASSERT_EQ(w.WriteBlock(s, 1), 1);
    const time_t before = std::time(nullptr);
    w.CloseOutput();
    const time_t after = std::time(nullptr);
    ASSERT_EQ(w.m_nError, WAVE_OK);
    const AUXIINFO got = AuxiFromBytes(riff::ParseWave(ReadFile(dir / "cut.wav")).payload.at("auxi").data());
    EXPECT_EQ(UtcSeconds(got.stStartTime), UtcSeconds(a.stStartTime));
    EXPECT_GE(UtcSeconds(got.stStopTime), before);
    EXPECT_LE(UtcSeconds(got.stStopTime), after);
}

// The formats the reader opens are the ones the writer writes: any other is
// refused by both (105), by the writer before a file exists. The rate bounds
// themselves are accepted.
TEST(Writer, FormatsWrittenAreTheOnesRead)
{
    const struct {
        const char* proves;
        uint16_t tag, channels;
        uint32_t rate;
        uint16_t bits;
        bool ok;
    } rows[] = {
        {"16-bit float", 3, 1, 8000, 16, false},
        {"tag 2", 2, 1, 8000, 16, false},
        {"12 bits", 1, 1, 8000, 12, false},
        {"no channel", 1, 0, 8000, 16, false},
        {"3 channels", 1, 3, 8000, 16, false},
        {"rate 999", 1, 1, 999, 16, false},
        {"rate 100000001", 1, 1, 100000001, 16, false},
        {"rate 1000", 1, 1, 1000, 16, true},
        {"rate 100000000", 3, 2, 100000000, 32, true},
    };
    for (const auto& row : rows) {
        const int code = row.ok ? WAVE_OK : WAVE_ERR_FORMAT;
        CRiffWaveFile r;
        EXPECT_EQ(OpenBytes(r, Wave(FmtPayload(row.tag, row.channels, row.rate, row.bits), riff::Ramp16(16))).rc, code)
            << row.proves;
        TempFolder dir;
        CRiffWaveFile w;
        const WAVEFORMATEX wf{
            .wFormatTag = row.tag, .nChannels = row.channels, .nSamplesPerSec = row.rate, .wBitsPerSample = row.bits};
        EXPECT_EQ(w.OpenOutput(dir / "cut.wav", &wf, 2048, 0, 0, nullptr), code) << row.proves;
        w.CloseOutput();
        EXPECT_EQ(std::filesystem::exists(dir / "cut.wav"), row.ok) << row.proves;
    }
}

// A plain output takes the block that brings its RIFF size to just under
// 4 GiB and refuses (and drops the file) the one that would pass it; an
// output planned past 4 GiB is RF64 and takes both. 16-bit stereo: 4 bytes a
// frame after 38 bytes of "WAVE", "fmt " and the "data" header (118 with
// "auxi").
TEST(Writer, FourGibibyteLimitOfPlainOutputs)
{
    constexpr uint64_t kLast = (0xFFFFFFFFull - 38) / 4; // the last frame a plain file holds
    constexpr uint64_t kLastWithAuxi = (0xFFFFFFFFull - 118) / 4;
    const struct {
        const char* proves;
        bool auxi;
        uint64_t planned, writtenBefore;
        int result;
    } rows[] = {
        {"up to the last frame", false, 0, kLast - 2, 2},
        {"one frame past it", false, 0, kLast - 1, -1},
        {"with auxi, up to its last frame", true, 0, kLastWithAuxi - 2, 2},
        {"with auxi, one frame past it", true, 0, kLastWithAuxi - 1, -1},
        {"planned past 4 GiB", false, kLast + 1, kLast - 1, 2},
    };
    const AUXIINFO a = Record();
    const int32_t s[4] = {};
    for (const auto& row : rows) {
        TempFolder dir;
        CRiffWaveFile w;
        ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &kStereo16, 2048, 0, 0, row.auxi ? &a : nullptr, row.planned), WAVE_OK);
        w.m_nFramesWritten = row.writtenBefore;
        EXPECT_EQ(w.WriteBlock(s, 2), row.result) << row.proves;
        EXPECT_EQ(w.m_nError, row.result < 0 ? WAVE_ERR_WRITE : WAVE_OK) << row.proves;
        EXPECT_EQ(w.m_bOutOpen, row.result > 0) << row.proves;
        w.AbandonOutput();
        EXPECT_TRUE(std::filesystem::is_empty(dir.path)) << row.proves;
    }
}

// A numbered output past its frame limit goes on under the next number.
TEST(Writer, SplitNumbersOn)
{
    TempFolder dir;
    CRiffWaveFile w;
    std::vector<int32_t> block(64, 0x01000000);
    ASSERT_EQ(w.OpenOutput(dir / "seg.wav", &kMono16, 64, 100, NAME_NUMBERED, nullptr), WAVE_OK);
    EXPECT_EQ(w.WriteBlock(block.data(), 64), 64);
    EXPECT_EQ(w.WriteBlock(block.data(), 64), -2);
    EXPECT_EQ(w.WriteBlock(block.data(), 10), 10);
    w.CloseOutput();
    EXPECT_EQ(riff::Le32(ReadFile(dir / "seg_001.wav"), 42), 256u);
    EXPECT_EQ(riff::Le32(ReadFile(dir / "seg_002.wav"), 122), 20u);
}
