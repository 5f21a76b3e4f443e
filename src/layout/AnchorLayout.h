// CAnchorLayout: keeps a form's controls anchored to the edges and the centre
// of a layout rectangle. Each registered control remembers where its top-left
// and bottom-right corners sit relative to two anchor points (percentages of
// the rectangle); RepositionControls moves every control in one batch when the
// rectangle changes.
#pragma once

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

class QPainter;
class QRegion;

// An anchor is (x %, y %) of the layout rectangle. ANCHOR_NONE is no position:
// given as the second anchor it means "the same as the first" (the control
// keeps its size).
inline constexpr QSize ANCHOR_NONE(-1, -1);
inline constexpr QSize ANCHOR_TOP_LEFT(0, 0);
inline constexpr QSize ANCHOR_TOP_MID(50, 0);
inline constexpr QSize ANCHOR_TOP_RIGHT(100, 0);
inline constexpr QSize ANCHOR_MID_LEFT(0, 50);
inline constexpr QSize ANCHOR_MID(50, 50);
inline constexpr QSize ANCHOR_MID_RIGHT(100, 50);
inline constexpr QSize ANCHOR_BOTTOM_LEFT(0, 100);
inline constexpr QSize ANCHOR_BOTTOM_MID(50, 100);
inline constexpr QSize ANCHOR_BOTTOM_RIGHT(100, 100);

// One registered control.
struct AnchorEntry {
    QPointer<QWidget> hwndControl; // the control; a null (or destroyed) control is skipped everywhere
    int placementTag = 0;          // 0 for entries made by AnchorControl
    bool isListBox = false;        // the control is a list view
    bool redrawWhole = false;      // RedrawWholeOnMove at registration time
    QSize topLeftAnchor;           // percent
    QSize topLeftMargin;           // pixels from the top-left anchor point
    QSize bottomRightAnchor;       // percent
    QSize bottomRightMargin;       // pixels from the bottom-right anchor point
};

class CAnchorLayout {
public:
    CAnchorLayout() = default;
    virtual ~CAnchorLayout();
    CAnchorLayout(const CAnchorLayout&) = delete;
    CAnchorLayout& operator=(const CAnchorLayout&) = delete;

    // Registers a control (a child of GetLayoutWindow()) with the anchors of its
    // top-left and bottom-right corners; the margins are measured now, against
    // the current layout area. Anchoring a control twice adds a second entry.
    void AnchorControl(QWidget* control, QSize topLeft, QSize bottomRight);
    // Moves every control whose rectangle changed, all in one batch. Returns true.
    bool RepositionControls();
    // Combines the visible controls into clip in entry order: the controls
    // ExcludeFromErase names are cut out, the others are added back.
    void ClipControlsForErase(QRegion& clip);
    void ClipOneControl(QWidget* control, QRegion& clip);

    // Whether the form's own painting must stay off the control.
    virtual bool ExcludeFromErase(QWidget* control);
    // Whether a move or resize repaints the whole control.
    virtual bool RedrawWholeOnMove(QWidget* control);
    // The rectangle the anchors refer to, in GetLayoutWindow()'s coordinates.
    virtual QRect GetLayoutArea();
    // Hook for entries without a control; false (the default) skips the entry.
    virtual bool QueryEntryPlacement(AnchorEntry* entry);
    // The widget whose child controls are laid out.
    virtual QWidget* GetLayoutWindow() = 0;

    std::vector<AnchorEntry> m_entries;
    int m_nAnchored = 0; // entries made by AnchorControl; the next one is inserted here
};
