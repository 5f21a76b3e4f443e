// tavirel-cli render: the spectrogram picture of one time window of a source,
// rendered by the same document and plot as the window, written as a PNG.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"

namespace {

const char kRenderUsage[] =
    "usage: tavirel-cli render FILE --start SEC --width W --height H [--ref DB] --out PICTURE.png [--overwrite]\n"
    "\n"
    "Renders the spectrogram of the window that starts SEC whole seconds into FILE,\n"
    "W columns of 2048 sample frames wide and H rows high, exactly as the window\n"
    "shows it, and writes it as an RGB PNG of W x H pixels. Prints the second the\n"
    "window ends at (the source's length when the source ends inside it).\n"
    "\n"
    "  --start SEC     first second shown (whole seconds, 0 or more, before the end)\n"
    "  --width W       picture width in pixels, 1 to 16384\n"
    "  --height H      picture height in pixels, 1 to 16384\n"
    "  --ref DB        reference level in dB, -100 to 100 (default 0): levels at or\n"
    "                  above it show the last colour, -160 dB and below show black\n"
    "  --out PATH      the PNG to write; an existing file is kept unless --overwrite\n"
    "  --overwrite     replace PATH if it exists\n"
    "\n"
    "Exit status: 0 written, 1 the source could not be opened or the picture not\n"
    "written, 2 a usage error.\n";

constexpr int kMaxSidePx = 16384;
constexpr long long kMaxPixels = 64LL * 1024 * 1024; // 256 MiB of picture

int Usage(const char* message, const char* detail = "")
{
    return UsageError("render", message, detail);
}

// Writes the picture to a new file (never over an existing one) or, with
// overwrite, replaces the file in one step so that a failure leaves it intact.
bool WritePng(const QImage& picture, const QString& path, bool overwrite, QString* error)
{
    if (overwrite) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
            *error = file.errorString();
            return false;
        }
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = QFile::exists(path) ? QStringLiteral("the file exists; add --overwrite to replace it")
                                     : file.errorString();
        return false;
    }
    if (!picture.save(&file, "PNG") || !file.flush()) {
        *error = file.errorString();
        file.remove();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        file.remove();
        return false;
    }
    return true;
}

// The render options, checked.
struct RenderArgs {
    std::string source, outPath;
    long startSec = 0, widthPx = 0, heightPx = 0, refDb = 0;
    bool overwrite = false;
};

// Reads the options into *a; returns -1 to go on, otherwise the exit status.
int ReadArgs(int argc, char** argv, RenderArgs* a)
{
    QCommandLineParser parser;
    SetUpParser(parser);
    for (const char* name : {"start", "width", "height", "ref", "out"})
        AddValueOption(parser, name);
    parser.addOption(QCommandLineOption(QStringLiteral("overwrite")));
    ArgError error;
    const int status = ParseArgs(parser, argc, argv, kRenderUsage, &error);
    if (status == 2 && error.kind == ArgError::Unknown)
        return Usage("unknown option ", error.option.c_str());
    if (status == 2 && error.kind == ArgError::MissingValue)
        return Usage("missing value for ", error.option.c_str());
    if (status == 2)
        return Usage(error.text.c_str());
    if (status >= 0)
        return status;

    const auto value = [&](const char* name) { return ArgBytes(parser.value(QString::fromLatin1(name))); };
    const auto isSet = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    if (isSet("start") && !ParseWholeNumber(value("start"), 0, 2147483647L, &a->startSec))
        return Usage("--start takes whole seconds, 0 or more, not ", value("start").c_str());
    if (isSet("width") && !ParseWholeNumber(value("width"), 1, kMaxSidePx, &a->widthPx))
        return Usage("--width takes 1 to 16384 pixels, not ", value("width").c_str());
    if (isSet("height") && !ParseWholeNumber(value("height"), 1, kMaxSidePx, &a->heightPx))
        return Usage("--height takes 1 to 16384 pixels, not ", value("height").c_str());
    if (isSet("ref") && !ParseWholeNumber(value("ref"), -100, 100, &a->refDb))
        return Usage("--ref takes whole dB from -100 to 100, not ", value("ref").c_str());
    if (isSet("out") && value("out").empty())
        return Usage("--out needs a path");
    a->outPath = value("out");
    a->overwrite = isSet("overwrite");

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return Usage("more than one FILE: ", ArgBytes(files[1]).c_str());
    if (files.isEmpty())
        return Usage("FILE is missing");
    a->source = ArgBytes(files[0]);
    if (!isSet("start") || !isSet("width") || !isSet("height") || !isSet("out"))
        return Usage("--start, --width, --height and --out are all needed");
    if (a->widthPx * a->heightPx > kMaxPixels)
        return Usage("the picture is too large (at most 67108864 pixels)");
    return -1;
}

} // namespace

int CmdRender(int argc, char** argv)
{
    RenderArgs args;
    if (const int status = ReadArgs(argc, argv, &args); status >= 0)
        return status;
    const char* source = args.source.c_str();
    const char* outPath = args.outPath.c_str();
    const long startSec = args.startSec, widthPx = args.widthPx, heightPx = args.heightPx, refDb = args.refDb;
    const bool overwrite = args.overwrite;

    const QString srcPath = QFile::decodeName(source);
    const QString pngPath = QFile::decodeName(outPath);
    const QFileInfo srcInfo(srcPath), pngInfo(pngPath);
    if (pngInfo.exists() && srcInfo.exists() && pngInfo.canonicalFilePath() == srcInfo.canonicalFilePath())
        return Usage("the picture would replace the source itself: ", outPath);
    if (pngInfo.exists() && !overwrite) {
        std::fprintf(stderr, "tavirel-cli render: %s: the file exists; add --overwrite to replace it\n", outPath);
        return 1;
    }

    // Open the source the way the window does, with no settings store.
    CTavirelDoc doc(nullptr);
    doc.OnNewDocument();
    doc.m_strSrcPath = srcPath;
    if (!doc.OpenSource(srcPath)) {
        std::fprintf(stderr, "tavirel-cli render: %s: %s\n", source, WaveErrorText(doc.m_wave.m_nError));
        return 1;
    }
    doc.m_bLoaded = true;
    doc.m_nRefLevel = static_cast<int>(refDb);
    // A window starting after the last frame would be an all-black picture.
    if (static_cast<int64_t>(startSec) * doc.m_wfSource.nSamplesPerSec >= doc.m_wave.m_nDataFrames) {
        std::fprintf(stderr, "tavirel-cli render: --start %ld is past the end of %s, which is %d second%s long\n",
                     startSec, source, doc.m_nLengthSec, doc.m_nLengthSec == 1 ? "" : "s");
        return 1;
    }
    doc.m_nViewStart = static_cast<int>(startSec);
    doc.m_nDrawnStart = -1;

    CSpectrogramPlot plot(&doc);
    plot.SetLevels(doc.m_bTwoChannel, static_cast<double>(refDb));
    plot.Draw(QRect(0, 0, static_cast<int>(widthPx), static_cast<int>(heightPx)), nullptr);
    if (plot.m_bitmap.isNull()) {
        std::fprintf(stderr, "tavirel-cli render: no memory for a %ld x %ld picture\n", widthPx, heightPx);
        return 1;
    }
    if (!doc.m_bLoaded) {
        // The source vanished or changed while it was read.
        std::fprintf(stderr, "tavirel-cli render: %s: could not be read again: %s\n", source,
                     WaveErrorText(doc.m_wave.m_nError));
        return 1;
    }

    QString error;
    if (!WritePng(plot.m_bitmap, pngPath, overwrite, &error)) {
        std::fprintf(stderr, "tavirel-cli render: %s: %s\n", outPath, error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%d\n", doc.m_nViewEnd);
    return 0;
}
