// Feeds arbitrary bytes to the .sigmf archive index and checks that every
// member it lists lies inside the bytes. Any crash, hang or undefined
// behaviour is a finding.
#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "sigmf/SigmfArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    std::vector<sigmf::Member> members;
    std::string error;
    if (sigmf::IndexArchive(buffer, members, error))
        for (const sigmf::Member& m : members)
            if (m.lOffset < 0 || m.lBytes < 0 || m.lOffset + m.lBytes > static_cast<int64_t>(size))
                std::abort();
    return 0;
}
