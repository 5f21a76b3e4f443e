// Reading RIFF files chunk by chunk over a small byte-stream interface, so that
// the same parser reads buffered files and memory buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/RiffChunk.h"

// A readable, seekable stream of bytes with 64-bit offsets.
class CByteSource {
public:
    virtual ~CByteSource() = default;
    // Reads up to nBytes at the current position and advances past them.
    // Returns the bytes read, 0 at the end, -1 on error.
    virtual int64_t Read(void* pBuf, int64_t nBytes) = 0;
    // Moves to an absolute offset (it may lie past the end; reads there return 0).
    // False for a negative offset.
    virtual bool Seek(int64_t offset) = 0;
    virtual int64_t Tell() const = 0;
    virtual int64_t Size() const = 0;
    // Seconds since 1970 when the bytes came into being; false when unknown.
    virtual bool GetCreationTime(int64_t& t) const
    {
        (void)t;
        return false;
    }
    // The file descriptor behind the bytes, for kernel-side copies; -1 for none.
    virtual int Fd() const { return -1; }
    // The bytes will be read front to back in reads of about nBytes: a source
    // that buffers may read that much at a time and ask for the next span
    // ahead. 0 goes back to reads for scattered access.
    virtual void SetReadAhead(int64_t nBytes) { (void)nBytes; }
    // The next nBytes where the source holds them, without a copy: a pointer
    // valid until the next Read or View, the position moved past them. Null,
    // the position as it was, when the source cannot show them so (the caller
    // then reads them).
    virtual const uint8_t* View(int64_t nBytes)
    {
        (void)nBytes;
        return nullptr;
    }
};

// A regular file read through pread with a 64 KiB buffer.
class CFileByteSource : public CByteSource {
public:
    // Null when the path cannot be opened for reading or is not a regular file.
    static std::unique_ptr<CFileByteSource> Open(const std::string& path);
    ~CFileByteSource() override;
    CFileByteSource(const CFileByteSource&) = delete;
    CFileByteSource& operator=(const CFileByteSource&) = delete;

    int64_t Read(void* pBuf, int64_t nBytes) override;
    bool Seek(int64_t offset) override;
    int64_t Tell() const override { return m_lPos; }
    int64_t Size() const override { return m_lSizeBytes; }
    // The birth time where the file system keeps one, else the modification time.
    bool GetCreationTime(int64_t& t) const override;
    int Fd() const override { return m_fd; }
    // Buffers of nBytes (at least the normal 64 KiB); while reading front to
    // back the kernel is asked to fetch the span after the buffer meanwhile.
    void SetReadAhead(int64_t nBytes) override;
    // From the buffer (filled from the position when it does not hold them),
    // for at most a buffer's bytes.
    const uint8_t* View(int64_t nBytes) override;

private:
    CFileByteSource(int fd, int64_t sizeBytes, int64_t createdSec);
    // Fills the buffer from pos; the bytes read, -1 on error.
    int64_t Fill(int64_t pos);

    static constexpr int64_t kBufBytes = 64 * 1024;
    int64_t m_lReadAhead = 0; // bytes of the span fetched ahead; 0: none
    int m_fd;
    int64_t m_lSizeBytes;
    int64_t m_tCreated;
    int64_t m_lPos = 0;
    int64_t m_lBufStart = 0; // file offset of m_buf[0]
    int64_t m_lBufBytes = 0; // valid bytes in m_buf
    std::vector<uint8_t> m_buf;
};

// A copy of a byte buffer; its creation time is unknown.
class CMemoryByteSource : public CByteSource {
public:
    explicit CMemoryByteSource(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    CMemoryByteSource(const void* p, size_t nBytes);

    int64_t Read(void* pBuf, int64_t nBytes) override;
    bool Seek(int64_t offset) override;
    int64_t Tell() const override { return m_lPos; }
    int64_t Size() const override { return static_cast<int64_t>(m_bytes.size()); }
    const uint8_t* View(int64_t nBytes) override;

private:
    std::vector<uint8_t> m_bytes;
    int64_t m_lPos = 0;
};

// Finds RIFF forms and chunks, reads, seeks and ascends out of chunks.
// Every search walks strictly forward and stops at the end of the file or of
// the parent, so damaged or hostile sizes end a search instead of looping.
class CRiffReader {
public:
    explicit CRiffReader(std::unique_ptr<CByteSource> source);
    ~CRiffReader();

    // Finds a "RIFF" form (or its 64-bit kin "RF64" and "BW64", whose sizes
    // stand in a "ds64" chunk) of the given type among the top-level chunks
    // from the current position and leaves the position at its first sub-chunk.
    // ck receives the form (ckid and cksize as stored, fccType, dwDataOffset of the type).
    bool FindRiff(uint32_t fccType, MMCKINFO& ck);
    // Finds the chunk ckid among parent's sub-chunks from the current position
    // and leaves the position at its payload. ck.cksize is the size as stored;
    // it may claim more bytes than the file holds.
    bool FindChunk(uint32_t ckid, const MMCKINFO& parent, MMCKINFO& ck);
    // Moves past ck's payload and its pad byte.
    bool Ascend(const MMCKINFO& ck);

    // Reads up to nBytes; returns the bytes read, 0 at the end, -1 on error or
    // when closed. Short reads happen only at the end of the file.
    int64_t Read(void* pBuf, int64_t nBytes);
    // Moves to an absolute offset; false when closed or negative.
    bool Seek(int64_t offset);
    int64_t Tell() const;
    int64_t Size() const;
    bool GetCreationTime(int64_t& t) const;
    bool IsOpen() const { return m_source != nullptr; }
    // The byte source itself (null when closed), for copies that bypass Read.
    CByteSource* Source() const { return m_source.get(); }
    // CByteSource::View; null when closed.
    const uint8_t* View(int64_t nBytes) { return m_source ? m_source->View(nBytes) : nullptr; }
    void Close();

    // The file offset where the payload of ck ends, cut at the end of the file.
    int64_t PayloadEnd(const MMCKINFO& ck) const;

private:
    // The offset where a search among parent's sub-chunks must stop.
    int64_t SearchLimit(const MMCKINFO& parent) const;
    bool ReadHeader(int64_t pos, uint32_t& id, uint32_t& size);

    std::unique_ptr<CByteSource> m_source;
};
