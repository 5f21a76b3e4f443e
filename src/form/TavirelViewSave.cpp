// "Save Segment": saves the segment between the bar's From and To marks into
// the next numbered file. A save that takes a while shows its progress with a
// Cancel button; the window keeps painting meanwhile, but takes no input (it
// is refused while the save runs, the progress dialog's excepted). The
// copying itself is the document layer's (SegmentSave), shared with
// `tavirel-cli cut`.
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>

#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "form/TavirelView.h"

namespace {

// Steps of the progress dialog's bar.
constexpr int kProgressSteps = 1000;

// While it lives, no user input reaches any window but the progress dialog:
// the save lets events through for its paints and its Cancel button, and
// a click, a key, a drop or a menu command would act on the reader the save
// copies from. Closing the window waits for the save too.
class CSaveInputBlock : public QObject {
public:
    explicit CSaveInputBlock(const QWidget* pAllowed) : m_pAllowed(pAllowed) { qApp->installEventFilter(this); }
    ~CSaveInputBlock() override { qApp->removeEventFilter(this); }
    CSaveInputBlock(const CSaveInputBlock&) = delete;
    CSaveInputBlock& operator=(const CSaveInputBlock&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::Close: break;
        default: return false;
        }
        // Events of the window system reach the widgets through their windows: those pass.
        const auto* widget = qobject_cast<const QWidget*>(watched);
        if (widget == nullptr && event->type() != QEvent::Shortcut)
            return false;
        if (widget != nullptr && (widget == m_pAllowed || m_pAllowed->isAncestorOf(widget)))
            return false;
        event->ignore(); // refused: a drag is not taken, a close leaves the window open
        return true;
    }

private:
    const QWidget* m_pAllowed;
};

} // namespace

SegmentListResult CTavirelView::RunSaves(const std::vector<CSegment>& spans, const QString& title)
{
    CTavirelDoc* doc = GetDocument();
    const int n = static_cast<int>(spans.size());
    const auto label = [doc, n](int k) {
        const QString target = QFile::decodeName(SegmentOutputPath(*doc).c_str());
        return n == 1 ? QStringLiteral("Saving \"%1\"...").arg(target)
                      : QStringLiteral("Saving segment %1 of %2: \"%3\"...").arg(k).arg(n).arg(target);
    };

    // The save uses the document's reader: a rendering off the UI thread is
    // stopped first and made again afterwards, and paints show the picture as it is.
    const bool bRenderAgain = StopRender();
    QProgressDialog progress(label(1), QStringLiteral("Cancel"), 0, kProgressSteps, this);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(m_nSaveProgressDelayMs);
    int nShown = 0; // the segment the label names
    const SegmentListProgress report = [&](int k, int /*n*/, double dFraction) {
        if (k != nShown) {
            nShown = k;
            progress.setLabelText(label(k));
        }
        progress.setValue(static_cast<int>((k - 1 + dFraction) / n * kProgressSteps));
        QApplication::processEvents(); // paints, and the Cancel button
        return !progress.wasCanceled();
    };
    m_bSaving = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    SegmentListResult result;
    {
        const CSaveInputBlock block(&progress);
        result = SaveSegmentList(*doc, spans, m_bUseAgc, m_dAgcLevel, m_aBlock, report);
    }
    RestoreCursor();
    m_bSaving = false;
    progress.close();
    if (bRenderAgain)
        RequestPlot();
    if (result.failure.nError != WAVE_OK && !doc->m_bLoaded)
        OnSourceLost(); // the source could not be opened again to read the segment
    return result;
}

void CTavirelView::OnSaveSegment()
{
    CTavirelDoc* doc = GetDocument();
    // A segment of no frames writes nothing.
    if (!doc->m_bLoaded || m_bSaving || doc->m_nToFrame <= doc->m_nFromFrame)
        return;
    const SegmentListResult result = RunSaves({CSegment{doc->m_nFromFrame, doc->m_nToFrame, QString(), doc->m_selBand}},
                                              QStringLiteral("Save Segment"));
    if (result.bCancelled) {
        m_wndStatus->setText(QStringLiteral("Save cancelled"));
        return;
    }
    if (result.failure.nError == WAVE_OK) {
        if (!result.fullBandNotes.empty()) // a band that cannot be extracted: the whole band was saved
            ReportError(QStringLiteral("Saved in full band: ") + QString::fromStdString(result.fullBandNotes.front()));
        return;
    }
    // The reason goes in a message box: the status line is too narrow for it
    // and changes with the next pointer move.
    if (doc->m_bLoaded)
        ReportError(QFile::decodeName(result.failure.strMessage.c_str())); // the save loop words every fault
    m_wndStatus->setText(QStringLiteral("Save failed"));
}
