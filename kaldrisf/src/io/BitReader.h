// MSB-first bit reader over one bounds-checked byte range.
//
// BitReader reads the bytes as they are; JpegBitReader removes the 0xFF00
// stuffing of JPEG entropy-coded data and stops in front of a marker. Past
// the data (a marker or the end of the range) both feed zero bits and count
// them, so a decoder never reads outside the range and can tell afterwards
// whether it used bits that were not there (overrun()).
//
// The bits sit left-aligned in a 64-bit word. fill() tops it up to at least
// 56 bits, taking whole 8-byte chunks when they are in range (and, for JPEG,
// hold no 0xFF), so the per-symbol path has no bounds test.
#ifndef KALDRIS_BITREADER_H
#define KALDRIS_BITREADER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kaldris {

template <bool JpegStuffing> class BitReaderT {
public:
    BitReaderT(const uint8_t *begin, size_t len) : m_pos(begin), m_end(begin + len) {}

    // Up to 32 bits are available after ensure(32); peek/skip/get need that
    // many bits in the buffer (count() >= n).
    inline void ensure(int n)
    {
        if (m_count < n)
            fill();
    }
    inline uint32_t peek(int n) const { return uint32_t(m_buf >> (64 - n)); }
    inline void skip(int n)
    {
        m_buf <<= n;
        m_count -= n;
    }
    inline uint32_t get(int n)
    {
        const uint32_t v = peek(n);
        skip(n);
        return v;
    }
    // Bits of any width 0..32, refilling as needed.
    inline uint32_t getBits(int n)
    {
        if (n == 0)
            return 0;
        ensure(n);
        return get(n);
    }
    int count() const { return m_count; }

    // True once the caller has used bits beyond the data: the fed zeros
    // always sit behind the real bits, so the real ones are used up when more
    // zeros went in than are left in the buffer.
    bool overrun() const { return m_zeroBits > int64_t(m_count); }

    // A marker (0xFF followed by neither 0x00 nor the end) stopped the reader.
    bool atMarker() const { return m_atMarker; }

    // Drops the buffered bits (the padding before a restart marker) and
    // leaves the reader at the next unread byte.
    void discardBits()
    {
        m_buf = 0;
        m_count = 0;
        m_zeroBits = 0;
        m_atMarker = false;
    }
    const uint8_t *position() const { return m_pos; }
    const uint8_t *end() const { return m_end; }
    void setPosition(const uint8_t *p)
    {
        m_pos = p;
        discardBits();
    }

    void fill()
    {
        if (m_end - m_pos >= 8 && !m_atMarker) {
            uint64_t w;
            std::memcpy(&w, m_pos, 8);
            w = __builtin_bswap64(w);
            if (!JpegStuffing || !hasFFByte(w)) {
                const int n = (63 - m_count) >> 3;   // whole bytes that fit, 0..7
                m_buf |= (w >> (64 - 8 * n)) << (64 - m_count - 8 * n);
                m_count += 8 * n;
                m_pos += n;
                return;
            }
        }
        fillSlow();
    }

private:
    static inline bool hasFFByte(uint64_t w)
    {
        const uint64_t v = ~w;   // an 0xFF byte becomes a zero byte
        return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) != 0;
    }

    void pushByte(uint32_t b)
    {
        m_buf |= uint64_t(b) << (56 - m_count);
        m_count += 8;
    }

    void fillSlow()
    {
        while (m_count <= 56) {
            if (m_atMarker || m_pos >= m_end) {
                pushByte(0);
                m_zeroBits += 8;
                continue;
            }
            const uint8_t b = *m_pos;
            if (JpegStuffing && b == 0xFF) {
                if (m_end - m_pos >= 2 && m_pos[1] == 0x00) {
                    m_pos += 2;
                    pushByte(0xFF);
                    continue;
                }
                // A marker, fill bytes in front of one, or a lone 0xFF at the
                // very end: the entropy-coded data stop here.
                m_atMarker = true;
                continue;
            }
            ++m_pos;
            pushByte(b);
        }
    }

    uint64_t m_buf = 0;
    int m_count = 0;
    int64_t m_zeroBits = 0;
    bool m_atMarker = false;
    const uint8_t *m_pos;
    const uint8_t *m_end;
};

using BitReader = BitReaderT<false>;
using JpegBitReader = BitReaderT<true>;

}

#endif
