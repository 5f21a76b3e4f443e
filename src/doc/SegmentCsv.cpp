#include "doc/SegmentCsv.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

const char kSegmentCsvHeader[] = "from_s,to_s,label,low_hz,high_hz";

namespace {

// The columns a row may have, in the order of a file without a header.
enum Column { COL_FROM, COL_TO, COL_LABEL, COL_LOW, COL_HIGH, COL_COUNT };
using ColumnMap = std::array<int, COL_COUNT>; // the field index of each column, -1 when absent

// One line split into its fields; bad says why it could not be.
struct Fields {
    QStringList values;
    QString bad;
};

// Splits a line at its commas. A field whose first non-blank character is a
// double quote runs to the matching quote ("" stands for one) and keeps its
// blanks; other fields are trimmed.
Fields SplitLine(QStringView line)
{
    Fields f;
    qsizetype i = 0;
    for (;;) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        QString value;
        if (i < line.size() && line[i] == '"') {
            for (++i;; ++i) {
                if (i >= line.size())
                    return {{}, QStringLiteral("a double quote is not closed.")};
                if (line[i] == '"' && (i + 1 >= line.size() || line[i + 1] != '"'))
                    break;
                if (line[i] == '"')
                    ++i; // "" inside quotes
                value += line[i];
            }
            for (++i; i < line.size() && line[i] == ' ';)
                ++i;
            if (i < line.size() && line[i] != ',')
                return {{}, QStringLiteral("text follows a closing double quote.")};
        } else {
            const qsizetype comma = line.indexOf(',', i);
            const qsizetype end = comma < 0 ? line.size() : comma;
            value = line.mid(i, end - i).trimmed().toString();
            i = end;
        }
        f.values.append(value);
        if (i >= line.size())
            return f;
        ++i; // the comma
    }
}

bool ParseNumber(const QString& text, double* out)
{
    static const QLocale c = [] {
        QLocale l = QLocale::c();
        l.setNumberOptions(QLocale::RejectGroupSeparator);
        return l;
    }();
    bool ok = false;
    *out = c.toDouble(text, &ok);
    return ok && std::isfinite(*out);
}

// The column map of a header line; nothing when it names no from_s and to_s.
std::optional<ColumnMap> HeaderColumns(const QStringList& names)
{
    static const char* const kNames[COL_COUNT] = {"from_s", "to_s", "label", "low_hz", "high_hz"};
    ColumnMap map;
    map.fill(-1);
    for (int i = 0; i < names.size(); ++i) {
        for (int col = 0; col < COL_COUNT; ++col) {
            if (map[col] < 0 && names[i].compare(QLatin1String(kNames[col]), Qt::CaseInsensitive) == 0)
                map[col] = i;
        }
    }
    if (map[COL_FROM] < 0 || map[COL_TO] < 0)
        return std::nullopt;
    return map;
}

QString Field(const QStringList& values, int index)
{
    return index >= 0 && index < values.size() ? values[index] : QString();
}

// A piece of the file quoted in a message: short, and without the control
// characters that could steer a terminal.
QString Quoted(const QString& text)
{
    return '"' + CSegmentList::CleanLabel(text.left(40)).strText + '"';
}

QString LowerFirst(QString s)
{
    if (!s.isEmpty())
        s[0] = s[0].toLower();
    return s;
}

// Reads the rows of one file; keeps the tally of SegmentCsvRead.
class CCsvRows {
public:
    CCsvRows(const SegmentClock& clock, int64_t nSourceFrames, SegmentCsvRead& out)
        : m_clock(clock), m_nFrames(nSourceFrames), m_out(out)
    {
    }
    // Takes one line that is no comment and not blank; false when the file
    // must be refused as a whole.
    bool TakeLine(QStringView line, int nLine);
    void Finish();

private:
    void Refuse(int nLine, const QString& why);
    void Note(int nLine, const QString& what);
    // The segment of a row's fields, or the reason it cannot be one.
    std::optional<CSegment> Row(const QStringList& values, QString* why) const;
    bool Seconds(const QStringList& values, Column col, double* out, QString* why) const;
    QString OutsideText(const char* name, const QString& text) const;

    const SegmentClock& m_clock;
    const int64_t m_nFrames;
    SegmentCsvRead& m_out;
    std::optional<ColumnMap> m_columns; // set by the first line
    int m_nColumns = COL_COUNT;
    int m_nUnlisted = 0;
    int m_nFullFrom = 0; // the first line refused because the list was full
};

void CCsvRows::Note(int nLine, const QString& what)
{
    if (m_out.problems.size() < kMaxListedProblems)
        m_out.problems.append(QStringLiteral("Line %1: %2").arg(nLine).arg(what));
    else
        ++m_nUnlisted;
}

void CCsvRows::Refuse(int nLine, const QString& why)
{
    ++m_out.nRefused;
    Note(nLine, why);
}

bool CCsvRows::Seconds(const QStringList& values, Column col, double* out, QString* why) const
{
    const char* name = col == COL_FROM ? "from_s" : "to_s";
    const QString text = Field(values, (*m_columns)[col]);
    if (text.isEmpty()) {
        *why = QStringLiteral("%1 is missing.").arg(QLatin1String(name));
        return false;
    }
    if (!ParseNumber(text, out)) {
        *why = QStringLiteral("%1 %2 is not a number of seconds.").arg(QLatin1String(name), Quoted(text));
        return false;
    }
    // Past the end by a second or more is refused here, before any conversion
    // (so no number can overflow it); closer ones once they are frames.
    if (*out < 0.0 || *out > m_clock.secondsOfFrame(m_nFrames) + 1.0) {
        *why = OutsideText(name, text);
        return false;
    }
    return true;
}

QString CCsvRows::OutsideText(const char* name, const QString& text) const
{
    return QStringLiteral("%1 %2 lies outside the recording (0 to %3 s).")
        .arg(QLatin1String(name), text.left(40), QString::number(m_clock.secondsOfFrame(m_nFrames), 'f', 3));
}

std::optional<CSegment> CCsvRows::Row(const QStringList& values, QString* why) const
{
    const ColumnMap& map = *m_columns;
    if (std::any_of(values.begin() + std::min<qsizetype>(values.size(), m_nColumns), values.end(),
                    [](const QString& v) { return !v.isEmpty(); })) {
        *why = QStringLiteral("it has more columns than %1 (a label with commas needs double quotes).")
                   .arg(m_nColumns == COL_COUNT ? QStringLiteral("from_s,to_s,label,low_hz,high_hz")
                                                : QStringLiteral("the header names"));
        return std::nullopt;
    }
    double dFrom = 0.0, dTo = 0.0;
    if (!Seconds(values, COL_FROM, &dFrom, why) || !Seconds(values, COL_TO, &dTo, why))
        return std::nullopt;
    if (dFrom > dTo) {
        *why = QStringLiteral("from_s %1 comes after to_s %2.")
                   .arg(Field(values, map[COL_FROM]), Field(values, map[COL_TO]));
        return std::nullopt;
    }
    CSegment s;
    s.nFirstFrame = m_clock.frameOfSeconds(dFrom);
    s.nEndFrame = m_clock.frameOfSeconds(dTo);
    if (s.nFirstFrame >= m_nFrames || s.nEndFrame > m_nFrames) {
        *why = s.nFirstFrame >= m_nFrames ? OutsideText("from_s", Field(values, map[COL_FROM]))
                                          : OutsideText("to_s", Field(values, map[COL_TO]));
        return std::nullopt;
    }
    s.strLabel = Field(values, map[COL_LABEL]);
    const QString low = Field(values, map[COL_LOW]), high = Field(values, map[COL_HIGH]);
    if (!low.isEmpty() || !high.isEmpty()) {
        SegmentBand band;
        if (low.isEmpty() || high.isEmpty()) {
            *why = QStringLiteral("a band needs both low_hz and high_hz.");
            return std::nullopt;
        }
        if (!ParseNumber(low, &band.dLowHz) || !ParseNumber(high, &band.dHighHz)) {
            *why = QStringLiteral("low_hz %1 and high_hz %2 must be numbers of Hz.").arg(Quoted(low), Quoted(high));
            return std::nullopt;
        }
        s.band = band;
    }
    *why = LowerFirst(CSegmentList::Check(s, m_nFrames));
    if (!why->isEmpty())
        return std::nullopt;
    return s;
}

bool CCsvRows::TakeLine(QStringView line, int nLine)
{
    const Fields f = SplitLine(line);
    if (!m_columns) {
        double d = 0.0;
        if (!f.bad.isEmpty() || !ParseNumber(Field(f.values, 0), &d)) {
            m_columns = HeaderColumns(f.values);
            m_nColumns = static_cast<int>(f.values.size());
            if (!m_columns) {
                m_out.strError =
                    QStringLiteral("Line %1 is neither a header naming from_s and to_s (%2) nor a segment.")
                        .arg(nLine)
                        .arg(QLatin1String(kSegmentCsvHeader));
                return false;
            }
            return true; // the header
        }
        m_columns = ColumnMap{COL_FROM, COL_TO, COL_LABEL, COL_LOW, COL_HIGH};
    }
    if (m_out.segments.size() >= static_cast<size_t>(CSegmentList::kMaxSegments)) {
        if (m_nFullFrom == 0)
            m_nFullFrom = nLine;
        ++m_out.nRefused;
        return true;
    }
    QString why = f.bad;
    const std::optional<CSegment> s = why.isEmpty() ? Row(f.values, &why) : std::nullopt;
    if (!s) {
        Refuse(nLine, why);
        return true;
    }
    const CleanedLabel label = CSegmentList::CleanLabel(s->strLabel);
    const QString note = CSegmentList::CleanedNote(label);
    if (!note.isEmpty()) {
        ++m_out.nCleaned;
        Note(nLine, LowerFirst(note));
    }
    m_out.segments.push_back(*s);
    m_out.segments.back().strLabel = label.strText;
    return true;
}

void CCsvRows::Finish()
{
    if (m_nFullFrom > 0)
        m_out.problems.append(QStringLiteral("Line %1 and the lines after it: only the first %2 segments are read.")
                                  .arg(m_nFullFrom)
                                  .arg(CSegmentList::kMaxSegments));
    if (m_nUnlisted > 0)
        m_out.problems.append(QStringLiteral("... and %1 more lines with problems.").arg(m_nUnlisted));
}

// The fewest decimals (3 at least) with which seconds give back frame.
QString SecondsText(int64_t frame, const SegmentClock& clock)
{
    const double d = clock.secondsOfFrame(frame);
    for (int decimals = 3; decimals < 12; ++decimals) {
        const QString text = QString::number(d, 'f', decimals);
        if (clock.frameOfSeconds(text.toDouble()) == frame)
            return text;
    }
    return QString::number(d, 'f', 12);
}

QString QuotedLabel(const QString& label)
{
    if (!label.contains(',') && !label.contains('"') && label == label.trimmed())
        return label;
    return '"' + QString(label).replace('"', QLatin1String("\"\"")) + '"';
}

} // namespace

SegmentCsvRead ParseSegmentsCsv(const QByteArray& bytes, const SegmentClock& clock, int64_t nSourceFrames)
{
    SegmentCsvRead out;
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    CCsvRows rows(clock, nSourceFrames, out);
    int nLine = 0;
    for (qsizetype pos = 0; pos <= text.size();) {
        qsizetype end = text.indexOf('\n', pos);
        if (end < 0)
            end = text.size();
        QStringView line = QStringView(text).mid(pos, end - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        ++nLine;
        pos = end + 1;
        const QStringView content = line.trimmed();
        if (content.isEmpty() || content.startsWith('#'))
            continue;
        if (!rows.TakeLine(line, nLine))
            return out;
    }
    rows.Finish();
    out.bRead = true;
    return out;
}

SegmentCsvRead ReadSegmentsCsv(const QString& path, const SegmentClock& clock, int64_t nSourceFrames)
{
    SegmentCsvRead out;
    const QFileInfo info(path);
    QFile file(path);
    if (!info.exists())
        out.strError = QStringLiteral("%1 does not exist.").arg(path);
    else if (!info.isFile())
        out.strError = QStringLiteral("%1 is not a file.").arg(path);
    else if (info.size() > kMaxSegmentCsvBytes)
        out.strError = QStringLiteral("%1 is larger than %2 MiB: no segment list is that long.")
                           .arg(path)
                           .arg(kMaxSegmentCsvBytes >> 20);
    else if (!file.open(QIODevice::ReadOnly))
        out.strError = QStringLiteral("%1 cannot be read (%2).").arg(path, file.errorString());
    if (!out.strError.isEmpty())
        return out;
    const QByteArray bytes = file.read(kMaxSegmentCsvBytes + 1);
    if (bytes.size() > kMaxSegmentCsvBytes) {
        out.strError = QStringLiteral("%1 is larger than %2 MiB: no segment list is that long.")
                           .arg(path)
                           .arg(kMaxSegmentCsvBytes >> 20);
        return out;
    }
    return ParseSegmentsCsv(bytes, clock, nSourceFrames);
}

QString SegmentCsvRead::Summary(const QString& fileName) const
{
    if (!bRead)
        return strError;
    QString text = QStringLiteral("%1 %2 read from %3")
                       .arg(segments.size())
                       .arg(segments.size() == 1 ? QStringLiteral("segment") : QStringLiteral("segments"), fileName);
    QStringList parts;
    if (nRefused > 0)
        parts << QStringLiteral("%1 %2 refused").arg(nRefused).arg(QLatin1String(nRefused == 1 ? "line" : "lines"));
    if (nCleaned > 0)
        parts << QStringLiteral("%1 %2 cleaned").arg(nCleaned).arg(QLatin1String(nCleaned == 1 ? "label" : "labels"));
    if (parts.isEmpty())
        return text + '.';
    return text + "; " + parts.join(QStringLiteral(", ")) + ":\n" + problems.join('\n');
}

QByteArray SegmentsToCsv(const CSegmentList& list, const SegmentClock& clock)
{
    QString text = QLatin1String(kSegmentCsvHeader) + '\n';
    for (const CSegment& s : list.Segments()) {
        text += SecondsText(s.nFirstFrame, clock) + ',' + SecondsText(s.nEndFrame, clock) + ',' +
                QuotedLabel(s.strLabel) + ',';
        if (s.band)
            text += QString::number(s.band->dLowHz, 'f', QLocale::FloatingPointShortest) + ',' +
                    QString::number(s.band->dHighHz, 'f', QLocale::FloatingPointShortest);
        else
            text += ',';
        text += '\n';
    }
    return text.toUtf8();
}

bool WriteSegmentsCsv(const QString& path, const CSegmentList& list, const SegmentClock& clock, QString* pError)
{
    QSaveFile file(path);
    const QByteArray bytes = SegmentsToCsv(list, clock);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (pError)
        *pError = QStringLiteral("%1 could not be written (%2).").arg(path, file.errorString());
    return false;
}
