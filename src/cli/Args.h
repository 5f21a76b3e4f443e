// Argument helpers shared by the tavirel-cli commands.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

// A whole decimal number within [lo, hi]; false for anything else (empty text,
// trailing characters, out of range).
inline bool ParseWholeNumber(const char* text, long lo, long hi, long* out)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno || *end || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// Reports a usage error of a command on stderr; returns its exit status, 2.
inline int UsageError(const char* command, const char* message, const std::string& detail = std::string())
{
    std::fprintf(stderr, "tavirel-cli %s: %s%s\nRun 'tavirel-cli %s --help' for the options.\n", command, message,
                 detail.c_str(), command);
    return 2;
}
