// Helpers of the wave tests: open bytes held in memory, a temporary folder, sox.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "support/TempFolder.h"
#include "platform/RiffReader.h"
#include "support/ScopedTz.h"
#include "support/WaveBytes.h"
#include "wave/RiffWaveFile.h"

using riff::Bytes;
using riff::Chunk;
using riff::FmtPayload;
using riff::ReadFile;
using riff::Riff;
using riff::Wave;

struct OpenResult {
    int rc = -1;
    WAVEFORMATEX wf;
    uint64_t frames = 0;
    AUXIINFO auxi;
};

// Opens a path or a byte source in w.
template <typename Source>
OpenResult OpenFrom(CRiffWaveFile& w, Source&& source, int nBlockFrames = 2048)
{
    OpenResult r;
    r.rc = w.Open(std::forward<Source>(source), &r.wf, nBlockFrames, &r.frames, 0, &r.auxi);
    return r;
}
inline OpenResult OpenBytes(CRiffWaveFile& w, const Bytes& b, int nBlockFrames = 2048)
{
    return OpenFrom(w, std::make_unique<CMemoryByteSource>(b.v), nBlockFrames);
}

const WAVEFORMATEX kMono16{.wFormatTag = 1, .nChannels = 1, .nSamplesPerSec = 8000, .wBitsPerSample = 16};
const WAVEFORMATEX kStereo16{.wFormatTag = 1, .nChannels = 2, .nSamplesPerSec = 48000, .wBitsPerSample = 16};

// A folder of the test's own, removed with everything in it.
using TempDir = TempFolder;

// Runs a shell command; its standard output, or "!" when it failed.
inline std::string Sh(const std::string& cmd)
{
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[65536];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    return p && pclose(p) == 0 ? out : "!";
}

inline bool HaveSox()
{
    return std::system("command -v sox >/dev/null 2>&1") == 0;
}
