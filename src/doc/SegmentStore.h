// The segment lists kept for each source in the user's data folder
// ($XDG_DATA_HOME/Quenvaldt/Tavirel/segments, ~/.local/share/... when unset),
// so that a source opened again shows what was marked in it. One JSON file
// per source, named after the source's canonical path; it holds the source's
// identity (size, modification and change time, inode) as it was when the
// list was made, so that a source that changed since can be told apart: its
// list still comes back, with a warning that positions may have moved.
// Files are written in one step (a temporary, then renamed); a file that
// cannot be read is set aside under another name, never removed.
#pragma once

#include <QString>

#include <cstdint>

#include "doc/SegmentList.h"

// What tells one state of a source file from another.
struct SourceIdentity {
    int64_t nSize = -1;
    int64_t nMtimeNs = 0; // last modification, ns since 1970
    int64_t nCtimeNs = 0; // last change of contents or attributes
    uint64_t nInode = 0;
    bool operator==(const SourceIdentity&) const = default;
    bool IsKnown() const { return nSize >= 0; }
};

// The identity of the file at path now; unknown (nSize -1) when it cannot be
// looked at.
SourceIdentity IdentityOf(const QString& path);

// A stored list as it came back for a source.
struct StoredSegments {
    CSegmentList list;
    bool bFound = false; // a stored list was there and could be read
    // The source is not as it was when the list was kept: the positions may
    // have moved. The list is shown all the same.
    bool bSourceChanged = false;
    // The source's identity now, to keep the list under when it changes.
    SourceIdentity identity;
    // For the user, "" when there is nothing to say: a changed source,
    // segments that no longer fit it, a damaged file set aside.
    QString strMessage;
};

class CSegmentStore {
public:
    // A stored file larger than this is taken for a damaged one.
    static constexpr int64_t kMaxStoredBytes = 64ll << 20;

    // The store in the user's data folder.
    CSegmentStore();
    // A store in another folder (tests, tools).
    explicit CSegmentStore(const QString& folder);

    QString Folder() const { return m_folder; }
    // The stored file of a source; "" when the source cannot be found.
    QString FileFor(const QString& sourcePath) const;

    // The list kept for the source at sourcePath, for its nSourceFrames
    // frames now. Segments that no longer fit the source are left out (and
    // said so). A file that cannot be read, or holds entries that cannot be,
    // is renamed aside (the readable entries are kept again under the
    // source's name).
    StoredSegments Load(const QString& sourcePath, int64_t nSourceFrames) const;
    // Keeps list for the source at sourcePath, which had the identity given
    // (StoredSegments::identity of its Load). An empty list removes the
    // stored file. False with *pError when the file could not be written (the
    // one stored before is then as it was).
    bool Save(const QString& sourcePath, const SourceIdentity& identity, const CSegmentList& list,
              QString* pError = nullptr) const;

private:
    // Renames a stored file aside; the name it got, "" when it could not be.
    QString SetAside(const QString& file) const;

    QString m_folder;
};
