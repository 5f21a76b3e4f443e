// tavirel-cli render: the spectrogram picture of one time window of a source,
// rendered by the same document and plot as the window, written as a PNG.
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <zlib.h>

#include "cli/SourceOpen.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "display/PictureAxes.h"
#include "display/SpectrogramPlot.h"
#include "doc/SettingsText.h"
#include "doc/TavirelDoc.h"

namespace {

const char kRenderUsage[] =
    "usage: tavirel-cli render FILE --start SEC --width W --height H [--ref DB] [--zoom K|fit]\n"
    "                          [--rows first|strongest] [--fft N] [--window NAME] [--colours NAME]\n"
    "                          [--range DB] [--axes] --out PICTURE.png [--overwrite]\n"
    "\n"
    "Renders the spectrogram of the window that starts SEC whole seconds into FILE,\n"
    "W columns of K transforms of N sample frames wide and H rows high, exactly as\n"
    "the window shows it, and writes it as an 8-bit indexed PNG of W x H pixels.\n"
    "Prints the second the window ends at (the source's length when the source\n"
    "ends inside it).\n"
    "\n"
    "  --start SEC     first second shown (whole seconds, 0 or more, before the end)\n"
    "  --width W       picture width in pixels, 1 to 16384\n"
    "  --height H      picture height in pixels, 1 to 16384\n"
    "  --ref DB        reference level in dB, one of the window's 20 dB steps from\n"
    "                  -100 to 100 (default 0): levels at or above it show the last\n"
    "                  colour, -160 dB and below show black\n"
    "  --zoom K        blocks per column, 1 to 16777216 (default 1); a column shows\n"
    "                  per frequency the strongest of its blocks. 'fit' takes the\n"
    "                  smallest power of two that shows the whole source\n"
    "  --rows MODE     'first' (default): a row shows the first frequency bin that\n"
    "                  falls on it; 'strongest': the strongest of them\n"
    "  --fft N         frames per transform: 256, 512, 1024, 2048 (default), 4096,\n"
    "                  8192, 16384, 32768 or 65536\n"
    "  --window NAME   hann (default), hamming, blackman-harris or rectangular\n"
    "  --colours NAME  classic (default), viridis, inferno, turbo or greyscale\n"
    "  --range DB      the colour scale's span below the reference level, 20 to 260\n"
    "                  dB (default: down to -160 dB, whatever the reference level)\n"
    "  --axes          time and frequency scales and the colour legend around the\n"
    "                  picture, within the W x H pixels (a full-colour PNG)\n"
    "  --out PATH      the PNG to write; an existing file is kept unless --overwrite\n"
    "  --overwrite     replace PATH if it exists\n"
    "\n"
    "Exit status: 0 written, 1 the source could not be opened or the picture not\n"
    "written, 2 a usage error.\n";

constexpr int kMaxSidePx = 16384;
// PNG quality 80 is zlib level 1: fast, and small enough for an indexed picture.
constexpr int kPngQuality = 80;
constexpr long long kMaxPixels = 64LL * 1024 * 1024; // 256 MiB of picture

int Usage(const char* message, const char* detail = "")
{
    return UsageError("render", message, detail);
}

// Index of each colour of a picture drawn with at most 256 colours: a table
// with a multiplier chosen so that no two colours share a slot, so a lookup
// is one multiplication and one comparison, without branches.
class ColourIndex {
public:
    bool Add(QRgb rgb)
    {
        rgb |= 0xFF000000u;
        if (std::find(m_table.begin(), m_table.end(), rgb) != m_table.end())
            return true;
        if (m_table.size() == 256)
            return false;
        m_table.append(rgb);
        return true;
    }
    // Picks a multiplier without collisions; false when none was found.
    bool Seal()
    {
        uint32_t multiplier = 2654435761u;
        for (int attempt = 0; attempt < 64; ++attempt, multiplier = multiplier * 1664525u + 1013904223u) {
            m_multiplier = multiplier | 1u;
            std::fill(m_keys.begin(), m_keys.end(), 0u);
            bool unique = true;
            for (qsizetype i = 0; i < m_table.size() && unique; ++i) {
                const uint32_t slot = Slot(m_table[i]);
                unique = m_keys[slot] == 0;
                m_keys[slot] = m_table[i];
                m_index[slot] = static_cast<uchar>(i);
            }
            if (unique)
                return true;
        }
        return false;
    }
    // Writes the indices of n pixels; false when one of them was never added.
    bool Lookup(const QRgb* in, int n, uchar* out) const
    {
        uint32_t miss = 0;
        for (int x = 0; x < n; ++x) {
            const uint32_t rgb = in[x] | 0xFF000000u;
            const uint32_t slot = Slot(rgb);
            miss |= m_keys[slot] ^ rgb;
            out[x] = m_index[slot];
        }
        return miss == 0;
    }
    const QList<QRgb>& Table() const { return m_table; }

private:
    static constexpr int kSlotBits = 16;
    uint32_t Slot(uint32_t rgb) const { return (rgb * m_multiplier) >> (32 - kSlotBits); }

    std::vector<uint32_t> m_keys = std::vector<uint32_t>(size_t{1} << kSlotBits); // 0: empty
    std::vector<uchar> m_index = std::vector<uchar>(size_t{1} << kSlotBits);
    uint32_t m_multiplier = 1;
    QList<QRgb> m_table;
};

// The picture as 8-bit indices into the palette plus black, when it has no
// other colours; otherwise the picture unchanged.
QImage Indexed(const QImage& picture, const std::array<uint32_t, 256>& palette)
{
    ColourIndex colours;
    bool fits = colours.Add(qRgb(0, 0, 0));
    for (uint32_t c : palette)
        fits = fits && colours.Add(qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                                        static_cast<int>((c >> 16) & 0xFF)));
    QImage out(picture.size(), QImage::Format_Indexed8);
    if (!fits || out.isNull() || !colours.Seal() || picture.depth() != 32)
        return picture;
    out.setColorTable(colours.Table());
    const int width = picture.width();
    for (int y = 0; y < picture.height(); ++y) {
        if (!colours.Lookup(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), width, out.scanLine(y)))
            return picture; // a colour outside the palette: keep every pixel as it is
    }
    return out;
}

void PutBigEndian32(QByteArray& out, uint32_t v)
{
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    out.append(bytes, 4);
}

// One PNG chunk: data length, type, data, CRC-32 of type and data.
void PutChunk(QByteArray& out, const char* type, const uchar* data, size_t size)
{
    PutBigEndian32(out, static_cast<uint32_t>(size));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto* checked = reinterpret_cast<const Bytef*>(out.constData() + start);
    PutBigEndian32(out, static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), checked, static_cast<uInt>(4 + size))));
}

// The zlib stream of the picture's rows, each behind filter type 0 (none).
// Run-length matching at level 1 compresses a spectrogram almost as well as
// zlib's general matching, several times faster.
bool DeflateRows(const QImage& picture, std::vector<uchar>* out)
{
    const size_t row = static_cast<size_t>(picture.width()) + 1;
    std::vector<uchar> raw(row * static_cast<size_t>(picture.height()));
    for (int y = 0; y < picture.height(); ++y) {
        raw[row * static_cast<size_t>(y)] = 0;
        std::memcpy(&raw[row * static_cast<size_t>(y) + 1], picture.constScanLine(y), row - 1);
    }
    z_stream zs{};
    if (deflateInit2(&zs, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK)
        return false;
    out->resize(deflateBound(&zs, static_cast<uLong>(raw.size())));
    zs.next_in = raw.data();
    zs.avail_in = static_cast<uInt>(raw.size());
    zs.next_out = out->data();
    zs.avail_out = static_cast<uInt>(out->size());
    const bool done = deflate(&zs, Z_FINISH) == Z_STREAM_END;
    out->resize(zs.total_out);
    deflateEnd(&zs);
    return done;
}

// An 8-bit indexed picture as a PNG with its palette.
bool SaveIndexedPng(const QImage& picture, QIODevice* device)
{
    std::vector<uchar> idat;
    if (!DeflateRows(picture, &idat))
        return false;
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    uchar header[13] = {};
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uchar>(picture.width() >> (24 - 8 * i));
        header[4 + i] = static_cast<uchar>(picture.height() >> (24 - 8 * i));
    }
    header[8] = 8; // bits per index
    header[9] = 3; // colour type: palette
    PutChunk(png, "IHDR", header, sizeof header);
    std::vector<uchar> palette;
    for (QRgb c : picture.colorTable())
        palette.insert(palette.end(),
                       {static_cast<uchar>(qRed(c)), static_cast<uchar>(qGreen(c)), static_cast<uchar>(qBlue(c))});
    PutChunk(png, "PLTE", palette.data(), palette.size());
    PutChunk(png, "IDAT", idat.data(), idat.size());
    PutChunk(png, "IEND", nullptr, 0);
    return device->write(png) == png.size();
}

bool SavePng(const QImage& picture, QIODevice* device)
{
    if (picture.format() == QImage::Format_Indexed8 && !picture.colorTable().isEmpty() &&
        picture.colorTable().size() <= 256)
        return SaveIndexedPng(picture, device);
    QImageWriter writer(device, "PNG");
    writer.setQuality(kPngQuality);
    return writer.write(picture);
}

// Writes the picture to a new file (never over an existing one) or, with
// overwrite, replaces the file in one step so that a failure leaves it intact.
// A path that is no regular file (a pipe, a device such as /dev/stdout) is
// written into, never replaced.
bool WritePng(const QImage& picture, const QString& path, bool overwrite, QString* error)
{
    const QFileInfo info(path);
    if (overwrite && info.exists() && !info.isFile() && !info.isDir()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !SavePng(picture, &file) || !file.flush()) {
            *error = file.errorString();
            return false;
        }
        return true;
    }
    if (overwrite) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !SavePng(picture, &file) || !file.commit()) {
            *error = file.errorString();
            return false;
        }
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error =
            QFile::exists(path) ? QStringLiteral("the file exists; add --overwrite to replace it") : file.errorString();
        return false;
    }
    if (!SavePng(picture, &file) || !file.flush()) {
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
    long startSec = 0, widthPx = 0, heightPx = 0, refDb = 0, zoom = 1;
    long fftSize = kPictureFftDefaultSize, rangeDb = kRangeToFloor;
    int window = WINDOW_HANN, colours = COLOURS_CLASSIC;
    bool zoomFit = false, strongestRows = false, overwrite = false, axes = false;
};

// Reads the picture's choices into *a; -1 to go on, otherwise the exit status.
int ReadPictureArgs(const QCommandLineParser& parser, RenderArgs* a)
{
    if (const auto bad = TakeValues(parser, "fft", [&](const std::string& v) {
            return ParseWholeNumber(v, kPictureFftMinSize, kPictureFftMaxSize, &a->fftSize) &&
                   IsPictureFftSize(a->fftSize);
        }))
        return Usage("--fft takes 256, 512, 1024, 2048, 4096, 8192, 16384, 32768 or 65536 frames, not ", bad->c_str());
    const auto choice = [&](const char* option, std::span<const PictureChoice> choices, int* out) -> int {
        const auto bad = TakeValues(parser, option, [&](const std::string& v) {
            *out = ChoiceValue(choices, v);
            return *out >= 0;
        });
        if (!bad)
            return -1;
        const std::string message = std::string("--") + option + " takes " + ChoiceNameList(choices) + ", not ";
        return Usage(message.c_str(), bad->c_str());
    };
    if (const int status = choice("window", WindowChoices(), &a->window); status >= 0)
        return status;
    if (const int status = choice("colours", ColourChoices(), &a->colours); status >= 0)
        return status;
    if (const auto bad = TakeValues(parser, "range", [&](const std::string& v) {
            return ParseWholeNumber(v, kRangeMinDb, kRangeMaxDb, &a->rangeDb);
        }))
        return Usage("--range takes 20 to 260 dB, not ", bad->c_str());
    a->axes = parser.isSet(QStringLiteral("axes"));
    return -1;
}

// Parses the command line into parser; -1 to go on, otherwise the exit status.
int ParseRenderLine(QCommandLineParser& parser, int argc, char** argv)
{
    SetUpParser(parser);
    for (const char* name :
         {"start", "width", "height", "ref", "zoom", "rows", "out", "fft", "window", "colours", "range"})
        AddValueOption(parser, name);
    parser.addOption(QCommandLineOption(QStringLiteral("overwrite")));
    parser.addOption(QCommandLineOption(QStringLiteral("axes")));
    ArgError error;
    const int status = ParseArgs(parser, argc, argv, kRenderUsage, &error);
    if (status == 2)
        return Usage(ArgErrorMessage(error).c_str());
    return status;
}

// Reads the window's choices (start, size, level, zoom, rows, output) into *a;
// -1 to go on, otherwise the exit status.
int ReadWindowArgs(const QCommandLineParser& parser, RenderArgs* a)
{
    const auto whole = [&](const char* name, long lo, long hi, long* out) {
        return TakeValues(parser, name, [&](const std::string& v) { return ParseWholeNumber(v, lo, hi, out); });
    };
    if (const auto bad = whole("start", 0, 2147483647L, &a->startSec))
        return Usage("--start takes whole seconds, 0 or more, not ", bad->c_str());
    if (const auto bad = whole("width", 1, kMaxSidePx, &a->widthPx))
        return Usage("--width takes 1 to 16384 pixels, not ", bad->c_str());
    if (const auto bad = whole("height", 1, kMaxSidePx, &a->heightPx))
        return Usage("--height takes 1 to 16384 pixels, not ", bad->c_str());
    if (const auto bad = TakeValues(parser, "ref", [&](const std::string& v) {
            return ParseWholeNumber(v, kRefLevelMinDb, kRefLevelMaxDb, &a->refDb) &&
                   NearestRefLevel(a->refDb) == a->refDb;
        }))
        return Usage(
            "--ref takes one of the window's levels (-100, -80, -60, -40, -20, 0, 20, 40, 60, 80, 100 dB), not ",
            bad->c_str());
    if (const auto bad = TakeValues(parser, "zoom", [&](const std::string& v) {
            a->zoomFit = v == "fit";
            return a->zoomFit || ParseWholeNumber(v, 1, CTavirelDoc::kMaxZoom, &a->zoom);
        }))
        return Usage("--zoom takes 'fit' or 1 to 16777216 blocks per column, not ", bad->c_str());
    if (const auto bad = TakeValues(parser, "rows", [&](const std::string& v) {
            a->strongestRows = v == "strongest";
            return a->strongestRows || v == "first";
        }))
        return Usage("--rows takes 'first' or 'strongest', not ", bad->c_str());
    if (TakeValues(parser, "out", [&](const std::string& v) { return !(a->outPath = v).empty(); }))
        return Usage("--out needs a path");
    return -1;
}

// Reads the options into *a; returns -1 to go on, otherwise the exit status.
int ReadArgs(int argc, char** argv, RenderArgs* a)
{
    QCommandLineParser parser;
    if (const int status = ParseRenderLine(parser, argc, argv); status >= 0)
        return status;
    if (const int status = ReadWindowArgs(parser, a); status >= 0)
        return status;
    if (const int picture = ReadPictureArgs(parser, a); picture >= 0)
        return picture;
    const auto isSet = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
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

// Refuses a picture path that names the source itself or, without
// --overwrite, an existing file; -1 to go on, otherwise the exit status.
int CheckOutputPath(const RenderArgs& a)
{
    const QFileInfo srcInfo(QFile::decodeName(a.source.c_str())), pngInfo(QFile::decodeName(a.outPath.c_str()));
    if (pngInfo.exists() && srcInfo.exists() && pngInfo.canonicalFilePath() == srcInfo.canonicalFilePath())
        return Usage("the picture would replace the source itself: ", a.outPath.c_str());
    if (pngInfo.exists() && !a.overwrite) {
        std::fprintf(stderr, "tavirel-cli render: %s: the file exists; add --overwrite to replace it\n",
                     a.outPath.c_str());
        return 1;
    }
    return -1;
}

// Opens the source the way the window does, with no settings store, and sets
// the window the picture of pictureWidth columns shows; false after reporting why it cannot.
bool SetUpDocument(const RenderArgs& a, CTavirelDoc& doc, int pictureWidth)
{
    const char* source = a.source.c_str();
    doc.OnNewDocument();
    if (const std::string failed = LoadSourceFor(doc, source); !failed.empty()) {
        std::fprintf(stderr, "tavirel-cli render: %s\n", failed.c_str());
        return false;
    }
    doc.m_nRefLevel = static_cast<int>(a.refDb);
    doc.SetFftSize(static_cast<int>(a.fftSize));
    doc.m_nWindow = a.window;
    doc.m_nRangeDb = static_cast<int>(a.rangeDb);
    doc.SetColourMap(a.colours);
    // A window starting after the last frame would be an all-black picture.
    if (doc.m_timeBase.FrameOfWholeSeconds(a.startSec) >= static_cast<int64_t>(doc.m_nDataFrames)) {
        std::fprintf(stderr, "tavirel-cli render: --start %ld is past the end of %s, which is %d second%s long\n",
                     a.startSec, source, doc.m_nLengthSec, doc.m_nLengthSec == 1 ? "" : "s");
        return false;
    }
    doc.m_nViewStart = static_cast<int>(a.startSec);
    doc.m_nZoom = a.zoomFit
                      ? CSpectrogramPlot::FitZoom(static_cast<int64_t>(doc.m_nDataFrames), pictureWidth, doc.m_nFftSize)
                      : static_cast<int>(a.zoom);
    doc.m_nRowMode = a.strongestRows ? PLOT_ROWS_STRONGEST_BIN : PLOT_ROWS_FIRST_BIN;
    return true;
}

// The graphics layer the scales' text needs, on a platform without a display.
std::unique_ptr<QGuiApplication> StartOffscreenGraphics()
{
    static int qtArgc = 1;
    static char qtName[] = "tavirel-cli";
    static char* qtArgv[] = {qtName, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Its start-up notes (a missing runtime folder) are nothing the user asked for.
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    auto gui = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
    qInstallMessageHandler(previous);
    return gui;
}

} // namespace

int CmdRender(int argc, char** argv)
{
    RenderArgs args;
    if (const int status = ReadArgs(argc, argv, &args); status >= 0)
        return status;
    if (const int status = CheckOutputPath(args); status >= 0)
        return status;
    std::unique_ptr<QGuiApplication> gui;
    if (args.axes)
        gui = StartOffscreenGraphics();
    CTavirelDoc doc(nullptr);
    const QSize outer(static_cast<int>(args.widthPx), static_cast<int>(args.heightPx));
    if (!SetUpDocument(args, doc, outer.width()))
        return 1;
    QSize size = outer;
    std::optional<CPictureAxes> axes;
    if (args.axes) {
        axes.emplace(QGuiApplication::font());
        size = axes->PictureSizeWithin(outer, AxesModelOf(doc, 0, doc.m_nZoom, outer));
        if (size.isEmpty())
            return Usage("--width and --height leave no room for the picture within the scales");
        if (args.zoomFit)
            doc.m_nZoom =
                CSpectrogramPlot::FitZoom(static_cast<int64_t>(doc.m_nDataFrames), size.width(), doc.m_nFftSize);
    }

    CSpectrogramPlot plot(&doc);
    plot.m_bUsePyramid = false; // the picture of the samples themselves, byte for byte
    plot.SetLevels(doc.m_bTwoChannel, static_cast<double>(args.refDb));
    plot.Draw(QRect(QPoint(0, 0), size), nullptr);
    if (plot.m_bitmap.isNull()) {
        std::fprintf(stderr, "tavirel-cli render: no memory for a %ld x %ld picture\n", args.widthPx, args.heightPx);
        return 1;
    }
    if (!doc.m_bLoaded) {
        // The source vanished or changed while it was read.
        std::fprintf(stderr, "tavirel-cli render: %s: could not be read again: %s\n", args.source.c_str(),
                     WaveErrorText(doc.m_wave.m_nError));
        return 1;
    }

    const QImage picture =
        axes ? axes->Compose(plot.m_bitmap,
                             AxesModelOf(doc, plot.WindowSetup(size, doc.m_nZoom).startFrame, doc.m_nZoom, size),
                             Qt::white, Qt::black)
             : Indexed(plot.m_bitmap, doc.m_palette);
    QString error;
    if (!WritePng(picture, QFile::decodeName(args.outPath.c_str()), args.overwrite, &error)) {
        std::fprintf(stderr, "tavirel-cli render: %s: %s\n", args.outPath.c_str(), error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%d\n", doc.m_nViewEnd);
    return 0;
}
