#include "PixelBlock.h"

#include "io/FrameBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace kaldris {

PixelBlock::~PixelBlock()
{
    releaseFrame(block);
}

PixelBlock::PixelBlock(const PixelBlock &other)
{
    *this = other;
}

PixelBlock &PixelBlock::operator=(const PixelBlock &other)
{
    if (this != &other) {
        PixelBlock copy;
        copy.resize(other.count);
        if (other.count)
            std::memcpy(copy.data(), other.data(), other.count);
        *this = std::move(copy);
    }
    return *this;
}

PixelBlock::PixelBlock(PixelBlock &&other) noexcept
    : block(std::exchange(other.block, nullptr)), count(std::exchange(other.count, 0)), room(std::exchange(other.room, 0))
{
}

PixelBlock &PixelBlock::operator=(PixelBlock &&other) noexcept
{
    if (this != &other) {
        releaseFrame(block);
        block = std::exchange(other.block, nullptr);
        count = std::exchange(other.count, 0);
        room = std::exchange(other.room, 0);
    }
    return *this;
}

bool PixelBlock::operator==(const PixelBlock &other) const
{
    return count == other.count && (count == 0 || std::memcmp(data(), other.data(), count) == 0);
}

void PixelBlock::resize(size_t n)
{
    if (n > room) {
        // The header's data_size is 32 bits wide.
        if (n > 0xFFFFFFFFu)
            throw std::bad_alloc();
        // A frame buffer: the next image's rendering reuses this one's pages.
        auto *grown = static_cast<kaldris_processed_image_t *>(
            allocateFrame(offsetof(kaldris_processed_image_t, data) + std::max<size_t>(n, 1)));
        if (!grown)
            throw std::bad_alloc();
        if (count)
            std::memcpy(grown->data, block->data, count);
        releaseFrame(block);
        block = grown;
        room = n;
    }
    count = n;
}

void PixelBlock::assign(size_t n, uint8_t value)
{
    resize(n);
    if (n)
        std::memset(block->data, value, n);
}

kaldris_processed_image_t *PixelBlock::release()
{
    count = room = 0;
    return std::exchange(block, nullptr);
}

}
