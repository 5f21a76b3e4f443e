#include "band/BandExtract.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>
#include <vector>

#include "band/BandStream.h"
#include "platform/RiffReader.h"
#include "wave/RiffWaveFile.h"

namespace band {
namespace {

// Input frames a round covers (its outputs are held until the sink has them).
constexpr int64_t kRoundFrames = int64_t{1} << 22;
constexpr int64_t kMaxRoundOutputs = int64_t{1} << 19;
// The least input a worker's range covers, so that its warm-up stays small.
constexpr int64_t kMinRangeFrames = int64_t{1} << 16;

// One worker: its own bytes, stream and buffer, kept from round to round.
class CWorker {
public:
    CWorker(const BandPlan& plan, const BandInput& input) : m_plan(plan), m_input(input), m_stream(plan, input.codec)
    {
        m_nBytesPerFrame = samples::BytesPerSample(input.codec) * plan.source.nChannels;
    }

    // Outputs [a, b) into pOut (I/Q pairs). False on a read failure (m_nError).
    bool Run(int64_t nFromFrame, int64_t a, int64_t b, int64_t nBlockFrames, float* pOut)
    {
        const int64_t d = m_plan.nDecimation;
        int64_t frame = nFromFrame + a * d - m_plan.ReachBefore();
        const int64_t end = nFromFrame + (b - 1) * d + m_plan.ReachAfter() + 1;
        m_stream.Start(nFromFrame, frame);
        while (frame < end) {
            const int64_t n = std::min(nBlockFrames, end - frame);
            const int64_t pushed = PushFrames(frame, n);
            if (pushed < 0)
                return false;
            frame += pushed;
            Drain(a, b, pOut);
        }
        return m_stream.NextOutput() >= b;
    }

    int m_nError = WAVE_OK;
    int m_nErrno = 0;

private:
    // Pushes up to n frames from frame on (silence outside the recording);
    // returns how many, -1 on a read failure.
    int64_t PushFrames(int64_t frame, int64_t n)
    {
        if (frame < 0 || frame >= m_input.nFrames) {
            const int64_t m = frame < 0 ? std::min(n, -frame) : n;
            m_stream.PushSilence(m);
            return m;
        }
        const int64_t m = std::min(n, m_input.nFrames - frame);
        if (!m_source && !(m_source = m_input.open ? m_input.open() : nullptr)) {
            m_nError = WAVE_ERR_OPEN;
            m_nErrno = errno;
            return -1;
        }
        m_raw.resize(static_cast<size_t>(m * m_nBytesPerFrame));
        const int64_t bytes = m * m_nBytesPerFrame;
        errno = 0;
        const int64_t got =
            m_source->Seek(m_input.lDataOffset + frame * m_nBytesPerFrame) ? m_source->Read(m_raw.data(), bytes) : -1;
        if (got != bytes) {
            // A short read: the recording became shorter while it was read.
            m_nError = WAVE_ERR_READ;
            m_nErrno = got < 0 ? (errno != 0 ? errno : EIO) : 0;
            return -1;
        }
        m_stream.Push(m_raw.data(), m);
        return m;
    }

    // Moves the ready outputs of [a, b) into pOut, dropping those before a.
    void Drain(int64_t a, int64_t b, float* pOut)
    {
        const int64_t k = m_stream.NextOutput();
        if (k < a)
            m_stream.Pull(nullptr, a - k);
        const int64_t at = m_stream.NextOutput();
        if (at >= a && at < b)
            m_stream.Pull(pOut + 2 * (at - a), b - at);
    }

    const BandPlan& m_plan;
    const BandInput& m_input;
    CBandStream m_stream;
    std::unique_ptr<CByteSource> m_source;
    std::vector<uint8_t> m_raw;
    int m_nBytesPerFrame = 0;
};

// Runs the ranges [edges[i], edges[i+1]) of a round on workers[i], the first
// on the calling thread. False when one failed (its code in it).
bool RunRound(std::vector<std::unique_ptr<CWorker>>& workers, const std::vector<int64_t>& edges, const BandJob& job,
              int64_t r0, float* pOut)
{
    const size_t parts = edges.size() - 1;
    std::vector<char> ok(parts, 0);
    const auto run = [&](size_t i) {
        ok[i] = workers[i]->Run(job.nFromFrame, edges[i], edges[i + 1], job.nBlockFrames, pOut + 2 * (edges[i] - r0));
    };
    std::vector<std::thread> threads;
    size_t i = 1;
    for (; i < parts; ++i) {
        try {
            threads.emplace_back(run, i);
        } catch (const std::system_error&) {
            break; // the rest run here
        }
    }
    for (size_t k = i; k < parts; ++k)
        run(k);
    run(0);
    for (std::thread& t : threads)
        t.join();
    return std::all_of(ok.begin(), ok.end(), [](char c) { return c != 0; });
}

} // namespace

int64_t BandOutputFrames(int64_t nFromFrame, int64_t nToFrame, int nDecimation)
{
    if (nDecimation < 1 || nToFrame <= nFromFrame)
        return 0;
    return (nToFrame - nFromFrame) / nDecimation;
}

BandRunResult ExtractBand(const BandPlan& plan, const BandInput& input, const BandJob& job, const BandSink& sink)
{
    BandRunResult result;
    if (job.nOutFrames <= 0)
        return result;
    const int64_t d = plan.nDecimation;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int nWorkers = std::max(1, job.nWorkers > 0 ? job.nWorkers : cores);
    const int64_t roundOut = std::clamp<int64_t>(kRoundFrames / d, 1, kMaxRoundOutputs);
    const int64_t minRange = std::max<int64_t>(1, std::max(kMinRangeFrames, 16 * plan.ReachBefore()) / d);
    BandJob run = job;
    run.nBlockFrames = std::max<int64_t>(1, job.nBlockFrames);

    std::vector<std::unique_ptr<CWorker>> workers;
    std::vector<float> out(static_cast<size_t>(2 * std::min(roundOut, job.nOutFrames)));
    for (int64_t r0 = 0; r0 < job.nOutFrames; r0 += roundOut) {
        const int64_t count = std::min(roundOut, job.nOutFrames - r0);
        const int64_t parts = std::clamp<int64_t>(count / minRange, 1, nWorkers);
        std::vector<int64_t> edges;
        for (int64_t i = 0; i <= parts; ++i)
            edges.push_back(r0 + count * i / parts);
        while (workers.size() < static_cast<size_t>(parts))
            workers.push_back(std::make_unique<CWorker>(plan, input));
        if (!RunRound(workers, edges, run, r0, out.data())) {
            for (const auto& w : workers) {
                if (w->m_nError != WAVE_OK) {
                    result.nError = w->m_nError;
                    result.nErrno = w->m_nErrno;
                    break;
                }
            }
            if (result.nError == WAVE_OK)
                result.nError = WAVE_ERR_READ; // a range that fell short
            return result;
        }
        if (sink && !sink(out.data(), count)) {
            result.bCancelled = true;
            return result;
        }
        result.nFramesOut += count;
    }
    return result;
}

} // namespace band
