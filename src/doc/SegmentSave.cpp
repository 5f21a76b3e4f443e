#include "doc/SegmentSave.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "band/BandExtract.h"
#include "doc/BandSave.h"
#include "doc/TavirelDoc.h"
#include "sigmf/SigmfWrite.h"
#include "wave/RiffWaveFile.h"

namespace {

// Follows the driving magnitude: instant attack, slow decay.
inline void TrackLevel(double dDrive, double& dLevel)
{
    const double m = std::fabs(dDrive);
    if (m > dLevel)
        dLevel = m;
    else
        dLevel = kAgcDecay * dLevel + kAgcNewWeight * m;
}

// A value divided by the level, brought to the output scale and clamped at
// full scale of the 32-bit representation; truncated toward zero.
inline int32_t Levelled(double dValue, double dLevel)
{
    const double v = dValue / dLevel * kAgcOutputScale;
    return static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

// The cause of a failed save, in words.
std::string FailureCause(const SegmentSaveResult& r, const std::string& source, const std::string& folder)
{
    const std::string why = r.nErrno != 0 ? std::strerror(r.nErrno) : std::string();
    switch (r.nError) {
    case WAVE_ERR_CREATE:
        if (r.nErrno == EISDIR)
            return "the destination " + r.strPath + " names a folder, not a file";
        return "no file can be created in the folder " + folder + (why.empty() ? "" : " (" + why + ")");
    case WAVE_ERR_WRITE: return "writing " + r.strPath + " failed" + (why.empty() ? "" : " (" + why + ")");
    case WAVE_ERR_READ:
        if (r.nErrno == 0)
            return "the source " + source + " became shorter while it was read (was it changed or removed?)";
        return "reading the source " + source + " failed (" + why + ")";
    case WAVE_ERR_OPEN:
    case WAVE_ERR_NOT_WAVE:
    case WAVE_ERR_CHUNK:
    case WAVE_ERR_EMPTY:
    case WAVE_ERR_FORMAT: return "the source " + source + " can no longer be opened (" + WaveErrorText(r.nError) + ")";
    default: return WaveErrorText(r.nError) + (why.empty() ? std::string() : " (" + why + ")");
    }
}

} // namespace

void FinishSavedOutput(CRiffWaveFile& wave, SegmentSaveResult& result)
{
    if (result.nError != WAVE_OK || result.bCancelled) {
        wave.AbandonOutput();
        return;
    }
    wave.ClearAuxiRewrite();
    wave.m_nError = WAVE_OK;
    wave.CloseOutput();
    result.strPath = wave.m_strOutFile; // the next free number when the chosen one was taken meanwhile
    if (wave.m_nError != WAVE_OK) {
        result.nError = wave.m_nError;
        result.nErrno = wave.m_nErrno;
    }
}

std::string SaveFailureMessage(const SegmentSaveResult& r, const std::string& source, const std::string& dest,
                               const char* what)
{
    const size_t slash = dest.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : dest.substr(0, slash);
    return std::string("The ") + what + " was not saved: " + FailureCause(r, source, folder) + ". No " + what +
           " file was left behind; the source was not written to.";
}

int64_t FrameOfSecond(const CTavirelDoc& doc, int nSec)
{
    return doc.m_timeBase.FrameOfWholeSeconds(nSec);
}

void AgcLevelBlock(int32_t* pBlock, int nFrames, int nChannels, double& dLevel)
{
    if (nChannels == 2) {
        // One frame is a pair: the larger magnitude drives the level, and both
        // are divided by it, so neither can pass the output scale.
        for (int i = 0; i < nFrames; ++i) {
            int32_t* p = pBlock + 2 * i;
            const double a = p[0];
            const double b = p[1];
            TrackLevel(std::max(std::fabs(a), std::fabs(b)), dLevel);
            if (dLevel > kAgcFloor) {
                p[0] = Levelled(a, dLevel);
                p[1] = Levelled(b, dLevel);
            }
        }
    } else if (nChannels == 1) {
        // Every sample drives the level and is levelled by it.
        for (int i = 0; i < nFrames; ++i) {
            TrackLevel(pBlock[i], dLevel);
            if (dLevel > kAgcFloor)
                pBlock[i] = Levelled(pBlock[i], dLevel);
        }
    }
}

int SaveNameFlags(const CTavirelDoc& doc)
{
    return NAME_NUMBERED | (doc.m_bSaveAsSigmf ? NAME_RAW : 0);
}

std::string SegmentOutputPath(const CTavirelDoc& doc)
{
    return doc.m_wave.FreeOutputName(WavePath(doc.m_strDestPath), SaveNameFlags(doc));
}

AUXIINFO SpanRecord(const CTavirelDoc& doc, int64_t nFromFrame, int64_t nToFrame)
{
    AUXIINFO auxi = doc.m_auxi;
    if (doc.m_stStart.wYear > 2000) {
        doc.RecordingTimeOfFrame(nFromFrame, auxi.stStartTime);
        doc.RecordingTimeOfFrame(nToFrame, auxi.stStopTime);
    }
    return auxi;
}

namespace {

// The segment's own times into the record the output carries: the recording
// start plus the marks, added in universal time (no daylight-saving shift),
// to the millisecond.
void SetSegmentRecordTimes(CTavirelDoc& doc, int64_t nFromFrame, int64_t nToFrame)
{
    doc.SetSegmentTimes(nFromFrame, nToFrame);
    if (doc.m_stStart.wYear > 2000) {
        doc.RecordingTimeOfFrame(nFromFrame, doc.m_auxi.stStartTime);
        doc.RecordingTimeOfFrame(nToFrame, doc.m_auxi.stStopTime);
    } else {
        doc.m_timeFrom.GetAsSystemTime(doc.m_auxi.stStartTime);
        doc.m_timeTo.GetAsSystemTime(doc.m_auxi.stStopTime);
        doc.m_auxi.stStartTime.wMilliseconds =
            static_cast<uint16_t>(doc.m_timeBase.MillisecondOfFrame(nFromFrame) % 1000);
        doc.m_auxi.stStopTime.wMilliseconds = static_cast<uint16_t>(doc.m_timeBase.MillisecondOfFrame(nToFrame) % 1000);
    }
}

bool Report(const SegmentProgress& progress, int64_t nDoneFrames, int64_t nPlannedFrames)
{
    return !progress || progress(static_cast<double>(nDoneFrames) / static_cast<double>(nPlannedFrames));
}

// The decoding save: whole blocks read, levelled when bLevel, and written in
// the output's codec. Returns false when the progress function cancelled.
bool SaveLevelledBlocks(CTavirelDoc& doc, int64_t nPlannedFrames, bool bLevel, double& dAgcLevel, int32_t* pBlock,
                        const SegmentProgress& progress, SegmentSaveResult& result)
{
    CRiffWaveFile& wave = doc.m_wave;
    dAgcLevel = 0.0;
    for (int64_t nDone = 0; nDone < nPlannedFrames; nDone += kWaveBlockFrames) {
        int nProgress = 0;
        const int nRead = wave.ReadBlock(pBlock, kWaveBlockFrames, &nProgress);
        if (nRead != kWaveBlockFrames) {
            // 0: the source ended (its last block, padded, was written);
            // -1: a read error. Either way the reader has closed the source.
            if (nRead == 0)
                result.bSourceEnded = true;
            else
                result.nError = wave.m_nError != WAVE_OK ? wave.m_nError : WAVE_ERR_READ;
            return true;
        }
        if (bLevel)
            AgcLevelBlock(pBlock, kWaveBlockFrames, doc.m_wfSource.nChannels, dAgcLevel);
        if (wave.WriteBlock(pBlock, kWaveBlockFrames) != kWaveBlockFrames) {
            result.nError = wave.m_nError != WAVE_OK ? wave.m_nError : WAVE_ERR_WRITE;
            return true;
        }
        ++result.nBlocks;
        if (result.nBlocks % kSegmentProgressBlocks == 0 && !Report(progress, nDone + kWaveBlockFrames, nPlannedFrames))
            return false;
    }
    return true;
}

// The lossless save: the source's bytes copied as they stand, pieces of
// kSegmentProgressBlocks blocks; a last block that the source's end cuts
// short is padded with silence. Returns false when the progress function
// cancelled.
bool SaveCopiedBytes(CRiffWaveFile& wave, int64_t nPlannedFrames, const SegmentProgress& progress,
                     SegmentSaveResult& result)
{
    constexpr int64_t kPieceFrames = int64_t{kSegmentProgressBlocks} * kWaveBlockFrames;
    for (int64_t nDone = 0; nDone < nPlannedFrames;) {
        const int64_t nWant = std::min(kPieceFrames, nPlannedFrames - nDone);
        const int64_t nGot = wave.CopyFrames(nWant);
        if (nGot < 0) {
            result.nError = wave.m_nError != WAVE_OK ? wave.m_nError : WAVE_ERR_WRITE;
            return true;
        }
        const int64_t nPad = (kWaveBlockFrames - nGot % kWaveBlockFrames) % kWaveBlockFrames;
        if (nPad > 0 && wave.WriteSilence(nPad) != WAVE_OK) {
            result.nError = wave.m_nError;
            return true;
        }
        nDone += nGot + nPad;
        result.nBlocks = nDone / kWaveBlockFrames;
        if (nGot < nWant) {
            result.bSourceEnded = nDone < nPlannedFrames;
            return true;
        }
        if (!Report(progress, nDone, nPlannedFrames))
            return false;
    }
    return true;
}

// Opens the output and runs the copy; FinishSavedOutput completes or drops it.
void WriteSegment(CTavirelDoc& doc, int64_t nFromFrame, int64_t nPlanned, bool bUseAgc, double& dAgcLevel,
                  int32_t* pBlock, const SegmentProgress& progress, SegmentSaveResult& result)
{
    CRiffWaveFile& wave = doc.m_wave;
    const std::vector<uint8_t>* pFmt = wave.m_fmtExtensible.empty() ? nullptr : &wave.m_fmtExtensible;
    const int nOpen = wave.OpenOutput(WavePath(doc.m_strDestPath), &doc.m_wfSource, kWaveBlockFrames, 0,
                                      SaveNameFlags(doc), &doc.m_auxi, static_cast<uint64_t>(nPlanned), pFmt);
    result.strPath = nOpen == WAVE_OK ? wave.m_strOutFile : SegmentOutputPath(doc);
    if (nOpen != WAVE_OK) {
        result.nError = nOpen;
        result.nErrno = wave.m_nErrno;
        return;
    }
    result.bOpened = true;
    wave.SeekFrame(nFromFrame);
    // Bytes are copied only when the output stores a sample as the source does
    // (a signed 8-bit source becomes unsigned 8-bit wave, value for value).
    const bool bLevel = bUseAgc || wave.m_bWrap;
    const bool bSameCodec = wave.SampleCodec() == samples::CodecFor(wave.m_wfOut.wFormatTag, wave.m_wfOut.wBitsPerSample);
    const bool bGoOn = bLevel || !bSameCodec
                           ? SaveLevelledBlocks(doc, nPlanned, bLevel, dAgcLevel, pBlock, progress, result)
                           : SaveCopiedBytes(wave, nPlanned, progress, result);
    result.bCancelled = !bGoOn;
    if (result.nError != WAVE_OK)
        result.nErrno = wave.m_nErrno;
    FinishSavedOutput(wave, result);
}

} // namespace

SegmentSaveResult SaveSegment(CTavirelDoc& doc, int64_t nFromFrame, int64_t nToFrame, bool bUseAgc, double& dAgcLevel,
                              int32_t* pBlock, const SegmentProgress& progress)
{
    SegmentSaveResult result;
    CRiffWaveFile& wave = doc.m_wave;

    if (!doc.m_bLoaded || nFromFrame < 0 || nToFrame <= nFromFrame || nToFrame > doc.MarkLimitFrame())
        return result; // nothing to write (or marks outside the source): no file is created

    // A source that an earlier save (or the plot) read to its end has been
    // closed by the reader; reading it again needs it open.
    result.nError = doc.EnsureSourceOpen();
    const int64_t nFrames = nToFrame - nFromFrame;
    const int nChannels = doc.m_wfSource.nChannels;
    if (result.nError == WAVE_OK && (nChannels < 1 || nChannels > 2))
        return result; // nothing to write
    if (result.nError == WAVE_OK) {
        // Whole blocks only: the last one may run up to 2047 frames past To.
        const int64_t nPlanned = (nFrames + kWaveBlockFrames - 1) / kWaveBlockFrames * kWaveBlockFrames;
        SetSegmentRecordTimes(doc, nFromFrame, nToFrame);
        WriteSegment(doc, nFromFrame, nPlanned, bUseAgc, dAgcLevel, pBlock, progress, result);
    }
    if (result.nError != WAVE_OK)
        result.strMessage = SaveFailureMessage(result, WavePath(doc.m_strSrcPath), WavePath(doc.m_strDestPath));

    // A source read to its end or failed is opened again, so that the window
    // can go on using it; the reader returns to the shown window's start.
    if (doc.EnsureSourceOpen() == WAVE_OK)
        wave.SeekFrame(doc.ViewStartFrame());
    return result;
}

namespace {

// One segment of a list: its band extracted when it has one that can be,
// the full band otherwise (*pWhy then says why, when it had a band).
SegmentSaveResult SaveListSegment(CTavirelDoc& doc, const CSegment& s, bool bUseAgc, double& dAgcLevel, int32_t* pBlock,
                                  const SegmentProgress& progress, int64_t* pFrames, bool* pExtracted,
                                  std::string* pWhy)
{
    *pExtracted = false;
    if (s.band) {
        const band::SourceSpectrum spectrum = DocSpectrum(doc);
        band::BandPlan plan;
        const band::BandFault f = band::DesignBand(spectrum, s.band->dLowHz, s.band->dHighHz, 0, &plan);
        if (f == band::BandFault::None && band::BandOutputFrames(s.nFirstFrame, s.nEndFrame, plan.nDecimation) > 0) {
            const BandSaveResult b = SaveBand(doc, plan, s.nFirstFrame, s.nEndFrame, BandSaveOptions(), progress);
            *pFrames = b.nFrames;
            *pExtracted = true;
            return b;
        }
        *pWhy = f != band::BandFault::None ? BandFaultMessage(f, spectrum, s.band->dLowHz, s.band->dHighHz, 0)
                                           : "the span is shorter than one output frame of the band";
    }
    SegmentSaveResult r = SaveSegment(doc, s.nFirstFrame, s.nEndFrame, bUseAgc, dAgcLevel, pBlock, progress);
    *pFrames = r.nBlocks * kWaveBlockFrames;
    return r;
}

} // namespace

namespace {

// A segment as an annotation from frame nStart over nCount frames.
sigmf::MetaAnnotation AnnotationOf(const CSegment& s, int64_t nStart, int64_t nCount)
{
    sigmf::MetaAnnotation a;
    a.nSampleStart = nStart;
    a.nSampleCount = nCount;
    a.strLabel = s.strLabel.toStdString();
    if (s.band.has_value()) {
        a.dLowHz = s.band->dLowHz;
        a.dHighHz = s.band->dHighHz;
    }
    return a;
}

} // namespace

namespace {

// The conforming meta of the data file just written through doc.m_wave (its
// output's format and record), the segment as its one annotation.
std::string WriteRecordingMeta(const CTavirelDoc& doc, const CSegment& s, const std::string& path,
                               int64_t nSegmentFrames)
{
    const WAVEFORMATEX& wf = doc.m_wave.m_wfOut;
    sigmf::MetaDescription d;
    d.pType = sigmf::TypeFor(samples::CodecFor(wf.wFormatTag, wf.wBitsPerSample), wf.nChannels == 2);
    d.dSampleRate = wf.nSamplesPerSec;
    if (wf.nChannels == 2 && doc.m_wave.m_auxiOut.dwCenterFreq != 0)
        d.dCentreHz = doc.m_wave.m_auxiOut.dwCenterFreq;
    if (SYSTEMTIME st{}; doc.RecordingTimeOfFrame(s.nFirstFrame, st))
        d.start = st;
    d.annotations = {AnnotationOf(s, 0, nSegmentFrames)};
    const std::string why = d.pType ? sigmf::WriteNewFile(sigmf::MetaPathBeside(path), sigmf::MetaText(d))
                                    : "its samples have no SigMF type";
    return why.empty() ? why : "No SigMF metadata was written for " + path + ": " + why + ".";
}

} // namespace

std::string WriteSavedMeta(const CTavirelDoc& doc, const CSegment& s, const std::string& path, int64_t nSegmentFrames)
{
    if (doc.m_bSaveAsSigmf)
        return WriteRecordingMeta(doc, s, path, nSegmentFrames);
    if (!doc.m_bWriteSigmf)
        return {};
    return sigmf::WriteMetaBesideWave(path, {AnnotationOf(s, 0, nSegmentFrames)});
}

std::string WriteSegmentListMeta(const CTavirelDoc& doc, const std::string& path)
{
    const std::string source = WavePath(doc.m_strSrcPath);
    sigmf::MetaDescription d;
    std::string why;
    if (sigmf::DescribeWave(source, &d, &why)) {
        for (const CSegment& s : doc.m_segments.Segments())
            d.annotations.push_back(AnnotationOf(s, s.nFirstFrame, s.Frames()));
        why = sigmf::WriteNewFile(path, sigmf::MetaText(d));
    }
    return why.empty() ? why : "The segment list was not exported: " + why + ".";
}

SegmentListResult SaveSegmentList(CTavirelDoc& doc, const std::vector<CSegment>& segments, bool bUseAgc,
                                  double& dAgcLevel, int32_t* pBlock, const SegmentListProgress& progress)
{
    SegmentListResult list;
    const int n = static_cast<int>(segments.size());
    for (int k = 1; k <= n; ++k) {
        // A look at Cancel before each segment too: short ones report nothing of their own.
        if (progress && !progress(k, n, 0.0)) {
            list.bCancelled = true;
            break;
        }
        const CSegment& s = segments[static_cast<size_t>(k - 1)];
        const SegmentProgress one =
            progress ? SegmentProgress([&](double f) { return progress(k, n, f); }) : SegmentProgress();
        ++list.nAttempted;
        int64_t nFrames = 0;
        bool bExtracted = false;
        std::string why;
        SegmentSaveResult r = SaveListSegment(doc, s, bUseAgc, dAgcLevel, pBlock, one, &nFrames, &bExtracted, &why);
        if (!why.empty())
            list.fullBandNotes.push_back(s.strLabel.toStdString() + ": " + why);
        if (r.bCancelled) {
            list.bCancelled = true;
            break;
        }
        if (r.nError != WAVE_OK) {
            list.failure = std::move(r);
            break;
        }
        if (r.bOpened) {
            if (std::string note = WriteSavedMeta(doc, s, r.strPath, bExtracted ? nFrames : s.Frames()); !note.empty())
                list.metaNotes.push_back(std::move(note));
            list.saved.push_back(std::move(r));
            list.rows.push_back(k - 1);
            list.frames.push_back(nFrames);
            list.extracted.push_back(bExtracted ? 1 : 0);
        }
    }
    return list;
}
