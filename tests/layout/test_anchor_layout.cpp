// Anchored controls on a resizable form, resized the way a user resizes the window.
#include <QScrollBar>

#include <gtest/gtest.h>

#include "layout/ResizableFormView.h"

namespace {

// A 400 x 300 form: a bottom-right button, a stretching panel and a mid-anchored label.
class CTestForm : public CResizableFormView {
public:
    CTestForm()
    {
        SetDesignSize(QSize(400, 300));
        m_pCorner->setGeometry(300, 250, 80, 30);
        m_pStretch->setGeometry(10, 10, 380, 200);
        m_pMid->setGeometry(100, 220, 20, 10);
        resize(400, 300);
        show();
    }
    void OnInitialUpdate() override
    {
        AnchorControl(m_pStretch, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT);
        AnchorControl(m_pCorner, ANCHOR_BOTTOM_RIGHT, ANCHOR_NONE);
        AnchorControl(m_pMid, ANCHOR_TOP_MID, ANCHOR_NONE);
        CResizableFormView::OnInitialUpdate();
    }
    QWidget *m_pCorner = new QWidget(GetLayoutWindow()), *m_pStretch = new QWidget(GetLayoutWindow()),
            *m_pMid = new QWidget(GetLayoutWindow());
};

} // namespace

// Resizing before the initial update moves nothing, then the anchors place; below the design size the controls
// keep their places and the form scrolls.
TEST(AnchorLayout, AnchorsPlaceAfterTheInitialUpdateAndBelowTheDesignSizeTheFormScrolls)
{
    CTestForm form;
    form.resize(640, 480);
    EXPECT_EQ(form.m_pCorner->geometry(), QRect(300, 250, 80, 30));
    form.OnInitialUpdate();
    EXPECT_EQ(form.m_pCorner->geometry(), QRect(540, 430, 80, 30));
    EXPECT_EQ(form.m_pStretch->geometry(), QRect(10, 10, 620, 380));
    form.resize(600, 500);
    form.resize(200, 150);
    EXPECT_EQ(form.m_pStretch->geometry(), QRect(10, 10, 380, 200));
    EXPECT_EQ(form.m_pCorner->geometry(), QRect(300, 250, 80, 30));
    EXPECT_GT(form.horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(form.verticalScrollBar()->maximum(), 0);
}

TEST(AnchorLayout, MidAnchorAtWidth333TruncatesTheProduct)
{
    CTestForm form;
    form.OnInitialUpdate();
    form.resize(333, 400);
    form.SetDesignSize(QSize(300, 300));                        // the anchor's margin was measured at 400: 100 - 200
    EXPECT_EQ(form.m_pMid->geometry(), QRect(66, 220, 20, 10)); // 333 * 50 / 100 = 166, not 167
}
