// CQtAudioSink: the default audio output of the desktop's sound server
// (Qt Multimedia's QAudioSink on QMediaDevices::defaultAudioOutput()), in
// pull mode: the device asks for audio as its buffer drains. One channel is
// played on every channel the device has; samples go out as floats, or as
// 16-bit integers where floats are refused.
#pragma once

#include <memory>

#include "audio/AudioSink.h"

class QAudioSink;
class CFeedDevice; // QtAudioSink.cpp

class CQtAudioSink final : public IAudioSink {
public:
    CQtAudioSink();
    ~CQtAudioSink() override;

    std::string Open(int nRateHz) override;
    int Rate() const override { return m_nRateHz; }
    std::string Start(Feed feed) override;
    int64_t PlayedFrames() override;
    void Close() override;

private:
    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<CFeedDevice> m_device;
    int m_nRateHz = 0;
};
