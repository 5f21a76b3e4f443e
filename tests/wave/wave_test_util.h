// Helpers of the wave tests: open bytes held in memory, a temporary folder, sox.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// Every value of the data of a source opened at path (a SigMF recording once
// its resolver is installed), with the open's code, format and error text.
struct ReadBack {
    int rc;
    WAVEFORMATEX wf;
    std::string text;
    std::vector<int32_t> values;
};
inline ReadBack ReadValues(const std::string& path)
{
    CRiffWaveFile w;
    const OpenResult o = OpenFrom(w, path, kWaveBlockFrames);
    ReadBack r{o.rc, o.wf, w.ErrorText(), {}};
    std::vector<int32_t> block(size_t{kWaveBlockFrames} * o.wf.nChannels);
    while (o.rc == WAVE_OK && w.ReadBlock(block.data(), kWaveBlockFrames, nullptr) > 0)
        r.values.insert(r.values.end(), block.begin(), block.end());
    r.values.resize(std::min(r.values.size(), size_t{w.m_nDataFrames} * o.wf.nChannels));
    return r;
}

const WAVEFORMATEX kMono16{.wFormatTag = 1, .nChannels = 1, .nSamplesPerSec = 8000, .wBitsPerSample = 16};
const WAVEFORMATEX kStereo16{.wFormatTag = 1, .nChannels = 2, .nSamplesPerSec = 48000, .wBitsPerSample = 16};

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
