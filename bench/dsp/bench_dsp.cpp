// Times one display column (LoadSamples, Transform, GetDisplayLevels) at the
// plot's block size in one- and two-channel mode, and the FFT kernel alone. With
// FFTW available, FFTW's transform of the same size is timed in the same run and
// the ratio printed (above 1: the kernel is slower).
#include "dsp/FftKernel.h"
#include "dsp/SpectrumEngine.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#ifdef TAVIREL_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

constexpr int kBlockFrames = 2048;
constexpr int kRounds = 7;
constexpr double kRoundSec = 0.15;

double g_sink = 0.0; // keeps results alive so nothing is optimised away

// Median over kRounds of the time per call, each round long enough to time well.
template <typename Fn>
double SecondsPerCall(Fn&& fn)
{
    using Clock = std::chrono::steady_clock;
    int calls = 1;
    for (;;) {
        const auto t0 = Clock::now();
        for (int i = 0; i < calls; ++i)
            fn();
        const double sec = std::chrono::duration<double>(Clock::now() - t0).count();
        if (sec >= kRoundSec / 4)
            break;
        calls *= 2;
    }
    std::vector<double> perCall;
    for (int r = 0; r < kRounds; ++r) {
        const auto t0 = Clock::now();
        for (int i = 0; i < calls; ++i)
            fn();
        perCall.push_back(std::chrono::duration<double>(Clock::now() - t0).count() / calls);
    }
    std::sort(perCall.begin(), perCall.end());
    return perCall[kRounds / 2];
}

void Report(const char* what, double sec)
{
    std::printf("%-44s %9.2f us  %10.0f per second\n", what, sec * 1e6, 1.0 / sec);
}

// Noise at about -60 dBFS plus a -20 dBFS tone, like a quiet recording.
std::vector<int32_t> MakeBlock(int ints, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 2147483647.0 * 1e-3);
    std::vector<int32_t> block(ints);
    for (int i = 0; i < ints; ++i)
        block[i] = static_cast<int32_t>(noise(rng) + 2147483647.0 * 0.1 * std::cos(0.3 * i));
    return block;
}

double ColumnSeconds(int complex)
{
    CSpectrumEngine engine;
    engine.SetParameters(complex, kBlockFrames, -160.0, 0.0, 1, 0, WINDOW_HANN, 0, 1, PEAK_OFF, 0.0);
    const auto block = MakeBlock(complex ? 2 * kBlockFrames : kBlockFrames, 1);
    const int nBins = complex ? kBlockFrames : kBlockFrames / 2;
    std::vector<int> out(nBins);
    return SecondsPerCall([&] {
        engine.LoadSamples(block.data(), INT_MAX);
        engine.Transform();
        engine.GetDisplayLevels(255, 0, nBins - 1, out.data());
        g_sink += out[nBins / 3];
    });
}

int IntegerSqrt(int n)
{
    int r = 0;
    while ((r + 1) * (r + 1) <= n)
        ++r;
    return r;
}

// The kernel on a copy of the input each call (the transform is in place); the
// FFTW runs below pay the same copy.
double KernelSeconds(int complex, const std::vector<double>& input)
{
    const int n = complex ? 2 * kBlockFrames : kBlockFrames;
    std::vector<int> ip(2 + IntegerSqrt(kBlockFrames));
    std::vector<double> w(kBlockFrames / 2);
    std::vector<double> a(n);
    if (complex) {
        fft::MakeTwiddleTable(kBlockFrames / 2, ip.data(), w.data());
    } else {
        fft::MakeTwiddleTable(kBlockFrames / 4, ip.data(), w.data());
        fft::MakeCosineTable(kBlockFrames / 4, ip.data(), w.data() + kBlockFrames / 4);
    }
    return SecondsPerCall([&] {
        std::memcpy(a.data(), input.data(), n * sizeof(double));
        fft::BitReverse(n, ip.data() + 2, a.data());
        fft::ComplexForward(n, a.data(), w.data());
        if (!complex)
            fft::RealPostProcess(n, a.data(), kBlockFrames / 4, w.data() + kBlockFrames / 4);
        g_sink += a[6];
    });
}

#ifdef TAVIREL_HAVE_FFTW
// FFTW in place on a copy of the same input, planned with FFTW_MEASURE; the
// complex plan uses the same positive-exponent sign as the kernel.
double FftwSeconds(int complex, const std::vector<double>& input)
{
    const int n = complex ? 2 * kBlockFrames : kBlockFrames;
    // r2c in place needs room for N/2 + 1 complex outputs.
    const int doubles = complex ? n : n + 2;
    double* a = fftw_alloc_real(doubles);
    fftw_plan plan = complex ? fftw_plan_dft_1d(kBlockFrames, reinterpret_cast<fftw_complex*>(a),
                                                reinterpret_cast<fftw_complex*>(a), FFTW_BACKWARD, FFTW_MEASURE)
                             : fftw_plan_dft_r2c_1d(kBlockFrames, a, reinterpret_cast<fftw_complex*>(a), FFTW_MEASURE);
    const double sec = SecondsPerCall([&] {
        std::memcpy(a, input.data(), n * sizeof(double));
        fftw_execute(plan);
        g_sink += a[6];
    });
    fftw_destroy_plan(plan);
    fftw_free(a);
    return sec;
}
#endif

} // namespace

int main()
{
    std::printf("Block of %d frames (one display column)\n", kBlockFrames);
    Report("column, one channel (N/2 bins)", ColumnSeconds(0));
    Report("column, two channels I/Q (N bins)", ColumnSeconds(1));

    std::mt19937 rng(2);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> input(2 * kBlockFrames);
    for (double& v : input)
        v = u(rng);

    const double realSec = KernelSeconds(0, input);
    const double complexSec = KernelSeconds(1, input);
    Report("kernel, real transform of N samples", realSec);
    Report("kernel, complex transform of N points", complexSec);
#ifdef TAVIREL_HAVE_FFTW
    const double fftwRealSec = FftwSeconds(0, input);
    const double fftwComplexSec = FftwSeconds(1, input);
    Report("FFTW, r2c transform of N samples", fftwRealSec);
    Report("FFTW, complex transform of N points", fftwComplexSec);
    std::printf("ratio kernel / FFTW: real %.2f, complex %.2f\n", realSec / fftwRealSec, complexSec / fftwComplexSec);
#else
    std::printf("FFTW not found at build time: no baseline\n");
#endif
    std::printf("(checksum %g)\n", g_sink);
    return 0;
}
