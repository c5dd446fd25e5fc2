// The bytes of a rendered picture, kept in a block laid out as the library's
// processed image so a finished rendering is handed out without a copy.
// Growing leaves new bytes unset: the rendering writes every byte itself,
// on every core, so the pages are first touched where they are filled.
#ifndef KALDRIS_PIXELBLOCK_H
#define KALDRIS_PIXELBLOCK_H

#include "Kaldris.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

class PixelBlock {
public:
    PixelBlock() = default;
    ~PixelBlock();
    PixelBlock(const PixelBlock &other);
    PixelBlock &operator=(const PixelBlock &other);
    PixelBlock(PixelBlock &&other) noexcept;
    PixelBlock &operator=(PixelBlock &&other) noexcept;

    uint8_t *data() { return block ? block->data : nullptr; }
    const uint8_t *data() const { return block ? block->data : nullptr; }
    size_t size() const { return count; }
    size_t capacity() const { return room; }
    bool empty() const { return count == 0; }
    uint8_t &operator[](size_t i) { return block->data[i]; }
    const uint8_t &operator[](size_t i) const { return block->data[i]; }
    uint8_t *begin() { return data(); }
    uint8_t *end() { return data() + count; }
    const uint8_t *begin() const { return data(); }
    const uint8_t *end() const { return data() + count; }

    bool operator==(const PixelBlock &other) const;

    // Keeps the first min(size, n) bytes. Throws std::bad_alloc.
    void resize(size_t n);
    void assign(size_t n, uint8_t value);
    // The block, for dcraw_clear_mem to release; its header is the caller's
    // to fill. Leaves this empty.
    kaldris_processed_image_t *release();

private:
    kaldris_processed_image_t *block = nullptr;
    size_t count = 0, room = 0;
};

}

#endif
