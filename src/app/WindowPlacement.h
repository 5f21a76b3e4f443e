// The main window's placement as the "WindowPos" record stores it: ten integers
// joined by colons. Parsing and formatting are pure so that the record can be
// checked without a window.
#pragma once

#include <cstdint>
#include <string>

struct POINT {
    int32_t x = 0;
    int32_t y = 0;
};

struct RECT {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Show commands and flags of the record, with the values the stored text uses.
enum {
    SW_HIDE = 0,
    SW_SHOWNORMAL = 1,
    SW_SHOWMINIMIZED = 2,
    SW_SHOWMAXIMIZED = 3,
    SW_MINIMIZE = 6,
    SW_SHOWMINNOACTIVE = 7,
    SW_FORCEMINIMIZE = 11,
};
enum { WPF_RESTORETOMAXIMIZED = 2 };

struct WINDOWPLACEMENT {
    uint32_t length = 0; // 44 when the record holds a placement, 0 when not
    uint32_t flags = 0;
    uint32_t showCmd = 0;
    POINT ptMinPosition;
    POINT ptMaxPosition;
    RECT rcNormalPosition;
};
static_assert(sizeof(WINDOWPLACEMENT) == 44);

inline constexpr uint32_t kPlacementLengthBytes = sizeof(WINDOWPLACEMENT);

inline constexpr int kPlacementFieldCount = 10;

// The record's printf/sscanf format: flags, showCmd, minimised x/y, maximised
// x/y, normal left/top/right/bottom.
inline constexpr const char* kPlacementFormat = "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i";

// Formats fields 1 to 10 (length is not stored), e.g. "0:1:-1:-1:-1:-1:100:100:800:600".
std::string FormatPlacement(const WINDOWPLACEMENT& wp);

// Reads the ten fields with sscanf's rules ("%i" also takes 0x hexadecimal and
// 0-prefixed octal; text after the tenth number is ignored; a number beyond
// the int range saturates). Returns true only when all ten were read,
// and only then fills pwp (its length is left as it was).
bool ParsePlacement(const std::string& text, WINDOWPLACEMENT* pwp);
