// tavirel-cli cut: every way of giving the ends cuts the frames sox counts,
// and every fault exits 1 with the save loop's one message and no file.
#include "cli/CliRun.h"

namespace {

int16_t SourceSample(size_t frame)
{
    return static_cast<int16_t>(frame % 30011);
}

} // namespace

TEST_F(CliTest, CutFaultsExitOneWithTheSaveMessageAndLeaveNoFile)
{
    const std::string src = Path("src.wav"), out = Out();
    const riff::Bytes wave = riff::WaveFile({2, 48000}, riff::Ramp16(2 * 48000 * 20)); // 20 s, 3.7 MB
    ASSERT_TRUE(riff::WriteFile(src, wave));
    // One row per message of the save loop: a write that failed, a folder no file can be made in, a folder named.
    const struct {
        const char* name;
        std::string dest, message, prefix = "";
    } rows[] = {
        {"file size limit", out + "/cut.wav", "writing " + out + "/cut_001.wav failed (File too large)",
         "ulimit -f 2048; trap '' XFSZ; "},
        {"missing folder", out + "/none/cut.wav",
         "no file can be created in the folder " + out + "/none (No such file or directory)"},
        {"destination is a folder", out + "/", "the destination " + out + "/ names a folder, not a file"},
    };
    for (const auto& r : rows) {
        FreshOut();
        const CliRun run = RunCli({"cut", src, "--from", "0", "--to", "20", "--dest", r.dest}, r.prefix);
        EXPECT_EQ(run.status, 1) << r.name;
        EXPECT_EQ(run.err, "tavirel-cli cut: The segment was not saved: " + r.message +
                               ". No segment file was left behind; the source was not written to.\n");
        ExpectOutEmpty(r.name);
        EXPECT_EQ(riff::ReadFile(src), wave.v) << r.name;
    }
}

// sox counts the frames of each file written, its first sample is the
// source's at the first frame, and --json tells the same.
TEST_F(CliTest, EveryFormOfTheEndsCutsTheFramesSoxCounts)
{
    const std::string src = Path("src.wav"), list = Path("list.csv");
    riff::WaveShape shape(1, 8000);
    shape.auxi = riff::AuxiPayload(SYSTEMTIME{2026, 6, 0, 21, 9, 7, 0, 0}, SYSTEMTIME{2026, 6, 0, 21, 9, 7, 20, 0});
    ASSERT_TRUE(riff::WriteFile(src, riff::WaveFile(shape, riff::Gen16(160000, SourceSample))));
    ASSERT_TRUE(
        riff::WriteFile(list, riff::Bytes::Text("from_s,to_s,label\n# two bursts\n3,3.5,late\n1.25,2.5,early\n")));
    const struct {
        const char* proves;
        std::vector<std::string> ends;
        std::vector<std::pair<size_t, int64_t>> spans; // first frame and frames of each file, in order
        std::string label;                             // of the first file
    } rows[] = {
        {"seconds with decimals", {"--from", "1.25", "--to", "2.5"}, {{10000, 10000}}, ""},
        {"frames", {"--from-frame", "777", "--to-frame", "5000"}, {{777, 4223}}, ""},
        {"the recording's time of day", {"--from", "09:07:01.25", "--to", "09:07:02.5"}, {{10000, 10000}}, ""},
        {"seconds and a frame", {"--from", "3", "--to-frame", "24001"}, {{24000, 1}}, ""},
        {"a list: one file per row in time order", {"--segments", list}, {{10000, 10000}, {24000, 4000}}, "early"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        FreshOut();
        std::vector<std::string> args{"cut", src, "--json", "--dest", Out() + "/cut.wav"};
        args.insert(args.end(), r.ends.begin(), r.ends.end());
        const CliRun run = RunCli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        size_t at = 0;
        for (size_t i = 0; i < r.spans.size(); ++i, ++at) {
            const size_t end = run.out.find('\n', at);
            ASSERT_NE(end, std::string::npos) << run.out;
            const std::string line = run.out.substr(at, end - at),
                              path = Out() + "/cut_00" + std::to_string(i + 1) + ".wav";
            at = end;
            const auto [first, frames] = r.spans[i];
            const std::string padded = std::to_string((frames + 2047) / 2048 * 2048);
            EXPECT_EQ(Shell("sox --i -s " + ShellQuoted(path)).out, padded + "\n");
            const std::vector<uint8_t> d = riff::ParseWave(riff::ReadFile(path)).payload["data"];
            ASSERT_GE(d.size(), 2u);
            EXPECT_EQ(static_cast<int16_t>(d[0] | d[1] << 8), SourceSample(first));
            EXPECT_EQ(JsonField(line, "path"), "\"" + path + "\"");
            EXPECT_EQ(JsonField(line, "first_frame"), std::to_string(first));
            EXPECT_EQ(JsonField(line, "frames"), padded);
            if (i == 0) {
                EXPECT_EQ(JsonField(line, "label"), "\"" + r.label + "\"");
            }
        }
        EXPECT_EQ(at, run.out.size()) << "one line per file";
    }
    // The times of a file: the recording's clock at both ends, to the millisecond.
    const CliRun run = RunCli({"cut", src, "--from", "1.25", "--to-frame", "20001", "--json", "--dest", Path("t.wav")});
    EXPECT_EQ(JsonField(run.out, "start"), "\"2026-06-21T09:07:01.250\"");
    EXPECT_EQ(JsonField(run.out, "stop"), "\"2026-06-21T09:07:02.500\"");
}
