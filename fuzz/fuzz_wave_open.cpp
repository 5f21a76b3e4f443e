// Feeds arbitrary bytes to the wave reader: open from memory, read every block,
// seek, and the same in wrap mode and header-only. Any crash, hang, leak or
// undefined behaviour is a finding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/RiffReader.h"
#include "wave/RiffWaveFile.h"

namespace {

// Small blocks so that short inputs still span several of them.
constexpr int kBlockFrames = 16;

void ReadAll(CRiffWaveFile& w, int nMaxBlocks)
{
    std::vector<int32_t> block(kBlockFrames * 2);
    int progress = 0;
    for (int i = 0; i < nMaxBlocks; ++i) {
        if (i == 3)
            w.SeekSeconds(0);
        if (i == 5)
            w.SeekSeconds(-1);
        if (i == 7)
            w.SeekSeconds(1);
        if (w.ReadBlock(block.data(), kBlockFrames, &progress) != kBlockFrames)
            break;
        (void)w.GetPositionSeconds();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WAVEFORMATEX wf;
    uint64_t frames = 0;
    AUXIINFO auxi;
    CRiffWaveFile w;
    if (w.Open(std::make_unique<CMemoryByteSource>(data, size), &wf, kBlockFrames, &frames, 0, &auxi) == WAVE_OK)
        ReadAll(w, 8192);
    // Wrap mode never meets an end: the number of blocks bounds it.
    if (w.Open(std::make_unique<CMemoryByteSource>(data, size), &wf, kBlockFrames, &frames, -1, &auxi) == WAVE_OK)
        ReadAll(w, 64);
    w.Open(std::make_unique<CMemoryByteSource>(data, size), &wf, 0, &frames, 3, &auxi);
    std::vector<int32_t> block(kBlockFrames * 2);
    int progress = 0;
    w.ReadBlock(block.data(), kBlockFrames, &progress); // closed again: -1
    return 0;
}
