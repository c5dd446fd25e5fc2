// A read-only view of bytes where every read knows its end: reads past the
// end throw DecodeError{KALDRIS_TRUNCATED}. Offsets are absolute, 64-bit.
#ifndef KALDRIS_BYTESTREAM_H
#define KALDRIS_BYTESTREAM_H

#include "io/DecodeError.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kaldris {

class ByteStream {
public:
    ByteStream() = default;
    ByteStream(const uint8_t *data, size_t size, bool bigEndian = false) : m_data(data), m_size(size), m_big(bigEndian) {}

    const uint8_t *data() const { return m_data; }
    size_t size() const { return m_size; }
    bool bigEndian() const { return m_big; }
    void setBigEndian(bool big) { m_big = big; }

    bool contains(uint64_t offset, uint64_t length) const { return offset <= m_size && length <= m_size - offset; }
    void require(uint64_t offset, uint64_t length) const
    {
        if (!contains(offset, length))
            fail(KALDRIS_TRUNCATED);
    }
    // How many of `length` bytes from `offset` lie inside the stream.
    uint64_t available(uint64_t offset, uint64_t length) const
    {
        if (offset >= m_size)
            return 0;
        return length < m_size - offset ? length : m_size - offset;
    }

    const uint8_t *ptr(uint64_t offset, uint64_t length) const
    {
        require(offset, length);
        return m_data + offset;
    }
    uint8_t u8(uint64_t offset) const { return *ptr(offset, 1); }
    uint16_t u16(uint64_t offset) const
    {
        const uint8_t *p = ptr(offset, 2);
        return m_big ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
    }
    uint32_t u32(uint64_t offset) const
    {
        const uint8_t *p = ptr(offset, 4);
        return m_big ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                     : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    uint64_t u64(uint64_t offset) const
    {
        uint64_t a = u32(offset), b = u32(offset + 4);
        return m_big ? (a << 32 | b) : (b << 32 | a);
    }
    float f32(uint64_t offset) const
    {
        uint32_t v = u32(offset);
        float f;
        std::memcpy(&f, &v, 4);
        return f;
    }
    double f64(uint64_t offset) const
    {
        uint64_t v = u64(offset);
        double f;
        std::memcpy(&f, &v, 8);
        return f;
    }

private:
    const uint8_t *m_data = nullptr;
    size_t m_size = 0;
    bool m_big = false;
};

}

#endif
