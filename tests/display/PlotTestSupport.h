// Shared set-up for the plot tests: a document with a hand-built source opened
// the way the view opens one, a plot configured for it, and pixel helpers.
#pragma once

#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "support/WaveBytes.h"

namespace plottest {

// Deterministic noise in [-1, 1).
class Noise {
public:
    explicit Noise(uint32_t seed) : m_state(seed) {}
    double Next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<double>(m_state >> 8) / 8388608.0 - 1.0;
    }

private:
    uint32_t m_state;
};

// seconds of 16-bit noise at 8000 frames per second, amplitude of full scale
inline riff::Bytes NoiseFile(int channels, int seconds, double amplitude, uint32_t seed = 1)
{
    Noise noise(seed);
    std::vector<int16_t> s(static_cast<size_t>(8000 * seconds * channels));
    for (int16_t& v : s)
        v = static_cast<int16_t>(amplitude * 32767.0 * noise.Next());
    return riff::WaveFile({static_cast<uint16_t>(channels)}, riff::Pcm16(s));
}

class PlotTest : public ::testing::Test {
protected:
    PlotTest() : m_doc(nullptr), m_plot(&m_doc) {}

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_doc.OnNewDocument();
    }

    QString Write(const QString& name, const riff::Bytes& bytes)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(riff::WriteFile(path.toStdString(), bytes));
        return path;
    }

    // What the view does when a source has been chosen.
    void Load(const QString& path, int refLevel = 0)
    {
        m_doc.m_strSrcPath = path;
        ASSERT_TRUE(m_doc.OpenSource(path));
        m_doc.m_bLoaded = true;
        m_doc.m_nRefLevel = refLevel;
        m_doc.m_nViewStart = 0;
        m_doc.m_nDrawnStart = -1;
        m_plot.SetLevels(m_doc.m_bTwoChannel, refLevel);
    }

    QRgb Colour(int paletteIndex) const
    {
        const uint32_t c = m_doc.m_palette[static_cast<size_t>(paletteIndex)];
        return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                    static_cast<int>((c >> 16) & 0xFF));
    }

    QRgb Pixel(int x, int y) const { return m_plot.m_bitmap.pixel(x, y) | 0xFF000000u; }

    bool ColumnIsBlack(int x) const
    {
        for (int y = 0; y < m_plot.m_bitmap.height(); ++y)
            if (Pixel(x, y) != qRgb(0, 0, 0))
                return false;
        return true;
    }

    QTemporaryDir m_dir;
    CTavirelDoc m_doc;
    CSpectrogramPlot m_plot;
};

} // namespace plottest
