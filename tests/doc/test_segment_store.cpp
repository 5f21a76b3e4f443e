// The per-source segment store in the user's data folder (a temporary one,
// set by the test main): lists come back for their source, changed sources
// warn, damaged files are set aside, and a failed write keeps the old file.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#include "doc/SegmentStore.h"
#include "support/FaultFs.h"

namespace {

constexpr int64_t kFrames = 1000000;

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Three segments, one with a band, in a list for kFrames.
CSegmentList ThreeSegments()
{
    CSegmentList list(kFrames);
    list.Add(CSegment{900000, 1000000, "last", std::nullopt});
    list.Add(CSegment{10, 20, "first, \"quoted\"", SegmentBand{-1500.5, 2500.25}});
    list.Add(CSegment{500000, 500001, "", std::nullopt});
    return list;
}

// Sets a file's access and modification times to a second since 1970.
bool SetTimes(const QString& path, time_t sec)
{
    const timespec times[2] = {{sec, 0}, {sec, 0}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// A source file in dir (modified at 1600000000 s) and its list, stored; the store's file.
QString StoreThree(const CSegmentStore& store, const QString& source)
{
    EXPECT_TRUE(WriteBytes(source, QByteArray(4000, 'w')) && SetTimes(source, 1600000000));
    const StoredSegments none = store.Load(source, kFrames);
    EXPECT_TRUE(store.Save(source, none.identity, ThreeSegments()));
    return store.FileFor(source);
}

} // namespace

// A list kept for a source comes back, to a new store object as to a new
// run, under the source's own and a linked name; other sources have none;
// an emptied list leaves no file.
TEST(SegmentStore, ListComesBackForItsSource)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("rec.wav");
    const QString file = StoreThree(CSegmentStore(), source);
    EXPECT_EQ(QFileInfo(file).path(),
              QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("Quenvaldt/Tavirel/segments"));
    ASSERT_TRUE(QFile::link(source, dir.filePath("link.wav")));
    for (const QString& name : {source, dir.filePath("link.wav")}) {
        const StoredSegments back = CSegmentStore().Load(name, kFrames);
        EXPECT_TRUE(back.bFound && !back.bSourceChanged && back.strMessage.isEmpty()) << back.strMessage.toStdString();
        EXPECT_EQ(back.list.Segments(), ThreeSegments().Segments()) << name.toStdString();
    }
    ASSERT_TRUE(WriteBytes(dir.filePath("other.wav"), "other"));
    EXPECT_FALSE(CSegmentStore().Load(dir.filePath("other.wav"), kFrames).bFound);
    EXPECT_FALSE(CSegmentStore().Load(dir.filePath("missing.wav"), kFrames).bFound);

    const StoredSegments back = CSegmentStore().Load(source, kFrames);
    ASSERT_TRUE(CSegmentStore().Save(source, back.identity, CSegmentList(kFrames)));
    EXPECT_FALSE(QFileInfo::exists(file));
}

// A change of the source since its list was kept shows the list with a
// warning: a shortened source, whose segments past its end are left out, said
// so, or one replaced by a copy of the same size and time.
TEST(SegmentStore, ChangedSourceWarns)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("rec.wav"), copy = dir.filePath("copy.wav");
    const CSegmentStore store(dir.filePath("store"));
    StoreThree(store, source);
    const QString changed = "rec.wav has changed since its segments were marked: their positions may have moved.";
    const StoredSegments shorter = store.Load(source, kFrames / 2);
    EXPECT_TRUE(shorter.bFound && shorter.bSourceChanged);
    EXPECT_EQ(shorter.list.Count(), 1);
    EXPECT_EQ(shorter.strMessage, changed + " 2 stored segments no longer lie within rec.wav and are left out.");

    ASSERT_TRUE(QFile::copy(source, copy) && SetTimes(copy, 1600000000));
    ASSERT_EQ(std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(source).constData()), 0);
    const StoredSegments replaced = store.Load(source, kFrames);
    EXPECT_TRUE(replaced.bFound && replaced.bSourceChanged);
    EXPECT_EQ(replaced.list.Count(), 3);
    EXPECT_EQ(replaced.strMessage, changed);
}

// A stored file that cannot be read is renamed aside with its bytes, never
// over an earlier one; the readable entries of a partly damaged file stay.
TEST(SegmentStore, DamagedFilesAreSetAside)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("rec.wav");
    const CSegmentStore store(dir.filePath("store"));
    const QString file = StoreThree(store, source);
    const QByteArray good = ReadBytes(file);
    QByteArray oneBad = good;
    oneBad.replace("\"segments\":[", "\"segments\":[{\"first\":\"ten\",\"end\":20,\"label\":\"x\"},");
    const struct {
        QByteArray bytes; // empty: a sparse file past the size limit
        int kept;
        const char* says;
        const char* proves;
    } rows[] = {
        {"garbage{", 0, "could not be read; it was set aside as ", "not JSON"},
        {"{\"format\":\"other\",\"segments\":[]}", 0, "could not be read", "another program's JSON"},
        {QByteArray(good).replace("\"version\":1", "\"version\":2"), 0, "could not be read", "another version"},
        {QByteArray(), 0, "could not be read", "larger than any list"},
        {oneBad, 3, "1 entry of the stored segment list of rec.wav could not be read and is left out", "one bad entry"},
    };
    int nAside = 0;
    for (const auto& r : rows) {
        if (r.bytes.isEmpty()) {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(CSegmentStore::kMaxStoredBytes + 1)) << r.proves;
        } else {
            ASSERT_TRUE(WriteBytes(file, r.bytes)) << r.proves;
        }
        const StoredSegments back = store.Load(source, kFrames);
        ++nAside;
        const QString aside = file + ".damaged" + (nAside > 1 ? "-" + QString::number(nAside) : QString());
        EXPECT_TRUE(back.strMessage.contains(r.says)) << r.proves << ": " << back.strMessage.toStdString();
        EXPECT_TRUE(back.strMessage.contains(aside)) << r.proves << ": " << back.strMessage.toStdString();
        EXPECT_EQ(back.list.Count(), r.kept) << r.proves;
        if (!r.bytes.isEmpty()) {
            EXPECT_EQ(ReadBytes(aside), r.bytes) << r.proves;
        }
        const StoredSegments again = store.Load(source, kFrames);
        EXPECT_EQ(again.list.Count(), r.kept) << r.proves << ": the readable part is kept, the rest is gone";
        EXPECT_TRUE(again.strMessage.isEmpty()) << r.proves << ": " << again.strMessage.toStdString();
    }
}

// A write that fails (here: the file size limit) leaves the list stored
// before as it was; a data folder that cannot be made is said so.
TEST(SegmentStore, FailedWritesKeepTheStoredList)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("rec.wav");
    const CSegmentStore store(dir.filePath("store"));
    const QString file = StoreThree(store, source);
    const QByteArray before = ReadBytes(file);
    CSegmentList big(kFrames);
    for (int i = 0; i < 1000; ++i)
        big.Add(CSegment{i * 10, i * 10 + 5, "a rather long label for each of these segments", std::nullopt});

    QString error;
    bool bSaved = true;
    {
        const faultfs::SizeLimit limit(8192);
        bSaved = store.Save(source, IdentityOf(source), big, &error);
    }
    EXPECT_FALSE(bSaved);
    EXPECT_TRUE(error.startsWith("The segment list of rec.wav could not be kept: ")) << error.toStdString();
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(QDir(dir.filePath("store")).entryList(QDir::Files).size(), 1) << "no temporary is left";

    ASSERT_TRUE(WriteBytes(dir.filePath("plain"), "a file"));
    const CSegmentStore blocked(dir.filePath("plain/store"));
    EXPECT_FALSE(blocked.Save(source, IdentityOf(source), big, &error));
    EXPECT_TRUE(error.contains("cannot be made")) << error.toStdString();
}
