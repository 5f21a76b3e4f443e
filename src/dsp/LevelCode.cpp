#include "dsp/LevelCode.h"

#include <cmath>

uint32_t LevelCodeOf(double levelBels)
{
    const double steps = (levelBels * 10.0 - kLevelCodeFloorDb) * kLevelCodeStepsPerDb;
    if (!(steps > 0.0)) // below the floor, or not a number
        return 0;
    if (steps >= kLevelCodeMax)
        return kLevelCodeMax;
    return static_cast<uint32_t>(std::lround(steps));
}

double LevelOfCode(uint32_t code)
{
    return (code / kLevelCodeStepsPerDb + kLevelCodeFloorDb) * 0.1;
}

void LevelCodesOfPowers(const double* power, int n, double powerFloor, double offsetBels, uint32_t* out)
{
    for (int i = 0; i < n; ++i)
        out[i] = power[i] > 0.0 ? LevelCodeOf(std::log10(power[i] + powerFloor) + offsetBels) : 0;
}
