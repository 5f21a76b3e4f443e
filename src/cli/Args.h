// Argument handling shared by the tavirel-cli commands: Qt's command-line
// parser, so that every option takes its value as the next argument or after
// "=" ("--start 5", "--start=5"), "--" ends the options and "--help" or "-h"
// prints the command's usage text.
#pragma once

#include <QByteArray>
#include <QCommandLineParser>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// What went wrong when the arguments did not parse.
struct ArgError {
    enum Kind { Unknown, MissingValue, Other } kind = Other;
    std::string option; // the option concerned, as typed
    std::string text;   // the parser's own description, for Other
};

// Sets up a parser for the options a command adds: long options (also with
// one dash), plus "--help"/"-h" and "--version".
void SetUpParser(QCommandLineParser& parser);

// Adds an option that takes a value.
void AddValueOption(QCommandLineParser& parser, const char* name);

// Parses the arguments after the command's name. Returns -1 when the command
// should run, 0 after printing usage for --help or the version for
// --version, and 2 with *error filled for
// the command to report in its own words.
int ParseArgs(QCommandLineParser& parser, int argc, char** argv, const char* usage, ArgError* error);

// The words every command reports a parse error in: "unknown option X",
// "missing value after X", or the parser's own description.
std::string ArgErrorMessage(const ArgError& error);

// Hands each value an option was given, first to last, to take(); returns the
// first value take() refuses, or nothing when it took them all. An option
// given twice thus keeps its last value, and a bad earlier one is still an error.
std::optional<std::string> TakeValues(const QCommandLineParser& parser, const char* name,
                                      const std::function<bool(const std::string&)>& take);

// The values of --format (wav or sigmf; the last counts) into *pSigmf; the
// first other value, or nothing.
std::optional<std::string> TakeFormat(const QCommandLineParser& parser, bool* pSigmf);

// Prints "tavirel-cli VERSION" on stdout.
void PrintVersion();

// An argument's bytes exactly as given (arguments reach the parser byte for
// byte, so file names that are not UTF-8 survive).
std::string ArgBytes(const QString& arg);

// A whole decimal number within [lo, hi]: digits, a minus sign before them
// allowed; false for anything else (empty text, blanks, a plus sign, other
// characters, out of range).
bool ParseWholeNumber(const std::string& text, long lo, long hi, long* out);

// A decimal number: digits, a minus sign before them allowed, a fraction
// after a point and (when bSuffix) a k, M or G multiplier. No blanks, plus
// sign or exponent; read the same whatever the locale.
bool ParseDecimal(const std::string& text, bool bSuffix, double* out);

// A span of a source as given on the command line (--from, --to: seconds
// as the bar counts them, with decimals); frames once the source is open.
struct SpanArgs {
    double dFromSec = -1.0, dToSec = -1.0;
};

// Reads --from and --to; an error message, or nothing.
std::optional<std::string> ParseSpan(const QCommandLineParser& parser, SpanArgs* span);

class CTavirelDoc;
// The span's frames of doc's open source, in its time base: an error message
// (an empty span, one past the end), or nothing.
std::optional<std::string> SpanFrames(const CTavirelDoc& doc, const SpanArgs& span, int64_t* pFrom, int64_t* pTo);

// One "key":value member written by Qt's JSON writer. A QJsonObject keeps its
// keys sorted, so a command joins its members by hand in its documented order.
QByteArray JsonMember(const char* key, const QJsonValue& value);

// Reports a usage error of a command on stderr; returns its exit status, 2.
int UsageError(const char* command, const char* message, const std::string& detail = std::string());
