// Marks and selections: From and To as frames, dragged across the picture
// (a time span, or with Shift a rectangle that adds a frequency band), their
// edges dragged finer at a finer zoom, the keys that set and move them, and
// the selection drawn over the picture with its measurements.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "doc/SourceAnnotations.h"
#include "display/PictureLevels.h"
#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "form/TavirelView.h"

namespace {

// Pointer travel, pixels, that turns a press into a drag.
constexpr int kDragThresholdPx = 4;
// How near a mark's edge a press grabs it, pixels.
constexpr int kEdgeReachPx = 3;

const QColor kSelectionFill(255, 255, 255, 56);
const QColor kSelectionEdge(255, 255, 0);
const QColor kLabelBack(0, 0, 0, 160);

// The frames a mean power is measured on at most: a selection of any length
// costs a few milliseconds, so the label follows a drag.
constexpr int64_t kMeasureFrames = int64_t{1} << 19;

// "20.48 ms" under a second, "20.480 s" from there on.
QString DurationText(double sec)
{
    return sec < 1.0 ? QString::asprintf("%.4g ms", sec * 1e3) : QString::asprintf("%.3f s", sec);
}

QAction* MakeKeyAction(QWidget* owner, const QKeySequence& key)
{
    auto* action = new QAction(owner);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    owner->addAction(action);
    return action;
}

} // namespace

void CTavirelView::CreateSelectActions()
{
    connect(MakeKeyAction(this, Qt::Key_BracketLeft), &QAction::triggered, this, [this] { SetMarkAtPointer(true); });
    connect(MakeKeyAction(this, Qt::Key_BracketRight), &QAction::triggered, this, [this] { SetMarkAtPointer(false); });
    connect(MakeKeyAction(this, Qt::SHIFT | Qt::Key_Left), &QAction::triggered, this, [this] { MoveNearerMark(-1); });
    connect(MakeKeyAction(this, Qt::SHIFT | Qt::Key_Right), &QAction::triggered, this, [this] { MoveNearerMark(1); });
    connect(MakeKeyAction(this, Qt::Key_Escape), &QAction::triggered, this, [this] { OnEscape(); });
}

void CTavirelView::OnSourceLoaded()
{
    CTavirelDoc* doc = GetDocument();
    m_drag = Drag::None;
    m_bSelectionShown = false;
    doc->m_selBand.reset();
    doc->m_nFromFrame = 0;
    doc->m_nToFrame = FrameOfSecond(*doc, doc->m_nLengthSec);
    const StoredSegments stored = m_segmentStore.Load(doc->m_strSrcPath, static_cast<int64_t>(doc->m_nDataFrames));
    // A recording's own annotations fill the list until the user keeps one of their own for it.
    QStringList skipped;
    doc->m_segments = stored.bFound ? stored.list
                                    : SourceAnnotations(doc->m_strSrcPath,
                                                        static_cast<int64_t>(doc->m_nDataFrames), &skipped);
    m_sourceIdentity = stored.identity;
    UpdateSaveBandEnabled();
    m_strSegmentNote = skipped.isEmpty() ? stored.strMessage : skipped.join(QLatin1Char(' '));
    emit SegmentsChanged(-1);
    if (stored.bSourceChanged && !stored.list.IsEmpty())
        ReportError(stored.strMessage);
}

// ---- marks ----

void CTavirelView::SetMarks(int64_t nFromFrame, int64_t nToFrame)
{
    CTavirelDoc* doc = GetDocument();
    const int64_t limit = doc->MarkLimitFrame();
    nToFrame = std::clamp<int64_t>(nToFrame, 1, std::max<int64_t>(limit, 1));
    nFromFrame = std::clamp<int64_t>(nFromFrame, 0, nToFrame - 1);
    doc->m_nFromFrame = nFromFrame;
    doc->m_nToFrame = nToFrame;
    m_bSelectionShown = true;
    const CTimeBase& tb = doc->m_timeBase;
    m_wndPosBar.SetSegmentSeconds(tb.SecondsOfFrame(nFromFrame), tb.SecondsOfFrame(nToFrame));
    UpdateSegmentLabels();
    UpdateSaveBandEnabled();
    ShowSelectionStatus();
    GetLayoutWindow()->update(PlotAreaRect());
}

QString CTavirelView::MarkText(int64_t nFrame) const
{
    const CTavirelDoc* doc = GetDocument();
    const CTimeBase& tb = doc->m_timeBase;
    const int64_t sec = tb.SecondOfFrame(nFrame);
    const bool bWhole = tb.FrameOfWholeSeconds(sec) == nFrame;
    const int ms = static_cast<int>(tb.MillisecondOfFrame(nFrame) - sec * 1000);
    const QString secs = bWhole ? QString::asprintf("%lld Secs", static_cast<long long>(sec))
                                : QString::asprintf("%lld.%03d Secs", static_cast<long long>(sec), ms);
    SYSTEMTIME at{};
    if (!doc->RecordingTimeOfFrame(nFrame, at))
        return secs;
    // Date and time as the form shows them; the hour without a leading zero.
    QString time = QString::fromLocal8Bit(CTime(at, -1).Format("%m/%d/%Y %-H:%M:%S").c_str());
    if (!bWhole || at.wMilliseconds != 0)
        time += QString::asprintf(".%03d", at.wMilliseconds);
    return time + QStringLiteral(" (") + secs + QLatin1Char(')');
}

int64_t CTavirelView::ColumnFrames() const
{
    return int64_t{GetDocument()->m_nZoom} * GetDocument()->m_nFftSize;
}

int64_t CTavirelView::FrameAtX(int x) const
{
    const CTavirelDoc* doc = GetDocument();
    const QRect rc = m_pPlot != nullptr ? m_pPlot->m_rcPlot : QRect();
    const int column = std::clamp(x - rc.left(), 0, std::max(rc.width(), 0));
    const int64_t frame = doc->ViewStartFrame() + column * ColumnFrames();
    return std::clamp<int64_t>(frame, 0, static_cast<int64_t>(doc->m_nDataFrames));
}

int CTavirelView::XOfFrame(int64_t nFrame) const
{
    const QRect rc = m_pPlot != nullptr ? m_pPlot->m_rcPlot : QRect();
    const int64_t columns = (nFrame - GetDocument()->ViewStartFrame()) / ColumnFrames();
    return rc.left() + static_cast<int>(std::clamp<int64_t>(columns, -1, int64_t{rc.width()} + 1));
}

// Rows run from the first display bin at the top; I/Q bins centre on the tuning.
double CTavirelView::FrequencyAtY(int y) const
{
    const CTavirelDoc* doc = GetDocument();
    const QRect rc = m_pPlot != nullptr ? m_pPlot->m_rcPlot : QRect();
    const double binHz = static_cast<double>(doc->m_wfSource.nSamplesPerSec) / doc->m_nFftSize;
    const double bin =
        static_cast<double>(std::clamp(y - rc.top(), 0, rc.height())) * doc->m_nDisplayBins / std::max(rc.height(), 1);
    if (!doc->m_bTwoChannel)
        return bin * binHz;
    return doc->m_auxi.dwCenterFreq + (bin - (doc->m_nFftSize / 2 - 1)) * binHz;
}

int CTavirelView::YOfFrequency(double dHz) const
{
    const CTavirelDoc* doc = GetDocument();
    const QRect rc = m_pPlot != nullptr ? m_pPlot->m_rcPlot : QRect();
    const double binHz = static_cast<double>(doc->m_wfSource.nSamplesPerSec) / doc->m_nFftSize;
    double bin = dHz / binHz;
    if (doc->m_bTwoChannel)
        bin = (dHz - doc->m_auxi.dwCenterFreq) / binHz + (doc->m_nFftSize / 2 - 1);
    const double y = bin * rc.height() / std::max(doc->m_nDisplayBins, 1);
    return rc.top() + static_cast<int>(std::lround(std::clamp(y, -1.0, rc.height() + 1.0)));
}

SegmentBand CTavirelView::BandBetween(int y0, int y1) const
{
    const double a = FrequencyAtY(y0), b = FrequencyAtY(y1);
    return SegmentBand{std::min(a, b), std::max(a, b)};
}

void CTavirelView::SetMarkAtPointer(bool bFrom)
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || m_pPlot == nullptr || m_bSaving)
        return;
    const QRect rc = m_pPlot->m_rcPlot;
    const bool bOver = m_bPointerIn && rc.contains(m_ptPointer);
    const int x = bOver ? m_ptPointer.x() : bFrom ? rc.left() : rc.left() + rc.width();
    const int64_t frame = FrameAtX(x);
    // A mark set beyond the other one sends that one to the recording's edge.
    if (bFrom)
        SetMarks(frame, frame < doc->m_nToFrame ? doc->m_nToFrame : doc->MarkLimitFrame());
    else if (frame > 0)
        SetMarks(frame > doc->m_nFromFrame ? doc->m_nFromFrame : 0, frame);
}

void CTavirelView::MoveNearerMark(int nColumns)
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || m_pPlot == nullptr || m_bSaving)
        return;
    const QRect rc = m_pPlot->m_rcPlot;
    const bool bOver = m_bPointerIn && rc.contains(m_ptPointer);
    const int64_t at = FrameAtX(bOver ? m_ptPointer.x() : rc.center().x());
    const int64_t step = nColumns * ColumnFrames();
    const bool bFrom = std::llabs(at - doc->m_nFromFrame) < std::llabs(at - doc->m_nToFrame);
    if (bFrom && doc->m_nFromFrame + step >= 0 && doc->m_nFromFrame + step < doc->m_nToFrame)
        SetMarks(doc->m_nFromFrame + step, doc->m_nToFrame);
    else if (!bFrom && doc->m_nToFrame + step > doc->m_nFromFrame && doc->m_nToFrame + step <= doc->MarkLimitFrame())
        SetMarks(doc->m_nFromFrame, doc->m_nToFrame + step);
}

void CTavirelView::OnEscape()
{
    CTavirelDoc* doc = GetDocument();
    if (m_drag != Drag::None) {
        const Drag was = m_drag;
        m_drag = Drag::None;
        if (was != Drag::Pressed) {
            doc->m_selBand = m_dragBand;
            SetMarks(m_nDragFromFrame, m_nDragToFrame);
        }
        return;
    }
    if (doc->m_selBand) {
        doc->m_selBand.reset();
        UpdateSaveBandEnabled();
        ShowSelectionStatus();
        GetLayoutWindow()->update(PlotAreaRect());
    }
}

// ---- the mouse on the picture ----

int CTavirelView::MarkEdgeAt(const QPoint& point) const
{
    const CTavirelDoc* doc = GetDocument();
    if (!m_bSelectionShown || m_pPlot == nullptr || !m_pPlot->m_rcPlot.contains(point))
        return 0;
    const int dFrom = std::abs(point.x() - XOfFrame(doc->m_nFromFrame));
    const int dTo = std::abs(point.x() - XOfFrame(doc->m_nToFrame));
    if (std::min(dFrom, dTo) > kEdgeReachPx)
        return 0;
    return dFrom < dTo ? 1 : 2;
}

void CTavirelView::UpdateSelectionCursor(const QPoint& point)
{
    if (m_bRenderPending || m_bSaving)
        return; // the busy cursor stays
    if (MarkEdgeAt(point) != 0)
        GetLayoutWindow()->setCursor(Qt::SizeHorCursor);
    else
        GetLayoutWindow()->unsetCursor();
}

void CTavirelView::OnLButtonDown(Qt::KeyboardModifiers flags, const QPoint& point)
{
    const CTavirelDoc* doc = GetDocument();
    const QRect rc = m_pPlot != nullptr ? m_pPlot->m_rcPlot : QRect();
    if (rc.width() <= 0 || !rc.contains(point) || m_bSaving)
        return;
    m_ptPress = point;
    m_bPressShift = flags.testFlag(Qt::ShiftModifier);
    m_nDragFromFrame = doc->m_nFromFrame;
    m_nDragToFrame = doc->m_nToFrame;
    m_dragBand = doc->m_selBand;
    const int edge = doc->m_bLoaded ? MarkEdgeAt(point) : 0;
    m_drag = edge == 1 ? Drag::FromEdge : edge == 2 ? Drag::ToEdge : Drag::Pressed;
}

void CTavirelView::UpdateDrag(const QPoint& point)
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || !doc->m_wave.m_bInOpen) {
        m_drag = Drag::None;
        return;
    }
    if (m_drag == Drag::Pressed) {
        const QPoint moved = point - m_ptPress;
        if (std::max(std::abs(moved.x()), std::abs(moved.y())) < kDragThresholdPx)
            return;
        m_drag = m_bPressShift ? Drag::Rectangle : Drag::Span;
    }
    const int64_t at = FrameAtX(point.x());
    switch (m_drag) {
    case Drag::FromEdge: SetMarks(std::min(at, doc->m_nToFrame - 1), doc->m_nToFrame); break;
    case Drag::ToEdge: SetMarks(doc->m_nFromFrame, std::max(at, doc->m_nFromFrame + 1)); break;
    case Drag::Span:
    case Drag::Rectangle: {
        const int64_t start = FrameAtX(m_ptPress.x());
        if (start == at)
            break; // no width yet: the marks stay as they are
        if (m_drag == Drag::Rectangle)
            doc->m_selBand = BandBetween(m_ptPress.y(), point.y());
        else
            doc->m_selBand.reset();
        SetMarks(std::min(start, at), std::max(start, at));
        break;
    }
    default: break;
    }
}

void CTavirelView::FinishDrag(const QPoint& point)
{
    CTavirelDoc* doc = GetDocument();
    UpdateDrag(point);
    const bool bSpan = m_drag == Drag::Span || m_drag == Drag::Rectangle;
    m_drag = Drag::None;
    if (!bSpan)
        return;
    const int64_t start = FrameAtX(m_ptPress.x()), end = FrameAtX(point.x());
    if (start != end)
        return;
    // A drag of no width in time is no selection: the marks go back.
    doc->m_selBand = m_dragBand;
    SetMarks(m_nDragFromFrame, m_nDragToFrame);
    m_wndStatus->setText(start >= static_cast<int64_t>(doc->m_nDataFrames)
                             ? QStringLiteral("Selection past the recording's end: nothing selected")
                             : QStringLiteral("Selection of no width: drag across the time"));
    m_ptNotice = point; // the readout leaves it there until the pointer moves on
    m_bNotice = true;
}

void CTavirelView::OnLButtonUp(Qt::KeyboardModifiers /*flags*/, const QPoint& point)
{
    const Drag was = m_drag;
    if (was == Drag::None)
        return;
    if (was == Drag::Pressed) {
        m_drag = Drag::None;
        CentreOnClick(m_ptPress); // a plain click moves the window, as it always has
        return;
    }
    FinishDrag(point);
}

// ---- drawing ----

void CTavirelView::PaintSelection(QPainter* painter)
{
    const CTavirelDoc* doc = GetDocument();
    if (!m_bSelectionShown || !doc->m_bLoaded || m_pPlot == nullptr || m_pPlot->m_rcPlot.isEmpty())
        return;
    const QRect rc = m_pPlot->m_rcPlot;
    const int x0 = XOfFrame(doc->m_nFromFrame), x1 = XOfFrame(doc->m_nToFrame);
    int y0 = rc.top(), y1 = rc.top() + rc.height();
    if (doc->m_selBand) {
        const int a = YOfFrequency(doc->m_selBand->dLowHz), b = YOfFrequency(doc->m_selBand->dHighHz);
        y0 = std::min(a, b);
        y1 = std::max(a, b);
    }
    const QRect area = QRect(QPoint(x0, y0), QPoint(std::max(x1, x0 + 1) - 1, std::max(y1, y0 + 1) - 1)) & rc;
    if (area.isEmpty())
        return;
    painter->save();
    painter->setClipRect(rc, Qt::IntersectClip);
    painter->fillRect(area, kSelectionFill);
    painter->setPen(QPen(kSelectionEdge, 1));
    for (int x : {x0, x1})
        if (x >= rc.left() && x <= rc.right())
            painter->drawLine(x, area.top(), x, area.bottom());
    if (doc->m_selBand)
        for (int y : {area.top(), area.bottom()})
            painter->drawLine(area.left(), y, area.right(), y);
    PaintSelectionLabel(painter, area);
    painter->restore();
}

void CTavirelView::PaintSelectionLabel(QPainter* painter, const QRect& area)
{
    const QString text = SelectionMeasureText();
    if (text.isEmpty())
        return;
    const QRect rc = m_pPlot->m_rcPlot;
    const QFontMetrics metrics(painter->font());
    QRect box(0, 0, metrics.horizontalAdvance(text) + 6, metrics.height() + 2);
    // Just above the selection, or below it, so that it hides none of it;
    // inside its top where neither has room (a span of the whole height).
    box.moveBottomLeft(QPoint(area.left(), area.top() - 2));
    if (box.top() < rc.top())
        box.moveTop(area.bottom() + 2);
    if (box.bottom() > rc.bottom())
        box.moveTop(area.top() + 2);
    box.moveRight(std::min(box.right(), rc.right() - 1));
    box.moveLeft(std::max(box.left(), rc.left() + 1));
    painter->fillRect(box, kLabelBack);
    painter->setPen(kSelectionEdge);
    painter->drawText(box, Qt::AlignCenter, text);
}

// ---- measurements ----

QString FrequencySpanText(double hz)
{
    if (hz >= 1e6)
        return QString::asprintf("%.4g MHz", hz / 1e6);
    if (hz >= 1e3)
        return QString::asprintf("%.4g kHz", hz / 1e3);
    return QString::asprintf("%.4g Hz", hz);
}

std::pair<int, int> CTavirelView::BinsOfBand(const SegmentBand& band) const
{
    const CTavirelDoc* doc = GetDocument();
    const double binHz = static_cast<double>(doc->m_wfSource.nSamplesPerSec) / doc->m_nFftSize;
    // The display bin of a frequency, as FrequencyAtY places the bins.
    const auto binOf = [&](double hz) {
        return doc->m_bTwoChannel ? (hz - doc->m_auxi.dwCenterFreq) / binHz + (doc->m_nFftSize / 2 - 1) : hz / binHz;
    };
    const double b0 = binOf(band.dLowHz), b1 = binOf(band.dHighHz);
    const int last = doc->m_nDisplayBins - 1;
    int first = static_cast<int>(std::clamp(std::ceil(b0), 0.0, double(last)));
    int end = static_cast<int>(std::clamp(std::ceil(b1) - 1, 0.0, double(last)));
    if (end < first) // narrower than a bin: the nearest one
        first = end = static_cast<int>(std::clamp(std::lround((b0 + b1) / 2), 0L, long{last}));
    return {first, end};
}

double CTavirelView::SelectionMeanPowerDb() const
{
    const CTavirelDoc* doc = GetDocument();
    const int64_t end = std::min(doc->m_nToFrame, static_cast<int64_t>(doc->m_nDataFrames));
    const MeasureKey key{doc->m_nFromFrame, end, doc->m_selBand, doc->m_nFftSize, doc->m_nWindow};
    if (key == m_measureKey || m_bSaving) // a save holds the source: the last value stays
        return m_dMeasuredDb;
    const auto [first, last] = doc->m_selBand ? BinsOfBand(*doc->m_selBand) : std::pair{0, doc->m_nDisplayBins - 1};
    const PlotRenderSetup setup = m_pPlot->WindowSetup(QSize(1, 1), 1);
    m_dMeasuredDb = MeanPowerDb(setup, key.nFrom, key.nTo - key.nFrom, first, last,
                                std::max<int64_t>(1, kMeasureFrames / doc->m_nFftSize));
    m_measureKey = key;
    return m_dMeasuredDb;
}

QString CTavirelView::SelectionMeasureText() const
{
    const CTavirelDoc* doc = GetDocument();
    const double rate = doc->m_wfSource.nSamplesPerSec;
    if (!m_bSelectionShown || !doc->m_bLoaded || m_pPlot == nullptr || rate <= 0 ||
        doc->m_nToFrame <= doc->m_nFromFrame)
        return QString();
    const double sec = static_cast<double>(doc->m_nToFrame - doc->m_nFromFrame) / rate;
    QString text = QStringLiteral("Δt ") + DurationText(sec) + QStringLiteral("  1/Δt ") + FrequencySpanText(1.0 / sec);
    if (doc->m_selBand)
        text += QStringLiteral("  BW ") + FrequencySpanText(doc->m_selBand->dHighHz - doc->m_selBand->dLowHz);
    const double db = SelectionMeanPowerDb();
    if (std::isfinite(db))
        text += QString::asprintf("  Mean %.1f dB", db);
    return text;
}
