// The subcommands of tavirel-cli. Each takes the arguments after its name and
// returns the process exit status: 0 success, 1 a file failed, 2 a usage error.
#pragma once

int CmdInfo(int argc, char** argv);
int CmdDemo(int argc, char** argv);
int CmdRender(int argc, char** argv);
int CmdCut(int argc, char** argv);
int CmdAudio(int argc, char** argv);
int CmdExtract(int argc, char** argv);
int CmdSigmf(int argc, char** argv);
