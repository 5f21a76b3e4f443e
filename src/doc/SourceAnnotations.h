// The segments a recording brings along: a SigMF recording's annotations.
#pragma once

#include <QString>
#include <QStringList>

#include "doc/SegmentList.h"

// The annotations of the source at path as a list of nSourceFrames frames
// (empty for sources without any); *pProblems receives a sentence per item skipped.
CSegmentList SourceAnnotations(const QString& path, int64_t nSourceFrames, QStringList* pProblems);
