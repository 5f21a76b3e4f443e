#include "audio/AudioSave.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"

namespace {

// The 16-bit sample of a level, in the upper bits of a block value.
int32_t Sample16(float v)
{
    return static_cast<int32_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f)) * 65536;
}

std::string WriteFailure(const CRiffWaveFile& wave, const std::string& path)
{
    const std::string why = wave.m_nErrno != 0 ? std::string(" (") + std::strerror(wave.m_nErrno) + ")" : "";
    const std::string what =
        wave.m_nError == WAVE_ERR_CREATE ? "creating " + path + " failed" : "writing " + path + " failed";
    return "The audio was not saved: " + what + why + ". No file was left behind.";
}

// Writes the source's audio into the open output; an empty string or the
// source's failure.
std::string CopyAudio(IAudioSource& source, CRiffWaveFile& wave, AudioSaveResult& result)
{
    std::vector<float> audio(kWaveBlockFrames);
    std::vector<int32_t> block(kWaveBlockFrames);
    for (;;) {
        const int n = source.Read(audio.data(), kWaveBlockFrames);
        if (n < 0)
            return "The audio was not saved: " + source.Error() + ". No file was left behind.";
        if (n == 0)
            return {};
        std::transform(audio.begin(), audio.begin() + n, block.begin(), Sample16);
        if (wave.WriteBlock(block.data(), n) != n)
            return WriteFailure(wave, result.strPath);
        result.nFrames += n;
    }
}

// The source's record with the span's times; for demodulated I/Q the
// carrier as its centre frequency and the band's width.
AUXIINFO AudioRecord(const CTavirelDoc& doc, const PlayFacts& facts, const PlayChoice& choice)
{
    AUXIINFO auxi = SpanRecord(doc, choice.nFromFrame, choice.nToFrame);
    if (facts.spectrum.nChannels == 2) {
        const PlayBand heard = BandToPlay(facts.spectrum, choice);
        const auto hz = [](double v) { return static_cast<uint32_t>(std::clamp(std::llround(v), 0LL, 0xFFFFFFFFLL)); };
        auxi.dwCenterFreq = facts.spectrum.nCentreHz != 0 ? hz(heard.dCarrierHz) : facts.spectrum.nCentreHz;
        auxi.dwBandwidth = hz(heard.dHighHz - heard.dLowHz);
    }
    return auxi;
}

} // namespace

AudioSaveResult SaveAudio(CTavirelDoc& doc, const PlayChoice& choice, int nRateHz)
{
    AudioSaveResult result;
    const PlayFacts facts = PlayFactsOf(doc);
    std::string error;
    std::unique_ptr<IAudioSource> source = MakePlaySource(facts, choice, nRateHz, &error);
    if (!source) {
        result.strMessage = error;
        result.bRefused = true;
        return result;
    }
    const AUXIINFO auxi = AudioRecord(doc, facts, choice);
    WAVEFORMATEX wf;
    wf.wFormatTag = 1;
    wf.nChannels = 1;
    wf.nSamplesPerSec = static_cast<uint32_t>(nRateHz);
    wf.nAvgBytesPerSec = 2 * wf.nSamplesPerSec;
    wf.nBlockAlign = 2;
    wf.wBitsPerSample = 16;
    const int64_t nToFrame = std::min<int64_t>(choice.nToFrame, static_cast<int64_t>(doc.m_nDataFrames));
    const auto nPlanned = static_cast<uint64_t>(
        std::ceil(static_cast<double>(nToFrame - choice.nFromFrame) * nRateHz / doc.m_wfSource.nSamplesPerSec));
    CRiffWaveFile& wave = doc.m_wave;
    const std::string dest = WavePath(doc.m_strDestPath);
    if (wave.OpenOutput(dest, &wf, kWaveBlockFrames, 0, NAME_NUMBERED, &auxi, nPlanned) != WAVE_OK) {
        result.strMessage = WriteFailure(wave, wave.FreeOutputName(dest, NAME_NUMBERED));
        return result;
    }
    result.strPath = wave.m_strOutFile;
    result.strMessage = CopyAudio(*source, wave, result);
    if (!result.strMessage.empty()) {
        wave.AbandonOutput();
        return result;
    }
    wave.ClearAuxiRewrite();
    wave.m_nError = WAVE_OK;
    wave.CloseOutput();
    result.strPath = wave.m_strOutFile;
    if (wave.m_nError != WAVE_OK)
        result.strMessage = WriteFailure(wave, result.strPath);
    return result;
}
