// IAudioSource: what the player plays, a stream of one-channel audio at a
// fixed rate (full scale +-1.0), produced on the player's thread. It also
// tells which frame of the recording is heard at each of its frames, so the
// window can mark the playing position.
#pragma once

#include <cstdint>
#include <string>

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
