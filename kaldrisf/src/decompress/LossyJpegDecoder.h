// Baseline lossy JPEG (DNG Compression 34892, LinearRaw tiles), through libjpeg.
#ifndef KALDRIS_LOSSYJPEGDECODER_H
#define KALDRIS_LOSSYJPEGDECODER_H

#include "decompress/SampleTarget.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

class LossyJpegDecoder {
public:
    // Decodes one complete JPEG of `components` (1 or 3) components into the
    // target as samples 0..255: grey, or R, G, B interleaved (YCbCr data are
    // converted). Only the kept part is decoded and stored.
    //
    // Returns KALDRIS_SUCCESS; KALDRIS_UNSUPPORTED_COMPRESSION for another
    // component count; KALDRIS_CORRUPT when libjpeg cannot read the headers
    // or start decoding; KALDRIS_DATA_ERROR when the frame does not fit the
    // target (component count, width or height below the kept size) or the
    // data break off or go wrong during decoding: the rows decoded are stored,
    // the rest keeps what it held. libjpeg prints nothing and never ends the
    // process.
    static int decode(const uint8_t *src, size_t len, const SampleTarget &t, uint32_t components);
};

}

#endif
