#include "display/SpectrogramPlot.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

#include "doc/TavirelDoc.h"

namespace {

constexpr int kBlockFrames = 2048;
constexpr int kMaxBins = 2048;
constexpr int kScale = 255;

// QImage pixel (0xffRRGGBB) of a COLORREF (0x00BBGGRR).
QRgb PixelOf(uint32_t colorref)
{
    return qRgb(static_cast<int>(colorref & 0xFF), static_cast<int>((colorref >> 8) & 0xFF),
                static_cast<int>((colorref >> 16) & 0xFF));
}

} // namespace

CSpectrogramPlot::CSpectrogramPlot(CTavirelDoc* pDoc)
    : m_rcPlot(0, 0, 0, 0), m_rcLast(0, 0, 0, 0), m_rcBitmap(0, 0, 0, 0), m_pDoc(pDoc)
{
    std::fill(std::begin(m_rowOfBin), std::end(m_rowOfBin), 0);
    std::fill(std::begin(m_levelOfBin), std::end(m_levelOfBin), -kScale);
    std::fill(std::begin(m_samples), std::end(m_samples), 0);
}

CSpectrogramPlot::~CSpectrogramPlot() = default;

void CSpectrogramPlot::Draw(const QRect& rcPlot, QPainter* painter)
{
    m_rcPlot = rcPlot;
    const int width = rcPlot.width();
    const int height = rcPlot.height();
    if (width <= 0 || height <= 0)
        return; // an empty area: nothing to draw, the picture and the document stay as they are
    m_rcBitmap = QRect(0, 0, width, height);
    if (m_rcPlot != m_rcLast) {
        m_rcLast = m_rcPlot;
        m_bitmap = QImage(width, height, QImage::Format_RGB32);
        if (!m_bitmap.isNull())
            m_bitmap.fill(Qt::black);
        m_pDoc->m_nDrawnStart = -1;
    }
    Refresh(painter);
}

void CSpectrogramPlot::Refresh(QPainter* painter)
{
    if (!m_pDoc->m_bLoaded)
        return;
    const int width = m_rcPlot.width();
    const int height = m_rcPlot.height();
    if (width <= 0 || height <= 0 || m_bitmap.isNull() || m_bitmap.size() != QSize(width, height))
        return; // no picture of the plot's size (none made yet, or it could not be made)

    if (m_pDoc->m_nViewStart != m_pDoc->m_nDrawnStart) {
        // The reader may have been closed by a failed read elsewhere (a save).
        if (!m_pDoc->m_wave.m_bInOpen && !Reopen())
            return;
        // A source reopened by the last rendering may have another channel count.
        if (m_pDoc->m_bTwoChannel != m_nLevelsTwoChannel)
            SetLevels(m_pDoc->m_bTwoChannel, m_nLevelsTwoChannel < 0 ? m_pDoc->m_nRefLevel : m_dLevelsRef);
        m_bitmap.fill(Qt::black);
        Render();
        m_pDoc->m_nDrawnStart = m_pDoc->m_nViewStart;
    }
    if (painter)
        painter->drawImage(m_rcPlot.topLeft(), m_bitmap);
}

void CSpectrogramPlot::SetLevels(int bTwoChannel, double dRefLevel)
{
    m_engine.SetParameters(bTwoChannel, kBlockFrames, -160.0, dRefLevel, 1, 0, WINDOW_HANN, 0, 1, PEAK_OFF, 0.0);
    m_nLevelsTwoChannel = bTwoChannel;
    m_dLevelsRef = dRefLevel;
}

void CSpectrogramPlot::Render()
{
    CTavirelDoc& doc = *m_pDoc;
    const int width = m_rcPlot.width();
    const int height = m_rcPlot.height();
    if (width <= 0 || height <= 0 || m_bitmap.size() != QSize(width, height) || !doc.m_bLoaded)
        return;
    if (!doc.m_wave.m_bInOpen && !Reopen())
        return;

    const int nBins = std::clamp(doc.m_nDisplayBins, 1, kMaxBins);
    // Row of each display bin, bin 0 at the top; 64 bits so tall pictures cannot overflow.
    for (int i = 0; i < nBins; ++i)
        m_rowOfBin[i] = static_cast<int>(static_cast<int64_t>(i) * height / nBins);

    QRgb colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = PixelOf(doc.m_palette[static_cast<size_t>(i)]);
    std::fill(m_levelOfBin, m_levelOfBin + nBins, -kScale);

    uchar* const bits = m_bitmap.bits();
    const qsizetype bytesPerLine = m_bitmap.bytesPerLine();

    doc.m_wave.SeekSeconds(doc.m_nViewStart);
    for (int x = 0; x < width; ++x) {
        int progress = 0;
        if (doc.m_wave.ReadBlock(m_samples, kBlockFrames, &progress) != kBlockFrames) {
            // The reader closes the source at the end of its data or on a read
            // failure: open it again at the window's start for the next caller.
            // The columns not drawn stay black.
            const int nLengthSec = doc.m_nLengthSec;
            if (Reopen())
                doc.m_nViewEnd = doc.m_nLengthSec;
            else
                doc.m_nViewEnd = nLengthSec;
            return;
        }
        m_engine.LoadSamples(m_samples, 2147483647);
        m_engine.Transform();
        m_engine.GetDisplayLevels(kScale, 0, nBins - 1, m_levelOfBin);

        // Only the first bin that falls on a row is drawn on it.
        int lastRow = -1;
        uchar* const column = bits + static_cast<qsizetype>(x) * 4;
        for (int i = 0; i < nBins; ++i) {
            const int row = m_rowOfBin[i];
            if (row == lastRow)
                continue;
            lastRow = row;
            const int index = std::clamp(m_levelOfBin[i] + kScale, 0, 255);
            QRgb* const pixel = reinterpret_cast<QRgb*>(column + row * bytesPerLine);
            *pixel = colours[index];
        }
    }
    doc.m_nViewEnd = static_cast<int>(doc.m_wave.GetPositionSeconds());
}

bool CSpectrogramPlot::Reopen()
{
    CTavirelDoc& doc = *m_pDoc;
    if (!doc.OpenSource(doc.m_strSrcPath)) {
        // Removed or replaced by something that is no wave file: no source any more.
        doc.m_bLoaded = false;
        return false;
    }
    doc.m_wave.SeekSeconds(doc.m_nViewStart);
    return true;
}
