// The unpacked frame's buffer: kaldris::allocateFrame, released with
// kaldris::releaseFrame (std::free also works). It is not zeroed: each
// piece clears what its decompressor may leave unwritten.
#ifndef KALDRIS_FRAMEBUFFER_H
#define KALDRIS_FRAMEBUFFER_H

#include "KaldrisFrames.h"

#endif
