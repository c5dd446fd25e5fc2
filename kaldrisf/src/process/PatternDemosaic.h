// Interpolation of the mosaics that are not 2x2 Bayer. A 6x6 pattern gets a
// directional weighted interpolation: the dominant (green) colour first,
// from the nearest same-colour neighbours along four directions weighted
// against the gradient across each, then the other colours as weighted
// colour differences to that green. Any other pattern (four colours, 8-row
// periods) gets per-colour averages of the nearest ring of neighbours.
#ifndef KALDRIS_PATTERNDEMOSAIC_H
#define KALDRIS_PATTERNDEMOSAIC_H

#include "CfaLayout.h"

#include <cstdint>
#include <vector>

namespace kaldris {

class PatternDemosaic {
public:
    PatternDemosaic(const uint16_t *plane, int width, int height, const CfaLayout &cfa);

    // The green plane of a 6x6 pattern (nothing for other patterns).
    void prepare(int threads);

    // Row y as cfa.colours floats a pixel.
    void row(int y, float *out) const;

private:
    struct Offset {
        int dy, dx, ring;
    };
    struct Direction {
        int plus = 0, minus = 0;  // steps to the nearest green on each side; 0 = none
    };
    struct Site {
        int colour = 0;
        std::vector<Offset> near[4];  // same-colour neighbours by ring (1..3), nearest ring first
        Direction dir[4];
    };

    const uint16_t *plane;
    int width, height;
    const CfaLayout &cfa;
    bool sixBySix;
    std::vector<Site> sites;
    std::vector<uint16_t> greenPlane;

    const Site &site(int y, int x) const { return sites[size_t(y % cfa.rows) * cfa.cols + x % cfa.cols]; }
    bool inside(int y, int x) const { return y >= 0 && x >= 0 && y < height && x < width; }
    float ringAverage(const uint16_t *src, const std::vector<Offset> &near, int y, int x, bool checked) const;
    uint16_t greenAt(int y, int x, bool checked) const;
    void greenRows(int y0, int y1);
};

}

#endif
