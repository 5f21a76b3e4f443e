// CTavirelView: the program's main form. It shows the source and destination
// paths, the spectrogram of the shown window, the file position bar, the
// recording's start and end time, the From and To marks of the output segment,
// a status line, the reference level with its up-down control and "Use AGC".
// It turns the user's clicks into moves of the shown window and of the marks
// and keeps every label in step with the document.
//
// Browsing: the View commands (keys + / -, W, 1; Ctrl + wheel) change the
// zoom, the transforms of the FFT size per column; arrows, PgUp/PgDn, Home/End and
// the wheel move the window by blocks. Those moves render off the UI thread:
// the picture shown stays until the new one is complete. Clicks on the plot and
// the bar keep whole-second starts, as do the marks set on the bar.
//
// Selections: a drag across the picture sets From and To to the first frames
// of the columns at its ends, Shift+drag a rectangle with a frequency band;
// keys [ ] and Shift+Left/Right set and move the marks; the segment list
// keeps selections per source (TavirelViewSelect.cpp, TavirelViewSegments.cpp).
//
// Listening (Space, Shift+Space; View > Demodulation and Volume) plays on a
// thread of its own and marks the playing position on the picture and the bar.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "audio/AudioPlayer.h"
#include "audio/PlaySource.h"
#include "display/PictureAxes.h"
#include "doc/SegmentSave.h"
#include "doc/SegmentStore.h"
#include "form/SpinArrows.h"
#include "form/WposCtrl.h"
#include "layout/ResizableFormView.h"

class CSpectrogramPlot;
class CTavirelDoc;
class QAction;
class QImage;
class QMenu;
class QLabel;
class QPushButton;
class QTimer;

// Dialog ids of the form's controls.
enum : int {
    IDC_SRC_FILE = 1000,
    IDC_DEST_FILE = 1001,
    IDC_SRC_PATH = 1002,
    IDC_DEST_PATH = 1003,
    IDC_PLOT_AREA = 1004,
    IDC_FROM = 1006,
    IDC_TO = 1007,
    IDC_SAVE = 1008,
    IDC_EXIT = 1009,
    IDC_START_TIME = 1010,
    IDC_END_TIME = 1011,
    IDC_SPIN = 1012,
    IDC_POS_BAR = 1013,
    IDC_STATUS = 1014,
    IDC_FROM_CAPTION = 1016,
    IDC_TO_CAPTION = 1017,
    IDC_HELP_LINE = 1018,
    IDC_USE_AGC = 1019,
    IDC_REF_LEVEL = 1020,
    IDC_CENTRE_FREQ = 1021,
    IDC_RANGE_SPIN = 1022,
    IDC_RANGE = 1023,
};

// "7.050250 MHz" at or above 1 MHz, "-12.500 kHz" below (a two-channel source's frequencies).
QString RadioFrequencyText(double hz);
// A width or rate in four figures: "500 Hz", "12.5 kHz", "1.25 MHz".
QString FrequencySpanText(double hz);

class CTavirelView : public CResizableFormView {
    Q_OBJECT
public:
    // The document is not owned and must outlive the view.
    explicit CTavirelView(CTavirelDoc* pDoc, QWidget* parent = nullptr);
    ~CTavirelView() override;

    CTavirelDoc* GetDocument() const { return m_pDoc; }

    void OnInitialUpdate() override;
    bool UpdateData(bool bSaveAndValidate = true) override;
    void OnDraw(QPainter* painter) override;
    void OnMouseMove(Qt::KeyboardModifiers flags, const QPoint& point) override;
    void OnLButtonDown(Qt::KeyboardModifiers flags, const QPoint& point) override;

    // Opens path as the source; a path that does not open says why (unless
    // it is empty: no source named yet).
    void LoadSource(const QString& path);
    // A file chosen outside "Src File..." (dropped on the window): when it
    // opens as a wave file it becomes the source and is shown; otherwise the
    // user is told why and the current source stays.
    bool OpenSourceFile(const QString& path);
    // Tells the user about a failure, in a message box once the events of the
    // moment are handled (never from inside a paint, never before the window
    // shows at start-up).
    void ReportError(const QString& text);
    // Why path could not be opened as a source: the reader's code as text and,
    // when the file itself would not open, the system's reason.
    // detail: the reader's own words for the error (CRiffWaveFile::ErrorText), when it has them.
    static QString CannotOpenText(const QString& path, int nError, const std::string& detail = {});
    void UpdateSegmentLabels();
    // The position bar's callback; also used by a click on the plot.
    void OnPosBarNotify(int kind, int seconds);
    void OnSrcFile();
    void OnDestFile();
    void OnExit();
    void OnUseAgc();
    void OnDeltaposSpin(int iDelta);
    void RefreshPlot();
    void RestoreCursor();
    void OnSaveSegment(); // the segment save flow, in TavirelViewSave.cpp
    // "Save Band" (Ctrl+Shift+S), for a rectangle selection: says the output's
    // rate and centre and, once the user agrees, extracts the band into the
    // next numbered file with the save's progress and Cancel.
    void OnSaveBand();
    QAction* SaveBandAction() const { return m_actSaveBand; }
    // "Write SigMF Metadata": a .sigmf-meta beside every saved file (doc->m_bWriteSigmf).
    QAction* WriteSigmfAction() const { return m_actWriteSigmf; }
    // "Save as SigMF Recording": segments and bands saved as .sigmf-data and
    // .sigmf-meta instead of wave files (doc->m_bSaveAsSigmf).
    QAction* SaveAsSigmfAction() const { return m_actSaveAsSigmf; }
    // Closes the source and deletes the plot; runs when the view is destroyed.
    void OnDestroy();

    // The View menu's commands, with their keys (also active without the menu):
    // Zoom In, Zoom Out, Whole Recording, Actual Size, a separator, Strongest Bin per Row.
    QList<QAction*> ViewActions() const;
    // Zoom by nSteps powers of two (positive: fewer blocks per column), about the window's centre.
    void ZoomBy(int nSteps);
    // Sets the blocks per column (held between 1 and WholeZoom()), keeping the
    // window's centre where it can.
    void SetZoom(int nZoom);
    // The whole recording in the window, from its start.
    void ZoomWhole();
    // The fewest blocks per column that show the whole recording.
    int WholeZoom() const;
    // Draws the strongest bin of each row instead of the first.
    void SetStrongestRows(bool bStrongest);
    // Moves the window's start to a block, held between 0 and the last start
    // that still fills the window.
    void ScrollTo(int64_t nBlock);
    void ScrollBy(int64_t nBlocks);
    // The window's first block, its width and the last start, in blocks.
    int64_t ViewStartBlock() const;
    int64_t WindowBlocks() const;
    int64_t LastStartBlock() const;
    // A tenth of the window, at least one block: one step of the arrows and the wheel.
    int64_t ScrollStepBlocks() const;
    // The readouts for a point of the plot: time, frequency and level; "" past the recording's end.
    QString ReadoutAt(const QPoint& point) const;
    // "Centre 7.050000 MHz" for a source with a centre frequency, "" otherwise.
    QString CentreFrequencyText() const;
    // The picture's choices (TavirelViewPicture.cpp), each kept in the document
    // and drawn at once: View > FFT Size (the window keeps its start and, where
    // the zoom allows, its frames per column), Window, Colours, Scales; the range
    // of the colour scale (its arrows move by 10 dB; at the floor it follows
    // the reference level); Auto Levels (key A) fits reference and range to
    // the shown picture.
    void SetFftSize(int nFrames);
    void SetWindowType(int nWindow);
    void SetColourMap(int nMap);
    void SetShowAxes(bool bShow);
    void OnDeltaposRangeSpin(int iDelta);
    void AutoLevels();
    // The range's text: the span from the reference level to the bottom colour, dB.
    QString RangeText() const;
    // File > Export Picture (Ctrl+E): the shown picture with its scales, at
    // its size or one the user picks, as a PNG.
    void OnExportPicture();
    QAction* ExportAction() const { return m_actExport; }
    // The picture's rectangle in the form: the plot area, less the room of the
    // scales while they are shown.
    QRect PictureRect() const;

    // Listening (TavirelViewPlay.cpp). Space plays the selection, or without
    // one from the pointer's time over the picture (else from the window's
    // start) to the recording's end, or stops what plays; Shift+Space loops
    // the selection, or from there to the window's end. An I/Q source is
    // heard through the demodulator of View > Demodulation in the
    // selection's band, or the mode's usual band around the frequency under
    // the pointer (else the centre), outlined on the picture. Without a
    // device the status line says "No audio output device"; any other
    // refusal is told in a message.
    void PlayOrStop(bool bLoop);
    void StopPlaying();
    bool IsPlaying() const { return m_player && m_player->IsPlaying(); }
    // The recording's frame heard, as the line marks it; -1 when nothing plays.
    int64_t PlayingFrame() const { return m_nPlayFrame; }
    // What Space (bLoop: Shift+Space) plays now: the span and the band. The
    // one place that chooses it (the selection, the pointer and the window).
    PlayChoice ChoiceToPlay(bool bLoop) const;
    // The band outlined on the picture (I/Q): the one playing, else the one
    // Space would play; false when there is none.
    bool OutlinedBand(PlayBand* pBand) const;
    // The listening choices, each kept in the document: the demodulator
    // (DEMOD_*), 75 us de-emphasis, the volume (dB) and whether the window
    // follows the playing line. A new mode or de-emphasis is heard at once.
    void SetDemodMode(int nMode);
    void SetDeemphasis75(bool b75);
    void SetVolumeDb(int nDb);
    void SetFollowPlay(bool bFollow);
    // Plays on the sinks that sinks makes instead of the desktop's output.
    void SetAudioSinks(CAudioPlayer::SinkFactory sinks);

    // Whether a rendering runs off the UI thread.
    bool IsRenderPending() const { return m_bRenderPending; }

    // ---- marks and selections (TavirelViewSelect.cpp) ----
    // Sets From and To to frames of the data (held within the source, From
    // before To); the bar, the labels and the selection drawn follow.
    void SetMarks(int64_t nFromFrame, int64_t nToFrame);
    // A mark's label: today's texts for a whole second, with milliseconds otherwise.
    QString MarkText(int64_t nFrame) const;
    // Frames per column of the picture at the current zoom.
    int64_t ColumnFrames() const;
    // The first frame of the picture's column at form position x (held
    // between the window's first column and the end of its last, and within
    // the data); the column x of a frame in the form (may lie outside the picture).
    int64_t FrameAtX(int x) const;
    int XOfFrame(int64_t nFrame) const;
    // The frequency, Hz, at the top edge of form row y of the picture (absolute
    // for I/Q with a centre frequency, from 0 for one channel), and back.
    double FrequencyAtY(int y) const;
    int YOfFrequency(double dHz) const;
    // `[` (bFrom) and `]`: the mark at the pointer's column over the picture,
    // at the window's start or end otherwise.
    void SetMarkAtPointer(bool bFrom);
    // Shift+Left/Right: moves the mark nearer to the pointer (the window's
    // centre when it is not over the picture) by nColumns columns.
    void MoveNearerMark(int nColumns);
    // Esc: ends a drag as it was before; otherwise drops the selection's band.
    void OnEscape();
    // Whether the selection is drawn over the picture (set by marking, cleared by a new source).
    bool IsSelectionShown() const { return m_bSelectionShown; }
    // The selection's measurements, as the status line and the label over the
    // picture show them: its duration, 1/duration, the band's width (a
    // rectangle) and the mean power of the picture's bins in it, such as
    // "Δt 20.48 ms  1/Δt 48.83 Hz  BW 500 Hz  Mean -43.2 dB"; "" without a selection.
    QString SelectionMeasureText() const;
    void OnLButtonUp(Qt::KeyboardModifiers flags, const QPoint& point) override;

    // ---- the segment list (TavirelViewSegments.cpp) ----
    // The commands of the list: Add Segment (Insert), Save All Segments,
    // Import Segments..., Export Segments...
    QList<QAction*> SegmentActions() const;
    // Adds the selection (From, To and band) to the list; the row it took, -1 when refused (said why).
    int AddSelectionToList();
    void RemoveSegments(const std::vector<int>& rows);
    bool RenameSegment(int row, const QString& label);
    // Moves the window to a segment and selects it.
    void GoToSegment(int row);
    // Saves the rows given (all when empty) as numbered files with one progress dialog.
    void SaveAllSegments(const std::vector<int>& rows = {});
    void ImportSegments();
    void ExportSegments();
    // What the list's store said of the list at the last load ("" when nothing).
    QString SegmentNote() const { return m_strSegmentNote; }
    // The store the lists are kept in (the user's data folder unless replaced).
    CSegmentStore m_segmentStore;

    // Every control by its dialog id (1000 .. 1023); null for an unknown id.
    QWidget* Control(int id) const;
    // The plot area's rectangle in the form's coordinates.
    QRect PlotAreaRect() const;

    // Converts dialog units to pixels with the form font's metrics.
    QRect DialogUnitsToPx(int x, int y, int cx, int cy) const;
    // "View %d Sec to %d Sec" of the bar's window, on the status line; a window
    // placed by blocks shows its own start and end to a tenth of a second.
    void ShowViewStatus();
    QString ViewStatusText() const;

    QLabel* m_wndStatus = nullptr;              // 1014
    QPushButton* m_btnSave = nullptr;           // 1008
    QString m_strDestFile;                      // 1003
    QString m_strSrcFile;                       // 1002
    QString m_strStartTime;                     // 1010
    QString m_strEndTime;                       // 1011
    QString m_strFrom;                          // 1006
    QString m_strTo;                            // 1007
    bool m_bUseAgc = false;                     // 1019
    QString m_strRefLevel;                      // 1020
    CWposCtrl m_wndPosBar;                      // 1013
    double m_dAgcLevel = 0.0;                   // AGC level of the save loop
    int32_t m_aBlock[kSegmentBlockValues] = {}; // one block of up to two channels, for the save loop
    QString m_strStatus;                        // scratch: status text and label tails
    CSpectrogramPlot* m_pPlot = nullptr;        // owned; created at the first initial update
    // A save running longer than this shows its progress with a Cancel button.
    int m_nSaveProgressDelayMs = 500;

protected:
    // A single local file dragged onto the window is offered as the source.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Pointer moves over the controls, for the status line.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The wheel over the plot or the bar scrolls; with Ctrl it zooms.
    void wheelEvent(QWheelEvent* event) override;

private:
    void CreateControls();
    void SetTabOrder();
    // Widens the reference-level label so that every level's text fits it.
    void FitLevelLabel(QLabel* label);
    // After a rendering: tells of a source that could not be opened again,
    // or keeps the status line's "View ..." in step with the drawn window.
    void AfterRendering(bool bWasLoaded);
    // The rendering found the source gone (it could not be opened again).
    void OnSourceLost();
    QWidget* AddControl(int id, QWidget* control, int x, int y, int cx, int cy);
    void CreateViewActions();
    // Renders the document's window off the UI thread (synchronously when that cannot start).
    void RequestPlot();
    // Renders the document's window on the UI thread, under the wait cursor.
    void RenderHere();
    // ViewStatusText, marked while the picture is provisional.
    QString StatusOfView() const;
    // A rendering of RequestPlot ended; only the latest one counts.
    void OnRenderDone(uint64_t nGeneration);
    // Stops a rendering off the UI thread; true when one ran.
    bool StopRender();
    // The second a frame falls in, as the bar counts seconds.
    int SecondOfFrame(int64_t nFrame) const;
    // Shows the picture as it is, without rendering (while a rendering or a save runs).
    void PaintPicture(QPainter* painter);
    // The picture's controls and View commands, and what the View menu shows of them.
    void CreatePictureControls();
    void CreatePictureActions();
    QList<QAction*> PictureActions() const;
    void ShowPictureChoices();
    // Draws the picture again after a change of its choices.
    void ApplyPictureChoice();
    // The scales of the picture shown, and drawing them around it.
    PictureAxesModel ShownAxesModel() const;
    void PaintAxes(QPainter* painter);
    // Asks for a file and writes image to it as a PNG.
    void SavePicture(const QImage& image);
    // Listening's View commands, what they show, and the player's reports.
    void CreatePlayActions();
    QList<QAction*> PlayActions() const;
    void ShowPlayChoices();
    void AdoptPlayer(std::unique_ptr<CAudioPlayer> player);
    void StartPlaying(const PlayChoice& choice, bool bLoop);
    void OnPlayTick();
    void OnPlayEnded();
    void OnPlayFailed(const QString& message);
    // The outline follows the pointer over the picture of an I/Q source.
    void TrackPointer();
    // The playing line and the band's outline over the picture shown.
    void PaintPlayMarks(QPainter* painter);
    // A message in the status line that the pointer does not wipe at once.
    void ShowStatusMessage(const QString& text);

    // Marks and selections.
    void CreateSelectActions();
    void CreateSegmentActions();
    // A new source: the marks cover it whole, its stored list comes back.
    void OnSourceLoaded();
    // The plain click on the picture: the window centred on the clicked second.
    void CentreOnClick(const QPoint& point);
    void UpdateDrag(const QPoint& point);
    void FinishDrag(const QPoint& point);
    // The band between two form rows of the picture.
    SegmentBand BandBetween(int y0, int y1) const;
    // The mark whose column edge is within reach of x: 1 From, 2 To, 0 none.
    int MarkEdgeAt(const QPoint& point) const;
    void PaintSelection(QPainter* painter);
    // The label of the selection's measurements, beside it over the picture.
    void PaintSelectionLabel(QPainter* painter, const QRect& area);
    // The picture's display bins that lie in band (at least the nearest one).
    std::pair<int, int> BinsOfBand(const SegmentBand& band) const;
    // The mean power of the selection's bins and span, dB; kept until the selection or the picture's choices change.
    double SelectionMeanPowerDb() const;
    // The status line shows the selection's measurements until the pointer moves on.
    void ShowSelectionStatus();
    // The outcome of a save of one file: a cancel or a failure told.
    void ShowSaveOutcome(const SegmentListResult& result);
    // Whether the selection has a band, for Save Band's button and command.
    void UpdateSaveBandEnabled();
    void UpdateSelectionCursor(const QPoint& point);
    // Keeps the list in the store; says so when it cannot.
    void KeepSegments();
    // Saves spans of the source one after the other under one progress
    // dialog with Cancel (input refused meanwhile); shared by Save Segment and
    // Save All Segments.
    SegmentListResult RunSaves(const std::vector<CSegment>& spans, const QString& title);

    enum class Drag { None, Pressed, Span, Rectangle, FromEdge, ToEdge };
    Drag m_drag = Drag::None;
    QPoint m_ptPress;
    bool m_bPressShift = false;
    // The marks and band before the drag, for Esc and refused drags.
    int64_t m_nDragFromFrame = 0, m_nDragToFrame = 0;
    std::optional<SegmentBand> m_dragBand;
    bool m_bSelectionShown = false;
    // A refused selection's notice on the status line, kept until the pointer moves away from here.
    QPoint m_ptNotice;
    bool m_bNotice = false;
    // The last pointer position over the form; m_bPointerIn false once it left.
    QPoint m_ptPointer;
    bool m_bPointerIn = false;
    SourceIdentity m_sourceIdentity;
    QString m_strSegmentNote;
    QAction* m_actAddSegment = nullptr;
    QAction* m_actSaveAll = nullptr;
    QAction* m_actImportSegments = nullptr;
    QAction* m_actExportSegments = nullptr;
    QAction* m_actWriteSigmf = nullptr;
    QAction* m_actSaveAsSigmf = nullptr;
    QAction* m_actSaveBand = nullptr;
    // The last mean power measured, and of what.
    struct MeasureKey {
        int64_t nFrom = -1, nTo = -1;
        std::optional<SegmentBand> band;
        int nFftSize = 0, nWindow = 0;
        bool operator==(const MeasureKey&) const = default;
    };
    mutable MeasureKey m_measureKey;
    mutable double m_dMeasuredDb = 0.0;

    CTavirelDoc* m_pDoc;
    std::map<int, QWidget*> m_controls;
    int m_nDuAvgCharWidthPx = 0;
    int m_nDuCharHeightPx = 0;
    // The status line shows the window of the next rendering (a new source).
    bool m_bViewStatusStale = false;
    bool m_bRenderPending = false;
    uint64_t m_nRenderGeneration = 0;
    // A save runs: the document's reader is the save's, nothing else may use it.
    bool m_bSaving = false;
    // Wheel turns not yet a whole step (120 units).
    int m_nWheelRest = 0;
    QAction* m_actZoomIn = nullptr;
    QAction* m_actZoomOut = nullptr;
    QAction* m_actZoomWhole = nullptr;
    QAction* m_actZoomActual = nullptr;
    QAction* m_actRowsStrongest = nullptr;
    QAction* m_actSeparator = nullptr;
    QMenu* m_menuFftSize = nullptr;
    QMenu* m_menuWindow = nullptr;
    QMenu* m_menuColours = nullptr;
    QAction* m_actPictureSeparator = nullptr;
    QAction* m_actAutoLevels = nullptr;
    QAction* m_actAxes = nullptr;
    QAction* m_actExport = nullptr;
    std::unique_ptr<CPictureAxes> m_axes;
    std::unique_ptr<CAudioPlayer> m_player;
    QTimer* m_playTimer = nullptr;
    PlayChoice m_playing; // what plays (valid while IsPlaying())
    bool m_bPlayingLoop = false;
    int64_t m_nPlayFrame = -1;
    int m_nOutlineY = -1; // the pointer's row the outline was drawn for; -1: none
    QMenu* m_menuDemod = nullptr;
    QMenu* m_menuVolume = nullptr;
    QAction* m_actPlay = nullptr;
    QAction* m_actPlayLoop = nullptr;
    QAction* m_actDeemphasis75 = nullptr;
    QAction* m_actFollowPlay = nullptr;
    QAction* m_actPlaySeparator = nullptr;

signals:
    // The segment list changed; row: the row to show chosen (-1: none).
    void SegmentsChanged(int row);
};
