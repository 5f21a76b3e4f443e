#include "audio/QtAudioSink.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>

namespace {

// The device's buffer: how far the player runs ahead of what is heard.
constexpr int kBufferMs = 200;

} // namespace

CQtAudioSink::CQtAudioSink() = default;

CQtAudioSink::~CQtAudioSink()
{
    Close();
}

std::string CQtAudioSink::Open(int nRateHz)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return kNoAudioDevice;
    QAudioFormat format = device.preferredFormat();
    if (nRateHz > 0)
        format.setSampleRate(nRateHz);
    format.setSampleFormat(QAudioFormat::Float);
    format.setChannelCount(1);
    if (!device.isFormatSupported(format))
        format.setChannelCount(device.preferredFormat().channelCount());
    if (!device.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return "The audio device does not play " + std::to_string(format.sampleRate()) + " Hz";
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_sink->setBufferSize(format.bytesForDuration(kBufferMs * 1000));
    m_pDevice = m_sink->start();
    if (!m_pDevice || m_sink->error() != QAudio::NoError) {
        m_sink.reset();
        m_pDevice = nullptr;
        return "The audio device cannot be opened";
    }
    m_nRateHz = format.sampleRate();
    m_nChannels = format.channelCount();
    m_bFloat = format.sampleFormat() == QAudioFormat::Float;
    return {};
}

int64_t CQtAudioSink::FreeFrames()
{
    if (!m_sink)
        return 0;
    const int bytesPerFrame = m_nChannels * (m_bFloat ? 4 : 2);
    return m_sink->bytesFree() / bytesPerFrame;
}

void CQtAudioSink::Write(const float* pFrames, int n)
{
    if (!m_pDevice)
        return;
    const size_t sampleBytes = m_bFloat ? 4 : 2;
    m_bytes.resize(static_cast<size_t>(n) * m_nChannels * sampleBytes);
    char* out = m_bytes.data();
    for (int i = 0; i < n; ++i) {
        const float v = std::clamp(pFrames[i], -1.0f, 1.0f);
        const int16_t s = static_cast<int16_t>(v * 32767.0f);
        for (int c = 0; c < m_nChannels; ++c, out += sampleBytes)
            std::memcpy(out, m_bFloat ? static_cast<const void*>(&v) : static_cast<const void*>(&s), sampleBytes);
    }
    m_pDevice->write(m_bytes.data(), static_cast<qint64>(m_bytes.size()));
}

int64_t CQtAudioSink::PlayedFrames()
{
    if (!m_sink)
        return 0;
    return m_sink->processedUSecs() * m_nRateHz / 1000000;
}

void CQtAudioSink::Close()
{
    if (!m_sink)
        return;
    m_sink->reset(); // drop what is buffered: stopping is immediate
    m_sink->stop();
    m_sink.reset();
    m_pDevice = nullptr;
}
