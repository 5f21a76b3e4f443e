// Conversions between the sample formats stored in wave files and the
// program's block representation: a signed 32-bit value with the sample in its
// upper bits (a 16-bit sample times 65536, a 24-bit sample times 256, an 8-bit
// sample times 16777216, a float times 2147480000). Each reader has its
// writer beside it; a writer is the exact inverse of its reader.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace samples {

// Full scale of a float sample in the block representation. Deliberately not
// 2^31, so that a float of exactly 1.0 stays inside the 32-bit range.
constexpr double kFloatScale = 2147480000.0;

// S8 is signed 8-bit, which wave files never hold but raw I/Q recordings often do.
enum class Codec { None, U8, S8, S16, S24, S32, F32 };

// The codec of a "fmt " record: format tag 1 (integer PCM) or 3 (IEEE float).
inline Codec CodecFor(uint16_t formatTag, uint16_t bitsPerSample)
{
    if (formatTag == 3)
        return bitsPerSample == 32 ? Codec::F32 : Codec::None;
    if (formatTag != 1)
        return Codec::None;
    switch (bitsPerSample) {
    case 8: return Codec::U8;
    case 16: return Codec::S16;
    case 24: return Codec::S24;
    case 32: return Codec::S32;
    default: return Codec::None;
    }
}

inline int BytesPerSample(Codec c)
{
    switch (c) {
    case Codec::U8:
    case Codec::S8: return 1;
    case Codec::S16: return 2;
    case Codec::S24: return 3;
    case Codec::S32:
    case Codec::F32: return 4;
    default: return 0;
    }
}

// 8-bit PCM is unsigned with 128 as silence.
inline int32_t ReadU8(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0] ^ 0x80u) << 24);
}
inline void WriteU8(int32_t v, uint8_t* p)
{
    p[0] = static_cast<uint8_t>((static_cast<uint32_t>(v) >> 24) ^ 0x80u);
}

inline int32_t ReadS8(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24);
}
inline void WriteS8(int32_t v, uint8_t* p)
{
    p[0] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> 24);
}

// Files are little-endian: on a little-endian host a sample is one unaligned
// load or store (which compilers vectorise); elsewhere it is put together byte by byte.
constexpr bool kNativeLittle = std::endian::native == std::endian::little;

inline int32_t ReadS16(const uint8_t* p)
{
    if constexpr (kNativeLittle) {
        uint16_t u;
        std::memcpy(&u, p, sizeof u);
        return static_cast<int32_t>(static_cast<uint32_t>(u) << 16);
    }
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 24);
}
inline void WriteS16(int32_t v, uint8_t* p)
{
    const uint32_t u = static_cast<uint32_t>(v);
    if constexpr (kNativeLittle) {
        const uint16_t h = static_cast<uint16_t>(u >> 16);
        std::memcpy(p, &h, sizeof h);
        return;
    }
    p[0] = static_cast<uint8_t>(u >> 16);
    p[1] = static_cast<uint8_t>(u >> 24);
}

inline int32_t ReadS24(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                static_cast<uint32_t>(p[2]) << 24);
}
inline void WriteS24(int32_t v, uint8_t* p)
{
    const uint32_t u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u >> 8);
    p[1] = static_cast<uint8_t>(u >> 16);
    p[2] = static_cast<uint8_t>(u >> 24);
}

inline int32_t ReadS32(const uint8_t* p)
{
    if constexpr (kNativeLittle) {
        int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}
inline void WriteS32(int32_t v, uint8_t* p)
{
    if constexpr (kNativeLittle) {
        std::memcpy(p, &v, sizeof v);
        return;
    }
    const uint32_t u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}

// Floats beyond full scale saturate instead of wrapping; NaN reads as silence.
inline int32_t ReadF32(const uint8_t* p)
{
    const uint32_t bits = static_cast<uint32_t>(ReadS32(p));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    const double v = static_cast<double>(f) * kFloatScale;
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(v); // truncates toward zero
}
inline void WriteF32(int32_t v, uint8_t* p)
{
    const float f = static_cast<float>(static_cast<double>(v) / kFloatScale);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    WriteS32(static_cast<int32_t>(bits), p);
}

// The loops of one codec, its per-sample reader and writer fixed at compile
// time so that each loop is inlined and vectorised.
template <size_t kBytes, int32_t (*Read)(const uint8_t*)>
inline void DecodeAll(const uint8_t* __restrict src, int32_t* __restrict dst, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        dst[i] = Read(src + kBytes * i);
}

template <size_t kBytes, void (*Write)(int32_t, uint8_t*)>
inline void EncodeAll(const int32_t* __restrict src, uint8_t* __restrict dst, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        Write(src[i], dst + kBytes * i);
}

// Decodes count samples from src into dst; the two must not overlap.
inline void Decode(Codec c, const uint8_t* __restrict src, int32_t* __restrict dst, size_t count)
{
    switch (c) {
    case Codec::U8: DecodeAll<1, ReadU8>(src, dst, count); break;
    case Codec::S8: DecodeAll<1, ReadS8>(src, dst, count); break;
    case Codec::S16: DecodeAll<2, ReadS16>(src, dst, count); break;
    case Codec::S24: DecodeAll<3, ReadS24>(src, dst, count); break;
    case Codec::S32: DecodeAll<4, ReadS32>(src, dst, count); break;
    case Codec::F32: DecodeAll<4, ReadF32>(src, dst, count); break;
    case Codec::None: break;
    }
}

// Encodes count samples from src into dst; the two must not overlap.
inline void Encode(Codec c, const int32_t* __restrict src, uint8_t* __restrict dst, size_t count)
{
    switch (c) {
    case Codec::U8: EncodeAll<1, WriteU8>(src, dst, count); break;
    case Codec::S8: EncodeAll<1, WriteS8>(src, dst, count); break;
    case Codec::S16: EncodeAll<2, WriteS16>(src, dst, count); break;
    case Codec::S24: EncodeAll<3, WriteS24>(src, dst, count); break;
    case Codec::S32: EncodeAll<4, WriteS32>(src, dst, count); break;
    case Codec::F32: EncodeAll<4, WriteF32>(src, dst, count); break;
    case Codec::None: break;
    }
}

} // namespace samples
