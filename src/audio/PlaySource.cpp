#include "audio/PlaySource.h"

#include <algorithm>

#include "audio/BandBasebandSource.h"
#include "audio/BasebandAudioSource.h"
#include "audio/WaveAudioSource.h"
#include "doc/BandSave.h"
#include "doc/TavirelDoc.h"
#include "platform/RiffReader.h"

PlayBand BandToPlay(const band::SourceSpectrum& source, const PlayChoice& choice)
{
    const DemodModeInfo& mode = DemodMode(choice.nMode);
    if (choice.dHighHz > choice.dLowHz) {
        const double carrier = mode.dLowHz >= 0.0    ? choice.dLowHz - mode.dLowHz
                               : mode.dHighHz <= 0.0 ? choice.dHighHz - mode.dHighHz
                                                     : (choice.dLowHz + choice.dHighHz) / 2.0;
        return {choice.dLowHz, choice.dHighHz, carrier};
    }
    const double tune = std::isnan(choice.dTuneHz) ? (source.Lowest() + source.Highest()) / 2.0 : choice.dTuneHz;
    return {tune + mode.dLowHz, tune + mode.dHighHz, tune};
}

PlayFacts PlayFactsOf(const CTavirelDoc& doc)
{
    PlayFacts facts;
    facts.strPath = WavePath(doc.m_strSrcPath);
    facts.spectrum = DocSpectrum(doc);
    const std::string path = facts.strPath;
    facts.input.open = [path] { return std::unique_ptr<CByteSource>(CFileByteSource::Open(path)); };
    facts.input.lDataOffset = doc.m_wave.m_lDataStart;
    facts.input.nFrames = static_cast<int64_t>(doc.m_nDataFrames);
    facts.input.codec = doc.m_codecSource;
    return facts;
}

std::string CheckPlayChoice(const PlayFacts& facts, const PlayChoice& choice, band::BandPlan* pPlan)
{
    const bool bIq = facts.spectrum.nChannels == 2;
    if (!bIq && choice.nMode != kPlayAsItIs)
        return "A one-channel recording plays as it is; demodulation needs an I/Q recording.";
    if (!bIq && (choice.dLowHz != 0.0 || choice.dHighHz != 0.0 || !std::isnan(choice.dTuneHz)))
        return "A one-channel recording plays whole; a band is chosen in an I/Q recording.";
    if (bIq && (choice.nMode < 0 || choice.nMode >= DEMOD_MODES))
        return "An I/Q recording plays through a demodulator; choose AM, FM, broadcast FM, USB, LSB or CW.";
    const int64_t to = std::min(choice.nToFrame, facts.input.nFrames);
    if (choice.nFromFrame < 0 || choice.nFromFrame >= to)
        return "Nothing to play: the span is empty or lies past the recording's end.";
    if (!bIq)
        return {};
    const PlayBand heard = BandToPlay(facts.spectrum, choice);
    band::BandPlan plan;
    const band::BandFault fault = band::DesignBand(facts.spectrum, heard.dLowHz, heard.dHighHz, 0, &plan);
    if (fault != band::BandFault::None)
        return "The band cannot be played: " + BandFaultMessage(fault, facts.spectrum, heard.dLowHz, heard.dHighHz, 0) +
               ".";
    if (band::BandOutputFrames(choice.nFromFrame, to, plan.nDecimation) == 0)
        return "Nothing to play: the span is shorter than one sample of the band.";
    if (pPlan)
        *pPlan = std::move(plan);
    return {};
}

std::unique_ptr<IAudioSource> MakePlaySource(const PlayFacts& facts, const PlayChoice& choice, double dRateHz,
                                             std::string* pError)
{
    band::BandPlan plan;
    *pError = CheckPlayChoice(facts, choice, &plan);
    if (!pError->empty())
        return nullptr;
    if (facts.spectrum.nChannels != 2) {
        auto source = std::make_unique<CWaveAudioSource>();
        *pError = source->Open(facts.strPath, choice.nFromFrame, choice.nToFrame, dRateHz);
        return pError->empty() ? std::move(source) : nullptr;
    }
    // The band comes out centred on its middle; the demodulator takes the carrier as 0 Hz.
    const double shift = static_cast<double>(plan.nCentreHz) - BandToPlay(facts.spectrum, choice).dCarrierHz;
    const int64_t to = std::min(choice.nToFrame, facts.input.nFrames);
    auto baseband = std::make_unique<CBandBasebandSource>(plan, facts.input, choice.nFromFrame, to, shift);
    return std::make_unique<CBasebandAudioSource>(std::move(baseband), choice.nMode, dRateHz, choice.dDeemphasisSec);
}
