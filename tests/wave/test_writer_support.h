// Helpers for the segment writer tests: a temporary folder, shell commands
// (sox) and the shared wave byte builder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/WaveBytes.h"

namespace writer_test {

using riff::Bytes;
using riff::IdAt;
using riff::Le32;
using riff::ReadFile;
using riff::WriteFile;

// A folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "tavirel-writer-XXXXXX").string();
        if (!mkdtemp(templ.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_path = templ;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Runs a shell command, returns its standard output; ok is false when it failed.
inline std::string RunShell(const std::string& cmd, bool& ok)
{
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
        ok = false;
        return out;
    }
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    ok = pclose(p) == 0;
    return out;
}

inline bool HaveSox()
{
    return std::system("command -v sox >/dev/null 2>&1") == 0;
}

} // namespace writer_test
