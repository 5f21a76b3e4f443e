// The picture's choices: View > FFT Size, Window and Colours, the range of
// the colour scale beside the reference level, Auto Levels, the scales
// around the picture, and File > Export Picture.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFileInfo>
#include <QImageWriter>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

#include "display/PictureAxes.h"
#include "display/PictureLevels.h"
#include "display/SpectrogramPlot.h"
#include "doc/SettingsText.h"
#include "doc/TavirelDoc.h"
#include "form/ChoiceMenu.h"
#include "form/FileDialogs.h"
#include "form/SpinArrows.h"
#include "form/TavirelView.h"

namespace {

// One step of the range's arrows, dB.
constexpr int kRangeStepDb = 10;

std::vector<std::pair<int, QString>> ChoicesOf(std::span<const PictureChoice> list)
{
    std::vector<std::pair<int, QString>> choices;
    for (const PictureChoice& c : list)
        choices.emplace_back(c.value, QString::fromLatin1(c.title));
    return choices;
}

} // namespace

void CTavirelView::CreatePictureControls()
{
    auto* spin = new CSpinArrows;
    spin->setToolTip(QStringLiteral("Range: from the reference level down to the bottom colour"));
    AddControl(IDC_RANGE_SPIN, spin, 4, 46, 8, 8);
    auto* range = new QLabel;
    range->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    range->setAlignment(Qt::AlignCenter);
    range->setToolTip(spin->toolTip());
    AddControl(IDC_RANGE, range, 3, 38, 11, 8);
    range->setGeometry(DialogUnitsToPx(0, 38, 17, 8).adjusted(1, 0, -1, 0));
    spin->m_pfnDeltaPos = [this](int iDelta) { OnDeltaposRangeSpin(iDelta); };
    m_axes = std::make_unique<CPictureAxes>(font());
}

void CTavirelView::CreatePictureActions()
{
    std::vector<std::pair<int, QString>> sizes;
    for (int n = kPictureFftMinSize; n <= kPictureFftMaxSize; n *= 2)
        sizes.emplace_back(n, QString::number(n));
    m_menuFftSize = ChoiceMenu(this, QStringLiteral("&FFT Size"), sizes, [this](int n) { SetFftSize(n); });
    m_menuWindow =
        ChoiceMenu(this, QStringLiteral("Wi&ndow"), ChoicesOf(WindowChoices()), [this](int w) { SetWindowType(w); });
    m_menuColours =
        ChoiceMenu(this, QStringLiteral("&Colours"), ChoicesOf(ColourChoices()), [this](int c) { SetColourMap(c); });
    m_actPictureSeparator = new QAction(this);
    m_actPictureSeparator->setSeparator(true);
    m_actAutoLevels = new QAction(QStringLiteral("Auto &Levels"), this);
    m_actAutoLevels->setShortcut(QKeySequence(Qt::Key_A));
    m_actAutoLevels->setShortcutContext(Qt::WindowShortcut);
    addAction(m_actAutoLevels);
    connect(m_actAutoLevels, &QAction::triggered, this, [this] { AutoLevels(); });
    m_actAxes = new QAction(QStringLiteral("Sc&ales"), this);
    m_actAxes->setCheckable(true);
    connect(m_actAxes, &QAction::toggled, this, [this](bool on) { SetShowAxes(on); });
    m_actExport = new QAction(QStringLiteral("&Export Picture..."), this);
    m_actExport->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_actExport->setShortcutContext(Qt::WindowShortcut);
    addAction(m_actExport);
    connect(m_actExport, &QAction::triggered, this, [this] { OnExportPicture(); });
}

QList<QAction*> CTavirelView::PictureActions() const
{
    return {m_actPictureSeparator,
            m_menuFftSize->menuAction(),
            m_menuWindow->menuAction(),
            m_menuColours->menuAction(),
            m_actAutoLevels,
            m_actAxes};
}

void CTavirelView::ShowPictureChoices()
{
    const CTavirelDoc* doc = GetDocument();
    CheckChoice(m_menuFftSize, doc->m_nFftSize);
    CheckChoice(m_menuWindow, doc->m_nWindow);
    CheckChoice(m_menuColours, doc->m_nColourMap);
    m_actAxes->setChecked(doc->m_bShowAxes);
    static_cast<QLabel*>(Control(IDC_RANGE))->setText(RangeText());
}

QString CTavirelView::RangeText() const
{
    const CTavirelDoc* doc = GetDocument();
    return QString::number(std::lround(doc->m_nRefLevel - doc->BottomLevelDb()));
}

void CTavirelView::ApplyPictureChoice()
{
    CTavirelDoc* doc = GetDocument();
    ShowPictureChoices();
    if (m_pPlot == nullptr)
        return;
    m_pPlot->SetLevels(doc->m_bTwoChannel, static_cast<double>(doc->m_nRefLevel));
    doc->m_nDrawnStart = -1;
    GetLayoutWindow()->update(PlotAreaRect());
    // Drawn at once where it is quick (from the level pyramid, say), else off the UI thread.
    RefreshPlot();
}

void CTavirelView::SetFftSize(int nFrames)
{
    CTavirelDoc* doc = GetDocument();
    if (m_bSaving || !IsPictureFftSize(nFrames) || nFrames == doc->m_nFftSize) {
        ShowPictureChoices();
        return;
    }
    // The window keeps its start and, where the zoom allows, its frames per column.
    const int64_t startFrame = doc->ViewStartFrame();
    const int64_t columnFrames = int64_t{doc->m_nZoom} * doc->m_nFftSize;
    doc->SetFftSize(nFrames);
    if (doc->m_nViewStartBlock >= 0)
        doc->m_nViewStartBlock = startFrame / nFrames;
    doc->m_nZoom = static_cast<int>(std::clamp<int64_t>(columnFrames / nFrames, 1, WholeZoom()));
    ApplyPictureChoice();
}

void CTavirelView::SetWindowType(int nWindow)
{
    if (!m_bSaving && ChoiceValue(WindowChoices(), ChoiceName(WindowChoices(), nWindow)) == nWindow)
        GetDocument()->m_nWindow = nWindow;
    ApplyPictureChoice();
}

void CTavirelView::SetColourMap(int nMap)
{
    if (!m_bSaving)
        GetDocument()->SetColourMap(nMap);
    ApplyPictureChoice();
}

void CTavirelView::SetShowAxes(bool bShow)
{
    CTavirelDoc* doc = GetDocument();
    if (m_bSaving || doc->m_bShowAxes == bShow) {
        ShowPictureChoices();
        return;
    }
    doc->m_bShowAxes = bShow;
    // The picture takes the room the scales leave: a new size, a new picture.
    StopRender();
    GetLayoutWindow()->update();
    ShowPictureChoices();
}

void CTavirelView::OnDeltaposRangeSpin(int iDelta)
{
    CTavirelDoc* doc = GetDocument();
    if (m_bSaving)
        return;
    const int toFloor = static_cast<int>(std::lround(doc->m_nRefLevel - kPictureFloorDb));
    const int span = static_cast<int>(std::lround(doc->m_nRefLevel - doc->BottomLevelDb()));
    const int wanted = std::max(span + kRangeStepDb * iDelta, kRangeMinDb);
    const int range = wanted >= toFloor ? kRangeToFloor : wanted;
    if (range == doc->m_nRangeDb)
        return;
    doc->m_nRangeDb = range;
    ApplyPictureChoice();
}

void CTavirelView::AutoLevels()
{
    CTavirelDoc* doc = GetDocument();
    if (m_pPlot == nullptr || !doc->m_bLoaded || m_bSaving || PictureRect().isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const PlotRenderSetup setup = m_pPlot->WindowSetup(PictureRect().size(), doc->m_nZoom);
    const PictureLevels levels = MeasurePictureLevels(setup, PlotWorkerCount(setup.width));
    RestoreCursor();
    if (!levels.measured)
        return;
    const ::AutoLevels fit = AutoLevelsFor(levels.strongestDb, levels.noiseFloorDb);
    doc->m_nRefLevel = fit.refDb;
    doc->m_nRangeDb = fit.rangeDb;
    m_strRefLevel = QString::number(doc->m_nRefLevel);
    UpdateData(false);
    ApplyPictureChoice();
}

QRect CTavirelView::PictureRect() const
{
    const QRect area = PlotAreaRect();
    const CTavirelDoc* doc = GetDocument();
    if (!doc->m_bShowAxes || !doc->m_bLoaded || !m_axes)
        return area;
    const QSize size =
        m_axes->PictureSizeWithin(area.size(), AxesModelOf(*doc, doc->ViewStartFrame(), doc->m_nZoom, area.size()));
    const QMargins margins = m_axes->Margins(AxesModelOf(*doc, doc->ViewStartFrame(), doc->m_nZoom, size));
    return size.isEmpty() ? area : QRect(area.topLeft() + QPoint(margins.left(), margins.top()), size);
}

PictureAxesModel CTavirelView::ShownAxesModel() const
{
    return AxesModelOf(*GetDocument(), m_pPlot->DrawnStartFrame(), m_pPlot->DrawnZoom(), m_pPlot->m_bitmap.size());
}

void CTavirelView::PaintAxes(QPainter* painter)
{
    const CTavirelDoc* doc = GetDocument();
    if (m_pPlot == nullptr || !doc->m_bShowAxes || !doc->m_bLoaded || m_pPlot->m_bitmap.isNull() ||
        m_pPlot->m_bitmap.size() != m_pPlot->m_rcPlot.size() || m_pPlot->m_rcPlot == PlotAreaRect())
        return;
    m_axes->Draw(*painter, m_pPlot->m_rcPlot, ShownAxesModel(), palette().color(QPalette::WindowText));
}

void CTavirelView::OnExportPicture()
{
    CTavirelDoc* doc = GetDocument();
    if (m_pPlot == nullptr || !doc->m_bLoaded || m_bSaving || m_pPlot->m_bitmap.isNull())
        return;
    const PictureAxesModel shown = ShownAxesModel();
    const QSize shownSize = m_pPlot->m_bitmap.size().grownBy(m_axes->Margins(shown));
    QSize chosen;
    if (!CFileDialogs::Instance()->GetPictureSize(this, shownSize, &chosen))
        return;
    QImage image;
    if (chosen == shownSize) {
        image = m_axes->Compose(m_pPlot->m_bitmap, shown, Qt::white, Qt::black);
    } else {
        // The window from the same start over about the same time, at the chosen size.
        const QSize size = m_axes->PictureSizeWithin(chosen, shown);
        if (size.isEmpty()) {
            ReportError(QStringLiteral("A picture of %1 x %2 pixels leaves no room inside its scales.")
                            .arg(chosen.width())
                            .arg(chosen.height()));
            return;
        }
        const double columnFrames = static_cast<double>(shown.framesPerColumn) * shown.columns / size.width();
        const int zoom = static_cast<int>(
            std::clamp<double>(std::round(columnFrames / doc->m_nFftSize), 1.0, CTavirelDoc::kMaxZoom));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QImage picture = m_pPlot->RenderAt(size, zoom);
        RestoreCursor();
        image = m_axes->Compose(picture, AxesModelOf(*doc, shown.startFrame, zoom, size), Qt::white, Qt::black);
    }
    SavePicture(image);
}

void CTavirelView::SavePicture(const QImage& image)
{
    const CTavirelDoc* doc = GetDocument();
    const QFileInfo source(doc->m_strSrcPath);
    const QString initial = source.absolutePath() + QLatin1Char('/') + source.completeBaseName() + ".png";
    const QString path = CFileDialogs::Instance()->GetPictureFileName(this, initial);
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    QImageWriter writer(&file, "PNG");
    if (image.isNull() || !file.open(QIODevice::WriteOnly) || !writer.write(image) || !file.commit())
        ReportError(QStringLiteral("Cannot write the picture \"%1\":\n%2.")
                        .arg(path, image.isNull() ? QStringLiteral("no memory for it") : file.errorString()));
}
