// Spectrogram columns rendered by several workers at once. Each worker has its
// own engine and its own reader of the source (opened on the same path), takes
// spans of columns in turn and writes only the pixels of its own columns, so
// the picture is the same, byte for byte, whatever the number of workers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "doc/PictureSettings.h"
#include "wave/RiffWaveFile.h"

// What a row of the picture shows when several display bins fall on it.
enum { PLOT_ROWS_FIRST_BIN = 0, PLOT_ROWS_STRONGEST_BIN = 1 };

// The lowest level of the colour scale, dB.
constexpr double kPlotFloorDb = kPictureFloorDb;

// One rendering, fixed before the workers start.
struct PlotRenderSetup {
    std::string path;                  // the source, opened once per worker
    int twoChannel = 0;                // I/Q frames
    double refLevel = 0.0;             // reference level in dB (colour index 0)
    double bottomLevel = kPlotFloorDb; // level of colour index -255, dB, below refLevel
    int fftSize = kWaveBlockFrames;    // frames per transform (kPictureFft*Size)
    int window = WINDOW_HANN;          // WINDOW_*
    int64_t startFrame = 0;            // first frame of column 0
    int zoom = 1;                      // transforms per column, at least 1
    int bins = 1;                      // display bins drawn, 1 .. fftSize
    int rowMode = PLOT_ROWS_FIRST_BIN;
    int width = 0, height = 0;          // picture size in pixels
    std::vector<int> rowOfBin;          // picture row of each display bin
    std::array<uint32_t, 256> pixels{}; // 32-bit pixel of each colour index
    uint8_t* bits = nullptr;            // the picture's first byte, 32-bit pixels
    int64_t bytesPerLine = 0;
};

// Called from the workers as spans [x0, x1) of columns are finished.
using PlotColumnsDone = std::function<void(int x0, int x1)>;

// The number of workers for a picture of width columns: the machine's cores,
// one on a one-core machine, never more than the spans there are.
int PlotWorkerCount(int width);

// Renders columns 0 .. width - 1 with the given number of workers (1 renders
// in the calling thread). Stops early once *cancel is set (cancel may be
// null). Returns the first column not drawn because the source ended or could
// not be read (width when every column was drawn); the columns from there on
// are left as they were. onDone may be empty.
int RenderPlotColumns(const PlotRenderSetup& setup, int workers, const std::atomic<bool>* cancel,
                      const PlotColumnsDone& onDone);
