#include "audio/QtAudioSink.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The device's buffer: how far the player runs ahead of what is heard.
constexpr int kBufferMs = 200;

} // namespace

// What the sink reads from: the feed's frames in the device's format.
class CFeedDevice final : public QIODevice {
public:
    CFeedDevice(IAudioSink::Feed feed, int nChannels, bool bFloat)
        : m_feed(std::move(feed)), m_nChannels(nChannels), m_nSampleBytes(bFloat ? 4 : 2)
    {
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char* data, qint64 maxBytes) override
    {
        const auto nFrames = static_cast<int>(maxBytes / (m_nChannels * m_nSampleBytes));
        m_frames.resize(std::max(nFrames, 0));
        const int n = nFrames > 0 ? m_feed(m_frames.data(), nFrames) : 0;
        for (int i = 0; i < n; ++i) {
            const float v = std::clamp(m_frames[i], -1.0f, 1.0f);
            const auto s = static_cast<int16_t>(v * 32767.0f);
            for (int c = 0; c < m_nChannels; ++c, data += m_nSampleBytes)
                std::memcpy(data, m_nSampleBytes == 4 ? static_cast<const void*>(&v) : &s, m_nSampleBytes);
        }
        return static_cast<qint64>(n) * m_nChannels * m_nSampleBytes;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    IAudioSink::Feed m_feed;
    int m_nChannels;
    int m_nSampleBytes;
    std::vector<float> m_frames;
};

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
    m_nRateHz = format.sampleRate();
    return {};
}

std::string CQtAudioSink::Start(Feed feed)
{
    if (!m_sink)
        return kNoAudioDevice;
    const QAudioFormat format = m_sink->format();
    m_device = std::make_unique<CFeedDevice>(std::move(feed), format.channelCount(),
                                             format.sampleFormat() == QAudioFormat::Float);
    m_sink->start(m_device.get());
    if (m_sink->error() != QAudio::NoError)
        return "The audio device cannot be opened";
    return {};
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
    m_device.reset();
}
