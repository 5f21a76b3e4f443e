// A generated two-channel I/Q recording for trying the program without a
// receiver: steady carriers at known levels, a slow sweep and a little noise,
// with an "auxi" record giving its start and stop time and its tuning.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SystemTime.h"

struct DemoRecordingOptions {
    int nLengthSec = 90;
    uint32_t nSampleRate = 48000;                   // frames per second
    uint32_t dwCenterFreq = 7100000;                // Hz
    SYSTEMTIME stStart{2026, 6, 0, 21, 9, 5, 0, 0}; // local time
    bool bOverwrite = false;                        // replace an existing file at the path
};

// A steady carrier: its offset from the centre frequency and its level
// against full scale (a complex tone of amplitude 1 is 0 dBFS).
struct DemoCarrier {
    int nOffsetHz;
    double dLevelDbfs;
};
inline constexpr DemoCarrier kDemoCarriers[] = {
    {3000, -20.0},
    {-7500, -40.0},
    {12500, -60.0},
    {-18000, -30.0},
};
// The sweep runs linearly from kDemoSweepFromHz to kDemoSweepToHz over the
// whole recording.
inline constexpr int kDemoSweepFromHz = -22000;
inline constexpr int kDemoSweepToHz = 22000;
inline constexpr double kDemoSweepDbfs = -50.0;
// Gaussian noise, standard deviation of each of I and Q against full scale.
inline constexpr double kDemoNoiseDbfs = -75.0;

// Longest recording written: one hour, well inside the 4 GiB a RIFF file can hold.
inline constexpr int kDemoMaxLengthSec = 3600;

// Writes the recording as a 16-bit two-channel wave file at exactly path,
// block by block, as a temporary that gets the name once complete. Returns
// WAVE_OK or a wave result code: WAVE_ERR_CREATE when path exists and
// bOverwrite is not set (the file is left alone, even one made while the
// recording was written), WAVE_ERR_FORMAT for a length outside 1 to
// kDemoMaxLengthSec seconds or a rate the writer refuses, otherwise the
// writer's code. After any failure a file at path is as it was.
int WriteDemoRecording(const std::string& path, const DemoRecordingOptions& opt);
