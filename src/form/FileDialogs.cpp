#include "form/FileDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

CFileDialogs* g_pInstalled = nullptr;

QString RunFileDialog(QWidget* parent, const QString& initialPath, const QString& filter, bool save,
                      const QString& suffix = QStringLiteral("wav"))
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    // The filter's first extension ("Wave Files (*.wav)": wav) is added to a name typed without one.
    const QRegularExpressionMatch ext = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    dialog.setDefaultSuffix(ext.hasMatch() ? ext.captured(1) : suffix);
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

QString CFileDialogs::GetPictureFileName(QWidget* parent, const QString& initialPath)
{
    return RunFileDialog(parent, initialPath, QStringLiteral("PNG Pictures (*.png)"), true, QStringLiteral("png"));
}

bool CFileDialogs::GetPictureSize(QWidget* parent, QSize shown, QSize* chosen)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Export Picture"));
    auto* asShown = new QRadioButton(QStringLiteral("As &shown: %1 x %2").arg(shown.width()).arg(shown.height()));
    auto* other = new QRadioButton(QStringLiteral("&Other size:"));
    auto* width = new QSpinBox;
    auto* height = new QSpinBox;
    for (QSpinBox* box : {width, height})
        box->setRange(kMinPictureSidePx, kMaxPictureSidePx);
    width->setValue(shown.width());
    height->setValue(shown.height());
    asShown->setChecked(true);
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(other);
    sizeRow->addWidget(width);
    sizeRow->addWidget(new QLabel(QStringLiteral("x")));
    sizeRow->addWidget(height);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(asShown);
    layout->addLayout(sizeRow);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *chosen = asShown->isChecked() ? shown : QSize(width->value(), height->value());
    return true;
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
