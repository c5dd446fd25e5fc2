// Where a decompressor puts the samples of one tile or strip.
#ifndef KALDRIS_SAMPLETARGET_H
#define KALDRIS_SAMPLETARGET_H

#include <cstddef>
#include <cstdint>

namespace kaldris {

// The stream's samples fill rows of `rowSamples` (tile width x samples a
// pixel), `rows` rows, in stream order, whatever the stream's own frame shape;
// only the first keepSamples of a row and the first keepRows rows are stored
// (tiles cut at the image's right and bottom edges).
template <class T> struct TargetOf {
    T *dst = nullptr;          // first sample of the tile in the output buffer
    size_t pitch = 0;          // output row pitch, in samples (elements of T)
    uint32_t rowSamples = 0;
    uint32_t rows = 0;
    uint32_t keepSamples = 0;
    uint32_t keepRows = 0;
};

using SampleTarget = TargetOf<uint16_t>;
using FloatTarget = TargetOf<float>;

}

#endif
