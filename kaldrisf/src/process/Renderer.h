// The library's RGB rendering of the unpacked data: black, scaling to the
// white level, white balance, demosaicing, the camera-to-output colour
// matrix, auto-brightness and the gamma curve, into 8-bit pixels of the
// visible area (unrotated). The raw buffers are only read.
#ifndef KALDRIS_RENDERER_H
#define KALDRIS_RENDERER_H

#include "Kaldris.h"

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace kaldris {

// Leaves resized elements unset: the rendering writes every byte itself, on
// every core, so the pages are first touched where they are filled.
template <class T> struct UnsetAllocator : std::allocator<T> {
    template <class U> struct rebind {
        using other = UnsetAllocator<U>;
    };
    UnsetAllocator() = default;
    template <class U> UnsetAllocator(const UnsetAllocator<U> &) noexcept {}
    template <class U, class... Args> void construct(U *p, Args &&...args)
    {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void *>(p)) U;
        else
            ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};

struct RenderedImage {
    std::vector<uint8_t, UnsetAllocator<uint8_t>> pixels;  // rows of width x colors bytes
    int width = 0, height = 0, colors = 0;
};

// 0 on success, else a KaldrisError code with `out` emptied. Never throws.
int renderImage(const kaldris_data_t &d, RenderedImage &out);

}

#endif
