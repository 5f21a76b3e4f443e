// tavirel-cli info --json: one line of keys per file; exit 0 when all open,
// 1 when one fails, 2 without a file; frame counts past 32 bits.
#include <unistd.h>

#include "cli/CliRun.h"

TEST_F(CliTest, InfoJsonKeysAndExitCodes)
{
    const std::string good = Path("good.wav"), bad = Path("missing.wav");
    riff::Bytes auxi;
    auxi.Time(2024, 3, 10, 12, 0, 0).Time(2024, 3, 10, 12, 0, 10).U32(14070000).U32(64000000).U32(0).U32(192000);
    riff::WriteFile(good, riff::Wave(riff::FmtPayload(1, 2, 8000, 16), riff::Bytes().Fill(10000, 0),
                                     {riff::Chunk("auxi", auxi.Fill(24, 0))}));
    // The times span 10 s of 2500 frames: 250 frames a second for every position.
    const CliRun run = RunCli({"info", "--json", good, bad});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "{\"file\":\"" + good +
                  "\",\"error\":0,\"message\":\"success\",\"format_tag\":1,\"channels\":2,"
                  "\"sample_rate\":8000,\"bits_per_sample\":16,\"frames\":4096,\"data_frames\":2500,"
                  "\"length_sec\":10,\"frames_per_sec\":250,\"bytes_per_sec\":1000,\"start_time\":\"2024-03-10 "
                  "12:00:00\",\"stop_time\":\"2024-03-10 12:00:10\",\"center_freq_hz\":14070000,"
                  "\"clock_hz\":64000000,\"bandwidth_hz\":192000}\n{\"file\":\"" +
                  bad + "\",\"error\":101,\"message\":\"the file cannot be opened for reading\"}\n");
    EXPECT_EQ(RunCli({"info", "--json", good}).status, 0);
    EXPECT_EQ(RunCli({"info", "--json"}).status, 2);

    // An RF64 recording of 20 GiB (a sparse file) at 1 MHz: 5368709120 frames, 5368 s.
    const std::string rf64 = Path("rf64.wav");
    const uint64_t dataBytes = 20ULL << 30;
    const riff::Bytes header = riff::Rf64(riff::Bytes(riff::Chunk("ds64", riff::Ds64Payload(0, dataBytes)))
                                              .Add(riff::Chunk("fmt ", riff::FmtPayload(1, 2, 1000000, 16)))
                                              .Id("data")
                                              .U32(0xFFFFFFFFu));
    ASSERT_TRUE(riff::WriteFile(rf64, header));
    ASSERT_EQ(truncate(rf64.c_str(), static_cast<off_t>(header.size() + dataBytes)), 0);
    const CliRun big = RunCli({"info", "--json", rf64});
    EXPECT_EQ(big.status, 0);
    EXPECT_NE(big.out.find("\"frames\":5368711168,\"data_frames\":5368709120,\"length_sec\":5368,"), std::string::npos)
        << big.out;
}
