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
    // Creates a file that has no final name yet in the folder (empty: the
    // current one): an unnamed one (O_TMPFILE) where the file system allows it
    // and bUnnamed is set, else ".tavirel-PID-N.part" there, created
    // exclusively. A crash leaves no file or only such a temporary one. Every
    // earlier temporary of ours in the folder that is older than this program
    // and whose program is gone is removed first. False on failure (Errno()).
    bool CreateTemp(const std::string& folder, bool bUnnamed = true);
    // Gives a file made by CreateTemp its name after flushing it and, with
    // bSync, writing it to the disk (fsync of the file and, after the naming,
    // of the folder). Without bReplace an existing name is never replaced:
    // false with Errno() EEXIST, and the file stays temporary for another try.
    // Other failures end the file like Discard.
    bool Publish(const std::string& path, bool bReplace, bool bSync);
    // Whether a temporary's bytes go to the disk while it is written (on by
    // default): for one that Publish will sync, so that the sync finds
    // little left to write.
    void SetEarlyWriteback(bool bOn) { m_bEarlyWriteback = bOn; }
    // Closes the file; a temporary one that has no name yet is removed.
    void Discard();
    bool IsOpen() const { return m_fd >= 0; }
    // The named temporary file's path ("" for an unnamed or a plain file).
    const std::string& TempPath() const { return m_strTempPath; }
    // The file names CreateTemp gives its temporaries: this prefix, the process
    // id, "-", a running number and this suffix.
    static constexpr const char* kTempPrefix = ".tavirel-";
    static constexpr const char* kTempSuffix = ".part";
    // Removes the temporaries of ours in folder whose modification time is
    // before tBefore (seconds since 1970) and whose process is no longer
    // running. Returns how many were removed.
    static int RemoveStaleTemps(const std::string& folder, int64_t tBefore);
    // When this program started (seconds since 1970).
    static int64_t ProgramStart();

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
    // Returns the bytes copied (fewer when fdIn ends first), -1 when writing
    // failed, kReadFailed when reading fdIn failed (Errno() says why).
    int64_t CopyFrom(int fdIn, int64_t lOffsetIn, int64_t nBytes);
    static constexpr int64_t kReadFailed = -2;
    // Moves to an absolute offset (SEEK_SET) or relative to the current
    // position (SEEK_CUR); returns the new offset or -1.
    int64_t Seek(int64_t lOffset, int nOrigin);
    // The current logical position, buffered bytes included.
    int64_t Tell() const { return m_lBufStart + static_cast<int64_t>(m_buf.size()); }

    // Writes the buffered bytes to the file.
    bool Flush();
    // Flushes and closes; false when the flush or the close failed. The
    // descriptor is released either way; closing twice is harmless. A
    // temporary file that has no name yet is removed (Discard).
    bool Close();

    // errno of the first failure (0 when none). After a failure every further
    // write fails too, so a half-written file is never reported as complete.
    int Errno() const { return m_nErrno; }

private:
    bool WriteAll(const uint8_t* p, size_t n);
    // CopyFrom's fallback for one piece; as CopyFrom.
    int64_t CopyByBlocks(int fdIn, int64_t lOffsetIn, int64_t nBytes);
    bool Fail(int err);

    // Starts the disk writes of a temporary's bytes written since the last
    // start, once there are kWritebackBytes of them (without waiting), when
    // the file is to be synced.
    void StartWriteback();
    bool m_bEarlyWriteback = true;
    static constexpr int64_t kWritebackBytes = 8LL << 20;
    int64_t m_lWritebackEnd = 0;
    // The link step of Publish; 0 or errno.
    int LinkTemp(const std::string& path, bool bReplace);

    int m_fd = -1;
    int m_nErrno = 0;
    bool m_bTemp = false;       // made by CreateTemp and not yet named
    std::string m_strTempPath;  // the named temporary ("" when unnamed)
    std::string m_strFolder;    // the folder of a temporary
    int64_t m_lBufStart = 0;    // file offset of m_buf[0]
    bool m_bKernelCopy = true;  // copy_file_range has not been refused yet
    std::vector<uint8_t> m_buf; // bytes written but not yet in the file
};
