// CTavirelDoc: the shared state of the one window: source and destination
// paths, the source's format, metadata and length, the positions the view and
// the plot agree on, the display settings, the colour map and the wave file.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "doc/PictureSettings.h"
#include "doc/ProfileStore.h"
#include "doc/SegmentList.h"
#include "platform/SystemTime.h"
#include "wave/RiffWaveFile.h"

// COLORREF: red in the low byte, then green, then blue.
inline uint32_t MakeColorRef(int r, int g, int b)
{
    return static_cast<uint32_t>(r & 0xFF) | (static_cast<uint32_t>(g & 0xFF) << 8) |
           (static_cast<uint32_t>(b & 0xFF) << 16);
}

// A path as the file system takes it (the local 8-bit encoding).
std::string WavePath(const QString& path);

class CTavirelDoc {
public:
    explicit CTavirelDoc(CProfileStore* store); // store not owned; may be null (no persistence)
    virtual ~CTavirelDoc();
    CTavirelDoc(const CTavirelDoc&) = delete;
    CTavirelDoc& operator=(const CTavirelDoc&) = delete;

    // Start of a document: loads the settings and builds the colour map.
    bool OnNewDocument();
    // End of a document: saves the settings.
    void OnCloseDocument();
    bool LoadSettings();
    bool SaveSettings();

    // Whether path opens as a supported wave file (header only, temporary reader).
    bool ProbeSource(const QString& path);
    // Opens path in m_wave for blocks of kWaveBlockFrames and records format, metadata and length.
    bool OpenSource(const QString& path);
    // Opens path as the shown source (m_strSrcPath): on success the document is
    // loaded and shows it from second 0 with nothing drawn yet.
    bool LoadSource(const QString& path);
    // Opens the source again, as OpenSource; WAVE_OK or the reader's code. A source
    // removed or replaced by something that is no wave file is no longer loaded.
    int ReopenSource();
    // ReopenSource when the reader has closed the source (it does so at the end of
    // the source and on a read error); WAVE_OK when it is open.
    int EnsureSourceOpen();
    void CloseSource();

    // The first frame the window shows: its start block when placed by
    // blocks, otherwise the frame of its start second.
    int64_t ViewStartFrame() const;
    // Transforms of m_nFftSize frames that hold the source's frames (the last may be partly filled).
    int64_t DataBlocks() const;

    // m_timeFrom/m_timeTo for marks at frames nFromFrame/nToFrame, to the
    // whole second: with a recording time (m_stStart.wYear > 2000) the
    // recording time of the frame (RecordingTimeOfFrame) taken as local time,
    // otherwise CTime(seconds of the frame). Used by the view's label update
    // and by the segment save.
    void SetSegmentTimes(int64_t nFromFrame, int64_t nToFrame);
    // The recording's calendar time (universal, with milliseconds) at frame
    // nFrame: its start plus the frame's offset in the time base. False
    // without a recording time or past what a calendar time holds.
    bool RecordingTimeOfFrame(int64_t nFrame, SYSTEMTIME& out) const;
    // The furthest a mark may stand: the end of the data, or the frame of the
    // length in whole seconds when that lies beyond (a To of the whole length).
    int64_t MarkLimitFrame() const;

    // Sets the frames per transform (a size that is not one of the picture's
    // gives the default) and the display bins that go with it.
    void SetFftSize(int nFrames);
    // Sets the colour map and rebuilds m_palette from it.
    void SetColourMap(int nMap);
    // The level of the bottom colour for the reference level and range, dB.
    double BottomLevelDb() const;

    // The largest zoom exponent: 2^24 blocks per column.
    static constexpr int kMaxZoomStep = 24;
    static constexpr int kMaxZoom = 1 << kMaxZoomStep; // blocks per column
    // The exponent of the largest power of two not above nZoom (0 for 1 and below).
    static int ZoomStep(int nZoom);

    // The reader's code of the last ProbeSource or OpenSource (WAVE_OK after success).
    int m_nSourceError = 0;
    // m_nSourceError in words, with a refused recording's own reason.
    std::string m_strSourceError;
    bool m_bLoaded = false;
    int m_bTwoChannel = 0;
    int m_nViewStart = 0;
    int m_nDrawnStart = -1;
    int m_nViewEnd = 0;
    int m_nLengthSec = 0;
    uint64_t m_nTotalFrames = 0;
    // Frames the source's data holds (m_nTotalFrames rounds them up to whole blocks and one more).
    uint64_t m_nDataFrames = 0;
    // The source's one conversion between seconds and frames (the reader's, taken at open).
    CTimeBase m_timeBase;
    int m_nDisplayBins = 1024;
    // Plot zoom: transforms of m_nFftSize frames per column (1 = one, the unzoomed picture),
    // a power of two; stored as its exponent, the second value of the "INTs" list.
    int m_nZoom = 1;
    // Plot rows: PLOT_ROWS_FIRST_BIN (0) or PLOT_ROWS_STRONGEST_BIN (1) of display/PlotRender.h;
    // stored as the third value of the "INTs" list.
    int m_nRowMode = 0;
    // The most the cache folder of whole-recording pictures and level pyramids
    // holds, in MiB; 0 is the default of kDefaultCacheBudgetMb. Stored as the
    // fourth value of the "INTs" list.
    static constexpr int kDefaultCacheBudgetMb = 2048;
    static constexpr int kMaxCacheBudgetMb = 1 << 24;
    int m_nCacheBudgetMb = 0;
    int64_t CacheBudgetBytes() const;
    // Listening, stored after them in the "INTs" list: the demodulator of an
    // I/Q source (DEMOD_* of demod/Demodulator.h, the fifth value), broadcast
    // FM's 75 us de-emphasis instead of 50 us (the sixth, 1), whether the
    // window stays put while the playing line leaves it (the seventh, 1) and the
    // volume in dB (the eighth, kVolumeMinDb .. kVolumeMaxDb).
    int m_nDemodMode = 0;
    bool m_bDeemphasis75 = false;
    bool m_bFollowPlay = true;
    int m_nVolumeDb = 0;
    static constexpr int kVolumeMinDb = -60;
    static constexpr int kVolumeMaxDb = 20;
    // Whether every saved segment or band gets a .sigmf-meta beside it (the
    // ninth value of the "INTs" list, 1).
    bool m_bWriteSigmf = false;
    // Whether segments and bands are saved as SigMF recordings (a
    // .sigmf-data and its .sigmf-meta) instead of wave files (the tenth
    // value of the "INTs" list, 1).
    bool m_bSaveAsSigmf = false;
    // When >= 0, the plot starts at this block (m_nFftSize frames each, from the data start) instead of m_nViewStart.
    int64_t m_nViewStartBlock = -1;
    // The picture's choices (doc/PictureSettings.h), kept in "Settings\\Picture":
    // frames per transform (a column at zoom K shows K transforms), window,
    // colour map, range of the colour scale and whether the axes are drawn.
    int m_nFftSize = kPictureFftDefaultSize;
    int m_nWindow = WINDOW_HANN;
    int m_nColourMap = COLOURS_CLASSIC;
    int m_nRangeDb = kRangeToFloor;
    bool m_bShowAxes = true;
    int m_nRefLevel = 0;
    QString m_strSrcPath, m_strDestPath;
    std::array<uint32_t, 256> m_palette{};
    SYSTEMTIME m_stStop, m_stStart;
    WAVEFORMATEX m_wfSource;
    // How the source stores a sample (CRiffWaveFile::SampleCodec).
    samples::Codec m_codecSource = samples::Codec::None;
    AUXIINFO m_auxi;
    CRiffWaveFile m_wave;
    CTime m_timeTo, m_timeFrom;
    // The output segment's marks, frames from the data start (From
    // inclusive, To exclusive), and the frequency band of a rectangle
    // selection (none: the full band).
    int64_t m_nFromFrame = 0;
    int64_t m_nToFrame = 0;
    std::optional<SegmentBand> m_selBand;
    // The segments marked in the source, kept per source by the view.
    CSegmentList m_segments;
    CProfileStore* m_pStore;

private:
    // Reads the three lists and the paths; false at the first missing or short one.
    bool LoadSettingsLists();
    // Takes channel count, times, length and time base after a successful open.
    void TakeSourceFacts(const CRiffWaveFile& wave);
    // Takes the stored zoom exponent, row mode and listening choices, the second
    // to seventh of the nInts "INTs" values read.
    void TakeStoredView(const int* pInts, int nInts);
    // Reads and writes the picture's choices; what is missing or unknown gives the default.
    void LoadPictureSettings();
    bool SavePictureSettings();
    void BuildPalette();
};
