// IAudioSource: what the player plays, a stream of one-channel audio at a
// fixed rate (full scale +-1.0), produced on the player's thread. It also
// tells which frame of the recording is heard at each of its frames, so the
// window can mark the playing position.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

class IAudioSource {
public:
    virtual ~IAudioSource() = default;

    virtual double Rate() const = 0;
    // Fills up to nMax samples; returns how many, 0 at the end of the stream,
    // -1 on a failure (Error() then says what failed).
    virtual int Read(float* pOut, int nMax) = 0;
    // The recording's frame heard at frame nAudioFrames of the stream.
    virtual int64_t SourceFrameOf(int64_t nAudioFrames) const = 0;
    virtual std::string Error() const = 0;
};

// A source that makes its audio piece by piece: Refill() puts the next piece
// into m_ready (false at the end, or on a failure with m_strError set) and
// Read() hands it out.
class CPieceAudioSource : public IAudioSource {
public:
    int Read(float* pOut, int nMax) final
    {
        if (m_nReadyAt == m_ready.size()) {
            m_ready.clear();
            m_nReadyAt = 0;
            if (!Refill())
                return m_strError.empty() ? 0 : -1;
        }
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(nMax), m_ready.size() - m_nReadyAt));
        std::copy_n(m_ready.data() + m_nReadyAt, n, pOut);
        m_nReadyAt += static_cast<size_t>(n);
        return n;
    }
    std::string Error() const final { return m_strError; }

protected:
    // Fills the empty m_ready with at least one sample; false at the end.
    virtual bool Refill() = 0;

    std::vector<float> m_ready; // made, not handed out yet
    size_t m_nReadyAt = 0;
    std::string m_strError;
};
