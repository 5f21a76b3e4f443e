// Shared pieces of the form view tests: hand-built wave files, a settings
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

namespace viewtest {

struct WallTime {
    uint16_t year, month, day, hour, minute, second;
};

class Bytes {
public:
    void U8(uint8_t x) { m_v.push_back(x); }
    void U16(uint16_t x)
    {
        U8(static_cast<uint8_t>(x));
        U8(static_cast<uint8_t>(x >> 8));
    }
    void U32(uint32_t x)
    {
        U16(static_cast<uint16_t>(x));
        U16(static_cast<uint16_t>(x >> 16));
    }
    void Id(const char* id) { m_v.insert(m_v.end(), id, id + 4); }
    // SYSTEMTIME: year, month, day of week, day, hour, minute, second, ms.
    void Time(const WallTime& t)
    {
        for (uint16_t w : {t.year, t.month, uint16_t{0}, t.day, t.hour, t.minute, t.second, uint16_t{0}})
            U16(w);
    }
    std::vector<uint8_t> m_v;
};

// A one-channel 8-bit wave, by default at 1000 frames per second (one plot
// column is 2.048 s), holding a tone, with an optional 72-byte "auxi" record.
inline std::vector<uint8_t> MonoWave(uint32_t nFrames, const WallTime* start = nullptr,
                                     const WallTime* stop = nullptr, uint32_t rate = 1000)
{
    const bool auxi = start != nullptr && stop != nullptr;
    Bytes b;
    b.Id("RIFF");
    b.U32(4 + (8 + 16) + (auxi ? 8 + 72 : 0) + 8 + nFrames + (nFrames & 1));
    b.Id("WAVE");
    b.Id("fmt ");
    b.U32(16);
    b.U16(1);        // PCM
    b.U16(1);        // channels
    b.U32(rate);
    b.U32(rate);     // bytes per second
    b.U16(1);        // block align
    b.U16(8);        // bits
    if (auxi) {
        b.Id("auxi");
        b.U32(72);
        b.Time(*start);
        b.Time(*stop);
        for (int i = 0; i < 10; ++i)
            b.U32(0);
    }
    b.Id("data");
    b.U32(nFrames);
    // One period of the tone, repeated.
    uint8_t period[64];
    for (int i = 0; i < 64; ++i)
        period[i] = static_cast<uint8_t>(128 + std::lround(100.0 * std::sin(i * 2 * M_PI * 5 / 64)));
    b.m_v.reserve(b.m_v.size() + nFrames + 1);
    for (uint32_t i = 0; i < nFrames; ++i)
        b.U8(period[i % 64]);
    if (nFrames & 1)
        b.U8(0);
    return b.m_v;
}

inline bool WriteFile(const QString& path, const std::vector<uint8_t>& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

// File dialogs that return scripted answers ("" = cancel) and remember what
// they were asked.
class CScriptedDialogs : public CFileDialogs {
public:
    QString GetOpenFileName(QWidget*, const QString& initialPath, const QString& filter) override
    {
        m_asked << QStringLiteral("open:") + initialPath + QStringLiteral("|") + filter;
        return Next();
    }
    QString GetSaveFileName(QWidget*, const QString& initialPath, const QString& filter) override
    {
        m_asked << QStringLiteral("save:") + initialPath + QStringLiteral("|") + filter;
        return Next();
    }
    bool AskYesNo(QWidget*, const QString& text) override
    {
        m_asked << QStringLiteral("ask:") + text;
        return false;
    }
    QStringList m_answers;
    QStringList m_asked;

private:
    QString Next() { return m_answers.isEmpty() ? QString() : m_answers.takeFirst(); }
};

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
