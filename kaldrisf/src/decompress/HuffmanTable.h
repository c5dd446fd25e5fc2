// Canonical Huffman tables of lossless coders (T.81 Annex C counts and
// values) with a look-up that resolves short codes, and their difference
// bits where they fit, in one step.
//
// A value (leaf) says how many difference bits follow the code. Plain JPEG
// values are that count (0..16, 16 meaning -32768 without bits). Shifted
// tables, as Nikon's lossy coders use them, hold a length L in the low four
// bits and a shift S in the high four: L - S bits follow, standing for the
// upper bits of an L-bit difference whose S low bits were dropped.
#ifndef KALDRIS_HUFFMANTABLE_H
#define KALDRIS_HUFFMANTABLE_H

#include <cstdint>
#include <cstring>

namespace kaldris {

// Codes up to this length are resolved by one table look-up; when the code
// and its extra bits fit together, the look-up gives the difference itself.
constexpr int kLutBits = 11;

// Look-up entry: bits 0-4 bits to drop (0 = longer code or no code),
// bits 8-12 extra bits still to read, bits 13-15 the shift of a shifted
// value, bits 16-31 the difference when no extra bits are left.
struct HuffTable {
    uint32_t lut[1 << kLutBits];
    uint32_t limit[17];    // left-justified 16-bit codes of length l lie below limit[l]
    int32_t offset[17];    // value index = code + offset[l]
    uint8_t values[256];
    bool shifted = false;
};

// One table as counts a length (bits[1..16]) and values in code order.
struct DhtTable {
    bool defined = false;
    uint8_t bits[17] = {};
    uint8_t values[256] = {};
    int count = 0;
};

inline int extendDiff(uint32_t v, int s)
{
    return v < (1u << (s - 1)) ? int(v) - (1 << s) + 1 : int(v);
}

// The difference of a shifted value: `v` holds the upper bits of an
// `len`-bit difference, `shift` low bits dropped and restored as half a step.
inline int shiftedDiff(uint32_t v, int len, int shift)
{
    int d = int(((v << 1) + 1) << shift >> 1);
    if (!(d & (1 << (len - 1))))
        d -= (1 << len) - (shift ? 0 : 1);
    return d;
}

inline uint32_t lutEntry(int drop, int extra, int diff, int shift = 0)
{
    return (uint32_t(uint16_t(diff)) << 16) | (uint32_t(shift & 7) << 13) | (uint32_t(extra) << 8)
           | uint32_t(drop);
}

// How many bits follow a value's code, and the shift to restore.
inline void valueBits(const HuffTable &t, int value, int &bits, int &len, int &shift)
{
    if (!t.shifted) {
        bits = len = value;
        shift = 0;
        return;
    }
    len = value & 15;
    shift = value >> 4;
    bits = shift < len ? len - shift : 0;
    if (shift >= len)
        len = shift = 0;
}

inline int diffOf(uint32_t v, int bits, int len, int shift)
{
    if (len == 0)
        return 0;
    return shift ? shiftedDiff(v, len, shift) : extendDiff(v, bits);
}

// False when the counts overflow the code space.
inline bool buildTable(const DhtTable &dht, HuffTable &t, bool shifted = false)
{
    std::memset(t.lut, 0, sizeof t.lut);
    std::memcpy(t.values, dht.values, sizeof t.values);
    t.shifted = shifted;
    uint32_t code = 0;
    int k = 0;
    t.limit[0] = 0;
    t.offset[0] = 0;
    for (int l = 1; l <= 16; ++l) {
        t.offset[l] = k - int(code);
        for (int i = 0; i < dht.bits[l]; ++i, ++k, ++code) {
            if (code >= (1u << l) || k >= 256)
                return false;
            if (l > kLutBits)
                continue;
            int s, len, shift;
            valueBits(t, dht.values[k], s, len, shift);
            const int span = kLutBits - l;
            const uint32_t first = code << span;
            for (uint32_t j = 0; j < (1u << span); ++j) {
                uint32_t e;
                if (len == 0)
                    e = lutEntry(l, 0, 0);
                else if (!shifted && s == 16)
                    e = lutEntry(l, 0, -32768);
                else if (l + s <= kLutBits)
                    e = lutEntry(l + s, 0, diffOf((j >> (span - s)) & ((1u << s) - 1), s, len, shift));
                else
                    e = lutEntry(l, s, 0, shift);
                t.lut[first | j] = e;
            }
        }
        t.limit[l] = code << (16 - l);
        code <<= 1;
    }
    return true;
}

// Codes longer than the look-up, and prefixes that are no code at all.
template <class Reader> __attribute__((noinline)) int decodeSlow(Reader &br, const HuffTable &t, bool &bad)
{
    const uint32_t p = br.peek(16);
    int l = kLutBits + 1;
    while (l <= 16 && p >= t.limit[l])
        ++l;
    if (l > 16) {
        bad = true;
        br.skip(16);
        return 0;
    }
    const int value = t.values[(p >> (16 - l)) + t.offset[l]];
    br.skip(l);
    int s, len, shift;
    valueBits(t, value, s, len, shift);
    if (len == 0)
        return 0;
    if (!t.shifted && s == 16)
        return -32768;
    return diffOf(br.get(s), s, len, shift);
}

// The reader must hold at least 32 bits.
template <class Reader> inline int decodeDiff(Reader &br, const HuffTable &t, bool &bad)
{
    const uint32_t e = t.lut[br.peek(kLutBits)];
    const int drop = e & 31;
    if (__builtin_expect(drop != 0, 1)) {
        br.skip(drop);
        const int extra = (e >> 8) & 31;
        if (extra == 0)
            return int32_t(e) >> 16;
        const int shift = (e >> 13) & 7;
        if (shift)
            return shiftedDiff(br.get(extra), extra + shift, shift);
        return extendDiff(br.get(extra), extra);
    }
    return decodeSlow(br, t, bad);
}

}

#endif
