// CAudioPlayer: plays an audio source on an output device. The audio is
// produced on a thread of its own, ahead of the device by no more than the
// device's buffer; the window's thread only starts, stops and asks where the
// playing stands.
//
// Play returns at once; started() follows once the device has its first
// audio, finished() when the source has been played to its end, failed()
// with a message for the user when the device or the source cannot play
// (kNoAudioDevice without a device). Stop is immediate and emits nothing.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/AudioSink.h"
#include "audio/AudioSource.h"

class CPlaybackThread; // AudioPlayer.cpp

class CAudioPlayer : public QObject {
    Q_OBJECT
public:
    using SinkFactory = std::function<std::unique_ptr<IAudioSink>()>;
    // Makes the source for the device's rate, or returns null and says why.
    using SourceFactory = std::function<std::unique_ptr<IAudioSource>(double dRateHz, std::string* pError)>;

    // Plays on the desktop's default output (CQtAudioSink).
    explicit CAudioPlayer(QObject* parent = nullptr);
    CAudioPlayer(SinkFactory sinks, QObject* parent = nullptr);
    ~CAudioPlayer() override;

    // Stops what plays and plays what source makes, at nRateHz (0: the
    // device's own rate). With bLoop the factory is asked for the next pass
    // as each ends, without a gap, until Stop.
    void Play(SourceFactory source, int nRateHz = 0, bool bLoop = false);
    void Stop();
    bool IsPlaying() const { return m_thread != nullptr; }
    // The recording's frame being heard; -1 when nothing plays.
    int64_t PositionFrame() const;
    // A linear gain on every sample (1.0 plays the levels as they are);
    // clipped at full scale. Takes effect on the audio produced next.
    void SetVolume(double dFactor);
    double Volume() const { return m_volume.load(); }

signals:
    void started();
    void finished();
    void failed(const QString& message);

private:
    friend class CPlaybackThread;
    enum class Event { Started, Finished, Failed };
    // A report of the playing thread, delivered on the player's thread.
    void OnEvent(unsigned nGeneration, Event event, const QString& message);
    void EndThread();

    SinkFactory m_sinks;
    std::unique_ptr<CPlaybackThread> m_thread;
    unsigned m_nGeneration = 0;
    std::atomic<float> m_volume{1.0f};
};
