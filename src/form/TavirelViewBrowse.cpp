// Browsing the recording: the View commands (zoom and row mode), scrolling by
// blocks from the keyboard and the wheel, renderings off the UI thread, and the
// readouts of time, frequency and level under the pointer.
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "form/TavirelView.h"

namespace {

// One notch of a mouse wheel, in its angle units.
constexpr int kWheelNotch = 120;

QAction* MakeAction(QWidget* owner, const QString& text, std::initializer_list<QKeySequence> keys)
{
    auto* action = new QAction(text, owner);
    action->setShortcuts(QList<QKeySequence>(keys));
    action->setShortcutContext(Qt::WindowShortcut);
    owner->addAction(action);
    return action;
}

} // namespace

QString RadioFrequencyText(double hz)
{
    if (std::fabs(hz) >= 1e6)
        return QString::asprintf("%.6f MHz", hz / 1e6);
    return QString::asprintf("%.3f kHz", hz / 1e3);
}

void CTavirelView::CreateViewActions()
{
    m_actZoomIn = MakeAction(this, QStringLiteral("Zoom &In"), {Qt::Key_Plus, Qt::Key_Equal});
    m_actZoomOut = MakeAction(this, QStringLiteral("Zoom &Out"), {Qt::Key_Minus});
    m_actZoomWhole = MakeAction(this, QStringLiteral("&Whole Recording"), {Qt::Key_W});
    m_actZoomActual = MakeAction(this, QStringLiteral("&Actual Size"), {Qt::Key_1});
    m_actSeparator = new QAction(this);
    m_actSeparator->setSeparator(true);
    m_actRowsStrongest = MakeAction(this, QStringLiteral("&Strongest Bin per Row"), {});
    m_actRowsStrongest->setCheckable(true);
    connect(m_actZoomIn, &QAction::triggered, this, [this] { ZoomBy(+1); });
    connect(m_actZoomOut, &QAction::triggered, this, [this] { ZoomBy(-1); });
    connect(m_actZoomWhole, &QAction::triggered, this, [this] { ZoomWhole(); });
    connect(m_actZoomActual, &QAction::triggered, this, [this] { SetZoom(1); });
    connect(m_actRowsStrongest, &QAction::toggled, this, [this](bool on) { SetStrongestRows(on); });

    // Keys without a menu entry: moves of the window.
    struct Move {
        Qt::Key key;
        std::function<void()> run;
    };
    const Move moves[] = {
        {Qt::Key_Left, [this] { ScrollBy(-ScrollStepBlocks()); }},
        {Qt::Key_Right, [this] { ScrollBy(ScrollStepBlocks()); }},
        {Qt::Key_PageUp, [this] { ScrollBy(-WindowBlocks()); }},
        {Qt::Key_PageDown, [this] { ScrollBy(WindowBlocks()); }},
        {Qt::Key_Home, [this] { ScrollTo(0); }},
        {Qt::Key_End, [this] { ScrollTo(LastStartBlock()); }},
    };
    for (const Move& m : moves)
        connect(MakeAction(this, QString(), {m.key}), &QAction::triggered, this, m.run);
}

QList<QAction*> CTavirelView::ViewActions() const
{
    return QList<QAction*>{m_actZoomIn,     m_actZoomOut,   m_actZoomWhole,
                           m_actZoomActual, m_actSeparator, m_actRowsStrongest} +
           PictureActions() + PlayActions();
}

int CTavirelView::SecondOfFrame(int64_t nFrame) const
{
    return static_cast<int>(std::clamp<int64_t>(GetDocument()->m_timeBase.SecondOfFrame(nFrame), 0, INT_MAX));
}

int64_t CTavirelView::ViewStartBlock() const
{
    return GetDocument()->ViewStartFrame() / GetDocument()->m_nFftSize;
}

int64_t CTavirelView::WindowBlocks() const
{
    return int64_t{std::max(PictureRect().width(), 1)} * GetDocument()->m_nZoom;
}

int64_t CTavirelView::LastStartBlock() const
{
    return std::max<int64_t>(GetDocument()->DataBlocks() - WindowBlocks(), 0);
}

int64_t CTavirelView::ScrollStepBlocks() const
{
    return std::max<int64_t>(WindowBlocks() / 10, 1);
}

void CTavirelView::ScrollTo(int64_t nBlock)
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || m_pPlot == nullptr || m_bSaving)
        return;
    // At zooms the level pyramid draws, windows start on its columns (less than a picture column away).
    if (const int64_t c = PyramidColumnFor(doc->m_nZoom))
        nBlock = (nBlock + c / 2) / c * c;
    doc->m_nViewStartBlock = std::clamp<int64_t>(nBlock, 0, LastStartBlock());
    doc->m_nViewStart = SecondOfFrame(doc->ViewStartFrame());
    if (doc->m_wave.m_bInOpen)
        doc->m_wave.SeekFrame(doc->ViewStartFrame());
    m_wndPosBar.SetViewStart(doc->m_nViewStart);
    m_bViewStatusStale = true;
    RequestPlot();
}

void CTavirelView::ScrollBy(int64_t nBlocks)
{
    ScrollTo(ViewStartBlock() + nBlocks);
}

int CTavirelView::WholeZoom() const
{
    const CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded)
        return CTavirelDoc::kMaxZoom;
    const int64_t blocks = doc->DataBlocks();
    const int64_t width = std::max(PictureRect().width(), 1);
    return static_cast<int>(std::clamp<int64_t>((blocks + width - 1) / width, 1, CTavirelDoc::kMaxZoom));
}

void CTavirelView::SetZoom(int nZoom)
{
    CTavirelDoc* doc = GetDocument();
    if (m_bSaving)
        return;
    nZoom = std::clamp(nZoom, 1, WholeZoom());
    if (nZoom == doc->m_nZoom)
        return;
    const int64_t centre = ViewStartBlock() + WindowBlocks() / 2;
    doc->m_nZoom = nZoom;
    ScrollTo(centre - WindowBlocks() / 2);
}

void CTavirelView::ZoomBy(int nSteps)
{
    // Powers of two, and the whole recording's zoom (any number) between two of them.
    int64_t zoom = GetDocument()->m_nZoom;
    for (; nSteps > 0; --nSteps) {
        const int64_t below = int64_t{1} << CTavirelDoc::ZoomStep(static_cast<int>(zoom));
        zoom = below < zoom ? below : std::max<int64_t>(zoom / 2, 1);
    }
    for (; nSteps < 0; ++nSteps)
        zoom =
            std::min<int64_t>((int64_t{1} << CTavirelDoc::ZoomStep(static_cast<int>(zoom))) * 2, CTavirelDoc::kMaxZoom);
    SetZoom(static_cast<int>(zoom));
}

void CTavirelView::ZoomWhole()
{
    SetZoom(WholeZoom());
    ScrollTo(0);
}

void CTavirelView::SetStrongestRows(bool bStrongest)
{
    CTavirelDoc* doc = GetDocument();
    const int mode = bStrongest ? PLOT_ROWS_STRONGEST_BIN : PLOT_ROWS_FIRST_BIN;
    if (m_actRowsStrongest->isChecked() != bStrongest)
        m_actRowsStrongest->setChecked(bStrongest); // comes back here through toggled
    if (doc->m_nRowMode == mode || m_bSaving)
        return;
    doc->m_nRowMode = mode;
    RequestPlot();
}

void CTavirelView::wheelEvent(QWheelEvent* event)
{
    const QPoint point = GetLayoutWindow()->mapFrom(viewport(), event->position().toPoint());
    const QWidget* bar = &m_wndPosBar;
    if (!PlotAreaRect().contains(point) && !bar->geometry().contains(point)) {
        CResizableFormView::wheelEvent(event);
        return;
    }
    event->accept();
    m_nWheelRest += event->angleDelta().y();
    const int notches = m_nWheelRest / kWheelNotch;
    m_nWheelRest -= notches * kWheelNotch;
    if (notches == 0)
        return;
    // Turning away from the user goes back in time, or zooms in with Ctrl.
    if (event->modifiers() & Qt::ControlModifier)
        ZoomBy(notches);
    else
        ScrollBy(-notches * ScrollStepBlocks());
}

void CTavirelView::RequestPlot()
{
    CTavirelDoc* doc = GetDocument();
    if (m_pPlot == nullptr || !doc->m_bLoaded)
        return;
    // A plot area of a new size needs a new picture first.
    if (!m_pPlot->Fit(PictureRect()) || m_pPlot->m_bitmap.isNull()) {
        RefreshPlot();
        return;
    }
    // Reports from the rendering's threads come to the UI thread; only the latest rendering's count.
    const uint64_t generation = ++m_nRenderGeneration;
    auto post = [this, generation](std::function<void()> run) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, run = std::move(run)] {
                if (generation == m_nRenderGeneration && m_bRenderPending && m_pPlot != nullptr)
                    run();
            },
            Qt::QueuedConnection);
    };
    auto onColumns = [this, post](int x0, int x1) {
        post([this, x0, x1] {
            m_pPlot->TakeColumns(x0, x1);
            if (m_pPlot->IsProvisional())
                GetLayoutWindow()->update(PlotAreaRect());
        });
    };
    auto onProvisional = [this, post] {
        post([this] {
            m_pPlot->TakeProvisional();
            m_wndPosBar.SetViewEnd(GetDocument()->m_nViewEnd);
            GetLayoutWindow()->update(PlotAreaRect());
            ShowViewStatus();
        });
    };
    auto onDone = [this, generation] {
        QMetaObject::invokeMethod(
            this, [this, generation] { OnRenderDone(generation); }, Qt::QueuedConnection);
    };
    m_bRenderPending = m_pPlot->RequestRender(onColumns, onDone, onProvisional);
    if (m_bRenderPending) {
        GetLayoutWindow()->setCursor(Qt::BusyCursor); // the window still answers meanwhile
        return;
    }
    if (doc->m_bLoaded)
        RenderHere(); // could not start a worker: rendered here
    else
        AfterRendering(true); // the source is gone
}

void CTavirelView::OnRenderDone(uint64_t nGeneration)
{
    if (nGeneration != m_nRenderGeneration || !m_bRenderPending || m_pPlot == nullptr)
        return;
    m_bRenderPending = false;
    GetLayoutWindow()->unsetCursor();
    CTavirelDoc* doc = GetDocument();
    const bool bWasLoaded = doc->m_bLoaded;
    m_pPlot->FinishRender();
    m_wndPosBar.SetViewEnd(doc->m_nViewEnd);
    GetLayoutWindow()->update(PlotAreaRect());
    AfterRendering(bWasLoaded);
}

bool CTavirelView::StopRender()
{
    if (!m_bRenderPending)
        return false;
    m_bRenderPending = false;
    GetLayoutWindow()->unsetCursor();
    if (m_pPlot != nullptr)
        m_pPlot->CancelRender();
    return true;
}

void CTavirelView::PaintPicture(QPainter* painter)
{
    const QImage& picture = m_pPlot->m_bitmap;
    if (!picture.isNull())
        painter->drawImage(m_pPlot->m_rcPlot.topLeft(), picture);
    PaintAxes(painter);
    PaintPlayMarks(painter);
}

QString CTavirelView::CentreFrequencyText() const
{
    const CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || doc->m_auxi.dwCenterFreq == 0)
        return QString();
    return QStringLiteral("Centre ") + RadioFrequencyText(doc->m_auxi.dwCenterFreq);
}

QString CTavirelView::ReadoutAt(const QPoint& point) const
{
    const CTavirelDoc* doc = GetDocument();
    const QRect rc = m_pPlot->m_rcPlot;
    const double rate = doc->m_wfSource.nSamplesPerSec;
    if (rc.isEmpty() || rate <= 0)
        return QString();
    const int x = point.x() - rc.left();
    const int y = point.y() - rc.top();

    // Time: the first frame of the pointer's column, as the bar and the labels count seconds.
    const int64_t frame = doc->ViewStartFrame() + int64_t{x} * doc->m_nZoom * doc->m_nFftSize;
    if (frame >= static_cast<int64_t>(doc->m_nDataFrames))
        return QString();
    const int64_t ms = doc->m_timeBase.MillisecondOfFrame(frame);
    const int64_t wholeSec = ms / 1000;
    const int millis = static_cast<int>(ms % 1000);
    QString time = QString::asprintf("%lld.%03d s", static_cast<long long>(wholeSec), millis);
    SYSTEMTIME at{};
    if (doc->m_stStart.wYear > 2000 && AddUtcSeconds(doc->m_stStart, wholeSec, at))
        time = QString::fromLocal8Bit(CTime(at, -1).Format("%H:%M:%S").c_str()) + QString::asprintf(".%03d", millis);
    const QString cursor = QString::asprintf("Cursor = %lld Sec  ", static_cast<long long>(wholeSec));

    // Frequency: the first display bin drawn on the pointer's row.
    const int64_t bins = doc->m_nDisplayBins;
    const int64_t bin = (int64_t{y} * bins + rc.height() - 1) / rc.height();
    const double binHz = rate / doc->m_nFftSize;
    const QString freq = doc->m_bTwoChannel
                             ? RadioFrequencyText(doc->m_auxi.dwCenterFreq + (bin - (doc->m_nFftSize / 2 - 1)) * binHz)
                             : QString::asprintf("%.0f Hz", bin * binHz);

    // Level: the colour index of the pixel, back on the dB scale it was drawn with.
    QString level;
    if (m_pPlot->m_bitmap.rect().contains(x, y)) {
        const QRgb pixel = m_pPlot->m_bitmap.pixel(x, y) & 0xFFFFFF;
        for (int e = 0; e < 256; ++e) {
            const uint32_t c = doc->m_palette[static_cast<size_t>(e)];
            if (qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF) == (pixel | 0xFF000000)) {
                const double ref = doc->m_nRefLevel;
                level = QString::asprintf("  %.0f dB", ref + (e - 255) * (ref - doc->BottomLevelDb()) / 255.0);
                break;
            }
        }
    }
    return cursor + time + QStringLiteral("  ") + freq + level;
}
