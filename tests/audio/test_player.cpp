// The playing path end to end on recording sinks: what a span of a
// recording sounds like on the device (level, rate, first frame, volume),
// the failures the user is told of (no device, a source that does not fit),
// the playing position, of a span and of demodulated audio, and the immediate
// stop.
#include "audio/AudioPlayer.h"
#include "audio/BasebandAudioSource.h"
#include "audio/WaveAudioSource.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>

#include "support/RecordingSink.h"
#include "support/ToneFit.h"
#include "support/WaveBytes.h"

namespace {

constexpr double kAmplitude = 0.5;
constexpr int kWaitMs = 20000;

// A one-channel 16-bit tone (or a two-channel file with it on both channels).
std::string WriteTone(const QTemporaryDir& dir, const char* name, uint32_t rate, double hz, double seconds,
                      uint16_t channels = 1)
{
    const auto frames = static_cast<size_t>(rate * seconds);
    const riff::Bytes data = riff::Gen16(frames * channels, [&](size_t i) {
        const double t = static_cast<double>(i / channels) / rate;
        return static_cast<int16_t>(std::lround(kAmplitude * 32767.0 * std::cos(2.0 * std::numbers::pi * hz * t)));
    });
    const std::string path = dir.filePath(name).toStdString();
    EXPECT_TRUE(riff::WriteFile(path, riff::Wave(riff::FmtPayload(1, channels, rate, 16), data)));
    return path;
}

CAudioPlayer::SourceFactory WaveSpan(const std::string& path, int64_t from, int64_t to)
{
    return [=](double rate, std::string* error) -> std::unique_ptr<IAudioSource> {
        auto source = std::make_unique<CWaveAudioSource>();
        *error = source->Open(path, from, to, rate);
        return error->empty() ? std::move(source) : nullptr;
    };
}

CAudioPlayer::SinkFactory Sinks(std::shared_ptr<SinkLog> log,
                                CRecordingSink::Clock clock = CRecordingSink::Clock::Instant, std::string error = {})
{
    return [=] { return std::make_unique<CRecordingSink>(log, clock, error); };
}

// Plays until the player ends by itself; the spies count what it said.
struct Outcome {
    int nStarted = 0, nFinished = 0, nFailed = 0;
    QString message;
};

Outcome PlayToEnd(CAudioPlayer& player, CAudioPlayer::SourceFactory source, int nRateHz = 0)
{
    QSignalSpy started(&player, &CAudioPlayer::started), finished(&player, &CAudioPlayer::finished),
        failed(&player, &CAudioPlayer::failed);
    player.Play(std::move(source), nRateHz);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !finished.isEmpty() || !failed.isEmpty(); }, kWaitMs));
    QTest::qWait(30); // nothing more is to come
    return {static_cast<int>(started.size()), static_cast<int>(finished.size()), static_cast<int>(failed.size()),
            failed.isEmpty() ? QString() : failed.first().first().toString()};
}

TEST(Player, PlaysTheSpanAtTheDeviceRate)
{
    const struct {
        const char* what;
        uint32_t sourceRate;
        double toneHz, fromSec, toSec, fileSec;
        int deviceRate;
        double volume;
    } cases[] = {
        {"CD rate on a CD-rate device: unchanged", 44100, 5000, 0.0, 0.5, 0.5, 44100, 1.0},
        {"half the volume: 6 dB down", 48000, 1000, 0.1, 0.6, 1.0, 48000, 0.5},
        {"a 2 MS/s recording", 2000000, 3000, 0.1, 0.3, 0.4, 48000, 1.0},
        {"a span past the end stops there", 8000, 1000, 0.5, 5.0, 1.0, 44100, 1.0},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = WriteTone(dir, "tone.wav", c.sourceRate, c.toneHz, c.fileSec);
        auto log = std::make_shared<SinkLog>();
        CAudioPlayer player(Sinks(log));
        player.SetVolume(c.volume);
        const int64_t from = std::lround(c.fromSec * c.sourceRate), to = std::lround(c.toSec * c.sourceRate);
        const Outcome o = PlayToEnd(player, WaveSpan(path, from, to), c.deviceRate);
        // Started, finished, not failed; the device opened and closed once.
        EXPECT_EQ(std::tuple(o.nStarted, o.nFinished, o.nFailed, log->nOpened, log->nClosed), std::tuple(1, 1, 0, 1, 1))
            << o.message.toStdString();
        EXPECT_FALSE(player.IsPlaying());

        const std::vector<float> y = log->Frames();
        const double seconds = std::min(c.toSec, c.fileSec) - c.fromSec;
        EXPECT_NEAR(static_cast<double>(y.size()), seconds * c.deviceRate, 3.0);
        const size_t first = y.size() / 4, count = y.size() / 2;
        const tone::Fit fit = tone::FitTone(y, c.toneHz, c.deviceRate, first, count);
        EXPECT_NEAR(tone::Db(fit.amplitude / (kAmplitude * c.volume)), 0.0, 0.1);
        EXPECT_GE(tone::SinadDb(fit), 80.0);
        // The first frame played is the span's first frame.
        const double phase = 2.0 * std::numbers::pi * c.toneHz * (c.fromSec + first / double(c.deviceRate));
        EXPECT_NEAR(std::remainder(fit.phase - phase, 2.0 * std::numbers::pi), 0.0, 1e-3);
    }
}

// The desktop's own output is tried only on a machine without one.
TEST(Player, TellsWhyNothingPlays)
{
    QTemporaryDir dir;
    const std::string mono = WriteTone(dir, "mono.wav", 8000, 1000, 1.0);
    const std::string iq = WriteTone(dir, "iq.wav", 8000, 1000, 1.0, 2);
    const std::string nothing = "nothing to play: the span is empty or lies past the recording's end";
    const struct {
        const char* what;
        const char* sinkError; // the recording sink's; nullptr: the desktop's own output
        bool bIq;
        int64_t from, to;
        std::string message;
    } cases[] = {
        {"no output device", kNoAudioDevice, false, 0, 8000, "No audio output device"},
        {"no sound server", nullptr, false, 0, 8000, "No audio output device"},
        {"I/Q played as audio", "", true, 0, 8000, "an I/Q recording plays through a demodulator, not as it is"},
        {"a span past the end", "", false, 9000, 12000, nothing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.sinkError && !QMediaDevices::defaultAudioOutput().isNull())
            continue; // this machine has an audio output
        auto log = std::make_shared<SinkLog>();
        const auto player =
            c.sinkError ? std::make_unique<CAudioPlayer>(Sinks(log, CRecordingSink::Clock::Instant, c.sinkError))
                        : std::make_unique<CAudioPlayer>();
        const Outcome o = PlayToEnd(*player, WaveSpan(c.bIq ? iq : mono, c.from, c.to));
        EXPECT_EQ(std::tuple(o.nStarted, o.nFinished, o.nFailed), std::tuple(0, 0, 1));
        EXPECT_EQ(o.message.toStdString(), c.message);
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_TRUE(log->Frames().empty());
    }
}

// The playing position is the recording's frame the device plays now, from
// the span's first frame on and again from it in each pass; a stop ends the
// playing at once.
TEST(Player, LoopsWithoutAGapThePositionFollowsTheDeviceAndStopsAtOnce)
{
    QTemporaryDir dir;
    const std::string path = WriteTone(dir, "t.wav", 8000, 1000, 1.0);
    auto log = std::make_shared<SinkLog>();
    CAudioPlayer player(Sinks(log, CRecordingSink::Clock::Manual));
    QSignalSpy finished(&player, &CAudioPlayer::finished);
    player.Play(WaveSpan(path, 4000, 4800), 48000, true); // 0.1 s: 4800 device frames a pass
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.PositionFrame() == 4000; }, kWaitMs)) << player.PositionFrame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return log->Frames().size() >= 9600; }, kWaitMs));
    const std::vector<float> y = log->Frames();
    for (size_t i = 0; i < 4800; ++i)
        ASSERT_EQ(y[i], y[i + 4800]) << "frame " << i; // the second pass is the first again
    for (const std::pair<int64_t, int64_t>& at : {std::pair<int64_t, int64_t>{1200, 4200}, {4800 + 2400, 4400}}) {
        log->nManualPlayed = at.first; // device frames at 48 kHz: a quarter into the first pass, half into the second
        EXPECT_TRUE(QTest::qWaitFor([&] { return player.PositionFrame() == at.second; }, kWaitMs))
            << player.PositionFrame();
    }
    EXPECT_TRUE(player.IsPlaying());
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.PositionFrame(), -1);
    EXPECT_EQ(log->nClosed, 1);
    const size_t written = log->Frames().size();
    log->nManualPlayed = static_cast<int64_t>(written); // the device has room again: an open sink would take more
    QTest::qWait(50);
    EXPECT_EQ(log->Frames().size(), written); // nothing after the stop
    EXPECT_TRUE(finished.isEmpty());
}

// Where demodulated audio is in the recording: through the device's rate
// changer and the demodulator to a baseband at 12 500 Hz that the band
// extractor made of a 2 MS/s source from its frame 1 000 000 on.
class CBaseband final : public IBasebandSource {
public:
    double Rate() const override { return 12500.0; }
    int Read(std::complex<float>*, int) override { return 0; }
    int64_t SourceFrameOf(double dFrames) const override { return 1000000 + std::llround(dFrames * 160.0); }
    std::string Error() const override { return {}; }
};

TEST(Player, DemodulatedAudioMapsToTheRecording)
{
    CBasebandAudioSource source(std::make_unique<CBaseband>(), DEMOD_AM, 48000.0);
    // One second of audio is the recording's 2 000 000 frames later.
    EXPECT_EQ(source.SourceFrameOf(48000) - source.SourceFrameOf(0), 2000000);
}

} // namespace
