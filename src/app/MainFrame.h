// CMainFrame: the program's one top-level window. It hosts the form view, has
// three menus (File > Export Picture and View with the view's commands, Help >
// About) and the file accelerators, keeps the caption "Tavirel", and
// remembers its placement in the store's "WindowPos" record.
#pragma once

#include <QMainWindow>

#include <functional>

#include "app/WindowPlacement.h"

class CProfileStore;
class QAction;
class QMenu;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The store is not owned and must outlive the frame; it may be null (no
    // placement is then read or written).
    explicit CMainFrame(CProfileStore* pStore, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Reads the saved placement into m_savedPlacement (length 44 when one was
    // read, 0 when not). Returns 0.
    int OnCreate();
    // Shows the frame for a (new) document. A maximised or full-screen frame
    // stays as it is. Otherwise, with a saved placement the frame goes back to
    // it and its show command is used; without one nCmdShow (-1: show
    // normally if hidden, restore if minimised). Returns the show command
    // used, which the application keeps for the next activation.
    int ActivateFrame(int nCmdShow);
    // Writes the current placement, then runs m_pfnCloseDocument; once only.
    void OnClose();

    bool LoadSavedPlacement(WINDOWPLACEMENT* pwp);
    void StoreCurrentPlacement(const WINDOWPLACEMENT* pwp);
    // The frame's placement as the record describes it: normal rectangle (the
    // window's geometry without the window manager's frame), show command
    // from the window state.
    bool GetWindowPlacement(WINDOWPLACEMENT* pwp) const;
    // Applies the normal rectangle, then the show command.
    void SetWindowPlacement(const WINDOWPLACEMENT& wp);
    void ShowWindow(int nCmdShow);
    // Sizes the frame so that its central widget gets sizePx (within the
    // screen), for a first start without a saved placement.
    void ResizeToFitClient(const QSize& sizePx);

    // Runs once when the frame closes, after the placement was written: the
    // application closes the document and the view there.
    std::function<void()> m_pfnCloseDocument;

    WINDOWPLACEMENT m_savedPlacement;
    CProfileStore* m_pStore;
    QAction* m_actFileNew;  // Ctrl+N
    QAction* m_actFileOpen; // Ctrl+O
    QAction* m_actFileSave; // Ctrl+S: bound so that the key is taken, and does nothing
    QAction* m_actAppAbout; // Help > About Tavirel...
    QMenu* m_menuFile;      // File: filled by the application with the view's Export Picture
    QMenu* m_menuView;      // View: filled by the application with the view's commands

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_bClosed = false;
};
