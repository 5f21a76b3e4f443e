// CWaveAudioSource: a span of a one-channel wave recording as audio at the
// device's rate, read block by block through its own reader (the window's
// reader stays free for the picture) and resampled on the way. Levels are
// the recording's: a full-scale sample plays at full scale.
#pragma once

#include <memory>
#include <vector>

#include "audio/AudioSource.h"
#include "demod/Resampler.h"
#include "wave/RiffWaveFile.h"

class CWaveAudioSource final : public CPieceAudioSource {
public:
    CWaveAudioSource() = default;
    // Opens path for the frames nFromFrame .. nToFrame (cut to the
    // recording's end) at dRateHz. An empty string, or what is wrong: the
    // file cannot be read, it has two channels (I/Q needs a demodulator), the
    // span is empty or lies past the end.
    std::string Open(const std::string& path, int64_t nFromFrame, int64_t nToFrame, double dRateHz);

    double Rate() const override { return m_dRateHz; }
    int64_t SourceFrameOf(int64_t nAudioFrames) const override;

    // The recording's sample rate and its frames.
    double SourceRate() const { return m_wf.nSamplesPerSec; }
    int64_t SourceFrames() const { return static_cast<int64_t>(m_wave.m_nDataFrames); }

private:
    // Reads and resamples the next block into m_ready; false at the end.
    bool Refill() override;

    CRiffWaveFile m_wave;
    WAVEFORMATEX m_wf;
    std::unique_ptr<CResampler> m_resampler;
    double m_dRateHz = 0.0;
    int64_t m_nFromFrame = 0;
    int64_t m_nLeftFrames = 0; // of the span, still to be read
    bool m_bFlushed = false;
    std::vector<int32_t> m_block;
    std::vector<float> m_samples;
};
