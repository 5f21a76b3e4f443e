// Feeds arbitrary text to the readers of the stored settings: the "BOOLs",
// "INTs" and "DOUBLEs" lists, the reference level taken from "INTs", and the
// "WindowPos" record. Besides crashes, hangs and undefined behaviour, a finding
// is an integer list read differently from the C library's sscanf (where every
// number fits an int), a level off the valid steps, or a record that does not
// read back as itself after being written.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <string>

#include "app/WindowPlacement.h"
#include "doc/SettingsText.h"

namespace {

// sscanf with the ten-field format, the reference for every list length up to ten.
int ScanWithLibc(const char* text, int* v)
{
    return std::sscanf(text, "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7],
                       &v[8], &v[9]);
}

bool AnySaturated(const int* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (v[i] == INT_MIN || v[i] == INT_MAX)
            return true;
    return false;
}

void CheckAgainstLibc(const std::string& text)
{
    int ours[10] = {};
    const int nOurs = ScanIntList(text.c_str(), ours, 10);
    if (AnySaturated(ours, nOurs))
        return; // sscanf's result is undefined there
    int libc[10] = {};
    int nLibc = ScanWithLibc(text.c_str(), libc);
    if (nLibc < 0)
        nLibc = 0; // EOF: nothing read
    if (nOurs != nLibc)
        std::abort();
    for (int i = 0; i < nOurs; ++i)
        if (ours[i] != libc[i])
            std::abort();
}

void CheckLevel(const std::string& text)
{
    int v[10];
    if (ScanIntList(text.c_str(), v, 10) == 0)
        return;
    const int level = NearestRefLevel(v[0]);
    if (level < kRefLevelMinDb || level > kRefLevelMaxDb || level % kRefLevelStepDb != 0)
        std::abort();
    if (NearestRefLevel(level) != level)
        std::abort();
}

void CheckPlacement(const std::string& text)
{
    WINDOWPLACEMENT wp;
    if (!ParsePlacement(text, &wp))
        return;
    WINDOWPLACEMENT again;
    if (!ParsePlacement(FormatPlacement(wp), &again) || FormatPlacement(again) != FormatPlacement(wp))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Up to the first NUL, as a text read from the store reaches the readers.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string line = text.substr(0, text.find('\0'));
    CheckAgainstLibc(line);
    CheckLevel(line);
    CheckPlacement(line);
    double reals[11];
    ScanRealList(line.c_str(), reals, 11);
    return 0;
}
