// The segment save below the widgets: the AGC, and whole segments written and read back.
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "support/ScopedTz.h"
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
        {"either channel at full scale",
         2,
         0,
         2147483648.0,
         {INT32_MIN, 1 << 30, 1 << 30, INT32_MIN},
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
    // A source of rate frames/s; with spanSec > 0 its "auxi" times span that many seconds.
    void Load(int channels, uint32_t rate, const riff::Bytes& data, const char* name = "src.wav", int spanSec = 0)
    {
        riff::WaveShape shape(static_cast<uint16_t>(channels), rate);
        const auto at = [](int sec) {
            return SYSTEMTIME{2024, 5, 3, 1, 8, static_cast<uint16_t>(sec / 60), static_cast<uint16_t>(sec % 60), 0};
        };
        if (spanSec > 0)
            shape.auxi = riff::AuxiPayload(at(0), at(spanSec));
        LoadFile(riff::WaveFile(shape, data), name);
    }
    void LoadFile(const riff::Bytes& file, const char* name = "src.wav")
    {
        src = file.v;
        doc.m_strSrcPath = dir.filePath(name);
        ASSERT_TRUE(riff::WriteFile(doc.m_strSrcPath.toStdString(), src));
        ASSERT_TRUE(doc.OpenSource(doc.m_strSrcPath));
        doc.m_bLoaded = true;
        doc.m_strDestPath = dir.filePath("cut.wav");
    }
    SegmentSaveResult Save(int from, int to, bool agc = false, const SegmentProgress& progress = {})
    {
        double level = -1.0;
        std::vector<int32_t> block(kSegmentBlockValues);
        return SaveSegment(doc, FrameOfSecond(doc, from), FrameOfSecond(doc, to), agc, level, block.data(), progress);
    }
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    std::vector<uint8_t> Data(const std::string& path) { return riff::ParseWave(riff::ReadFile(path)).payload["data"]; }

    QTemporaryDir dir;
    CTavirelDoc doc{nullptr};
    std::vector<uint8_t> src;
};

// A segment starts at the frame of From in the source's time base and holds
// round((To - From) x rate) frames, in whole blocks.
TEST(SegmentSave, BlocksWrittenAndSavedAgainAsTheNextNumber)
{
    const struct {
        const char* proves;
        int channels;
        uint32_t rate, frames;
        int spanSec; // of the recording times; 0: none
        int from, to;
        size_t firstFrame;
        int blocks;
    } rows[] = {
        {"0..10 s of 100 s", 1, 8000, 800000, 0, 0, 10, 0, 40},
        {"a short segment: one whole block", 1, 1000, 5000, 0, 1, 2, 1000, 1},
        {"runs into the source end, padded with zeros", 2, 1000, 3000, 0, 1, 3, 1000, 1},
        {"zero length", 1, 1000, 5000, 0, 2, 2, 0, 0},
        {"source shorter than one second", 1, 8000, 400, 0, 0, 1, 0, 0},
        {"100.5 s without times: 50 s are 400000 frames", 1, 8000, 804000, 0, 10, 60, 80000, 196},
        {"times span twice the samples: 500 frames a second", 1, 1000, 60000, 120, 20, 50, 10000, 8},
        {"times span 5 s of 2048 frames: 409.6 a second", 1, 1000, 2048, 5, 1, 3, 410, 1},
    };
    for (const auto& r : rows) {
        Seg t;
        t.Load(r.channels, r.rate, riff::Ramp16(size_t{r.frames} * r.channels), "src.wav", r.spanSec);
        const SegmentSaveResult first = t.Save(r.from, r.to);
        EXPECT_EQ(first.nBlocks, r.blocks) << r.proves;
        EXPECT_EQ(QFile::exists(t.dir.filePath("cut_001.wav")), r.blocks > 0) << r.proves;
        if (r.blocks == 0)
            continue;
        const size_t frameBytes = 2u * r.channels,
                     at = t.src.size() - size_t{r.frames} * frameBytes + r.firstFrame * frameBytes;
        std::vector<uint8_t> expected(t.src.begin() + static_cast<long>(at),
                                      t.src.begin() +
                                          static_cast<long>(std::min(t.src.size(), at + r.blocks * 2048 * frameBytes)));
        expected.resize(r.blocks * 2048 * frameBytes, 0);
        EXPECT_EQ(t.Data(first.strPath), expected) << r.proves;
        const SegmentSaveResult second = t.Save(r.from, r.to);
        EXPECT_EQ(second.strPath, t.dir.filePath("cut_002.wav").toStdString());
        EXPECT_EQ(t.Data(second.strPath), expected) << r.proves;
    }
}

TEST(SegmentSave, AgcOutputOfA16BitSourcePeaksAtMinus6dBFS)
{
    Seg t;
    t.Load(2, 1000,
           riff::Gen16(4096, [](size_t i) { return static_cast<int16_t>(i % 2 ? 0 : 8000 * std::sin(i / 2 * 0.3)); }));
    const std::vector<uint8_t> d = t.Data(t.Save(0, 2, true).strPath);
    int peak = 0;
    for (size_t i = 0; i + 1 < d.size(); i += 4)
        peak = std::max(peak, std::abs(int{static_cast<int16_t>(d[i] | d[i + 1] << 8)}));
    EXPECT_EQ(peak, 16384);
}

// Each levelled save starts its level afresh: a level left from anything
// before (here far above any sample) would scale the whole segment down.
TEST(SegmentSave, AgcLevelStartsAfreshAtEachSave)
{
    Seg t;
    t.Load(1, 1000, riff::Gen16(4096, [](size_t i) { return static_cast<int16_t>(8000 * std::sin(i * 0.3)); }));
    std::vector<int32_t> block(kSegmentBlockValues);
    std::vector<std::vector<uint8_t>> outputs;
    for (double level : {0.0, 1e12}) {
        const SegmentSaveResult r = SaveSegment(t.doc, 0, FrameOfSecond(t.doc, 2), true, level, block.data(), {});
        ASSERT_EQ(r.nError, WAVE_OK) << level;
        outputs.push_back(t.Data(r.strPath));
    }
    EXPECT_EQ(outputs[1], outputs[0]);
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

// Without AGC a segment's bytes are the source's exactly, in every format
// (floats past full scale and NaN included), and an extensible source's
// "fmt " goes along. The last block is padded with silence.
TEST(SegmentSave, LosslessInEveryFormat)
{
    const auto bytes = [](size_t n, uint32_t seed) {
        riff::Bytes b;
        for (size_t i = 0; i < n; ++i)
            b.U8(static_cast<uint8_t>((i * 2654435761u + seed) >> 13));
        return b;
    };
    riff::Bytes floats;
    for (int i = 0; i < 3000; ++i)
        floats.F32(i % 7 == 0 ? std::nanf("")
                              : static_cast<float>((i % 13) - 6) * 0.37f + 1.0e-7f * static_cast<float>(i));
    const struct {
        const char* name;
        riff::Bytes fmt, data;
        size_t frameBytes;
        uint8_t silence;
    } rows[] = {
        {"8-bit mono", riff::FmtPayload(1, 1, 1000, 8), bytes(3000, 1), 1, 0x80},
        {"16-bit stereo", riff::FmtPayload(1, 2, 1000, 16), bytes(12000, 2), 4, 0},
        {"24-bit mono", riff::FmtPayload(1, 1, 1000, 24), bytes(9000, 3), 3, 0},
        {"32-bit stereo", riff::FmtPayload(1, 2, 1000, 32), bytes(24000, 4), 8, 0},
        {"float mono past full scale", riff::FmtPayload(3, 1, 1000, 32), floats, 4, 0},
        {"extensible 24-bit stereo", riff::ExtensibleFmtPayload(1, 2, 1000, 24), bytes(18000, 5), 6, 0},
        {"extensible in a 42-byte \"fmt \" (cbSize 24)",
         riff::Bytes(riff::ExtensibleFmtPayload(1, 2, 1000, 24, 0, 24)).Add(riff::Bytes{0xAB, 0xCD}), bytes(18000, 6),
         6, 0},
    };
    for (const auto& r : rows) {
        Seg t;
        t.LoadFile(riff::Wave(r.fmt, r.data));
        const SegmentSaveResult res = t.Save(1, 3); // frames 1000 to 3000, one block of 2048
        ASSERT_EQ(res.nError, WAVE_OK) << r.name;
        const riff::Chunks c = riff::ParseWave(riff::ReadFile(res.strPath));
        std::vector<uint8_t> want(r.data.v.begin() + static_cast<long>(1000 * r.frameBytes), r.data.v.end());
        want.resize(2048 * r.frameBytes, r.silence);
        EXPECT_EQ(c.payload.at("data"), want) << r.name;
        // An extensible "fmt " goes along as its first 40 bytes, cbSize 22 counting the rest of them.
        riff::Bytes fmt = r.fmt.Head(40);
        EXPECT_EQ(c.payload.at("fmt ").size() == 40, fmt.size() == 40) << r.name;
        if (fmt.size() == 40) {
            fmt.v[16] = 22;
            fmt.v[17] = 0;
            EXPECT_EQ(c.payload.at("fmt "), fmt.v) << r.name;
        }
    }
}

// Saves in a later run (a new document) go on after the files already there.
TEST(SegmentSave, NextFreeNumberAfterEarlierRuns)
{
    Seg t;
    t.Load(1, 1000, riff::Ramp16(5000));
    for (const char* n : {"cut_001.wav", "cut_002.wav", "cut_003.wav", "cut_004.wav", "cut_005.wav"})
        riff::WriteFile(t.Path(n), riff::Bytes{'x'});
    EXPECT_EQ(SegmentOutputPath(t.doc), t.Path("cut_006.wav"));
    EXPECT_EQ(t.Save(0, 2).strPath, t.Path("cut_006.wav"));
    EXPECT_EQ(t.Save(0, 2).strPath, t.Path("cut_007.wav"));
    EXPECT_EQ(riff::ReadFile(t.Path("cut_005.wav")), (std::vector<uint8_t>{'x'}));
}

// Progress runs up to the whole segment; a cancel removes the partly written
// file and says so. With and without AGC.
TEST(SegmentSave, ProgressAndCancel)
{
    for (const bool agc : {false, true}) {
        Seg t;
        t.Load(1, 1000, riff::Ramp16(600000)); // 600 s: 293 blocks
        std::vector<double> seen;
        const SegmentSaveResult whole = t.Save(0, 600, agc, [&](double f) {
            seen.push_back(f);
            return true;
        });
        EXPECT_EQ(whole.nError, WAVE_OK) << agc;
        ASSERT_FALSE(seen.empty()) << agc;
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << agc;
        EXPECT_GT(seen.front(), 0.0) << agc;
        EXPECT_LE(seen.back(), 1.0) << agc;
        const SegmentSaveResult cancelled = t.Save(0, 600, agc, [](double) { return false; });
        EXPECT_TRUE(cancelled.bCancelled) << agc;
        EXPECT_EQ(cancelled.strPath, t.Path("cut_002.wav")) << agc;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(cancelled.strPath))) << agc;
        EXPECT_TRUE(t.doc.m_wave.m_bInOpen) << agc; // the source stays usable
    }
}

// A segment's times are the recording start plus its marks in universal
// time, and its samples come from the same place, under every zone: across
// the night the clocks go forward in Europe.
TEST(SegmentSave, TimesAndPlaceIndependentOfTheLocalZone)
{
    const SYSTEMTIME start{2024, 3, 6, 30, 23, 0, 0, 0}, stop{2024, 3, 0, 31, 3, 0, 0, 0};
    riff::Bytes data = riff::Bytes().Fill(14400000, 0x80);
    data.v[14000000] = 0x11; // the first sample of second 14000
    ScopedTz zone("UTC");
    for (const char* tz : {"UTC", "Europe/Berlin", "America/New_York"}) {
        zone.Set(tz);
        Seg t;
        t.LoadFile(
            riff::Wave(riff::FmtPayload(1, 1, 1000, 8), data, {riff::Chunk("auxi", riff::AuxiPayload(start, stop))}));
        EXPECT_EQ(t.doc.m_nLengthSec, 14400) << tz;
        const SegmentSaveResult r = t.Save(14000, 14001);
        ASSERT_EQ(r.nError, WAVE_OK) << tz;
        const riff::Chunks c = riff::ParseWave(riff::ReadFile(r.strPath));
        EXPECT_EQ(c.payload.at("data").at(0), 0x11) << tz;
        const std::vector<uint8_t>& a = c.payload.at("auxi");
        const auto time = [&](size_t at) {
            std::vector<int> words;
            for (size_t i : {0, 1, 3, 4, 5, 6})
                words.push_back(a.at(at + 2 * i) | a.at(at + 2 * i + 1) << 8);
            return words;
        };
        EXPECT_EQ(time(0), (std::vector<int>{2024, 3, 31, 2, 53, 20})) << tz;
        EXPECT_EQ(time(16), (std::vector<int>{2024, 3, 31, 2, 53, 21})) << tz;
    }
}

// A span between frames starts at its first frame, and the times in its
// "auxi" record are the recording's clock at both ends to the millisecond
// (the recording's own start milliseconds carried): 1000 frames a second.
TEST(SegmentSave, SpanOfFramesWithMillisecondTimes)
{
    const struct {
        const char* proves;
        int64_t from, to;
        uint16_t startMs;             // the recording start's milliseconds
        std::vector<int> start, stop; // minute, second, millisecond of the record
    } rows[] = {
        {"whole seconds keep .000", 2000, 3000, 0, {5, 2, 0}, {5, 3, 0}},
        {"a quarter second", 1250, 1500, 0, {5, 1, 250}, {5, 1, 500}},
        {"one frame before a second", 999, 1999, 0, {5, 0, 999}, {5, 1, 999}},
        {"the start's fraction carries into the next second", 1750, 2000, 500, {5, 2, 250}, {5, 2, 500}},
    };
    for (const auto& r : rows) {
        Seg t;
        const SYSTEMTIME start{2024, 5, 3, 1, 8, 5, 0, r.startMs}, stop{2024, 5, 3, 1, 8, 5, 6, r.startMs};
        riff::WaveShape shape(1, 1000);
        shape.auxi = riff::AuxiPayload(start, stop);
        t.LoadFile(riff::WaveFile(shape, riff::Ramp16(6000)));
        double level = 0;
        std::vector<int32_t> block(kSegmentBlockValues);
        const SegmentSaveResult res = SaveSegment(t.doc, r.from, r.to, false, level, block.data());
        ASSERT_EQ(res.nError, WAVE_OK) << r.proves;
        const riff::Chunks c = riff::ParseWave(riff::ReadFile(res.strPath));
        const std::vector<uint8_t>& d = c.payload.at("data");
        EXPECT_EQ(d.at(0) | d.at(1) << 8, 1 + r.from) << r.proves; // the ramp's sample at the first frame
        const std::vector<uint8_t>& a = c.payload.at("auxi");
        const auto time = [&](size_t at) {
            std::vector<int> words;
            for (size_t i : {5, 6, 7})
                words.push_back(a.at(at + 2 * i) | a.at(at + 2 * i + 1) << 8);
            return words;
        };
        EXPECT_EQ(time(0), r.start) << r.proves;
        EXPECT_EQ(time(16), r.stop) << r.proves;
    }
}

} // namespace
