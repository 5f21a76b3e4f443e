// CBandBasebandSource: a span of an I/Q recording through the band
// extractor's stream, read block by block through its own file (the
// window's reader stays the picture's), turned so that the carrier stands at
// 0 Hz: the baseband a demodulator takes.
#pragma once

#include <complex>
#include <memory>
#include <string>
#include <vector>

#include "band/BandExtract.h"
#include "band/BandPlan.h"
#include "band/BandStream.h"
#include "demod/BasebandSource.h"

class CByteSource;

class CBandBasebandSource final : public IBasebandSource {
public:
    // The outputs of plan for the frames nFromFrame .. nToFrame of input
    // (output k standing at frame nFromFrame + k D), each turned by
    // dShiftHz; frames on either side feed the filters where the recording
    // has them.
    CBandBasebandSource(const band::BandPlan& plan, const band::BandInput& input, int64_t nFromFrame, int64_t nToFrame,
                        double dShiftHz);
    ~CBandBasebandSource() override;

    double Rate() const override { return m_plan.nOutputRate; }
    int Read(std::complex<float>* pOut, int nMax) override;
    int64_t SourceFrameOf(double dFrames) const override;
    std::string Error() const override { return m_strError; }

private:
    // Pushes the next block of frames into the stream; false on a read failure.
    bool PushBlock();

    band::BandPlan m_plan;
    band::BandInput m_input;
    band::CBandStream m_stream;
    std::unique_ptr<CByteSource> m_file;
    int64_t m_nFromFrame;
    int64_t m_nOutputs;  // outputs of the span
    int64_t m_nEndFrame; // the frame after the last one the last output depends on
    int m_nBytesPerFrame;
    double m_dShiftCycles; // the turn, in cycles per output
    std::vector<uint8_t> m_raw;
    std::string m_strError;
};
