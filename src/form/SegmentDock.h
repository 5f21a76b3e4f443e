// The segment list beside the form (View > Segments): one row per segment
// with its label, start (the recording's wall-clock time with milliseconds,
// or seconds without a recording time), duration and band, in time order.
// Insert or "Add Segment" adds the selection, Delete removes the chosen rows,
// F2 or a double-click on a label renames it, a double-click elsewhere goes
// to the segment; the buttons save, import and export the list.
#pragma once

#include <QAbstractTableModel>
#include <QDockWidget>

#include <vector>

class CTavirelDoc;
class CTavirelView;
class QAction;
class QLabel;
class QTableView;

// The document's segment list as a table; the label column is editable.
class CSegmentTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColLabel, ColStart, ColDuration, ColBand, ColCount };
    explicit CSegmentTableModel(CTavirelView* view, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The list changed: the table shows it anew.
    void Reload();

    // The texts of a row's cells.
    QString StartText(int row) const;
    QString DurationText(int row) const;
    QString BandText(int row) const;

private:
    const CTavirelDoc* Doc() const;

    CTavirelView* m_pView;
    bool m_bRenaming = false; // a rename of ours changes one row only
};

class CSegmentDock : public QDockWidget {
    Q_OBJECT
public:
    explicit CSegmentDock(CTavirelView* view, QWidget* parent = nullptr);

    QTableView* Table() const { return m_pTable; }
    CSegmentTableModel* Model() const { return m_pModel; }
    // The warning of the list's store ("" when none), above the table.
    QLabel* Note() const { return m_pNote; }
    // The rows chosen in the table, in order.
    std::vector<int> ChosenRows() const;

    QAction* m_actDelete = nullptr;     // Delete
    QAction* m_actSaveChosen = nullptr; // Save Chosen Segments

private:
    void OnSegmentsChanged(int row);
    void OnDoubleClicked(const QModelIndex& index);

    CTavirelView* m_pView;
    QTableView* m_pTable = nullptr;
    CSegmentTableModel* m_pModel = nullptr;
    QLabel* m_pNote = nullptr;
};
