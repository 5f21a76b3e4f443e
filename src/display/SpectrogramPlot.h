// CSpectrogramPlot: renders the spectrogram of the shown time window into an
// off-screen picture and copies it to the caller's painter. A column shows
// m_pDoc->m_nZoom transforms of m_pDoc->m_nFftSize frames (per bin the strongest of them), one
// row position per display bin; m_pDoc->m_nRowMode picks the first or the
// strongest bin of each row. The window starts at m_pDoc->m_nViewStart whole
// seconds or, when m_pDoc->m_nViewStartBlock >= 0, at that block. Columns are
// rendered by several workers at once; the picture is the same as one worker's.
//
// Synchronous use (the default): Draw / Refresh render when the document's
// view start differs from m_nDrawnStart or the zoom, rows or start block
// differ from the last rendering; set m_pDoc->m_nDrawnStart = -1 to force one.
//
// Asynchronous use (for a responsive window): RequestRender starts a rendering
// off the calling thread into a picture of its own and returns at once; it
// cancels a rendering still running. onColumns(x0, x1) is called from worker
// threads as columns x0 .. x1 - 1 of AsyncPicture() are finished, onDone()
// once from a worker thread at the end (also after a cancel); post both to the
// UI thread. There, FinishRender() waits for the end, adopts the picture as
// m_bitmap and updates the document's m_nViewEnd and m_nDrawnStart (false when
// the rendering was cancelled or there was none). CancelRender() stops and
// waits. The document must not be changed while a rendering runs, except
// through these calls.
//
// A picture of the whole source (start 0, the zoom showing every block) of a
// source of at least m_nCacheMinBytes is kept in the user's cache folder
// (display/OverviewCache.h) and taken from there while the source is unchanged.
#pragma once

#include <QImage>
#include <QRect>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "display/PlotRender.h"
#include "dsp/SpectrumEngine.h"

class CTavirelDoc;
class QPainter;

class CSpectrogramPlot {
public:
    // The most display bins a picture shows (I/Q sources at the largest transform).
    static constexpr int kMaxBins = kPictureFftMaxSize;
    explicit CSpectrogramPlot(CTavirelDoc* pDoc);
    virtual ~CSpectrogramPlot();
    CSpectrogramPlot(const CSpectrogramPlot&) = delete;
    CSpectrogramPlot& operator=(const CSpectrogramPlot&) = delete;

    // rcPlot: the plot area in the caller's (view's) coordinates. The picture is copied with
    // painter->drawImage(m_rcPlot.topLeft(), m_bitmap) when painter is not null.
    void Draw(const QRect& rcPlot, QPainter* painter);
    // Renders if the picture is stale, then copies it to painter (if not null).
    void Refresh(QPainter* painter);
    // Configures the engine for the source's channel count and the reference
    // level in dB, with the document's transform size, window and range.
    void SetLevels(int bTwoChannel, double dRefLevel);
    // Draws every column of the window into m_bitmap.
    void Render();

    // The zoom that shows the whole source in width columns: the smallest power
    // of two K with width * K transforms of nFftSize frames covering nFrames frames.
    static int FitZoom(int64_t nFrames, int width, int nFftSize = kWaveBlockFrames);

    // The rendering of the document's window (its start, transform size,
    // window, rows, colours and the levels SetLevels gave) at a picture of
    // size with zoom transforms per column; bits is left null.
    PlotRenderSetup WindowSetup(QSize size, int zoom) const;
    // That window rendered into a picture of its own, synchronously; the
    // plot's picture and the document stay as they are. Null without a source.
    QImage RenderAt(QSize size, int zoom) const;

    // Asynchronous rendering; see the top of this file.
    bool RequestRender(std::function<void(int, int)> onColumns, std::function<void()> onDone);
    bool FinishRender();
    void CancelRender();
    const QImage& AsyncPicture() const { return m_asyncPicture; }
    // The first frame and the zoom of the picture in m_bitmap.
    int64_t DrawnStartFrame() const { return m_nDrawnStartFrame; }
    int DrawnZoom() const;

    std::vector<int> m_rowOfBin; // picture row of each display bin of the last rendering
    int32_t m_samples[4096];
    QRect m_rcPlot, m_rcLast, m_rcBitmap;
    QImage m_bitmap;
    CTavirelDoc* m_pDoc;
    CSpectrumEngine m_engine;
    // Workers per rendering; 0 = one per core.
    int m_nWorkers = 0;
    // Smallest source whose whole-source pictures are cached; negative: none are.
    int64_t m_nCacheMinBytes = int64_t{64} << 20;

private:
    // Opens the document's source again and positions it at the view start;
    // on failure the document has no source any more (m_bLoaded false).
    bool Reopen();
    // Reopen when the reader has closed the source; whether it is open.
    bool EnsureOpen();
    // Whether the picture no longer shows the document's window.
    bool IsStale() const;
    // Fills setup for a rendering into picture; false when there is nothing to render.
    bool MakeSetup(QImage& picture, PlotRenderSetup* setup);
    // Takes a finished rendering into m_bitmap and the document; false when
    // the source is gone and the picture stays as it was.
    bool Adopt(QImage& picture, const PlotRenderSetup& setup, int missing);
    // The cache entry of a whole-source picture; empty for any other.
    QString CacheEntry(const PlotRenderSetup& setup) const;

    // What the engine was last configured with by SetLevels.
    int m_nLevelsTwoChannel = -1;
    double m_dLevelsRef = 0.0;
    // What the picture was last rendered with.
    int m_nDrawnZoom = 0;
    int m_nDrawnRowMode = -1;
    int64_t m_nDrawnStartBlock = -1;
    int64_t m_nDrawnStartFrame = 0;

    // The running asynchronous rendering.
    struct AsyncRender;
    std::unique_ptr<AsyncRender> m_async;
    QImage m_asyncPicture;
    // The picture the last rendering replaced, made again into the next one,
    // and for it and m_bitmap the layout whose rows that no bin falls on are
    // known to be black (RowsKey; kAllRowsBlack: every row; -1: none).
    QImage m_spare;
    static constexpr int64_t kAllRowsBlack = -2;
    static int64_t RowsKey(int height, int bins) { return (int64_t{height} << 32) | bins; }
    int64_t m_nSpareRows = -1;
    int64_t m_nBitmapRows = -1;
    // After a rendering into picture: the picture m_bitmap held before (when
    // the new one was adopted) or the new one becomes the spare.
    void KeepSpare(QImage& picture, bool adopted, int64_t pictureRows);
};
