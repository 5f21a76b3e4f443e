#include "form/TavirelView.h"

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QMimeData>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "display/SpectrogramPlot.h"
#include "doc/SettingsText.h"
#include "doc/TavirelDoc.h"
#include "form/FileDialogs.h"

namespace {

// The form's size in dialog units.
constexpr int kFormWidthDu = 322;
constexpr int kFormHeightDu = 198;

const char* const kWaveFilter = "Wave Files (*.wav)";
const char* const kSourceFilter =
    "Recordings (*.wav *.sigmf-meta *.sigmf-data *.sigmf);;Wave Files (*.wav);;SigMF Recordings (*.sigmf-meta *.sigmf-data *.sigmf)";

const char* const kHelpLine = "L-Click = Repositions Zoom Window"
                              "         "
                              "CTRL-L-Click = Set \"From\" Pos"
                              "       "
                              "CTRL-R-Click = Set \"To\" Pos";

// Date and time of a label; the hour without a leading zero.
const char* const kTimeFormat = "%m/%d/%Y %-H:%M:%S ";

QString FormatTime(const CTime& t, const char* pattern)
{
    return QString::fromLocal8Bit(t.Format(pattern).c_str());
}

QLabel* MakeLabel(const QString& text, Qt::Alignment align)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText); // paths are shown as they are, never as markup
    label->setAlignment(align | Qt::AlignVCenter);
    label->setWordWrap(false);
    return label;
}

QLabel* MakeSunkenLabel(const QString& text)
{
    QLabel* label = MakeLabel(text, Qt::AlignHCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    return label;
}

// Pixels per four horizontal dialog units: the font's average character width,
// taken as dialog templates define it (the mean advance of A-Z and a-z), and
// widened where a fixed text of the template would not fit its control in this
// font (the template was laid out for a narrower one).
int DialogCharWidthPx(const QFontMetrics& metrics)
{
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int widthPx = (metrics.horizontalAdvance(alphabet) + 26) / 52;
    struct Fit {
        const char* text;
        int cxDu;    // the control's width
        int extraPx; // room the control needs beside its text
    };
    const int buttonPx = 12;
    const int checkPx = metrics.height() + 8;
    const Fit fits[] = {{"Src File...", 42, buttonPx},
                        {"Dest File...", 42, buttonPx},
                        {"Save Segment", 54, buttonPx},
                        {"Exit", 54, buttonPx},
                        {"Use AGC", 44, checkPx},
                        {"From:", 18, 0},
                        {"To:", 11, 0},
                        {kHelpLine, 315, 0}};
    for (const Fit& f : fits) {
        const int needPx = metrics.horizontalAdvance(QString::fromLatin1(f.text)) + f.extraPx;
        widthPx = std::max(widthPx, (needPx * 4 + f.cxDu - 1) / f.cxDu);
    }
    return std::max(widthPx, 1);
}

// The one local file a drag carries; "" for anything else.
QString DraggedFile(const QMimeData* mime)
{
    if (mime == nullptr || !mime->hasUrls() || mime->urls().size() != 1)
        return QString();
    const QUrl url = mime->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

// Position of a point inside the plot area as seconds of the shown window:
// multiplication first, truncated toward zero.
int SecondsAtPx(int xPx, int widthPx, int spanSec)
{
    return static_cast<int>(int64_t{xPx} * spanSec / widthPx);
}

// Shows text in label in the largest font, from the label's own down to 4
// points, in which it fits the label on one line or, broken at the double
// blank nearest its middle, on two (the readout is longer than the form's
// narrow status line is wide).
void SetFittedText(QLabel* label, const QString& text, const QFont& normal)
{
    const QRect room = label->contentsRect().adjusted(1, 0, -1, 0);
    const qsizetype middle = text.size() / 2, before = text.lastIndexOf(QStringLiteral("  "), middle),
                    after = text.indexOf(QStringLiteral("  "), middle);
    const qsizetype at = before <= 0 || (after > 0 && after - middle < middle - before) ? after : before;
    const QString broken = at > 0 ? text.left(at) + QLatin1Char('\n') + text.mid(at + 2) : text;
    const auto fits = [&room](const QString& shown, const QFont& font) {
        const QFontMetrics metrics(font);
        const QStringList lines = shown.split(QLatin1Char('\n'));
        // Two lines may reach into the frame by a pixel or two (centred: the first
        // line's accents and the second one's descenders).
        if ((lines.size() - 1) * metrics.lineSpacing() + metrics.ascent() > std::max(room.height(), metrics.height()))
            return false;
        for (const QString& line : lines)
            if (metrics.horizontalAdvance(line) > room.width())
                return false;
        return true;
    };
    QFont font = normal;
    QString shown = text; // when nothing fits: one line, cut at its ends
    for (; font.pointSizeF() > 4.0; font.setPointSizeF(font.pointSizeF() - 0.5)) {
        if (fits(text, font) || fits(broken, font)) {
            shown = fits(text, font) ? text : broken;
            break;
        }
    }
    label->setFont(font);
    label->setText(shown);
}

// The plot area: a black frame the spectrogram is drawn into. Mouse input
// passes through it to the form.
QFrame* MakePlotFrame()
{
    auto* plotArea = new QFrame;
    plotArea->setFrameStyle(QFrame::Box | QFrame::Plain);
    plotArea->setLineWidth(1);
    QPalette black = plotArea->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    plotArea->setPalette(black);
    plotArea->setAttribute(Qt::WA_TransparentForMouseEvents);
    return plotArea;
}

} // namespace

// ---- the form ----

CTavirelView::CTavirelView(CTavirelDoc* pDoc, QWidget* parent) : CResizableFormView(parent), m_pDoc(pDoc)
{
    const QFontMetrics metrics(GetLayoutWindow()->font());
    m_nDuAvgCharWidthPx = DialogCharWidthPx(metrics);
    m_nDuCharHeightPx = std::max(metrics.height(), 1);
    // The form is no stop of its own: Tab moves between its controls.
    setFocusPolicy(Qt::NoFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    CreateControls();
    CreateViewActions();
    CreatePictureActions();
    CreatePlayActions();
    CreateSelectActions();
    CreateSegmentActions();
    GetLayoutWindow()->installEventFilter(this); // the pointer leaving the form
    SetDesignSize(DialogUnitsToPx(0, 0, kFormWidthDu, kFormHeightDu).size());
}

CTavirelView::~CTavirelView()
{
    OnDestroy();
}

QRect CTavirelView::DialogUnitsToPx(int x, int y, int cx, int cy) const
{
    // Horizontal units are a quarter of the average character width, vertical
    // ones an eighth of the character height, rounded to the nearest pixel.
    auto h = [this](int du) { return (du * m_nDuAvgCharWidthPx + 2) / 4; };
    auto v = [this](int du) { return (du * m_nDuCharHeightPx + 4) / 8; };
    const int left = h(x);
    const int top = v(y);
    return QRect(left, top, h(x + cx) - left, v(y + cy) - top);
}

QWidget* CTavirelView::AddControl(int id, QWidget* control, int x, int y, int cx, int cy)
{
    control->setParent(GetLayoutWindow());
    control->setGeometry(DialogUnitsToPx(x, y, cx, cy));
    control->setObjectName(QStringLiteral("IDC_%1").arg(id));
    // Pointer moves over a control count as moves over the form: Qt delivers
    // a move without a button only to a tracking widget, and the filter sees
    // it even while the control is disabled.
    QList<QWidget*> widgets = control->findChildren<QWidget*>();
    widgets << control;
    for (QWidget* w : widgets) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    m_controls[id] = control;
    return control;
}

void CTavirelView::CreateControls()
{
    // In tab order, at their design places.
    auto* btnSrc = new QPushButton(QStringLiteral("Src File..."));
    AddControl(IDC_SRC_FILE, btnSrc, 3, 3, 42, 14);
    auto* btnDest = new QPushButton(QStringLiteral("Dest File..."));
    AddControl(IDC_DEST_FILE, btnDest, 3, 18, 42, 14);
    AddControl(IDC_SRC_PATH, MakeSunkenLabel(QStringLiteral("Source File")), 52, 5, 254, 8);
    AddControl(IDC_DEST_PATH, MakeSunkenLabel(QStringLiteral("Destination File")), 52, 21, 254, 8);

    AddControl(IDC_PLOT_AREA, MakePlotFrame(), 17, 38, 300, 101);

    AddControl(IDC_FROM, MakeSunkenLabel(QString()), 101, 176, 129, 8);
    AddControl(IDC_TO, MakeSunkenLabel(QString()), 101, 186, 129, 8);
    m_btnSave = new QPushButton(QStringLiteral("Save Segment"));
    AddControl(IDC_SAVE, m_btnSave, 18, 182, 54, 14);
    auto* btnExit = new QPushButton(QStringLiteral("Exit"));
    AddControl(IDC_EXIT, btnExit, 240, 181, 54, 14);
    AddControl(IDC_START_TIME, MakeLabel(QStringLiteral("StartTime"), Qt::AlignLeft), 5, 162, 96, 8);
    AddControl(IDC_END_TIME, MakeLabel(QStringLiteral("EndTime"), Qt::AlignRight), 217, 162, 98, 8);

    auto* spin = new CSpinArrows;
    spin->setToolTip(QStringLiteral("Reference level"));
    AddControl(IDC_SPIN, spin, 4, 55, 8, 69);

    AddControl(IDC_POS_BAR, &m_wndPosBar, 7, 147, 310, 13);
    AddControl(IDC_FROM_CAPTION, MakeLabel(QStringLiteral("From:"), Qt::AlignRight), 80, 176, 18, 8);
    AddControl(IDC_TO_CAPTION, MakeLabel(QStringLiteral("To:"), Qt::AlignRight), 87, 185, 11, 8);
    AddControl(IDC_HELP_LINE, MakeLabel(QString::fromLatin1(kHelpLine), Qt::AlignHCenter), 4, 139, 315, 8);
    auto* useAgc = new QCheckBox(QStringLiteral("Use AGC"));
    AddControl(IDC_USE_AGC, useAgc, 24, 171, 44, 10);

    m_wndStatus = MakeLabel(QString(), Qt::AlignHCenter);
    m_wndStatus->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_wndStatus->setLineWidth(1);
    AddControl(IDC_STATUS, m_wndStatus, 110, 163, 96, 10);
    auto* refLevel = MakeSunkenLabel(QStringLiteral("99"));
    AddControl(IDC_REF_LEVEL, refLevel, 3, 126, 11, 11);
    FitLevelLabel(refLevel);
    // Between the destination path and the plot area.
    AddControl(IDC_CENTRE_FREQ, MakeLabel(QString(), Qt::AlignRight), 180, 30, 137, 8);
    CreatePictureControls();
    SetTabOrder();

    // All wiring in one place.
    connect(btnSrc, &QPushButton::clicked, this, [this] { OnSrcFile(); });
    connect(btnDest, &QPushButton::clicked, this, [this] { OnDestFile(); });
    connect(m_btnSave, &QPushButton::clicked, this, [this] { OnSaveSegment(); });
    connect(btnExit, &QPushButton::clicked, this, [this] { OnExit(); });
    connect(useAgc, &QCheckBox::clicked, this, [this] { OnUseAgc(); });
    spin->m_pfnDeltaPos = [this](int iDelta) { OnDeltaposSpin(iDelta); };
}

void CTavirelView::SetTabOrder()
{
    // The template's tab stops, in its order; the other controls take no focus
    // from the keyboard.
    const int stops[] = {IDC_SRC_FILE, IDC_DEST_FILE, IDC_SAVE, IDC_EXIT, IDC_POS_BAR, IDC_USE_AGC};
    for (size_t i = 1; i < std::size(stops); ++i)
        QWidget::setTabOrder(Control(stops[i - 1]), Control(stops[i]));
}

void CTavirelView::FitLevelLabel(QLabel* label)
{
    // The template's 11 dialog units are narrower than "-100" in the usual
    // fonts. The label keeps its row and takes the whole column left of the
    // plot area; should even that be too narrow, its font shrinks.
    const QRect column = DialogUnitsToPx(0, 126, 17, 11);
    label->setGeometry(column.adjusted(1, 0, -1, 0));
    QFont font = label->font();
    for (;;) {
        const QFontMetrics metrics(font);
        int widestPx = 0;
        for (int level = kRefLevelMinDb; level <= kRefLevelMaxDb; level += kRefLevelStepDb)
            widestPx = std::max(widestPx, metrics.horizontalAdvance(QString::number(level)));
        const int roomPx = label->width() - 2 * label->frameWidth();
        if (widestPx <= roomPx || font.pointSizeF() <= 5.0) // pixel-sized fonts report -1
            break;
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    label->setFont(font);
}

QWidget* CTavirelView::Control(int id) const
{
    const auto it = m_controls.find(id);
    return it != m_controls.end() ? it->second : nullptr;
}

QRect CTavirelView::PlotAreaRect() const
{
    return Control(IDC_PLOT_AREA)->geometry();
}

bool CTavirelView::UpdateData(bool bSaveAndValidate)
{
    struct Binding {
        int id;
        QString* text;
    };
    const Binding texts[] = {
        {IDC_DEST_PATH, &m_strDestFile}, {IDC_SRC_PATH, &m_strSrcFile}, {IDC_START_TIME, &m_strStartTime},
        {IDC_END_TIME, &m_strEndTime},   {IDC_FROM, &m_strFrom},        {IDC_TO, &m_strTo}};
    auto* useAgc = static_cast<QCheckBox*>(Control(IDC_USE_AGC));
    auto* refLevel = static_cast<QLabel*>(Control(IDC_REF_LEVEL));
    if (bSaveAndValidate) {
        for (const Binding& b : texts)
            *b.text = static_cast<QLabel*>(Control(b.id))->text();
        m_bUseAgc = useAgc->isChecked();
        m_strRefLevel = refLevel->text();
    } else {
        for (const Binding& b : texts)
            static_cast<QLabel*>(Control(b.id))->setText(*b.text);
        useAgc->setChecked(m_bUseAgc);
        refLevel->setText(m_strRefLevel);
        static_cast<QLabel*>(Control(IDC_RANGE))->setText(RangeText());
    }
    return true;
}

void CTavirelView::OnInitialUpdate()
{
    struct Anchor {
        int id;
        QSize topLeft;
        QSize bottomRight;
    };
    static const Anchor anchors[] = {
        {IDC_PLOT_AREA, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT},
        {IDC_POS_BAR, ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_RIGHT},
        {IDC_HELP_LINE, ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_RIGHT},
        {IDC_SRC_FILE, ANCHOR_TOP_LEFT, ANCHOR_NONE},
        {IDC_DEST_FILE, ANCHOR_TOP_LEFT, ANCHOR_NONE},
        {IDC_SPIN, ANCHOR_MID_LEFT, ANCHOR_NONE},
        {IDC_SRC_PATH, ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT},
        {IDC_CENTRE_FREQ, ANCHOR_TOP_RIGHT, ANCHOR_NONE},
        {IDC_DEST_PATH, ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT},
        {IDC_START_TIME, ANCHOR_BOTTOM_LEFT, ANCHOR_NONE},
        {IDC_SAVE, ANCHOR_BOTTOM_LEFT, ANCHOR_NONE},
        {IDC_USE_AGC, ANCHOR_BOTTOM_LEFT, ANCHOR_NONE},
        {IDC_REF_LEVEL, ANCHOR_BOTTOM_LEFT, ANCHOR_NONE},
        {IDC_END_TIME, ANCHOR_BOTTOM_RIGHT, ANCHOR_NONE},
        {IDC_EXIT, ANCHOR_BOTTOM_RIGHT, ANCHOR_NONE},
        {IDC_FROM, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        {IDC_TO, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        {IDC_FROM_CAPTION, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        {IDC_TO_CAPTION, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        {IDC_STATUS, ANCHOR_BOTTOM_MID, ANCHOR_NONE},
        {IDC_RANGE_SPIN, ANCHOR_TOP_LEFT, QSize(0, 25)}, // grows at half the pace of the level's arrows
        {IDC_RANGE, ANCHOR_TOP_LEFT, ANCHOR_NONE},
    };
    for (const Anchor& a : anchors)
        AnchorControl(Control(a.id), a.topLeft, a.bottomRight);

    CResizableFormView::OnInitialUpdate();

    // The frame keeps the size it was given (its placement is its own).
    m_wndPosBar.m_pOwner = this;
    m_wndPosBar.m_pfnNotify = [this](int kind, int seconds) { OnPosBarNotify(kind, seconds); };

    CTavirelDoc* doc = GetDocument();
    if (m_pPlot == nullptr)
        m_pPlot = new CSpectrogramPlot(doc);
    m_btnSave->setEnabled(false);
    StopRender();
    m_actRowsStrongest->setChecked(doc->m_nRowMode == PLOT_ROWS_STRONGEST_BIN);
    ShowPictureChoices();
    ShowPlayChoices();
    m_actWriteSigmf->setChecked(doc->m_bWriteSigmf);
    m_actSaveAsSigmf->setChecked(doc->m_bSaveAsSigmf);
    m_strSrcFile = doc->m_strSrcPath;
    m_strDestFile = doc->m_strDestPath;
    LoadSource(doc->m_strSrcPath);
    m_strRefLevel = QString::number(doc->m_nRefLevel);
    UpdateData(false);
    GetLayoutWindow()->update();
}

void CTavirelView::LoadSource(const QString& path)
{
    CTavirelDoc* doc = GetDocument();
    if (m_bSaving)
        return; // the save's reader stays its own
    StopRender();
    StopPlaying();
    doc->m_nViewStartBlock = -1;
    static_cast<QLabel*>(Control(IDC_CENTRE_FREQ))->clear();
    if (!doc->LoadSource(path)) {
        // The status line told of the window of a source that is gone.
        m_bViewStatusStale = false;
        m_wndStatus->clear();
        if (!path.isEmpty())
            ReportError(CannotOpenText(path, doc->m_nSourceError, doc->m_strSourceError));
        return;
    }
    const int nLengthSec = doc->m_nLengthSec;
    m_wndPosBar.m_nLength = nLengthSec;
    m_wndPosBar.SetTo(nLengthSec);
    m_wndPosBar.SetViewStart(0);
    m_wndPosBar.SetFrom(0);
    OnSourceLoaded();
    // A stored zoom beyond the whole of this recording shows the whole of it.
    doc->m_nZoom = std::min(doc->m_nZoom, WholeZoom());
    static_cast<QLabel*>(Control(IDC_CENTRE_FREQ))->setText(CentreFrequencyText());
    // The new window's end is known once it is drawn.
    m_bViewStatusStale = true;
    m_wndStatus->clear();
    if (!m_strDestFile.isEmpty())
        m_btnSave->setEnabled(true);
    if (m_pPlot != nullptr)
        m_pPlot->SetLevels(doc->m_bTwoChannel, static_cast<double>(doc->m_nRefLevel));

    m_strStatus = QString::asprintf("(%d Sec)", nLengthSec);
    if (doc->m_stStart.wYear > 2000)
        m_strStartTime = FormatTime(CTime(doc->m_stStart, -1), "%m/%d/%Y %-H:%M:%S (0 Sec)");
    else
        m_strStartTime = QStringLiteral("0 Sec");
    if (doc->m_stStart.wYear > 2000 && doc->m_stStop.wYear > 2000)
        m_strEndTime = FormatTime(CTime(doc->m_stStop, -1), kTimeFormat) + m_strStatus;
    else
        m_strEndTime = m_strStatus;
    UpdateSegmentLabels();
}

void CTavirelView::UpdateSegmentLabels()
{
    CTavirelDoc* doc = GetDocument();
    doc->SetSegmentTimes(doc->m_nFromFrame, doc->m_nToFrame);
    m_strFrom = MarkText(doc->m_nFromFrame);
    m_strTo = MarkText(doc->m_nToFrame);
    UpdateData(false);
}

void CTavirelView::OnPosBarNotify(int kind, int seconds)
{
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_wave.m_bInOpen || m_bSaving)
        return; // no source open for reading, or a save reads it
    switch (kind) {
    case WPOS_SETVIEW: {
        const int64_t spanSec = int64_t{m_wndPosBar.m_nViewEnd} - m_wndPosBar.m_nViewStart;
        int64_t start = seconds;
        if (start < 0)
            start = 0;
        if (start > doc->m_nLengthSec - spanSec)
            start = doc->m_nLengthSec - spanSec;
        // A window wider than the whole file would start before it: it starts at 0.
        if (start < 0)
            start = 0;
        const int nStartSec = static_cast<int>(start);
        doc->m_nViewStart = nStartSec;
        doc->m_nViewStartBlock = -1; // a click places the window at a whole second
        doc->m_wave.SeekSeconds(nStartSec);
        m_wndPosBar.SetViewStart(nStartSec);
        RefreshPlot();
        ShowViewStatus();
        break;
    }
    case WPOS_SETFROM: SetMarks(FrameOfSecond(*doc, seconds), doc->m_nToFrame); break;
    case WPOS_SETTO: SetMarks(doc->m_nFromFrame, FrameOfSecond(*doc, seconds)); break;
    default: break;
    }
}

void CTavirelView::OnMouseMove(Qt::KeyboardModifiers /*flags*/, const QPoint& point)
{
    m_ptPointer = point;
    m_bPointerIn = true;
    TrackPointer();
    if (m_drag != Drag::None)
        UpdateDrag(point);
    else
        UpdateSelectionCursor(point);
    if (m_bNotice && (point - m_ptNotice).manhattanLength() < 4)
        return;
    m_bNotice = false;
    const QRect rc = m_pPlot != nullptr ? m_pPlot->m_rcPlot : QRect();
    m_strStatus.clear();
    if (rc.width() > 0 && rc.contains(point) && GetDocument()->m_bLoaded)
        m_strStatus = ReadoutAt(point);
    if (m_strStatus.isEmpty())
        m_strStatus = StatusOfView();
    SetFittedText(m_wndStatus, m_strStatus, font());
}

bool CTavirelView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && watched->isWidgetType() && watched != GetLayoutWindow()) {
        const auto* move = static_cast<QMouseEvent*>(event);
        const QPoint point = static_cast<QWidget*>(watched)->mapTo(GetLayoutWindow(), move->position().toPoint());
        OnMouseMove(move->modifiers(), point);
    } else if (event->type() == QEvent::Leave && watched == GetLayoutWindow()) {
        m_bPointerIn = false; // `[` and `]` then mark at the window's ends
        TrackPointer();
    }
    return CResizableFormView::eventFilter(watched, event);
}

void CTavirelView::ShowViewStatus()
{
    m_bViewStatusStale = false;
    m_strStatus = StatusOfView();
    SetFittedText(m_wndStatus, m_strStatus, font());
}

void CTavirelView::ShowSelectionStatus()
{
    m_strStatus = SelectionMeasureText();
    if (m_strStatus.isEmpty())
        return;
    SetFittedText(m_wndStatus, m_strStatus, font());
    m_ptNotice = m_ptPointer; // the readout takes the line back once the pointer moves on
    m_bNotice = true;
}

QString CTavirelView::ViewStatusText() const
{
    const CTavirelDoc* doc = GetDocument();
    if (doc->m_nViewStartBlock >= 0) {
        // A window placed by blocks: its own start and end, to a tenth of a second.
        const int64_t startFrame = doc->ViewStartFrame();
        const int64_t endFrame =
            std::min<int64_t>(startFrame + WindowBlocks() * doc->m_nFftSize, static_cast<int64_t>(doc->m_nDataFrames));
        const CTimeBase& tb = doc->m_timeBase;
        return QString::asprintf("View %.1f Sec to %.1f Sec", tb.SecondsOfFrame(startFrame),
                                 tb.SecondsOfFrame(endFrame));
    }
    return QString::asprintf("View %d Sec to %d Sec", m_wndPosBar.m_nViewStart, m_wndPosBar.m_nViewEnd);
}

QString CTavirelView::StatusOfView() const
{
    if (m_pPlot != nullptr && m_pPlot->IsProvisional())
        return ViewStatusText() + QStringLiteral("  (provisional)");
    return ViewStatusText();
}

void CTavirelView::CentreOnClick(const QPoint& point)
{
    const QRect rc = m_pPlot != nullptr ? m_pPlot->m_rcPlot : QRect();
    if (rc.width() <= 0 || !rc.contains(point))
        return;
    // Centre the shown window on the clicked second.
    const int nViewStartSec = m_wndPosBar.m_nViewStart;
    const int spanSec = m_wndPosBar.m_nViewEnd - nViewStartSec;
    const int clickedSec = SecondsAtPx(point.x() - rc.left(), rc.width(), spanSec);
    int64_t start = int64_t{nViewStartSec} + clickedSec - spanSec / 2;
    if (start < 0)
        start = 0;
    const int64_t lastStart = int64_t{GetDocument()->m_nLengthSec} - spanSec;
    if (start > lastStart)
        start = lastStart;
    // OnPosBarNotify keeps a start below 0 (a window wider than the file) at 0.
    OnPosBarNotify(WPOS_SETVIEW, static_cast<int>(std::max<int64_t>(start, INT32_MIN)));
}

void CTavirelView::OnDeltaposSpin(int iDelta)
{
    CTavirelDoc* doc = GetDocument();
    const int64_t level = int64_t{doc->m_nRefLevel} + int64_t{kRefLevelStepDb} * iDelta;
    if (level > kRefLevelMaxDb) {
        doc->m_nRefLevel = kRefLevelMaxDb;
        return;
    }
    if (level < kRefLevelMinDb) {
        doc->m_nRefLevel = kRefLevelMinDb;
        return;
    }
    doc->m_nRefLevel = static_cast<int>(level);
    if (m_pPlot != nullptr)
        m_pPlot->SetLevels(doc->m_bTwoChannel, static_cast<double>(doc->m_nRefLevel));
    m_strRefLevel = QString::number(doc->m_nRefLevel);
    UpdateData(false);
    doc->m_nDrawnStart = -1;
    RefreshPlot();
}

void CTavirelView::OnSrcFile()
{
    CTavirelDoc* doc = GetDocument();
    m_btnSave->setEnabled(false);
    doc->CloseSource();
    const QString path =
        CFileDialogs::Instance()->GetOpenFileName(this, doc->m_strSrcPath, QString::fromLatin1(kSourceFilter));
    if (path.isEmpty())
        return; // cancelled: the source stays closed
    if (doc->ProbeSource(path))
        doc->m_strSrcPath = path;
    else
        ReportError(CannotOpenText(path, doc->m_nSourceError, doc->m_strSourceError)); // the previous source comes back
    m_strSrcFile = doc->m_strSrcPath;
    LoadSource(m_strSrcFile);
    RefreshPlot();
}

bool CTavirelView::OpenSourceFile(const QString& path)
{
    // A document of its own for the probe: a file that fails leaves the shown
    // source's facts as they are.
    CTavirelDoc probe(nullptr);
    if (!probe.ProbeSource(path)) {
        ReportError(CannotOpenText(path, probe.m_nSourceError, probe.m_strSourceError));
        return false;
    }
    CTavirelDoc* doc = GetDocument();
    doc->m_strSrcPath = path;
    m_strSrcFile = path;
    LoadSource(path);
    RefreshPlot();
    return doc->m_bLoaded;
}

void CTavirelView::ReportError(const QString& text)
{
    QMetaObject::invokeMethod(
        this, [this, text] { CFileDialogs::Instance()->ShowError(window(), text); }, Qt::QueuedConnection);
}

QString CTavirelView::CannotOpenText(const QString& path, int nError, const std::string& detail)
{
    QString why = QString::fromStdString(detail.empty() ? std::string(WaveErrorText(nError)) : detail);
    if (nError == WAVE_ERR_OPEN) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            why += QStringLiteral(" (%1)").arg(file.errorString());
    }
    return QStringLiteral("Cannot open \"%1\" as a source:\n%2.").arg(path, why);
}

void CTavirelView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DraggedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CTavirelView::dropEvent(QDropEvent* event)
{
    const QString path = DraggedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    OpenSourceFile(path);
}

void CTavirelView::OnDestFile()
{
    CTavirelDoc* doc = GetDocument();
    const QString path =
        CFileDialogs::Instance()->GetSaveFileName(this, doc->m_strDestPath, QString::fromLatin1(kWaveFilter));
    if (!path.isEmpty()) {
        doc->m_strDestPath = path;
        m_strDestFile = path;
        if (!m_strSrcFile.isEmpty())
            m_btnSave->setEnabled(true);
    }
    UpdateData(false);
}

void CTavirelView::OnExit()
{
    // Closing the top-level window runs the frame's own close path.
    if (QWidget* top = window())
        top->close();
}

void CTavirelView::OnUseAgc()
{
    UpdateData(true);
}

void CTavirelView::OnDraw(QPainter* painter)
{
    if (m_pPlot == nullptr)
        return;
    CTavirelDoc* doc = GetDocument();
    // A new size needs a new picture at once; otherwise the shown one stays
    // until the rendering off the UI thread is complete.
    if (m_bRenderPending && PictureRect() != m_pPlot->m_rcLast)
        StopRender();
    if (m_bRenderPending || m_bSaving) {
        PaintPicture(painter);
        PaintSelection(painter);
        return;
    }
    // A long rendering runs off the UI thread; the picture shown meanwhile is the last one.
    if (doc->m_bLoaded && m_pPlot->Fit(PictureRect()) && m_pPlot->IsStale() && !m_pPlot->IsQuick()) {
        RequestPlot();
        PaintPicture(painter);
        PaintSelection(painter);
        return;
    }
    const bool bWasLoaded = doc->m_bLoaded;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_pPlot->Draw(PictureRect(), painter);
    PaintAxes(painter);
    PaintPlayMarks(painter);
    RestoreCursor();
    // While no source is loaded the area keeps the last picture (black before the first).
    if (!doc->m_bLoaded && !m_pPlot->m_bitmap.isNull() && m_pPlot->m_bitmap.size() == m_pPlot->m_rcPlot.size())
        painter->drawImage(m_pPlot->m_rcPlot.topLeft(), m_pPlot->m_bitmap);
    m_wndPosBar.SetViewEnd(doc->m_nViewEnd);
    PaintSelection(painter);
    AfterRendering(bWasLoaded);
}

void CTavirelView::RefreshPlot()
{
    CTavirelDoc* doc = GetDocument();
    if (m_pPlot == nullptr || !doc->m_bLoaded || m_bSaving)
        return;
    StopRender(); // this rendering replaces the one running
    if (m_pPlot->Fit(PictureRect()) && m_pPlot->IsStale() && !m_pPlot->IsQuick()) {
        RequestPlot();
        return;
    }
    RenderHere();
}

void CTavirelView::RenderHere()
{
    CTavirelDoc* doc = GetDocument();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Renders into the plot's picture if it is stale; the paint that follows copies it.
    m_pPlot->Draw(PictureRect(), nullptr);
    m_wndPosBar.SetViewEnd(doc->m_nViewEnd);
    RestoreCursor();
    GetLayoutWindow()->update(PlotAreaRect());
    AfterRendering(true);
}

void CTavirelView::AfterRendering(bool bWasLoaded)
{
    CTavirelDoc* doc = GetDocument();
    if (bWasLoaded && !doc->m_bLoaded)
        OnSourceLost();
    else if (doc->m_bLoaded && (m_bViewStatusStale || m_wndStatus->text().startsWith(QLatin1String("View "))))
        ShowViewStatus(); // a new source, or a window whose width changed with the form's
}

void CTavirelView::OnSourceLost()
{
    // The picture stays as drawn; nothing can be moved or saved any more.
    CTavirelDoc* doc = GetDocument();
    m_btnSave->setEnabled(false);
    m_bViewStatusStale = false;
    m_wndStatus->clear();
    ReportError(CannotOpenText(doc->m_strSrcPath, doc->m_nSourceError, doc->m_strSourceError));
}

void CTavirelView::RestoreCursor()
{
    if (QApplication::overrideCursor() != nullptr)
        QApplication::restoreOverrideCursor();
}

void CTavirelView::OnDestroy()
{
    StopRender();
    if (m_player)
        m_player->Stop();
    if (m_pDoc != nullptr)
        m_pDoc->CloseSource();
    delete m_pPlot;
    m_pPlot = nullptr;
}
