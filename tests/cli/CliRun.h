// The CLI tests' shared set-up: tavirel-cli run as a user runs it, through the
// shell, with its standard output and error kept apart in files of a
// temporary folder; a folder of the test's own; a JSON line's fields.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/FaultFs.h"
#include "support/TempFolder.h"
#include "support/WaveBytes.h"

struct CliRun {
    int status = -1;
    std::string out, err;
};

inline std::string ShellQuoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line; its status, output and error apart.
inline CliRun Shell(const std::string& command)
{
    const TempFolder io;
    const int raw = std::system((command + " >" + io / "out" + " 2>" + io / "err").c_str());
    const std::vector<uint8_t> out = riff::ReadFile(io / "out"), err = riff::ReadFile(io / "err");
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(out.begin(), out.end()),
            std::string(err.begin(), err.end())};
}

// Runs `prefix tavirel-cli args...`; the prefix is shell text (a ulimit, a trap).
inline CliRun RunCli(const std::vector<std::string>& args, const std::string& prefix = "")
{
    std::string command = prefix + ShellQuoted(TAVIREL_CLI_PATH);
    for (const std::string& a : args)
        command += " " + ShellQuoted(a);
    return Shell(command);
}

// Arguments as words (split at blanks); SRC, LIST and OUT stand for dir's src.wav, list.csv and out.
inline std::vector<std::string> Words(const std::string& text, const std::string& dir = "")
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        for (const auto& [key, value] : {std::pair{"SRC", "/src.wav"}, {"LIST", "/list.csv"}, {"OUT", "/out"}})
            if (const size_t at = w.find(key); !dir.empty() && at != std::string::npos)
                w.replace(at, std::strlen(key), dir + value);
        words.push_back(w);
    }
    return words;
}

// The value of a flat JSON object line: the text after "key": up to the next comma or brace.
inline std::string JsonField(const std::string& line, const std::string& key)
{
    const size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos)
        return "?";
    const size_t from = at + key.size() + 3, to = line.find_first_of(",}", from);
    return line.substr(from, to - from);
}

// A test's folder with the output folder out/ in it, emptied for every row.
class CliTest : public testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_tmp / name; }
    std::string Out() const { return m_tmp / "out"; }
    void FreshOut()
    {
        std::filesystem::remove_all(Out());
        std::filesystem::create_directory(Out());
    }
    // Nothing was left in out/.
    void ExpectOutEmpty(const std::string& what) const
    {
        EXPECT_EQ(faultfs::Names(Out()), std::set<std::string>{}) << what;
    }
    TempFolder m_tmp;
};
