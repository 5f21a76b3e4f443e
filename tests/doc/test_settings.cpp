// The persisted settings: the lists and paths as stored, read back the way
// sscanf reads them, and written at close in the exact stored texts.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <vector>

#include <gtest/gtest.h>

#include "doc/ProfileStore.h"
#include "doc/TavirelDoc.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath("Tavirel.conf");
    }

    // Stores a value the way an earlier run of the program would have.
    void Put(const QString& section, const QString& entry, const QString& value)
    {
        CSettingsStore store(m_path);
        ASSERT_TRUE(store.WriteProfileString(section, entry, value));
    }

    void PutIntactLists(const QString& ints = "0:0:0:0:0:0:0:0:0:0:")
    {
        Put("Settings\\BOOLs", "BOOLs", "0:0:0:0:0:0:0:0:");
        Put("Settings\\INTs", "INTs", ints);
        Put("Settings\\DOUBLEs", "DOUBLEs", "0:0:0:0:0:0:0:0:0:0:0:");
    }

    QTemporaryDir m_dir;
    QString m_path;
};

TEST_F(SettingsTest, FirstRunLeavesPathsEmptyAndCloseWritesTheZeroLists)
{
    {
        CSettingsStore store(m_path);
        CTavirelDoc doc(&store);
        doc.m_nRefLevel = 55;
        ASSERT_TRUE(doc.OnNewDocument());
        EXPECT_TRUE(doc.m_strSrcPath.isEmpty());
        EXPECT_TRUE(doc.m_strDestPath.isEmpty());
        EXPECT_EQ(doc.m_nRefLevel, 0);
        EXPECT_FALSE(doc.m_bLoaded);
        doc.OnCloseDocument();
    }
    // The file itself, read without our store: groups split at the backslash.
    QSettings raw(m_path, QSettings::NativeFormat);
    EXPECT_EQ(raw.value("Settings/BOOLs/BOOLs").toString(), "0:0:0:0:0:0:0:0:");
    EXPECT_EQ(raw.value("Settings/INTs/INTs").toString(), "0:0:0:0:0:0:0:0:0:0:");
    EXPECT_EQ(raw.value("Settings/DOUBLEs/DOUBLEs").toString(), "0:0:0:0:0:0:0:0:0:0:0:");
    EXPECT_EQ(raw.value("Settings/Strings/SrcPath").toString(), "");
    EXPECT_EQ(raw.value("Settings/Strings/DestPath").toString(), "");

    // The next start finds complete lists and the (empty) paths it wrote.
    CSettingsStore store(m_path);
    CTavirelDoc doc(&store);
    EXPECT_TRUE(doc.LoadSettings());
    EXPECT_TRUE(doc.m_strSrcPath.isEmpty());
}

TEST_F(SettingsTest, LevelAndPathsSurviveCloseAndReopen)
{
    const QString src = QString::fromUtf8("/data/Aufnahmen/Kurzwelle \xc3\xa4 2026.wav");
    {
        CSettingsStore store(m_path);
        CTavirelDoc doc(&store);
        doc.OnNewDocument();
        doc.m_nRefLevel = -20;
        doc.m_strSrcPath = src;
        doc.m_strDestPath = "c:\\";
        doc.OnCloseDocument();
    }
    QSettings raw(m_path, QSettings::NativeFormat);
    EXPECT_EQ(raw.value("Settings/INTs/INTs").toString(), "-20:0:0:0:0:0:0:0:0:0:");

    CSettingsStore store(m_path);
    CTavirelDoc doc(&store);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.m_nRefLevel, -20);
    EXPECT_EQ(doc.m_strSrcPath, src);
    EXPECT_EQ(doc.m_strDestPath, "c:\\");
}

TEST_F(SettingsTest, AShortListStopsLoadingWithTheLevelAlreadyRead)
{
    PutIntactLists("40:");
    Put("Settings\\Strings", "SrcPath", "/tmp/a.wav");
    CSettingsStore store(m_path);
    CTavirelDoc doc(&store);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.m_nRefLevel, 40);
    EXPECT_TRUE(doc.m_strSrcPath.isEmpty());
    EXPECT_TRUE(doc.m_strDestPath.isEmpty());
}

TEST_F(SettingsTest, EachListMustBeCompleteAndParseable)
{
    struct Case {
        const char* section;
        const char* entry;
        const char* text;
    } cases[] = {
        {"Settings\\BOOLs", "BOOLs", "0:0:0:0:0:0:0:"},           // seven values
        {"Settings\\BOOLs", "BOOLs", "0:0:0:zero:0:0:0:0:"},      // not a number
        {"Settings\\INTs", "INTs", "0:0:0:0:0:0:0:0:0:"},         // nine values
        {"Settings\\INTs", "INTs", "08:0:0:0:0:0:0:0:0:0:"},      // 8 is no octal digit
        {"Settings\\DOUBLEs", "DOUBLEs", "0:0:0:0:0:0:0:0:0:0:"}, // ten values
    };
    for (const Case& c : cases) {
        QFile::remove(m_path);
        PutIntactLists();
        Put("Settings\\Strings", "SrcPath", "/tmp/a.wav");
        Put(c.section, c.entry, c.text);
        CSettingsStore store(m_path);
        CTavirelDoc doc(&store);
        EXPECT_FALSE(doc.LoadSettings()) << c.section << " = " << c.text;
        ASSERT_TRUE(doc.OnNewDocument());
        EXPECT_TRUE(doc.m_strSrcPath.isEmpty()) << c.section << " = " << c.text;
    }
}

TEST_F(SettingsTest, ListsIntactWithoutPathsGiveTheDefaultPaths)
{
    PutIntactLists("-40:1:2:3:4:5:6:7:8:9:");
    Put("Settings\\DOUBLEs", "DOUBLEs", "1.5:-2e3:0:0:0:0:0:0:0:0:7:");
    CSettingsStore store(m_path);
    CTavirelDoc doc(&store);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.m_nRefLevel, -40);
    EXPECT_EQ(doc.m_strSrcPath, "c:\\");
    EXPECT_EQ(doc.m_strDestPath, "c:\\");
}

TEST(SettingsStoreTest, DefaultStoreLivesUnderTheMakersNameInTheUsersConfigFolder)
{
    // The test main points XDG_CONFIG_HOME at a temporary folder.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    ASSERT_TRUE(config.startsWith(QDir::tempPath())) << config.toStdString();
    {
        CSettingsStore store;
        ASSERT_TRUE(store.WriteProfileString("WindowPos", "Probe", "1:2:3:"));
        EXPECT_EQ(store.GetProfileString("WindowPos", "Probe"), "1:2:3:");
        EXPECT_EQ(store.GetProfileString("WindowPos", "Missing", "dflt"), "dflt");
    }
    EXPECT_TRUE(QFile::exists(config + "/Quenvaldt/Tavirel.conf"));
}

// A store that records the writes and fails from a given one on.
class FailingStore : public CProfileStore {
public:
    explicit FailingStore(int failAt) : m_failAt(failAt) {}
    QString GetProfileString(const QString&, const QString&, const QString& def) override { return def; }
    bool WriteProfileString(const QString& section, const QString& entry, const QString&) override
    {
        m_writes.push_back(section + "/" + entry);
        return static_cast<int>(m_writes.size()) < m_failAt;
    }
    int m_failAt;
    std::vector<QString> m_writes;
};

TEST(SettingsSaveTest, SavingStopsAtTheFirstFailedWrite)
{
    const std::vector<QString> order = {"Settings\\BOOLs/BOOLs", "Settings\\INTs/INTs",
                                        "Settings\\DOUBLEs/DOUBLEs", "Settings\\Strings/SrcPath",
                                        "Settings\\Strings/DestPath"};
    for (int failAt = 1; failAt <= 6; ++failAt) {
        FailingStore store(failAt);
        CTavirelDoc doc(&store);
        EXPECT_EQ(doc.SaveSettings(), failAt == 6) << failAt;
        const size_t expected = static_cast<size_t>(std::min(failAt, 5));
        ASSERT_EQ(store.m_writes.size(), expected) << failAt;
        for (size_t i = 0; i < expected; ++i)
            EXPECT_EQ(store.m_writes[i], order[i]);
    }
}

TEST(SettingsSaveTest, WithoutAStoreNothingIsLoadedOrSaved)
{
    CTavirelDoc doc(nullptr);
    doc.m_strSrcPath = "x";
    EXPECT_FALSE(doc.LoadSettings());
    EXPECT_FALSE(doc.SaveSettings());
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_TRUE(doc.m_strSrcPath.isEmpty());
    EXPECT_EQ(doc.m_palette[255], RGB(255, 0, 128));
    doc.OnCloseDocument();
}

} // namespace
