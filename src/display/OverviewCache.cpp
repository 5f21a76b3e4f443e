#include "display/OverviewCache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const char kMissingKey[] = "tavirel-missing";

QString Hex16(const QByteArray& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex().left(16));
}

QString Folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/tavirel/overview";
}

} // namespace

namespace overview_cache {

QString EntryPath(const QString& source, const QString& settings)
{
    const QFileInfo info(source);
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || Folder().startsWith("/tavirel"))
        return {}; // no such source, or no home folder to cache in
    const QByteArray key = QByteArray::number(info.size()) + ' ' +
                           QByteArray::number(info.lastModified().toMSecsSinceEpoch()) + ' ' + settings.toUtf8();
    return Folder() + '/' + Hex16(canonical.toUtf8()) + '-' + Hex16(key) + ".png";
}

bool Load(const QString& entry, QSize size, QImage* picture, int* missing)
{
    if (entry.isEmpty() || !QFileInfo::exists(entry))
        return false;
    QImageReader reader(entry, "PNG");
    bool ok = false;
    const int first = reader.text(kMissingKey).toInt(&ok); // the text is read with the header, before the pixels
    const QImage image = reader.read();
    if (image.isNull() || image.size() != size || !ok || first < 0 || first > size.width())
        return false;
    *picture = image.convertToFormat(QImage::Format_RGB32);
    *missing = first;
    return !picture->isNull();
}

bool Store(const QString& entry, const QImage& picture, int missing)
{
    if (entry.isEmpty() || !QDir().mkpath(QFileInfo(entry).path()))
        return false;
    QSaveFile file(entry);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, "PNG");
    writer.setQuality(80); // zlib level 1
    writer.setText(kMissingKey, QString::number(missing));
    if (!writer.write(picture) || !file.commit())
        return false;
    // Entries of the same source under an older key are of no further use.
    const QFileInfo info(entry);
    const QString prefix = info.fileName().left(17);
    for (const QString& name : QDir(info.path()).entryList({prefix + "*.png"}, QDir::Files))
        if (name != info.fileName())
            QFile::remove(info.path() + '/' + name);
    return true;
}

} // namespace overview_cache
