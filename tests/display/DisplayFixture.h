// The display tests' shared set-up: a document and its spectrogram plot, sources
// written to a temporary folder (which is also the cache folder) and opened as
// the view opens them, and the palette entries of pixels.
#pragma once

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "support/WaveBytes.h"

class DisplayTest : public ::testing::Test {
protected:
    DisplayTest() : m_doc(nullptr), m_plot(&m_doc)
    {
        qputenv("XDG_CACHE_HOME", m_dir.filePath("cache").toUtf8());
        m_doc.OnNewDocument();
    }
    ~DisplayTest() override { qunsetenv("XDG_CACHE_HOME"); }

    QString Write(const QString& name, const riff::Bytes& bytes)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(riff::WriteFile(path.toStdString(), bytes));
        return path;
    }
    // What the view does when a source has been chosen.
    void Load(const QString& path, int refLevel = 0)
    {
        ASSERT_TRUE(m_doc.LoadSource(path));
        m_doc.m_nRefLevel = refLevel;
        m_plot.SetLevels(m_doc.m_bTwoChannel, refLevel);
    }
    // Palette entry 0 (the bottom colour) .. 255 as a pixel, and back; -1 for a colour not in the palette.
    QRgb Colour(int entry) const
    {
        const uint32_t c = m_doc.m_palette[static_cast<size_t>(entry)];
        return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
    }
    int EntryOf(QRgb pixel) const
    {
        for (int e = 0; e < 256; ++e)
            if (Colour(e) == (pixel | 0xFF000000u))
                return e;
        return -1;
    }
    QRgb Pixel(int x, int y) const { return m_plot.m_bitmap.pixel(x, y) | 0xFF000000u; }

    QTemporaryDir m_dir;
    CTavirelDoc m_doc;
    CSpectrogramPlot m_plot;
};
