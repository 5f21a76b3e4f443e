#include "display/OverviewCache.h"

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>
#include <vector>

#include "wave/RawLayout.h"

namespace {

const char kMissingKey[] = "tavirel-missing";
constexpr int kHexChars = 16;
// Source and settings parts of a name: "<source>-<settings>-".
constexpr int kSiblingChars = 2 * (kHexChars + 1);
constexpr int kAbandonedSecs = 24 * 3600;

QString Hex16(const QByteArray& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex().left(kHexChars));
}

QByteArray Nanoseconds(const struct timespec& t)
{
    return QByteArray::number(static_cast<qint64>(t.tv_sec)) + '.' + QByteArray::number(static_cast<qint64>(t.tv_nsec));
}

} // namespace

namespace overview_cache {

QString Folder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return base.isEmpty() ? QString() : base + "/tavirel/overview";
}

// A file's name and state; empty when it is not there.
QByteArray FileKey(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    struct stat st {};
    if (canonical.isEmpty() || ::stat(QFile::encodeName(canonical).constData(), &st) != 0)
        return {};
    // The change time moves with any write or replacement, even when the
    // modification time was set back; the inode tells a replaced file.
    return canonical.toUtf8() + " size " + QByteArray::number(static_cast<qint64>(st.st_size)) + " mtime " +
           Nanoseconds(st.st_mtim) + " ctime " + Nanoseconds(st.st_ctim) + " inode " +
           QByteArray::number(static_cast<quint64>(st.st_ino)) + " device " +
           QByteArray::number(static_cast<quint64>(st.st_dev));
}

QString SourceKey(const QString& source, int renderer)
{
    QByteArray key = FileKey(source);
    if (key.isEmpty())
        return {};
    // A source described by another file (SigMF) is also its samples file and their place in it.
    RawLayout layout;
    std::string why;
    const SourceResolver& resolve = CurrentSourceResolver();
    if (resolve && resolve(QFile::encodeName(source).toStdString(), layout, why) && why.empty())
        key += " samples " + FileKey(QFile::decodeName(layout.samplesPath.c_str())) + " offset " +
               QByteArray::number(static_cast<qint64>(layout.lOffset)) + " bytes " +
               QByteArray::number(static_cast<qint64>(layout.lBytes)) + " codec " +
               QByteArray::number(static_cast<int>(layout.codec));
    return QString::fromUtf8(key + " renderer " + QByteArray::number(renderer));
}

QString PyramidSettings(const PlotRenderSetup& setup)
{
    const int channels = setup.twoChannel + 1;
    return QString::asprintf("channels %d bins %d fft %d window %d", channels, setup.bins, setup.fftSize, setup.window);
}

QString PictureSettings(const PlotRenderSetup& setup)
{
    // The colours by their pixels, so that any change of a map's table misses.
    const QByteArray pixels(reinterpret_cast<const char*>(setup.pixels.data()),
                            static_cast<qsizetype>(sizeof setup.pixels));
    return QString::asprintf("%dx%d zoom %d rows %d ref %.17g bottom %.17g ", setup.width, setup.height, setup.zoom,
                             setup.rowMode, setup.refLevel, setup.bottomLevel) +
           PyramidSettings(setup) + QLatin1String(" colours ") + Hex16(pixels);
}

QString EntryPath(const QString& sourceKey, const QString& settings, const char* suffix)
{
    const QString folder = Folder();
    if (sourceKey.isEmpty() || folder.isEmpty())
        return {};
    const QString source = sourceKey.left(sourceKey.indexOf(QLatin1String(" size ")));
    return folder + '/' + Hex16(source.toUtf8()) + '-' + Hex16(settings.toUtf8()) + '-' + Hex16(sourceKey.toUtf8()) +
           QLatin1String(suffix);
}

bool Load(const QString& entry, QImage* picture, int* missing)
{
    if (entry.isEmpty() || !QFileInfo::exists(entry) || picture->format() != QImage::Format_RGB32)
        return false;
    QImageReader reader(entry, "PNG");
    bool ok = false;
    const int first = reader.text(kMissingKey).toInt(&ok); // the text is read with the header, before the pixels
    const QSize size = picture->size();
    if (!ok || first < 0 || first > size.width() || reader.size() != size)
        return false;
    const QImage image = reader.read().convertToFormat(QImage::Format_RGB32);
    if (image.isNull() || image.size() != size)
        return false;
    // Into the caller's own pixels: whoever holds their address keeps a valid one.
    const size_t rowBytes = static_cast<size_t>(size.width()) * 4;
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(picture->scanLine(y), image.constScanLine(y), rowBytes);
    *missing = first;
    Touch(entry);
    return true;
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
    RemoveStale(entry);
    return true;
}

void RemoveStale(const QString& entry)
{
    const QFileInfo info(entry);
    const QString name = info.fileName();
    const QString suffix = name.mid(name.lastIndexOf('.'));
    for (const QString& other : QDir(info.path()).entryList({name.left(kSiblingChars) + '*' + suffix}, QDir::Files))
        if (other != name)
            QFile::remove(info.path() + '/' + other);
}

void Touch(const QString& entry)
{
    QFile file(entry);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
}

void KeepWithin(int64_t budgetBytes)
{
    const QString folder = Folder();
    if (budgetBytes < 0 || folder.isEmpty())
        return;
    // The newest first. Files still being written count, and are removed only
    // when they were left behind long ago.
    QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Time);
    int64_t total = 0;
    for (const QFileInfo& e : entries)
        total += e.size();
    const QDateTime abandoned = QDateTime::currentDateTimeUtc().addSecs(-kAbandonedSecs);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const QFileInfo& e) {
                                     const QString s = e.suffix();
                                     return s != QLatin1String("png") && s != QLatin1String("tvp") &&
                                            e.lastModified() > abandoned;
                                 }),
                  entries.end());
    while (total > budgetBytes && !entries.isEmpty()) {
        const QFileInfo oldest = entries.takeLast();
        if (QFile::remove(oldest.filePath()))
            total -= oldest.size();
    }
}

} // namespace overview_cache
