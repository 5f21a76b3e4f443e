// tavirel-cli audio: writes what the window plays for a span of a source as a
// one-channel 16-bit wave file, through the same document, sources and save
// code as the window.
#include <QFile>
#include <QString>

#include <cstdio>
#include <string>

#include "cli/SourceOpen.h"
#include "audio/AudioSave.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "doc/TavirelDoc.h"

namespace {

const char kAudioUsage[] = "usage: tavirel-cli audio FILE --from SEC --to SEC [--mode am|fm|wfm|usb|lsb|cw]\n"
                           "                         [--tune HZ | --low HZ --high HZ] [--deemphasis 50|75]\n"
                           "                         [--rate HZ] --dest PATH\n"
                           "\n"
                           "Writes what the window plays for the part of FILE from second --from to second\n"
                           "--to as a one-channel 16-bit wave file: a one-channel recording as it is,\n"
                           "resampled with a proper low-pass, its levels kept; an I/Q recording through a\n"
                           "band and a demodulator. The file carries an \"auxi\" record with the span's start\n"
                           "and stop time (and for I/Q the carrier and the band's width) and is named from\n"
                           "PATH with a running number in place of its last four characters (audio.wav\n"
                           "becomes audio_001.wav), as cuts are; no file is ever replaced. Prints the path\n"
                           "of the file written alone on a line.\n"
                           "\n"
                           "Frequencies are absolute for an I/Q source with a centre frequency, offsets\n"
                           "from the centre for I/Q without one; they take a k, M or G suffix (7.074M).\n"
                           "\n"
                           "  --from SEC     start of the span, seconds as the bar counts them (12.5)\n"
                           "  --to SEC       end of the span, after --from and within the source\n"
                           "  --rate HZ      the file's sample rate, 8000 to 192000 (48000)\n"
                           "  --mode MODE    the demodulator for an I/Q recording (am by default): am,\n"
                           "                 fm (narrow, 12.5 kHz), wfm (broadcast, 200 kHz), usb, lsb\n"
                           "                 (2.7 kHz), cw (500 Hz, heard as a 700 Hz tone)\n"
                           "  --tune HZ      the carrier: the mode's usual band is heard around it (by\n"
                           "                 default the source's centre)\n"
                           "  --low HZ, --high HZ\n"
                           "                 the band heard instead; the carrier lies on its lower edge\n"
                           "                 less 300 Hz for usb, its upper edge plus 300 Hz for lsb, its\n"
                           "                 middle for the others\n"
                           "  --deemphasis US  broadcast FM's de-emphasis, 50 (Europe, the default) or 75\n"
                           "                 (the Americas) microseconds\n"
                           "  --dest PATH    destination name, for example audio.wav\n"
                           "  --help         this text\n"
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
    SpanArgs span;
    long nRateHz = kDefaultRateHz;
    long nDeemphasisUs = 50;
    PlayChoice choice; // frames set once the source is open
    bool bModeGiven = false;
};

// Reads the rate, mode, band and de-emphasis into *a; -1 to go on, else the exit status.
int ReadValues(const QCommandLineParser& parser, AudioArgs* a)
{
    PlayChoice& c = a->choice;
    if (const auto bad = TakeValues(parser, "rate", [&](const std::string& v) {
            return ParseWholeNumber(v, kMinRateHz, kMaxRateHz, &a->nRateHz);
        }))
        return Usage("--rate needs a whole number of Hz from 8000 to 192000, not ", *bad);
    for (const auto& [name, field] :
         {std::pair{"low", &c.dLowHz}, std::pair{"high", &c.dHighHz}, std::pair{"tune", &c.dTuneHz}}) {
        double* out = field; // clang 14 lets no lambda capture a structured binding
        if (const auto bad = TakeValues(parser, name, [&](const std::string& v) { return ParseDecimal(v, true, out); }))
            return Usage((std::string("--") + name + " needs a frequency in Hz, not ").c_str(), *bad);
    }
    if (const auto bad =
            TakeValues(parser, "mode", [&](const std::string& v) { return (c.nMode = DemodModeOfName(v)) >= 0; }))
        return Usage("--mode takes am, fm, wfm, usb, lsb or cw, not ", *bad);
    if (const auto bad = TakeValues(parser, "deemphasis", [&](const std::string& v) {
            return ParseWholeNumber(v, 50, 75, &a->nDeemphasisUs) && (a->nDeemphasisUs == 50 || a->nDeemphasisUs == 75);
        }))
        return Usage("--deemphasis takes 50 or 75 (microseconds), not ", *bad);
    c.dDeemphasisSec = a->nDeemphasisUs == 75 ? kDeemphasis75us : kDeemphasis50us;
    if (TakeValues(parser, "dest", [&](const std::string& v) { return !(a->dest = v).empty(); }))
        return Usage("--dest needs a path");
    return -1;
}

// Checks how the band is given; -1 to go on, else the exit status.
int CheckBand(const QCommandLineParser& parser, AudioArgs* a)
{
    const auto isSet = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    const bool bBand = isSet("low") || isSet("high");
    if (bBand && !(isSet("low") && isSet("high")))
        return Usage("--low and --high go together");
    if (bBand && isSet("tune"))
        return Usage("give --tune or --low and --high, not both");
    if (bBand && a->choice.dHighHz <= a->choice.dLowHz)
        return Usage("--high must lie above --low");
    a->bModeGiven = isSet("mode");
    return -1;
}

// Reads and checks the options; -1 to go on, otherwise the exit status.
int ReadArgs(int argc, char** argv, AudioArgs* a)
{
    QCommandLineParser parser;
    SetUpParser(parser);
    for (const char* name : {"from", "to", "dest", "rate", "mode", "low", "high", "tune", "deemphasis"})
        AddValueOption(parser, name);
    ArgError error;
    const int status = ParseArgs(parser, argc, argv, kAudioUsage, &error);
    if (status == 2)
        return Usage(ArgErrorMessage(error).c_str());
    if (status >= 0)
        return status;
    if (const auto bad = ParseSpan(parser, &a->span))
        return Usage(bad->c_str());
    if (const int values = ReadValues(parser, a); values >= 0)
        return values;
    if (const int band = CheckBand(parser, a); band >= 0)
        return band;

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return Usage("more than one source file given: ", ArgBytes(files[1]));
    if (files.isEmpty())
        return Usage("no source file given");
    a->file = ArgBytes(files[0]);
    if (!parser.isSet(QStringLiteral("dest")))
        return Usage("--dest is missing");
    return -1;
}

} // namespace

int CmdAudio(int argc, char** argv)
{
    AudioArgs args;
    if (const int status = ReadArgs(argc, argv, &args); status >= 0)
        return status;

    CTavirelDoc doc(nullptr);
    if (const std::string failed = LoadSourceFor(doc, args.file); !failed.empty())
        return Failure(failed);
    doc.m_strDestPath = QFile::decodeName(args.dest.c_str());
    PlayChoice choice = args.choice;
    if (const auto bad = SpanFrames(doc, args.span, &choice.nFromFrame, &choice.nToFrame))
        return Usage(bad->c_str());
    if (!args.bModeGiven && doc.m_wfSource.nChannels == 2)
        choice.nMode = DEMOD_AM;
    const AudioSaveResult result = SaveAudio(doc, choice, static_cast<int>(args.nRateHz));
    if (result.bRefused) {
        std::fprintf(stderr, "tavirel-cli audio: %s\n", result.strMessage.c_str());
        return 2;
    }
    if (!result.strMessage.empty())
        return Failure(result.strMessage);
    std::printf("%s\n", result.strPath.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
