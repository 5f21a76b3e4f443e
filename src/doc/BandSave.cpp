#include "doc/BandSave.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "band/BandExtract.h"
#include "doc/TavirelDoc.h"
#include "platform/RiffReader.h"
#include "wave/RiffWaveFile.h"
#include "wave/SampleFormats.h"
#include "wave/TimeBase.h"
#include "wave/WaveHeader.h"

namespace {

// Frames per WriteBlock call.
constexpr int kBandBlockFrames = 4096;
// The channel mask of an extensible I/Q file: front left (I) and front right (Q).
constexpr uint32_t kIqChannelMask = 0x3;

std::string HzText(double hz)
{
    char text[64];
    if (hz == std::floor(hz))
        std::snprintf(text, sizeof text, "%.0f Hz", hz);
    else
        std::snprintf(text, sizeof text, "%.3f Hz", hz);
    return text;
}

// The output's sample format: two channels at rate / D in the depth asked for.
WAVEFORMATEX BandFormat(const CTavirelDoc& doc, const band::BandPlan& plan, BandBits bits)
{
    WAVEFORMATEX wf;
    wf.wFormatTag = wavehdr::kTagPcm;
    switch (bits) {
    case BandBits::Source:
        wf.wFormatTag = doc.m_wfSource.wFormatTag;
        wf.wBitsPerSample = doc.m_wfSource.wBitsPerSample;
        break;
    case BandBits::Int16: wf.wBitsPerSample = 16; break;
    case BandBits::Int24: wf.wBitsPerSample = 24; break;
    case BandBits::Int32: wf.wBitsPerSample = 32; break;
    case BandBits::Float:
        wf.wFormatTag = wavehdr::kTagFloat;
        wf.wBitsPerSample = 32;
        break;
    }
    wf.nChannels = 2;
    wf.nSamplesPerSec = plan.nOutputRate;
    return wf;
}

uint32_t ClampU32(int64_t v)
{
    return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, UINT32_MAX));
}

// The source's record with the span's times, the band's middle and width.
AUXIINFO BandRecord(const CTavirelDoc& doc, const band::BandPlan& plan, int64_t nFromFrame, int64_t nToFrame)
{
    AUXIINFO auxi = SpanRecord(doc, nFromFrame, nToFrame);
    auxi.dwCenterFreq = ClampU32(plan.nCentreHz);
    auxi.dwBandwidth = ClampU32(std::llround(plan.dHighHz - plan.dLowHz));
    return auxi;
}

// Floats of full scale 1.0 to the block representation at the output's
// depth: rounded to its step, clipped (and counted) at its full scale.
class CQuantizer {
public:
    explicit CQuantizer(samples::Codec codec)
    {
        const int bits = codec == samples::Codec::F32 ? 32 : 8 * samples::BytesPerSample(codec);
        m_dScale = codec == samples::Codec::F32 ? samples::kFloatScale : std::ldexp(1.0, bits - 1);
        m_dHigh = std::ldexp(1.0, bits - 1) - 1.0;
        m_dLow = -std::ldexp(1.0, bits - 1);
        m_nShift = 32 - bits;
    }
    void Convert(const float* pIq, int n, int32_t* pOut)
    {
        for (int i = 0; i < 2 * n; ++i) {
            double q = std::nearbyint(static_cast<double>(pIq[i]) * m_dScale);
            if (q > m_dHigh || q < m_dLow) {
                q = std::clamp(q, m_dLow, m_dHigh);
                ++m_nClipped;
            }
            pOut[i] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(q)) << m_nShift);
        }
    }
    uint64_t m_nClipped = 0;

private:
    double m_dScale = 1.0, m_dHigh = 0.0, m_dLow = 0.0;
    int m_nShift = 0;
};

// Runs the extraction into the open output; false when the progress function cancelled.
bool WriteBand(CTavirelDoc& doc, const band::BandPlan& plan, const band::BandJob& job, const SegmentProgress& progress,
               BandSaveResult& result)
{
    CRiffWaveFile& wave = doc.m_wave;
    const std::string path = WavePath(doc.m_strSrcPath);
    band::BandInput input;
    input.open = [path] { return std::unique_ptr<CByteSource>(CFileByteSource::Open(path)); };
    input.lDataOffset = wave.m_lDataStart;
    input.nFrames = static_cast<int64_t>(wave.m_nDataFrames);
    input.codec = doc.m_codecSource;
    CQuantizer quantizer(samples::CodecFor(wave.m_wfOut.wFormatTag, wave.m_wfOut.wBitsPerSample));
    std::vector<int32_t> block(2 * kBandBlockFrames);
    bool writeFailed = false;
    const band::BandRunResult run = band::ExtractBand(plan, input, job, [&](const float* pIq, int64_t n) {
        for (int64_t done = 0; done < n; done += kBandBlockFrames) {
            const int m = static_cast<int>(std::min<int64_t>(kBandBlockFrames, n - done));
            quantizer.Convert(pIq + 2 * done, m, block.data());
            if (wave.WriteBlock(block.data(), m) != m) {
                writeFailed = true;
                return false;
            }
        }
        result.nFrames += n;
        return !progress || progress(static_cast<double>(result.nFrames) /
                                     static_cast<double>(std::max<int64_t>(1, job.nOutFrames)));
    });
    result.nClipped = quantizer.m_nClipped;
    if (writeFailed) {
        result.nError = wave.m_nError != WAVE_OK ? wave.m_nError : WAVE_ERR_WRITE;
        result.nErrno = wave.m_nErrno;
        return true;
    }
    if (run.nError != WAVE_OK) {
        result.nError = run.nError;
        result.nErrno = run.nErrno;
    }
    return !run.bCancelled;
}

} // namespace

band::SourceSpectrum DocSpectrum(const CTavirelDoc& doc)
{
    band::SourceSpectrum s;
    s.nRate = doc.m_wfSource.nSamplesPerSec;
    s.nChannels = doc.m_wfSource.nChannels;
    s.nCentreHz = s.nChannels == 2 ? doc.m_auxi.dwCenterFreq : 0;
    return s;
}

std::string BandFaultMessage(band::BandFault fault, const band::SourceSpectrum& source, double dLowHz, double dHighHz,
                             int nDecimation)
{
    const double width = dHighHz - dLowHz;
    const uint32_t rate = source.nRate;
    const std::string spectrum = HzText(source.Lowest()) + " to " + HzText(source.Highest()) +
                                 (source.nChannels == 2 && source.nCentreHz == 0 ? " (offsets from its centre)" : "");
    const std::string d = std::to_string(nDecimation);
    switch (fault) {
    case band::BandFault::None: return {};
    case band::BandFault::NoWidth:
        return "the band's upper edge (" + HzText(dHighHz) + ") must lie above its lower edge (" + HzText(dLowHz) + ")";
    case band::BandFault::OutsideSpectrum:
        return "the band " + HzText(dLowHz) + " to " + HzText(dHighHz) + " reaches outside the source's spectrum, " +
               spectrum;
    case band::BandFault::WiderThanSource:
        return "the band is " + HzText(width) + " wide, wider than the source's whole spectrum, " + spectrum;
    case band::BandFault::RateNotWhole: {
        uint32_t below = 0, above = 0;
        band::NearestRates(rate, static_cast<double>(rate) / nDecimation, &below, &above);
        std::string near;
        for (uint32_t r : {above, below}) // the smaller decimation first
            if (r != 0)
                near += (near.empty() ? "" : " and ") + std::to_string(rate / r) + " (" + HzText(r) + ")";
        return "a decimation of " + d + " gives " + HzText(static_cast<double>(rate) / nDecimation) +
               ", not a whole number of Hz" + (near.empty() ? "" : "; the nearest that do are " + near);
    }
    case band::BandFault::RateTooLow:
        return "a decimation of " + d + " gives " + HzText(static_cast<double>(rate) / nDecimation) +
               ", below the lowest output rate, " + HzText(band::kMinOutputRate);
    case band::BandFault::BandTooWide: {
        const int largest = band::LargestDecimation(rate, width);
        return "a decimation of " + d + " gives " + HzText(rate / nDecimation) + ", too little for a band " +
               HzText(width) + " wide (the output rate must be at least 1.25 times the width)" +
               (largest > 0 ? "; the largest decimation that fits is " + std::to_string(largest) : "");
    }
    }
    return {};
}

BandSaveResult SaveBand(CTavirelDoc& doc, const band::BandPlan& plan, int64_t nFromFrame, int64_t nToFrame,
                        const BandSaveOptions& options, const SegmentProgress& progress)
{
    BandSaveResult result;
    if (!doc.m_bLoaded)
        return result;
    result.nError = doc.EnsureSourceOpen();
    CRiffWaveFile& wave = doc.m_wave;
    band::BandJob job;
    job.nFromFrame = nFromFrame;
    job.nOutFrames = band::BandOutputFrames(nFromFrame, nToFrame, plan.nDecimation);
    job.nWorkers = options.nWorkers;
    job.nBlockFrames = options.nBlockFrames;
    const bool inside = nFromFrame >= 0 && nToFrame <= static_cast<int64_t>(wave.m_nDataFrames);
    if (result.nError == WAVE_OK && (!inside || job.nOutFrames <= 0))
        return result; // nothing to write: no file is created
    if (result.nError == WAVE_OK) {
        const WAVEFORMATEX wf = BandFormat(doc, plan, options.bits);
        const AUXIINFO auxi = BandRecord(doc, plan, nFromFrame, nToFrame);
        const std::vector<uint8_t> ext =
            wave.m_fmtExtensible.empty() ? std::vector<uint8_t>{} : wavehdr::ExtensibleFormatBytes(wf, kIqChannelMask);
        const int nOpen = wave.OpenOutput(WavePath(doc.m_strDestPath), &wf, kBandBlockFrames, 0, SaveNameFlags(doc),
                                          &auxi, static_cast<uint64_t>(job.nOutFrames), ext.empty() ? nullptr : &ext);
        result.strPath = nOpen == WAVE_OK ? wave.m_strOutFile : SegmentOutputPath(doc);
        if (nOpen != WAVE_OK) {
            result.nError = nOpen;
            result.nErrno = wave.m_nErrno;
        } else {
            result.bOpened = true;
            result.bCancelled = !WriteBand(doc, plan, job, progress, result);
            FinishSavedOutput(wave, result);
        }
    }
    if (result.nError != WAVE_OK)
        result.strMessage = SaveFailureMessage(result, WavePath(doc.m_strSrcPath), WavePath(doc.m_strDestPath), "band");
    return result;
}
