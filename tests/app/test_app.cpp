// The whole program on a real settings store: start-up order, the file keys,
// the About box and the close path.
#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "app/TavirelApp.h"
#include "doc/ProfileStore.h"
#include "doc/TavirelDoc.h"
#include "form/FileDialogs.h"
#include "form/TavirelView.h"
#include "support/ScriptedDialogs.h"
#include "support/WaveBytes.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr int IDC_EXIT = 1009;

// A plain 16-bit one-channel RIFF wave of the given length, a slow ramp.
void WriteWave(const QString& path, int rateHz, int seconds)
{
    const size_t n = static_cast<size_t>(rateHz) * static_cast<size_t>(seconds);
    const riff::Bytes data = riff::Gen16(n, [](size_t i) { return static_cast<int16_t>((i * 37) % 20000); });
    ASSERT_TRUE(riff::WriteFile(path.toStdString(), riff::WaveFile({1, static_cast<uint32_t>(rateHz)}, data)));
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_storePath = m_dir.filePath(QStringLiteral("Tavirel.conf"));
        m_store = std::make_unique<CSettingsStore>(m_storePath);
        CFileDialogs::SetInstance(&m_dialogs);
    }
    void TearDown() override
    {
        m_app.reset();
        CFileDialogs::SetInstance(nullptr);
    }

    // The settings as the document writes them.
    void SeedSettings(int refLevel, const QString& srcPath, const QString& destPath)
    {
        m_store->WriteProfileString("Settings\\BOOLs", "BOOLs", "0:0:0:0:0:0:0:0:");
        m_store->WriteProfileString("Settings\\INTs", "INTs",
                                    QString::number(refLevel) + ":0:0:0:0:0:0:0:0:0:");
        m_store->WriteProfileString("Settings\\DOUBLEs", "DOUBLEs", "0:0:0:0:0:0:0:0:0:0:0:");
        m_store->WriteProfileString("Settings\\Strings", "SrcPath", srcPath);
        m_store->WriteProfileString("Settings\\Strings", "DestPath", destPath);
    }

    QString Stored(const char* section, const char* entry)
    {
        return m_store->GetProfileString(section, entry);
    }

    void Start(const QString& firstSource = QString())
    {
        m_app = std::make_unique<CTavirelApp>();
        m_app->m_pStore = m_store.get();
        m_app->m_strFirstSource = firstSource;
        ASSERT_TRUE(m_app->InitInstance());
        frame()->activateWindow();
        QApplication::setActiveWindow(frame());
    }

    CMainFrame* frame() { return m_app->m_pMainWnd.get(); }
    CTavirelView* view() { return m_app->m_pView; }
    CTavirelDoc* doc() { return m_app->m_pDoc.get(); }
    void PressCtrl(Qt::Key key) { QTest::keyClick(frame(), key, Qt::ControlModifier); }

    QTemporaryDir m_dir;
    QString m_storePath;
    std::unique_ptr<CSettingsStore> m_store;
    CScriptedDialogs m_dialogs;
    std::unique_ptr<CTavirelApp> m_app;
};

TEST_F(AppTest, StartUpLoadsTheSettingsBeforeTheViewShowsThem)
{
    SeedSettings(40, m_dir.filePath("missing.wav"), m_dir.filePath("cut.wav"));
    Start();
    EXPECT_EQ(QCoreApplication::organizationName(), "Quenvaldt");
    EXPECT_EQ(QCoreApplication::applicationName(), "Tavirel");
    EXPECT_EQ(frame()->windowTitle(), "Tavirel");
    EXPECT_TRUE(frame()->isVisible());
    EXPECT_EQ(frame()->centralWidget(), view());
    EXPECT_EQ(view()->GetDocument(), doc());
    EXPECT_EQ(view()->m_strRefLevel, "40");
    EXPECT_EQ(view()->m_strSrcFile, m_dir.filePath("missing.wav"));
    EXPECT_EQ(view()->m_strDestFile, m_dir.filePath("cut.wav"));
    EXPECT_FALSE(doc()->m_bLoaded);
    // No saved placement: the form opens at its design size.
    EXPECT_EQ(view()->size(), view()->GetDesignSize());
}

TEST_F(AppTest, CtrlNLoadsTheStoredSettingsAgain)
{
    SeedSettings(40, m_dir.filePath("a.wav"), m_dir.filePath("cut.wav"));
    Start();
    doc()->m_nRefLevel = 60;  // changed in the window, not yet saved

    // Changed behind the program's back.
    SeedSettings(-20, m_dir.filePath("b.wav"), m_dir.filePath("other.wav"));
    PressCtrl(Qt::Key_N);
    EXPECT_EQ(doc()->m_nRefLevel, -20);
    EXPECT_EQ(doc()->m_strSrcPath, m_dir.filePath("b.wav"));
    EXPECT_EQ(doc()->m_strDestPath, m_dir.filePath("other.wav"));
    // The view's initial update ran again with the new document.
    EXPECT_EQ(view()->m_strRefLevel, "-20");
    EXPECT_EQ(view()->m_strSrcFile, m_dir.filePath("b.wav"));
    EXPECT_EQ(frame()->windowTitle(), "Tavirel");
}

TEST_F(AppTest, CtrlOReadsNothingAndStartsTheViewOver)
{
    SeedSettings(40, m_dir.filePath("a.wav"), m_dir.filePath("cut.wav"));
    Start();
    const QString chosen = m_dir.filePath("notes.txt");
    {
        QFile file(chosen);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    view()->m_strSrcFile = "scribbled";
    SeedSettings(-20, m_dir.filePath("b.wav"), m_dir.filePath("other.wav"));

    PressCtrl(Qt::Key_O); // cancelled: nothing happens
    ASSERT_EQ(m_dialogs.m_asked.size(), 1);
    EXPECT_TRUE(m_dialogs.m_asked[0].endsWith("|All Files (*)")) << m_dialogs.m_asked[0].toStdString();
    EXPECT_EQ(view()->m_strSrcFile, "scribbled");

    m_dialogs.m_answers = {chosen};
    PressCtrl(Qt::Key_O);
    EXPECT_EQ(m_dialogs.m_asked.size(), 2);
    EXPECT_EQ(m_app->m_strPathName, chosen);
    // The view started over from the document, which was not loaded again.
    EXPECT_EQ(view()->m_strSrcFile, m_dir.filePath("a.wav"));
    EXPECT_EQ(doc()->m_nRefLevel, 40);
    QFile file(chosen);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "keep me");
}

struct CloseWay {
    const char* name;
    void (*close)(CMainFrame* frame, CTavirelView* view);
};

TEST_F(AppTest, EveryCloseWritesPlacementAndSettings)
{
    const CloseWay ways[] = {
        {"Exit button", [](CMainFrame*, CTavirelView* v) {
             QTest::mouseClick(v->Control(IDC_EXIT), Qt::LeftButton);
         }},
        {"window manager close", [](CMainFrame* f, CTavirelView*) { f->close(); }},
    };
    const QString source = m_dir.filePath("source.wav");
    WriteWave(source, 8000, 3);
    for (const CloseWay& way : ways) {
        SeedSettings(40, source, m_dir.filePath("cut.wav"));
        m_store->WriteProfileString("WindowPos", "WindowPos", "0:1:-1:-1:-1:-1:100:120:700:520");
        Start();
        ASSERT_TRUE(doc()->m_bLoaded) << way.name;
        ASSERT_EQ(frame()->geometry(), QRect(100, 120, 600, 400)) << way.name;
        frame()->setGeometry(60, 70, 640, 480);
        doc()->m_nRefLevel = -40;
        way.close(frame(), view());
        EXPECT_FALSE(frame()->isVisible()) << way.name;
        EXPECT_EQ(Stored("WindowPos", "WindowPos"), "0:1:-1:-1:-1:-1:60:70:700:550") << way.name;
        EXPECT_EQ(Stored("Settings\\INTs", "INTs"), "-40:0:0:0:0:0:0:0:0:0:") << way.name;
        EXPECT_EQ(Stored("Settings\\Strings", "SrcPath"), source) << way.name;
        // The view let go of the source and its plot.
        EXPECT_FALSE(doc()->m_wave.m_bInOpen) << way.name;
        EXPECT_EQ(view()->m_pPlot, nullptr) << way.name;
        m_app.reset();
    }
}

TEST_F(AppTest, FirstSourceOnlyWhileTheStoreNamesNone)
{
    const QString demo = m_dir.filePath("demo.wav");
    WriteWave(demo, 8000, 2);
    Start(demo);
    EXPECT_EQ(doc()->m_strSrcPath, demo);
    EXPECT_TRUE(doc()->m_bLoaded);
    EXPECT_EQ(doc()->m_nLengthSec, 2);
    PressCtrl(Qt::Key_N);  // the store still names no source
    EXPECT_EQ(doc()->m_strSrcPath, demo);
    EXPECT_TRUE(doc()->m_bLoaded);
    frame()->close();
    EXPECT_EQ(Stored("Settings\\Strings", "SrcPath"), demo);
    m_app.reset();

    SeedSettings(0, m_dir.filePath("mine.wav"), "");
    Start(demo);
    EXPECT_EQ(doc()->m_strSrcPath, m_dir.filePath("mine.wav"));
}

TEST_F(AppTest, HelpAboutRunsTheAboutBoxOverTheFrame)
{
    Start();
    QString caption;
    QWidget* owner = nullptr;
    // Runs once the modal box's own event loop is going: note it, then close it.
    QMetaObject::invokeMethod(
        frame(),
        [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                caption = modal->windowTitle();
                owner = modal->parentWidget();
                modal->close();
            }
        },
        Qt::QueuedConnection);
    frame()->m_actAppAbout->trigger();
    EXPECT_EQ(caption, "About Tavirel");
    EXPECT_EQ(owner, frame());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(AboutBox, TextsIconAndOk)
{
    CAboutDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "About Tavirel");
    QSet<QString> texts;
    bool hasIcon = false;
    for (const QLabel* label : dlg.findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            texts.insert(label->text());
        if (!label->pixmap().isNull())
            hasIcon = true;
    }
    EXPECT_EQ(texts, (QSet<QString>{
                         "Tavirel Version 1.07",
                         "The Dark Blue horizontal bar beneath the screen represents the entire input file.",
                         "The Light Blue bar segment represents the screen display time window.",
                         "The Yellow bar segment represents the Output File time window to be saved.",
                     }));
    EXPECT_TRUE(hasIcon);
    const QList<QPushButton*> buttons = dlg.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), "OK");
    EXPECT_TRUE(buttons[0]->isDefault());
    dlg.open();
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

}  // namespace
