// Shared pieces of the form view tests: a hand-built wave file, a settings
// store in a temporary folder, a document and a shown view, and file dialogs
// that answer from a script.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "doc/ProfileStore.h"
#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "form/FileDialogs.h"
#include "form/TavirelView.h"
#include "support/ScriptedDialogs.h"
#include "support/WaveBytes.h"

namespace viewtest {

struct WallTime {
    uint16_t year, month, day, hour, minute, second;
};

// A one-channel 8-bit wave, by default at 1000 frames per second (one plot
// column is 2.048 s), holding a tone, with an optional 72-byte "auxi" record.
inline std::vector<uint8_t> MonoWave(uint32_t nFrames, const WallTime* start = nullptr,
                                     const WallTime* stop = nullptr, uint32_t rate = 1000)
{
    auto st = [](const WallTime& t) { return SYSTEMTIME{t.year, t.month, 0, t.day, t.hour, t.minute, t.second, 0}; };
    riff::WaveShape shape(1, rate, 8);
    if (start && stop)
        shape.auxi = riff::AuxiPayload(st(*start), st(*stop));
    // One period of the tone, repeated.
    uint8_t period[64];
    for (int i = 0; i < 64; ++i)
        period[i] = static_cast<uint8_t>(128 + std::lround(100.0 * std::sin(i * 2 * M_PI * 5 / 64)));
    riff::Bytes data;
    for (uint32_t i = 0; i < nFrames; ++i)
        data.U8(period[i % 64]);
    return riff::WaveFile(shape, data).v;
}

inline bool WriteFile(const QString& path, const std::vector<uint8_t>& bytes)
{
    return riff::WriteFile(path.toStdString(), bytes);
}

// A document with a real settings store in a temporary folder, and its view,
// shown at its design size on the offscreen platform.
class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        ASSERT_TRUE(m_dir.isValid());
        m_store = std::make_unique<CSettingsStore>(m_dir.filePath(QStringLiteral("Tavirel.conf")));
        m_doc = std::make_unique<CTavirelDoc>(m_store.get());
        ASSERT_TRUE(m_doc->OnNewDocument());
        CFileDialogs::SetInstance(&m_dialogs);
    }
    void TearDown() override
    {
        m_view.reset();
        CFileDialogs::SetInstance(nullptr);
    }

    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    // Shows the view for the document, as the main window does: construct,
    // show, initial update, first paint.
    void ShowView(const QString& srcPath)
    {
        m_doc->m_strSrcPath = srcPath;
        m_view = std::make_unique<CTavirelView>(m_doc.get());
        m_view->resize(m_view->GetDesignSize());
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->OnInitialUpdate();
        Paint();
    }
    void Paint() { m_view->GetLayoutWindow()->repaint(); }

    // The text a control shows.
    QString Text(int id) const
    {
        QWidget* w = m_view->Control(id);
        if (auto* label = qobject_cast<QLabel*>(w))
            return label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            return button->text();
        return QString();
    }
    QWidget* Form() const { return m_view->GetLayoutWindow(); }
    CWposCtrl& Bar() const { return m_view->m_wndPosBar; }

    QTemporaryDir m_dir;
    std::unique_ptr<CSettingsStore> m_store;
    std::unique_ptr<CTavirelDoc> m_doc;
    CScriptedDialogs m_dialogs;
    std::unique_ptr<CTavirelView> m_view; // destroyed before the document
};

} // namespace viewtest
