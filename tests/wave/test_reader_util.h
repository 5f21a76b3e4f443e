// Shared helpers of the reader tests: open a wave held in memory.
#pragma once

#include <memory>

#include "platform/RiffReader.h"
#include "support/WaveBytes.h"
#include "wave/RiffWaveFile.h"

struct OpenResult {
    int rc = -1;
    WAVEFORMATEX wf;
    uint32_t frames = 0;
    AUXIINFO auxi;
};

inline OpenResult OpenBytes(CRiffWaveFile& w, const riff::Bytes& b, int nBlockFrames = 2048, int nStartFrame = 0)
{
    OpenResult r;
    r.rc = w.Open(std::make_unique<CMemoryByteSource>(b.v), &r.wf, nBlockFrames, &r.frames, nStartFrame, &r.auxi);
    return r;
}
