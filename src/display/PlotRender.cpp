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
        m_levels.assign(static_cast<size_t>(m_setup.bins), -kScale);
        m_tile.assign(static_cast<size_t>(m_setup.height) * kTileColumns, 0);
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
            CopyTile(t0, t1, false);
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
            CopyTile(t0, x, true);
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
        if (blocks > 0)
            m_engine.GetPowerLevels(kScale, 0, m_setup.bins - 1, m_levels.data());
        return blocks;
    }

    // Columns are drawn into a tile of kTileColumns pixels per row, which is
    // taken from and put back into the picture a row at a time: drawing down
    // one column of the picture itself would touch a cache line per row.
    void CopyTile(int t0, int t1, bool toPicture)
    {
        const size_t bytes = static_cast<size_t>(t1 - t0) * sizeof(uint32_t);
        for (int y = 0; y < m_setup.height && bytes > 0; ++y) {
            uint32_t* const line = reinterpret_cast<uint32_t*>(m_setup.bits + y * m_setup.bytesPerLine) + t0;
            uint32_t* const tile = m_tile.data() + static_cast<size_t>(y) * kTileColumns;
            if (toPicture)
                std::memcpy(line, tile, bytes);
            else
                std::memcpy(tile, line, bytes);
        }
    }

    void Put(int column, int row, int level)
    {
        const int index = std::clamp(level + kScale, 0, 255);
        m_tile[static_cast<size_t>(row) * kTileColumns + static_cast<size_t>(column)] =
            m_setup.pixels[static_cast<size_t>(index)];
    }

    // Draws the levels into column `column` of the tile.
    void DrawColumn(int column)
    {
        const int* const rows = m_setup.rowOfBin.data();
        const int n = m_setup.bins;
        if (m_setup.rowMode == PLOT_ROWS_STRONGEST_BIN) {
            // The bins of one row are neighbours: its strongest is known at its last bin.
            int best = INT_MIN;
            for (int i = 0; i < n; ++i) {
                best = (i > 0 && rows[i - 1] == rows[i]) ? std::max(best, m_levels[i]) : m_levels[i];
                if (i + 1 == n || rows[i + 1] != rows[i])
                    Put(column, rows[i], best);
            }
            return;
        }
        // Only the first bin that falls on a row is drawn on it.
        int lastRow = -1;
        for (int i = 0; i < n; ++i) {
            if (rows[i] == lastRow)
                continue;
            lastRow = rows[i];
            Put(column, lastRow, m_levels[i]);
        }
    }

    Shared& m_shared;
    const PlotRenderSetup& m_setup;
    CSpectrumEngine m_engine;
    CRiffWaveFile m_reader;
    std::vector<int32_t> m_samples;
    std::vector<int> m_levels;
    std::vector<uint32_t> m_tile; // height rows of kTileColumns pixels
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
