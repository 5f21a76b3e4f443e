// The colour maps of the spectrogram: the form's own (black through blue,
// cyan, green, yellow and red to violet) and four others, each 256 entries
// from the bottom of the scale (entry 0) to the reference level (entry 255).
#pragma once

#include <array>
#include <cstdint>

namespace colour_tables {
// 8-bit red, green, blue of the published maps (ColourMapTables.cpp).
extern const uint8_t kViridis[256][3];
extern const uint8_t kInferno[256][3];
extern const uint8_t kTurbo[256][3];
} // namespace colour_tables

// The COLORREF entries of a map (COLOURS_* of doc/PictureSettings.h); an
// unknown map gives the form's own.
std::array<uint32_t, 256> ColourMapEntries(int map);
