// tavirel-cli audio: writes what the window plays for a span of a source as a
// one-channel 16-bit wave file, through the same document, sources and save
// code as the window.
#include <QFile>
#include <QString>

#include <climits>
#include <cstdio>
#include <string>

#include "audio/AudioSave.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "doc/TavirelDoc.h"

namespace {

const char kAudioUsage[] = "usage: tavirel-cli audio FILE --from SEC --to SEC [--mode am|fm|wfm|usb|lsb|cw]\n"
                           "                         [--low HZ --high HZ] [--rate HZ] --dest PATH\n"
                           "\n"
                           "Writes what the window plays for the part of FILE from second SEC (--from) to\n"
                           "second SEC (--to) as a one-channel 16-bit wave file: a one-channel recording as it\n"
                           "is, resampled with a proper low-pass, its levels kept. The file carries an\n"
                           "\"auxi\" record with the span's start and stop time and is named from PATH with a\n"
                           "running number in place of its last four characters (audio.wav becomes\n"
                           "audio_001.wav), as cuts are; no file is ever replaced. Prints the path of the\n"
                           "file written alone on a line.\n"
                           "\n"
                           "  --from SEC     first second of the span, 0 or more\n"
                           "  --to SEC       end of the span, after --from and at most the source's length\n"
                           "  --rate HZ      the file's sample rate, 8000 to 192000 (48000)\n"
                           "  --mode MODE    the demodulator for an I/Q recording: am, fm (narrow, 12.5 kHz),\n"
                           "                 wfm (broadcast, 200 kHz), usb, lsb (2.7 kHz), cw (500 Hz, heard\n"
                           "                 as a 700 Hz tone)\n"
                           "  --low HZ, --high HZ\n"
                           "                 the band of an I/Q recording to demodulate (default: the mode's\n"
                           "                 usual band around the centre)\n"
                           "  --dest PATH    destination name, for example audio.wav\n"
                           "  --help         this text\n"
                           "\n"
                           "Listening to I/Q recordings needs the band extractor, which this build does not\n"
                           "have yet: for them the command says so and writes nothing.\n"
                           "\n"
                           "Exit status: 0 written, 1 the source could not be read or the file not written,\n"
                           "2 a usage error or a choice that does not fit the source.\n";

constexpr long kMinRateHz = 8000;
constexpr long kMaxRateHz = 192000;
constexpr long kDefaultRateHz = 48000;

int Usage(const char* message, const std::string& detail = std::string())
{
    return UsageError("audio", message, detail);
}

int Failure(const std::string& message)
{
    std::fprintf(stderr, "tavirel-cli audio: %s\n", message.c_str());
    return 1;
}

struct AudioArgs {
    std::string file, dest;
    long nFromSec = -1, nToSec = -1;
    long nRateHz = kDefaultRateHz;
    long nLowHz = 0, nHighHz = 0;
    bool bBand = false;
    int nMode = kPlayAsItIs;
};

// Reads the values of the options into *a; -1 to go on, else the exit status.
int ReadValues(const QCommandLineParser& parser, AudioArgs* a)
{
    const auto number = [&](const char* name, long lo, long hi, long* out) {
        return TakeValues(parser, name, [&](const std::string& v) { return ParseWholeNumber(v, lo, hi, out); });
    };
    if (const auto bad = number("from", 0, INT_MAX, &a->nFromSec))
        return Usage("--from needs whole seconds, 0 or more, not ", *bad);
    if (const auto bad = number("to", 0, INT_MAX, &a->nToSec))
        return Usage("--to needs whole seconds, 0 or more, not ", *bad);
    if (const auto bad = number("rate", kMinRateHz, kMaxRateHz, &a->nRateHz))
        return Usage("--rate needs a whole number of Hz from 8000 to 192000, not ", *bad);
    if (const auto bad = number("low", LONG_MIN, LONG_MAX, &a->nLowHz))
        return Usage("--low needs a whole number of Hz, not ", *bad);
    if (const auto bad = number("high", LONG_MIN, LONG_MAX, &a->nHighHz))
        return Usage("--high needs a whole number of Hz, not ", *bad);
    if (const auto bad =
            TakeValues(parser, "mode", [&](const std::string& v) { return (a->nMode = DemodModeOfName(v)) >= 0; }))
        return Usage("--mode takes am, fm, wfm, usb, lsb or cw, not ", *bad);
    if (TakeValues(parser, "dest", [&](const std::string& v) { return !(a->dest = v).empty(); }))
        return Usage("--dest needs a path");
    return -1;
}

// Reads and checks the options; -1 to go on, otherwise the exit status.
int ReadArgs(int argc, char** argv, AudioArgs* a)
{
    QCommandLineParser parser;
    SetUpParser(parser);
    for (const char* name : {"from", "to", "dest", "rate", "mode", "low", "high"})
        AddValueOption(parser, name);
    ArgError error;
    const int status = ParseArgs(parser, argc, argv, kAudioUsage, &error);
    if (status == 2 && error.kind == ArgError::Unknown)
        return Usage("unknown option ", error.option);
    if (status == 2 && error.kind == ArgError::MissingValue)
        return Usage("missing value after ", error.option);
    if (status == 2)
        return Usage(error.text.c_str());
    if (status >= 0)
        return status;
    if (const int values = ReadValues(parser, a); values >= 0)
        return values;

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return Usage("more than one source file given: ", ArgBytes(files[1]));
    if (files.isEmpty())
        return Usage("no source file given");
    a->file = ArgBytes(files[0]);
    const auto isSet = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    if (a->nFromSec < 0)
        return Usage("--from is missing");
    if (a->nToSec < 0)
        return Usage("--to is missing");
    if (!isSet("dest"))
        return Usage("--dest is missing");
    if (a->nToSec <= a->nFromSec)
        return Usage("--to must come after --from");
    a->bBand = isSet("low") || isSet("high");
    if (a->bBand && !(isSet("low") && isSet("high")))
        return Usage("--low and --high go together");
    if (a->bBand && a->nHighHz <= a->nLowHz)
        return Usage("--high must lie above --low");
    return -1;
}

} // namespace

int CmdAudio(int argc, char** argv)
{
    AudioArgs args;
    if (const int status = ReadArgs(argc, argv, &args); status >= 0)
        return status;

    CTavirelDoc doc(nullptr);
    if (!doc.LoadSource(QFile::decodeName(args.file.c_str()))) {
        const int code = doc.m_wave.m_nError;
        return Failure(args.file + ": cannot be read as a source (error " + std::to_string(code) + ": " +
                       WaveErrorText(code) + ")");
    }
    doc.m_strDestPath = QFile::decodeName(args.dest.c_str());
    if (args.nToSec > doc.m_nLengthSec) {
        const std::string length = std::to_string(doc.m_nLengthSec);
        return Usage("--to is past the end of the source, which is ",
                     length + (doc.m_nLengthSec == 1 ? " second long" : " seconds long"));
    }

    PlayChoice choice;
    choice.nMode = args.nMode;
    choice.dLowHz = static_cast<double>(args.nLowHz);
    choice.dHighHz = static_cast<double>(args.nHighHz);
    const AudioSaveResult result = SaveAudio(doc, static_cast<int>(args.nFromSec), static_cast<int>(args.nToSec),
                                             choice, static_cast<int>(args.nRateHz));
    if (result.bRefused) {
        std::fprintf(stderr, "tavirel-cli audio: %s\n", result.strMessage.c_str());
        return 2;
    }
    if (!result.strMessage.empty())
        return Failure(result.strMessage);
    std::printf("%s\n", result.strPath.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
