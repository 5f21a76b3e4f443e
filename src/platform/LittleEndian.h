// Little-endian fields in byte buffers: the byte order of every RIFF number.
#pragma once

#include <cstdint>

inline uint16_t LoadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LoadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(LoadU16(p)) | static_cast<uint32_t>(LoadU16(p + 2)) << 16;
}
inline uint64_t LoadU64(const uint8_t* p)
{
    return static_cast<uint64_t>(LoadU32(p)) | static_cast<uint64_t>(LoadU32(p + 4)) << 32;
}
inline void StoreU16(uint16_t v, uint8_t* p)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint32_t v, uint8_t* p)
{
    StoreU16(static_cast<uint16_t>(v), p);
    StoreU16(static_cast<uint16_t>(v >> 16), p + 2);
}
inline void StoreU64(uint64_t v, uint8_t* p)
{
    StoreU32(static_cast<uint32_t>(v), p);
    StoreU32(static_cast<uint32_t>(v >> 32), p + 4);
}
