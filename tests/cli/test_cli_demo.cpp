// The demonstration recording: a one-second I/Q file whose carriers stand at
// their offsets and levels, with no mirror images; and a file at its path that
// stays as it was unless --overwrite replaces it with a whole recording.
#include <cmath>
#include <complex>
#include <numbers>

#include "cli/DemoRecording.h"
#include "cli/CliRun.h"
#include "wave/wave_test_util.h"

TEST(Demo, RecordingCarriers)
{
    TempFolder dir;
    ASSERT_EQ(WriteDemoRecording(dir / "demo.wav", DemoRecordingOptions{.nLengthSec = 1}), WAVE_OK);
    CRiffWaveFile w;
    const OpenResult r = OpenBytes(w, Bytes(ReadFile(dir / "demo.wav")), 48000);
    ASSERT_EQ(r.rc, WAVE_OK);
    EXPECT_EQ(std::make_tuple(r.wf.nChannels, r.wf.nSamplesPerSec, r.auxi.dwCenterFreq),
              std::make_tuple(2, 48000u, 7100000u));
    std::vector<int32_t> iq(2 * 48000);
    int progress = 0;
    ASSERT_EQ(w.ReadBlock(iq.data(), 48000, &progress), 48000);
    const auto level = [&](double hz) {
        std::complex<double> acc;
        for (int n = 0; n < 48000; ++n)
            acc += std::complex<double>(iq[2 * n], iq[2 * n + 1]) *
                   std::polar(1.0, -2 * std::numbers::pi * hz * n / 48000);
        return 20 * std::log10(std::abs(acc) / 48000 / 2147418112.0);
    };
    for (const DemoCarrier& c : kDemoCarriers) {
        EXPECT_NEAR(level(c.nOffsetHz), c.dLevelDbfs, 0.5) << c.nOffsetHz;
        EXPECT_LT(level(-c.nOffsetHz), -85.0) << c.nOffsetHz; // no image
    }
}

TEST(Demo, AFailedOrRefusedDemoLeavesAnExistingFileAsItWas)
{
    TempFolder dir;
    const std::string keep = dir / "keep.wav";
    const std::vector<uint8_t> old{'k', 'e', 'e', 'p'};
    const struct {
        const char* what;
        std::function<int()> run; // the exit status, or WriteDemoRecording's code
        int status;
        bool bReplaced;
    } rows[] = {
        {"--overwrite past the file size limit",
         [&] { return RunCli({"demo", "--overwrite", keep}, "ulimit -f 200; trap '' XFSZ; ").status; }, 1, false},
        {"without --overwrite", [&] { return RunCli({"demo", "--seconds", "1", keep}).status; }, 1, false},
        {"named without replacing, whatever a check before found",
         [&] { return WriteDemoRecording(keep, DemoRecordingOptions{.nLengthSec = 1}); }, WAVE_ERR_CREATE, false},
        {"--overwrite with room", [&] { return RunCli({"demo", "--overwrite", "--seconds", "1", keep}).status; }, 0,
         true},
    };
    for (const auto& r : rows) {
        ASSERT_TRUE(riff::WriteFile(keep, old));
        EXPECT_EQ(r.run(), r.status) << r.what;
        EXPECT_EQ(riff::ReadFile(keep) == old, !r.bReplaced) << r.what;
        EXPECT_EQ(faultfs::Names(dir.path.string()), std::set<std::string>{"keep.wav"}) << r.what;
    }
}
