// tavirel-cli audio: the file it writes read back by sox (rate, channels,
// depth, length, the tone's level and SINAD; demodulated AM, FM and USB from
// I/Q recordings), the span's times in its "auxi" record, numbered names,
// and the refusals that write nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "support/ToneFit.h"
#include "wave/wave_test_util.h"

namespace {

const riff::Bytes kAuxiTimes = riff::Bytes().Time(2024, 5, 1, 10, 0, 0).Time(2024, 5, 1, 10, 0, 0);

// A one-channel 16-bit tone of amplitude 0.5 recorded from 2024-05-01 10:00:00.
riff::Bytes ToneRecording(uint32_t rate, uint16_t channels, double seconds)
{
    const auto frames = static_cast<size_t>(rate * seconds);
    const riff::Bytes auxi = riff::Bytes(kAuxiTimes).Fill(40, 0);
    const riff::Bytes data = riff::Gen16(frames * channels, [&](size_t i) {
        const double t = static_cast<double>(i / channels) / rate;
        return static_cast<int16_t>(std::lround(0.5 * 32767.0 * std::sin(2.0 * M_PI * 1000.0 * t)));
    });
    return riff::Wave(riff::FmtPayload(1, channels, rate, 16), data, {riff::Chunk("auxi", auxi)});
}

// 1.5 s of I/Q at 1 MS/s tuned to 7.1 MHz: signal(t) on a carrier at 7.22 MHz,
// beside a strong carrier 150 kHz above it that no band here may let through.
constexpr double kCarrierOffsetHz = 120000.0;
constexpr double kA = 0.3; // the signal's amplitude
riff::Bytes IqRecording(const std::function<std::complex<double>(double)>& signal)
{
    const riff::Bytes auxi = riff::Bytes(kAuxiTimes).U32(7100000).Fill(36, 0);
    const riff::Bytes data = riff::IqSignal16(1000000, 1.5, [&](double t) {
        return signal(t) * std::polar(1.0, 2.0 * M_PI * kCarrierOffsetHz * t) +
               std::polar(0.3, 2.0 * M_PI * (kCarrierOffsetHz + 150000.0) * t);
    });
    return riff::Wave(riff::FmtPayload(1, 2, 1000000, 16), data, {riff::Chunk("auxi", auxi)});
}

riff::Bytes Fm(double deviationHz)
{
    return IqRecording(
        [=](double t) { return std::polar(kA, deviationHz / 1000.0 * std::sin(2.0 * M_PI * 1000.0 * t)); });
}

} // namespace

TEST(CliAudio, WritesWhatPlaysAsSoxReadsIt)
{
    if (!HaveSox())
        GTEST_SKIP() << "sox is not installed";
    TempFolder dir;
    const struct {
        const char* what;
        riff::Bytes source;
        const char* options;
        const char* name; // the file written
        int rate;
        double seconds, level; // of the 1 kHz tone
        double rejectHz;       // a tone that must stay 40 dB under the level; 0: none
    } rows[] = {
        {"8 kHz to the default 48 kHz", ToneRecording(8000, 1, 3.0), "--from 1 --to 3", "a_001.wav", 48000, 2, 0.5, 0},
        {"the next number, at 44.1 kHz", ToneRecording(8000, 1, 3.0), "--from 0 --to 1 --rate 44100", "a_002.wav",
         44100, 1, 0.5, 0},
        {"AM tuned to its carrier, half a second in",
         IqRecording([](double t) { return kA * (1.0 + 0.5 * std::cos(2.0 * M_PI * 1000.0 * t)); }),
         "--from 0.25 --to 1.25 --tune 7.22M", "a_003.wav", 48000, 1, 0.5 * kA, 0},
        {"narrow FM in the band given", Fm(2500), "--from 0.25 --to 1.25 --mode fm --low 7213750 --high 7226.25k",
         "a_004.wav", 48000, 1, 0.5, 0},
        {"broadcast FM with 75 us de-emphasis", Fm(37500),
         "--from 0.25 --to 1.25 --mode wfm --tune 7.22M --deemphasis 75", "a_005.wav", 48000, 1,
         0.5 / std::hypot(1.0, 2.0 * M_PI * 1000.0 * 75e-6), 0}, // the de-emphasis at 1 kHz
        {"USB passes 1 kHz above the carrier, rejects 1.5 kHz below", IqRecording([](double t) {
             return std::polar(kA, 2.0 * M_PI * 1000.0 * t) + std::polar(kA, -2.0 * M_PI * 1500.0 * t);
         }),
         "--from 0.25 --to 1.25 --mode usb --tune 7.22M", "a_006.wav", 48000, 1, kA, 1500},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const std::string src = dir / "src.wav", written = dir / r.name;
        ASSERT_TRUE(riff::WriteFile(src, r.source));
        const CliRun run = RunCli(Words("audio " + src + " --dest " + (dir / "a.wav") + " " + r.options));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, written + "\n");
        EXPECT_EQ(Sh("for o in r c b; do sox --i -$o " + written + "; done"), std::to_string(r.rate) + "\n1\n16\n");
        EXPECT_NEAR(std::stod(Sh("sox --i -s " + written)), r.seconds * r.rate, 2.0);
        const std::string raw = Sh("sox " + written + " -t f32 -");
        std::vector<float> y(raw.size() / 4);
        std::memcpy(y.data(), raw.data(), 4 * y.size());
        const tone::Fit fit = tone::FitTone(y, 1000.0, r.rate, y.size() / 4, y.size() / 2);
        EXPECT_NEAR(tone::Db(fit.amplitude / r.level), 0.0, 0.2);
        EXPECT_GE(tone::SinadDb(fit), 40.0);
        if (r.rejectHz > 0) {
            const tone::Fit other = tone::FitTone(y, r.rejectHz, r.rate, y.size() / 4, y.size() / 2);
            EXPECT_LE(tone::Db(other.amplitude / r.level), -40.0);
        }
    }
    // The span's own times, to the millisecond; the carrier and band of what was heard.
    const struct {
        const char* name;
        int startSecond, startMs, stopSecond;
        uint32_t centre, bandwidth;
    } stamps[] = {{"a_001.wav", 1, 0, 3, 0, 0},
                  {"a_003.wav", 0, 250, 1, 7220000, 10000},
                  {"a_006.wav", 0, 250, 1, 7220000, 2700}};
    for (const auto& s : stamps) {
        SCOPED_TRACE(s.name);
        const riff::Chunks c = riff::ParseWave(riff::ReadFile(dir / s.name));
        ASSERT_EQ(c.payload.count("auxi"), 1u);
        const AUXIINFO a = AuxiFromBytes(c.payload.at("auxi").data());
        EXPECT_EQ(std::tuple(a.stStartTime.wHour, a.stStartTime.wSecond, a.stStartTime.wMilliseconds,
                             a.stStopTime.wSecond, a.dwCenterFreq, a.dwBandwidth),
                  std::tuple(10, s.startSecond, s.startMs, s.stopSecond, s.centre, s.bandwidth));
    }
}

TEST(CliAudio, RefusesAndWritesNothing)
{
    TempFolder dir;
    const std::string mono = dir / "mono.wav", iq = dir / "iq.wav";
    ASSERT_TRUE(riff::WriteFile(mono, ToneRecording(8000, 1, 2.0)));
    ASSERT_TRUE(riff::WriteFile(iq, ToneRecording(8000, 2, 2.0)));
    const struct {
        std::string args; // after the source
        int status;
        std::string message; // the first line of standard error
    } rows[] = {
        {mono + " --from 0 --to 1 --mode am", 2,
         "A one-channel recording plays as it is; demodulation needs an I/Q recording."},
        {mono + " --from 0 --to 1 --low 0 --high 900", 2,
         "A one-channel recording plays whole; a band is chosen in an I/Q recording."},
        {iq + " --from 0 --to 1 --low 3000 --high 5000", 2,
         "The band cannot be played: the band 3000 Hz to 5000 Hz reaches outside the source's spectrum, -4000 Hz to "
         "4000 Hz (offsets from its centre)."},
        {mono + " --from 0 --to 2.5", 2, "--to is past the end of the source, which is 2.000 seconds long"},
        {iq + " --from 0 --to 1 --mode wfm --deemphasis 60", 2, "--deemphasis takes 50 or 75 (microseconds), not 60"},
        {mono + " --from 0 --to 1 --rate 1000", 2, "--rate needs a whole number of Hz from 8000 to 192000, not 1000"},
        {iq + " --from 0 --to 1 --mode dsb", 2, "--mode takes am, fm, wfm, usb, lsb or cw, not dsb"},
        {iq + " --from 0 --to 1 --low 100", 2, "--low and --high go together"},
        {iq + " --from 0 --to 1 --low 900 --high 100", 2, "--high must lie above --low"},
        {mono + " --from 1 --to 1", 2, "--to must come after --from"},
        {dir / "none.wav --from 0 --to 1", 1,
         dir / "none.wav" + ": cannot be read as a source (error 101: the file cannot be opened for reading)"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.args);
        const CliRun run = RunCli(Words("audio " + r.args + " --dest " + (dir / "out.wav")));
        EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "tavirel-cli audio: " + r.message);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 2); // the two sources only
    }
}
