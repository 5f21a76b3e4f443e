// tavirel-cli info: what opening each wave file for 2048-frame blocks reveals.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "wave/RiffWaveFile.h"

namespace {

const char kInfoUsage[] =
    "usage: tavirel-cli info [--json] FILE...\n"
    "\n"
    "Opens each wave file as the program does (blocks of 2048 frames) and tells\n"
    "what that reveals: format, frame counts, length, byte rate, recording start\n"
    "and stop time, centre frequency, converter clock and bandwidth; or the\n"
    "error code and its meaning when the file cannot be opened.\n"
    "\n"
    "  --json   one JSON object per file and line, with the keys \"file\", \"error\",\n"
    "           \"message\" and, when the file opened, \"format_tag\", \"channels\",\n"
    "           \"sample_rate\", \"bits_per_sample\", \"frames\" (rounded up to whole\n"
    "           blocks), \"data_frames\", \"length_sec\", \"bytes_per_sec\",\n"
    "           \"start_time\", \"stop_time\", \"center_freq_hz\", \"clock_hz\",\n"
    "           \"bandwidth_hz\"\n"
    "  --       the arguments after it are file names\n"
    "  --help   this text\n"
    "\n"
    "Exit status: 0 every file opened, 1 some file did not, 2 usage error.\n";

constexpr int kBlockFrames = 2048;

struct Info {
    std::string path;
    int error = 0;
    WAVEFORMATEX wf;
    uint64_t frames = 0;
    AUXIINFO auxi;
    uint64_t dataFrames = 0;
    int lengthSec = 0;
    int64_t bytesPerSec = 0;
};

Info Probe(const std::string& path)
{
    Info info;
    info.path = path;
    CRiffWaveFile wave;
    info.error = wave.Open(path, &info.wf, kBlockFrames, &info.frames, 0, &info.auxi);
    info.dataFrames = wave.m_nDataFrames;
    info.lengthSec = wave.m_nLengthSec;
    info.bytesPerSec = wave.m_nBytesPerSec;
    wave.Close();
    return info;
}

std::string TimeText(const SYSTEMTIME& st)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return buf;
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 when it is not one.
size_t Utf8Length(const std::string& s, size_t i)
{
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    size_t n = 0;
    uint32_t cp = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07u;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((at(i + k) & 0xC0u) != 0x80u)
            return 0;
        cp = cp << 6 | (at(i + k) & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

// A JSON string literal. Bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& s)
{
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = Utf8Length(s, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(s, i, n);
            i += n;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
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
    std::string line = "{\"file\":" + JsonString(i.path) + ",\"error\":" + std::to_string(i.error) +
                       ",\"message\":" + JsonString(WaveErrorText(i.error));
    if (i.error == WAVE_OK) {
        line += ",\"format_tag\":" + std::to_string(i.wf.wFormatTag);
        line += ",\"channels\":" + std::to_string(i.wf.nChannels);
        line += ",\"sample_rate\":" + std::to_string(i.wf.nSamplesPerSec);
        line += ",\"bits_per_sample\":" + std::to_string(i.wf.wBitsPerSample);
        line += ",\"frames\":" + std::to_string(i.frames);
        line += ",\"data_frames\":" + std::to_string(i.dataFrames);
        line += ",\"length_sec\":" + std::to_string(i.lengthSec);
        line += ",\"bytes_per_sec\":" + std::to_string(i.bytesPerSec);
        line += ",\"start_time\":" + JsonString(TimeText(i.auxi.stStartTime));
        line += ",\"stop_time\":" + JsonString(TimeText(i.auxi.stStopTime));
        line += ",\"center_freq_hz\":" + std::to_string(i.auxi.dwCenterFreq);
        line += ",\"clock_hz\":" + std::to_string(i.auxi.dwClockFreq);
        line += ",\"bandwidth_hz\":" + std::to_string(i.auxi.dwBandwidth);
    }
    line += "}\n";
    std::fputs(line.c_str(), stdout);
}

const char* EncodingName(uint16_t tag)
{
    return tag == 3 ? "float" : "integer PCM";
}

void PrintText(const Info& i)
{
    const std::string name = Printable(i.path);
    if (i.error != WAVE_OK) {
        std::fprintf(stderr, "tavirel-cli: %s: %s (error %d)\n", name.c_str(), WaveErrorText(i.error), i.error);
        return;
    }
    std::printf("%s\n", name.c_str());
    std::printf("  format:     %u-bit %s, %u channel%s, %" PRIu32 " samples/s (format tag %u)\n",
                i.wf.wBitsPerSample, EncodingName(i.wf.wFormatTag), i.wf.nChannels, i.wf.nChannels == 1 ? "" : "s",
                i.wf.nSamplesPerSec, i.wf.wFormatTag);
    std::printf("  frames:     %" PRIu64 " in the data chunk, %" PRIu64 " in whole blocks of %d\n", i.dataFrames,
                i.frames, kBlockFrames);
    std::printf("  length:     %d s at %" PRId64 " bytes/s\n", i.lengthSec, i.bytesPerSec);
    std::printf("  start:      %s\n", TimeText(i.auxi.stStartTime).c_str());
    std::printf("  stop:       %s\n", TimeText(i.auxi.stStopTime).c_str());
    std::printf("  centre:     %" PRIu32 " Hz\n", i.auxi.dwCenterFreq);
    std::printf("  clock:      %" PRIu32 " Hz\n", i.auxi.dwClockFreq);
    std::printf("  bandwidth:  %" PRIu32 " Hz\n", i.auxi.dwBandwidth);
}

} // namespace

int CmdInfo(int argc, char** argv)
{
    bool json = false;
    bool optionsEnded = false;
    std::vector<std::string> files;
    for (int k = 0; k < argc; ++k) {
        const char* a = argv[k];
        if (!optionsEnded && a[0] == '-' && a[1] != '\0') {
            if (!std::strcmp(a, "--json")) {
                json = true;
            } else if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
                std::fputs(kInfoUsage, stdout);
                return 0;
            } else if (!std::strcmp(a, "--")) {
                optionsEnded = true;
            } else {
                std::fprintf(stderr, "tavirel-cli info: unknown option '%s'\n\n%s", Printable(a).c_str(), kInfoUsage);
                return 2;
            }
            continue;
        }
        files.emplace_back(a);
    }
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
