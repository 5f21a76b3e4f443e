// tavirel-cli info: its JSON lines, readable text, exit status and usage errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/Commands.h"
#include "support/WaveBytes.h"

namespace {

struct Output {
    int status = -1;
    std::string out, err;
};

std::string ReadAll(const std::string& path)
{
    const std::vector<uint8_t> b = riff::ReadFile(path);
    return std::string(b.begin(), b.end());
}

class CliInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tavirel-cli-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        m_dir = buf.data();
    }
    void TearDown() override
    {
        if (!m_dir.empty())
            std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    std::string Write(const std::string& name, const riff::Bytes& b)
    {
        const std::string path = m_dir + "/" + name;
        riff::WriteFile(path, b);
        return path;
    }

    // Runs the command in this process with stdout and stderr caught in files.
    Output Info(std::vector<std::string> args)
    {
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string outPath = m_dir + "/.out", errPath = m_dir + "/.err";
        std::fflush(stdout);
        std::fflush(stderr);
        const int savedOut = dup(1), savedErr = dup(2);
        const int fo = open(outPath.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
        const int fe = open(errPath.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
        dup2(fo, 1);
        dup2(fe, 2);
        Output r;
        r.status = CmdInfo(static_cast<int>(args.size()), argv.data());
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut, 1);
        dup2(savedErr, 2);
        close(savedOut);
        close(savedErr);
        close(fo);
        close(fe);
        r.out = ReadAll(outPath);
        r.err = ReadAll(errPath);
        return r;
    }

    // A 16-bit stereo file at 8000/s with a 72-byte auxi: 10 s from 12:00:00, 14.07 MHz.
    std::string GoodFile(const std::string& name = "good.wav")
    {
        riff::Bytes auxi;
        auxi.Time(2024, 3, 10, 12, 0, 0, 0, 0).Time(2024, 3, 10, 12, 0, 10, 0, 0).U32(14070000).U32(64000000);
        auxi.U32(0).U32(192000).Fill(24, 0);
        return Write(name, riff::Wave(riff::FmtPayload(1, 2, 8000, 16), riff::Bytes().Fill(10000, 0),
                                      {riff::Chunk("auxi", auxi)}));
    }

    std::string m_dir;
};

} // namespace

TEST_F(CliInfo, JsonLinesForGoodAndBadFiles)
{
    const std::string good = GoodFile();
    const std::string bad = Write("bad.wav", riff::Bytes().Id("RIFF").U32(4).Id("AVI "));
    const Output r = Info({"--json", good, bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    const std::string want =
        "{\"file\":\"" + good + "\",\"error\":0,\"message\":\"success\",\"format_tag\":1,\"channels\":2,"
        "\"sample_rate\":8000,\"bits_per_sample\":16,\"frames\":4096,\"data_frames\":2500,\"length_sec\":10,"
        "\"bytes_per_sec\":1638,\"start_time\":\"2024-03-10 12:00:00\",\"stop_time\":\"2024-03-10 12:00:10\","
        "\"center_freq_hz\":14070000,\"clock_hz\":64000000,\"bandwidth_hz\":192000}\n"
        "{\"file\":\"" + bad + "\",\"error\":102,\"message\":\"not a RIFF WAVE file\"}\n";
    EXPECT_EQ(r.out, want);

    EXPECT_EQ(Info({"--json", good}).status, 0);
}

TEST_F(CliInfo, JsonEscapesAwkwardFileNames)
{
    const Output r = Info({"--json", "a\"b\\c\nd\x01" "e\x7f\xff\xc3\xa9.wav"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find(",\"error\"")),
              "{\"file\":\"a\\\"b\\\\c\\nd\\u0001e\\u007f\\ufffd\xc3\xa9.wav\"");
    EXPECT_NE(r.out.find("\"error\":101,\"message\":\"the file cannot be opened for reading\"}"), std::string::npos);
}

TEST_F(CliInfo, TextForHumans)
{
    const std::string good = GoodFile();
    const Output r = Info({good, m_dir + "/missing.wav"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("16-bit integer PCM, 2 channels, 8000 samples/s"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2500 in the data chunk, 4096 in whole blocks of 2048"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("start:      2024-03-10 12:00:00"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("14070000 Hz"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "tavirel-cli: " + m_dir + "/missing.wav: the file cannot be opened for reading (error 101)\n");
}

TEST_F(CliInfo, UsageErrorsAndHelp)
{
    Output r = Info({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: tavirel-cli info"), std::string::npos);
    r = Info({"--jason", "x.wav"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option '--jason'"), std::string::npos);
    r = Info({"--json"});
    EXPECT_EQ(r.status, 2);
    r = Info({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"bandwidth_hz\""), std::string::npos);
    // After "--" a name that starts with a dash is a file.
    r = Info({"--json", "--", "-odd.wav"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("{\"file\":\"-odd.wav\",\"error\":101", 0), 0u) << r.out;
}
