#include "demod/FirDesign.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fir {

namespace {

// The zeroth-order modified Bessel function of the first kind, by its series.
double BesselI0(double x)
{
    double sum = 1.0, term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 200 && term > sum * 1e-17; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

} // namespace

double KaiserBeta(double attenuationDb)
{
    if (attenuationDb > 50.0)
        return 0.1102 * (attenuationDb - 8.7);
    if (attenuationDb >= 21.0)
        return 0.5842 * std::pow(attenuationDb - 21.0, 0.4) + 0.07886 * (attenuationDb - 21.0);
    return 0.0;
}

int KaiserLength(double attenuationDb, double transitionWidth)
{
    const double n = (attenuationDb - 7.95) / (2.285 * 2.0 * std::numbers::pi * transitionWidth) + 1.0;
    return std::max(3, static_cast<int>(std::ceil(n)));
}

double KaiserWindow(double t, double halfWidth, double beta)
{
    const double r = t / halfWidth;
    if (!(std::fabs(r) < 1.0))
        return 0.0;
    return BesselI0(beta * std::sqrt(1.0 - r * r)) / BesselI0(beta);
}

double LowPassKernel(double t, double cutoff, double halfWidth, double beta)
{
    const double x = 2.0 * cutoff * t;
    const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
    return 2.0 * cutoff * sinc * KaiserWindow(t, halfWidth, beta);
}

std::vector<float> HalfBandSideTaps(double passEdge, double attenuationDb)
{
    const double transition = 0.5 - 2.0 * passEdge;
    const int length = KaiserLength(attenuationDb, transition);
    // Odd offsets 1, 3, .., 2K + 1 carry taps; the window reaches just past the last.
    const int nSide = std::max(1, (length + 4) / 4);
    const double halfWidth = 2.0 * nSide;
    const double beta = KaiserBeta(attenuationDb);
    std::vector<double> side(nSide);
    double sum = 0.0;
    for (int k = 0; k < nSide; ++k) {
        side[k] = LowPassKernel(2.0 * k + 1.0, 0.25, halfWidth, beta);
        sum += side[k];
    }
    std::vector<float> taps(nSide);
    for (int k = 0; k < nSide; ++k)
        taps[k] = static_cast<float>(side[k] * 0.25 / sum); // both sides together: 1/2
    return taps;
}

} // namespace fir
