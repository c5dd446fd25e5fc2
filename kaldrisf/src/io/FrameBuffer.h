// The unpacked frame's buffer: kaldris::allocateFrame, released with
// kaldris::releaseFrame (std::free also works). It is not zeroed: each
// piece clears what its decompressor may leave unwritten.
#ifndef KALDRIS_FRAMEBUFFER_H
#define KALDRIS_FRAMEBUFFER_H

#include "KaldrisFrames.h"
#include "io/DecodeError.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace kaldris {

using SampleFrame = std::unique_ptr<uint16_t, decltype(&std::free)>;

// A frame of 16-bit samples: KALDRIS_TOO_BIG over the data block's memory
// limit (0 = none), KALDRIS_OUT_OF_MEMORY when none is to be had.
inline SampleFrame allocateSamples(size_t samples, unsigned maxRawMemoryMb)
{
    const uint64_t limit = uint64_t(maxRawMemoryMb) << 20;
    if (limit && uint64_t(samples) * 2 > limit)
        fail(KALDRIS_TOO_BIG);
    SampleFrame frame(static_cast<uint16_t *>(allocateFrame(samples * sizeof(uint16_t))), &std::free);
    if (!frame)
        fail(KALDRIS_OUT_OF_MEMORY);
    return frame;
}

}

#endif
