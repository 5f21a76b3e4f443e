// The "WindowPos" record as text: what is written for each window state and
// which stored texts are taken back.
#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

WINDOWPLACEMENT Placement(uint32_t flags, uint32_t showCmd, RECT normal)
{
    WINDOWPLACEMENT wp;
    wp.length = kPlacementLengthBytes;
    wp.flags = flags;
    wp.showCmd = showCmd;
    wp.ptMinPosition = POINT{-1, -1};
    wp.ptMaxPosition = POINT{-1, -1};
    wp.rcNormalPosition = normal;
    return wp;
}

TEST(WindowPlacementText, NormalAndMaximisedWindows)
{
    EXPECT_EQ(FormatPlacement(Placement(0, SW_SHOWNORMAL, RECT{100, 100, 800, 600})),
              "0:1:-1:-1:-1:-1:100:100:800:600");
    EXPECT_EQ(FormatPlacement(Placement(WPF_RESTORETOMAXIMIZED, SW_SHOWMAXIMIZED, RECT{-8, 20, 1000, 700})),
              "2:3:-1:-1:-1:-1:-8:20:1000:700");
    EXPECT_EQ(FormatPlacement(Placement(WPF_RESTORETOMAXIMIZED, SW_SHOWMINIMIZED, RECT{0, 0, 1, 1})),
              "2:2:-1:-1:-1:-1:0:0:1:1");
}

TEST(WindowPlacementText, ReadsBackWhatItWrites)
{
    WINDOWPLACEMENT written = Placement(WPF_RESTORETOMAXIMIZED, SW_SHOWMAXIMIZED, RECT{-3, 7, 640, 480});
    written.ptMinPosition = POINT{-32000, -32000};
    written.ptMaxPosition = POINT{2147483647, -2147483647 - 1};
    WINDOWPLACEMENT read;
    read.length = 0;  // not part of the record: left as it was
    ASSERT_TRUE(ParsePlacement(FormatPlacement(written), &read));
    EXPECT_EQ(read.length, 0u);
    EXPECT_EQ(FormatPlacement(read), FormatPlacement(written));
    EXPECT_EQ(read.rcNormalPosition.left, -3);
    EXPECT_EQ(read.ptMaxPosition.y, -2147483647 - 1);
}

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
        {"0:1:-1:-1:-1:-1:100:100:800:", false, "", "nine fields and a trailing colon"},
        {"0,1,-1,-1,-1,-1,100,100,800,600", false, "", "another separator"},
        {"0:1:-1:-1:-1:-1:100 :100:800:600", false, "", "a blank before a colon"},
        {"", false, "", "empty"},
        {"garbage", false, "", "no number at all"},
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
