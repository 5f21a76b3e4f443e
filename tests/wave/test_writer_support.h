// Helpers for the segment writer tests: a temporary folder, whole-file reads,
// little-endian fields and hand-built wave files.
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

namespace writer_test {

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

inline std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint32_t>(b.at(at)) | static_cast<uint32_t>(b.at(at + 1)) << 8 |
           static_cast<uint32_t>(b.at(at + 2)) << 16 | static_cast<uint32_t>(b.at(at + 3)) << 24;
}

inline std::string Id(const std::vector<uint8_t>& b, size_t at)
{
    return std::string(reinterpret_cast<const char*>(b.data()) + at, 4);
}

// Appends little-endian fields and chunk ids.
struct Bytes {
    std::vector<uint8_t> v;
    Bytes& Tag(const char* s)
    {
        v.insert(v.end(), s, s + 4);
        return *this;
    }
    Bytes& U16(uint32_t x)
    {
        v.push_back(static_cast<uint8_t>(x));
        v.push_back(static_cast<uint8_t>(x >> 8));
        return *this;
    }
    Bytes& U32(uint32_t x) { return U16(x & 0xFFFF).U16(x >> 16); }
    Bytes& Raw(const std::vector<uint8_t>& b)
    {
        v.insert(v.end(), b.begin(), b.end());
        return *this;
    }
};

// A plain wave file: 16-byte "fmt " and "data", padded when odd.
inline std::vector<uint8_t> PlainWave(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                                      const std::vector<uint8_t>& data)
{
    const uint32_t align = bits / 8 * channels;
    const uint32_t pad = data.size() % 2;
    Bytes b;
    b.Tag("RIFF").U32(static_cast<uint32_t>(4 + 24 + 8 + data.size() + pad)).Tag("WAVE");
    b.Tag("fmt ").U32(16).U16(tag).U16(channels).U32(rate).U32(rate * align).U16(align).U16(bits);
    b.Tag("data").U32(static_cast<uint32_t>(data.size())).Raw(data);
    if (pad)
        b.v.push_back(0);
    return b.v;
}

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
