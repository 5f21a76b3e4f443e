// The save loop under faults and crashes: a save killed at any point leaves
// no segment or a whole one; every fault leaves no file, the source as it
// was, and one message that says what happened.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <iostream>

#include "doc/DocFixture.h"
#include "platform/RiffWriter.h"
#include "support/FaultFs.h"

namespace {

// 600 s of 16-bit mono at 8000 frames/s: nine progress reports in a whole save.
constexpr uint32_t kRate = 8000;
constexpr int kLengthSec = 600;

struct Saver : SourceDoc {
    Saver() { Load(riff::WaveFile({1, kRate}, riff::Ramp16(size_t{kRate} * kLengthSec))); }
    SegmentSaveResult SaveAll(bool agc = false, const SegmentProgress& progress = {})
    {
        return Save(0, FrameOfSecond(doc, kLengthSec), agc, progress, 0);
    }
    // True when the file is the whole segment: every sample of the source.
    bool Whole(const std::string& path) const
    {
        const std::vector<uint8_t> data = Chunk(path, "data");
        return data.size() >= src.size() - 44 && std::equal(src.begin() + 44, src.end(), data.begin());
    }
};

// Runs a save in a child process that stops at every progress report until
// told to go on, and kills it with SIGKILL after nReports reports (or, with
// -1, once the save has returned). Returns false when no child could run.
bool KillSaveAt(Saver& s, int nReports, bool agc)
{
    int up[2], down[2];
    if (pipe(up) != 0 || pipe(down) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        char c = 0;
        s.SaveAll(agc, [&](double) { return write(up[1], "p", 1) == 1 && read(down[0], &c, 1) == 1; });
        if (write(up[1], "d", 1) == 1)
            pause();
        _exit(0);
    }
    char c = 0;
    for (int seen = 0; child > 0 && read(up[0], &c, 1) == 1;) {
        if ((c == 'p' && ++seen == nReports) || c == 'd')
            break;
        if (write(down[1], "g", 1) != 1)
            break;
    }
    if (child > 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    for (int fd : {up[0], up[1], down[0], down[1]})
        close(fd);
    return child > 0;
}

} // namespace

TEST(SaveFaults, AKilledSaveLeavesNoSegmentOrAWholeOne)
{
    const struct {
        int reports;
        bool agc, unnamed;
    } rows[] = {
        {1, false, true},  {5, false, true},  {9, false, true},   {-1, false, true}, // 9: the last report
        {1, false, false}, {9, false, false}, {-1, false, false}, {1, true, true},   {-1, true, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "killed after report " << r.reports << (r.agc ? ", AGC" : "")
                                        << (r.unnamed ? "" : ", named temporary"));
        Saver s;
        s.doc.m_wave.m_bUnnamedOutput = r.unnamed;
        ASSERT_TRUE(KillSaveAt(s, r.reports, r.agc));
        bool segment = false;
        for (const std::string& n : faultfs::Names(s.folder)) {
            if (n == "cut_001.wav") {
                segment = true;
                if (!r.agc) {
                    EXPECT_TRUE(s.Whole(s.Out("cut_001.wav")));
                }
                EXPECT_EQ(Saver::Chunk(s.Out("cut_001.wav"), "data").size(),
                          2 * 4800512u); // 2344 whole blocks
            } else {
                EXPECT_EQ(n.rfind(CRiffWriter::kTempPrefix, 0), 0u) << n; // at most a temporary of ours
                EXPECT_FALSE(r.unnamed) << n;
            }
        }
        EXPECT_EQ(segment, r.reports == -1);
        EXPECT_EQ(riff::ReadFile(s.srcPath), s.src);
    }
}

// Faults while the segment is written, with and without AGC; the refusals of
// the open (a missing or read-only folder, a folder named) are the writer's
// (AtomicOutput) and their messages are checked through tavirel-cli cut.
TEST(SaveFaults, EveryFaultEndsWithNoFileAndOneMessage)
{
    struct Row {
        const char* name;
        std::function<bool(Saver&)> stage;  // false: the fault cannot be staged here
        std::function<bool(Saver&)> during; // at every progress report
        int code;
        const char* saved;   // the segment's name, or "" when none
        const char* message; // a part of the message
    };
    const auto none = [](Saver&) { return true; };
    const Row rows[] = {
        {"source truncated while read", none, [](Saver& s) { return ::truncate(s.srcPath.c_str(), 1 << 20) == 0; },
         WAVE_ERR_READ, "", "became shorter while it was read"},
        {"source deleted while read", none,
         [](Saver& s) {
             ::unlink(s.srcPath.c_str());
             return true;
         },
         WAVE_OK, "cut_001.wav", ""},
        {"full file system", [](Saver& s) { return ::mount("tmpfs", s.folder.c_str(), "tmpfs", 0, "size=1m") == 0; },
         nullptr, WAVE_ERR_WRITE, "", "(No space left on device)"},
        {"numbered name is a folder", [](Saver& s) { return std::filesystem::create_directory(s.Out("cut_001.wav")); },
         nullptr, WAVE_OK, "cut_002.wav", ""},
        {"numbered name is a symbolic link to the source",
         [](Saver& s) { return ::symlink(s.srcPath.c_str(), s.Out("cut_001.wav").c_str()) == 0; }, nullptr, WAVE_OK,
         "cut_002.wav", ""},
        {"numbered name is a hard link to the source",
         [](Saver& s) { return ::link(s.srcPath.c_str(), s.Out("cut_001.wav").c_str()) == 0; }, nullptr, WAVE_OK,
         "cut_002.wav", ""},
    };
    for (const bool agc : {false, true}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(r.name) + (agc ? ", AGC" : ""));
            Saver s;
            if (!r.stage(s)) {
                std::cout << "skipped \"" << r.name << "\": mounting a tmpfs was refused (needs root)\n";
                continue;
            }
            const std::set<std::string> before = faultfs::Names(s.folder);
            bool done = false;
            const SegmentSaveResult res =
                s.SaveAll(agc, [&](double) { return done || (done = !r.during || r.during(s), true); });
            EXPECT_EQ(res.nError, r.code) << res.strMessage;
            std::set<std::string> after = faultfs::Names(s.folder);
            if (*r.saved) {
                EXPECT_EQ(res.strPath, s.Out(r.saved));
                EXPECT_EQ(after.erase(r.saved), 1u);
                if (!agc) {
                    EXPECT_TRUE(s.Whole(res.strPath));
                }
                EXPECT_TRUE(res.strMessage.empty());
            } else {
                EXPECT_NE(res.strMessage.find(r.message), std::string::npos) << res.strMessage;
                EXPECT_EQ(res.strMessage.rfind("The segment was not saved: ", 0), 0u) << res.strMessage;
            }
            EXPECT_EQ(after, before);
            if (std::filesystem::exists(s.srcPath) && r.code != WAVE_ERR_READ) {
                EXPECT_EQ(riff::ReadFile(s.srcPath), s.src);
            }
            ::umount2(s.folder.c_str(), MNT_DETACH); // a staged tmpfs, if any
        }
    }
}
