// Feeds arbitrary bytes to the SigMF meta parser and the datetime reader. Any
// crash, hang, leak or undefined behaviour is a finding.
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <string>

#include "sigmf/SigmfMeta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    sigmf::Meta meta;
    std::string error;
    sigmf::ParseMeta(bytes, meta, error);
    SYSTEMTIME st;
    sigmf::ParseDatetime(std::string(reinterpret_cast<const char*>(data), size), st);
    return 0;
}
