#include "platform/SystemTime.h"

#include <chrono>
#include <ctime>

namespace {

bool ToSystemTime(const std::tm& tm, SYSTEMTIME& st)
{
    if (tm.tm_year + 1900 < 0 || tm.tm_year + 1900 > 65535)
        return false;
    st.wYear = static_cast<uint16_t>(tm.tm_year + 1900);
    st.wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
    st.wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    st.wDay = static_cast<uint16_t>(tm.tm_mday);
    st.wHour = static_cast<uint16_t>(tm.tm_hour);
    st.wMinute = static_cast<uint16_t>(tm.tm_min);
    st.wSecond = static_cast<uint16_t>(tm.tm_sec);
    st.wMilliseconds = 0;
    return true;
}

// The calendar fields of st (weekday and milliseconds aside) as mktime and timegm take them.
std::tm ToTm(const SYSTEMTIME& st)
{
    std::tm tm{};
    tm.tm_year = st.wYear - 1900;
    tm.tm_mon = st.wMonth - 1;
    tm.tm_mday = st.wDay;
    tm.tm_hour = st.wHour;
    tm.tm_min = st.wMinute;
    tm.tm_sec = st.wSecond;
    return tm;
}

} // namespace

CTime::CTime(const SYSTEMTIME& st, int nDST)
{
    if (st.wYear < 1900)
        return;
    std::tm tm = ToTm(st);
    tm.tm_isdst = nDST < 0 ? -1 : (nDST > 0 ? 1 : 0);
    const time_t t = std::mktime(&tm);
    if (t != static_cast<time_t>(-1))
        m_time = static_cast<int64_t>(t);
}

bool CTime::GetAsSystemTime(SYSTEMTIME& st) const
{
    const time_t t = static_cast<time_t>(m_time);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return false;
    return ToSystemTime(tm, st);
}

std::string CTime::Format(const char* pattern) const
{
    const time_t t = static_cast<time_t>(m_time);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return {};
    char buf[128];
    const size_t n = std::strftime(buf, sizeof buf, pattern, &tm);
    return n == 0 ? std::string() : std::string(buf, n);
}

CTime CTime::GetCurrentTime()
{
    return CTime(static_cast<int64_t>(std::time(nullptr)));
}

void GetSystemTime(SYSTEMTIME* st)
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    UtcSystemTime(ms / 1000, *st);
    st->wMilliseconds = static_cast<uint16_t>(ms % 1000);
}

int64_t UtcSeconds(const SYSTEMTIME& st)
{
    if (st.wYear < 1900)
        return 0;
    std::tm tm = ToTm(st);
    return static_cast<int64_t>(::timegm(&tm));
}

bool AddUtcSeconds(const SYSTEMTIME& st, int64_t nSeconds, SYSTEMTIME& out)
{
    return UtcSystemTime(UtcSeconds(st) + nSeconds, out);
}

bool AddUtcMilliseconds(const SYSTEMTIME& st, int64_t nMilliseconds, SYSTEMTIME& out)
{
    const int64_t ms = UtcSeconds(st) * 1000 + st.wMilliseconds + nMilliseconds;
    const int64_t sec = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    SYSTEMTIME t;
    if (!UtcSystemTime(sec, t))
        return false;
    t.wMilliseconds = static_cast<uint16_t>(ms - sec * 1000);
    out = t;
    return true;
}

bool UtcSystemTime(int64_t t, SYSTEMTIME& st)
{
    const time_t tt = static_cast<time_t>(t);
    std::tm tm{};
    if (!gmtime_r(&tt, &tm))
        return false;
    return ToSystemTime(tm, st);
}

bool IsDaylightTime(int64_t t)
{
    const time_t tt = static_cast<time_t>(t);
    std::tm tm{};
    return localtime_r(&tt, &tm) && tm.tm_isdst > 0;
}
