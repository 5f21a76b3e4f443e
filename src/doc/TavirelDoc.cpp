#include "doc/TavirelDoc.h"

#include <QByteArray>
#include <QFile>

#include <cstdio>

namespace {

const char kBools[] = "Settings\\BOOLs";
const char kInts[] = "Settings\\INTs";
const char kDoubles[] = "Settings\\DOUBLEs";
const char kStrings[] = "Settings\\Strings";
const char kDefaultPath[] = "c:\\";

// Block size for display and save reads, in frames.
constexpr int kBlockFrames = 2048;

std::string WavePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

CTavirelDoc::CTavirelDoc(CProfileStore* store) : m_pStore(store) {}

CTavirelDoc::~CTavirelDoc() = default;

bool CTavirelDoc::OnNewDocument()
{
    m_bLoaded = false;
    m_nRefLevel = 0;
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
    if (!m_pStore)
        return false;

    // Each list must yield all of its values; the first short one ends loading.
    // The texts are parsed with sscanf so that "%i" takes decimal, 0x hexadecimal
    // and leading-0 octal exactly as the stored format was always read.
    QByteArray text = m_pStore->GetProfileString(kBools, QStringLiteral("BOOLs")).toUtf8();
    if (text.isEmpty())
        return false;
    int b[8];
    if (std::sscanf(text.constData(), "%i:%i:%i:%i:%i:%i:%i:%i:", &b[0], &b[1], &b[2], &b[3], &b[4],
                    &b[5], &b[6], &b[7]) < 8)
        return false;

    text = m_pStore->GetProfileString(kInts, QStringLiteral("INTs")).toUtf8();
    if (text.isEmpty())
        return false;
    int n[9];
    if (std::sscanf(text.constData(), "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i:", &m_nRefLevel, &n[0], &n[1], &n[2],
                    &n[3], &n[4], &n[5], &n[6], &n[7], &n[8]) < 10)
        return false;

    text = m_pStore->GetProfileString(kDoubles, QStringLiteral("DOUBLEs")).toUtf8();
    if (text.isEmpty())
        return false;
    double d[11];
    if (std::sscanf(text.constData(), "%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:", &d[0], &d[1], &d[2],
                    &d[3], &d[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10]) < 11)
        return false;

    m_strSrcPath = m_pStore->GetProfileString(kStrings, QStringLiteral("SrcPath"), kDefaultPath);
    m_strDestPath = m_pStore->GetProfileString(kStrings, QStringLiteral("DestPath"), kDefaultPath);
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
    std::snprintf(text, sizeof text, "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i:", m_nRefLevel, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    if (!m_pStore->WriteProfileString(kInts, QStringLiteral("INTs"), QString::fromLatin1(text)))
        return false;
    std::snprintf(text, sizeof text, "%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:%lg:", 0.0, 0.0, 0.0, 0.0, 0.0,
                  0.0, 0.0, 0.0, 0.0, 0.0, 0.0);
    if (!m_pStore->WriteProfileString(kDoubles, QStringLiteral("DOUBLEs"), QString::fromLatin1(text)))
        return false;
    if (!m_pStore->WriteProfileString(kStrings, QStringLiteral("SrcPath"), m_strSrcPath))
        return false;
    return m_pStore->WriteProfileString(kStrings, QStringLiteral("DestPath"), m_strDestPath);
}

void CTavirelDoc::TakeSourceFacts(int nLengthSec)
{
    if (m_wfSource.nChannels == 1) {
        m_bTwoChannel = 0;
        m_nDisplayBins = 1024;
    } else {
        m_bTwoChannel = 1;
        m_nDisplayBins = 2048;
    }
    m_stStart = m_auxi.stStartTime;
    m_stStop = m_auxi.stStopTime;
    m_nLengthSec = nLengthSec;
}

bool CTavirelDoc::ProbeSource(const QString& path)
{
    CRiffWaveFile probe;
    uint32_t nFrames = 0;
    m_auxi = AUXIINFO{};
    m_nSourceError = probe.Open(WavePath(path), &m_wfSource, 0, &nFrames, 0, &m_auxi);
    if (m_nSourceError != WAVE_OK) {
        m_nLengthSec = 0;
        return false;
    }
    TakeSourceFacts(probe.m_nLengthSec);
    return true;
}

bool CTavirelDoc::OpenSource(const QString& path)
{
    m_nTotalFrames = 0;
    m_auxi = AUXIINFO{};
    m_wave.Close();
    m_nSourceError = m_wave.Open(WavePath(path), &m_wfSource, kBlockFrames, &m_nTotalFrames, 0, &m_auxi);
    if (m_nSourceError != WAVE_OK) {
        m_wave.Close(); // an allocation failure may leave the file open
        m_nLengthSec = 0;
        m_bLoaded = false;
        return false;
    }
    TakeSourceFacts(m_wave.m_nLengthSec);
    return true;
}

void CTavirelDoc::CloseSource()
{
    m_wave.Close();
    m_bLoaded = false;
}

void CTavirelDoc::SetSegmentTimes(int nFromSec, int nToSec)
{
    if (m_stStart.wYear > 2000) {
        const CTime start(m_stStart, -1);
        m_timeFrom = start + nFromSec;
        m_timeTo = start + nToSec;
    } else {
        m_timeFrom = CTime(nFromSec);
        m_timeTo = CTime(nToSec);
    }
}

void CTavirelDoc::BuildPalette()
{
    // Black through blue, cyan, green, yellow and red to violet; integer
    // division drops the fraction.
    for (int i = 0; i < 256; ++i) {
        int r = 0, g = 0, b = 0;
        if (i <= 42) {
            b = 255 * i / 43;
        } else if (i <= 86) {
            g = 255 * (i - 43) / 43;
            b = 255;
        } else if (i <= 119) {
            g = 255;
            b = 255 - 255 * (i - 87) / 32;
        } else if (i <= 153) {
            r = 255 * (i - 120) / 33;
            g = 255;
        } else if (i <= 216) {
            r = 255;
            g = 255 - 255 * (i - 154) / 62;
        } else {
            r = 255;
            b = 128 * (i - 217) / 38;
        }
        m_palette[static_cast<size_t>(i)] = RGB(r, g, b);
    }
}
