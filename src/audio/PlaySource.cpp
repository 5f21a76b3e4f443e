#include "audio/PlaySource.h"

#include "audio/WaveAudioSource.h"
#include "doc/TavirelDoc.h"

int64_t SourceFrameOfSecond(const CTavirelDoc& doc, int nSec)
{
    // The reader's own scale: its byte rate, as its seeks use it.
    const CRiffWaveFile& wave = doc.m_wave;
    if (wave.m_nBytesPerFrameIn <= 0)
        return 0;
    return wave.m_nBytesPerSec * nSec / wave.m_nBytesPerFrameIn;
}

std::unique_ptr<IAudioSource> MakePlaySource(const CTavirelDoc& doc, const PlayChoice& choice, double dRateHz,
                                             std::string* pError)
{
    const bool bIq = doc.m_wfSource.nChannels == 2;
    if (!bIq && choice.nMode != kPlayAsItIs) {
        *pError = "A one-channel recording plays as it is; demodulation needs an I/Q recording.";
        return nullptr;
    }
    if (!bIq && (choice.dLowHz != 0.0 || choice.dHighHz != 0.0)) {
        *pError = "A one-channel recording plays whole; a band is chosen in an I/Q recording.";
        return nullptr;
    }
    if (bIq) {
        *pError = "Listening to an I/Q recording needs the band extractor, which this build does not have yet.";
        return nullptr;
    }
    auto source = std::make_unique<CWaveAudioSource>();
    *pError = source->Open(WavePath(doc.m_strSrcPath), choice.nFromFrame, choice.nToFrame, dRateHz);
    if (!pError->empty())
        return nullptr;
    return source;
}
