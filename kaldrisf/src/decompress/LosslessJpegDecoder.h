// Lossless JPEG (ITU T.81 process 14, SOF3) as DNG tiles and strips use it.
#ifndef KALDRIS_LOSSLESSJPEGDECODER_H
#define KALDRIS_LOSSLESSJPEGDECODER_H

#include "decompress/SampleTarget.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

class LosslessJpegDecoder {
public:
    // Decodes one complete stream (SOI ... EOI) into the target, the samples
    // in stream order (lines of frame width x components, one after another)
    // filling rows of t.rowSamples, so a JPEG line may hold several target
    // rows or a target row several JPEG lines. Values are given back shifted
    // left by the point transform.
    //
    // Returns KALDRIS_SUCCESS; KALDRIS_CORRUPT when the stream cannot start
    // (no SOI, no SOF3 before SOS, a bad or missing table, precision outside
    // 2..16, a frame whose lines do not fit the target rows);
    // KALDRIS_UNSUPPORTED_COMPRESSION for other JPEG processes, subsampled
    // components or a scan without every component; KALDRIS_DATA_ERROR when
    // the entropy-coded data break off or go wrong: the samples decoded up
    // to there are stored, the rest of the target keeps what it held.
    // Never writes outside the kept part of the target and never reads
    // outside [src, src + len).
    static int decode(const uint8_t *src, size_t len, const SampleTarget &t);
};

}

#endif
