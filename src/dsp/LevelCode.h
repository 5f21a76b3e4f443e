// Levels in a compact form that does not depend on the reference level or the
// colour map: a code of 1/65536 dB from -160 dB up, in 24 bits (-160 dB to
// just under +96 dB; a 32-bit integer sample cannot read much above 0 dB).
// Codes compare as the levels do, so the strongest of several levels is the
// largest of their codes. A level maps back to within half a step, 1/131072
// dB: far less than a colour index step at any reference level.
#pragma once

#include <cstdint>

constexpr int kLevelCodeBits = 24;
constexpr uint32_t kLevelCodeMax = (uint32_t{1} << kLevelCodeBits) - 1;
constexpr double kLevelCodeStepsPerDb = 65536.0;
constexpr double kLevelCodeFloorDb = -160.0;

// The code of a level in bels, rounded to the nearest step and held within the range.
uint32_t LevelCodeOf(double levelBels);
// The level in bels a code stands for.
double LevelOfCode(uint32_t code);
// out[i] = the code of power[i], whose level is log10(power + powerFloor) +
// offsetBels bels (a power of 0: the bottom of the range).
void LevelCodesOfPowers(const double* power, int n, double powerFloor, double offsetBels, uint32_t* out);
