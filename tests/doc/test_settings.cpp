// The persisted settings: exact texts written at close, lists read as sscanf reads them.
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "doc/ProfileStore.h"
#include "doc/TavirelDoc.h"

TEST(Settings, FirstRunThenCloseWritesTheExactTexts)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavirel.conf");
    {
        CSettingsStore store(path);
        CTavirelDoc doc(&store);
        ASSERT_TRUE(doc.OnNewDocument());
        EXPECT_TRUE(doc.m_strSrcPath.isEmpty());
        doc.m_nRefLevel = -20;
        doc.m_strSrcPath = QString::fromUtf8("/data/Kurzwelle \xc3\xa4.wav");
        doc.OnCloseDocument();
    }
    QSettings raw(path, QSettings::NativeFormat);
    EXPECT_EQ(raw.value("Settings/BOOLs/BOOLs").toString(), "0:0:0:0:0:0:0:0:");
    EXPECT_EQ(raw.value("Settings/INTs/INTs").toString(), "-20:0:0:0:0:0:0:0:0:0:");
    EXPECT_EQ(raw.value("Settings/DOUBLEs/DOUBLEs").toString(), "0:0:0:0:0:0:0:0:0:0:0:");
    EXPECT_EQ(raw.value("Settings/Strings/SrcPath").toString(), QString::fromUtf8("/data/Kurzwelle \xc3\xa4.wav"));
    EXPECT_EQ(raw.value("Settings/Strings/DestPath").toString(), "");
}

TEST(Settings, StoredListsAsRead)
{
    const struct {
        const char* list;
        const char* text;
        int level;
        const char* src;
    } rows[] = {
        {"INTs", "0x14:0:0:0:0:0:0:0:0:0:", 20, "c:\\"}, // hexadecimal; no Strings: default paths
        {"INTs", "40:", 40, ""},                         // short list: loading stops after the level
        {"BOOLs", "0:0:0:0:0:0:0:", 0, ""},
        {"DOUBLEs", "0:0:0:0:0:0:0:0:0:0:", 0, ""},
    };
    for (const auto& r : rows) {
        QTemporaryDir dir;
        CSettingsStore store(dir.filePath("Tavirel.conf"));
        store.WriteProfileString("Settings\\BOOLs", "BOOLs", "0:0:0:0:0:0:0:0:");
        store.WriteProfileString("Settings\\INTs", "INTs", "0:0:0:0:0:0:0:0:0:0:");
        store.WriteProfileString("Settings\\DOUBLEs", "DOUBLEs", "0:0:0:0:0:0:0:0:0:0:0:");
        store.WriteProfileString(QString("Settings\\") + r.list, r.list, r.text);
        if (!*r.src) // a stored path that must not be read
            store.WriteProfileString("Settings\\Strings", "SrcPath", "/tmp/a.wav");
        CTavirelDoc doc(&store);
        ASSERT_TRUE(doc.OnNewDocument());
        EXPECT_EQ(doc.m_nRefLevel, r.level) << r.text;
        EXPECT_EQ(doc.m_strSrcPath, r.src) << r.text;
        EXPECT_EQ(doc.m_strDestPath, r.src) << r.text;
    }
}
