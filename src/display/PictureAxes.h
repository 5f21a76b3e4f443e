// The scales drawn around a spectrogram picture, outside its pixels: the time
// axis below it (the recording's time of day, or seconds from the start of
// the data without a recording time), the frequency axis on its left
// (absolute for I/Q with a centre frequency, offsets from the centre for I/Q
// without one, from 0 Hz for one channel) and the colour legend with its dB
// scale on its right. Ticks are 1-2-5 steps, as fine as their labels allow
// without overlapping; the units stand in the corners below the picture.
#pragma once

#include <QColor>
#include <QFont>
#include <QMargins>
#include <QRect>
#include <QRgb>
#include <QString>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "doc/PictureSettings.h"

class CTavirelDoc;
class QPainter;

// What the scales describe: one picture of a source.
struct PictureAxesModel {
    // Time: column c shows frames startFrame + c * framesPerColumn onwards.
    int64_t startFrame = 0;
    int64_t framesPerColumn = 1;
    double framesPerSecond = 1.0;
    int columns = 0;
    bool wallClock = false;        // labels are times of day
    double startSecondOfDay = 0.0; // the time of day of the data's first frame, with wallClock
    // Frequency: display bin i is drawn on row i * rows / bins.
    int rows = 0;
    int bins = 1;
    int fftSize = kPictureFftDefaultSize;
    bool twoChannel = false;
    double sampleRate = 1.0;
    double centreHz = 0.0; // I/Q: the receiver's centre frequency; 0 = none
    // Legend: colour 255 is the reference level, colour 0 the bottom level.
    double refDb = 0.0;
    double bottomDb = -160.0;
    std::array<QRgb, 256> colours{};
};

// The model of a picture of the document's source with the document's choices.
PictureAxesModel AxesModelOf(const CTavirelDoc& doc, int64_t startFrame, int zoom, QSize picture);

// A tick: where it stands along its axis in pixels from the picture's left
// or top edge (fractional; the column or row it marks is its floor), and its label.
struct AxisTick {
    double px;
    QString label;
};

class CPictureAxes {
public:
    explicit CPictureAxes(const QFont& font);

    // The room the scales take around a picture of the model.
    QMargins Margins(const PictureAxesModel& m) const;
    // Draws the scales around the picture standing at picture (the area
    // around it must hold Margins), in the given text colour.
    void Draw(QPainter& painter, const QRect& picture, const PictureAxesModel& m, const QColor& text) const;

    // The picture with its scales around it on a background of its own: the
    // image Export Picture and tavirel-cli render --axes write.
    QImage Compose(const QImage& picture, const PictureAxesModel& m, const QColor& background,
                   const QColor& text) const;
    // The picture size that, with its scales around it, fills outer (empty
    // when the scales alone take more room).
    QSize PictureSizeWithin(QSize outer, PictureAxesModel m) const;

    std::vector<AxisTick> TimeTicks(const PictureAxesModel& m) const;
    std::vector<AxisTick> FrequencyTicks(const PictureAxesModel& m) const;
    std::vector<AxisTick> LevelTicks(const PictureAxesModel& m) const;
    // The unit of the frequency labels: "MHz", "kHz" or "Hz".
    QString FrequencyUnit(const PictureAxesModel& m) const;

    // The pixel positions of a time (the label's value: seconds, or seconds
    // of the day) and of a frequency in Hz.
    static double TimePx(const PictureAxesModel& m, double t);
    static double FrequencyPx(const PictureAxesModel& m, double hz);
    // The column or row a position marks: its floor, a position a rounding
    // step short of a pixel's edge counting as that pixel.
    static int PixelAt(double px) { return static_cast<int>(std::floor(px + 1e-6)); }

private:
    QFont m_font;
    int m_nTextHeightPx;
};
