#pragma once

#include <QWidget>

#include <functional>

class QKeyEvent;
class QResizeEvent;
class QWheelEvent;
class QToolButton;

// The up-down control: a tall pair of arrow buttons. The up arrow (button or
// key) reports iDelta +1, the down arrow -1; so does each notch of the wheel
// turned away from or towards the user. The arrow keys work while it has
// focus; clicking it gives it focus.
class CSpinArrows : public QWidget {
    Q_OBJECT
public:
    explicit CSpinArrows(QWidget* parent = nullptr);
    std::function<void(int iDelta)> m_pfnDeltaPos;
    QToolButton* m_btnUp;
    QToolButton* m_btnDown;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void DeltaPos(int iDelta);
    int m_nWheelRest = 0; // wheel turns not yet a whole notch
};
