// The output colour spaces of the renderer, by the index of the `output_color`
// option (1 to 6; 0 is the camera's raw colour). The ICC profile tool reads
// the same table, so the embedded profiles describe exactly these spaces.
#ifndef KALDRIS_OUTPUTSPACE_H
#define KALDRIS_OUTPUTSPACE_H

#include "ColorMath.h"

namespace kaldris {

class OutputSpace {
public:
    static constexpr int Count = 6;

    int index;
    const char *name;
    double red[2], green[2], blue[2];  // primaries, xy
    double white[2];                   // the space's white, xy
    double displayGamma;               // the program's default power for the space (2.2 or 1.8)

    // 1..Count, else null.
    static const OutputSpace *byIndex(int index);

    // Linear RGB to XYZ relative to the space's own white.
    Mat3 toXyz() const;
    // The same, adapted (Bradford) to D65, the renderer's working white.
    Mat3 toXyzD65() const;
};

}

#endif
