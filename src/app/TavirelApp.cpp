#include "app/TavirelApp.h"

#include "app/AboutDlg.h"
#include "app/AppIcon.h"
#include "app/MainFrame.h"
#include "doc/ProfileStore.h"
#include "doc/TavirelDoc.h"
#include "form/FileDialogs.h"
#include "form/SegmentDock.h"
#include "form/TavirelView.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStyle>

#include <algorithm>

CTavirelApp::CTavirelApp() : m_nCmdShow(SW_SHOWNORMAL)
{
    QCoreApplication::setApplicationName(QStringLiteral("Tavirel"));
}

CTavirelApp::~CTavirelApp()
{
    // The view refers to the document and the frame to the store: frame first.
    m_pMainWnd.reset();
    m_pDoc.reset();
    m_pOwnStore.reset();
}

bool CTavirelApp::InitInstance()
{
    // The store's root: every setting from here on lives under Quenvaldt/Tavirel.
    QCoreApplication::setOrganizationName(QStringLiteral("Quenvaldt"));
    QCoreApplication::setApplicationName(QStringLiteral("Tavirel"));
    QApplication::setWindowIcon(TavirelIcon());
    if (m_pStore == nullptr) {
        m_pOwnStore = std::make_unique<CSettingsStore>();
        m_pStore = m_pOwnStore.get();
    }

    m_pDoc = std::make_unique<CTavirelDoc>(m_pStore);
    m_pMainWnd = std::make_unique<CMainFrame>(m_pStore);
    m_pMainWnd->OnCreate();
    m_pView = new CTavirelView(m_pDoc.get());
    m_pMainWnd->setCentralWidget(m_pView);
    // The segment list beside the form, shown from View > Segments.
    m_pSegmentDock = new CSegmentDock(m_pView, m_pMainWnd.get());
    m_pMainWnd->addDockWidget(Qt::RightDockWidgetArea, m_pSegmentDock);
    m_pSegmentDock->hide();
    // Shown beside the form, the list widens the window rather than narrowing the form.
    connect(m_pSegmentDock->toggleViewAction(), &QAction::toggled, this, [this](bool bShown) {
        CMainFrame* frame = m_pMainWnd.get();
        if (m_pSegmentDock->isFloating() || (frame->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            return;
        const int dockPx = std::max(m_pSegmentDock->sizeHint().width(), m_pSegmentDock->minimumSizeHint().width());
        const int widthPx = dockPx + frame->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, frame);
        frame->resize(frame->width() + (bShown ? widthPx : -widthPx), frame->height());
        if (bShown)
            frame->resizeDocks({m_pSegmentDock}, {dockPx}, Qt::Horizontal);
    });
    // Without a saved placement the window opens with the form at its design
    // size, as laid out; later new documents leave the size to the user.
    if (m_pMainWnd->m_savedPlacement.length == 0)
        m_pMainWnd->ResizeToFitClient(m_pView->GetDesignSize());
    ConnectUi();

    if (!NewDocument())
        return false;
    TakeCommandLineFile();
    InitialUpdateFrame();

    m_pMainWnd->show();
    return true;
}

void CTavirelApp::ConnectUi()
{
    CMainFrame* frame = m_pMainWnd.get();
    connect(frame->m_actAppAbout, &QAction::triggered, this, &CTavirelApp::OnShowAbout);
    connect(frame->m_actFileNew, &QAction::triggered, this, &CTavirelApp::OnFileNew);
    connect(frame->m_actFileOpen, &QAction::triggered, this, &CTavirelApp::OnFileOpen);
    frame->m_pfnCloseDocument = [this] { OnCloseDocument(); };
    frame->m_menuView->addActions(m_pView->ViewActions());
    frame->m_menuFile->addAction(m_pView->ExportAction());
    frame->m_menuFile->addAction(m_pView->SaveBandAction());
    frame->m_menuFile->addAction(m_pView->WriteSigmfAction());
    frame->m_menuFile->addAction(m_pView->SaveAsSigmfAction());
    frame->m_menuView->addSeparator();
    QAction* segments = m_pSegmentDock->toggleViewAction();
    segments->setText(QStringLiteral("Se&gments"));
    frame->m_menuView->addAction(segments);
}

void CTavirelApp::InitialUpdateFrame()
{
    m_pView->OnInitialUpdate();
    const int nCmdShow = m_nCmdShow;
    m_nCmdShow = -1;
    m_nCmdShow = m_pMainWnd->ActivateFrame(nCmdShow);
}

QString CTavirelApp::SourceFromArguments(const QStringList& args, QStringList* pIgnored)
{
    QString file;
    bool bOptionsEnd = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!bOptionsEnd && arg == QStringLiteral("--")) {
            bOptionsEnd = true;
            continue;
        }
        const bool bOption = !bOptionsEnd && arg.size() > 1 && arg.startsWith(QLatin1Char('-'));
        if (bOption || !file.isEmpty() || arg.isEmpty())
            pIgnored->append(arg);
        else
            file = arg;
    }
    return file;
}

void CTavirelApp::TakeCommandLineFile()
{
    if (m_strCommandLineFile.isEmpty())
        return;
    // The path is kept in the settings: it must not depend on the folder the
    // program was started in.
    const QString path = QFileInfo(m_strCommandLineFile).absoluteFilePath();
    if (m_pDoc->ProbeSource(path))
        m_pDoc->m_strSrcPath = path;
    else
        m_pView->ReportError(CTavirelView::CannotOpenText(path, m_pDoc->m_nSourceError, m_pDoc->m_strSourceError));
}

void CTavirelApp::OnShowAbout()
{
    CAboutDlg dlg(m_pMainWnd.get());
    dlg.exec();
}

bool CTavirelApp::NewDocument()
{
    if (!m_pDoc->OnNewDocument())
        return false;
    // First run: a source path handed over for a store that names none yet.
    if (m_pDoc->m_strSrcPath.isEmpty() && !m_strFirstSource.isEmpty())
        m_pDoc->m_strSrcPath = m_strFirstSource;
    return true;
}

void CTavirelApp::OnFileNew()
{
    if (!NewDocument())
        return;
    InitialUpdateFrame();
}

void CTavirelApp::OnFileOpen()
{
    const QString path =
        CFileDialogs::Instance()->GetOpenFileName(m_pMainWnd.get(), QString(), QStringLiteral("All Files (*)"));
    if (path.isEmpty())
        return;
    // The document has no content of its own: the file is only checked to be
    // readable, and nothing is read from it.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        CFileDialogs::Instance()->ShowError(m_pMainWnd.get(),
                                            QStringLiteral("Cannot open %1:\n%2").arg(path, file.errorString()));
        return;
    }
    file.close();
    m_strPathName = path;
    InitialUpdateFrame();
}

void CTavirelApp::OnCloseDocument()
{
    m_pDoc->OnCloseDocument();
    m_pView->OnDestroy();
}
