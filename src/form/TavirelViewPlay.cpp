// Listening: Space plays and stops, Shift+Space loops, View > Demodulation,
// Volume and Follow Playing Line; the playing line on the picture and the
// bar, the band's outline for I/Q, and the window following the line. The
// audio is made on the player's thread; this thread only starts, stops and
// asks where the playing stands.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "form/ChoiceMenu.h"
#include "form/TavirelView.h"

namespace {

// How often the playing line moves.
constexpr int kPlayTickMs = 25;
// The volume's steps, dB.
constexpr int kVolumeSteps[] = {12, 6, 0, -6, -12, -20, -30, -40};

const QColor kPlayLineColour = Qt::white;
const QColor kOutlineColour(255, 255, 0);

} // namespace

void CTavirelView::CreatePlayActions()
{
    const auto key = [this](const QString& text, const QKeySequence& keys) {
        auto* action = new QAction(text, this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        return action;
    };
    m_actPlaySeparator = new QAction(this);
    m_actPlaySeparator->setSeparator(true);
    m_actPlay = key(QStringLiteral("&Play / Stop"), QKeySequence(Qt::Key_Space));
    m_actPlayLoop = key(QStringLiteral("Play Loo&p"), QKeySequence(Qt::SHIFT | Qt::Key_Space));
    connect(m_actPlay, &QAction::triggered, this, [this] { PlayOrStop(false); });
    connect(m_actPlayLoop, &QAction::triggered, this, [this] { PlayOrStop(true); });

    std::vector<std::pair<int, QString>> modes;
    for (int m = 0; m < DEMOD_MODES; ++m)
        modes.emplace_back(m, QLatin1Char('&') + QString::fromLatin1(DemodMode(m).szLabel));
    m_menuDemod = ChoiceMenu(this, QStringLiteral("&Demodulation"), modes, [this](int m) { SetDemodMode(m); });
    m_menuDemod->addSeparator();
    m_actDeemphasis75 = m_menuDemod->addAction(QStringLiteral("&75 \u00b5s De-emphasis"));
    m_actDeemphasis75->setCheckable(true);
    connect(m_actDeemphasis75, &QAction::triggered, this, [this](bool on) { SetDeemphasis75(on); });

    std::vector<std::pair<int, QString>> volumes;
    for (int db : kVolumeSteps)
        volumes.emplace_back(db, db == 0 ? QStringLiteral("&0 dB (as recorded)") : QString::asprintf("%+d dB", db));
    m_menuVolume = ChoiceMenu(this, QStringLiteral("&Volume"), volumes, [this](int db) { SetVolumeDb(db); });

    m_actFollowPlay = new QAction(QStringLiteral("&Follow Playing Line"), this);
    m_actFollowPlay->setCheckable(true);
    connect(m_actFollowPlay, &QAction::triggered, this, [this](bool on) { SetFollowPlay(on); });

    m_playTimer = new QTimer(this);
    m_playTimer->setInterval(kPlayTickMs);
    connect(m_playTimer, &QTimer::timeout, this, [this] { OnPlayTick(); });
}

QList<QAction*> CTavirelView::PlayActions() const
{
    return {m_actPlaySeparator,         m_actPlay,      m_actPlayLoop, m_menuDemod->menuAction(),
            m_menuVolume->menuAction(), m_actFollowPlay};
}

void CTavirelView::ShowPlayChoices()
{
    const CTavirelDoc* doc = GetDocument();
    CheckChoice(m_menuDemod, doc->m_nDemodMode);
    m_actDeemphasis75->setChecked(doc->m_bDeemphasis75);
    CheckChoice(m_menuVolume, doc->m_nVolumeDb);
    m_actFollowPlay->setChecked(doc->m_bFollowPlay);
}

void CTavirelView::SetAudioSinks(CAudioPlayer::SinkFactory sinks)
{
    StopPlaying();
    AdoptPlayer(std::make_unique<CAudioPlayer>(std::move(sinks)));
}

void CTavirelView::AdoptPlayer(std::unique_ptr<CAudioPlayer> player)
{
    m_player = std::move(player);
    connect(m_player.get(), &CAudioPlayer::finished, this, [this] { OnPlayEnded(); });
    connect(m_player.get(), &CAudioPlayer::failed, this, [this](const QString& m) { OnPlayFailed(m); });
}

PlayChoice CTavirelView::ChoiceToPlay(bool bLoop) const
{
    const CTavirelDoc* doc = GetDocument();
    const bool bPointer = m_pPlot != nullptr && m_bPointerIn && m_pPlot->m_rcPlot.contains(m_ptPointer);
    PlayChoice c;
    if (IsSelectionShown()) {
        c.nFromFrame = doc->m_nFromFrame;
        c.nToFrame = doc->m_nToFrame;
    } else {
        c.nFromFrame = bPointer ? FrameAtX(m_ptPointer.x()) : doc->ViewStartFrame();
        c.nToFrame = static_cast<int64_t>(doc->m_nDataFrames);
        if (bLoop)
            c.nToFrame = std::min(c.nToFrame, doc->ViewStartFrame() + WindowBlocks() * doc->m_nFftSize);
    }
    if (doc->m_bTwoChannel) {
        c.nMode = doc->m_nDemodMode;
        c.dDeemphasisSec = doc->m_bDeemphasis75 ? kDeemphasis75us : kDeemphasis50us;
        if (IsSelectionShown() && doc->m_selBand) {
            c.dLowHz = doc->m_selBand->dLowHz;
            c.dHighHz = doc->m_selBand->dHighHz;
        } else {
            c.dTuneHz = bPointer ? FrequencyAtY(m_ptPointer.y()) : kTuneAtCentre;
        }
    }
    return c;
}

bool CTavirelView::OutlinedBand(PlayBand* pBand) const
{
    const CTavirelDoc* doc = GetDocument();
    const bool bPointer = m_pPlot != nullptr && m_bPointerIn && m_pPlot->m_rcPlot.contains(m_ptPointer);
    if (!doc->m_bLoaded || !doc->m_bTwoChannel || m_pPlot == nullptr || (!IsPlaying() && !bPointer))
        return false;
    *pBand = BandToPlay(PlayFactsOf(*doc).spectrum, IsPlaying() ? m_playing : ChoiceToPlay(false));
    return true;
}

void CTavirelView::PlayOrStop(bool bLoop)
{
    if (IsPlaying()) {
        StopPlaying();
        return;
    }
    CTavirelDoc* doc = GetDocument();
    if (!doc->m_bLoaded || m_bSaving)
        return;
    StartPlaying(ChoiceToPlay(bLoop), bLoop);
}

void CTavirelView::StartPlaying(const PlayChoice& choice, bool bLoop)
{
    const PlayFacts facts = PlayFactsOf(*GetDocument());
    const std::string why = CheckPlayChoice(facts, choice);
    if (!why.empty()) {
        ReportError(QString::fromStdString(why));
        return;
    }
    if (!m_player)
        AdoptPlayer(std::make_unique<CAudioPlayer>()); // the desktop's output
    m_player->SetVolume(std::pow(10.0, GetDocument()->m_nVolumeDb / 20.0));
    m_player->Play(
        [facts, choice](double dRateHz, std::string* pError) { return MakePlaySource(facts, choice, dRateHz, pError); },
        0, bLoop);
    m_playing = choice;
    m_bPlayingLoop = bLoop;
    m_nPlayFrame = choice.nFromFrame;
    m_playTimer->start();
    OnPlayTick();
}

void CTavirelView::StopPlaying()
{
    if (m_player)
        m_player->Stop();
    OnPlayEnded();
}

void CTavirelView::OnPlayEnded()
{
    m_playTimer->stop();
    m_nPlayFrame = -1;
    m_wndPosBar.SetPlayPosition(-1.0);
    GetLayoutWindow()->update(PlotAreaRect());
}

void CTavirelView::OnPlayFailed(const QString& message)
{
    OnPlayEnded();
    if (message == QLatin1String(kNoAudioDevice))
        ShowStatusMessage(message);
    else
        ReportError(message.endsWith(QLatin1Char('.')) ? message : message + QLatin1Char('.'));
}

void CTavirelView::OnPlayTick()
{
    CTavirelDoc* doc = GetDocument();
    if (!IsPlaying() || m_pPlot == nullptr)
        return;
    const int64_t was = m_nPlayFrame;
    m_nPlayFrame = std::max<int64_t>(m_player->PositionFrame(), m_playing.nFromFrame);
    m_wndPosBar.SetPlayPosition(doc->m_timeBase.SecondsOfFrame(m_nPlayFrame));
    // The picture shown: the one drawn (a new one may be on its way).
    const int64_t columnFrames = int64_t{m_pPlot->DrawnZoom()} * doc->m_nFftSize;
    const int64_t start = m_pPlot->DrawnStartFrame();
    const int64_t end = start + columnFrames * m_pPlot->m_rcPlot.width();
    if (doc->m_bFollowPlay && was < end && m_nPlayFrame >= end && !m_bRenderPending)
        ScrollTo(m_nPlayFrame / doc->m_nFftSize); // the line left the picture: the window follows it
    const QRect rc = m_pPlot->m_rcPlot;
    for (const int64_t f : {was, m_nPlayFrame})
        if (f >= start && f < end && columnFrames > 0)
            GetLayoutWindow()->update(
                QRect(rc.left() + static_cast<int>((f - start) / columnFrames), rc.top(), 1, rc.height()));
}

void CTavirelView::PaintPlayMarks(QPainter* painter)
{
    const CTavirelDoc* doc = GetDocument();
    if (m_pPlot == nullptr || !doc->m_bLoaded || m_pPlot->m_bitmap.isNull())
        return;
    const QRect rc = m_pPlot->m_rcPlot;
    painter->save();
    painter->setClipRect(rc);
    PlayBand band;
    if (OutlinedBand(&band)) {
        const int a = YOfFrequency(band.dLowHz), b = YOfFrequency(band.dHighHz);
        const int top = std::min(a, b), bottom = std::max(a, b);
        painter->setPen(QPen(kOutlineColour, 1, Qt::DashLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRect(rc.left(), top - 1, rc.width() - 1, std::max(bottom - top, 0) + 2));
    }
    const int64_t columnFrames = int64_t{m_pPlot->DrawnZoom()} * doc->m_nFftSize;
    const int64_t start = m_pPlot->DrawnStartFrame();
    if (m_nPlayFrame >= start && columnFrames > 0 && (m_nPlayFrame - start) / columnFrames < rc.width())
        painter->fillRect(
            QRect(rc.left() + static_cast<int>((m_nPlayFrame - start) / columnFrames), rc.top(), 1, rc.height()),
            kPlayLineColour);
    painter->restore();
}

void CTavirelView::TrackPointer()
{
    const bool bOver = m_pPlot != nullptr && m_bPointerIn && m_pPlot->m_rcPlot.contains(m_ptPointer);
    const int y = bOver && GetDocument()->m_bTwoChannel && GetDocument()->m_bLoaded ? m_ptPointer.y() : -1;
    if (y != m_nOutlineY && !IsPlaying())
        GetLayoutWindow()->update(PlotAreaRect());
    m_nOutlineY = y;
}

void CTavirelView::ShowStatusMessage(const QString& text)
{
    m_strStatus = text;
    m_wndStatus->setFont(font());
    m_wndStatus->setText(text);
    m_ptNotice = m_ptPointer; // the readout leaves it there until the pointer moves on
    m_bNotice = true;
}

void CTavirelView::SetDemodMode(int nMode)
{
    CTavirelDoc* doc = GetDocument();
    if (nMode >= 0 && nMode < DEMOD_MODES)
        doc->m_nDemodMode = nMode;
    ShowPlayChoices();
    if (IsPlaying() && doc->m_bTwoChannel && m_playing.nMode != doc->m_nDemodMode) {
        PlayChoice next = m_playing; // heard at once, from where it plays
        next.nMode = doc->m_nDemodMode;
        if (!m_bPlayingLoop)
            next.nFromFrame = m_nPlayFrame;
        StopPlaying();
        StartPlaying(next, m_bPlayingLoop);
    }
    GetLayoutWindow()->update(PlotAreaRect());
}

void CTavirelView::SetDeemphasis75(bool b75)
{
    CTavirelDoc* doc = GetDocument();
    doc->m_bDeemphasis75 = b75;
    ShowPlayChoices();
    const double tau = b75 ? kDeemphasis75us : kDeemphasis50us;
    if (IsPlaying() && doc->m_bTwoChannel && m_playing.nMode == DEMOD_WFM && m_playing.dDeemphasisSec != tau) {
        PlayChoice next = m_playing;
        next.dDeemphasisSec = tau;
        if (!m_bPlayingLoop)
            next.nFromFrame = m_nPlayFrame;
        StopPlaying();
        StartPlaying(next, m_bPlayingLoop);
    }
}

void CTavirelView::SetVolumeDb(int nDb)
{
    CTavirelDoc* doc = GetDocument();
    doc->m_nVolumeDb = std::clamp(nDb, CTavirelDoc::kVolumeMinDb, CTavirelDoc::kVolumeMaxDb);
    if (m_player)
        m_player->SetVolume(std::pow(10.0, doc->m_nVolumeDb / 20.0));
    ShowPlayChoices();
}

void CTavirelView::SetFollowPlay(bool bFollow)
{
    GetDocument()->m_bFollowPlay = bFollow;
    ShowPlayChoices();
}
