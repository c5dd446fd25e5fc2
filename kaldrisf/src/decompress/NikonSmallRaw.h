// Nikon's small raw ("RAW S"): YCbCr 4:2:2 without compression. Each pair
// of pixels is six bytes, one 48-bit little-endian word holding four 12-bit
// fields from its low bits up: Y0, Y1, Cb, Cr, the chroma offset by 2048.
// The camera codes the luma with an sRGB-like curve (power 2.4, a straight
// toe of slope 12.92 joined smoothly), after its white balance.
#ifndef KALDRIS_NIKONSMALLRAW_H
#define KALDRIS_NIKONSMALLRAW_H

#include <cstddef>
#include <cstdint>

namespace kaldris {

class NikonSmallRaw {
public:
    static constexpr int midpoint = 2048;   // the chroma's zero

    enum class Output {
        Rgb,             // linear 16-bit R, G, B, the camera's balance taken out
        Ycc,             // Y, Cb, Cr as stored; an odd pixel's chroma halfway to the next pair's
        YccRepeated,     // Y, Cb, Cr as stored; both pixels of a pair with its own chroma
    };

    // Decodes `rows` rows of `width` pixels (even) into three values a pixel;
    // `balance` holds the as-shot red and blue multipliers. Rows the data do
    // not hold whole are zeroed and the result is false. Never reads outside
    // [src, src + size).
    static bool decode(const uint8_t *src, size_t size, uint32_t width, uint32_t rows, Output mode,
                       const float balance[2], uint16_t (*out)[3], int threads);

    // The coded luma (0..4095) to linear 16-bit values (4095 gives 65535).
    static void linearCurve(uint16_t curve[4096]);
};

}

#endif
