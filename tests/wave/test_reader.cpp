// The source reader: which files open, metadata, sample conversions, the end of
// the data, seeking, positions past 4 GiB, the time base, and sox-made files
// read and copied as sox reads them.
#include <cstring>
#include <tuple>
#include <fstream>
#include <vector>

#include "wave/SampleFormats.h"
#include "wave/wave_test_util.h"

namespace {

std::vector<int32_t> ReadOne(CRiffWaveFile& w, int nFrames, int channels)
{
    std::vector<int32_t> out(static_cast<size_t>(nFrames * channels), 0x5A5A5A5A);
    int progress = -1;
    w.ReadBlock(out.data(), nFrames, &progress);
    return out;
}

long long Stamp(const SYSTEMTIME& t)
{
    return ((((t.wYear * 100LL + t.wMonth) * 100 + t.wDay) * 100 + t.wHour) * 100 + t.wMinute) * 100 + t.wSecond;
}

} // namespace

TEST(Reader, AuxiFormsAndRcvr)
{
    const ScopedTz zone("Europe/Berlin"); // only the 68-byte form holds local times
    // Start and stop times.
    const Bytes minute = Bytes().Time(2023, 1, 2, 3, 4, 5).Time(2023, 1, 2, 3, 5, 5);
    const Bytes summer = Bytes().Time(2023, 7, 1, 12, 0, 0).Time(2023, 7, 1, 12, 0, 30);
    const Bytes winter = Bytes().Time(2023, 1, 15, 12, 0, 0).Time(2023, 1, 15, 12, 0, 30);
    const Bytes spring = Bytes().Time(2024, 3, 10, 12, 0, 0).Time(2024, 3, 10, 12, 0, 10);
    const Bytes fourSec = Bytes().Time(2023, 1, 2, 3, 4, 5).Time(2023, 1, 2, 3, 4, 9);
    const Bytes a28 = Bytes().Time(2024, 3, 10, 12, 0, 0).U32(111).U32(64000000).U32(333);
    const Bytes rcvr1 = Bytes().U32(144800000).U32(1).I32(1700000000).Fill(24, 0);
    // Two lines a row, as a table reads.
    // clang-format off
    const struct {
        const char* proves;
        std::vector<Bytes> chunks;
        uint32_t center, clock, bw;
        long long start, stop;
        int lengthSec;
    } rows[] = {
        {"28 bytes: start; stop from the data", {Chunk("auxi", a28)},
         111, 64000000, 333, 20240310120000, 20240310120002, 2},
        {"44 bytes: start, stop", {Chunk("auxi", Bytes(minute).U32(1).U32(2).U32(3))},
         1, 2, 3, 20230102030405, 20230102030505, 60},
        {"68 bytes: local summer times", {Chunk("auxi", Bytes(summer).U32(9).U32(5).U32(0).U32(6).Fill(20, 0))},
         9, 5, 6, 20230701100000, 20230701100030, 30},
        {"68 bytes: local winter times", {Chunk("auxi", Bytes(winter).U32(9).Fill(32, 0))},
         9, 0, 0, 20230115110000, 20230115110030, 30},
        {"72 bytes: universal times", {Chunk("auxi", Bytes(spring).U32(1).U32(2).U32(0).U32(3).Fill(24, 0))},
         1, 2, 3, 20240310120000, 20240310120010, 10},
        {"164 bytes: its clock, the rate as bandwidth", {Chunk("auxi", Bytes(fourSec).U32(14070000).Fill(128, 1))},
         14070000, 66666667, 8000, 20230102030405, 20230102030409, 4},
        {"rcvr of 36 bytes", {Chunk("rcvr", rcvr1)},
         144800000, 80000000, 250000, 20231114221320, 20231114221322, 2},
        {"rcvr of 12 bytes", {Chunk("rcvr", Bytes().U32(5).U32(7).I32(1700000000))},
         5, 80000000, 125000, 20231114221320, 20231114221322, 2},
        {"auxi wins over rcvr", {Chunk("rcvr", rcvr1), Chunk("auxi", a28)},
         111, 64000000, 333, 20240310120000, 20240310120002, 2},
    };
    // clang-format on
    for (const auto& row : rows) {
        CRiffWaveFile w;
        const OpenResult r = OpenBytes(w, Wave(FmtPayload(1, 1, 8000, 16), riff::Ramp16(16000), row.chunks));
        ASSERT_EQ(r.rc, WAVE_OK) << row.proves;
        EXPECT_EQ(std::make_tuple(r.auxi.dwCenterFreq, r.auxi.dwClockFreq, r.auxi.dwBandwidth,
                                  Stamp(r.auxi.stStartTime), Stamp(r.auxi.stStopTime), w.m_nLengthSec),
                  std::make_tuple(row.center, row.clock, row.bw, row.start, row.stop, row.lengthSec))
            << row.proves;
    }
}

// 10000 bytes of 16-bit stereo, half a frame and a chunk after them: 2500
// frames, 4096 reported, the second block ends in silence (neither the half
// frame nor the chunk after "data" is read), the third read ends the data and
// closes the reader.
TEST(Reader, TwoAndAHalfThousandFrames)
{
    Bytes data;
    for (int i = 1; i <= 2500; ++i)
        data.U16(static_cast<uint16_t>(i)).U16(static_cast<uint16_t>(-i));
    CRiffWaveFile w;
    const OpenResult o =
        OpenBytes(w, Wave(FmtPayload(1, 2, 8000, 16), data.U8(0x55), {}, {Chunk("LIST", Bytes().Fill(8, 0x7F))}));
    ASSERT_EQ(o.rc, WAVE_OK);
    EXPECT_EQ(o.frames, 4096u);
    EXPECT_EQ(w.m_nDataFrames, 2500u);
    const std::vector<int32_t> b1 = ReadOne(w, 2048, 2);
    EXPECT_EQ(b1[1], -(1 << 16));
    EXPECT_EQ(b1[2 * 2047], 2048 << 16);
    const std::vector<int32_t> b2 = ReadOne(w, 2048, 2);
    EXPECT_EQ(b2[2 * 451 + 1], -(2500 << 16));
    EXPECT_EQ(std::vector<int32_t>(b2.begin() + 2 * 452, b2.end()), std::vector<int32_t>(2 * 1596, 0));
    std::vector<int32_t> buf(2 * 2048);
    EXPECT_EQ(w.ReadBlock(buf.data(), 2048, nullptr), 0);
    w.SeekSeconds(1); // closed: nothing to seek
    EXPECT_EQ(w.ReadBlock(buf.data(), 2048, nullptr), -1);
    EXPECT_EQ(w.m_nError, WAVE_ERR_NOT_OPEN);
}

// A request the block buffer cannot serve is a read error (106) that closes
// the source: more frames than are left of the block, none, or no buffer.
TEST(Reader, OversizeRequestsCloseTheSource)
{
    const struct {
        const char* proves;
        int first, second;
        bool buffer;
    } rows[] = {
        {"more than is left of the block", 300, 201, true},
        {"no frames", 0, 0, true},
        {"no buffer", 0, 10, false},
    };
    for (const auto& row : rows) {
        CRiffWaveFile w;
        ASSERT_EQ(OpenBytes(w, Wave(FmtPayload(1, 1, 1000, 16), riff::Ramp16(5000)), 500).rc, WAVE_OK);
        std::vector<int32_t> buf(1000);
        if (row.first > 0) {
            ASSERT_EQ(w.ReadBlock(buf.data(), row.first, nullptr), row.first) << row.proves;
        }
        EXPECT_EQ(w.ReadBlock(row.buffer ? buf.data() : nullptr, row.second, nullptr), -1) << row.proves;
        EXPECT_EQ(w.m_nError, WAVE_ERR_READ) << row.proves;
        EXPECT_FALSE(w.m_bInOpen) << row.proves;
    }
}

// Files sox made, every format: the reader gives sox's own 32-bit raw output
// of them, and a segment the writer copies from them reads in sox the same.
// -D with more than 16 bits gives sox's default, the extensible header.
TEST(Reader, SoxFilesReadAndCopiedAsSoxReadsThem)
{
    if (!HaveSox())
        GTEST_SKIP() << "sox is not installed";
    TempFolder dir;
    const struct {
        const char* format;
        size_t fmtBytes;
    } rows[] = {
        {"-t wavpcm -c 1 -b 8 -e unsigned-integer", 16}, {"-t wavpcm -c 2 -b 16 -e signed-integer", 16},
        {"-t wavpcm -c 1 -b 24 -e signed-integer", 16},  {"-t wavpcm -c 2 -b 32 -e signed-integer", 16},
        {"-t wavpcm -c 2 -b 32 -e floating-point", 18},  {"-D -c 2 -b 24", 40},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.format);
        const std::string src = dir / "s.wav", out = dir / "out.wav", f = r.format;
        ASSERT_NE(Sh("sox -n -r 8000 " + f + " " + src + " synth 0.5 sine 440 sine 660 vol 0.9"), "!");
        EXPECT_EQ(riff::ParseWave(ReadFile(src)).payload["fmt "].size(), r.fmtBytes);
        const bool isFloat = f.find("float") != std::string::npos;
        const std::string raw = Sh("sox " + src + (isFloat ? " -t f32 -" : " -t s32 -"));
        const int channels = f[f.find("-c ") + 3] - '0';
        ASSERT_EQ(raw.size(), 4000u * 4 * channels);
        CRiffWaveFile w;
        const OpenResult o = OpenFrom(w, src, 1000);
        ASSERT_EQ(o.rc, WAVE_OK);
        ASSERT_EQ(w.OpenOutput(out, &o.wf, 1000, 0, 0, &o.auxi), WAVE_OK);
        for (size_t i = 0; i < raw.size() / 4; i += 1000 * channels) {
            const std::vector<int32_t> got = ReadOne(w, 1000, channels);
            for (size_t j = 0; j < got.size(); ++j) {
                const auto* p = reinterpret_cast<const uint8_t*>(raw.data() + 4 * (i + j));
                ASSERT_EQ(got[j], isFloat ? samples::ReadF32(p) : samples::ReadS32(p)) << "sample " << i + j;
            }
            const int n = i + 1000 * channels < raw.size() / 4 ? 1000 : 999; // the last block not whole
            ASSERT_EQ(w.WriteBlock(got.data(), n), n);
        }
        w.CloseOutput();
        const std::string want = Sh("sox -D " + src + " -t f64 -"), got = Sh("sox -D " + out + " -t f64 -");
        ASSERT_EQ(got.size(), want.size() - 8 * channels);
        for (size_t i = 0; i < got.size(); i += 8) {
            double g, x;
            std::memcpy(&g, got.data() + i, 8);
            std::memcpy(&x, want.data() + i, 8);
            ASSERT_NEAR(g, x, isFloat ? 0x1p-31 : 0.0) << "sample " << i / 8;
        }
    }
}

// Which files open: damaged headers, formats and rates, and the forms
// recorders and sox write (extensible "fmt ", RF64/BW64, sizes an interrupted
// recorder left, metadata after "data"). Each row: the code, the frames of
// data found and the centre frequency read.
TEST(Reader, OpenCodesAndRecordingForms)
{
    const Bytes mono = FmtPayload(1, 1, 8000, 16), ten = riff::Ramp16(10); // 10 frames
    const Bytes monoC = Chunk("fmt ", mono), tenC = Chunk("data", ten);
    using riff::ExtensibleFmtPayload;
    const Bytes data = riff::Ramp16(200); // 400 bytes of 16-bit stereo: 100 frames
    const Bytes fmt = FmtPayload(1, 2, 8000, 16), fmtC = Chunk("fmt ", fmt);
    const Bytes auxiC = Chunk("auxi", Bytes().Time(2024, 1, 1, 0, 0, 0).U32(7000000).U32(0).U32(0));
    const Bytes listC = Chunk("LIST", Bytes().Id("INFO"));
    const auto ext = [&](Bytes f) { return Wave(f, data); };
    const auto rf64 = [&](uint32_t dataField, uint64_t ds64Data, const Bytes& after = {}, const char* id = "RF64") {
        const Bytes ds64 = Chunk("ds64", riff::Ds64Payload(0, ds64Data));
        return riff::Rf64(Bytes(ds64).Add(fmtC).Id("data").U32(dataField).Add(data).Add(after), id);
    };
    const auto plain = [&](uint32_t dataField, const Bytes& after = {}) {
        return Riff("WAVE", Bytes(fmtC).Id("data").U32(dataField).Add(data).Add(after));
    };
    const struct {
        const char* proves;
        Bytes file;
        int code;
        uint64_t frames = 0;
        uint32_t centerHz = 0;
    } rows[] = {
        {"plain 16-bit mono", Wave(mono, ten), WAVE_OK, 10, 0},
        {"header cut in the RIFF header", Wave(mono, ten).Head(10), WAVE_ERR_NOT_WAVE},
        {"header cut inside fmt", Wave(mono, ten).Head(30), WAVE_ERR_CHUNK},
        {"no WAVE form", Riff("AVI ", monoC), WAVE_ERR_NOT_WAVE},
        {"chunk size wrapping 32 bits", Riff("WAVE", Bytes(monoC).Add(Bytes().Id("JUNK").U32(0xFFFFFFF8u)).Add(tenC)),
         WAVE_ERR_CHUNK},
        {"odd-size chunk skipped with its pad", Wave(mono, ten, {Chunk("JUNK", Bytes{1, 2, 3})}), WAVE_OK, 10, 0},
        {"fmt shorter than 16", Wave(FmtPayload(1, 1, 8000, 16, 14), ten), WAVE_ERR_CHUNK},
        {"data before fmt", Riff("WAVE", Bytes(tenC).Add(monoC)), WAVE_OK, 10, 0},
        {"empty data", Wave(mono, Bytes{}), WAVE_ERR_EMPTY},
        {"extensible tag in a 16-byte fmt", Wave(FmtPayload(0xFFFE, 1, 8000, 16), ten), WAVE_ERR_FORMAT},
        {"extensible PCM 16-bit", ext(ExtensibleFmtPayload(1, 2, 8000, 16)), WAVE_OK, 100, 0},
        {"extensible PCM 24-bit, 20 valid bits",
         Wave(ExtensibleFmtPayload(1, 1, 8000, 24, 20), riff::Bytes().Fill(300, 1)), WAVE_OK, 100, 0},
        {"extensible float", Wave(ExtensibleFmtPayload(3, 2, 8000, 32), riff::Bytes().Fill(800, 0)), WAVE_OK, 100, 0},
        {"extensible with an unknown GUID", ext(ExtensibleFmtPayload(2, 2, 8000, 16)), WAVE_ERR_FORMAT},
        {"extensible with valid bits above the container", ext(ExtensibleFmtPayload(1, 2, 8000, 16, 24)),
         WAVE_ERR_FORMAT},
        {"extensible with cbSize 0", ext(ExtensibleFmtPayload(1, 2, 8000, 16, 0, 0)), WAVE_ERR_FORMAT},
        {"extensible float of 24 bits", ext(ExtensibleFmtPayload(3, 2, 8000, 24)), WAVE_ERR_FORMAT},
        {"RF64: data size in ds64", rf64(0xFFFFFFFFu, 400), WAVE_OK, 100, 0},
        {"BW64: data size in ds64", rf64(0xFFFFFFFFu, 400, {}, "BW64"), WAVE_OK, 100, 0},
        {"RF64: data size agreeing with ds64", rf64(400, 400), WAVE_OK, 100, 0},
        {"RF64: ds64 smaller than the data", rf64(0xFFFFFFFFu, 200, auxiC), WAVE_OK, 50, 0},
        {"RF64: ds64 data 0 (interrupted)", rf64(0xFFFFFFFFu, 0), WAVE_OK, 100, 0},
        {"RF64: data size disagreeing with ds64", rf64(200, 400), WAVE_ERR_CHUNK},
        {"RF64 without ds64", riff::Rf64(Bytes(fmtC).Add(Chunk("data", data))), WAVE_ERR_CHUNK},
        {"RF64: ds64 shorter than 28 bytes",
         riff::Rf64(Bytes(Chunk("ds64", Bytes().Fill(24, 0))).Add(fmtC).Add(Chunk("data", data))), WAVE_ERR_CHUNK},
        {"RF64: ds64 beyond the file", riff::Rf64(Bytes(Chunk("ds64", riff::Ds64Payload(0, 400), 100000))),
         WAVE_ERR_CHUNK},
        {"data size 0, last chunk (interrupted)", plain(0), WAVE_OK, 100, 0},
        {"data size 0, a chunk follows: empty",
         Riff("WAVE", Bytes(fmtC).Add(Chunk("data", {})).Add(listC).Add(Chunk("data", data))), WAVE_ERR_EMPTY},
        {"data size 0xFFFFFFFF", plain(0xFFFFFFFFu), WAVE_OK, 100, 0},
        {"smaller stated size keeps its meaning", plain(200, listC), WAVE_OK, 50, 0},
        {"auxi after data", Wave(fmt, data, {}, {auxiC}), WAVE_OK, 100, 7000000},
    };
    CRiffWaveFile w; // one reader: a failed open keeps nothing of the one before
    for (const auto& row : rows) {
        const OpenResult r = OpenBytes(w, row.file);
        EXPECT_EQ(r.rc, row.code) << row.proves;
        EXPECT_EQ(w.m_bInOpen, row.code == WAVE_OK) << row.proves;
        EXPECT_EQ(w.m_nBlockCount, row.code == WAVE_OK ? 1 : 0) << row.proves;
        if (r.rc != WAVE_OK || row.code != WAVE_OK)
            continue;
        EXPECT_EQ(w.m_nDataFrames, row.frames) << row.proves;
        EXPECT_EQ(r.auxi.dwCenterFreq, row.centerHz) << row.proves;
        EXPECT_TRUE(r.wf.wFormatTag == 1 || r.wf.wFormatTag == 3) << row.proves;
    }
}

// 6 GiB of 16-bit stereo at 2 MHz (805 s) however its sizes were left: the
// whole length, and a second past 4 GiB lands on its byte.
TEST(Reader, SixGibibyteRecordings)
{
    TempFolder dir;
    const int64_t dataBytes = 6LL << 30;
    const Bytes fmtC = Chunk("fmt ", FmtPayload(1, 2, 2000000, 16));
    const Bytes auxi = Chunk("auxi", Bytes().Time(2024, 1, 1, 0, 0, 0).U32(145000000).U32(0).U32(0));
    const auto plain = [&](uint32_t riffSize, uint32_t dataSize) {
        return Riff("WAVE", Bytes(fmtC).Id("data").U32(dataSize), riffSize);
    };
    const Bytes rf64 = riff::Rf64(Bytes(Chunk("ds64", riff::Ds64Payload(0, dataBytes))).Add(fmtC).Id("data").U32(~0u));
    const struct {
        const char* proves;
        Bytes header;
        Bytes tail;
        uint32_t centerHz;
    } rows[] = {
        {"sizes 0xFFFFFFFF", plain(0xFFFFFFFFu, 0xFFFFFFFFu), {}, 0},
        {"sizes wrapped", plain(static_cast<uint32_t>(36 + dataBytes), static_cast<uint32_t>(dataBytes)), {}, 0},
        {"wrapped, auxi after data", plain(0, static_cast<uint32_t>(dataBytes)), auxi, 145000000},
        {"RF64, auxi after data", rf64, auxi, 145000000},
    };
    for (const auto& row : rows) {
        const std::string path = dir / "big.wav";
        const int64_t start = static_cast<int64_t>(row.header.size());
        // A sparse file: the header, a 16-bit stereo marker frame at 700 s, the tail at the very end.
        ASSERT_TRUE(riff::WriteFile(path, row.header));
        std::filesystem::resize_file(path, static_cast<uintmax_t>(start + dataBytes));
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(start + 8000000LL * 700).write("\x34\x12\xCD\xAB", 4);
        f.seekp(start + dataBytes)
            .write(reinterpret_cast<const char*>(row.tail.v.data()), static_cast<std::streamsize>(row.tail.size()));
        f.close();
        ASSERT_TRUE(f.good()) << row.proves;
        CRiffWaveFile w;
        const OpenResult o = OpenFrom(w, path);
        ASSERT_EQ(o.rc, WAVE_OK) << row.proves;
        EXPECT_EQ(w.m_lDataBytes, dataBytes) << row.proves;
        EXPECT_EQ(w.m_nDataFrames, uint64_t(dataBytes / 4)) << row.proves;
        EXPECT_EQ(w.m_nLengthSec, 805) << row.proves;
        EXPECT_EQ(o.auxi.dwCenterFreq, row.centerHz) << row.proves;
        w.SeekSeconds(700);
        const std::vector<int32_t> b = ReadOne(w, 2048, 2);
        EXPECT_EQ(b[0], 0x12340000) << row.proves;
        EXPECT_EQ(b[1], static_cast<int32_t>(0xABCD0000)) << row.proves;
    }
}

// Conversions against exact rational arithmetic (Python's fractions): frames
// rounded to the nearest, seconds and milliseconds floored.
TEST(TimeBase, ExactConversions)
{
    const struct {
        const char* proves;
        int64_t frames, seconds; // the ratio
        double fps;
        int64_t wholeSec, frameOfWhole;
        double sec;
        int64_t frameOfSec, frame, secondOfFrame, msOfFrame;
        double secondsOfFrame;
    } rows[] = {
        {"a 48 kHz sample rate", 48000, 1, 48000, 3600, 172800000, 0.5, 24000, 47999, 0, 999, 47999 / 48000.0},
        {"times span 5 s of 2048 frames", 2048, 5, 409.6, 1, 410, 2.5, 1024, 410, 1, 1000, 1.0009765625},
        {"2^40 + 1 frames over 3 s: no overflow", (1LL << 40) + 1, 3, 366503875925.66667, 2, 733007751851, 3.0,
         (1LL << 40) + 1, 1LL << 40, 2, 2999, 2.99999999999727},
        {"a 20 GiB recording of 5368 s", 5368709120, 5368, 1000132.1013412817, 5000, 5000660507, 0.25, 250033,
         5368709119, 5367, 5367999, 5367.999999},
        {"before the start: away from zero, floored", 3, 2, 1.5, -1, -2, -0.5, -1, -1, -1, -667, -2 / 3.0},
        {"no ratio: one frame a second", 0, 0, 1, 7, 7, 2.4, 2, 7, 7, 7000, 7},
    };
    for (const auto& r : rows) {
        const CTimeBase tb(r.frames, r.seconds);
        EXPECT_NEAR(tb.FramesPerSecond() / r.fps, 1.0, 1e-12) << r.proves;
        EXPECT_EQ(tb.FrameOfWholeSeconds(r.wholeSec), r.frameOfWhole) << r.proves;
        EXPECT_EQ(tb.FrameOfSeconds(r.sec), r.frameOfSec) << r.proves;
        EXPECT_EQ(tb.SecondOfFrame(r.frame), r.secondOfFrame) << r.proves;
        EXPECT_EQ(tb.MillisecondOfFrame(r.frame), r.msOfFrame) << r.proves;
        EXPECT_NEAR(tb.SecondsOfFrame(r.frame), r.secondsOfFrame, 1e-9) << r.proves;
    }
}

// The reader's time base: the data's frames over the seconds the recording
// times span, the sample rate without them; seeks and the length follow it.
// The times are universal time, read under a zone whose clocks go forward
// within the 4 h row (every zone: SegmentSave's millisecond times).
TEST(Reader, TimeBaseOfTheRecordingTimes)
{
    const auto at = [](int ms) { // from 2024-03-31 00:30, an hour and a half before that change
        const int s = 1800 + ms / 1000;
        SYSTEMTIME t{2024, 3, 0, 31};
        std::tie(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds) =
            std::make_tuple(s / 3600, s / 60 % 60, s % 60, ms % 1000);
        return t;
    };
    const struct {
        const char* proves;
        size_t frames;
        int startMs, stopMs; // of the times; startMs -1: none
        int lengthSec;
        double fps;
        int seekSec;
        int32_t firstFrame; // where that second starts
    } rows[] = {
        {"times span 5 s of 2048 frames: 409.6 a second", 2048, 0, 5000, 5, 409.6, 1, 410},
        {"no times: the whole seconds the data holds", 5500, -1, 0, 5, 1000, 2, 2000},
        {"stop = start: the nearest second of the data", 5400, 0, 0, 5, 1000, 3, 3000},
        {"0.2 s across a second's boundary: milliseconds count", 200, 900, 1100, 0, 1000, 0, 0},
        {"4 h across the clocks' change", 14400, 0, 14400000, 14400, 1.0, 2, 2},
        {"a seek before the start reads from the start", 6000, -1, 0, 6, 1000, -7, 0},
    };
    const ScopedTz zone("Europe/Berlin");
    for (const auto& r : rows) {
        riff::WaveShape shape(1, 1000);
        if (r.startMs >= 0)
            shape.auxi = riff::AuxiPayload(at(r.startMs), at(r.stopMs));
        CRiffWaveFile w;
        ASSERT_EQ(OpenBytes(w, riff::WaveFile(shape, riff::Ramp16(r.frames, 0))).rc, WAVE_OK) << r.proves;
        EXPECT_EQ(w.m_nLengthSec, r.lengthSec) << r.proves;
        EXPECT_NEAR(w.m_timeBase.FramesPerSecond(), r.fps, 1e-9) << r.proves;
        w.SeekSeconds(r.seekSec);
        EXPECT_EQ(ReadOne(w, 2048, 1)[0], r.firstFrame * 65536) << r.proves;
    }
}
