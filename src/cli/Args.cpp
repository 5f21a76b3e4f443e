#include "cli/Args.h"

#include "TavirelVersion.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "doc/TavirelDoc.h"

void SetUpParser(QCommandLineParser& parser)
{
    // "-start" means "--start"; options never combine like "-ab".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(QCommandLineOption(QStringLiteral("version")));
}

void AddValueOption(QCommandLineParser& parser, const char* name)
{
    parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
}

namespace {

// The option named between the first and last quote of the parser's message.
std::string QuotedOption(const QString& message)
{
    const qsizetype first = message.indexOf(QLatin1Char('\'')), last = message.lastIndexOf(QLatin1Char('\''));
    return first >= 0 && last > first ? ArgBytes(message.mid(first + 1, last - first - 1)) : std::string();
}

} // namespace

std::string ArgErrorMessage(const ArgError& error)
{
    switch (error.kind) {
    case ArgError::Unknown: return "unknown option " + error.option;
    case ArgError::MissingValue: return "missing value after " + error.option;
    case ArgError::Other: break;
    }
    return error.text;
}

int ParseArgs(QCommandLineParser& parser, int argc, char** argv, const char* usage, ArgError* error)
{
    // Latin-1 maps every byte to one character and back, whatever the locale.
    QStringList args{QStringLiteral("tavirel-cli")};
    for (int i = 0; i < argc; ++i)
        args << QString::fromLatin1(argv[i]);
    if (!parser.parse(args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            error->kind = ArgError::Unknown;
            error->option = ArgBytes((unknown.first().size() == 1 ? "-" : "--") + unknown.first());
        } else {
            const QString text = parser.errorText();
            error->kind = text.startsWith(QLatin1String("Missing value")) ? ArgError::MissingValue : ArgError::Other;
            error->option = QuotedOption(text);
            error->text = ArgBytes(text);
        }
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        PrintVersion();
        return 0;
    }
    return -1;
}

std::optional<std::string> TakeValues(const QCommandLineParser& parser, const char* name,
                                      const std::function<bool(const std::string&)>& take)
{
    for (const QString& value : parser.values(QString::fromLatin1(name))) {
        const std::string bytes = ArgBytes(value);
        if (!take(bytes))
            return bytes;
    }
    return std::nullopt;
}

void PrintVersion()
{
    std::printf("tavirel-cli %s\n", TAVIREL_VERSION);
}

std::string ArgBytes(const QString& arg)
{
    return arg.toLatin1().toStdString();
}

bool ParseWholeNumber(const std::string& text, long lo, long hi, long* out)
{
    // Digits with an optional minus: no blanks or plus sign, which strtol would pass over.
    const size_t digits = text.size() > 1 && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool ParseDecimal(const std::string& text, bool bSuffix, double* out)
{
    const size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
    const size_t end = text.find_first_not_of("0123456789.", sign);
    const std::string number = text.substr(0, end);
    const std::string rest = end == std::string::npos ? std::string() : text.substr(end);
    const size_t point = number.find('.', sign);
    const bool digits = number.find_first_of("0123456789") != std::string::npos;
    if (!digits || (point != std::string::npos && number.find('.', point + 1) != std::string::npos))
        return false;
    double v = 0.0; // from_chars reads a point whatever the locale
    if (std::from_chars(number.data(), number.data() + number.size(), v).ptr != number.data() + number.size())
        return false;
    if (bSuffix && (rest == "k" || rest == "K"))
        v *= 1e3;
    else if (bSuffix && rest == "M")
        v *= 1e6;
    else if (bSuffix && rest == "G")
        v *= 1e9;
    else if (!rest.empty())
        return false;
    if (!std::isfinite(v))
        return false;
    *out = v;
    return true;
}

std::optional<std::string> ParseSpan(const QCommandLineParser& parser, SpanArgs* span)
{
    const auto seconds = [&](const char* name, double* out) {
        return TakeValues(parser, name, [&](const std::string& v) { return ParseDecimal(v, false, out) && *out >= 0; });
    };
    if (const auto bad = seconds("from", &span->dFromSec))
        return "--from needs seconds, 0 or more, not " + *bad;
    if (const auto bad = seconds("to", &span->dToSec))
        return "--to needs seconds, 0 or more, not " + *bad;
    if (span->dFromSec < 0)
        return std::string("--from is missing");
    if (span->dToSec < 0)
        return std::string("--to is missing");
    return std::nullopt;
}

std::optional<std::string> SpanFrames(const CTavirelDoc& doc, const SpanArgs& span, int64_t* pFrom, int64_t* pTo)
{
    *pFrom = doc.m_timeBase.FrameOfSeconds(span.dFromSec);
    *pTo = doc.m_timeBase.FrameOfSeconds(span.dToSec);
    if (*pTo <= *pFrom)
        return std::string("--to must come after --from");
    const auto frames = static_cast<int64_t>(doc.m_nDataFrames);
    if (*pTo > frames) {
        char length[64];
        std::snprintf(length, sizeof length, "%.3f", doc.m_timeBase.SecondsOfFrame(frames));
        return std::string("--to is past the end of the source, which is ") + length + " seconds long";
    }
    return std::nullopt;
}

QByteArray JsonMember(const char* key, const QJsonValue& value)
{
    const QByteArray object = QJsonDocument(QJsonObject{{QLatin1String(key), value}}).toJson(QJsonDocument::Compact);
    return object.mid(1, object.size() - 2);
}

int UsageError(const char* command, const char* message, const std::string& detail)
{
    std::fprintf(stderr, "tavirel-cli %s: %s%s\nRun 'tavirel-cli %s --help' for the options.\n", command, message,
                 detail.c_str(), command);
    return 2;
}

std::optional<std::string> TakeFormat(const QCommandLineParser& parser, bool* pSigmf)
{
    return TakeValues(parser, "format", [&](const std::string& v) {
        *pSigmf = v == "sigmf";
        return v == "sigmf" || v == "wav";
    });
}
