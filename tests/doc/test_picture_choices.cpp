// The colour maps' end colours, as their published tables give them, and the
// fit of Auto Levels' reference level and range.
#include <gtest/gtest.h>

#include <cmath>

#include "doc/ColourMaps.h"
#include "doc/PictureSettings.h"
#include "doc/TavirelDoc.h"

TEST(PictureChoices, EndColoursOfEachMap)
{
    const struct {
        int map;
        uint32_t first, last; // RGB
    } rows[] = {
        {COLOURS_CLASSIC, 0x000000, 0xFF0080}, // the form's black .. violet
        {COLOURS_VIRIDIS, 0x440154, 0xFDE725}, // matplotlib's published ends
        {COLOURS_INFERNO, 0x000004, 0xFCFFA4},   {COLOURS_TURBO, 0x30123B, 0x7A0403},
        {COLOURS_GREYSCALE, 0x000000, 0xFFFFFF}, {99, 0x000000, 0xFF0080}, // an unknown map is the form's
    };
    auto rgb = [](uint32_t colorref) {
        return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
    };
    for (const auto& r : rows) {
        const auto entries = ColourMapEntries(r.map);
        EXPECT_EQ(rgb(entries[0]), r.first) << r.map;
        EXPECT_EQ(rgb(entries[255]), r.last) << r.map;
    }
}

TEST(PictureChoices, AutoLevelsFitReferenceAndRange)
{
    const struct {
        double strongest, floor;
        int ref, range;
    } rows[] = {
        {-23.4, -101.2, -20, 81}, // the next step up; down to the floor measured
        {-20.0, -100.0, -20, 80}, // a level on a step keeps it
        {5.0, -150.0, 20, 170},
        {5.0, -160.0, 20, kRangeToFloor}, // a noise floor at the floor: the form's own scale
        {-30.0, -35.0, -20, 20},          // at least 20 dB
        {250.0, -90.0, 100, 190},         // the reference stays within its bounds
        {NAN, NAN, 0, kRangeToFloor},     // nothing measured
    };
    for (const auto& r : rows) {
        const AutoLevels a = AutoLevelsFor(r.strongest, r.floor);
        EXPECT_EQ(a.refDb, r.ref) << r.strongest;
        EXPECT_EQ(a.rangeDb, r.range) << r.strongest;
    }
}
