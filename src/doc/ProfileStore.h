// The per-user settings store: string values by section and value name.
#pragma once

#include <QString>

#include <memory>

class QSettings;

// The narrow store interface the document and the window placement use.
class CProfileStore {
public:
    virtual ~CProfileStore() = default;
    // section like "Settings\\INTs" or "WindowPos"; returns def when the value is missing
    virtual QString GetProfileString(const QString& section, const QString& entry, const QString& def = QString()) = 0;
    virtual bool WriteProfileString(const QString& section, const QString& entry, const QString& value) = 0;
};

// The store kept by QSettings in one file of the platform's native format,
// by default $XDG_CONFIG_HOME/Quenvaldt/Tavirel.conf. A '\\' in a section
// becomes a group separator, so "Settings\\BOOLs" is the group "Settings/BOOLs".
// Any file content gives a working store; a file that is no regular file or is
// over 1 MiB is not read, and the store is then empty and keeps nothing.
class CSettingsStore : public CProfileStore {
public:
    CSettingsStore();
    // A store in the given file (native format); for tests and tools.
    explicit CSettingsStore(const QString& filePath);
    ~CSettingsStore() override;
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    QString GetProfileString(const QString& section, const QString& entry, const QString& def = QString()) override;
    bool WriteProfileString(const QString& section, const QString& entry, const QString& value) override;

    // The key QSettings uses for a section and value name.
    static QString KeyFor(const QString& section, const QString& entry);

private:
    // The store in filePath; null when the file must not be read.
    static std::unique_ptr<QSettings> Open(const QString& filePath);

    QString m_filePath;
    std::unique_ptr<QSettings> m_settings;
};
