// tavirel-cli cut: saves the segment between two marks of a source as a new
// numbered wave file, through the same document and save code as the
// window's "Save Segment".
#include <QFile>
#include <QString>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"

namespace {

const char kCutUsage[] = "usage: tavirel-cli cut FILE --from SEC --to SEC --dest PATH [--agc]\n"
                         "\n"
                         "Saves the part of FILE from second SEC (--from) to second SEC (--to) as a new\n"
                         "wave file, exactly as the window's \"Save Segment\" does for those marks: the\n"
                         "source's format, an \"auxi\" record with the segment's start and stop time,\n"
                         "and whole blocks of 2048 frames (the last may run past --to). Without --agc\n"
                         "the samples are the source's bytes exactly. The file is named from PATH with\n"
                         "a running number in place of its last four characters (cut.wav becomes\n"
                         "cut_001.wav), the number after the highest one already in its folder, so\n"
                         "no file is ever replaced. Prints the path of the file written alone on a line.\n"
                         "\n"
                         "  --from SEC     first second of the segment, 0 or more\n"
                         "  --to SEC       end of the segment, after --from and at most the source's\n"
                         "                 length in whole seconds\n"
                         "  --dest PATH    destination name, for example cut.wav\n"
                         "  --agc          level the samples with the automatic gain control\n"
                         "  --overwrite    accepted and ignored: a cut never replaces a file\n"
                         "  --help         this text\n"
                         "\n"
                         "Exit status: 0 written, 1 the source could not be read or the segment not\n"
                         "written, 2 a usage error.\n";

int Usage(const char* message, const std::string& detail = std::string())
{
    return UsageError("cut", message, detail);
}

int Failure(const std::string& message)
{
    std::fprintf(stderr, "tavirel-cli cut: %s\n", message.c_str());
    return 1;
}

// A whole decimal number of seconds, 0 to INT_MAX.
bool ParseSeconds(const std::string& text, int* out)
{
    long v = 0;
    if (!ParseWholeNumber(text, 0, INT_MAX, &v))
        return false;
    *out = static_cast<int>(v);
    return true;
}

// The cut options, checked.
struct CutArgs {
    std::string file, dest;
    int nFromSec = -1;
    int nToSec = -1;
    bool bAgc = false;
};

// Reads the options into *a; returns -1 to go on, otherwise the exit status.
int ReadArgs(int argc, char** argv, CutArgs* a)
{
    QCommandLineParser parser;
    SetUpParser(parser);
    for (const char* name : {"from", "to", "dest"})
        AddValueOption(parser, name);
    for (const char* name : {"agc", "overwrite"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    ArgError error;
    const int status = ParseArgs(parser, argc, argv, kCutUsage, &error);
    if (status == 2 && error.kind == ArgError::Unknown)
        return Usage("unknown option ", error.option);
    if (status == 2 && error.kind == ArgError::MissingValue)
        return Usage("missing value after ", error.option);
    if (status == 2)
        return Usage(error.text.c_str());
    if (status >= 0)
        return status;

    const auto isSet = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    const auto seconds = [&](const char* name, int* out) {
        return TakeValues(parser, name, [&](const std::string& v) { return ParseSeconds(v, out); });
    };
    if (const auto bad = seconds("from", &a->nFromSec))
        return Usage("--from needs whole seconds, 0 or more, not ", *bad);
    if (const auto bad = seconds("to", &a->nToSec))
        return Usage("--to needs whole seconds, 0 or more, not ", *bad);
    if (TakeValues(parser, "dest", [&](const std::string& v) { return !(a->dest = v).empty(); }))
        return Usage("--dest needs a path");
    a->bAgc = isSet("agc");
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
    if (a->nFromSec < 0)
        return Usage("--from is missing");
    if (a->nToSec < 0)
        return Usage("--to is missing");
    if (!isSet("dest"))
        return Usage("--dest is missing");
    if (a->nToSec <= a->nFromSec)
        return Usage("--to must come after --from");
    return -1;
}

} // namespace

int CmdCut(int argc, char** argv)
{
    CutArgs args;
    if (const int status = ReadArgs(argc, argv, &args); status >= 0)
        return status;
    const char* file = args.file.c_str();
    const char* dest = args.dest.c_str();
    const int nFromSec = args.nFromSec, nToSec = args.nToSec;
    const bool bAgc = args.bAgc;

    // The document opens the source as the window does.
    CTavirelDoc doc(nullptr);
    const QString srcPath = QFile::decodeName(file);
    if (!doc.LoadSource(srcPath)) {
        const int code = doc.m_wave.m_nError;
        return Failure(std::string(file) + ": cannot be read as a source (error " + std::to_string(code) + ": " +
                       WaveErrorText(code) + ")");
    }
    doc.m_strDestPath = QFile::decodeName(dest);

    if (nToSec > doc.m_nLengthSec) {
        const std::string length = std::to_string(doc.m_nLengthSec);
        return Usage("--to is past the end of the source, which is ",
                     length + (doc.m_nLengthSec == 1 ? " second long" : " seconds long"));
    }

    double dAgcLevel = 0.0;
    std::vector<int32_t> block(kSegmentBlockValues);
    const SegmentSaveResult result = SaveSegment(doc, nFromSec, nToSec, bAgc, dAgcLevel, block.data());
    if (result.nError != WAVE_OK)
        return Failure(result.strMessage);
    if (!result.bOpened)
        return Failure("the segment holds no frames; nothing written");
    std::printf("%s\n", result.strPath.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
