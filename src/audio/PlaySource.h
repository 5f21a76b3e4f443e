// What the listener hears of a span of the document's source, as a source
// for the player (or for saving it): a one-channel recording as it is,
// resampled to the output's rate; an I/Q recording through a band and a
// demodulator.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "audio/AudioSource.h"
#include "band/BandExtract.h"
#include "band/BandPlan.h"
#include "demod/Demodulator.h"

class CTavirelDoc;

// No demodulator: a one-channel recording plays as it is.
constexpr int kPlayAsItIs = -1;
// Tuned to the source's centre (I/Q).
inline constexpr double kTuneAtCentre = std::numeric_limits<double>::quiet_NaN();

struct PlayChoice {
    int64_t nFromFrame = 0;
    int64_t nToFrame = 0; // past the last frame heard; cut to the recording's end
    int nMode = kPlayAsItIs;
    // The band to demodulate, in Hz as the picture shows it (absolute for a
    // source with a centre frequency, offsets from the centre otherwise);
    // when high is not above low, the mode's usual band for a carrier at dTuneHz.
    double dLowHz = 0.0;
    double dHighHz = 0.0;
    double dTuneHz = kTuneAtCentre;
    double dDeemphasisSec = kDeemphasis50us;
};

// The band an I/Q source is heard through and the carrier the demodulator
// takes as 0 Hz, in the band's terms (band/BandPlan.h).
struct PlayBand {
    double dLowHz = 0.0;
    double dHighHz = 0.0;
    double dCarrierHz = 0.0;
};

// The band and carrier of choice: the mode's usual band around the tuned
// carrier, or the band given with the carrier where the mode puts it (on
// the band's lower edge less the mode's lowest audio for USB, its upper edge
// plus it for LSB, its middle for the others).
PlayBand BandToPlay(const band::SourceSpectrum& source, const PlayChoice& choice);

// Everything a play source reads, taken from the document on the window's
// thread: the player makes its sources on a thread of its own.
struct PlayFacts {
    std::string strPath;
    band::SourceSpectrum spectrum;
    band::BandInput input; // the data's place, length and coding
};
PlayFacts PlayFactsOf(const CTavirelDoc& doc);

// Why choice cannot be played from facts (a sentence for the user), or an
// empty string; a band is planned into *pPlan for an I/Q source.
std::string CheckPlayChoice(const PlayFacts& facts, const PlayChoice& choice, band::BandPlan* pPlan = nullptr);

// The source the player plays for choice at dRateHz, or null with *pError
// saying why nothing can play (a sentence for the user).
std::unique_ptr<IAudioSource> MakePlaySource(const PlayFacts& facts, const PlayChoice& choice, double dRateHz,
                                             std::string* pError);
