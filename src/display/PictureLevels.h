// Measurements of what a picture shows: the levels Auto Levels fits the
// colour scale to, and the mean power of a frequency and time rectangle (a
// selection). Both read the source again, with their own readers and
// engines, and leave the plot and the document alone.
#pragma once

#include <cstdint>

#include "display/PlotRender.h"

struct PictureLevels {
    bool measured = false;     // some pixel was drawn
    double strongestDb = 0.0;  // the strongest level shown
    double noiseFloorDb = 0.0; // the median level of the pixels drawn
};

// The levels of the picture setup describes (setup.bits, pixels, refLevel
// and bottomLevel are not used): it is rendered again on a scale from the
// floor to kMeasureTopDb, to (kMeasureTopDb - floor) / 255 dB. The median
// is the noise floor wherever signals take less than half of the picture.
inline constexpr double kMeasureTopDb = 40.0;
PictureLevels MeasurePictureLevels(PlotRenderSetup setup, int workers);

// The mean power in dB against full scale of display bins firstBin ..
// lastBin over the transforms of setup.fftSize frames that start at
// firstFrame, firstFrame + fftSize, ... and cover `frames` frames (at least
// one transform), with the setup's source, channels and window, as the
// picture computes them (DC patched for I/Q). The mean is taken of the
// powers, not of their levels. A span of more than maxTransforms transforms
// is measured on that many, spread evenly over it (the first at firstFrame),
// so that a long selection costs no more than a short one. NaN when no
// transform could be read or the bins are out of range.
double MeanPowerDb(const PlotRenderSetup& setup, int64_t firstFrame, int64_t frames, int firstBin, int lastBin,
                   int64_t maxTransforms = INT64_MAX);
