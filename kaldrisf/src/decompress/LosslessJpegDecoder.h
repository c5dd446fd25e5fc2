// Lossless JPEG (ITU T.81 process 14, SOF3) as DNG tiles and strips and
// Canon CR2 raw data (sliced, and subsampled for sRAW) use it.
#ifndef KALDRIS_LOSSLESSJPEGDECODER_H
#define KALDRIS_LOSSLESSJPEGDECODER_H

#include "decompress/SampleTarget.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

// What the markers in front of the scan say, so that a caller can size its
// buffers before decoding. Without subsampling an MCU is one sample of each
// component; a Canon sRAW frame (3 components, the first one 2x1 or 2x2)
// has MCUs of h[0] * v[0] luma samples, then one of each chroma component:
// `slots` samples. The decoded stream is mcuLines lines of lineSamples
// (mcusAcross x slots) values. Such a scan must code luma first with
// predictor 1: its luma samples are predicted as one chain, each from the
// luma sample before it in the MCU line (the cameras' files are read so; the
// first of a line from the first of the line above), the chroma slots each
// from the same slot of the MCU to the left.
// Qt's `slots` keyword macro would swallow the member's name where a Qt
// header came first; code that includes Qt reads lineSamples / mcusAcross.
#pragma push_macro("slots")
#undef slots
struct LosslessJpegHeader {
    int precision = 0, width = 0, height = 0, components = 0;   // SOF3 P, X, Y (0: given by a DNL), Nf
    int h[4] = {}, v[4] = {};
    int slots = 0;
    uint32_t mcusAcross = 0, mcuLines = 0;
    uint64_t lineSamples = 0;   // mcusAcross * slots
    int tables = 0;             // Huffman tables the scan uses
};
#pragma pop_macro("slots")

// CR2 slicing: the image is cut into `count` vertical slices of `width`
// samples and a last one of `lastWidth`; the stream fills slice 0 row by
// row for all rows, then slice 1, and so on.
struct JpegSlices {
    uint32_t count = 0, width = 0, lastWidth = 0;
};

class LosslessJpegDecoder {
public:
    // Reads the markers up to the scan header without decoding. Returns
    // KALDRIS_SUCCESS, or the code decode() gives for the same headers.
    static int readHeader(const uint8_t *src, size_t len, LosslessJpegHeader &h);

    // Decodes one complete stream (SOI ... EOI) into the target, the samples
    // in stream order (lines of lineSamples, one after another) filling rows
    // of t.rowSamples, so a JPEG line may hold several target rows or a
    // target row several JPEG lines. Values are given back shifted left by
    // the point transform.
    //
    // Returns KALDRIS_SUCCESS; KALDRIS_CORRUPT when the stream cannot start
    // (no SOI, no SOF3 before SOS, a bad or missing table, precision outside
    // 2..16, a frame whose lines do not fit the target rows);
    // KALDRIS_UNSUPPORTED_COMPRESSION for other JPEG processes, subsampling
    // other than the sRAW one (or with another predictor or component order)
    // or a scan without every component;
    // KALDRIS_DATA_ERROR when the entropy-coded data break off or go wrong:
    // the samples decoded up to there are stored, the rest of the target
    // keeps what it held. Never writes outside the kept part of the target
    // and never reads outside [src, src + len).
    static int decode(const uint8_t *src, size_t len, const SampleTarget &t);

    // The same into a whole sliced image: t.rowSamples is the image's row
    // (slices.count * slices.width + slices.lastWidth samples), t.rows its
    // height; the JPEG lines need not match the slices, only the order of
    // the samples counts. A layout that does not add up to t.rowSamples, or
    // with a zero width, is KALDRIS_CORRUPT.
    static int decode(const uint8_t *src, size_t len, const SampleTarget &t, const JpegSlices &slices);
};

}

#endif
