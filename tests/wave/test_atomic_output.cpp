// Segment outputs that appear only when complete: every fault while writing
// leaves nothing behind and the source as it was; names taken meanwhile are
// passed over; stale temporaries of ours are cleared and nothing else.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>

#include "platform/RiffWriter.h"
#include "support/FaultFs.h"
#include "wave/wave_test_util.h"

namespace {

constexpr int64_t kSourceFrames = 1 << 19; // 2 MiB of 16-bit stereo

// A source whose reads of the bytes [400000, 500000) fail with EIO, as a bad
// sector does; it offers no view of its bytes, so every one is read.
class FailingSource : public CByteSource {
public:
    explicit FailingSource(std::vector<uint8_t> bytes) : m_mem(std::move(bytes)) {}
    int64_t Read(void* p, int64_t n) override
    {
        if (Tell() < 500000 && Tell() + n > 400000) {
            errno = EIO;
            return -1;
        }
        return m_mem.Read(p, n);
    }
    bool Seek(int64_t offset) override { return m_mem.Seek(offset); }
    int64_t Tell() const override { return m_mem.Tell(); }
    int64_t Size() const override { return m_mem.Size(); }

private:
    CMemoryByteSource m_mem;
};

// Copies the whole source of w; the writer's code.
int Copy(CRiffWaveFile& w)
{
    if (w.CopyFrames(kSourceFrames) == kSourceFrames)
        w.CloseOutput();
    return w.m_nError;
}

// Reads and writes blocks until something fails; a read failure is
// abandoned, as the save loop does.
int Blocks(CRiffWaveFile& w)
{
    std::vector<int32_t> block(4096);
    int progress = 0;
    for (;;) {
        const int n = w.ReadBlock(block.data(), 2048, &progress);
        if (n < 0) {
            w.AbandonOutput();
            return w.m_nError;
        }
        if (n == 0 || w.WriteBlock(block.data(), 2048) != 2048)
            break;
    }
    w.CloseOutput();
    return w.m_nError;
}

} // namespace

TEST(AtomicOutput, EveryFaultLeavesNothingAndTheSourceAsItWas)
{
    enum { kGood, kEio, kShortened };                // the source: EIO on part of its bytes, or cut short once opened
    enum { kNoLimit, kLimitFirst, kLimitAfterOpen }; // a 1 MiB file size limit
    enum { kOpenOnly, kCopy, kBlocks };
    enum { kAnyFs, kFullFs, kReadOnlyFs };
    const struct {
        const char* name;
        int source;
        int fs; // a tmpfs over the destination folder: full, or read-only
        const char* dest;
        bool rf64; // planned past 4 GiB
        int limit, run, code, err;
    } rows[] = {
        {"size limit, blocks (RF64)", kGood, kAnyFs, "/cut.wav", true, kLimitFirst, kBlocks, WAVE_ERR_WRITE, EFBIG},
        {"size limit, byte copy", kGood, kAnyFs, "/cut.wav", false, kLimitAfterOpen, kCopy, WAVE_ERR_WRITE, EFBIG},
        {"full file system", kGood, kFullFs, "/cut.wav", false, kNoLimit, kCopy, WAVE_ERR_WRITE, ENOSPC},
        {"read-only folder", kGood, kReadOnlyFs, "/cut.wav", false, kNoLimit, kOpenOnly, WAVE_ERR_CREATE, EROFS},
        {"missing folder", kGood, kAnyFs, "/none/cut.wav", false, kNoLimit, kOpenOnly, WAVE_ERR_CREATE, ENOENT},
        {"a folder as the destination", kGood, kAnyFs, "/", false, kNoLimit, kOpenOnly, WAVE_ERR_CREATE, EISDIR},
        {"read error, byte copy", kEio, kAnyFs, "/cut.wav", false, kNoLimit, kCopy, WAVE_ERR_READ, EIO},
        {"read error, blocks", kEio, kAnyFs, "/cut.wav", false, kNoLimit, kBlocks, WAVE_ERR_READ, EIO},
        {"source shortened, byte copy", kShortened, kAnyFs, "/cut.wav", false, kNoLimit, kCopy, WAVE_ERR_READ, 0},
        {"source shortened, blocks", kShortened, kAnyFs, "/cut.wav", false, kNoLimit, kBlocks, WAVE_ERR_READ, 0},
    };
    for (const bool unnamed : {true, false}) {
        for (const auto& r : rows) {
            SCOPED_TRACE(std::string(r.name) + (unnamed ? ", unnamed temporary" : ", named temporary"));
            // The source in its own folder, an empty destination folder.
            TempFolder dir;
            const std::string src = dir / "src.wav", out = dir / "out";
            const Bytes bytes = Wave(FmtPayload(1, 2, 48000, 16), riff::Ramp16(2 * kSourceFrames));
            riff::WriteFile(src, bytes);
            std::filesystem::create_directory(out);
            CRiffWaveFile w;
            w.m_bUnnamedOutput = unnamed;
            std::optional<faultfs::Mount> mount;
            if (r.fs != kAnyFs &&
                !mount.emplace(out, r.fs == kFullFs ? "size=256k" : "size=1m", r.fs == kReadOnlyFs).Ok()) {
                std::cout << "skipped \"" << r.name << "\": mounting a tmpfs was refused (needs root)\n";
                continue;
            }
            std::optional<faultfs::SizeLimit> limit;
            if (r.limit == kLimitFirst)
                limit.emplace(1 << 20);
            int rc = (r.source == kEio ? OpenFrom(w, std::make_unique<FailingSource>(bytes.v)) : OpenFrom(w, src)).rc;
            const uint64_t planned = r.rf64 ? uint64_t{3} << 30 : kSourceFrames;
            if (rc == WAVE_OK)
                rc = w.OpenOutput(out + r.dest, &kStereo16, 2048, 0, NAME_NUMBERED, nullptr, planned);
            if (rc == WAVE_OK && r.run != kOpenOnly) {
                if (r.limit == kLimitAfterOpen)
                    limit.emplace(1 << 20);
                if (r.source == kShortened) {
                    EXPECT_EQ(::truncate(src.c_str(), 300000), 0);
                }
                rc = r.run == kCopy ? Copy(w) : Blocks(w);
            }
            limit.reset();
            EXPECT_EQ(rc, r.code);
            EXPECT_EQ(w.m_nErrno, r.err) << std::strerror(w.m_nErrno);
            EXPECT_EQ(faultfs::Names(out), std::set<std::string>{});
            EXPECT_FALSE(w.m_bOutOpen);
            if (r.source != kShortened) {
                EXPECT_EQ(ReadFile(src), bytes.v);
            }
        }
    }
}

// While a segment is written only a temporary of ours exists, never the
// segment's name; a name taken meanwhile is passed over when the segment is
// named, never replaced; two outputs of one folder get two numbers.
TEST(AtomicOutput, OnlyATemporaryUntilNamedAndTakenNamesPassedOver)
{
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
        TempFolder dir;
        CRiffWaveFile a, b;
        a.m_bUnnamedOutput = b.m_bUnnamedOutput = unnamed;
        ASSERT_EQ(a.OpenOutput(dir / "cut.wav", &kMono16, 64, 0, NAME_NUMBERED, nullptr), WAVE_OK);
        EXPECT_EQ(a.m_strOutFile, dir / "cut_001.wav");
        const std::vector<int32_t> block(64, 0x10000);
        ASSERT_EQ(a.WriteBlock(block.data(), 64), 64);
        const std::set<std::string> during = faultfs::Names(dir.path.string());
        EXPECT_TRUE(during.size() == 1 || (unnamed && during.empty())) << during.size();
        for (const std::string& n : during)
            EXPECT_EQ(n.rfind(CRiffWriter::kTempPrefix, 0), 0u) << n;
        riff::WriteFile(dir / "cut_001.wav", Bytes{'o'});
        ASSERT_EQ(b.OpenOutput(dir / "cut.wav", &kMono16, 64, 0, NAME_NUMBERED, nullptr), WAVE_OK);
        EXPECT_EQ(b.m_strOutFile, dir / "cut_002.wav");
        a.CloseOutput();
        b.CloseOutput();
        EXPECT_EQ(std::pair(a.m_strOutFile, b.m_strOutFile), std::pair(dir / "cut_002.wav", dir / "cut_003.wav"));
        EXPECT_EQ(ReadFile(dir / "cut_001.wav"), std::vector<uint8_t>{'o'});
        for (const char* n : {"cut_002.wav", "cut_003.wav"})
            EXPECT_EQ(riff::ParseWave(ReadFile(dir / n)).order, (std::vector<std::string>{"fmt ", "data"})) << n;
        EXPECT_EQ(faultfs::Names(dir.path.string()),
                  (std::set<std::string>{"cut_001.wav", "cut_002.wav", "cut_003.wav"}));
    }
}

// The next save into a folder removes the temporaries that an earlier run
// left (older than this program, their process gone) and nothing else.
TEST(AtomicOutput, StaleTemporariesOfOursAreRemovedByTheNextSave)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0); // a process id that no longer runs
    const std::string gone = std::to_string(child), self = std::to_string(getpid());
    const struct {
        std::string name;
        int64_t age;
        bool dir, removed;
    } rows[] = {
        {".tavirel-" + gone + "-1.part", 3600, false, true},
        {".tavirel-" + gone + "-2.part", -5, false, false},   // written since this program started
        {".tavirel-" + self + "-3.part", 3600, false, false}, // its process still runs
        {".tavirel-" + gone + "-4.part", 3600, true, false},  // a folder
        {".tavirel-" + gone + "-5.partial", 3600, false, false},
        {".tavirel-" + gone + "-x.part", 3600, false, false},
        {"tavirel-" + gone + "-6.part", 3600, false, false},
    };
    TempFolder dir;
    for (const auto& r : rows) {
        const std::string p = dir / r.name;
        if (r.dir)
            std::filesystem::create_directory(p);
        else
            riff::WriteFile(p, Bytes{'x'});
        const struct timespec t[2] = {{CRiffWriter::ProgramStart() - r.age, 0},
                                      {CRiffWriter::ProgramStart() - r.age, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), t, 0), 0);
    }
    CRiffWaveFile w;
    w.m_bUnnamedOutput = false;
    ASSERT_EQ(w.OpenOutput(dir / "cut.wav", &kStereo16, 2048, 0, NAME_NUMBERED, nullptr), WAVE_OK);
    w.CloseOutput();
    const std::set<std::string> left = faultfs::Names(dir.path.string());
    for (const auto& r : rows)
        EXPECT_EQ(left.count(r.name), r.removed ? 0u : 1u) << r.name;
    EXPECT_EQ(left.count("cut_001.wav"), 1u);
}

// An output named without a number replaces a regular file or a symbolic link,
// never a folder, device or FIFO: writing to /dev/null as root must not turn it
// into a wave file. Told not to replace, it replaces nothing, not even a file
// made at its name while it was written, whichever temporary it writes.
TEST(AtomicOutput, UnnumberedOutputReplacesOnlyFiles)
{
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
        TempFolder dir;
        const std::string fifo = dir / "pipe.wav", folder = dir / "folder.wav", file = dir / "old.wav",
                          kept = dir / "keep.wav", late = dir / "late.wav";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::filesystem::create_directory(folder);
        riff::WriteFile(file, Bytes{'x'});
        riff::WriteFile(kept, Bytes{'k'});
        const struct {
            std::string path;
            bool bReplace;
            int rc, err; // of OpenOutput
            int closeRc; // of CloseOutput, after an open that succeeded
        } rows[] = {
            {fifo, true, WAVE_ERR_CREATE, EEXIST, 0},   {folder, true, WAVE_ERR_CREATE, EISDIR, 0},
            {file, true, WAVE_OK, 0, WAVE_OK},          {kept, false, WAVE_OK, 0, WAVE_ERR_CREATE},
            {late, false, WAVE_OK, 0, WAVE_ERR_CREATE}, // made while the output was written
        };
        for (const auto& r : rows) {
            CRiffWaveFile w;
            w.m_bUnnamedOutput = unnamed;
            w.m_bReplaceOutput = r.bReplace;
            EXPECT_EQ(w.OpenOutput(r.path, &kStereo16, 2048, 0, 0, nullptr), r.rc) << r.path;
            EXPECT_EQ(w.m_nErrno, r.err) << r.path;
            if (r.path == late)
                riff::WriteFile(late, Bytes{'l'});
            if (r.rc == WAVE_OK) {
                w.CloseOutput();
                EXPECT_EQ(w.m_nError, r.closeRc) << r.path;
            }
        }
        struct stat st;
        ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
        EXPECT_EQ(faultfs::Names(dir.path.string()),
                  (std::set<std::string>{"pipe.wav", "folder.wav", "old.wav", "keep.wav", "late.wav"}));
        EXPECT_GT(std::filesystem::file_size(file), 1u);
        EXPECT_EQ(riff::ReadFile(kept), std::vector<uint8_t>{'k'});
        EXPECT_EQ(riff::ReadFile(late), std::vector<uint8_t>{'l'});
    }
}
