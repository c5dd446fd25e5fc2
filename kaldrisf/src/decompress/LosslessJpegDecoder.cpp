#include "decompress/LosslessJpegDecoder.h"

#include "Kaldris.h"
#include "io/BitReader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace kaldris {

namespace {

// Codes up to this length are resolved by one table look-up; when the code
// and its extra bits fit together, the look-up gives the difference itself.
constexpr int kLutBits = 11;

// Look-up entry: bits 0-4 bits to drop (0 = longer code or no code),
// bits 8-12 extra bits still to read, bits 16-31 the difference when no
// extra bits are left.
struct HuffTable {
    uint32_t lut[1 << kLutBits];
    uint32_t limit[17];    // left-justified 16-bit codes of length l lie below limit[l]
    int32_t offset[17];    // value index = code + offset[l]
    uint8_t values[256];
};

// One Huffman table as a DHT segment defines it.
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

inline uint32_t lutEntry(int drop, int extra, int diff)
{
    return (uint32_t(uint16_t(diff)) << 16) | (uint32_t(extra) << 8) | uint32_t(drop);
}

// Canonical codes (T.81 Annex C). False when the counts overflow the code space.
bool buildTable(const DhtTable &dht, HuffTable &t)
{
    std::memset(t.lut, 0, sizeof t.lut);
    std::memcpy(t.values, dht.values, sizeof t.values);
    uint32_t code = 0;
    int k = 0;
    t.limit[0] = 0;
    t.offset[0] = 0;
    for (int l = 1; l <= 16; ++l) {
        t.offset[l] = k - int(code);
        for (int i = 0; i < dht.bits[l]; ++i, ++k, ++code) {
            if (code >= (1u << l))
                return false;
            if (l > kLutBits)
                continue;
            const int s = dht.values[k];
            const int span = kLutBits - l;
            const uint32_t first = code << span;
            for (uint32_t j = 0; j < (1u << span); ++j) {
                uint32_t e;
                if (s == 0)
                    e = lutEntry(l, 0, 0);
                else if (s == 16)
                    e = lutEntry(l, 0, -32768);
                else if (l + s <= kLutBits)
                    e = lutEntry(l + s, 0, extendDiff((j >> (span - s)) & ((1u << s) - 1), s));
                else
                    e = lutEntry(l, s, 0);
                t.lut[first | j] = e;
            }
        }
        t.limit[l] = code << (16 - l);
        code <<= 1;
    }
    return true;
}

struct ScanState {
    JpegBitReader br;
    const HuffTable *table[4];
    int order[4];          // frame component index of each scan component
    int initial;           // predictor of the first MCU of an interval
    bool badCode = false;
};

// Codes longer than the look-up, and prefixes that are no code at all.
__attribute__((noinline)) int decodeSlow(JpegBitReader &br, const HuffTable &t, bool &bad)
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
    const int s = t.values[(p >> (16 - l)) + t.offset[l]];
    br.skip(l);
    if (s == 0)
        return 0;
    if (s == 16)
        return -32768;
    return extendDiff(br.get(s), s);
}

// The reader must hold at least 32 bits.
inline int decodeDiff(JpegBitReader &br, const HuffTable &t, bool &bad)
{
    const uint32_t e = t.lut[br.peek(kLutBits)];
    const int drop = e & 31;
    if (__builtin_expect(drop != 0, 1)) {
        br.skip(drop);
        const int extra = (e >> 8) & 31;
        if (extra == 0)
            return int32_t(e) >> 16;
        return extendDiff(br.get(extra), extra);
    }
    return decodeSlow(br, t, bad);
}

// MCUs x0 .. x1-1 of one line with predictor PRED; x0 >= 1, and for PRED != 1
// the line above exists.
template <int NF, int PRED>
void decodeRun(ScanState &st, uint16_t *out, const uint16_t *prev, int x0, int x1)
{
    JpegBitReader br = st.br;
    bool bad = st.badCode;
    const HuffTable *tab[NF];
    int ci[NF];
    for (int k = 0; k < NF; ++k) {
        tab[k] = st.table[k];
        ci[k] = st.order[k];
    }
    if (PRED == 1) {
        uint32_t left[NF];
        for (int k = 0; k < NF; ++k)
            left[k] = out[(x0 - 1) * NF + ci[k]];
        for (int x = x0; x < x1; ++x) {
            uint16_t *o = out + x * NF;
            for (int k = 0; k < NF; ++k) {
                br.ensure(32);
                left[k] = (left[k] + uint32_t(decodeDiff(br, *tab[k], bad))) & 0xFFFF;
                o[ci[k]] = uint16_t(left[k]);
            }
        }
    } else {
        for (int x = x0; x < x1; ++x) {
            uint16_t *o = out + x * NF;
            const uint16_t *a = o - NF;
            const uint16_t *b = prev + x * NF;
            const uint16_t *c = b - NF;
            for (int k = 0; k < NF; ++k) {
                const int i = ci[k];
                const int ra = a[i], rb = b[i], rc = c[i];
                int p;
                switch (PRED) {
                case 2: p = rb; break;
                case 3: p = rc; break;
                case 4: p = ra + rb - rc; break;
                case 5: p = ra + ((rb - rc) >> 1); break;
                case 6: p = rb + ((ra - rc) >> 1); break;
                default: p = (ra + rb) >> 1; break;
                }
                br.ensure(32);
                o[i] = uint16_t(uint32_t(p + decodeDiff(br, *tab[k], bad)));
            }
        }
    }
    st.br = br;
    st.badCode = bad;
}

using RunFn = void (*)(ScanState &, uint16_t *, const uint16_t *, int, int);

template <int NF> constexpr RunFn runFor(int pred)
{
    switch (pred) {
    case 1: return decodeRun<NF, 1>;
    case 2: return decodeRun<NF, 2>;
    case 3: return decodeRun<NF, 3>;
    case 4: return decodeRun<NF, 4>;
    case 5: return decodeRun<NF, 5>;
    case 6: return decodeRun<NF, 6>;
    default: return decodeRun<NF, 7>;
    }
}

RunFn runFunction(int nf, int pred)
{
    switch (nf) {
    case 1: return runFor<1>(pred);
    case 2: return runFor<2>(pred);
    case 3: return runFor<3>(pred);
    default: return runFor<4>(pred);
    }
}

// One MCU whose predictor is given per frame component (interval start, or
// the first column predicted from above).
void decodeMcu(ScanState &st, int nf, uint16_t *o, const int *pred)
{
    for (int k = 0; k < nf; ++k) {
        st.br.ensure(32);
        const int i = st.order[k];
        o[i] = uint16_t(uint32_t(pred[i] + decodeDiff(st.br, *st.table[k], st.badCode)));
    }
}

inline uint16_t be16(const uint8_t *p)
{
    return uint16_t((p[0] << 8) | p[1]);
}

struct Frame {
    bool seen = false;
    int precision = 0;
    int height = 0;
    int width = 0;
    int components = 0;
    int id[4] = {};
};

int parseFrame(const uint8_t *p, size_t n, Frame &f)
{
    if (f.seen || n < 6)
        return KALDRIS_CORRUPT;
    f.precision = p[0];
    f.height = be16(p + 1);
    f.width = be16(p + 3);
    f.components = p[5];
    if (f.precision < 2 || f.precision > 16 || f.width == 0 || f.components == 0)
        return KALDRIS_CORRUPT;
    if (f.components > 4)
        return KALDRIS_UNSUPPORTED_COMPRESSION;
    if (n < size_t(6 + 3 * f.components))
        return KALDRIS_CORRUPT;
    for (int i = 0; i < f.components; ++i) {
        f.id[i] = p[6 + 3 * i];
        for (int j = 0; j < i; ++j)
            if (f.id[j] == f.id[i])
                return KALDRIS_CORRUPT;
        if (p[7 + 3 * i] != 0x11)
            return KALDRIS_UNSUPPORTED_COMPRESSION;
    }
    f.seen = true;
    return KALDRIS_SUCCESS;
}

int parseTables(const uint8_t *p, size_t n, DhtTable *dhtTables)
{
    size_t i = 0;
    while (i < n) {
        if (n - i < 17)
            return KALDRIS_CORRUPT;
        const int tc = p[i] >> 4, th = p[i] & 15;
        int count = 0;
        for (int l = 1; l <= 16; ++l)
            count += p[i + l];
        if (count > 256 || n - i - 17 < size_t(count) || th > 3 || tc > 1)
            return KALDRIS_CORRUPT;
        if (tc == 0) {   // lossless coding uses DC tables only
            DhtTable &s = dhtTables[th];
            s = DhtTable();
            for (int l = 1; l <= 16; ++l)
                s.bits[l] = p[i + l];
            for (int v = 0; v < count; ++v) {
                s.values[v] = p[i + 17 + v];
                if (s.values[v] > 16)
                    return KALDRIS_CORRUPT;
            }
            s.count = count;
            s.defined = true;
        }
        i += 17 + size_t(count);
    }
    return KALDRIS_SUCCESS;
}

// Stores decoded lines into the target in stream order.
class LineSink {
public:
    explicit LineSink(const SampleTarget &t, int pt) : m_t(t), m_pt(pt) {}

    bool full() const { return m_row >= m_t.keepRows; }
    uint32_t row() const { return m_row; }

    void store(const uint16_t *line, size_t n)
    {
        while (n > 0 && !full()) {
            const size_t m = std::min<size_t>(n, m_t.rowSamples - m_col);
            if (m_col < m_t.keepSamples) {
                const size_t keep = std::min<size_t>(m, m_t.keepSamples - m_col);
                uint16_t *d = m_t.dst + m_row * m_t.pitch + m_col;
                if (m_pt == 0) {
                    std::memcpy(d, line, keep * sizeof(uint16_t));
                } else {
                    for (size_t i = 0; i < keep; ++i)
                        d[i] = uint16_t(line[i] << m_pt);
                }
            }
            line += m;
            n -= m;
            m_col += uint32_t(m);
            if (m_col == m_t.rowSamples) {
                m_col = 0;
                ++m_row;
            }
        }
    }
    // A line written straight into target row row().
    void advanceRow() { ++m_row; }

private:
    const SampleTarget &m_t;
    int m_pt;
    uint32_t m_row = 0;
    uint32_t m_col = 0;
};

// Finds RSTn (fill bytes allowed in front) where the data of an interval
// end; false when the stream does not continue with the expected marker.
bool takeRestart(JpegBitReader &br, int expected)
{
    const uint8_t *p = br.position();
    const uint8_t *end = br.end();
    if (p >= end || *p != 0xFF)
        return false;
    while (p < end && *p == 0xFF)
        ++p;
    if (p >= end || *p != 0xD0 + (expected & 7))
        return false;
    br.setPosition(p + 1);
    return true;
}

int decodeScan(const Frame &f, const ScanState &scanInit, int predictor, int pt,
               int restartInterval, const SampleTarget &t)
{
    if (t.rows == 0 || t.rowSamples == 0 || t.keepRows == 0 || t.keepSamples == 0)
        return KALDRIS_SUCCESS;
    if (t.keepSamples > t.rowSamples || t.keepRows > t.rows || !t.dst)
        return KALDRIS_CORRUPT;
    const int nf = f.components;
    const size_t lineLen = size_t(f.width) * size_t(nf);
    if (lineLen % t.rowSamples != 0 && t.rowSamples % lineLen != 0)
        return KALDRIS_CORRUPT;
    const size_t targetTotal = size_t(t.rows) * t.rowSamples;
    size_t lines = (targetTotal + lineLen - 1) / lineLen;
    if (f.height != 0)   // 0: the number of lines follows in a DNL marker; the target decides
        lines = std::min(lines, size_t(f.height));
    const size_t keepNeeded = size_t(t.keepRows - 1) * t.rowSamples + t.keepSamples;
    const bool shortFrame = lines * lineLen < keepNeeded;

    const bool direct = lineLen == t.rowSamples && t.keepSamples == t.rowSamples && pt == 0;
    std::vector<uint16_t> buffers(direct ? 0 : 2 * lineLen);

    ScanState st = scanInit;
    const RunFn run = runFunction(nf, predictor);
    const RunFn runLeft = runFunction(nf, 1);
    LineSink sink(t, pt);
    int start[4], above[4];
    for (int i = 0; i < 4; ++i)
        start[i] = scanInit.initial;

    const uint16_t *prev = nullptr;
    int64_t mcuCount = 0;    // MCUs into the current restart interval
    int restarts = 0;
    size_t intervalLine = 0; // line in which the current interval began
    for (size_t y = 0; y < lines && !sink.full(); ++y) {
        const bool toTarget = direct;
        uint16_t *out = toTarget ? t.dst + sink.row() * t.pitch : buffers.data() + (y & 1) * lineLen;
        int x = 0;
        while (x < f.width) {
            if (restartInterval && mcuCount == restartInterval) {
                if (st.br.overrun() || st.badCode || !takeRestart(st.br, restarts))
                    return KALDRIS_DATA_ERROR;
                ++restarts;
                mcuCount = 0;
            }
            int end = f.width;
            if (restartInterval)
                end = int(std::min<int64_t>(f.width, x + (restartInterval - mcuCount)));
            const int segStart = x;
            if (mcuCount == 0) {
                intervalLine = y;
                decodeMcu(st, nf, out + size_t(x) * nf, start);
                ++x;
            } else if (x == 0 && y != intervalLine) {
                for (int i = 0; i < nf; ++i)
                    above[i] = prev[i];
                decodeMcu(st, nf, out, above);
                ++x;
            }
            if (x < end) {
                if (y == intervalLine)
                    runLeft(st, out, prev, x, end);
                else
                    run(st, out, prev, x, end);
            }
            mcuCount += end - segStart;
            x = end;
        }
        if (toTarget)
            sink.advanceRow();
        else
            sink.store(out, lineLen);
        if (st.badCode || st.br.overrun())
            return KALDRIS_DATA_ERROR;
        prev = out;
    }
    return shortFrame ? KALDRIS_DATA_ERROR : KALDRIS_SUCCESS;
}

int decodeStream(const uint8_t *src, size_t len, const SampleTarget &t)
{
    if (!src || len < 4 || src[0] != 0xFF || src[1] != 0xD8)
        return KALDRIS_CORRUPT;
    DhtTable dhtTables[4];
    Frame frame;
    int restartInterval = 0;
    size_t pos = 2;
    for (;;) {
        if (pos >= len || src[pos] != 0xFF)
            return KALDRIS_CORRUPT;
        while (pos < len && src[pos] == 0xFF)
            ++pos;
        if (pos >= len)
            return KALDRIS_CORRUPT;
        const uint8_t marker = src[pos++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;   // stand-alone markers
        if (marker == 0xD8 || marker == 0xD9 || marker == 0x00)
            return KALDRIS_CORRUPT;
        if (len - pos < 2)
            return KALDRIS_CORRUPT;
        const size_t segLen = be16(src + pos);
        if (segLen < 2 || len - pos < segLen)
            return KALDRIS_CORRUPT;
        const uint8_t *seg = src + pos + 2;
        const size_t n = segLen - 2;
        int rc = KALDRIS_SUCCESS;
        switch (marker) {
        case 0xC3:
            rc = parseFrame(seg, n, frame);
            break;
        case 0xC4:
            rc = parseTables(seg, n, dhtTables);
            break;
        case 0xC0: case 0xC1: case 0xC2: case 0xC5: case 0xC6: case 0xC7:
        case 0xC9: case 0xCA: case 0xCB: case 0xCD: case 0xCE: case 0xCF:
            return KALDRIS_UNSUPPORTED_COMPRESSION;
        case 0xDD:
            if (n < 2)
                return KALDRIS_CORRUPT;
            restartInterval = be16(seg);
            break;
        case 0xDA: {
            if (!frame.seen || n < 1)
                return KALDRIS_CORRUPT;
            const int ns = seg[0];
            if (n < size_t(4 + 2 * ns) || ns < 1)
                return KALDRIS_CORRUPT;
            if (ns != frame.components)
                return KALDRIS_UNSUPPORTED_COMPRESSION;
            const int predictor = seg[1 + 2 * ns];
            const int pt = seg[3 + 2 * ns] & 15;
            if (predictor < 1 || predictor > 7 || pt >= frame.precision)
                return KALDRIS_CORRUPT;
            ScanState st { JpegBitReader(src + pos + segLen, len - pos - segLen), {}, {}, 0, false };
            st.initial = 1 << (frame.precision - pt - 1);
            bool used[4] = {};
            HuffTable tables[4];
            for (int k = 0; k < ns; ++k) {
                const int cs = seg[1 + 2 * k];
                const int td = seg[2 + 2 * k] >> 4;
                int ci = 0;
                while (ci < frame.components && frame.id[ci] != cs)
                    ++ci;
                if (ci == frame.components || td > 3 || !dhtTables[td].defined || dhtTables[td].count == 0)
                    return KALDRIS_CORRUPT;
                for (int j = 0; j < k; ++j)
                    if (st.order[j] == ci)
                        return KALDRIS_CORRUPT;
                st.order[k] = ci;
                if (!used[td] && !buildTable(dhtTables[td], tables[td]))
                    return KALDRIS_CORRUPT;
                used[td] = true;
                st.table[k] = &tables[td];
            }
            return decodeScan(frame, st, predictor, pt, restartInterval, t);
        }
        default:
            break;
        }
        if (rc != KALDRIS_SUCCESS)
            return rc;
        pos += segLen;
    }
}

}

int LosslessJpegDecoder::decode(const uint8_t *src, size_t len, const SampleTarget &t)
{
    try {
        return decodeStream(src, len, t);
    } catch (const std::bad_alloc &) {
        return KALDRIS_OUT_OF_MEMORY;
    } catch (...) {
        return KALDRIS_UNSPECIFIED_ERROR;
    }
}

}
