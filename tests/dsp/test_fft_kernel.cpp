// The FFT kernel against a direct DFT of the same (positive-exponent) sign
// convention at small sizes, and against a plain radix-2 reference FFT at every
// size the spectrum engine uses.
#include "dsp/FftKernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using Complex = std::complex<double>;
const double TWO_PI = 8.0 * std::atan(1.0);

int IntegerSqrt(int n)
{
  int r = 0;
  while (static_cast<int64_t>(r + 1) * (r + 1) <= n)
    ++r;
  return r;
}

// Tables and work area exactly as large as the kernel's contract asks, so an
// out-of-bounds access shows up in a sanitizer build.
struct ComplexPlan {
  explicit ComplexPlan(int points) : n(2 * points), ip(2 + IntegerSqrt(n / 2)), w(points / 2 > 0 ? points / 2 : 1)
  {
    fft::MakeTwiddleTable(points / 2, ip.data(), w.data());
  }
  // x in natural order; returns X[k] = sum_j x[j] exp(+2 pi i j k / M).
  std::vector<Complex> Run(const std::vector<Complex>& x)
  {
    std::vector<double> a(n);
    for (size_t p = 0; p < x.size(); ++p) {
      a[2 * p] = x[p].real();
      a[2 * p + 1] = x[p].imag();
    }
    fft::BitReverse(n, ip.data() + 2, a.data());
    fft::ComplexForward(n, a.data(), w.data());
    std::vector<Complex> out(n / 2);
    for (size_t p = 0; p < out.size(); ++p)
      out[p] = {a[2 * p], a[2 * p + 1]};
    return out;
  }
  int n;
  std::vector<int> ip;
  std::vector<double> w;
};

struct RealPlan {
  explicit RealPlan(int samples) : n(samples), ip(2 + IntegerSqrt(n / 2)), w(n / 2)
  {
    fft::MakeTwiddleTable(n / 4, ip.data(), w.data());
    fft::MakeCosineTable(n / 4, ip.data(), w.data() + n / 4);
  }
  std::vector<double> Run(std::vector<double> a)
  {
    fft::BitReverse(n, ip.data() + 2, a.data());
    fft::ComplexForward(n, a.data(), w.data());
    fft::RealPostProcess(n, a.data(), n / 4, w.data() + n / 4);
    return a;
  }
  int n;
  std::vector<int> ip;
  std::vector<double> w;
};

// Direct DFT with the angle reduced to an exact table index.
std::vector<Complex> DirectDft(const std::vector<Complex>& x)
{
  const size_t m = x.size();
  std::vector<Complex> e(m);
  for (size_t t = 0; t < m; ++t)
    e[t] = std::polar(1.0, TWO_PI * static_cast<double>(t) / static_cast<double>(m));
  std::vector<Complex> out(m);
  for (size_t k = 0; k < m; ++k) {
    Complex sum = 0.0;
    for (size_t j = 0; j < m; ++j)
      sum += x[j] * e[(j * k) % m];
    out[k] = sum;
  }
  return out;
}

// Plain iterative radix-2 FFT with the same sign convention, for sizes where a
// direct DFT is too slow. Twiddles come straight from cos/sin of an exact index.
std::vector<Complex> ReferenceFft(std::vector<Complex> x)
{
  const size_t m = x.size();
  for (size_t i = 1, j = 0; i < m; ++i) {
    size_t bit = m >> 1;
    for (; j & bit; bit >>= 1)
      j ^= bit;
    j |= bit;
    if (i < j)
      std::swap(x[i], x[j]);
  }
  std::vector<Complex> e(m / 2 > 0 ? m / 2 : 1);
  for (size_t t = 0; t < m / 2; ++t)
    e[t] = std::polar(1.0, TWO_PI * static_cast<double>(t) / static_cast<double>(m));
  for (size_t len = 2; len <= m; len <<= 1) {
    const size_t stride = m / len;
    for (size_t s = 0; s < m; s += len) {
      for (size_t q = 0; q < len / 2; ++q) {
        const Complex u = x[s + q];
        const Complex v = x[s + q + len / 2] * e[q * stride];
        x[s + q] = u + v;
        x[s + q + len / 2] = u - v;
      }
    }
  }
  return x;
}

// ||got - want|| / ||want||.
double RelativeError(const std::vector<Complex>& got, const std::vector<Complex>& want)
{
  double diff = 0.0, ref = 0.0;
  for (size_t k = 0; k < want.size(); ++k) {
    diff += std::norm(got[k] - want[k]);
    ref += std::norm(want[k]);
  }
  return std::sqrt(diff / ref);
}

std::vector<Complex> RandomComplex(size_t m, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<Complex> x(m);
  for (auto& v : x)
    v = {u(rng), u(rng)};
  return x;
}

std::vector<double> RandomReal(size_t n, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> x(n);
  for (auto& v : x)
    v = u(rng);
  return x;
}

// The real transform's packed result as the kernel defines it: bins 1 .. n/2 - 1
// of the DFT with cos and +sin, bin 0 as the even and the odd sample sums.
std::vector<Complex> UnpackReal(const std::vector<double>& a)
{
  std::vector<Complex> bins(a.size() / 2);
  for (size_t k = 0; k < bins.size(); ++k)
    bins[k] = {a[2 * k], a[2 * k + 1]};
  return bins;
}

std::vector<Complex> ExpectedReal(const std::vector<double>& x, bool direct)
{
  std::vector<Complex> cx(x.begin(), x.end());
  const std::vector<Complex> full = direct ? DirectDft(cx) : ReferenceFft(cx);
  std::vector<Complex> bins(x.size() / 2);
  double even = 0.0, odd = 0.0;
  for (size_t j = 0; j < x.size(); j += 2) {
    even += x[j];
    odd += x[j + 1];
  }
  bins[0] = {even, odd};
  for (size_t k = 1; k < bins.size(); ++k)
    bins[k] = full[k];
  return bins;
}

constexpr double TOLERANCE = 1e-12;

} // namespace

// Data arrays of 2^p doubles, p = 2 .. 13: odd p ends with the radix-4 last
// pass, even p with the radix-2 one.
TEST(FftKernel, ComplexMatchesDirectDftAtSmallSizes)
{
  for (int points = 2; points <= 4096; points *= 2) {
    ComplexPlan plan(points);
    const auto x = RandomComplex(points, points);
    EXPECT_LT(RelativeError(plan.Run(x), DirectDft(x)), TOLERANCE) << points << " points";
  }
}

TEST(FftKernel, RealMatchesDirectDftAtSmallSizes)
{
  for (int n = 4; n <= 4096; n *= 2) {
    RealPlan plan(n);
    const auto x = RandomReal(n, n + 7);
    EXPECT_LT(RelativeError(UnpackReal(plan.Run(x)), ExpectedReal(x, true)), TOLERANCE) << n << " samples";
  }
}

// Every engine size from 1024 to 524288: the complex transform of N points
// (2N doubles) and the real transform of N samples.
TEST(FftKernel, EngineSizesMatchReferenceFft)
{
  for (int size = 1024; size <= 524288; size *= 2) {
    ComplexPlan complexPlan(size);
    const auto x = RandomComplex(size, size);
    EXPECT_LT(RelativeError(complexPlan.Run(x), ReferenceFft(x)), TOLERANCE) << "complex, N = " << size;

    RealPlan realPlan(size);
    const auto r = RandomReal(size, size + 1);
    EXPECT_LT(RelativeError(UnpackReal(realPlan.Run(r)), ExpectedReal(r, false)), TOLERANCE)
        << "real, N = " << size;
  }
}
