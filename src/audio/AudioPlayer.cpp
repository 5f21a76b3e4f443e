#include "audio/AudioPlayer.h"

#include <QThread>
#include <QTimer>

#include <algorithm>
#include <deque>

#include "audio/QtAudioSink.h"

namespace {

// How often the playing thread updates the position and looks for the end.
constexpr int kTickMs = 10;
// The source is read in pieces of at most this many frames.
constexpr int kPieceFrames = 4096;

} // namespace

// Opens the sink, makes the source and lets the sink take its audio from
// it until the source ends (looping: a new source from the factory follows
// at once) or Stop; reports to the player through queued calls.
class CPlaybackThread final : public QThread {
public:
    CPlaybackThread(CAudioPlayer* player, unsigned nGeneration, CAudioPlayer::SourceFactory source, int nRateHz,
                    bool bLoop)
        : m_player(player), m_nGeneration(nGeneration), m_makeSource(std::move(source)), m_nRateHz(nRateHz),
          m_bLoop(bLoop)
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
        m_source.reset(); // sources end on the thread that made them
    }

private:
    // Opens the device and the source and starts the device; false on a
    // failure (reported).
    bool Start(IAudioSink& sink)
    {
        std::string error = sink.Open(m_nRateHz);
        m_dRateHz = sink.Rate();
        if (error.empty())
            error = NextPass(0);
        if (error.empty()) {
            m_nPosition = m_source->SourceFrameOf(0);
            error = sink.Start([this](float* p, int n) { return Feed(p, n); });
        }
        if (!error.empty())
            Report(CAudioPlayer::Event::Failed, error);
        return error.empty() && !m_bStop;
    }

    // A source from the factory, heard from frame nBase of the device on; an
    // empty string or why there is none.
    std::string NextPass(int64_t nBase)
    {
        std::string error;
        std::unique_ptr<IAudioSource> source = m_makeSource(m_dRateHz, &error);
        if (!source)
            return error.empty() ? "Nothing to play" : error;
        m_source = std::move(source);
        m_passBases.push_back(nBase);
        return {};
    }

    // The sink's audio: the source's, at the player's volume.
    int Feed(float* pFrames, int n)
    {
        int got = 0;
        while (got < n && !m_bSourceDone && !m_bStop) {
            const int r = m_source->Read(pFrames + got, std::min(n - got, kPieceFrames));
            const bool bEmptyPass = r == 0 && m_nWritten + got == m_passBases.back();
            if (r == 0 && m_bLoop && !bEmptyPass) {
                m_error = NextPass(m_nWritten + got);
                if (m_error.empty())
                    continue;
            } else if (r < 0) {
                m_error = m_source->Error();
            }
            if (r <= 0) {
                m_bSourceDone = true;
                m_bSourceFailed = !m_error.empty();
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

    // Follows the device; false when the playing is over (or stopped: a stop
    // that came before the event loop ran is seen here).
    bool Tick(IAudioSink& sink)
    {
        if (m_bStop)
            return false;
        const int64_t nPlayed = std::min(sink.PlayedFrames(), m_nWritten);
        // Every pass is the same span: the current source maps any of them.
        while (m_passBases.size() > 1 && m_passBases[1] <= nPlayed)
            m_passBases.pop_front();
        m_nPosition = m_source->SourceFrameOf(nPlayed - m_passBases.front());
        if (m_bSourceFailed) {
            Report(CAudioPlayer::Event::Failed, m_error);
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
    bool m_bLoop;
    double m_dRateHz = 0.0;
    std::unique_ptr<IAudioSource> m_source;
    std::deque<int64_t> m_passBases; // the first device frame of each pass not yet played through
    std::string m_error;
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

void CAudioPlayer::Play(SourceFactory source, int nRateHz, bool bLoop)
{
    Stop();
    m_thread = std::make_unique<CPlaybackThread>(this, ++m_nGeneration, std::move(source), nRateHz, bLoop);
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
