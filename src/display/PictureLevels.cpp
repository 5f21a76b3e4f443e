#include "display/PictureLevels.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "dsp/SpectrumEngine.h"

namespace {

constexpr int kScale = 255;

// The level of the index v (-255 .. 0) on a scale from bottom to top at its
// upper edge (edge 0) or its middle (edge 0.5): the truncation toward zero
// gives v to every level in (top + (v - 1) step, top + v step].
double LevelOfIndex(int v, double bottom, double top, double edge)
{
    const double step = (top - bottom) / kScale;
    return v == -kScale ? bottom : top + (v - edge) * step;
}

} // namespace

PictureLevels MeasurePictureLevels(PlotRenderSetup setup, int workers)
{
    PictureLevels result;
    if (setup.width <= 0 || setup.height <= 0)
        return result;
    // Each pixel holds its index + 1; 0 is a pixel not drawn.
    std::vector<uint32_t> bits(static_cast<size_t>(setup.width) * static_cast<size_t>(setup.height), 0);
    for (uint32_t i = 0; i < 256; ++i)
        setup.pixels[i] = i + 1;
    setup.bits = reinterpret_cast<uint8_t*>(bits.data());
    setup.bytesPerLine = int64_t{setup.width} * 4;
    setup.refLevel = kMeasureTopDb;
    setup.bottomLevel = kPlotFloorDb;
    RenderPlotColumns(setup, workers, nullptr, {});

    std::array<int64_t, 257> counts{};
    for (uint32_t p : bits)
        ++counts[p];
    int64_t drawn = 0;
    int strongest = -1;
    for (int e = 1; e <= 256; ++e) {
        drawn += counts[static_cast<size_t>(e)];
        if (counts[static_cast<size_t>(e)] > 0)
            strongest = e - 1;
    }
    if (drawn == 0)
        return result;
    int64_t below = 0;
    int median = 0;
    while (below + counts[static_cast<size_t>(median + 1)] <= drawn / 2)
        below += counts[static_cast<size_t>(++median)];
    result.measured = true;
    result.strongestDb = LevelOfIndex(strongest - kScale, kPlotFloorDb, kMeasureTopDb, 0.0);
    result.noiseFloorDb = LevelOfIndex(median - kScale, kPlotFloorDb, kMeasureTopDb, 0.5);
    return result;
}

double MeanPowerDb(const PlotRenderSetup& setup, int64_t firstFrame, int64_t frames, int firstBin, int lastBin,
                   int64_t maxTransforms)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    if (!IsPictureFftSize(setup.fftSize) || firstBin < 0 || lastBin < firstBin || firstFrame < 0)
        return none;
    CSpectrumEngine engine;
    engine.SetParameters(setup.twoChannel, setup.fftSize, kPlotFloorDb, 0.0, 1, 0, setup.window, 0, 1, PEAK_OFF, 0.0);
    CRiffWaveFile reader;
    WAVEFORMATEX wf;
    AUXIINFO auxi;
    uint64_t total = 0;
    if (reader.Open(setup.path, &wf, setup.fftSize, &total, 0, &auxi) != WAVE_OK)
        return none;
    const int64_t all = std::max<int64_t>(1, (frames + setup.fftSize - 1) / setup.fftSize);
    const int64_t transforms = std::clamp<int64_t>(maxTransforms, 1, all);
    std::vector<int32_t> samples(2 * static_cast<size_t>(setup.fftSize));
    std::vector<double> powers(static_cast<size_t>(lastBin - firstBin) + 1);
    double sum = 0.0;
    int64_t count = 0;
    for (int64_t t = 0; t < transforms; ++t) {
        // Transform t of the `transforms` spread evenly over the `all` of the span.
        if (transforms < all || t == 0) {
            const int64_t at = t * (all / transforms) + t * (all % transforms) / transforms;
            reader.SeekFrame(firstFrame + at * setup.fftSize);
        }
        if (reader.ReadBlock(samples.data(), setup.fftSize, nullptr) != setup.fftSize)
            break;
        engine.LoadSamples(samples.data(), INT_MAX);
        engine.TransformPower(0);
        if (!engine.GetRelativePowers(firstBin, lastBin, powers.data()))
            return none;
        for (double p : powers)
            sum += p;
        count += static_cast<int64_t>(powers.size());
    }
    return count > 0 ? 10.0 * std::log10(sum / static_cast<double>(count)) : none;
}
