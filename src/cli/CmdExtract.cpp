// tavirel-cli extract: saves a band of a source between two times as a new
// numbered I/Q wave file, mixed down, filtered and decimated, through the
// same document and band save as the window.
#include <QByteArrayList>
#include <QFile>
#include <QJsonArray>
#include <QString>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/SourceOpen.h"
#include "band/BandExtract.h"
#include "band/BandPlan.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "doc/BandSave.h"
#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"

namespace {

const char kExtractUsage[] =
    "usage: tavirel-cli extract FILE --from SEC --to SEC --low HZ --high HZ --dest PATH\n"
    "                           [--decimation D | --rate HZ] [--bits 16|24|32|float] [--sigmf]\n"
    "                           [--format wav|sigmf] [--json]\n"
    "\n"
    "Saves the band from --low to --high of FILE between seconds --from and --to as\n"
    "a new two-channel (I/Q) wave file centred on the band's middle: mixed down,\n"
    "filtered (flat within 0.1 dB across the band, at least 80 dB down farther than\n"
    "half the output rate from its middle) and decimated by a whole D. Output frame\n"
    "k is the band at the source's frame From + k D, and the file holds\n"
    "floor((To - From) / D) frames. Its \"auxi\" record carries the start and stop\n"
    "time of From and To, the band's middle as its centre frequency and the band's\n"
    "width as its bandwidth. The file is named from PATH with the next free running\n"
    "number in place of its last four characters, as cut does; no file is ever\n"
    "replaced. Prints the path of the file written.\n"
    "\n"
    "Frequencies are absolute for an I/Q source with a centre frequency (within\n"
    "centre +- rate/2), offsets from the centre for I/Q without one, and 0 to rate/2\n"
    "for a one-channel source. They take a k, M or G suffix (7.074M).\n"
    "\n"
    "  --from SEC        start of the span, seconds as the bar counts them (12.5)\n"
    "  --to SEC          end of the span, after --from and within the source\n"
    "  --low HZ          lower edge of the band\n"
    "  --high HZ         upper edge of the band\n"
    "  --centre HZ       the band's middle, with --bandwidth instead of --low/--high\n"
    "  --bandwidth HZ    the band's width\n"
    "  --decimation D    the decimation; by default the largest D that divides the\n"
    "                    source's rate with rate/D at least 1.25 times the band's\n"
    "                    width (and at least 1000 Hz)\n"
    "  --rate HZ         the output rate instead: rate/D for a whole D\n"
    "  --bits B          sample depth: 16, 24, 32 or float; by default the source's\n"
    "  --dest PATH       destination name, for example band.wav\n"
    "  --format F        wav (the default) or sigmf: a SigMF recording instead,\n"
    "                    band_001.sigmf-data and band_001.sigmf-meta (24-bit\n"
    "                    samples widened to 32)\n"
    "  --sigmf           also write a SigMF description beside the file\n"
    "                    (band_001.sigmf-meta: the wave read in place, the band as\n"
    "                    an annotation); 24-bit files have no SigMF type and get none\n"
    "  --json            print one JSON line: path, frames, rate, decimation,\n"
    "                    centre, bandwidth, taps (per stage), factors (per stage)\n"
    "                    and clipped (samples clipped at the depth's full scale)\n"
    "  --help            this text\n"
    "\n"
    "Exit status: 0 written, 1 the source could not be read or the band not\n"
    "written, 2 a usage error.\n";

int Usage(const std::string& message)
{
    return UsageError("extract", message.c_str());
}

int Failure(const std::string& message)
{
    std::fprintf(stderr, "tavirel-cli extract: %s\n", message.c_str());
    return 1;
}

struct ExtractArgs {
    std::string file, dest;
    SpanArgs span;
    double dLow = NAN, dHigh = NAN, dCentre = NAN, dWidth = NAN;
    long nDecimation = 0; // 0: not given
    double dRate = 0.0;   // 0: not given
    BandBits bits = BandBits::Source;
    bool bJson = false;
    bool bSigmf = false;
    bool bSaveAsSigmf = false;
};

// Reads the band's edges, decimation or rate and depth; -1 to go on, else the exit status.
int ReadBandArgs(const QCommandLineParser& parser, ExtractArgs* a)
{
    const auto hz = [&](const char* name, double* out) {
        return TakeValues(parser, name, [&](const std::string& v) { return ParseDecimal(v, true, out); });
    };
    for (auto [name, out] : {std::pair{"low", &a->dLow}, std::pair{"high", &a->dHigh}, std::pair{"centre", &a->dCentre},
                             std::pair{"bandwidth", &a->dWidth}}) {
        if (const auto bad = hz(name, out))
            return Usage(std::string("--") + name + " needs a frequency in Hz, not " + *bad);
    }
    const bool edges = !std::isnan(a->dLow) || !std::isnan(a->dHigh);
    const bool middle = !std::isnan(a->dCentre) || !std::isnan(a->dWidth);
    if (edges && middle)
        return Usage("give the band as --low and --high or as --centre and --bandwidth, not both");
    if (middle && (std::isnan(a->dCentre) || std::isnan(a->dWidth)))
        return Usage(std::isnan(a->dCentre) ? "--centre is missing" : "--bandwidth is missing");
    if (middle) {
        a->dLow = a->dCentre - a->dWidth / 2;
        a->dHigh = a->dCentre + a->dWidth / 2;
    }
    if (std::isnan(a->dLow))
        return Usage("--low is missing (or give --centre and --bandwidth)");
    if (std::isnan(a->dHigh))
        return Usage("--high is missing");
    if (const auto bad = TakeValues(parser, "decimation", [&](const std::string& v) {
            return ParseWholeNumber(v, 0, 1000000000, &a->nDecimation);
        }))
        return Usage("--decimation needs a whole number, not " + *bad);
    if (parser.isSet(QStringLiteral("decimation")) && a->nDecimation == 0)
        return Usage("--decimation must be 1 or more");
    if (const auto bad = hz("rate", &a->dRate); bad || (parser.isSet(QStringLiteral("rate")) && a->dRate <= 0))
        return Usage("--rate needs a positive rate in Hz" + (bad ? ", not " + *bad : std::string()));
    if (a->nDecimation > 0 && a->dRate > 0)
        return Usage("give --decimation or --rate, not both");
    if (const auto bad = TakeValues(parser, "bits", [&](const std::string& v) {
            const std::optional<BandBits> b = v == "16"      ? BandBits::Int16
                                              : v == "24"    ? BandBits::Int24
                                              : v == "32"    ? BandBits::Int32
                                              : v == "float" ? BandBits::Float
                                                             : std::optional<BandBits>{};
            a->bits = b.value_or(a->bits);
            return b.has_value();
        }))
        return Usage("--bits needs 16, 24, 32 or float, not " + *bad);
    return -1;
}

// Reads the options into *a; returns -1 to go on, otherwise the exit status.
int ReadArgs(int argc, char** argv, ExtractArgs* a)
{
    QCommandLineParser parser;
    SetUpParser(parser);
    for (const char* name :
         {"from", "to", "low", "high", "centre", "bandwidth", "decimation", "rate", "bits", "dest", "format"})
        AddValueOption(parser, name);
    parser.addOption(QCommandLineOption(QStringLiteral("json")));
    parser.addOption(QCommandLineOption(QStringLiteral("sigmf")));
    ArgError error;
    const int status = ParseArgs(parser, argc, argv, kExtractUsage, &error);
    if (status == 2)
        return Usage(ArgErrorMessage(error));
    if (status >= 0)
        return status;

    if (const auto bad = ParseSpan(parser, &a->span))
        return Usage(*bad);
    if (const int s = ReadBandArgs(parser, a); s >= 0)
        return s;
    if (TakeValues(parser, "dest", [&](const std::string& v) { return !(a->dest = v).empty(); }))
        return Usage("--dest needs a path");
    if (!parser.isSet(QStringLiteral("dest")))
        return Usage("--dest is missing");
    a->bJson = parser.isSet(QStringLiteral("json"));
    a->bSigmf = parser.isSet(QStringLiteral("sigmf"));
    if (const auto bad = TakeFormat(parser, &a->bSaveAsSigmf))
        return Usage("--format needs wav or sigmf, not " + *bad);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return Usage("more than one source file given: " + ArgBytes(files[1]));
    if (files.isEmpty())
        return Usage("no source file given");
    a->file = ArgBytes(files[0]);
    return -1;
}

// The decimation --rate asks for; 0 after reporting a rate no whole D gives.
int DecimationOfRate(uint32_t nSourceRate, double dRate)
{
    const double d = nSourceRate / dRate;
    if (d == std::floor(d) && d >= 1 && nSourceRate % static_cast<uint32_t>(d) == 0)
        return static_cast<int>(d);
    uint32_t below = 0, above = 0;
    band::NearestRates(nSourceRate, dRate, &below, &above);
    std::string near;
    for (uint32_t r : {below, above})
        if (r != 0)
            near +=
                (near.empty() ? "" : " and ") + std::to_string(r) + " Hz (D " + std::to_string(nSourceRate / r) + ")";
    Usage("--rate " + std::to_string(std::llround(dRate)) + " Hz is not the source's rate " +
          std::to_string(nSourceRate) + " Hz divided by a whole number" +
          (near.empty() ? std::string() : "; the nearest rates are " + near));
    return 0;
}

void PrintJson(const BandSaveResult& r, const band::BandPlan& plan)
{
    QJsonArray taps, factors;
    for (const band::BandStage& s : plan.stages) {
        taps.append(static_cast<int>(s.taps.size()));
        factors.append(s.nFactor);
    }
    const QByteArrayList members{JsonMember("path", QString::fromUtf8(r.strPath.c_str())),
                                 JsonMember("frames", qint64(r.nFrames)),
                                 JsonMember("rate", qint64(plan.nOutputRate)),
                                 JsonMember("decimation", plan.nDecimation),
                                 JsonMember("centre", qint64(plan.nCentreHz)),
                                 JsonMember("bandwidth", qint64(std::llround(plan.dHighHz - plan.dLowHz))),
                                 JsonMember("taps", taps),
                                 JsonMember("factors", factors),
                                 JsonMember("clipped", qint64(r.nClipped))};
    const QByteArray line = '{' + members.join(',') + "}\n";
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
}

} // namespace

int CmdExtract(int argc, char** argv)
{
    ExtractArgs args;
    if (const int status = ReadArgs(argc, argv, &args); status >= 0)
        return status;

    CTavirelDoc doc(nullptr);
    if (const std::string failed = LoadSourceFor(doc, args.file); !failed.empty())
        return Failure(failed);
    doc.m_strDestPath = QFile::decodeName(args.dest.c_str());
    doc.m_bSaveAsSigmf = args.bSaveAsSigmf;
    int64_t from = 0, to = 0;
    if (const auto bad = SpanFrames(doc, args.span, &from, &to))
        return Usage(*bad);
    const band::SourceSpectrum spectrum = DocSpectrum(doc);
    int d = static_cast<int>(args.nDecimation);
    if (args.dRate > 0 && (d = DecimationOfRate(spectrum.nRate, args.dRate)) == 0)
        return 2;
    band::BandPlan plan;
    if (const band::BandFault f = band::DesignBand(spectrum, args.dLow, args.dHigh, d, &plan);
        f != band::BandFault::None)
        return Usage(BandFaultMessage(f, spectrum, args.dLow, args.dHigh, d));
    if (band::BandOutputFrames(from, to, plan.nDecimation) == 0)
        return Usage("the span is shorter than one output frame (" + std::to_string(plan.nDecimation) +
                     " source frames)");

    BandSaveOptions options;
    options.bits = args.bits;
    const BandSaveResult result = SaveBand(doc, plan, from, to, options);
    if (result.nError != WAVE_OK)
        return Failure(result.strMessage);
    if (!result.bOpened)
        return Failure("the band holds no frames; nothing written");
    if (args.bJson)
        PrintJson(result, plan);
    else
        std::printf("%s\n", result.strPath.c_str());
    if (std::fflush(stdout) != 0)
        return 1;
    doc.m_bWriteSigmf = args.bSigmf;
    const CSegment s{from, to, QString(), SegmentBand{plan.dLowHz, plan.dHighHz}};
    if (const std::string note = WriteSavedMeta(doc, s, result.strPath, result.nFrames); !note.empty())
        std::fprintf(stderr, "tavirel-cli extract: %s\n", note.c_str());
    return 0;
}
