// CResizableFormView: a form whose controls follow the window when it is
// resized. The form is a plain widget inside a scroll area; it is never smaller
// than its design size, so below that size the controls keep their design
// places and the scroll bars take over.
#pragma once

#include <QScrollArea>

#include "layout/AnchorLayout.h"

class QMouseEvent;
class QPainter;

class CResizableFormView : public QScrollArea, public CAnchorLayout {
    Q_OBJECT
public:
    explicit CResizableFormView(QWidget* parent = nullptr);
    ~CResizableFormView() override;

    // The size in pixels of the form as designed; the derived form sets it
    // after creating its controls at their design places.
    void SetDesignSize(const QSize& sizePx);
    QSize GetDesignSize() const { return m_sizeDesign; }

    // First data exchange into the controls, then the controls are placed once
    // and follow every resize from now on. A derived form anchors its controls
    // before calling this.
    virtual void OnInitialUpdate();
    // Data exchange between members and controls: false pushes the members to
    // the controls, true reads them back. The base has nothing to exchange.
    virtual bool UpdateData(bool bSaveAndValidate = true);

    // The form's own painting, with a painter on the form (GetLayoutWindow()).
    virtual void OnDraw(QPainter* painter);
    // Pointer input on the form, in the form's coordinates. The pointer is
    // tracked without a button pressed.
    virtual void OnMouseMove(Qt::KeyboardModifiers flags, const QPoint& point);
    virtual void OnLButtonDown(Qt::KeyboardModifiers flags, const QPoint& point);
    virtual void OnLButtonUp(Qt::KeyboardModifiers flags, const QPoint& point);

    QRect GetLayoutArea() override;
    QWidget* GetLayoutWindow() override;

    bool m_bLayoutReady = false;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Keeps the form at the layout area's size and repositions (once ready).
    void OnSize();

private:
    friend class CFormSurface;
    QWidget* m_pForm = nullptr;
    QSize m_sizeDesign;
};
