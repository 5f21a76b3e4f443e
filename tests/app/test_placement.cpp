// The "WindowPos" record as text: which stored texts are taken back, and how
// they are written again.
#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

struct StoredRecord {
    const char* text;
    bool accepted;
    const char* rewritten;  // the record written back from what was read
    const char* why;
};

TEST(WindowPlacementText, StoredRecords)
{
    const StoredRecord cases[] = {
        {"0:1:-1:-1:-1:-1:100:100:800:600", true, "0:1:-1:-1:-1:-1:100:100:800:600", "plain record"},
        {"0:1:-1:-1:-1:-1:100:100:800:600:77 and more", true, "0:1:-1:-1:-1:-1:100:100:800:600",
         "text after the tenth number is ignored"},
        {"0x10:1:-1:-1:-1:-1:0x10:020:800:600", true, "16:1:-1:-1:-1:-1:16:16:800:600",
         "0x hexadecimal and 0-prefixed octal, written back in decimal"},
        {" 2: 3:-1:-1:-1:-1: +5:6:7:8", true, "2:3:-1:-1:-1:-1:5:6:7:8",
         "blanks before a number and a plus sign are taken, as by sscanf"},
        {"0:1:-1:-1:-1:-1:100:100:800", false, "", "nine fields"},
        {"0,1,-1,-1,-1,-1,100,100,800,600", false, "", "another separator"},
        {"", false, "", "empty"},
    };
    for (const StoredRecord& c : cases) {
        WINDOWPLACEMENT read;
        EXPECT_EQ(ParsePlacement(c.text, &read), c.accepted) << c.why;
        if (c.accepted) {
            EXPECT_EQ(FormatPlacement(read), c.rewritten) << c.why;
        }
    }
}

}  // namespace
