// The segment save: copies the source's samples between two marks into a new
// numbered wave file with the source's format and the segment's own start and
// stop time, optionally levelled by a simple automatic gain control. The
// window's "Save Segment" and `tavirel-cli cut` both run this code. The
// segment is written under a temporary name in the destination folder and
// named only when complete and on disk, with the next free number, so no
// existing file is ever replaced and no broken segment is ever left: a crash
// leaves no segment or a whole one, a failure or a cancel none at all.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "doc/SegmentList.h"

#include "wave/RiffWaveFile.h"

class CTavirelDoc;

// Room for one block (kWaveBlockFrames) of up to two channels, values.
constexpr int kSegmentBlockValues = 2 * kWaveBlockFrames;
// Blocks between two progress reports (and between two looks at a cancel).
constexpr int kSegmentProgressBlocks = 256;

// The AGC's level tracking: instant attack, slow decay, and the floor below
// which samples pass unchanged.
constexpr double kAgcDecay = 0.99;
constexpr double kAgcNewWeight = 0.01;
constexpr double kAgcFloor = 0.0001;
// A levelled first channel peaks at half of full scale (-6 dBFS) in the
// block's representation (each sample in the upper bits of 32).
constexpr double kAgcOutputScale = 1073741824.0; // 0.5 * 2^31

// The frame of whole second nSec of doc's source (its one time base).
int64_t FrameOfSecond(const CTavirelDoc& doc, int nSec);

// The segment's own times into doc.m_auxi, the record its file carries: the
// recording's start plus the marks, added in universal time (no
// daylight-saving shift); also doc.m_timeFrom and m_timeTo.
void SetSegmentRecordTimes(CTavirelDoc& doc, int nFromSec, int nToSec);

// The source's record with the times of the frames nFromFrame and nToFrame:
// timed by the source's time base, as every position is, to the millisecond
// they fall in, from the recording's start (its milliseconds kept). A source
// without recording times keeps its record's.
AUXIINFO SpanRecord(const CTavirelDoc& doc, int64_t nFromFrame, int64_t nToFrame);

// Levels nFrames frames of nChannels (1 or 2) interleaved values in place.
// The larger magnitude of a frame's values drives dLevel (carried from call to
// call): a larger magnitude takes over at once, a smaller one pulls it by 1 %
// of the gap. One channel is levelled sample by sample.
// Above the floor every value of the frame is divided by the level and scaled
// to kAgcOutputScale, clamped at full scale; otherwise the frame is unchanged.
void AgcLevelBlock(int32_t* pBlock, int nFrames, int nChannels, double& dLevel);

// The output name flags of doc's saves: numbered, raw data files with
// m_bSaveAsSigmf.
int SaveNameFlags(const CTavirelDoc& doc);

// The path the next save of doc would create now: the destination with the
// next free running number (after the highest in its folder and the last one
// used). It never names an existing file.
std::string SegmentOutputPath(const CTavirelDoc& doc);

// Progress and cancel of a save. Called with the fraction of the segment
// written so far (0 to 1) every kSegmentProgressBlocks blocks; returning false
// cancels the save, which then drops its partly written file and reports
// bCancelled. An empty function means no reports and no cancel.
using SegmentProgress = std::function<bool(double dFraction)>;

struct SegmentSaveResult {
    bool bOpened = false;      // an output file was started
    std::string strPath;       // the file written; after a failure or a cancel the
                               // name it would have had (no such file was left)
    int nError = 0;            // WAVE_OK, or the code that stopped the save
    int nErrno = 0;            // the system's error number behind nError, 0 when none
    int64_t nBlocks = 0;       // whole blocks of kWaveBlockFrames written
    bool bSourceEnded = false; // the source ran out before the segment did
    bool bCancelled = false;   // cancelled through the progress function; nothing was left
    // After a failure: one complete sentence for the user, shown as it is by
    // the window and by tavirel-cli cut. Empty on success and on a cancel.
    std::string strMessage;
};

// Finishes and names a save's output; the record written at open stays as
// written. After a failure or a cancel the output is dropped instead.
void FinishSavedOutput(CRiffWaveFile& wave, SegmentSaveResult& result);

// The sentence for a failed save of a `what` ("segment", "band"): what
// failed, and that nothing was left.
std::string SaveFailureMessage(const SegmentSaveResult& r, const std::string& source, const std::string& dest,
                               const char* what = "segment");

// Saves the segment from frame nFromFrame to nToFrame (of the data) of doc's
// source through doc.m_wave: the segment's times, to the millisecond, into
// doc.m_auxi, a numbered output in the source's format (its own "fmt " when
// extensible; RF64 when the data pass 4 GiB), To - From frames from
// nFromFrame on, in whole blocks (the last may run up to 2047 frames past
// To, and one that the source's end cuts short is padded with silence), and
// the reader back at the shown window's start. Without AGC the data bytes are
// the source's exactly (a byte-range copy); with it dAgcLevel is reset to 0
// first and the samples are levelled block by block. pBlock holds
// kSegmentBlockValues values. A segment of no frames, or one that ends past
// doc.MarkLimitFrame(), opens nothing. A source that an earlier save read to
// its end is opened again first. Every failure (a full disk, an unwritable
// folder, a source that fails, shrinks or vanishes while read) leaves no file
// behind and the source untouched, and says what happened in strMessage. The
// window's Save Segment and Save All Segments and tavirel-cli cut all save
// through here.
SegmentSaveResult SaveSegment(CTavirelDoc& doc, int64_t nFromFrame, int64_t nToFrame, bool bUseAgc, double& dAgcLevel,
                              int32_t* pBlock, const SegmentProgress& progress = {});

// Progress of a list of saves: segment k (from 1) of n and the fraction of
// it written; returning false cancels, as for SegmentProgress.
using SegmentListProgress = std::function<bool(int k, int n, double dFraction)>;

// What a save of several segments came to.
struct SegmentListResult {
    std::vector<SegmentSaveResult> saved; // the files written, in the list's order
    std::vector<int> rows;                // for each of them, its segment's place in the list
    std::vector<int64_t> frames;          // and the frames its file holds
    std::vector<char> extracted;          // and whether it holds the segment's band (extracted as I/Q)
    // Segments with a band that cannot be extracted (too narrow for the span,
    // beyond the source's spectrum...) are cut in full band; why, "Segment 3: ...".
    std::vector<std::string> fullBandNotes;
    // With doc.m_bWriteSigmf: each file whose .sigmf-meta was not written, and why.
    std::vector<std::string> metaNotes;
    int nAttempted = 0;        // segments started (the last may have failed or been cancelled)
    bool bCancelled = false;   // cancelled: the segment in progress was dropped
    SegmentSaveResult failure; // the save that failed (nError != WAVE_OK), if one did
};

// With doc.m_bWriteSigmf, writes the .sigmf-meta beside the saved file at
// path (WriteMetaBesideWave): the wave described in place, and s's label and
// band as one annotation over the file's first nSegmentFrames frames. Empty
// when written or not asked for, else the warning (the file stays).
std::string WriteSavedMeta(const CTavirelDoc& doc, const CSegment& s, const std::string& path, int64_t nSegmentFrames);

// Writes doc's segment list as the .sigmf-meta at path: doc's source
// described in place (DescribeWave), each segment an annotation from its
// first frame, with its band's edges and its label. Never replaces a file.
// Empty when written, else why not, in one sentence.
std::string WriteSegmentListMeta(const CTavirelDoc& doc, const std::string& path);

// Saves each segment as SaveSegment does, in the order given, under the
// destination's next numbers; a segment with a band has its band extracted
// (SaveBand, the default decimation) instead; each one's meta is written
// after it (WriteSavedMeta). Stops at the first failure or a
// cancel. Files already written stay.
SegmentListResult SaveSegmentList(CTavirelDoc& doc, const std::vector<CSegment>& segments, bool bUseAgc,
                                  double& dAgcLevel, int32_t* pBlock, const SegmentListProgress& progress = {});
