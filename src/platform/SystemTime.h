// Broken-down calendar times as stored in wave metadata, and whole-second time
// values, with the local-time conversions the program relies on.
#pragma once

#include <cstdint>
#include <string>

// A calendar time as stored in "auxi" records: eight little-endian 16-bit words.
struct SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;

    bool operator==(const SYSTEMTIME&) const = default;
};
static_assert(sizeof(SYSTEMTIME) == 16);

// Whether a recording carries a recording time: a wYear of 2000 or less
// means it does not.
inline bool HasRecordingTime(const SYSTEMTIME& st)
{
    return st.wYear > 2000;
}

// Whole seconds since 1970-01-01 00:00:00 UTC. Held in 64 bits so that times
// past 2038 convert correctly.
class CTime {
public:
    CTime() = default;
    explicit CTime(int64_t t) : m_time(t) {}
    // Takes the calendar time as local time; nDST < 0 lets mktime decide
    // daylight saving, 0 means standard time, > 0 daylight time.
    // A wYear below 1900 (or a time mktime cannot represent) gives the time 0.
    CTime(const SYSTEMTIME& st, int nDST);

    int64_t GetTime() const { return m_time; }
    // Local calendar time through localtime; wMilliseconds 0. False when the
    // time cannot be converted (the record is then left unchanged).
    bool GetAsSystemTime(SYSTEMTIME& st) const;
    // strftime of the local time into a 128-character buffer; "" on failure.
    std::string Format(const char* pattern) const;

    static CTime GetCurrentTime();

    CTime operator+(int64_t seconds) const { return CTime(m_time + seconds); }
    int64_t operator-(const CTime& other) const { return m_time - other.m_time; }
    bool operator==(const CTime&) const = default;

private:
    int64_t m_time = 0;
};

// The current time as universal (UTC) calendar time, milliseconds included.
void GetSystemTime(SYSTEMTIME* st);

// Seconds since 1970 of a calendar time read as universal time (no local
// zone, no daylight saving); out-of-range fields carry over as in timegm.
// A wYear below 1900 gives 0.
int64_t UtcSeconds(const SYSTEMTIME& st);
// The universal calendar time nSeconds after st (wMilliseconds 0); false if
// it cannot be represented (out is then unchanged).
bool AddUtcSeconds(const SYSTEMTIME& st, int64_t nSeconds, SYSTEMTIME& out);
// The universal calendar time nMilliseconds after st, its milliseconds
// counted; false if it cannot be represented (out is then unchanged).
bool AddUtcMilliseconds(const SYSTEMTIME& st, int64_t nMilliseconds, SYSTEMTIME& out);

// Broken-down UTC time of t (gmtime); false if it cannot be represented.
bool UtcSystemTime(int64_t t, SYSTEMTIME& st);
// Whether daylight saving time is in effect at t in the local zone.
bool IsDaylightTime(int64_t t);
