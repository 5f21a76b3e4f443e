// Measures a tone in a stream of samples by least squares: the amplitude and
// phase of the sinusoid at a known frequency (plus a constant), and the rms of
// everything else. The measure behind the level, SINAD and image checks.
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

namespace tone {

struct Fit {
    double amplitude = 0.0;
    double phase = 0.0;       // radians, of cos(2 pi f n / rate + phase) at n = first
    double residualRms = 0.0; // of what the tone and the constant leave
};

// Fits x[first .. first + count) with a cos(w n) + b sin(w n) + c, w = 2 pi hz / rate.
inline Fit FitTone(const std::vector<float>& x, double hz, double rate, size_t first, size_t count)
{
    const double w = 2.0 * std::numbers::pi * hz / rate;
    double m[3][3] = {}, v[3] = {};
    for (size_t i = 0; i < count; ++i) {
        const double n = static_cast<double>(i);
        const double basis[3] = {std::cos(w * n), std::sin(w * n), 1.0};
        for (int r = 0; r < 3; ++r) {
            v[r] += basis[r] * x[first + i];
            for (int c = 0; c < 3; ++c)
                m[r][c] += basis[r] * basis[c];
        }
    }
    // Gaussian elimination of the 3 x 3 normal equations.
    for (int p = 0; p < 3; ++p)
        for (int r = p + 1; r < 3; ++r) {
            const double f = m[r][p] / m[p][p];
            for (int c = p; c < 3; ++c)
                m[r][c] -= f * m[p][c];
            v[r] -= f * v[p];
        }
    double s[3];
    for (int r = 2; r >= 0; --r) {
        s[r] = v[r];
        for (int c = r + 1; c < 3; ++c)
            s[r] -= m[r][c] * s[c];
        s[r] /= m[r][r];
    }
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double n = static_cast<double>(i);
        const double e = x[first + i] - (s[0] * std::cos(w * n) + s[1] * std::sin(w * n) + s[2]);
        sum += e * e;
    }
    return {std::hypot(s[0], s[1]), std::atan2(-s[1], s[0]), std::sqrt(sum / static_cast<double>(count))};
}

inline double Db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

// The tone's level over everything else, in dB.
inline double SinadDb(const Fit& f)
{
    return Db(f.amplitude / std::sqrt(2.0) / f.residualRms);
}

// The rms of x[first .. first + count).
inline double Rms(const std::vector<float>& x, size_t first, size_t count)
{
    double sum = 0.0;
    for (size_t i = first; i < first + count; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(count));
}

} // namespace tone
