// The colour of every visible position as one small periodic table, so the
// per-pixel loops never decode the filters word or the 6x6 pattern.
#ifndef KALDRIS_CFALAYOUT_H
#define KALDRIS_CFALAYOUT_H

#include "Kaldris.h"

#include <cstdint>
#include <vector>

namespace kaldris {

class CfaLayout {
public:
    enum Kind {
        Components,  // 3 or 4 values a pixel: no mosaic
        Mono,        // 1 value a pixel, one colour
        Bayer,       // 2x2 with one red, one blue and two diagonal greens
        SixBySix,    // filters 9
        Pattern,     // any other 2-bit pattern (4 colours, 8-row periods)
    };

    Kind kind = Mono;
    int rows = 1, cols = 1;            // period in visible coordinates
    std::vector<uint8_t> colour;       // camera colour (second green folded into 1 when it is one)
    std::vector<uint8_t> fileColour;   // the file's own index, for the per-colour black levels
    int colours = 1;                   // camera colours after folding: 1, 3 or 4
    int green = 1;                     // the colour that dominates a 6x6 pattern
    bool foldedGreen = false;          // a fourth colour that is a second green was folded into 1

    // components: 1, 3 or 4 values a pixel of the unpacked buffer.
    static CfaLayout fromData(const kaldris_data_t &d, int components);

    int colourAt(int row, int col) const { return colour[(row % rows) * cols + col % cols]; }
    int fileColourAt(int row, int col) const { return fileColour[(row % rows) * cols + col % cols]; }
};

}

#endif
