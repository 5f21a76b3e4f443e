#include "doc/ProfileStore.h"

#include <QSettings>

CSettingsStore::CSettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Quenvaldt"), QStringLiteral("Tavirel")))
{
}

CSettingsStore::CSettingsStore(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::NativeFormat))
{
}

CSettingsStore::~CSettingsStore() = default;

QString CSettingsStore::KeyFor(const QString& section, const QString& entry)
{
    // QSettings keeps a backslash inside a group literally; the stored format
    // names sections with backslashes between their levels.
    QString group = section;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return group.isEmpty() ? entry : group + QLatin1Char('/') + entry;
}

QString CSettingsStore::GetProfileString(const QString& section, const QString& entry, const QString& def)
{
    const QVariant v = m_settings->value(KeyFor(section, entry));
    if (!v.isValid())
        return def;
    // A hand-edited value with unquoted commas comes back as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

bool CSettingsStore::WriteProfileString(const QString& section, const QString& entry, const QString& value)
{
    if (!m_settings->isWritable())
        return false;
    m_settings->setValue(KeyFor(section, entry), value);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
