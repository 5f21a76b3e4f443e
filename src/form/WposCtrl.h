// CWposCtrl: the file position bar. A horizontal bar that stands for the whole
// source file (dark blue), with the window the spectrogram shows (light blue)
// and the output segment (a yellow band across the middle), and while the
// recording plays a white line where it is heard. Clicks become
// positions in seconds that are reported to the owner; the bar never moves its
// own marks, the owner answers by calling the setters.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

#include <functional>

// Notification kinds, the first callback argument.
enum { WPOS_SETVIEW = 0, WPOS_SETFROM = 1, WPOS_SETTO = 2 };

class CWposCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CWposCtrl(QWidget* parent = nullptr);
    ~CWposCtrl() override;

    // Each stores its value (seconds, not validated) and schedules a repaint.
    void SetViewStart(int nSec);
    void SetViewEnd(int nSec);
    void SetFrom(int nSec);
    void SetTo(int nSec);
    // The playing position in seconds (with their fraction); negative: none.
    void SetPlayPosition(double dSec);
    // The segment at positions finer than a second (marks set to frames):
    // m_nFrom and m_nTo take the whole seconds (rounded down), the rest is
    // kept for the drawing and the click checks.
    void SetSegmentSeconds(double dFromSec, double dToSec);

    // The painted area inside the sunken edge, in widget coordinates. Every
    // conversion between seconds and pixels uses its width.
    QRect ClientRect() const;
    // Width of the sunken edge around the painted area, pixels.
    static constexpr int kEdgePx = 2;

    // Notification: invoked as m_pfnNotify(kind, seconds) only when both
    // m_pOwner and m_pfnNotify are set; clear either to stop notifications.
    QObject* m_pOwner = nullptr;
    std::function<void(int kind, int seconds)> m_pfnNotify;

    int m_nLength = 5000;   // seconds; the divisor of every conversion
    int m_nViewStart = 0;   // seconds
    int m_nViewEnd = 0;     // seconds
    int m_nViewStartPx = 0; // converted at the last paint
    int m_nViewEndPx = 0;
    int m_nFrom = 0;          // seconds
    int m_nTo = 0;            // seconds
    double m_dFromRest = 0.0; // seconds past m_nFrom, below 1 (SetSegmentSeconds)
    double m_dToRest = 0.0;   // seconds past m_nTo
    int m_nFromPx = 0;        // converted at the last paint
    int m_nToPx = 0;
    double m_dPlaySec = -1.0; // seconds
    int m_nPlayPx = -1;       // converted at the last paint; -1: no line
    QImage m_bmpBar;          // the off-screen picture of the client area, kept until the next paint
    QRect m_rcClient;         // client rectangle (origin 0,0), refreshed at every paint

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Notify(int kind, int nSec);
    int SecondsToPx(int nSec, int nWidthPx) const;
    int SecondsToPx(int nSec, double dRest, int nWidthPx) const;
    int PxToSeconds(int nPx, int nWidthPx) const;
};
