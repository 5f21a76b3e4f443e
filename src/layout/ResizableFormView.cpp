#include "layout/ResizableFormView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>

// The form itself: the widget inside the scroll area that holds the controls.
// It hands its painting and its pointer input to the view.
class CFormSurface : public QWidget {
public:
    explicit CFormSurface(CResizableFormView* view) : QWidget(nullptr), m_pView(view)
    {
        setMouseTracking(true); // pointer moves arrive without a button pressed
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        // Qt has already filled the background beneath the controls and
        // composes them over whatever is painted here.
        QPainter painter(this);
        QRegion clip(rect());
        m_pView->ClipControlsForErase(clip);
        painter.setClipRegion(clip);
        m_pView->OnDraw(&painter);
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        m_pView->OnMouseMove(event->modifiers(), event->position().toPoint());
        event->accept(); // the form is the last stop for pointer input
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            m_pView->OnLButtonDown(event->modifiers(), event->position().toPoint());
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            m_pView->OnLButtonUp(event->modifiers(), event->position().toPoint());
        event->accept();
    }

private:
    CResizableFormView* m_pView;
};

CResizableFormView::CResizableFormView(QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false); // the form's size is ours: never below the design size
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);
    m_pForm = new CFormSurface(this);
    setWidget(m_pForm);
}

CResizableFormView::~CResizableFormView()
{
    // The entries point at the form's children; drop them before the form goes.
    m_entries.clear();
    m_nAnchored = 0;
}

void CResizableFormView::SetDesignSize(const QSize& sizePx)
{
    m_sizeDesign = sizePx;
    if (m_bLayoutReady)
        OnSize();
    else
        m_pForm->resize(sizePx);
}

void CResizableFormView::OnInitialUpdate()
{
    UpdateData(false);
    m_bLayoutReady = true;
    OnSize();
}

bool CResizableFormView::UpdateData(bool /*bSaveAndValidate*/)
{
    return true;
}

void CResizableFormView::OnDraw(QPainter* /*painter*/) {}

void CResizableFormView::OnMouseMove(Qt::KeyboardModifiers /*flags*/, const QPoint& /*point*/) {}

void CResizableFormView::OnLButtonUp(Qt::KeyboardModifiers /*flags*/, const QPoint& /*point*/) {}

void CResizableFormView::OnLButtonDown(Qt::KeyboardModifiers /*flags*/, const QPoint& /*point*/) {}

QRect CResizableFormView::GetLayoutArea()
{
    QRect area(QPoint(0, 0), viewport()->size());
    if (!m_bLayoutReady) {
        // Before the first placement the anchors are measured against the design.
        area.setSize(m_sizeDesign);
        return area;
    }
    // Below the design size the controls keep their design places; the scroll
    // bars show the rest.
    if (area.width() < m_sizeDesign.width())
        area.setWidth(m_sizeDesign.width());
    if (area.height() < m_sizeDesign.height())
        area.setHeight(m_sizeDesign.height());
    return area;
}

QWidget* CResizableFormView::GetLayoutWindow()
{
    return m_pForm;
}

void CResizableFormView::resizeEvent(QResizeEvent* event)
{
    // Called for the viewport's resizes: the scroll bars first, then the form.
    QScrollArea::resizeEvent(event);
    OnSize();
}

void CResizableFormView::OnSize()
{
    if (!m_bLayoutReady)
        return; // controls stay where they were created until the initial update
    const QSize size = GetLayoutArea().size();
    if (m_pForm->size() != size)
        m_pForm->resize(size);
    RepositionControls();
}
