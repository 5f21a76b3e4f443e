// The segments a user has marked in one source: time spans in frames from the
// data start, each with a label and, optionally, a frequency band, kept in
// time order. The window's list, the CSV files and the per-source store all
// hold this one model.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// A frequency band in Hz: absolute for I/Q with a centre frequency, from 0
// for one channel (so it may be negative for I/Q without one).
struct SegmentBand {
    double dLowHz = 0.0;
    double dHighHz = 0.0;
    bool operator==(const SegmentBand&) const = default;
};

struct CSegment {
    int64_t nFirstFrame = 0; // first frame, counted from the data start
    int64_t nEndFrame = 0;   // one past the last frame
    QString strLabel;
    std::optional<SegmentBand> band;

    int64_t Frames() const { return nEndFrame - nFirstFrame; }
    bool operator==(const CSegment&) const = default;
};

// A label as the list keeps it, and what had to be changed to get it.
struct CleanedLabel {
    QString strText;
    bool bHadControls = false; // control characters removed (line breaks and tabs became spaces)
    bool bShortened = false;   // cut to CSegmentList::kMaxLabelChars
};

class CSegmentList {
public:
    // A label is at most this many UTF-16 units (a pair is never split).
    static constexpr int kMaxLabelChars = 256;
    // A list holds at most this many segments.
    static constexpr int kMaxSegments = 100000;

    // A list for a source of nSourceFrames frames; every segment lies in it.
    explicit CSegmentList(int64_t nSourceFrames = 0) : m_nSourceFrames(nSourceFrames) {}

    int64_t SourceFrames() const { return m_nSourceFrames; }
    int Count() const { return static_cast<int>(m_segments.size()); }
    bool IsEmpty() const { return m_segments.empty(); }
    const CSegment& At(int row) const { return m_segments[static_cast<size_t>(row)]; }
    const std::vector<CSegment>& Segments() const { return m_segments; }

    // Why s cannot be a segment of a source of nSourceFrames frames (one
    // sentence, such as "It ends past the end of the recording."); empty when
    // it can. Its label is not looked at.
    static QString Check(const CSegment& s, int64_t nSourceFrames);
    // The label without control characters, trimmed of blanks and cut to
    // kMaxLabelChars.
    static CleanedLabel CleanLabel(const QString& raw);
    // What cleaning changed, as a sentence ("" when nothing).
    static QString CleanedNote(const CleanedLabel& c);

    // Adds s in time order (by first frame, then end; after segments with the
    // same span), its label cleaned; an empty label becomes NextDefaultLabel().
    // Returns the row it took, or -1 when it is refused (Check, or the list is
    // full). *pMessage receives the reason, or a note when the label had to be
    // cleaned, and is emptied otherwise.
    int Add(CSegment s, QString* pMessage = nullptr);
    // Adds many at once, as Add does each, in one sort. Returns how many were
    // added; *pProblems (if given) receives a sentence for each one refused or
    // cleaned, prefixed with the name its caller gave it in names (or with
    // its position, from 1, when names is shorter).
    int AddAll(std::vector<CSegment> segments, QStringList* pProblems = nullptr,
               const QStringList& names = QStringList());
    // Removes the rows given (any order; rows out of range and repeats are
    // passed over). Returns how many went.
    int RemoveRows(std::vector<int> rows);
    // Gives a row a new label (cleaned; an empty one becomes the next default
    // label); the row keeps its place. False for a row out of range. *pMessage
    // as for Add.
    bool Rename(int row, const QString& label, QString* pMessage = nullptr);
    void Clear();

    // "Segment N", N one past the highest N of any label of that form this
    // list has held (removing a segment does not give its number back).
    QString NextDefaultLabel() const;

private:
    // Cleans s's label (or gives the default); the note, or "".
    QString TakeLabel(CSegment& s);
    void NoteLabel(const QString& label);

    int64_t m_nSourceFrames = 0;
    std::vector<CSegment> m_segments;
    int m_nHighestDefault = 0; // the highest N of a "Segment N" label seen
};
