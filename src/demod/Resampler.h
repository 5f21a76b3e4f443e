// CResampler: changes the rate of a stream of samples with a proper
// low-pass, block by block, its state running across blocks (a stream cut
// into blocks of any sizes gives the same output as in one piece).
//
// A stream has one plane of floats (audio) or two (the I and Q of complex
// baseband); every plane is filtered alike. The filter is linear-phase and
// centred: output k is the filtered input at input time k * inRate / outRate
// (input 0 at time 0), so nothing is delayed; Flush ends the stream and gives
// the outputs up to the last input's time.
//
// The work is done in stages: half-band decimators halve the rate while the
// rate is far above the band kept (a few taps each), then one polyphase
// stage reaches the output rate, with exact phases where their table is
// small and otherwise coefficients taken between the nearest two of 256
// phases. The rate ratio is kept as a fraction and stepped exactly, so the
// output never drifts against the input.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What the low-pass keeps and stops, in Hz. Left at 0, the band kept is 0.9
// of the lower of the two Nyquist frequencies and the stopband starts at that
// Nyquist frequency (no image and no alias reaches the output). For complex
// baseband the band is symmetric: -passHz .. passHz.
struct ResamplerBand {
    double dPassHz = 0.0;
    double dStopHz = 0.0;
    double dAttenuationDb = 90.0;
};

class CResampleStage; // Resampler.cpp
class CSampleQueue;

class CResampler {
public:
    // With equal rates and no band given the samples pass unchanged; with a
    // band given they are filtered at that rate.
    CResampler(double dInRateHz, double dOutRateHz, ResamplerBand band = {}, int nPlanes = 1);
    ~CResampler();
    CResampler(const CResampler&) = delete;
    CResampler& operator=(const CResampler&) = delete;

    // in: nPlanes arrays of n samples; appends the outputs that are ready to
    // out[0 .. nPlanes - 1].
    void Process(const float* const* in, int n, std::vector<float>* out);
    // Ends the stream: appends the remaining outputs. Process may start a new
    // stream only after Reset.
    void Flush(std::vector<float>* out);
    // Back to the start of a stream, as constructed.
    void Reset();

    // One plane.
    void Process(const float* in, int n, std::vector<float>& out) { Process(&in, n, &out); }
    void Flush(std::vector<float>& out) { Flush(&out); }

    double InRate() const { return m_dInRateHz; }
    double OutRate() const { return m_dOutRateHz; }
    int Planes() const { return m_nPlanes; }
    // The input time (in input frames from the stream's start) of output
    // time dOutFrames (in output frames).
    double InputFramesOf(double dOutFrames) const;
    // The stages and their taps, for reports: "2 half-band (3, 7 taps),
    // polyphase 160 phases x 128 taps".
    std::string Describe() const;

private:
    void Build(const ResamplerBand& band);
    void Run(const float* const* in, int n, bool bFlush, std::vector<float>* out);

    double m_dInRateHz;
    double m_dOutRateHz;
    int m_nPlanes;
    // The rate ratio out/in as the fraction m_nRatioNum / m_nRatioDen.
    int64_t m_nRatioNum = 1;
    int64_t m_nRatioDen = 1;
    std::vector<std::unique_ptr<CResampleStage>> m_stages;
    // Each stage's output (the next stage's input), by stage and plane.
    std::vector<CSampleQueue> m_between;
};
