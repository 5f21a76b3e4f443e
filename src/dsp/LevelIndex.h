// CLevelIndex: maps bin powers onto display colour indices from -scale to 0.
//
// The exact mapping of one power p (|X|^2 of one bin):
//   level L = log10(p + powerFloor) + offsetBels bels, or floorBels when p is 0;
//   v = ((L - topBels) * scaleGain) * scale, truncated toward zero;
//   index = -scale below -scale or at and below the bottom of the scale,
//   0 above 0, v otherwise.
// A level at the bottom gives -scale whatever the rounding of the product
// (with the top at -9.9 bels the floor of -16 bels would give -254.99999...).
// Map() yields exactly these indices for a whole column, faster: a vectorised
// logarithm far more accurate than one index step gives v, and only values
// that fall within a tiny margin of an index boundary (a whole number) are
// computed again with the exact log10.
#pragma once

#include <vector>

class CLevelIndex {
public:
    // Sets the constants of the mapping above. A scale below 0 counts as 0.
    void Configure(double powerFloor, double offsetBels, double floorBels, double bottomBels, double topBels,
                   double scaleGain, int scale);
    // The index of one level in bels.
    int OfLevel(double level) const;
    // The exact index of one power.
    int Exact(double power) const;
    // out[i] = Exact(power[i]) for 0 <= i < n.
    void Map(const double* power, int n, int* out);

private:
    double m_dPowerFloor = 0.0;
    double m_dOffsetBels = 0.0;
    double m_dFloorBels = 0.0;
    double m_dBottomBels = 0.0;
    double m_dTopBels = 0.0;
    double m_dScaleGain = 0.0;
    int m_nScale = 0;
    int m_nFloorIndex = 0;    // index of a power of 0
    bool m_bFastPath = false; // the scale is fine enough for the vectorised logarithm
    std::vector<int> m_exact; // bins of one column that take the exact path
};
