#include "decompress/SamsungDecompressor.h"

#include "io/BitReader.h"
#include "io/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace kaldris {

namespace {

// MSB-first bits of 32-bit little-endian words, a word taken only when its
// bits are needed (the block layouts' rows end after the last word used).
class WordBits {
public:
    WordBits(const uint8_t *begin, const uint8_t *end) : m_pos(begin), m_end(end) {}

    // 0 to 32 bits.
    inline uint32_t get(int n)
    {
        if (n == 0)
            return 0;
        if (m_count < n)
            refill();
        const uint32_t v = uint32_t(m_buf >> (64 - n));
        m_buf <<= n;
        m_count -= n;
        return v;
    }
    // Bits were needed beyond the data (they read as 0).
    bool overrun() const { return m_overrun; }
    uint64_t wordsTaken() const { return m_words; }

private:
    inline void refill()
    {
        uint32_t w = 0;
        if (m_end - m_pos >= 4) {
            w = uint32_t(m_pos[0]) | uint32_t(m_pos[1]) << 8 | uint32_t(m_pos[2]) << 16 | uint32_t(m_pos[3]) << 24;
            m_pos += 4;
        } else {
            m_overrun = true;
        }
        m_buf |= uint64_t(w) << (32 - m_count);
        m_count += 32;
        ++m_words;
    }

    const uint8_t *m_pos, *m_end;
    uint64_t m_buf = 0;
    int m_count = 0;
    uint64_t m_words = 0;
    bool m_overrun = false;
};

inline int signExtend(uint32_t v, int n)
{
    return n ? int32_t(v << (32 - n)) >> (32 - n) : 0;
}

void zeroRows(uint16_t *dst, uint32_t width, uint32_t from, uint32_t height)
{
    if (from < height)
        std::memset(dst + size_t(from) * width, 0, size_t(height - from) * width * sizeof(uint16_t));
}

// The longest difference a 16-bit value can need.
constexpr int maxLength = 16;

}

unsigned SamsungDecompressor::packedPadded(const uint8_t *src, size_t len, uint16_t *dst, uint32_t width,
                                           uint32_t height, int threads)
{
    const uint64_t rowBytes = paddedRowBytes(width);
    std::atomic<unsigned> errors{0};
    auto decodeRow = [&](size_t r) {
        uint16_t *out = dst + r * width;
        const uint64_t at = r * rowBytes;
        if (at + rowBytes > len) {
            std::memset(out, 0, size_t(width) * sizeof(uint16_t));
            errors.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        const uint8_t *p = src + at;
        uint32_t x = 0;
        for (; x + 10 <= width; x += 10, p += 16)
            for (uint32_t i = 0; i < 10; i += 2) {
                const uint8_t *q = p + i / 2 * 3;
                out[x + i] = uint16_t(q[0] << 4 | q[1] >> 4);
                out[x + i + 1] = uint16_t((q[1] & 15) << 8 | q[2]);
            }
        // A last group of fewer than 10 pixels.
        for (uint32_t i = 0; x + i < width; ++i) {
            const uint8_t *q = p + i / 2 * 3;
            out[x + i] = i & 1 ? uint16_t((q[1] & 15) << 8 | q[2]) : uint16_t(q[0] << 4 | q[1] >> 4);
        }
    };
    constexpr size_t bandRows = 32;
    parallelFor((height + bandRows - 1) / bandRows, threads, [&](size_t b) {
        for (size_t r = b * bandRows; r < std::min<size_t>(height, (b + 1) * bandRows); ++r)
            decodeRow(r);
    });
    return errors.load();
}

unsigned SamsungDecompressor::blocks1(const uint8_t *src, size_t len, const uint32_t *rowStart, uint16_t *dst,
                                      uint32_t width, uint32_t height, unsigned bits, int threads)
{
    const uint32_t pw = (width + 15) / 16 * 16, blocks = pw / 16;
    // The frame as the codec stores it (greens swapped), at whole blocks.
    std::vector<uint16_t> padded;
    uint16_t *st = dst;
    if (pw != width) {
        padded.resize(size_t(pw) * height);
        st = padded.data();
    }
    std::vector<uint8_t> dirs(size_t(blocks) * height), bad(height);
    std::atomic<unsigned> errors{0};

    // The differences of each row, and each block's direction.
    auto readRow = [&](size_t r) {
        int16_t *out = reinterpret_cast<int16_t *>(st + r * pw);
        uint8_t *dir = &dirs[r * blocks];
        const uint64_t start = rowStart[r];
        if (start >= len) {
            bad[r] = 1;
            return;
        }
        WordBits in(src + start, src + len);
        int lens[4];
        std::fill(lens, lens + 4, r < 2 ? 7 : 4);
        for (uint32_t b = 0; b < blocks; ++b) {
            dir[b] = uint8_t(in.get(1));
            int op[4];
            for (int &o : op)
                o = int(in.get(2));
            for (int g = 0; g < 4; ++g) {
                if (op[g] == 3)
                    lens[g] = int(in.get(4));
                else if (op[g] == 2)
                    --lens[g];
                else if (op[g] == 1)
                    ++lens[g];
            }
            if (std::any_of(lens, lens + 4, [](int l) { return l < 0 || l > maxLength; })) {
                bad[r] = 1;
                return;
            }
            int16_t *o = out + b * 16;
            for (int c = 0; c < 16; c += 2)
                o[c] = int16_t(signExtend(in.get(lens[c >> 3]), lens[c >> 3]));
            for (int c = 1; c < 16; c += 2)
                o[c] = int16_t(signExtend(in.get(lens[2 | c >> 3]), lens[2 | c >> 3]));
        }
        if (in.overrun())
            bad[r] = 1;
    };
    constexpr size_t bandRows = 16;
    parallelFor((height + bandRows - 1) / bandRows, threads, [&](size_t band) {
        for (size_t r = band * bandRows; r < std::min<size_t>(height, (band + 1) * bandRows); ++r)
            readRow(r);
    });

    // Values: even columns of a vertical block from the row above, odd ones
    // from two rows up; otherwise from the last same-parity pixel of the
    // block to the left (128 in a row's first block).
    const unsigned maxValue = (1u << bits) - 1;
    unsigned rangeErrors = 0;
    for (uint32_t r = 0; r < height; ++r) {
        uint16_t *row = st + size_t(r) * pw;
        if (bad[r]) {
            std::memset(row, 0, size_t(pw) * sizeof(uint16_t));
            errors.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        const uint8_t *dir = &dirs[size_t(r) * blocks];
        for (uint32_t b = 0; b < blocks; ++b) {
            uint16_t *p = row + b * 16;
            if (dir[b]) {
                if (r < 2) {
                    ++rangeErrors;   // nothing above to predict from
                    continue;
                }
                const uint16_t *up1 = p - pw, *up2 = p - 2 * size_t(pw);
                for (int c = 0; c < 16; c += 2) {
                    p[c] = uint16_t(int16_t(p[c]) + up1[c]);
                    p[c + 1] = uint16_t(int16_t(p[c + 1]) + up2[c + 1]);
                }
            } else {
                const int even = b ? p[-2] : 128, odd = b ? p[-1] : 128;
                for (int c = 0; c < 16; c += 2) {
                    p[c] = uint16_t(int16_t(p[c]) + even);
                    p[c + 1] = uint16_t(int16_t(p[c + 1]) + odd);
                }
            }
            for (int c = 0; c < 16; ++c)
                rangeErrors += p[c] > maxValue;
        }
    }

    // The greens back to their places, into the frame.
    parallelFor((height + 1) / 2, threads, [&](size_t k) {
        const size_t r = k * 2;
        uint16_t *a = dst + r * width, *b = r + 1 < height ? a + width : nullptr;
        if (st != dst) {
            std::memcpy(a, st + r * pw, size_t(width) * sizeof(uint16_t));
            if (b)
                std::memcpy(b, st + (r + 1) * pw, size_t(width) * sizeof(uint16_t));
        }
        if (b)
            for (uint32_t x = 0; x + 1 < width; x += 2)
                std::swap(a[x + 1], b[x]);
    });
    return errors.load() + rangeErrors;
}

unsigned SamsungDecompressor::rowHuffman(const uint8_t *src, size_t len, uint16_t *dst, uint32_t width,
                                         uint32_t height, unsigned bits)
{
    // (code length, difference bits); the codes are consecutive ranges of a
    // 10-bit look-up, in this order.
    static const uint8_t table[14][2] = {{3, 4}, {3, 7}, {2, 6}, {2, 5}, {4, 3}, {6, 0}, {7, 9},
                                         {8, 10}, {9, 11}, {10, 12}, {10, 13}, {5, 1}, {4, 8}, {4, 2}};
    struct Lookup {
        uint8_t codeLength[1024], diffBits[1024];
        Lookup()
        {
            unsigned n = 0;
            for (const auto &t : table)
                for (unsigned k = 0; k < (1024u >> t[0]); ++k, ++n) {
                    codeLength[n] = t[0];
                    diffBits[n] = t[1];
                }
        }
    };
    static const Lookup lookup;

    BitReader in(src, len);
    const unsigned maxValue = (1u << bits) - 1;
    unsigned errors = 0;
    uint16_t vpred[2][2] = {{0, 0}, {0, 0}};
    for (uint32_t r = 0; r < height; ++r) {
        uint16_t *out = dst + size_t(r) * width;
        uint16_t hpred[2] = {0, 0};
        for (uint32_t x = 0; x < width; ++x) {
            in.ensure(23);
            const uint32_t code = in.peek(10);
            in.skip(lookup.codeLength[code]);
            const int n = lookup.diffBits[code];
            int diff = 0;
            if (n) {
                diff = int(in.get(n));
                if (!(diff >> (n - 1)))
                    diff -= (1 << n) - 1;
            }
            uint16_t v;
            if (x < 2)
                v = hpred[x] = vpred[r & 1][x] = uint16_t(vpred[r & 1][x] + diff);
            else
                v = hpred[x & 1] = uint16_t(hpred[x & 1] + diff);
            out[x] = v;
            errors += v > maxValue;
        }
        if (in.overrun()) {
            // The stream ended inside this row: what follows is not in the file.
            zeroRows(dst, width, r, height);
            return errors + 1;
        }
    }
    return errors;
}

unsigned SamsungDecompressor::blocks2(const uint8_t *src, size_t len, uint16_t *dst, uint32_t width,
                                      uint32_t height, unsigned bits)
{
    constexpr size_t header = 16;
    if (len < header) {
        zeroRows(dst, width, 0, height);
        return 1;
    }
    const unsigned option = src[9];
    const int initial = src[12] | src[13] << 8;
    const unsigned maxValue = (1u << bits) - 1;
    // Prediction modes 0-6: the mean of two pixels of a row above, at these
    // column offsets; 7: the left block.
    static const int lowOffset[7] = {-4, -2, -2, 0, 0, 2, 4}, highOffset[7] = {-4, -2, 0, 0, 2, 2, 4};
    static const int magStep[3] = {0, -2, 2};
    static const int lengthStep[3] = {0, 1, -1};
    const uint32_t whole = width / 16 * 16;

    unsigned errors = 0;
    size_t pos = header;
    int lens[4] = {0, 0, 0, 0};
    for (uint32_t r = 0; r < height; ++r) {
        uint16_t *row = dst + size_t(r) * width;
        std::fill(row + whole, row + width, uint16_t(0));
        if (pos >= len) {
            zeroRows(dst, width, r, height);
            return errors + 1;
        }
        WordBits in(src + pos, src + len);
        int mag = 0, pmode = 7;
        int lent[3][2];
        for (auto &l : lent)
            l[0] = l[1] = r < 2 ? 7 : 4;
        // Greens read the row above one column over, the others two rows up.
        const long rowAt = long(r) * long(width);
        const long greenBase = rowAt - long(width) + ((r & 1) ? -1 : 1), otherBase = rowAt - 2 * long(width);
        for (uint32_t tab = 0; tab + 15 < width; tab += 16) {
            if (!(option & 4) && !(tab & 63)) {
                const uint32_t i = in.get(2);
                mag = i < 3 ? mag + magStep[i] : int(in.get(12));
            }
            if (option & 2)
                pmode = 7 - 4 * int(in.get(1));
            else if (!in.get(1))
                pmode = int(in.get(3));
            if ((option & 1) || !in.get(1)) {
                for (int &l : lens)
                    l = int(in.get(2));
                for (int c = 0; c < 4; ++c) {
                    const int i = int(((r & 1) << 1 | (c & 1)) % 3);
                    lens[c] = lens[c] < 3 ? lent[i][0] + lengthStep[lens[c]] : int(in.get(4));
                    lent[i][0] = lent[i][1];
                    lent[i][1] = lens[c];
                }
            }
            if (std::any_of(lens, lens + 4, [](int l) { return l < 0 || l > maxLength; })) {
                zeroRows(dst, width, r, height);
                return errors + 1;
            }
            const bool vertical = pmode != 7 && r >= 2;
            for (int c = 0; c < 16; ++c) {
                const uint32_t col = tab + ((uint32_t(c & 7) << 1) ^ uint32_t(c >> 3) ^ (r & 1));
                int pred;
                if (!vertical) {
                    pred = tab ? row[tab - 2 + (col & 1)] : initial;
                } else {
                    const long base = ((col & 1) == (r & 1) ? greenBase : otherBase) + long(col);
                    const long a = base + lowOffset[pmode], b = base + highOffset[pmode];
                    // Only pixels already decoded.
                    if (a < 0 || b < 0 || a >= rowAt + long(tab) || b >= rowAt + long(tab)) {
                        ++errors;
                        pred = 0;
                    } else {
                        pred = (dst[a] + dst[b] + 1) >> 1;
                    }
                }
                const int n = lens[c >> 2];
                int diff = int(in.get(n));
                if (n && (diff >> (n - 1)))
                    diff -= 1 << n;
                diff = diff * (mag * 2 + 1) + mag;
                const uint16_t v = uint16_t(pred + diff);
                row[col] = v;
                errors += v > maxValue;
            }
        }
        if (in.overrun()) {
            zeroRows(dst, width, r + 1, height);
            return errors + 1;
        }
        pos = (pos + 4 * in.wordsTaken() + 15) & ~size_t(15);
    }
    return errors;
}

}
