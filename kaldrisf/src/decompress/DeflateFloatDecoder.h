// Deflate-compressed floating-point data (DNG Compression 8 with SampleFormat 3).
#ifndef KALDRIS_DEFLATEFLOATDECODER_H
#define KALDRIS_DEFLATEFLOATDECODER_H

#include "decompress/SampleTarget.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

class DeflateFloatDecoder {
public:
    // Inflates one zlib stream of t.rows rows of t.rowSamples samples (tile
    // width x samplesPerPixel) and stores the kept part as floats.
    // bitsPerSample: 16 (IEEE half), 24 (DNG 24-bit float: sign, 7-bit
    // exponent biased 63, 16-bit mantissa) or 32. predictor: 1 (none, bytes
    // in file byte order), 3 (floating-point predictor), 34894 and 34895 (the
    // same with a byte distance of 2 and 4 x samplesPerPixel); predictor data
    // do not depend on bigEndian.
    //
    // Returns KALDRIS_SUCCESS; KALDRIS_UNSUPPORTED_COMPRESSION for other
    // sample sizes or predictors; KALDRIS_CORRUPT when no row can be inflated;
    // KALDRIS_DATA_ERROR when the stream breaks off later: whole rows before
    // the break are stored, the rest keeps what it held.
    static int decode(const uint8_t *src, size_t len, const FloatTarget &t, uint32_t samplesPerPixel,
                      uint32_t bitsPerSample, int predictor, bool bigEndian);
};

}

#endif
