// Sony ARW 2 compressed rows: one byte a pixel, every 32 columns two 16-byte
// blocks, the first coding the 16 even columns, the second the 16 odd ones.
// A block (128 bits read least significant first) holds an 11-bit maximum
// and minimum, their 4-bit positions among the 16 pixels and fourteen 7-bit
// deltas for the other pixels, each shifted left by the block's range shift
// and added to the minimum. The 11-bit codes go through a tone curve.
#ifndef KALDRIS_ARW2DECODER_H
#define KALDRIS_ARW2DECODER_H

#include <cstddef>
#include <cstdint>

namespace kaldris {

// What a row's pixels read, after Kaldris.h's KALDRIS_PROC_ARW2_* flags.
enum class Arw2Mode { Standard, BaseOnly, DeltaOnly, DeltaZero, DeltaStep };

// A curve as runs of equal steps, to be worked out sixteen codes at a time:
// curve[c] = base + the sum over the runs of step * min(max(c - from, 0),
// length), all modulo 2^16.
struct Arw2CurveRuns {
    static constexpr unsigned most = 12;
    bool fits = false;   // false: more runs than `most`, the curve is looked up
    unsigned count = 0;
    uint16_t base = 0;
    uint16_t from[most] = {}, length[most] = {}, step[most] = {};
};

struct Arw2Options {
    Arw2Mode mode = Arw2Mode::Standard;
    // Code (0..2047) to output value: the data block's curve, as the caller
    // may have made it linear.
    const uint16_t *curve = nullptr;
    // The file's own curve by code: DeltaStep measures steps and values on it.
    const uint16_t *fileCurve = nullptr;
    unsigned threshold = 0;      // DeltaStep: values below read 0
    unsigned maximum = 65535;    // DeltaStep: results clamp here
    const Arw2CurveRuns *runs = nullptr;   // `curve` as runs, where the caller has them
};

class Arw2Decoder {
public:
    static constexpr uint32_t codes = 2048;

    // The curve of tag 0x7010 by 11-bit code (out[c] = the 4096-entry curve at
    // 2c, 14-bit scale) from its four values.
    static void buildCurve(const uint16_t values[4], uint16_t out[codes]);
    static Arw2CurveRuns curveRuns(const uint16_t curve[codes]);

    // One row of `width` pixels from `width` bytes. Columns past the last
    // whole group of 32 are not coded and read 0. Returns the number of
    // blocks that could not be decoded (their pixels take the block's minimum).
    static unsigned decodeRow(const uint8_t *src, uint16_t *dst, uint32_t width, const Arw2Options &o);
    // `rows` such rows one after the other, with the widest vector
    // instructions the processor has (the same values).
    static unsigned decodeRows(const uint8_t *src, uint16_t *dst, uint32_t width, uint32_t rows, const Arw2Options &o);
};

}

#endif
