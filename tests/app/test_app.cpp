// The whole program on a real settings store: caption, About box, the command line's file, Ctrl+N (also while
// maximised) and the close path.
#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "app/TavirelApp.h"
#include "doc/ProfileStore.h"
#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "form/TavirelView.h"
#include "support/ScriptedDialogs.h"
#include "support/WaveBytes.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class AppTest : public ::testing::Test {
protected:
    AppTest() { CFileDialogs::SetInstance(&m_dialogs); }
    ~AppTest() override
    {
        m_app.reset();
        CFileDialogs::SetInstance(nullptr);
    }
    // A one-channel ramp of frames at rate frames/s.
    QString Wave(const char* name, uint32_t frames, uint32_t rate = 8000)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(riff::WriteFile(path.toStdString(), riff::WaveFile(riff::WaveShape(1, rate), riff::Ramp16(frames))));
        return path;
    }
    // The failure messages shown once the events of start-up are handled.
    QStringList Errors()
    {
        QCoreApplication::sendPostedEvents();
        return m_dialogs.Errors();
    }
    void Seed(int refLevel, const QString& srcPath)
    {
        m_store.WriteProfileString("Settings\\BOOLs", "BOOLs", "0:0:0:0:0:0:0:0:");
        m_store.WriteProfileString("Settings\\INTs", "INTs", QString::number(refLevel) + ":0:0:0:0:0:0:0:0:0:");
        m_store.WriteProfileString("Settings\\DOUBLEs", "DOUBLEs", "0:0:0:0:0:0:0:0:0:0:0:");
        m_store.WriteProfileString("Settings\\Strings", "SrcPath", srcPath);
    }
    // Starts the program, with a file named on its command line when given.
    void Start(const QString& commandLineFile = {})
    {
        m_app = std::make_unique<CTavirelApp>();
        m_app->m_pStore = &m_store;
        m_app->m_strCommandLineFile = commandLineFile;
        ASSERT_TRUE(m_app->InitInstance());
        QApplication::setActiveWindow(frame()); // for the Ctrl+N shortcut
    }
    CMainFrame* frame() { return m_app->m_pMainWnd.get(); }
    void WaitForThePicture()
    {
        while (m_app->m_pView->IsRenderPending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    CTavirelDoc* doc() { return m_app->m_pDoc.get(); }
    // The entry of the View menu's submenu at this index with this text.
    QAction* Entry(int menu, const QString& text)
    {
        for (QAction* a : frame()->m_menuView->actions()[menu]->menu()->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }

    QTemporaryDir m_dir;
    CScriptedDialogs m_dialogs;
    CSettingsStore m_store{m_dir.filePath("Tavirel.conf")};
    std::unique_ptr<CTavirelApp> m_app;
};

// The caption and About box; Exit (which closes the window) and closing the window maximised write the placement
// and settings; a maximised window opens maximised again and restores to its rectangle.
TEST_F(AppTest, ExitAndWindowCloseWritePlacementAndSettings)
{
    const QString source = Wave("source.wav", 24000);
    const struct {
        bool byExit, maximised;
        const char* placement;
    } rows[] = {{true, false, "0:1:-1:-1:-1:-1:60:70:700:550"}, {false, true, "2:3:-1:-1:-1:-1:60:70:700:550"}};
    for (const auto& r : rows) {
        Seed(40, source);
        m_store.WriteProfileString("WindowPos", "WindowPos", "0:1:-1:-1:-1:-1:100:120:700:520");
        Start();
        ASSERT_TRUE(doc()->m_bLoaded);
        EXPECT_EQ(frame()->windowTitle(), "Tavirel");
        EXPECT_EQ(CAboutDlg().windowTitle(), "About Tavirel");
        ASSERT_EQ(frame()->geometry(), QRect(100, 120, 600, 400));
        frame()->setGeometry(60, 70, 640, 480);
        if (r.maximised)
            frame()->showMaximized();
        doc()->m_nRefLevel = -40;
        if (r.byExit)
            QTest::mouseClick(m_app->m_pView->Control(IDC_EXIT), Qt::LeftButton);
        else
            frame()->close();
        EXPECT_EQ(m_store.GetProfileString("WindowPos", "WindowPos"), r.placement) << r.placement;
        EXPECT_EQ(m_store.GetProfileString("Settings\\INTs", "INTs"), "-40:0:0:0:0:0:0:0:0:0:") << r.placement;
        m_app.reset();
    }
    Start();
    EXPECT_TRUE(frame()->isMaximized());
    frame()->showNormal();
    EXPECT_EQ(frame()->geometry(), QRect(60, 70, 640, 480));
}

// The View menu's entries (its zoom commands are the form's keys) and the picture's choices (Auto Levels from
// its key); each choice draws a new picture and is there again at the next start: the stored numbers, then the
// values the next start reads from them and the menus' marks.
TEST_F(AppTest, ViewMenuChoicesAndTheirSettingsLastAcrossStarts)
{
    // An I/Q tone over weak noise: rows whose strongest bin is not their first.
    std::vector<int16_t> samples = riff::IqTone(4000000, 0.08, 300);
    uint32_t state = 1;
    for (int16_t& v : samples) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<int16_t>(v + static_cast<int16_t>(state >> 16) / 256);
    }
    const QString source = m_dir.filePath("tone.wav");
    ASSERT_TRUE(riff::WriteFile(source.toStdString(), riff::WaveFile({2}, riff::Pcm16(samples))));
    Seed(0, source);
    Start();
    CTavirelView* view = m_app->m_pView;
    QStringList texts;
    for (const QAction* a : frame()->m_menuView->actions())
        texts << a->text() + QLatin1Char('|') + a->shortcut().toString();
    EXPECT_EQ(texts, (QStringList{"Zoom &In|+", "Zoom &Out|-", "&Whole Recording|W", "&Actual Size|1", "|",
                                  "&Strongest Bin per Row|", "|", "&FFT Size|", "Wi&ndow|", "&Colours|",
                                  "Auto &Levels|A", "Sc&ales|", "|", "&Play / Stop|Space", "Play Loo&p|Shift+Space",
                                  "&Demodulation|", "&Volume|", "&Follow Playing Line|", "|", "Se&gments|"}));
    EXPECT_EQ(frame()->m_menuFile->actions().value(0)->shortcut().toString(), "Ctrl+E");
    const auto choose = [&](int menu, const QString& text) {
        Entry(menu, text)->trigger();
        WaitForThePicture();
    };
    const struct {
        std::function<void()> change;
        std::function<bool()> done;
    } choices[] = {
        {[&] { frame()->m_menuView->actions()[5]->trigger(); WaitForThePicture(); },
         [&] { return doc()->m_nRowMode == PLOT_ROWS_STRONGEST_BIN; }},
        {[&] { choose(7, "512"); }, [&] { return doc()->m_nFftSize == 512 && doc()->m_nZoom == 4; }},
        {[&] { choose(8, "&Blackman-Harris"); }, [&] { return doc()->m_nWindow == WINDOW_BLACKMAN_HARRIS; }},
        {[&] { choose(9, "&Viridis"); }, [&] { return doc()->m_nColourMap == COLOURS_VIRIDIS; }},
        {[&] { QTest::keyClick(frame(), Qt::Key_A); WaitForThePicture(); },
         [&] { return doc()->m_nRefLevel == -20 && doc()->m_nRangeDb != kRangeToFloor; }},
        {[&] { frame()->m_menuView->actions()[11]->trigger(); QCoreApplication::processEvents(); },
         [&] { return !doc()->m_bShowAxes && view->PictureRect() == view->PlotAreaRect(); }},
    };
    for (size_t i = 0; i < std::size(choices); ++i) {
        const QImage before = view->m_pPlot->m_bitmap.copy();
        choices[i].change();
        view->repaint();
        EXPECT_TRUE(choices[i].done()) << i;
        EXPECT_NE(view->m_pPlot->m_bitmap, before) << i;
    }
    const int range = doc()->m_nRangeDb;
    // Listening's choices come after them in the same list.
    Entry(15, "&USB")->trigger();
    Entry(15, QStringLiteral("&75 \u00b5s De-emphasis"))->trigger();
    Entry(16, "-12 dB")->trigger();
    frame()->m_menuView->actions()[17]->trigger(); // Follow Playing Line off
    frame()->close();
    EXPECT_EQ(m_store.GetProfileString("Settings\\INTs", "INTs"), "-20:2:1:0:3:1:1:-12:0:0:");
    m_app.reset();
    Start();
    EXPECT_EQ(doc()->m_nZoom, 4);
    EXPECT_EQ(doc()->m_nRowMode, PLOT_ROWS_STRONGEST_BIN);
    EXPECT_TRUE(frame()->m_menuView->actions()[5]->isChecked());
    EXPECT_EQ(doc()->m_nFftSize, 512);
    EXPECT_EQ(doc()->m_nWindow, WINDOW_BLACKMAN_HARRIS);
    EXPECT_EQ(doc()->m_nColourMap, COLOURS_VIRIDIS);
    EXPECT_EQ(doc()->m_nRangeDb, range);
    EXPECT_FALSE(doc()->m_bShowAxes);
    EXPECT_TRUE(frame()->m_menuView->actions()[7]->menu()->actions()[1]->isChecked()); // 512
    EXPECT_FALSE(frame()->m_menuView->actions()[11]->isChecked());
    EXPECT_TRUE(Entry(15, "&USB")->isChecked());
    EXPECT_TRUE(Entry(15, QStringLiteral("&75 \u00b5s De-emphasis"))->isChecked());
    EXPECT_TRUE(Entry(16, "-12 dB")->isChecked());
    EXPECT_FALSE(frame()->m_menuView->actions()[17]->isChecked());
}

TEST(AppArguments, TheFirstPlainArgumentIsTheSource)
{
    struct Case {
        QStringList args; // as Qt leaves them, the program first
        QString file;
        QStringList ignored;
    };
    const Case cases[] = {
        {{"tavirel", "--verbose", "rec.wav"}, "rec.wav", {"--verbose"}},
        {{"tavirel", "a.wav", "b.wav"}, "a.wav", {"b.wav"}},
        {{"tavirel", "--", "-odd name.wav"}, "-odd name.wav", {}},
        {{"tavirel", "-"}, "-", {}},
        {{"tavirel", ""}, "", {""}},
    };
    for (const Case& c : cases) {
        QStringList ignored;
        EXPECT_EQ(CTavirelApp::SourceFromArguments(c.args, &ignored), c.file) << c.args.join(' ').toStdString();
        EXPECT_EQ(ignored, c.ignored) << c.args.join(' ').toStdString();
    }
}

TEST_F(AppTest, FileOnTheCommandLineOpensAsTheSource)
{
    const QString stored = Wave("stored.wav", 24000);
    const QString named = Wave("named.wav", 48000);
    const QString previousFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    struct Case {
        QString arg;
        QString shown;      // the source loaded afterwards
        QStringList errors; // what the message boxes said
    };
    const Case cases[] = {
        {"named.wav", named, {}}, // relative to the folder the program starts in
        {"gone.wav", stored, {CTavirelView::CannotOpenText(m_dir.filePath("gone.wav"), WAVE_ERR_OPEN)}},
    };
    for (const Case& c : cases) {
        Seed(0, stored);
        m_dialogs.m_asked.clear();
        Start(c.arg);
        EXPECT_EQ(Errors(), c.errors) << c.arg.toStdString();
        EXPECT_TRUE(doc()->m_bLoaded) << c.arg.toStdString();
        EXPECT_EQ(m_app->m_pView->m_strSrcFile, c.shown) << c.arg.toStdString();
        frame()->close(); // the source in use is the one kept
        EXPECT_EQ(m_store.GetProfileString("Settings\\Strings", "SrcPath"), c.shown) << c.arg.toStdString();
        m_app.reset();
    }
    QDir::setCurrent(previousFolder);
}

// Ctrl+N in a maximised window moved along the bar: the stored settings and
// source are read again (changed behind the program's back), the status line
// starts over with the window at 0 and the form still fills the frame; a
// stored source gone since says why.
TEST_F(AppTest, CtrlNLoadsTheStoredSettingsAgain)
{
    // 50 minutes at 1000 frames/s: longer than the window.
    const QString first = Wave("a.wav", 3000000, 1000), second = Wave("b.wav", 3000000, 1000);
    Seed(40, first);
    m_store.WriteProfileString("WindowPos", "WindowPos", "0:1:-1:-1:-1:-1:100:120:700:520");
    Start();
    frame()->showMaximized();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame()));
    const QSize maximised = frame()->size();
    ASSERT_GT(maximised.width(), 600);
    CTavirelView* view = m_app->m_pView;
    view->GetLayoutWindow()->repaint();
    CWposCtrl& bar = view->m_wndPosBar;
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(bar.ClientRect().right(), bar.ClientRect().center().y()));
    ASSERT_GT(doc()->m_nViewStart, 0);
    Seed(-20, second);
    QTest::keyClick(frame(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(doc()->m_nRefLevel, -20);
    EXPECT_EQ(view->m_strSrcFile, second);
    view->GetLayoutWindow()->repaint();
    EXPECT_EQ(view->m_wndStatus->text(), QStringLiteral("View 0 Sec to %1 Sec").arg(bar.m_nViewEnd));
    EXPECT_TRUE(frame()->isMaximized());
    EXPECT_EQ(frame()->size(), maximised);
    EXPECT_EQ(view->geometry().right(), frame()->rect().right());
    EXPECT_EQ(view->geometry().bottom(), frame()->rect().bottom());
    EXPECT_EQ(view->GetLayoutWindow()->size(), view->viewport()->size());
    EXPECT_EQ(view->PlotAreaRect().right(), view->Control(IDC_POS_BAR)->geometry().right())
        << "the picture spans the form";
    Seed(0, m_dir.filePath("gone.wav"));
    QTest::keyClick(frame(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Errors(), QStringList{CTavirelView::CannotOpenText(m_dir.filePath("gone.wav"), WAVE_ERR_OPEN)});
    EXPECT_FALSE(doc()->m_bLoaded);
}

} // namespace
