// Hand-built wave sources for the segment save tests: a 16-bit integer RIFF
// WAVE file with an optional 72-byte "auxi" record, whose samples follow a
// formula so that any frame can be checked by its index.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "platform/SystemTime.h"
#include "support/WaveBytes.h"

namespace segtest {

using Bytes = std::vector<uint8_t>;
using riff::Chunks;
using riff::ParseWave;
using riff::ReadFile;
using riff::TimeAt;
using riff::WriteFile;

// The sample of frame f, channel c: distinct for nearby frames and channels.
inline int16_t SampleAt(uint32_t f, int c)
{
    return static_cast<int16_t>(static_cast<uint16_t>(f * 3u + static_cast<uint32_t>(c) * 12345u));
}

struct Source {
    int channels = 2;
    uint32_t rate = 8000;
    uint32_t frames = 8000;
    bool auxi = true;
    SYSTEMTIME start{2003, 6, 6, 21, 10, 0, 0, 0};
    SYSTEMTIME stop{2003, 6, 6, 21, 11, 0, 0, 0};
    uint32_t centreHz = 7050000, clockHz = 64000000, bandwidthHz = 4000;
    // Frames whose samples replace the formula's (16-bit, interleaved), if not empty.
    std::vector<int16_t> samples;
};

inline Bytes WaveBytes(const Source& s)
{
    riff::WaveShape shape(static_cast<uint16_t>(s.channels), s.rate);
    if (s.auxi) // values 11 to 17 are spare and must be carried unchanged
        shape.auxi = riff::AuxiPayload(s.start, s.stop, {s.centreHz, s.clockHz, 11, s.bandwidthHz, 12, 13, 14, 15, 16, 17});
    const uint32_t ch = static_cast<uint32_t>(s.channels);
    const size_t n = s.samples.empty() ? size_t{s.frames} * ch : s.samples.size();
    return riff::WaveFile(shape, riff::Gen16(n, [&](size_t i) {
               return s.samples.empty() ? SampleAt(static_cast<uint32_t>(i) / ch, static_cast<int>(i % ch)) : s.samples[i];
           })).v;
}

inline bool Exists(const std::string& path)
{
    return std::ifstream(path).good();
}

} // namespace segtest
