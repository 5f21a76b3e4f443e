// CRiffWriter: a buffered writer for RIFF files over a POSIX file descriptor.
// Chunks are created with a provisional size and closed by Ascend, which adds
// the pad byte of an odd payload and rewrites the size when it differs, so the
// sizes of a file written front to back are fixed last.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/RiffChunk.h"

class CRiffWriter {
public:
    // Writes are gathered in a buffer of this many bytes before they reach the file.
    static constexpr size_t kBufferBytes = 64 * 1024;
    // dwFlags bit of a chunk record made by CreateChunk: Ascend fixes its size.
    static constexpr uint32_t kFlagDirty = 0x10000;

    CRiffWriter();
    ~CRiffWriter();
    CRiffWriter(const CRiffWriter&) = delete;
    CRiffWriter& operator=(const CRiffWriter&) = delete;

    // Creates the file, or truncates an existing one; with bExclusive only a
    // file that does not exist yet is created (Errno() EEXIST otherwise).
    // False on failure (Errno()).
    bool Create(const std::string& path, bool bExclusive = false);
    bool IsOpen() const { return m_fd >= 0; }

    // Writes a chunk header at the current position: the id ("RIFF" with
    // bRiffForm, or "RF64"/"BW64" when ck.ckid says so, then the form type
    // ck.fccType) and the size ck.cksize holds.
    // ck.dwDataOffset receives the payload's file offset; for a form the
    // payload starts with its type, so the form size counts those four bytes.
    bool CreateChunk(MMCKINFO& ck, bool bRiffForm);
    // Ends a chunk made by CreateChunk at the current position: writes a zero
    // pad byte when the payload is odd and, when the payload size differs from
    // ck.cksize, rewrites the size field and stores the new size in ck.
    // Fails when the payload does not fit a 32-bit size.
    bool Ascend(MMCKINFO& ck);

    // Ends a chunk whose size stands elsewhere (in "ds64"): writes the pad
    // byte of an odd payload and leaves the size field as created. Returns the
    // payload's size, -1 on failure.
    int64_t AscendLarge(const MMCKINFO& ck);

    // Returns nBytes, or -1 when the bytes could not be written in full.
    int64_t Write(const void* pData, int64_t nBytes);
    // Appends nBytes of the file fdIn from offset lOffsetIn: copy_file_range
    // where the kernel offers it, else pread and write in large blocks.
    // Returns the bytes copied (fewer when fdIn ends first), -1 on failure.
    int64_t CopyFrom(int fdIn, int64_t lOffsetIn, int64_t nBytes);
    // Moves to an absolute offset (SEEK_SET) or relative to the current
    // position (SEEK_CUR); returns the new offset or -1.
    int64_t Seek(int64_t lOffset, int nOrigin);
    // The current logical position, buffered bytes included.
    int64_t Tell() const { return m_lBufStart + static_cast<int64_t>(m_buf.size()); }

    // Writes the buffered bytes to the file.
    bool Flush();
    // Flushes and closes; false when the flush or the close failed. The
    // descriptor is released either way; closing twice is harmless.
    bool Close();

    // errno of the first failure (0 when none). After a failure every further
    // write fails too, so a half-written file is never reported as complete.
    int Errno() const { return m_nErrno; }

private:
    bool WriteAll(const uint8_t* p, size_t n);
    // CopyFrom's fallback for one piece; the bytes copied, -1 on failure.
    int64_t CopyByBlocks(int fdIn, int64_t lOffsetIn, int64_t nBytes);
    bool Fail(int err);

    int m_fd = -1;
    int m_nErrno = 0;
    int64_t m_lBufStart = 0;    // file offset of m_buf[0]
    bool m_bKernelCopy = true;  // copy_file_range has not been refused yet
    std::vector<uint8_t> m_buf; // bytes written but not yet in the file
};
