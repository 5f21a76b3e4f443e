// The whole-span band extraction on every core: the outputs are taken in
// rounds, each round shared out among workers as ranges of output frames,
// each worker with its own stream that starts early enough (the plan's reach)
// to give its first output exactly as one stream through the whole span
// would. The outputs reach the sink in order, one round at a time, so
// memory stays the same for any length.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "band/BandPlan.h"
#include "wave/SampleFormats.h"

class CByteSource; // platform/RiffReader.h

namespace band {

// Where a recording's frames are read from.
struct BandInput {
    // Opens the recording's bytes, once for each worker; null when it cannot.
    std::function<std::unique_ptr<CByteSource>()> open;
    int64_t lDataOffset = 0; // file offset of frame 0
    int64_t nFrames = 0;     // frames the recording holds
    samples::Codec codec = samples::Codec::None;
};

struct BandJob {
    int64_t nFromFrame = 0;                  // output 0 stands at this frame
    int64_t nOutFrames = 0;                  // outputs wanted
    int nWorkers = 0;                        // 0: one for each core
    int64_t nBlockFrames = int64_t{1} << 16; // frames read and pushed at a time
};

// Takes the outputs in order, nFrames I/Q pairs at a time; false cancels.
using BandSink = std::function<bool(const float* pIq, int64_t nFrames)>;

struct BandRunResult {
    int nError = 0;          // WAVE_OK, WAVE_ERR_OPEN or WAVE_ERR_READ
    int nErrno = 0;          // the system's error number behind it, 0 when none
    bool bCancelled = false; // the sink said stop
    int64_t nFramesOut = 0;  // outputs handed to the sink
};

// The outputs a span of frames gives: floor((to - from) / D), none for an empty span.
int64_t BandOutputFrames(int64_t nFromFrame, int64_t nToFrame, int nDecimation);

// Frames before the recording's start and after its end are silence; all
// others are read, those past the span's end included.
BandRunResult ExtractBand(const BandPlan& plan, const BandInput& input, const BandJob& job, const BandSink& sink);

} // namespace band
