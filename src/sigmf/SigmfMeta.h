// A .sigmf-meta parsed into the fields the program reads, each one checked.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/SystemTime.h"
#include "sigmf/SigmfTypes.h"

namespace sigmf {

// Metas larger than this are refused before parsing.
inline constexpr int64_t kMaxMetaBytes = 16LL * 1024 * 1024;

struct Capture {
    int64_t nSampleStart = 0;
    std::optional<double> frequency; // Hz
    std::string datetime;            // as written; empty when absent
    int64_t nHeaderBytes = 0;
};

struct Annotation {
    int64_t nSampleStart = 0;
    std::optional<int64_t> nSampleCount; // to the end of the data when absent
    std::optional<double> lowerHz, upperHz;
    std::string label; // core:label, else core:comment
};

struct Meta {
    const DataType* type = nullptr;
    int nChannels = 1;
    double dSampleRate = 0.0;
    int64_t nOffset = 0; // core:offset: the absolute index of the first sample
    int64_t nTrailingBytes = 0;
    std::string dataset; // core:dataset; empty when absent
    std::vector<Capture> captures;
    std::vector<Annotation> annotations;
};

// Parses a meta; false with error naming the fault (in words) when it is refused.
bool ParseMeta(const QByteArray& bytes, Meta& out, std::string& error);

// An RFC 3339 time in UTC ("Z", any fraction, truncated to the millisecond);
// false when it does not parse or names no real day.
bool ParseDatetime(const std::string& text, SYSTEMTIME& out);

} // namespace sigmf
