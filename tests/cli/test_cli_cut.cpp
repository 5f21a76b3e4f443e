// tavirel-cli cut on faults: exit status 1, the save loop's one message on
// standard error, and no file left in the destination folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>

#include "support/FaultFs.h"
#include "support/TempFolder.h"
#include "support/WaveBytes.h"

namespace {

// The program built with this test, as CMake names it.
std::string CliPath()
{
    return TAVIREL_CLI_PATH;
}

// Runs the command after a shell prefix, with its standard error captured;
// the exit status.
int RunCut(const std::string& prefix, const std::string& args, std::string& err)
{
    const TempFolder dir;
    const std::string errFile = dir / "err.txt";
    const int status = std::system((prefix + CliPath() + " cut " + args + " >/dev/null 2>" + errFile).c_str());
    const std::vector<uint8_t> e = riff::ReadFile(errFile);
    err.assign(e.begin(), e.end());
    std::remove(errFile.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(CliCut, FaultsExitOneWithTheSaveMessageAndLeaveNoFile)
{
    if (access(CliPath().c_str(), X_OK) != 0)
        GTEST_SKIP() << CliPath() << " is not built";
    char tmpl[] = "/tmp/tavirel-cli-cut-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl, src = dir + "/src.wav", out = dir + "/out";
    const riff::Bytes wave = riff::WaveFile({2, 48000}, riff::Ramp16(2 * 48000 * 20)); // 20 s, 3.7 MB
    ASSERT_TRUE(riff::WriteFile(src, wave));
    const std::string tail = ". No segment file was left behind; the source was not written to.\n";
    const struct {
        const char* name;
        std::function<bool()> stage;
        std::string dest, message, prefix = "";
    } rows[] = {
        {"file size limit", [] { return true; }, out + "/cut.wav",
         "writing " + out + "/cut_001.wav failed (File too large)", "ulimit -f 2048; trap '' XFSZ; "},
        {"missing folder", [] { return true; }, out + "/none/cut.wav",
         "no file can be created in the folder " + out + "/none (No such file or directory)"},
        {"destination is a folder", [] { return true; }, out + "/",
         "the destination " + out + "/ names a folder, not a file"},
        {"read-only folder", [&] { return ::mount("tmpfs", out.c_str(), "tmpfs", MS_RDONLY, "size=1m") == 0; },
         out + "/cut.wav", "no file can be created in the folder " + out + " (Read-only file system)"},
        {"full file system", [&] { return ::mount("tmpfs", out.c_str(), "tmpfs", 0, "size=1m") == 0; },
         out + "/cut.wav", "writing " + out + "/cut_001.wav failed (No space left on device)"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::filesystem::create_directory(out);
        if (!r.stage()) {
            std::cout << "skipped \"" << r.name << "\": mounting a tmpfs was refused (needs root)\n";
            continue;
        }
        std::string err;
        EXPECT_EQ(RunCut(r.prefix, src + " --from 0 --to 20 --dest " + r.dest, err), 1);
        EXPECT_EQ(err, "tavirel-cli cut: The segment was not saved: " + r.message + tail);
        EXPECT_EQ(faultfs::Names(out), std::set<std::string>{});
        EXPECT_EQ(riff::ReadFile(src), wave.v);
        ::umount2(out.c_str(), MNT_DETACH);
        std::filesystem::remove_all(out);
    }
    std::filesystem::remove_all(dir);
}

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

// Runs a shell command line; its standard output and error apart.
CliRun Shell(const std::string& dir, const std::string& command)
{
    const std::string errFile = dir + "/stderr.txt";
    CliRun run;
    FILE* pipe = ::popen((command + " 2>" + errFile).c_str(), "r");
    if (!pipe)
        return run;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        run.out.append(buf, n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const std::vector<uint8_t> e = riff::ReadFile(errFile);
    run.err.assign(e.begin(), e.end());
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

int16_t SourceSample(int64_t frame)
{
    return static_cast<int16_t>(frame % 30011);
}

// A value of a flat JSON object line: the text after "key": up to the next comma or brace.
std::string JsonField(const std::string& line, const std::string& key)
{
    const size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos)
        return "?";
    const size_t from = at + key.size() + 3, to = line.find_first_of(",}", from);
    return line.substr(from, to - from);
}

} // namespace

// Every way of giving the ends cuts the frames asked for: sox counts the
// frames of each file written, its first sample is the source's at the first
// frame, and --json tells the same.
TEST(CliCut, EveryFormOfTheEndsCutsTheFramesSoxCounts)
{
    const TempFolder tmp;
    const std::string dir = tmp.path.string(), src = dir + "/src.wav", list = dir + "/list.csv";
    riff::WaveShape shape(1, 8000);
    shape.auxi = riff::AuxiPayload(SYSTEMTIME{2026, 6, 0, 21, 9, 7, 0, 0}, SYSTEMTIME{2026, 6, 0, 21, 9, 7, 20, 0});
    const riff::Bytes data = riff::Gen16(160000, [](size_t i) { return SourceSample(static_cast<int64_t>(i)); });
    ASSERT_TRUE(riff::WriteFile(src, riff::WaveFile(shape, data)));
    WriteText(list, "from_s,to_s,label\n# two bursts\n3,3.5,late\n1.25,2.5,early\n");
    const struct {
        const char* proves;
        std::string args;
        std::vector<std::pair<int64_t, int64_t>> spans; // first frame and frames of each file, in order
        std::string label;                              // of the first file
    } rows[] = {
        {"seconds with decimals", "--from 1.25 --to 2.5", {{10000, 10000}}, ""},
        {"frames", "--from-frame 777 --to-frame 5000", {{777, 4223}}, ""},
        {"the recording's time of day", "--from 09:07:01.25 --to 09:07:02.5", {{10000, 10000}}, ""},
        {"a date and time, and seconds", "--from 2026-06-21T09:07:01.25Z --to 2.5", {{10000, 10000}}, ""},
        {"seconds and a frame", "--from 3 --to-frame 24001", {{24000, 1}}, ""},
        {"a list: one file per row in time order", "--segments " + list, {{10000, 10000}, {24000, 4000}}, "early"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        const std::string out = dir + "/out";
        std::filesystem::create_directory(out);
        const CliRun run = Shell(dir, CliPath() + " cut " + src + " " + r.args + " --json --dest " + out + "/cut.wav");
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> lines = Lines(run.out);
        ASSERT_EQ(lines.size(), r.spans.size()) << run.out;
        for (size_t i = 0; i < lines.size(); ++i) {
            const auto [first, frames] = r.spans[i];
            const std::string path = out + "/cut_00" + std::to_string(i + 1) + ".wav";
            const int64_t blocks = (frames + 2047) / 2048;
            const CliRun sox = Shell(dir, "sox --i -s " + path);
            EXPECT_EQ(sox.out, std::to_string(blocks * 2048) + "\n") << sox.err;
            const std::vector<uint8_t> d = riff::ParseWave(riff::ReadFile(path)).payload["data"];
            ASSERT_GE(d.size(), 2u);
            EXPECT_EQ(static_cast<int16_t>(d[0] | d[1] << 8), SourceSample(first));
            EXPECT_EQ(JsonField(lines[i], "path"), "\"" + path + "\"");
            EXPECT_EQ(JsonField(lines[i], "first_frame"), std::to_string(first));
            EXPECT_EQ(JsonField(lines[i], "frames"), std::to_string(blocks * 2048));
        }
        EXPECT_EQ(JsonField(lines[0], "label"), "\"" + r.label + "\"");
        std::filesystem::remove_all(out);
    }
    // The times of a file: the recording's clock at both ends, to the millisecond.
    const CliRun run =
        Shell(dir, CliPath() + " cut " + src + " --from 1.25 --to-frame 20001 --json --dest " + dir + "/t.wav");
    EXPECT_EQ(JsonField(run.out, "start"), "\"2026-06-21T09:07:01.250\"");
    EXPECT_EQ(JsonField(run.out, "stop"), "\"2026-06-21T09:07:02.500\"");
}

// Ends and lists that cannot give a sound segment are usage errors that name
// the fault, and nothing is written.
TEST(CliCut, UnsoundEndsAndListsWriteNothing)
{
    const TempFolder tmp;
    const std::string dir = tmp.path.string(), src = dir + "/src.wav", list = dir + "/list.csv", out = dir + "/out";
    ASSERT_TRUE(riff::WriteFile(src, riff::WaveFile({1, 8000}, riff::Ramp16(80000)))); // 10 s
    WriteText(list, "from_s,to_s,label\n1,2,good\n5,x,bad\n");
    const struct {
        std::string args;
        const char* says;
    } rows[] = {
        {"--from 2 --to 1.5", "--to must come after --from"},
        {"--from 1.5 --to 1.5", "--to must come after --from"},
        {"--from 1 --to 10.5", "past the end of the source, which is 10 seconds long (80000 frames)"},
        {"--from-frame 5 --to-frame 80001", "past the end"},
        {"--from -1 --to 2", "is not a position"},
        {"--from 1 --from-frame 5 --to 2", "both give the start"},
        {"--from-frame 1.5 --to 2", "--from-frame needs whole frames"},
        {"--segments " + list + " --from 1", "give no --from"},
        {"--segments " + list, "Line 3"},
        {"--from 1", "--to is missing"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.args);
        std::filesystem::create_directory(out);
        const CliRun run = Shell(dir, CliPath() + " cut " + src + " " + r.args + " --dest " + out + "/cut.wav");
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
        EXPECT_EQ(faultfs::Names(out), std::set<std::string>{});
        std::filesystem::remove_all(out);
    }
}
