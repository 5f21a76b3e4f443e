#include "form/SpinArrows.h"

#include <cstdlib>

#include <QKeyEvent>
#include <QToolButton>
#include <QWheelEvent>

CSpinArrows::CSpinArrows(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
    m_btnUp = new QToolButton(this);
    m_btnDown = new QToolButton(this);
    m_btnUp->setArrowType(Qt::UpArrow);
    m_btnDown->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {m_btnUp, m_btnDown}) {
        b->setFocusPolicy(Qt::NoFocus); // a click focuses the control itself
        b->setAutoRepeat(true);
    }
    connect(m_btnUp, &QToolButton::clicked, this, [this] { DeltaPos(+1); });
    connect(m_btnDown, &QToolButton::clicked, this, [this] { DeltaPos(-1); });
}

void CSpinArrows::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Up)
        DeltaPos(+1);
    else if (event->key() == Qt::Key_Down)
        DeltaPos(-1);
    else
        QWidget::keyPressEvent(event);
}

void CSpinArrows::wheelEvent(QWheelEvent* event)
{
    // One step per notch (120 units), away from the user being up.
    m_nWheelRest += event->angleDelta().y();
    const int notches = m_nWheelRest / 120;
    m_nWheelRest -= notches * 120;
    for (int i = 0; i < std::abs(notches); ++i)
        DeltaPos(notches > 0 ? +1 : -1);
    event->accept();
}

void CSpinArrows::resizeEvent(QResizeEvent* /*event*/)
{
    const int upHeight = height() / 2;
    m_btnUp->setGeometry(0, 0, width(), upHeight);
    m_btnDown->setGeometry(0, upHeight, width(), height() - upHeight);
}

void CSpinArrows::DeltaPos(int iDelta)
{
    if (m_pfnDeltaPos)
        m_pfnDeltaPos(iDelta);
}
