// tavirel-cli extract: the written file's facts in one JSON line, and every
// kind of bad input refused with its message, exit 2 (usage) or 1 (fault),
// and no file.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "support/FaultFs.h"
#include "support/WaveBytes.h"
#include "wave/RiffWaveFile.h"

namespace {

int Extract(std::vector<std::string> args, std::string* out, std::string* err)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = CmdExtract(static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    *out = testing::internal::GetCapturedStdout();
    *err = testing::internal::GetCapturedStderr();
    return status;
}

// 10 s of 16-bit I/Q at 48000 frames/s tuned to 7.1 MHz, from 2024-03-10 12:00:00.
riff::Bytes IqSource(const SYSTEMTIME& stop)
{
    const SYSTEMTIME start{2024, 3, 0, 10, 12, 0, 0, 0};
    return riff::Wave(riff::FmtPayload(1, 2, 48000, 16), riff::Pcm16(riff::IqTone(480000, 0.5, 100)),
                      {riff::Chunk("auxi", riff::AuxiPayload(start, stop, {7100000, 48000}))});
}

} // namespace

TEST(CliExtract, JsonLineOfTheFileWritten)
{
    const std::string dir = testing::TempDir() + "tavirel_extract_json";
    // Seconds are the recording's own: 10 s of samples whose times span 30 s
    // hold 16000 frames a second.
    const struct {
        const char* proves;
        int stated;
        int sourceFrames; // 1.5 s to 3 s
    } rows[] = {
        {"times that agree with the samples", 10, 72000},
        {"times that span three times the samples", 30, 24000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directory(dir);
        ASSERT_TRUE(
            riff::WriteFile(dir + "/src.wav", IqSource({2024, 3, 0, 10, 12, 0, static_cast<uint16_t>(r.stated), 0})));
        std::string out, err;
        ASSERT_EQ(Extract({dir + "/src.wav", "--from", "1.5", "--to", "3", "--centre", "7.1M", "--bandwidth", "3k",
                           "--json", "--dest", dir + "/band.wav"},
                          &out, &err),
                  0)
            << err;
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
        EXPECT_EQ(o.value("path").toString().toStdString(), dir + "/band_001.wav");
        EXPECT_EQ(o.value("decimation").toInt(), 12); // the largest dividing 48000 with 4000 >= 1.25 x 3000
        EXPECT_EQ(o.value("rate").toInt(), 4000);
        EXPECT_EQ(o.value("frames").toInt(), r.sourceFrames / 12);
        EXPECT_EQ(o.value("centre").toInt(), 7100000);
        EXPECT_EQ(o.value("bandwidth").toInt(), 3000);
        EXPECT_EQ(o.value("clipped").toInt(), 0);
        EXPECT_GT(o.value("taps").toArray().size(), 0);
        const riff::Chunks c = riff::ParseWave(riff::ReadFile(dir + "/band_001.wav"));
        EXPECT_EQ(AuxiFromBytes(c.payload.at("auxi").data()).stStartTime, (SYSTEMTIME{2024, 3, 0, 10, 12, 0, 1, 500}));
    }
    std::filesystem::remove_all(dir);
}

TEST(CliExtract, BadInputIsRefusedAndLeavesNoFile)
{
    const std::string dir = testing::TempDir() + "tavirel_extract_bad";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    const std::string src = dir + "/src.wav", dest = dir + "/out/band.wav";
    ASSERT_TRUE(riff::WriteFile(src, IqSource({2024, 3, 0, 10, 12, 0, 10, 0})));
    const struct {
        const char* proves;
        std::vector<std::string> args;
        int status;
        const char* says;
    } rows[] = {
        {"zero width", {src, "--low", "7.1M", "--high", "7.1M"}, 2, "must lie above its lower edge"},
        {"negative width", {src, "--low", "7.11M", "--high", "7.1M"}, 2, "must lie above its lower edge"},
        {"outside the spectrum",
         {src, "--low", "7.12M", "--high", "7.13M"},
         2,
         "reaches outside the source's spectrum"},
        {"wider than the source", {src, "--centre", "7.1M", "--bandwidth", "60k"}, 2, "wider than the source's"},
        {"decimation 0", {src, "--low", "7.1M", "--high", "7.101M", "--decimation", "0"}, 2, "must be 1 or more"},
        {"output under 1000 Hz",
         {src, "--low", "7.1M", "--high", "7.1001M", "--decimation", "64"},
         2,
         "below the lowest output rate"},
        {"a rate no whole D gives",
         {src, "--low", "7.1M", "--high", "7.101M", "--rate", "5000"},
         2,
         "the nearest rates are 4800 Hz (D 10) and 6000 Hz (D 8)"},
        {"From = To",
         {src, "--from", "2", "--to", "2", "--low", "7.1M", "--high", "7.101M"},
         2,
         "--to must come after --from"},
        {"a span past the end", {src, "--to", "11", "--low", "7.1M", "--high", "7.101M"}, 2, "past the end"},
        {"both ways of giving the band",
         {src, "--low", "7.1M", "--high", "7.101M", "--bandwidth", "1k"},
         2,
         "not both"},
        {"a frequency that is no number", {src, "--low", "seven", "--high", "7.101M"}, 2, "needs a frequency"},
        {"an exponent, which the other commands refuse too",
         {src, "--low", "7.1e6", "--high", "7.101M"},
         2,
         "needs a frequency"},
        {"seconds with a plus sign",
         {src, "--from", "+1", "--low", "7.1M", "--high", "7.101M"},
         2,
         "--from needs seconds"},
        {"a source that is no wave file",
         {dir + "/none.wav", "--low", "7.1M", "--high", "7.101M"},
         1,
         "cannot be read as a source"},
    };
    std::filesystem::create_directory(dir + "/out");
    for (const auto& r : rows) {
        SCOPED_TRACE(r.proves);
        // A span of 1 to 2 s unless the row gives its own (the last value counts).
        std::vector<std::string> args{"--from", "1", "--to", "2", "--dest", dest};
        args.insert(args.end(), r.args.begin(), r.args.end());
        std::string out, err;
        EXPECT_EQ(Extract(args, &out, &err), r.status);
        EXPECT_NE(err.find(r.says), std::string::npos) << err;
        EXPECT_EQ(faultfs::Names(dir + "/out"), std::set<std::string>{});
    }
    std::filesystem::remove_all(dir);
}
