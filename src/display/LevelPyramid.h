// The level pyramid of a recording at one transform size and window: for
// columns of kPyramidBaseBlocks transforms, and for levels of kPyramidStep
// times coarser columns above, each display bin's strongest level as a code
// (dsp/LevelCode.h), which does not depend on the reference level, the range
// or the colour map. It may also hold the columns of one
// whole-recording picture (start 0, its width and zoom). Built by the render
// workers during a rendering of the whole recording, it lets any zoom of
// kPyramidBaseBlocks transforms per column or coarser be drawn without
// reading the recording.
//
// File: a header (magic, shape, the key it was made for, a checksum), then
// the levels from the finest up and the whole-recording columns. A column is
// its codes, 3 little-endian bytes each, and a checksum of them. A file of
// another key or shape, of the wrong size or with a damaged header is not
// opened; a damaged column fails the read that meets it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "display/PlotRender.h"

class CLevelIndex;

constexpr int kPyramidBaseBlocks = 64; // transforms per column of the finest level
constexpr int kPyramidStep = 4;        // columns of a level per column of the next

// Where everything stands in a pyramid file.
struct PyramidShape {
    int fftSize = 0; // frames per transform
    int bins = 0;
    int64_t blocks = 0; // transforms of the recording
    int levels = 0;
    int wholeWidth = 0, wholeZoom = 0; // the whole-recording picture's columns; 0: none
    int64_t headerBytes = 0;

    // levels for a recording of this many blocks: up to a single column.
    static int LevelsFor(int64_t blocks);
    int64_t ColumnBlocks(int level) const;
    // Columns of a level; level == levels: the whole-recording columns.
    int64_t Columns(int level) const;
    int64_t ColumnBytes() const;
    int64_t LevelOffset(int level) const;
    int64_t FileBytes() const;
};

// Reads a finished pyramid.
class CLevelPyramid {
public:
    CLevelPyramid() = default;
    ~CLevelPyramid();
    CLevelPyramid(const CLevelPyramid&) = delete;
    CLevelPyramid& operator=(const CLevelPyramid&) = delete;

    // Opens path when it holds a whole pyramid made for key, of bins display
    // bins over blocks transforms of fftSize frames; false (and closed) otherwise.
    bool Open(const std::string& path, const std::string& key, int fftSize, int bins, int64_t blocks);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    const PyramidShape& Shape() const { return m_shape; }
    // Reads the codes of columns [c0, c1) of a level (Shape().levels: the
    // whole-recording columns), bins per column; false when one cannot be
    // read or is damaged. raw is scratch space of the caller's (one per thread).
    bool ReadCodes(int level, int64_t c0, int64_t c1, std::vector<uint8_t>& raw, std::vector<uint32_t>& codes) const;

private:
    int m_fd = -1;
    PyramidShape m_shape;
};

// Writes a pyramid while a rendering of the whole recording runs. Every
// call but Begin and Finish may come from any worker thread.
class CLevelPyramidBuilder {
public:
    CLevelPyramidBuilder() = default;
    ~CLevelPyramidBuilder(); // an unfinished file is removed
    CLevelPyramidBuilder(const CLevelPyramidBuilder&) = delete;
    CLevelPyramidBuilder& operator=(const CLevelPyramidBuilder&) = delete;

    // Starts the pyramid in a temporary file beside path; false when it
    // cannot be written there (nothing is left behind).
    bool Begin(const std::string& path, const std::string& key, int fftSize, int bins, int64_t blocks, int wholeWidth,
               int wholeZoom);
    // The codes of nBlocks transforms of finest column `column`: all of its
    // transforms, or a part that is merged (per bin the strongest) with the rest.
    void AddBlocks(int64_t column, const uint32_t* codes, int nBlocks);
    // The codes of column x of the whole-recording picture.
    void AddWholeColumn(int x, const uint32_t* codes);
    // The rendering failed or was stopped: Finish names nothing.
    void Fail();
    // Builds the coarser levels and gives the file its name when every column
    // came and was written; otherwise removes it. Whether it was named.
    bool Finish();

private:
    bool WriteColumn(int level, int64_t column, const uint32_t* codes);
    bool BuildLevel(int level);
    void Discard();

    std::string m_path, m_tempPath;
    std::vector<uint8_t> m_header; // written when everything else is
    int m_fd = -1;
    PyramidShape m_shape;
    std::mutex m_lock;
    bool m_bFailed = false;
    int64_t m_nFinestDone = 0;
    int m_nWholeDone = 0;
    struct Part {
        std::vector<uint32_t> codes;
        int blocks = 0;
    };
    std::map<int64_t, Part> m_parts; // finest columns split between workers
};

// Maps codes onto colour indices exactly as the index mapping maps their
// levels: a table over the upper 16 bits of a code, with the exact mapping
// for the few cells that an index boundary crosses.
class CCodeIndexTable {
public:
    explicit CCodeIndexTable(const CLevelIndex& index);
    int Of(uint32_t code) const;

private:
    const CLevelIndex& m_index;
    std::vector<int16_t> m_cell; // index of a cell; kMixed where a boundary crosses it
};

// The transforms per column of the coarsest level whose columns divide zoom
// (a whole number of them per picture column); 0 when none does.
int64_t PyramidColumnFor(int zoom);

// Which level of the pyramid draws a window exactly: the coarsest whose
// columns divide both the first transform and the zoom, or the whole-recording
// columns; -1 when none does (the start is not on a transform, or the zoom or
// start is not a multiple of the finest column).
int PyramidLevelFor(const PyramidShape& shape, int64_t startFrame, int zoom, int width);

// Draws setup's window from the pyramid into setup.bits (nothing, -1, for a
// transform size other than the pyramid's). Exactly
// (PyramidLevelFor >= 0) or, when exact is false, as an approximation from the
// finest columns that overlap each picture column. Returns the first column
// not drawn because the recording ends before it (width when all are), -1
// when the pyramid could not be read.
int DrawFromPyramid(const CLevelPyramid& pyramid, const PlotRenderSetup& setup, const CLevelIndex& index, bool exact);
