// The band save below the widgets: the files' headers and records (read
// back by hand), a burst's onset at the same wall-clock time in
// source and band, clipping, and faults and cancels that leave no file.
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "doc/BandSave.h"
#include "doc/DocFixture.h"
#include "support/FaultFs.h"

namespace {

constexpr uint32_t kCentre = 7000000;
const SYSTEMTIME kStart{2024, 5, 0, 1, 12, 0, 0, 250};

// A source of seconds at rate whose frame n holds gen(n, channel) (full scale
// 1.0), 32-bit samples as floats, with an "auxi" record that starts at kStart
// and spans statedSec seconds (0: as long as its samples last).
riff::Bytes Source(int channels, int bits, bool bExtensible, uint32_t rate, double seconds,
                   const std::function<double(int64_t, int)>& gen, int statedSec = 0)
{
    riff::Bytes data;
    for (int64_t n = 0; n < static_cast<int64_t>(seconds * rate); ++n) {
        for (int c = 0; c < channels; ++c) {
            const double v = gen(n, c);
            if (bits == 32)
                data.F32(static_cast<float>(v));
            else if (bits == 16)
                data.U16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))));
            else
                data.U8(static_cast<uint8_t>(std::lround(v * 8388607)))
                    .U16(static_cast<uint16_t>(std::lround(v * 8388607) >> 8));
        }
    }
    SYSTEMTIME stop;
    AddUtcMilliseconds(kStart, statedSec > 0 ? int64_t{statedSec} * 1000 : std::llround(seconds * 1000), stop);
    const riff::Bytes auxi = riff::AuxiPayload(kStart, stop, {kCentre, 80000000, 11, 0, 22, 33, 44, 55, 66, 77});
    const uint16_t tag = bits == 32 ? 3 : 1;
    const riff::Bytes fmt =
        bExtensible
            ? riff::ExtensibleFmtPayload(tag, static_cast<uint16_t>(channels), rate, static_cast<uint16_t>(bits))
            : riff::FmtPayload(tag, static_cast<uint16_t>(channels), rate, static_cast<uint16_t>(bits));
    return riff::Wave(fmt, data, {riff::Chunk("auxi", auxi)});
}

// A source opened with its band destination out/band.wav, and a band planned and saved from it.
struct Band : SourceDoc {
    Band() : SourceDoc("band.wav") {}
    // Plans [low, high] (absolute) and saves it from second a to b.
    BandSaveResult Save(double low, double high, double a, double b, BandBits bits = BandBits::Source,
                        const SegmentProgress& progress = {})
    {
        EXPECT_EQ(band::DesignBand(DocSpectrum(doc), low, high, 0, &plan), band::BandFault::None);
        BandSaveOptions o;
        o.bits = bits;
        return SaveBand(doc, plan, doc.m_timeBase.FrameOfSeconds(a), doc.m_timeBase.FrameOfSeconds(b), o, progress);
    }
    band::BandPlan plan;
};

double Tone(int64_t n, int c, double f, uint32_t rate, double a)
{
    const double ph = 2.0 * M_PI * f * static_cast<double>(n) / rate;
    return a * (c == 0 ? std::cos(ph) : std::sin(ph));
}

} // namespace

// Seconds are the recording's own: with times spanning 5 s of 3 s of
// samples, a second holds 57600 frames, as the bar and the cut count them.
TEST(BandSave, HeadersAndRecords)
{
    const struct {
        const char* proves;
        int channels, bits;
        bool bExtensible;
        BandBits out;
        size_t fmtBytes;
        uint16_t tag, outBits;
        int statedSec = 0;            // of the recording times; 0: as long as the samples
        int64_t sourceFrames = 96000; // from 1.5 s to 2.5 s
    } rows[] = {
        {"an extensible 24-bit source keeps its form", 2, 24, true, BandBits::Source, 40, 0xFFFE, 24},
        {"--bits float; times span 5 s", 2, 16, false, BandBits::Float, 18, 3, 32, 5, 57600},
        {"--bits 16 from float", 2, 32, false, BandBits::Int16, 18, 1, 16},
        {"a one-channel source gives two channels", 1, 16, false, BandBits::Source, 18, 1, 16},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        Band b;
        const uint32_t rate = 96000;
        b.Load(Source(
            r.channels, r.bits, r.bExtensible, rate, 3.0, [&](int64_t n, int c) { return Tone(n, c, 5000, rate, 0.5); },
            r.statedSec));
        const double low = r.channels == 2 ? kCentre + 4000.0 : 4000.0, high = low + 2000;
        const BandSaveResult res = b.Save(low, high, 1.5, 2.5, r.out);
        ASSERT_EQ(res.nError, WAVE_OK) << res.strMessage;
        EXPECT_EQ(res.strPath, b.folder + "/band_001.wav");
        EXPECT_EQ(res.nFrames, r.sourceFrames / b.plan.nDecimation);
        riff::Chunks c = riff::ParseWave(riff::ReadFile(res.strPath));
        ASSERT_EQ(c.order, (std::vector<std::string>{"fmt ", "auxi", "data"}));
        const std::vector<uint8_t>& fmt = c.payload["fmt "];
        ASSERT_EQ(fmt.size(), r.fmtBytes);
        EXPECT_EQ(fmt[0] | fmt[1] << 8, r.tag);
        EXPECT_EQ(fmt[2], 2); // channels
        EXPECT_EQ(riff::Le32(fmt, 4), b.plan.nOutputRate);
        EXPECT_EQ(fmt[12], 2 * r.outBits / 8); // bytes a frame
        EXPECT_EQ(fmt[14], r.outBits);
        EXPECT_EQ(c.payload["data"].size(), static_cast<size_t>(res.nFrames) * 2 * r.outBits / 8);
        const AUXIINFO a = Band::Auxi(res.strPath);
        EXPECT_EQ(a.stStartTime, (SYSTEMTIME{2024, 5, 3, 1, 12, 0, 1, 750}));
        EXPECT_EQ(a.stStopTime, (SYSTEMTIME{2024, 5, 3, 1, 12, 0, 2, 750}));
        EXPECT_EQ(a.dwCenterFreq, static_cast<uint32_t>(low + 1000));
        EXPECT_EQ(a.dwBandwidth, 2000u);
        EXPECT_EQ(a.dwClockFreq, 80000000u);
        EXPECT_EQ(std::vector<uint32_t>({a.dwSpare1, a.dwSpare2, a.dwSpare7}), (std::vector<uint32_t>{11, 22, 77}));
    }
}

TEST(BandSave, BurstOnsetAtTheSameWallClockTime)
{
    // A tone switched on at a frame no output stands on; the band's first
    // output at half its amplitude stands at the same time, within one output.
    const uint32_t rate = 96000;
    const int64_t onset = 150037;
    for (int channels : {2, 1}) {
        SCOPED_TRACE(channels == 2 ? "I/Q" : "one channel");
        Band b;
        const double f = channels == 2 ? 12000 : 20000;
        b.Load(Source(channels, 16, false, rate, 3.0,
                      [&](int64_t n, int c) { return n < onset ? 0.0 : Tone(n, c, f, rate, 0.5); }));
        const double base = channels == 2 ? kCentre : 0;
        const BandSaveResult res = b.Save(base + f - 1000, base + f + 1000, 1.0, 2.0, BandBits::Float);
        ASSERT_EQ(res.nError, WAVE_OK) << res.strMessage;
        const AUXIINFO a = Band::Auxi(res.strPath);
        const std::vector<uint8_t> data = Band::Chunk(res.strPath, "data");
        int64_t k = 0;
        for (float z[2]; static_cast<size_t>(8 * k + 8) <= data.size(); ++k) {
            std::memcpy(z, data.data() + 8 * k, 8);
            if (std::hypot(z[0], z[1]) >= 0.25)
                break;
        }
        const double tBand = static_cast<double>(UtcSeconds(a.stStartTime) - UtcSeconds(kStart)) +
                             (a.stStartTime.wMilliseconds - kStart.wMilliseconds) / 1000.0 +
                             static_cast<double>(k * b.plan.nDecimation) / rate;
        EXPECT_NEAR(tBand, static_cast<double>(onset) / rate, static_cast<double>(b.plan.nDecimation) / rate);
    }
}

TEST(BandSave, SamplesBeyondFullScaleAreClippedAndCounted)
{
    // I = Q = a: a constant of magnitude a sqrt 2, turned by the mix, so each
    // component reaches a sqrt 2.
    const struct {
        const char* proves;
        double a;
        bool clipped;
    } rows[] = {{"within full scale: none", 0.6, false}, {"past it: clipped and counted", 0.9, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        Band b;
        b.Load(Source(2, 16, false, 48000, 2.0, [&](int64_t, int) { return r.a; }));
        const BandSaveResult res = b.Save(kCentre - 1500, kCentre + 500, 0.5, 1.5);
        ASSERT_EQ(res.nError, WAVE_OK) << res.strMessage;
        EXPECT_EQ(res.nClipped > 0, r.clipped);
        const std::vector<uint8_t> data = Band::Chunk(res.strPath, "data");
        int peak = 0;
        for (size_t i = 0; i + 1 < data.size(); i += 2)
            peak = std::max(peak, std::abs(static_cast<int>(static_cast<int16_t>(data[i] | data[i + 1] << 8))));
        EXPECT_EQ(peak >= 32767, r.clipped);
    }
}

TEST(BandSave, FaultsAndCancelsLeaveNoFile)
{
    const struct {
        const char* proves;
        int64_t limitBytes; // the file size limit; 0: none
        const char* dest;
        bool cancel;
        const char* message; // the failure's message begins so; "" for a cancel
    } rows[] = {
        {"a cancel at the first report", 0, "band.wav", true, ""},
        {"the file size limit", 64 * 1024, "band.wav", false, "The band was not saved: writing "},
        {"a missing folder", 0, "none/band.wav", false,
         "The band was not saved: no file can be created in the folder "},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        Band b;
        b.Load(Source(2, 16, false, 192000, 4.0, [](int64_t n, int c) { return Tone(n, c, 1000, 192000, 0.5); }));
        b.doc.m_strDestPath = QFile::decodeName((b.folder + "/" + r.dest).c_str());
        const auto limit =
            r.limitBytes > 0 ? std::make_unique<faultfs::SizeLimit>(static_cast<rlim_t>(r.limitBytes)) : nullptr;
        // A band of 0.8 of the source's rate: little decimation, a large file.
        const BandSaveResult res =
            b.Save(kCentre - 76000, kCentre + 76000, 0.0, 4.0, BandBits::Float, [&](double) { return !r.cancel; });
        EXPECT_EQ(res.bCancelled, r.cancel);
        EXPECT_EQ(res.strMessage.rfind(r.message, 0), 0u) << res.strMessage;
        EXPECT_EQ(faultfs::Names(b.folder), std::set<std::string>{});
    }
}
