#include "doc/SettingsText.h"

#include <climits>
#include <cstdlib>

namespace {

// The blanks sscanf skips before a number: isspace in the "C" locale.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char* SkipBlanks(const char* p)
{
    while (IsBlank(*p))
        ++p;
    return p;
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// One "%i" number at p. Returns the text after it, or nullptr when there is
// none. As in sscanf, "0x" counts as the number 0 even without hex digits.
const char* ScanInt(const char* p, int* value)
{
    p = SkipBlanks(p);
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    int base = 10;
    bool anyDigit = false;
    if (*p == '0') {
        anyDigit = true;
        ++p;
        base = 8;
        if (*p == 'x' || *p == 'X') {
            base = 16;
            ++p;
        }
    }
    // The magnitude is kept within int64 and saturates: the sign comes last.
    int64_t magnitude = 0;
    for (int d = DigitValue(*p); d < base; d = DigitValue(*++p)) {
        anyDigit = true;
        magnitude = magnitude > INT64_MAX / 16 ? INT64_MAX / 16 : magnitude * base + d;
    }
    if (!anyDigit)
        return nullptr;
    const int64_t signedValue = negative ? -magnitude : magnitude;
    *value = signedValue < INT_MIN ? INT_MIN : signedValue > INT_MAX ? INT_MAX : static_cast<int>(signedValue);
    return p;
}

// One "%lg" number at p, or nullptr when there is none.
const char* ScanReal(const char* p, double* value)
{
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p)
        return nullptr;
    *value = v;
    return end;
}

template <typename T, typename ScanOne>
int ScanList(const char* text, T* values, int count, ScanOne scanOne)
{
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (*p != ':')
                return i;
            ++p;
        }
        p = scanOne(p, &values[i]);
        if (p == nullptr)
            return i;
    }
    return count;
}

} // namespace

int ScanIntList(const char* text, int* values, int count)
{
    return ScanList(text, values, count, ScanInt);
}

int ScanRealList(const char* text, double* values, int count)
{
    return ScanList(text, values, count, ScanReal);
}

int NearestRefLevel(int64_t levelDb)
{
    if (levelDb <= kRefLevelMinDb)
        return kRefLevelMinDb;
    if (levelDb >= kRefLevelMaxDb)
        return kRefLevelMaxDb;
    const int level = static_cast<int>(levelDb);
    const int half = kRefLevelStepDb / 2;
    // Integer division truncates toward 0; adding half a step away from 0 first rounds halves outward.
    const int steps = level >= 0 ? (level + half) / kRefLevelStepDb : (level - half) / kRefLevelStepDb;
    return steps * kRefLevelStepDb;
}
