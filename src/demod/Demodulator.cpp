#include "demod/Demodulator.h"

#include <cmath>
#include <numbers>

#include "demod/FirKernels.h"

namespace {

const DemodModeInfo kModes[DEMOD_MODES] = {
    {"am", "AM", -5000.0, 5000.0, 16000.0},
    {"fm", "Narrow FM", -6250.0, 6250.0, 16000.0},
    {"wfm", "Broadcast FM", -100000.0, 100000.0, 48000.0},
    {"usb", "USB", 300.0, 3000.0, 8000.0},
    {"lsb", "LSB", -3000.0, -300.0, 8000.0},
    {"cw", "CW", -250.0, 250.0, 8000.0},
};

// How each mode is received.
struct Reception {
    double dWorkRateHz;  // the rate the detector runs at (broadcast FM: see WorkRate)
    double dStopHz;      // the channel filter's stop edge, from the channel's centre
    double dDeviationHz; // FM: the deviation heard at full scale
    double dToneHz;      // SSB and CW: where the channel's centre lands in the audio
};

const Reception kReception[DEMOD_MODES] = {
    {16000.0, 8000.0, 0.0, 0.0},   {16000.0, 8000.0, 5000.0, 0.0}, {250000.0, 125000.0, 75000.0, 0.0},
    {8000.0, 1650.0, 0.0, 1650.0}, {8000.0, 1650.0, 0.0, -1650.0}, {8000.0, 450.0, 0.0, 700.0},
};

constexpr double kFilterAttenuationDb = 70.0;
// AM's DC tracker follows the carrier's level with this corner frequency.
constexpr double kDcCornerHz = 10.0;
// Broadcast FM input at a rate in this range is demodulated at that rate.
constexpr double kWfmMinRateHz = 200000.0;
constexpr double kWfmMaxRateHz = 500000.0;
// Broadcast FM's audio band, below the stereo pilot at 19 kHz.
constexpr double kWfmAudioPassHz = 15000.0;
constexpr double kWfmAudioStopHz = 18500.0;

std::complex<double> Phasor(double dHz, double dRateHz)
{
    return std::polar(1.0, 2.0 * std::numbers::pi * dHz / dRateHz);
}

} // namespace

const DemodModeInfo& DemodMode(int nMode)
{
    return kModes[nMode >= 0 && nMode < DEMOD_MODES ? nMode : DEMOD_AM];
}

int DemodModeOfName(std::string_view name)
{
    for (int m = 0; m < DEMOD_MODES; ++m)
        if (name == kModes[m].szName)
            return m;
    return -1;
}

CDemodulator::CDemodulator(int nMode, double dInRateHz, double dDeemphasisSec)
    : m_nMode(nMode >= 0 && nMode < DEMOD_MODES ? nMode : DEMOD_AM), m_dInRateHz(dInRateHz)
{
    const DemodModeInfo& mode = kModes[m_nMode];
    const Reception& rx = kReception[m_nMode];
    const double centre = 0.5 * (mode.dLowHz + mode.dHighHz);
    const ResamplerBand channel{0.5 * (mode.dHighHz - mode.dLowHz), rx.dStopHz, kFilterAttenuationDb};
    m_dWorkRateHz = rx.dWorkRateHz;
    const bool bTakeAsItIs = m_nMode == DEMOD_WFM && dInRateHz >= kWfmMinRateHz && dInRateHz < kWfmMaxRateHz;
    if (bTakeAsItIs)
        m_dWorkRateHz = dInRateHz;
    else
        m_front = std::make_unique<CResampler>(dInRateHz, m_dWorkRateHz, channel, 2);
    m_mixInStep = Phasor(-centre, dInRateHz);
    m_mixOutStep = Phasor(rx.dToneHz, m_dWorkRateHz);
    if (rx.dDeviationHz > 0.0)
        m_dFmScale = m_dWorkRateHz / (2.0 * std::numbers::pi * rx.dDeviationHz);
    m_dDeemphasisGain = 1.0 - std::exp(-1.0 / (m_dWorkRateHz * dDeemphasisSec));
    m_dDcGain = 1.0 - std::exp(-2.0 * std::numbers::pi * kDcCornerHz / m_dWorkRateHz);
    if (m_nMode == DEMOD_WFM)
        m_audio = std::make_unique<CResampler>(m_dWorkRateHz, mode.dAudioRateHz,
                                               ResamplerBand{kWfmAudioPassHz, kWfmAudioStopHz, kFilterAttenuationDb});
}

CDemodulator::~CDemodulator() = default;

void CDemodulator::Reset()
{
    if (m_front)
        m_front->Reset();
    if (m_audio)
        m_audio->Reset();
    m_mixIn = m_mixOut = {1.0, 0.0};
    m_fDeemphasisState = 0.0f;
    m_dDc = 0.0;
    m_bStarted = false;
    m_prev[0] = m_prev[1] = 0.0f;
}

void CDemodulator::Channel(const std::complex<float>* in, int n)
{
    for (auto& plane : m_in)
        plane.resize(n);
    if (m_mixInStep == std::complex<double>(1.0, 0.0)) {
        for (int i = 0; i < n; ++i) {
            m_in[0][i] = in[i].real();
            m_in[1][i] = in[i].imag();
        }
    } else {
        for (int i = 0; i < n; ++i) {
            const std::complex<double> z = std::complex<double>(in[i]) * m_mixIn;
            m_mixIn *= m_mixInStep;
            m_in[0][i] = static_cast<float>(z.real());
            m_in[1][i] = static_cast<float>(z.imag());
        }
        m_mixIn /= std::abs(m_mixIn); // stays a unit phasor however long the stream
    }
    if (!m_front) {
        m_ch[0].swap(m_in[0]);
        m_ch[1].swap(m_in[1]);
        return;
    }
    const float* planes[2] = {m_in[0].data(), m_in[1].data()};
    m_front->Process(planes, n, m_ch);
}

void CDemodulator::Process(const std::complex<float>* in, int n, std::vector<float>& audio)
{
    Channel(in, n);
    Detect(audio);
}

void CDemodulator::Flush(std::vector<float>& audio)
{
    if (m_front) {
        m_ch[0].clear();
        m_ch[1].clear();
        m_front->Flush(m_ch);
        Detect(audio);
    }
    if (m_audio)
        m_audio->Flush(audio);
}

void CDemodulator::DetectFm(const float* re, const float* im, int n, std::vector<float>& out)
{
    if (!m_bStarted) { // the first sample has no step before it
        m_prev[0] = re[0];
        m_prev[1] = im[0];
    }
    out.resize(n);
    firk::PhaseSteps(re, im, n, m_prev[0], m_prev[1], out.data());
    m_prev[0] = re[n - 1];
    m_prev[1] = im[n - 1];
    const auto scale = static_cast<float>(m_dFmScale);
    for (float& v : out)
        v *= scale;
}

void CDemodulator::Detect(std::vector<float>& audio)
{
    const int n = static_cast<int>(m_ch[0].size());
    if (n == 0)
        return;
    const float* re = m_ch[0].data();
    const float* im = m_ch[1].data();
    const size_t old = audio.size();
    switch (m_nMode) {
    case DEMOD_AM:
        audio.resize(old + n);
        firk::Magnitude(re, im, n, audio.data() + old);
        if (!m_bStarted)
            m_dDc = audio[old]; // start at the carrier's level: no thump
        for (int i = 0; i < n; ++i) {
            const double e = audio[old + i];
            audio[old + i] = static_cast<float>(e - m_dDc);
            m_dDc += m_dDcGain * (e - m_dDc);
        }
        break;
    case DEMOD_FM: {
        DetectFm(re, im, n, m_work);
        audio.insert(audio.end(), m_work.begin(), m_work.end());
        break;
    }
    case DEMOD_WFM:
        DetectFm(re, im, n, m_work);
        firk::OnePole(m_work.data(), n, static_cast<float>(1.0 - m_dDeemphasisGain),
                      static_cast<float>(m_dDeemphasisGain), &m_fDeemphasisState);
        m_audio->Process(m_work.data(), n, audio);
        break;
    default: // SSB and CW: the channel moved to its place in the audio, the real part heard
        audio.resize(old + n);
        for (int i = 0; i < n; ++i) {
            audio[old + i] = static_cast<float>(re[i] * m_mixOut.real() - im[i] * m_mixOut.imag());
            m_mixOut *= m_mixOutStep;
        }
        m_mixOut /= std::abs(m_mixOut);
        break;
    }
    m_bStarted = true;
    m_ch[0].clear();
    m_ch[1].clear();
}
