// The output side of CRiffWaveFile: writes a segment file ("fmt ", optional
// "auxi", "data") from blocks of 32-bit samples, names it from the caller's
// path, splits it after a frame limit and fixes its sizes when it is finished.
#include <algorithm>
#include <cstdio>
#include <new>

#include <sys/stat.h>

#include "platform/RiffWriter.h"
#include "wave/RiffWaveFile.h"
#include "wave/SampleFormats.h"

namespace {

constexpr uint32_t kFccWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr uint32_t kFccFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr uint32_t kFccAuxi = MakeFourCC('a', 'u', 'x', 'i');
constexpr uint32_t kFccData = MakeFourCC('d', 'a', 't', 'a');

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

// The accepted ranges are the reader's, so every file written can be read back.
constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 100000000;

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

// The output name for a path: the suffixes replace the last four characters of
// the file name wherever they occur in it. The folder part is never altered,
// so a folder called "x.wav" stays as it is; a file name shorter than four
// characters is replaced whole.
std::string BuildOutputName(const std::string& path, int nNameFlags, int nSeq, uint32_t dwFreqHz,
                            uint32_t nRate, std::string* pSeqSuffix)
{
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = path.substr(0, nameStart);
    std::string name = path.substr(nameStart);
    if (name.empty())
        return path;
    char suffix[64];
    if (nNameFlags & NAME_FREQUENCY) {
        std::snprintf(suffix, sizeof suffix, (nRate == 8000 || nRate == 48000) ? "-D%luHz.wav" : "-%luHz.wav",
                      static_cast<unsigned long>(dwFreqHz));
        name = ReplaceAll(name, Right4(name), suffix);
    }
    if (nNameFlags & NAME_TIMESTAMP) {
        name = ReplaceAll(name, Right4(name), CTime::GetCurrentTime().Format("_%Y%m%d_%H%M%S.wav"));
    } else if (nNameFlags & NAME_NUMBERED) {
        std::snprintf(suffix, sizeof suffix, "_%3.3d.wav", nSeq);
        if (pSeqSuffix)
            *pSeqSuffix = suffix;
        name = ReplaceAll(name, Right4(name), suffix);
    }
    return folder + name;
}

} // namespace

std::string CRiffWaveFile::MakeOutputName(const std::string& path, int nNameFlags, int nSeq) const
{
    // The frequency and rate are those of the output last opened, as the
    // next split file would use them.
    return BuildOutputName(path, nNameFlags, nSeq, m_bHaveAuxi ? m_auxiOut.dwCenterFreq : 0,
                           m_wfOut.nSamplesPerSec, nullptr);
}

int CRiffWaveFile::OpenOutput(const std::string& path, const WAVEFORMATEX* pwf, int nFramesPerBlock,
                              int nMaxFrames, int nNameFlags, const AUXIINFO* pAuxi)
{
    // Copies first: a split passes this object's own members back in.
    const std::string outPath = path;
    const WAVEFORMATEX wf = pwf ? *pwf : WAVEFORMATEX{};
    const AUXIINFO auxi = pAuxi ? *pAuxi : AUXIINFO{};

    CloseOutput(); // an output still open is finished, not abandoned

    m_strOutPath = outPath;
    m_wfOut = wf;
    m_nMaxFrames = std::max(nMaxFrames, 0);
    m_nFramesPerBlockOut = nFramesPerBlock;
    m_nNameFlags = nNameFlags;
    m_bHaveAuxi = pAuxi != nullptr;
    // Without a record the output carries none, and a frequency name says 0 Hz.
    m_auxiOut = auxi;

    m_bOutOpen = false;
    m_nError = WAVE_OK;
    m_nOutFill = 0;
    m_nFramesWritten = 0;
    m_lAuxiDataOffset = 0;
    m_pOutBuf = {};
    m_ckData = {};
    m_ckRiff = {};
    m_nBytesPerFrameOut = 0;
    m_nOutBufBytes = 0;

    // Only formats the reader accepts are written; anything else would give a
    // file with an empty or unreadable "data" chunk.
    if (!pwf || samples::CodecFor(wf.wFormatTag, wf.wBitsPerSample) == samples::Codec::None ||
        wf.nChannels < 1 || wf.nChannels > 2 || wf.nSamplesPerSec < kMinRate || wf.nSamplesPerSec > kMaxRate)
        return m_nError = WAVE_ERR_FORMAT;

    m_nBytesPerFrameOut = wf.wBitsPerSample / 8 * wf.nChannels;
    const int64_t bufBytes = static_cast<int64_t>(m_nBytesPerFrameOut) * nFramesPerBlock;
    if (nFramesPerBlock < 1 || bufBytes > INT32_MAX)
        return m_nError = WAVE_ERR_ALLOC;
    m_nOutBufBytes = static_cast<int>(bufBytes);
    // The chunk is 18 bytes with no extension, and the derived fields must
    // agree with the samples for other programs to read the file.
    m_wfOut.nBlockAlign = static_cast<uint16_t>(m_nBytesPerFrameOut);
    m_wfOut.nAvgBytesPerSec = wf.nSamplesPerSec * static_cast<uint32_t>(m_nBytesPerFrameOut);
    m_wfOut.cbSize = 0;

    int nSeq = 0;
    if ((nNameFlags & NAME_NUMBERED) && !(nNameFlags & NAME_TIMESTAMP))
        nSeq = ++m_nFileSeq;
    const std::string name = BuildOutputName(outPath, nNameFlags, nSeq, m_auxiOut.dwCenterFreq,
                                             wf.nSamplesPerSec, &m_strSeqSuffix);

    m_hmmioOut = std::make_unique<CRiffWriter>();
    if (!m_hmmioOut->Create(name)) {
        m_hmmioOut.reset();
        return m_nError = WAVE_ERR_CREATE;
    }

    // Header: the form, "fmt ", "auxi" and the start of "data". Each chunk is
    // created with the size it will have; "data" keeps the size its record
    // still holds (that of the chunk before it) until the file is finished.
    uint8_t fmtBytes[kFmtBytes];
    FormatToBytes(m_wfOut, fmtBytes);
    CRiffWriter& w = *m_hmmioOut;
    m_ckRiff.fccType = kFccWave;
    bool ok = w.CreateChunk(m_ckRiff, true);
    m_ckData.ckid = kFccFmt;
    m_ckData.cksize = kFmtBytes;
    ok = ok && w.CreateChunk(m_ckData, false) && w.Write(fmtBytes, kFmtBytes) == kFmtBytes && w.Ascend(m_ckData);
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
        ok = w.CreateChunk(m_ckData, false);
    }
    if (!ok) {
        // The file stays on disk as far as it was written.
        m_hmmioOut->Close();
        m_hmmioOut.reset();
        m_lAuxiDataOffset = 0;
        return m_nError = WAVE_ERR_WRITE;
    }

    try {
        m_pOutBuf.assign(static_cast<size_t>(m_nOutBufBytes), 0);
    } catch (const std::bad_alloc&) {
        CloseOutput();
        return m_nError = WAVE_ERR_ALLOC;
    }
    m_bOutOpen = true;
    return m_nError;
}

int CRiffWaveFile::WriteBlock(const int32_t* pSamples, int nFrames)
{
    if (!m_bOutOpen) {
        CloseOutput();
        m_nError = WAVE_ERR_OUT_NOT_OPEN;
        return -1;
    }
    CRiffWriter& w = *m_hmmioOut;
    if (nFrames == 0) {
        if (m_nOutFill > 0 && w.Write(m_pOutBuf.data(), m_nOutFill) != m_nOutFill) {
            CloseOutput();
            m_nError = WAVE_ERR_WRITE;
            return -1;
        }
        m_nOutFill = 0;
        CloseOutput();
        return m_nError == WAVE_OK ? 0 : -1;
    }
    if (nFrames < 0 || !pSamples) {
        CloseOutput();
        m_nError = WAVE_ERR_WRITE;
        return -1;
    }
    // Refuse a block the size fields could not count, and finish the file as
    // it stands: a wrapped size would leave a corrupt file behind.
    const int64_t dataBytes = static_cast<int64_t>(m_nFramesWritten) * m_nBytesPerFrameOut;
    const int64_t newBytes = static_cast<int64_t>(nFrames) * m_nBytesPerFrameOut;
    const int64_t total = dataBytes + newBytes;
    if (RiffOverheadBytes(m_bHaveAuxi) + total + (total & 1) > kMaxRiffBytes) {
        CloseOutput();
        m_nError = WAVE_ERR_WRITE;
        return -1;
    }

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
        if (w.Write(m_pOutBuf.data(), m_nOutFill) != m_nOutFill) {
            CloseOutput();
            m_nError = WAVE_ERR_WRITE;
            return -1;
        }
        m_nOutFill = 0;
        p += count;
        left -= n;
    }
    m_nFramesWritten += static_cast<uint32_t>(nFrames);

    if (m_nMaxFrames > 0 && m_nFramesWritten >= static_cast<uint32_t>(m_nMaxFrames)) {
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
        // The caller agreed to replace the first file only: a split never
        // writes over an existing file (with a time stamp in the name, that
        // would be the file just finished when both fall in one second).
        struct stat st;
        if (::lstat(NextOutputName(path, m_nNameFlags).c_str(), &st) == 0) {
            m_nError = WAVE_ERR_CREATE;
            return 0;
        }
        // A failure to start the next file leaves its code in m_nError.
        return OpenOutput(path, &wf, m_nFramesPerBlockOut, m_nMaxFrames, m_nNameFlags, &auxi) == WAVE_OK ? -2
                                                                                                           : 0;
    }
    return nFrames;
}

void CRiffWaveFile::ClearAuxiRewrite()
{
    m_lAuxiDataOffset = 0;
}

void CRiffWaveFile::CloseOutput()
{
    if (m_hmmioOut) {
        CRiffWriter& w = *m_hmmioOut;
        bool ok = true;
        if (m_bOutOpen) {
            // Sizes are written last. Ascending out of "data" writes its size
            // (the sample bytes, pad byte not counted) and the pad byte.
            ok = (m_nOutFill == 0 || w.Write(m_pOutBuf.data(), m_nOutFill) == m_nOutFill) && w.Ascend(m_ckData);
            m_nOutFill = 0;
            if (ok) {
                const int64_t endOffset = w.Tell();
                if (m_lAuxiDataOffset != 0) {
                    // Stamp the stop time: the current universal time taken
                    // through local time and back, so the fields hold the
                    // universal wall-clock time.
                    SYSTEMTIME st;
                    GetSystemTime(&st);
                    CTime(st, -1).GetAsSystemTime(m_auxiOut.stStopTime);
                    uint8_t auxiBytes[kAuxiBytes];
                    AuxiToBytes(m_auxiOut, auxiBytes);
                    ok = w.Seek(m_lAuxiDataOffset, SEEK_SET) >= 0 && w.Write(auxiBytes, kAuxiBytes) == kAuxiBytes;
                }
                // The form's size: 4 = "WAVE" + 26 = "fmt " chunk (8 + 18)
                // + 80 = "auxi" chunk (8 + 72) when present + 8 = "data"
                // header + the sample bytes + their pad byte; that is the file
                // size - 8.
                ok = ok && w.Seek(endOffset, SEEK_SET) >= 0 && w.Ascend(m_ckRiff);
            }
        }
        // A file whose flush or ascend failed is closed with its sizes as they are.
        if (!w.Close())
            ok = false;
        m_hmmioOut.reset();
        if (!ok)
            m_nError = WAVE_ERR_WRITE;
    }
    m_pOutBuf = {};
    m_nOutFill = 0;
    m_bOutOpen = false;
}
