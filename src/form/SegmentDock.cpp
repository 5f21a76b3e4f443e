#include "form/SegmentDock.h"

#include <QAction>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "doc/TavirelDoc.h"
#include "form/TavirelView.h"

namespace {

// "7.095000-7.100000 MHz" when an edge is at or above 1 MHz, "1200-3400 Hz" otherwise.
QString BandRangeText(double lowHz, double highHz)
{
    if (std::max(std::fabs(lowHz), std::fabs(highHz)) >= 1e6)
        return QString::asprintf("%.6f-%.6f MHz", lowHz / 1e6, highHz / 1e6);
    return QString::asprintf("%.0f-%.0f Hz", lowHz, highHz);
}

} // namespace

// ---- the table ----

CSegmentTableModel::CSegmentTableModel(CTavirelView* view, QObject* parent) : QAbstractTableModel(parent), m_pView(view)
{
}

const CTavirelDoc* CSegmentTableModel::Doc() const
{
    return m_pView->GetDocument();
}

int CSegmentTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Doc()->m_segments.Count();
}

int CSegmentTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColCount;
}

QString CSegmentTableModel::StartText(int row) const
{
    const CTavirelDoc* doc = Doc();
    const int64_t first = doc->m_segments.At(row).nFirstFrame;
    SYSTEMTIME at{};
    if (doc->RecordingTimeOfFrame(first, at))
        return QString::asprintf("%02d:%02d:%02d.%03d", at.wHour, at.wMinute, at.wSecond, at.wMilliseconds);
    const int64_t ms = doc->m_timeBase.MillisecondOfFrame(first);
    return QString::asprintf("%lld.%03d s", static_cast<long long>(ms / 1000), static_cast<int>(ms % 1000));
}

QString CSegmentTableModel::DurationText(int row) const
{
    const CTavirelDoc* doc = Doc();
    const CSegment& s = doc->m_segments.At(row);
    const double seconds = doc->m_timeBase.SecondsOfFrame(s.nEndFrame) - doc->m_timeBase.SecondsOfFrame(s.nFirstFrame);
    return QString::asprintf("%.3f s", seconds);
}

QString CSegmentTableModel::BandText(int row) const
{
    const CSegment& s = Doc()->m_segments.At(row);
    if (!s.band)
        return QString();
    return BandRangeText(s.band->dLowHz, s.band->dHighHz);
}

QVariant CSegmentTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const int row = index.row();
    if (role == Qt::ToolTipRole && index.column() == ColStart) {
        const CTavirelDoc* doc = Doc();
        return m_pView->MarkText(doc->m_segments.At(row).nFirstFrame);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    switch (index.column()) {
    case ColLabel: return Doc()->m_segments.At(row).strLabel;
    case ColStart: return StartText(row);
    case ColDuration: return DurationText(row);
    case ColBand: return BandText(row);
    default: return QVariant();
    }
}

QVariant CSegmentTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const names[ColCount] = {"Label", "Start", "Duration", "Band"};
    return section >= 0 && section < ColCount ? QString::fromLatin1(names[section]) : QVariant();
}

Qt::ItemFlags CSegmentTableModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ColLabel)
        f |= Qt::ItemIsEditable;
    return f;
}

bool CSegmentTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != ColLabel)
        return false;
    m_bRenaming = true;
    const bool bDone = m_pView->RenameSegment(index.row(), value.toString());
    m_bRenaming = false;
    if (bDone)
        emit dataChanged(index, index);
    return bDone;
}

void CSegmentTableModel::Reload()
{
    if (m_bRenaming)
        return; // setData tells of the one row
    beginResetModel();
    endResetModel();
}

// ---- the dock ----

CSegmentDock::CSegmentDock(CTavirelView* view, QWidget* parent)
    : QDockWidget(QStringLiteral("Segments"), parent), m_pView(view)
{
    setObjectName(QStringLiteral("SegmentsDock"));
    auto* body = new QWidget;
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(4, 4, 4, 4);

    m_pNote = new QLabel;
    m_pNote->setWordWrap(true);
    m_pNote->setTextFormat(Qt::PlainText);
    m_pNote->setStyleSheet(QStringLiteral("QLabel { background: #fff3b0; color: black; padding: 3px; }"));
    m_pNote->hide();
    column->addWidget(m_pNote);

    m_pModel = new CSegmentTableModel(view, this);
    m_pTable = new QTableView;
    m_pTable->setModel(m_pModel);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pTable->setEditTriggers(QAbstractItemView::EditKeyPressed); // F2; a double-click is ours
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setWordWrap(false);
    column->addWidget(m_pTable, 1);

    m_actDelete = new QAction(QStringLiteral("Delete"), this);
    m_actDelete->setShortcut(Qt::Key_Delete);
    m_actDelete->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_pTable->addAction(m_actDelete);
    m_actSaveChosen = new QAction(QStringLiteral("Save Chosen Segments"), this);

    // The view's commands, reachable while the dock floats as a window of its own.
    const QList<QAction*> commands = view->SegmentActions();
    addActions(commands);
    addAction(view->SaveBandAction());
    const QList<QAction*> buttons{commands[0], m_actDelete, commands[1],           m_actSaveChosen,
                                  commands[2], commands[3], view->SaveBandAction()};
    auto* grid = new QGridLayout;
    for (int i = 0; i < buttons.size(); ++i) {
        auto* b = new QToolButton;
        b->setDefaultAction(buttons[i]);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        grid->addWidget(b, i / 3, i % 3);
    }
    column->addLayout(grid);
    setWidget(body);

    connect(m_actDelete, &QAction::triggered, this, [this] { m_pView->RemoveSegments(ChosenRows()); });
    connect(m_actSaveChosen, &QAction::triggered, this, [this] {
        if (const std::vector<int> rows = ChosenRows(); !rows.empty())
            m_pView->SaveAllSegments(rows);
    });
    connect(m_pTable, &QAbstractItemView::doubleClicked, this, &CSegmentDock::OnDoubleClicked);
    connect(view, &CTavirelView::SegmentsChanged, this, &CSegmentDock::OnSegmentsChanged);
    OnSegmentsChanged(-1);
}

std::vector<int> CSegmentDock::ChosenRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& i : m_pTable->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CSegmentDock::OnSegmentsChanged(int row)
{
    m_pModel->Reload();
    m_pTable->resizeColumnsToContents();
    const QString note = m_pView->SegmentNote();
    m_pNote->setText(note);
    m_pNote->setVisible(!note.isEmpty());
    if (row >= 0 && row < m_pModel->rowCount()) {
        m_pTable->selectRow(row);
        m_pTable->scrollTo(m_pModel->index(row, 0));
    }
}

void CSegmentDock::OnDoubleClicked(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    if (index.column() == CSegmentTableModel::ColLabel)
        m_pTable->edit(index);
    else
        m_pView->GoToSegment(index.row());
}
