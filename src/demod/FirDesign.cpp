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

CLowPassKernel::CLowPassKernel(double cutoff, double halfWidth, double beta)
    : m_dCutoff(cutoff), m_dHalfWidth(halfWidth), m_dBeta(beta), m_dWindowScale(1.0 / BesselI0(beta))
{
}

double CLowPassKernel::operator()(double t) const
{
    const double r = t / m_dHalfWidth;
    if (!(std::fabs(r) < 1.0))
        return 0.0;
    const double x = 2.0 * m_dCutoff * t;
    const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
    return 2.0 * m_dCutoff * sinc * BesselI0(m_dBeta * std::sqrt(1.0 - r * r)) * m_dWindowScale;
}

namespace {

// Kaiser-window half-band side taps, nSide of them, scaled to unity gain.
std::vector<double> HalfBandTaps(int nSide, double beta)
{
    const CLowPassKernel kernel(0.25, 2.0 * nSide, beta);
    std::vector<double> side(nSide);
    double sum = 0.0;
    for (int k = 0; k < nSide; ++k) {
        side[k] = kernel(2.0 * k + 1.0);
        sum += side[k];
    }
    for (double& s : side)
        s *= 0.25 / sum; // both sides together: 1/2
    return side;
}

// The largest |H(f)| over the stopband 0.5 - passEdge .. 0.5 of a half-band.
double HalfBandStopGain(const std::vector<double>& side, double passEdge)
{
    constexpr int kPoints = 64;
    double worst = 0.0;
    for (int i = 0; i <= kPoints; ++i) {
        const double f = 0.5 - passEdge * i / kPoints;
        double h = 0.5;
        for (size_t k = 0; k < side.size(); ++k)
            h += 2.0 * side[k] * std::cos(2.0 * std::numbers::pi * (2.0 * k + 1.0) * f);
        worst = std::max(worst, std::fabs(h));
    }
    return worst;
}

} // namespace

std::vector<float> HalfBandSideTaps(double passEdge, double attenuationDb)
{
    // The Kaiser estimate is generous for the wide transitions of the first
    // stages: take the fewest taps whose response meets the stopband.
    const int estimate = std::max(1, (KaiserLength(attenuationDb, 0.5 - 2.0 * passEdge) + 4) / 4);
    const double beta = KaiserBeta(attenuationDb);
    const double limit = std::pow(10.0, -attenuationDb / 20.0);
    std::vector<double> side;
    for (int nSide = 1; nSide <= estimate; ++nSide) {
        side = HalfBandTaps(nSide, beta);
        if (HalfBandStopGain(side, passEdge) <= limit)
            break;
    }
    return std::vector<float>(side.begin(), side.end());
}

} // namespace fir
