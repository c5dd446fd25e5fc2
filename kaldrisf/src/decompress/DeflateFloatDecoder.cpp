#include "decompress/DeflateFloatDecoder.h"

#include "Kaldris.h"

#include <zlib.h>

#include <bit>
#include <climits>
#include <new>
#include <vector>

namespace kaldris {

namespace {

inline float halfToFloat(uint32_t h)
{
    const uint32_t sign = (h & 0x8000u) << 16;
    const uint32_t e = (h >> 10) & 31;
    const uint32_t m = h & 0x3FF;
    if (e == 0) {
        const float f = float(m) * 0x1p-24f;   // exact: denormals are m x 2^-24
        return sign ? -f : f;
    }
    if (e == 31)
        return std::bit_cast<float>(sign | 0x7F800000u | (m << 13));
    return std::bit_cast<float>(sign | ((e + 112) << 23) | (m << 13));
}

inline float fp24ToFloat(uint32_t v)
{
    const uint32_t sign = (v & 0x800000u) << 8;
    const uint32_t e = (v >> 16) & 127;
    const uint32_t m = v & 0xFFFF;
    if (e == 0) {
        const float f = float(m) * 0x1p-78f;   // denormals are m x 2^-78, normal floats
        return sign ? -f : f;
    }
    if (e == 127)
        return std::bit_cast<float>(sign | 0x7F800000u | (m << 7));
    return std::bit_cast<float>(sign | ((e + 64) << 23) | (m << 7));
}

template <int B> inline float toFloat(uint32_t p)
{
    if constexpr (B == 2)
        return halfToFloat(p);
    else if constexpr (B == 3)
        return fp24ToFloat(p);
    else
        return std::bit_cast<float>(p);
}

// One row, already undone from the predictor when planar: plane k (k = 0 the
// most significant byte) holds byte k of every sample.
template <int B> void storePlanar(const uint8_t *row, size_t n, float *dst, uint32_t keep)
{
    for (uint32_t i = 0; i < keep; ++i) {
        uint32_t p = 0;
        for (int k = 0; k < B; ++k)
            p = (p << 8) | row[size_t(k) * n + i];
        dst[i] = toFloat<B>(p);
    }
}

template <int B> void storeInterleaved(const uint8_t *row, float *dst, uint32_t keep, bool bigEndian)
{
    for (uint32_t i = 0; i < keep; ++i) {
        const uint8_t *s = row + size_t(i) * B;
        uint32_t p = 0;
        if (bigEndian) {
            for (int k = 0; k < B; ++k)
                p = (p << 8) | s[k];
        } else {
            for (int k = B - 1; k >= 0; --k)
                p = (p << 8) | s[k];
        }
        dst[i] = toFloat<B>(p);
    }
}

void undoDifferences(uint8_t *row, size_t bytes, size_t distance)
{
    for (size_t j = distance; j < bytes; ++j)
        row[j] = uint8_t(row[j] + row[j - distance]);
}

class Inflater {
public:
    Inflater(const uint8_t *src, size_t len) : m_next(src), m_left(len)
    {
        m_initialised = inflateInit(&m_z) == Z_OK;
        m_ok = m_initialised;
    }
    ~Inflater()
    {
        if (m_initialised)
            inflateEnd(&m_z);
    }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Fills out completely; false when the stream ends or breaks first.
    bool read(uint8_t *out, size_t n)
    {
        if (!m_ok)
            return false;
        while (n > 0) {
            if (m_z.avail_in == 0 && m_left > 0) {
                const size_t chunk = m_left < size_t(UINT_MAX) ? m_left : size_t(UINT_MAX);
                m_z.next_in = const_cast<Bytef *>(m_next);
                m_z.avail_in = uInt(chunk);
                m_next += chunk;
                m_left -= chunk;
            }
            const uInt ask = n < size_t(UINT_MAX) ? uInt(n) : uInt(UINT_MAX);
            m_z.next_out = out;
            m_z.avail_out = ask;
            const int rc = inflate(&m_z, Z_NO_FLUSH);
            const size_t got = ask - m_z.avail_out;
            out += got;
            n -= got;
            if (n == 0)
                return true;
            if (rc == Z_BUF_ERROR && m_z.avail_in == 0 && m_left > 0)
                continue;   // the next input chunk goes in
            // Stream end, a data error, or no progress with all input given.
            if (rc != Z_OK || (got == 0 && m_z.avail_in == 0 && m_left == 0)) {
                m_ok = false;
                return false;
            }
        }
        return true;
    }

private:
    z_stream m_z {};
    const uint8_t *m_next;
    size_t m_left;
    bool m_initialised = false;
    bool m_ok = false;   // false once the stream has ended or broken
};

template <int B>
int decodeRows(const uint8_t *src, size_t len, const FloatTarget &t, uint32_t spp, int predictor, bool bigEndian)
{
    const size_t n = t.rowSamples;
    const size_t rowBytes = n * B;
    size_t distance = 0;
    if (predictor == 3)
        distance = spp;
    else if (predictor == 34894)
        distance = 2 * size_t(spp);
    else if (predictor == 34895)
        distance = 4 * size_t(spp);
    std::vector<uint8_t> row(rowBytes);
    Inflater z(src, len);
    for (uint32_t r = 0; r < t.keepRows; ++r) {
        if (!z.read(row.data(), rowBytes))
            return r == 0 ? KALDRIS_CORRUPT : KALDRIS_DATA_ERROR;
        float *dst = t.dst + size_t(r) * t.pitch;
        if (predictor == 1) {
            storeInterleaved<B>(row.data(), dst, t.keepSamples, bigEndian);
        } else {
            undoDifferences(row.data(), rowBytes, distance);
            storePlanar<B>(row.data(), n, dst, t.keepSamples);
        }
    }
    return KALDRIS_SUCCESS;
}

}

int DeflateFloatDecoder::decode(const uint8_t *src, size_t len, const FloatTarget &t, uint32_t samplesPerPixel,
                                uint32_t bitsPerSample, int predictor, bool bigEndian)
{
    if (predictor != 1 && predictor != 3 && predictor != 34894 && predictor != 34895)
        return KALDRIS_UNSUPPORTED_COMPRESSION;
    if (bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32)
        return KALDRIS_UNSUPPORTED_COMPRESSION;
    if (t.keepRows == 0 || t.keepSamples == 0)
        return KALDRIS_SUCCESS;
    if (samplesPerPixel == 0 || t.keepSamples > t.rowSamples || t.keepRows > t.rows || !t.dst)
        return KALDRIS_CORRUPT;
    if (!src || len == 0)
        return KALDRIS_CORRUPT;
    try {
        switch (bitsPerSample) {
        case 16: return decodeRows<2>(src, len, t, samplesPerPixel, predictor, bigEndian);
        case 24: return decodeRows<3>(src, len, t, samplesPerPixel, predictor, bigEndian);
        default: return decodeRows<4>(src, len, t, samplesPerPixel, predictor, bigEndian);
        }
    } catch (const std::bad_alloc &) {
        return KALDRIS_OUT_OF_MEMORY;
    } catch (...) {
        return KALDRIS_UNSPECIFIED_ERROR;
    }
}

}
