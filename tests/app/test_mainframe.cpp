// The main frame's placement on a real settings store: read at creation,
// applied at every activation, written at every close. Qt's offscreen platform
// keeps window states and geometry as set, without a window manager.
#include "app/MainFrame.h"
#include "doc/ProfileStore.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_store = std::make_unique<CSettingsStore>(m_dir.filePath(QStringLiteral("Tavirel.conf")));
    }

    // A frame as start-up makes it: created (placement read), a placeholder form.
    std::unique_ptr<CMainFrame> MakeFrame()
    {
        auto frame = std::make_unique<CMainFrame>(m_store.get());
        frame->setCentralWidget(new QWidget);
        frame->OnCreate();
        return frame;
    }

    QString Stored() { return m_store->GetProfileString("WindowPos", "WindowPos"); }
    void Store(const QString& text) { m_store->WriteProfileString("WindowPos", "WindowPos", text); }

    QTemporaryDir m_dir;
    std::unique_ptr<CSettingsStore> m_store;
};

TEST_F(MainFrameTest, CaptionMenuAndKeys)
{
    auto frame = MakeFrame();
    EXPECT_EQ(frame->windowTitle(), "Tavirel");
    const QList<QAction*> menus = frame->menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->text(), "&Help");
    ASSERT_NE(menus[0]->menu(), nullptr);
    const QList<QAction*> items = menus[0]->menu()->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0], frame->m_actAppAbout);
    EXPECT_EQ(items[0]->text(), "&About Tavirel...");
    EXPECT_EQ(frame->m_actFileNew->shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(frame->m_actFileOpen->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(frame->m_actFileSave->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_TRUE(frame->findChildren<QToolBar*>().isEmpty());
    EXPECT_TRUE(frame->findChildren<QStatusBar*>().isEmpty());
}

TEST_F(MainFrameTest, SavedNormalPlacementIsAppliedAtEveryActivation)
{
    Store("0:1:-1:-1:-1:-1:100:120:700:520");
    auto frame = MakeFrame();
    EXPECT_EQ(frame->m_savedPlacement.length, kPlacementLengthBytes);
    EXPECT_EQ(frame->ActivateFrame(SW_SHOWNORMAL), SW_SHOWNORMAL);
    EXPECT_EQ(frame->geometry(), QRect(100, 120, 600, 400));

    // Moved and maximised by the user; a new document puts it back.
    frame->setGeometry(10, 10, 300, 200);
    frame->showMaximized();
    EXPECT_EQ(frame->ActivateFrame(-1), SW_SHOWNORMAL);
    EXPECT_FALSE(frame->isMaximized());
    EXPECT_EQ(frame->geometry(), QRect(100, 120, 600, 400));
}

TEST_F(MainFrameTest, WithoutSavedPlacementActivationUsesTheStartUpCommand)
{
    auto frame = MakeFrame();
    const int nCmdShow = frame->ActivateFrame(SW_SHOWNORMAL);
    frame->showMaximized();
    ASSERT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->ActivateFrame(nCmdShow), SW_SHOWNORMAL);
    EXPECT_FALSE(frame->isMaximized());
}

TEST_F(MainFrameTest, MaximisedWindowRoundTrip)
{
    Store("0:1:-1:-1:-1:-1:100:120:700:520");
    auto frame = MakeFrame();
    frame->ActivateFrame(SW_SHOWNORMAL);
    frame->showMaximized();
    frame->close();
    EXPECT_EQ(Stored(), "2:3:-1:-1:-1:-1:100:120:700:520");

    // The next start opens maximised and restores to the saved rectangle.
    auto next = MakeFrame();
    EXPECT_EQ(next->ActivateFrame(SW_SHOWNORMAL), SW_SHOWMAXIMIZED);
    EXPECT_TRUE(next->isMaximized());
    next->showNormal();
    EXPECT_EQ(next->geometry(), QRect(100, 120, 600, 400));
}

TEST_F(MainFrameTest, MinimisedFromMaximisedKeepsRestoreToMaximised)
{
    Store("2:2:-1:-1:-1:-1:100:120:700:520");
    auto frame = MakeFrame();
    EXPECT_EQ(frame->ActivateFrame(SW_SHOWNORMAL), SW_SHOWMINIMIZED);
    EXPECT_EQ(frame->windowState(), Qt::WindowMinimized | Qt::WindowMaximized);
    frame->close();
    EXPECT_EQ(Stored(), "2:2:-1:-1:-1:-1:100:120:700:520");
}

TEST_F(MainFrameTest, HideCommandAndEmptyRectangleStillShowAWindow)
{
    Store("0:0:-1:-1:-1:-1:300:300:300:100");
    auto frame = MakeFrame();
    frame->resize(420, 260);
    frame->ActivateFrame(SW_SHOWNORMAL);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_EQ(frame->size(), QSize(420, 260));
}

TEST_F(MainFrameTest, RectangleOffEveryScreenIsMovedOntoOne)
{
    Store("0:1:-1:-1:-1:-1:90000:90000:90600:90400");
    auto frame = MakeFrame();
    frame->ActivateFrame(SW_SHOWNORMAL);
    EXPECT_EQ(frame->size(), QSize(600, 400));
    EXPECT_TRUE(frame->screen()->availableGeometry().intersects(frame->geometry()));
}

}  // namespace
