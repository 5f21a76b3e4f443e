// Hand-built RIFF WAVE files for the document and plot tests: a "fmt " chunk,
// an optional 72-byte "auxi" record and a "data" chunk, little-endian.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/SystemTime.h"

namespace testwave {

inline void Put16(QByteArray& b, uint32_t v)
{
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>((v >> 8) & 0xFF));
}

inline void Put32(QByteArray& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

inline void PutTime(QByteArray& b, const SYSTEMTIME& st)
{
    for (uint16_t w : {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond,
                       st.wMilliseconds})
        Put16(b, w);
}

// A whole file: 16-bit integer PCM (tag 1) unless told otherwise. samples holds
// the raw "data" payload. With hasAuxi a 72-byte record carries start and stop.
inline QByteArray WaveBytes(int channels, uint32_t rate, int bits, const QByteArray& data, bool hasAuxi = false,
                            SYSTEMTIME start = {}, SYSTEMTIME stop = {}, int formatTag = 1)
{
    QByteArray body("WAVE");
    body.append("fmt ");
    Put32(body, 16);
    Put16(body, static_cast<uint32_t>(formatTag));
    Put16(body, static_cast<uint32_t>(channels));
    Put32(body, rate);
    const uint32_t blockAlign = static_cast<uint32_t>(channels * bits / 8);
    Put32(body, rate * blockAlign);
    Put16(body, blockAlign);
    Put16(body, static_cast<uint32_t>(bits));
    if (hasAuxi) {
        body.append("auxi");
        Put32(body, 72);
        PutTime(body, start);
        PutTime(body, stop);
        for (int i = 0; i < 10; ++i)
            Put32(body, 0);
    }
    body.append("data");
    Put32(body, static_cast<uint32_t>(data.size()));
    body.append(data);
    if (data.size() % 2)
        body.append('\0');
    QByteArray file("RIFF");
    Put32(file, static_cast<uint32_t>(body.size()));
    file.append(body);
    return file;
}

// 16-bit samples, interleaved as given.
inline QByteArray Pcm16(const std::vector<int16_t>& samples)
{
    QByteArray b;
    b.reserve(static_cast<qsizetype>(samples.size() * 2));
    for (int16_t s : samples)
        Put16(b, static_cast<uint16_t>(s));
    return b;
}

// 32-bit float samples (format tag 3), interleaved as given.
inline QByteArray Float32(const std::vector<float>& samples)
{
    QByteArray b;
    b.reserve(static_cast<qsizetype>(samples.size() * 4));
    for (float f : samples) {
        uint32_t u;
        static_assert(sizeof u == sizeof f);
        std::memcpy(&u, &f, sizeof u);
        Put32(b, u);
    }
    return b;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

// frames of a one-channel tone: amplitude (of full scale 32767) at bin
// frequency cyclesPerBlock / 2048 of the frame rate.
inline std::vector<int16_t> MonoTone(int frames, double amplitude, double cyclesPerBlock)
{
    std::vector<int16_t> s(static_cast<size_t>(frames));
    const double k = 2.0 * M_PI * cyclesPerBlock / 2048.0;
    for (int j = 0; j < frames; ++j)
        s[static_cast<size_t>(j)] = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::cos(k * j)));
    return s;
}

// frames of a two-channel I/Q tone e^(+i 2 pi f j / 2048), f in bins (may be negative).
inline std::vector<int16_t> IqTone(int frames, double amplitude, double cyclesPerBlock)
{
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    const double k = 2.0 * M_PI * cyclesPerBlock / 2048.0;
    for (int j = 0; j < frames; ++j) {
        s[2 * static_cast<size_t>(j)] = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::cos(k * j)));
        s[2 * static_cast<size_t>(j) + 1] =
            static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(k * j)));
    }
    return s;
}

} // namespace testwave
