#include "dsp/FftKernel.h"

#include <cmath>
#include <utility>

namespace fft {
namespace {

// Swaps the two points (two doubles each) that start at a[j1] and a[k1].
inline void SwapPoints(double* a, int j1, int k1)
{
  std::swap(a[j1], a[k1]);
  std::swap(a[j1 + 1], a[k1 + 1]);
}

// Sums and differences of the four points at j, j + l, j + 2l, j + 3l:
// y0 = x0 + x2, y2 = x0 - x2, y1 = x1 + i*x3, y3 = x1 - i*x3.
struct Radix4 {
  double y0r, y0i, y1r, y1i, y2r, y2i, y3r, y3i;
};

inline Radix4 Sums(const double* a, int j, int l)
{
  const int j1 = j + l, j2 = j1 + l, j3 = j2 + l;
  const double x0r = a[j] + a[j1], x0i = a[j + 1] + a[j1 + 1];
  const double x1r = a[j] - a[j1], x1i = a[j + 1] - a[j1 + 1];
  const double x2r = a[j2] + a[j3], x2i = a[j2 + 1] + a[j3 + 1];
  const double x3r = a[j2] - a[j3], x3i = a[j2 + 1] - a[j3 + 1];
  return {x0r + x2r, x0i + x2i, x1r - x3i, x1i + x3r, x0r - x2r, x0i - x2i, x1r + x3i, x1i - x3r};
}

// Butterfly with unit twiddles.
inline void UnitButterfly(double* a, int j, int l)
{
  const Radix4 y = Sums(a, j, l);
  const int j1 = j + l, j2 = j1 + l, j3 = j2 + l;
  a[j] = y.y0r;
  a[j + 1] = y.y0i;
  a[j2] = y.y2r;
  a[j2 + 1] = y.y2i;
  a[j1] = y.y1r;
  a[j1 + 1] = y.y1i;
  a[j3] = y.y3r;
  a[j3 + 1] = y.y3i;
}

// Butterfly of group 1: W2 = i, W1 = r(1 + i), W3 = r(-1 + i), r = cos 45 deg.
inline void EighthButterfly(double* a, int j, int l, double r)
{
  const Radix4 y = Sums(a, j, l);
  const int j1 = j + l, j2 = j1 + l, j3 = j2 + l;
  a[j] = y.y0r;
  a[j + 1] = y.y0i;
  a[j2] = -y.y2i;
  a[j2 + 1] = y.y2r;
  a[j1] = r * (y.y1r - y.y1i);
  a[j1 + 1] = r * (y.y1r + y.y1i);
  a[j3] = r * (-y.y3r - y.y3i);
  a[j3 + 1] = r * (y.y3r - y.y3i);
}

// Butterfly with general twiddles W1, W2, W3.
inline void TwiddledButterfly(double* a, int j, int l, double w1r, double w1i, double w2r, double w2i,
                              double w3r, double w3i)
{
  const Radix4 y = Sums(a, j, l);
  const int j1 = j + l, j2 = j1 + l, j3 = j2 + l;
  a[j] = y.y0r;
  a[j + 1] = y.y0i;
  a[j2] = w2r * y.y2r - w2i * y.y2i;
  a[j2 + 1] = w2r * y.y2i + w2i * y.y2r;
  a[j1] = w1r * y.y1r - w1i * y.y1i;
  a[j1 + 1] = w1r * y.y1i + w1i * y.y1r;
  a[j3] = w3r * y.y3r - w3i * y.y3i;
  a[j3 + 1] = w3r * y.y3i + w3i * y.y3r;
}

} // namespace

void MakeTwiddleTable(int nw, int* ip, double* w)
{
  ip[0] = nw;
  ip[1] = 1;
  if (nw <= 2)
    return;
  const int h = nw >> 1;
  const double delta = std::atan(1.0) / h;
  w[0] = 1.0;
  w[1] = 0.0;
  w[h] = std::cos(delta * h);
  w[h + 1] = w[h];
  if (h > 2) {
    for (int j = 2; j < h; j += 2) {
      const double x = std::cos(delta * j);
      const double y = std::sin(delta * j);
      w[j] = x;
      w[j + 1] = y;
      w[nw - j] = y;
      w[nw - j + 1] = x;
    }
  }
  BitReverse(nw, ip + 2, w);
}

void MakeCosineTable(int nc, int* ip, double* c)
{
  ip[1] = nc;
  if (nc <= 1)
    return;
  const int h = nc >> 1;
  const double delta = std::atan(1.0) / h;
  c[0] = std::cos(delta * h);
  c[h] = 0.5 * c[0];
  for (int j = 1; j < h; ++j) {
    c[j] = 0.5 * std::cos(delta * j);
    c[nc - j] = 0.5 * std::sin(delta * j);
  }
}

void BitReverse(int n, int* ip, double* a)
{
  ip[0] = 0;
  int l = n;
  int m = 1;
  while ((m << 3) < l) {
    l >>= 1;
    for (int j = 0; j < m; ++j)
      ip[m + j] = ip[j] + l;
    m <<= 1;
  }
  const int m2 = 2 * m;
  if ((m << 3) == l) {
    for (int k = 0; k < m; ++k) {
      for (int j = 0; j < k; ++j) {
        int j1 = 2 * j + ip[k];
        int k1 = 2 * k + ip[j];
        SwapPoints(a, j1, k1);
        j1 += m2;
        k1 += 2 * m2;
        SwapPoints(a, j1, k1);
        j1 += m2;
        k1 -= m2;
        SwapPoints(a, j1, k1);
        j1 += m2;
        k1 += 2 * m2;
        SwapPoints(a, j1, k1);
      }
      const int j1 = 2 * k + m2 + ip[k];
      SwapPoints(a, j1, j1 + m2);
    }
  } else {
    for (int k = 1; k < m; ++k) {
      for (int j = 0; j < k; ++j) {
        int j1 = 2 * j + ip[k];
        int k1 = 2 * k + ip[j];
        SwapPoints(a, j1, k1);
        j1 += m2;
        k1 += m2;
        SwapPoints(a, j1, k1);
      }
    }
  }
}

void ComplexForward(int n, double* a, const double* w)
{
  int l = 2;
  if (n > 8) {
    FirstRadix4Stage(n, a, w);
    l = 8;
    while ((l << 2) < n) {
      MiddleRadix4Stage(n, l, a, w);
      l <<= 2;
    }
  }
  if ((l << 2) == n) {
    for (int j = 0; j < l; j += 2)
      UnitButterfly(a, j, l);
  } else {
    for (int j = 0; j < l; j += 2) {
      const int j1 = j + l;
      const double xr = a[j] - a[j1];
      const double xi = a[j + 1] - a[j1 + 1];
      a[j] += a[j1];
      a[j + 1] += a[j1 + 1];
      a[j1] = xr;
      a[j1 + 1] = xi;
    }
  }
}

void FirstRadix4Stage(int n, double* a, const double* w)
{
  // One butterfly per group of 8 doubles: unit twiddles at 0, the eighth-turn
  // twiddles at 8, then table twiddles, k1 advancing every 16 doubles.
  UnitButterfly(a, 0, 2);
  EighthButterfly(a, 8, 2, w[2]);
  int k1 = 0;
  for (int j = 16; j < n; j += 16) {
    k1 += 2;
    const int k2 = 2 * k1;
    const double w2r = w[k1], w2i = w[k1 + 1];
    double w1r = w[k2], w1i = w[k2 + 1];
    double w3r = w1r - 2 * w2i * w1i;
    double w3i = 2 * w2i * w1r - w1i;
    TwiddledButterfly(a, j, 2, w1r, w1i, w2r, w2i, w3r, w3i);
    w1r = w[k2 + 2];
    w1i = w[k2 + 3];
    w3r = w1r - 2 * w2r * w1i;
    w3i = 2 * w2r * w1r - w1i;
    TwiddledButterfly(a, j + 8, 2, w1r, w1i, -w2i, w2r, w3r, w3i);
  }
}

void MiddleRadix4Stage(int n, int l, double* a, const double* w)
{
  const int m = l << 2;
  for (int j = 0; j < l; j += 2)
    UnitButterfly(a, j, l);
  const double r = w[2];
  for (int j = m; j < l + m; j += 2)
    EighthButterfly(a, j, l, r);
  const int m2 = 2 * m;
  int k1 = 0;
  for (int k = m2; k < n; k += m2) {
    k1 += 2;
    const int k2 = 2 * k1;
    const double w2r = w[k1], w2i = w[k1 + 1];
    double w1r = w[k2], w1i = w[k2 + 1];
    double w3r = w1r - 2 * w2i * w1i;
    double w3i = 2 * w2i * w1r - w1i;
    for (int j = k; j < l + k; j += 2)
      TwiddledButterfly(a, j, l, w1r, w1i, w2r, w2i, w3r, w3i);
    w1r = w[k2 + 2];
    w1i = w[k2 + 3];
    w3r = w1r - 2 * w2r * w1i;
    w3i = 2 * w2r * w1r - w1i;
    for (int j = k + m; j < l + (k + m); j += 2)
      TwiddledButterfly(a, j, l, w1r, w1i, -w2i, w2r, w3r, w3i);
  }
}

void RealPostProcess(int n, double* a, int nc, const double* c)
{
  RealPostProcessEach(n, a, nc, c, [](int, int) {});
}

} // namespace fft
