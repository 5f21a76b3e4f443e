// The FFT kernel against a direct DFT of its own (positive-exponent) sign convention.
#include "dsp/FftKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

using Complex = std::complex<double>;
const double kTwoPi = 8.0 * std::atan(1.0);

// The complex transform of a.size() / 2 points or the real transform of a.size() samples,
// with tables exactly as large as the contract asks.
std::vector<double> Transform(std::vector<double> a, bool real)
{
    const int n = static_cast<int>(a.size());
    std::vector<int> ip(2 + static_cast<int>(std::sqrt(n / 2.0)));
    std::vector<double> w(real ? n / 2 : (n / 4 > 0 ? n / 4 : 1));
    fft::MakeTwiddleTable(n / 4, ip.data(), w.data());
    if (real)
        fft::MakeCosineTable(n / 4, ip.data(), w.data() + n / 4);
    fft::BitReverse(n, ip.data() + 2, a.data());
    fft::ComplexForward(n, a.data(), w.data());
    if (real)
        fft::RealPostProcess(n, a.data(), n / 4, w.data() + n / 4);
    return a;
}

// Packed bin k by direct DFT; the real transform's bin 0 holds the even and the odd sample sums.
Complex Dft(const std::vector<double>& a, bool real, size_t k)
{
    const size_t m = real ? a.size() : a.size() / 2;
    Complex sum = 0.0;
    for (size_t j = 0; j < m; ++j) {
        if (real && k == 0)
            sum += Complex(j % 2 ? 0.0 : a[j], j % 2 ? a[j] : 0.0);
        else
            sum += (real ? Complex(a[j]) : Complex(a[2 * j], a[2 * j + 1])) *
                   std::polar(1.0, kTwoPi * static_cast<double>((j * k) % m) / static_cast<double>(m));
    }
    return sum;
}

void ExpectBins(size_t n, bool real, std::initializer_list<size_t> bins, double tolerance)
{
    std::mt19937 rng(static_cast<unsigned>(n));
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(n);
    for (auto& v : x)
        v = u(rng);
    const auto a = Transform(x, real);
    for (size_t k = 0; k < n / 2; ++k)
        if (bins.size() == 0 || std::find(bins.begin(), bins.end(), k) != bins.end()) {
            ASSERT_LT(std::abs(Complex(a[2 * k], a[2 * k + 1]) - Dft(x, real, k)), tolerance)
                << n << " " << real << " " << k;
        }
}

} // namespace

// 2^p doubles: p odd ends with the radix-4 last pass, p even with the radix-2 one; then the largest engine
// size (524288 points or samples) at chosen bins.
TEST(FftKernel, MatchesDirectDft)
{
    for (bool real : {false, true})
        for (size_t n : {8u, 16u, 256u, 512u, 2048u, 4096u})
            ExpectBins(n, real, {}, 1e-10);
    ExpectBins(2 * 524288, false, {0, 1, 12345, 262143, 524287}, 1e-7);
    ExpectBins(524288, true, {0, 1, 12345, 131072, 262143}, 1e-7);
}
