#include "display/SpectrogramPlot.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstring>

#include "display/OverviewCache.h"
#include "doc/TavirelDoc.h"

namespace {

// QImage pixel (0xffRRGGBB) of a COLORREF (0x00BBGGRR).
QRgb PixelOf(uint32_t colorref)
{
    return qRgb(static_cast<int>(colorref & 0xFF), static_cast<int>((colorref >> 8) & 0xFF),
                static_cast<int>((colorref >> 16) & 0xFF));
}

} // namespace

struct CSpectrogramPlot::AsyncRender {
    PlotRenderSetup setup;
    std::atomic<bool> cancel{false};
    int missing = 0;
    int viewStart = 0;
    QString cacheEntry; // where the finished picture is kept; empty: not kept
    bool fromCache = false;
    std::thread thread;
};

CSpectrogramPlot::CSpectrogramPlot(CTavirelDoc* pDoc)
    : m_rcPlot(0, 0, 0, 0), m_rcLast(0, 0, 0, 0), m_rcBitmap(0, 0, 0, 0), m_pDoc(pDoc)
{
    std::fill(std::begin(m_samples), std::end(m_samples), 0);
}

CSpectrogramPlot::~CSpectrogramPlot()
{
    CancelRender();
}

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
        m_nBitmapRows = kAllRowsBlack;
        m_pDoc->m_nDrawnStart = -1;
    }
    Refresh(painter);
}

int CSpectrogramPlot::DrawnZoom() const
{
    return std::clamp(m_nDrawnZoom, 1, CTavirelDoc::kMaxZoom);
}

bool CSpectrogramPlot::IsStale() const
{
    const CTavirelDoc& doc = *m_pDoc;
    return doc.m_nViewStart != doc.m_nDrawnStart || doc.m_nZoom != m_nDrawnZoom || doc.m_nRowMode != m_nDrawnRowMode ||
           doc.m_nViewStartBlock != m_nDrawnStartBlock;
}

void CSpectrogramPlot::Refresh(QPainter* painter)
{
    if (!m_pDoc->m_bLoaded)
        return;
    const int width = m_rcPlot.width();
    const int height = m_rcPlot.height();
    if (width <= 0 || height <= 0 || m_bitmap.isNull() || m_bitmap.size() != QSize(width, height))
        return; // no picture of the plot's size (none made yet, or it could not be made)

    if (IsStale()) {
        // The reader may have been closed by a failed read elsewhere (a save).
        if (!EnsureOpen())
            return;
        Render();
        m_pDoc->m_nDrawnStart = m_pDoc->m_nViewStart;
    }
    if (painter)
        painter->drawImage(m_rcPlot.topLeft(), m_bitmap);
}

void CSpectrogramPlot::SetLevels(int bTwoChannel, double dRefLevel)
{
    const CTavirelDoc& doc = *m_pDoc;
    m_engine.SetParameters(bTwoChannel, doc.m_nFftSize, BottomLevelDb(dRefLevel, doc.m_nRangeDb), dRefLevel, 1, 0,
                           doc.m_nWindow, 0, 1, PEAK_OFF, 0.0);
    m_nLevelsTwoChannel = bTwoChannel;
    m_dLevelsRef = dRefLevel;
}

int CSpectrogramPlot::FitZoom(int64_t nFrames, int width, int nFftSize)
{
    const int64_t n = std::max(nFftSize, 1);
    const int64_t blocks = (std::max<int64_t>(nFrames, 1) + n - 1) / n;
    int64_t zoom = 1;
    while (zoom < CTavirelDoc::kMaxZoom && zoom * std::max(width, 1) < blocks)
        zoom *= 2;
    return static_cast<int>(zoom);
}

PlotRenderSetup CSpectrogramPlot::WindowSetup(QSize size, int zoom) const
{
    const CTavirelDoc& doc = *m_pDoc;
    PlotRenderSetup setup;
    const int nBins = std::clamp(doc.m_nDisplayBins, 1, kMaxBins);
    setup.path = WavePath(doc.m_strSrcPath);
    setup.twoChannel = doc.m_bTwoChannel;
    setup.refLevel = m_nLevelsTwoChannel < 0 ? doc.m_nRefLevel : m_dLevelsRef;
    setup.bottomLevel = BottomLevelDb(setup.refLevel, doc.m_nRangeDb);
    setup.fftSize = doc.m_nFftSize;
    setup.window = doc.m_nWindow;
    setup.startFrame = doc.ViewStartFrame();
    setup.zoom = std::clamp(zoom, 1, CTavirelDoc::kMaxZoom);
    setup.bins = nBins;
    setup.rowMode = doc.m_nRowMode == PLOT_ROWS_STRONGEST_BIN ? PLOT_ROWS_STRONGEST_BIN : PLOT_ROWS_FIRST_BIN;
    setup.width = size.width();
    setup.height = size.height();
    // Row of each display bin, bin 0 at the top; 64 bits so tall pictures cannot overflow.
    setup.rowOfBin.resize(static_cast<size_t>(nBins));
    for (int i = 0; i < nBins; ++i)
        setup.rowOfBin[static_cast<size_t>(i)] = static_cast<int>(static_cast<int64_t>(i) * size.height() / nBins);
    for (int i = 0; i < 256; ++i)
        setup.pixels[static_cast<size_t>(i)] = PixelOf(doc.m_palette[static_cast<size_t>(i)]);
    return setup;
}

bool CSpectrogramPlot::MakeSetup(QImage& picture, PlotRenderSetup* setup)
{
    CTavirelDoc& doc = *m_pDoc;
    const int width = m_rcPlot.width();
    const int height = m_rcPlot.height();
    if (width <= 0 || height <= 0 || !doc.m_bLoaded || !doc.m_wave.m_bInOpen)
        return false;
    // The last picture replaced, when no one else holds it, saves making the
    // pages of a new one, and clearing them when its rows are laid out alike.
    const bool reuse =
        m_spare.size() == QSize(width, height) && m_spare.format() == QImage::Format_RGB32 && m_spare.isDetached();
    picture = reuse ? std::move(m_spare) : QImage(width, height, QImage::Format_RGB32);
    m_spare = QImage();
    if (picture.isNull())
        return false;
    // A source reopened by the last rendering may have another channel count.
    if (doc.m_bTwoChannel != m_nLevelsTwoChannel)
        SetLevels(doc.m_bTwoChannel, m_nLevelsTwoChannel < 0 ? doc.m_nRefLevel : m_dLevelsRef);

    *setup = WindowSetup(QSize(width, height), doc.m_nZoom);
    m_rowOfBin = setup->rowOfBin;
    // The rendering draws every row a bin falls on; the others are black.
    const int nBins = setup->bins;
    const int64_t rows = RowsKey(height, nBins);
    for (int y = 0, i = 0; y < height && !(reuse && (m_nSpareRows == rows || m_nSpareRows == kAllRowsBlack)); ++y) {
        while (i < nBins && m_rowOfBin[static_cast<size_t>(i)] < y)
            ++i;
        if (i == nBins || m_rowOfBin[static_cast<size_t>(i)] != y)
            std::fill_n(reinterpret_cast<QRgb*>(picture.scanLine(y)), width, qRgb(0, 0, 0));
    }
    setup->bits = picture.bits();
    setup->bytesPerLine = picture.bytesPerLine();
    return true;
}

QImage CSpectrogramPlot::RenderAt(QSize size, int zoom) const
{
    const CTavirelDoc& doc = *m_pDoc;
    if (size.isEmpty() || !doc.m_bLoaded)
        return QImage();
    QImage picture(size, QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    picture.fill(Qt::black);
    PlotRenderSetup setup = WindowSetup(size, zoom);
    setup.bits = picture.bits();
    setup.bytesPerLine = picture.bytesPerLine();
    const int missing =
        RenderPlotColumns(setup, m_nWorkers > 0 ? m_nWorkers : PlotWorkerCount(size.width()), nullptr, {});
    // Columns past the first one not drawn stay black, whatever other workers drew.
    for (int y = 0; y < size.height() && missing < size.width(); ++y)
        std::fill(reinterpret_cast<QRgb*>(picture.scanLine(y)) + missing,
                  reinterpret_cast<QRgb*>(picture.scanLine(y)) + size.width(), qRgb(0, 0, 0));
    return picture;
}

bool CSpectrogramPlot::Adopt(QImage& picture, const PlotRenderSetup& setup, int missing)
{
    CTavirelDoc& doc = *m_pDoc;
    if (missing < setup.width) {
        // The source ended inside the window or could not be read: open it
        // again at the window's start for the next caller. A source that is
        // gone leaves the picture as it was drawn before.
        const int nLengthSec = doc.m_nLengthSec;
        if (!Reopen()) {
            doc.m_nViewEnd = nLengthSec;
            return false;
        }
        doc.m_nViewEnd = doc.m_nLengthSec;
        // Columns past the first one not drawn stay black, whatever other workers drew.
        for (int y = 0; y < setup.height; ++y) {
            QRgb* const line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            std::fill(line + missing, line + setup.width, qRgb(0, 0, 0));
        }
    } else {
        // The second the frame after the last column falls in.
        const int64_t endFrame = setup.startFrame + int64_t{setup.width} * setup.zoom * setup.fftSize;
        doc.m_nViewEnd = static_cast<int>(std::clamp<int64_t>(doc.m_timeBase.SecondOfFrame(endFrame), 0, INT_MAX));
    }
    m_bitmap.swap(picture);
    m_nDrawnZoom = doc.m_nZoom;
    m_nDrawnStartFrame = setup.startFrame;
    m_nDrawnRowMode = doc.m_nRowMode;
    m_nDrawnStartBlock = doc.m_nViewStartBlock;
    return true;
}

QString CSpectrogramPlot::CacheEntry(const PlotRenderSetup& setup) const
{
    const CTavirelDoc& doc = *m_pDoc;
    const int64_t shownFrames = int64_t{setup.width} * setup.zoom * setup.fftSize;
    const QFileInfo info(doc.m_strSrcPath);
    if (m_nCacheMinBytes < 0 || info.size() < m_nCacheMinBytes || setup.startFrame != 0 ||
        static_cast<uint64_t>(shownFrames) < doc.m_nTotalFrames)
        return {};
    const QString settings = QString::asprintf(
        "%dx%d zoom %d rows %d ref %.17g channels %d bins %d fft %d window %d colours %d bottom %.17g", setup.width,
        setup.height, setup.zoom, setup.rowMode, setup.refLevel, setup.twoChannel + 1, setup.bins, setup.fftSize,
        setup.window, doc.m_nColourMap, setup.bottomLevel);
    return overview_cache::EntryPath(doc.m_strSrcPath, settings);
}

void CSpectrogramPlot::Render()
{
    CTavirelDoc& doc = *m_pDoc;
    const int width = m_rcPlot.width();
    const int height = m_rcPlot.height();
    if (width <= 0 || height <= 0 || m_bitmap.size() != QSize(width, height) || !doc.m_bLoaded)
        return;
    if (!EnsureOpen())
        return;
    QImage picture;
    PlotRenderSetup setup;
    if (!MakeSetup(picture, &setup))
        return;
    const QString entry = CacheEntry(setup);
    int missing = 0;
    if (overview_cache::Load(entry, picture.size(), &picture, &missing)) {
        KeepSpare(picture, Adopt(picture, setup, missing), -1);
        return;
    }
    const int workers = m_nWorkers > 0 ? m_nWorkers : PlotWorkerCount(width);
    missing = RenderPlotColumns(setup, workers, nullptr, {});
    const bool adopted = Adopt(picture, setup, missing);
    if (adopted && !entry.isEmpty())
        overview_cache::Store(entry, m_bitmap, missing);
    KeepSpare(picture, adopted, RowsKey(setup.height, setup.bins));
}

void CSpectrogramPlot::KeepSpare(QImage& picture, bool adopted, int64_t pictureRows)
{
    if (adopted) {
        m_nSpareRows = m_nBitmapRows; // picture holds what m_bitmap held
        m_nBitmapRows = pictureRows;
    } else {
        m_nSpareRows = pictureRows;
    }
    m_spare = std::move(picture);
}

bool CSpectrogramPlot::RequestRender(std::function<void(int, int)> onColumns, std::function<void()> onDone)
{
    CancelRender();
    CTavirelDoc& doc = *m_pDoc;
    if (!doc.m_bLoaded || !EnsureOpen())
        return false;
    auto job = std::make_unique<AsyncRender>();
    if (!MakeSetup(m_asyncPicture, &job->setup))
        return false;
    job->viewStart = doc.m_nViewStart;
    job->cacheEntry = CacheEntry(job->setup);
    job->fromCache = overview_cache::Load(job->cacheEntry, m_asyncPicture.size(), &m_asyncPicture, &job->missing);
    const int workers = m_nWorkers > 0 ? m_nWorkers : PlotWorkerCount(job->setup.width);
    AsyncRender* const p = job.get();
    try {
        job->thread = std::thread([p, workers, onColumns = std::move(onColumns), onDone = std::move(onDone)] {
            if (!p->fromCache)
                p->missing = RenderPlotColumns(p->setup, workers, &p->cancel, onColumns);
            else if (onColumns && p->missing > 0)
                onColumns(0, p->missing);
            if (onDone)
                onDone();
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_async = std::move(job);
    return true;
}

bool CSpectrogramPlot::FinishRender()
{
    if (!m_async)
        return false;
    std::unique_ptr<AsyncRender> job = std::move(m_async);
    job->thread.join();
    if (job->cancel.load())
        return false;
    QImage picture = m_asyncPicture;
    const bool adopted = Adopt(picture, job->setup, job->missing);
    if (adopted && !job->fromCache && !job->cacheEntry.isEmpty())
        overview_cache::Store(job->cacheEntry, m_bitmap, job->missing);
    KeepSpare(picture, adopted, job->fromCache ? -1 : RowsKey(job->setup.height, job->setup.bins));
    m_pDoc->m_nDrawnStart = job->viewStart;
    return true;
}

void CSpectrogramPlot::CancelRender()
{
    if (!m_async)
        return;
    m_async->cancel = true;
    m_async->thread.join();
    m_async.reset();
}

bool CSpectrogramPlot::Reopen()
{
    if (m_pDoc->ReopenSource() != WAVE_OK)
        return false;
    m_pDoc->m_wave.SeekFrame(m_pDoc->ViewStartFrame());
    return true;
}

bool CSpectrogramPlot::EnsureOpen()
{
    return m_pDoc->m_wave.m_bInOpen || Reopen();
}
