#include "doc/ColourMaps.h"

#include "doc/PictureSettings.h"
#include "doc/TavirelDoc.h"

namespace {

// The form's map; integer division drops the fraction.
uint32_t ClassicEntry(int i)
{
    int r = 0, g = 0, b = 0;
    if (i <= 42) {
        b = 255 * i / 43;
    } else if (i <= 86) {
        g = 255 * (i - 43) / 43;
        b = 255;
    } else if (i <= 119) {
        g = 255;
        b = 255 - 255 * (i - 87) / 32;
    } else if (i <= 153) {
        r = 255 * (i - 120) / 33;
        g = 255;
    } else if (i <= 216) {
        r = 255;
        g = 255 - 255 * (i - 154) / 62;
    } else {
        r = 255;
        b = 128 * (i - 217) / 38;
    }
    return MakeColorRef(r, g, b);
}

} // namespace

std::array<uint32_t, 256> ColourMapEntries(int map)
{
    const uint8_t(*table)[3] = map == COLOURS_VIRIDIS   ? colour_tables::kViridis
                               : map == COLOURS_INFERNO ? colour_tables::kInferno
                               : map == COLOURS_TURBO   ? colour_tables::kTurbo
                                                        : nullptr;
    std::array<uint32_t, 256> entries{};
    for (int i = 0; i < 256; ++i) {
        if (table)
            entries[static_cast<size_t>(i)] = MakeColorRef(table[i][0], table[i][1], table[i][2]);
        else if (map == COLOURS_GREYSCALE)
            entries[static_cast<size_t>(i)] = MakeColorRef(i, i, i);
        else
            entries[static_cast<size_t>(i)] = ClassicEntry(i);
    }
    return entries;
}
