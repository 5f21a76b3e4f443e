// IBasebandSource: a stream of complex baseband centred on a carrier, the
// demodulators' input; the band extractor's streaming output, for one.
#pragma once

#include <complex>
#include <cstdint>
#include <string>

class IBasebandSource {
public:
    virtual ~IBasebandSource() = default;

    virtual double Rate() const = 0;
    // Fills up to nMax samples; returns how many, 0 at the end of the stream,
    // -1 on a failure (Error() then says what failed).
    virtual int Read(std::complex<float>* pOut, int nMax) = 0;
    // The recording's frame at time dFrames of the stream (in its frames).
    virtual int64_t SourceFrameOf(double dFrames) const = 0;
    virtual std::string Error() const = 0;
};
