#include "audio/WaveAudioSource.h"

#include <algorithm>
#include <cmath>

#include "demod/FirKernels.h"

namespace {

// A 32-bit sample block value at full scale.
constexpr float kFullScale = 2147483648.0f;

} // namespace

std::string CWaveAudioSource::Open(const std::string& path, int64_t nFromFrame, int64_t nToFrame, double dRateHz)
{
    uint64_t nFrames = 0;
    AUXIINFO auxi;
    const int code = m_wave.Open(path, &m_wf, kWaveBlockFrames, &nFrames, 0, &auxi);
    if (code != WAVE_OK)
        return path + ": cannot be read (" + WaveErrorText(code) + ")";
    if (m_wf.nChannels != 1)
        return "an I/Q recording plays through a demodulator, not as it is";
    const int64_t nEnd = std::min<int64_t>(nToFrame, SourceFrames());
    if (nFromFrame < 0 || nFromFrame >= nEnd)
        return "nothing to play: the span is empty or lies past the recording's end";
    m_dRateHz = dRateHz;
    m_nFromFrame = nFromFrame;
    m_nLeftFrames = nEnd - nFromFrame;
    m_resampler = std::make_unique<CResampler>(SourceRate(), dRateHz);
    m_block.resize(kWaveBlockFrames);
    m_wave.SeekFrame(nFromFrame);
    return {};
}

bool CWaveAudioSource::Refill()
{
    if (!m_resampler) {
        m_strError = "no recording is open";
        return false;
    }
    while (m_ready.empty()) {
        if (m_nLeftFrames <= 0) {
            if (m_bFlushed)
                return false;
            m_resampler->Flush(m_ready);
            m_bFlushed = true;
            continue;
        }
        int progress = 0;
        const int n = m_wave.ReadBlock(m_block.data(), kWaveBlockFrames, &progress);
        if (n < 0) {
            m_strError = std::string("reading the recording failed (") + WaveErrorText(m_wave.m_nError) + ")";
            return false;
        }
        const int nUsed = static_cast<int>(std::min<int64_t>(n, m_nLeftFrames));
        m_nLeftFrames = n == 0 ? 0 : m_nLeftFrames - nUsed;
        m_samples.resize(nUsed);
        firk::ToFloat(m_block.data(), nUsed, 1.0f / kFullScale, m_samples.data());
        m_resampler->Process(m_samples.data(), nUsed, m_ready);
    }
    return true;
}

int64_t CWaveAudioSource::SourceFrameOf(int64_t nAudioFrames) const
{
    if (!m_resampler)
        return m_nFromFrame;
    return m_nFromFrame +
           static_cast<int64_t>(std::floor(m_resampler->InputFramesOf(static_cast<double>(nAudioFrames))));
}
