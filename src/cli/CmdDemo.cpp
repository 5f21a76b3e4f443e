// Placeholder until the command is built.
#include <cstdio>

#include "cli/Commands.h"

int CmdDemo(int, char**)
{
    std::fputs("tavirel-cli: this command is not available yet\n", stderr);
    return 2;
}
