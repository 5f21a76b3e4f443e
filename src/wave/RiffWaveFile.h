// CRiffWaveFile: reads a RIFF WAVE source block by block as 32-bit samples and,
// independently, writes a segment file with "fmt ", "auxi" and "data" chunks.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/RiffChunk.h"
#include "platform/SystemTime.h"
#include "wave/SampleFormats.h"
#include "wave/TimeBase.h"

class CRiffReader; // platform/RiffReader.h
class CRiffWriter; // platform/RiffWriter.h
class CByteSource; // platform/RiffReader.h
struct RawLayout;  // wave/RawLayout.h
namespace wavehdr {
struct ChunkAt; // wave/WaveHeader.h
struct SourceChunks;
} // namespace wavehdr

// Result codes of the file-level operations, also left in m_nError.
enum : int {
    WAVE_OK = 0,
    WAVE_ERR_ALLOC = 100,       // allocating a block or output buffer failed
    WAVE_ERR_OPEN = 101,        // opening the source file failed
    WAVE_ERR_NOT_WAVE = 102,    // no RIFF form of type "WAVE"
    WAVE_ERR_CHUNK = 103,       // "fmt ", "data" or a found "auxi"/"rcvr" missing or short
    WAVE_ERR_EMPTY = 104,       // the "data" chunk is empty
    WAVE_ERR_FORMAT = 105,      // unsupported format
    WAVE_ERR_READ = 106,        // reading the source failed
    WAVE_ERR_NOT_OPEN = 107,    // ReadBlock with no source open
    WAVE_ERR_CREATE = 108,      // creating the output file failed
    WAVE_ERR_WRITE = 109,       // creating, writing or finishing an output chunk failed
    WAVE_ERR_OUT_NOT_OPEN = 110, // WriteBlock with no output open
    WAVE_ERR_DESCRIPTION = 111   // a raw source's description was refused (ErrorText() says why)
};

// A plain-words description of a result code.
const char* WaveErrorText(int code);

// The sample rates a source may have and an output is written with, both bounds included.
constexpr uint32_t kMinSampleRate = 1000;
constexpr uint32_t kMaxSampleRate = 100000000;

// Frames per block: the unit in which the program reads, analyses and cuts a source.
constexpr int kWaveBlockFrames = 2048;

// Output naming flags (a bit set).
enum : int {
    NAME_NUMBERED = 1,  // "_%3.3d.wav" with the running file number
    NAME_TIMESTAMP = 2, // "_%Y%m%d_%H%M%S.wav" with the current local time
    NAME_FREQUENCY = 4, // "-%luHz.wav" ("-D%luHz.wav" at 8000 or 48000 samples/s)
    // The output holds the sample bytes only (no RIFF header, no record) and
    // its name ends in kRawOutputSuffix instead of ".wav"; 24-bit samples are
    // written as 32-bit ones, losslessly widened. Numbers count per suffix.
    NAME_RAW = 8
};

// The name suffix of a raw output (see m_bRawOutput).
inline constexpr const char* kRawOutputSuffix = ".sigmf-data";

// The recording metadata record, the 72-byte payload of an "auxi" chunk.
struct AUXIINFO {
    SYSTEMTIME stStartTime;
    SYSTEMTIME stStopTime;
    uint32_t dwCenterFreq = 0; // Hz
    uint32_t dwClockFreq = 0;  // Hz
    uint32_t dwSpare1 = 0;
    uint32_t dwBandwidth = 0; // Hz
    uint32_t dwSpare2 = 0;
    uint32_t dwSpare3 = 0;
    uint32_t dwSpare4 = 0;
    uint32_t dwSpare5 = 0;
    uint32_t dwSpare6 = 0;
    uint32_t dwSpare7 = 0;
};
static_assert(sizeof(AUXIINFO) == 72);

// Little-endian (de)serialisation of the record, byte for byte.
void AuxiToBytes(const AUXIINFO& a, uint8_t out[72]);
AUXIINFO AuxiFromBytes(const uint8_t in[72]);

// The wave format record; 18 bytes in a file (the first 16 in a source's "fmt ").
struct WAVEFORMATEX {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

void FormatToBytes(const WAVEFORMATEX& wf, uint8_t out[18]);
WAVEFORMATEX FormatFromBytes(const uint8_t* in, size_t n); // missing bytes read as 0

class CRiffWaveFile {
public:
    CRiffWaveFile();
    virtual ~CRiffWaveFile();
    CRiffWaveFile(const CRiffWaveFile&) = delete;
    CRiffWaveFile& operator=(const CRiffWaveFile&) = delete;

    // ---- source side ----
    // Opens a source. nBlockFrames 0 reads the header only and closes again.
    // *pnFrames receives the frame count, rounded up to whole blocks when
    // nBlockFrames is not 0. nStartFrame -1 selects wrap mode from frame 0.
    // Plain RIFF, RF64 and BW64 forms; tags 1 and 3, and 0xFFFE with a PCM or
    // float sub-format (*pwf then says 1 or 3). "auxi", "rcvr" and "data" are
    // found wherever they stand among the top-level chunks.
    int Open(const std::string& path, WAVEFORMATEX* pwf, int nBlockFrames, uint64_t* pnFrames, int nStartFrame,
             AUXIINFO* pAuxi);
    // The same over any byte source (memory in tests and fuzzing).
    int Open(std::unique_ptr<CByteSource> source, WAVEFORMATEX* pwf, int nBlockFrames, uint64_t* pnFrames,
             int nStartFrame, AUXIINFO* pAuxi);
    // Fills nFrames x channels values; returns nFrames, 0 at the end (source
    // closed), -1 on error (source closed, m_nError 106 or 107).
    int ReadBlock(int32_t* pSamples, int nFrames, int* pProgress);
    // ReadBlock without the conversion: *ppBytes receives the nFrames frames
    // as the file holds them (SampleCodec()), valid until the next read, seek,
    // SetReadAhead or Close.
    int ReadBlockBytes(int nFrames, const uint8_t** ppBytes, int* pProgress);
    // How the source stores a sample: the wave codec of its format, or a raw layout's own.
    samples::Codec SampleCodec() const
    {
        return m_codecIn != samples::Codec::None ? m_codecIn
                                                 : samples::CodecFor(m_wfIn.wFormatTag, m_wfIn.wBitsPerSample);
    }
    // The last result in words: the refusal text of a raw source's resolver, else WaveErrorText(m_nError).
    std::string ErrorText() const;
    // Positions the next block read at whole second nSec (m_timeBase's frame there).
    void SeekSeconds(int nSec);
    // Positions the next block read at frame nFrame of the data (before the
    // start means the start; at or past the end the next read ends the source).
    void SeekFrame(int64_t nFrame);
    // The whole second the block last read ends in (or the last seek's block starts in).
    uint32_t GetPositionSeconds();
    // The source will be read front to back from here on: reads of about
    // nBytes, the next span fetched ahead (0: scattered reads, the default).
    void SetReadAhead(int64_t nBytes);
    void Close();

    // ---- output side ----
    // Opens an output file. It is written as a temporary file in the
    // destination's folder and gets its name only when CloseOutput has
    // finished it (and, with m_bSyncOutput, written it to the disk), so a
    // crash or a failure never leaves a partial file under the name. With
    // NAME_NUMBERED (and no time stamp) the number continues after the
    // highest one the folder already holds for that name (and after the last
    // one this object used; gaps are not refilled), and moves on to the next
    // free one when another file took it meanwhile: no existing file is ever
    // replaced. Other names replace a file of that name unless
    // m_bReplaceOutput is off. nPlannedFrames: the frames the caller means to
    // write; when they pass the 32-bit sizes the file is RF64 ("ds64" before "fmt "). pFmtChunk: a source's 40-byte
    // extensible "fmt " to write instead of the plain 18-byte record (m_fmtExtensible of the source).
    int OpenOutput(const std::string& path, const WAVEFORMATEX* pwf, int nFramesPerBlock, int nMaxFrames,
                   int nNameFlags, const AUXIINFO* pAuxi, uint64_t nPlannedFrames = 0,
                   const std::vector<uint8_t>* pFmtChunk = nullptr);
    int WriteBlock(const int32_t* pSamples, int nFrames);
    // Ends the output without giving it a name: the temporary file is removed
    // and nothing is left on disk. Every failure while writing does this.
    void AbandonOutput();
    // Appends up to nFrames frames from the source's read position to the
    // output's "data" exactly as the source holds them (a kernel-side copy
    // where possible) and moves the source past them. Source and output
    // must have the same frame size. Returns the frames copied, fewer at the
    // end of the source data; -1 on error (m_nError 106, 107, 109 or 110; the
    // output is abandoned).
    int64_t CopyFrames(int64_t nFrames);
    // Appends nFrames frames of silence. WAVE_OK or the error code.
    int WriteSilence(int64_t nFrames);
    void ClearAuxiRewrite();
    void CloseOutput();
    // The name OpenOutput would create for path and flags if the running
    // number were nSeq; changes nothing. Only the file name part is altered.
    std::string MakeOutputName(const std::string& path, int nNameFlags, int nSeq) const;
    // The name after the last number used, whether it exists or not.
    std::string NextOutputName(const std::string& path, int nNameFlags) const
    {
        return MakeOutputName(path, nNameFlags, m_nFileSeq + 1);
    }
    // The path the next OpenOutput with these arguments would create now:
    // for numbered names the first free number after the highest one in the
    // folder and the last one used.
    std::string FreeOutputName(const std::string& path, int nNameFlags) const;

    // ---- state (read by the document, the plot and the save flow) ----
    // The system's error number behind the last m_nError (0 when none is
    // known, as for a source that became shorter while it was read).
    int m_nErrno = 0;
    // CloseOutput writes the file to the disk (fsync) before naming it. Only
    // a measurement of that cost turns it off.
    bool m_bSyncOutput = true;
    // An output under a name without a running number replaces a file of
    // that name; off, it replaces nothing (CloseOutput then fails with
    // WAVE_ERR_CREATE and leaves the file there as it is).
    bool m_bReplaceOutput = true;
    // The temporary output may be an unnamed file where the file system
    // offers them; off, it is always a named ".tavirel-*.part" file.
    bool m_bUnnamedOutput = true;
    int m_nFileSeq = 0;
    int m_nFramesPerBlockOut = 0;
    bool m_bHaveAuxi = false;
    std::string m_strOutPath;
    int64_t m_lAuxiDataOffset = 0;
    // Seconds to frames and back, from the recording times or the sample rate.
    CTimeBase m_timeBase;
    int64_t m_lDataStart = 0;
    int m_nBlockCount = 0;
    int m_nLengthSec = 0;
    bool m_bWrap = false;
    bool m_bInOpen = false;
    bool m_bOutOpen = false;
    int m_nNameFlags = 0;
    int m_nBytesPerFrameIn = 0;
    int m_nBytesPerFrameOut = 0;
    int m_nBlockIndex = 0;
    int m_nError = 0;
    int m_nBlockBytes = 0;
    int m_nOutBufBytes = 0;
    int m_nBufPos = 0;
    int m_nBufValid = 0;
    int m_nOutFill = 0;
    int m_nMaxFrames = 0;
    uint64_t m_nFramesWritten = 0;
    std::string m_strSeqSuffix;
    std::unique_ptr<CRiffReader> m_hmmioIn;
    std::unique_ptr<CRiffWriter> m_hmmioOut;
    AUXIINFO m_auxiOut;
    WAVEFORMATEX m_wfIn;
    WAVEFORMATEX m_wfOut;
    MMCKINFO m_ckData;
    MMCKINFO m_ckRiff;
    uint8_t m_rcvrData[36] = {};
    std::mutex m_lock;
    std::vector<uint8_t> m_pBlockBuf;
    // The block being read: in m_pBlockBuf, or where the byte source holds it.
    const uint8_t* m_pBlock = nullptr;
    std::vector<uint8_t> m_pOutBuf;
    // The name of the output: the one chosen at open, and after CloseOutput
    // the one it really got (the next free number when the chosen one was
    // taken meanwhile).
    std::string m_strOutFile;
    // The output is RF64: its sizes stand in "ds64" at m_lDs64Offset.
    bool m_bRf64Out = false;
    int64_t m_lDs64Offset = 0;
    // The "fmt " payload written (18 bytes, or a source's 40 extensible ones).
    std::vector<uint8_t> m_fmtOut;
    // Frames the "data" chunk really holds (before rounding to whole blocks).
    uint64_t m_nDataFrames = 0;
    // The source's "fmt " payload (40 bytes) when it is the extensible form,
    // so that a segment can carry it unchanged; empty for the plain tags.
    std::vector<uint8_t> m_fmtExtensible;
    // Bytes of sample data the source really holds: the data chunk, ended
    // where the file ends when its size claims more.
    int64_t m_lDataBytes = 0;
    // The source's record holds its recording's start time; otherwise the
    // times Open gives are the file's own (local time of its last change).
    bool m_bRecordingTime = false;
    // A raw source's codec (None for wave sources, whose codec follows m_wfIn).
    samples::Codec m_codecIn = samples::Codec::None;
    // Why a raw source was refused (with WAVE_ERR_DESCRIPTION).
    std::string m_strError;

private:
    // Reads the next block into the buffer: 1 when it holds samples, 0 at the
    // source's end, -1 on a read error (both close the source).
    int FillBlock(int& progress);

    // Open's steps, in order.
    void ResetSource(AUXIINFO& auxi);
    // Open of a resolved raw source: why (when not empty) refuses it.
    int OpenRaw(const RawLayout& layout, const std::string& why, WAVEFORMATEX* pwf, int nBlockFrames,
                uint64_t* pnFrames, int nStartFrame, AUXIINFO* pAuxi);
    // Opens the layout's samples file and takes format and metadata from the layout; a result code.
    int ReadLayout(const RawLayout& layout, AUXIINFO& auxi);
    // The steps after the header, common to both kinds of source.
    int FinishOpen(int64_t lDataOffset, int64_t tCreated, WAVEFORMATEX& wf, int nBlockFrames, uint64_t& nFramesOut,
                   int nStartFrame, AUXIINFO& auxi);
    // Finds the chunks, reads format and metadata and checks them; leaves the
    // data's byte count in nFramesOut. A result code.
    int ReadHeader(std::unique_ptr<CByteSource> source, wavehdr::SourceChunks& chunks, AUXIINFO& auxi,
                   uint64_t& nFramesOut);
    int ReadFormatChunk(const wavehdr::ChunkAt& fmt);
    int ReadMetadata(const wavehdr::SourceChunks& chunks, AUXIINFO& auxi);
    int CheckFormat() const;
    // Frame size, data frames and data end; the position at the start frame.
    // Returns the frames from there on.
    uint64_t LocateFrames(int64_t lDataOffset, int nStartFrame);
    // Allocates the block buffer; returns nFrames rounded up to whole blocks.
    uint64_t PrepareBlocks(int nBlockFrames, uint64_t nFrames);
    // The time base and the length in whole seconds; a stop time for records that lack one.
    void SetTimeBase(int64_t tCreated, AUXIINFO& auxi);

    // OpenOutput's and CloseOutput's steps.
    void ResetOutputState();
    int CreateOutputFile(const std::string& path, int nNameFlags);
    // Gives the finished temporary output its name (the number chosen at
    // open or the next free one). False on failure (the file is gone).
    bool PublishOutput();
    // The first number whose file does not exist after both the last one
    // used and the highest one the folder holds.
    int FirstFreeNumber(const std::string& path, int nNameFlags) const;
    // The number the output opened with (0 for names without one).
    int m_nOutSeq = 0;
    // Checks the format and sizes the block buffer and the output's form
    // (RF64 when nPlannedFrames pass the 32-bit sizes); a result code.
    int SetOutputFormat(const WAVEFORMATEX& wf, int nFramesPerBlock, const std::vector<uint8_t>& fmtChunk,
                        uint64_t nPlannedFrames);
    bool WriteOutputHeader(const std::vector<uint8_t>& fmtBytes);
    bool FinishOutputSizes();
    // WriteBlock's steps: drops the output with code (returns -1); encodes and
    // writes nFrames (false on a write error); starts the next file once the
    // frame limit is reached (WriteBlock's result).
    int FailOutput(int code);
    bool EncodeFrames(const int32_t* pSamples, int nFrames);
    int RollOverOutput();
    // Whether nNewBytes more sample bytes fit the output's size fields.
    bool OutputHasRoom(int64_t nNewBytes) const;
    // Copies source bytes to the output; the bytes copied, -1 on a write error.
    int64_t CopySourceBytes(int64_t lOffset, int64_t nBytes);

    // File offset just past the data chunk's last whole frame; reads stop there.
    int64_t m_lDataEnd = 0;
    // Wrap mode: fills the block buffer from byte nFrom on with data read from
    // the data start, going round as often as needed.
    void FillWrapped(int nFrom);
    // Reads nBytes of the data chunk at the source position, fewer only at the
    // data end; -1 on a read error or a source that became shorter (m_nErrno).
    int64_t ReadData(uint8_t* pBuf, int nBytes);
    // The byte that pads a short last block: silence in the source's format.
    uint8_t SilenceByte() const;
};
