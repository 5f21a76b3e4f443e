// CSpectrumEngine: turns one block of 32-bit integer samples into one column of
// display values. Per block it windows the samples, runs the forward FFT, takes
// every bin's level in bels relative to digital full scale, folds it into a
// per-bin running average and, on request, maps the averaged levels onto colour
// indices from -scale (at or below the bottom of the scale) to 0 (at or above
// the top).
//
// One-channel mode: a real transform of N samples, N/2 display bins from 0 Hz up
// (display bin b is b * fs / N; the Nyquist bin is not kept).
// Two-channel mode: frames are I/Q pairs, a complex transform of N points and N
// display bins; display bin i is (i - N/2 + 1) * fs / N, so DC is display bin
// N/2 - 1 and +fs/2 is display bin N - 1.
//
// Calling order per block: LoadSamples, Transform, GetDisplayLevels.
// SetParameters may be called at any time between blocks.
//
// Power path, for a column drawn from one or more blocks: per block
// LoadSamples then TransformPower (the first block of the column with combine
// 0, the others with 1), then once per column GetPowerLevels. A column's value
// per bin is the largest power of its blocks; one block gives exactly the
// indices GetDisplayLevels gives with one block in the average. The power path
// leaves the averages and the peaks alone and ignores smoothing and mirroring.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "dsp/LevelIndex.h"

// Windows. The rectangular and the Blackman-Harris window are scaled to the
// Hann window's coherent gain (0.5), so a tone centred on a bin reads the same
// level under each of them; the Hamming window keeps its own (0.54).
enum { WINDOW_RECTANGULAR = 0, WINDOW_HAMMING = 1, WINDOW_HANN = 2, WINDOW_BLACKMAN_HARRIS = 3 };
enum { PEAK_OFF = 0, PEAK_MAX = 1, PEAK_SNAPSHOT = 2 };

class CSpectrumEngine {
public:
    CSpectrumEngine();
    virtual ~CSpectrumEngine();

    CSpectrumEngine(const CSpectrumEngine&) = delete;
    CSpectrumEngine& operator=(const CSpectrumEngine&) = delete;

    // complex: 1 = two-channel I/Q input, 0 = one channel. fftSize: N, a power of
    // two from 1024 to 524288, or 256 or 512; any other size below 1024 or above
    // 524288 becomes 524288, and one from 1024 to 524288 that is not a power of two
    // is rounded down to one. bottomDb/topDb:
    // the levels shown as -scale and as 0. averages: blocks in the running average
    // (values <= 0 mean 1). smoothing: across-bin smoothing width in 1/2000 of
    // fftSize. windowType: WINDOW_*. mirror: reversed display bin order.
    // suppressDc: patch DC and its two neighbours (two-channel mode). peakMode:
    // PEAK_*. calibDb: offset added to every level.
    void SetParameters(int complex, int fftSize, double bottomDb, double topDb, int averages, int smoothing,
                       int windowType, int mirror, int suppressDc, int peakMode, double calibDb);
    void ResetAverage();
    void ResetPeakHold();
    // Windows one block of N frames (N ints, or 2N interleaved I/Q ints) into the
    // work array, in the bit-reversed order the transform starts from. A sample above limit sets the overload flag.
    // Returns the number of blocks transformed since the last reset, before this block.
    int LoadSamples(const int32_t* samples, int limit);
    void Transform();
    // Writes out[first..last] (indexed by absolute display bin) and returns the
    // overload flag. With last >= the number of display bins nothing is written.
    int GetDisplayLevels(int scale, int first, int last, int* out);
    // Transforms the loaded block and stores |X|^2 of every display bin
    // (combine 0) or keeps, per bin, the larger of the stored and the new power
    // (combine 1).
    void TransformPower(int combine);
    // Writes out[first..last] from the stored powers, as GetDisplayLevels does,
    // and returns the overload flag of the last loaded block.
    int GetPowerLevels(int scale, int first, int last, int* out);
    // The same for groups of neighbouring display bins, group g being the bins
    // bounds[g] .. bounds[g + 1] - 1 (bounds rising, bounds[groups] at most the
    // number of display bins): out[g] is the index of the group's first bin or,
    // with strongest, its largest index (that of its largest power).
    int GetPowerLevelsOfGroups(int scale, const int* bounds, int groups, int strongest, int* out);
    // The stored powers of display bins first..last as fractions of full
    // scale (10 log10 of one is its level in dB, without the floor), in
    // out[0 .. last - first]; false when the bins are out of range.
    bool GetRelativePowers(int first, int last, double* out);

private:
    void ResetAverageLocked();
    void ResetPeakHoldLocked();
    void AllocateLocked();
    void BuildWindowLocked();
    // Folds the level of one spectrum value into display bin b.
    void FoldLevel(int b, double re, double im);
    // Transforms m_work as I/Q points and patches DC when asked to.
    void TransformComplexLocked();
    // Transforms m_work and calls fold(display bin, re, im) for every bin.
    template <typename Fold>
    void TransformLocked(Fold&& fold);
    // Bins shown in the current mode: N (two channels) or N/2.
    int DisplayBinCount() const;
    void ConfigureIndexLocked(int scale);
    double DisplayLevel(int i, int nBins) const;

    int m_bCaptureArmed = 0;    // a peak snapshot is taken in the current level pass
    int m_bCaptureRequest = 0;  // a peak snapshot is wanted for the next block
    int m_bSuppressDc = 0;      // patch the DC bin and its neighbours (two-channel mode)
    int m_bComplex = 0;         // 1 = two-channel I/Q input and complex transform
    int m_bOverload = 0;        // a sample of the last loaded block exceeded the limit
    int m_bMirror = 0;          // read display bins in reversed order
    int m_nPeakMode = -1;       // PEAK_*; -1 before the first configuration
    int m_nSmoothWidth = 0;     // across-bin smoothing width in bins (even)
    int m_nBlocksInAverage = 0; // blocks in the current average, capped at m_nAverages
    int m_nBlocksSeen = 0;      // blocks transformed since the last reset
    int m_nAppliedAverages = 1; // averaging length of the last reset
    int m_nWindowType = -1;     // window held in m_window; -1 forces a rebuild
    int m_nFftSize = 1024;      // N, frames per block
    int m_nAllocSize = 0;       // N the buffers were made for; 0 forces reallocation
    int m_nAverages = 1;        // averaging length, at least 1
    double m_dTopBels = 0.0;    // top of the display scale in bels
    double m_dBottomBels = 0.0; // bottom of the display scale in bels
    double m_dScaleGain = 0.0;  // 10 / (top dB - bottom dB)
    double m_dPowerFloor = 0.0; // power added to every bin before the logarithm
    double m_dOffsetBels = 0.0; // full-scale normalisation plus calibration, in bels
    double m_dCalibDb = 0.0;    // calibration offset in dB

    std::vector<int> m_bitrev;        // FFT work area: table sizes, bit-reversal offsets
    std::vector<double> m_twiddle;    // N/2: twiddles, then (one channel) the cosine table
    std::vector<double> m_window;     // N window coefficients
    std::vector<int> m_loadOrder;     // per transform point, in bit-reversed order: the offset of its two samples
    std::vector<double> m_loadWindow; // two window values per transform point, in the same order
    std::vector<double> m_average;    // N averaged levels in bels, by display bin
    std::vector<double> m_accum;      // N running sums behind m_average
    std::vector<double> m_work;       // 2N (two-channel) or N doubles, transformed in place
    std::vector<double> m_peak;       // N peak-hold levels in bels; empty with PEAK_OFF
    std::vector<double> m_power;      // N powers of the power path, by display bin
    std::vector<double> m_groupPower; // one power per group of GetPowerLevelsOfGroups
    CLevelIndex m_index;              // maps levels and powers onto display indices
    mutable std::mutex m_lock;        // guards everything above
};
