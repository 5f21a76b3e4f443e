#include "sigmf/SigmfMeta.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cctype>
#include <cmath>

namespace sigmf {
namespace {

// Doubles hold every integer up to 2^53 exactly; larger indices are refused.
constexpr double kMaxIndex = 9007199254740992.0;

// A non-negative whole number member; false (error set) when present and not one.
bool IndexMember(const QJsonObject& o, const char* key, std::optional<int64_t>& out, std::string& error)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return true;
    const double d = v.toDouble(-1.0);
    if (!v.isDouble() || d < 0 || d > kMaxIndex || std::floor(d) != d) {
        error = std::string(key) + " is not a non-negative whole number";
        return false;
    }
    out = static_cast<int64_t>(d);
    return true;
}

bool NumberMember(const QJsonObject& o, const char* key, std::optional<double>& out, std::string& error)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return true;
    if (!v.isDouble() || !std::isfinite(v.toDouble())) {
        error = std::string(key) + " is not a number";
        return false;
    }
    out = v.toDouble();
    return true;
}

bool StringMember(const QJsonObject& o, const char* key, std::string& out, std::string& error)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return true;
    if (!v.isString()) {
        error = std::string(key) + " is not a text";
        return false;
    }
    out = v.toString().toStdString();
    return true;
}

bool ParseGlobal(const QJsonObject& g, Meta& m, std::string& error)
{
    std::string version, datatype;
    if (!g.value(QLatin1String("core:datatype")).isString() || !g.value(QLatin1String("core:version")).isString()) {
        error = "the global object lacks core:datatype or core:version as a text";
        return false;
    }
    if (!StringMember(g, "core:datatype", datatype, error) || !StringMember(g, "core:dataset", m.dataset, error))
        return false;
    if (!(m.type = FindDataType(datatype, &error)))
        return false;
    std::optional<double> rate;
    std::optional<int64_t> channels, offset, trailing;
    if (!NumberMember(g, "core:sample_rate", rate, error) || !IndexMember(g, "core:num_channels", channels, error) ||
        !IndexMember(g, "core:offset", offset, error) || !IndexMember(g, "core:trailing_bytes", trailing, error))
        return false;
    if (!rate) {
        error = "core:sample_rate is missing";
        return false;
    }
    m.dSampleRate = *rate;
    m.nChannels = static_cast<int>(std::min<int64_t>(channels.value_or(1), 1000000));
    m.nOffset = offset.value_or(0);
    m.nTrailingBytes = trailing.value_or(0);
    const int maxChannels = m.type->complex ? 1 : 2;
    if (m.nChannels < 1 || m.nChannels > maxChannels) {
        error = std::to_string(m.nChannels) + " channels of \"" + datatype + "\" are not supported (at most " +
                std::to_string(maxChannels) + ")";
        return false;
    }
    return true;
}

bool ParseCapture(const QJsonObject& o, Capture& c, std::string& error)
{
    std::optional<int64_t> start, header;
    if (!IndexMember(o, "core:sample_start", start, error) || !IndexMember(o, "core:header_bytes", header, error) ||
        !NumberMember(o, "core:frequency", c.frequency, error) || !StringMember(o, "core:datetime", c.datetime, error))
        return false;
    if (!start) {
        error = "a capture lacks core:sample_start";
        return false;
    }
    c.nSampleStart = *start;
    c.nHeaderBytes = header.value_or(0);
    return true;
}

bool ParseAnnotation(const QJsonObject& o, Annotation& a, std::string& error)
{
    std::optional<int64_t> start;
    std::string comment;
    if (!IndexMember(o, "core:sample_start", start, error) ||
        !IndexMember(o, "core:sample_count", a.nSampleCount, error) ||
        !NumberMember(o, "core:freq_lower_edge", a.lowerHz, error) ||
        !NumberMember(o, "core:freq_upper_edge", a.upperHz, error) || !StringMember(o, "core:label", a.label, error) ||
        !StringMember(o, "core:comment", comment, error))
        return false;
    if (!start) {
        error = "an annotation lacks core:sample_start";
        return false;
    }
    a.nSampleStart = *start;
    if (a.label.empty())
        a.label = comment;
    return true;
}

// Each element of the array key through parse; false (error naming the element) on the first refused.
template <typename T, typename Parse>
bool ParseArray(const QJsonObject& root, const char* key, std::vector<T>& out, Parse parse, std::string& error)
{
    const QJsonValue v = root.value(QLatin1String(key));
    if (!v.isArray()) {
        error = std::string("\"") + key + "\" is missing or not an array";
        return false;
    }
    const QJsonArray items = v.toArray();
    for (qsizetype i = 0; i < items.size(); ++i) {
        T item;
        if (!items[i].isObject()) {
            error = std::string(key) + " item " + std::to_string(i + 1) + " is not an object";
            return false;
        }
        if (!parse(items[i].toObject(), item, error)) {
            error = std::string(key) + " item " + std::to_string(i + 1) + ": " + error;
            return false;
        }
        out.push_back(std::move(item));
    }
    return true;
}

bool ReadDigits(const std::string& s, size_t at, size_t n, int& out)
{
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

} // namespace

bool ParseDatetime(const std::string& s, SYSTEMTIME& out)
{
    // YYYY-MM-DDTHH:MM:SS[.fraction]Z
    int y, mo, d, h, mi, sec;
    if (s.size() < 20 || s[4] != '-' || s[7] != '-' || (s[10] != 'T' && s[10] != 't') || s[13] != ':' ||
        s[16] != ':' || !ReadDigits(s, 0, 4, y) || !ReadDigits(s, 5, 2, mo) || !ReadDigits(s, 8, 2, d) ||
        !ReadDigits(s, 11, 2, h) || !ReadDigits(s, 14, 2, mi) || !ReadDigits(s, 17, 2, sec))
        return false;
    size_t i = 19;
    int ms = 0, digits = 0;
    if (s[i] == '.') {
        while (++i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            if (digits++ < 3)
                ms = ms * 10 + (s[i] - '0');
        if (digits == 0)
            return false;
        for (; digits < 3; ++digits)
            ms *= 10;
    }
    if (i + 1 != s.size() || (s[i] != 'Z' && s[i] != 'z'))
        return false;
    SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(y);
    st.wMonth = static_cast<uint16_t>(mo);
    st.wDay = static_cast<uint16_t>(d);
    st.wHour = static_cast<uint16_t>(h);
    st.wMinute = static_cast<uint16_t>(mi);
    st.wSecond = static_cast<uint16_t>(std::min(sec, 59)); // a leap second counts as the one before
    // The calendar round trip refuses days and times that do not exist.
    SYSTEMTIME back{};
    if (mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || sec > 60 || !UtcSystemTime(UtcSeconds(st), back) ||
        back.wDay != st.wDay || back.wMonth != st.wMonth)
        return false;
    back.wMilliseconds = static_cast<uint16_t>(ms);
    out = back;
    return true;
}

bool ParseMeta(const QByteArray& bytes, Meta& m, std::string& error)
{
    m = Meta{};
    if (bytes.size() > kMaxMetaBytes) {
        error = "the metadata is larger than " + std::to_string(kMaxMetaBytes >> 20) + " MiB";
        return false;
    }
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        error = "the metadata is not a JSON object (" + pe.errorString().toStdString() + " at byte " +
                std::to_string(pe.offset) + ")";
        return false;
    }
    const QJsonObject root = doc.object();
    if (!root.value(QLatin1String("global")).isObject()) {
        error = "\"global\" is missing or not an object";
        return false;
    }
    if (!ParseGlobal(root.value(QLatin1String("global")).toObject(), m, error) ||
        !ParseArray(root, "captures", m.captures, ParseCapture, error) ||
        !ParseArray(root, "annotations", m.annotations, ParseAnnotation, error))
        return false;
    for (size_t i = 1; i < m.captures.size(); ++i)
        if (m.captures[i].nSampleStart <= m.captures[i - 1].nSampleStart) {
            error = "the captures are not in sample order (capture " + std::to_string(i + 1) + ")";
            return false;
        }
    return true;
}

} // namespace sigmf
