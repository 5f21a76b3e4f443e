#include "doc/SegmentList.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

const QString kDefaultStem = QStringLiteral("Segment ");

bool SpanBefore(const CSegment& a, const CSegment& b)
{
    return a.nFirstFrame != b.nFirstFrame ? a.nFirstFrame < b.nFirstFrame : a.nEndFrame < b.nEndFrame;
}

// Line and paragraph breaks, tabs and the like: they become a space.
bool IsBreak(char16_t c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Characters that have no place in a one-line label: the control characters,
// and the direction overrides and isolates that make text show in another
// order than it is stored.
bool IsControl(QChar c)
{
    const char16_t u = c.unicode();
    return c.category() == QChar::Other_Control || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

} // namespace

QString CSegmentList::Check(const CSegment& s, int64_t nSourceFrames)
{
    if (s.nFirstFrame < 0)
        return QStringLiteral("It starts before the recording.");
    if (s.nFirstFrame >= nSourceFrames)
        return QStringLiteral("It starts at or past the end of the recording.");
    if (s.nEndFrame > nSourceFrames)
        return QStringLiteral("It ends past the end of the recording.");
    if (s.nEndFrame < s.nFirstFrame)
        return QStringLiteral("It ends before it starts.");
    if (s.nEndFrame == s.nFirstFrame)
        return QStringLiteral("It holds no frames.");
    if (s.band &&
        !(std::isfinite(s.band->dLowHz) && std::isfinite(s.band->dHighHz) && s.band->dLowHz < s.band->dHighHz))
        return QStringLiteral("Its band's lower edge must lie below its upper edge.");
    return {};
}

CleanedLabel CSegmentList::CleanLabel(const QString& raw)
{
    CleanedLabel c;
    c.strText.reserve(raw.size());
    for (const QChar ch : raw) {
        const bool bBreak = IsBreak(ch.unicode());
        if (bBreak || IsControl(ch))
            c.bHadControls = true;
        if (bBreak)
            c.strText += QLatin1Char(' ');
        else if (!IsControl(ch))
            c.strText += ch;
    }
    c.strText = c.strText.trimmed();
    if (c.strText.size() > kMaxLabelChars) {
        const bool bPairSplit = c.strText.at(kMaxLabelChars - 1).isHighSurrogate();
        c.strText.truncate(bPairSplit ? kMaxLabelChars - 1 : kMaxLabelChars);
        c.strText = c.strText.trimmed();
        c.bShortened = true;
    }
    return c;
}

QString CSegmentList::CleanedNote(const CleanedLabel& c)
{
    if (c.bHadControls && c.bShortened)
        return QStringLiteral("Its label had control characters, which were removed, and was cut to %1 characters.")
            .arg(kMaxLabelChars);
    if (c.bHadControls)
        return QStringLiteral("Its label had control characters, which were removed.");
    if (c.bShortened)
        return QStringLiteral("Its label was cut to %1 characters.").arg(kMaxLabelChars);
    return {};
}

QString CSegmentList::NextDefaultLabel() const
{
    return kDefaultStem + QString::number(m_nHighestDefault + 1);
}

void CSegmentList::NoteLabel(const QString& label)
{
    static const QRegularExpression form(QStringLiteral("^Segment ([1-9][0-9]{0,8})$"));
    const QRegularExpressionMatch m = form.match(label);
    if (m.hasMatch())
        m_nHighestDefault = std::max(m_nHighestDefault, m.captured(1).toInt());
}

QString CSegmentList::TakeLabel(CSegment& s)
{
    const CleanedLabel c = CleanLabel(s.strLabel);
    s.strLabel = c.strText.isEmpty() ? NextDefaultLabel() : c.strText;
    NoteLabel(s.strLabel);
    return CleanedNote(c);
}

int CSegmentList::Add(CSegment s, QString* pMessage)
{
    QString message = Check(s, m_nSourceFrames);
    if (message.isEmpty() && Count() >= kMaxSegments)
        message = QStringLiteral("The list is full (%1 segments).").arg(kMaxSegments);
    int row = -1;
    if (message.isEmpty()) {
        message = TakeLabel(s);
        const auto at = std::upper_bound(m_segments.begin(), m_segments.end(), s, SpanBefore);
        row = static_cast<int>(at - m_segments.begin());
        m_segments.insert(at, std::move(s));
    }
    if (pMessage)
        *pMessage = message;
    return row;
}

int CSegmentList::AddAll(std::vector<CSegment> segments, QStringList* pProblems, const QStringList& names)
{
    const auto problem = [&](size_t i, const QString& text) {
        if (pProblems && !text.isEmpty())
            pProblems->append((i < static_cast<size_t>(names.size()) ? names[static_cast<qsizetype>(i)]
                                                                     : QStringLiteral("Segment %1").arg(i + 1)) +
                              QStringLiteral(": ") + text);
    };
    const size_t nBefore = m_segments.size();
    for (size_t i = 0; i < segments.size(); ++i) {
        CSegment& s = segments[i];
        const QString refused = Check(s, m_nSourceFrames);
        if (!refused.isEmpty()) {
            problem(i, refused);
        } else if (m_segments.size() >= static_cast<size_t>(kMaxSegments)) {
            problem(
                i,
                QStringLiteral("The list is full (%1 segments); this and the rest were left out.").arg(kMaxSegments));
            break;
        } else {
            problem(i, TakeLabel(s));
            m_segments.push_back(std::move(s));
        }
    }
    // One stable sort: the new ones stand after the ones with their span.
    std::stable_sort(m_segments.begin(), m_segments.end(), SpanBefore);
    return static_cast<int>(m_segments.size() - nBefore);
}

int CSegmentList::RemoveRows(std::vector<int> rows)
{
    std::vector<bool> drop(m_segments.size(), false);
    int nDropped = 0;
    for (const int row : rows) {
        if (row >= 0 && row < Count() && !drop[static_cast<size_t>(row)]) {
            drop[static_cast<size_t>(row)] = true;
            ++nDropped;
        }
    }
    size_t nKept = 0;
    for (size_t i = 0; i < m_segments.size(); ++i) {
        if (!drop[i] && nKept++ != i)
            m_segments[nKept - 1] = std::move(m_segments[i]);
    }
    m_segments.resize(nKept);
    return nDropped;
}

bool CSegmentList::Rename(int row, const QString& label, QString* pMessage)
{
    if (row < 0 || row >= Count()) {
        if (pMessage)
            *pMessage = QStringLiteral("There is no such segment.");
        return false;
    }
    CSegment& s = m_segments[static_cast<size_t>(row)];
    s.strLabel = label;
    const QString note = TakeLabel(s);
    if (pMessage)
        *pMessage = note;
    return true;
}

void CSegmentList::Clear()
{
    m_segments.clear();
    m_nHighestDefault = 0;
}
