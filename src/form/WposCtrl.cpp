#include "form/WposCtrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

const QColor kDarkBlue(0, 0, 128);      // the whole file
const QColor kLightBlue(128, 255, 255); // the window the spectrogram shows
const QColor kYellow(255, 255, 0);      // the output segment

} // namespace

CWposCtrl::CWposCtrl(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted from the off-screen picture and the edge, so the
    // background need not be erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    // A tab stop of the form; a click focuses it as well.
    setFocusPolicy(Qt::StrongFocus);
}

CWposCtrl::~CWposCtrl() = default;

void CWposCtrl::SetViewStart(int nSec)
{
    m_nViewStart = nSec;
    update();
}

void CWposCtrl::SetViewEnd(int nSec)
{
    m_nViewEnd = nSec;
    update();
}

void CWposCtrl::SetFrom(int nSec)
{
    m_nFrom = nSec;
    m_dFromRest = 0.0;
    update();
}

void CWposCtrl::SetTo(int nSec)
{
    m_nTo = nSec;
    m_dToRest = 0.0;
    update();
}

void CWposCtrl::SetSegmentSeconds(double dFromSec, double dToSec)
{
    const auto whole = [](double d) {
        return static_cast<int>(std::clamp(std::floor(d), -2147483648.0, 2147483647.0));
    };
    m_nFrom = whole(dFromSec);
    m_nTo = whole(dToSec);
    m_dFromRest = std::clamp(dFromSec - m_nFrom, 0.0, 1.0);
    m_dToRest = std::clamp(dToSec - m_nTo, 0.0, 1.0);
    update();
}

void CWposCtrl::SetPlayPosition(double dSec)
{
    if (dSec == m_dPlaySec)
        return;
    m_dPlaySec = dSec;
    update();
}

QRect CWposCtrl::ClientRect() const
{
    return rect().adjusted(kEdgePx, kEdgePx, -kEdgePx, -kEdgePx);
}

QSize CWposCtrl::sizeHint() const
{
    return QSize(310 + 2 * kEdgePx, 13 + 2 * kEdgePx);
}

// Seconds to pixels: multiply first, then divide, truncating toward zero. The
// product is formed in 64 bits so that long files on wide bars cannot overflow;
// wherever the 32-bit product fits, the result is the same.
int CWposCtrl::SecondsToPx(int nSec, int nWidthPx) const
{
    return static_cast<int>(int64_t{nWidthPx} * nSec / m_nLength);
}

// The same for a position between two whole seconds.
int CWposCtrl::SecondsToPx(int nSec, double dRest, int nWidthPx) const
{
    if (dRest <= 0.0)
        return SecondsToPx(nSec, nWidthPx);
    return static_cast<int>(std::floor(nWidthPx * (nSec + dRest) / m_nLength));
}

int CWposCtrl::PxToSeconds(int nPx, int nWidthPx) const
{
    return static_cast<int>(int64_t{m_nLength} * nPx / nWidthPx);
}

void CWposCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // The sunken client edge around the painted area.
    qDrawWinPanel(&painter, rect(), palette(), true);

    const QRect rcClient = ClientRect();
    m_rcClient = QRect(0, 0, rcClient.width(), rcClient.height());
    const int nWidthPx = m_rcClient.width();
    const int nHeightPx = m_rcClient.height();
    if (nWidthPx <= 0 || nHeightPx <= 0)
        return;

    m_bmpBar = QImage(nWidthPx, nHeightPx, QImage::Format_RGB32);
    m_bmpBar.fill(kDarkBlue);

    // A file shorter than one second has no scale: the bar alone is drawn.
    if (m_nLength > 0) {
        m_nFromPx = SecondsToPx(m_nFrom, m_dFromRest, nWidthPx);
        m_nToPx = SecondsToPx(m_nTo, m_dToRest, nWidthPx);
        m_nViewStartPx = SecondsToPx(m_nViewStart, nWidthPx);
        m_nViewEndPx = SecondsToPx(m_nViewEnd, nWidthPx);

        QPainter bar(&m_bmpBar);
        // The shown window is always at least one pixel wide, full height.
        const int nViewRightPx = m_nViewStartPx < m_nViewEndPx ? m_nViewEndPx : m_nViewStartPx + 1;
        bar.fillRect(QRect(m_nViewStartPx, 0, nViewRightPx - m_nViewStartPx, nHeightPx), kLightBlue);
        // The segment band over it; no minimum width, so equal ends draw nothing.
        const int nTopPx = nHeightPx * 3 / 8;
        const int nBottomPx = nHeightPx * 5 / 8;
        if (m_nFromPx < m_nToPx && nTopPx < nBottomPx)
            bar.fillRect(QRect(m_nFromPx, nTopPx, m_nToPx - m_nFromPx, nBottomPx - nTopPx), kYellow);
        m_nPlayPx = m_dPlaySec < 0.0 ? -1 : std::min(static_cast<int>(nWidthPx * m_dPlaySec / m_nLength), nWidthPx - 1);
        if (m_nPlayPx >= 0)
            bar.fillRect(QRect(m_nPlayPx, 0, 1, nHeightPx), Qt::white);
    }

    // One copy of the finished picture.
    painter.drawImage(rcClient.topLeft(), m_bmpBar);

    // Focus: a dotted frame just inside the edge that inverts what it covers,
    // so that it shows on every colour of the bar.
    if (hasFocus()) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.drawRect(rcClient.adjusted(1, 1, -2, -2));
    }
}

void CWposCtrl::mousePressEvent(QMouseEvent* event)
{
    // The bar handles its own clicks; they do not travel on to the form.
    event->accept();

    const QRect rcClient = ClientRect();
    const QPoint point = event->position().toPoint();
    const int nWidthPx = rcClient.width();
    if (m_nLength <= 0 || nWidthPx <= 0 || !rcClient.contains(point))
        return; // no scale, or a press on the edge

    const bool bControl = event->modifiers().testFlag(Qt::ControlModifier);
    const int nPx = point.x() - rcClient.left();
    if (event->button() == Qt::LeftButton) {
        const int nSec = PxToSeconds(nPx, nWidthPx);
        if (!bControl)
            Notify(WPOS_SETVIEW, nSec);
        else if (nSec < m_nTo + m_dToRest) // From can never reach To by clicking
            Notify(WPOS_SETFROM, nSec);
    } else if (event->button() == Qt::RightButton && bControl) {
        const int nSec = PxToSeconds(nPx, nWidthPx);
        if (nSec > m_nFrom + m_dFromRest)
            Notify(WPOS_SETTO, nSec);
    }
}

// The second press of a double click arrives here; it is not a click of its
// own, so a double click acts as one click.
void CWposCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void CWposCtrl::Notify(int kind, int nSec)
{
    if (m_pOwner && m_pfnNotify)
        m_pfnNotify(kind, nSec);
}
