// Stand-ins for failing storage in the save tests: a small or read-only
// tmpfs mounted over a folder (root only; the caller skips when refused), a
// file size limit, and a listing of what a folder holds.
#pragma once

#include <sys/mount.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>

namespace faultfs {

// A tmpfs over an existing folder for the object's life. Ok() is false when
// mounting was refused (no privileges).
class Mount {
public:
    Mount(const std::string& dir, const char* options, bool bReadOnly = false) : m_dir(dir)
    {
        m_ok = ::mount("tmpfs", dir.c_str(), "tmpfs", bReadOnly ? MS_RDONLY : 0, options) == 0;
    }
    ~Mount()
    {
        if (m_ok)
            ::umount2(m_dir.c_str(), MNT_DETACH);
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    bool Ok() const { return m_ok; }

private:
    std::string m_dir;
    bool m_ok = false;
};

// Files past nBytes cannot grow for the object's life (EFBIG, SIGXFSZ ignored).
class SizeLimit {
public:
    explicit SizeLimit(rlim_t nBytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = m_old;
        small.rlim_cur = nBytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~SizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    SizeLimit(const SizeLimit&) = delete;
    SizeLimit& operator=(const SizeLimit&) = delete;

private:
    struct rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

// The names in a folder, hidden ones included.
inline std::set<std::string> Names(const std::string& dir)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        names.insert(e.path().filename().string());
    return names;
}

} // namespace faultfs
