#include "sigmf/SigmfArchive.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace sigmf {
namespace {

constexpr int64_t kBlock = 512;

// An octal field; -1 when it holds anything else (base-256 sizes included).
int64_t Octal(const char* p, size_t n)
{
    int64_t v = 0;
    size_t i = 0;
    while (i < n && p[i] == ' ')
        ++i;
    bool any = false;
    for (; i < n && p[i] >= '0' && p[i] <= '7'; ++i, any = true) {
        if (v > (INT64_MAX >> 3))
            return -1;
        v = v * 8 + (p[i] - '0');
    }
    for (; i < n; ++i)
        if (p[i] != ' ' && p[i] != '\0')
            return -1;
    return any ? v : -1;
}

bool ChecksumOk(const unsigned char* h)
{
    int64_t sum = 0;
    for (int i = 0; i < kBlock; ++i)
        sum += i >= 148 && i < 156 ? ' ' : h[i];
    return Octal(reinterpret_cast<const char*>(h) + 148, 8) == sum;
}

std::string Field(const unsigned char* p, size_t n)
{
    const char* c = reinterpret_cast<const char*>(p);
    return std::string(c, strnlen(c, n));
}

bool SafeName(const std::string& name)
{
    const QString n = QString::fromStdString(name);
    return !n.isEmpty() && !n.startsWith('/') && !n.split('/').contains(QStringLiteral(".."));
}

} // namespace

bool IndexArchive(QIODevice& device, std::vector<Member>& members, std::string& error)
{
    members.clear();
    const int64_t size = device.size();
    unsigned char h[kBlock];
    for (int64_t pos = 0; pos + kBlock <= size;) {
        if (!device.seek(pos) || device.read(reinterpret_cast<char*>(h), kBlock) != kBlock) {
            error = "the archive cannot be read";
            return false;
        }
        if (std::all_of(h, h + kBlock, [](unsigned char c) { return c == 0; }))
            break; // the end marker
        const int64_t bytes = Octal(reinterpret_cast<const char*>(h) + 124, 12);
        if (!ChecksumOk(h) || bytes < 0) {
            error = "the archive has a damaged tar header at byte " + std::to_string(pos);
            return false;
        }
        const std::string prefix = std::memcmp(h + 257, "ustar", 5) == 0 ? Field(h + 345, 155) : std::string();
        const std::string name = (prefix.empty() ? "" : prefix + "/") + Field(h, 100);
        const char type = static_cast<char>(h[156]);
        if (bytes > size - pos - kBlock) {
            error = "the archive member \"" + name + "\" runs past the archive's end";
            return false;
        }
        if (type == '1' || type == '2') {
            error = "the archive member \"" + name + "\" is a link";
            return false;
        }
        if ((type == '0' || type == '\0') && !SafeName(name)) {
            error = "the archive member name \"" + name + "\" leads outside the archive";
            return false;
        }
        if (type == '0' || type == '\0')
            members.push_back(Member{name, pos + kBlock, bytes});
        pos += kBlock + (bytes + kBlock - 1) / kBlock * kBlock;
    }
    return true;
}

} // namespace sigmf
