// Segment lists as CSV files, for spreadsheets, scripts and other tools:
//
//   from_s,to_s,label,low_hz,high_hz
//   176.25,176.45,Segment 1,,
//   189.3,189.5,"Burst, strong",7095000,7100000
//
// Times are seconds with decimals from the data start, converted to frames by
// the source's own clock (the one seconds-to-frames conversion of the
// program). A header line names the columns (any order, unknown ones are
// passed over, from_s and to_s are needed); a file without one has the
// columns in the order above. Lines that start with '#' and blank lines are
// passed over. A field in double quotes may hold commas and doubled quotes;
// a record is one line. Every line that cannot give a sound segment is
// refused with a sentence naming it, and labels are cleaned as the list
// cleans them: a file can never give a wrong segment.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include "doc/SegmentList.h"
#include "wave/TimeBase.h"

// The source's conversion between seconds from the data start and frames.
struct SegmentClock {
    std::function<int64_t(double)> frameOfSeconds;
    std::function<double(int64_t)> secondsOfFrame;
};

// The clock of a source's time base (a document's m_timeBase), which must
// outlive the clock.
inline SegmentClock ClockOf(const CTimeBase& timeBase)
{
    return {[&timeBase](double s) { return timeBase.FrameOfSeconds(s); },
            [&timeBase](int64_t f) { return timeBase.SecondsOfFrame(f); }};
}

// The header line written, and the column names a header may use.
extern const char kSegmentCsvHeader[];

// At most this many problems are listed one by one; the rest are counted.
constexpr int kMaxListedProblems = 50;
// A CSV file larger than this is not read.
constexpr int64_t kMaxSegmentCsvBytes = 64ll << 20;

struct SegmentCsvRead {
    // False when the file as a whole could not be read (strError says why);
    // the rows are then not looked at.
    bool bRead = false;
    QString strError;
    // The segments of the rows taken, in the file's order (not yet sorted);
    // an empty label stands for the list's default one.
    std::vector<CSegment> segments;
    // "Line N: ..." for each row refused or changed, at most
    // kMaxListedProblems of them, then one line counting the others.
    QStringList problems;
    int nRefused = 0; // rows refused
    int nCleaned = 0; // rows whose label was cleaned

    // One paragraph for the user: what was read, then the problems.
    QString Summary(const QString& fileName) const;
};

// Reads CSV text for a source of nSourceFrames frames. At most
// CSegmentList::kMaxSegments rows are taken; later rows are refused with one
// problem line.
SegmentCsvRead ParseSegmentsCsv(const QByteArray& text, const SegmentClock& clock, int64_t nSourceFrames);
// The same for a file (missing, unreadable, not a regular file or larger than
// kMaxSegmentCsvBytes: bRead false).
SegmentCsvRead ReadSegmentsCsv(const QString& path, const SegmentClock& clock, int64_t nSourceFrames);

// The list as CSV text: the header, then one row per segment in the list's
// order. Times carry the fewest decimals (3 at least) that give back the
// same frames through clock.
QByteArray SegmentsToCsv(const CSegmentList& list, const SegmentClock& clock);
// Writes that text to path in one step (a temporary beside it, then renamed),
// replacing a file of that name: the caller asks the user first. False with
// *pError on failure (no file is then left or changed).
bool WriteSegmentsCsv(const QString& path, const CSegmentList& list, const SegmentClock& clock, QString* pError);
