// The colour maps' entries, as their published tables give them, and the
// fit of Auto Levels' reference level and range.
#include <gtest/gtest.h>

#include <cmath>

#include "doc/ColourMaps.h"
#include "doc/PictureSettings.h"
#include "doc/TavirelDoc.h"

// The classic map is the form's (black .. blue .. violet) and a new
// document's; the others begin as matplotlib's published tables do; an unknown
// map (99) is the classic one.
TEST(PictureChoices, EntriesOfEachMap)
{
    const struct {
        int map, index;
        uint32_t rgb;
    } rows[] = {
        {COLOURS_CLASSIC, 42, 0x0000F9},
        {COLOURS_CLASSIC, 43, 0x0000FF},
        {COLOURS_CLASSIC, 86, 0x00FFFF},
        {COLOURS_CLASSIC, 119, 0x00FF00},
        {COLOURS_CLASSIC, 128, 0x3DFF00},
        {COLOURS_CLASSIC, 153, 0xFFFF00},
        {COLOURS_CLASSIC, 216, 0xFF0000},
        {COLOURS_CLASSIC, 255, 0xFF0080},
        {COLOURS_VIRIDIS, 0, 0x440154},
        {COLOURS_INFERNO, 0, 0x000004},
        {COLOURS_TURBO, 0, 0x30123B},
        {COLOURS_GREYSCALE, 255, 0xFFFFFF},
        {99, 255, 0xFF0080},
    };
    auto rgb = [](uint32_t colorref) {
        return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
    };
    for (const auto& r : rows)
        EXPECT_EQ(rgb(ColourMapEntries(r.map)[static_cast<size_t>(r.index)]), r.rgb) << r.map << " at " << r.index;
    CTavirelDoc doc(nullptr);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.m_palette, ColourMapEntries(COLOURS_CLASSIC));
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
