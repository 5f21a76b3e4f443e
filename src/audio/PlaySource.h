// What the listener hears of a span of the document's source, as a source
// for the player (or for saving it): a one-channel recording as it is,
// resampled to the output's rate; an I/Q recording through a band and a
// demodulator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/AudioSource.h"
#include "demod/Demodulator.h"

class CTavirelDoc;

// No demodulator: a one-channel recording plays as it is.
constexpr int kPlayAsItIs = -1;

struct PlayChoice {
    int64_t nFromFrame = 0;
    int64_t nToFrame = 0; // past the last frame heard; cut to the recording's end
    int nMode = kPlayAsItIs;
    // The band to demodulate, in Hz as the picture shows it; both 0: the
    // mode's usual band around the centre.
    double dLowHz = 0.0;
    double dHighHz = 0.0;
    double dDeemphasisSec = kDeemphasis50us;
};

// The frame of doc's source at a whole second from its data's start.
int64_t SourceFrameOfSecond(const CTavirelDoc& doc, int nSec);

// The source the player plays for choice at dRateHz, or null with *pError
// saying why nothing can play (a sentence for the user).
std::unique_ptr<IAudioSource> MakePlaySource(const CTavirelDoc& doc, const PlayChoice& choice, double dRateHz,
                                             std::string* pError);
