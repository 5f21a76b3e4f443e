// CTavirelView: the program's main form. It shows the source and destination
// paths, the spectrogram of the shown window, the file position bar, the
// recording's start and end time, the From and To marks of the output segment,
// a status line, the reference level with its up-down control and "Use AGC".
// It turns the user's clicks into moves of the shown window and of the marks
// and keeps every label in step with the document.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>

#include "form/WposCtrl.h"
#include "layout/ResizableFormView.h"

class CSpectrogramPlot;
class CTavirelDoc;
class QLabel;
class QPushButton;
class QToolButton;

// The up-down control: a tall pair of arrow buttons. The up arrow (button or
// key) reports iDelta +1, the down arrow -1. The arrow keys work while it has
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

private:
    void DeltaPos(int iDelta);
};

class CTavirelView : public CResizableFormView {
    Q_OBJECT
public:
    // The document is not owned and must outlive the view.
    explicit CTavirelView(CTavirelDoc* pDoc, QWidget* parent = nullptr);
    ~CTavirelView() override;

    CTavirelDoc* GetDocument() const { return m_pDoc; }

    void OnInitialUpdate() override;
    bool UpdateData(bool bSaveAndValidate = true) override;
    void OnDraw(QPainter* painter) override;
    void OnMouseMove(Qt::KeyboardModifiers flags, const QPoint& point) override;
    void OnLButtonDown(Qt::KeyboardModifiers flags, const QPoint& point) override;

    void LoadSource(const QString& path);
    void UpdateSegmentLabels();
    // The position bar's callback; also used by a click on the plot.
    void OnPosBarNotify(int kind, int seconds);
    void OnSrcFile();
    void OnDestFile();
    void OnExit();
    void OnUseAgc();
    void OnDeltaposSpin(int iDelta);
    void RefreshPlot();
    void RestoreCursor();
    void OnSaveSegment(); // the segment save flow, in TavirelViewSave.cpp
    // Closes the source and deletes the plot; runs when the view is destroyed.
    void OnDestroy();

    // Every control by its dialog id (1000 .. 1020); null for an unknown id.
    QWidget* Control(int id) const;
    // The plot area's rectangle in the form's coordinates.
    QRect PlotAreaRect() const;

    // Converts dialog units to pixels with the form font's metrics.
    QRect DialogUnitsToPx(int x, int y, int cx, int cy) const;

    QLabel* m_wndStatus = nullptr;      // 1014
    QPushButton* m_btnSave = nullptr;   // 1008
    QString m_strDestFile;              // 1003
    QString m_strSrcFile;               // 1002
    QString m_strStartTime;             // 1010
    QString m_strEndTime;               // 1011
    QString m_strFrom;                  // 1006
    QString m_strTo;                    // 1007
    bool m_bUseAgc = false;             // 1019
    QString m_strRefLevel;              // 1020
    CWposCtrl m_wndPosBar;              // 1013
    double m_dAgcLevel = 0.0;           // AGC level of the save loop
    int32_t m_aBlock[4096] = {};        // 2048 frames of up to two channels, for the save loop
    QString m_strStatus;                // scratch: status text and label tails
    CSpectrogramPlot* m_pPlot = nullptr; // owned; created at the first initial update

private:
    void CreateControls();
    QWidget* AddControl(int id, QWidget* control, int x, int y, int cx, int cy);

    CTavirelDoc* m_pDoc;
    std::map<int, QWidget*> m_controls;
    int m_nDuAvgCharWidthPx = 0;
    int m_nDuCharHeightPx = 0;
};
