// Hand-built wave sources and a chunk reader for the segment save tests: a
// 16-bit integer RIFF WAVE file with an optional 72-byte "auxi" record, whose
// samples follow a formula so that any frame can be checked by its index.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/SystemTime.h"

namespace segtest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

inline void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

inline void PutId(Bytes& b, const char* id)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(id[i]));
}

inline void PutTime(Bytes& b, const SYSTEMTIME& st)
{
    for (uint16_t w : {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond,
                       st.wMilliseconds})
        Put16(b, w);
}

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
    Bytes fmt;
    Put16(fmt, 1);
    Put16(fmt, static_cast<uint32_t>(s.channels));
    Put32(fmt, s.rate);
    Put32(fmt, s.rate * static_cast<uint32_t>(2 * s.channels));
    Put16(fmt, static_cast<uint32_t>(2 * s.channels));
    Put16(fmt, 16);

    Bytes body;
    PutId(body, "WAVE");
    PutId(body, "fmt ");
    Put32(body, static_cast<uint32_t>(fmt.size()));
    body.insert(body.end(), fmt.begin(), fmt.end());
    if (s.auxi) {
        PutId(body, "auxi");
        Put32(body, 72);
        PutTime(body, s.start);
        PutTime(body, s.stop);
        Put32(body, s.centreHz);
        Put32(body, s.clockHz);
        Put32(body, 11); // spare values are carried unchanged
        Put32(body, s.bandwidthHz);
        for (uint32_t v = 12; v < 18; ++v)
            Put32(body, v);
    }
    PutId(body, "data");
    const uint32_t nValues = s.samples.empty() ? s.frames * static_cast<uint32_t>(s.channels)
                                               : static_cast<uint32_t>(s.samples.size());
    Put32(body, nValues * 2);
    for (uint32_t i = 0; i < nValues; ++i) {
        const int16_t v = s.samples.empty() ? SampleAt(i / static_cast<uint32_t>(s.channels),
                                                       static_cast<int>(i % static_cast<uint32_t>(s.channels)))
                                            : s.samples[i];
        Put16(body, static_cast<uint16_t>(v));
    }
    Bytes file;
    PutId(file, "RIFF");
    Put32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

inline void WriteFile(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                static_cast<std::streamsize>(b.size()));
}

inline Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path)
{
    return std::ifstream(path).good();
}

// The chunks of a RIFF WAVE file by id, in file order (empty when it is none).
struct Chunks {
    std::vector<std::string> order;
    std::map<std::string, Bytes> payload;
};

inline uint32_t Get32(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline Chunks ParseWave(const Bytes& b)
{
    Chunks c;
    if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        std::string(b.begin() + 8, b.begin() + 12) != "WAVE" || Get32(&b[4]) != b.size() - 8)
        return c;
    for (size_t pos = 12; pos + 8 <= b.size();) {
        const std::string id(b.begin() + static_cast<long>(pos), b.begin() + static_cast<long>(pos) + 4);
        const uint32_t size = Get32(&b[pos + 4]);
        if (pos + 8 + size > b.size())
            return Chunks{};
        c.order.push_back(id);
        c.payload[id] = Bytes(b.begin() + static_cast<long>(pos) + 8,
                              b.begin() + static_cast<long>(pos + 8 + size));
        pos += 8 + size + (size & 1);
    }
    return c;
}

inline SYSTEMTIME TimeAt(const Bytes& auxi, size_t offset)
{
    auto w = [&](size_t i) { return static_cast<uint16_t>(auxi[offset + 2 * i] | auxi[offset + 2 * i + 1] << 8); };
    return SYSTEMTIME{w(0), w(1), w(2), w(3), w(4), w(5), w(6), w(7)};
}

} // namespace segtest
