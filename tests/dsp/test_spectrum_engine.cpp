// CSpectrumEngine: level scale, bin placement, display mapping,
// averaging and parameter handling, all through the public interface.
#include "dsp/SpectrumEngine.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

const double TWO_PI = 8.0 * std::atan(1.0);
constexpr double FULL = 2147483647.0;

// A display scale from -200 to +200 dB over 400 000 000 indices: one index is
// a millionth of a dB, so GetDisplayLevels reads levels back almost exactly.
constexpr double FINE_BOTTOM_DB = -200.0;
constexpr double FINE_TOP_DB = 200.0;
constexpr int FINE_SCALE = 400000000;

void Configure(CSpectrumEngine& e, int complex, int size, int averages = 1, int suppressDc = 0,
               int windowType = WINDOW_HANN)
{
  e.SetParameters(complex, size, FINE_BOTTOM_DB, FINE_TOP_DB, averages, 0, windowType, 0, suppressDc, PEAK_OFF,
                  0.0);
}

std::vector<double> ReadDb(CSpectrumEngine& e, int nBins)
{
  std::vector<int> out(nBins);
  e.GetDisplayLevels(FINE_SCALE, 0, nBins - 1, out.data());
  std::vector<double> db(nBins);
  for (int i = 0; i < nBins; ++i)
    db[i] = FINE_TOP_DB + out[i] * 1e-6;
  return db;
}

int32_t ToSample(double v)
{
  return static_cast<int32_t>(std::llround(std::fmax(-2147483648.0, std::fmin(FULL, v))));
}

// amp * cos(2 pi bin i / n), one channel.
std::vector<int32_t> RealTone(int n, double bin, double amp)
{
  std::vector<int32_t> s(n);
  for (int i = 0; i < n; ++i)
    s[i] = ToSample(amp * std::cos(TWO_PI * std::fmod(bin * i, n) / n));
  return s;
}

// I + jQ = amp * exp(+j 2 pi f i / n), plus an optional constant offset.
std::vector<int32_t> ComplexTone(int n, double f, double amp, double dcI = 0.0, double dcQ = 0.0)
{
  std::vector<int32_t> s(2 * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double phase = TWO_PI * std::fmod(f * i, n) / n;
    s[2 * i] = ToSample(dcI + amp * std::cos(phase));
    s[2 * i + 1] = ToSample(dcQ + amp * std::sin(phase));
  }
  return s;
}

// The exact reading of a full-scale tone centred on a bin under the Hann window:
// its coherent gain (N - 1) / 2N, and the engine's full-scale figure, a little
// below the power of two it stands for (ratio).
double HannToneDb(int n, double ratio)
{
  return 20.0 * std::log10((n - 1.0) / n * ratio);
}

std::vector<double> RunBlock(CSpectrumEngine& e, const std::vector<int32_t>& samples, int nBins)
{
  e.LoadSamples(samples.data(), INT_MAX);
  e.Transform();
  return ReadDb(e, nBins);
}

} // namespace

// Under the Hann window a full-scale tone centred on a bin reads 0 dB within
// 0.01 dB (about -0.004 dB at N = 2048), on the bin the frequency belongs to.
TEST(SpectrumEngine, FullScaleRealToneReadsZeroDbOnItsBin)
{
  CSpectrumEngine e;
  for (int n : {1024, 2048, 524288}) {
    Configure(e, 0, n);
    for (int bin : {1, 100, n / 4, n / 2 - 2}) {
      const auto db = RunBlock(e, RealTone(n, bin, FULL), n / 2);
      EXPECT_NEAR(db[bin], 0.0, 0.01) << "N " << n << " bin " << bin;
      // Near 0 and Nyquist the tone's mirror image at -f leaks in a little.
      if (bin > 10 && bin < n / 2 - 10) {
        EXPECT_NEAR(db[bin], HannToneDb(n, 536870912.0 / 536870000.0), 1e-4) << "N " << n << " bin " << bin;
      }
      EXPECT_LT(db[bin + 2 < n / 2 ? bin + 2 : bin - 2], -60.0) << "N " << n << " bin " << bin;
    }
  }
}

TEST(SpectrumEngine, ComplexTonesLandOnPositiveAndNegativeDisplayBins)
{
  CSpectrumEngine e;
  for (int n : {1024, 2048, 524288}) {
    Configure(e, 1, n);
    const int dc = n / 2 - 1;
    for (int f : {1, 37, n / 2 - 2}) {
      auto db = RunBlock(e, ComplexTone(n, f, FULL), n);
      EXPECT_NEAR(db[dc + f], 0.0, 0.01) << "N " << n << " +" << f;
      EXPECT_NEAR(db[dc + f], HannToneDb(n, 1073741824.0 / 1073740000.0), 1e-4) << "N " << n << " +" << f;
      EXPECT_LT(db[dc - f], -60.0) << "N " << n << " +" << f;
      db = RunBlock(e, ComplexTone(n, -f, FULL), n);
      EXPECT_NEAR(db[dc - f], 0.0, 0.01) << "N " << n << " -" << f;
      EXPECT_LT(db[dc + f], -60.0) << "N " << n << " -" << f;
    }
    // +fs/2 is the last display bin.
    const auto db = RunBlock(e, ComplexTone(n, n / 2, FULL), n);
    EXPECT_NEAR(db[n - 1], 0.0, 0.01) << "N " << n;
  }
}

TEST(SpectrumEngine, ZeroBlockReadsFloorInEveryBin)
{
  for (int complex : {0, 1}) {
    const int n = 2048, nBins = complex ? n : n / 2;
    CSpectrumEngine e;
    Configure(e, complex, n);
    const std::vector<int32_t> zeros(2 * n, 0);
    for (double level : RunBlock(e, zeros, nBins))
      ASSERT_NEAR(level, -160.0, 1e-5) << "complex " << complex;
    // The plot's scale: -160 dB at the bottom of 255 steps.
    e.SetParameters(complex, n, -160.0, 0.0, 1, 0, WINDOW_HANN, 0, 1, PEAK_OFF, 0.0);
    e.LoadSamples(zeros.data(), INT_MAX);
    e.Transform();
    std::vector<int> out(nBins, 1);
    e.GetDisplayLevels(255, 0, nBins - 1, out.data());
    for (int v : out)
      ASSERT_EQ(v, -255) << "complex " << complex;
  }
}

// One-channel bin 0 is the true DC term: a constant reads as DC, and a tone at
// the Nyquist frequency (whose even samples alone sum to a large value) does not.
TEST(SpectrumEngine, RealBinZeroIsTrueDc)
{
  const int n = 2048;
  CSpectrumEngine e;
  Configure(e, 0, n);
  auto db = RunBlock(e, std::vector<int32_t>(n, 1 << 28), n / 2);
  // |X0| = c (N - 1) / 2 against the full-scale figure N * 536870000.
  EXPECT_NEAR(db[0], 20.0 * std::log10(268435456.0 * (n - 1) / 2.0 / (n * 536870000.0)), 1e-3);
  std::vector<int32_t> nyquist(n);
  for (int i = 0; i < n; ++i)
    nyquist[i] = i % 2 ? -(1 << 30) : (1 << 30);
  db = RunBlock(e, nyquist, n / 2);
  EXPECT_LT(db[0], -100.0);
}

// Rectangular (0.5) and Hann windows have the same coherent gain; Hamming reads
// 20 log10(0.54 / 0.5) higher for a tone centred on a bin.
TEST(SpectrumEngine, WindowTypesKeepTheirCoherentGain)
{
  const int n = 2048, bin = 300;
  CSpectrumEngine e;
  Configure(e, 0, n, 1, 0, WINDOW_RECTANGULAR);
  EXPECT_NEAR(RunBlock(e, RealTone(n, bin, FULL), n / 2)[bin], 0.0, 1e-4);
  Configure(e, 0, n, 1, 0, WINDOW_HAMMING);
  EXPECT_NEAR(RunBlock(e, RealTone(n, bin, FULL), n / 2)[bin], 20.0 * std::log10(0.54 / 0.5), 0.01);
  // An invalid type falls back to Hann instead of leaving the window unset.
  Configure(e, 0, n, 1, 0, 7);
  EXPECT_NEAR(RunBlock(e, RealTone(n, bin, FULL), n / 2)[bin], 20.0 * std::log10((n - 1.0) / n), 1e-3);
}

// The zero block reads exactly -160 dB, which puts levels exactly where a test
// wants them against the top and bottom of the scale.
TEST(SpectrumEngine, DisplayIndicesTruncateAtTopAndBottom)
{
  const int n = 1024;
  CSpectrumEngine e;
  const std::vector<int32_t> zeros(n, 0);
  std::vector<int> out(n / 2);
  auto indexFor = [&](double bottomDb, double topDb, int scale) {
    e.SetParameters(0, n, bottomDb, topDb, 1, 0, WINDOW_HANN, 0, 0, PEAK_OFF, 0.0);
    e.LoadSamples(zeros.data(), INT_MAX);
    e.Transform();
    std::fill(out.begin(), out.end(), 999);
    e.GetDisplayLevels(scale, 0, n / 2 - 1, out.data());
    for (int v : out)
      EXPECT_EQ(v, out[0]);
    return out[0];
  };
  // One step is (top - bottom) / scale = 1 dB here.
  EXPECT_EQ(indexFor(-415.0, -160.0, 255), 0);    // exactly at the top
  EXPECT_EQ(indexFor(-414.6, -159.6, 255), 0);    // 0.4 step below the top
  EXPECT_EQ(indexFor(-413.5, -158.5, 255), -1);   // 1.5 steps below
  EXPECT_EQ(indexFor(-160.5, 94.5, 255), -254);   // half a step above the bottom
  EXPECT_EQ(indexFor(-150.0, 105.0, 255), -255);  // below the bottom
  EXPECT_EQ(indexFor(-200.0, -170.0, 255), 0);    // above the top
  // top == bottom: a hard threshold instead of a division by zero.
  EXPECT_EQ(indexFor(-160.0, -160.0, 255), 0);
  EXPECT_EQ(indexFor(-159.0, -159.0, 255), -255);
  // A scale that is not a number maps to the bottom instead of an undefined cast.
  EXPECT_EQ(indexFor(std::nan(""), std::nan(""), 255), -255);
}

TEST(SpectrumEngine, DisplayRangeIsCheckedAndWrittenOnlyInside)
{
  const int n = 1024;
  CSpectrumEngine e;
  e.SetParameters(1, n, -160.0, 0.0, 1, 0, WINDOW_HANN, 0, 0, PEAK_OFF, 0.0);
  std::vector<int32_t> block(2 * n, 0);
  block[2 * 10] = 5000;
  e.LoadSamples(block.data(), 4999);
  e.Transform();

  std::vector<int> out(n + 4, 77);
  // last = n: nothing written, the overload flag still returned.
  EXPECT_EQ(e.GetDisplayLevels(255, 0, n, out.data()), 1);
  for (int v : out)
    EXPECT_EQ(v, 77);
  // A part of the range: only first..last written.
  EXPECT_EQ(e.GetDisplayLevels(255, 5, 9, out.data()), 1);
  for (int i = 0; i < n + 4; ++i)
    EXPECT_EQ(out[i] != 77, i >= 5 && i <= 9) << i;
  // A negative first starts at bin 0 instead of writing before the array.
  std::vector<int> guarded(n + 8, 77);
  e.GetDisplayLevels(255, -4, 3, guarded.data() + 4);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(guarded[i], 77);
  EXPECT_NE(guarded[4], 77);

  // The limit is exclusive: a sample equal to it is no overload.
  e.LoadSamples(block.data(), 5000);
  EXPECT_EQ(e.GetDisplayLevels(255, 0, 0, out.data()), 0);
}

// Averages over A blocks: the plain mean of the first A, then avg += (L - avg) / A.
// Which parameter changes clear the average is seen both in the level and in
// LoadSamples' count of blocks since the last reset.
TEST(SpectrumEngine, AveragingAndWhatClearsIt)
{
  const int n = 2048, bin = 200;
  const std::vector<int32_t> zeros(n, 0);
  const auto tone = RealTone(n, bin, FULL);
  const double toneDb = 20.0 * std::log10((n - 1.0) / n);

  CSpectrumEngine e;
  Configure(e, 0, n, 2);
  EXPECT_EQ(e.LoadSamples(zeros.data(), INT_MAX), 0);
  e.Transform();
  EXPECT_EQ(e.LoadSamples(tone.data(), INT_MAX), 1);
  e.Transform();
  EXPECT_NEAR(ReadDb(e, n / 2)[bin], (-160.0 + toneDb) / 2, 1e-3);
  EXPECT_NEAR(RunBlock(e, zeros, n / 2)[bin], (-160.0 + toneDb) / 2 + (-160.0 - (-160.0 + toneDb) / 2) / 2, 1e-3);

  struct Change {
    const char* what;
    int complex, size, averages, windowType, mirror, suppressDc, peakMode;
    double bottomDb, topDb, calibDb;
    bool clears;
  };
  const Change base{"nothing", 0, n, 2, WINDOW_HANN, 0, 0, PEAK_OFF, FINE_BOTTOM_DB, FINE_TOP_DB, 0.0, false};
  std::vector<Change> changes;
  auto with = [&](const char* what, bool clears, auto edit) {
    Change c = base;
    c.what = what;
    c.clears = clears;
    edit(c);
    changes.push_back(c);
  };
  with("topDb", false, [](Change& c) { c.topDb = 150.0; });
  with("suppressDc", false, [](Change& c) { c.suppressDc = 1; });
  with("windowType", true, [](Change& c) { c.windowType = WINDOW_HAMMING; });
  with("fftSize", true, [](Change& c) { c.size = 4096; });
  with("complex", true, [](Change& c) { c.complex = 1; });
  with("peakMode max", true, [](Change& c) { c.peakMode = PEAK_MAX; });
  with("calibDb", true, [](Change& c) { c.calibDb = 3.0; });

  const std::vector<int32_t> big(2 * 4096, 0);
  for (const Change& c : changes) {
    e.SetParameters(base.complex, base.size, base.bottomDb, base.topDb, base.averages, 0, base.windowType,
                    base.mirror, base.suppressDc, base.peakMode, base.calibDb);
    e.ResetAverage();
    e.LoadSamples(big.data(), INT_MAX);
    e.Transform();
    e.LoadSamples(big.data(), INT_MAX);
    e.Transform();
    e.SetParameters(c.complex, c.size, c.bottomDb, c.topDb, c.averages, 0, c.windowType, c.mirror, c.suppressDc,
                    c.peakMode, c.calibDb);
    EXPECT_EQ(e.LoadSamples(big.data(), INT_MAX), c.clears ? 0 : 2) << c.what;
    e.Transform(); // runs the peak paths where a peak mode is on
  }
}

// In two-channel mode N display bins exist, so a request for last = N - 1 is
// written and one for last = N is not: that reveals the size in use.
TEST(SpectrumEngine, OutOfRangeSizesBecomeLargestAndOthersPowersOfTwo)
{
  auto sizeAfter = [](int fftSize) {
    CSpectrumEngine e;
    e.SetParameters(1, fftSize, -160.0, 0.0, 1, 0, WINDOW_HANN, 0, 0, PEAK_OFF, 0.0);
    std::vector<int> out(524289 + 1, 77);
    for (int size = 1024; size <= 524288; size *= 2) {
      out[size - 1] = out[size] = 77;
      e.GetDisplayLevels(255, size - 1, size - 1, out.data());
      e.GetDisplayLevels(255, size, size, out.data());
      if (out[size - 1] != 77 && out[size] == 77)
        return size;
    }
    return 0;
  };
  EXPECT_EQ(sizeAfter(1024), 1024);
  EXPECT_EQ(sizeAfter(524288), 524288);
  EXPECT_EQ(sizeAfter(1023), 524288);
  EXPECT_EQ(sizeAfter(0), 524288);
  EXPECT_EQ(sizeAfter(524289), 524288);
  EXPECT_EQ(sizeAfter(1500), 1024);
  EXPECT_EQ(sizeAfter(4095), 2048);
}

// A size in range that is not a power of two is rounded down, and a block of
// that many frames is then read for its first N frames only.
TEST(SpectrumEngine, NonPowerOfTwoSizeTransformsSafely)
{
  CSpectrumEngine e;
  Configure(e, 1, 3000);
  const auto db = RunBlock(e, ComplexTone(3000, 3000.0 / 2048.0 * 40.0, FULL), 2048);
  EXPECT_NEAR(db[2048 / 2 - 1 + 40], 0.0, 0.01);
}

TEST(SpectrumEngine, MirrorReversesDisplayBins)
{
  const int n = 2048;
  const auto block = ComplexTone(n, 100, 1e9, 1e8, 0.0);
  CSpectrumEngine e;
  Configure(e, 1, n);
  const auto plain = RunBlock(e, block, n);
  e.SetParameters(1, n, FINE_BOTTOM_DB, FINE_TOP_DB, 1, 0, WINDOW_HANN, 1, 0, PEAK_OFF, 0.0);
  const auto mirrored = ReadDb(e, n);
  for (int i = 0; i < n; ++i)
    ASSERT_EQ(mirrored[i], plain[n - 1 - i]) << i;
}

// Smoothing: a centred moving average over width + 1 display bins (width =
// fftSize * smoothing / 2000, even), cut short at both ends of the range.
TEST(SpectrumEngine, SmoothingAveragesNeighbouringLevels)
{
  const int n = 2048, nBins = n / 2;
  const auto block = RealTone(n, 3, FULL);
  CSpectrumEngine e;
  Configure(e, 0, n);
  const auto plain = RunBlock(e, block, nBins);
  // 2048 * 5 / 2000 = 5, lowest bit cleared: 4, so bins i - 2 .. i + 2.
  e.SetParameters(0, n, FINE_BOTTOM_DB, FINE_TOP_DB, 1, 5, WINDOW_HANN, 0, 0, PEAK_OFF, 0.0);
  std::vector<int> out(nBins);
  e.GetDisplayLevels(FINE_SCALE, 0, nBins - 1, out.data());
  for (int i = 0; i < nBins; ++i) {
    double sum = 0.0;
    int count = 0;
    for (int j = i - 2; j <= i + 2; ++j) {
      if (j >= 0 && j < nBins) {
        sum += plain[j];
        ++count;
      }
    }
    ASSERT_NEAR(FINE_TOP_DB + out[i] * 1e-6, sum / count, 1e-4) << i;
  }
  // A part of the range gives the same values as the whole.
  std::vector<int> part(nBins, 77);
  e.GetDisplayLevels(FINE_SCALE, 1, 6, part.data());
  for (int i = 1; i <= 6; ++i)
    EXPECT_EQ(part[i], out[i]) << i;
  EXPECT_EQ(part[0], 77);
  EXPECT_EQ(part[7], 77);
}

TEST(SpectrumEngine, CalibrationShiftsLevelsButNotTheFloor)
{
  const int n = 2048, bin = 50;
  CSpectrumEngine e;
  e.SetParameters(0, n, FINE_BOTTOM_DB, FINE_TOP_DB, 1, 0, WINDOW_HANN, 0, 0, PEAK_OFF, 6.0);
  const auto db = RunBlock(e, RealTone(n, bin, FULL), n / 2);
  EXPECT_NEAR(db[bin], 6.0, 0.01);
  const auto zero = RunBlock(e, std::vector<int32_t>(n, 0), n / 2);
  EXPECT_NEAR(zero[bin], -160.0, 1e-5);
}
