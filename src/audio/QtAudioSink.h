// CQtAudioSink: the default audio output of the desktop's sound server
// (Qt Multimedia's QAudioSink on QMediaDevices::defaultAudioOutput()), fed
// in push mode. One channel is played on every channel the device has;
// samples go out as floats, or as 16-bit integers where floats are refused.
#pragma once

#include <memory>
#include <vector>

#include "audio/AudioSink.h"

class QAudioSink;
class QIODevice;

class CQtAudioSink final : public IAudioSink {
public:
    CQtAudioSink();
    ~CQtAudioSink() override;

    std::string Open(int nRateHz) override;
    int Rate() const override { return m_nRateHz; }
    int64_t FreeFrames() override;
    void Write(const float* pFrames, int n) override;
    int64_t PlayedFrames() override;
    void Close() override;

private:
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_pDevice = nullptr; // the sink's, valid while it plays
    int m_nRateHz = 0;
    int m_nChannels = 1;
    bool m_bFloat = true;
    std::vector<char> m_bytes;
};
