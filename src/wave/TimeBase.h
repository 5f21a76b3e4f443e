// CTimeBase: the one conversion between seconds from the start of a source's
// data and frames of that source. Its rate is an exact ratio of two integers:
// the frames the data holds over the seconds its recording times span, or the
// sample rate over one second for a source whose times say nothing. Every
// position the program shows or cuts (the window, the marks, the readout, a
// segment's frame count) goes through one of these, so a recording whose
// times disagree with its sample count still has one clock.
#pragma once

#include <cstdint>

class CTimeBase {
public:
    // One frame per second; a reader replaces it at every open.
    CTimeBase() = default;
    // nFrames per nSeconds; a ratio that is not positive gives one frame per second.
    CTimeBase(int64_t nFrames, int64_t nSeconds);
    static CTimeBase OfSampleRate(uint32_t nSamplesPerSec) { return CTimeBase(nSamplesPerSec, 1); }

    // The frame at dSec seconds, rounded to the nearest frame.
    int64_t FrameOfSeconds(double dSec) const;
    // The frame at nSec whole seconds, rounded to the nearest frame; exact for
    // every 64-bit frame count.
    int64_t FrameOfWholeSeconds(int64_t nSec) const;
    // The instant of a frame in seconds.
    double SecondsOfFrame(int64_t nFrame) const;
    // The whole second, and the whole millisecond, that a frame falls in
    // (rounded toward minus infinity); exact.
    int64_t SecondOfFrame(int64_t nFrame) const;
    int64_t MillisecondOfFrame(int64_t nFrame) const;
    double FramesPerSecond() const { return static_cast<double>(m_nFrames) / static_cast<double>(m_nSeconds); }

    bool operator==(const CTimeBase&) const = default;

private:
    // The ratio in lowest terms, both positive.
    int64_t m_nFrames = 1;
    int64_t m_nSeconds = 1;
};
