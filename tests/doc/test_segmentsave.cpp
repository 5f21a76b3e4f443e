// The segment save below the widgets: the AGC, and whole segments written and read back.
#include <algorithm>
#include <cmath>

#include "doc/DocFixture.h"
#include "support/ScopedTz.h"

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
        {"either channel at full scale", 2, 0, 2147483648.0, {INT32_MIN, H, H, INT32_MIN}, {-H, H / 2, H / 2, -H}},
    };
    for (const auto& r : rows) {
        std::vector<int32_t> block = r.in;
        double level = r.level;
        AgcLevelBlock(block.data(), static_cast<int>(block.size()) / r.channels, r.channels, level);
        EXPECT_EQ(block, r.out) << r.name;
        EXPECT_NEAR(level, r.levelAfter, 1e-9) << r.name;
    }
}

// A levelled 16-bit source peaks at -6 dBFS, and each save starts its level
// afresh: a level left from before (far above any sample) would scale it down.
TEST(SegmentSave, AgcPeaksAtMinus6dBFSWhateverTheLevelBefore)
{
    SourceDoc t;
    t.Load(riff::WaveFile({2, 1000}, riff::Gen16(4096, [](size_t i) {
                              return static_cast<int16_t>(i % 2 ? 0 : 8000 * std::sin(i / 2 * 0.3));
                          })));
    std::vector<std::vector<uint8_t>> outputs;
    for (double level : {0.0, 1e12})
        outputs.push_back(SourceDoc::Chunk(t.Save(0, FrameOfSecond(t.doc, 2), true, {}, level).strPath, "data"));
    EXPECT_EQ(outputs[1], outputs[0]);
    int peak = 0;
    for (size_t i = 0; i + 1 < outputs[0].size(); i += 4)
        peak = std::max(peak, std::abs(int{static_cast<int16_t>(outputs[0][i] | outputs[0][i + 1] << 8)}));
    EXPECT_EQ(peak, 16384);
}

// Without AGC a segment starts at the frame of From in the source's time base
// and holds round((To - From) x rate) frames of the source's bytes exactly, in
// every format (floats past full scale and NaN included), in whole blocks (the
// last padded with silence), under the destination's first number; an
// extensible source's "fmt " goes along.
TEST(SegmentSave, LosslessInWholeBlocksInEveryFormat)
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
    const riff::Bytes mono1k = riff::FmtPayload(1, 1, 1000, 16), mono8k = riff::FmtPayload(1, 1, 8000, 16);
    const struct {
        const char* name;
        riff::Bytes fmt, data;
        size_t frameBytes;
        uint8_t silence = 0;
        int from = 1, to = 3; // seconds
        size_t firstFrame = 1000;
        int blocks = 1;
        bool timed = false; // "auxi" times spanning 120 s
    } rows[] = {
        {"8-bit mono", riff::FmtPayload(1, 1, 1000, 8), bytes(3000, 1), 1, 0x80},
        {"16-bit stereo", riff::FmtPayload(1, 2, 1000, 16), bytes(12000, 2), 4},
        {"float mono past full scale", riff::FmtPayload(3, 1, 1000, 32), floats, 4},
        {"extensible 24-bit stereo", riff::ExtensibleFmtPayload(1, 2, 1000, 24), bytes(18000, 5), 6},
        {"extensible in a 42-byte \"fmt \" (cbSize 24)",
         riff::Bytes(riff::ExtensibleFmtPayload(1, 2, 1000, 24, 0, 24)).Add(riff::Bytes{0xAB, 0xCD}), bytes(18000, 6),
         6},
        {"zero length", mono1k, riff::Ramp16(5000), 2, 0, 2, 2, 0, 0},
        {"source shorter than one second", mono8k, riff::Ramp16(400), 2, 0, 0, 1, 0, 0},
        {"100.5 s without times: 50 s are 400000 frames", mono8k, riff::Ramp16(804000), 2, 0, 10, 60, 80000, 196},
        {"times span twice the samples: 500 frames a second", mono1k, riff::Ramp16(60000), 2, 0, 20, 50, 10000, 8,
         true},
    };
    const riff::Bytes auxi =
        riff::Chunk("auxi", riff::AuxiPayload({2024, 5, 3, 1, 8, 0, 0, 0}, {2024, 5, 3, 1, 8, 2, 0, 0}));
    for (const auto& r : rows) {
        SourceDoc t;
        t.Load(r.timed ? riff::Wave(r.fmt, r.data, {auxi}) : riff::Wave(r.fmt, r.data));
        EXPECT_EQ(SegmentOutputPath(t.doc), t.Out("cut_001.wav")) << r.name;
        const SegmentSaveResult res = t.Save(FrameOfSecond(t.doc, r.from), FrameOfSecond(t.doc, r.to));
        ASSERT_EQ(res.nError, WAVE_OK) << r.name;
        EXPECT_EQ(res.nBlocks, r.blocks) << r.name;
        EXPECT_EQ(std::filesystem::exists(t.Out("cut_001.wav")), r.blocks > 0) << r.name;
        if (r.blocks == 0)
            continue;
        EXPECT_EQ(res.strPath, t.Out("cut_001.wav")) << r.name;
        const size_t at = r.firstFrame * r.frameBytes, size = r.blocks * 2048 * r.frameBytes;
        std::vector<uint8_t> want(r.data.v.begin() + static_cast<long>(at),
                                  r.data.v.begin() + static_cast<long>(std::min(r.data.size(), at + size)));
        want.resize(size, r.silence);
        EXPECT_EQ(SourceDoc::Chunk(res.strPath, "data"), want) << r.name;
        // An extensible "fmt " goes along as its first 40 bytes, cbSize 22 counting the rest of them.
        riff::Bytes fmt = r.fmt.Head(40);
        const std::vector<uint8_t> got = SourceDoc::Chunk(res.strPath, "fmt ");
        EXPECT_EQ(got.size() == 40, fmt.size() == 40) << r.name;
        if (fmt.size() == 40) {
            fmt.v[16] = 22;
            fmt.v[17] = 0;
            EXPECT_EQ(got, fmt.v) << r.name;
        }
    }
}

// Progress runs up to the whole segment; a cancel removes the partly written
// file and says so. With and without AGC.
TEST(SegmentSave, ProgressAndCancel)
{
    for (const bool agc : {false, true}) {
        SourceDoc t;
        t.Load(riff::WaveFile({1, 1000}, riff::Ramp16(600000))); // 600 s: 293 blocks
        std::vector<double> seen;
        const SegmentSaveResult whole = t.Save(0, FrameOfSecond(t.doc, 600), agc, [&](double f) {
            seen.push_back(f);
            return true;
        });
        EXPECT_EQ(whole.nError, WAVE_OK) << agc;
        ASSERT_FALSE(seen.empty()) << agc;
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << agc;
        EXPECT_GT(seen.front(), 0.0) << agc;
        EXPECT_LE(seen.back(), 1.0) << agc;
        const SegmentSaveResult cancelled = t.Save(0, FrameOfSecond(t.doc, 600), agc, [](double) { return false; });
        EXPECT_TRUE(cancelled.bCancelled) << agc;
        EXPECT_EQ(cancelled.strPath, t.Out("cut_002.wav")) << agc;
        EXPECT_FALSE(std::filesystem::exists(cancelled.strPath)) << agc;
        EXPECT_TRUE(t.doc.m_wave.m_bInOpen) << agc; // the source stays usable
    }
}

// A span between frames starts at its first frame, and the times in its
// "auxi" record are the recording's clock at both ends to the millisecond
// (the recording's own start milliseconds carried): 1000 frames a second.
// They are added in universal time, whatever the local zone.
TEST(SegmentSave, SpanOfFramesWithMillisecondTimesInEveryZone)
{
    const SYSTEMTIME may{2024, 5, 3, 1, 8, 5, 0, 0}, mayHalf{2024, 5, 3, 1, 8, 5, 0, 500};
    const SYSTEMTIME evening{2024, 3, 6, 30, 23, 59, 58, 0}, night{2024, 3, 0, 31, 0, 59, 58, 0};
    const struct {
        const char* proves;
        SYSTEMTIME recorded; // the recording's start; its times span 6 s
        int64_t from, to;
        SYSTEMTIME start, stop; // of the segment's record
    } rows[] = {
        {"one frame before a second", may, 999, 1999, {2024, 5, 3, 1, 8, 5, 0, 999}, {2024, 5, 3, 1, 8, 5, 1, 999}},
        {"the start's fraction carries",
         mayHalf,
         1750,
         2000,
         {2024, 5, 3, 1, 8, 5, 2, 250},
         {2024, 5, 3, 1, 8, 5, 2, 500}},
        {"into the next day", evening, 3000, 4000, {2024, 3, 0, 31, 0, 0, 1, 0}, {2024, 3, 0, 31, 0, 0, 2, 0}},
        {"Europe's clocks go forward", night, 3000, 4000, {2024, 3, 0, 31, 1, 0, 1, 0}, {2024, 3, 0, 31, 1, 0, 2, 0}},
    };
    ScopedTz zone("UTC");
    for (const char* tz : {"UTC", "Europe/Berlin", "America/New_York"}) {
        zone.Set(tz);
        for (const auto& r : rows) {
            SCOPED_TRACE(std::string(r.proves) + " in " + tz);
            SourceDoc t;
            riff::WaveShape shape(1, 1000);
            SYSTEMTIME end;
            AddUtcMilliseconds(r.recorded, 6000, end);
            shape.auxi = riff::AuxiPayload(r.recorded, end);
            t.Load(riff::WaveFile(shape, riff::Ramp16(6000)));
            const SegmentSaveResult res = t.Save(r.from, r.to, false, {}, 0);
            ASSERT_EQ(res.nError, WAVE_OK) << res.strMessage;
            const std::vector<uint8_t> d = SourceDoc::Chunk(res.strPath, "data");
            EXPECT_EQ(d.at(0) | d.at(1) << 8, 1 + r.from); // the ramp's sample at the first frame
            const AUXIINFO a = SourceDoc::Auxi(res.strPath);
            EXPECT_EQ(a.stStartTime, r.start);
            EXPECT_EQ(a.stStopTime, r.stop);
        }
    }
}

} // namespace
