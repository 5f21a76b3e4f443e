// Anchored controls on a resizable form: real widgets on Qt's offscreen
// platform, resized the way a user resizes the window.
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRegion>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "layout/ResizableFormView.h"

namespace {

const QSize kDesign(400, 300);

// A form with a few controls at fixed design places.
class CTestForm : public CResizableFormView {
public:
    CTestForm()
    {
        SetDesignSize(kDesign);
        QWidget* form = GetLayoutWindow();
        m_pCorner = new QPushButton(QStringLiteral("Exit"), form);
        m_pCorner->setGeometry(300, 250, 80, 30);
        m_pStretch = new QFrame(form);
        m_pStretch->setFrameStyle(QFrame::Box | QFrame::Plain);
        m_pStretch->setGeometry(10, 10, 380, 200);
        m_pFixed = new QPushButton(QStringLiteral("Src"), form);
        m_pFixed->setGeometry(5, 215, 60, 25);
        m_pMid = new QLabel(QStringLiteral("mid"), form);
        m_pMid->setGeometry(100, 220, 20, 10);
    }
    void OnInitialUpdate() override
    {
        AnchorControl(m_pStretch, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT);
        AnchorControl(m_pCorner, ANCHOR_BOTTOM_RIGHT, ANCHOR_NONE);
        AnchorControl(m_pFixed, ANCHOR_TOP_LEFT, ANCHOR_NONE);
        AnchorControl(m_pMid, ANCHOR_TOP_MID, ANCHOR_NONE);
        CResizableFormView::OnInitialUpdate();
    }
    QPushButton* m_pCorner;
    QFrame* m_pStretch;
    QPushButton* m_pFixed;
    QLabel* m_pMid;
};

// Counts the moves and resizes a widget receives.
class CGeometryEvents : public QObject {
public:
    explicit CGeometryEvents(QWidget* w) { w->installEventFilter(this); }
    int m_nEvents = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Move || e->type() == QEvent::Resize)
            ++m_nEvents;
        return false;
    }
};

std::unique_ptr<CTestForm> ShownForm()
{
    auto form = std::make_unique<CTestForm>();
    form->resize(kDesign);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
}

} // namespace

TEST(AnchorLayout, BelowTheDesignSizeControlsKeepTheirPlacesAndTheFormScrolls)
{
    auto form = ShownForm();
    form->OnInitialUpdate();
    form->resize(600, 500);
    form->resize(200, 150);
    EXPECT_EQ(form->GetLayoutWindow()->size(), kDesign);
    EXPECT_EQ(form->m_pStretch->geometry(), QRect(10, 10, 380, 200));
    EXPECT_EQ(form->m_pCorner->geometry(), QRect(300, 250, 80, 30));
    EXPECT_GT(form->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(form->verticalScrollBar()->maximum(), 0);

    // Wider than designed but too low: only the width follows.
    form->resize(700, 150);
    const QSize area = form->GetLayoutArea().size();
    EXPECT_EQ(area.height(), kDesign.height());
    EXPECT_EQ(area.width(), form->viewport()->width());
    EXPECT_EQ(form->m_pStretch->geometry(), QRect(10, 10, area.width() - 20, 200));
}

TEST(AnchorLayout, MidAnchorTruncatesTheProductOfWidthAndPercent)
{
    auto form = ShownForm();
    form->OnInitialUpdate();
    // Design width 400: the anchor point lies at 200, the margin is 100 - 200.
    form->resize(333, 400);
    // 333 * 50 / 100 = 166 (not 167): left = 166 - 100.
    EXPECT_EQ(form->GetLayoutArea().width(), 400); // still floored at the design width
    form->SetDesignSize(QSize(300, 300));
    EXPECT_EQ(form->GetLayoutArea().width(), 333);
    EXPECT_EQ(form->m_pMid->geometry(), QRect(66, 220, 20, 10));
}

TEST(AnchorLayout, ResizingBeforeTheInitialUpdateMovesNothing)
{
    auto form = ShownForm();
    form->resize(640, 480);
    EXPECT_EQ(form->m_pCorner->geometry(), QRect(300, 250, 80, 30));
    EXPECT_EQ(form->GetLayoutWindow()->size(), kDesign);
    EXPECT_FALSE(form->m_bLayoutReady);

    // The initial update measures against the design and places at once.
    form->OnInitialUpdate();
    EXPECT_TRUE(form->m_bLayoutReady);
    EXPECT_EQ(form->m_pCorner->geometry(), QRect(540, 430, 80, 30));
    EXPECT_EQ(form->m_pStretch->geometry(), QRect(10, 10, 620, 380));
}

TEST(AnchorLayout, OnlyChangedRectanglesMoveAndMissingControlsAreSkipped)
{
    auto form = ShownForm();
    auto* gone = new QPushButton(form->GetLayoutWindow());
    gone->setGeometry(1, 1, 10, 10);
    form->AnchorControl(gone, ANCHOR_BOTTOM_RIGHT, ANCHOR_NONE);
    delete gone;
    form->AnchorControl(nullptr, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT);
    form->m_pCorner->hide(); // hidden controls are still placed
    form->OnInitialUpdate();
    EXPECT_EQ(form->m_entries.size(), 6u);

    CGeometryEvents fixed(form->m_pFixed);
    CGeometryEvents stretch(form->m_pStretch);
    form->resize(600, 500);
    form->resize(620, 500);
    EXPECT_EQ(fixed.m_nEvents, 0);
    EXPECT_GT(stretch.m_nEvents, 0);
    EXPECT_EQ(form->m_pCorner->geometry(), QRect(520, 450, 80, 30));
    EXPECT_TRUE(form->GetLayoutWindow()->updatesEnabled());
}

TEST(AnchorLayout, FormPaintingStaysOffExcludedControlsInEntryOrder)
{
    auto form = ShownForm();
    form->OnInitialUpdate();
    // The stretching frame (drawn on the form) covers the fixed button
    // (excluded) only if the frame comes later; here it comes first.
    form->m_pFixed->setGeometry(20, 20, 30, 30);
    QRegion clip(form->GetLayoutWindow()->rect());
    form->ClipControlsForErase(clip);
    EXPECT_FALSE(clip.contains(QPoint(30, 30)));  // the button, cut out after the frame
    EXPECT_TRUE(clip.contains(QPoint(100, 100))); // the frame
    EXPECT_FALSE(clip.contains(QPoint(310, 260))); // the corner button
    EXPECT_TRUE(clip.contains(QPoint(105, 225)));  // the text label

    // A later control that is drawn on the form adds its area back.
    form->AnchorControl(form->m_pStretch, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT);
    QRegion again(form->GetLayoutWindow()->rect());
    form->ClipControlsForErase(again);
    EXPECT_TRUE(again.contains(QPoint(30, 30)));
}
