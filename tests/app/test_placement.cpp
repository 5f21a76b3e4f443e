// The "WindowPos" record as text: which stored texts are taken back, and how they are written again.
#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

TEST(WindowPlacementText, StoredRecords)
{
    const struct {
        const char* text;
        const char* rewritten; // "": refused
    } rows[] = {
        {"0:1:-1:-1:-1:-1:100:100:800:600", "0:1:-1:-1:-1:-1:100:100:800:600"},
        {"2:3:-1:-1:-1:-1:100:100:800:600", "2:3:-1:-1:-1:-1:100:100:800:600"},
        {"0:1:-1:-1:-1:-1:100:100:800:600:77 and more", "0:1:-1:-1:-1:-1:100:100:800:600"},
        {"0x10:1:-1:-1:-1:-1:0x10:020:800:600", "16:1:-1:-1:-1:-1:16:16:800:600"},
        {"0:1:-1:-1:-1:-1:100:100:800", ""},
    };
    for (const auto& r : rows) {
        WINDOWPLACEMENT read;
        EXPECT_EQ(ParsePlacement(r.text, &read) ? FormatPlacement(read) : std::string(), r.rewritten) << r.text;
    }
}
