#include "CfaLayout.h"

#include <algorithm>
#include <cstring>

namespace kaldris {

namespace {

int filterColour(unsigned filters, int row, int col)
{
    return (filters >> ((((row << 1) & 14) | (col & 1)) << 1)) & 3;
}

}

CfaLayout CfaLayout::fromData(const kaldris_data_t &d, int components)
{
    CfaLayout l;
    const unsigned filters = d.idata.filters;
    int cameraColours = std::clamp(d.idata.colors, 1, 4);
    // A fourth colour lettered G is the second green of an RGBG sensor.
    const bool secondGreen = std::strlen(d.idata.cdesc) >= 4 && d.idata.cdesc[3] == 'G';

    if (components >= 3) {
        l.kind = Components;
        l.colours = std::min(cameraColours, components);
        if (l.colours == 2)
            l.colours = 1;
        if (l.colours == 4 && secondGreen) {
            l.colours = 3;
            l.foldedGreen = true;
        }
        l.colour = {0};
        l.fileColour = {0};
        return l;
    }
    if (filters == 0 || cameraColours == 1) {
        l.kind = Mono;
        l.colours = 1;
        l.colour = {0};
        l.fileColour = {0};
        return l;
    }
    if (filters == 9) {
        l.kind = SixBySix;
        l.rows = l.cols = 6;
        int count[4] = {0, 0, 0, 0};
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c) {
                int k = d.idata.xtrans[r][c] & 3;
                l.fileColour.push_back(uint8_t(k));
                ++count[k];
            }
        l.colour = l.fileColour;
        l.green = int(std::max_element(count, count + 4) - count);
        l.colours = std::max(cameraColours, 3);
        return l;
    }
    if (filters < 1000) {
        // No mosaic we know how to read: show the data as one colour.
        l.kind = Mono;
        l.colours = 1;
        l.colour = {0};
        l.fileColour = {0};
        return l;
    }

    bool twoRows = true;
    for (int r = 0; r < 8 && twoRows; ++r)
        for (int c = 0; c < 2; ++c)
            if (filterColour(filters, r, c) != filterColour(filters, r & 1, c))
                twoRows = false;
    l.rows = twoRows ? 2 : 8;
    l.cols = 2;
    bool usesFour = false;
    for (int r = 0; r < l.rows; ++r)
        for (int c = 0; c < 2; ++c) {
            int k = filterColour(filters, r, c);
            l.fileColour.push_back(uint8_t(k));
            usesFour |= k == 3;
        }
    l.colour = l.fileColour;
    if (usesFour && (cameraColours == 3 || secondGreen)) {
        for (auto &k : l.colour)
            if (k == 3)
                k = 1;
        l.foldedGreen = true;
        l.colours = 3;
    } else {
        l.colours = usesFour ? 4 : 3;
    }

    l.kind = Pattern;
    if (l.rows == 2 && l.colours == 3) {
        int n[4] = {0, 0, 0, 0};
        for (auto k : l.colour)
            ++n[k];
        bool diagonalGreens = l.colour[0] == l.colour[3] && l.colour[0] == 1;
        bool antiDiagonalGreens = l.colour[1] == l.colour[2] && l.colour[1] == 1;
        if (n[0] == 1 && n[1] == 2 && n[2] == 1 && (diagonalGreens || antiDiagonalGreens))
            l.kind = Bayer;
    }
    return l;
}

}
