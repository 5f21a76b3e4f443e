#include "doc/SegmentStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <optional>
#include <vector>

#include <sys/stat.h>

namespace {

const QString kFormat = QStringLiteral("tavirel-segments");
constexpr int kVersion = 1;
// Names tried for a damaged file set aside: NAME.damaged, NAME.damaged-2, ...
constexpr int kMaxAsideNames = 100;

int64_t Ns(const timespec& t)
{
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

QJsonObject IdentityJson(const SourceIdentity& id)
{
    return {{"size", static_cast<qint64>(id.nSize)},
            {"mtime_ns", static_cast<qint64>(id.nMtimeNs)},
            {"ctime_ns", static_cast<qint64>(id.nCtimeNs)},
            {"inode", QString::number(id.nInode)}};
}

SourceIdentity IdentityFromJson(const QJsonObject& o)
{
    SourceIdentity id;
    id.nSize = o.value("size").toInteger(-1);
    id.nMtimeNs = o.value("mtime_ns").toInteger(0);
    id.nCtimeNs = o.value("ctime_ns").toInteger(0);
    id.nInode = o.value("inode").toString().toULongLong();
    return id;
}

QJsonObject SegmentJson(const CSegment& s)
{
    QJsonObject o{{"first", static_cast<qint64>(s.nFirstFrame)},
                  {"end", static_cast<qint64>(s.nEndFrame)},
                  {"label", s.strLabel}};
    if (s.band) {
        o.insert("low_hz", s.band->dLowHz);
        o.insert("high_hz", s.band->dHighHz);
    }
    return o;
}

// An entry as it was written; nothing when any part of it is not.
std::optional<CSegment> SegmentFromJson(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    const QJsonValue first = o.value("first"), end = o.value("end"), label = o.value("label");
    const QJsonValue low = o.value("low_hz"), high = o.value("high_hz");
    if (!v.isObject() || first.toInteger(-1) < 0 || end.toInteger(-1) < 0 || !label.isString() ||
        low.isUndefined() != high.isUndefined() || (!low.isUndefined() && !(low.isDouble() && high.isDouble())))
        return std::nullopt;
    CSegment s{first.toInteger(), end.toInteger(), label.toString(), std::nullopt};
    if (!low.isUndefined())
        s.band = SegmentBand{low.toDouble(), high.toDouble()};
    return s;
}

QString Canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

// "1 entry", "3 entries".
QString Count(int n, const char* one, const char* many)
{
    return QString::number(n) + ' ' + QLatin1String(n == 1 ? one : many);
}

QString NameOf(const QString& path)
{
    return QFileInfo(path).fileName();
}

// What a stored file held, as far as it could be read.
struct StoredFile {
    bool bReadable = false; // the file as a whole (format, version) could be read
    QString strSource;
    SourceIdentity identity;
    int64_t nFrames = 0;
    std::vector<CSegment> segments;
    int nBadEntries = 0;
};

StoredFile ReadStored(const QString& file)
{
    StoredFile out;
    QFile f(file);
    if (f.size() > CSegmentStore::kMaxStoredBytes || !f.open(QIODevice::ReadOnly))
        return out;
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(f.read(CSegmentStore::kMaxStoredBytes), &error).object();
    if (error.error != QJsonParseError::NoError || root.value("format").toString() != kFormat ||
        root.value("version").toInteger() != kVersion || !root.value("segments").isArray())
        return out;
    out.bReadable = true;
    out.strSource = root.value("source").toString();
    out.identity = IdentityFromJson(root.value("identity").toObject());
    out.nFrames = root.value("frames").toInteger(-1);
    for (const QJsonValue v : root.value("segments").toArray()) {
        if (const std::optional<CSegment> s = SegmentFromJson(v))
            out.segments.push_back(*s);
        else
            ++out.nBadEntries;
    }
    return out;
}

} // namespace

SourceIdentity IdentityOf(const QString& path)
{
    struct stat st;
    SourceIdentity id;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return id;
    id.nSize = static_cast<int64_t>(st.st_size);
    id.nMtimeNs = Ns(st.st_mtim);
    id.nCtimeNs = Ns(st.st_ctim);
    id.nInode = static_cast<uint64_t>(st.st_ino);
    return id;
}

CSegmentStore::CSegmentStore()
    : m_folder(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/Quenvaldt/Tavirel/segments"))
{
}

CSegmentStore::CSegmentStore(const QString& folder) : m_folder(folder) {}

QString CSegmentStore::FileFor(const QString& sourcePath) const
{
    const QString canonical = Canonical(sourcePath);
    if (canonical.isEmpty() || m_folder.startsWith(QLatin1String("/Quenvaldt")))
        return {}; // no such source, or no data folder to keep lists in
    const QByteArray key = QCryptographicHash::hash(QFile::encodeName(canonical), QCryptographicHash::Sha1).toHex();
    return m_folder + '/' + QString::fromLatin1(key) + QStringLiteral(".json");
}

QString CSegmentStore::SetAside(const QString& file) const
{
    for (int n = 1; n <= kMaxAsideNames; ++n) {
        const QString aside = file + QStringLiteral(".damaged") + (n > 1 ? '-' + QString::number(n) : QString());
        if (!QFileInfo::exists(aside) && QFile::rename(file, aside))
            return aside;
    }
    return {};
}

StoredSegments CSegmentStore::Load(const QString& sourcePath, int64_t nSourceFrames) const
{
    StoredSegments out;
    out.list = CSegmentList(nSourceFrames);
    out.identity = IdentityOf(sourcePath);
    const QString file = FileFor(sourcePath);
    if (file.isEmpty() || !QFileInfo::exists(file))
        return out;
    const QString name = NameOf(sourcePath);
    const StoredFile stored = ReadStored(file);
    QStringList said;
    if (!stored.bReadable || stored.nBadEntries > 0) {
        const QString aside = SetAside(file);
        if (!stored.bReadable) {
            out.strMessage = QStringLiteral("The stored segment list of %1 could not be read; %2.")
                                 .arg(name, aside.isEmpty() ? "it stays as " + file : "it was set aside as " + aside);
            return out;
        }
        said << QStringLiteral("%1 of the stored segment list of %2 could not be read and %3 left out (%4).")
                    .arg(Count(stored.nBadEntries, "entry", "entries"), name, stored.nBadEntries == 1 ? "is" : "are",
                         aside.isEmpty() ? "the file stays as it was" : "the file as it was is kept as " + aside);
        if (!aside.isEmpty()) { // the readable entries are kept under the source's name again
            CSegmentList readable(stored.nFrames > 0 ? stored.nFrames : nSourceFrames);
            readable.AddAll(stored.segments);
            Save(sourcePath, stored.identity, readable);
        }
    }
    out.bFound = true;
    const int nTaken = out.list.AddAll(stored.segments);
    out.bSourceChanged =
        stored.identity != out.identity || stored.nFrames != nSourceFrames || stored.strSource != Canonical(sourcePath);
    if (out.bSourceChanged)
        said << QStringLiteral("%1 has changed since its segments were marked: their positions may have moved.")
                    .arg(name);
    if (const int nLeftOut = static_cast<int>(stored.segments.size()) - nTaken; nLeftOut > 0)
        said << QStringLiteral("%1 within %2 and %3 left out.")
                    .arg(Count(nLeftOut, "stored segment no longer lies", "stored segments no longer lie"), name,
                         nLeftOut == 1 ? "is" : "are");
    out.strMessage = said.join(' ');
    return out;
}

bool CSegmentStore::Save(const QString& sourcePath, const SourceIdentity& identity, const CSegmentList& list,
                         QString* pError) const
{
    const QString file = FileFor(sourcePath);
    const auto fail = [&](const QString& why) {
        if (pError)
            *pError = QStringLiteral("The segment list of %1 could not be kept: %2.").arg(NameOf(sourcePath), why);
        return false;
    };
    if (file.isEmpty())
        return fail(QStringLiteral("the source cannot be found"));
    if (list.IsEmpty())
        return !QFileInfo::exists(file) || QFile::remove(file) || fail(QStringLiteral("the stored file stays"));
    if (!QDir().mkpath(m_folder))
        return fail(QStringLiteral("the folder %1 cannot be made").arg(m_folder));
    QJsonArray segments;
    for (const CSegment& s : list.Segments())
        segments.append(SegmentJson(s));
    const QJsonObject root{{"format", kFormat},
                           {"version", kVersion},
                           {"source", Canonical(sourcePath)},
                           {"identity", IdentityJson(identity)},
                           {"frames", static_cast<qint64>(list.SourceFrames())},
                           {"segments", segments}};
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    QSaveFile out(file);
    if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit())
        return true;
    return fail(out.errorString());
}
