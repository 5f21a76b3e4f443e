// CFileDialogs: the one seam through which the form asks the user for files
// and yes/no answers and tells why something failed. The default uses Qt's dialogs; tests install their own.
#pragma once

#include <QSize>
#include <QString>

class QWidget;

// The sides an exported picture may have, pixels.
inline constexpr int kMinPictureSidePx = 64;
inline constexpr int kMaxPictureSidePx = 16384;

class CFileDialogs {
public:
    virtual ~CFileDialogs() = default;
    // The chosen path, or "" when the user cancelled.
    virtual QString GetOpenFileName(QWidget* parent, const QString& initialPath, const QString& filter);
    // Asks before naming an existing file; "" when the user cancelled.
    virtual QString GetSaveFileName(QWidget* parent, const QString& initialPath, const QString& filter);
    // A picture file to write (PNG); asks before naming an existing file; "" when cancelled.
    virtual QString GetPictureFileName(QWidget* parent, const QString& initialPath);
    // The size of a picture to export: the shown one or one the user types;
    // false when the user cancelled.
    virtual bool GetPictureSize(QWidget* parent, QSize shown, QSize* chosen);
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
