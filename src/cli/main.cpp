// tavirel-cli: looks at, renders and cuts wave recordings from the command line,
// through the same reader, document, plot and save code as the window.
#include <cstdio>
#include <cstring>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "sigmf/SigmfSource.h"

namespace {

const char kUsage[] = "usage: tavirel-cli COMMAND [ARGS]\n"
                      "\n"
                      "Commands:\n"
                      "  info [--json] FILE...        what opening each wave file reveals: format, length,\n"
                      "                               recording times and tuning, or why it cannot be opened\n"
                      "  render FILE --start SEC --width W --height H [--ref DB] [--zoom K|fit]\n"
                      "         [--rows first|strongest] [--fft N] [--window NAME] [--colours NAME]\n"
                      "         [--range DB] [--axes] --out PICTURE.png\n"
                      "                               the spectrogram of a time window, as the window shows it\n"
                      "  cut FILE (--from T --to T | --from-frame N --to-frame N | --segments LIST.csv)\n"
                      "      --dest PATH [--agc] [--sigmf] [--json]\n"
                      "                               save segments as new numbered wave files\n"
                      "  extract FILE --from SEC --to SEC --low HZ --high HZ --dest PATH\n"
                      "          [--decimation D | --rate HZ] [--bits B] [--sigmf] [--json]\n"
                      "                               save a band, mixed down and decimated, as a\n"
                      "                               new numbered I/Q wave file\n"
                      "  audio FILE --from SEC --to SEC [--mode M] [--low HZ --high HZ] [--rate HZ]\n"
                      "        [--deemphasis 50|75] --dest PATH\n"
                      "                               save what the window plays as a new numbered wave file\n"
                      "  sigmf FILE.wav [--dest PATH]   describe a wave recording in a .sigmf-meta beside it,\n"
                      "                               so that SigMF tools read it in place\n"
                      "  demo PATH                    write a demonstration I/Q recording\n"
                      "\n"
                      "Run 'tavirel-cli COMMAND --help' for a command's own options, 'tavirel-cli --version'\n"
                      "for the version.\n";

struct Command {
    const char* name;
    int (*run)(int, char**);
};

const Command kCommands[] = {
    {"info", CmdInfo},       {"render", CmdRender}, {"cut", CmdCut},
    {"extract", CmdExtract}, {"audio", CmdAudio},   {"demo", CmdDemo},
    {"sigmf", CmdSigmf},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        PrintVersion();
        return 0;
    }
    sigmf::InstallSourceResolver();
    for (const Command& c : kCommands) {
        if (!std::strcmp(argv[1], c.name))
            return c.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "tavirel-cli: unknown command '%s'\n\n%s", argv[1], kUsage);
    return 2;
}
