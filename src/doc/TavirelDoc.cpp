#include "doc/TavirelDoc.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdio>

#include "demod/Demodulator.h"
#include "doc/ColourMaps.h"
#include "doc/SettingsText.h"

namespace {

const char kBools[] = "Settings\\BOOLs";
const char kInts[] = "Settings\\INTs";
const char kDoubles[] = "Settings\\DOUBLEs";
const char kStrings[] = "Settings\\Strings";
const char kPicture[] = "Settings\\Picture";
const char kDefaultPath[] = "c:\\";

// Values in each stored list.
constexpr int kBoolCount = 8;
constexpr int kIntCount = 10;
constexpr int kDoubleCount = 11;

// A stored path, or the default when it is missing. A path with a NUL
// character would name another file than it shows: it counts as missing.
QString StoredPath(CProfileStore* store, const QString& entry)
{
    const QString path = store->GetProfileString(kStrings, entry, kDefaultPath);
    return path.contains(QChar(u'\0')) ? QString::fromLatin1(kDefaultPath) : path;
}

} // namespace

std::string WavePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

CTavirelDoc::CTavirelDoc(CProfileStore* store) : m_pStore(store) {}

CTavirelDoc::~CTavirelDoc() = default;

bool CTavirelDoc::OnNewDocument()
{
    m_bLoaded = false;
    m_nRefLevel = 0;
    m_nZoom = 1;
    m_nRowMode = 0;
    m_nDemodMode = DEMOD_AM;
    m_bDeemphasis75 = false;
    m_bFollowPlay = true;
    m_bWriteSigmf = false;
    m_bSaveAsSigmf = false;
    m_nVolumeDb = 0;
    m_nWindow = WINDOW_HANN;
    m_nColourMap = COLOURS_CLASSIC;
    m_nRangeDb = kRangeToFloor;
    m_bShowAxes = true;
    SetFftSize(kPictureFftDefaultSize);
    if (!LoadSettings()) {
        m_strSrcPath.clear();
        m_strDestPath.clear();
    }
    BuildPalette();
    return true;
}

void CTavirelDoc::OnCloseDocument()
{
    SaveSettings(); // a failed write is not reported; the next start reads what is there
}

bool CTavirelDoc::LoadSettings()
{
    const bool bComplete = LoadSettingsLists();
    // A level from the store is taken only as one of the spin control's steps:
    // outside them it would invert the scale or move it past the picture.
    m_nRefLevel = NearestRefLevel(m_nRefLevel);
    LoadPictureSettings();
    return bComplete;
}

bool CTavirelDoc::LoadSettingsLists()
{
    if (!m_pStore)
        return false;

    // Each list must yield all of its values; the first short one ends loading.
    // The numbers are read as sscanf reads "%i" (decimal, 0x hexadecimal,
    // leading-0 octal) and "%lg", with out-of-range numbers saturated.
    QByteArray text = m_pStore->GetProfileString(kBools, QStringLiteral("BOOLs")).toUtf8();
    int b[kBoolCount];
    if (text.isEmpty() || ScanIntList(text.constData(), b, kBoolCount) < kBoolCount)
        return false;

    text = m_pStore->GetProfileString(kInts, QStringLiteral("INTs")).toUtf8();
    int n[kIntCount];
    if (text.isEmpty())
        return false;
    const int nInts = ScanIntList(text.constData(), n, kIntCount);
    if (nInts > 0)
        m_nRefLevel = n[0];
    TakeStoredView(n, nInts);
    if (nInts < kIntCount)
        return false;

    text = m_pStore->GetProfileString(kDoubles, QStringLiteral("DOUBLEs")).toUtf8();
    double d[kDoubleCount];
    if (text.isEmpty() || ScanRealList(text.constData(), d, kDoubleCount) < kDoubleCount)
        return false;

    m_strSrcPath = StoredPath(m_pStore, QStringLiteral("SrcPath"));
    m_strDestPath = StoredPath(m_pStore, QStringLiteral("DestPath"));
    return true;
}

bool CTavirelDoc::SaveSettings()
{
    if (!m_pStore)
        return false;

    char text[256];
    std::snprintf(text, sizeof text, "%i:%i:%i:%i:%i:%i:%i:%i:", 0, 0, 0, 0, 0, 0, 0, 0);
    if (!m_pStore->WriteProfileString(kBools, QStringLiteral("BOOLs"), QString::fromLatin1(text)))
        return false;
    std::snprintf(text, sizeof text, "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i:", m_nRefLevel, ZoomStep(m_nZoom), m_nRowMode,
                  m_nCacheBudgetMb, m_nDemodMode, m_bDeemphasis75 ? 1 : 0, m_bFollowPlay ? 0 : 1, m_nVolumeDb,
                  m_bWriteSigmf ? 1 : 0, m_bSaveAsSigmf ? 1 : 0);
    if (!m_pStore->WriteProfileString(kInts, QStringLiteral("INTs"), QString::fromLatin1(text)))
        return false;
    std::snprintf(text, sizeof text, "%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:", 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
                  0.0, 0.0, 0.0, 0.0);
    if (!m_pStore->WriteProfileString(kDoubles, QStringLiteral("DOUBLEs"), QString::fromLatin1(text)))
        return false;
    if (!m_pStore->WriteProfileString(kStrings, QStringLiteral("SrcPath"), m_strSrcPath))
        return false;
    if (!m_pStore->WriteProfileString(kStrings, QStringLiteral("DestPath"), m_strDestPath))
        return false;
    return SavePictureSettings();
}

void CTavirelDoc::LoadPictureSettings()
{
    if (!m_pStore)
        return;
    auto text = [this](const char* entry) {
        return m_pStore->GetProfileString(kPicture, QString::fromLatin1(entry)).toUtf8().toStdString();
    };
    auto number = [&text](const char* entry, int64_t fallback) {
        int value = 0;
        const std::string t = text(entry);
        return !t.empty() && ScanIntList(t.c_str(), &value, 1) == 1 ? value : fallback;
    };
    SetFftSize(static_cast<int>(number("FftSize", kPictureFftDefaultSize)));
    const int window = ChoiceValue(WindowChoices(), text("Window"));
    m_nWindow = window >= 0 ? window : WINDOW_HANN;
    const int map = ChoiceValue(ColourChoices(), text("Colours"));
    m_nColourMap = map >= 0 ? map : COLOURS_CLASSIC;
    const int64_t range = number("Range", kRangeToFloor);
    m_nRangeDb = IsPictureRange(range) ? static_cast<int>(range) : kRangeToFloor;
    m_bShowAxes = number("Axes", 1) != 0;
}

bool CTavirelDoc::SavePictureSettings()
{
    const std::pair<const char*, QString> values[] = {
        {"FftSize", QString::number(m_nFftSize)},
        {"Window", QString::fromLatin1(ChoiceName(WindowChoices(), m_nWindow))},
        {"Colours", QString::fromLatin1(ChoiceName(ColourChoices(), m_nColourMap))},
        {"Range", QString::number(m_nRangeDb)},
        {"Axes", QString::number(m_bShowAxes ? 1 : 0)},
    };
    for (const auto& [entry, value] : values)
        if (!m_pStore->WriteProfileString(kPicture, QString::fromLatin1(entry), value))
            return false;
    return true;
}

void CTavirelDoc::SetFftSize(int nFrames)
{
    m_nFftSize = IsPictureFftSize(nFrames) ? nFrames : kPictureFftDefaultSize;
    m_nDisplayBins = m_bTwoChannel ? m_nFftSize : m_nFftSize / 2;
}

void CTavirelDoc::SetColourMap(int nMap)
{
    m_nColourMap = ChoiceValue(ColourChoices(), ChoiceName(ColourChoices(), nMap));
    BuildPalette();
}

double CTavirelDoc::BottomLevelDb() const
{
    return ::BottomLevelDb(m_nRefLevel, m_nRangeDb);
}

int CTavirelDoc::ZoomStep(int nZoom)
{
    int step = 0;
    while (step < kMaxZoomStep && (int64_t{1} << (step + 1)) <= nZoom)
        ++step;
    return step;
}

void CTavirelDoc::TakeStoredView(const int* pInts, int nInts)
{
    // Anything outside the valid values (a hand-edited store) gives the defaults.
    if (nInts > 1)
        m_nZoom = pInts[1] > 0 && pInts[1] <= kMaxZoomStep ? 1 << pInts[1] : 1;
    if (nInts > 2)
        m_nRowMode = pInts[2] == 1 ? 1 : 0;
    if (nInts > 3)
        m_nCacheBudgetMb = pInts[3] > 0 && pInts[3] <= kMaxCacheBudgetMb ? pInts[3] : 0;
    if (nInts > 4)
        m_nDemodMode = pInts[4] >= 0 && pInts[4] < DEMOD_MODES ? pInts[4] : DEMOD_AM;
    if (nInts > 5)
        m_bDeemphasis75 = pInts[5] == 1;
    if (nInts > 6)
        m_bFollowPlay = pInts[6] != 1;
    if (nInts > 7)
        m_nVolumeDb = pInts[7] >= kVolumeMinDb && pInts[7] <= kVolumeMaxDb ? pInts[7] : 0;
    if (nInts > 8)
        m_bWriteSigmf = pInts[8] == 1;
    if (nInts > 9)
        m_bSaveAsSigmf = pInts[9] == 1;
}

int64_t CTavirelDoc::CacheBudgetBytes() const
{
    return (m_nCacheBudgetMb > 0 ? int64_t{m_nCacheBudgetMb} : kDefaultCacheBudgetMb) << 20;
}

void CTavirelDoc::TakeSourceFacts(const CRiffWaveFile& wave)
{
    m_bTwoChannel = m_wfSource.nChannels == 1 ? 0 : 1;
    m_codecSource = wave.SampleCodec();
    SetFftSize(m_nFftSize);
    m_stStart = m_auxi.stStartTime;
    m_stStop = m_auxi.stStopTime;
    m_nLengthSec = wave.m_nLengthSec;
    m_nDataFrames = wave.m_nDataFrames;
    m_timeBase = wave.m_timeBase;
}

bool CTavirelDoc::ProbeSource(const QString& path)
{
    CRiffWaveFile probe;
    uint64_t nFrames = 0;
    m_auxi = AUXIINFO{};
    m_nSourceError = probe.Open(WavePath(path), &m_wfSource, 0, &nFrames, 0, &m_auxi);
    m_strSourceError = probe.ErrorText();
    if (m_nSourceError != WAVE_OK) {
        m_nLengthSec = 0;
        return false;
    }
    TakeSourceFacts(probe);
    return true;
}

bool CTavirelDoc::OpenSource(const QString& path)
{
    m_nTotalFrames = 0;
    m_nDataFrames = 0;
    m_auxi = AUXIINFO{};
    m_wave.Close();
    m_nSourceError = m_wave.Open(WavePath(path), &m_wfSource, kWaveBlockFrames, &m_nTotalFrames, 0, &m_auxi);
    m_strSourceError = m_wave.ErrorText();
    if (m_nSourceError != WAVE_OK) {
        m_wave.Close(); // an allocation failure may leave the file open
        m_nLengthSec = 0;
        m_bLoaded = false;
        return false;
    }
    TakeSourceFacts(m_wave);
    return true;
}

bool CTavirelDoc::LoadSource(const QString& path)
{
    m_strSrcPath = path;
    if (!OpenSource(path))
        return false;
    m_bLoaded = true;
    m_nViewStart = 0;
    m_nDrawnStart = -1;
    return true;
}

int CTavirelDoc::ReopenSource()
{
    if (OpenSource(m_strSrcPath))
        return WAVE_OK;
    return m_wave.m_nError != WAVE_OK ? m_wave.m_nError : WAVE_ERR_OPEN;
}

int CTavirelDoc::EnsureSourceOpen()
{
    return m_wave.m_bInOpen ? WAVE_OK : ReopenSource();
}

void CTavirelDoc::CloseSource()
{
    m_wave.Close();
    m_bLoaded = false;
}

int64_t CTavirelDoc::ViewStartFrame() const
{
    if (m_nViewStartBlock >= 0)
        return m_nViewStartBlock * m_nFftSize;
    return m_timeBase.FrameOfWholeSeconds(std::max(m_nViewStart, 0));
}

int64_t CTavirelDoc::DataBlocks() const
{
    return static_cast<int64_t>((m_nDataFrames + m_nFftSize - 1) / m_nFftSize);
}

bool CTavirelDoc::RecordingTimeOfFrame(int64_t nFrame, SYSTEMTIME& out) const
{
    if (m_stStart.wYear <= 2000)
        return false;
    // Milliseconds from the start's own second, so that the start's fraction carries.
    const int64_t ms = m_timeBase.MillisecondOfFrame(nFrame) + std::min<int>(m_stStart.wMilliseconds, 999);
    const int64_t sec = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    SYSTEMTIME at{};
    if (!AddUtcSeconds(m_stStart, sec, at))
        return false;
    at.wMilliseconds = static_cast<uint16_t>(ms - sec * 1000);
    out = at;
    return true;
}

int64_t CTavirelDoc::MarkLimitFrame() const
{
    return std::max(static_cast<int64_t>(m_nDataFrames), m_timeBase.FrameOfWholeSeconds(m_nLengthSec));
}

void CTavirelDoc::SetSegmentTimes(int64_t nFromFrame, int64_t nToFrame)
{
    SYSTEMTIME from{}, to{};
    if (RecordingTimeOfFrame(nFromFrame, from) && RecordingTimeOfFrame(nToFrame, to)) {
        // The offsets are added in universal time, where no daylight-saving
        // change shifts them; the times are shown as local calendar times, so
        // they hold the resulting calendar time read as local time.
        m_timeFrom = CTime(from, -1);
        m_timeTo = CTime(to, -1);
    } else {
        m_timeFrom = CTime(m_timeBase.SecondOfFrame(nFromFrame));
        m_timeTo = CTime(m_timeBase.SecondOfFrame(nToFrame));
    }
}

void CTavirelDoc::BuildPalette()
{
    m_palette = ColourMapEntries(m_nColourMap);
}
