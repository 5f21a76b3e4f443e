// An audio sink for the player's tests: it takes its audio from the
// player's feed on a timer of the player's thread, keeps no more than its
// buffer ahead of what it has played, records everything it is given, and
// plays at once or only as far as the test says.
#pragma once

#include <QTimer>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/AudioSink.h"

// What the sink saw; shared with the test, it outlives the sink.
struct SinkLog {
    std::mutex lock;
    std::vector<float> frames;
    int nOpened = 0, nClosed = 0;
    std::atomic<int64_t> nManualPlayed{0}; // how far a Manual sink has played

    std::vector<float> Frames()
    {
        std::lock_guard<std::mutex> hold(lock);
        return frames;
    }
};

class CRecordingSink final : public IAudioSink {
public:
    enum class Clock { Instant, Manual };

    CRecordingSink(std::shared_ptr<SinkLog> log, Clock clock = Clock::Instant, std::string openError = {})
        : m_log(std::move(log)), m_clock(clock), m_openError(std::move(openError))
    {
    }

    std::string Open(int nRateHz) override
    {
        std::lock_guard<std::mutex> hold(m_log->lock);
        ++m_log->nOpened;
        if (nRateHz > 0)
            m_nRateHz = nRateHz;
        return m_openError;
    }
    int Rate() const override { return m_nRateHz; }
    std::string Start(Feed feed) override
    {
        m_feed = std::move(feed);
        m_timer = std::make_unique<QTimer>();
        QObject::connect(m_timer.get(), &QTimer::timeout, [this] { Pull(); });
        m_timer->start(m_clock == Clock::Instant ? 0 : 5);
        return {};
    }
    int64_t PlayedFrames() override
    {
        return m_clock == Clock::Instant ? m_nTaken : std::min(m_nTaken, m_log->nManualPlayed.load());
    }
    void Close() override
    {
        m_timer.reset();
        std::lock_guard<std::mutex> hold(m_log->lock);
        ++m_log->nClosed;
    }

private:
    // Tops the buffer up from the feed, as a device does.
    void Pull()
    {
        const auto room = static_cast<int>(m_buffer.size() - (m_nTaken - PlayedFrames()));
        const int n = room > 0 ? m_feed(m_buffer.data(), room) : 0;
        std::lock_guard<std::mutex> hold(m_log->lock);
        m_log->frames.insert(m_log->frames.end(), m_buffer.begin(), m_buffer.begin() + n);
        m_nTaken += n;
    }

    std::shared_ptr<SinkLog> m_log;
    Clock m_clock;
    std::string m_openError;
    int m_nRateHz = 48000;
    std::vector<float> m_buffer = std::vector<float>(9600);
    Feed m_feed;
    std::unique_ptr<QTimer> m_timer;
    int64_t m_nTaken = 0;
};
