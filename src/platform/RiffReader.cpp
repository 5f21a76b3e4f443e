#include "platform/RiffReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LittleEndian.h"

namespace {

// The offset just past a chunk whose header starts at pos: header, payload, pad byte.
int64_t NextChunk(int64_t pos, uint32_t size)
{
    return pos + 8 + static_cast<int64_t>(size) + static_cast<int64_t>(size & 1u);
}

// pread until nBytes are in or the file ends; -1 on error.
int64_t PreadFully(int fd, uint8_t* p, int64_t nBytes, int64_t offset)
{
    int64_t got = 0;
    while (got < nBytes) {
        const ssize_t r = ::pread(fd, p + got, static_cast<size_t>(nBytes - got), static_cast<off_t>(offset + got));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        got += r;
    }
    return got;
}

} // namespace

// ---- CFileByteSource ----

std::unique_ptr<CFileByteSource> CFileByteSource::Open(const std::string& path)
{
    // O_NONBLOCK so that a FIFO given as a source cannot block the open; only
    // regular files are accepted afterwards.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    int64_t created = static_cast<int64_t>(st.st_mtime);
    struct statx stx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &stx) == 0 && (stx.stx_mask & STATX_BTIME))
        created = static_cast<int64_t>(stx.stx_btime.tv_sec);
    return std::unique_ptr<CFileByteSource>(new CFileByteSource(fd, static_cast<int64_t>(st.st_size), created));
}

CFileByteSource::CFileByteSource(int fd, int64_t sizeBytes, int64_t createdSec)
    : m_fd(fd), m_lSizeBytes(sizeBytes), m_tCreated(createdSec), m_buf(static_cast<size_t>(kBufBytes))
{
}

CFileByteSource::~CFileByteSource()
{
    ::close(m_fd);
}

int64_t CFileByteSource::Read(void* pBuf, int64_t nBytes)
{
    if (nBytes <= 0 || m_lPos >= m_lSizeBytes)
        return 0;
    uint8_t* out = static_cast<uint8_t*>(pBuf);
    const int64_t want = std::min(nBytes, m_lSizeBytes - m_lPos);
    int64_t done = 0;
    while (done < want) {
        const int64_t pos = m_lPos + done;
        if (pos >= m_lBufStart && pos < m_lBufStart + m_lBufBytes) {
            const int64_t n = std::min(want - done, m_lBufStart + m_lBufBytes - pos);
            std::memcpy(out + done, m_buf.data() + (pos - m_lBufStart), static_cast<size_t>(n));
            done += n;
            continue;
        }
        const int64_t bufBytes = static_cast<int64_t>(m_buf.size());
        if (want - done >= bufBytes) {
            // Large reads bypass the buffer.
            const int64_t r = PreadFully(m_fd, out + done, want - done, pos);
            if (r < 0)
                return -1;
            done += r;
            break;
        }
        const int64_t r = Fill(pos);
        if (r < 0)
            return -1;
        if (r == 0)
            break; // the file shrank since it was opened
    }
    m_lPos += done;
    return done;
}

int64_t CFileByteSource::Fill(int64_t pos)
{
    const int64_t bufBytes = static_cast<int64_t>(m_buf.size());
    const int64_t r = PreadFully(m_fd, m_buf.data(), bufBytes, pos);
    if (r < 0)
        return -1;
    m_lBufStart = pos;
    m_lBufBytes = r;
    // The kernel reads the next span while this one is used.
    if (m_lReadAhead > 0 && r == bufBytes)
        ::posix_fadvise(m_fd, static_cast<off_t>(pos + r), static_cast<off_t>(m_lReadAhead), POSIX_FADV_WILLNEED);
    return r;
}

const uint8_t* CFileByteSource::View(int64_t nBytes)
{
    const int64_t pos = m_lPos;
    if (nBytes <= 0 || nBytes > static_cast<int64_t>(m_buf.size()) || pos + nBytes > m_lSizeBytes)
        return nullptr;
    const bool held = pos >= m_lBufStart && pos + nBytes <= m_lBufStart + m_lBufBytes;
    if (!held && Fill(pos) < nBytes)
        return nullptr; // an error, or the file shrank: Read tells which
    m_lPos = pos + nBytes;
    return m_buf.data() + (pos - m_lBufStart);
}

void CFileByteSource::SetReadAhead(int64_t nBytes)
{
    m_lReadAhead = nBytes > kBufBytes ? nBytes : 0;
    std::vector<uint8_t>(static_cast<size_t>(std::max(nBytes, kBufBytes))).swap(m_buf);
    m_lBufBytes = 0;
    ::posix_fadvise(m_fd, 0, 0, m_lReadAhead > 0 ? POSIX_FADV_SEQUENTIAL : POSIX_FADV_NORMAL);
}

bool CFileByteSource::Seek(int64_t offset)
{
    if (offset < 0)
        return false;
    m_lPos = offset;
    return true;
}

bool CFileByteSource::GetCreationTime(int64_t& t) const
{
    t = m_tCreated;
    return true;
}

// ---- CMemoryByteSource ----

CMemoryByteSource::CMemoryByteSource(const void* p, size_t nBytes)
    : m_bytes(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + nBytes)
{
}

int64_t CMemoryByteSource::Read(void* pBuf, int64_t nBytes)
{
    const int64_t size = Size();
    if (nBytes <= 0 || m_lPos >= size)
        return 0;
    const int64_t n = std::min(nBytes, size - m_lPos);
    std::memcpy(pBuf, m_bytes.data() + m_lPos, static_cast<size_t>(n));
    m_lPos += n;
    return n;
}

const uint8_t* CMemoryByteSource::View(int64_t nBytes)
{
    if (nBytes <= 0 || m_lPos > Size() - nBytes)
        return nullptr;
    const uint8_t* const p = m_bytes.data() + m_lPos;
    m_lPos += nBytes;
    return p;
}

bool CMemoryByteSource::Seek(int64_t offset)
{
    if (offset < 0)
        return false;
    m_lPos = offset;
    return true;
}

// ---- CRiffReader ----

CRiffReader::CRiffReader(std::unique_ptr<CByteSource> source) : m_source(std::move(source)) {}

CRiffReader::~CRiffReader() = default;

void CRiffReader::Close()
{
    m_source.reset();
}

int64_t CRiffReader::Read(void* pBuf, int64_t nBytes)
{
    if (!m_source)
        return -1;
    int64_t done = 0;
    uint8_t* out = static_cast<uint8_t*>(pBuf);
    while (done < nBytes) {
        const int64_t r = m_source->Read(out + done, nBytes - done);
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        done += r;
    }
    return done;
}

bool CRiffReader::Seek(int64_t offset)
{
    return m_source && m_source->Seek(offset);
}

int64_t CRiffReader::Tell() const
{
    return m_source ? m_source->Tell() : 0;
}

int64_t CRiffReader::Size() const
{
    return m_source ? m_source->Size() : 0;
}

bool CRiffReader::GetCreationTime(int64_t& t) const
{
    return m_source && m_source->GetCreationTime(t);
}

int64_t CRiffReader::PayloadEnd(const MMCKINFO& ck) const
{
    return std::min(ck.dwDataOffset + static_cast<int64_t>(ck.cksize), Size());
}

bool CRiffReader::ReadHeader(int64_t pos, uint32_t& id, uint32_t& size)
{
    uint8_t h[8];
    if (!Seek(pos) || Read(h, 8) != 8)
        return false;
    id = LoadU32(h);
    size = LoadU32(h + 4);
    return true;
}

int64_t CRiffReader::SearchLimit(const MMCKINFO& parent) const
{
    // A form whose size cannot even hold its type was never finished by its
    // writer: its sub-chunks run to the end of the file.
    if (parent.ckid == kFccRiff && parent.cksize < 4)
        return Size();
    // A 64-bit form's own size field says nothing.
    if (parent.ckid == kFccRf64 || parent.ckid == kFccBw64)
        return Size();
    return std::min(parent.dwDataOffset + static_cast<int64_t>(parent.cksize), Size());
}

bool CRiffReader::FindRiff(uint32_t fccType, MMCKINFO& ck)
{
    if (!m_source)
        return false;
    const int64_t end = Size();
    int64_t pos = Tell();
    while (pos >= 0 && pos + 12 <= end) {
        uint32_t id = 0, size = 0;
        if (!ReadHeader(pos, id, size))
            return false;
        if (IsRiffFormId(id)) {
            uint8_t type[4];
            if (Read(type, 4) != 4)
                return false;
            if (LoadU32(type) == fccType) {
                ck = MMCKINFO{};
                ck.ckid = id;
                ck.cksize = size;
                ck.fccType = fccType;
                ck.dwDataOffset = pos + 8;
                return Seek(pos + 12);
            }
        }
        pos = NextChunk(pos, size); // strictly forward, no wrap in 64 bits
    }
    return false;
}

bool CRiffReader::FindChunk(uint32_t ckid, const MMCKINFO& parent, MMCKINFO& ck)
{
    if (!m_source)
        return false;
    const int64_t limit = SearchLimit(parent);
    int64_t pos = Tell();
    while (pos >= 0 && pos + 8 <= limit) {
        uint32_t id = 0, size = 0;
        if (!ReadHeader(pos, id, size))
            return false;
        if (id == ckid) {
            ck = MMCKINFO{};
            ck.ckid = id;
            ck.cksize = size;
            ck.dwDataOffset = pos + 8;
            return true; // ReadHeader left the position at the payload
        }
        pos = NextChunk(pos, size); // a size beyond the end leaves the loop
    }
    return false;
}

bool CRiffReader::Ascend(const MMCKINFO& ck)
{
    return Seek(ck.dwDataOffset + static_cast<int64_t>(ck.cksize) + static_cast<int64_t>(ck.cksize & 1u));
}
