#include "cli/DemoRecording.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "wave/RiffWaveFile.h"

namespace {

constexpr double kFullScale = 32767.0;

double DbToAmplitude(double db)
{
    return std::pow(10.0, db / 20.0);
}

// A small deterministic generator (xorshift64*) so every demo file is the same.
class CNoise {
public:
    double Uniform() // in (0, 1]
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        const uint64_t r = m_state * 2685821657736338717ull;
        return (static_cast<double>(r >> 11) + 1.0) / 9007199254740992.0;
    }
    // Two independent standard normal values (Box-Muller).
    void Gaussian(double& a, double& b)
    {
        const double r = std::sqrt(-2.0 * std::log(Uniform()));
        const double phi = 2.0 * std::numbers::pi * Uniform();
        a = r * std::cos(phi);
        b = r * std::sin(phi);
    }

private:
    uint64_t m_state = 0x9E3779B97F4A7C15ull;
};

int32_t ToBlockSample(double v)
{
    const long s = std::clamp(std::lround(v * kFullScale), -32768l, 32767l);
    return static_cast<int32_t>(s) * 65536; // the 16-bit sample in the upper bits
}

// The demo's format: 16-bit I/Q pairs at the given rate.
WAVEFORMATEX DemoFormat(uint32_t nSampleRate)
{
    WAVEFORMATEX wf;
    wf.wFormatTag = 1;
    wf.nChannels = 2;
    wf.nSamplesPerSec = nSampleRate;
    wf.wBitsPerSample = 16;
    wf.nBlockAlign = 4;
    wf.nAvgBytesPerSec = nSampleRate * 4;
    return wf;
}

// Start as given (local time, weekday filled in), stop = start + length.
AUXIINFO DemoRecord(const DemoRecordingOptions& opt)
{
    const CTime t0(opt.stStart, -1);
    AUXIINFO auxi;
    t0.GetAsSystemTime(auxi.stStartTime);
    (t0 + opt.nLengthSec).GetAsSystemTime(auxi.stStopTime);
    auxi.dwCenterFreq = opt.dwCenterFreq;
    auxi.dwClockFreq = opt.nSampleRate;
    auxi.dwBandwidth = opt.nSampleRate;
    return auxi;
}

// The demo signal frame by frame: the carriers, the sweep and the noise.
class CDemoSignal {
public:
    explicit CDemoSignal(const DemoRecordingOptions& opt)
        : m_nRate(opt.nSampleRate), m_dRate(opt.nSampleRate),
          m_dSweepRateHzPerSec((kDemoSweepToHz - kDemoSweepFromHz) / static_cast<double>(opt.nLengthSec))
    {
    }

    // Frame n as an I/Q pair of block samples.
    void Frame(int64_t n, int32_t* pOut)
    {
        constexpr double kTwoPi = 2.0 * std::numbers::pi;
        double re = 0.0, im = 0.0;
        for (const DemoCarrier& c : kDemoCarriers) {
            // Whole cycles dropped exactly in integers, so the phase stays
            // precise however long the recording.
            const int64_t r = (c.nOffsetHz * n) % m_nRate;
            const double phase = kTwoPi * static_cast<double>(r) / m_dRate;
            const double a = DbToAmplitude(c.dLevelDbfs);
            re += a * std::cos(phase);
            im += a * std::sin(phase);
        }
        // Sweep phase in cycles at frame n: f0 n / R + k n^2 / (2 R^2), k in Hz/s.
        const double t = static_cast<double>(n) / m_dRate;
        double cycles = kDemoSweepFromHz * t + 0.5 * m_dSweepRateHzPerSec * t * t;
        cycles -= std::floor(cycles);
        re += m_dSweepAmp * std::cos(kTwoPi * cycles);
        im += m_dSweepAmp * std::sin(kTwoPi * cycles);
        double nr, ni;
        m_noise.Gaussian(nr, ni);
        pOut[0] = ToBlockSample(re + m_dNoiseSigma * nr);
        pOut[1] = ToBlockSample(im + m_dNoiseSigma * ni);
    }

private:
    const int64_t m_nRate;
    const double m_dRate;
    const double m_dSweepRateHzPerSec;
    const double m_dSweepAmp = DbToAmplitude(kDemoSweepDbfs);
    const double m_dNoiseSigma = DbToAmplitude(kDemoNoiseDbfs);
    CNoise m_noise;
};

} // namespace

int WriteDemoRecording(const std::string& path, const DemoRecordingOptions& opt)
{
    if (opt.nLengthSec < 1 || opt.nLengthSec > kDemoMaxLengthSec)
        return WAVE_ERR_FORMAT;
    const WAVEFORMATEX wf = DemoFormat(opt.nSampleRate);
    const AUXIINFO auxi = DemoRecord(opt);
    CRiffWaveFile wave;
    // The recording gets its name only when complete, and without
    // bOverwrite in a step that replaces nothing.
    wave.m_bReplaceOutput = opt.bOverwrite;
    int rc = wave.OpenOutput(path, &wf, kWaveBlockFrames, 0, 0, &auxi);
    if (rc != WAVE_OK)
        return rc;

    const int64_t totalFrames = static_cast<int64_t>(opt.nLengthSec) * opt.nSampleRate;
    CDemoSignal signal(opt);
    std::vector<int32_t> block(static_cast<size_t>(kWaveBlockFrames) * 2);

    for (int64_t first = 0; first < totalFrames && rc == WAVE_OK; first += kWaveBlockFrames) {
        const int nFrames = static_cast<int>(std::min<int64_t>(kWaveBlockFrames, totalFrames - first));
        for (int i = 0; i < nFrames; ++i)
            signal.Frame(first + i, &block[2 * static_cast<size_t>(i)]);
        if (wave.WriteBlock(block.data(), nFrames) != nFrames)
            rc = wave.m_nError != WAVE_OK ? wave.m_nError : WAVE_ERR_WRITE;
    }
    if (rc == WAVE_OK) {
        // The stop time is start + length, not the moment of writing.
        wave.ClearAuxiRewrite();
        wave.CloseOutput();
        rc = wave.m_nError;
    }
    // After a failure the writer has dropped its temporary: a file at path is as it was.
    return rc;
}
