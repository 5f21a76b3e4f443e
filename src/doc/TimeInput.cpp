#include "doc/TimeInput.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

constexpr int64_t kDaySeconds = 86400;
constexpr size_t kMaxTextChars = 64;

const char kForms[] = "give seconds from the recording's start (176.25), a time of day (09:07:56.25) or a date "
                      "and time (2026-06-21T09:07:56.25Z)";

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// A run of nMin to nMax digits at s[i]; its value. i moves past it.
bool Digits(const std::string& s, size_t& i, size_t nMin, size_t nMax, int& v)
{
    size_t n = 0;
    int x = 0;
    for (; i + n < s.size() && n < nMax && IsDigit(s[i + n]); ++n)
        x = x * 10 + (s[i + n] - '0');
    if (n < nMin)
        return false;
    i += n;
    v = x;
    return true;
}

bool Take(const std::string& s, size_t& i, char c)
{
    if (i >= s.size() || s[i] != c)
        return false;
    ++i;
    return true;
}

// The fraction of a second that ".ddd" at s[i] writes (0 without a point).
bool Fraction(const std::string& s, size_t& i, double& f)
{
    f = 0.0;
    if (!Take(s, i, '.'))
        return true;
    size_t j = i;
    while (j < s.size() && IsDigit(s[j]))
        ++j;
    if (j == i)
        return false;
    const std::string text = "0." + s.substr(i, j - i);
    std::from_chars(text.data(), text.data() + text.size(), f);
    i = j;
    return true;
}

// A clock reading H:MM, HH:MM, HH:MM:SS or HH:MM:SS.fff.
struct Clock {
    int h = 0, m = 0, s = 0;
    double frac = 0.0;
    int64_t Seconds() const { return h * 3600 + m * 60 + s; }
    bool Valid() const { return h < 24 && m < 60 && s < 60; }
};

bool ReadClock(const std::string& s, size_t& i, Clock& c)
{
    if (!Digits(s, i, 1, 2, c.h) || !Take(s, i, ':') || !Digits(s, i, 2, 2, c.m))
        return false;
    return !Take(s, i, ':') || (Digits(s, i, 2, 2, c.s) && Fraction(s, i, c.frac));
}

// "Z", nothing, or +HH:MM / -HH:MM / +HHMM / +HH: the seconds to add to
// the local reading to get universal time.
bool ReadOffset(const std::string& s, size_t& i, int64_t& toUtc)
{
    toUtc = 0;
    if (i == s.size() || Take(s, i, 'Z') || Take(s, i, 'z'))
        return true;
    const int sign = Take(s, i, '+') ? -1 : (Take(s, i, '-') ? 1 : 0);
    int h = 0, m = 0;
    if (sign == 0 || !Digits(s, i, 2, 2, h))
        return false;
    if ((Take(s, i, ':') || i < s.size()) && !Digits(s, i, 2, 2, m))
        return false;
    toUtc = sign * (h * 3600 + m * 60);
    return h < 24 && m < 60;
}

TimeInput Refused(const std::string& text, const std::string& why)
{
    TimeInput r;
    r.strError = "\"" + text + "\" " + why;
    return r;
}

TimeInput Accepted(double dSeconds, bool bWallClock)
{
    TimeInput r;
    r.bOk = true;
    r.dSeconds = dSeconds;
    r.bWallClock = bWallClock;
    return r;
}

// Whole seconds of the start, and its milliseconds as a fraction.
double StartFraction(const SYSTEMTIME& st)
{
    return std::min<int>(st.wMilliseconds, 999) / 1000.0;
}

TimeInput ParseSeconds(const std::string& text)
{
    const bool bShape = std::count(text.begin(), text.end(), '.') <= 1 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c) || c == '.'; }) &&
                        std::any_of(text.begin(), text.end(), IsDigit);
    double d = 0.0;
    if (!bShape || std::from_chars(text.data(), text.data() + text.size(), d).ec != std::errc())
        return Refused(text, std::string("is not a position: ") + kForms + ".");
    return Accepted(d, false);
}

TimeInput ParseTimeOfDay(const std::string& text, const SYSTEMTIME& stStart)
{
    size_t i = 0;
    Clock c;
    if (!ReadClock(text, i, c) || i != text.size())
        return Refused(text, std::string("is not a time of day: ") + kForms + ".");
    if (!c.Valid())
        return Refused(text, "is not a valid time of day (00:00:00 to 23:59:59.999).");
    const int64_t start = UtcSeconds(stStart);
    const int64_t day = (start >= 0 ? start : start - kDaySeconds + 1) / kDaySeconds * kDaySeconds;
    double d = static_cast<double>(day + c.Seconds() - start) + (c.frac - StartFraction(stStart));
    if (d < 0.0)
        d += kDaySeconds; // the same time of day on the next day
    return Accepted(d, true);
}

TimeInput ParseDateTime(const std::string& text, const SYSTEMTIME& stStart)
{
    size_t i = 0;
    int year = 0, month = 0, dayOfMonth = 0;
    Clock c;
    int64_t toUtc = 0;
    const bool bShape = Digits(text, i, 4, 4, year) && Take(text, i, '-') && Digits(text, i, 2, 2, month) &&
                        Take(text, i, '-') && Digits(text, i, 2, 2, dayOfMonth) &&
                        (Take(text, i, 'T') || Take(text, i, 't') || Take(text, i, ' ')) && ReadClock(text, i, c) &&
                        ReadOffset(text, i, toUtc) && i == text.size();
    if (!bShape)
        return Refused(text, std::string("is not a date and time: ") + kForms + ".");
    SYSTEMTIME st;
    st.wYear = static_cast<uint16_t>(year);
    st.wMonth = static_cast<uint16_t>(month);
    st.wDay = static_cast<uint16_t>(dayOfMonth);
    st.wHour = static_cast<uint16_t>(c.h);
    st.wMinute = static_cast<uint16_t>(c.m);
    st.wSecond = static_cast<uint16_t>(c.s);
    // A date that does not exist (31 June) comes back as another one.
    SYSTEMTIME back;
    if (year < 1970 || !c.Valid() || !UtcSystemTime(UtcSeconds(st), back) || back.wMonth != st.wMonth ||
        back.wDay != st.wDay)
        return Refused(text, "is not a valid date and time.");
    const int64_t whole = UtcSeconds(st) + toUtc - UtcSeconds(stStart);
    return Accepted(static_cast<double>(whole) + (c.frac - StartFraction(stStart)), true);
}

} // namespace

TimeInput ParseTimeInput(const std::string& raw, const SYSTEMTIME& stStart)
{
    const size_t first = raw.find_first_not_of(" \t");
    const std::string text =
        first == std::string::npos ? std::string() : raw.substr(first, raw.find_last_not_of(" \t") + 1 - first);
    if (text.empty())
        return Refused(text, std::string("is no position: ") + kForms + ".");
    if (text.size() > kMaxTextChars)
        return Refused(text.substr(0, 20) + "...", "is too long for a position.");
    const bool bDate = text.size() > 4 && text[4] == '-';
    const bool bClock = !bDate && text.find(':') != std::string::npos;
    if (!bDate && !bClock)
        return ParseSeconds(text);
    if (!HasRecordingTime(stStart))
        return Refused(text, "is a wall-clock time, but the recording carries no recording time: give seconds "
                             "from its start (for example 176.25).");
    return bDate ? ParseDateTime(text, stStart) : ParseTimeOfDay(text, stStart);
}
