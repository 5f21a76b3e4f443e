// tavirel-cli info --json: one line of keys per file; exit 0 when all open, 1 when one fails, 2 on usage errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "support/TempFolder.h"
#include "support/WaveBytes.h"

namespace {

int Info(std::vector<std::string> args, std::string* out = nullptr)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    const int status = CmdInfo(static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    const std::string o = testing::internal::GetCapturedStdout();
    if (out)
        *out = o;
    return status;
}

} // namespace

TEST(CliInfo, JsonKeysAndExitCodes)
{
    const TempFolder dir;
    const std::string good = dir / "good.wav", bad = dir / "missing.wav";
    riff::Bytes auxi;
    auxi.Time(2024, 3, 10, 12, 0, 0)
        .Time(2024, 3, 10, 12, 0, 10)
        .U32(14070000)
        .U32(64000000)
        .U32(0)
        .U32(192000)
        .Fill(24, 0);
    riff::WriteFile(
        good, riff::Wave(riff::FmtPayload(1, 2, 8000, 16), riff::Bytes().Fill(10000, 0), {riff::Chunk("auxi", auxi)}));
    std::remove(bad.c_str());
    // The times span 10 s of 2500 frames: 250 frames a second for every position.
    std::string out;
    EXPECT_EQ(Info({"--json", good, bad}, &out), 1);
    EXPECT_EQ(out,
              "{\"file\":\"" + good +
                  "\",\"error\":0,\"message\":\"success\",\"format_tag\":1,\"channels\":2,"
                  "\"sample_rate\":8000,\"bits_per_sample\":16,\"frames\":4096,\"data_frames\":2500,\"length_sec\":10,"
                  "\"frames_per_sec\":250,\"bytes_per_sec\":1000,\"start_time\":\"2024-03-10 "
                  "12:00:00\",\"stop_time\":\"2024-03-10 12:00:10\","
                  "\"center_freq_hz\":14070000,\"clock_hz\":64000000,\"bandwidth_hz\":192000}\n"
                  "{\"file\":\"" +
                  bad + "\",\"error\":101,\"message\":\"the file cannot be opened for reading\"}\n");
    EXPECT_EQ(Info({"--json", good}), 0);
    EXPECT_EQ(Info({"--json"}), 2);
    EXPECT_EQ(Info({"--jason", good}), 2);
    std::remove(good.c_str());
}

// An RF64 recording of 20 GiB (a sparse file): frame counts past 32 bits and
// the whole length reach the output.
TEST(CliInfo, Rf64FramesPastThirtyTwoBits)
{
    const TempFolder dir;
    const std::string path = dir / "rf64.wav";
    const uint64_t dataBytes = 20ULL << 30; // 16-bit stereo at 1 MHz: 5368709120 frames, 5368 s
    const riff::Bytes header = riff::Rf64(riff::Bytes(riff::Chunk("ds64", riff::Ds64Payload(0, dataBytes)))
                                              .Add(riff::Chunk("fmt ", riff::FmtPayload(1, 2, 1000000, 16)))
                                              .Id("data")
                                              .U32(0xFFFFFFFFu));
    ASSERT_TRUE(riff::WriteFile(path, header));
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(header.size() + dataBytes)), 0);
    std::string out;
    EXPECT_EQ(Info({"--json", path}, &out), 0);
    EXPECT_NE(out.find("\"frames\":5368711168,\"data_frames\":5368709120,\"length_sec\":5368,"), std::string::npos)
        << out;
    std::remove(path.c_str());
}
