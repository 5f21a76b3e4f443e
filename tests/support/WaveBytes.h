// Hand-built RIFF wave bytes for every test folder: little-endian fields,
// chunks with their pad byte (any size field may be falsified), whole wave
// files with an optional "auxi" record, generated samples, file I/O and
// a chunk splitter for checking written files.
#pragma once

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <complex>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/SystemTime.h"

namespace riff {

struct Bytes {
    std::vector<uint8_t> v;

    Bytes() = default;
    Bytes(std::initializer_list<uint8_t> b) : v(b) {}
    explicit Bytes(std::vector<uint8_t> b) : v(std::move(b)) {}
    static Bytes Text(const char* s) { return Bytes(std::vector<uint8_t>(s, s + std::strlen(s))); }

    Bytes& U8(uint8_t x)
    {
        v.push_back(x);
        return *this;
    }
    Bytes& U16(uint16_t x) { return U8(static_cast<uint8_t>(x)).U8(static_cast<uint8_t>(x >> 8)); }
    Bytes& U32(uint32_t x) { return U16(static_cast<uint16_t>(x)).U16(static_cast<uint16_t>(x >> 16)); }
    Bytes& I32(int32_t x) { return U32(static_cast<uint32_t>(x)); }
    Bytes& U64(uint64_t x) { return U32(static_cast<uint32_t>(x)).U32(static_cast<uint32_t>(x >> 32)); }
    Bytes& F32(float f)
    {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return U32(u);
    }
    Bytes& Id(const char* id) // four characters
    {
        for (int i = 0; i < 4; ++i)
            U8(static_cast<uint8_t>(id[i]));
        return *this;
    }
    Bytes& Add(const Bytes& b) { return Add(b.v); }
    Bytes& Add(const std::vector<uint8_t>& b)
    {
        v.insert(v.end(), b.begin(), b.end());
        return *this;
    }
    Bytes& Fill(size_t n, uint8_t x)
    {
        v.insert(v.end(), n, x);
        return *this;
    }
    // A SYSTEMTIME as eight 16-bit words.
    Bytes& Time(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint16_t ms = 0,
                uint16_t dow = 0)
    {
        return U16(y).U16(mo).U16(dow).U16(d).U16(h).U16(mi).U16(s).U16(ms);
    }
    Bytes& Time(const SYSTEMTIME& t)
    {
        return Time(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    }
    size_t size() const { return v.size(); }
    Bytes Head(size_t n) const
    {
        return Bytes(std::vector<uint8_t>(v.begin(), v.begin() + static_cast<long>(std::min(n, v.size()))));
    }
};

// A chunk: id, size (the payload's own unless given), payload, and a zero pad
// byte after an odd payload.
inline Bytes Chunk(const char* id, const Bytes& payload, std::optional<uint32_t> size = {})
{
    Bytes b;
    b.Id(id).U32(size ? *size : static_cast<uint32_t>(payload.size())).Add(payload);
    return payload.size() % 2 ? b.U8(0) : b;
}

// A RIFF form of the given type around body.
inline Bytes Riff(const char* type, const Bytes& body, std::optional<uint32_t> size = {})
{
    Bytes b;
    b.Id("RIFF").U32(size ? *size : static_cast<uint32_t>(4 + body.size())).Id(type).Add(body);
    return b;
}

// The payload of a "fmt " chunk; nBytes 16 or 18 (18 adds a zero extra-size word),
// fewer cuts it short.
inline Bytes FmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t nBytes = 16)
{
    const uint16_t align = static_cast<uint16_t>(channels * (bits / 8));
    Bytes b;
    b.U16(tag).U16(channels).U32(rate).U32(rate * align).U16(align).U16(bits);
    if (nBytes >= 18)
        b.U16(0);
    return b.Head(nBytes);
}

// The payload of an extensible "fmt " (tag 0xFFFE): the plain 16 bytes, cbSize,
// valid bits (0: the container's), channel mask and the sub-format GUID whose
// first two bytes are subTag (1 PCM, 3 IEEE float); nBytes fewer than 40 cut it short.
inline Bytes ExtensibleFmtPayload(uint16_t subTag, uint16_t channels, uint32_t rate, uint16_t bits,
                                  uint16_t validBits = 0, uint16_t cbSize = 22, size_t nBytes = 40)
{
    Bytes b = FmtPayload(0xFFFE, channels, rate, bits);
    b.U16(cbSize).U16(validBits ? validBits : bits).U32(channels == 2 ? 3 : 4).U16(subTag);
    b.Add(Bytes{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    return b.Head(nBytes);
}

// A "ds64" payload: RIFF size, data size, sample count, an empty table.
inline Bytes Ds64Payload(uint64_t riffBytes, uint64_t dataBytes, uint64_t sampleCount = 0)
{
    return Bytes().U64(riffBytes).U64(dataBytes).U64(sampleCount).U32(0);
}

// A 64-bit form ("RF64" or "BW64"): size field 0xFFFFFFFF, "WAVE", then body.
inline Bytes Rf64(const Bytes& body, const char* id = "RF64")
{
    Bytes b;
    b.Id(id).U32(0xFFFFFFFFu).Id("WAVE").Add(body);
    return b;
}

// A wave file: "fmt ", the chunks in between, "data" with the given payload, the chunks after.
inline Bytes Wave(const Bytes& fmtPayload, const Bytes& data, const std::vector<Bytes>& between = {},
                  const std::vector<Bytes>& after = {})
{
    Bytes body;
    body.Add(Chunk("fmt ", fmtPayload));
    for (const Bytes& c : between)
        body.Add(c);
    body.Add(Chunk("data", data));
    for (const Bytes& c : after)
        body.Add(c);
    return Riff("WAVE", body);
}

// The 72-byte "auxi" record: start, stop, then ten 32-bit values.
inline Bytes AuxiPayload(const SYSTEMTIME& start, const SYSTEMTIME& stop, const std::vector<uint32_t>& values = {})
{
    Bytes b;
    b.Time(start).Time(stop);
    for (size_t i = 0; i < 10; ++i)
        b.U32(i < values.size() ? values[i] : 0);
    return b;
}

// The usual whole file: "fmt " (16 bytes), an optional "auxi", "data".
struct WaveShape {
    WaveShape(uint16_t channels_ = 1, uint32_t rate_ = 8000, uint16_t bits_ = 16, uint16_t tag_ = 1,
              std::optional<Bytes> auxi_ = {})
        : tag(tag_), channels(channels_), rate(rate_), bits(bits_), auxi(std::move(auxi_))
    {
    }
    uint16_t tag; // 1 integer, 3 float
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    std::optional<Bytes> auxi; // payload, see AuxiPayload
};

inline Bytes WaveFile(const WaveShape& s, const Bytes& data)
{
    const Bytes fmt = FmtPayload(s.tag, s.channels, s.rate, s.bits);
    return s.auxi ? Wave(fmt, data, {Chunk("auxi", *s.auxi)}) : Wave(fmt, data);
}

// Sample payloads: n 16-bit values from a generator of the value index, or given.
inline Bytes Gen16(size_t n, const std::function<int16_t(size_t)>& sample)
{
    Bytes b;
    for (size_t i = 0; i < n; ++i)
        b.U16(static_cast<uint16_t>(sample(i)));
    return b;
}
inline Bytes Pcm16(const std::vector<int16_t>& s)
{
    return Gen16(s.size(), [&](size_t i) { return s[i]; });
}
// n 16-bit samples counting up from first.
inline Bytes Ramp16(size_t n, int16_t first = 1)
{
    return Gen16(n, [first](size_t i) { return static_cast<int16_t>(first + static_cast<int16_t>(i)); });
}

// frames of a two-channel I/Q tone e^(+i 2 pi f j / 2048), f in bins (may be negative).
inline std::vector<int16_t> IqTone(int frames, double amplitude, double cyclesPerBlock)
{
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    const double k = 2.0 * M_PI * cyclesPerBlock / 2048.0;
    for (size_t j = 0; j < s.size() / 2; ++j) {
        s[2 * j] = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::cos(k * static_cast<double>(j))));
        s[2 * j + 1] = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(k * static_cast<double>(j))));
    }
    return s;
}

// A 16-bit I/Q recording's data: seconds of signal(t) at rate (full scale 1.0).
inline Bytes IqSignal16(uint32_t rate, double seconds, const std::function<std::complex<double>(double)>& signal)
{
    Bytes b;
    for (size_t j = 0; j < static_cast<size_t>(rate * seconds); ++j) {
        const std::complex<double> z = signal(static_cast<double>(j) / rate);
        b.U16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(32767.0 * z.real()))));
        b.U16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(32767.0 * z.imag()))));
    }
    return b;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& b)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(f);
}
inline bool WriteFile(const std::string& path, const Bytes& b)
{
    return WriteFile(path, b.v);
}

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t{b.at(at)} | uint32_t{b.at(at + 1)} << 8 | uint32_t{b.at(at + 2)} << 16 |
           uint32_t{b.at(at + 3)} << 24;
}
inline std::string IdAt(const std::vector<uint8_t>& b, size_t at)
{
    return std::string(reinterpret_cast<const char*>(b.data()) + at, 4);
}
// The chunks of a RIFF WAVE file by id, in file order; empty when the file is
// not one or a size does not fit.
struct Chunks {
    std::vector<std::string> order;
    std::map<std::string, std::vector<uint8_t>> payload;
};

inline Chunks ParseWave(const std::vector<uint8_t>& b)
{
    Chunks c;
    if (b.size() < 12 || IdAt(b, 0) != "RIFF" || IdAt(b, 8) != "WAVE" || Le32(b, 4) != b.size() - 8)
        return c;
    for (size_t pos = 12; pos + 8 <= b.size();) {
        const uint32_t size = Le32(b, pos + 4);
        if (pos + 8 + size > b.size())
            return Chunks{};
        const std::string id = IdAt(b, pos);
        c.order.push_back(id);
        c.payload[id].assign(b.begin() + static_cast<long>(pos + 8), b.begin() + static_cast<long>(pos + 8 + size));
        pos += 8 + size + (size & 1);
    }
    return c;
}

} // namespace riff
