#include "doc/SegmentSave.h"

#include <QFile>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "doc/TavirelDoc.h"
#include "wave/RiffWaveFile.h"

namespace {

std::string WavePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

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

// Opens the document's source again when its reader has closed it (the reader
// does so at the end of the source and on a read error), as the plot does.
int ReopenSource(CTavirelDoc& doc)
{
    if (doc.m_wave.m_bInOpen)
        return WAVE_OK;
    if (doc.OpenSource(doc.m_strSrcPath))
        return WAVE_OK;
    doc.m_bLoaded = false; // removed or replaced by something that is no wave file
    return doc.m_wave.m_nError != WAVE_OK ? doc.m_wave.m_nError : WAVE_ERR_OPEN;
}

// Whether two paths name the same existing file (through links or other
// spellings of the folder).
bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

int64_t SegmentFrameCount(int nFromSec, int nToSec, uint32_t nTotalFrames, int nLengthSec)
{
    if (nLengthSec <= 0)
        return 0;
    const int64_t nSpanSec = int64_t{nToSec} - int64_t{nFromSec};
    return nSpanSec * int64_t{nTotalFrames} / int64_t{nLengthSec};
}

void AgcLevelBlock(int32_t* pBlock, int nFrames, int nChannels, double& dLevel)
{
    if (nChannels == 2) {
        // One frame is a pair: the first channel drives the level, and both
        // are divided by it.
        for (int i = 0; i < nFrames; ++i) {
            int32_t* p = pBlock + 2 * i;
            TrackLevel(p[0], dLevel);
            if (dLevel > kAgcFloor) {
                const double a = p[0];
                const double b = p[1];
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

std::string SegmentOutputPath(const CTavirelDoc& doc)
{
    return doc.m_wave.NextOutputName(WavePath(doc.m_strDestPath), NAME_NUMBERED);
}

SegmentSaveResult SaveSegment(CTavirelDoc& doc, int nFromSec, int nToSec, bool bUseAgc, double& dAgcLevel,
                              int32_t* pBlock)
{
    SegmentSaveResult result;
    CRiffWaveFile& wave = doc.m_wave;

    if (!doc.m_bLoaded || nFromSec < 0 || nToSec <= nFromSec)
        return result; // nothing to write: no file is created

    // A source that an earlier save (or the plot) read to its end has been
    // closed by the reader; reading it again needs it open.
    const int nReopen = ReopenSource(doc);
    if (nReopen != WAVE_OK) {
        result.nError = nReopen;
        return result;
    }
    int64_t nFrames = SegmentFrameCount(nFromSec, nToSec, doc.m_nTotalFrames, doc.m_nLengthSec);
    const int nChannels = doc.m_wfSource.nChannels;
    if (nFrames <= 0 || nChannels < 1 || nChannels > 2)
        return result; // a source shorter than one second: nothing to write

    // The writer truncates its output before it reads a single block: a
    // numbered name that is the source itself would destroy the source.
    if (SameFile(SegmentOutputPath(doc), WavePath(doc.m_strSrcPath))) {
        result.nError = WAVE_ERR_CREATE;
        return result;
    }

    // The segment's own times go into the record the output carries.
    doc.SetSegmentTimes(nFromSec, nToSec);
    doc.m_timeFrom.GetAsSystemTime(doc.m_auxi.stStartTime);
    doc.m_timeTo.GetAsSystemTime(doc.m_auxi.stStopTime);

    const int nOpen = wave.OpenOutput(WavePath(doc.m_strDestPath), &doc.m_wfSource, kSegmentBlockFrames, 0,
                                      NAME_NUMBERED, &doc.m_auxi);
    if (nOpen != WAVE_OK) {
        result.nError = nOpen;
        wave.SeekSeconds(std::max(doc.m_nViewStart, 0));
        return result;
    }
    result.bOpened = true;
    result.strPath = wave.MakeOutputName(WavePath(doc.m_strDestPath), NAME_NUMBERED, wave.m_nFileSeq);

    wave.SeekSeconds(nFromSec);
    dAgcLevel = 0.0;
    // Whole blocks only: the last one may run up to 2047 frames past To.
    while (nFrames > 0) {
        int nProgress = 0;
        const int nRead = wave.ReadBlock(pBlock, kSegmentBlockFrames, &nProgress);
        if (nRead != kSegmentBlockFrames) {
            // 0: the source ended (its last block, padded, was written);
            // -1: a read error. Either way the reader has closed the source.
            if (nRead == 0)
                result.bSourceEnded = true;
            else
                result.nError = wave.m_nError != WAVE_OK ? wave.m_nError : WAVE_ERR_READ;
            break;
        }
        if (bUseAgc)
            AgcLevelBlock(pBlock, kSegmentBlockFrames, nChannels, dAgcLevel);
        if (wave.WriteBlock(pBlock, kSegmentBlockFrames) != kSegmentBlockFrames) {
            result.nError = wave.m_nError != WAVE_OK ? wave.m_nError : WAVE_ERR_WRITE;
            break;
        }
        ++result.nBlocks;
        nFrames -= kSegmentBlockFrames;
    }

    // The record written at open, with the segment's times, stays as written.
    wave.ClearAuxiRewrite();
    const int nErrBefore = wave.m_nError;
    wave.m_nError = WAVE_OK;
    wave.CloseOutput();
    if (wave.m_nError != WAVE_OK && result.nError == WAVE_OK)
        result.nError = wave.m_nError; // finishing the file failed
    else
        wave.m_nError = nErrBefore;

    // A source read to its end is opened again, so that the window can go on
    // using it; the reader returns to the shown window's start.
    if (ReopenSource(doc) == WAVE_OK)
        wave.SeekSeconds(std::max(doc.m_nViewStart, 0));
    return result;
}
