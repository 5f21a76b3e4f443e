// Segments hold their source's samples: read -> write -> read for every
// format, checked against hand-built sources and against sox, and the demo
// recording read back.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>

#include "test_writer_support.h"
#include "wave/DemoRecording.h"
#include "wave/RiffWaveFile.h"

using namespace writer_test;

namespace {

// Copies nFrames of a source into a new file the way the save flow does:
// blocks of 2048 read and written, the record carried over unchanged.
void CopyThrough(const std::string& src, const std::string& dst, uint32_t nFrames)
{
    CRiffWaveFile wave;
    WAVEFORMATEX wf;
    AUXIINFO a;
    uint32_t rounded = 0;
    ASSERT_EQ(wave.Open(src, &wf, 2048, &rounded, 0, &a), WAVE_OK);
    ASSERT_EQ(wave.OpenOutput(dst, &wf, 2048, 0, 0, &a), WAVE_OK);
    std::vector<int32_t> block(2048 * 2);
    int progress = 0;
    for (uint32_t done = 0; done < nFrames;) {
        const int n = static_cast<int>(std::min<uint32_t>(2048, nFrames - done));
        ASSERT_EQ(wave.ReadBlock(block.data(), 2048, &progress), 2048);
        ASSERT_EQ(wave.WriteBlock(block.data(), n), n);
        done += static_cast<uint32_t>(n);
    }
    wave.ClearAuxiRewrite();
    wave.CloseOutput();
    ASSERT_EQ(wave.m_nError, WAVE_OK);
}

// Every sample of a file as the reader delivers it.
std::vector<int32_t> ReadSamples(const std::string& path, uint32_t nFrames, int channels)
{
    CRiffWaveFile wave;
    WAVEFORMATEX wf;
    AUXIINFO a;
    uint32_t rounded = 0;
    std::vector<int32_t> all;
    if (wave.Open(path, &wf, 2048, &rounded, 0, &a) != WAVE_OK)
        return all;
    std::vector<int32_t> block(2048 * 2);
    int progress = 0;
    while (all.size() < static_cast<size_t>(nFrames) * channels &&
           wave.ReadBlock(block.data(), 2048, &progress) == 2048)
        all.insert(all.end(), block.begin(), block.begin() + 2048 * channels);
    all.resize(std::min(all.size(), static_cast<size_t>(nFrames) * channels));
    return all;
}

std::vector<uint8_t> DataOf(const std::vector<uint8_t>& file, size_t at, size_t n)
{
    if (file.size() < at + n)
        return {};
    return std::vector<uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(at),
                                file.begin() + static_cast<std::ptrdiff_t>(at + n));
}

void ExpectFloatsClose(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i + 4 <= got.size(); i += 4) {
        float g, w;
        std::memcpy(&g, got.data() + i, 4);
        std::memcpy(&w, want.data() + i, 4);
        ASSERT_LE(std::fabs(static_cast<double>(g) - w), 0x1p-31) << "sample " << i / 4 << ": " << g << " vs " << w;
    }
}

struct FormatCase {
    const char* name;
    uint16_t tag, channels, bits;
};
const FormatCase kFormats[] = {
    {"u8 mono", 1, 1, 8},   {"s16 stereo", 1, 2, 16}, {"s24 mono", 1, 1, 24},
    {"s32 stereo", 1, 2, 32}, {"f32 stereo", 3, 2, 32}, {"f32 mono", 3, 1, 32},
};

} // namespace

// Random sample bytes (every bit pattern for integers, floats across full
// scale) come out of a segment as they went in.
TEST(SegmentRoundTrip, EveryFormatKeepsItsSamples)
{
    TempDir dir;
    std::mt19937 rng(7);
    for (const FormatCase& f : kFormats) {
        SCOPED_TRACE(f.name);
        const uint32_t frames = 5000; // two whole blocks and a part
        const size_t bytes = frames * f.channels * (f.bits / 8u);
        std::vector<uint8_t> data(bytes);
        if (f.tag == 3) {
            std::uniform_real_distribution<float> u(-1.0f, 1.0f);
            for (size_t i = 0; i < bytes; i += 4) {
                float v = u(rng);
                if (i == 0) v = 1.0f;
                if (i == 4) v = -1.0f;
                if (i == 8) v = 0.0f;
                std::memcpy(data.data() + i, &v, 4);
            }
        } else {
            for (uint8_t& b : data)
                b = static_cast<uint8_t>(rng());
        }
        const std::string src = dir / "src.wav", out = dir / "out.wav";
        WriteFile(src, riff::Wave(riff::FmtPayload(f.tag, f.channels, 48000, f.bits), riff::Bytes(data)));
        CopyThrough(src, out, frames);

        const std::vector<uint8_t> file = ReadFile(out);
        EXPECT_EQ(file.size(), 126 + bytes + bytes % 2);
        const std::vector<uint8_t> got = DataOf(file, 126, bytes);
        if (f.tag == 3)
            ExpectFloatsClose(got, data);
        else
            EXPECT_EQ(got, data);
        // And the reader sees the segment as it saw the source (a float may
        // move by one step of the block representation).
        const std::vector<int32_t> a = ReadSamples(out, frames, f.channels);
        const std::vector<int32_t> b = ReadSamples(src, frames, f.channels);
        ASSERT_EQ(a.size(), b.size());
        ASSERT_EQ(a.size(), size_t{frames} * f.channels);
        const int64_t tolerance = f.tag == 3 ? 1 : 0;
        for (size_t i = 0; i < a.size(); ++i)
            ASSERT_LE(std::abs(int64_t{a[i]} - b[i]), tolerance) << "sample " << i;
    }
}

// sox makes the source and reads the segment back; both must agree sample for sample.
TEST(SegmentRoundTrip, SoxReadsSegmentsAsItsOwnSources)
{
    if (!HaveSox())
        GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    struct SoxCase {
        const char* make; // sox options for the source
        const char* raw;  // sox raw type for comparison
        int channels, bits;
        const char* encoding;
    } cases[] = {
        {"-c 1 -b 8 -e unsigned-integer", "u8", 1, 8, "Unsigned Integer PCM"},
        {"-c 2 -b 16 -e signed-integer", "s16", 2, 16, "Signed Integer PCM"},
        {"-c 1 -b 24 -e signed-integer", "s24", 1, 24, "Signed Integer PCM"},
        {"-c 2 -b 32 -e signed-integer", "s32", 2, 32, "Signed Integer PCM"},
        {"-c 2 -b 32 -e floating-point", "f32", 2, 32, "Floating Point PCM"},
    };
    const std::string src = dir / "src.wav", out = dir / "out.wav";
    for (const SoxCase& c : cases) {
        SCOPED_TRACE(c.make);
        bool ok = false;
        RunShell("sox -D -n -t wavpcm -r 48000 " + std::string(c.make) + " '" + src +
                "' synth 0.25 sine 440 sine 1234 vol 0.9 2>&1",
            ok);
        ASSERT_TRUE(ok);
        CopyThrough(src, out, 12000);

        EXPECT_EQ(RunShell("sox --i -c '" + out + "'", ok), std::to_string(c.channels) + "\n");
        EXPECT_EQ(RunShell("sox --i -r '" + out + "'", ok), "48000\n");
        EXPECT_EQ(RunShell("sox --i -s '" + out + "'", ok), "12000\n");
        EXPECT_EQ(RunShell("sox --i -b '" + out + "'", ok), std::to_string(c.bits) + "\n");
        EXPECT_EQ(RunShell("sox --i -e '" + out + "'", ok), std::string(c.encoding) + "\n");
        const std::string want = RunShell("sox -D '" + src + "' -t " + c.raw + " - 2>/dev/null", ok);
        ASSERT_TRUE(ok);
        const std::string got = RunShell("sox -D '" + out + "' -t " + c.raw + " - 2>/dev/null", ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(want.size(), 12000u * c.channels * (c.bits / 8));
        if (std::string(c.raw) == "f32")
            ExpectFloatsClose(std::vector<uint8_t>(got.begin(), got.end()),
                              std::vector<uint8_t>(want.begin(), want.end()));
        else
            EXPECT_TRUE(got == want);
    }
}

// ---- the demo recording ----

namespace {

// Level in dBFS of the complex tone at offsetHz in one second of I/Q samples.
double ToneDbfs(const std::vector<int32_t>& iq, size_t firstFrame, uint32_t rate, double offsetHz)
{
    std::complex<double> acc;
    for (uint32_t n = 0; n < rate; ++n) {
        const std::complex<double> x(iq[2 * (firstFrame + n)] / 2147483648.0, iq[2 * (firstFrame + n) + 1] / 2147483648.0);
        acc += x * std::polar(1.0, -2.0 * std::numbers::pi * offsetHz * n / rate);
    }
    return 20.0 * std::log10(std::abs(acc) / rate * 32768.0 / 32767.0);
}

} // namespace

TEST(DemoRecording, WritesCarriersAtTheirLevelsWithItsRecord)
{
    TempDir dir;
    const std::string path = dir / "demo.wav";
    DemoRecordingOptions opt;
    opt.nLengthSec = 3;
    ASSERT_EQ(WriteDemoRecording(path, opt), WAVE_OK);

    CRiffWaveFile wave;
    WAVEFORMATEX wf;
    AUXIINFO a;
    uint32_t frames = 0;
    ASSERT_EQ(wave.Open(path, &wf, 0, &frames, 0, &a), WAVE_OK);
    EXPECT_EQ(wf.wFormatTag, 1);
    EXPECT_EQ(wf.nChannels, 2);
    EXPECT_EQ(wf.nSamplesPerSec, 48000u);
    EXPECT_EQ(wf.wBitsPerSample, 16);
    EXPECT_EQ(frames, 3u * 48000);
    EXPECT_EQ(wave.m_nLengthSec, 3);
    EXPECT_EQ(a.dwCenterFreq, 7100000u);
    EXPECT_EQ(a.dwClockFreq, 48000u);
    EXPECT_EQ(a.dwBandwidth, 48000u);
    EXPECT_EQ(CTime(a.stStopTime, -1) - CTime(a.stStartTime, -1), 3);
    EXPECT_EQ(a.stStartTime.wYear, 2026);
    EXPECT_EQ(a.stStartTime.wMonth, 6);
    EXPECT_EQ(a.stStartTime.wDay, 21);
    EXPECT_EQ(a.stStartTime.wHour, 9);
    EXPECT_EQ(a.stStartTime.wMinute, 5);

    const std::vector<int32_t> iq = ReadSamples(path, 3 * 48000, 2);
    ASSERT_EQ(iq.size(), 3u * 48000 * 2);
    for (const DemoCarrier& c : kDemoCarriers) {
        SCOPED_TRACE(c.nOffsetHz);
        EXPECT_NEAR(ToneDbfs(iq, 48000, 48000, c.nOffsetHz), c.dLevelDbfs, 0.5);
        EXPECT_LT(ToneDbfs(iq, 48000, 48000, -c.nOffsetHz), -85.0); // I and Q in quadrature: no image
    }
    EXPECT_LT(ToneDbfs(iq, 48000, 48000, 9000), -85.0); // an empty frequency stays empty
}

TEST(DemoRecording, LeavesAnExistingFileAloneUnlessAskedToOverwrite)
{
    TempDir dir;
    const std::string path = dir / "demo.wav";
    const std::vector<uint8_t> old = {'k', 'e', 'e', 'p'};
    WriteFile(path, old);
    DemoRecordingOptions opt;
    opt.nLengthSec = 1;
    EXPECT_EQ(WriteDemoRecording(path, opt), WAVE_ERR_CREATE);
    EXPECT_EQ(ReadFile(path), old);
    opt.nLengthSec = 0;
    opt.bOverwrite = true;
    EXPECT_EQ(WriteDemoRecording(path, opt), WAVE_ERR_FORMAT);
    EXPECT_EQ(ReadFile(path), old);
    opt.nLengthSec = 1;
    EXPECT_EQ(WriteDemoRecording(path, opt), WAVE_OK);
    EXPECT_EQ(ReadFile(path).size(), 126u + 48000 * 4);
}
