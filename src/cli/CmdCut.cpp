// tavirel-cli cut: saves spans of a source as new numbered wave files,
// through the same document and save code as the window's "Save Segment" and
// "Save All Segments": one span given by its ends, or every row of a segment
// list.
#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/SourceOpen.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "doc/SegmentCsv.h"
#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "doc/TimeInput.h"

namespace {

const char kCutUsage[] = "usage: tavirel-cli cut FILE --from T --to T --dest PATH [OPTIONS]\n"
                         "       tavirel-cli cut FILE --from-frame N --to-frame N --dest PATH [OPTIONS]\n"
                         "       tavirel-cli cut FILE --segments LIST.csv --dest PATH [OPTIONS]\n"
                         "\n"
                         "Saves the part of FILE from --from to --to as a new wave file, exactly as the\n"
                         "window's \"Save Segment\" does for those marks: the source's format, an \"auxi\"\n"
                         "record with the segment's start and stop time (to the millisecond), and whole\n"
                         "blocks of 2048 frames (the last may run past --to). With --segments every row\n"
                         "of the list is saved, in time order, as \"Save All Segments\" does (a row\n"
                         "with a band as that band, extracted as tavirel-cli extract does). Without\n"
                         "--agc the samples are the source's bytes exactly. Files are named from PATH\n"
                         "with a running number in place of its last four characters (cut.wav becomes\n"
                         "cut_001.wav), the number after the highest one already in its folder, so no\n"
                         "file is ever replaced. Prints the path of each file written alone on a line.\n"
                         "\n"
                         "  --from T, --to T   the span's ends, each one of:\n"
                         "                       176.25                   seconds from the data start\n"
                         "                       09:07:56.25              the recording's time of day (the\n"
                         "                                                first at or after its start)\n"
                         "                       2026-06-21T09:07:56.25Z  a date and time (Z, an offset\n"
                         "                                                such as +02:00, or none)\n"
                         "                     the wall-clock forms need a recording time\n"
                         "  --from-frame N, --to-frame N\n"
                         "                     the ends as frames from the data start (either end may\n"
                         "                     be given either way)\n"
                         "  --segments LIST    a segment list (CSV: from_s,to_s,label,low_hz,high_hz);\n"
                         "                     a list with any row that cannot be a segment is refused\n"
                         "                     whole, and nothing is written\n"
                         "  --dest PATH        destination name, for example cut.wav\n"
                         "  --agc              level the samples with the automatic gain control\n"
                         "  --format F         wav (the default) or sigmf: a SigMF recording instead,\n"
                         "                     cut_001.sigmf-data (the samples losslessly, 24-bit ones\n"
                         "                     widened to 32) and cut_001.sigmf-meta (rate, centre,\n"
                         "                     start, the segment's label and band as an annotation)\n"
                         "  --sigmf            also write a SigMF description beside each file\n"
                         "                     (cut_001.sigmf-meta: the wave read in place, the\n"
                         "                     segment's label and band as an annotation); 24-bit\n"
                         "                     files have no SigMF type and get none\n"
                         "  --json             print one JSON object per file written instead: path,\n"
                         "                     first_frame, frames (in the file), from_s, to_s, start and\n"
                         "                     stop (the recording's clock, or null) and label\n"
                         "  --overwrite        accepted and ignored: a cut never replaces a file\n"
                         "  --help             this text\n"
                         "\n"
                         "Exit status: 0 written, 1 the source could not be read or a segment not\n"
                         "written (those written before it stay), 2 a usage error.\n";

int Usage(const char* message, const std::string& detail = std::string())
{
    return UsageError("cut", message, detail);
}

int Failure(const std::string& message)
{
    std::fprintf(stderr, "tavirel-cli cut: %s\n", message.c_str());
    return 1;
}

// The cut options, as given.
struct CutArgs {
    std::string file, dest, segments;
    // Every value given (the last counts, each must be sound).
    std::vector<std::string> fromTexts, toTexts;
    std::optional<int64_t> fromFrame, toFrame;
    bool bAgc = false;
    bool bJson = false;
    bool bSigmf = false;
    bool bSaveAsSigmf = false;
};

// Whole frames, 0 or more.
bool ParseFrame(const std::string& text, std::optional<int64_t>* out)
{
    long v = 0;
    if (!ParseWholeNumber(text, 0, LONG_MAX, &v))
        return false;
    *out = v;
    return true;
}

// The values of the span's options into *a; the exit status of a usage error, or -1.
int TakeSpanOptions(const QCommandLineParser& parser, CutArgs* a)
{
    // The forms are checked before the source is open, against any recording time.
    const SYSTEMTIME anyStart{2001, 1, 1, 1, 0, 0, 0, 0};
    const auto text = [&](const char* name, std::vector<std::string>* out) {
        return TakeValues(parser, name, [&](const std::string& v) {
            out->push_back(v);
            return ParseTimeInput(v, anyStart).bOk;
        });
    };
    const auto frame = [&](const char* name, std::optional<int64_t>* out) {
        return TakeValues(parser, name, [&](const std::string& v) { return ParseFrame(v, out); });
    };
    if (const auto bad = text("from", &a->fromTexts))
        return Usage("--from: ", ParseTimeInput(*bad, anyStart).strError);
    if (const auto bad = text("to", &a->toTexts))
        return Usage("--to: ", ParseTimeInput(*bad, anyStart).strError);
    if (const auto bad = frame("from-frame", &a->fromFrame))
        return Usage("--from-frame needs whole frames, 0 or more, not ", *bad);
    if (const auto bad = frame("to-frame", &a->toFrame))
        return Usage("--to-frame needs whole frames, 0 or more, not ", *bad);
    if (TakeValues(parser, "segments", [&](const std::string& v) { return !(a->segments = v).empty(); }))
        return Usage("--segments needs a file");
    const bool bFromText = !a->fromTexts.empty(), bToText = !a->toTexts.empty();
    const bool bEnds = bFromText || bToText || a->fromFrame || a->toFrame;
    if (!a->segments.empty() && bEnds)
        return Usage("--segments cuts the list's rows: give no --from, --to, --from-frame or --to-frame with it");
    if (bFromText && a->fromFrame)
        return Usage("--from and --from-frame both give the start: give one");
    if (bToText && a->toFrame)
        return Usage("--to and --to-frame both give the end: give one");
    if (a->segments.empty() && !bFromText && !a->fromFrame)
        return Usage("--from is missing");
    if (a->segments.empty() && !bToText && !a->toFrame)
        return Usage("--to is missing");
    return -1;
}

// Reads the options into *a; returns -1 to go on, otherwise the exit status.
int ReadArgs(int argc, char** argv, CutArgs* a)
{
    QCommandLineParser parser;
    SetUpParser(parser);
    for (const char* name : {"from", "to", "from-frame", "to-frame", "segments", "dest", "format"})
        AddValueOption(parser, name);
    for (const char* name : {"agc", "overwrite", "json", "sigmf"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    ArgError error;
    const int status = ParseArgs(parser, argc, argv, kCutUsage, &error);
    if (status == 2)
        return Usage(ArgErrorMessage(error).c_str());
    if (status >= 0)
        return status;

    const auto isSet = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    if (TakeValues(parser, "dest", [&](const std::string& v) { return !(a->dest = v).empty(); }))
        return Usage("--dest needs a path");
    a->bAgc = isSet("agc");
    a->bJson = isSet("json");
    a->bSigmf = isSet("sigmf");
    if (const auto bad = TakeFormat(parser, &a->bSaveAsSigmf))
        return Usage("--format needs wav or sigmf, not ", *bad);
    if (isSet("overwrite"))
        std::fputs("tavirel-cli cut: --overwrite has no effect: the segment takes the next free number "
                   "and never replaces a file\n",
                   stderr);

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return Usage("more than one source file given: ", ArgBytes(files[1]));
    if (files.isEmpty())
        return Usage("no source file given");
    a->file = ArgBytes(files[0]);
    if (const int bad = TakeSpanOptions(parser, a); bad >= 0)
        return bad;
    if (!isSet("dest"))
        return Usage("--dest is missing");
    return -1;
}

// "380 seconds long (760000000 frames)".
std::string LengthText(const CTavirelDoc& doc)
{
    const std::string sec = std::to_string(doc.m_nLengthSec);
    return sec + (doc.m_nLengthSec == 1 ? " second" : " seconds") + " long (" + std::to_string(doc.m_nDataFrames) +
           " frames)";
}

// One end of the span as a frame of doc's source, from the last of the texts
// (each must be sound) or the frame; nothing after a usage error (reported).
std::optional<int64_t> EndFrame(const CTavirelDoc& doc, const std::vector<std::string>& texts,
                                const std::optional<int64_t>& frame, const char* name)
{
    if (frame)
        return frame;
    double dSeconds = 0.0;
    for (const std::string& text : texts) {
        const TimeInput t = ParseTimeInput(text, doc.m_stStart);
        if (!t.bOk) {
            UsageError("cut", (std::string(name) + ": ").c_str(), t.strError);
            return std::nullopt;
        }
        if (t.dSeconds < 0) {
            UsageError("cut", name, " " + text + " lies before the recording's start");
            return std::nullopt;
        }
        dSeconds = t.dSeconds;
    }
    return doc.m_timeBase.FrameOfSeconds(dSeconds);
}

// The span of the --from/--to options, checked against the source; -1 to go on, else the exit status.
int SpanToCut(const CutArgs& a, const CTavirelDoc& doc, std::vector<CSegment>* spans)
{
    const std::optional<int64_t> from = EndFrame(doc, a.fromTexts, a.fromFrame, "--from");
    if (!from)
        return 2;
    const std::optional<int64_t> to = EndFrame(doc, a.toTexts, a.toFrame, "--to");
    if (!to)
        return 2;
    if (*to > doc.MarkLimitFrame())
        return Usage("--to is past the end of the source, which is ", LengthText(doc));
    if (*to <= *from)
        return Usage("--to must come after --from");
    spans->push_back(CSegment{*from, *to, QString(), std::nullopt});
    return -1;
}

// The rows of the --segments list, in time order with their labels; -1 to go on, else the exit status.
int ListToCut(const CutArgs& a, const CTavirelDoc& doc, std::vector<CSegment>* spans)
{
    const QString path = QFile::decodeName(a.segments.c_str());
    const int64_t nFrames = static_cast<int64_t>(doc.m_nDataFrames);
    const SegmentCsvRead read = ReadSegmentsCsv(path, ClockOf(doc.m_timeBase), nFrames);
    if (!read.bRead)
        return Failure(read.strError.toStdString());
    CSegmentList list(nFrames);
    list.AddAll(read.segments);
    if (read.nRefused > 0 || list.IsEmpty()) {
        std::fprintf(stderr, "tavirel-cli cut: %s\nNothing was written.\n",
                     read.Summary(path).toLocal8Bit().constData());
        return 2;
    }
    if (!read.problems.isEmpty()) // labels cleaned: said, and cut all the same
        std::fprintf(stderr, "tavirel-cli cut: %s\n", read.Summary(path).toLocal8Bit().constData());
    *spans = list.Segments();
    return -1;
}

// "2026-06-21T09:07:56.250": the recording's clock at a frame, or null without one.
QJsonValue ClockJson(const CTavirelDoc& doc, int64_t nFrame)
{
    SYSTEMTIME t{};
    if (!doc.RecordingTimeOfFrame(nFrame, t))
        return QJsonValue(QJsonValue::Null);
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                             t.wSecond, t.wMilliseconds);
}

// What one written file holds, as one line.
std::string WrittenLine(const CTavirelDoc& doc, const CSegment& s, const SegmentSaveResult& r, int64_t nFrames,
                        bool bJson)
{
    if (!bJson)
        return r.strPath;
    const double ms = 1000.0;
    const auto seconds = [&](int64_t f) { return static_cast<double>(doc.m_timeBase.MillisecondOfFrame(f)) / ms; };
    const QJsonObject o{{"path", QFile::decodeName(r.strPath.c_str())},
                        {"first_frame", static_cast<qint64>(s.nFirstFrame)},
                        {"frames", static_cast<qint64>(nFrames)},
                        {"from_s", seconds(s.nFirstFrame)},
                        {"to_s", seconds(s.nEndFrame)},
                        {"start", ClockJson(doc, s.nFirstFrame)},
                        {"stop", ClockJson(doc, s.nEndFrame)},
                        {"label", s.strLabel}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

int CmdCut(int argc, char** argv)
{
    CutArgs args;
    if (const int status = ReadArgs(argc, argv, &args); status >= 0)
        return status;

    // The document opens the source as the window does.
    CTavirelDoc doc(nullptr);
    if (const std::string failed = LoadSourceFor(doc, args.file); !failed.empty())
        return Failure(failed);
    doc.m_strDestPath = QFile::decodeName(args.dest.c_str());
    doc.m_bWriteSigmf = args.bSigmf;
    doc.m_bSaveAsSigmf = args.bSaveAsSigmf;

    std::vector<CSegment> spans;
    const int status = args.segments.empty() ? SpanToCut(args, doc, &spans) : ListToCut(args, doc, &spans);
    if (status >= 0)
        return status;

    double dAgcLevel = 0.0;
    std::vector<int32_t> block(kSegmentBlockValues);
    const SegmentListResult result = SaveSegmentList(doc, spans, args.bAgc, dAgcLevel, block.data());
    for (size_t i = 0; i < result.saved.size(); ++i) {
        const CSegment& s = spans[static_cast<size_t>(result.rows[i])];
        std::printf("%s\n", WrittenLine(doc, s, result.saved[i], result.frames[i], args.bJson).c_str());
    }
    if (std::fflush(stdout) != 0)
        return 1;
    for (const std::string& note : result.metaNotes)
        std::fprintf(stderr, "tavirel-cli cut: %s\n", note.c_str());
    for (const std::string& note : result.fullBandNotes)
        std::fprintf(stderr, "tavirel-cli cut: cut in full band, its band could not be extracted: %s\n", note.c_str());
    if (result.failure.nError != WAVE_OK)
        return Failure(result.failure.strMessage);
    if (result.saved.empty())
        return Failure("the segment holds no frames; nothing written");
    return 0;
}
