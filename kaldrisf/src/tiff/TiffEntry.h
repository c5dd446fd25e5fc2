// One IFD entry with typed, bounds-checked access to its values.
#ifndef KALDRIS_TIFFENTRY_H
#define KALDRIS_TIFFENTRY_H

#include "io/ByteStream.h"

#include <string>
#include <vector>

namespace kaldris {

enum TiffType : uint16_t {
    TIFF_BYTE = 1, TIFF_ASCII = 2, TIFF_SHORT = 3, TIFF_LONG = 4, TIFF_RATIONAL = 5,
    TIFF_SBYTE = 6, TIFF_UNDEFINED = 7, TIFF_SSHORT = 8, TIFF_SLONG = 9, TIFF_SRATIONAL = 10,
    TIFF_FLOAT = 11, TIFF_DOUBLE = 12, TIFF_IFD = 13, TIFF_LONG8 = 16, TIFF_SLONG8 = 17, TIFF_IFD8 = 18,
};

class TiffEntry {
public:
    TiffEntry() = default;
    TiffEntry(const ByteStream &s, uint16_t tag, uint16_t type, uint32_t count, uint64_t dataOffset)
        : m_s(s), m_tag(tag), m_type(type), m_count(count), m_offset(dataOffset) {}

    static unsigned typeSize(uint16_t type);

    uint16_t tag() const { return m_tag; }
    uint16_t type() const { return m_type; }
    uint32_t count() const { return m_count; }
    uint64_t dataOffset() const { return m_offset; }
    uint64_t byteSize() const { return uint64_t(m_count) * typeSize(m_type); }
    bool isInteger() const;

    // Value i as an unsigned integer (integers; rationals and floats truncated).
    uint64_t u(uint32_t i = 0) const;
    // Value i as a real number.
    double f(uint32_t i = 0) const;
    std::vector<double> reals(uint32_t maxCount = 1u << 20) const;
    std::vector<uint64_t> ints(uint32_t maxCount = 1u << 24) const;
    std::string text() const;
    const uint8_t *bytes() const { return m_s.ptr(m_offset, byteSize()); }

private:
    // The first min(count, maxCount) values through `get` (f or u).
    template <class T, class Get> std::vector<T> values(uint32_t maxCount, Get get) const;

    ByteStream m_s;
    uint16_t m_tag = 0, m_type = 0;
    uint32_t m_count = 0;
    uint64_t m_offset = 0;
};

}

#endif
