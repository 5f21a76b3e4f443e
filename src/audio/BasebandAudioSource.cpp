#include "audio/BasebandAudioSource.h"

#include <algorithm>

namespace {

constexpr int kPieceSamples = 4096;

} // namespace

CBasebandAudioSource::CBasebandAudioSource(std::unique_ptr<IBasebandSource> baseband, int nMode, double dRateHz,
                                           double dDeemphasisSec)
    : m_baseband(std::move(baseband)), m_demod(nMode, m_baseband->Rate(), dDeemphasisSec),
      m_toDevice(m_demod.AudioRate(), dRateHz), m_in(kPieceSamples)
{
}

bool CBasebandAudioSource::Refill()
{
    while (m_ready.empty()) {
        if (m_bFlushed)
            return false;
        m_audio.clear();
        const int n = m_baseband->Read(m_in.data(), kPieceSamples);
        if (n < 0) {
            m_strError = m_baseband->Error();
            return false;
        }
        if (n == 0) {
            m_demod.Flush(m_audio);
            m_toDevice.Process(m_audio.data(), static_cast<int>(m_audio.size()), m_ready);
            m_toDevice.Flush(m_ready);
            m_bFlushed = true;
            continue;
        }
        m_demod.Process(m_in.data(), n, m_audio);
        m_toDevice.Process(m_audio.data(), static_cast<int>(m_audio.size()), m_ready);
    }
    return true;
}

int64_t CBasebandAudioSource::SourceFrameOf(int64_t nAudioFrames) const
{
    const double dAudio = m_toDevice.InputFramesOf(static_cast<double>(nAudioFrames));
    return m_baseband->SourceFrameOf(m_demod.InputFramesOf(dAudio));
}
