#include "app/WindowPlacement.h"

#include <cstdio>

#include "doc/SettingsText.h"

std::string FormatPlacement(const WINDOWPLACEMENT& wp)
{
    char text[16 * 10];
    std::snprintf(text, sizeof text, kPlacementFormat, static_cast<int>(wp.flags), static_cast<int>(wp.showCmd),
                  wp.ptMinPosition.x, wp.ptMinPosition.y, wp.ptMaxPosition.x, wp.ptMaxPosition.y,
                  wp.rcNormalPosition.left, wp.rcNormalPosition.top, wp.rcNormalPosition.right,
                  wp.rcNormalPosition.bottom);
    return text;
}

bool ParsePlacement(const std::string& text, WINDOWPLACEMENT* pwp)
{
    int f[kPlacementFieldCount];
    if (ScanIntList(text.c_str(), f, kPlacementFieldCount) < kPlacementFieldCount)
        return false;
    pwp->flags = static_cast<uint32_t>(f[0]);
    pwp->showCmd = static_cast<uint32_t>(f[1]);
    pwp->ptMinPosition = POINT{f[2], f[3]};
    pwp->ptMaxPosition = POINT{f[4], f[5]};
    pwp->rcNormalPosition = RECT{f[6], f[7], f[8], f[9]};
    return true;
}
