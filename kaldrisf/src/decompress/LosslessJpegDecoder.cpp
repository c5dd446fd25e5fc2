#include "decompress/LosslessJpegDecoder.h"

#include "Kaldris.h"
#include "decompress/HuffmanTable.h"
#include "io/BitReader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace kaldris {

namespace {

// Most samples one MCU holds: 2x2 luma and two chroma.
constexpr int kMaxSlots = 6;

// The slots of an MCU in coding order: where each goes in the MCU's samples
// and the table it is coded with.
struct ScanState {
    JpegBitReader br;
    const HuffTable *table[kMaxSlots];
    int order[kMaxSlots];
    int initial;           // predictor of the first MCU of an interval
    bool badCode = false;
    int lumaSlots = 0;     // sRAW: the first slots, luma, predicted as one chain
};

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

// sRAW MCUs x0 .. x1-1 (x0 >= 1), predictor 1: each luma sample is
// predicted from the luma sample decoded just before it in the line, the
// chroma slots from the same slot of the MCU to the left.
template <int NY> void decodeRunSRaw(ScanState &st, uint16_t *out, const uint16_t *, int x0, int x1)
{
    constexpr int NS = NY + 2;
    JpegBitReader br = st.br;
    bool bad = st.badCode;
    const int cb = st.order[NY], cr = st.order[NY + 1];
    uint32_t luma = out[(x0 - 1) * NS + NY - 1];
    uint32_t left[2] = { out[(x0 - 1) * NS + cb], out[(x0 - 1) * NS + cr] };
    for (int x = x0; x < x1; ++x) {
        uint16_t *o = out + x * NS;
        for (int k = 0; k < NY; ++k) {
            br.ensure(32);
            luma = (luma + uint32_t(decodeDiff(br, *st.table[k], bad))) & 0xFFFF;
            o[k] = uint16_t(luma);
        }
        br.ensure(32);
        left[0] = (left[0] + uint32_t(decodeDiff(br, *st.table[NY], bad))) & 0xFFFF;
        o[cb] = uint16_t(left[0]);
        br.ensure(32);
        left[1] = (left[1] + uint32_t(decodeDiff(br, *st.table[NY + 1], bad))) & 0xFFFF;
        o[cr] = uint16_t(left[1]);
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

RunFn runFunction(int slots, int pred, int lumaSlots)
{
    if (lumaSlots)
        return lumaSlots == 2 ? decodeRunSRaw<2> : decodeRunSRaw<4>;
    switch (slots) {
    case 1: return runFor<1>(pred);
    case 2: return runFor<2>(pred);
    case 3: return runFor<3>(pred);
    case 4: return runFor<4>(pred);
    default: return runFor<6>(pred);
    }
}

// One MCU whose predictor is given per slot (interval start, or the first
// column predicted from above); sRAW luma after the first from the one before.
void decodeMcu(ScanState &st, int nf, uint16_t *o, const int *pred)
{
    for (int k = 0; k < nf; ++k) {
        st.br.ensure(32);
        const int i = st.order[k];
        const int p = k > 0 && k < st.lumaSlots ? o[k - 1] : pred[i];
        o[i] = uint16_t(uint32_t(p + decodeDiff(st.br, *st.table[k], st.badCode)));
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
    int h[4] = {}, v[4] = {};
    int slots = 0;
    uint32_t mcusAcross = 0, mcuLines = 0;
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
        f.h[i] = p[7 + 3 * i] >> 4;
        f.v[i] = p[7 + 3 * i] & 15;
        if (f.h[i] == 0 || f.v[i] == 0)
            return KALDRIS_CORRUPT;
        // Only the Canon sRAW subsampling: luma 2x1 or 2x2, then two chroma components.
        const bool sRaw = i == 0 && f.components == 3 && f.h[i] == 2 && f.v[i] <= 2;
        if ((f.h[i] != 1 || f.v[i] != 1) && !sRaw)
            return KALDRIS_UNSUPPORTED_COMPRESSION;
    }
    const int hMax = f.h[0], vMax = f.v[0];
    if ((hMax != 1 || vMax != 1) && f.precision < 8)
        return KALDRIS_UNSUPPORTED_COMPRESSION;
    f.slots = hMax * vMax + f.components - 1;
    f.mcusAcross = uint32_t((f.width + hMax - 1) / hMax);
    f.mcuLines = uint32_t((f.height + vMax - 1) / vMax);
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

// Stores decoded lines into the target in stream order: the slices one
// after another, each filled row by row over all rows (an unsliced target is
// one slice of the whole row).
class LineSink {
public:
    LineSink(const SampleTarget &t, int pt, const JpegSlices &s)
        : m_t(t), m_slices(s), m_pt(pt), m_width(s.count ? s.width : s.lastWidth) {}

    // Past the last slice holding kept samples, or below the kept rows of the last slice.
    bool full() const
    {
        return m_x0 >= m_t.keepSamples || (m_slice >= m_slices.count && m_row >= m_t.keepRows);
    }
    uint32_t row() const { return m_row; }

    // Samples in stream order up to and including the last kept one.
    uint64_t keptStreamSamples() const
    {
        const uint64_t w = m_slices.width, last = uint64_t(m_t.keepSamples) - 1;
        uint64_t slice = m_slices.count ? last / w : 0;
        if (slice > m_slices.count)
            slice = m_slices.count;
        const uint64_t x0 = slice * w;
        const uint64_t width = slice < m_slices.count ? w : m_slices.lastWidth;
        return x0 * m_t.rows + uint64_t(m_t.keepRows - 1) * width + (last - x0) + 1;
    }

    void store(const uint16_t *line, size_t n)
    {
        while (n > 0 && !full()) {
            const size_t m = std::min<size_t>(n, m_width - m_col);
            const uint32_t x = m_x0 + m_col;
            if (m_row < m_t.keepRows && x < m_t.keepSamples) {
                const size_t keep = std::min<size_t>(m, m_t.keepSamples - x);
                uint16_t *d = m_t.dst + m_row * m_t.pitch + x;
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
            if (m_col == m_width) {
                m_col = 0;
                if (++m_row == m_t.rows) {
                    m_row = 0;
                    m_x0 += m_width;
                    ++m_slice;
                    m_width = m_slice < m_slices.count ? m_slices.width : m_slices.lastWidth;
                }
            }
        }
    }
    // A line written straight into target row row() (unsliced targets only).
    void advanceRow() { ++m_row; }

private:
    const SampleTarget &m_t;
    const JpegSlices m_slices;
    int m_pt;
    uint32_t m_width;    // of the current slice
    uint32_t m_x0 = 0;   // its first column
    uint32_t m_slice = 0;
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

int decodeScan(const Frame &f, const ScanState &scanInit, int predictor, int pt, int restartInterval,
               const SampleTarget &t, const JpegSlices &slices, bool sliced)
{
    if (t.rows == 0 || t.rowSamples == 0 || t.keepRows == 0 || t.keepSamples == 0)
        return KALDRIS_SUCCESS;
    if (t.keepSamples > t.rowSamples || t.keepRows > t.rows || !t.dst)
        return KALDRIS_CORRUPT;
    const int ns = f.slots;
    const int width = int(f.mcusAcross);
    const size_t lineLen = size_t(width) * size_t(ns);
    if (!sliced && lineLen % t.rowSamples != 0 && t.rowSamples % lineLen != 0)
        return KALDRIS_CORRUPT;
    const size_t targetTotal = size_t(t.rows) * t.rowSamples;
    size_t lines = (targetTotal + lineLen - 1) / lineLen;
    if (f.height != 0)   // 0: the number of lines follows in a DNL marker; the target decides
        lines = std::min(lines, size_t(f.mcuLines));
    LineSink sink(t, pt, slices);
    const bool shortFrame = lines * lineLen < sink.keptStreamSamples();

    const bool direct = slices.count == 0 && lineLen == t.rowSamples && t.keepSamples == t.rowSamples && pt == 0;
    std::vector<uint16_t> buffers(direct ? 0 : 2 * lineLen);

    ScanState st = scanInit;
    const RunFn run = runFunction(ns, predictor, st.lumaSlots);
    const RunFn runLeft = runFunction(ns, 1, st.lumaSlots);
    int start[kMaxSlots], above[kMaxSlots];
    for (int i = 0; i < kMaxSlots; ++i)
        start[i] = scanInit.initial;

    const uint16_t *prev = nullptr;
    int64_t mcuCount = 0;    // MCUs into the current restart interval
    int restarts = 0;
    size_t intervalLine = 0; // line in which the current interval began
    for (size_t y = 0; y < lines && !sink.full(); ++y) {
        const bool toTarget = direct;
        uint16_t *out = toTarget ? t.dst + sink.row() * t.pitch : buffers.data() + (y & 1) * lineLen;
        int x = 0;
        while (x < width) {
            if (restartInterval && mcuCount == restartInterval) {
                if (st.br.overrun() || st.badCode || !takeRestart(st.br, restarts))
                    return KALDRIS_DATA_ERROR;
                ++restarts;
                mcuCount = 0;
            }
            int end = width;
            if (restartInterval)
                end = int(std::min<int64_t>(width, x + (restartInterval - mcuCount)));
            const int segStart = x;
            if (mcuCount == 0) {
                intervalLine = y;
                decodeMcu(st, ns, out + size_t(x) * ns, start);
                ++x;
            } else if (x == 0 && y != intervalLine) {
                for (int i = 0; i < ns; ++i)
                    above[i] = prev[i];
                decodeMcu(st, ns, out, above);
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

// The headers up to and including SOS.
struct StreamHeader {
    Frame frame;
    int restartInterval = 0;
    int predictor = 0, pt = 0;
    int order[4] = {};   // frame component of each scan component
    int td[4] = {};      // its table
    DhtTable dht[4];
    size_t dataStart = 0;
};

int parseHeader(const uint8_t *src, size_t len, StreamHeader &sh)
{
    if (!src || len < 4 || src[0] != 0xFF || src[1] != 0xD8)
        return KALDRIS_CORRUPT;
    Frame &frame = sh.frame;
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
            rc = parseTables(seg, n, sh.dht);
            break;
        case 0xC0: case 0xC1: case 0xC2: case 0xC5: case 0xC6: case 0xC7:
        case 0xC9: case 0xCA: case 0xCB: case 0xCD: case 0xCE: case 0xCF:
            return KALDRIS_UNSUPPORTED_COMPRESSION;
        case 0xDD:
            if (n < 2)
                return KALDRIS_CORRUPT;
            sh.restartInterval = be16(seg);
            break;
        case 0xDA: {
            if (!frame.seen || n < 1)
                return KALDRIS_CORRUPT;
            const int ns = seg[0];
            if (n < size_t(4 + 2 * ns) || ns < 1)
                return KALDRIS_CORRUPT;
            if (ns != frame.components)
                return KALDRIS_UNSUPPORTED_COMPRESSION;
            sh.predictor = seg[1 + 2 * ns];
            sh.pt = seg[3 + 2 * ns] & 15;
            if (sh.predictor < 1 || sh.predictor > 7 || sh.pt >= frame.precision)
                return KALDRIS_CORRUPT;
            for (int k = 0; k < ns; ++k) {
                const int cs = seg[1 + 2 * k];
                const int td = seg[2 + 2 * k] >> 4;
                int ci = 0;
                while (ci < frame.components && frame.id[ci] != cs)
                    ++ci;
                if (ci == frame.components || td > 3 || !sh.dht[td].defined || sh.dht[td].count == 0)
                    return KALDRIS_CORRUPT;
                for (int j = 0; j < k; ++j)
                    if (sh.order[j] == ci)
                        return KALDRIS_CORRUPT;
                sh.order[k] = ci;
                sh.td[k] = td;
            }
            // sRAW luma is predicted as one chain from the sample before,
            // which only predictor 1 with luma coded first describes.
            if (frame.slots > frame.components && (sh.predictor != 1 || sh.order[0] != 0))
                return KALDRIS_UNSUPPORTED_COMPRESSION;
            sh.dataStart = pos + segLen;
            return KALDRIS_SUCCESS;
        }
        default:
            break;
        }
        if (rc != KALDRIS_SUCCESS)
            return rc;
        pos += segLen;
    }
}

// Builds the tables the scan uses; false when one is no prefix code.
bool buildScanTables(const StreamHeader &sh, HuffTable *tables, bool *used)
{
    for (int k = 0; k < sh.frame.components; ++k) {
        const int td = sh.td[k];
        if (!used[td] && !buildTable(sh.dht[td], tables[td]))
            return false;
        used[td] = true;
    }
    return true;
}

int decodeStream(const uint8_t *src, size_t len, const SampleTarget &t, const JpegSlices &slices, bool sliced)
{
    StreamHeader sh;
    const int rc = parseHeader(src, len, sh);
    if (rc != KALDRIS_SUCCESS)
        return rc;
    const Frame &frame = sh.frame;
    HuffTable tables[4];
    bool used[4] = {};
    if (!buildScanTables(sh, tables, used))
        return KALDRIS_CORRUPT;
    ScanState st { JpegBitReader(src + sh.dataStart, len - sh.dataStart), {}, {}, 0, false, 0 };
    st.initial = 1 << (frame.precision - sh.pt - 1);
    if (frame.slots > frame.components)
        st.lumaSlots = frame.h[0] * frame.v[0];
    // Slots in coding order: the scan's components, each with its H x V
    // samples, placed where the frame's component order puts them.
    int base[4];
    for (int i = 0, b = 0; i < frame.components; ++i) {
        base[i] = b;
        b += frame.h[i] * frame.v[i];
    }
    int s = 0;
    for (int k = 0; k < frame.components; ++k) {
        const int ci = sh.order[k];
        for (int j = 0; j < frame.h[ci] * frame.v[ci]; ++j, ++s) {
            st.order[s] = base[ci] + j;
            st.table[s] = &tables[sh.td[k]];
        }
    }
    return decodeScan(frame, st, sh.predictor, sh.pt, sh.restartInterval, t, slices, sliced);
}

template <class F> int guarded(F &&f)
{
    try {
        return f();
    } catch (const std::bad_alloc &) {
        return KALDRIS_OUT_OF_MEMORY;
    } catch (...) {
        return KALDRIS_UNSPECIFIED_ERROR;
    }
}

}

int LosslessJpegDecoder::readHeader(const uint8_t *src, size_t len, LosslessJpegHeader &h)
{
    return guarded([&] {
        StreamHeader sh;
        const int rc = parseHeader(src, len, sh);
        if (rc != KALDRIS_SUCCESS)
            return rc;
        HuffTable tables[4];
        bool used[4] = {};
        if (!buildScanTables(sh, tables, used))
            return int(KALDRIS_CORRUPT);
        const Frame &f = sh.frame;
        h = LosslessJpegHeader();
        h.precision = f.precision;
        h.width = f.width;
        h.height = f.height;
        h.components = f.components;
        for (int i = 0; i < f.components; ++i) {
            h.h[i] = f.h[i];
            h.v[i] = f.v[i];
        }
        h.slots = f.slots;
        h.mcusAcross = f.mcusAcross;
        h.mcuLines = f.mcuLines;
        h.lineSamples = uint64_t(f.mcusAcross) * uint64_t(f.slots);
        h.tables = int(std::count(used, used + 4, true));
        return int(KALDRIS_SUCCESS);
    });
}

int LosslessJpegDecoder::decode(const uint8_t *src, size_t len, const SampleTarget &t)
{
    const JpegSlices whole { 0, 0, t.rowSamples };
    return guarded([&] { return decodeStream(src, len, t, whole, false); });
}

int LosslessJpegDecoder::decode(const uint8_t *src, size_t len, const SampleTarget &t, const JpegSlices &slices)
{
    const uint64_t total = uint64_t(slices.count) * slices.width + slices.lastWidth;
    if ((slices.count && slices.width == 0) || slices.lastWidth == 0 || total != t.rowSamples)
        return KALDRIS_CORRUPT;
    return guarded([&] { return decodeStream(src, len, t, slices, true); });
}

}
