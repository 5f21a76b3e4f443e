// The persisted settings: lists written and read as sscanf reads them.
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "doc/ProfileStore.h"
#include "doc/TavirelDoc.h"

namespace {

// Writes bytes as the whole settings file.
void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A settings file with the given lists and paths ("" strings: none stored).
QByteArray SettingsFile(const QByteArray& ints, const QByteArray& strings = "SrcPath=/data/a.wav\n",
                        const QByteArray& bools = "0:0:0:0:0:0:0:0:",
                        const QByteArray& doubles = "0:0:0:0:0:0:0:0:0:0:0:")
{
    return "[Settings]\nBOOLs\\BOOLs=" + bools + "\nDOUBLEs\\DOUBLEs=" + doubles + "\nINTs\\INTs=" + ints +
           (strings.isEmpty() ? QByteArray("\n") : "\nStrings\\" + strings);
}

} // namespace

// The lists are read as sscanf reads them, and loading stops at the first
// list that is short. Whatever the file holds, the document starts with a
// valid level and either the stored paths or none, and the close afterwards
// leaves a file that the next start reads in full.
TEST(Settings, StoredFilesAsReadAndHostileOnesWithSoundDefaults)
{
    const QByteArray zeros = "0:0:0:0:0:0:0:0:0:0:";
    const struct {
        const char* what;
        QByteArray file;
        int level;
        const char* src;
        int zoom = 1, rows = 0;
        int64_t budgetMb = 2048; // the fourth value, in MiB (0: 2 GiB)
        bool sigmf = false;      // the ninth, 1 to write SigMF metadata
    } rows[] = {
        {"hexadecimal level; no paths stored: the default ones", SettingsFile("0x14:0:0:0:0:0:0:0:0:0:", ""), 20,
         "c:\\"},
        {"short list, odd level: loading stops after it", SettingsFile("-10:"), -20, ""},
        {"short BOOLs: loading stops", SettingsFile(zeros, "SrcPath=/data/a.wav\n", "0:0:0:0:0:0:0:"), 0, ""},
        {"short DOUBLEs: loading stops", SettingsFile(zeros, "SrcPath=/data/a.wav\n", "0:0:0:0:0:0:0:0:", zeros), 0,
         ""},
        {"zoom exponent, row mode, cache budget, SigMF metadata", SettingsFile("0:3:1:512:0:0:0:0:1:0:"), 0,
         "/data/a.wav", 8, 1, 512, true},
        {"the largest zoom", SettingsFile("0:24:0:0:0:0:0:0:0:0:"), 0, "/data/a.wav", 1 << 24},
        {"zoom, rows, budget and SigMF out of bounds", SettingsFile("0:25:2:-5:0:0:0:0:2:0:"), 0, "/data/a.wav"},
        {"negative zoom and rows, budget past 16 TiB", SettingsFile("0:-1:-1:16777217:0:0:0:0:0:0:"), 0, "/data/a.wav"},
        {"the row mode missing", SettingsFile("0:5:"), 0, "", 32},
        {"level between steps", SettingsFile("90:0:0:0:0:0:0:0:0:0:"), 100, "/data/a.wav"},
        {"level beyond int", SettingsFile("99999999999999999999:0:0:0:0:0:0:0:0:0:"), 100, "/data/a.wav"},
        {"negative beyond int", SettingsFile("-0x80000001:0:0:0:0:0:0:0:0:0:"), -100, "/data/a.wav"},
        {"level list not text", SettingsFile("@Rect(1 2 3 4)"), 0, ""},
        {"path with NUL", SettingsFile(zeros, "SrcPath=/data/a.wav\\0/etc/passwd\n"), 0, "c:\\"},
        {"keys missing", "[Settings]\nINTs\\INTs=20:0:0:0:0:0:0:0:0:0:\n", 0, ""},
    };
    for (const auto& r : rows) {
        QTemporaryDir dir;
        const QString path = dir.filePath("Tavirel.conf");
        WriteFile(path, r.file);
        for (const bool bAgain : {false, true}) { // as stored, then as the close wrote it
            CSettingsStore store(path);
            CTavirelDoc doc(&store);
            doc.m_nZoom = 64; // a new document starts from the defaults
            ASSERT_TRUE(doc.OnNewDocument()) << r.what;
            EXPECT_EQ(doc.m_nRefLevel, r.level) << r.what;
            EXPECT_EQ(doc.m_nZoom, r.zoom) << r.what;
            EXPECT_EQ(doc.m_nRowMode, r.rows) << r.what;
            EXPECT_EQ(doc.CacheBudgetBytes(), r.budgetMb << 20) << r.what;
            EXPECT_EQ(doc.m_bWriteSigmf, r.sigmf) << r.what;
            EXPECT_EQ(doc.m_strSrcPath.toStdString(), r.src) << r.what;
            // No DestPath is stored: the default once the lists were read, none when loading stopped.
            EXPECT_EQ(doc.m_strDestPath.toStdString(), bAgain ? "/data/cut.wav" : *r.src ? "c:\\" : "") << r.what;
            if (!bAgain) {
                doc.m_strDestPath = "/data/cut.wav";
                EXPECT_TRUE(doc.SaveSettings()) << r.what;
                // The lists are written as the texts sscanf reads.
                EXPECT_EQ(store.GetProfileString("Settings\\BOOLs", "BOOLs"), "0:0:0:0:0:0:0:0:") << r.what;
                EXPECT_EQ(store.GetProfileString("Settings\\DOUBLEs", "DOUBLEs"), "0:0:0:0:0:0:0:0:0:0:0:") << r.what;
            }
        }
    }
}

// A store that cannot be written, or whose file must not be read (a FIFO would
// block, a huge file would be read whole), loads as a first run (no source)
// and reports each write as failed, keeping none. A folder whose parent is a
// file stops root too.
TEST(Settings, StoresThatCannotBeUsed)
{
    const struct {
        const char* what;
        const char* file; // relative to the test folder
        std::function<void(const QString& dir)> make;
    } rows[] = {
        {"folder under a file", "home/.config/Tavirel.conf",
         [](const QString& dir) { WriteFile(dir + "/home", "a file where a folder should be"); }},
        {"FIFO", "Tavirel.conf",
         [](const QString& dir) { ASSERT_EQ(mkfifo(QFile::encodeName(dir + "/Tavirel.conf"), 0600), 0); }},
        {"over 1 MiB", "Tavirel.conf",
         [](const QString& dir) {
             WriteFile(dir + "/Tavirel.conf", SettingsFile("40:0:0:0:0:0:0:0:0:0:") + QByteArray(1 << 20, '#'));
         }},
    };
    for (const auto& r : rows) {
        QTemporaryDir dir;
        r.make(dir.path());
        CSettingsStore store(dir.filePath(r.file));
        CTavirelDoc doc(&store);
        ASSERT_TRUE(doc.OnNewDocument()) << r.what;
        EXPECT_EQ(doc.m_nRefLevel, 0) << r.what;
        EXPECT_TRUE(doc.m_strSrcPath.isEmpty()) << r.what;
        doc.m_nRefLevel = 20;
        EXPECT_FALSE(doc.SaveSettings()) << r.what;
        EXPECT_EQ(store.GetProfileString("Settings\\BOOLs", "BOOLs", "none"), "none") << r.what;
    }
}

// The picture's choices in "Settings\Picture", after the form's own values;
// what is missing, unknown or out of bounds gives the default.
TEST(Settings, StoredPictureChoices)
{
    const struct {
        const char *fft, *window, *colours, *range, *axes;
        int fftSize, windowType, map, rangeDb;
        bool showAxes;
    } rows[] = {
        {"512", "blackman-harris", "turbo", "60", "0", 512, WINDOW_BLACKMAN_HARRIS, COLOURS_TURBO, 60, false},
        {"65536", "rectangular", "greyscale", "260", "1", 65536, WINDOW_RECTANGULAR, COLOURS_GREYSCALE, 260, true},
        {"", "", "", "", "", 2048, WINDOW_HANN, COLOURS_CLASSIC, kRangeToFloor, true},                 // missing
        {"1000", "kaiser", "jet", "19", "x", 2048, WINDOW_HANN, COLOURS_CLASSIC, kRangeToFloor, true}, // unknown
        {"128", "Hann", "VIRIDIS", "261", "", 2048, WINDOW_HANN, COLOURS_CLASSIC, kRangeToFloor, true},
        {"131072", "hamming", "inferno", "-20", "", 2048, WINDOW_HAMMING, COLOURS_INFERNO, kRangeToFloor, true},
    };
    for (const auto& r : rows) {
        QTemporaryDir dir;
        CSettingsStore store(dir.filePath("Tavirel.conf"));
        const std::pair<const char*, const char*> values[] = {
            {"FftSize", r.fft}, {"Window", r.window}, {"Colours", r.colours}, {"Range", r.range}, {"Axes", r.axes}};
        for (const auto& [entry, text] : values)
            if (*text)
                store.WriteProfileString("Settings\\Picture", entry, text);
        CTavirelDoc doc(&store);
        ASSERT_TRUE(doc.OnNewDocument());
        EXPECT_EQ(doc.m_nFftSize, r.fftSize) << r.fft;
        EXPECT_EQ(doc.m_nWindow, r.windowType) << r.window;
        EXPECT_EQ(doc.m_nColourMap, r.map) << r.colours;
        EXPECT_EQ(doc.m_nRangeDb, r.rangeDb) << r.range;
        EXPECT_EQ(doc.m_bShowAxes, r.showAxes) << r.axes;
    }
}
