// CSpectrogramPlot: renders the spectrogram of the shown time window into an
// off-screen picture (one column per 2048-frame block, one row position per
// display bin) and copies it to the caller's painter.
#pragma once

#include <QImage>
#include <QRect>

#include <cstdint>

#include "dsp/SpectrumEngine.h"

class CTavirelDoc;
class QPainter;

class CSpectrogramPlot {
public:
    explicit CSpectrogramPlot(CTavirelDoc* pDoc);
    virtual ~CSpectrogramPlot();
    CSpectrogramPlot(const CSpectrogramPlot&) = delete;
    CSpectrogramPlot& operator=(const CSpectrogramPlot&) = delete;

    // rcPlot: the plot area in the caller's (view's) coordinates. The picture is copied with
    // painter->drawImage(m_rcPlot.topLeft(), m_bitmap) when painter is not null.
    void Draw(const QRect& rcPlot, QPainter* painter);
    // Renders if the picture is stale, then copies it to painter (if not null).
    void Refresh(QPainter* painter);
    // Configures the engine for the source's channel count and the reference level in dB.
    void SetLevels(int bTwoChannel, double dRefLevel);
    // Draws every column of the window into m_bitmap.
    void Render();

    int m_rowOfBin[2048];
    int m_levelOfBin[2048];
    int32_t m_samples[4096];
    QRect m_rcPlot, m_rcLast, m_rcBitmap;
    QImage m_bitmap;
    CTavirelDoc* m_pDoc;
    CSpectrumEngine m_engine;

private:
    // Opens the document's source again and positions it at the view start;
    // on failure the document has no source any more (m_bLoaded false).
    bool Reopen();

    // What the engine was last configured with by SetLevels.
    int m_nLevelsTwoChannel = -1;
    double m_dLevelsRef = 0.0;
};
