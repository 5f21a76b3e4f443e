// Listening in the window, on the recording sink: Space and Shift+Space
// on the selection, from the pointer or the window's start, the stop, the
// refusals (no device: the status line only), the playing line on the
// picture and the bar, the window following it, and an I/Q source heard in
// the selection's band or around the pointer's frequency, outlined.
#include "form/FormFixture.h"
#include "support/RecordingSink.h"
#include "support/ToneFit.h"

namespace {

using namespace form_test;

constexpr int kWaitMs = 20000;
constexpr uint32_t kIqCentreHz = 7100000;
constexpr double kCarrierOffsetHz = 6000.0; // of the I/Q source's AM station

class PlayTest : public FormTest {
protected:
    // 300 s of a 1 kHz tone at 8 kHz, one channel.
    QString Mono() { return ToneSource("mono.wav", 1, 8000, 300, 1000.0, 0); }
    // 4 s of I/Q at 48 kHz tuned to 7.1 MHz: an AM station 6 kHz above, 1 kHz at depth 0.5.
    QString Iq()
    {
        riff::WaveShape shape(2, 48000, 16);
        shape.auxi = riff::AuxiPayload(SYSTEMTIME{2024, 5, 3, 1, 10, 0, 0, 0}, SYSTEMTIME{2024, 5, 3, 1, 10, 0, 4, 0},
                                       {kIqCentreHz});
        return Write("iq.wav", riff::WaveFile(shape, riff::IqSignal16(48000, 4.0, [](double t) {
                                                  return std::polar(0.3 * (1.0 + 0.5 * std::cos(2 * M_PI * 1000.0 * t)),
                                                                    2 * M_PI * kCarrierOffsetHz * t);
                                              })));
    }
    // The form shown, playing on a recording sink.
    void Show(const QString& path, CRecordingSink::Clock clock, std::string sinkError = {})
    {
        FormTest::Show(path);
        m_view->SetAudioSinks(
            [log = m_log, clock, sinkError] { return std::make_unique<CRecordingSink>(log, clock, sinkError); });
        WaitRender();
    }
    // Space to the widget with the focus, as the keyboard sends it.
    void Space(Qt::KeyboardModifiers mods = {})
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
    // Whether the window's playing line comes to `frame` (its timer may lag on a loaded machine).
    bool LineAt(int64_t frame) const
    {
        return QTest::qWaitFor([&] { return m_view->PlayingFrame() == frame; }, kWaitMs);
    }
    // The colour of a pixel of the picture in a shot of the form (as drawn now when not given).
    QRgb Pixel(int x, int y, const QImage& shot = {}) const
    {
        return (shot.isNull() ? Form()->grab().toImage() : shot).pixel(Plot().topLeft() + QPoint(x, y)) & 0xFFFFFF;
    }

    std::shared_ptr<SinkLog> m_log = std::make_shared<SinkLog>();
};

TEST_F(PlayTest, SpacePlaysFromThePointerOrTheWindowAndStops)
{
    const struct {
        const char* what;
        int column; // of the pointer over the picture; -1: elsewhere; negative with Shift: from the right edge
        bool loop;  // Shift+Space
        bool focusOnExit;
        int selection; // columns selected from column 20 on; 0: none
    } rows[] = {
        {"Space, pointer elsewhere: from the window's start", -1, false, false, 0},
        {"Space with the focus on Exit: from the pointer's column, the window stays", 50, false, true, 0},
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
        const int column = r.column < 0 && r.loop ? Plot().width() + r.column : r.column;
        if (column >= 0)
            Hover(At(column));
        if (r.focusOnExit)
            m_view->Control(IDC_EXIT)->setFocus();
        const int64_t start = m_doc->ViewStartFrame();
        int64_t from = column >= 0 ? start + column * C : start;
        int64_t to = start + Plot().width() * C; // of a loop
        if (r.selection > 0) {
            from = start + 20 * C;
            to = from + r.selection * C;
            m_view->SetMarks(from, to);
        }
        Space(r.loop ? Qt::ShiftModifier : Qt::NoModifier);
        ASSERT_TRUE(m_view->IsPlaying());
        EXPECT_TRUE(m_view->isVisible());
        EXPECT_EQ(m_view->PlayingFrame(), from);
        if (r.loop) { // past the pass's end the line is back in the pass
            PlayTo((to - from) * 6 + 4800);
            EXPECT_TRUE(LineAt(from + 800)) << m_view->PlayingFrame();
        }
        Space(); // stops at once: the line goes, the device is closed
        Bar().repaint();
        EXPECT_EQ(std::tuple(m_view->IsPlaying(), m_view->PlayingFrame(), m_log->nClosed, Bar().m_nPlayPx),
                  std::tuple(false, int64_t{-1}, 1, -1));
        EXPECT_TRUE(Errors().isEmpty());
    }
}

// The form's side of a refusal: no device is told on the status line only, a band outside the spectrum
// in a message, at each press; nothing is heard and the picture stays.
TEST_F(PlayTest, TellsWhyNothingPlays)
{
    const struct {
        const char* what;
        bool iq;
        std::string sinkError;
        bool bStatus, bError;
    } rows[] = {
        {"no device: the status line says so, nothing else", false, kNoAudioDevice, true, false},
        {"a band reaching outside the spectrum: a message", true, {}, false, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Show(r.iq ? Iq() : Mono(), CRecordingSink::Clock::Instant, r.sinkError);
        if (r.iq)
            Hover(At(10, 0)); // the top row: the band around it reaches past the spectrum's edge
        const QImage picture = Picture();
        for (int press = 0; press < 2; ++press) {
            Space();
            QTest::qWait(100);
            EXPECT_FALSE(m_view->IsPlaying());
        }
        EXPECT_EQ(m_view->m_wndStatus->text() == QStringLiteral("No audio output device"), r.bStatus);
        EXPECT_THAT(Errors(),
                    testing::AllOf(testing::SizeIs(r.bError ? 2 : 0),
                                   testing::Each(testing::AllOf(Begins("The band cannot be played: the band "),
                                                                Has("reaches outside the source's spectrum")))));
        EXPECT_EQ(Picture(), picture);
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
        const int last = Plot().width() - 2;
        Hover(At(last - 3));
        Space();
        const int64_t from = m_doc->ViewStartFrame() + (last - 3) * C;
        int barPx = -1;
        const struct {
            int64_t played; // device frames at 48 kHz: six per source frame
            int column;     // of the line on the picture
        } steps[] = {{0, last - 3}, {6 * C, last - 2}, {6 * 3 * C, last}};
        for (const auto& s : steps) {
            PlayTo(s.played);
            EXPECT_TRUE(LineAt(from + s.played / 6)) << m_view->PlayingFrame();
            EXPECT_EQ(Pixel(s.column, 10), 0xFFFFFFu) << s.column;
            Bar().repaint();
            EXPECT_GE(Bar().m_nPlayPx, barPx); // the bar's line moves on with it
            barPx = Bar().m_nPlayPx;
        }
        const int64_t start = m_doc->ViewStartFrame();
        PlayTo(6 * 6 * C); // past the picture's end
        WaitRender();
        const int64_t now = m_doc->ViewStartFrame(), line = m_view->PlayingFrame();
        if (follow) // the window moved on to the line
            EXPECT_TRUE(now > start && line >= now && line < now + Plot().width() * C) << now;
        else
            EXPECT_EQ(now, start);
        EXPECT_TRUE(m_view->IsPlaying());
        m_view->StopPlaying();
    }
}

TEST_F(PlayTest, IqIsHeardInTheSelectionsBandOrAroundThePointersFrequency)
{
    const double carrier = kIqCentreHz + kCarrierOffsetHz;
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
        for (int y = 0; y < Plot().height(); ++y)
            if (std::fabs(m_view->FrequencyAtY(Plot().top() + y) - carrier) <
                std::fabs(m_view->FrequencyAtY(Plot().top() + row) - carrier))
                row = y;
        Hover(At(30, row));
        if (r.selection) {
            m_view->SetMarks(48000, 3 * 48000);
            m_doc->m_selBand = SegmentBand{carrier - 4000.0, carrier + 4000.0};
        }
        PlayBand band;
        ASSERT_TRUE(m_view->OutlinedBand(&band));
        EXPECT_NEAR(band.dCarrierHz, carrier, 48000.0 / 2048 * 20);
        EXPECT_DOUBLE_EQ(band.dHighHz - band.dLowHz, r.width);
        if (!r.selection) { // the outline: dashes above and below the carrier's row, nothing on it
            const QImage shot = Form()->grab().toImage();
            int outlined = 0;
            for (int y = 0; y < Plot().height(); ++y)
                for (int x = 40; x < 60; ++x)
                    outlined += Pixel(x, y, shot) == 0xFFFF00u;
            EXPECT_GT(outlined, 10);
            EXPECT_NE(Pixel(45, row, shot), 0xFFFF00u);
        }
        Space();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_view->IsPlaying(); }, kWaitMs));
        const std::vector<float> y = m_log->Frames();
        EXPECT_NEAR(static_cast<double>(y.size()), r.seconds * 48000, 480.0);
        const tone::Fit fit = tone::FitTone(y, 1000.0, 48000.0, y.size() / 4, y.size() / 2);
        EXPECT_NEAR(tone::Db(fit.amplitude / (0.5 * 0.3)), 0.0, 0.2);
        EXPECT_GE(tone::SinadDb(fit), 40.0);
    }
}

} // namespace
