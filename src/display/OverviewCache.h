// Whole-source pictures kept in the user's cache folder, so that opening the
// same recording again shows its overview at once. One PNG per source and
// picture setting in $XDG_CACHE_HOME/tavirel/overview (~/.cache/... when unset),
// named after the source's canonical path and keyed by its size, modification
// time and the picture's settings; a source that changed misses its entry.
#pragma once

#include <QImage>
#include <QString>

namespace overview_cache {

// The entry for a source and a settings text; empty when the source cannot be
// found.
QString EntryPath(const QString& source, const QString& settings);
// Reads an entry of the given size; *missing receives the first column the
// rendering could not draw (the width when it drew all).
bool Load(const QString& entry, QSize size, QImage* picture, int* missing);
// Writes an entry in one step and removes the source's entries of other keys.
bool Store(const QString& entry, const QImage& picture, int missing);

} // namespace overview_cache
