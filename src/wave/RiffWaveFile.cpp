// The source side of CRiffWaveFile: opening a wave recording, reading its
// format and metadata, and handing out its samples block by block.
#include "wave/RiffWaveFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/LittleEndian.h"
#include "platform/RiffReader.h"
#include "platform/RiffWriter.h"
#include "wave/RawLayout.h"
#include "wave/SampleFormats.h"
#include "wave/WaveHeader.h"

namespace {

// Open's results: the caller's, or stand-ins for those a careless caller left out.
struct OpenResults {
    WAVEFORMATEX wfScratch;
    uint64_t framesScratch = 0;
    AUXIINFO auxiScratch;
    WAVEFORMATEX& wf;
    uint64_t& frames;
    AUXIINFO& auxi;
    OpenResults(WAVEFORMATEX* pwf, uint64_t* pnFrames, AUXIINFO* pAuxi)
        : wf(pwf ? *pwf : wfScratch), frames(pnFrames ? *pnFrames : framesScratch), auxi(pAuxi ? *pAuxi : auxiScratch)
    {
    }
};

// Largest block buffer Open agrees to allocate.
constexpr int64_t kMaxBlockBytes = 256LL * 1024 * 1024;

// Converter clock written into the record for a 164-byte "auxi" and for "rcvr".
constexpr uint32_t kAuxi164ClockHz = 66666667;
constexpr uint32_t kRcvrClockHz = 80000000;

SYSTEMTIME LoadTime(const uint8_t* p)
{
    SYSTEMTIME st;
    st.wYear = LoadU16(p);
    st.wMonth = LoadU16(p + 2);
    st.wDayOfWeek = LoadU16(p + 4);
    st.wDay = LoadU16(p + 6);
    st.wHour = LoadU16(p + 8);
    st.wMinute = LoadU16(p + 10);
    st.wSecond = LoadU16(p + 12);
    st.wMilliseconds = LoadU16(p + 14);
    return st;
}
void StoreTime(const SYSTEMTIME& st, uint8_t* p)
{
    StoreU16(st.wYear, p);
    StoreU16(st.wMonth, p + 2);
    StoreU16(st.wDayOfWeek, p + 4);
    StoreU16(st.wDay, p + 6);
    StoreU16(st.wHour, p + 8);
    StoreU16(st.wMinute, p + 10);
    StoreU16(st.wSecond, p + 12);
    StoreU16(st.wMilliseconds, p + 14);
}

// A 68-byte "auxi" stores local wall-clock times; the record holds universal
// time. The time is first taken as standard time; where daylight saving is in
// effect the instant is one hour earlier.
SYSTEMTIME LocalToUniversal(const SYSTEMTIME& local)
{
    int64_t t = CTime(local, 0).GetTime();
    if (IsDaylightTime(t))
        t -= 3600;
    SYSTEMTIME st = local;
    if (UtcSystemTime(t, st))
        st.wMilliseconds = local.wMilliseconds;
    return st;
}

bool IsAuxiSize(int64_t size)
{
    return size == 28 || size == 44 || size == 68 || size == 72 || size == 164;
}

// Fills the record from an "auxi" payload of one of the accepted sizes. The
// members a form does not supply stay as Open cleared them.
void AuxiFromPayload(const uint8_t* p, uint32_t size, uint32_t sampleRate, AUXIINFO& a)
{
    switch (size) {
    case 28:
        a.stStartTime = LoadTime(p);
        a.stStopTime = a.stStartTime;
        a.dwCenterFreq = LoadU32(p + 16);
        a.dwClockFreq = LoadU32(p + 20);
        a.dwBandwidth = LoadU32(p + 24);
        break;
    case 44:
        a.stStartTime = LoadTime(p);
        a.stStopTime = LoadTime(p + 16);
        a.dwCenterFreq = LoadU32(p + 32);
        a.dwClockFreq = LoadU32(p + 36);
        a.dwBandwidth = LoadU32(p + 40);
        break;
    case 68: {
        uint8_t full[72] = {};
        std::memcpy(full, p, 68);
        a = AuxiFromBytes(full); // dwSpare7 stays 0
        a.stStartTime = LocalToUniversal(a.stStartTime);
        a.stStopTime = LocalToUniversal(a.stStopTime);
        break;
    }
    case 72: a = AuxiFromBytes(p); break;
    case 164:
        a.stStartTime = LoadTime(p);
        a.stStopTime = LoadTime(p + 16);
        a.dwCenterFreq = LoadU32(p + 32);
        a.dwClockFreq = kAuxi164ClockHz;
        a.dwBandwidth = sampleRate;
        break;
    default: break;
    }
}

uint32_t BandwidthOfRcvrCode(uint32_t code)
{
    switch (code) {
    case 1: return 250000;
    case 2: return 500000;
    case 3: return 1000000;
    case 4: return 2000000;
    default: return 125000;
    }
}

// True when the whole payload of a chunk lies inside the file.
bool PayloadInFile(const CRiffReader& rd, const wavehdr::ChunkAt& ck)
{
    return ck.lOffset + ck.lBytes <= rd.Size();
}

} // namespace

// ---- byte records ----

void AuxiToBytes(const AUXIINFO& a, uint8_t out[72])
{
    StoreTime(a.stStartTime, out);
    StoreTime(a.stStopTime, out + 16);
    const uint32_t v[10] = {a.dwCenterFreq, a.dwClockFreq, a.dwSpare1, a.dwBandwidth, a.dwSpare2,
                            a.dwSpare3,     a.dwSpare4,    a.dwSpare5, a.dwSpare6,    a.dwSpare7};
    for (int i = 0; i < 10; ++i)
        StoreU32(v[i], out + 32 + 4 * i);
}

AUXIINFO AuxiFromBytes(const uint8_t in[72])
{
    AUXIINFO a;
    a.stStartTime = LoadTime(in);
    a.stStopTime = LoadTime(in + 16);
    a.dwCenterFreq = LoadU32(in + 32);
    a.dwClockFreq = LoadU32(in + 36);
    a.dwSpare1 = LoadU32(in + 40);
    a.dwBandwidth = LoadU32(in + 44);
    a.dwSpare2 = LoadU32(in + 48);
    a.dwSpare3 = LoadU32(in + 52);
    a.dwSpare4 = LoadU32(in + 56);
    a.dwSpare5 = LoadU32(in + 60);
    a.dwSpare6 = LoadU32(in + 64);
    a.dwSpare7 = LoadU32(in + 68);
    return a;
}

void FormatToBytes(const WAVEFORMATEX& wf, uint8_t out[18])
{
    StoreU16(wf.wFormatTag, out);
    StoreU16(wf.nChannels, out + 2);
    StoreU32(wf.nSamplesPerSec, out + 4);
    StoreU32(wf.nAvgBytesPerSec, out + 8);
    StoreU16(wf.nBlockAlign, out + 12);
    StoreU16(wf.wBitsPerSample, out + 14);
    StoreU16(wf.cbSize, out + 16);
}

WAVEFORMATEX FormatFromBytes(const uint8_t* in, size_t n)
{
    uint8_t b[18] = {};
    if (in)
        std::memcpy(b, in, std::min<size_t>(n, sizeof b));
    WAVEFORMATEX wf;
    wf.wFormatTag = LoadU16(b);
    wf.nChannels = LoadU16(b + 2);
    wf.nSamplesPerSec = LoadU32(b + 4);
    wf.nAvgBytesPerSec = LoadU32(b + 8);
    wf.nBlockAlign = LoadU16(b + 12);
    wf.wBitsPerSample = LoadU16(b + 14);
    wf.cbSize = LoadU16(b + 16);
    return wf;
}

const char* WaveErrorText(int code)
{
    static const std::string kFormatText =
        "unsupported format (needs integer PCM or 32-bit float, 1 or 2 channels, 8/16/24/32 bits, " +
        std::to_string(kMinSampleRate) + " to " + std::to_string(kMaxSampleRate) + " samples per second)";
    switch (code) {
    case WAVE_OK: return "success";
    case WAVE_ERR_ALLOC: return "out of memory for the sample buffer";
    case WAVE_ERR_OPEN: return "the file cannot be opened for reading";
    case WAVE_ERR_NOT_WAVE: return "not a RIFF WAVE file";
    case WAVE_ERR_CHUNK: return "a required chunk (\"fmt \", \"data\", \"auxi\" or \"rcvr\") is missing or cut short";
    case WAVE_ERR_EMPTY: return "the \"data\" chunk is empty";
    case WAVE_ERR_FORMAT: return kFormatText.c_str();
    case WAVE_ERR_READ: return "reading the source failed";
    case WAVE_ERR_NOT_OPEN: return "no source is open";
    case WAVE_ERR_CREATE: return "the output file cannot be created";
    case WAVE_ERR_WRITE: return "writing the output file failed";
    case WAVE_ERR_OUT_NOT_OPEN: return "no output file is open";
    case WAVE_ERR_DESCRIPTION: return "the recording's description is refused";
    default: return "unknown error";
    }
}

// ---- construction ----

CRiffWaveFile::CRiffWaveFile() = default;

CRiffWaveFile::~CRiffWaveFile()
{
    Close();
    CloseOutput();
}

// ---- source side ----

int CRiffWaveFile::Open(const std::string& path, WAVEFORMATEX* pwf, int nBlockFrames, uint64_t* pnFrames,
                        int nStartFrame, AUXIINFO* pAuxi)
{
    // A path the registered resolver describes is read as the raw samples it names.
    const SourceResolver& resolve = CurrentSourceResolver();
    RawLayout layout;
    std::string why;
    if (resolve && resolve(path, layout, why))
        return OpenRaw(layout, why, pwf, nBlockFrames, pnFrames, nStartFrame, pAuxi);
    return Open(CFileByteSource::Open(path), pwf, nBlockFrames, pnFrames, nStartFrame, pAuxi);
}

int CRiffWaveFile::Open(std::unique_ptr<CByteSource> source, WAVEFORMATEX* pwf, int nBlockFrames, uint64_t* pnFrames,
                        int nStartFrame, AUXIINFO* pAuxi)
{
    OpenResults out(pwf, pnFrames, pAuxi);
    WAVEFORMATEX& wf = out.wf;
    uint64_t& nFramesOut = out.frames;
    AUXIINFO& auxi = out.auxi;

    ResetSource(auxi);
    // The file's own time stands in when it carries no recording time.
    int64_t tCreated = 0;
    if (source)
        source->GetCreationTime(tCreated);

    wavehdr::SourceChunks chunks;
    if (const int rc = ReadHeader(std::move(source), chunks, auxi, nFramesOut); rc != WAVE_OK) {
        Close();
        return m_nError = rc;
    }
    return FinishOpen(chunks.data.lOffset, tCreated, wf, nBlockFrames, nFramesOut, nStartFrame, auxi);
}

int CRiffWaveFile::OpenRaw(const RawLayout& layout, const std::string& why, WAVEFORMATEX* pwf, int nBlockFrames,
                           uint64_t* pnFrames, int nStartFrame, AUXIINFO* pAuxi)
{
    OpenResults out(pwf, pnFrames, pAuxi);
    WAVEFORMATEX& wf = out.wf;
    uint64_t& nFramesOut = out.frames;
    AUXIINFO& auxi = out.auxi;

    ResetSource(auxi);
    nFramesOut = 0;
    if (!why.empty()) {
        m_strError = why;
        return m_nError = WAVE_ERR_DESCRIPTION;
    }
    if (const int rc = ReadLayout(layout, auxi); rc != WAVE_OK) {
        Close();
        return m_nError = rc;
    }
    int64_t tCreated = 0;
    m_hmmioIn->GetCreationTime(tCreated);
    return FinishOpen(layout.lOffset, tCreated, wf, nBlockFrames, nFramesOut, nStartFrame, auxi);
}

int CRiffWaveFile::ReadLayout(const RawLayout& layout, AUXIINFO& auxi)
{
    const int bytes = samples::BytesPerSample(layout.codec);
    if (bytes == 0 || layout.nChannels < 1 || layout.nChannels > 2 || layout.lOffset < 0 || layout.lBytes < 0)
        return WAVE_ERR_FORMAT;
    std::unique_ptr<CFileByteSource> source = CFileByteSource::Open(layout.samplesPath);
    if (!source)
        return WAVE_ERR_OPEN;
    // Bytes the layout claims past the file's end are not read.
    m_lDataBytes = std::min(layout.lBytes, std::max<int64_t>(0, source->Size() - layout.lOffset));
    m_hmmioIn = std::make_unique<CRiffReader>(std::move(source));
    m_codecIn = layout.codec;
    m_wfIn.wFormatTag = layout.codec == samples::Codec::F32 ? wavehdr::kTagFloat : wavehdr::kTagPcm;
    m_wfIn.nChannels = static_cast<uint16_t>(layout.nChannels);
    m_wfIn.nSamplesPerSec = layout.nSampleRate;
    m_wfIn.wBitsPerSample = static_cast<uint16_t>(8 * bytes);
    m_wfIn.nBlockAlign = static_cast<uint16_t>(bytes * layout.nChannels);
    m_wfIn.nAvgBytesPerSec = layout.nSampleRate * m_wfIn.nBlockAlign;
    auxi = layout.auxi;
    if (m_lDataBytes < m_wfIn.nBlockAlign)
        return WAVE_ERR_EMPTY;
    return CheckFormat();
}

int CRiffWaveFile::FinishOpen(int64_t lDataOffset, int64_t tCreated, WAVEFORMATEX& wf, int nBlockFrames,
                              uint64_t& nFramesOut, int nStartFrame, AUXIINFO& auxi)
{
    if (nStartFrame == -1) {
        m_bWrap = true;
        nStartFrame = 0;
    }
    // The caller's record has the plain tag and the 16 bytes as stored.
    wf = m_wfIn;
    wf.cbSize = 0;
    uint64_t nFrames = LocateFrames(lDataOffset, nStartFrame);
    if (nBlockFrames != 0)
        nFrames = PrepareBlocks(nBlockFrames, nFrames);
    nFramesOut = nFrames;
    SetTimeBase(tCreated, auxi);

    if (nBlockFrames == 0)
        Close();
    return m_nError;
}

std::string CRiffWaveFile::ErrorText() const
{
    return m_nError == WAVE_ERR_DESCRIPTION && !m_strError.empty() ? m_strError : WaveErrorText(m_nError);
}

int CRiffWaveFile::ReadHeader(std::unique_ptr<CByteSource> source, wavehdr::SourceChunks& chunks, AUXIINFO& auxi,
                              uint64_t& nFramesOut)
{
    if (!source)
        return WAVE_ERR_OPEN;
    m_hmmioIn = std::make_unique<CRiffReader>(std::move(source));
    CRiffReader& rd = *m_hmmioIn;

    MMCKINFO riff;
    if (!rd.FindRiff(kFccWave, riff))
        return WAVE_ERR_NOT_WAVE;
    int rc = wavehdr::IndexChunks(rd, riff, chunks);
    if (rc == WAVE_OK)
        rc = ReadFormatChunk(chunks.fmt);
    if (rc == WAVE_OK)
        rc = ReadMetadata(chunks, auxi);
    if (rc != WAVE_OK)
        return rc;

    if (!chunks.data.Found())
        return WAVE_ERR_CHUNK;
    m_lDataBytes = chunks.data.lBytes;
    nFramesOut = static_cast<uint64_t>(m_lDataBytes);
    if (m_lDataBytes <= 0)
        return WAVE_ERR_EMPTY;
    return CheckFormat();
}

void CRiffWaveFile::ResetSource(AUXIINFO& auxi)
{
    // The record keeps its other time words, as callers expect.
    Close();
    m_bWrap = false;
    m_nError = WAVE_OK;
    m_nBufPos = 0;
    m_nBufValid = 0;
    m_nBlockIndex = 0;
    // Nothing of an earlier source survives a failed Open.
    m_nBlockCount = 0;
    m_nBlockBytes = 0;
    m_nBytesPerFrameIn = 0;
    m_nLengthSec = 0;
    m_timeBase = CTimeBase();
    m_lDataStart = 0;
    m_nDataFrames = 0;
    m_lDataBytes = 0;
    m_lDataEnd = 0;
    m_bRecordingTime = false;
    m_fmtExtensible.clear();
    m_wfIn = WAVEFORMATEX{};
    m_codecIn = samples::Codec::None;
    m_strError.clear();
    auxi.stStartTime.wYear = 0;
    auxi.stStopTime.wYear = 0;
    auxi.dwCenterFreq = auxi.dwClockFreq = auxi.dwSpare1 = auxi.dwBandwidth = 0;
    auxi.dwSpare2 = auxi.dwSpare3 = auxi.dwSpare4 = auxi.dwSpare5 = auxi.dwSpare6 = auxi.dwSpare7 = 0;
    std::memset(m_rcvrData, 0, sizeof m_rcvrData);
}

int CRiffWaveFile::ReadFormatChunk(const wavehdr::ChunkAt& fmt)
{
    // Only the first 16 bytes (40 for the extensible form) matter, but the
    // whole payload must be there.
    CRiffReader& rd = *m_hmmioIn;
    if (!fmt.Found() || fmt.lBytes < 16 || !PayloadInFile(rd, fmt))
        return WAVE_ERR_CHUNK;
    uint8_t bytes[wavehdr::kFmtExtensibleBytes] = {};
    const int64_t n = std::min<int64_t>(fmt.lBytes, sizeof bytes);
    if (!rd.Seek(fmt.lOffset) || rd.Read(bytes, n) != n)
        return WAVE_ERR_CHUNK;
    m_wfIn = FormatFromBytes(bytes, static_cast<size_t>(n));
    if (m_wfIn.wFormatTag == wavehdr::kTagExtensible) {
        // Kept as it stands for the segments; the plain tag serves everything else.
        m_fmtExtensible.assign(bytes, bytes + n);
        m_wfIn.wFormatTag = wavehdr::PlainFormatTag(bytes, static_cast<size_t>(n));
    }
    return WAVE_OK;
}

int CRiffWaveFile::ReadMetadata(const wavehdr::SourceChunks& chunks, AUXIINFO& auxi)
{
    // "auxi" of a known size wins; otherwise "rcvr" with at least its 12
    // meaningful bytes. Chunks of other sizes are passed over.
    CRiffReader& rd = *m_hmmioIn;
    const wavehdr::ChunkAt& a = chunks.auxi;
    if (a.Found() && IsAuxiSize(a.lBytes)) {
        uint8_t payload[164] = {};
        if (!PayloadInFile(rd, a) || !rd.Seek(a.lOffset) || rd.Read(payload, a.lBytes) != a.lBytes)
            return WAVE_ERR_CHUNK;
        AuxiFromPayload(payload, static_cast<uint32_t>(a.lBytes), m_wfIn.nSamplesPerSec, auxi);
        return WAVE_OK;
    }
    const wavehdr::ChunkAt& r = chunks.rcvr;
    if (!r.Found() || r.lBytes < 12)
        return WAVE_OK;
    const int64_t n = std::min<int64_t>(r.lBytes, sizeof m_rcvrData);
    if (!PayloadInFile(rd, r) || !rd.Seek(r.lOffset) || rd.Read(m_rcvrData, n) != n)
        return WAVE_ERR_CHUNK;
    auxi.dwCenterFreq = LoadU32(m_rcvrData);
    auxi.dwBandwidth = BandwidthOfRcvrCode(LoadU32(m_rcvrData + 4));
    auxi.dwClockFreq = kRcvrClockHz;
    // Start times before 1970 convert as well; their year (2000 or less) then
    // marks the file as having no recording time.
    const int64_t tStart = static_cast<int32_t>(LoadU32(m_rcvrData + 8));
    SYSTEMTIME st;
    if (UtcSystemTime(tStart, st)) {
        auxi.stStartTime = st;
        auxi.stStopTime = st;
    }
    return WAVE_OK;
}

int CRiffWaveFile::CheckFormat() const
{
    const WAVEFORMATEX& in = m_wfIn;
    const bool bitsOk =
        in.wBitsPerSample == 8 || in.wBitsPerSample == 16 || in.wBitsPerSample == 24 || in.wBitsPerSample == 32;
    if ((in.wFormatTag != wavehdr::kTagPcm && in.wFormatTag != wavehdr::kTagFloat) ||
        (in.nChannels != 1 && in.nChannels != 2) || !bitsOk || in.nSamplesPerSec < kMinSampleRate ||
        in.nSamplesPerSec > kMaxSampleRate ||
        samples::CodecFor(in.wFormatTag, in.wBitsPerSample) == samples::Codec::None)
        return WAVE_ERR_FORMAT;
    return WAVE_OK;
}

uint64_t CRiffWaveFile::LocateFrames(int64_t lDataOffset, int nStartFrame)
{
    m_nBytesPerFrameIn = m_wfIn.wBitsPerSample / 8 * m_wfIn.nChannels;
    const int64_t bytesPerFrame = m_nBytesPerFrameIn;
    uint64_t nFrames = static_cast<uint64_t>(m_lDataBytes / bytesPerFrame);
    m_nDataFrames = nFrames;
    // Reads stop after the last whole frame of the data chunk.
    m_lDataEnd = lDataOffset + static_cast<int64_t>(nFrames) * bytesPerFrame;
    m_hmmioIn->Seek(lDataOffset);
    if (nStartFrame > 0 && static_cast<uint64_t>(nStartFrame) < nFrames) {
        m_hmmioIn->Seek(lDataOffset + static_cast<int64_t>(nStartFrame) * bytesPerFrame);
        nFrames -= static_cast<uint64_t>(nStartFrame);
    }
    return nFrames;
}

uint64_t CRiffWaveFile::PrepareBlocks(int nBlockFrames, uint64_t nFrames)
{
    const int64_t blockBytes = static_cast<int64_t>(nBlockFrames) * m_nBytesPerFrameIn;
    if (nBlockFrames < 0 || blockBytes > kMaxBlockBytes) {
        Close();
        m_nError = WAVE_ERR_ALLOC;
        return nFrames;
    }
    // Rounded up to whole blocks; a whole multiple gains one more block.
    const uint64_t k = static_cast<uint64_t>(nBlockFrames);
    nFrames = nFrames - nFrames % k + k;
    m_nBlockCount = static_cast<int>(std::min<uint64_t>(nFrames / k, INT_MAX));
    m_lDataStart = m_hmmioIn->Tell();
    m_nBlockBytes = static_cast<int>(blockBytes);
    try {
        m_pBlockBuf.assign(static_cast<size_t>(blockBytes), 0);
        m_bInOpen = true;
    } catch (const std::bad_alloc&) {
        Close();
        m_nError = WAVE_ERR_ALLOC;
    }
    return nFrames;
}

void CRiffWaveFile::SetTimeBase(int64_t tCreated, AUXIINFO& auxi)
{
    // The frames the data holds over the seconds the recording times span,
    // milliseconds counted (a band may last less than a second, across a
    // second's boundary); without them (or when they span no time) the
    // sample rate. Recording times are universal time: their difference knows
    // no daylight saving.
    const int64_t nFrames = static_cast<int64_t>(m_nDataFrames);
    const CTimeBase nominal = CTimeBase::OfSampleRate(m_wfIn.nSamplesPerSec);
    m_bRecordingTime = auxi.stStartTime.wYear > 2000;
    if (m_bRecordingTime) {
        const int64_t t0 = UtcSeconds(auxi.stStartTime);
        const int64_t dMs =
            (UtcSeconds(auxi.stStopTime) - t0) * 1000 + auxi.stStopTime.wMilliseconds - auxi.stStartTime.wMilliseconds;
        if (dMs > 0 && nFrames > 0 && nFrames <= INT64_MAX / 1000) {
            m_timeBase = CTimeBase(nFrames * 1000, dMs);
            m_nLengthSec = static_cast<int>(std::min<int64_t>(dMs / 1000, INT_MAX));
        } else {
            // Start and stop agree: the length is the samples' own, to the nearest second.
            m_timeBase = nominal;
            m_nLengthSec = static_cast<int>(std::min<int64_t>(std::llround(nominal.SecondsOfFrame(nFrames)), INT_MAX));
            UtcSystemTime(t0 + m_nLengthSec, auxi.stStopTime);
        }
    } else {
        m_timeBase = nominal;
        m_nLengthSec = static_cast<int>(std::min<int64_t>(nominal.SecondOfFrame(nFrames), INT_MAX));
        const CTime t0(tCreated);
        const CTime t1 = t0 + m_nLengthSec;
        t0.GetAsSystemTime(auxi.stStartTime);
        t1.GetAsSystemTime(auxi.stStopTime);
    }
}

int64_t CRiffWaveFile::ReadData(uint8_t* pBuf, int nBytes)
{
    const int64_t want = std::min<int64_t>(nBytes, std::max<int64_t>(0, m_lDataEnd - m_hmmioIn->Tell()));
    errno = 0;
    const int64_t got = m_hmmioIn->Read(pBuf, want);
    if (got < 0)
        m_nErrno = errno != 0 ? errno : EIO;
    // The data end was measured at open: fewer bytes now mean the source
    // became shorter while it was read (truncated, or a share that dropped).
    else if (got < want)
        m_nErrno = 0;
    return got == want ? got : -1;
}

void CRiffWaveFile::FillWrapped(int nFrom)
{
    uint8_t* buf = m_pBlockBuf.data();
    int pos = nFrom;
    // Data shorter than the rest of the block is repeated as often as needed.
    while (pos < m_nBlockBytes && m_hmmioIn->Seek(m_lDataStart)) {
        const int64_t r = ReadData(buf + pos, m_nBlockBytes - pos);
        if (r <= 0)
            break; // nothing to repeat
        pos += static_cast<int>(r);
    }
    if (pos < m_nBlockBytes)
        std::memset(buf + pos, SilenceByte(), static_cast<size_t>(m_nBlockBytes - pos));
}

uint8_t CRiffWaveFile::SilenceByte() const
{
    // Unsigned 8-bit samples are centred on 128.
    return SampleCodec() == samples::Codec::U8 ? 0x80 : 0x00;
}

int CRiffWaveFile::FillBlock(int& progress)
{
    int64_t n = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_nBlockIndex;
        progress = static_cast<int>(static_cast<int64_t>(m_nBlockIndex) * 1000 / std::max(1, m_nBlockCount));
        // A whole block of data where the byte source holds it is read in place.
        m_pBlock = m_lDataEnd - m_hmmioIn->Tell() >= m_nBlockBytes ? m_hmmioIn->View(m_nBlockBytes) : nullptr;
        if (m_pBlock)
            n = m_nBlockBytes;
        else
            n = ReadData(m_pBlockBuf.data(), m_nBlockBytes);
    }
    if (!m_pBlock)
        m_pBlock = m_pBlockBuf.data();
    m_nBufValid = m_nBlockBytes;
    if (n < 0) {
        Close();
        m_nError = WAVE_ERR_READ;
        return -1;
    }
    if (n == 0) {
        if (!m_bWrap) {
            Close();
            progress = 999;
            return 0;
        }
        FillWrapped(0);
        std::lock_guard<std::mutex> guard(m_lock);
        m_nBlockIndex = 1;
    } else if (n < m_nBlockBytes) {
        // Reads end on a frame boundary, so no sample is cut.
        const int p = static_cast<int>(n - n % m_nBytesPerFrameIn);
        if (m_bWrap) {
            FillWrapped(p);
            std::lock_guard<std::mutex> guard(m_lock);
            m_nBlockIndex = 0;
            progress = 0;
        } else {
            m_nBufValid = p;
            std::memset(m_pBlockBuf.data() + p, SilenceByte(), static_cast<size_t>(m_nBlockBytes - p));
        }
    }
    m_nBufPos = 0;
    return 1;
}

int CRiffWaveFile::ReadBlockBytes(int nFrames, const uint8_t** ppBytes, int* pProgress)
{
    int progressScratch = 0;
    int& progress = pProgress ? *pProgress : progressScratch;
    if (!m_bInOpen || !m_hmmioIn) {
        Close();
        m_nError = WAVE_ERR_NOT_OPEN;
        return -1;
    }
    // The request must fit what is left of the block buffer.
    const int64_t needBytes = static_cast<int64_t>(nFrames) * m_nBytesPerFrameIn;
    if (!ppBytes || nFrames <= 0 || needBytes > m_nBlockBytes - m_nBufPos) {
        Close();
        m_nError = WAVE_ERR_READ;
        return -1;
    }

    if (m_nBufPos == 0) {
        if (const int r = FillBlock(progress); r <= 0)
            return r;
    }
    *ppBytes = m_pBlock + m_nBufPos;
    m_nBufPos += static_cast<int>(needBytes);
    if (m_nBufPos >= m_nBufValid)
        m_nBufPos = 0;
    return nFrames;
}

int CRiffWaveFile::ReadBlock(int32_t* pSamples, int nFrames, int* pProgress)
{
    const uint8_t* bytes = nullptr;
    const int r = pSamples ? ReadBlockBytes(nFrames, &bytes, pProgress) : ReadBlockBytes(0, &bytes, pProgress);
    if (r > 0)
        samples::Decode(SampleCodec(), bytes, pSamples, static_cast<size_t>(nFrames) * m_wfIn.nChannels);
    return r;
}

void CRiffWaveFile::SeekSeconds(int nSec)
{
    // Positions before the start mean the start.
    SeekFrame(m_timeBase.FrameOfWholeSeconds(std::max(nSec, 0)));
}

void CRiffWaveFile::SeekFrame(int64_t nFrame)
{
    if (!m_bInOpen || !m_hmmioIn || m_nBytesPerFrameIn <= 0 || m_nBlockBytes <= 0)
        return;
    const int64_t left = std::max<int64_t>(0, m_lDataEnd - m_lDataStart);
    const int64_t offset = std::min(std::max<int64_t>(nFrame, 0), left / m_nBytesPerFrameIn) * m_nBytesPerFrameIn;
    std::lock_guard<std::mutex> guard(m_lock);
    m_hmmioIn->Seek(m_lDataStart + offset);
    m_nBlockIndex = static_cast<int>(std::min<int64_t>(offset / m_nBlockBytes, INT_MAX));
    m_nBufPos = 0;
}

uint32_t CRiffWaveFile::GetPositionSeconds()
{
    if (m_nBytesPerFrameIn <= 0)
        return 0;
    const int64_t nFrame = int64_t{m_nBlockBytes} / m_nBytesPerFrameIn * m_nBlockIndex;
    return static_cast<uint32_t>(std::clamp<int64_t>(m_timeBase.SecondOfFrame(nFrame), 0, UINT32_MAX));
}

void CRiffWaveFile::SetReadAhead(int64_t nBytes)
{
    // A block being read in place keeps its bytes when the source's buffer goes.
    if (m_nBufPos > 0 && m_pBlock && m_pBlock != m_pBlockBuf.data()) {
        std::memcpy(m_pBlockBuf.data(), m_pBlock, static_cast<size_t>(m_nBlockBytes));
        m_pBlock = m_pBlockBuf.data();
    }
    if (m_hmmioIn && m_hmmioIn->Source())
        m_hmmioIn->Source()->SetReadAhead(nBytes);
}

void CRiffWaveFile::Close()
{
    m_hmmioIn.reset();
    std::vector<uint8_t>().swap(m_pBlockBuf);
    m_pBlock = nullptr;
    m_bInOpen = false;
}
