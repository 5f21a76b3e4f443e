// Listening in the window, on the recording sink: Space and Shift+Space
// on the selection, from the pointer or the window's start, the stop, the
// refusals (no device: the status line only), the playing line on the
// picture and the bar, the window following it, and an I/Q source heard in
// the selection's band or around the pointer's frequency, outlined.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "display/SpectrogramPlot.h"
#include "doc/ProfileStore.h"
#include "doc/TavirelDoc.h"
#include "form/TavirelView.h"
#include "support/RecordingSink.h"
#include "support/ScriptedDialogs.h"
#include "support/ToneFit.h"
#include "support/WaveBytes.h"

namespace {

constexpr int kWaitMs = 20000;
constexpr uint32_t kCentreHz = 7100000;
constexpr double kCarrierOffsetHz = 6000.0; // of the I/Q source's AM station

class PlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
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

    // 300 s of a 1 kHz tone at 8 kHz, one channel.
    QString Mono()
    {
        const riff::Bytes data = riff::Gen16(8000u * 300, [](size_t i) {
            return static_cast<int16_t>(std::lround(16000 * std::cos(2 * M_PI * 1000.0 * i / 8000)));
        });
        return Write("mono.wav", riff::WaveFile(riff::WaveShape(1, 8000, 16), data));
    }
    // 4 s of I/Q at 48 kHz tuned to 7.1 MHz: an AM station 6 kHz above, 1 kHz at depth 0.5.
    QString Iq()
    {
        riff::WaveShape shape(2, 48000, 16);
        shape.auxi = riff::AuxiPayload(SYSTEMTIME{2024, 5, 3, 1, 10, 0, 0, 0}, SYSTEMTIME{2024, 5, 3, 1, 10, 0, 4, 0},
                                       {kCentreHz});
        const riff::Bytes data = riff::IqSignal16(48000, 4.0, [](double t) {
            return std::polar(0.3 * (1.0 + 0.5 * std::cos(2 * M_PI * 1000.0 * t)), 2 * M_PI * kCarrierOffsetHz * t);
        });
        return Write("iq.wav", riff::WaveFile(shape, data));
    }
    QString Write(const char* name, const riff::Bytes& bytes)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(riff::WriteFile(path.toStdString(), bytes));
        return path;
    }

    // The view shown and active, playing on a recording sink.
    void Show(const QString& path, CRecordingSink::Clock clock, std::string sinkError = {})
    {
        m_view.reset(); // it closes the document's source
        m_doc->m_strSrcPath = path;
        m_view = std::make_unique<CTavirelView>(m_doc.get());
        m_view->resize(m_view->GetDesignSize());
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->OnInitialUpdate();
        m_view->GetLayoutWindow()->repaint();
        QApplication::setActiveWindow(m_view.get());
        m_view->SetAudioSinks(
            [log = m_log, clock, sinkError] { return std::make_unique<CRecordingSink>(log, clock, sinkError); });
        WaitRender();
    }
    void WaitRender()
    {
        while (m_view->IsRenderPending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QRect Picture() const { return m_view->m_pPlot->m_rcPlot; }
    void Point(int column, int row = -1)
    {
        const QRect rc = Picture();
        const QPoint at = rc.topLeft() + QPoint(column, row < 0 ? rc.height() / 2 : row);
        QTest::mouseMove(m_view->GetLayoutWindow(), at + QPoint(1, 1)); // a move to where the pointer is is none
        QTest::mouseMove(m_view->GetLayoutWindow(), at);
    }
    void Key(Qt::KeyboardModifiers mods = {})
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : m_view.get();
        QTest::keyClick(target, Qt::Key_Space, mods);
    }
    // Lets the manual sink play up to deviceFrames, a buffer at a time.
    void PlayTo(int64_t deviceFrames)
    {
        while (m_log->nManualPlayed < deviceFrames) {
            const int64_t next = std::min<int64_t>(m_log->nManualPlayed + 4800, deviceFrames);
            ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<int64_t>(m_log->Frames().size()) >= next; }, kWaitMs));
            m_log->nManualPlayed = next;
        }
        QTest::qWait(40); // a tick of the player's thread and one of the window
    }
    // The colour of a pixel of the form as drawn now.
    QRgb Pixel(QPoint at) const { return m_view->GetLayoutWindow()->grab().toImage().pixel(at) & 0xFFFFFF; }

    QTemporaryDir m_dir;
    std::unique_ptr<CSettingsStore> m_store;
    std::unique_ptr<CTavirelDoc> m_doc;
    std::unique_ptr<CTavirelView> m_view;
    CScriptedDialogs m_dialogs;
    std::shared_ptr<SinkLog> m_log = std::make_shared<SinkLog>();
};

TEST_F(PlayTest, SpacePlaysFromThePointerOrTheWindowAndStops)
{
    const struct {
        const char* what;
        int column; // of the pointer over the picture; -1: elsewhere
        bool loop;  // Shift+Space
        bool focusOnExit;
        int selection; // columns selected from column 20 on; 0: none
    } rows[] = {
        {"Space, pointer elsewhere: from the window's start", -1, false, false, 0},
        {"Space, pointer over the picture: from its column", 50, false, false, 0},
        {"Space with the focus on Exit: plays, the window stays", 50, false, true, 0},
        {"Shift+Space: from the pointer to the window's end, again and again", -3, true, false, 0},
        {"Space with a selection: its start, wherever the pointer", 50, false, false, 10},
        {"Shift+Space with a selection: the selection, again and again", 50, true, false, 3},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        m_log = std::make_shared<SinkLog>();
        Show(Mono(), CRecordingSink::Clock::Manual);
        m_view->ScrollTo(100);
        WaitRender();
        const int column = r.column < 0 && r.loop ? Picture().width() + r.column : r.column;
        if (column >= 0)
            Point(column);
        if (r.focusOnExit)
            m_view->Control(IDC_EXIT)->setFocus();
        const int64_t start = m_doc->ViewStartFrame();
        int64_t from = column >= 0 ? start + int64_t{column} * 2048 : start;
        int64_t to = start + int64_t{Picture().width()} * 2048; // of a loop
        if (r.selection > 0) {
            from = start + 20 * 2048;
            to = from + int64_t{r.selection} * 2048;
            m_view->SetMarks(from, to);
        }
        Key(r.loop ? Qt::ShiftModifier : Qt::NoModifier);
        ASSERT_TRUE(m_view->IsPlaying());
        EXPECT_TRUE(m_view->isVisible());
        EXPECT_EQ(m_view->PlayingFrame(), from);
        if (r.loop) { // past the pass's end the line is back in the pass
            const int64_t pass = (to - from) * 6;
            PlayTo(pass + 4800);
            EXPECT_EQ(m_view->PlayingFrame(), from + 800);
        }
        Key(); // stops at once: the line goes, the device is closed
        EXPECT_FALSE(m_view->IsPlaying());
        EXPECT_EQ(m_view->PlayingFrame(), -1);
        EXPECT_EQ(m_log->nClosed, 1);
        m_view->m_wndPosBar.repaint();
        EXPECT_EQ(m_view->m_wndPosBar.m_nPlayPx, -1);
        EXPECT_TRUE(m_dialogs.Errors().isEmpty());
    }
}

TEST_F(PlayTest, TellsWhyNothingPlays)
{
    const struct {
        const char* what;
        bool iq;
        std::string sinkError;
        int row; // of the pointer; -1: elsewhere
        QString status, error;
    } rows[] = {
        {"no device: the status line says so, nothing else", false, kNoAudioDevice, -1,
         QStringLiteral("No audio output device"), QString()},
        {"a band reaching outside the spectrum: a message",
         true,
         {},
         0,
         QString(),
         QStringLiteral("The band cannot be played: the band ")},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Show(r.iq ? Iq() : Mono(), CRecordingSink::Clock::Instant, r.sinkError);
        if (r.row >= 0)
            Point(10, r.row);
        const QImage picture = m_view->m_pPlot->m_bitmap;
        for (int press = 0; press < 2; ++press) { // the second press tells the same once more
            Key();
            QTest::qWait(100);
            QCoreApplication::sendPostedEvents();
            EXPECT_FALSE(m_view->IsPlaying());
        }
        const QString shown = m_view->m_wndStatus->text();
        EXPECT_EQ(shown == QStringLiteral("No audio output device"), !r.status.isEmpty()) << shown.toStdString();
        const QStringList errors = m_dialogs.Errors();
        EXPECT_EQ(errors.size(), r.error.isEmpty() ? 0 : 2);
        for (const QString& e : errors)
            EXPECT_TRUE(e.startsWith(r.error) && e.contains(QStringLiteral("reaches outside the source's spectrum")))
                << e.toStdString();
        EXPECT_EQ(m_view->m_pPlot->m_bitmap, picture);
        EXPECT_TRUE(m_log->Frames().empty());
        m_dialogs.m_asked.clear();
    }
}

TEST_F(PlayTest, ThePlayingLineMovesAndTheWindowFollowsIt)
{
    for (const bool follow : {true, false}) {
        SCOPED_TRACE(follow ? "following" : "staying");
        m_log = std::make_shared<SinkLog>();
        Show(Mono(), CRecordingSink::Clock::Manual);
        m_view->SetFollowPlay(follow);
        const int last = Picture().width() - 2;
        Point(last - 3);
        Key();
        const int64_t from = m_doc->ViewStartFrame() + int64_t{last - 3} * 2048;
        int barPx = -1;
        const struct {
            int64_t played; // device frames at 48 kHz: six per source frame
            int column;     // of the line on the picture
        } steps[] = {{0, last - 3}, {6 * 2048, last - 2}, {6 * 3 * 2048, last}};
        for (const auto& s : steps) {
            PlayTo(s.played);
            EXPECT_EQ(m_view->PlayingFrame(), from + s.played / 6);
            EXPECT_EQ(Pixel(Picture().topLeft() + QPoint(s.column, 10)), 0xFFFFFFu) << s.column;
            m_view->m_wndPosBar.repaint();
            EXPECT_GE(m_view->m_wndPosBar.m_nPlayPx, barPx); // the bar's line moves on with it
            barPx = m_view->m_wndPosBar.m_nPlayPx;
        }
        const int64_t start = m_doc->ViewStartFrame();
        PlayTo(6 * 6 * 2048); // past the picture's end
        WaitRender();
        const int64_t now = m_doc->ViewStartFrame(), line = m_view->PlayingFrame();
        if (follow) // the window moved on to the line
            EXPECT_TRUE(now > start && line >= now && line < now + int64_t{Picture().width()} * 2048) << now;
        else
            EXPECT_EQ(now, start);
        EXPECT_TRUE(m_view->IsPlaying());
        m_view->StopPlaying();
    }
}

TEST_F(PlayTest, IqIsHeardInTheSelectionsBandOrAroundThePointersFrequency)
{
    const double carrier = kCentreHz + kCarrierOffsetHz;
    const struct {
        const char* what;
        bool selection; // from 1 s to 3 s in carrier +- 4 kHz
        double seconds; // heard
        double width;   // of the band outlined
    } rows[] = {
        {"the pointer on the station's row: the mode's band around it", false, 4.0 - 30 * 2048 / 48000.0, 10000.0},
        {"a selection: its span and band", true, 2.0, 8000.0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        m_log = std::make_shared<SinkLog>();
        Show(Iq(), CRecordingSink::Clock::Instant);
        m_view->SetDemodMode(DEMOD_AM);
        int row = 0; // the row of the station's carrier
        for (int y = 0; y < Picture().height(); ++y)
            if (std::fabs(m_view->FrequencyAtY(Picture().top() + y) - carrier) <
                std::fabs(m_view->FrequencyAtY(Picture().top() + row) - carrier))
                row = y;
        Point(30, row);
        if (r.selection) {
            m_view->SetMarks(48000, 3 * 48000);
            m_doc->m_selBand = SegmentBand{carrier - 4000.0, carrier + 4000.0};
        }
        PlayBand band;
        ASSERT_TRUE(m_view->OutlinedBand(&band));
        EXPECT_NEAR(band.dCarrierHz, carrier, 48000.0 / 2048 * 20);
        EXPECT_DOUBLE_EQ(band.dHighHz - band.dLowHz, r.width);
        if (!r.selection) { // the outline: dashes above and below the carrier's row, nothing on it
            const QImage shot = m_view->GetLayoutWindow()->grab().toImage();
            int outlined = 0;
            for (int y = 0; y < Picture().height(); ++y)
                for (int x = 40; x < 60; ++x)
                    outlined += (shot.pixel(Picture().topLeft() + QPoint(x, y)) & 0xFFFFFF) == 0xFFFF00u;
            EXPECT_GT(outlined, 10);
            EXPECT_NE(shot.pixel(Picture().topLeft() + QPoint(45, row)) & 0xFFFFFF, 0xFFFF00u);
        }
        Key();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_view->IsPlaying(); }, kWaitMs));
        const std::vector<float> y = m_log->Frames();
        EXPECT_NEAR(static_cast<double>(y.size()), r.seconds * 48000, 480.0);
        const tone::Fit fit = tone::FitTone(y, 1000.0, 48000.0, y.size() / 4, y.size() / 2);
        EXPECT_NEAR(tone::Db(fit.amplitude / (0.5 * 0.3)), 0.0, 0.2);
        EXPECT_GE(tone::SinadDb(fit), 40.0);
    }
}

} // namespace
