// Measures, on one generated 16-bit stereo file of at least 1 GiB:
//   - ReadBlock in blocks of 2048 frames against a plain read() loop of the
//     same block size in bytes;
//   - a segment copy (ReadBlock + WriteBlock) against a read() + write() loop;
//   - a lossless cut (CopyFrames, the save without AGC) against a cp-like
//     read() + write() loop of 128 KiB and against copy_file_range of the
//     same bytes;
//   - opening a 6 GiB RF64 file against opening a plain RIFF one of the same
//     size (sparse files; header and chunk walk only).
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

constexpr int kChannels = 2;
constexpr int kBlockBytes = kWaveBlockFrames * kChannels * 2; // 16-bit samples
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
    if (wave.OpenOutput(path, &wf, kWaveBlockFrames, 0, 0, nullptr) != WAVE_OK)
        return false;
    std::vector<int32_t> block(kWaveBlockFrames * kChannels);
    uint64_t x = 0x243F6A8885A308D3ull;
    for (int64_t done = 0; done < nFrames; done += kWaveBlockFrames) {
        for (int32_t& s : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            s = static_cast<int32_t>(static_cast<uint32_t>(x) & 0xFFFF0000u);
        }
        const int n = static_cast<int>(std::min<int64_t>(kWaveBlockFrames, nFrames - done));
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
    if (wave.Open(path, &wf, kWaveBlockFrames, &frames, 0, &a) != WAVE_OK)
        return -1;
    std::vector<int32_t> block(kWaveBlockFrames * kChannels);
    int progress = 0;
    int64_t bytes = 0;
    while (wave.ReadBlock(block.data(), kWaveBlockFrames, &progress) == kWaveBlockFrames) {
        sum += block[0] + block[kWaveBlockFrames * kChannels - 1];
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

// Opens src for blocks and an output at dst in its format, planned for the
// whole data (bPlanned) or with the frame count left open (block writes).
bool OpenCopy(CRiffWaveFile& wave, const std::string& src, const std::string& dst, int nNameFlags, bool bPlanned)
{
    WAVEFORMATEX wf;
    AUXIINFO a;
    uint64_t frames = 0;
    return wave.Open(src, &wf, kWaveBlockFrames, &frames, 0, &a) == WAVE_OK &&
           wave.OpenOutput(dst, &wf, kWaveBlockFrames, 0, nNameFlags, &a, bPlanned ? wave.m_nDataFrames : 0) == WAVE_OK;
}

int64_t CopyBlocks(const std::string& src, const std::string& dst)
{
    CRiffWaveFile wave;
    wave.m_bSyncOutput = false; // the copy alone, as the plain loops
    if (!OpenCopy(wave, src, dst, 0, false))
        return -1;
    std::vector<int32_t> block(kWaveBlockFrames * kChannels);
    int progress = 0;
    int64_t bytes = 0;
    while (wave.ReadBlock(block.data(), kWaveBlockFrames, &progress) == kWaveBlockFrames) {
        if (wave.WriteBlock(block.data(), kWaveBlockFrames) != kWaveBlockFrames)
            return -1;
        bytes += kBlockBytes;
    }
    wave.ClearAuxiRewrite();
    wave.CloseOutput();
    return wave.m_nError == WAVE_OK ? bytes : -1;
}

// The save without AGC: the whole data copied as the source holds it.
int64_t CopyLossless(const std::string& src, const std::string& dst)
{
    CRiffWaveFile wave;
    wave.m_bSyncOutput = false; // the copy alone, as the plain loops
    if (!OpenCopy(wave, src, dst, 0, true))
        return -1;
    const int64_t copied = wave.CopyFrames(static_cast<int64_t>(wave.m_nDataFrames));
    wave.ClearAuxiRewrite();
    wave.CloseOutput();
    return copied > 0 && wave.m_nError == WAVE_OK ? copied * kChannels * 2 : -1;
}

// The save as the program makes it: a numbered segment of the whole data,
// written as a temporary, with or without fsync, then named. tailSec gets the
// time from the last block copied to the final name (sizes, fsync, naming).
int64_t CopySave(const std::string& src, const std::string& dstBase, bool bSync, double& tailSec)
{
    CRiffWaveFile wave;
    wave.m_bSyncOutput = bSync;
    if (!OpenCopy(wave, src, dstBase, NAME_NUMBERED, true))
        return -1;
    const int64_t copied = wave.CopyFrames(static_cast<int64_t>(wave.m_nDataFrames));
    const auto t0 = Clock::now();
    wave.ClearAuxiRewrite();
    wave.CloseOutput();
    tailSec = Seconds(t0, Clock::now());
    ::unlink(wave.m_strOutFile.c_str());
    return copied > 0 && wave.m_nError == WAVE_OK ? copied * kChannels * 2 : -1;
}

// copy_file_range of the whole file, as far as the kernel goes.
int64_t CopyKernel(const std::string& src, const std::string& dst)
{
    const int in = ::open(src.c_str(), O_RDONLY);
    const int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int64_t bytes = 0;
    if (in >= 0 && out >= 0) {
        for (ssize_t n; (n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0)) > 0;)
            bytes += n;
    }
    if (in >= 0)
        ::close(in);
    if (out >= 0 && ::close(out) != 0)
        bytes = -1;
    return bytes;
}

int64_t CopyPlain(const std::string& src, const std::string& dst, size_t nBufBytes = kBlockBytes, bool bSync = false)
{
    const int in = ::open(src.c_str(), O_RDONLY);
    const int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int64_t bytes = 0;
    if (in >= 0 && out >= 0) {
        std::vector<uint8_t> buf(nBufBytes);
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
    if (out >= 0 && bSync && ::fsync(out) != 0)
        bytes = -1;
    if (out >= 0 && ::close(out) != 0)
        bytes = -1;
    return bytes;
}

// Throughput in MB/s (10^6 bytes per second) of one run of f; -1 when it failed.
template <typename F>
double Rate(F f)
{
    const auto t0 = Clock::now();
    const int64_t bytes = f();
    const auto t1 = Clock::now();
    return bytes <= 0 ? -1.0 : static_cast<double>(bytes) / 1e6 / Seconds(t0, t1);
}

// A sparse 6 GiB 16-bit stereo file, RF64 or plain RIFF with 0xFFFFFFFF sizes.
bool WriteSparseSix(const std::string& path, bool bRf64)
{
    const int64_t dataBytes = 6LL << 30;
    std::vector<uint8_t> h;
    const auto u32 = [&h](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const auto id = [&h](const char* s) { h.insert(h.end(), s, s + 4); };
    id(bRf64 ? "RF64" : "RIFF");
    u32(0xFFFFFFFFu);
    id("WAVE");
    if (bRf64) {
        id("ds64");
        u32(28);
        for (uint64_t v : {uint64_t(dataBytes + 72), uint64_t(dataBytes), uint64_t(dataBytes / 4)}) {
            u32(static_cast<uint32_t>(v));
            u32(static_cast<uint32_t>(v >> 32));
        }
        u32(0);
    }
    id("fmt ");
    for (uint32_t v : {16u, 0x00020001u, 48000u, 192000u, 0x00100004u})
        u32(v);
    id("data");
    u32(0xFFFFFFFFu);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && ::write(fd, h.data(), h.size()) == static_cast<ssize_t>(h.size()) &&
                    ::ftruncate(fd, static_cast<off_t>(h.size()) + dataBytes) == 0;
    return fd >= 0 && ::close(fd) == 0 && ok;
}

// Opens per second of a file for 2048-frame blocks; -1 when an open failed.
double OpensPerSecond(const std::string& path)
{
    constexpr int kOpens = 2000;
    const auto t0 = Clock::now();
    for (int i = 0; i < kOpens; ++i) {
        CRiffWaveFile wave;
        WAVEFORMATEX wf;
        AUXIINFO a;
        uint64_t frames = 0;
        if (wave.Open(path, &wf, kWaveBlockFrames, &frames, 0, &a) != WAVE_OK || frames < (6ULL << 30) / 4)
            return -1;
    }
    return kOpens / Seconds(t0, Clock::now());
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
    double readPlain = 0, readBlocks = 0, copyPlain = 0, copyBlocks = 0, copyCp = 0, copyKernel = 0, copyCut = 0;
    double openPlain = 0, openRf64 = 0, saveSync = 0, saveNoSync = 0;
    double copyPlainSync = 0, tailSync = 1e9, tailNoSync = 1e9, tail = 0;
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
        ::unlink(dst.c_str());
        keep(copyCp, Rate([&] { return CopyPlain(src, dst, 128 * 1024); }));
        ::unlink(dst.c_str());
        keep(copyKernel, Rate([&] { return CopyKernel(src, dst); }));
        ::unlink(dst.c_str());
        keep(copyCut, Rate([&] { return CopyLossless(src, dst); }));
        ::unlink(dst.c_str());
        keep(copyPlainSync, Rate([&] { return CopyPlain(src, dst, kBlockBytes, true); }));
        ::unlink(dst.c_str());
        keep(saveSync, Rate([&] { return CopySave(src, dst, true, tail); }));
        tailSync = std::min(tailSync, tail);
        keep(saveNoSync, Rate([&] { return CopySave(src, dst, false, tail); }));
        tailNoSync = std::min(tailNoSync, tail);
    }
    // Header opens: the same sparse size as plain RIFF and as RF64.
    ::unlink(dst.c_str());
    if (WriteSparseSix(dst, false))
        keep(openPlain, OpensPerSecond(dst));
    if (WriteSparseSix(dst, true))
        keep(openRf64, OpensPerSecond(dst));
    ::unlink(dst.c_str());
    ::unlink(src.c_str());
    if (failed) {
        std::fprintf(stderr, "bench_wave_io: a pass failed\n");
        return 1;
    }

    std::printf("read   plain read() %6d B      %8.0f MB/s\n", kBlockBytes, readPlain);
    std::printf("read   ReadBlock %d frames   %8.0f MB/s   ratio %.2f\n", kWaveBlockFrames, readBlocks,
                readBlocks / readPlain);
    std::printf("copy   read()+write() %6d B    %8.0f MB/s\n", kBlockBytes, copyPlain);
    std::printf("copy   ReadBlock+WriteBlock       %8.0f MB/s   ratio %.2f\n", copyBlocks, copyBlocks / copyPlain);
    std::printf("cut    cp-like read()+write() 128 KiB %8.0f MB/s\n", copyCp);
    std::printf("cut    copy_file_range            %8.0f MB/s\n", copyKernel);
    std::printf("cut    CopyFrames (no AGC)         %8.0f MB/s   ratio %.2f to cp-like, %.2f to copy_file_range\n",
                copyCut, copyCut / copyCp, copyCut / copyKernel);
    std::printf("save   read()+write(), fsync      %8.0f MB/s   ratio %.2f to read()+write()\n", copyPlainSync,
                copyPlainSync / copyPlain);
    std::printf("save   temporary, fsync, named    %8.0f MB/s   ratio %.2f to read()+write(), %.2f to it with fsync\n",
                saveSync, saveSync / copyPlain, saveSync / copyPlainSync);
    std::printf("save   temporary, named, no fsync %8.0f MB/s   ratio %.2f to read()+write()\n", saveNoSync,
                saveNoSync / copyPlain);
    std::printf("save   last block to final name   %8.3f s with fsync, %.3f s without\n", tailSync, tailNoSync);
    std::printf("open   plain RIFF 6 GiB           %8.0f opens/s\n", openPlain);
    std::printf("open   RF64 6 GiB                 %8.0f opens/s   ratio %.2f\n", openRf64, openRf64 / openPlain);
    std::printf("(checksums %lld %lld)\n", static_cast<long long>(sumA), static_cast<long long>(sumB));
    return 0;
}
