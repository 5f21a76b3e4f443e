// Whole-source pictures and level pyramids kept in the user's cache folder,
// $XDG_CACHE_HOME/tavirel/overview (~/.cache/... when unset), so that opening
// the same recording again shows its overview at once. One entry per source
// and picture setting: named after the source's canonical path and the
// settings, and keyed by the source's state (size, modification and change
// time, inode, device) and the renderer's version, so that a source that
// changed in any way, or a newer renderer, misses its entries. Entries beyond
// a size budget are removed, the least recently used first.
#pragma once

#include <QImage>
#include <QString>

#include <cstdint>

#include "display/PlotRender.h"

namespace overview_cache {

constexpr int64_t kDefaultBudgetBytes = int64_t{2} << 30;

// The folder; empty when there is no home folder to cache in.
QString Folder();
// An entry is keyed by these three texts, and by nothing else.
// What an entry of the source depends on: its identity and state, and the
// renderer's version; empty when the source cannot be found.
QString SourceKey(const QString& source, int renderer = kPlotRendererVersion);
// What a level pyramid of the source depends on beyond it: how its transforms
// are made (channels, display bins, transform size, window).
QString PyramidSettings(const PlotRenderSetup& setup);
// What a whole-source picture depends on beyond it: the pyramid's settings
// and the picture's size, zoom, rows, reference level, range and colours.
QString PictureSettings(const PlotRenderSetup& setup);
// The entry for a source key, a settings text and a file suffix; empty for
// an empty key or no folder.
QString EntryPath(const QString& sourceKey, const QString& settings, const char* suffix);
// Reads an entry into *picture, which must be a 32-bit picture of the entry's
// size: its pixels are filled in place, and left alone when the entry is
// missing, damaged or of another size. *missing receives the first column
// the rendering could not draw (the width when it drew all).
bool Load(const QString& entry, QImage* picture, int* missing);
// Writes an entry in one step and removes the source's entries of the same
// settings under another key.
bool Store(const QString& entry, const QImage& picture, int missing);
// Removes the entries of the same source and settings as entry under other keys.
void RemoveStale(const QString& entry);
// Marks an entry as just used.
void Touch(const QString& entry);
// Removes entries, the least recently used first, until the folder holds at
// most budgetBytes (negative: no limit).
void KeepWithin(int64_t budgetBytes);

} // namespace overview_cache
