// tavirel-cli demo: writes a demonstration I/Q recording to a new file.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/DemoRecording.h"
#include "wave/RiffWaveFile.h"

namespace {

const char kDemoUsage[] = "usage: tavirel-cli demo PATH [--seconds N] [--overwrite]\n"
                          "\n"
                          "Writes a two-channel 16-bit I/Q recording at 48000 frames/s to PATH: steady\n"
                          "carriers at -20, -30, -40 and -60 dBFS, a slow sweep and a little noise, with an\n"
                          "\"auxi\" record (start 2026-06-21 09:05:00 local time, centre 7100000 Hz).\n"
                          "\n"
                          "  --seconds N   length in seconds, 1 to 3600 (default 90)\n"
                          "  --overwrite   replace PATH if it exists (otherwise an existing file is left alone)\n"
                          "\n"
                          "The recording gets its name only when it is complete: a failure leaves no\n"
                          "file behind and a file at PATH as it was.\n";

bool ParseSeconds(const std::string& text, int& out)
{
    long v = 0;
    if (!ParseWholeNumber(text, 1, kDemoMaxLengthSec, &v))
        return false;
    out = static_cast<int>(v);
    return true;
}

int SecondsError()
{
    std::fprintf(stderr, "tavirel-cli demo: --seconds needs a whole number from 1 to %d\n", kDemoMaxLengthSec);
    return 2;
}

// Reads the options into *opt and *path; returns -1 to go on, otherwise the exit status.
int ReadArgs(int argc, char** argv, DemoRecordingOptions* opt, std::string* path)
{
    QCommandLineParser parser;
    SetUpParser(parser);
    AddValueOption(parser, "seconds");
    parser.addOption(QCommandLineOption(QStringLiteral("overwrite")));
    ArgError error;
    const int status = ParseArgs(parser, argc, argv, kDemoUsage, &error);
    if (status == 2 && error.kind == ArgError::Unknown) {
        std::fprintf(stderr, "tavirel-cli demo: unknown option '%s'\n\n%s", error.option.c_str(), kDemoUsage);
        return 2;
    }
    if (status == 2 && error.kind == ArgError::MissingValue)
        return SecondsError();
    if (status == 2) {
        std::fprintf(stderr, "tavirel-cli demo: %s\n\n%s", error.text.c_str(), kDemoUsage);
        return 2;
    }
    if (status >= 0)
        return status;

    if (TakeValues(parser, "seconds", [&](const std::string& v) { return ParseSeconds(v, opt->nLengthSec); }))
        return SecondsError();
    opt->bOverwrite = parser.isSet(QStringLiteral("overwrite"));
    const QStringList paths = parser.positionalArguments();
    if (paths.size() > 1) {
        std::fprintf(stderr, "tavirel-cli demo: only one PATH may be given\n\n%s", kDemoUsage);
        return 2;
    }
    if (paths.isEmpty() || paths[0].isEmpty()) {
        std::fputs(kDemoUsage, stderr);
        return 2;
    }
    *path = ArgBytes(paths[0]);
    return -1;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

int NameTaken(const std::string& path)
{
    std::fprintf(stderr, "tavirel-cli demo: %s exists; pass --overwrite to replace it\n", path.c_str());
    return 1;
}

} // namespace

int CmdDemo(int argc, char** argv)
{
    DemoRecordingOptions opt;
    std::string path;
    if (const int status = ReadArgs(argc, argv, &opt, &path); status >= 0)
        return status;

    // Told early when the name is taken; one taken meanwhile is still never replaced.
    if (!opt.bOverwrite && Exists(path))
        return NameTaken(path);
    const int rc = WriteDemoRecording(path, opt);
    if (rc == WAVE_ERR_CREATE && !opt.bOverwrite && Exists(path))
        return NameTaken(path);
    if (rc != WAVE_OK) {
        std::fprintf(stderr, "tavirel-cli demo: %s: %s\n", path.c_str(), WaveErrorText(rc));
        return 1;
    }
    std::printf("%s: %d s of two-channel 16-bit I/Q at %u frames/s, centre %u Hz\n", path.c_str(), opt.nLengthSec,
                opt.nSampleRate, opt.dwCenterFreq);
    return 0;
}
