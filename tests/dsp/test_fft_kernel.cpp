// The FFT kernel against a direct DFT of its own (positive-exponent) sign convention.
#include "dsp/FftKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
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
    for (size_t k = 0; k < n / 2; ++k) {
        if (bins.size() == 0 || std::find(bins.begin(), bins.end(), k) != bins.end()) {
            ASSERT_LT(std::abs(Complex(a[2 * k], a[2 * k + 1]) - Dft(x, real, k)), tolerance)
                << n << " " << real << " " << k;
        }
    }
}

} // namespace

// 2^p doubles: p odd ends with the radix-4 last pass, p even with the radix-2 one.
TEST(FftKernel, MatchesDirectDft)
{
    for (bool real : {false, true})
        for (size_t n : {8u, 16u, 256u, 512u, 2048u, 4096u})
            ExpectBins(n, real, {}, 1e-10);
}

// The largest engine size (524288 points or samples) at chosen bins.
TEST(FftKernel, LargestSize)
{
    ExpectBins(2 * 524288, false, {0, 1, 12345, 262143, 524287}, 1e-7);
    ExpectBins(524288, true, {0, 1, 12345, 131072, 262143}, 1e-7);
}

namespace {

// 64-bit FNV-1a over the bits of every output double.
uint64_t BitsHash(const std::vector<double>& a)
{
    uint64_t h = 14695981039346656037ull;
    for (double v : a) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int byte = 0; byte < 8; ++byte) {
            h ^= (bits >> (8 * byte)) & 0xFF;
            h *= 1099511628211ull;
        }
    }
    return h;
}

// n 32-bit pseudo-random integers scaled by 2^-31 (exact, no library maths involved).
std::vector<double> ExactInput(size_t n)
{
    std::vector<double> a(n, 0.0);
    uint32_t s = 12345;
    for (auto& v : a) {
        s = s * 1664525u + 1013904223u;
        v = static_cast<int32_t>(s) * 0x1p-31;
    }
    return a;
}

} // namespace

// The real post-process with powers gives the spectrum of RealPostProcess and
// the powers of one bin at a time, bit for bit, fresh and combined with
// earlier powers (larger and smaller ones).
TEST(FftKernel, PostProcessPowersMatchOneBinAtATime)
{
    for (size_t n : {16u, 64u, 2048u, 8192u}) {
        for (int combine : {0, 1}) {
            auto a = Transform(ExactInput(n), false); // the half-length complex transform
            std::vector<int> ip(2 + static_cast<int>(std::sqrt(n / 2.0)));
            std::vector<double> w(n / 2);
            fft::MakeCosineTable(static_cast<int>(n / 4), ip.data(), w.data());
            std::vector<double> earlier(n / 2), power(n / 2);
            for (size_t b = 0; b < n / 2; ++b)
                earlier[b] = power[b] = (b % 3 == 0) ? 1e30 : 1e-30;
            auto expected = a;
            fft::RealPostProcess(static_cast<int>(n), expected.data(), static_cast<int>(n / 4), w.data());
            fft::RealPostProcessPowers(static_cast<int>(n), a.data(), static_cast<int>(n / 4), w.data(), power.data(),
                                       combine);
            ASSERT_EQ(BitsHash(a), BitsHash(expected)) << n;
            for (size_t b = 1; b < n / 2; ++b) {
                if (b == n / 4)
                    continue; // untouched by the post-process
                const double p = expected[2 * b] * expected[2 * b] + expected[2 * b + 1] * expected[2 * b + 1];
                const double want = combine ? std::max(p, earlier[b]) : p;
                ASSERT_EQ(std::bit_cast<uint64_t>(power[b]), std::bit_cast<uint64_t>(want)) << n << " bin " << b;
            }
        }
    }
}
