#include "platform/RiffWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LittleEndian.h"

namespace {

constexpr int64_t kMaxChunkBytes = 0xFFFFFFFFll;
// Bytes per pread/write round when the kernel cannot copy between the files.
constexpr int64_t kCopyBlockBytes = 4 * 1024 * 1024;
// Bytes asked of one copy_file_range call (a few, so that the writeback
// starts during the copy).
constexpr int64_t kKernelCopyBytes = 64LL << 20;

// The moment this program was loaded: temporaries older than it cannot be
// files this run is writing.
const int64_t g_tProgramStart = static_cast<int64_t>(::time(nullptr));
// Running number of the named temporaries of this process.
std::atomic<unsigned> g_nTempSeq{0};

std::string FolderOrDot(const std::string& folder)
{
    return folder.empty() ? std::string(".") : folder;
}

// The process id in a temporary's name, or 0 when the name is not one of ours.
long TempOwner(const char* name)
{
    const size_t nPrefix = std::strlen(CRiffWriter::kTempPrefix);
    const size_t nSuffix = std::strlen(CRiffWriter::kTempSuffix);
    const size_t n = std::strlen(name);
    if (n <= nPrefix + nSuffix || std::strncmp(name, CRiffWriter::kTempPrefix, nPrefix) != 0 ||
        std::strcmp(name + n - nSuffix, CRiffWriter::kTempSuffix) != 0)
        return 0;
    long pid = 0;
    unsigned seq = 0;
    int used = 0;
    const std::string middle(name + nPrefix, n - nPrefix - nSuffix);
    if (std::sscanf(middle.c_str(), "%ld-%u%n", &pid, &seq, &used) != 2 || static_cast<size_t>(used) != middle.size())
        return 0;
    return pid > 0 ? pid : 0;
}

bool ProcessRuns(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void SyncFolder(const std::string& folder)
{
    const int fd = ::open(FolderOrDot(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // some file systems refuse it for folders; the file itself is on disk
        ::close(fd);
    }
}

} // namespace

CRiffWriter::CRiffWriter() = default;

CRiffWriter::~CRiffWriter()
{
    Close();
}

bool CRiffWriter::Create(const std::string& path, bool bExclusive)
{
    Close();
    m_nErrno = 0;
    m_lBufStart = 0;
    m_buf.clear();
    m_strFolder.clear();
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (bExclusive ? O_EXCL : O_TRUNC), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Fail(errno);
    m_fd = fd;
    m_buf.reserve(kBufferBytes);
    return true;
}

bool CRiffWriter::CreateTemp(const std::string& folder, bool bUnnamed)
{
    Close();
    m_nErrno = 0;
    m_lBufStart = 0;
    m_buf.clear();
    m_strFolder = folder;
    const std::string dir = FolderOrDot(folder);
    RemoveStaleTemps(folder, g_tProgramStart);
    int fd = -1;
    // An unnamed file is named through /proc, so it is only used where that is there.
    if (bUnnamed && ::access("/proc/self/fd", X_OK) == 0)
        fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0 && bUnnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return Fail(errno); // the folder itself refuses (read-only, no permission, full)
    while (fd < 0) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%ld-%u%s", kTempPrefix, static_cast<long>(::getpid()),
                      g_nTempSeq.fetch_add(1) + 1, kTempSuffix);
        m_strTempPath = (folder.empty() ? std::string() : folder + "/") + name;
        fd = ::open(m_strTempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR) {
            m_strTempPath.clear();
            return Fail(errno);
        }
    }
    m_fd = fd;
    m_bTemp = true;
    m_lWritebackEnd = 0;
    m_buf.reserve(kBufferBytes);
    return true;
}

int CRiffWriter::LinkTemp(const std::string& path, bool bReplace)
{
    int rc;
    if (m_strTempPath.empty()) {
        // An unnamed file: its /proc entry is linked, which never replaces.
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        rc = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
        if (rc != 0 && errno == EEXIST && bReplace && ::unlink(path.c_str()) == 0)
            rc = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
    } else if (bReplace) {
        rc = ::rename(m_strTempPath.c_str(), path.c_str());
    } else {
        rc = ::renameat2(AT_FDCWD, m_strTempPath.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // No RENAME_NOREPLACE here: a hard link never replaces either.
            rc = ::link(m_strTempPath.c_str(), path.c_str());
            if (rc == 0)
                ::unlink(m_strTempPath.c_str());
        }
    }
    return rc == 0 ? 0 : errno;
}

bool CRiffWriter::Publish(const std::string& path, bool bReplace, bool bSync)
{
    if (m_fd < 0 || !m_bTemp)
        return Fail(EBADF);
    bool ok = Flush();
    if (ok && bSync && ::fsync(m_fd) != 0)
        ok = Fail(errno);
    if (!ok) {
        Discard();
        return false;
    }
    const int err = LinkTemp(path, bReplace);
    if (err == EEXIST && !bReplace) {
        errno = EEXIST; // the caller may try another name; the file stays as it is
        return false;
    }
    if (err != 0) {
        Fail(err);
        Discard();
        return false;
    }
    m_bTemp = false;
    m_strTempPath.clear();
    if (bSync)
        SyncFolder(m_strFolder);
    return true;
}

void CRiffWriter::Discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buf.clear();
    if (m_bTemp && !m_strTempPath.empty())
        ::unlink(m_strTempPath.c_str());
    m_bTemp = false;
    m_strTempPath.clear();
}

int CRiffWriter::RemoveStaleTemps(const std::string& folder, int64_t tBefore)
{
    DIR* dir = ::opendir(FolderOrDot(folder).c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        const long pid = TempOwner(e->d_name);
        struct stat st;
        if (pid == 0 || ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        // Only a regular file of this user, untouched since before this program, of a program that is gone.
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_mtime >= tBefore || ProcessRuns(pid))
            continue;
        if (::unlinkat(::dirfd(dir), e->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

int64_t CRiffWriter::ProgramStart()
{
    return g_tProgramStart;
}

bool CRiffWriter::Fail(int err)
{
    if (m_nErrno == 0)
        m_nErrno = err != 0 ? err : EIO;
    return false;
}

bool CRiffWriter::WriteAll(const uint8_t* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(m_fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return Fail(errno);
        }
        if (w == 0)
            return Fail(EIO);
        // A short write is followed by another attempt, which reports the
        // reason (EFBIG past the file size limit, ENOSPC on a full disk).
        p += w;
        n -= static_cast<size_t>(w);
        m_lBufStart += w;
    }
    StartWriteback();
    return true;
}

void CRiffWriter::StartWriteback()
{
    // Sequential output is handed to the disk while the copy goes on.
    if (!m_bTemp || !m_bEarlyWriteback || m_lBufStart - m_lWritebackEnd < kWritebackBytes)
        return;
    ::sync_file_range(m_fd, m_lWritebackEnd, m_lBufStart - m_lWritebackEnd, SYNC_FILE_RANGE_WRITE);
    m_lWritebackEnd = m_lBufStart;
}

bool CRiffWriter::Flush()
{
    if (m_fd < 0)
        return Fail(EBADF);
    if (m_nErrno != 0)
        return false;
    if (m_buf.empty())
        return true;
    const bool ok = WriteAll(m_buf.data(), m_buf.size());
    m_buf.clear();
    return ok;
}

int64_t CRiffWriter::Write(const void* pData, int64_t nBytes)
{
    if (m_fd < 0) {
        Fail(EBADF);
        return -1;
    }
    if (m_nErrno != 0 || nBytes < 0)
        return -1;
    const auto* p = static_cast<const uint8_t*>(pData);
    const auto n = static_cast<size_t>(nBytes);
    if (m_buf.size() + n > kBufferBytes) {
        if (!Flush())
            return -1;
        if (n >= kBufferBytes) // large writes go straight to the file
            return WriteAll(p, n) ? nBytes : -1;
    }
    m_buf.insert(m_buf.end(), p, p + n);
    return nBytes;
}

int64_t CRiffWriter::Seek(int64_t lOffset, int nOrigin)
{
    int64_t target;
    if (nOrigin == SEEK_SET)
        target = lOffset;
    else if (nOrigin == SEEK_CUR)
        target = Tell() + lOffset;
    else {
        Fail(EINVAL);
        return -1;
    }
    if (target < 0) {
        Fail(EINVAL);
        return -1;
    }
    if (!Flush())
        return -1;
    if (::lseek(m_fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        Fail(errno);
        return -1;
    }
    m_lBufStart = target;
    return target;
}

bool CRiffWriter::CreateChunk(MMCKINFO& ck, bool bRiffForm)
{
    uint8_t header[12];
    size_t n = 8;
    // A form is "RIFF" unless the record names one of its 64-bit kin.
    const uint32_t id = bRiffForm && !IsRiffFormId(ck.ckid) ? kFccRiff : ck.ckid;
    StoreU32(id, header);
    StoreU32(ck.cksize, header + 4);
    if (bRiffForm) {
        ck.ckid = id;
        StoreU32(ck.fccType, header + 8);
        n = 12;
    }
    const int64_t start = Tell();
    if (Write(header, static_cast<int64_t>(n)) != static_cast<int64_t>(n))
        return false;
    ck.dwDataOffset = start + 8; // just past the id and the size
    ck.dwFlags |= kFlagDirty;
    return true;
}

bool CRiffWriter::Ascend(MMCKINFO& ck)
{
    if (m_fd < 0)
        return Fail(EBADF);
    if (m_nErrno != 0)
        return false;
    const int64_t end = Tell();
    const int64_t size = end - ck.dwDataOffset;
    if (size < 0)
        return Fail(EINVAL);
    if (size > kMaxChunkBytes) // a RIFF size field cannot say more
        return Fail(EFBIG);
    if (size % 2 != 0) {
        const uint8_t pad = 0;
        if (Write(&pad, 1) != 1)
            return false;
    }
    if (static_cast<uint32_t>(size) != ck.cksize) {
        uint8_t field[4];
        StoreU32(static_cast<uint32_t>(size), field);
        const int64_t after = Tell();
        if (Seek(ck.dwDataOffset - 4, SEEK_SET) < 0 || Write(field, 4) != 4 || Seek(after, SEEK_SET) < 0)
            return false;
        ck.cksize = static_cast<uint32_t>(size);
    }
    ck.dwFlags &= ~kFlagDirty;
    return true;
}

int64_t CRiffWriter::AscendLarge(const MMCKINFO& ck)
{
    if (m_fd < 0) {
        Fail(EBADF);
        return -1;
    }
    const int64_t size = Tell() - ck.dwDataOffset;
    if (m_nErrno != 0 || size < 0)
        return -1;
    const uint8_t pad = 0;
    if (size % 2 != 0 && Write(&pad, 1) != 1)
        return -1;
    return size;
}

int64_t CRiffWriter::CopyByBlocks(int fdIn, int64_t lOffsetIn, int64_t nBytes)
{
    std::vector<uint8_t> block(static_cast<size_t>(std::min(nBytes, kCopyBlockBytes)));
    int64_t done = 0;
    while (done < nBytes) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(nBytes - done, static_cast<int64_t>(block.size())));
        const ssize_t r = ::pread(fdIn, block.data(), want, static_cast<off_t>(lOffsetIn + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            Fail(errno);
            return kReadFailed;
        }
        if (r == 0)
            break; // the source ended
        if (!WriteAll(block.data(), static_cast<size_t>(r)))
            return -1;
        done += r;
    }
    return done;
}

int64_t CRiffWriter::CopyFrom(int fdIn, int64_t lOffsetIn, int64_t nBytes)
{
    if (nBytes < 0 || lOffsetIn < 0 || !Flush())
        return -1;
    int64_t done = 0;
    while (done < nBytes && m_bKernelCopy) {
        loff_t offIn = lOffsetIn + done;
        const size_t want = static_cast<size_t>(std::min(nBytes - done, kKernelCopyBytes));
        const ssize_t r = ::copy_file_range(fdIn, &offIn, m_fd, nullptr, want, 0);
        if (r > 0) {
            done += r;
            m_lBufStart += r;
            StartWriteback();
        } else if (r == 0) {
            return done; // the source ended
        } else if (errno != EINTR) {
            // Files the kernel cannot copy between (EXDEV, EINVAL, ...) are
            // copied by hand; so is the rest after a failure, which then
            // shows whether reading or writing failed.
            m_bKernelCopy = false;
        }
    }
    if (done == nBytes)
        return done;
    const int64_t rest = CopyByBlocks(fdIn, lOffsetIn + done, nBytes - done);
    return rest < 0 ? rest : done + rest;
}

bool CRiffWriter::Close()
{
    if (m_fd >= 0 && m_bTemp) {
        Discard();
        return false;
    }
    if (m_fd < 0)
        return true;
    bool ok = m_nErrno == 0 && Flush();
    m_buf.clear();
    // close() can be the first to report a failed deferred write (network file
    // systems); a failure there means the file may not hold what was written.
    if (::close(m_fd) != 0 && errno != EINTR)
        ok = Fail(errno);
    m_fd = -1;
    return ok;
}
