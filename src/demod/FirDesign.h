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
// The windowed ideal low-pass: a Kaiser window of half-width halfWidth
// samples over the ideal response with the given cutoff (cycles per sample),
// unity gain at 0 Hz over whole-sample offsets; 0 at and beyond the
// half-width.
class CLowPassKernel {
public:
    CLowPassKernel(double cutoff, double halfWidth, double beta);
    // The kernel at offset t samples from its centre.
    double operator()(double t) const;

private:
    double m_dCutoff, m_dHalfWidth, m_dBeta;
    double m_dWindowScale; // 1 / I0(beta)
};

// The side taps of a half-band low-pass (cutoff a quarter of the rate) that
// keeps 0 .. passEdge flat and stops rate/2 - passEdge .. rate/2 by
// attenuationDb: side[k] multiplies the inputs 2k + 1 before and after the
// centre, whose tap is 1/2. The taps sum to unity gain at 0 Hz.
std::vector<float> HalfBandSideTaps(double passEdge, double attenuationDb);

} // namespace fir
