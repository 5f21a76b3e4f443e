#include "display/LevelPyramid.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>
#include <thread>

#include "dsp/LevelCode.h"
#include "dsp/LevelIndex.h"
#include "wave/RiffWaveFile.h"

namespace {

const char kMagic[8] = {'T', 'V', 'P', 'Y', 'R', 'A', 'M', '2'};
constexpr int kCodeBytes = 3;
constexpr int kSumBytes = 4;
constexpr int64_t kHeaderFixed = 52;  // magic and the shape's fields, before the key
constexpr size_t kMaxKeyBytes = 4096; // a longer key is no key of ours
constexpr int64_t kBuildChunk = 256;  // columns read at a time while a coarser level is built
constexpr int16_t kMixed = INT16_MIN; // a table cell that an index boundary crosses

void Put(std::vector<uint8_t>& b, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint64_t Get(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint64_t{p[i]} << (8 * i);
    return v;
}

// A checksum that changes with any one byte changed and with most larger
// damage: the sum of 8-byte words, each times an odd number of its own.
uint32_t Checksum(const uint8_t* p, size_t n)
{
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ n;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h += w * (2 * i + 1);
    }
    for (; i < n; ++i)
        h += uint64_t{p[i]} * (0x100000001B3ULL + 2 * i);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ULL;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

bool PwriteAll(int fd, const void* p, size_t n, int64_t at)
{
    const auto* b = static_cast<const uint8_t*>(p);
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, b, n, at);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        b += w;
        n -= static_cast<size_t>(w);
        at += w;
    }
    return true;
}

bool PreadAll(int fd, void* p, size_t n, int64_t at)
{
    auto* b = static_cast<uint8_t*>(p);
    while (n > 0) {
        const ssize_t r = ::pread(fd, b, n, at);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        b += r;
        n -= static_cast<size_t>(r);
        at += r;
    }
    return true;
}

std::vector<uint8_t> HeaderBytes(const PyramidShape& s, const std::string& key)
{
    std::vector<uint8_t> h(kMagic, kMagic + 8);
    Put(h, static_cast<uint64_t>(s.headerBytes), 8);
    Put(h, static_cast<uint32_t>(s.bins), 4);
    Put(h, static_cast<uint32_t>(s.fftSize), 4);
    Put(h, static_cast<uint64_t>(s.blocks), 8);
    Put(h, static_cast<uint32_t>(s.levels), 4);
    Put(h, static_cast<uint32_t>(s.wholeWidth), 4);
    Put(h, static_cast<uint32_t>(s.wholeZoom), 4);
    Put(h, key.size(), 8);
    h.insert(h.end(), key.begin(), key.end());
    Put(h, Checksum(h.data(), h.size()), kSumBytes);
    return h;
}

int64_t HeaderSize(size_t keyBytes)
{
    return kHeaderFixed + static_cast<int64_t>(keyBytes) + kSumBytes;
}

// Codes of one column into its file form (codes, then their checksum).
void PackColumn(const uint32_t* codes, int bins, uint8_t* out)
{
    for (int i = 0; i < bins; ++i) {
        out[kCodeBytes * i] = static_cast<uint8_t>(codes[i]);
        out[kCodeBytes * i + 1] = static_cast<uint8_t>(codes[i] >> 8);
        out[kCodeBytes * i + 2] = static_cast<uint8_t>(codes[i] >> 16);
    }
    const size_t n = static_cast<size_t>(bins) * kCodeBytes;
    const uint32_t sum = Checksum(out, n);
    std::memcpy(out + n, &sum, kSumBytes);
}

bool UnpackColumn(const uint8_t* in, int bins, uint32_t* codes)
{
    const size_t n = static_cast<size_t>(bins) * kCodeBytes;
    uint32_t sum;
    std::memcpy(&sum, in + n, kSumBytes);
    if (sum != Checksum(in, n))
        return false;
    for (int i = 0; i < bins; ++i)
        codes[i] = uint32_t{in[kCodeBytes * i]} | uint32_t{in[kCodeBytes * i + 1]} << 8 |
                   uint32_t{in[kCodeBytes * i + 2]} << 16;
    return true;
}

// Reads columns [c0, c1) of a level into codes; false when one cannot be read or is damaged.
bool ReadColumns(int fd, const PyramidShape& shape, int level, int64_t c0, int64_t c1, std::vector<uint8_t>& raw,
                 std::vector<uint32_t>& codes)
{
    if (fd < 0 || level < 0 || level > shape.levels || c0 < 0 || c1 > shape.Columns(level) || c0 > c1)
        return false;
    const int64_t columnBytes = shape.ColumnBytes();
    const size_t n = static_cast<size_t>((c1 - c0) * columnBytes);
    raw.resize(n);
    codes.resize(static_cast<size_t>(c1 - c0) * static_cast<size_t>(shape.bins));
    if (!PreadAll(fd, raw.data(), n, shape.LevelOffset(level) + c0 * columnBytes))
        return false;
    for (int64_t c = 0; c < c1 - c0; ++c)
        if (!UnpackColumn(raw.data() + c * columnBytes, shape.bins, codes.data() + c * shape.bins))
            return false;
    return true;
}

void MaxInto(uint32_t* acc, const uint32_t* codes, int n)
{
    for (int i = 0; i < n; ++i)
        acc[i] = std::max(acc[i], codes[i]);
}

} // namespace

// ---- PyramidShape ----

int PyramidShape::LevelsFor(int64_t blocks)
{
    int levels = 1;
    for (int64_t columnBlocks = kPyramidBaseBlocks; columnBlocks < blocks && levels < 16; columnBlocks *= kPyramidStep)
        ++levels;
    return levels;
}

int64_t PyramidShape::ColumnBlocks(int level) const
{
    if (level >= levels)
        return wholeZoom;
    int64_t c = kPyramidBaseBlocks;
    for (int l = 0; l < level; ++l)
        c *= kPyramidStep;
    return c;
}

int64_t PyramidShape::Columns(int level) const
{
    if (level >= levels)
        return wholeWidth;
    const int64_t c = ColumnBlocks(level);
    return (blocks + c - 1) / c;
}

int64_t PyramidShape::ColumnBytes() const
{
    return int64_t{bins} * kCodeBytes + kSumBytes;
}

int64_t PyramidShape::LevelOffset(int level) const
{
    int64_t at = headerBytes;
    for (int l = 0; l < level; ++l)
        at += Columns(l) * ColumnBytes();
    return at;
}

int64_t PyramidShape::FileBytes() const
{
    return LevelOffset(levels) + Columns(levels) * ColumnBytes();
}

// ---- CLevelPyramid ----

CLevelPyramid::~CLevelPyramid()
{
    Close();
}

void CLevelPyramid::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_shape = {};
}

bool CLevelPyramid::Open(const std::string& path, const std::string& key, int fftSize, int bins, int64_t blocks)
{
    Close();
    if (key.size() > kMaxKeyBytes || fftSize <= 0 || bins <= 0 || blocks <= 0)
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    std::vector<uint8_t> h(static_cast<size_t>(HeaderSize(key.size())));
    PyramidShape s;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && PreadAll(fd, h.data(), h.size(), 0) &&
              std::memcmp(h.data(), kMagic, 8) == 0;
    if (ok) {
        s.headerBytes = static_cast<int64_t>(Get(&h[8], 8));
        s.bins = static_cast<int>(Get(&h[16], 4));
        s.fftSize = static_cast<int>(Get(&h[20], 4));
        s.blocks = static_cast<int64_t>(Get(&h[24], 8));
        s.levels = static_cast<int>(Get(&h[32], 4));
        s.wholeWidth = static_cast<int>(Get(&h[36], 4));
        s.wholeZoom = static_cast<int>(Get(&h[40], 4));
        // Everything the file says is checked against what it must be before it is used.
        ok = s.headerBytes == static_cast<int64_t>(h.size()) && s.bins == bins && s.fftSize == fftSize &&
             s.blocks == blocks && s.levels == PyramidShape::LevelsFor(blocks) && s.wholeWidth >= 0 &&
             s.wholeZoom >= 0 && (s.wholeWidth == 0) == (s.wholeZoom == 0) && s.wholeWidth <= 1 << 20 &&
             HeaderBytes(s, key) == h && static_cast<int64_t>(st.st_size) == s.FileBytes();
    }
    if (!ok) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_shape = s;
    return true;
}

bool CLevelPyramid::ReadCodes(int level, int64_t c0, int64_t c1, std::vector<uint8_t>& raw,
                              std::vector<uint32_t>& codes) const
{
    return ReadColumns(m_fd, m_shape, level, c0, c1, raw, codes);
}

// ---- CLevelPyramidBuilder ----

CLevelPyramidBuilder::~CLevelPyramidBuilder()
{
    Discard();
}

void CLevelPyramidBuilder::Discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_tempPath.c_str());
    }
    m_fd = -1;
}

bool CLevelPyramidBuilder::Begin(const std::string& path, const std::string& key, int fftSize, int bins, int64_t blocks,
                                 int wholeWidth, int wholeZoom)
{
    Discard();
    if (path.empty() || key.size() > kMaxKeyBytes || fftSize <= 0 || bins <= 0 || blocks <= 0 || wholeWidth < 0 ||
        wholeZoom < 0)
        return false;
    m_shape = {};
    m_shape.fftSize = fftSize;
    m_shape.bins = bins;
    m_shape.blocks = blocks;
    m_shape.levels = PyramidShape::LevelsFor(blocks);
    m_shape.wholeWidth = wholeZoom > 0 ? wholeWidth : 0;
    m_shape.wholeZoom = wholeWidth > 0 ? wholeZoom : 0;
    m_shape.headerBytes = HeaderSize(key.size());
    m_path = path;
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.part", random());
    m_tempPath = path + suffix;
    m_fd = ::open(m_tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return false;
    const std::vector<uint8_t> header = HeaderBytes(m_shape, key);
    // The header is written last, so that a file cut short never looks whole.
    if (::ftruncate(m_fd, m_shape.FileBytes()) != 0) {
        Discard();
        return false;
    }
    m_header = header;
    m_bFailed = false;
    m_nFinestDone = 0;
    m_nWholeDone = 0;
    m_parts.clear();
    return true;
}

bool CLevelPyramidBuilder::WriteColumn(int level, int64_t column, const uint32_t* codes)
{
    std::vector<uint8_t> packed(static_cast<size_t>(m_shape.ColumnBytes()));
    PackColumn(codes, m_shape.bins, packed.data());
    return PwriteAll(m_fd, packed.data(), packed.size(), m_shape.LevelOffset(level) + column * m_shape.ColumnBytes());
}

void CLevelPyramidBuilder::AddBlocks(int64_t column, const uint32_t* codes, int nBlocks)
{
    if (m_fd < 0 || column < 0 || column >= m_shape.Columns(0) || nBlocks <= 0)
        return;
    const int64_t full = std::min<int64_t>(kPyramidBaseBlocks, m_shape.blocks - column * kPyramidBaseBlocks);
    std::vector<uint32_t> merged;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bFailed)
            return;
        if (nBlocks < full) {
            Part& part = m_parts[column];
            if (part.codes.empty())
                part.codes.assign(codes, codes + m_shape.bins);
            else
                MaxInto(part.codes.data(), codes, m_shape.bins);
            part.blocks += nBlocks;
            if (part.blocks < full)
                return;
            merged = std::move(part.codes);
            m_parts.erase(column);
            codes = merged.data();
        }
    }
    const bool written = WriteColumn(0, column, codes);
    std::lock_guard<std::mutex> guard(m_lock);
    m_bFailed = m_bFailed || !written;
    m_nFinestDone += written;
}

void CLevelPyramidBuilder::AddWholeColumn(int x, const uint32_t* codes)
{
    if (m_fd < 0 || x < 0 || x >= m_shape.wholeWidth)
        return;
    const bool written = WriteColumn(m_shape.levels, x, codes);
    std::lock_guard<std::mutex> guard(m_lock);
    m_bFailed = m_bFailed || !written;
    m_nWholeDone += written;
}

void CLevelPyramidBuilder::Fail()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bFailed = true;
}

bool CLevelPyramidBuilder::BuildLevel(int level)
{
    const int bins = m_shape.bins;
    const int64_t below = m_shape.Columns(level - 1);
    std::vector<uint8_t> raw;
    std::vector<uint32_t> codes, column(static_cast<size_t>(bins));
    bool ok = true;
    for (int64_t c0 = 0; c0 < below && ok; c0 += kBuildChunk * kPyramidStep) {
        const int64_t c1 = std::min(below, c0 + kBuildChunk * kPyramidStep);
        ok = ReadColumns(m_fd, m_shape, level - 1, c0, c1, raw, codes);
        for (int64_t c = c0; c < c1 && ok; c += kPyramidStep) {
            std::fill(column.begin(), column.end(), 0u);
            for (int64_t k = c; k < std::min(c1, c + kPyramidStep); ++k)
                MaxInto(column.data(), codes.data() + (k - c0) * bins, bins);
            ok = WriteColumn(level, c / kPyramidStep, column.data());
        }
    }
    return ok;
}

bool CLevelPyramidBuilder::Finish()
{
    if (m_fd < 0)
        return false;
    bool ok = !m_bFailed && m_nFinestDone == m_shape.Columns(0) && m_nWholeDone == m_shape.wholeWidth;
    for (int level = 1; level < m_shape.levels && ok; ++level)
        ok = BuildLevel(level);
    ok = ok && PwriteAll(m_fd, m_header.data(), m_header.size(), 0);
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    if (ok && ::rename(m_tempPath.c_str(), m_path.c_str()) == 0)
        return true;
    ::unlink(m_tempPath.c_str());
    return false;
}

// ---- CCodeIndexTable ----

CCodeIndexTable::CCodeIndexTable(const CLevelIndex& index) : m_index(index), m_cell(size_t{1} << 16)
{
    for (uint32_t hi = 0; hi < (1u << 16); ++hi) {
        const int lo = index.OfLevel(LevelOfCode(hi << 8));
        const int top = index.OfLevel(LevelOfCode((hi << 8) | 0xFF));
        m_cell[hi] = lo == top ? static_cast<int16_t>(lo) : kMixed;
    }
}

int CCodeIndexTable::Of(uint32_t code) const
{
    const int16_t cell = m_cell[(code >> 8) & 0xFFFF];
    return cell != kMixed ? cell : m_index.OfLevel(LevelOfCode(code));
}

// ---- drawing ----

int64_t PyramidColumnFor(int zoom)
{
    int64_t best = 0;
    for (int64_t c = kPyramidBaseBlocks; c <= zoom; c *= kPyramidStep)
        if (zoom % c == 0)
            best = c;
    return best;
}

int PyramidLevelFor(const PyramidShape& shape, int64_t startFrame, int zoom, int width)
{
    // The whole-recording columns stand for a picture at least as wide (its further columns are black).
    if (shape.wholeZoom > 0 && startFrame == 0 && zoom == shape.wholeZoom && width >= shape.wholeWidth &&
        (shape.blocks + zoom - 1) / zoom == shape.wholeWidth)
        return shape.levels;
    if (shape.fftSize <= 0 || startFrame % shape.fftSize != 0)
        return -1;
    const int64_t startBlock = startFrame / shape.fftSize;
    for (int level = shape.levels - 1; level >= 0; --level) {
        const int64_t c = shape.ColumnBlocks(level);
        if (c <= zoom && zoom % c == 0 && startBlock % c == 0)
            return level;
    }
    return -1;
}

namespace {

constexpr int kBatchColumns = 64; // picture columns drawn per read of the pyramid

// The finest columns of `level` that picture column x covers: [First(x), End(x)),
// cut at the recording's end; Past(x): column x lies after the recording.
struct LevelColumns {
    const PyramidShape& shape;
    const PlotRenderSetup& setup;
    int level;
    int64_t startBlock;
    int64_t c;

    bool Whole() const { return level == shape.levels; }
    int64_t First(int x) const { return Whole() ? x : (startBlock + int64_t{x} * setup.zoom) / c; }
    int64_t End(int x) const
    {
        if (Whole())
            return int64_t{x} + 1;
        const int64_t blocks = std::min(shape.blocks, startBlock + (int64_t{x} + 1) * setup.zoom);
        return (blocks + c - 1) / c;
    }
    bool Past(int x) const
    {
        return Whole() ? x >= shape.wholeWidth : startBlock + int64_t{x} * setup.zoom >= shape.blocks;
    }
};

// Puts one column's levels into the tile: per row the first bin on it, or the
// strongest of its bins (the largest code); marks the rows it drew.
void ColumnIntoTile(const PlotRenderSetup& setup, const CCodeIndexTable& table, const uint32_t* column, int bins,
                    uint8_t* out, std::vector<int>& used)
{
    int lastRow = -1;
    uint32_t best = 0;
    for (int i = 0; i < bins; ++i) {
        const int row = setup.rowOfBin[static_cast<size_t>(i)];
        if (setup.rowMode == PLOT_ROWS_STRONGEST_BIN) {
            best = (i > 0 && row == lastRow) ? std::max(best, column[i]) : column[i];
            lastRow = row;
            if (i + 1 < bins && setup.rowOfBin[static_cast<size_t>(i) + 1] == row)
                continue;
        } else {
            if (row == lastRow)
                continue;
            lastRow = row;
            best = column[i];
        }
        out[static_cast<size_t>(row) * kBatchColumns] = static_cast<uint8_t>(table.Of(best) + 255);
        used[static_cast<size_t>(row)] = 1;
    }
}

// Copies the tile's columns [b0, b1) into the picture; rows no bin falls on stay as they are (black).
void TileIntoPicture(const PlotRenderSetup& setup, const std::vector<uint8_t>& tile, const std::vector<int>& used,
                     int b0, int b1)
{
    for (int y = 0; y < setup.height; ++y) {
        if (!used[static_cast<size_t>(y)])
            continue;
        auto* line = reinterpret_cast<uint32_t*>(setup.bits + y * setup.bytesPerLine);
        const uint8_t* in = tile.data() + static_cast<size_t>(y) * kBatchColumns;
        for (int x = b0; x < b1; ++x)
            line[x] = setup.pixels[in[x - b0]];
    }
}

// Draws picture columns [x0, x1) from `level`; the first column not drawn
// because the recording ended (x1 when all were), -1 on a failed read.
int DrawColumns(const CLevelPyramid& pyramid, const PlotRenderSetup& setup, const CCodeIndexTable& table, int level,
                int x0, int x1)
{
    const PyramidShape& shape = pyramid.Shape();
    const int bins = std::min(setup.bins, shape.bins);
    const LevelColumns cols{shape, setup, level, setup.startFrame / shape.fftSize, shape.ColumnBlocks(level)};
    std::vector<uint8_t> raw;
    std::vector<uint32_t> codes, column(static_cast<size_t>(shape.bins));
    std::vector<uint8_t> tile(static_cast<size_t>(kBatchColumns) * static_cast<size_t>(setup.height), 0);
    std::vector<int> used(static_cast<size_t>(setup.height), 0);
    for (int b0 = x0; b0 < x1; b0 += kBatchColumns) {
        int b1 = std::min(x1, b0 + kBatchColumns);
        while (b1 > b0 && cols.Past(b1 - 1))
            --b1;
        if (b1 == b0)
            return b0;
        const int64_t c0 = cols.First(b0);
        if (!pyramid.ReadCodes(level, c0, cols.End(b1 - 1), raw, codes))
            return -1;
        std::fill(used.begin(), used.end(), 0);
        for (int x = b0; x < b1; ++x) {
            std::fill(column.begin(), column.end(), 0u);
            for (int64_t k = cols.First(x); k < cols.End(x); ++k)
                MaxInto(column.data(), codes.data() + (k - c0) * shape.bins, bins);
            ColumnIntoTile(setup, table, column.data(), bins, tile.data() + static_cast<size_t>(x - b0), used);
        }
        TileIntoPicture(setup, tile, used, b0, b1);
        if (b1 < std::min(x1, b0 + kBatchColumns))
            return b1;
    }
    return x1;
}

} // namespace

int DrawFromPyramid(const CLevelPyramid& pyramid, const PlotRenderSetup& setup, const CLevelIndex& index, bool exact)
{
    const PyramidShape& shape = pyramid.Shape();
    if (!pyramid.IsOpen() || setup.fftSize != shape.fftSize || setup.width <= 0 || setup.height <= 0 || !setup.bits ||
        setup.zoom < 1 || setup.rowOfBin.size() < static_cast<size_t>(std::min(setup.bins, shape.bins)))
        return -1;
    int level = PyramidLevelFor(shape, setup.startFrame, setup.zoom, setup.width);
    if (level < 0 && exact)
        return -1;
    if (level < 0) {
        // The coarsest level whose columns are no wider than the picture's.
        level = 0;
        while (level + 1 < shape.levels && shape.ColumnBlocks(level + 1) <= setup.zoom)
            ++level;
    }
    const CCodeIndexTable table(index);
    // Two halves on two threads where there are cores for them.
    const int half = std::thread::hardware_concurrency() > 1 && setup.width >= 2 * kBatchColumns
                         ? (setup.width / 2 + kBatchColumns - 1) / kBatchColumns * kBatchColumns
                         : setup.width;
    int right = setup.width;
    std::thread other;
    if (half < setup.width) {
        try {
            other = std::thread([&] { right = DrawColumns(pyramid, setup, table, level, half, setup.width); });
        } catch (const std::system_error&) {
            right = DrawColumns(pyramid, setup, table, level, half, setup.width);
        }
    }
    const int left = DrawColumns(pyramid, setup, table, level, 0, half);
    if (other.joinable())
        other.join();
    if (left < 0 || right < 0)
        return -1;
    return left < half ? left : right;
}
