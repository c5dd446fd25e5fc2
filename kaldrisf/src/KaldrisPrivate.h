// The library's private state behind Kaldris::d.
#ifndef KALDRISPRIVATE_H
#define KALDRISPRIVATE_H

#include "Kaldris.h"
#include "formats/DngDecoder.h"
#include "io/DecodeError.h"
#include "io/FileMap.h"

#if __has_include("process/Renderer.h")
#include "process/Renderer.h"
#define KALDRIS_HAVE_RENDERER 1
#endif

#include <memory>
#include <new>
#include <vector>

struct KaldrisPrivate {
    kaldris::FileMap file;
    std::unique_ptr<kaldris::DngDecoder> dng;
    std::vector<float> floats;       // float data as decoded, for convertFloatToInt
#ifdef KALDRIS_HAVE_RENDERER
    kaldris::RenderedImage rendered;
#endif
    bool hasRendered = false;
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
