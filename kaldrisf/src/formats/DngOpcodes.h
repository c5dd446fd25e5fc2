// The DNG opcodes themselves, each on an OpcodeImage: 16-bit samples that
// the opcodes see as values 0..1 between a black and a white level, as the
// DNG format defines them, and get back rounded and clamped to 0..65535.
#ifndef KALDRIS_DNGOPCODES_H
#define KALDRIS_DNGOPCODES_H

#include "Kaldris.h"
#include "io/ByteStream.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kaldris {

struct OpcodeImage {
    uint16_t *data = nullptr;
    size_t pitch = 0;            // samples a row
    int planes = 1;              // samples a pixel
    int rows = 0, cols = 0;      // what the buffer holds
    // The opcode coordinates of the buffer's (0, 0): opcode row r is buffer
    // row r - rowOrigin. boundsRows/Cols is the image the opcodes address.
    int rowOrigin = 0, colOrigin = 0;
    int boundsRows = 0, boundsCols = 0;
    bool mosaic = false;         // one colour-filter sample a pixel
    int threads = 0;
    // Black of the samples of the first `count` pixels of buffer row `row`
    // into `black` (count x planes values), and the white level; null:
    // black 0, white 65535. blackPeriod: the columns after which a row's
    // black repeats (0: it does not).
    std::function<void(int row, float *black, int count)> blackRow;
    int blackPeriod = 0;
    float white = 65535.0f;
};

// What an opcode did with the image.
enum class OpcodeResult { Applied, OutOfBounds, NotApplicable };

namespace DngOpcodes {

enum Id : unsigned {
    WarpRectilinear = 1,
    WarpFisheye = 2,
    FixVignetteRadial = 3,
    FixBadPixelsConstant = 4,
    FixBadPixelsList = 5,
    TrimBounds = 6,
    MapTable = 7,
    MapPolynomial = 8,
    GainMap = 9,
    DeltaPerRow = 10,
    DeltaPerColumn = 11,
    ScalePerRow = 12,
    ScalePerColumn = 13,
    WarpRectilinear2 = 14,
};

const char *name(unsigned id);
// The opcodes this library applies (TrimBounds through `trim`).
bool known(unsigned id);

// Rectangle of opcode coordinates, bottom and right exclusive.
struct Rect {
    int top = 0, left = 0, bottom = 0, right = 0;
};

// Runs opcode `id` with its big-endian parameters `p` on `img`.
// TrimBounds reports its rectangle through `trim` and changes no sample.
OpcodeResult apply(unsigned id, const ByteStream &p, OpcodeImage &img, Rect *trim);
// Consecutive GainMaps in one pass, with the results they would have one
// after another; empty (nothing done) when they cannot be joined.
std::vector<OpcodeResult> applyGainMaps(const std::vector<ByteStream> &params, OpcodeImage &img);

}

}

#endif
