// The scales around the picture and Auto Levels' measurement, on generated
// recordings of known tones and noise.
#include <QFontMetrics>
#include <QGuiApplication>
#include <QRegularExpression>

#include <cmath>
#include <complex>
#include <random>

#include "display/DisplayFixture.h"
#include "display/PictureAxes.h"
#include "display/PictureLevels.h"

namespace {

class PictureTest : public DisplayTest {
protected:
    // A recording of `frames` frames: a tone of `hz` (I/Q: e^(+j 2 pi hz t)) at
    // `amplitude` from frame `from` on, silence before, plus Gaussian noise of
    // `noise` (both as fractions of full scale).
    void LoadTone(int channels, uint32_t rate, int64_t frames, double hz, int64_t from, double amplitude = 0.5,
                  double noise = 0.0, std::optional<riff::Bytes> auxi = {})
    {
        std::mt19937 rng(7);
        std::normal_distribution<double> gauss(0.0, noise * 32767.0);
        std::vector<int16_t> s;
        for (int64_t j = 0; j < frames; ++j) {
            const std::complex<double> z =
                j >= from ? amplitude * 32767.0 * std::polar(1.0, 2.0 * M_PI * hz * j / rate) : 0.0;
            s.push_back(static_cast<int16_t>(std::lround(z.real() + (noise > 0 ? gauss(rng) : 0.0))));
            if (channels == 2)
                s.push_back(static_cast<int16_t>(std::lround(z.imag() + (noise > 0 ? gauss(rng) : 0.0))));
        }
        const riff::WaveShape shape(static_cast<uint16_t>(channels), rate, 16, 1, std::move(auxi));
        Load(Write("s.wav", riff::WaveFile(shape, riff::Pcm16(s))));
    }
    bool Lit(int x, int y) const { return Pixel(x, y) != qRgb(0, 0, 0); }
};

// The value a label stands for: seconds (of the day for clock times, read as the next day's when
// earlier than the start, so a recording across midnight reads on) or Hz.
double LabelValue(const PictureAxesModel& m, const QString& label)
{
    const QRegularExpressionMatch clock = QRegularExpression("^(\\d\\d):(\\d\\d):(\\d\\d(\\.\\d+)?)$").match(label);
    if (clock.hasMatch()) {
        const double t =
            clock.captured(1).toInt() * 3600.0 + clock.captured(2).toInt() * 60.0 + clock.captured(3).toDouble();
        return t < m.startSecondOfDay ? t + 86400.0 : t;
    }
    const QStringList parts = label.split(' ');
    const double unit = parts.value(1) == "MHz" ? 1e6 : parts.value(1) == "kHz" ? 1e3 : 1.0;
    return parts.value(0).toDouble() * unit;
}

// Evenly spaced ticks, each at the place of its label's value, labels apart by at least their room.
void ExpectTicks(const std::vector<AxisTick>& ticks, double (*px)(const PictureAxesModel&, double),
                 const PictureAxesModel& m, int roomPx, const char* what)
{
    ASSERT_GE(ticks.size(), 2u) << what;
    for (size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_NEAR(px(m, LabelValue(m, ticks[i].label)), ticks[i].px, 1e-6) << what << " " << qPrintable(ticks[i].label);
        if (i > 0) {
            EXPECT_NEAR(ticks[i].px - ticks[i - 1].px, ticks[1].px - ticks[0].px, 1e-6) << what;
            EXPECT_GE(ticks[i].px - ticks[i - 1].px, roomPx) << what << " " << qPrintable(ticks[i].label);
        }
    }
}

} // namespace

// A tone switched on at a known frame lights the column and row its time and
// frequency are drawn at (each tone on the first bin of its row); the ticks stand where their labels say.
TEST_F(PictureTest, TicksMarkTheTimesAndFrequenciesOfKnownTones)
{
    SYSTEMTIME start{2003, 6, 6, 21, 9, 5, 0, 0}, stop = start;
    stop.wSecond = 2;
    const struct {
        int channels;
        uint32_t rate;
        int64_t frames;
        std::optional<riff::Bytes> auxi;
        int fft, zoom, width, height;
        double hz;
        int64_t from;
        int column, row; // where the tone shows first
        const char* unit;
    } rows[] = {
        // One channel timed from its file, Hz from 0: 1 kHz is bin 256 of 1024, on row 64 of 256.
        {1, 8000, 81920, {}, 2048, 1, 400, 256, 1000.0, 16384, 8, 64, "kHz"},
        // I/Q with a centre and a recording time: +3 kHz is display bin 143 of 256, on row 286 of 512.
        {2, 48000, 96000, riff::AuxiPayload(start, stop, {7050000}), 256, 4, 600, 512, 3000.0, 10240, 10, 286, "MHz"},
        // I/Q without a centre or any time: seconds and offsets; -6.07 kHz is display bin 3059 of 8192, the first on
        // row 112 of 300.
        {2, 48000, 48000 * 2, {}, 8192, 1, 300, 300, -1036 * 48000.0 / 8192, 5 * 8192, 5, 112, "kHz"},
    };
    const QFont font = QGuiApplication::font();
    const QFontMetrics metrics(font);
    const CPictureAxes axes(font);
    for (const auto& r : rows) {
        m_doc.SetFftSize(r.fft);
        m_doc.m_nZoom = r.zoom;
        m_doc.m_nRangeDb = 40; // the bottom colour (black) at -40 dB
        LoadTone(r.channels, r.rate, r.frames, r.hz, r.from, 0.5, 0.0, r.auxi);
        const QSize size(r.width, r.height);
        m_plot.Draw(QRect(QPoint(), size), nullptr);
        if (!r.auxi && r.channels == 2)
            m_doc.m_stStart = SYSTEMTIME{}; // no time at all: seconds from the start
        const PictureAxesModel m = AxesModelOf(m_doc, 0, r.zoom, size);
        EXPECT_EQ(m.wallClock, r.channels == 1 || r.auxi) << r.fft; // a file's own time counts, as in the labels
        const double centre = r.channels == 2 && r.auxi ? 7050000.0 : 0.0;
        const double t = (m.wallClock ? m.startSecondOfDay : 0) + static_cast<double>(r.from) / r.rate;
        EXPECT_EQ(CPictureAxes::PixelAt(CPictureAxes::TimePx(m, t)), r.column) << r.fft;
        EXPECT_EQ(CPictureAxes::PixelAt(CPictureAxes::FrequencyPx(m, centre + r.hz)), r.row) << r.fft;
        EXPECT_TRUE(Lit(r.column, r.row)) << r.fft;
        EXPECT_FALSE(Lit(r.column - 1, r.row)) << r.fft;
        EXPECT_FALSE(Lit(r.column, r.row - 4) || Lit(r.column, r.row + 4)) << r.fft;
        EXPECT_EQ(axes.FrequencyUnit(m), r.unit) << r.fft;

        const std::vector<AxisTick> times = axes.TimeTicks(m);
        int widest = 0;
        for (const AxisTick& tick : times)
            widest = std::max(widest, metrics.horizontalAdvance(tick.label));
        ExpectTicks(times, CPictureAxes::TimePx, m, widest, "time");
        ExpectTicks(axes.FrequencyTicks(m), CPictureAxes::FrequencyPx, m, metrics.height(), "frequency");
    }
}

// White noise of a known power per bin and a tone 30 dB below full scale:
// the strongest level is the tone's, the median the noise's (the median of a
// bin's power is ln 2 of its mean).
TEST_F(PictureTest, AutoLevelsMeasureAKnownNoiseFloor)
{
    const int n = 2048;
    const double sigma = 0.001;
    LoadTone(1, 8000, 40 * n, 1000.0, 0, std::pow(10.0, -30.0 / 20.0), sigma);
    m_plot.Draw(QRect(0, 0, 40, 200), nullptr);
    double windowPower = 0.0;
    for (int i = 0; i < n; ++i)
        windowPower += std::pow(0.5 - 0.5 * std::cos(2.0 * M_PI * i / (n - 1)), 2);
    const double sampleRms = sigma * 32767.0 * 65536.0;
    const double expected =
        10.0 * std::log10(sampleRms * sampleRms * windowPower * std::log(2.0)) - 20.0 * std::log10(n * 536870000.0);
    const PictureLevels levels = MeasurePictureLevels(m_plot.WindowSetup(QSize(40, 200), 1), 1);
    ASSERT_TRUE(levels.measured);
    EXPECT_NEAR(levels.strongestDb, -30.0, 1.0);
    EXPECT_NEAR(levels.noiseFloorDb, expected, 1.0);
    EXPECT_TRUE(std::isnan(MeanPowerDb(m_plot.WindowSetup(QSize(40, 200), 1), 0, n, n / 2, n / 2)))
        << "the mean power of a bin past the last";
}
