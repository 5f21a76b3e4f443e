// Builds RIFF bytes for tests: little-endian fields, chunks with their pad
// byte, and whole wave files, with any size field open to being falsified.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace riff {

struct Bytes {
    std::vector<uint8_t> v;

    Bytes() = default;
    Bytes(std::initializer_list<uint8_t> b) : v(b) {}

    Bytes& U8(uint8_t x)
    {
        v.push_back(x);
        return *this;
    }
    Bytes& U16(uint16_t x) { return U8(static_cast<uint8_t>(x)).U8(static_cast<uint8_t>(x >> 8)); }
    Bytes& U32(uint32_t x) { return U16(static_cast<uint16_t>(x)).U16(static_cast<uint16_t>(x >> 16)); }
    Bytes& I32(int32_t x) { return U32(static_cast<uint32_t>(x)); }
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
    Bytes& Add(const Bytes& b)
    {
        v.insert(v.end(), b.v.begin(), b.v.end());
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
    size_t size() const { return v.size(); }
    Bytes Head(size_t n) const
    {
        Bytes b;
        b.v.assign(v.begin(), v.begin() + static_cast<long>(n < v.size() ? n : v.size()));
        return b;
    }
};

// A chunk: id, size (the payload's own unless given), payload, and a zero pad
// byte after an odd payload.
inline Bytes Chunk(const char* id, const Bytes& payload, std::optional<uint32_t> size = {}, bool pad = true)
{
    Bytes b;
    b.Id(id).U32(size ? *size : static_cast<uint32_t>(payload.size())).Add(payload);
    if (pad && payload.size() % 2)
        b.U8(0);
    return b;
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

// n 16-bit samples counting up from first.
inline Bytes Ramp16(size_t n, int16_t first = 1)
{
    Bytes b;
    for (size_t i = 0; i < n; ++i)
        b.U16(static_cast<uint16_t>(first + static_cast<int16_t>(i)));
    return b;
}

} // namespace riff
