// tavirel-cli extract: the written file's facts in one JSON line, its span
// counted in the recording's own seconds.
#include "cli/CliRun.h"
#include "wave/RiffWaveFile.h"

// 10 s of samples whose times span 30 s: 1.5 s to 3 s of the recording's
// seconds hold 24000 frames, not the 72000 of the sample rate.
TEST_F(CliTest, ExtractTellsTheFileWrittenInAJsonLine)
{
    FreshOut();
    const SYSTEMTIME start{2024, 3, 0, 10, 12, 0, 0, 0}, stop{2024, 3, 0, 10, 12, 0, 30, 0};
    ASSERT_TRUE(riff::WriteFile(
        Path("src.wav"), riff::Wave(riff::FmtPayload(1, 2, 48000, 16), riff::Pcm16(riff::IqTone(480000, 0.5, 100)),
                                    {riff::Chunk("auxi", riff::AuxiPayload(start, stop, {7100000}))})));
    const CliRun run = RunCli({"extract", Path("src.wav"), "--from", "1.5", "--to", "3", "--centre", "7.1M",
                               "--bandwidth", "3k", "--json", "--dest", Out() + "/band.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::pair<const char*, std::string> fields[] = {
        {"path", "\"" + Out() + "/band_001.wav\""},
        {"decimation", "12"}, // the largest dividing 48000 with 4000 >= 1.25 x 3000
        {"rate", "4000"},
        {"frames", "2000"}, // 24000 source frames over 12
        {"centre", "7100000"},
        {"bandwidth", "3000"},
        {"clipped", "0"},
    };
    for (const auto& [key, value] : fields)
        EXPECT_EQ(JsonField(run.out, key), value) << key;
    const std::string taps = JsonField(run.out, "taps"); // per stage
    EXPECT_TRUE(taps.size() > 1 && taps[0] == '[' && taps[1] != ']') << run.out;
    const riff::Chunks c = riff::ParseWave(riff::ReadFile(Out() + "/band_001.wav"));
    EXPECT_EQ(AuxiFromBytes(c.payload.at("auxi").data()).stStartTime, (SYSTEMTIME{2024, 3, 0, 10, 12, 0, 1, 500}));
}
