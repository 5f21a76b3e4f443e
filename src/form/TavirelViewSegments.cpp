// The segment list of the shown source: selections added, removed, renamed
// and gone back to, kept per source in the user's data folder, read from and
// written to CSV files, and saved all at once as numbered files.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include <algorithm>

#include "doc/SegmentCsv.h"
#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "form/FileDialogs.h"
#include "form/TavirelView.h"
#include "sigmf/SigmfWrite.h"

namespace {

const char* const kSegmentFilter = "Segment Lists (*.csv)";
// Export also offers the list as SigMF annotations of the source.
const char* const kExportFilter = "Segment Lists (*.csv);;SigMF Metadata (*.sigmf-meta)";

QAction* MakeCommand(QWidget* owner, const QString& text, const QKeySequence& key = {})
{
    auto* action = new QAction(text, owner);
    if (!key.isEmpty()) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    owner->addAction(action);
    return action;
}

QString FileNameOf(const std::string& path)
{
    return QFileInfo(QFile::decodeName(path.c_str())).fileName();
}

} // namespace

QList<QAction*> CTavirelView::SegmentActions() const
{
    return {m_actAddSegment, m_actSaveAll, m_actImportSegments, m_actExportSegments};
}

void CTavirelView::CreateSegmentActions()
{
    m_actAddSegment = MakeCommand(this, QStringLiteral("Add Segment"), Qt::Key_Insert);
    m_actSaveAll = MakeCommand(this, QStringLiteral("Save All Segments"));
    m_actImportSegments = MakeCommand(this, QStringLiteral("Import Segments..."));
    m_actExportSegments = MakeCommand(this, QStringLiteral("Export Segments..."));
    m_actSaveBand = MakeCommand(this, QStringLiteral("Save Band"), Qt::CTRL | Qt::SHIFT | Qt::Key_S);
    m_actSaveBand->setEnabled(false);
    connect(m_actSaveBand, &QAction::triggered, this, [this] { OnSaveBand(); });
    m_actWriteSigmf = MakeCommand(this, QStringLiteral("Write SigMF &Metadata"));
    m_actWriteSigmf->setCheckable(true);
    connect(m_actWriteSigmf, &QAction::toggled, this, [this](bool on) { GetDocument()->m_bWriteSigmf = on; });
    m_actSaveAsSigmf = MakeCommand(this, QStringLiteral("Save as SigMF &Recording"));
    m_actSaveAsSigmf->setCheckable(true);
    connect(m_actSaveAsSigmf, &QAction::toggled, this, [this](bool on) { GetDocument()->m_bSaveAsSigmf = on; });
    connect(m_actAddSegment, &QAction::triggered, this, [this] { AddSelectionToList(); });
    connect(m_actSaveAll, &QAction::triggered, this, [this] { SaveAllSegments(); });
    connect(m_actImportSegments, &QAction::triggered, this, [this] { ImportSegments(); });
    connect(m_actExportSegments, &QAction::triggered, this, [this] { ExportSegments(); });
}

int CTavirelView::AddSelectionToList()
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || m_bSaving)
        return -1;
    // A To of the whole length in seconds may lie past the last frame: the list holds frames that are there.
    const int64_t end = std::min(doc->m_nToFrame, static_cast<int64_t>(doc->m_nDataFrames));
    QString why;
    const int row = doc->m_segments.Add(CSegment{doc->m_nFromFrame, end, QString(), doc->m_selBand}, &why);
    if (row < 0) {
        ReportError(QStringLiteral("The selection was not added to the list: %1").arg(why));
        return -1;
    }
    KeepSegments();
    emit SegmentsChanged(row);
    return row;
}

void CTavirelView::RemoveSegments(const std::vector<int>& rows)
{
    if (m_bSaving || GetDocument()->m_segments.RemoveRows(rows) == 0)
        return;
    KeepSegments();
    emit SegmentsChanged(-1);
}

bool CTavirelView::RenameSegment(int row, const QString& label)
{
    QString note;
    if (m_bSaving || !GetDocument()->m_segments.Rename(row, label, &note))
        return false;
    KeepSegments();
    emit SegmentsChanged(row);
    if (!note.isEmpty())
        m_wndStatus->setText(note);
    return true;
}

void CTavirelView::GoToSegment(int row)
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || m_bSaving || row < 0 || row >= doc->m_segments.Count())
        return;
    const CSegment s = doc->m_segments.At(row);
    doc->m_selBand = s.band;
    SetMarks(s.nFirstFrame, s.nEndFrame);
    // The segment in the middle of the window, or from its start when it is wider.
    const int64_t n = doc->m_nFftSize; // the window moves by transforms
    const int64_t first = s.nFirstFrame / n, blocks = (s.Frames() + n - 1) / n;
    ScrollTo(blocks < WindowBlocks() ? first + blocks / 2 - WindowBlocks() / 2 : first);
}

void CTavirelView::KeepSegments()
{
    const CTavirelDoc* doc = GetDocument();
    QString error;
    if (!m_segmentStore.Save(doc->m_strSrcPath, m_sourceIdentity, doc->m_segments, &error))
        ReportError(QStringLiteral("The segment list could not be kept for the next start: %1").arg(error));
}

void CTavirelView::ImportSegments()
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || m_bSaving)
        return;
    const QString path =
        CFileDialogs::Instance()->GetOpenFileName(this, QString(), QString::fromLatin1(kSegmentFilter));
    if (path.isEmpty())
        return;
    const SegmentCsvRead read =
        ReadSegmentsCsv(path, ClockOf(doc->m_timeBase), static_cast<int64_t>(doc->m_nDataFrames));
    if (!read.bRead) {
        ReportError(read.strError);
        return;
    }
    QStringList problems;
    const int added = doc->m_segments.AddAll(read.segments, &problems);
    if (added > 0) {
        KeepSegments();
        emit SegmentsChanged(-1);
    }
    QString text = read.Summary(QFileInfo(path).fileName());
    if (!problems.isEmpty())
        text += QLatin1Char('\n') + problems.join(QLatin1Char('\n'));
    if (!read.problems.isEmpty() || !problems.isEmpty() || added == 0)
        CFileDialogs::Instance()->ShowMessage(window(), text);
}

void CTavirelView::ExportSegments()
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || doc->m_segments.IsEmpty())
        return;
    const QString initial = QFileInfo(doc->m_strSrcPath).completeBaseName() + QStringLiteral(".csv");
    const QString path = CFileDialogs::Instance()->GetSaveFileName(this, initial, QString::fromLatin1(kExportFilter));
    if (path.isEmpty())
        return;
    if (path.endsWith(QLatin1String(sigmf::kMetaSuffix))) {
        const std::string why = WriteSegmentListMeta(*doc, WavePath(path));
        if (!why.empty())
            ReportError(QString::fromStdString(why));
        return;
    }
    QString error;
    if (!WriteSegmentsCsv(path, doc->m_segments, ClockOf(doc->m_timeBase), &error))
        ReportError(error);
}

void CTavirelView::SaveAllSegments(const std::vector<int>& rows)
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || m_bSaving || doc->m_segments.IsEmpty())
        return;
    if (doc->m_strDestPath.isEmpty() || m_strDestFile.isEmpty()) {
        ReportError(QStringLiteral("Choose a destination with \"Dest File...\" first: the segments are saved "
                                   "under its name with running numbers."));
        return;
    }
    std::vector<CSegment> spans;
    for (int row = 0; row < doc->m_segments.Count(); ++row)
        if (rows.empty() || std::find(rows.begin(), rows.end(), row) != rows.end())
            spans.push_back(doc->m_segments.At(row));
    const SegmentListResult result = RunSaves(spans, QStringLiteral("Save All Segments"));

    const int n = static_cast<int>(spans.size());
    QStringList lines;
    lines << QStringLiteral("%1 of %2 segments written.").arg(result.saved.size()).arg(n);
    for (size_t i = 0; i < result.saved.size(); ++i)
        lines << QStringLiteral("%1: %2").arg(spans[static_cast<size_t>(result.rows[i])].strLabel,
                                              FileNameOf(result.saved[i].strPath));
    const bool bCutShort = static_cast<int>(result.saved.size()) < result.nAttempted;
    if (result.bCancelled && bCutShort)
        lines << QStringLiteral("Cancelled during segment %1 (\"%2\"): its file was removed.")
                     .arg(result.nAttempted)
                     .arg(spans[static_cast<size_t>(result.nAttempted - 1)].strLabel);
    else if (result.bCancelled)
        lines << QStringLiteral("Cancelled before segment %1.").arg(result.nAttempted + 1);
    if (result.failure.nError != WAVE_OK)
        lines << QStringLiteral("Segment %1 (\"%2\") failed: %3")
                     .arg(result.nAttempted)
                     .arg(spans[static_cast<size_t>(result.nAttempted - 1)].strLabel,
                          QFile::decodeName(result.failure.strMessage.c_str()));
    const auto bands = std::count(result.extracted.begin(), result.extracted.end(), 1);
    if (bands > 0)
        lines << QStringLiteral("%1 of them hold their band, extracted as I/Q files.").arg(bands);
    for (const std::string& note : result.metaNotes)
        lines << QString::fromStdString(note);
    for (const std::string& note : result.fullBandNotes)
        lines << QStringLiteral("Cut in full band, its band could not be extracted: %1")
                     .arg(QString::fromStdString(note));
    if (!result.saved.empty())
        lines << QStringLiteral("Folder: %1")
                     .arg(QFileInfo(QFile::decodeName(result.saved.front().strPath.c_str())).absolutePath());
    CFileDialogs::Instance()->ShowMessage(window(), lines.join(QLatin1Char('\n')));
}
