#include "tiff/TiffEntry.h"

#include <cmath>

namespace kaldris {

unsigned TiffEntry::typeSize(uint16_t type)
{
    switch (type) {
    case TIFF_BYTE: case TIFF_ASCII: case TIFF_SBYTE: case TIFF_UNDEFINED: return 1;
    case TIFF_SHORT: case TIFF_SSHORT: return 2;
    case TIFF_LONG: case TIFF_SLONG: case TIFF_FLOAT: case TIFF_IFD: return 4;
    case TIFF_RATIONAL: case TIFF_SRATIONAL: case TIFF_DOUBLE: case TIFF_LONG8: case TIFF_SLONG8: case TIFF_IFD8: return 8;
    default: return 0;
    }
}

bool TiffEntry::isInteger() const
{
    switch (m_type) {
    case TIFF_BYTE: case TIFF_SBYTE: case TIFF_UNDEFINED: case TIFF_SHORT: case TIFF_SSHORT:
    case TIFF_LONG: case TIFF_SLONG: case TIFF_IFD: case TIFF_LONG8: case TIFF_SLONG8: case TIFF_IFD8:
        return true;
    default:
        return false;
    }
}

uint64_t TiffEntry::u(uint32_t i) const
{
    if (i >= m_count)
        fail(KALDRIS_CORRUPT);
    uint64_t o = m_offset + uint64_t(i) * typeSize(m_type);
    switch (m_type) {
    case TIFF_BYTE: case TIFF_UNDEFINED: case TIFF_ASCII: return m_s.u8(o);
    case TIFF_SBYTE: return uint64_t(std::max(0, int(int8_t(m_s.u8(o)))));
    case TIFF_SHORT: return m_s.u16(o);
    case TIFF_SSHORT: return uint64_t(std::max(0, int(int16_t(m_s.u16(o)))));
    case TIFF_LONG: case TIFF_IFD: return m_s.u32(o);
    case TIFF_SLONG: return uint64_t(std::max(0, int32_t(m_s.u32(o))));
    case TIFF_LONG8: case TIFF_IFD8: case TIFF_SLONG8: return m_s.u64(o);
    default: {
        double v = f(i);
        if (!(v > 0))
            return 0;
        return v >= 1.8e19 ? UINT64_MAX : uint64_t(v);
    }
    }
}

double TiffEntry::f(uint32_t i) const
{
    if (i >= m_count)
        fail(KALDRIS_CORRUPT);
    uint64_t o = m_offset + uint64_t(i) * typeSize(m_type);
    switch (m_type) {
    case TIFF_RATIONAL: {
        uint32_t n = m_s.u32(o), d = m_s.u32(o + 4);
        return d ? double(n) / d : 0.0;
    }
    case TIFF_SRATIONAL: {
        int32_t n = int32_t(m_s.u32(o)), d = int32_t(m_s.u32(o + 4));
        return d ? double(n) / d : 0.0;
    }
    case TIFF_FLOAT: {
        double v = m_s.f32(o);
        return std::isfinite(v) ? v : 0.0;
    }
    case TIFF_DOUBLE: {
        double v = m_s.f64(o);
        return std::isfinite(v) ? v : 0.0;
    }
    case TIFF_SBYTE: return int8_t(m_s.u8(o));
    case TIFF_SSHORT: return int16_t(m_s.u16(o));
    case TIFF_SLONG: return int32_t(m_s.u32(o));
    case TIFF_SLONG8: return double(int64_t(m_s.u64(o)));
    default: return double(u(i));
    }
}

template <class T, class Get> std::vector<T> TiffEntry::values(uint32_t maxCount, Get get) const
{
    std::vector<T> v;
    uint32_t n = std::min(m_count, maxCount);
    v.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        v.push_back((this->*get)(i));
    return v;
}

std::vector<double> TiffEntry::reals(uint32_t maxCount) const { return values<double>(maxCount, &TiffEntry::f); }

std::vector<uint64_t> TiffEntry::ints(uint32_t maxCount) const { return values<uint64_t>(maxCount, &TiffEntry::u); }

std::string TiffEntry::text() const
{
    if (typeSize(m_type) != 1)
        return std::string();
    uint64_t n = std::min<uint64_t>(m_count, 4096);
    const char *p = reinterpret_cast<const char *>(m_s.ptr(m_offset, n));
    size_t len = 0;
    while (len < n && p[len])
        ++len;
    std::string s(p, len);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

}
