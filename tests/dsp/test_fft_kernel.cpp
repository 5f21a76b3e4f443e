// The FFT kernel against a direct DFT of its own (positive-exponent) sign convention.
#include "dsp/FftKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

// The largest engine size (524288 points or samples) at chosen bins, and an impulse in every bin.
TEST(FftKernel, LargestSizeAndImpulse)
{
    ExpectBins(2 * 524288, false, {0, 1, 12345, 262143, 524287}, 1e-7);
    ExpectBins(524288, true, {0, 1, 12345, 131072, 262143}, 1e-7);
    const size_t m = 524288;
    std::vector<double> impulse(2 * m, 0.0);
    impulse[2 * 3] = 1.0;
    const auto a = Transform(impulse, false);
    for (size_t k = 0; k < m; ++k)
        ASSERT_LT(
            std::abs(Complex(a[2 * k], a[2 * k + 1]) - std::polar(1.0, kTwoPi * static_cast<double>((3 * k) % m) / m)),
            1e-12)
            << k;
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

// n doubles: a unit impulse at double 10, or 32-bit pseudo-random integers
// scaled by 2^-31 (exact, no library maths involved).
std::vector<double> ExactInput(size_t n, bool impulse)
{
    std::vector<double> a(n, 0.0);
    if (impulse) {
        a[10] = 1.0;
        return a;
    }
    uint32_t s = 12345;
    for (auto& v : a) {
        s = s * 1664525u + 1013904223u;
        v = static_cast<int32_t>(s) * 0x1p-31;
    }
    return a;
}

struct BitExactCase {
    const char* name;
    bool real; // 2048 real samples, else 2048 complex points
    bool impulse;
    uint64_t hash;                                    // BitsHash of all outputs
    std::array<std::pair<size_t, double>, 4> outputs; // chosen outputs, bit for bit
};

} // namespace

// The kernel's exact results at the engine's block size. Any change of the
// floating-point operations or of their order changes some output bit.
TEST(FftKernel, BitExactAtBlockSize)
{
    // One row a line, as a table reads.
    // clang-format off
    const BitExactCase cases[] = {
        {"complex impulse", false, true, 0xa467171905ebaabdull,
         {{{3, 0x1.f6a296ab997cap-7}, {777, -0x1.4d1e24278e76bp-2}, {2049, 0.0}, {4095, -0x1.f6a296ab99755p-7}}}},
        {"complex random", false, false, 0xaa3d7b84fbed028dull,
         {{{3, 0x1.71d7519363199p+4}, {777, -0x1.a9de61b45592p+1}, {2049, 0x1.992f498p+5}, {4095, -0x1.32720bf748bdcp-2}}}},
        {"real impulse", true, true, 0x6604db0de09b8ab9ull,
         {{{1, 0.0}, {3, 0x1.f693731d1cf08p-6}, {777, -0x1.3affa292050bap-1}, {2047, -0x1.f693731d1cf09p-6}}}},
        {"real random", true, false, 0xeb7f8f5f23771363ull,
         {{{1, -0x1.13c172p+3}, {3, -0x1.7ac7fd08156c8p+3}, {777, 0x1.4b900e58ced85p+5}, {2047, 0x1.43953cd501849p+1}}}},
    };
    // clang-format on
    for (const BitExactCase& c : cases) {
        const auto a = Transform(ExactInput(c.real ? 2048 : 4096, c.impulse), c.real);
        for (const auto& [i, v] : c.outputs)
            EXPECT_EQ(std::bit_cast<uint64_t>(a[i]), std::bit_cast<uint64_t>(v))
                << c.name << " output " << i << ": " << std::hexfloat << a[i];
        EXPECT_EQ(BitsHash(a), c.hash) << c.name << std::hex << " hash 0x" << BitsHash(a);
    }
}

// The real post-process with powers gives the spectrum of RealPostProcess and
// the powers of one bin at a time, bit for bit, fresh and combined with
// earlier powers (larger and smaller ones).
TEST(FftKernel, PostProcessPowersMatchOneBinAtATime)
{
    for (size_t n : {16u, 64u, 2048u, 8192u}) {
        for (int combine : {0, 1}) {
            auto a = Transform(ExactInput(n, false), false); // the half-length complex transform
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
