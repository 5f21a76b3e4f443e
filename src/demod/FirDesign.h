// Kaiser-window low-pass design, the one place where the demodulation
// filters get their taps. Frequencies are in cycles per sample of the rate
// the filter runs at (0 .. 0.5).
#pragma once

#include <vector>

namespace fir {

// The Kaiser window's shape parameter for a stopband attenuationDb down.
double KaiserBeta(double attenuationDb);
// Taps a Kaiser-window low-pass needs for attenuationDb with a transition
// band transitionWidth wide (cycles per sample).
int KaiserLength(double attenuationDb, double transitionWidth);
// The Kaiser window of half-width halfWidth (in samples) at offset t from its
// centre; 0 at and beyond the half-width.
double KaiserWindow(double t, double halfWidth, double beta);
// The windowed ideal low-pass with cutoff (cycles per sample) at offset t
// samples from its centre: unity gain at 0 Hz over whole-sample offsets.
double LowPassKernel(double t, double cutoff, double halfWidth, double beta);

// The side taps of a half-band low-pass (cutoff a quarter of the rate) that
// keeps 0 .. passEdge flat and stops rate/2 - passEdge .. rate/2 by
// attenuationDb: side[k] multiplies the inputs 2k + 1 before and after the
// centre, whose tap is 1/2. The taps sum to unity gain at 0 Hz.
std::vector<float> HalfBandSideTaps(double passEdge, double attenuationDb);

} // namespace fir
