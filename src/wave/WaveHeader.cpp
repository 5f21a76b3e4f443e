#include "wave/WaveHeader.h"

#include <algorithm>
#include <cstring>

#include "platform/LittleEndian.h"
#include "platform/RiffReader.h"
#include "wave/RiffWaveFile.h"

namespace wavehdr {
namespace {

constexpr int64_t k4GiB = int64_t{1} << 32;

// The sub-format GUIDs of PCM and IEEE float differ only in their first two
// bytes (the plain tag); these are the fourteen after them.
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool ReadHeaderAt(CRiffReader& rd, int64_t pos, uint32_t& id, uint32_t& size)
{
    uint8_t h[8];
    if (!rd.Seek(pos) || rd.Read(h, 8) != 8)
        return false;
    id = LoadU32(h);
    size = LoadU32(h + 4);
    return true;
}

// Whether a chunk header stands at pos: four printable characters and a size
// that fits in the file. Sample data almost never looks like that.
bool LooksLikeChunkAt(CRiffReader& rd, int64_t pos)
{
    uint32_t id = 0, size = 0;
    if (pos + 8 > rd.Size() || !ReadHeaderAt(rd, pos, id, size))
        return false;
    for (int i = 0; i < 4; ++i) {
        const uint32_t c = (id >> (8 * i)) & 0xFFu;
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return pos + 8 + static_cast<int64_t>(size) <= rd.Size();
}

// The payload size of a plain "data" chunk at lOffset whose header says nStored.
int64_t PlainDataBytes(CRiffReader& rd, uint32_t nStored, int64_t lOffset)
{
    const int64_t avail = rd.Size() - lOffset;
    if (avail <= 0)
        return 0;
    // A recorder stopped before it wrote the size: the samples run to the end.
    if (nStored == 0)
        return LooksLikeChunkAt(rd, lOffset) ? 0 : avail;
    if (nStored == kSizeInDs64 || static_cast<int64_t>(nStored) >= avail)
        return avail;
    // A size that lost its upper bits: the largest candidate that ends at the
    // end of the file (its pad byte allowed) or at the next chunk.
    for (int64_t s = nStored + (avail - nStored) / k4GiB * k4GiB; s > nStored; s -= k4GiB) {
        const int64_t end = lOffset + s;
        if (end >= rd.Size() - 1 || LooksLikeChunkAt(rd, end + (s & 1)))
            return s;
    }
    return nStored;
}

// The payload size of "data" in a 64-bit form; -1 when its own size field
// and "ds64" disagree.
int64_t Ds64DataBytes(uint32_t nStored, uint64_t nDs64Bytes, int64_t avail)
{
    if (nStored != kSizeInDs64 && nStored != nDs64Bytes)
        return -1;
    if (avail <= 0)
        return 0;
    if (nDs64Bytes == 0) // an interrupted recorder, as with plain files
        return avail;
    return nDs64Bytes > static_cast<uint64_t>(avail) ? avail : static_cast<int64_t>(nDs64Bytes);
}

// The 64-bit data size from the "ds64" chunk that must stand at pos, whole.
bool ReadDs64DataBytes(CRiffReader& rd, int64_t pos, uint64_t& nDataBytes)
{
    uint32_t id = 0, size = 0;
    uint8_t p[kDs64MinBytes];
    if (!ReadHeaderAt(rd, pos, id, size) || id != kFccDs64 || size < kDs64MinBytes ||
        pos + 8 + static_cast<int64_t>(size) > rd.Size() || rd.Read(p, kDs64MinBytes) != kDs64MinBytes)
        return false;
    nDataBytes = LoadU64(p + 8);
    return true;
}

ChunkAt* SlotFor(SourceChunks& c, uint32_t id)
{
    switch (id) {
    case kFccFmt: return &c.fmt;
    case kFccAuxi: return &c.auxi;
    case kFccRcvr: return &c.rcvr;
    case kFccData: return &c.data;
    default: return nullptr;
    }
}

} // namespace

int IndexChunks(CRiffReader& rd, const MMCKINFO& form, SourceChunks& out)
{
    out = SourceChunks{};
    int64_t pos = form.dwDataOffset + 4; // past the form type
    const bool b64 = form.ckid != kFccRiff;
    uint64_t nDs64DataBytes = 0;
    if (b64 && !ReadDs64DataBytes(rd, pos, nDs64DataBytes))
        return WAVE_ERR_CHUNK;
    // Strictly forward to the end of the file: chunks after "data" count too.
    while (pos + 8 <= rd.Size()) {
        uint32_t id = 0, stored = 0;
        if (!ReadHeaderAt(rd, pos, id, stored))
            break;
        ChunkAt at{pos + 8, static_cast<int64_t>(stored)};
        if (id == kFccData) {
            at.lBytes = b64 ? Ds64DataBytes(stored, nDs64DataBytes, rd.Size() - at.lOffset)
                            : PlainDataBytes(rd, stored, at.lOffset);
            if (at.lBytes < 0)
                return WAVE_ERR_CHUNK;
        }
        ChunkAt* slot = SlotFor(out, id);
        if (slot && !slot->Found())
            *slot = at;
        pos = at.lOffset + at.lBytes + (at.lBytes & 1);
    }
    return WAVE_OK;
}

uint16_t PlainFormatTag(const uint8_t* pFmt, size_t nBytes)
{
    if (nBytes < 16)
        return 0;
    const uint16_t tag = LoadU16(pFmt);
    if (tag != kTagExtensible)
        return tag;
    if (nBytes < kFmtExtensibleBytes || LoadU16(pFmt + 16) < kExtensibleCbSize)
        return 0;
    if (LoadU16(pFmt + 18) > LoadU16(pFmt + 14)) // valid bits above the container
        return 0;
    if (std::memcmp(pFmt + 26, kSubFormatTail, sizeof kSubFormatTail) != 0)
        return 0;
    const uint16_t sub = LoadU16(pFmt + 24);
    return sub == kTagPcm || sub == kTagFloat ? sub : 0;
}

std::vector<uint8_t> ExtensibleFormatBytes(const WAVEFORMATEX& wf, uint32_t nChannelMask)
{
    std::vector<uint8_t> out(kFmtExtensibleBytes);
    FormatToBytes(wf, out.data());
    StoreU16(kTagExtensible, out.data());
    StoreU16(kExtensibleCbSize, out.data() + 16);
    StoreU16(wf.wBitsPerSample, out.data() + 18);
    StoreU32(nChannelMask, out.data() + 20);
    StoreU16(wf.wFormatTag, out.data() + 24);
    std::memcpy(out.data() + 26, kSubFormatTail, sizeof kSubFormatTail);
    return out;
}

} // namespace wavehdr
