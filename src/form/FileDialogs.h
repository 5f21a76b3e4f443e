// CFileDialogs: the one seam through which the form asks the user for files
// and yes/no answers and tells why something failed. The default uses Qt's dialogs; tests install their own.
#pragma once

#include <QString>

class QWidget;

class CFileDialogs {
public:
    virtual ~CFileDialogs() = default;
    // The chosen path, or "" when the user cancelled.
    virtual QString GetOpenFileName(QWidget* parent, const QString& initialPath, const QString& filter);
    // Asks before naming an existing file; "" when the user cancelled.
    virtual QString GetSaveFileName(QWidget* parent, const QString& initialPath, const QString& filter);
    // true = Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& text);
    // A failure the user must know about, in a modal message box.
    virtual void ShowError(QWidget* parent, const QString& text);
    // What a long command came to (written files, rows taken), in a modal message box.
    virtual void ShowMessage(QWidget* parent, const QString& text);

    // The dialogs in use; never null.
    static CFileDialogs* Instance();
    // Installs d (not owned); null restores Qt's own dialogs.
    static void SetInstance(CFileDialogs* d);
};
