#include "doc/PictureSettings.h"

#include <algorithm>
#include <cmath>

#include "doc/SettingsText.h"

namespace {

const PictureChoice kWindows[] = {
    {WINDOW_HANN, "hann", "&Hann"},
    {WINDOW_HAMMING, "hamming", "Ha&mming"},
    {WINDOW_BLACKMAN_HARRIS, "blackman-harris", "&Blackman-Harris"},
    {WINDOW_RECTANGULAR, "rectangular", "&Rectangular"},
};

const PictureChoice kColours[] = {
    {COLOURS_CLASSIC, "classic", "&Classic"},       {COLOURS_VIRIDIS, "viridis", "&Viridis"},
    {COLOURS_INFERNO, "inferno", "&Inferno"},       {COLOURS_TURBO, "turbo", "&Turbo"},
    {COLOURS_GREYSCALE, "greyscale", "&Greyscale"},
};

} // namespace

bool IsPictureFftSize(int64_t frames)
{
    return frames >= kPictureFftMinSize && frames <= kPictureFftMaxSize && (frames & (frames - 1)) == 0;
}

std::span<const PictureChoice> WindowChoices()
{
    return kWindows;
}

std::span<const PictureChoice> ColourChoices()
{
    return kColours;
}

int ChoiceValue(std::span<const PictureChoice> choices, std::string_view name)
{
    for (const PictureChoice& c : choices)
        if (name == c.name)
            return c.value;
    return -1;
}

const char* ChoiceName(std::span<const PictureChoice> choices, int value)
{
    for (const PictureChoice& c : choices)
        if (c.value == value)
            return c.name;
    return choices.front().name;
}

std::string ChoiceNameList(std::span<const PictureChoice> choices)
{
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (i > 0)
            list += i + 1 == choices.size() ? " or " : ", ";
        list += choices[i].name;
    }
    return list;
}

bool IsPictureRange(int64_t rangeDb)
{
    return rangeDb == kRangeToFloor || (rangeDb >= kRangeMinDb && rangeDb <= kRangeMaxDb);
}

double BottomLevelDb(double refDb, int rangeDb)
{
    if (rangeDb == kRangeToFloor)
        return kPictureFloorDb;
    return std::max(refDb - rangeDb, kPictureFloorDb);
}

AutoLevels AutoLevelsFor(double strongestDb, double noiseFloorDb)
{
    // Held within the reference level's bounds before the division, so that
    // the step count fits an int; a level not measured counts as 0 dB.
    const double strongest = std::isfinite(strongestDb) ? std::clamp(strongestDb, -1000.0, 1000.0) : 0.0;
    const int steps = static_cast<int>(std::ceil(strongest / kRefLevelStepDb - 1e-9));
    const int refDb = std::clamp(steps * kRefLevelStepDb, kRefLevelMinDb, kRefLevelMaxDb);
    const double span = std::round(refDb - noiseFloorDb);
    if (!(refDb - span > kPictureFloorDb)) // down to the floor, or no floor measured
        return {refDb, kRangeToFloor};
    return {refDb, static_cast<int>(std::clamp(span, double{kRangeMinDb}, double{kRangeMaxDb}))};
}
