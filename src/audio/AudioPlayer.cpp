#include "audio/AudioPlayer.h"

#include <QThread>
#include <QTimer>

#include <algorithm>
#include <vector>

#include "audio/QtAudioSink.h"

namespace {

// How often the playing thread tops up the device, and the most it
// produces at a time between checks for Stop.
constexpr int kPumpIntervalMs = 10;
constexpr int kChunkFrames = 1024;

} // namespace

// Opens the sink, makes the source and feeds the one from the other until
// the source ends or Stop; reports to the player through queued calls.
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
                if (!Pump(*sink))
                    quit();
            });
            timer.start(kPumpIntervalMs);
            exec();
        }
        sink->Close();
        m_source.reset();
    }

private:
    // Opens the device and the source and gives the device its first audio.
    bool Start(IAudioSink& sink)
    {
        std::string error = sink.Open(m_nRateHz);
        if (error.empty()) {
            m_source = m_makeSource(sink.Rate(), &error);
            if (!m_source && error.empty())
                error = "Nothing to play";
        }
        if (!error.empty()) {
            Report(CAudioPlayer::Event::Failed, error);
            return false;
        }
        m_nPosition = m_source->SourceFrameOf(0);
        if (!Pump(sink))
            return false;
        Report(CAudioPlayer::Event::Started);
        return !m_bStop;
    }

    // Tops the device up; false when the playing is over.
    bool Pump(IAudioSink& sink)
    {
        const int64_t nPlayed = std::min(sink.PlayedFrames(), m_nWritten);
        m_nPosition = m_source->SourceFrameOf(nPlayed);
        if (m_bSourceDone) {
            if (nPlayed < m_nWritten)
                return true;
            Report(CAudioPlayer::Event::Finished);
            return false;
        }
        for (int64_t nFree = sink.FreeFrames(); nFree > 0 && !m_bStop;) {
            const int n = m_source->Read(m_buf.data(), static_cast<int>(std::min<int64_t>(nFree, kChunkFrames)));
            if (n < 0) {
                Report(CAudioPlayer::Event::Failed, m_source->Error());
                return false;
            }
            if (n == 0) {
                m_bSourceDone = true;
                break;
            }
            const float volume = m_player->m_volume.load();
            for (int i = 0; i < n; ++i)
                m_buf[i] = std::clamp(m_buf[i] * volume, -1.0f, 1.0f);
            sink.Write(m_buf.data(), n);
            m_nWritten += n;
            nFree -= n;
        }
        return !m_bStop;
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

    CAudioPlayer* m_player;
    unsigned m_nGeneration;
    CAudioPlayer::SourceFactory m_makeSource;
    int m_nRateHz;
    std::unique_ptr<IAudioSource> m_source;
    std::vector<float> m_buf = std::vector<float>(kChunkFrames);
    int64_t m_nWritten = 0;
    bool m_bSourceDone = false;
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
