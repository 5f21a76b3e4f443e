// CTavirelApp: starts the program (store, document, frame with the form view),
// runs the file and About commands, and closes the document when the frame
// closes. One instance, made by main() after the QApplication.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class CMainFrame;
class CProfileStore;
class CSegmentDock;
class CTavirelDoc;
class CTavirelView;

class CTavirelApp : public QObject {
    Q_OBJECT
public:
    CTavirelApp();
    ~CTavirelApp() override;

    // Sets the store's root, makes the store, the document, the frame and its
    // view, starts a new document and shows the frame. False ends the program.
    bool InitInstance();

    // The source file named by the arguments (the program's name first): the
    // first one that is not an option, or any after "--". Options Qt did not
    // take and further files go to *pIgnored.
    static QString SourceFromArguments(const QStringList& args, QStringList* pIgnored);

    void OnShowAbout();
    // Ctrl+N: a new document in the same frame (settings loaded again).
    void OnFileNew();
    // Ctrl+O: asks for any file, reads nothing from it and keeps its path;
    // the view starts over with the document as it is.
    void OnFileOpen();

    // The show command for the frame's next activation (the start-up one:
    // normal), kept as the frame's activation reports it.
    int m_nCmdShow;
    // Source path for a store that holds none yet (the first run); set by
    // main() from TAVIREL_FIRST_SOURCE before InitInstance.
    QString m_strFirstSource;
    // The source named on the command line; set by main() before InitInstance.
    // It takes the stored source's place when it opens as a wave file.
    QString m_strCommandLineFile;
    // A store to use instead of the per-user one; not owned. Set before
    // InitInstance (tests, tools).
    CProfileStore* m_pStore = nullptr;

    std::unique_ptr<CProfileStore> m_pOwnStore;
    std::unique_ptr<CTavirelDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    CTavirelView* m_pView = nullptr;        // owned by the frame
    CSegmentDock* m_pSegmentDock = nullptr; // owned by the frame
    QString m_strPathName;                  // the file last named with Ctrl+O

private:
    void ConnectUi();
    // The document's new-document step, and the first run's source path.
    bool NewDocument();
    // Makes the command line's file the document's source when it opens;
    // otherwise says why once the window shows.
    void TakeCommandLineFile();
    // The view's initial update, then the frame's activation.
    void InitialUpdateFrame();
    // The frame is closing: the document saves its settings, the view closes
    // the source and lets go of its plot.
    void OnCloseDocument();
};
