#include "doc/ProfileStore.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

// Far beyond any settings text this program writes.
constexpr qint64 kMaxFileBytes = qint64{1} << 20;

// The per-user file: organisation "Quenvaldt", application "Tavirel".
QString UserFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quenvaldt/Tavirel.conf");
}

} // namespace

CSettingsStore::CSettingsStore() : CSettingsStore(UserFilePath()) {}

CSettingsStore::CSettingsStore(const QString& filePath) : m_filePath(filePath), m_settings(Open(filePath)) {}

std::unique_ptr<QSettings> CSettingsStore::Open(const QString& filePath)
{
    // Reading a FIFO or a device could block or never end, and a huge file
    // would be read whole: such a file is left alone and the store stays empty.
    const QFileInfo info(filePath);
    if (info.exists() && (!info.isFile() || info.size() > kMaxFileBytes))
        return nullptr;
    return std::make_unique<QSettings>(filePath, QSettings::NativeFormat);
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
    if (!m_settings)
        return def;
    const QVariant v = m_settings->value(KeyFor(section, entry));
    if (!v.isValid())
        return def;
    // A hand-edited value with unquoted commas comes back as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    // A value the file marks as another type (a rectangle, a size...) is no
    // text: it counts as missing.
    if (!v.canConvert<QString>())
        return def;
    return v.toString();
}

bool CSettingsStore::WriteProfileString(const QString& section, const QString& entry, const QString& value)
{
    if (!m_settings || !m_settings->isWritable())
        return false;
    m_settings->setValue(KeyFor(section, entry), value);
    m_settings->sync();
    // The status keeps the first error met: after reading a damaged file it
    // reports a format error even when this write reached the disk. The file
    // read afresh tells: the write rewrote it without the damage, or failed.
    if (m_settings->status() == QSettings::FormatError)
        m_settings = Open(m_filePath);
    return m_settings && m_settings->status() == QSettings::NoError;
}
