// The "WindowPos" record: which stored texts are taken back, how they are
// written again, and that any record opens a window that can be seen.
#include "app/MainFrame.h"
#include "app/WindowPlacement.h"
#include "doc/ProfileStore.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(WindowPlacementText, StoredRecords)
{
    const struct {
        const char* text;
        const char* rewritten; // "": refused
    } rows[] = {
        {"0:1:-1:-1:-1:-1:100:100:800:600", "0:1:-1:-1:-1:-1:100:100:800:600"},
        {"0:1:-1:-1:-1:-1:100:100:800:600:77 and more", "0:1:-1:-1:-1:-1:100:100:800:600"},
        {"0x10:1:-1:-1:-1:-1:0x10:020:800:600", "16:1:-1:-1:-1:-1:16:16:800:600"},
        {" 0: 1:-1:-1:-1:-1:100:100:800:600", "0:1:-1:-1:-1:-1:100:100:800:600"}, // blanks before numbers
        {"0 :1:-1:-1:-1:-1:100:100:800:600", ""},                                 // but not before a colon (too few)
        {"0:1:-1:-1:-1:-1:100:100:800:0x", "0:1:-1:-1:-1:-1:100:100:800:0"},      // "0x" alone is 0
        {"0:1:-1:-1:-1:-1:100:100:800:08", "0:1:-1:-1:-1:-1:100:100:800:0"},      // octal stops at 8
        {"0:1:-1:-1:-1:-1:+100:100:800:- 600", ""},
        // beyond int: the nearest int, not sscanf's undefined result
        {"0:1:-1:-1:-1:-1:99999999999999999999:100:4294967396:600", "0:1:-1:-1:-1:-1:2147483647:100:2147483647:600"},
        {"0:1:-0x80000001:-1:-1:-1:100:100:800:600", "0:1:-2147483648:-1:-1:-1:100:100:800:600"},
    };
    for (const auto& r : rows) {
        WINDOWPLACEMENT read;
        EXPECT_EQ(ParsePlacement(r.text, &read) ? FormatPlacement(read) : std::string(), r.rewritten) << r.text;
    }
}

TEST(WindowPlacementText, AnyRecordOpensAVisibleWindow)
{
    const char* const records[] = {
        "0:1:-1:-1:-1:-1:-2147483648:-2147483648:2147483647:2147483647", // huge
        "0:1:-1:-1:-1:-1:2147483000:2147483000:2147483647:2147483647",   // far off every screen
        "0:1:-1:-1:-1:-1:100:100:100:100",                               // no area (or a negative one)
        "0:0:-1:-1:-1:-1:100:100:800:600",                               // hidden
        "\x01\xff:garbage",
    };
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const char* record : records) {
        QTemporaryDir dir;
        CSettingsStore store(dir.filePath("Tavirel.conf"));
        store.WriteProfileString("WindowPos", "WindowPos", record);
        CMainFrame frame(&store);
        frame.setCentralWidget(new QWidget);
        frame.OnCreate();
        frame.ActivateFrame(SW_SHOWNORMAL);
        EXPECT_TRUE(frame.isVisible()) << record;
        EXPECT_FALSE(frame.geometry().isEmpty()) << record;
        EXPECT_TRUE(frame.geometry().intersects(screen)) << record;
    }
}
