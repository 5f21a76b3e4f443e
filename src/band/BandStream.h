// CBandStream: the band extractor as a stream. Source frames go in, in order,
// in the source's own sample coding; complex output frames (I, Q as floats,
// full scale 1.0) come out at the output rate. Output k is the band at
// source frame origin + k x D: the mix's phase comes from the absolute
// frame index (exact integer arithmetic), and every filter is centred, so
// its delay is compensated.
//
// Every output is a fixed function of the frames around it: however the
// frames are split into pushes, and wherever a stream starts (given enough
// frames before the first output it is asked for, ReachBefore of the plan),
// an output comes out bit for bit the same. This is what lets several
// streams share a recording between them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "band/BandPlan.h"
#include "wave/SampleFormats.h"

namespace band {

class CBandStage; // BandStream.cpp
class CIqBuffer;

class CBandStream {
public:
    // A stream for plan, fed frames coded as codec with the plan's channels.
    CBandStream(const BandPlan& plan, samples::Codec codec);
    ~CBandStream();
    CBandStream(const CBandStream&) = delete;
    CBandStream& operator=(const CBandStream&) = delete;

    // Starts over: output 0 stands at source frame nOriginFrame, and the next
    // push begins at frame nFirstFrame. Frames before it count as silence, so
    // the outputs whose reach extends before it are those of a signal that
    // starts there.
    void Start(int64_t nOriginFrame, int64_t nFirstFrame);
    // The index of the output the next Pull gives first.
    int64_t NextOutput() const { return m_nNextOutput; }
    // The frame the next Push begins at.
    int64_t NextFrame() const { return m_nNextFrame; }

    // Pushes nFrames frames of the source's bytes (frame after frame, channels interleaved).
    void Push(const uint8_t* pBytes, int64_t nFrames);
    // Pushes nFrames frames of silence (what lies beyond a recording's ends).
    void PushSilence(int64_t nFrames);

    // Output frames ready to be pulled.
    int64_t Available() const;
    // Takes up to nMax output frames (I, Q pairs) into pIq, or drops them when
    // pIq is null; returns how many.
    int64_t Pull(float* pIq, int64_t nMax);

private:
    void Feed(const uint8_t* pBytes, int64_t nFrames); // one piece within one phase chunk
    void SetChunk(int64_t nChunk);
    void RunStages(const float* pIq, int64_t nFrames);

    BandPlan m_plan;
    samples::Codec m_codec;
    int m_nBytesPerFrame = 0;
    int64_t m_nOrigin = 0;
    int64_t m_nNextFrame = 0;
    int64_t m_nNextOutput = 0;
    // The mix: phase of frame n is n x m_nPhaseStep (mod rate) turns / rate.
    uint64_t m_nPhaseStep = 0;
    std::vector<float> m_turn;    // e^(i phase) of frames 0 .. chunk-1, I/Q pairs
    std::vector<float> m_phasor;  // the same for the current chunk of frames
    int64_t m_nChunk = INT64_MIN; // the chunk m_phasor holds
    std::vector<int32_t> m_decoded;
    std::vector<float> m_mixed;
    std::vector<std::unique_ptr<CBandStage>> m_stages;
    std::unique_ptr<CIqBuffer> m_between; // one stage's output on its way to the next
    std::unique_ptr<CIqBuffer> m_out;     // outputs not yet pulled
};

} // namespace band
