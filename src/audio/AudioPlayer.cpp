#include "audio/AudioPlayer.h"

#include <QThread>
#include <QTimer>

#include <algorithm>

#include "audio/QtAudioSink.h"

namespace {

// How often the playing thread updates the position and looks for the end.
constexpr int kTickMs = 10;
// The source is read in pieces of at most this many frames.
constexpr int kPieceFrames = 4096;

} // namespace

// Opens the sink, makes the source and lets the sink take its audio from
// it until the source ends or Stop; reports to the player through queued
// calls.
class CPlaybackThread final : public QThread {
public:
    CPlaybackThread(CAudioPlayer* player, unsigned nGeneration, CAudioPlayer::SourceFactory source, int nRateHz)
        : m_player(player), m_nGeneration(nGeneration), m_makeSource(std::move(source)), m_nRateHz(nRateHz)
    {
    }

    void RequestStop()
    {
        m_bStop = true;
        quit();
    }
    int64_t Position() const { return m_nPosition.load(); }

protected:
    void run() override
    {
        std::unique_ptr<IAudioSink> sink = m_player->m_sinks();
        if (Start(*sink)) {
            QTimer timer;
            QObject::connect(&timer, &QTimer::timeout, [&] {
                if (!Tick(*sink))
                    quit();
            });
            timer.start(kTickMs);
            exec();
        }
        sink->Close();
        m_source.reset();
    }

private:
    // Opens the device and the source and starts the device; false on a
    // failure (reported).
    bool Start(IAudioSink& sink)
    {
        std::string error = sink.Open(m_nRateHz);
        if (error.empty()) {
            m_source = m_makeSource(sink.Rate(), &error);
            if (!m_source && error.empty())
                error = "Nothing to play";
        }
        if (error.empty()) {
            m_nPosition = m_source->SourceFrameOf(0);
            error = sink.Start([this](float* p, int n) { return Feed(p, n); });
        }
        if (!error.empty())
            Report(CAudioPlayer::Event::Failed, error);
        return error.empty() && !m_bStop;
    }

    // The sink's audio: the source's, at the player's volume.
    int Feed(float* pFrames, int n)
    {
        int got = 0;
        while (got < n && !m_bSourceDone && !m_bStop) {
            const int r = m_source->Read(pFrames + got, std::min(n - got, kPieceFrames));
            if (r <= 0) {
                m_bSourceDone = true;
                m_bSourceFailed = r < 0;
                break;
            }
            got += r;
        }
        const float volume = m_player->m_volume.load();
        for (int i = 0; i < got; ++i)
            pFrames[i] = std::clamp(pFrames[i] * volume, -1.0f, 1.0f);
        m_nWritten += got;
        if (got > 0 && !m_bStarted) {
            m_bStarted = true;
            Report(CAudioPlayer::Event::Started);
        }
        return got;
    }

    // Follows the device; false when the playing is over.
    bool Tick(IAudioSink& sink)
    {
        const int64_t nPlayed = std::min(sink.PlayedFrames(), m_nWritten);
        m_nPosition = m_source->SourceFrameOf(nPlayed);
        if (m_bSourceFailed) {
            Report(CAudioPlayer::Event::Failed, m_source->Error());
            return false;
        }
        if (!m_bSourceDone)
            return true;
        // The end: all played, or the device no longer moves (it may keep
        // back the last fraction of a period).
        m_nStillTicks = nPlayed == m_nLastPlayed ? m_nStillTicks + 1 : 0;
        m_nLastPlayed = nPlayed;
        if (nPlayed < m_nWritten && m_nStillTicks * kTickMs < kStillEndMs)
            return true;
        Report(CAudioPlayer::Event::Finished);
        return false;
    }

    void Report(CAudioPlayer::Event event, const std::string& message = {})
    {
        CAudioPlayer* player = m_player;
        const unsigned generation = m_nGeneration;
        const QString text = QString::fromStdString(message);
        QMetaObject::invokeMethod(
            player, [player, generation, event, text] { player->OnEvent(generation, event, text); },
            Qt::QueuedConnection);
    }

    static constexpr int kStillEndMs = 250;

    CAudioPlayer* m_player;
    unsigned m_nGeneration;
    CAudioPlayer::SourceFactory m_makeSource;
    int m_nRateHz;
    std::unique_ptr<IAudioSource> m_source;
    int64_t m_nWritten = 0;
    int64_t m_nLastPlayed = -1;
    int m_nStillTicks = 0;
    bool m_bStarted = false;
    bool m_bSourceDone = false;
    bool m_bSourceFailed = false;
    std::atomic<bool> m_bStop{false};
    std::atomic<int64_t> m_nPosition{-1};
};

CAudioPlayer::CAudioPlayer(QObject* parent) : CAudioPlayer([] { return std::make_unique<CQtAudioSink>(); }, parent) {}

CAudioPlayer::CAudioPlayer(SinkFactory sinks, QObject* parent) : QObject(parent), m_sinks(std::move(sinks)) {}

CAudioPlayer::~CAudioPlayer()
{
    Stop();
}

void CAudioPlayer::Play(SourceFactory source, int nRateHz)
{
    Stop();
    m_thread = std::make_unique<CPlaybackThread>(this, ++m_nGeneration, std::move(source), nRateHz);
    m_thread->start();
}

void CAudioPlayer::Stop()
{
    if (!m_thread)
        return;
    m_thread->RequestStop();
    EndThread();
}

void CAudioPlayer::EndThread()
{
    m_thread->wait();
    m_thread.reset();
    ++m_nGeneration; // what the ended thread still reports is stale
}

int64_t CAudioPlayer::PositionFrame() const
{
    return m_thread ? m_thread->Position() : -1;
}

void CAudioPlayer::SetVolume(double dFactor)
{
    m_volume = static_cast<float>(std::max(0.0, dFactor));
}

void CAudioPlayer::OnEvent(unsigned nGeneration, Event event, const QString& message)
{
    if (nGeneration != m_nGeneration || !m_thread)
        return;
    switch (event) {
    case Event::Started: emit started(); break;
    case Event::Finished:
        EndThread();
        emit finished();
        break;
    case Event::Failed:
        EndThread();
        emit failed(message);
        break;
    }
}
