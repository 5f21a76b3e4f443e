#include "display/PictureAxes.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "doc/TavirelDoc.h"

namespace {

constexpr int kTickPx = 4;      // length of a tick mark
constexpr int kLabelGapPx = 2;  // between a tick mark and its label
constexpr int kTimeGapPx = 12;  // least room between two time labels
constexpr int kBarGapPx = 6;    // between the picture and the legend's colour bar
constexpr int kBarWidthPx = 10; // the legend's colour bar
constexpr double kDayS = 86400.0;

// Time steps in seconds: 1-2-5 within each unit a clock reads, 1 ms to 1 h,
// then hours for the longest recordings.
constexpr double kTimeSteps[] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1,  0.2,  0.5,   1,     2,     5,     10,
                                 20,    60,    120,   300,  600,  1200, 3600, 7200, 18000, 36000, 72000, 180000};

// Decimals that a step in units of `unit` needs.
int DecimalsFor(double step, double unit)
{
    const double d = std::log10(unit / step);
    return d > 0 ? static_cast<int>(std::ceil(d - 1e-9)) : 0;
}

// Whole milliseconds as "HH:MM:SS" (of the day) with decimals digits of the seconds.
QString ClockText(int64_t ms, int decimals)
{
    ms %= static_cast<int64_t>(kDayS) * 1000;
    QString text = QString::asprintf("%02d:%02d:%02d", static_cast<int>(ms / 3600000),
                                     static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60));
    if (decimals > 0)
        text += QString::asprintf(".%03d", static_cast<int>(ms % 1000)).left(1 + decimals);
    return text;
}

QString TimeLabel(const PictureAxesModel& m, double t, double step)
{
    const int64_t ms = std::llround(t * 1000.0);
    const int decimals = DecimalsFor(step, 1.0);
    if (m.wallClock)
        return ClockText(ms, decimals);
    return QString::asprintf("%.*f s", decimals, static_cast<double>(ms) / 1000.0);
}

// The multiples k * step within [lo, hi].
std::vector<double> Multiples(double lo, double hi, double step, size_t most)
{
    std::vector<double> values;
    const double first = std::ceil(lo / step - 1e-9);
    for (double k = first; k * step <= hi + step * 1e-9 && values.size() < most; ++k)
        values.push_back(k * step);
    return values;
}

// The frequency of display bin i, Hz.
double BinHz(const PictureAxesModel& m, double i)
{
    const double binHz = m.sampleRate / m.fftSize;
    return m.twoChannel ? m.centreHz + (i - (m.fftSize / 2 - 1)) * binHz : i * binHz;
}

double UnitHz(const PictureAxesModel& m)
{
    const double largest = std::max(std::fabs(BinHz(m, 0)), std::fabs(BinHz(m, m.bins - 1)));
    return largest >= 1e6 ? 1e6 : largest >= 1e3 ? 1e3 : 1.0;
}

} // namespace

PictureAxesModel AxesModelOf(const CTavirelDoc& doc, int64_t startFrame, int zoom, QSize picture)
{
    PictureAxesModel m;
    m.startFrame = startFrame;
    m.framesPerColumn = int64_t{std::max(zoom, 1)} * doc.m_nFftSize;
    // Seconds as the source's time base counts them, as the readout and the labels do.
    m.framesPerSecond = doc.m_timeBase.FramesPerSecond();
    m.columns = picture.width();
    m.wallClock = doc.m_stStart.wYear > 2000;
    m.startSecondOfDay = doc.m_stStart.wHour * 3600.0 + doc.m_stStart.wMinute * 60.0 + doc.m_stStart.wSecond;
    m.rows = picture.height();
    m.bins = std::max(doc.m_nDisplayBins, 1);
    m.fftSize = doc.m_nFftSize;
    m.twoChannel = doc.m_bTwoChannel != 0;
    m.sampleRate = std::max<double>(doc.m_wfSource.nSamplesPerSec, 1.0);
    m.centreHz = m.twoChannel ? doc.m_auxi.dwCenterFreq : 0.0;
    m.refDb = doc.m_nRefLevel;
    m.bottomDb = doc.BottomLevelDb();
    for (size_t i = 0; i < 256; ++i) {
        const uint32_t c = doc.m_palette[i];
        m.colours[i] =
            qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
    }
    return m;
}

CPictureAxes::CPictureAxes(const QFont& font) : m_font(font), m_nTextHeightPx(QFontMetrics(font).height()) {}

double CPictureAxes::TimePx(const PictureAxesModel& m, double t)
{
    const double base = m.wallClock ? m.startSecondOfDay : 0.0;
    return ((t - base) * m.framesPerSecond - static_cast<double>(m.startFrame)) /
           static_cast<double>(m.framesPerColumn);
}

double CPictureAxes::FrequencyPx(const PictureAxesModel& m, double hz)
{
    const double binHz = m.sampleRate / m.fftSize;
    const double bin = m.twoChannel ? (hz - m.centreHz) / binHz + (m.fftSize / 2 - 1) : hz / binHz;
    return bin * m.rows / m.bins;
}

std::vector<AxisTick> CPictureAxes::TimeTicks(const PictureAxesModel& m) const
{
    const QFontMetrics metrics(m_font);
    const double base = m.wallClock ? m.startSecondOfDay : 0.0;
    const double t0 = base + static_cast<double>(m.startFrame) / m.framesPerSecond;
    const double t1 = t0 + static_cast<double>(m.columns) * static_cast<double>(m.framesPerColumn) / m.framesPerSecond;
    for (double step : kTimeSteps) {
        const double stepPx = step * m.framesPerSecond / static_cast<double>(m.framesPerColumn);
        // Labels of one step are nearly alike: one of them rules out a step too fine.
        if (stepPx < kTimeGapPx || stepPx < metrics.horizontalAdvance(TimeLabel(m, t0, step)) + kTimeGapPx)
            continue;
        std::vector<AxisTick> ticks;
        int widestPx = 0;
        for (double t : Multiples(t0, t1, step, static_cast<size_t>(m.columns) + 1)) {
            const double px = TimePx(m, t);
            if (px < 0 || px >= m.columns)
                continue;
            ticks.push_back({px, TimeLabel(m, t, step)});
            widestPx = std::max(widestPx, metrics.horizontalAdvance(ticks.back().label));
        }
        if (stepPx >= widestPx + kTimeGapPx || step == std::end(kTimeSteps)[-1])
            return ticks;
    }
    return {};
}

QString CPictureAxes::FrequencyUnit(const PictureAxesModel& m) const
{
    const double unit = UnitHz(m);
    return unit == 1e6 ? QStringLiteral("MHz") : unit == 1e3 ? QStringLiteral("kHz") : QStringLiteral("Hz");
}

std::vector<AxisTick> CPictureAxes::FrequencyTicks(const PictureAxesModel& m) const
{
    if (m.rows <= 0)
        return {};
    const double top = BinHz(m, 0), bottom = BinHz(m, m.bins - 1);
    const double unit = UnitHz(m);
    const QString unitText = QLatin1Char(' ') + FrequencyUnit(m);
    // Offsets from the centre carry their sign.
    const bool signedOffsets = m.twoChannel && m.centreHz == 0.0;
    for (double step = 1.0; step <= 1e10; step *= 10) {
        for (double mult : {1.0, 2.0, 5.0}) {
            const double s = step * mult;
            if (s * m.rows / (m.bins * m.sampleRate / m.fftSize) < m_nTextHeightPx + 4)
                continue;
            const int decimals = DecimalsFor(s, unit);
            std::vector<AxisTick> ticks;
            for (double hz : Multiples(top, bottom, s, static_cast<size_t>(m.rows) + 1)) {
                const double value = std::fabs(hz) < s / 2 ? 0.0 : hz / unit;
                const char* format = signedOffsets && value > 0 ? "+%.*f" : "%.*f";
                ticks.push_back({FrequencyPx(m, hz), QString::asprintf(format, decimals, value) + unitText});
            }
            return ticks;
        }
    }
    return {};
}

std::vector<AxisTick> CPictureAxes::LevelTicks(const PictureAxesModel& m) const
{
    const double span = m.refDb - m.bottomDb;
    if (m.rows <= 0 || !(span > 0))
        return {};
    for (double step : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0}) {
        if (step * m.rows / span < m_nTextHeightPx + 2 && step < 100.0)
            continue;
        std::vector<AxisTick> ticks;
        for (double db : Multiples(m.bottomDb, m.refDb, step, 1000))
            ticks.push_back({(m.refDb - db) / span * m.rows, QString::asprintf("%.0f dB", db)});
        return ticks;
    }
    return {};
}

QMargins CPictureAxes::Margins(const PictureAxesModel& m) const
{
    const QFontMetrics metrics(m_font);
    int freqPx = 0;
    for (const AxisTick& t : FrequencyTicks(m))
        freqPx = std::max(freqPx, metrics.horizontalAdvance(t.label));
    int levelPx = metrics.horizontalAdvance(QStringLiteral("-160 dB"));
    for (const AxisTick& t : LevelTicks(m))
        levelPx = std::max(levelPx, metrics.horizontalAdvance(t.label));
    const int left = freqPx + kTickPx + kLabelGapPx + 2;
    const int right = kBarGapPx + kBarWidthPx + kTickPx + kLabelGapPx + levelPx + 2;
    return QMargins(left, m_nTextHeightPx / 2 + 1, right, kTickPx + kLabelGapPx + m_nTextHeightPx);
}

void CPictureAxes::Draw(QPainter& painter, const QRect& picture, const PictureAxesModel& m, const QColor& text) const
{
    const QRect whole = picture.marginsAdded(Margins(m));
    painter.save();
    painter.setFont(m_font);
    painter.setPen(text);
    const QFontMetrics metrics(m_font);
    const int h = m_nTextHeightPx;
    // Time, below the picture; a label that would leave the whole area is left out.
    for (const AxisTick& t : TimeTicks(m)) {
        const int x = picture.left() + PixelAt(t.px);
        painter.drawLine(x, picture.bottom() + 1, x, picture.bottom() + kTickPx);
        const int w = metrics.horizontalAdvance(t.label);
        const QRect box(x - w / 2, picture.bottom() + 1 + kTickPx + kLabelGapPx, w, h);
        if (whole.contains(box))
            painter.drawText(box, Qt::AlignCenter, t.label);
    }
    // Frequency, on the left; no label reaches below the picture, where the time labels are.
    for (const AxisTick& t : FrequencyTicks(m)) {
        const int y = picture.top() + PixelAt(t.px);
        painter.drawLine(picture.left() - kTickPx, y, picture.left() - 1, y);
        const QRect box(whole.left(), y - h / 2, picture.left() - kTickPx - kLabelGapPx - whole.left(), h);
        if (box.top() >= whole.top() && box.bottom() <= picture.bottom())
            painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, t.label);
    }
    // The legend: the colours from the reference level (top) to the bottom level.
    const QRect bar(picture.right() + 1 + kBarGapPx, picture.top(), kBarWidthPx, picture.height());
    QImage strip(1, 256, QImage::Format_RGB32);
    for (int e = 0; e < 256; ++e)
        strip.setPixel(0, 255 - e, m.colours[static_cast<size_t>(e)]);
    painter.drawImage(bar, strip);
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    for (const AxisTick& t : LevelTicks(m)) {
        const int y = picture.top() + std::min(PixelAt(t.px), picture.height() - 1);
        painter.drawLine(bar.right() + 1, y, bar.right() + kTickPx, y);
        const QRect box(bar.right() + 1 + kTickPx + kLabelGapPx, y - h / 2,
                        whole.right() - bar.right() - kTickPx - kLabelGapPx, h);
        if (box.top() >= whole.top() && box.bottom() <= whole.bottom())
            painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, t.label);
    }
    painter.restore();
}

QImage CPictureAxes::Compose(const QImage& picture, const PictureAxesModel& m, const QColor& background,
                             const QColor& text) const
{
    const QMargins margins = Margins(m);
    QImage image(picture.size().grownBy(margins), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(background);
    QPainter painter(&image);
    const QRect at(QPoint(margins.left(), margins.top()), picture.size());
    painter.drawImage(at.topLeft(), picture);
    Draw(painter, at, m, text);
    return image;
}

QSize CPictureAxes::PictureSizeWithin(QSize outer, PictureAxesModel m) const
{
    // The margins hardly depend on the picture's size (the frequency labels'
    // decimals follow its height): two rounds settle them.
    QSize size = outer;
    for (int round = 0; round < 2; ++round) {
        m.columns = std::max(size.width(), 1);
        m.rows = std::max(size.height(), 1);
        size = outer.shrunkBy(Margins(m));
    }
    return size.isValid() && !size.isEmpty() ? size : QSize();
}
