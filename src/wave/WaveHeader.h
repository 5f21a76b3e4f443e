// The top-level chunks of a wave source as found before any sample is read:
// where "fmt ", "auxi", "rcvr" and "data" stand and how long each is (64-bit;
// for RF64 and BW64 from their "ds64" chunk), and the plain sample format
// behind a WAVE_FORMAT_EXTENSIBLE "fmt ".
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/RiffChunk.h"

#include <vector>

class CRiffReader;
struct WAVEFORMATEX; // wave/RiffWaveFile.h

namespace wavehdr {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;
// An extensible "fmt ": the 16 plain bytes, cbSize (22 or more), valid bits,
// channel mask and the 16-byte sub-format GUID.
constexpr size_t kFmtExtensibleBytes = 40;
constexpr uint16_t kExtensibleCbSize = 22;
// "ds64": RIFF size, data size and sample count (64-bit each), table length.
constexpr uint32_t kDs64MinBytes = 28;

struct ChunkAt {
    int64_t lOffset = -1; // file offset of the payload; -1 = not found
    int64_t lBytes = 0;   // payload size in bytes
    bool Found() const { return lOffset >= 0; }
};

// The first chunk of each kind among the form's sub-chunks, wherever it stands.
struct SourceChunks {
    ChunkAt fmt, auxi, rcvr, data;
};

// Walks the sub-chunks of form (as FindRiff gave it) to the end of the file.
// The "data" size is resolved: from "ds64" in a 64-bit form; in a plain form
// a size of 0, 0xFFFFFFFF or one that lost its upper 32 bits runs to the end
// of the file when "data" is the last chunk. Sizes claiming more than the
// file holds end where the file ends. Returns WAVE_OK or WAVE_ERR_CHUNK (a
// 64-bit form without a whole "ds64", or a "data" size disagreeing with it).
int IndexChunks(CRiffReader& rd, const MMCKINFO& form, SourceChunks& out);

// The plain format tag of a "fmt " payload of nBytes: its own tag, or for
// tag 0xFFFE the tag in its sub-format GUID when that is PCM (1) or IEEE
// float (3). 0 for an extensible record shorter than 40 bytes, with cbSize
// below 22, more valid bits than its container, or another sub-format.
uint16_t PlainFormatTag(const uint8_t* pFmt, size_t nBytes);

// The 40-byte extensible "fmt " payload of a plain record (tag 1 or 3, which
// becomes the sub-format): valid bits those of the container, the given
// channel mask.
std::vector<uint8_t> ExtensibleFormatBytes(const WAVEFORMATEX& wf, uint32_t nChannelMask);

} // namespace wavehdr
