#include "app/AboutDlg.h"

#include "app/AppIcon.h"
#include "TavirelVersion.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* PlainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Tavirel"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(TavirelIconPixmap(32));
    icon->setFixedSize(32, 32);

    auto* version = PlainLabel(QStringLiteral("Tavirel Version " TAVIREL_VERSION), this);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // Top row: icon and version on the left, OK at the top right.
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addWidget(version, 0, Qt::AlignTop);
    top->addStretch(1);
    top->addWidget(ok, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(16);
    for (const char* sentence : {"The Dark Blue horizontal bar beneath the screen represents the entire input file.",
                                 "The Light Blue bar segment represents the screen display time window.",
                                 "The Yellow bar segment represents the Output File time window to be saved."}) {
        layout->addWidget(PlainLabel(QString::fromLatin1(sentence), this));
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Tab order as in the box's design: OK after the version text.
    ok->setFocus();
}
