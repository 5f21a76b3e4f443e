// tavirel-cli info: what opening each wave file for 2048-frame blocks reveals.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "wave/RiffWaveFile.h"

namespace {

const char kInfoUsage[] = "usage: tavirel-cli info [--json] FILE...\n"
                          "\n"
                          "Opens each wave file as the program does (blocks of 2048 frames) and tells\n"
                          "what that reveals: format, frame counts, length, frame and byte rate, recording\n"
                          "start and stop time, centre frequency, converter clock and bandwidth; or the\n"
                          "error code and its meaning when the file cannot be opened.\n"
                          "\n"
                          "  --json   one JSON object per file and line, with the keys \"file\", \"error\",\n"
                          "           \"message\" and, when the file opened, \"format_tag\", \"channels\",\n"
                          "           \"sample_rate\", \"bits_per_sample\", \"frames\" (rounded up to whole\n"
                          "           blocks), \"data_frames\", \"length_sec\", \"frames_per_sec\" (of the\n"
                          "           recording times where there are any, else the sample rate),\n"
                          "           \"bytes_per_sec\" (the same in bytes, whole bytes),\n"
                          "           \"start_time\", \"stop_time\", \"center_freq_hz\", \"clock_hz\",\n"
                          "           \"bandwidth_hz\"\n"
                          "  --       the arguments after it are file names\n"
                          "  --help   this text\n"
                          "\n"
                          "Exit status: 0 every file opened, 1 some file did not, 2 usage error.\n";

struct Info {
    std::string path;
    int error = 0;
    std::string message; // the error in words
    WAVEFORMATEX wf;
    uint64_t frames = 0;
    AUXIINFO auxi;
    uint64_t dataFrames = 0;
    int lengthSec = 0;
    double framesPerSec = 0;
    int64_t bytesPerSec = 0;
};

Info Probe(const std::string& path)
{
    Info info;
    info.path = path;
    CRiffWaveFile wave;
    info.error = wave.Open(path, &info.wf, kWaveBlockFrames, &info.frames, 0, &info.auxi);
    info.message = wave.ErrorText();
    info.dataFrames = wave.m_nDataFrames;
    info.lengthSec = wave.m_nLengthSec;
    info.framesPerSec = wave.m_timeBase.FramesPerSecond();
    info.bytesPerSec = static_cast<int64_t>(info.framesPerSec * wave.m_nBytesPerFrameIn);
    wave.Close();
    return info;
}

std::string TimeText(const SYSTEMTIME& st)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond);
    return buf;
}

// A file name safe to print on a terminal: control bytes shown as \xNN.
std::string Printable(const std::string& s)
{
    std::string out;
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '\\') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

void PrintJson(const Info& i)
{
    // File names that are not UTF-8 show U+FFFD for their stray bytes.
    QByteArrayList members{JsonMember("file", QString::fromUtf8(i.path)), JsonMember("error", i.error),
                           JsonMember("message", QString::fromStdString(i.message))};
    if (i.error == WAVE_OK) {
        members << JsonMember("format_tag", i.wf.wFormatTag) << JsonMember("channels", i.wf.nChannels)
                << JsonMember("sample_rate", qint64(i.wf.nSamplesPerSec))
                << JsonMember("bits_per_sample", i.wf.wBitsPerSample) << JsonMember("frames", qint64(i.frames))
                << JsonMember("data_frames", qint64(i.dataFrames)) << JsonMember("length_sec", i.lengthSec)
                << JsonMember("frames_per_sec", i.framesPerSec) << JsonMember("bytes_per_sec", qint64(i.bytesPerSec))
                << JsonMember("start_time", QString::fromStdString(TimeText(i.auxi.stStartTime)))
                << JsonMember("stop_time", QString::fromStdString(TimeText(i.auxi.stStopTime)))
                << JsonMember("center_freq_hz", qint64(i.auxi.dwCenterFreq))
                << JsonMember("clock_hz", qint64(i.auxi.dwClockFreq))
                << JsonMember("bandwidth_hz", qint64(i.auxi.dwBandwidth));
    }
    const QByteArray line = '{' + members.join(',') + "}\n";
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
}

const char* EncodingName(uint16_t tag)
{
    return tag == 3 ? "float" : "integer PCM";
}

void PrintText(const Info& i)
{
    const std::string name = Printable(i.path);
    if (i.error != WAVE_OK) {
        std::fprintf(stderr, "tavirel-cli: %s: %s (error %d)\n", name.c_str(), i.message.c_str(), i.error);
        return;
    }
    std::printf("%s\n", name.c_str());
    std::printf("  format:     %u-bit %s, %u channel%s, %" PRIu32 " samples/s (format tag %u)\n", i.wf.wBitsPerSample,
                EncodingName(i.wf.wFormatTag), i.wf.nChannels, i.wf.nChannels == 1 ? "" : "s", i.wf.nSamplesPerSec,
                i.wf.wFormatTag);
    std::printf("  frames:     %" PRIu64 " in the data chunk, %" PRIu64 " in whole blocks of %d\n", i.dataFrames,
                i.frames, kWaveBlockFrames);
    std::printf("  length:     %d s at %.10g frames/s (%" PRId64 " bytes/s)\n", i.lengthSec, i.framesPerSec,
                i.bytesPerSec);
    std::printf("  start:      %s\n", TimeText(i.auxi.stStartTime).c_str());
    std::printf("  stop:       %s\n", TimeText(i.auxi.stStopTime).c_str());
    std::printf("  centre:     %" PRIu32 " Hz\n", i.auxi.dwCenterFreq);
    std::printf("  clock:      %" PRIu32 " Hz\n", i.auxi.dwClockFreq);
    std::printf("  bandwidth:  %" PRIu32 " Hz\n", i.auxi.dwBandwidth);
}

} // namespace

int CmdInfo(int argc, char** argv)
{
    QCommandLineParser parser;
    SetUpParser(parser);
    parser.addOption(QCommandLineOption(QStringLiteral("json")));
    ArgError error;
    const int parsed = ParseArgs(parser, argc, argv, kInfoUsage, &error);
    if (parsed == 2) {
        const std::string what = error.kind == ArgError::Unknown ? "unknown option '" + Printable(error.option) + "'"
                                                                 : Printable(error.text);
        std::fprintf(stderr, "tavirel-cli info: %s\n\n%s", what.c_str(), kInfoUsage);
        return 2;
    }
    if (parsed >= 0)
        return parsed;
    const bool json = parser.isSet(QStringLiteral("json"));
    std::vector<std::string> files;
    for (const QString& file : parser.positionalArguments())
        files.push_back(ArgBytes(file));
    if (files.empty()) {
        std::fprintf(stderr, "tavirel-cli info: no file given\n\n%s", kInfoUsage);
        return 2;
    }

    int status = 0;
    for (size_t k = 0; k < files.size(); ++k) {
        const Info info = Probe(files[k]);
        if (json) {
            PrintJson(info);
        } else {
            if (k > 0 && info.error == WAVE_OK)
                std::fputs("\n", stdout);
            PrintText(info);
        }
        if (info.error != WAVE_OK)
            status = 1;
    }
    std::fflush(stdout);
    return status;
}
