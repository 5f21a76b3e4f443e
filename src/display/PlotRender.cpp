#include "display/PlotRender.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "dsp/SpectrumEngine.h"
#include "wave/RiffWaveFile.h"

namespace {

constexpr int kScale = 255;
constexpr int kMinSpan = 8;        // columns a worker takes at least at a time
constexpr int kSpansPerWorker = 8; // spans per worker, so that workers finish together
constexpr int kTileColumns = 16;   // one 64-byte cache line of 32-bit pixels

int SpanColumns(int width, int workers)
{
    return std::max(kMinSpan, width / std::max(1, workers * kSpansPerWorker));
}

// State shared by the workers of one rendering.
struct Shared {
    const PlotRenderSetup& setup;
    const std::atomic<bool>* cancel;
    const PlotColumnsDone& onDone;
    int span;
    std::atomic<int> next{0}; // first column of the next span to take
    std::atomic<int> missing; // first column not drawn
};

void LowerTo(std::atomic<int>& value, int x)
{
    int seen = value.load();
    while (x < seen && !value.compare_exchange_weak(seen, x)) {
    }
}

// One worker: its own engine, reader and buffers.
class Worker {
public:
    explicit Worker(Shared& shared) : m_shared(shared), m_setup(shared.setup)
    {
        m_engine.SetParameters(m_setup.twoChannel, m_setup.fftSize, m_setup.bottomLevel, m_setup.refLevel, 1, 0,
                               m_setup.window, 0, 1, PEAK_OFF, 0.0);
        m_samples.assign(2 * static_cast<size_t>(m_setup.fftSize), 0);
        // The bins that fall on one row are neighbours: one group per row drawn.
        const int* const rows = m_setup.rowOfBin.data();
        for (int i = 0; i < m_setup.bins; ++i) {
            if (i == 0 || rows[i] != rows[i - 1]) {
                m_groupBounds.push_back(i);
                m_groupRows.push_back(rows[i]);
            }
        }
        m_groupBounds.push_back(m_setup.bins);
        m_levels.assign(m_groupRows.size(), -kScale);
        m_tile.assign(m_groupRows.size() * kTileColumns, 0);
    }

    void Run()
    {
        WAVEFORMATEX wf;
        AUXIINFO auxi;
        uint64_t frames = 0;
        const bool opened = m_reader.Open(m_setup.path, &wf, m_setup.fftSize, &frames, 0, &auxi) == WAVE_OK;
        for (;;) {
            const int x0 = m_shared.next.fetch_add(m_shared.span);
            if (x0 >= m_setup.width || x0 >= m_shared.missing.load() || Cancelled())
                return;
            const int x1 = std::min(m_setup.width, x0 + m_shared.span);
            const int end = opened && m_reader.m_bInOpen ? DrawSpan(x0, x1) : x0;
            if (end > x0 && m_shared.onDone)
                m_shared.onDone(x0, end);
            if (end < x1 && !Cancelled()) {
                LowerTo(m_shared.missing, end);
                return;
            }
        }
    }

private:
    bool Cancelled() const { return m_shared.cancel && m_shared.cancel->load(std::memory_order_relaxed); }

    // Draws columns x0 .. x1 - 1; returns the first column not drawn.
    int DrawSpan(int x0, int x1)
    {
        m_reader.SeekFrame(m_setup.startFrame + x0 * int64_t{m_setup.zoom} * m_setup.fftSize);
        for (int t0 = x0; t0 < x1; t0 += kTileColumns) {
            const int t1 = std::min(x1, t0 + kTileColumns);
            int x = t0;
            bool ended = false;
            while (x < t1 && !ended) {
                const int blocks = Cancelled() ? 0 : ReadColumn();
                if (blocks == 0)
                    break;
                DrawColumn(x - t0);
                ended = blocks < m_setup.zoom; // the source ended inside this column
                ++x;
            }
            CopyTile(t0, x);
            if (x < t1 || ended)
                return x;
        }
        return x1;
    }

    // Reads and transforms the blocks of one column; returns how many there were.
    int ReadColumn()
    {
        int blocks = 0;
        while (blocks < m_setup.zoom &&
               m_reader.ReadBlock(m_samples.data(), m_setup.fftSize, nullptr) == m_setup.fftSize) {
            m_engine.LoadSamples(m_samples.data(), INT_MAX);
            m_engine.TransformPower(blocks > 0);
            ++blocks;
        }
        // A row shows its first bin, or with strongest bins the strongest of its bins.
        if (blocks > 0)
            m_engine.GetPowerLevelsOfGroups(kScale, m_groupBounds.data(), static_cast<int>(m_groupRows.size()),
                                            m_setup.rowMode == PLOT_ROWS_STRONGEST_BIN, m_levels.data());
        return blocks;
    }

    // Columns are drawn into a tile of kTileColumns pixels for each row that
    // a bin falls on, which is put into the picture a row at a time: drawing
    // down one column of the picture itself would touch a cache line per row.
    // Rows that no bin falls on are left as they are.
    void CopyTile(int t0, int t1)
    {
        const size_t bytes = static_cast<size_t>(t1 - t0) * sizeof(uint32_t);
        for (size_t g = 0; g < m_groupRows.size() && bytes > 0; ++g) {
            uint8_t* const line = m_setup.bits + m_groupRows[g] * m_setup.bytesPerLine;
            std::memcpy(reinterpret_cast<uint32_t*>(line) + t0, m_tile.data() + g * kTileColumns, bytes);
        }
    }

    // Draws the levels into column `column` of the tile.
    void DrawColumn(int column)
    {
        for (size_t g = 0; g < m_groupRows.size(); ++g) {
            const int index = std::clamp(m_levels[g] + kScale, 0, 255);
            m_tile[g * kTileColumns + static_cast<size_t>(column)] = m_setup.pixels[static_cast<size_t>(index)];
        }
    }

    Shared& m_shared;
    const PlotRenderSetup& m_setup;
    CSpectrumEngine m_engine;
    CRiffWaveFile m_reader;
    std::vector<int32_t> m_samples;
    std::vector<int> m_groupBounds; // first bin of each row drawn, then the number of bins
    std::vector<int> m_groupRows;   // the row of each group
    std::vector<int> m_levels;      // colour index of each group in the column being drawn
    std::vector<uint32_t> m_tile;   // kTileColumns pixels for each group
};

} // namespace

int PlotWorkerCount(int width)
{
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const int spans = (std::max(width, 1) + kMinSpan - 1) / kMinSpan;
    return std::clamp(cores, 1, spans);
}

int RenderPlotColumns(const PlotRenderSetup& setup, int workers, const std::atomic<bool>* cancel,
                      const PlotColumnsDone& onDone)
{
    if (setup.width <= 0 || setup.height <= 0 || !setup.bits || setup.bins < 1 ||
        setup.rowOfBin.size() < static_cast<size_t>(setup.bins) || !IsPictureFftSize(setup.fftSize) ||
        setup.bins > (setup.twoChannel ? setup.fftSize : setup.fftSize / 2))
        return 0;
    workers = std::max(1, workers);
    Shared shared{setup, cancel, onDone, SpanColumns(setup.width, workers), {}, {}};
    shared.missing = setup.width;
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) {
        try {
            threads.emplace_back([&shared] { Worker(shared).Run(); });
        } catch (const std::system_error&) {
            break; // fewer workers; the calling thread still renders
        }
    }
    Worker(shared).Run();
    for (std::thread& t : threads)
        t.join();
    return shared.missing.load();
}
