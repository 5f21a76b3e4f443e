// The choices of the spectrogram picture beyond the form's own: the transform
// size, the window, the colour map, the range of the colour scale and the
// axes. Each default is the form's own picture. The names are those of the
// settings and the command line. Standard library only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "dsp/SpectrumEngine.h"

// Transform sizes (frames per transform): the powers of two in this range.
inline constexpr int kPictureFftMinSize = 256;
inline constexpr int kPictureFftMaxSize = 65536;
inline constexpr int kPictureFftDefaultSize = 2048;
bool IsPictureFftSize(int64_t frames);

// Colour maps.
enum { COLOURS_CLASSIC = 0, COLOURS_VIRIDIS = 1, COLOURS_INFERNO = 2, COLOURS_TURBO = 3, COLOURS_GREYSCALE = 4 };

// A choice by its value, its name and its menu text; the lists are in menu
// order, the default first.
struct PictureChoice {
    int value;
    const char* name;
    const char* title;
};
std::span<const PictureChoice> WindowChoices();
std::span<const PictureChoice> ColourChoices();
// The value named name; -1 for a name the list does not hold.
int ChoiceValue(std::span<const PictureChoice> choices, std::string_view name);
// The name of a value; the default's for a value the list does not hold.
const char* ChoiceName(std::span<const PictureChoice> choices, int value);
// "a, b or c", for messages.
std::string ChoiceNameList(std::span<const PictureChoice> choices);

// The lowest level of the colour scale, dB: black in the form's map.
inline constexpr double kPictureFloorDb = -160.0;
// The range of the colour scale, from the reference level down to the bottom
// colour: kRangeToFloor (the default) reaches down to the floor, whatever the
// reference level, as the form's own scale does; otherwise a span in dB.
inline constexpr int kRangeToFloor = 0;
inline constexpr int kRangeMinDb = 20;
inline constexpr int kRangeMaxDb = 260;
bool IsPictureRange(int64_t rangeDb);
// The level of the bottom colour: the reference level less the range, never
// below the floor.
double BottomLevelDb(double refDb, int rangeDb);

// Reference level and range that fit a picture: the reference is the
// smallest step of the reference level at or above the strongest level, the
// bottom colour lies on the noise floor (both in dB).
struct AutoLevels {
    int refDb;
    int rangeDb;
};
AutoLevels AutoLevelsFor(double strongestDb, double noiseFloorDb);
