// CDemodulator: turns complex baseband into audio. The input is centred on
// the carrier (the tuned frequency at 0 Hz) at any rate that holds the mode's
// channel; the demodulator filters the channel itself (broadcast FM excepted,
// whose input is taken as filtered when its rate is one of the channel's
// own) and produces audio at the mode's rate.
//
// Levels are kept, nothing is levelled behind the listener's back: AM gives
// the envelope's swing (a carrier of amplitude A modulated to depth m gives
// a tone of amplitude m A), SSB and CW the amplitude of the signal, FM the
// deviation over the mode's peak deviation (1.0 at the peak).
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "demod/Resampler.h"

enum : int { DEMOD_AM = 0, DEMOD_FM, DEMOD_WFM, DEMOD_USB, DEMOD_LSB, DEMOD_CW, DEMOD_MODES };

// Broadcast FM de-emphasis time constants: Europe and most of the world, and
// the Americas and Korea.
constexpr double kDeemphasis50us = 50e-6;
constexpr double kDeemphasis75us = 75e-6;

struct DemodModeInfo {
    const char* szName;  // the word for the mode on the command line and in the settings
    const char* szLabel; // the mode's name for people
    // The channel around the carrier, in Hz from it: the band to extract.
    double dLowHz;
    double dHighHz;
    double dAudioRateHz; // the rate of the audio the mode produces
};

// nMode: DEMOD_*; any other value gives AM's record.
const DemodModeInfo& DemodMode(int nMode);
// The mode of a name ("am", "fm", "wfm", "usb", "lsb", "cw"), -1 for none.
int DemodModeOfName(std::string_view name);
// The mode's usual bandwidth in Hz.
inline double DemodBandwidth(int nMode)
{
    return DemodMode(nMode).dHighHz - DemodMode(nMode).dLowHz;
}

class CDemodulator {
public:
    // dDeemphasisSec applies to broadcast FM only.
    CDemodulator(int nMode, double dInRateHz, double dDeemphasisSec = kDeemphasis50us);
    ~CDemodulator();
    CDemodulator(const CDemodulator&) = delete;
    CDemodulator& operator=(const CDemodulator&) = delete;

    // Appends the audio that the n samples complete.
    void Process(const std::complex<float>* in, int n, std::vector<float>& audio);
    // Ends the stream: appends the rest of the audio.
    void Flush(std::vector<float>& audio);
    // Back to the start of a stream.
    void Reset();

    int Mode() const { return m_nMode; }
    double InRate() const { return m_dInRateHz; }
    double AudioRate() const { return DemodMode(m_nMode).dAudioRateHz; }
    // The input time (in input frames from the stream's start) of audio time
    // dAudioFrames.
    double InputFramesOf(double dAudioFrames) const { return dAudioFrames * m_dInRateHz / AudioRate(); }

private:
    // The channel at the working rate, from the planes m_re and m_im.
    void Channel(const std::complex<float>* in, int n);
    void Detect(std::vector<float>& audio);
    void DetectFm(const float* re, const float* im, int n, std::vector<float>& out);

    int m_nMode;
    double m_dInRateHz;
    double m_dWorkRateHz = 0.0;
    // Mixers: the channel's centre to 0 Hz before the filter, and from 0 Hz
    // to its place in the audio after it (SSB, CW), as unit phasors.
    std::complex<double> m_mixIn{1.0, 0.0}, m_mixInStep{1.0, 0.0};
    std::complex<double> m_mixOut{1.0, 0.0}, m_mixOutStep{1.0, 0.0};
    std::unique_ptr<CResampler> m_front; // input rate to the working rate, the channel filter; none: taken as it is
    std::unique_ptr<CResampler> m_audio; // working rate to the audio rate (broadcast FM)
    double m_dFmScale = 1.0;             // radians per sample to audio
    double m_dDeemphasisGain = 0.0;      // broadcast FM's one-pole de-emphasis
    float m_fDeemphasisState = 0.0f;
    double m_dDcGain = 0.0; // AM's DC tracker
    double m_dDc = 0.0;
    bool m_bStarted = false;
    float m_prev[2] = {0.0f, 0.0f}; // the last complex sample detected (FM)
    std::vector<float> m_in[2];     // the input's planes
    std::vector<float> m_ch[2];     // the channel's planes at the working rate
    std::vector<float> m_work;      // the detector's output at the working rate
};
