// tavirel-cli sigmf: writes a .sigmf-meta that describes an existing wave
// recording in place (a non-conforming dataset), so that SigMF tools read it
// without a copy. The same description as the one the saves write.
#include <QStringList>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "sigmf/SigmfWrite.h"

namespace {

const char kSigmfUsage[] = "usage: tavirel-cli sigmf FILE.wav [--dest PATH]\n"
                           "\n"
                           "Writes a SigMF description of the wave file FILE.wav beside it, so that SigMF\n"
                           "tools read the recording in place: the wave named as the dataset, the offset\n"
                           "of its samples as the capture's header bytes and anything after them as\n"
                           "trailing bytes, its sample type and rate, and from its \"auxi\" or \"rcvr\" record\n"
                           "the centre frequency (I/Q) and start time. 24-bit samples have no SigMF type:\n"
                           "such files get no description. An existing file is never replaced. Prints the\n"
                           "path written.\n"
                           "\n"
                           "  --dest PATH   the description's name, in the wave's folder (by default the\n"
                           "                wave's name with .sigmf-meta in place of its suffix)\n"
                           "  --help        this text\n"
                           "\n"
                           "Exit status: 0 written, 1 the file could not be described or written, 2 a\n"
                           "usage error.\n";

int Usage(const std::string& message)
{
    return UsageError("sigmf", message.c_str());
}

// The folder a path names a file in, as one spelling.
std::filesystem::path FolderOf(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec).parent_path(), ec);
}

} // namespace

int CmdSigmf(int argc, char** argv)
{
    QCommandLineParser parser;
    SetUpParser(parser);
    AddValueOption(parser, "dest");
    ArgError error;
    const int status = ParseArgs(parser, argc, argv, kSigmfUsage, &error);
    if (status == 2)
        return Usage(ArgErrorMessage(error));
    if (status >= 0)
        return status;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return Usage("more than one file given: " + ArgBytes(files[1]));
    if (files.isEmpty())
        return Usage("no wave file given");
    const std::string wave = ArgBytes(files[0]);
    std::string dest = sigmf::MetaPathBeside(wave);
    if (TakeValues(parser, "dest", [&](const std::string& v) { return !(dest = v).empty(); }))
        return Usage("--dest needs a path");
    if (FolderOf(dest) != FolderOf(wave))
        return Usage("--dest must stand in the wave's folder, where SigMF tools look for the dataset: " + dest);
    sigmf::MetaDescription d;
    std::string why;
    if (!sigmf::DescribeWave(wave, &d, &why) || !(why = sigmf::WriteNewFile(dest, sigmf::MetaText(d))).empty()) {
        std::fprintf(stderr, "tavirel-cli sigmf: no SigMF metadata was written for %s: %s.\n", wave.c_str(),
                     why.c_str());
        return 1;
    }
    std::printf("%s\n", dest.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
