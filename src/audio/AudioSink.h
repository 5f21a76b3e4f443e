// IAudioSink: the output device as the player drives it, from the player's
// thread only: opened for one-channel audio, fed while it has room, asked
// how much it has played, closed at once. The program's sink is
// CQtAudioSink; tests give the player one that records what it is given.
#pragma once

#include <cstdint>
#include <string>

// The player's message when there is no device to play on.
inline constexpr char kNoAudioDevice[] = "No audio output device";

class IAudioSink {
public:
    virtual ~IAudioSink() = default;

    // Opens the device at nRateHz (0: the device's own rate). An empty
    // string, or what failed (kNoAudioDevice when there is no device).
    virtual std::string Open(int nRateHz) = 0;
    // The rate opened.
    virtual int Rate() const = 0;
    // Frames the device takes now.
    virtual int64_t FreeFrames() = 0;
    // Takes n frames (full scale +-1.0), at most FreeFrames().
    virtual void Write(const float* pFrames, int n) = 0;
    // Frames the device has played since Open.
    virtual int64_t PlayedFrames() = 0;
    // Stops at once; what is buffered is dropped.
    virtual void Close() = 0;
};
