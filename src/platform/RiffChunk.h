// RIFF chunk records and four-character codes shared by the chunk reader and writer.
#pragma once

#include <cstdint>

constexpr uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

// One chunk as found or created: its id, payload size, form type (for "RIFF"
// and "LIST"), and the file offset of its payload.
struct MMCKINFO {
    uint32_t ckid = 0;
    uint32_t cksize = 0;
    uint32_t fccType = 0;
    int64_t dwDataOffset = 0;
    uint32_t dwFlags = 0;
};
