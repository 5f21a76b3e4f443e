// "Save Segment": asks before an existing file is replaced, then saves the
// segment between the bar's From and To marks under the wait cursor. The
// copying itself is the document layer's (SegmentSave), shared with
// `tavirel-cli cut`.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "form/FileDialogs.h"
#include "form/TavirelView.h"

void CTavirelView::OnSaveSegment()
{
    CTavirelDoc* doc = GetDocument();
    const int nFromSec = m_wndPosBar.m_nFrom;
    const int nToSec = m_wndPosBar.m_nTo;
    // A segment of no frames (a source shorter than one second) writes nothing,
    // so there is nothing to ask about either.
    if (!doc->m_bLoaded || SegmentFrameCount(nFromSec, nToSec, doc->m_nTotalFrames, doc->m_nLengthSec) <= 0)
        return;

    // The question is about the file that will actually be written: the
    // destination with the next running number. No leaves everything as it was.
    const QFileInfo outFile(QFile::decodeName(SegmentOutputPath(*doc).c_str()));
    if (outFile.exists() || outFile.isSymLink()) {
        if (!CFileDialogs::Instance()->AskYesNo(this, QStringLiteral("File exists.  Overwrite?")))
            return;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const SegmentSaveResult result = SaveSegment(*doc, nFromSec, nToSec, m_bUseAgc, m_dAgcLevel, m_aBlock);
    RestoreCursor();

    if (result.nError == WAVE_OK)
        return;
    // The reason goes in a message box: the status line is too narrow for it
    // and changes with the next pointer move.
    if (!doc->m_bLoaded) {
        OnSourceLost(); // the source could not be opened again to read the segment
    } else {
        const QString target =
            result.strPath.empty() ? outFile.filePath() : QFile::decodeName(result.strPath.c_str());
        const bool bReading = result.nError >= WAVE_ERR_OPEN && result.nError <= WAVE_ERR_NOT_OPEN;
        ReportError(QStringLiteral("The segment could not be saved as \"%1\":\n%2%3.")
                        .arg(target, bReading ? QStringLiteral("reading the source failed: ") : QString(),
                             QString::fromUtf8(WaveErrorText(result.nError))));
    }
    m_wndStatus->setText(QStringLiteral("Save failed"));
}
