// A shown main form over a document with its settings in a temporary folder,
// file dialogs answering from a script, and hand-built wave sources.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "doc/ProfileStore.h"
#include "display/SpectrogramPlot.h"
#include "doc/TavirelDoc.h"
#include "form/FileDialogs.h"
#include "form/TavirelView.h"
#include "support/ScriptedDialogs.h"
#include "support/WaveBytes.h"

class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "Europe/Berlin", 1); // recording times are shown as stored, not shifted
        tzset();
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

    // An 8-bit mono source of nSec seconds at 1000 frames/s, recorded from 9:05:00 on 21 June 2003 if dated.
    QString Source(const char* name, int nSec, bool dated = true)
    {
        riff::WaveShape shape(1, 1000, 8);
        const SYSTEMTIME start{2003, 6, 6, 21, 9, 5, 0, 0};
        SYSTEMTIME stop{};
        if (dated && (CTime(start, -1) + nSec).GetAsSystemTime(stop))
            shape.auxi = riff::AuxiPayload(start, stop);
        EXPECT_TRUE(riff::WriteFile(Path(name).toStdString(), riff::WaveFile(shape, riff::Bytes().Fill(nSec * 1000u, 128))));
        return Path(name);
    }

    // Constructs, shows and first paints the view, as the main window does.
    void ShowView(const QString& srcPath)
    {
        m_doc->m_strSrcPath = srcPath;
        m_view = std::make_unique<CTavirelView>(m_doc.get());
        m_view->resize(m_view->GetDesignSize());
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->OnInitialUpdate();
        m_view->GetLayoutWindow()->repaint();
    }

    QString Text(int id) const
    {
        QWidget* w = m_view->Control(id);
        if (auto* label = qobject_cast<QLabel*>(w))
            return label->text();
        return qobject_cast<QAbstractButton*>(w)->text();
    }
    void Click(int id) { QTest::mouseClick(m_view->Control(id), Qt::LeftButton); }
    CWposCtrl& Bar() const { return m_view->m_wndPosBar; }
    // A click on the bar at client column x (negative: from the right end).
    void ClickBar(Qt::MouseButton button, int x, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const QRect c = Bar().ClientRect();
        QTest::mouseClick(&Bar(), button, mods, QPoint(x < 0 ? c.right() + 1 + x : c.left() + x, c.center().y()));
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CSettingsStore> m_store;
    std::unique_ptr<CTavirelDoc> m_doc;
    CScriptedDialogs m_dialogs;
    std::unique_ptr<CTavirelView> m_view; // destroyed before the document
};
