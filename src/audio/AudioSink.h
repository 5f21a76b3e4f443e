// IAudioSink: the output device as the player drives it, from the player's
// thread only: opened for one-channel audio, then it takes its audio from
// the player's feed as it needs it, never more than its buffer ahead of
// what it has played; it says how much it has played and closes at once.
// The program's sink is CQtAudioSink; tests give the player one that
// records what it is given.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The player's message when there is no device to play on.
inline constexpr char kNoAudioDevice[] = "No audio output device";

class IAudioSink {
public:
    // Fills up to n frames (full scale +-1.0); returns how many, 0 at the end.
    using Feed = std::function<int(float* pFrames, int n)>;

    virtual ~IAudioSink() = default;

    // Opens the device at nRateHz (0: the device's own rate). An empty
    // string, or what failed (kNoAudioDevice when there is no device).
    virtual std::string Open(int nRateHz) = 0;
    // The rate opened.
    virtual int Rate() const = 0;
    // Starts playing what feed gives; the sink calls it from the player's
    // thread while that thread runs its event loop. An empty string, or what
    // failed.
    virtual std::string Start(Feed feed) = 0;
    // Frames the device has played since Start.
    virtual int64_t PlayedFrames() = 0;
    // Stops at once; what is buffered is dropped.
    virtual void Close() = 0;
};
