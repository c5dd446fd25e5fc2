// The library's private state behind Kaldris::d.
#ifndef KALDRISPRIVATE_H
#define KALDRISPRIVATE_H

#include "Kaldris.h"
#include "formats/FormatDecoder.h"
#include "io/DecodeError.h"
#include "io/FileMap.h"

#include "process/Renderer.h"

#include <memory>
#include <new>
#include <vector>

struct KaldrisPrivate {
    kaldris::FileMap file;
    std::unique_ptr<kaldris::FormatDecoder> decoder;
    std::vector<float> floats;       // float data as decoded, for convertFloatToInt
    kaldris::RenderedImage rendered;
    bool hasRendered = false;
    // The block the last rendering went out in, without a copy; the caller
    // owns it, so it is only ever compared with.
    const kaldris_processed_image_t *handedOut = nullptr;
};

namespace kaldris {

// Runs fn at the public boundary: no exception gets past it.
template <class Fn> int guarded(Fn &&fn) noexcept
{
    try {
        return fn();
    } catch (const DecodeError &e) {
        return e.code;
    } catch (const std::bad_alloc &) {
        return KALDRIS_OUT_OF_MEMORY;
    } catch (...) {
        return KALDRIS_UNSPECIFIED_ERROR;
    }
}

}

#endif
