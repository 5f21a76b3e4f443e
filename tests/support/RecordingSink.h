// An audio sink for the player's tests: it records what it is given, takes
// no more than its buffer holds, and plays at once, in real time or only as
// far as the test says.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
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
    int nOverfilled = 0;                   // writes past the free room
    std::atomic<int64_t> nManualPlayed{0}; // how far a Manual sink has played

    std::vector<float> Frames()
    {
        std::lock_guard<std::mutex> hold(lock);
        return frames;
    }
};

class CRecordingSink final : public IAudioSink {
public:
    enum class Clock { Instant, RealTime, Manual };

    CRecordingSink(std::shared_ptr<SinkLog> log, Clock clock = Clock::Instant, std::string openError = {},
                   int nDefaultRateHz = 48000, int64_t nCapacityFrames = 9600)
        : m_log(std::move(log)), m_clock(clock), m_openError(std::move(openError)), m_nRateHz(nDefaultRateHz),
          m_nCapacity(nCapacityFrames)
    {
    }

    std::string Open(int nRateHz) override
    {
        std::lock_guard<std::mutex> hold(m_log->lock);
        ++m_log->nOpened;
        if (nRateHz > 0)
            m_nRateHz = nRateHz;
        m_start = std::chrono::steady_clock::now();
        return m_openError;
    }
    int Rate() const override { return m_nRateHz; }
    int64_t FreeFrames() override { return m_nCapacity - (m_nWritten - PlayedFrames()); }
    void Write(const float* p, int n) override
    {
        const bool bOver = n > FreeFrames();
        std::lock_guard<std::mutex> hold(m_log->lock);
        m_log->nOverfilled += bOver;
        m_log->frames.insert(m_log->frames.end(), p, p + n);
        m_nWritten += n;
    }
    int64_t PlayedFrames() override
    {
        switch (m_clock) {
        case Clock::Instant: return m_nWritten;
        case Clock::Manual: return std::min(m_nWritten, m_log->nManualPlayed.load());
        case Clock::RealTime: break;
        }
        const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        return std::min(m_nWritten, static_cast<int64_t>(sec * m_nRateHz));
    }
    void Close() override
    {
        std::lock_guard<std::mutex> hold(m_log->lock);
        ++m_log->nClosed;
    }

private:
    std::shared_ptr<SinkLog> m_log;
    Clock m_clock;
    std::string m_openError;
    int m_nRateHz;
    int64_t m_nCapacity;
    int64_t m_nWritten = 0;
    std::chrono::steady_clock::time_point m_start;
};
