#include "form/FileDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace {

CFileDialogs* g_pInstalled = nullptr;

QString RunFileDialog(QWidget* parent, const QString& initialPath, const QString& filter, bool save)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    // The filter's first extension ("Wave Files (*.wav)": wav) is added to a name typed without one.
    const QRegularExpressionMatch ext = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    dialog.setDefaultSuffix(ext.hasMatch() ? ext.captured(1) : QStringLiteral("wav"));
    // A save dialog asks before it names an existing file (Qt's default, kept explicit).
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!initialPath.isEmpty())
        dialog.selectFile(initialPath);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

} // namespace

QString CFileDialogs::GetOpenFileName(QWidget* parent, const QString& initialPath, const QString& filter)
{
    return RunFileDialog(parent, initialPath, filter, false);
}

QString CFileDialogs::GetSaveFileName(QWidget* parent, const QString& initialPath, const QString& filter)
{
    return RunFileDialog(parent, initialPath, filter, true);
}

bool CFileDialogs::AskYesNo(QWidget* parent, const QString& text)
{
    return QMessageBox::question(parent, QString(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void CFileDialogs::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, QStringLiteral("Tavirel"), text);
}

void CFileDialogs::ShowMessage(QWidget* parent, const QString& text)
{
    QMessageBox::information(parent, QStringLiteral("Tavirel"), text);
}

CFileDialogs* CFileDialogs::Instance()
{
    static CFileDialogs qtDialogs;
    return g_pInstalled != nullptr ? g_pInstalled : &qtDialogs;
}

void CFileDialogs::SetInstance(CFileDialogs* d)
{
    g_pInstalled = d;
}
