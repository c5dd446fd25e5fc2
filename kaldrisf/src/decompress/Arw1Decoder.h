// Sony ARW 1 (the DSLR-A100): one MSB-first bit stream, no byte stuffing,
// running column by column from the rightmost to the left; within a column
// the even rows come first, then the odd ones. Each sample is the previous
// one (over the whole stream, starting at 0) plus a JPEG-style difference
// whose length a fixed prefix code gives. Samples are 12 bits.
#ifndef KALDRIS_ARW1DECODER_H
#define KALDRIS_ARW1DECODER_H

#include <cstddef>
#include <cstdint>

namespace kaldris {

class Arw1Decoder {
public:
    static constexpr unsigned maxValue = 4095;

    // `columns` x `rows` samples into out (row pitch in samples). A running
    // sum outside 12 bits counts an error and stores the value clamped; a
    // stream that runs out zeroes the columns it could not finish and counts
    // one error. Returns the error count; never reads past src + len.
    static unsigned decode(const uint8_t *src, size_t len, uint16_t *out, size_t pitch, uint32_t columns,
                           uint32_t rows);
};

}

#endif
