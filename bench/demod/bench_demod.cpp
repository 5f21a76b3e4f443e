// How many times faster than real time the listening chain runs on one core:
// each demodulator (with the change to a 48 kHz device) from the rate the
// band extractor gives it for a 2 MS/s source, and the rate changer alone
// from source rates up to 100 MS/s, its input taken from 32-bit blocks of
// 2048 frames as the reader hands them out. With liquid-dsp available, its
// multi-stage resampler (msresamp_rrrf, same stopband) is timed on the same
// input in the same run (ratio above 1: ours is faster). Last, the player's
// source for a one-channel recording is timed from a file against the
// reader alone, and that for an I/Q recording (band extraction, then the
// demodulator) at source rates up to 100 MS/s against reading the same bytes
// alone.
#include "demod/Demodulator.h"
#include "demod/FirKernels.h"
#include "demod/Resampler.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <string>
#include <functional>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#ifdef TAVIREL_HAVE_AUDIO
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "audio/AudioPlayer.h"
#include "audio/PlaySource.h"
#include "audio/QtAudioSink.h"
#include "audio/WaveAudioSource.h"
#include "platform/RiffReader.h"
#endif
#ifdef TAVIREL_HAVE_LIQUID
#include <liquid/liquid.h>
#endif

namespace {

constexpr double kDeviceRateHz = 48000.0;
constexpr double kSourceRateHz = 2e6;
constexpr int kBlockFrames = 2048;
constexpr int kRounds = 5;
double g_sink = 0.0; // keeps results alive

// Median over kRounds of the seconds one call of fn takes.
double MedianSeconds(const std::function<void()>& fn)
{
    std::vector<double> sec;
    for (int r = 0; r < kRounds; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        fn();
        sec.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(sec.begin(), sec.end());
    return sec[kRounds / 2];
}

// The rate the band extractor gives for a mode's channel taken symmetric
// around the carrier: the source rate over the largest D that keeps 1.25
// times the band's width.
double BandRate(int mode)
{
    const DemodModeInfo& m = DemodMode(mode);
    const double width = 2.0 * std::max(std::fabs(m.dLowHz), std::fabs(m.dHighHz));
    return kSourceRateHz / std::floor(kSourceRateHz / (1.25 * width));
}

// One second of the mode's kind of signal at rate: a 1 kHz tone modulated
// on a carrier (SSB and CW: a tone in the channel), with a little noise.
std::vector<std::complex<float>> Baseband(int mode, double rate)
{
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 1e-3f);
    const double w = 2.0 * std::numbers::pi * 1000.0 / rate;
    const double deviation = 0.3 * DemodBandwidth(mode) / 1000.0;
    std::vector<std::complex<float>> x(static_cast<size_t>(rate));
    for (size_t i = 0; i < x.size(); ++i) {
        const double n = static_cast<double>(i);
        std::complex<double> z;
        if (mode == DEMOD_AM)
            z = 0.5 * (1.0 + 0.5 * std::cos(w * n));
        else if (mode == DEMOD_FM || mode == DEMOD_WFM)
            z = std::polar(0.5, deviation * std::sin(w * n));
        else
            z = std::polar(0.5, (mode == DEMOD_LSB ? -1.0 : 1.0) * w * n * (mode == DEMOD_CW ? 0.1 : 1.0));
        x[i] = std::complex<float>(z) + std::complex<float>(noise(rng), noise(rng));
    }
    return x;
}

void BenchDemodulators()
{
    std::printf("Demodulators, one second of signal at the band's rate for a %.0f MS/s source:\n", kSourceRateHz / 1e6);
    std::printf("  %-14s %12s %14s %16s\n", "mode", "input S/s", "demodulator", "+ to 48 kHz");
    for (int mode = 0; mode < DEMOD_MODES; ++mode) {
        const double rate = BandRate(mode);
        const auto x = Baseband(mode, rate);
        CDemodulator demod(mode, rate);
        CResampler toDevice(demod.AudioRate(), kDeviceRateHz);
        std::vector<float> audio, device;
        const auto demodulate = [&](bool bToDevice) {
            for (size_t i = 0; i < x.size(); i += 4096) {
                audio.clear();
                demod.Process(x.data() + i, static_cast<int>(std::min<size_t>(4096, x.size() - i)), audio);
                if (bToDevice) {
                    device.clear();
                    toDevice.Process(audio.data(), static_cast<int>(audio.size()), device);
                    g_sink += device.empty() ? 0.0 : device[0];
                }
                g_sink += audio.empty() ? 0.0 : audio[0];
            }
        };
        const double alone = MedianSeconds([&] { demodulate(false); });
        const double chain = MedianSeconds([&] { demodulate(true); });
        std::printf("  %-14s %12.1f %12.0fx %14.0fx  real time\n", DemodMode(mode).szLabel, rate, 1.0 / alone,
                    1.0 / chain);
    }
}

// The source's 32-bit samples: a tone in noise, as the reader hands them out.
std::vector<int32_t> SourceSamples(size_t n)
{
    std::mt19937 rng(2);
    std::normal_distribution<double> noise(0.0, 2e6);
    std::vector<int32_t> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<int32_t>(1e9 * std::cos(0.001 * static_cast<double>(i)) + noise(rng));
    return s;
}

// Feeds one second of the source (the sample buffer over and over) to fn in
// blocks of 2048 frames converted to floats.
void FeedOneSecond(double rate, const std::vector<int32_t>& samples, const std::function<void(float*, int)>& fn)
{
    std::vector<float> block(kBlockFrames);
    const auto total = static_cast<int64_t>(rate);
    size_t at = 0;
    for (int64_t done = 0; done < total; done += kBlockFrames) {
        const int n = static_cast<int>(std::min<int64_t>(kBlockFrames, total - done));
        if (at + n > samples.size())
            at = 0;
        firk::ToFloat(samples.data() + at, n, 1.0f / 2147483648.0f, block.data());
        at += n;
        fn(block.data(), n);
    }
}

void BenchResampler()
{
    const auto samples = SourceSamples(1 << 20);
    std::printf("\nRate changer, one channel to %.0f Hz, one second of source in 2048-frame blocks:\n", kDeviceRateHz);
    for (const double rate : {8000.0, 44100.0, 192000.0, 2e6, 2e7, 1e8}) {
        CResampler r(rate, kDeviceRateHz);
        std::vector<float> out;
        const double ours = MedianSeconds([&] {
            FeedOneSecond(rate, samples, [&](float* x, int n) {
                out.clear();
                r.Process(x, n, out);
                g_sink += out.empty() ? 0.0 : out[0];
            });
        });
        const double convert =
            MedianSeconds([&] { FeedOneSecond(rate, samples, [&](float* x, int) { g_sink += x[7]; }); });
        std::printf("  %11.0f S/s: %8.1fx real time (block conversion alone %.0fx)  [%s]\n", rate, 1.0 / ours,
                    1.0 / convert, r.Describe().c_str());
#ifdef TAVIREL_HAVE_LIQUID
        msresamp_rrrf q = msresamp_rrrf_create(static_cast<float>(kDeviceRateHz / rate), 90.0f);
        std::vector<float> y(static_cast<size_t>(2 + 2 * kBlockFrames * kDeviceRateHz / rate) + 16);
        const double liquid = MedianSeconds([&] {
            FeedOneSecond(rate, samples, [&](float* x, int n) {
                unsigned int ny = 0;
                msresamp_rrrf_execute(q, x, static_cast<unsigned int>(n), y.data(), &ny);
                g_sink += ny ? y[0] : 0.0f;
            });
        });
        msresamp_rrrf_destroy(q);
        std::printf("  %15s liquid-dsp msresamp_rrrf %.1fx real time; ratio ours / liquid %.2f\n", "", 1.0 / liquid,
                    liquid / ours);
#endif
    }
}

#ifdef TAVIREL_HAVE_AUDIO
// What playing a one-channel recording costs from the file (page cache warm):
// the player's source (reader, conversion, rate change), against the reader
// alone over the same blocks.
void BenchPlayback()
{
    std::printf("\nPlaying a 16-bit one-channel recording from the page cache, to %.0f Hz:\n", kDeviceRateHz);
    const std::string path = "/tmp/tavirel-bench-demod.wav";
    for (const double rate : {2e6, 2e7, 1e8}) {
        const auto frames = static_cast<int64_t>(rate / 2); // half a second
        {
            std::vector<uint8_t> bytes(44 + 2 * frames);
            const auto put32 = [&](size_t at, uint32_t v) {
                for (int b = 0; b < 4; ++b)
                    bytes[at + b] = static_cast<uint8_t>(v >> (8 * b));
            };
            std::memcpy(bytes.data(), "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0", 24);
            put32(4, static_cast<uint32_t>(bytes.size() - 8));
            put32(24, static_cast<uint32_t>(rate));
            put32(28, static_cast<uint32_t>(rate * 2));
            std::memcpy(bytes.data() + 32, "\x02\0\x10\0data", 8);
            put32(40, static_cast<uint32_t>(2 * frames));
            for (int64_t i = 0; i < frames; ++i) {
                const auto v = static_cast<int16_t>(16000.0 * std::cos(0.001 * static_cast<double>(i)));
                bytes[44 + 2 * i] = static_cast<uint8_t>(v);
                bytes[45 + 2 * i] = static_cast<uint8_t>(v >> 8);
            }
            FILE* f = std::fopen(path.c_str(), "wb");
            if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
                return;
            std::fclose(f);
        }
        std::vector<float> out(4096);
        const double play = MedianSeconds([&] {
            CWaveAudioSource source;
            if (!source.Open(path, 0, frames, kDeviceRateHz).empty())
                return;
            while (source.Read(out.data(), 4096) > 0)
                g_sink += out[0];
        });
        std::vector<int32_t> block(kBlockFrames);
        const double read = MedianSeconds([&] {
            CRiffWaveFile wave;
            WAVEFORMATEX wf;
            uint64_t n = 0;
            AUXIINFO auxi;
            int progress = 0;
            if (wave.Open(path, &wf, kBlockFrames, &n, 0, &auxi) != WAVE_OK)
                return;
            for (int64_t done = 0; done < frames && wave.ReadBlock(block.data(), kBlockFrames, &progress) > 0;)
                done += kBlockFrames, g_sink += block[0];
        });
        std::printf("  %11.0f S/s: playing source %.1fx real time, the reader alone %.1fx (ratio %.2f)\n", rate,
                    0.5 / play, 0.5 / read, play / read);
    }
    std::remove(path.c_str());
}

// Writes a 16-bit I/Q recording of nFrames at rate: a carrier at 0 Hz
// modulated by 1 kHz, in a little noise; false when it cannot.
bool WriteIqRecording(const std::string& path, double rate, int64_t nFrames)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    uint8_t header[44];
    const auto put32 = [&](size_t at, uint32_t v) {
        for (int b = 0; b < 4; ++b)
            header[at + b] = static_cast<uint8_t>(v >> (8 * b));
    };
    std::memcpy(header, "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24);
    put32(4, static_cast<uint32_t>(36 + 4 * nFrames));
    put32(24, static_cast<uint32_t>(rate));
    put32(28, static_cast<uint32_t>(rate * 4));
    std::memcpy(header + 32, "\x04\0\x10\0data", 8);
    put32(40, static_cast<uint32_t>(4 * nFrames));
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 30.0f);
    std::vector<int16_t> block(2 * 65536);
    for (int64_t at = 0; ok && at < nFrames; at += 65536) {
        const int64_t n = std::min<int64_t>(65536, nFrames - at);
        for (int64_t i = 0; i < n; ++i) {
            const double a = 8000.0 * (1.0 + 0.5 * std::cos(2.0 * std::numbers::pi * 1000.0 * (at + i) / rate));
            block[2 * i] = static_cast<int16_t>(a + noise(rng));
            block[2 * i + 1] = static_cast<int16_t>(noise(rng));
        }
        ok = std::fwrite(block.data(), 4, static_cast<size_t>(n), f) == static_cast<size_t>(n);
    }
    return std::fclose(f) == 0 && ok;
}

// What the player knows of a recording WriteIqRecording made.
PlayFacts IqFacts(const std::string& path, double rate, int64_t nFrames)
{
    PlayFacts facts;
    facts.strPath = path;
    facts.spectrum = band::SourceSpectrum{static_cast<uint32_t>(rate), 2, 0};
    facts.input.open = [path] { return std::unique_ptr<CByteSource>(CFileByteSource::Open(path)); };
    facts.input.lDataOffset = 44;
    facts.input.nFrames = nFrames;
    facts.input.codec = samples::Codec::S16;
    return facts;
}

// Listening to an I/Q recording from the page cache: the player's whole
// source (band extraction, demodulator, the change to 48 kHz) on one core,
// and the time to its first audio, against reading the same bytes alone.
void BenchIqPlayback()
{
    std::printf("\nListening to a 16-bit I/Q recording from the page cache, to %.0f Hz, one core:\n", kDeviceRateHz);
    char folder[] = "/tmp/tavirel-bench-demod-XXXXXX";
    if (!mkdtemp(folder))
        return;
    const std::string path = std::string(folder) + "/iq.wav";
    for (const double rate : {2e6, 1e7, 2.5e7, 5e7, 1e8}) {
        const auto frames = static_cast<int64_t>(rate / 4); // a quarter of a second
        if (!WriteIqRecording(path, rate, frames))
            break;
        const PlayFacts facts = IqFacts(path, rate, frames);
        std::vector<uint8_t> bytes(1 << 20);
        const double read = MedianSeconds([&] {
            auto file = CFileByteSource::Open(path);
            while (file && file->Read(bytes.data(), static_cast<int64_t>(bytes.size())) > 0)
                g_sink += bytes[7];
        });
        std::printf("  %5.0f MS/s, reading the bytes alone %.1fx real time\n", rate / 1e6, 0.25 / read);
        for (const int mode : {DEMOD_AM, DEMOD_WFM, DEMOD_USB, DEMOD_CW}) {
            PlayChoice choice;
            choice.nMode = mode;
            choice.nToFrame = frames;
            std::vector<float> out(4096);
            double first = 0.0;
            const double play = MedianSeconds([&] {
                const auto t0 = std::chrono::steady_clock::now();
                std::string error;
                std::unique_ptr<IAudioSource> source = MakePlaySource(facts, choice, kDeviceRateHz, &error);
                bool bFirst = true;
                while (source && source->Read(out.data(), 4096) > 0) {
                    if (bFirst)
                        first = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                    bFirst = false;
                    g_sink += out[0];
                }
            });
            std::printf("    %-13s %6.1fx real time (ratio to reading alone %.2f), first audio after %.1f ms\n",
                        DemodMode(mode).szLabel, 0.25 / play, play / read, 1e3 * first);
        }
    }
    std::remove(path.c_str());
    rmdir(folder);
}
// Milliseconds from fn's start until done() is called from the event loop; -1
// after a failure or 3 s.
double MillisecondsUntil(const std::function<void(std::function<void(bool)>)>& fn)
{
    QEventLoop loop;
    double ms = -1.0;
    const auto t0 = std::chrono::steady_clock::now();
    fn([&](bool ok) {
        if (ok)
            ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        loop.quit();
    });
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    return ms;
}

// From Space to sound on the desktop's default output: the time from
// CAudioPlayer::Play to its first audio at the device, for a 2 MS/s I/Q
// recording, against the device alone (a bare sink's first pull).
void BenchStartOnDevice()
{
    static int argc = 1;
    static char name[] = "bench_demod";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::printf("\nStarting to play on the default output device:\n");
    char folder[] = "/tmp/tavirel-bench-start-XXXXXX";
    if (!mkdtemp(folder))
        return;
    const std::string path = std::string(folder) + "/iq.wav";
    const double rate = 2e6;
    const auto frames = static_cast<int64_t>(rate * 2);
    if (WriteIqRecording(path, rate, frames)) {
        for (int round = 0; round < 3; ++round) {
            CQtAudioSink sink;
            std::string error;
            const double bare = MillisecondsUntil([&](const std::function<void(bool)>& done) {
                if (!(error = sink.Open(0)).empty())
                    return done(false);
                // The device may pull on a thread of its own: the loop looks for the first pull.
                auto pulled = std::make_shared<std::atomic<bool>>(false);
                sink.Start([pulled](float* p, int n) {
                    std::fill_n(p, n, 0.0f);
                    pulled->store(true);
                    return n;
                });
                auto* poll = new QTimer(QCoreApplication::instance());
                QObject::connect(poll, &QTimer::timeout, [poll, pulled, done] {
                    if (pulled->load()) {
                        poll->deleteLater();
                        done(true);
                    }
                });
                poll->start(1);
            });
            if (bare < 0) {
                std::printf("  not measured: %s\n", error.empty() ? "the device took no audio" : error.c_str());
                break;
            }
            sink.Close();
            const PlayFacts facts = IqFacts(path, rate, frames);
            CAudioPlayer player;
            const double play = MillisecondsUntil([&](const std::function<void(bool)>& done) {
                QObject::connect(&player, &CAudioPlayer::started, [done] { done(true); });
                QObject::connect(&player, &CAudioPlayer::failed, [done] { done(false); });
                PlayChoice choice;
                choice.nMode = DEMOD_WFM;
                choice.nToFrame = frames;
                player.Play([facts, choice](double dRateHz, std::string* pError) {
                    return MakePlaySource(facts, choice, dRateHz, pError);
                });
            });
            player.Stop();
            std::printf("  WFM from a 2 MS/s I/Q file: first audio at the device after %.1f ms; a bare sink's first "
                        "pull %.1f ms (ratio %.2f)\n", play, bare, play / bare);
        }
    }
    std::remove(path.c_str());
    rmdir(folder);
}
#endif

} // namespace

int main()
{
    BenchDemodulators();
    BenchResampler();
#ifdef TAVIREL_HAVE_AUDIO
    BenchPlayback();
    BenchIqPlayback();
    BenchStartOnDevice();
#endif
#ifndef TAVIREL_HAVE_LIQUID
    std::printf("liquid-dsp not found at build time: no baseline\n");
#endif
    std::printf("(checksum %g)\n", g_sink);
    return 0;
}
