// "Save Segment": saves the segment between the bar's From and To marks into
// the next numbered file. A save that takes a while shows its progress with a
// Cancel button; the window keeps painting meanwhile, but takes no input (it
// is refused while the save runs, the progress dialog's excepted). The
// copying itself is the document layer's (SegmentSave), shared with
// `tavirel-cli cut`. "Save Band" extracts a rectangle selection's band
// through the same saves (BandSave, shared with `tavirel-cli extract`).
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>

#include <algorithm>

#include "band/BandExtract.h"
#include "doc/BandSave.h"
#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "form/FileDialogs.h"
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
    // The segment keeps the source's format and whole band; Save Band extracts a band.
    ShowSaveOutcome(
        RunSaves({CSegment{doc->m_nFromFrame, doc->m_nToFrame, QString(), {}}}, QStringLiteral("Save Segment")));
}

void CTavirelView::ShowSaveOutcome(const SegmentListResult& result)
{
    CTavirelDoc* doc = GetDocument();
    if (result.bCancelled) {
        m_wndStatus->setText(QStringLiteral("Save cancelled"));
        return;
    }
    if (result.failure.nError == WAVE_OK) {
        if (!result.metaNotes.empty()) // the file was written, its description not
            ReportError(QString::fromStdString(result.metaNotes.front()));
        return;
    }
    // The reason goes in a message box: the status line is too narrow for it
    // and changes with the next pointer move.
    if (doc->m_bLoaded)
        ReportError(QFile::decodeName(result.failure.strMessage.c_str())); // the save loop words every fault
    m_wndStatus->setText(QStringLiteral("Save failed"));
}

void CTavirelView::UpdateSaveBandEnabled()
{
    const CTavirelDoc* doc = GetDocument();
    m_actSaveBand->setEnabled(doc->m_bLoaded && doc->m_selBand.has_value());
}

void CTavirelView::OnSaveBand()
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || m_bSaving || !doc->m_selBand || doc->m_nToFrame <= doc->m_nFromFrame)
        return;
    if (!m_btnSave->isEnabled()) {
        ReportError(QStringLiteral("Choose the destination file first (Dest File...)."));
        return;
    }
    const SegmentBand band = *doc->m_selBand;
    // A To of the whole length in seconds may lie past the last frame.
    const CSegment s{doc->m_nFromFrame, std::min(doc->m_nToFrame, static_cast<int64_t>(doc->m_nDataFrames)), QString(),
                     band};
    const band::SourceSpectrum spectrum = DocSpectrum(*doc);
    band::BandPlan plan;
    const band::BandFault fault = band::DesignBand(spectrum, band.dLowHz, band.dHighHz, 0, &plan);
    if (fault != band::BandFault::None) {
        ReportError(QStringLiteral("The band cannot be saved: %1")
                        .arg(QString::fromStdString(BandFaultMessage(fault, spectrum, band.dLowHz, band.dHighHz, 0))));
        return;
    }
    const int64_t frames = band::BandOutputFrames(s.nFirstFrame, s.nEndFrame, plan.nDecimation);
    if (frames <= 0) {
        ReportError(QStringLiteral("The band cannot be saved: the span is shorter than one output frame of the band."));
        return;
    }
    const QString target = QFile::decodeName(SegmentOutputPath(*doc).c_str());
    const QString ask =
        QStringLiteral(
            "Save the band as I/Q at %1 Hz (1/%2 of the rate), centred on %3, %4 wide, %5 frames, into \"%6\"?")
            .arg(plan.nOutputRate)
            .arg(plan.nDecimation)
            .arg(RadioFrequencyText(static_cast<double>(plan.nCentreHz)))
            .arg(FrequencySpanText(band.dHighHz - band.dLowHz))
            .arg(frames)
            .arg(target);
    if (!CFileDialogs::Instance()->AskYesNo(this, ask))
        return;
    ShowSaveOutcome(RunSaves({s}, QStringLiteral("Save Band")));
}
