// The form tests' shared fixture: a document on a settings store in a
// temporary folder, generated recordings, the real main form (and the segment
// list beside it) shown and active, and real mouse, key, wheel and drop events.
#pragma once

#include <QtTest>
#include <QtWidgets>

#include <gmock/gmock.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "display/SpectrogramPlot.h"
#include "doc/ProfileStore.h"
#include "doc/TavirelDoc.h"
#include "form/SegmentDock.h"
#include "form/TavirelView.h"
#include "support/ScopedTz.h"
#include "support/ScriptedDialogs.h"
#include "support/WaveBytes.h"

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace form_test {

// Matchers of a text; a failure shows the whole text.
MATCHER_P(Has, part, "holds \"" + QString(part).toStdString() + '"')
{
    return arg.contains(QString(part));
}
MATCHER_P(Begins, part, "begins with \"" + QString(part).toStdString() + '"')
{
    return arg.startsWith(QString(part));
}

using Bytes = std::vector<uint8_t>;
constexpr int64_t C = 2048; // frames per column at zoom 1
constexpr uint32_t kCentreHz = 7050000;
const SYSTEMTIME kStart{2003, 6, 6, 21, 9, 5, 0, 0};

class FormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tz.emplace("Europe/Berlin"); // recording times are shown as stored, not shifted
        m_store = std::make_unique<CSettingsStore>(Path("Tavirel.conf"));
        m_doc = std::make_unique<CTavirelDoc>(m_store.get());
        ASSERT_TRUE(m_doc->OnNewDocument());
        CFileDialogs::SetInstance(&m_dialogs);
    }
    void TearDown() override
    {
        Close();
        CFileDialogs::SetInstance(nullptr);
    }

    QString Path(const QString& name) const { return m_dir.filePath(name); }
    Bytes Read(const QString& name) const { return riff::ReadFile(Path(name).toStdString()); }
    QStringList Files(const QString& pattern) const { return QDir(m_dir.path()).entryList({pattern}, QDir::Files); }

    // A two-channel 16-bit I/Q source of nSec seconds at 1000 frames/s tuned to kCentreHz, recorded from
    // 9:05:00 on 21 June 2003 if dated (for spanSec seconds when given: times that disagree with the samples).
    QString Source(const char* name, int nSec, bool dated = true, int spanSec = 0)
    {
        riff::WaveShape shape(2, 1000, 16);
        SYSTEMTIME stop{};
        if (dated && (CTime(kStart, -1) + (spanSec > 0 ? spanSec : nSec)).GetAsSystemTime(stop))
            shape.auxi = riff::AuxiPayload(kStart, stop, {kCentreHz, 64000000, 11, 4000, 12, 13, 14, 15, 16, 17});
        const auto sample = [](size_t i) { return static_cast<int16_t>(i / 2 * 3 + i % 2 * 12345); };
        return Write(name, riff::WaveFile(shape, riff::Gen16(nSec * 2000u, sample)));
    }
    // A source of nSec seconds at rate frames/s: two channels with a complex tone of toneHz
    // (centre frequency and recording time from the auxi chunk), or one channel with a cosine;
    // silent from frame toneEnd on.
    QString ToneSource(const char* name, int channels, uint32_t rate, int nSec, double toneHz, uint32_t centreHz,
                       size_t toneEnd = SIZE_MAX)
    {
        riff::WaveShape shape(static_cast<uint16_t>(channels), rate, 16);
        SYSTEMTIME stop{};
        if (centreHz != 0 && (CTime(kStart, -1) + nSec).GetAsSystemTime(stop))
            shape.auxi = riff::AuxiPayload(kStart, stop, {centreHz, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        const double w = 2 * M_PI * toneHz / rate;
        const riff::Bytes data = riff::Gen16(size_t{rate} * nSec * channels, [&](size_t i) {
            const size_t frame = i / channels;
            const double phase = w * static_cast<double>(frame);
            const double v =
                frame < toneEnd ? kToneAmplitude * (i % channels == 0 ? std::cos(phase) : std::sin(phase)) : 0;
            return static_cast<int16_t>(std::lround(v));
        });
        return Write(name, riff::WaveFile(shape, data));
    }
    static constexpr double kToneAmplitude = 16000;
    QString Write(const char* name, const riff::Bytes& bytes)
    {
        EXPECT_TRUE(riff::WriteFile(Path(name).toStdString(), bytes));
        return Path(name);
    }

    // Constructs, shows, activates (for its keys) and first paints the form, as the main window does;
    // with the segment list beside it when asked.
    void Show(const QString& srcPath, bool bDock = false)
    {
        Close();
        m_doc->m_strSrcPath = srcPath;
        m_view = std::make_unique<CTavirelView>(m_doc.get());
        m_view->m_nSaveProgressDelayMs = 0;
        if (bDock) {
            m_dock = std::make_unique<CSegmentDock>(m_view.get());
            m_dock->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dock.get()));
        }
        m_view->resize(m_view->GetDesignSize());
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        FocusForm();
        m_view->OnInitialUpdate();
        Form()->repaint();
    }
    void Close()
    {
        m_dock.reset();
        m_view.reset();
    }
    void FocusForm()
    {
        m_view->activateWindow();
        QApplication::setActiveWindow(m_view.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    }

    QWidget* Form() const { return m_view->GetLayoutWindow(); }
    QString Text(int id) const { return static_cast<QLabel*>(m_view->Control(id))->text(); }
    // The status line's text as one line (a readout too long for it is shown in two).
    QString Status() const { return m_view->m_wndStatus->text().replace(QLatin1Char('\n'), QStringLiteral("  ")); }
    CWposCtrl& Bar() const { return m_view->m_wndPosBar; }
    QRect Plot() const { return m_view->PictureRect(); }
    QImage Picture() const { return m_view->m_pPlot->m_bitmap; }
    int64_t Blocks() const { return (static_cast<int64_t>(m_doc->m_nTotalFrames) + 2047) / 2048; }
    std::pair<int64_t, int64_t> Marks() const { return {m_doc->m_nFromFrame, m_doc->m_nToFrame}; }
    // A point on the picture: column x, row y (the middle row when not given).
    QPoint At(int x, int y = -1) const
    {
        return QPoint(Plot().left() + x, y < 0 ? Plot().center().y() : Plot().top() + y);
    }

    void Click(int id) { QTest::mouseClick(m_view->Control(id), Qt::LeftButton); }
    void ClickPlot(int x) { QTest::mouseClick(Form(), Qt::LeftButton, {}, QPoint(x, Plot().center().y())); }
    // The pointer over the form without a button pressed.
    void Hover(QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, Form()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Form(), &move);
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers mods = {})
    {
        QTest::mousePress(Form(), Qt::LeftButton, mods, from);
        Hover((from + to) / 2);
        Hover(to);
        QTest::mouseRelease(Form(), Qt::LeftButton, mods, to);
    }
    // A click on the bar at client column x (negative: from the right end).
    void ClickBar(Qt::MouseButton button, int x, Qt::KeyboardModifiers mods = {})
    {
        const QRect c = Bar().ClientRect();
        QTest::mouseClick(&Bar(), button, mods, QPoint(x < 0 ? c.right() + 1 + x : c.left() + x, c.center().y()));
    }
    // Lets a rendering off the UI thread end (it reports through an event) and paints.
    void WaitRender()
    {
        while (m_view->IsRenderPending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        Form()->repaint();
    }
    void Key(int key, Qt::KeyboardModifiers mods = {})
    {
        QTest::keyClick(m_view.get(), static_cast<Qt::Key>(key), mods);
        WaitRender();
    }
    // Drags files onto the form as the desktop does; true when the form takes them, and then drops them.
    bool Drop(const QStringList& paths)
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromUserInput(p);
        mime.setUrls(urls);
        const QPointF at = Plot().center();
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &drop);
        return true;
    }
    // Plays input on the picture, steps parted by ';': "drag P Q", "hover P" ("hover exit": over the Exit
    // button), "key K" (a key named in the table below) and "wheel N" (notches away from the user), each
    // with "+shift" or "+ctrl" for the modifier held. A point is a column, or "column,row", of the picture;
    // "W-n" counts from its right edge, "To+n" from the To mark's column.
    void Play(const QString& input)
    {
        const auto point = [&](const QString& text) {
            const QStringList xy = text.split(QLatin1Char(','));
            const QString& x = xy[0];
            const int dx = x.mid(x.indexOf(QRegularExpression(QStringLiteral("[-+]|$")))).toInt();
            const int base = x.startsWith(QLatin1Char('W'))       ? Plot().width()
                             : x.startsWith(QStringLiteral("To")) ? m_view->XOfFrame(m_doc->m_nToFrame) - Plot().left()
                                                                  : 0;
            return At(base + (base ? dx : x.toInt()), xy.size() > 1 ? xy[1].toInt() : -1);
        };
        const std::map<QString, int> keys{
            {"Esc", Qt::Key_Escape},    {"End", Qt::Key_End},       {"Home", Qt::Key_Home},
            {"Right", Qt::Key_Right},   {"Left", Qt::Key_Left},     {"PgUp", Qt::Key_PageUp},
            {"PgDn", Qt::Key_PageDown}, {"[", Qt::Key_BracketLeft}, {"]", Qt::Key_BracketRight},
            {"-", Qt::Key_Minus},       {"+", Qt::Key_Plus},        {"=", Qt::Key_Equal},
            {"W", Qt::Key_W},           {"1", Qt::Key_1},           {"S", Qt::Key_S},
            {"Ins", Qt::Key_Insert}};
        for (const QString& step : input.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QStringList w = step.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            Qt::KeyboardModifiers mods;
            if (w.removeAll(QStringLiteral("+shift")))
                mods |= Qt::ShiftModifier;
            if (w.removeAll(QStringLiteral("+ctrl")))
                mods |= Qt::ControlModifier;
            if (w[0] == QStringLiteral("drag"))
                Drag(point(w[1]), point(w[2]), mods);
            else if (w[0] == QStringLiteral("hover"))
                Hover(w[1] == QStringLiteral("exit") ? m_view->Control(IDC_EXIT)->geometry().center() : point(w[1]));
            else if (w[0] == QStringLiteral("wheel")) { // over the picture; the form passes it to the viewport
                QWidget* viewport = m_view->viewport();
                const QPointF at = Form()->mapTo(viewport, QPointF(Plot().center()));
                QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, w[1].toInt() * 120), Qt::NoButton,
                                  mods, Qt::NoScrollPhase, false);
                QApplication::sendEvent(viewport, &wheel);
                WaitRender();
            } else
                Key(keys.at(w[1]), mods);
        }
    }
    // Runs a save; while it lets events through, step sees its progress dialog until it returns false.
    template <class Save>
    void WhileSaving(Save save, const std::function<bool(QProgressDialog*)>& step)
    {
        bool bGoOn = true;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* dialog = m_view->findChild<QProgressDialog*>(); bGoOn && dialog)
                bGoOn = step(dialog);
        });
        poll.start(0);
        save();
        poll.stop();
    }
    // The failure messages shown so far; they are shown once pending events are handled.
    QStringList Errors()
    {
        QCoreApplication::sendPostedEvents();
        return m_dialogs.Errors();
    }

    std::optional<ScopedTz> m_tz; // first member: restored last
    QTemporaryDir m_dir;
    std::unique_ptr<CSettingsStore> m_store;
    std::unique_ptr<CTavirelDoc> m_doc;
    CScriptedDialogs m_dialogs;
    std::unique_ptr<CTavirelView> m_view; // destroyed before the document
    std::unique_ptr<CSegmentDock> m_dock;
};

} // namespace form_test
