// The output side of CRiffWaveFile: writes a segment file ("fmt ", optional
// "auxi", "data") from blocks of 32-bit samples, names it from the caller's
// path, splits it after a frame limit and fixes its sizes when it is finished.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <new>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LittleEndian.h"
#include "platform/RiffReader.h"
#include "platform/RiffWriter.h"
#include "wave/RiffWaveFile.h"
#include "wave/SampleFormats.h"
#include "wave/WaveHeader.h"

namespace {

constexpr int64_t kFmtBytes = 18;
constexpr int64_t kAuxiBytes = 72;
constexpr int64_t kChunkHeaderBytes = 8; // id + size
// The RIFF size field counts everything after itself: 4 = "WAVE", 26 = "fmt "
// chunk (8 + 18), 80 = "auxi" chunk (8 + 72) when present, 8 = "data" header,
// then the sample bytes and their pad byte. It must fit 32 bits.
constexpr int64_t kMaxRiffBytes = 0xFFFFFFFFll;
constexpr int64_t RiffOverheadBytes(bool bAuxi)
{
    return 4 + (kChunkHeaderBytes + kFmtBytes) + (bAuxi ? kChunkHeaderBytes + kAuxiBytes : 0) + kChunkHeaderBytes;
}

// "ds64" as written: RIFF size, data size, sample count, an empty table.
constexpr int64_t kDs64Bytes = 28;
// How many numbers a numbered save tries past the last one before it gives up.
constexpr int kMaxNumberTries = 100000;

// Names that carry the running number (a time stamp takes precedence).
bool IsSequenced(int nNameFlags)
{
    return (nNameFlags & NAME_NUMBERED) && !(nNameFlags & NAME_TIMESTAMP);
}

// The suffix an output name ends in.
std::string OutputSuffix(int nNameFlags)
{
    return (nNameFlags & NAME_RAW) ? kRawOutputSuffix : ".wav";
}

// The "fmt " payload written: a source's extensible record (its first 40
// bytes) as it stands but for the derived fields, otherwise the 18-byte plain
// record. cbSize counts what follows it in those 40 bytes, whatever a longer
// source "fmt " said.
std::vector<uint8_t> OutputFormatBytes(const WAVEFORMATEX& wf, const std::vector<uint8_t>& extensible)
{
    std::vector<uint8_t> out(static_cast<size_t>(kFmtBytes));
    FormatToBytes(wf, out.data());
    if (extensible.size() != wavehdr::kFmtExtensibleBytes)
        return out;
    std::vector<uint8_t> ext = extensible;
    std::copy(out.begin() + 8, out.begin() + 14, ext.begin() + 8); // byte rate and block alignment
    StoreU16(wavehdr::kExtensibleCbSize, ext.data() + 16);
    return ext;
}

std::string Right4(const std::string& s)
{
    return s.size() <= 4 ? s : s.substr(s.size() - 4);
}

// Replaces every non-overlapping occurrence of from, scanning left to right.
std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to)
{
    if (from.empty())
        return s;
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = s.find(from, pos)) != std::string::npos; pos = hit + from.size())
        out.append(s, pos, hit - pos).append(to);
    out.append(s, pos, std::string::npos);
    return out;
}

// The running number as names carry it: at least three digits.
std::string SeqDigits(int nSeq)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%3.3d", nSeq);
    return digits;
}

// The output name for a path: the suffixes replace the last four characters of
// the file name wherever they occur in it. The folder part is never altered,
// so a folder called "x.wav" stays as it is; a file name shorter than four
// characters is replaced whole. seqDigits is the running number's text.
std::string BuildOutputName(const std::string& path, int nNameFlags, const std::string& seqDigits, uint32_t dwFreqHz,
                            uint32_t nRate, std::string* pSeqSuffix, const std::string& ext)
{
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = path.substr(0, nameStart);
    std::string name = path.substr(nameStart);
    if (name.empty())
        return path;
    char suffix[64];
    if (nNameFlags & NAME_FREQUENCY) {
        std::snprintf(suffix, sizeof suffix, (nRate == 8000 || nRate == 48000) ? "-D%luHz%s" : "-%luHz%s",
                      static_cast<unsigned long>(dwFreqHz), ext.c_str());
        name = ReplaceAll(name, Right4(name), suffix);
    }
    if (nNameFlags & NAME_TIMESTAMP) {
        name = ReplaceAll(name, Right4(name), CTime::GetCurrentTime().Format("_%Y%m%d_%H%M%S") + ext);
    } else if (nNameFlags & NAME_NUMBERED) {
        const std::string seqSuffix = "_" + seqDigits + ext;
        if (pSeqSuffix)
            *pSeqSuffix = seqSuffix;
        name = ReplaceAll(name, Right4(name), seqSuffix);
    }
    return folder + name;
}

std::string BuildOutputName(const std::string& path, int nNameFlags, int nSeq, uint32_t dwFreqHz, uint32_t nRate,
                            std::string* pSeqSuffix, const std::string& ext)
{
    return BuildOutputName(path, nNameFlags, SeqDigits(nSeq), dwFreqHz, nRate, pSeqSuffix, ext);
}

// The highest running number among the files of path's folder that carry a
// numbered name of path (0 when there is none). A name matches when it is the
// numbered name of path for some number written as the names write it, so
// cut_007.wav counts for cut.wav, and cut_7.wav, cut_007.wav.bak or
// cutter_009.wav do not. Numbers too large to be followed are passed over.
int HighestNumberInFolder(const std::string& path, int nNameFlags, uint32_t dwFreqHz, uint32_t nRate,
                          const std::string& ext)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, std::max<size_t>(slash, 1));
    // '/' never occurs in a file name, so it marks where the number stands.
    const std::string pattern = BuildOutputName(path.substr(slash + 1), nNameFlags, "/", dwFreqHz, nRate, nullptr, ext);
    const size_t first = pattern.find('/');
    if (first == std::string::npos)
        return 0;
    const std::string prefix = pattern.substr(0, first);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int nHighest = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const size_t nDigits = name.find_first_not_of("0123456789", prefix.size()) - prefix.size();
        if (nDigits < 3 || nDigits > 9)
            continue;
        const int nSeq = std::stoi(name.substr(prefix.size(), nDigits));
        if (nSeq > nHighest && ReplaceAll(pattern, "/", SeqDigits(nSeq)) == name)
            nHighest = nSeq;
    }
    ::closedir(dir);
    return nHighest;
}

} // namespace

std::string CRiffWaveFile::MakeOutputName(const std::string& path, int nNameFlags, int nSeq) const
{
    // The frequency and rate are those of the output last opened, as the
    // next split file would use them.
    return BuildOutputName(path, nNameFlags, nSeq, m_bHaveAuxi ? m_auxiOut.dwCenterFreq : 0, m_wfOut.nSamplesPerSec,
                           nullptr, OutputSuffix(nNameFlags));
}

int CRiffWaveFile::FirstFreeNumber(const std::string& path, int nNameFlags) const
{
    const int nLast =
        std::max(m_nFileSeq, HighestNumberInFolder(path, nNameFlags, m_bHaveAuxi ? m_auxiOut.dwCenterFreq : 0,
                                                   m_wfOut.nSamplesPerSec, OutputSuffix(nNameFlags)));
    for (int nSeq = nLast + 1; nSeq > 0 && nSeq < INT_MAX && nSeq - nLast <= kMaxNumberTries; ++nSeq) {
        struct stat st;
        if (::lstat(MakeOutputName(path, nNameFlags, nSeq).c_str(), &st) != 0)
            return nSeq;
    }
    return nLast + 1;
}

std::string CRiffWaveFile::FreeOutputName(const std::string& path, int nNameFlags) const
{
    return MakeOutputName(path, nNameFlags, IsSequenced(nNameFlags) ? FirstFreeNumber(path, nNameFlags) : 0);
}

int CRiffWaveFile::CreateOutputFile(const std::string& path, int nNameFlags)
{
    m_hmmioOut = std::make_unique<CRiffWriter>();
    m_nOutSeq = IsSequenced(nNameFlags) ? FirstFreeNumber(path, nNameFlags) : 0;
    m_strOutFile = BuildOutputName(path, nNameFlags, m_nOutSeq, m_auxiOut.dwCenterFreq, m_wfOut.nSamplesPerSec,
                                   &m_strSeqSuffix, OutputSuffix(nNameFlags));
    const size_t slash = m_strOutFile.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : m_strOutFile.substr(0, std::max<size_t>(slash, 1));
    struct stat st;
    const bool bExists = ::lstat(m_strOutFile.c_str(), &st) == 0;
    if (slash == m_strOutFile.size() - 1 || (bExists && S_ISDIR(st.st_mode))) {
        m_nErrno = EISDIR; // the path names a folder, not a file in it
    } else if (bExists && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        // A device, FIFO or socket is never replaced by a file (nor its folder filled with a temporary).
        m_nErrno = EEXIST;
    } else if (m_hmmioOut->CreateTemp(folder, m_bUnnamedOutput)) {
        m_hmmioOut->SetEarlyWriteback(m_bSyncOutput);
        return WAVE_OK;
    } else {
        m_nErrno = m_hmmioOut->Errno();
    }
    m_hmmioOut.reset();
    return WAVE_ERR_CREATE;
}

bool CRiffWaveFile::PublishOutput()
{
    CRiffWriter& w = *m_hmmioOut;
    if (!IsSequenced(m_nNameFlags))
        return w.Publish(m_strOutFile, m_bReplaceOutput, m_bSyncOutput);
    // A file that anyone made under the chosen name meanwhile is passed over, never replaced.
    for (int nSeq = m_nOutSeq; nSeq > 0 && nSeq < INT_MAX && nSeq - m_nOutSeq <= kMaxNumberTries; ++nSeq) {
        const std::string name = BuildOutputName(m_strOutPath, m_nNameFlags, nSeq, m_auxiOut.dwCenterFreq,
                                                 m_wfOut.nSamplesPerSec, nullptr, OutputSuffix(m_nNameFlags));
        if (w.Publish(name, false, m_bSyncOutput)) {
            m_nFileSeq = nSeq;
            m_strOutFile = name;
            return true;
        }
        if (!w.IsOpen())
            return false;
    }
    return false;
}

bool CRiffWaveFile::WriteOutputHeader(const std::vector<uint8_t>& fmtBytes)
{
    // Each chunk is created with the size it will have; "data" keeps the size
    // its record still holds (that of the chunk before it) until the file is
    // finished. A 64-bit form says 0xFFFFFFFF in every size field it cannot
    // hold and keeps the true sizes in "ds64", zero until the file is finished.
    CRiffWriter& w = *m_hmmioOut;
    const int64_t fmtSize = static_cast<int64_t>(fmtBytes.size());
    m_ckRiff.ckid = m_bRf64Out ? kFccRf64 : kFccRiff;
    m_ckRiff.cksize = m_bRf64Out ? kSizeInDs64 : 0;
    m_ckRiff.fccType = kFccWave;
    bool ok = w.CreateChunk(m_ckRiff, true);
    if (ok && m_bRf64Out) {
        const uint8_t zeros[kDs64Bytes] = {};
        m_ckData.ckid = kFccDs64;
        m_ckData.cksize = kDs64Bytes;
        ok = w.CreateChunk(m_ckData, false);
        m_lDs64Offset = m_ckData.dwDataOffset;
        ok = ok && w.Write(zeros, kDs64Bytes) == kDs64Bytes && w.Ascend(m_ckData);
    }
    m_ckData.ckid = kFccFmt;
    m_ckData.cksize = static_cast<uint32_t>(fmtSize);
    ok = ok && w.CreateChunk(m_ckData, false) && w.Write(fmtBytes.data(), fmtSize) == fmtSize && w.Ascend(m_ckData);
    if (ok && m_bHaveAuxi) {
        uint8_t auxiBytes[kAuxiBytes];
        AuxiToBytes(m_auxiOut, auxiBytes);
        m_ckData.ckid = kFccAuxi;
        m_ckData.cksize = kAuxiBytes;
        ok = w.CreateChunk(m_ckData, false);
        m_lAuxiDataOffset = m_ckData.dwDataOffset;
        ok = ok && w.Write(auxiBytes, kAuxiBytes) == kAuxiBytes && w.Ascend(m_ckData);
    }
    if (ok) {
        m_ckData.ckid = kFccData;
        if (m_bRf64Out)
            m_ckData.cksize = kSizeInDs64;
        ok = w.CreateChunk(m_ckData, false);
    }
    return ok;
}

int CRiffWaveFile::OpenOutput(const std::string& path, const WAVEFORMATEX* pwf, int nFramesPerBlock, int nMaxFrames,
                              int nNameFlags, const AUXIINFO* pAuxi, uint64_t nPlannedFrames,
                              const std::vector<uint8_t>* pFmtChunk)
{
    // Copies first: a split passes this object's own members back in.
    const std::string outPath = path;
    WAVEFORMATEX wf = pwf ? *pwf : WAVEFORMATEX{};
    if ((nNameFlags & NAME_RAW) && wf.wBitsPerSample == 24)
        wf.wBitsPerSample = 32; // raw data files hold 24-bit samples widened, value << 8
    const AUXIINFO auxi = pAuxi ? *pAuxi : AUXIINFO{};
    const std::vector<uint8_t> fmtChunk = pFmtChunk ? *pFmtChunk : std::vector<uint8_t>{};

    CloseOutput(); // an output still open is finished, not abandoned

    m_strOutPath = outPath;
    m_wfOut = wf;
    m_nMaxFrames = std::max(nMaxFrames, 0);
    m_nFramesPerBlockOut = nFramesPerBlock;
    m_nNameFlags = nNameFlags;
    m_bHaveAuxi = pAuxi != nullptr;
    // Without a record the output carries none, and a frequency name says 0 Hz.
    m_auxiOut = auxi;

    ResetOutputState();
    if (!pwf)
        return m_nError = WAVE_ERR_FORMAT;
    if (SetOutputFormat(wf, nFramesPerBlock, fmtChunk, nPlannedFrames) != WAVE_OK)
        return m_nError;
    if (CreateOutputFile(outPath, nNameFlags) != WAVE_OK)
        return m_nError = WAVE_ERR_CREATE;
    if (!(nNameFlags & NAME_RAW) && !WriteOutputHeader(m_fmtOut)) {
        AbandonOutput();
        return m_nError = WAVE_ERR_WRITE;
    }

    try {
        m_pOutBuf.assign(static_cast<size_t>(m_nOutBufBytes), 0);
    } catch (const std::bad_alloc&) {
        AbandonOutput();
        return m_nError = WAVE_ERR_ALLOC;
    }
    m_bOutOpen = true;
    return m_nError;
}

int CRiffWaveFile::SetOutputFormat(const WAVEFORMATEX& wf, int nFramesPerBlock, const std::vector<uint8_t>& fmtChunk,
                                   uint64_t nPlannedFrames)
{
    // Only formats the reader accepts are written; anything else would give a
    // file with an empty or unreadable "data" chunk.
    if (samples::CodecFor(wf.wFormatTag, wf.wBitsPerSample) == samples::Codec::None || wf.nChannels < 1 ||
        wf.nChannels > 2 || wf.nSamplesPerSec < kMinSampleRate || wf.nSamplesPerSec > kMaxSampleRate)
        return m_nError = WAVE_ERR_FORMAT;

    m_nBytesPerFrameOut = wf.wBitsPerSample / 8 * wf.nChannels;
    const int64_t bufBytes = static_cast<int64_t>(m_nBytesPerFrameOut) * nFramesPerBlock;
    if (nFramesPerBlock < 1 || bufBytes > INT32_MAX)
        return m_nError = WAVE_ERR_ALLOC;
    m_nOutBufBytes = static_cast<int>(bufBytes);
    // The derived fields must agree with the samples for other programs to
    // read the file.
    m_wfOut.nBlockAlign = static_cast<uint16_t>(m_nBytesPerFrameOut);
    m_wfOut.nAvgBytesPerSec = wf.nSamplesPerSec * static_cast<uint32_t>(m_nBytesPerFrameOut);
    m_wfOut.cbSize = 0;
    m_fmtOut = OutputFormatBytes(m_wfOut, fmtChunk);
    // A segment the 32-bit sizes cannot count is an RF64 file from the start.
    const uint64_t plannedBytes = nPlannedFrames * static_cast<uint64_t>(m_nBytesPerFrameOut);
    m_bRf64Out = plannedBytes + (plannedBytes & 1) + static_cast<uint64_t>(RiffOverheadBytes(m_bHaveAuxi)) +
                     (m_fmtOut.size() - kFmtBytes) >
                 static_cast<uint64_t>(kMaxRiffBytes);
    return WAVE_OK;
}

void CRiffWaveFile::ResetOutputState()
{
    m_bOutOpen = false;
    m_nError = WAVE_OK;
    m_nErrno = 0;
    m_nOutFill = 0;
    m_nFramesWritten = 0;
    m_lAuxiDataOffset = 0;
    m_lDs64Offset = 0;
    m_bRf64Out = false;
    m_fmtOut.clear();
    m_pOutBuf = {};
    m_ckData = {};
    m_ckRiff = {};
    m_nBytesPerFrameOut = 0;
    m_nOutBufBytes = 0;
}

bool CRiffWaveFile::OutputHasRoom(int64_t nNewBytes) const
{
    if (m_bRf64Out || (m_nNameFlags & NAME_RAW))
        return true;
    const int64_t total = static_cast<int64_t>(m_nFramesWritten) * m_nBytesPerFrameOut + nNewBytes;
    return RiffOverheadBytes(m_bHaveAuxi) + static_cast<int64_t>(m_fmtOut.size()) - kFmtBytes + total + (total & 1) <=
           kMaxRiffBytes;
}

int CRiffWaveFile::FailOutput(int code)
{
    AbandonOutput();
    m_nError = code;
    return -1;
}

int CRiffWaveFile::WriteBlock(const int32_t* pSamples, int nFrames)
{
    if (!m_bOutOpen)
        return FailOutput(WAVE_ERR_OUT_NOT_OPEN);
    if (nFrames == 0) {
        if (m_nOutFill > 0 && m_hmmioOut->Write(m_pOutBuf.data(), m_nOutFill) != m_nOutFill)
            return FailOutput(WAVE_ERR_WRITE);
        m_nOutFill = 0;
        CloseOutput();
        return m_nError == WAVE_OK ? 0 : -1;
    }
    // Refuse a block the size fields could not count: a wrapped size would
    // give a corrupt file.
    if (nFrames < 0 || !pSamples || !OutputHasRoom(static_cast<int64_t>(nFrames) * m_nBytesPerFrameOut) ||
        !EncodeFrames(pSamples, nFrames))
        return FailOutput(WAVE_ERR_WRITE);
    m_nFramesWritten += static_cast<uint64_t>(nFrames);
    if (m_nMaxFrames > 0 && m_nFramesWritten >= static_cast<uint64_t>(m_nMaxFrames))
        return RollOverOutput();
    return nFrames;
}

bool CRiffWaveFile::EncodeFrames(const int32_t* pSamples, int nFrames)
{
    const samples::Codec codec = samples::CodecFor(m_wfOut.wFormatTag, m_wfOut.wBitsPerSample);
    const int channels = m_wfOut.nChannels;
    // A call holds at most the frames per call given to OpenOutput; a larger
    // one is converted and written in pieces of that size.
    const int32_t* p = pSamples;
    for (int left = nFrames; left > 0;) {
        const int n = std::min(left, m_nFramesPerBlockOut);
        const size_t count = static_cast<size_t>(n) * static_cast<size_t>(channels);
        samples::Encode(codec, p, m_pOutBuf.data() + m_nOutFill, count);
        m_nOutFill += n * m_nBytesPerFrameOut;
        if (m_hmmioOut->Write(m_pOutBuf.data(), m_nOutFill) != m_nOutFill)
            return false;
        m_nOutFill = 0;
        p += count;
        left -= n;
    }
    return true;
}

int CRiffWaveFile::RollOverOutput()
{
    CloseOutput();
    if (m_nError != WAVE_OK)
        return -1;
    if (!(m_nNameFlags & NAME_NUMBERED))
        return 0;
    // The next file starts now: its record carries the current local time
    // as both start and stop.
    SYSTEMTIME now;
    if (CTime::GetCurrentTime().GetAsSystemTime(now)) {
        m_auxiOut.stStartTime = now;
        m_auxiOut.stStopTime = now;
    }
    const std::string path = m_strOutPath;
    const WAVEFORMATEX wf = m_wfOut;
    const AUXIINFO auxi = m_auxiOut;
    // A split never writes over an existing file: a numbered one takes
    // the next free number; with a time stamp in the name, the file just
    // finished would be replaced when both fall in one second.
    struct stat st;
    if (!IsSequenced(m_nNameFlags) && ::lstat(NextOutputName(path, m_nNameFlags).c_str(), &st) == 0) {
        m_nError = WAVE_ERR_CREATE;
        return 0;
    }
    // A failure to start the next file leaves its code in m_nError.
    return OpenOutput(path, &wf, m_nFramesPerBlockOut, m_nMaxFrames, m_nNameFlags, &auxi) == WAVE_OK ? -2 : 0;
}

void CRiffWaveFile::ClearAuxiRewrite()
{
    m_lAuxiDataOffset = 0;
}

bool CRiffWaveFile::FinishOutputSizes()
{
    if (m_nNameFlags & NAME_RAW)
        return true; // the data bytes only: no sizes, no record
    // Sizes are written last. A plain form: ascending out of "data" writes its
    // size (the sample bytes, pad byte not counted) and the pad byte, ascending
    // out of the form writes the file size - 8. A 64-bit form keeps
    // 0xFFFFFFFF in both and takes the true sizes into "ds64".
    CRiffWriter& w = *m_hmmioOut;
    const int64_t dataBytes = m_bRf64Out ? w.AscendLarge(m_ckData) : (w.Ascend(m_ckData) ? 0 : -1);
    if (dataBytes < 0)
        return false;
    const int64_t endOffset = w.Tell();
    bool ok = true;
    if (m_lAuxiDataOffset != 0) {
        // Stamp the stop time: the current universal time taken through local
        // time and back, so the fields hold the universal wall-clock time.
        SYSTEMTIME st;
        GetSystemTime(&st);
        CTime(st, -1).GetAsSystemTime(m_auxiOut.stStopTime);
        uint8_t auxiBytes[kAuxiBytes];
        AuxiToBytes(m_auxiOut, auxiBytes);
        ok = w.Seek(m_lAuxiDataOffset, SEEK_SET) >= 0 && w.Write(auxiBytes, kAuxiBytes) == kAuxiBytes;
    }
    if (ok && m_bRf64Out) {
        uint8_t ds64[kDs64Bytes] = {};
        StoreU64(static_cast<uint64_t>(endOffset - 8), ds64);
        StoreU64(static_cast<uint64_t>(dataBytes), ds64 + 8);
        StoreU64(m_nFramesWritten, ds64 + 16);
        ok = w.Seek(m_lDs64Offset, SEEK_SET) >= 0 && w.Write(ds64, kDs64Bytes) == kDs64Bytes;
        return ok && w.Seek(endOffset, SEEK_SET) >= 0;
    }
    return ok && w.Seek(endOffset, SEEK_SET) >= 0 && w.Ascend(m_ckRiff);
}

void CRiffWaveFile::CloseOutput()
{
    if (m_hmmioOut && m_bOutOpen) {
        CRiffWriter& w = *m_hmmioOut;
        const bool named = (m_nOutFill == 0 || w.Write(m_pOutBuf.data(), m_nOutFill) == m_nOutFill) &&
                           FinishOutputSizes() && PublishOutput();
        const bool ok = named && w.Close();
        if (named && !ok)
            ::unlink(m_strOutFile.c_str()); // a close that reports lost writes
        if (!ok) {
            // Nothing of a file that could not be finished and named stays behind.
            m_nErrno = w.Errno() != 0 ? w.Errno() : EEXIST;
            // A name that another file holds could not be created; anything else failed writing.
            m_nError = m_nErrno == EEXIST ? WAVE_ERR_CREATE : WAVE_ERR_WRITE;
        }
    }
    AbandonOutput();
}

void CRiffWaveFile::AbandonOutput()
{
    if (m_hmmioOut) {
        if (m_hmmioOut->Errno() != 0 && m_nErrno == 0)
            m_nErrno = m_hmmioOut->Errno();
        m_hmmioOut->Discard();
        m_hmmioOut.reset();
    }
    m_lAuxiDataOffset = 0;
    m_pOutBuf = {};
    m_nOutFill = 0;
    m_bOutOpen = false;
}

int64_t CRiffWaveFile::CopyFrames(int64_t nFrames)
{
    if (!m_bOutOpen) {
        AbandonOutput();
        m_nError = WAVE_ERR_OUT_NOT_OPEN;
        return -1;
    }
    if (!m_bInOpen || !m_hmmioIn) {
        m_nError = WAVE_ERR_NOT_OPEN;
        return -1;
    }
    const int64_t bytesPerFrame = m_nBytesPerFrameIn;
    nFrames = std::min<int64_t>(nFrames, (m_lDataEnd - m_lDataStart) / std::max<int64_t>(bytesPerFrame, 1));
    if (nFrames < 0 || bytesPerFrame != m_nBytesPerFrameOut || !OutputHasRoom(nFrames * bytesPerFrame)) {
        AbandonOutput();
        m_nError = WAVE_ERR_WRITE;
        return -1;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    const int64_t pos = m_hmmioIn->Tell();
    const int64_t want = std::clamp<int64_t>(m_lDataEnd - pos, 0, nFrames * bytesPerFrame);
    const int64_t got = CopySourceBytes(pos, want);
    if (got != want) {
        // A failed or short read (a source that shrank under us) is a read
        // error; anything else a write error.
        AbandonOutput();
        m_nError = got == -1 ? WAVE_ERR_WRITE : WAVE_ERR_READ;
        return -1;
    }
    m_hmmioIn->Seek(pos + got);
    m_nBufPos = 0;
    m_nBlockIndex =
        static_cast<int>(std::min<int64_t>((pos + got - m_lDataStart) / std::max(m_nBlockBytes, 1), INT_MAX));
    m_nFramesWritten += static_cast<uint64_t>(got / bytesPerFrame);
    return got / bytesPerFrame;
}

int64_t CRiffWaveFile::CopySourceBytes(int64_t lOffset, int64_t nBytes)
{
    CByteSource* src = m_hmmioIn->Source();
    if (src->Fd() >= 0)
        return m_hmmioOut->CopyFrom(src->Fd(), lOffset, nBytes);
    // A source without a file (memory) goes through the output buffer.
    int64_t done = 0;
    while (done < nBytes) {
        const int64_t n = std::min<int64_t>(nBytes - done, m_nOutBufBytes);
        errno = 0;
        const int64_t r = m_hmmioIn->Seek(lOffset + done) ? m_hmmioIn->Read(m_pOutBuf.data(), n) : -1;
        if (r < 0) {
            m_nErrno = errno != 0 ? errno : EIO;
            return CRiffWriter::kReadFailed;
        }
        if (r != n)
            return done;
        if (m_hmmioOut->Write(m_pOutBuf.data(), n) != n)
            return -1;
        done += n;
    }
    return done;
}

int CRiffWaveFile::WriteSilence(int64_t nFrames)
{
    if (!m_bOutOpen || nFrames < 0 || !OutputHasRoom(nFrames * m_nBytesPerFrameOut)) {
        const int code = m_bOutOpen ? WAVE_ERR_WRITE : WAVE_ERR_OUT_NOT_OPEN;
        AbandonOutput();
        return m_nError = code;
    }
    // 8-bit samples are unsigned around 128.
    std::fill(m_pOutBuf.begin(), m_pOutBuf.end(), m_wfOut.wBitsPerSample == 8 ? 0x80 : 0x00);
    for (int64_t left = nFrames * m_nBytesPerFrameOut; left > 0;) {
        const int64_t n = std::min<int64_t>(left, m_nOutBufBytes);
        if (m_hmmioOut->Write(m_pOutBuf.data(), n) != n) {
            AbandonOutput();
            return m_nError = WAVE_ERR_WRITE;
        }
        left -= n;
    }
    m_nFramesWritten += static_cast<uint64_t>(nFrames);
    return WAVE_OK;
}
