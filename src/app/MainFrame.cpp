#include "app/MainFrame.h"

#include "app/AppIcon.h"
#include "doc/ProfileStore.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>

namespace {

const QString kWindowPosSection = QStringLiteral("WindowPos");
const QString kWindowPosEntry = QStringLiteral("WindowPos");

bool IsMinimiseCommand(int nCmdShow)
{
    return nCmdShow == SW_SHOWMINIMIZED || nCmdShow == SW_MINIMIZE || nCmdShow == SW_SHOWMINNOACTIVE ||
           nCmdShow == SW_FORCEMINIMIZE;
}

// A stored rectangle may come from a screen that is no longer there; one that
// overlaps no screen is moved onto the primary screen, as the desktop would.
QRect OnSomeScreen(QRect rect)
{
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(rect))
            return rect;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr)
        return rect;
    const QRect area = primary->availableGeometry();
    rect.setSize(rect.size().boundedTo(area.size()));
    rect.moveTopLeft(area.topLeft());
    return rect;
}

} // namespace

CMainFrame::CMainFrame(CProfileStore* pStore, QWidget* parent) : QMainWindow(parent), m_pStore(pStore)
{
    // The caption never shows the document's name.
    setWindowTitle(QStringLiteral("Tavirel"));
    setWindowIcon(TavirelIcon());

    // The view fills the File and View menus with its own commands.
    m_menuFile = menuBar()->addMenu(QStringLiteral("&File"));
    m_menuView = menuBar()->addMenu(QStringLiteral("&View"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    m_actAppAbout = help->addAction(QStringLiteral("&About Tavirel..."));

    // The file commands have keys but no menu entries.
    m_actFileNew = new QAction(this);
    m_actFileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_actFileOpen = new QAction(this);
    m_actFileOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    // The document has nothing of its own to save, and saving it would only
    // create or empty a file: Ctrl+S is taken and does nothing.
    m_actFileSave = new QAction(this);
    m_actFileSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    addAction(m_actFileNew);
    addAction(m_actFileOpen);
    addAction(m_actFileSave);
}

CMainFrame::~CMainFrame() = default;

int CMainFrame::OnCreate()
{
    m_savedPlacement = WINDOWPLACEMENT();
    m_savedPlacement.length = kPlacementLengthBytes;
    if (!LoadSavedPlacement(&m_savedPlacement))
        m_savedPlacement.length = 0;
    return 0;
}

bool CMainFrame::LoadSavedPlacement(WINDOWPLACEMENT* pwp)
{
    if (m_pStore == nullptr)
        return false;
    const QString text = m_pStore->GetProfileString(kWindowPosSection, kWindowPosEntry);
    if (text.isEmpty())
        return false;
    return ParsePlacement(text.toStdString(), pwp);
}

void CMainFrame::StoreCurrentPlacement(const WINDOWPLACEMENT* pwp)
{
    if (m_pStore == nullptr)
        return;
    // A failed write loses only the placement; nothing to tell the user.
    m_pStore->WriteProfileString(kWindowPosSection, kWindowPosEntry, QString::fromStdString(FormatPlacement(*pwp)));
}

bool CMainFrame::GetWindowPlacement(WINDOWPLACEMENT* pwp) const
{
    const Qt::WindowStates state = windowState();
    pwp->flags = 0;
    if (state & Qt::WindowMinimized) {
        pwp->showCmd = SW_SHOWMINIMIZED;
        if (state & Qt::WindowMaximized)
            pwp->flags |= WPF_RESTORETOMAXIMIZED;
    } else if (state & Qt::WindowMaximized) {
        pwp->showCmd = SW_SHOWMAXIMIZED;
    } else {
        pwp->showCmd = SW_SHOWNORMAL;
    }
    // The desktop keeps no minimised or maximised positions here: those read at
    // start-up are carried on unchanged, otherwise they are "not set".
    if (m_savedPlacement.length != 0) {
        pwp->ptMinPosition = m_savedPlacement.ptMinPosition;
        pwp->ptMaxPosition = m_savedPlacement.ptMaxPosition;
    } else {
        pwp->ptMinPosition = POINT{-1, -1};
        pwp->ptMaxPosition = POINT{-1, -1};
    }
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    pwp->rcNormalPosition =
        RECT{normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()};
    return true;
}

void CMainFrame::SetWindowPlacement(const WINDOWPLACEMENT& wp)
{
    const RECT& rc = wp.rcNormalPosition;
    const int64_t widthPx = int64_t{rc.right} - rc.left;
    const int64_t heightPx = int64_t{rc.bottom} - rc.top;
    // A rectangle without area (or beyond any screen's size) would leave no
    // window to see: the size is then kept as it is.
    if (widthPx > 0 && heightPx > 0 && widthPx <= 0x7FFF && heightPx <= 0x7FFF) {
        if (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))
            setWindowState(Qt::WindowNoState);
        setGeometry(OnSomeScreen(QRect(rc.left, rc.top, static_cast<int>(widthPx), static_cast<int>(heightPx))));
    }
    const int nCmdShow = static_cast<int>(wp.showCmd);
    if (IsMinimiseCommand(nCmdShow)) {
        Qt::WindowStates state = Qt::WindowMinimized;
        if (wp.flags & WPF_RESTORETOMAXIMIZED)
            state |= Qt::WindowMaximized;
        setWindowState(state);
        show();
    } else {
        ShowWindow(nCmdShow);
    }
}

void CMainFrame::ShowWindow(int nCmdShow)
{
    if (IsMinimiseCommand(nCmdShow)) {
        // Minimising keeps whether the window restores to maximised.
        setWindowState((windowState() & Qt::WindowMaximized) | Qt::WindowMinimized);
        show();
    } else if (nCmdShow == SW_SHOWMAXIMIZED) {
        showMaximized();
    } else if (nCmdShow == 5 /* SW_SHOW */ || nCmdShow == 8 /* SW_SHOWNA */) {
        show();
    } else {
        // Normal, restore, default; also a hide command, which would leave the
        // program running without a window to close it by.
        showNormal();
    }
}

void CMainFrame::ResizeToFitClient(const QSize& sizePx)
{
    QSize frameSize(sizePx.width(), sizePx.height() + menuBar()->sizeHint().height());
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        frameSize = frameSize.boundedTo(primary->availableGeometry().size());
    resize(frameSize);
}

int CMainFrame::ActivateFrame(int nCmdShow)
{
    // A frame the user maximised (or made full screen) stays so for a new
    // document. Its size is the window manager's: a placement applied over it
    // may be refused while the form is laid out for the requested size,
    // leaving part of the frame unpainted.
    if (isVisible() && !isMinimized() && (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        raise();
        activateWindow();
        return m_savedPlacement.length != 0 ? static_cast<int>(m_savedPlacement.showCmd) : nCmdShow;
    }
    if (m_savedPlacement.length != 0) {
        nCmdShow = static_cast<int>(m_savedPlacement.showCmd);
        SetWindowPlacement(m_savedPlacement);
    } else if (nCmdShow == -1) {
        if (!isVisible())
            nCmdShow = SW_SHOWNORMAL;
        else if (isMinimized())
            nCmdShow = 9; // SW_RESTORE
    }
    if (nCmdShow != -1)
        ShowWindow(nCmdShow);
    raise();
    activateWindow();
    return nCmdShow;
}

void CMainFrame::OnClose()
{
    if (m_bClosed)
        return;
    m_bClosed = true;
    WINDOWPLACEMENT wp;
    wp.length = kPlacementLengthBytes;
    if (GetWindowPlacement(&wp)) {
        if (windowState() & Qt::WindowMaximized)
            wp.flags |= WPF_RESTORETOMAXIMIZED;
        StoreCurrentPlacement(&wp);
    }
    if (m_pfnCloseDocument)
        m_pfnCloseDocument();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    OnClose();
    event->accept();
}
