#include "WindowPlacement.h"

#include <cstdio>

std::string FormatPlacement(const WINDOWPLACEMENT& wp)
{
    char text[16 * 10];
    std::snprintf(text, sizeof text, kPlacementFormat, static_cast<int>(wp.flags),
                  static_cast<int>(wp.showCmd), wp.ptMinPosition.x, wp.ptMinPosition.y,
                  wp.ptMaxPosition.x, wp.ptMaxPosition.y, wp.rcNormalPosition.left,
                  wp.rcNormalPosition.top, wp.rcNormalPosition.right, wp.rcNormalPosition.bottom);
    return text;
}

bool ParsePlacement(const std::string& text, WINDOWPLACEMENT* pwp)
{
    int flags = 0;
    int showCmd = 0;
    WINDOWPLACEMENT wp = *pwp;
    const int fields = std::sscanf(text.c_str(), kPlacementFormat, &flags, &showCmd,
                                   &wp.ptMinPosition.x, &wp.ptMinPosition.y, &wp.ptMaxPosition.x,
                                   &wp.ptMaxPosition.y, &wp.rcNormalPosition.left,
                                   &wp.rcNormalPosition.top, &wp.rcNormalPosition.right,
                                   &wp.rcNormalPosition.bottom);
    wp.flags = static_cast<uint32_t>(flags);
    wp.showCmd = static_cast<uint32_t>(showCmd);
    *pwp = wp;
    return fields == 10;
}
