// Feeds arbitrary bytes as the whole settings file: the document loads its
// settings from it, the "WindowPos" record is read from it, and the settings
// are saved into it. Besides crashes, hangs and undefined behaviour, a finding
// is a level off the valid steps, or a save reported as done after which the
// file does not give the saved settings back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include "app/WindowPlacement.h"
#include "doc/ProfileStore.h"
#include "doc/SettingsText.h"
#include "doc/TavirelDoc.h"

namespace {

void RemoveSettingsFolder();

// In memory where there is a tmpfs: every save syncs the file. The path is
// never destroyed, so that the folder's removal at exit can still name it.
const std::string& SettingsPath()
{
    static const std::string& path = *new std::string([] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        std::string dir = base.toStdString() + "/tavirel-fuzz-XXXXXX";
        if (mkdtemp(dir.data()) == nullptr)
            std::abort();
        std::atexit(RemoveSettingsFolder);
        return dir + "/Tavirel.conf";
    }());
    return path;
}

// The folder goes at exit with everything the store left in it (its lock file).
void RemoveSettingsFolder()
{
    QFileInfo(QString::fromStdString(SettingsPath())).dir().removeRecursively();
}

bool IsStep(int levelDb)
{
    return NearestRefLevel(levelDb) == levelDb;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = SettingsPath();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const QString qPath = QString::fromStdString(path);
    bool bSaved = false;
    {
        CSettingsStore store(qPath);
        CTavirelDoc doc(&store);
        doc.OnNewDocument();
        if (!IsStep(doc.m_nRefLevel))
            std::abort();
        WINDOWPLACEMENT wp;
        ParsePlacement(store.GetProfileString(QStringLiteral("WindowPos"), QStringLiteral("WindowPos")).toStdString(),
                       &wp);
        doc.m_nRefLevel = -60;
        doc.m_strDestPath = QStringLiteral("/data/cut.wav");
        bSaved = doc.SaveSettings();
    }
    if (bSaved) {
        CSettingsStore store(qPath);
        CTavirelDoc doc(&store);
        if (!doc.LoadSettings() || doc.m_nRefLevel != -60 || doc.m_strDestPath != QStringLiteral("/data/cut.wav"))
            std::abort();
    }
    return 0;
}
