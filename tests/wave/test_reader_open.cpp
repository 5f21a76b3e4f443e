// Opening sources: which files open, which fail with which code, and what
// metadata the record receives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "wave/test_reader_util.h"

using riff::Bytes;
using riff::Chunk;
using riff::FmtPayload;
using riff::Riff;
using riff::Wave;

namespace {

Bytes Fmt16Mono() { return FmtPayload(1, 1, 8000, 16); }
Bytes Samples(size_t n) { return riff::Ramp16(n); }

struct OpenCase {
    const char* proves;
    Bytes file;
    int code;
};

std::vector<OpenCase> OpenCases()
{
    const Bytes fmt = Fmt16Mono();
    const Bytes data = Samples(10);
    const Bytes fmtC = Chunk("fmt ", fmt);
    const Bytes dataC = Chunk("data", data);
    return {
        {"a plain 16-bit mono file opens", Wave(fmt, data), WAVE_OK},
        {"an 18-byte fmt opens", Wave(FmtPayload(1, 1, 8000, 16, 18), data), WAVE_OK},
        {"RIFX is no RIFF form", [&] { Bytes b = Wave(fmt, data); b.v[3] = 'X'; return b; }(), WAVE_ERR_NOT_WAVE},
        {"a RIFF form of another type is not a wave", Riff("AVI ", fmtC), WAVE_ERR_NOT_WAVE},
        {"a WAVE form after another top-level chunk is found",
         Bytes(Chunk("JUNK", Bytes{1, 2, 3})).Add(Wave(fmt, data)), WAVE_OK},
        {"no fmt", Riff("WAVE", dataC), WAVE_ERR_CHUNK},
        {"fmt shorter than 16 bytes", Wave(FmtPayload(1, 1, 8000, 16, 14), data), WAVE_ERR_CHUNK},
        {"fmt claiming more bytes than the file holds",
         Riff("WAVE", Chunk("fmt ", fmt, 0xFFFFFFF0u)), WAVE_ERR_CHUNK},
        {"no data", Riff("WAVE", fmtC), WAVE_ERR_CHUNK},
        {"data before fmt is not found", Riff("WAVE", Bytes(dataC).Add(fmtC)), WAVE_ERR_CHUNK},
        {"data before the metadata chunk is not found",
         Riff("WAVE", Bytes(fmtC).Add(dataC).Add(Chunk("auxi", Bytes().Fill(72, 0)))), WAVE_ERR_CHUNK},
        {"empty data", Wave(fmt, Bytes{}), WAVE_ERR_EMPTY},
        {"a data header at the end of the file holds nothing",
         Riff("WAVE", Bytes(fmtC).Add(Bytes().Id("data").U32(100))), WAVE_ERR_EMPTY},
        {"format tag 2", Wave(FmtPayload(2, 1, 8000, 16), data), WAVE_ERR_FORMAT},
        {"extensible format tag", Wave(FmtPayload(0xFFFE, 1, 8000, 16), data), WAVE_ERR_FORMAT},
        {"three channels", Wave(FmtPayload(1, 3, 8000, 16), data), WAVE_ERR_FORMAT},
        {"12 bits", Wave(FmtPayload(1, 1, 8000, 12), data), WAVE_ERR_FORMAT},
        {"16-bit float", Wave(FmtPayload(3, 1, 8000, 16), data), WAVE_ERR_FORMAT},
        {"rate 999", Wave(FmtPayload(1, 1, 999, 16), data), WAVE_ERR_FORMAT},
        {"rate 1000", Wave(FmtPayload(1, 1, 1000, 16), data), WAVE_OK},
        {"rate 100000001", Wave(FmtPayload(1, 1, 100000001, 16), data), WAVE_ERR_FORMAT},
        {"an empty data chunk is reported before the format", Wave(FmtPayload(2, 1, 8000, 16), Bytes{}),
         WAVE_ERR_EMPTY},
        {"an auxi cut short by the end of the file",
         Riff("WAVE", Bytes(fmtC).Add(Bytes().Id("auxi").U32(72).Fill(40, 0))), WAVE_ERR_CHUNK},
        {"an rcvr cut short by the end of the file",
         Riff("WAVE", Bytes(fmtC).Add(Bytes().Id("rcvr").U32(36).Fill(20, 0))), WAVE_ERR_CHUNK},
        {"an auxi of an unknown size is passed over", Wave(fmt, data, {Chunk("auxi", Bytes().Fill(50, 7))}),
         WAVE_OK},
        {"an odd-size chunk is followed past its pad byte", Wave(fmt, data, {Chunk("JUNK", Bytes{1, 2, 3})}),
         WAVE_OK},
        {"a chunk size of 0xFFFFFFFF ends the search",
         Riff("WAVE", Bytes(fmtC).Add(Bytes().Id("JUNK").U32(0xFFFFFFFFu)).Add(dataC)), WAVE_ERR_CHUNK},
        {"a chunk size that wraps a 32-bit offset back onto itself ends the search",
         Riff("WAVE", Bytes(fmtC).Add(Bytes().Id("JUNK").U32(0xFFFFFFF8u)).Add(dataC)), WAVE_ERR_CHUNK},
        {"a RIFF size of 0 (never finished) still finds its chunks",
         Riff("WAVE", Bytes(fmtC).Add(dataC), 0u), WAVE_OK},
    };
}

} // namespace

TEST(ReaderOpen, CodesOfTheCaseTable)
{
    for (const OpenCase& c : OpenCases()) {
        CRiffWaveFile w;
        const OpenResult r = OpenBytes(w, c.file);
        EXPECT_EQ(r.rc, c.code) << c.proves;
        EXPECT_EQ(w.m_nError, c.code) << c.proves;
        EXPECT_EQ(w.m_bInOpen, c.code == WAVE_OK) << c.proves;
    }
}

// Every prefix of a valid file opens or fails cleanly; once the data chunk's
// header is in, the frames are exactly those present.
TEST(ReaderOpen, TruncatedAtEveryOffset)
{
    const Bytes auxi = Chunk("auxi", Bytes().Time(2024, 5, 6, 7, 8, 9).Time(2024, 5, 6, 7, 9, 9).Fill(40, 1));
    const Bytes file = Wave(FmtPayload(1, 2, 8000, 16), riff::Ramp16(40), {auxi});
    const size_t dataPayload = file.size() - 80;
    for (size_t n = 0; n < file.size(); ++n) {
        CRiffWaveFile w;
        const OpenResult r = OpenBytes(w, file.Head(n));
        int expected = WAVE_OK;
        if (n < 12)
            expected = WAVE_ERR_NOT_WAVE;
        else if (n < dataPayload)
            expected = WAVE_ERR_CHUNK;
        else if (n == dataPayload)
            expected = WAVE_ERR_EMPTY;
        ASSERT_EQ(r.rc, expected) << "cut at " << n;
        if (expected == WAVE_OK) {
            EXPECT_EQ(w.m_nDataFrames, (n - dataPayload) / 4) << "cut at " << n;
            EXPECT_EQ(w.m_lDataBytes, static_cast<int64_t>(n - dataPayload));
        }
    }
}

TEST(ReaderOpen, FormatRecordAndCounts)
{
    CRiffWaveFile w;
    // 10001 bytes of 16-bit stereo: 2500 frames and a leftover byte that counts for nothing.
    const OpenResult r = OpenBytes(w, Wave(FmtPayload(1, 2, 8000, 16, 18), Bytes().Fill(10001, 0)));
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(r.wf.nAvgBytesPerSec, 32000u);
    EXPECT_EQ(w.m_nDataFrames, 2500u);
    EXPECT_EQ(w.m_lDataBytes, 10001);
    EXPECT_EQ(w.m_lDataStart, 46); // after the 18-byte fmt
    // 4096 frames at 8000/s: the length counts whole blocks.
    EXPECT_EQ(w.m_nLengthSec, 0);

    // A multiple of the block gains a block; header-only opens report the plain count and close.
    CRiffWaveFile w2;
    EXPECT_EQ(OpenBytes(w2, Wave(Fmt16Mono(), Bytes().Fill(8192, 0))).frames, 6144u);
    const OpenResult h = OpenBytes(w2, Wave(Fmt16Mono(), Bytes().Fill(8000, 0)), 0);
    EXPECT_EQ(h.rc, WAVE_OK);
    EXPECT_EQ(h.frames, 4000u);
    EXPECT_FALSE(w2.m_bInOpen);
}

TEST(ReaderOpen, OverlongDataSizeEndsWhereTheFileEnds)
{
    // An interrupted recorder leaves the placeholder size 0xFFFFFFFF.
    const Bytes file = Riff("WAVE", Bytes(Chunk("fmt ", Fmt16Mono())).Add(Bytes().Id("data").U32(0xFFFFFFFFu))
                                        .Add(riff::Ramp16(16000)), 0xFFFFFFFFu);
    CRiffWaveFile w;
    const OpenResult r = OpenBytes(w, file);
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(w.m_nDataFrames, 16000u);
    EXPECT_EQ(w.m_lDataBytes, 32000);
    EXPECT_EQ(r.frames, 16384u);
    EXPECT_EQ(w.m_nLengthSec, 2);
}

TEST(ReaderOpen, BadBlockSizesFailWithoutBuffer)
{
    CRiffWaveFile w;
    const Bytes file = Wave(Fmt16Mono(), Samples(10));
    EXPECT_EQ(OpenBytes(w, file, -5).rc, WAVE_ERR_ALLOC);
    EXPECT_FALSE(w.m_bInOpen);
    EXPECT_EQ(OpenBytes(w, file, 0x7FFFFFFF).rc, WAVE_ERR_ALLOC);
    EXPECT_FALSE(w.m_bInOpen);
    EXPECT_EQ(OpenBytes(w, file).rc, WAVE_OK); // the same object opens again afterwards
}

TEST(ReaderOpen, MissingFileIs101)
{
    CRiffWaveFile w;
    WAVEFORMATEX wf;
    uint32_t frames = 0;
    AUXIINFO a;
    EXPECT_EQ(w.Open("/nonexistent/dir/x.wav", &wf, 2048, &frames, 0, &a), WAVE_ERR_OPEN);
    EXPECT_EQ(w.Open("/", &wf, 2048, &frames, 0, &a), WAVE_ERR_OPEN); // a directory is no source
    EXPECT_EQ(w.m_nError, WAVE_ERR_OPEN);
}

// ---- metadata ----

namespace {

// Sets TZ for the life of the object.
class ScopedTz {
public:
    explicit ScopedTz(const char* tz)
    {
        const char* old = std::getenv("TZ");
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTz()
    {
        if (m_hadOld)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_hadOld = false;
    std::string m_old;
};

SYSTEMTIME St(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint16_t dow, uint16_t ms = 0)
{
    SYSTEMTIME t;
    t.wYear = y;
    t.wMonth = mo;
    t.wDayOfWeek = dow;
    t.wDay = d;
    t.wHour = h;
    t.wMinute = mi;
    t.wSecond = s;
    t.wMilliseconds = ms;
    return t;
}

OpenResult OpenWithMeta(CRiffWaveFile& w, std::vector<Bytes> meta, uint32_t rate = 8000, size_t nSamples = 16000)
{
    return OpenBytes(w, Wave(FmtPayload(1, 1, rate, 16), riff::Ramp16(nSamples), meta));
}

} // namespace

TEST(ReaderMeta, Auxi72IsCopiedByteForByte)
{
    ScopedTz tz("UTC");
    Bytes rec;
    rec.Time(2024, 3, 10, 12, 0, 0, 250, 0).Time(2024, 3, 10, 12, 0, 10, 500, 0);
    for (uint32_t i = 1; i <= 10; ++i)
        rec.U32(i * 1000 + i);
    CRiffWaveFile w;
    const OpenResult r = OpenWithMeta(w, {Chunk("auxi", rec)});
    ASSERT_EQ(r.rc, WAVE_OK);
    uint8_t back[72];
    AuxiToBytes(r.auxi, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 72), rec.v);
    // Stop - start = 10 s: the length comes from the times, the byte rate from the frames.
    EXPECT_EQ(w.m_nLengthSec, 10);
    EXPECT_EQ(w.m_nBytesPerSec, 16384 * 2 / 10);
}

TEST(ReaderMeta, Auxi28StopIsStartPlusLength)
{
    ScopedTz tz("UTC");
    Bytes rec;
    rec.Time(2024, 3, 10, 12, 0, 0).U32(7000000).U32(64000000).U32(192000);
    CRiffWaveFile w;
    const OpenResult r = OpenWithMeta(w, {Chunk("auxi", rec)}, 8000, 40000); // 40960 frames after rounding
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(r.auxi.stStartTime, St(2024, 3, 10, 12, 0, 0, 0));
    EXPECT_EQ(w.m_nLengthSec, 5); // floor(40960 / 8000 + 0.5)
    EXPECT_EQ(r.auxi.stStopTime, St(2024, 3, 10, 12, 0, 5, 0));
    EXPECT_EQ(w.m_nBytesPerSec, 16000);
    EXPECT_EQ(r.auxi.dwCenterFreq, 7000000u);
    EXPECT_EQ(r.auxi.dwClockFreq, 64000000u);
    EXPECT_EQ(r.auxi.dwBandwidth, 192000u);
    EXPECT_EQ(r.auxi.dwSpare1, 0u);
}

TEST(ReaderMeta, Auxi44And164)
{
    ScopedTz tz("UTC");
    Bytes a44;
    a44.Time(2023, 1, 2, 3, 4, 5).Time(2023, 1, 2, 3, 5, 5).U32(1).U32(2).U32(3);
    CRiffWaveFile w;
    OpenResult r = OpenWithMeta(w, {Chunk("auxi", a44)});
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(r.auxi.stStopTime, St(2023, 1, 2, 3, 5, 5, 0));
    EXPECT_EQ(w.m_nLengthSec, 60);
    EXPECT_EQ(r.auxi.dwCenterFreq, 1u);
    EXPECT_EQ(r.auxi.dwClockFreq, 2u);
    EXPECT_EQ(r.auxi.dwBandwidth, 3u);

    Bytes a164;
    a164.Time(2023, 1, 2, 3, 4, 5).Time(2023, 1, 2, 3, 4, 9).U32(14070000).Fill(128, 0xAB);
    r = OpenWithMeta(w, {Chunk("auxi", a164)}, 48000);
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(r.auxi.dwCenterFreq, 14070000u);
    EXPECT_EQ(r.auxi.dwClockFreq, 66666667u);
    EXPECT_EQ(r.auxi.dwBandwidth, 48000u);
    EXPECT_EQ(r.auxi.dwSpare2, 0u);
    EXPECT_EQ(w.m_nLengthSec, 4);
}

// The 68-byte form keeps local wall-clock times; the record gets universal time.
TEST(ReaderMeta, Auxi68LocalTimesBecomeUniversal)
{
    ScopedTz tz("Europe/Berlin");
    const auto open68 = [](CRiffWaveFile& w, uint16_t month, uint16_t day) {
        Bytes rec;
        rec.Time(2023, month, day, 12, 0, 0, 123).Time(2023, month, day, 12, 0, 30).U32(9000000).Fill(32, 0x11);
        return OpenWithMeta(w, {Chunk("auxi", rec)});
    };
    CRiffWaveFile w;
    // Summer: 12:00 CEST is 10:00 UTC.
    OpenResult r = open68(w, 7, 1);
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(r.auxi.stStartTime, St(2023, 7, 1, 10, 0, 0, 6, 123));
    EXPECT_EQ(r.auxi.stStopTime, St(2023, 7, 1, 10, 0, 30, 6));
    EXPECT_EQ(w.m_nLengthSec, 30);
    EXPECT_EQ(r.auxi.dwCenterFreq, 9000000u);
    EXPECT_EQ(r.auxi.dwSpare6, 0x11111111u);
    EXPECT_EQ(r.auxi.dwSpare7, 0u);
    // Winter: 12:00 CET is 11:00 UTC.
    r = open68(w, 1, 15);
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(r.auxi.stStartTime, St(2023, 1, 15, 11, 0, 0, 0, 123));
}

TEST(ReaderMeta, RcvrBandCodesAndTimes)
{
    ScopedTz tz("UTC");
    const struct {
        uint32_t code;
        uint32_t bandwidthHz;
    } rows[] = {{0, 125000}, {1, 250000}, {2, 500000}, {3, 1000000}, {4, 2000000}, {7, 125000}};
    for (const auto& row : rows) {
        Bytes rcvr;
        rcvr.U32(144800000).U32(row.code).I32(1700000000).Fill(24, 0);
        CRiffWaveFile w;
        const OpenResult r = OpenWithMeta(w, {Chunk("rcvr", rcvr)});
        ASSERT_EQ(r.rc, WAVE_OK);
        EXPECT_EQ(r.auxi.dwBandwidth, row.bandwidthHz) << "band code " << row.code;
        EXPECT_EQ(r.auxi.dwCenterFreq, 144800000u);
        EXPECT_EQ(r.auxi.dwClockFreq, 80000000u);
        // 1700000000 is 2023-11-14 22:13:20 UTC, a Tuesday.
        EXPECT_EQ(r.auxi.stStartTime, St(2023, 11, 14, 22, 13, 20, 2));
    }
}

TEST(ReaderMeta, AuxiWinsOverRcvrInEitherOrder)
{
    Bytes auxi;
    auxi.Time(2024, 1, 1, 0, 0, 0).U32(111).U32(222).U32(333);
    Bytes rcvr;
    rcvr.U32(999).U32(1).I32(1700000000);
    for (bool auxiFirst : {true, false}) {
        CRiffWaveFile w;
        std::vector<Bytes> meta = {Chunk("auxi", auxi), Chunk("rcvr", rcvr)};
        if (!auxiFirst)
            std::swap(meta[0], meta[1]);
        const OpenResult r = OpenWithMeta(w, meta);
        ASSERT_EQ(r.rc, WAVE_OK);
        EXPECT_EQ(r.auxi.dwCenterFreq, 111u);
        EXPECT_EQ(r.auxi.dwBandwidth, 333u);
    }
}

TEST(ReaderMeta, ShortRcvrIsPassedOverAndPre1970MeansNoRecordingTime)
{
    ScopedTz tz("UTC");
    CRiffWaveFile w;
    OpenResult r = OpenWithMeta(w, {Chunk("rcvr", Bytes().U32(5).U32(1))});
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(r.auxi.dwCenterFreq, 0u);
    EXPECT_EQ(r.auxi.dwClockFreq, 0u);

    r = OpenWithMeta(w, {Chunk("rcvr", Bytes().U32(5).U32(2).I32(-86400))});
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(r.auxi.dwCenterFreq, 5u);
    EXPECT_EQ(r.auxi.dwBandwidth, 500000u);
    // 1969 is no recording time: the times come from the source (a memory
    // source has none and counts from 1970), the length from the sample rate.
    EXPECT_EQ(r.auxi.stStartTime.wYear, 1970);
    EXPECT_EQ(w.m_nLengthSec, 2);
}
