// Black subtraction and scaling to the white level, with the white-balance
// multipliers folded into one factor a position. The levels follow the
// user options the same way the program's "levels from the file" do:
// user_black -1 takes the file's black, per-colour levels and pattern;
// a user black replaces all of them; a per-colour user level (not -1000001)
// replaces that colour's level.
#ifndef KALDRIS_BLACKSCALE_H
#define KALDRIS_BLACKSCALE_H

#include "CfaLayout.h"
#include "Kaldris.h"
#include "RawView.h"
#include "VectorIsa.h"

#include <cstdint>
#include <vector>

namespace kaldris {

class BlackScale {
public:
    BlackScale(const kaldris_data_t &d, const CfaLayout &cfa, int components);

    unsigned white() const { return whiteLevel; }

    // mul: one multiplier a camera colour (min 1). noScale keeps the raw
    // scale: black is still subtracted, nothing is multiplied.
    void setMultipliers(const double mul[4], bool noScale);

    // 1-value pixels, rows [r0, r1) of the visible area into a w x h plane.
    void scalePlaneRows(const RawView &raw, int r0, int r1, uint16_t *plane) const;
    void scaleRow(const RawView &raw, int r, uint16_t *dst) const;
    // Row r split by column parity: columns 0, 2, 4, ... then 1, 3, 5, ...
    void scaleSplitRow(const RawView &raw, int r, uint16_t *dst, Isa isa = bestIsa()) const;

    // One row of 3/4-value pixels: `colours` values a pixel, 0..65535, clipped.
    void scaleComponentRow(const RawView &raw, int r, int colours, float *out) const;

    // Black-subtracted values over the white range (0..1, unclipped) of
    // row r, all components of a pixel together.
    void normaliseRow(const RawView &raw, int r, float *out) const;

private:
    struct Entry {
        int black;
        float factor;
        float range;  // 1 / (white - black)
    };
    int periodRows = 1, periodCols = 1;
    int components;
    const CfaLayout &cfa;
    std::vector<Entry> table;  // periodRows x periodCols x components
    unsigned whiteLevel = 65535;

    const Entry &entry(int r, int c, int k) const
    {
        return table[((size_t(r % periodRows) * periodCols) + c % periodCols) * components + k];
    }
};

}

#endif
