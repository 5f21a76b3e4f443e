// Band extraction throughput on one generated 16-bit I/Q file (page cache
// warm), at D = 64 with the narrowest transition the default decimation
// allows (a band 0.8 of the output rate wide) and an 80 dB stopband:
//   - ExtractBand with one worker and with one per core;
//   - liquid-dsp in the same run, over the same bytes read the same way:
//     nco_crcf mixing and a single-stage firdecim_crcf of a Kaiser design
//     with the same transition and stopband, one thread and one per core;
//     and a liquid cascade of the same kind as ours (resamp2_crcf half-bands,
//     then a firdecim_crcf), one thread.
// Each figure is the best of a few passes; it prints the ratios and the
// filter designs (taps per stage).
//
// usage: bench_band [FOLDER] [--mib N]    (default /tmp, 1024 MiB)
#include <algorithm>
#include <chrono>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <liquid/liquid.h>

#include "band/BandExtract.h"
#include "band/BandPlan.h"
#include "platform/RiffReader.h"
#include "wave/RiffWaveFile.h"

namespace {

constexpr uint32_t kRate = 2048000;
constexpr int kDecimation = 64;
constexpr int kPasses = 3;
constexpr int64_t kBlockFrames = int64_t{1} << 16;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// A 16-bit I/Q recording of noise and a few tones, written through the writer.
bool Generate(const std::string& path, int64_t nFrames, int64_t* pDataOffset)
{
    CRiffWaveFile wave;
    WAVEFORMATEX wf;
    wf.wFormatTag = 1;
    wf.nChannels = 2;
    wf.nSamplesPerSec = kRate;
    wf.wBitsPerSample = 16;
    wave.m_bSyncOutput = false;
    if (wave.OpenOutput(path, &wf, kWaveBlockFrames, 0, 0, nullptr, static_cast<uint64_t>(nFrames)) != WAVE_OK)
        return false;
    std::vector<int32_t> block(2 * kWaveBlockFrames);
    uint64_t x = 0x243F6A8885A308D3ull;
    for (int64_t done = 0; done < nFrames; done += kWaveBlockFrames) {
        for (int32_t& v : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            v = static_cast<int32_t>(static_cast<uint32_t>(x) & 0xFFFF0000u) >> 2;
        }
        if (wave.WriteBlock(block.data(), kWaveBlockFrames) != kWaveBlockFrames)
            return false;
    }
    wave.CloseOutput();
    CRiffWaveFile in;
    AUXIINFO auxi;
    uint64_t frames = 0;
    if (in.Open(path, &wf, kWaveBlockFrames, &frames, 0, &auxi) != WAVE_OK)
        return false;
    *pDataOffset = in.m_lDataStart;
    return true;
}

void WarmCache(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buf(1 << 22);
    while (fd >= 0 && ::read(fd, buf.data(), buf.size()) > 0) {
    }
    if (fd >= 0)
        ::close(fd);
}

// Our extractor over the frames [0, nFrames); frames per second.
double RunOurs(const band::BandPlan& plan, const band::BandInput& input, int workers)
{
    band::BandJob job;
    job.nFromFrame = plan.ReachBefore();
    job.nOutFrames = (input.nFrames - 2 * plan.ReachBefore()) / plan.nDecimation;
    job.nWorkers = workers;
    double sink = 0;
    const auto t0 = Clock::now();
    const band::BandRunResult r = band::ExtractBand(plan, input, job, [&](const float* p, int64_t n) {
        sink += p[2 * (n - 1)];
        return true;
    });
    const double s = Seconds(t0, Clock::now());
    if (r.nError != 0 || sink == 12345.0)
        std::fprintf(stderr, "extraction failed: %d\n", r.nError);
    return static_cast<double>(job.nOutFrames * plan.nDecimation) / s;
}

// The 16-bit frames [first, first + n) of the file as complex floats, one block at a time.
template <typename Work>
bool ReadComplex(int fd, int64_t dataOffset, int64_t first, int64_t n, Work work)
{
    std::vector<int16_t> raw(static_cast<size_t>(2 * kBlockFrames));
    std::vector<liquid_float_complex> x(static_cast<size_t>(kBlockFrames));
    for (int64_t done = 0; done < n; done += kBlockFrames) {
        const int64_t m = std::min(kBlockFrames, n - done);
        const auto bytes = static_cast<size_t>(4 * m);
        if (::pread(fd, raw.data(), bytes, static_cast<off_t>(dataOffset + 4 * (first + done))) !=
            static_cast<ssize_t>(bytes))
            return false;
        for (int64_t i = 0; i < m; ++i)
            x[static_cast<size_t>(i)] = {raw[static_cast<size_t>(2 * i)] / 32768.0f,
                                         raw[static_cast<size_t>(2 * i + 1)] / 32768.0f};
        work(x.data(), m);
    }
    return true;
}

// The single-stage liquid design: a Kaiser low-pass with our last stage's
// band edges, at the input rate.
std::vector<float> LiquidSingleTaps(double passHz, double stopHz, float as)
{
    const float df = static_cast<float>((stopHz - passHz) / kRate);
    unsigned n = estimate_req_filter_len(df, as);
    n |= 1;
    std::vector<float> h(n);
    liquid_firdes_kaiser(n, static_cast<float>((passHz + stopHz) / 2.0 / kRate), as, 0.0f, h.data());
    return h;
}

// liquid-dsp, single stage, frames [first, first + n) of the file.
bool LiquidSingle(const std::vector<float>& taps, const std::string& path, int64_t dataOffset, int64_t first, int64_t n,
                  double mixHz)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    nco_crcf nco = nco_crcf_create(LIQUID_NCO);
    nco_crcf_set_frequency(nco, static_cast<float>(2.0 * M_PI * mixHz / kRate));
    firdecim_crcf q =
        firdecim_crcf_create(kDecimation, const_cast<float*>(taps.data()), static_cast<unsigned>(taps.size()));
    std::vector<liquid_float_complex> y(static_cast<size_t>(kBlockFrames / kDecimation));
    const bool ok = ReadComplex(fd, dataOffset, first, n, [&](liquid_float_complex* x, int64_t m) {
        nco_crcf_mix_block_down(nco, x, x, static_cast<unsigned>(m));
        firdecim_crcf_execute_block(q, x, static_cast<unsigned>(m / kDecimation), y.data());
    });
    firdecim_crcf_destroy(q);
    nco_crcf_destroy(nco);
    ::close(fd);
    return ok;
}

// liquid-dsp as a cascade: five resamp2_crcf half-bands, then firdecim_crcf by 2.
bool LiquidCascade(const band::BandPlan& plan, const std::string& path, int64_t dataOffset, int64_t n, double mixHz)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    nco_crcf nco = nco_crcf_create(LIQUID_NCO);
    nco_crcf_set_frequency(nco, static_cast<float>(2.0 * M_PI * mixHz / kRate));
    std::vector<resamp2_crcf> halves;
    for (const band::BandStage& s : plan.stages) {
        if (s.bHalfBand) // semi-length m: 4 m + 1 taps; ours has 4 K - 1
            halves.push_back(resamp2_crcf_create(static_cast<unsigned>((s.taps.size() + 1) / 4), 0.0f, 84.0f));
    }
    std::vector<float> last(plan.stages.back().taps);
    firdecim_crcf q = firdecim_crcf_create(2, last.data(), static_cast<unsigned>(last.size()));
    std::vector<liquid_float_complex> y(static_cast<size_t>(kBlockFrames));
    const bool ok = ReadComplex(fd, dataOffset, 0, n, [&](liquid_float_complex* x, int64_t m) {
        nco_crcf_mix_block_down(nco, x, x, static_cast<unsigned>(m));
        for (resamp2_crcf h : halves) {
            for (int64_t i = 0; i < m / 2; ++i)
                resamp2_crcf_decim_execute(h, x + 2 * i, x + i);
            m /= 2;
        }
        firdecim_crcf_execute_block(q, x, static_cast<unsigned>(m / 2), y.data());
    });
    for (resamp2_crcf h : halves)
        resamp2_crcf_destroy(h);
    firdecim_crcf_destroy(q);
    nco_crcf_destroy(nco);
    ::close(fd);
    return ok;
}

// Runs work on nThreads threads, each over its share of nFrames; frames per second.
template <typename Work>
double Threaded(int nThreads, int64_t nFrames, Work work)
{
    const auto t0 = Clock::now();
    std::vector<std::thread> threads;
    const int64_t share = nFrames / nThreads / kBlockFrames * kBlockFrames;
    for (int i = 0; i < nThreads; ++i)
        threads.emplace_back([&, i] { work(i * share, share); });
    for (std::thread& t : threads)
        t.join();
    return static_cast<double>(share * nThreads) / Seconds(t0, Clock::now());
}

void PrintPlan(const char* name, const band::BandPlan& plan)
{
    std::printf("%s: D = %d, output rate %u Hz, stages (factor: taps):", name, plan.nDecimation, plan.nOutputRate);
    for (const band::BandStage& s : plan.stages)
        std::printf(" %d%s:%zu", s.nFactor, s.bHalfBand ? "hb" : "", s.taps.size());
    std::printf(", %d taps in all\n", plan.TotalTaps());
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder = "/tmp";
    int64_t mib = 1024;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--mib") && i + 1 < argc)
            mib = std::max<int64_t>(16, std::atoll(argv[++i]));
        else
            folder = argv[i];
    }
    const std::string path = folder + "/bench_band.wav";
    const int64_t nFrames = mib * 1024 * 1024 / 4;
    int64_t dataOffset = 0;
    if (!Generate(path, nFrames, &dataOffset)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    WarmCache(path);

    const double outRate = static_cast<double>(kRate) / kDecimation;
    const double width = outRate / band::kRateMargin;
    const double mid = 300000.0;
    band::BandPlan plan;
    band::DesignBand(band::SourceSpectrum{kRate, 2, 0}, mid - width / 2, mid + width / 2, kDecimation, &plan);
    PrintPlan("ours", plan);
    const std::vector<float> single = LiquidSingleTaps(width / 2, outRate / 2, 84.0f);
    std::printf("liquid single stage: firdecim_crcf by %d, %zu taps\n", kDecimation, single.size());

    band::BandInput input;
    input.open = [&] { return std::unique_ptr<CByteSource>(CFileByteSource::Open(path)); };
    input.lDataOffset = dataOffset;
    input.nFrames = nFrames;
    input.codec = samples::Codec::S16;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

    double ours1 = 0, oursN = 0, liq1 = 0, liqN = 0, cascade = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        ours1 = std::max(ours1, RunOurs(plan, input, 1));
        oursN = std::max(oursN, RunOurs(plan, input, cores));
        const int64_t liquidFrames = std::min<int64_t>(nFrames, int64_t{1} << 24); // it is slow: a part is enough
        liq1 = std::max(liq1, Threaded(1, liquidFrames, [&](int64_t f, int64_t n) {
                            LiquidSingle(single, path, dataOffset, f, n, mid);
                        }));
        liqN = std::max(liqN, Threaded(cores, liquidFrames, [&](int64_t f, int64_t n) {
                            LiquidSingle(single, path, dataOffset, f, n, mid);
                        }));
        cascade = std::max(cascade, Threaded(1, std::min<int64_t>(nFrames, int64_t{1} << 26), [&](int64_t, int64_t n) {
                               LiquidCascade(plan, path, dataOffset, n, mid);
                           }));
    }
    ::unlink(path.c_str());
    std::printf("input frames per second (millions), %d cores, 16-bit I/Q, D = %d, 80 dB:\n", cores, kDecimation);
    std::printf("  ours, 1 worker            %8.1f\n", ours1 / 1e6);
    std::printf("  ours, %d workers           %8.1f\n", cores, oursN / 1e6);
    std::printf("  liquid single stage, 1    %8.1f   ours/liquid %.1fx\n", liq1 / 1e6, ours1 / liq1);
    std::printf("  liquid single stage, %d    %8.1f   ours/liquid %.1fx\n", cores, liqN / 1e6, oursN / liqN);
    std::printf("  liquid cascade, 1         %8.1f   ours/liquid %.1fx\n", cascade / 1e6, ours1 / cascade);
    return 0;
}
