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
    virtual QString GetProfileString(const QString& section, const QString& entry,
                                     const QString& def = QString()) = 0;
    virtual bool WriteProfileString(const QString& section, const QString& entry,
                                    const QString& value) = 0;
};

// The store kept by QSettings: organisation "Quenvaldt", application "Tavirel",
// the platform's native format. A '\\' in a section becomes a group separator,
// so "Settings\\BOOLs" is the group "Settings/BOOLs".
class CSettingsStore : public CProfileStore {
public:
    CSettingsStore();
    // A store in the given file (native format); for tests and tools.
    explicit CSettingsStore(const QString& filePath);
    ~CSettingsStore() override;
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& def = QString()) override;
    bool WriteProfileString(const QString& section, const QString& entry,
                            const QString& value) override;

    // The key QSettings uses for a section and value name.
    static QString KeyFor(const QString& section, const QString& entry);

private:
    std::unique_ptr<QSettings> m_settings;
};
