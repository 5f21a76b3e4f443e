// The built tavirel-cli run as a user runs it: option spellings, version,
// exit statuses and what is (not) written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "TavirelVersion.h"

namespace {

struct CliRun {
    int status = -1;
    std::string output; // stdout and stderr together
};

std::string Quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CliRun Cli(const std::vector<std::string>& args)
{
    std::string cmd = Quoted(TAVIREL_CLI_PATH);
    for (const std::string& a : args)
        cmd += " " + Quoted(a);
    CliRun run;
    FILE* pipe = ::popen((cmd + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        run.output.append(buf, n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

class CliArgs : public testing::Test {
protected:
    void SetUp() override
    {
        // A folder of its own: tests of several builds run side by side.
        m_dir = m_folder.path.string() + "/";
        m_src = m_dir + "src.wav";
        ASSERT_EQ(Cli({"demo", m_src, "--seconds", "3"}).status, 0);
    }
    TempFolder m_folder;
    std::string m_dir, m_src;
};

} // namespace

TEST_F(CliArgs, UsageErrorsAndFailuresHaveTheirStatus)
{
    const std::string png = m_dir + "p.png", cut = m_dir + "c.wav";
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        // Negative seconds are usage errors in every command.
        {{"render", m_src, "--start", "-5", "--width", "8", "--height", "8", "--out", png}, 2, "--start"},
        {{"render", m_src, "--start=-1", "--width", "8", "--height", "8", "--out", png}, 2, "--start"},
        {{"cut", m_src, "--from", "-3", "--to", "2", "--dest", cut}, 2, "--from"},
        {{"cut", m_src, "--from", "0", "--to=-2", "--dest", cut}, 2, "--to"},
        // A later good value does not excuse an earlier bad one.
        {{"cut", m_src, "--from=-1", "--from", "0", "--to", "2", "--dest", cut}, 2, "--from"},
        {{"demo", m_dir + "d.wav", "--seconds", "-5"}, 2, "--seconds"},
        // A window starting at or after the end shows nothing: a failure, not a black picture.
        {{"render", m_src, "--start", "3", "--width", "8", "--height", "8", "--out", png}, 1, "past the end"},
        {{"render", m_src, "--start=500", "--width=8", "--height=8", "--out=" + png}, 1, "3 seconds long"},
        // The parser's own complaints.
        {{"cut", m_src, "--to", "2", "--dest", cut, "--from"}, 2, "missing value after --from"},
        {{"render", m_src, "--start", "0", "--width", "8", "--height", "8", "--out", png, "--agc"},
         2,
         "unknown option --agc"},
        {{"cut", m_src, "--from", "0", "--to", "2", "--dest", cut, "--agc=yes"}, 2, "--agc"},
        {{"info", "--jason", m_src}, 2, "unknown option '--jason'"},
        {{"demo", m_dir + "d.wav", "--seconds"}, 2, "--seconds"},
        {{"frobnicate"}, 2, "unknown command"},
        // Numbers are digits: no blank or plus sign before them.
        {{"render", m_src, "--start", " +1", "--width", "8", "--height", "8", "--out", png}, 2, "--start"},
        {{"cut", m_src, "--from", "+0", "--to", "2", "--dest", cut}, 2, "--from"},
        // Reference levels are the window's 20 dB steps.
        {{"render", m_src, "--start", "0", "--width", "8", "--height", "8", "--ref", "-30", "--out", png},
         2,
         "-100, -80, -60"},
        // The top-level usage names every render option.
        {{"--help"}, 0, "[--zoom K|fit]"},
        {{"--help"}, 0, "[--rows first|strongest]"},
    };
    for (const Case& c : cases) {
        const CliRun run = Cli(c.args);
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        EXPECT_EQ(run.status, c.status) << line << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << line << "\n" << run.output;
    }
    EXPECT_FALSE(Exists(png));
    EXPECT_FALSE(Exists(m_dir + "c_001.wav"));
    EXPECT_FALSE(Exists(m_dir + "d.wav"));
}

TEST_F(CliArgs, ValuesAfterEqualsSignOrAsNextArgumentAgree)
{
    const CliRun spaced =
        Cli({"render", m_src, "--start", "2", "--width", "48", "--height", "8", "--out", m_dir + "a.png"});
    const CliRun joined = Cli({"render", "--start=2", "--width=48", "--height=8", "--out=" + m_dir + "b.png", m_src});
    EXPECT_EQ(spaced.status, 0) << spaced.output;
    EXPECT_EQ(joined.status, 0) << joined.output;
    EXPECT_EQ(spaced.output, "3\n"); // the source ends inside the window
    EXPECT_EQ(joined.output, spaced.output);

    const CliRun cut = Cli({"cut", "--from=1", "--to=2", "--dest=" + m_dir + "c.wav", m_src});
    EXPECT_EQ(cut.status, 0) << cut.output;
    EXPECT_EQ(cut.output, m_dir + "c_001.wav\n");
    const CliRun info = Cli({"info", "--json", "--", m_dir + "c_001.wav"});
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("\"length_sec\":1,"), std::string::npos) << info.output;
}

TEST(CliVersion, EveryCommandAndTheToolTellTheProjectVersion)
{
    const std::string version = std::string("tavirel-cli ") + TAVIREL_VERSION + "\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--version"},
                                                                                      {"info", "--version"},
                                                                                      {"render", "--version"},
                                                                                      {"cut", "--version"},
                                                                                      {"demo", "--version"}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 0) << args[0];
        EXPECT_EQ(run.output, version) << args[0];
    }
}
