// RIFF chunk records and four-character codes shared by the chunk reader and writer.
#pragma once

#include <cstdint>

constexpr uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

constexpr uint32_t kFccRiff = MakeFourCC('R', 'I', 'F', 'F');
// Forms of 64-bit size: their 32-bit size fields hold 0xFFFFFFFF and the true
// sizes stand in a "ds64" chunk right after the form type.
constexpr uint32_t kFccRf64 = MakeFourCC('R', 'F', '6', '4');
constexpr uint32_t kFccBw64 = MakeFourCC('B', 'W', '6', '4');
constexpr uint32_t kFccDs64 = MakeFourCC('d', 's', '6', '4');
// The wave form and the chunks inside it.
constexpr uint32_t kFccWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr uint32_t kFccFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr uint32_t kFccAuxi = MakeFourCC('a', 'u', 'x', 'i');
constexpr uint32_t kFccRcvr = MakeFourCC('r', 'c', 'v', 'r');
constexpr uint32_t kFccData = MakeFourCC('d', 'a', 't', 'a');
// A 32-bit size field whose true value stands in "ds64".
constexpr uint32_t kSizeInDs64 = 0xFFFFFFFFu;

inline bool IsRiffFormId(uint32_t id)
{
    return id == kFccRiff || id == kFccRf64 || id == kFccBw64;
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
