#include "display/SpectrogramPlot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstring>

#include "display/OverviewCache.h"
#include "doc/TavirelDoc.h"

namespace {

constexpr int kScale = 255; // colour indices -kScale .. 0

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
    PlotRenderResult result;
    int viewStart = 0;
    QString sourcePath;   // the source, as the document names it
    QString sourceKey;    // the source's state when the job was planned
    QString cacheEntry;   // where the finished picture is kept; empty: not kept
    QString pyramidEntry; // where the source's pyramid is kept; empty: none is
    std::string pyramidKey;
    bool fromCache = false;                 // the picture came from the cache
    bool fromPyramid = false;               // drawn from the pyramid
    bool buildPyramid = false;              // the rendering builds the pyramid
    bool progressive = false;               // a provisional picture comes first
    bool pyramidChanged = false;            // built anew, or found damaged and removed
    const CLevelPyramid* pyramid = nullptr; // the source's pyramid, when open
    CLevelIndex index;                      // indices of levels, for the pyramid
    QImage provisional;
    std::atomic<bool> provisionalReady{false};
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

bool CSpectrogramPlot::Fit(const QRect& rcPlot)
{
    m_rcPlot = rcPlot;
    const int width = rcPlot.width();
    const int height = rcPlot.height();
    if (width <= 0 || height <= 0)
        return false; // an empty area: nothing to draw, the picture and the document stay as they are
    m_rcBitmap = QRect(0, 0, width, height);
    if (m_rcPlot != m_rcLast) {
        m_rcLast = m_rcPlot;
        m_bitmap = QImage(width, height, QImage::Format_RGB32);
        if (!m_bitmap.isNull())
            m_bitmap.fill(Qt::black);
        m_nBitmapRows = kAllRowsBlack;
        m_pDoc->m_nDrawnStart = -1;
    }
    return true;
}

void CSpectrogramPlot::Draw(const QRect& rcPlot, QPainter* painter)
{
    if (Fit(rcPlot))
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
    // The transforms the reader delivers: the last one padded when the data ends inside it.
    const int64_t n = setup->fftSize;
    setup->totalFrames = static_cast<int64_t>((doc.m_wave.m_nDataFrames + n - 1) / n) * n;
    return true;
}

int CSpectrogramPlot::WindowEnd(const PlotRenderSetup& setup) const
{
    // The second the frame after the last column falls in.
    const int64_t endFrame = setup.startFrame + int64_t{setup.width} * setup.zoom * setup.fftSize;
    return static_cast<int>(std::clamp<int64_t>(m_pDoc->m_timeBase.SecondOfFrame(endFrame), 0, INT_MAX));
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
        RenderPlotColumns(setup, m_nWorkers > 0 ? m_nWorkers : PlotWorkerCount(size.width()), nullptr, {}).missing;
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
        doc.m_nViewEnd = WindowEnd(setup);
    }
    m_bitmap.swap(picture);
    m_nDrawnZoom = doc.m_nZoom;
    m_nDrawnStartFrame = setup.startFrame;
    m_nDrawnRowMode = doc.m_nRowMode;
    m_nDrawnStartBlock = doc.m_nViewStartBlock;
    return true;
}

bool CSpectrogramPlot::IsWholeSource(const PlotRenderSetup& setup) const
{
    return setup.startFrame == 0 && int64_t{setup.width} * setup.zoom >= m_pDoc->DataBlocks();
}

void CSpectrogramPlot::PlanJob(AsyncRender& job, QImage* picture)
{
    CTavirelDoc& doc = *m_pDoc;
    const PlotRenderSetup& setup = job.setup;
    job.viewStart = doc.m_nViewStart;
    job.sourcePath = doc.m_strSrcPath;
    job.index = m_engine.IndexForScale(kScale);
    if (m_nCacheMinBytes >= 0 && QFileInfo(doc.m_strSrcPath).size() >= m_nCacheMinBytes)
        job.sourceKey = overview_cache::SourceKey(doc.m_strSrcPath);
    const bool whole = IsWholeSource(setup);
    if (whole) {
        job.cacheEntry = overview_cache::EntryPath(job.sourceKey, overview_cache::PictureSettings(setup), ".png");
        job.fromCache = picture ? overview_cache::Load(job.cacheEntry, picture, &job.result.missing)
                                : !job.cacheEntry.isEmpty() && QFileInfo::exists(job.cacheEntry);
    }
    // The pyramid's levels depend on the source and on how its transforms are analysed.
    const QString levels = overview_cache::PyramidSettings(setup);
    job.pyramidEntry = overview_cache::EntryPath(job.sourceKey, levels, ".tvp");
    job.pyramidKey = (job.sourceKey + QLatin1String(" | ") + levels).toStdString();
    if (job.pyramidEntry.isEmpty())
        return;
    // Opened again when it was removed meanwhile (the budget, or by hand).
    if (m_strPyramidKey != job.pyramidEntry || !QFileInfo::exists(job.pyramidEntry)) {
        m_strPyramidKey = job.pyramidEntry;
        if (!m_pyramid)
            m_pyramid = std::make_unique<CLevelPyramid>();
        m_pyramid->Open(job.pyramidEntry.toStdString(), job.pyramidKey, setup.fftSize, setup.bins,
                        setup.totalFrames / setup.fftSize);
    }
    if (m_pyramid->IsOpen())
        job.pyramid = m_pyramid.get();
    job.fromPyramid = !job.fromCache && m_bUsePyramid && job.pyramid &&
                      PyramidLevelFor(job.pyramid->Shape(), setup.startFrame, setup.zoom, setup.width) >= 0;
    job.buildPyramid = whole && !job.fromCache && !job.fromPyramid && setup.zoom >= kPyramidBaseBlocks;
}

void CSpectrogramPlot::RunJob(AsyncRender& job, int workers, const std::function<void(int, int)>& onColumns,
                              const std::function<void()>& onProvisional)
{
    PlotRenderSetup& setup = job.setup;
    if (job.fromCache) {
        if (onColumns && job.result.missing > 0)
            onColumns(0, job.result.missing);
        return;
    }
    if (job.fromPyramid) {
        const int missing = DrawFromPyramid(*job.pyramid, setup, job.index, true);
        if (missing >= 0) {
            job.result.missing = missing;
            if (onColumns && missing > 0)
                onColumns(0, missing);
            return;
        }
        // A damaged pyramid is never trusted again: the samples draw, and the next whole rendering builds it anew.
        QFile::remove(job.pyramidEntry);
        job.pyramidChanged = true;
    }
    if (job.progressive && onProvisional) {
        job.provisional = QImage(setup.width, setup.height, QImage::Format_RGB32);
        if (!job.provisional.isNull()) {
            job.provisional.fill(Qt::black);
            PlotRenderSetup quick = setup;
            quick.bits = job.provisional.bits();
            quick.bytesPerLine = job.provisional.bytesPerLine();
            quick.provisional = true;
            if (!job.pyramid || job.pyramidChanged || DrawFromPyramid(*job.pyramid, quick, job.index, false) < 0)
                RenderPlotColumns(quick, workers, &job.cancel, {});
            job.provisionalReady = true;
            if (!job.cancel.load())
                onProvisional();
        }
    }
    CLevelPyramidBuilder builder;
    const int64_t blocks = setup.totalFrames / setup.fftSize;
    // The picture's own columns, unless a level of the pyramid has the same.
    int shownColumns = static_cast<int>(std::min<int64_t>(setup.width, (blocks + setup.zoom - 1) / setup.zoom));
    if (PyramidColumnFor(setup.zoom) == setup.zoom)
        shownColumns = 0;
    if (job.buildPyramid && QDir().mkpath(QFileInfo(job.pyramidEntry).path()) &&
        builder.Begin(job.pyramidEntry.toStdString(), job.pyramidKey, setup.fftSize, setup.bins, blocks, shownColumns,
                      setup.zoom))
        setup.pyramid = &builder;
    job.result = RenderPlotColumns(setup, workers, &job.cancel, onColumns);
    if (!setup.pyramid)
        return;
    // A source that changed while it was read gives no pyramid.
    if (job.cancel.load() || job.result.readFailed || overview_cache::SourceKey(job.sourcePath) != job.sourceKey)
        builder.Fail();
    setup.pyramid = nullptr;
    if (builder.Finish()) {
        overview_cache::RemoveStale(job.pyramidEntry);
        job.pyramidChanged = true;
    }
}

void CSpectrogramPlot::KeepJob(const AsyncRender& job)
{
    if (job.pyramidChanged)
        m_strPyramidKey.clear(); // opened again for the next rendering
    // A picture cut short by a failed read is not the source's picture.
    if (!job.fromCache && !job.cacheEntry.isEmpty() && !job.result.readFailed)
        overview_cache::Store(job.cacheEntry, m_bitmap, job.result.missing);
    if (job.pyramidChanged || (!job.fromCache && !job.cacheEntry.isEmpty()))
        overview_cache::KeepWithin(m_pDoc->CacheBudgetBytes());
}

bool CSpectrogramPlot::TakesLong(int width, int zoom, int fftSize) const
{
    const int64_t frames = int64_t{std::max(width, 0)} * std::clamp(zoom, 1, CTavirelDoc::kMaxZoom) * fftSize;
    return frames > m_nQuickBlocks * kWaveBlockFrames;
}

bool CSpectrogramPlot::IsQuick()
{
    const CTavirelDoc& doc = *m_pDoc;
    if (!IsStale() || !TakesLong(m_rcPlot.width(), doc.m_nZoom, doc.m_nFftSize) || m_async || !doc.m_bLoaded)
        return true;
    QImage picture;
    AsyncRender job;
    if (!MakeSetup(picture, &job.setup))
        return true;
    PlanJob(job, nullptr);
    KeepSpare(picture, false, RowsKey(job.setup.height, job.setup.bins));
    return job.fromCache || job.fromPyramid;
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
    AsyncRender job;
    if (!MakeSetup(picture, &job.setup))
        return;
    PlanJob(job, &picture);
    RunJob(job, m_nWorkers > 0 ? m_nWorkers : PlotWorkerCount(width), {}, {});
    const bool adopted = Adopt(picture, job.setup, job.result.missing);
    if (adopted)
        KeepJob(job);
    KeepSpare(picture, adopted, job.fromCache ? -1 : RowsKey(job.setup.height, job.setup.bins));
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

bool CSpectrogramPlot::RequestRender(std::function<void(int, int)> onColumns, std::function<void()> onDone,
                                     std::function<void()> onProvisional)
{
    CancelRender();
    CTavirelDoc& doc = *m_pDoc;
    if (!doc.m_bLoaded || !EnsureOpen())
        return false;
    auto job = std::make_unique<AsyncRender>();
    if (!MakeSetup(m_asyncPicture, &job->setup))
        return false;
    PlanJob(*job, &m_asyncPicture);
    job->progressive = TakesLong(job->setup.width, job->setup.zoom, job->setup.fftSize);
    const int workers = m_nWorkers > 0 ? m_nWorkers : PlotWorkerCount(job->setup.width);
    AsyncRender* const p = job.get();
    try {
        job->thread = std::thread([this, p, workers, onColumns = std::move(onColumns), onDone = std::move(onDone),
                                   onProvisional = std::move(onProvisional)] {
            RunJob(*p, workers, onColumns, onProvisional);
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
    m_bProvisional = false;
    if (job->cancel.load())
        return false;
    QImage picture = m_asyncPicture;
    const bool adopted = Adopt(picture, job->setup, job->result.missing);
    if (adopted)
        KeepJob(*job);
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
    if (m_async->pyramidChanged)
        m_strPyramidKey.clear();
    m_async.reset();
    if (m_bProvisional) {
        // The picture shows parts of a window that was never finished.
        m_bProvisional = false;
        m_pDoc->m_nDrawnStart = -1;
        m_nDrawnZoom = 0;
    }
}

void CSpectrogramPlot::TakeProvisional()
{
    if (!m_async || !m_async->provisionalReady.load() || m_async->provisional.size() != m_bitmap.size())
        return;
    m_bitmap.swap(m_async->provisional);
    m_nBitmapRows = RowsKey(m_async->setup.height, m_async->setup.bins); // drawn on black
    m_nDrawnStartFrame = m_async->setup.startFrame;                      // for the scales
    m_nDrawnZoom = m_async->setup.zoom;
    m_bProvisional = true;
    m_pDoc->m_nViewEnd = std::min(WindowEnd(m_async->setup), m_pDoc->m_nLengthSec);
}

void CSpectrogramPlot::TakeColumns(int x0, int x1)
{
    if (!m_bProvisional || !m_async || m_asyncPicture.size() != m_bitmap.size())
        return;
    x0 = std::clamp(x0, 0, m_bitmap.width());
    x1 = std::clamp(x1, x0, m_bitmap.width());
    const size_t bytes = static_cast<size_t>(x1 - x0) * sizeof(QRgb);
    for (int y = 0; y < m_bitmap.height() && bytes > 0; ++y)
        std::memcpy(reinterpret_cast<QRgb*>(m_bitmap.scanLine(y)) + x0,
                    reinterpret_cast<const QRgb*>(m_asyncPicture.constScanLine(y)) + x0, bytes);
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
