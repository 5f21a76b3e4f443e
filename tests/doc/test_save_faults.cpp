// The save loop under faults: every fault leaves no file, the source as it
// was, and one message that says what happened. That a save cut short leaves
// only a temporary of ours is the writer's (AtomicOutput).
#include <unistd.h>

#include <functional>
#include <iostream>

#include "doc/DocFixture.h"
#include "support/FaultFs.h"

namespace {

// 600 s of 16-bit mono at 8000 frames/s: nine progress reports in a whole save.
constexpr uint32_t kRate = 8000;
constexpr int kLengthSec = 600;

struct Saver : SourceDoc {
    Saver() { Load(riff::WaveFile({1, kRate}, riff::Ramp16(size_t{kRate} * kLengthSec))); }
};

} // namespace

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
            const SegmentSaveResult res = s.Save(0, FrameOfSecond(s.doc, kLengthSec), agc, [&](double) {
                return done || (done = !r.during || r.during(s), true);
            });
            EXPECT_EQ(res.nError, r.code) << res.strMessage;
            std::set<std::string> after = faultfs::Names(s.folder);
            if (*r.saved) {
                EXPECT_EQ(res.strPath, s.Out(r.saved));
                EXPECT_EQ(after.erase(r.saved), 1u);
                if (!agc) {
                    const std::vector<uint8_t> data = Saver::Chunk(res.strPath, "data"); // every source sample
                    EXPECT_TRUE(data.size() >= s.src.size() - 44 &&
                                std::equal(s.src.begin() + 44, s.src.end(), data.begin()));
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
