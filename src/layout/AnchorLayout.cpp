#include "layout/AnchorLayout.h"

#include <QAbstractItemView>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QRegion>
#include <QScrollBar>
#include <QToolBar>

namespace {

// Anchor point of one coordinate: the product first, then divided by 100,
// truncated toward zero (C++ integer division).
int AnchorPx(int extentPx, int anchorPercent)
{
    return extentPx * anchorPercent / 100;
}

// The control's rectangle in the coordinates of the layout window. Controls
// are normally its direct children; anything further down is mapped.
QRect RectInLayoutWindow(QWidget* control, QWidget* layoutWindow)
{
    QWidget* parent = control->parentWidget();
    if (parent == layoutWindow || layoutWindow == nullptr || parent == nullptr)
        return control->geometry();
    return QRect(parent->mapTo(layoutWindow, control->pos()), control->size());
}

// What kind of plain control a widget is, in the terms the erase and redraw
// rules use.
enum class Kind { Other, TextLabel, PictureLabel, FrameRect, EtchedLine, GroupBox, ToolBar, ListBox };

Kind KindOf(const QWidget* w)
{
    if (auto* label = qobject_cast<const QLabel*>(w)) {
        const bool picture = !label->pixmap().isNull() || label->movie() != nullptr;
        return picture ? Kind::PictureLabel : Kind::TextLabel;
    }
    if (qobject_cast<const QGroupBox*>(w))
        return Kind::GroupBox;
    if (qobject_cast<const QToolBar*>(w))
        return Kind::ToolBar;
    if (qobject_cast<const QListView*>(w))
        return Kind::ListBox;
    // A bare QFrame (not a subclass such as a scroll area) is a drawn frame or line.
    if (w->metaObject() == &QFrame::staticMetaObject) {
        const auto shape = static_cast<const QFrame*>(w)->frameShape();
        return (shape == QFrame::HLine || shape == QFrame::VLine) ? Kind::EtchedLine : Kind::FrameRect;
    }
    return Kind::Other;
}

} // namespace

CAnchorLayout::~CAnchorLayout()
{
    m_entries.clear();
    m_nAnchored = 0;
}

void CAnchorLayout::AnchorControl(QWidget* control, QSize topLeft, QSize bottomRight)
{
    // A group box needs no style change: Qt always clips sibling widgets.
    AnchorEntry entry;
    entry.hwndControl = control;
    entry.isListBox = control != nullptr && KindOf(control) == Kind::ListBox;
    entry.redrawWhole = control != nullptr && RedrawWholeOnMove(control);

    const QRect area = GetLayoutArea();
    const int w = area.width();
    const int h = area.height();
    const QRect rc = control != nullptr ? RectInLayoutWindow(control, GetLayoutWindow()) : QRect();

    if (bottomRight == ANCHOR_NONE)
        bottomRight = topLeft;
    // Right and bottom are exclusive edges (left + width), as the anchors measure them.
    const int right = rc.x() + rc.width();
    const int bottom = rc.y() + rc.height();
    entry.topLeftAnchor = topLeft;
    entry.bottomRightAnchor = bottomRight;
    entry.topLeftMargin = QSize(rc.x() - AnchorPx(w, topLeft.width()), rc.y() - AnchorPx(h, topLeft.height()));
    entry.bottomRightMargin =
        QSize(right - AnchorPx(w, bottomRight.width()), bottom - AnchorPx(h, bottomRight.height()));

    m_entries.insert(m_entries.begin() + m_nAnchored, entry);
    ++m_nAnchored;
}

// Whether a control moved from old to rect is repainted whole.
static bool NeedsWholeRedraw(const AnchorEntry& entry, QWidget* control, const QRect& rect, const QRect& old)
{
    if (!entry.isListBox)
        return entry.redrawWhole;
    // A list scrolled sideways past what its new width still allows
    // shows stale pixels unless it is repainted whole.
    auto* list = qobject_cast<QAbstractScrollArea*>(control);
    const QScrollBar* bar = list != nullptr ? list->horizontalScrollBar() : nullptr;
    const int limit = bar != nullptr ? bar->maximum() : 0;
    return limit > 0 && bar->value() > limit - (rect.width() - old.width());
}

bool CAnchorLayout::RepositionControls()
{
    QWidget* wnd = GetLayoutWindow();
    const QRect area = GetLayoutArea();
    const int w = area.width();
    const int h = area.height();

    struct Move {
        QWidget* control;
        QRect rect;
        bool redraw;
    };
    std::vector<Move> moves;
    moves.reserve(m_entries.size());

    for (const AnchorEntry& stored : m_entries) {
        AnchorEntry entry = stored;
        if (entry.hwndControl.isNull() && !QueryEntryPlacement(&entry))
            continue;
        QWidget* control = entry.hwndControl.data();
        if (control == nullptr)
            continue;

        const QRect old = RectInLayoutWindow(control, wnd);
        // The area starts at 0,0: its left and top are not added.
        const int left = AnchorPx(w, entry.topLeftAnchor.width()) + entry.topLeftMargin.width();
        const int top = AnchorPx(h, entry.topLeftAnchor.height()) + entry.topLeftMargin.height();
        const int right = AnchorPx(w, entry.bottomRightAnchor.width()) + entry.bottomRightMargin.width();
        const int bottom = AnchorPx(h, entry.bottomRightAnchor.height()) + entry.bottomRightMargin.height();
        const QRect rect(left, top, right - left, bottom - top);
        if (rect == old)
            continue;

        moves.push_back({control, rect, NeedsWholeRedraw(entry, control, rect, old)});
    }
    if (moves.empty())
        return true;

    // One batch: the form paints once, after every control has its new place.
    const bool updates = wnd != nullptr && wnd->updatesEnabled();
    if (updates)
        wnd->setUpdatesEnabled(false);
    for (const Move& m : moves) {
        QWidget* parent = m.control->parentWidget();
        const QPoint topLeft = (parent == wnd || wnd == nullptr || parent == nullptr)
                                   ? m.rect.topLeft()
                                   : parent->mapFrom(wnd, m.rect.topLeft());
        m.control->setGeometry(QRect(topLeft, m.rect.size()));
        if (m.redraw)
            m.control->update();
    }
    if (updates)
        wnd->setUpdatesEnabled(true);
    return true;
}

// Qt paints a form's background beneath its child widgets and composes every
// child over it, so no erase ever reaches a control. The clip below serves the
// form's own painting: it keeps that painting off the controls that
// ExcludeFromErase names, in the same order-dependent way (a later control that
// is not excluded adds its area back).
void CAnchorLayout::ClipControlsForErase(QRegion& clip)
{
    for (const AnchorEntry& entry : m_entries) {
        QWidget* control = entry.hwndControl.data();
        if (control != nullptr && control->isVisible())
            ClipOneControl(control, clip);
    }
}

void CAnchorLayout::ClipOneControl(QWidget* control, QRegion& clip)
{
    const QRect rc = RectInLayoutWindow(control, GetLayoutWindow());
    // A control with a shape of its own (a mask) takes part with that shape.
    const QRegion mask = control->mask();
    const QRegion region = mask.isEmpty() ? QRegion(rc) : mask.translated(rc.topLeft());
    if (ExcludeFromErase(control))
        clip -= region;
    else
        clip |= region;
}

bool CAnchorLayout::ExcludeFromErase(QWidget* control)
{
    switch (KindOf(control)) {
    case Kind::ToolBar:
        // A transparent tool bar shows the form through itself.
        return control->autoFillBackground();
    case Kind::GroupBox:
    case Kind::TextLabel:
    case Kind::FrameRect:
        // These draw on the form's background.
        return false;
    case Kind::PictureLabel:
    case Kind::EtchedLine:
    case Kind::ListBox:
    case Kind::Other: break;
    }
    return true;
}

bool CAnchorLayout::RedrawWholeOnMove(QWidget* control)
{
    // Aligned text and pictures sit relative to the control's size, so a
    // resized label must be repainted whole; frames and lines need not be.
    const Kind kind = KindOf(control);
    return kind == Kind::TextLabel || kind == Kind::PictureLabel;
}

QRect CAnchorLayout::GetLayoutArea()
{
    QWidget* wnd = GetLayoutWindow();
    return wnd != nullptr ? wnd->rect() : QRect();
}

bool CAnchorLayout::QueryEntryPlacement(AnchorEntry* /*entry*/)
{
    return false;
}
