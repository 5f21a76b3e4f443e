// tavirel-cli cut on faults: exit status 1, the save loop's one message on
// standard error, and no file left in the destination folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
