// Measures, on one generated 16-bit stereo file of at least 1 GiB:
//   - ReadBlock in blocks of 2048 frames against a plain read() loop of the
//     same block size in bytes;
//   - a segment copy (ReadBlock + WriteBlock) against a read() + write() loop.
// Each figure is the best of a few alternating passes; the ratios compare
// passes made in the same run on the same (cached) file.
//
// usage: bench_wave_io [FOLDER] [--mib N]    (default /tmp, 1024 MiB)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "wave/RiffWaveFile.h"

namespace {

constexpr int kBlockFrames = 2048;
constexpr int kChannels = 2;
constexpr int kBlockBytes = kBlockFrames * kChannels * 2; // 16-bit samples
constexpr int kPasses = 3;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

WAVEFORMATEX Stereo16()
{
    WAVEFORMATEX wf;
    wf.wFormatTag = 1;
    wf.nChannels = kChannels;
    wf.nSamplesPerSec = 48000;
    wf.wBitsPerSample = 16;
    wf.nBlockAlign = 4;
    wf.nAvgBytesPerSec = 192000;
    return wf;
}

// Real sample data for every frame (no holes), written through the writer.
bool Generate(const std::string& path, int64_t nFrames)
{
    CRiffWaveFile wave;
    const WAVEFORMATEX wf = Stereo16();
    if (wave.OpenOutput(path, &wf, kBlockFrames, 0, 0, nullptr) != WAVE_OK)
        return false;
    std::vector<int32_t> block(kBlockFrames * kChannels);
    uint64_t x = 0x243F6A8885A308D3ull;
    for (int64_t done = 0; done < nFrames; done += kBlockFrames) {
        for (int32_t& s : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            s = static_cast<int32_t>(static_cast<uint32_t>(x) & 0xFFFF0000u);
        }
        const int n = static_cast<int>(std::min<int64_t>(kBlockFrames, nFrames - done));
        if (wave.WriteBlock(block.data(), n) != n)
            return false;
    }
    wave.CloseOutput();
    return wave.m_nError == WAVE_OK;
}

// Returns bytes of sample data read; sum keeps the work from being optimised away.
int64_t ReadBlocks(const std::string& path, int64_t& sum)
{
    CRiffWaveFile wave;
    WAVEFORMATEX wf;
    AUXIINFO a;
    uint64_t frames = 0;
    if (wave.Open(path, &wf, kBlockFrames, &frames, 0, &a) != WAVE_OK)
        return -1;
    std::vector<int32_t> block(kBlockFrames * kChannels);
    int progress = 0;
    int64_t bytes = 0;
    while (wave.ReadBlock(block.data(), kBlockFrames, &progress) == kBlockFrames) {
        sum += block[0] + block[kBlockFrames * kChannels - 1];
        bytes += kBlockBytes;
    }
    return bytes;
}

int64_t ReadPlain(const std::string& path, int64_t& sum)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return -1;
    std::vector<uint8_t> buf(kBlockBytes);
    int64_t bytes = 0;
    for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) > 0;) {
        sum += buf[0] + buf[static_cast<size_t>(n) - 1];
        bytes += n;
    }
    ::close(fd);
    return bytes;
}

int64_t CopyBlocks(const std::string& src, const std::string& dst)
{
    CRiffWaveFile wave;
    WAVEFORMATEX wf;
    AUXIINFO a;
    uint64_t frames = 0;
    if (wave.Open(src, &wf, kBlockFrames, &frames, 0, &a) != WAVE_OK)
        return -1;
    if (wave.OpenOutput(dst, &wf, kBlockFrames, 0, 0, &a) != WAVE_OK)
        return -1;
    std::vector<int32_t> block(kBlockFrames * kChannels);
    int progress = 0;
    int64_t bytes = 0;
    while (wave.ReadBlock(block.data(), kBlockFrames, &progress) == kBlockFrames) {
        if (wave.WriteBlock(block.data(), kBlockFrames) != kBlockFrames)
            return -1;
        bytes += kBlockBytes;
    }
    wave.ClearAuxiRewrite();
    wave.CloseOutput();
    return wave.m_nError == WAVE_OK ? bytes : -1;
}

int64_t CopyPlain(const std::string& src, const std::string& dst)
{
    const int in = ::open(src.c_str(), O_RDONLY);
    const int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int64_t bytes = 0;
    if (in >= 0 && out >= 0) {
        std::vector<uint8_t> buf(kBlockBytes);
        for (ssize_t n; (n = ::read(in, buf.data(), buf.size())) > 0;) {
            if (::write(out, buf.data(), static_cast<size_t>(n)) != n) {
                bytes = -1;
                break;
            }
            bytes += n;
        }
    }
    if (in >= 0)
        ::close(in);
    if (out >= 0 && ::close(out) != 0)
        bytes = -1;
    return bytes;
}

// Throughput in MB/s (10^6 bytes per second) of one run of f; -1 when it failed.
template <typename F> double Rate(F f)
{
    const auto t0 = Clock::now();
    const int64_t bytes = f();
    const auto t1 = Clock::now();
    return bytes <= 0 ? -1.0 : static_cast<double>(bytes) / 1e6 / Seconds(t0, t1);
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder = "/tmp";
    int64_t mib = 1024;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--mib") && i + 1 < argc)
            mib = std::max<int64_t>(1, std::atoll(argv[++i]));
        else if (argv[i][0] == '-') {
            std::fprintf(stderr, "usage: bench_wave_io [FOLDER] [--mib N]\n");
            return 2;
        } else
            folder = argv[i];
    }
    const std::string src = folder + "/tavirel-bench-src-" + std::to_string(getpid()) + ".wav";
    const std::string dst = folder + "/tavirel-bench-dst-" + std::to_string(getpid()) + ".wav";
    const int64_t frames = mib * 1024 * 1024 / 4;

    std::printf("generating %lld MiB of 16-bit stereo in %s\n", static_cast<long long>(mib), src.c_str());
    if (!Generate(src, frames)) {
        std::fprintf(stderr, "bench_wave_io: could not write %s\n", src.c_str());
        ::unlink(src.c_str());
        return 1;
    }

    // The passes alternate, so drift in the page cache or the disk touches
    // baseline and subject alike; each keeps its best pass.
    int64_t sumA = 0, sumB = 0;
    double readPlain = 0, readBlocks = 0, copyPlain = 0, copyBlocks = 0;
    bool failed = false;
    const auto keep = [&failed](double& best, double rate) {
        failed = failed || rate < 0;
        best = std::max(best, rate);
    };
    for (int i = 0; i < kPasses; ++i) {
        keep(readPlain, Rate([&] { return ReadPlain(src, sumA); }));
        keep(readBlocks, Rate([&] { return ReadBlocks(src, sumB); }));
        ::unlink(dst.c_str());
        keep(copyPlain, Rate([&] { return CopyPlain(src, dst); }));
        ::unlink(dst.c_str());
        keep(copyBlocks, Rate([&] { return CopyBlocks(src, dst); }));
    }
    ::unlink(dst.c_str());
    ::unlink(src.c_str());
    if (failed) {
        std::fprintf(stderr, "bench_wave_io: a pass failed\n");
        return 1;
    }

    std::printf("read   plain read() %6d B      %8.0f MB/s\n", kBlockBytes, readPlain);
    std::printf("read   ReadBlock %d frames   %8.0f MB/s   ratio %.2f\n", kBlockFrames, readBlocks,
                readBlocks / readPlain);
    std::printf("copy   read()+write() %6d B    %8.0f MB/s\n", kBlockBytes, copyPlain);
    std::printf("copy   ReadBlock+WriteBlock       %8.0f MB/s   ratio %.2f\n", copyBlocks, copyBlocks / copyPlain);
    std::printf("(checksums %lld %lld)\n", static_cast<long long>(sumA), static_cast<long long>(sumB));
    return 0;
}
