// CBasebandAudioSource: complex baseband demodulated and brought to the
// device's rate, as the player takes it.
#pragma once

#include <complex>
#include <memory>
#include <vector>

#include "audio/AudioSource.h"
#include "demod/BasebandSource.h"
#include "demod/Demodulator.h"
#include "demod/Resampler.h"

class CBasebandAudioSource final : public CPieceAudioSource {
public:
    // nMode: DEMOD_*; dDeemphasisSec for broadcast FM.
    CBasebandAudioSource(std::unique_ptr<IBasebandSource> baseband, int nMode, double dRateHz,
                         double dDeemphasisSec = kDeemphasis50us);

    double Rate() const override { return m_toDevice.OutRate(); }
    int64_t SourceFrameOf(int64_t nAudioFrames) const override;

private:
    // Demodulates the next piece of baseband into m_ready; false at the end.
    bool Refill() override;

    std::unique_ptr<IBasebandSource> m_baseband;
    CDemodulator m_demod;
    CResampler m_toDevice;
    bool m_bFlushed = false;
    std::vector<std::complex<float>> m_in;
    std::vector<float> m_audio;
};
