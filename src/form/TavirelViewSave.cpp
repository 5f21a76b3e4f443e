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

void CTavirelView::OnSaveSegment()
{
    CTavirelDoc* doc = GetDocument();
    const int nFromSec = m_wndPosBar.m_nFrom;
    const int nToSec = m_wndPosBar.m_nTo;
    // A segment of no frames writes nothing.
    if (!doc->m_bLoaded || m_bSaving || SegmentFrameCount(*doc, nFromSec, nToSec) <= 0)
        return;
    const QString target = QFile::decodeName(SegmentOutputPath(*doc).c_str());

    // The save uses the document's reader: a rendering off the UI thread is
    // stopped first and made again afterwards, and paints show the picture as it is.
    const bool bRenderAgain = StopRender();
    QProgressDialog progress(QStringLiteral("Saving \"%1\"...").arg(target), QStringLiteral("Cancel"), 0,
                             kProgressSteps, this);
    progress.setWindowTitle(QStringLiteral("Save Segment"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(m_nSaveProgressDelayMs);
    const SegmentProgress report = [&progress](double dFraction) {
        progress.setValue(static_cast<int>(dFraction * kProgressSteps));
        QApplication::processEvents(); // paints, and the Cancel button
        return !progress.wasCanceled();
    };
    m_bSaving = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    SegmentSaveResult result;
    {
        const CSaveInputBlock block(&progress);
        result = SaveSegment(*doc, nFromSec, nToSec, m_bUseAgc, m_dAgcLevel, m_aBlock, report);
    }
    RestoreCursor();
    m_bSaving = false;
    progress.close();
    if (bRenderAgain)
        RequestPlot();

    if (result.bCancelled) {
        m_wndStatus->setText(QStringLiteral("Save cancelled"));
        return;
    }
    if (result.nError == WAVE_OK)
        return;
    // The reason goes in a message box: the status line is too narrow for it
    // and changes with the next pointer move.
    if (!doc->m_bLoaded)
        OnSourceLost(); // the source could not be opened again to read the segment
    else
        ReportError(QFile::decodeName(result.strMessage.c_str())); // the save loop words every fault
    m_wndStatus->setText(QStringLiteral("Save failed"));
}
