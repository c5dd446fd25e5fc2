#include "RenderKernels.h"

#include "FrameAccess.h"

#include "Kaldris.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include <immintrin.h>

namespace {

// A tile's rectangle cut to another one; empty when they do not meet.
struct Span {
    int top = 0, bottom = 0, left = 0, right = 0;
    bool empty() const { return bottom <= top || right <= left; }
};

Span cut(const pixel_array_item_t &t, int64_t x, int64_t y, int64_t w, int64_t h)
{
    Span s;
    s.left = int(std::max<int64_t>(t.x, x));
    s.top = int(std::max<int64_t>(t.y, y));
    s.right = int(std::min<int64_t>(int64_t(t.x) + t.width, x + std::max<int64_t>(0, w)));
    s.bottom = int(std::min<int64_t>(int64_t(t.y) + t.height, y + std::max<int64_t>(0, h)));
    return s;
}

Span frameSpan(const pixel_array_item_t &t, const FrameAccess &f)
{
    return cut(t, 0, 0, f.width(), f.height());
}

// The frame part of the record's rows of its tile.
Span frameSpan(const RawCopyItem &item, const FrameAccess &f)
{
    Span s = frameSpan(*item.tile, f);
    s.top = std::max<int64_t>(s.top, int64_t(item.tile->y) + std::max(0, item.firstRow));
    s.bottom = std::min<int64_t>(s.bottom, int64_t(item.tile->y) + std::min(TileSize, item.lastRow));
    return s;
}

uint32_t *outRow(const pixel_array_item_t &t, int row, int col)
{
    return t.pixels + size_t(row - t.y) * TileSize + size_t(col - t.x);
}

// T(v): one byte a raw value. The shared table the renderer builds is used
// as it is; a record without one gets its own on the stack, so the pixel
// loops never test which.
struct Tone {
    unsigned char own[65536];
    const unsigned char *map;

    explicit Tone(const RawCopyItem &it)
    {
        if (it.mapped) {
            map = it.mapped;
        } else {
            buildMappedTable(it.table, it.mult, own);
            map = own;
        }
    }
    Tone(const Tone &) = delete;
    Tone &operator=(const Tone &) = delete;

    uint32_t operator()(uint32_t v) const { return map[v]; }
};

// The mark area's columns within [left, right) for one row: [a, b), empty
// (a == b) for rows outside it.
struct MarkCols {
    int a, b;
};

MarkCols markCols(const QRect &m, int row, int left, int right)
{
    if (m.width() <= 0 || m.height() <= 0 || row < m.top() || row >= m.top() + m.height())
        return {left, left};
    const int a = std::clamp(m.left(), left, right);
    const int b = std::clamp(m.left() + m.width(), a, right);
    return {a, b};
}

// Branch-free: clipped highlights make the over test a coin toss that a
// branch would keep mispredicting.
inline uint32_t markedPixel(uint32_t v, uint32_t under, uint32_t over, uint32_t gray, uint32_t overMark)
{
    const uint32_t isOver = 0u - uint32_t(v >= over);
    const uint32_t isUnder = 0u - uint32_t(v < under);
    const uint32_t r = (gray & ~isOver) | (overMark & isOver);
    return (r & ~isUnder) | (UnderMark & isUnder);
}

// A tile reads 1024 short pieces of rows, each too short for the hardware
// prefetcher to get going: the loops ask for the piece a few rows down as
// they go, one line every 32 values. The offset from a row to that piece,
// 0 (the row itself) near the bottom.
inline ptrdiff_t rowsAhead(const FrameAccess &f, const Span &s, int row, const unsigned short *p)
{
    constexpr int Ahead = 4;
    return row + Ahead < s.bottom ? f.pixel(row + Ahead, s.left) - p : 0;
}

bool usable(const RawCopyItem &item)
{
    return item.tile && item.tile->pixels && item.image && item.image->data
           && (item.table || item.mapped);
}

// One component of a 3- or 4-component layout, with marks.
void paintComponent(RawCopyItem &item, int comps)
{
    if (!usable(item) || item.image->components != comps || item.channel < 0 || item.channel >= comps)
        return;
    const FrameAccess f(*item.image);
    const Span s = frameSpan(item, f);
    if (s.empty())
        return;
    const Tone tone(item);
    for (int row = s.top; row < s.bottom; ++row) {
        const unsigned short *p = f.pixel(row, s.left) + item.channel;
        uint32_t *o = outRow(*item.tile, row, s.left);
        const MarkCols mc = markCols(item.markArea, row, s.left, s.right);
        for (int c = s.left; c < s.right; ++c, p += comps, ++o) {
            const uint32_t v = *p;
            const uint32_t g = grayPixel(tone(v));
            *o = (c >= mc.a && c < mc.b) ? markedPixel(v, item.under, item.over, g, OverMarkChannel) : g;
        }
    }
}

void paintRgb(RawCopyItem &item, int comps)
{
    if (!usable(item) || item.image->components != comps)
        return;
    const FrameAccess f(*item.image);
    const Span s = frameSpan(item, f);
    if (s.empty())
        return;
    const Tone tone(item);
    for (int row = s.top; row < s.bottom; ++row) {
        const unsigned short *p = f.pixel(row, s.left);
        uint32_t *o = outRow(*item.tile, row, s.left);
        for (int c = s.left; c < s.right; ++c, p += comps)
            *o++ = 0xFF000000u | tone(p[0]) << 16 | tone(p[1]) << 8 | tone(p[2]);
    }
}

} // namespace

void buildMappedTable(const unsigned short *table, int mult, unsigned char out[65536])
{
    const uint32_t m = uint32_t(std::clamp(mult, 0, 65535));
    for (uint32_t v = 0; v < 65536; ++v)
        out[v] = (unsigned char)(table[(v * m) & 0xFFFFu] & 0xFFu);
}

void paintChannel3(RawCopyItem &item) { paintComponent(item, 3); }
void paintChannel4(RawCopyItem &item) { paintComponent(item, 4); }
void paintRgb3(RawCopyItem &item) { paintRgb(item, 3); }
void paintRgb4(RawCopyItem &item) { paintRgb(item, 4); }

namespace {

// The frame part of the record's rows that the processed image covers.
Span processedSpan(const RGBCopyItem &item)
{
    const kaldris_processed_image_t *img = item.processed;
    if (!item.tile || !item.tile->pixels || !img || (img->colors != 1 && img->colors != 3))
        return {};
    // Never read beyond the processed image, whatever the area says.
    const int w = std::min(item.area.width(), int(img->width));
    const int h = std::min(item.area.height(), int(img->height));
    Span s = cut(*item.tile, item.area.left(), item.area.top(), w, h);
    s.top = int(std::max<int64_t>(s.top, int64_t(item.tile->y) + std::max(0, item.firstRow)));
    s.bottom = int(std::min<int64_t>(s.bottom, int64_t(item.tile->y) + std::min(TileSize, item.lastRow)));
    return s;
}

inline uint32_t rgbPixel(const unsigned char *d)
{
    return 0xFF000000u | uint32_t(d[0]) << 16 | uint32_t(d[1]) << 8 | d[2];
}

// One row piece of the processed image: n pixels from d into o. `avail` is
// how many bytes from d on belong to the image, so that the wide loads
// stay inside it on the last row. Whole 16-byte groups of the tile are
// streamed: a tile is far larger than the caches.
using ProcessedRow = void (*)(const unsigned char *d, uint32_t *o, int n, size_t avail, ptrdiff_t ahead);

void grayRow(const unsigned char *d, uint32_t *o, int n, size_t, ptrdiff_t ahead)
{
    int x = 0;
    for (; x < n && (reinterpret_cast<uintptr_t>(o + x) & 15); ++x)
        o[x] = grayPixel(d[x]);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    for (const int start = x; x + 16 <= n; x += 16) {
        if (!((x - start) & 63))
            _mm_prefetch(reinterpret_cast<const char *>(d + ahead + x), _MM_HINT_T0);
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + x));
        const __m128i lo = _mm_unpacklo_epi8(g, g), hi = _mm_unpackhi_epi8(g, g);
        __m128i *out = reinterpret_cast<__m128i *>(o + x);
        _mm_stream_si128(out, _mm_or_si128(opaque, _mm_unpacklo_epi16(lo, lo)));
        _mm_stream_si128(out + 1, _mm_or_si128(opaque, _mm_unpackhi_epi16(lo, lo)));
        _mm_stream_si128(out + 2, _mm_or_si128(opaque, _mm_unpacklo_epi16(hi, hi)));
        _mm_stream_si128(out + 3, _mm_or_si128(opaque, _mm_unpackhi_epi16(hi, hi)));
    }
    for (; x < n; ++x)
        o[x] = grayPixel(d[x]);
}

// Four bytes R G B (next R) read as one little-endian word: byte-swapped
// and shifted down it is the pixel's 0x00RRGGBB.
void rgbRowScalar(const unsigned char *d, uint32_t *o, int n, size_t avail, ptrdiff_t ahead)
{
    int x = 0;
    for (; x < n && (reinterpret_cast<uintptr_t>(o + x) & 15); ++x)
        o[x] = rgbPixel(d + 3 * size_t(x));
    for (const int start = x; x + 4 <= n && 3 * size_t(x) + 12 <= avail; x += 4) {
        if (!((x - start) & 15))
            _mm_prefetch(reinterpret_cast<const char *>(d + ahead + 3 * size_t(x)), _MM_HINT_T0);
        uint32_t px[4];
        const unsigned char *q = d + 3 * size_t(x);
        for (int i = 0; i < 3; ++i) {
            uint32_t w;
            std::memcpy(&w, q + 3 * i, 4);
            px[i] = 0xFF000000u | __builtin_bswap32(w) >> 8;
        }
        px[3] = rgbPixel(q + 9);
        _mm_stream_si128(reinterpret_cast<__m128i *>(o + x), _mm_loadu_si128(reinterpret_cast<const __m128i *>(px)));
    }
    for (; x < n; ++x)
        o[x] = rgbPixel(d + 3 * size_t(x));
}

#if defined(__x86_64__) && defined(__GNUC__)
#define TW_HAVE_SSSE3 1

// Four pixels a byte shuffle: 12 bytes R G B ... to B G R 0 each.
[[gnu::target("ssse3")]] void rgbRowSsse3(const unsigned char *d, uint32_t *o, int n, size_t avail, ptrdiff_t ahead)
{
    int x = 0;
    for (; x < n && (reinterpret_cast<uintptr_t>(o + x) & 15); ++x)
        o[x] = rgbPixel(d + 3 * size_t(x));
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    // Each 16-byte load takes 4 bytes beyond its 12.
    for (const int start = x; x + 8 <= n && 3 * size_t(x) + 28 <= avail; x += 8) {
        const unsigned char *q = d + 3 * size_t(x);
        if (!((x - start) & 15))
            _mm_prefetch(reinterpret_cast<const char *>(q + ahead), _MM_HINT_T0);
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 12));
        __m128i *out = reinterpret_cast<__m128i *>(o + x);
        _mm_stream_si128(out, _mm_or_si128(opaque, _mm_shuffle_epi8(a, order)));
        _mm_stream_si128(out + 1, _mm_or_si128(opaque, _mm_shuffle_epi8(b, order)));
    }
    for (; x < n; ++x)
        o[x] = rgbPixel(d + 3 * size_t(x));
}
#else
#define TW_HAVE_SSSE3 0
#endif

ProcessedRow rgbRow()
{
#if TW_HAVE_SSSE3
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3)
        return rgbRowSsse3;
#endif
    return rgbRowScalar;
}

} // namespace

QRect processedRgbCover(const RGBCopyItem &item)
{
    const Span s = processedSpan(item);
    if (s.empty())
        return QRect();
    return QRect(s.left - item.tile->x, s.top - item.tile->y, s.right - s.left, s.bottom - s.top);
}

void paintProcessedRgb(RGBCopyItem &item)
{
    const Span s = processedSpan(item);
    if (s.empty())
        return;
    const kaldris_processed_image_t *img = item.processed;
    const size_t pw = img->width;
    const size_t colours = img->colors;
    const size_t end = pw * size_t(img->height) * colours;
    const int width = s.right - s.left;
    const ProcessedRow paintRow = colours == 1 ? grayRow : rgbRow();
    for (int row = s.top; row < s.bottom; ++row) {
        const size_t at = colours * (pw * size_t(row - item.area.top()) + size_t(s.left - item.area.left()));
        // As in the raw kernels: the piece of the row four rows down is
        // asked for as the loop goes.
        const ptrdiff_t ahead = row + 4 < s.bottom ? ptrdiff_t(4 * pw * colours) : 0;
        paintRow(img->data + at, outRow(*item.tile, row, s.left), width, end - at, ahead);
    }
    _mm_sfence();
}

void paintSrawChroma(RawCopyItem &item)
{
    if (!item.tile || !item.tile->pixels || !item.image || !item.image->data
        || item.image->components != 4 || item.channel < 0 || item.channel > 3)
        return;
    const FrameAccess f(*item.image);
    const Span s = frameSpan(item, f);
    if (s.empty())
        return;
    const int m = item.srawMidpoint;
    int d = (2 * m) / 256;
    if (d == 0)
        d = 1;
    const float scale = float(item.mult) / 1000.0f;
    for (int row = s.top; row < s.bottom; ++row) {
        const unsigned short *p = f.pixel(row, s.left) + item.channel;
        uint32_t *o = outRow(*item.tile, row, s.left);
        for (int c = s.left; c < s.right; ++c, p += 4) {
            // Signed: chroma lies on both sides of the midpoint.
            const float g = (float(int(*p) - m) * scale + float(m)) / float(d);
            const int gi = int(std::clamp(g, -2147483520.0f, 2147483520.0f));
            *o++ = grayPixel(uint32_t(gi));
        }
    }
}

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
#define TW_HAVE_AVX2 1

// Pixels [x, width) of a row whose colours alternate, eight a gather of
// their bytes from the tone table: a dword read at each value, the last
// three values reading the dword below theirs and shifting, so that no read
// passes the table's end. `first` is the shift of the pixels at x's parity,
// `second` of the others; Gray spreads the byte to all three colours
// instead. x is on a 16-byte boundary of the tile; returns where it stopped.
template <bool Gray>
[[gnu::target("avx2")]] int mosaicRowAvx2(const unsigned short *p, uint32_t *o, int x, int width, ptrdiff_t ahead,
                                          const unsigned char *map, int first, int second)
{
    auto one = [&](int i) {
        const uint32_t t = map[p[i]];
        return Gray ? grayPixel(t) : 0xFF000000u | t << (((i - x) & 1) ? second : first);
    };
    // The streaming stores below want 32 bytes; four pixels keep the parity.
    if ((reinterpret_cast<uintptr_t>(o + x) & 31) && x + 4 <= width) {
        const __m128i four = _mm_setr_epi32(int(one(x)), int(one(x + 1)), int(one(x + 2)), int(one(x + 3)));
        _mm_stream_si128(reinterpret_cast<__m128i *>(o + x), four);
        x += 4;
    }
    const __m256i shifts = _mm256_setr_epi32(first, second, first, second, first, second, first, second);
    const __m256i lastRead = _mm256_set1_epi32(65532);
    const __m256i low = _mm256_set1_epi32(0xFF);
    const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
    for (const int start = x; x + 8 <= width; x += 8) {
        if (!((x - start) & 31))
            _mm_prefetch(reinterpret_cast<const char *>(p + ahead + x), _MM_HINT_T0);
        const __m256i v = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + x)));
        const __m256i at = _mm256_min_epu32(v, lastRead);
        const __m256i d = _mm256_i32gather_epi32(reinterpret_cast<const int *>(map), at, 1);
        const __m256i t = _mm256_and_si256(_mm256_srlv_epi32(d, _mm256_slli_epi32(_mm256_sub_epi32(v, at), 3)), low);
        __m256i px;
        if constexpr (Gray)
            px = _mm256_or_si256(_mm256_or_si256(opaque, t),
                                 _mm256_or_si256(_mm256_slli_epi32(t, 8), _mm256_slli_epi32(t, 16)));
        else
            px = _mm256_or_si256(opaque, _mm256_sllv_epi32(t, shifts));
        _mm256_stream_si256(reinterpret_cast<__m256i *>(o + x), px);
    }
    return x;
}

bool haveAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#else
#define TW_HAVE_AVX2 0
#endif

} // namespace

void paintMosaicGray(RawCopyItem &item)
{
    if (!usable(item) || item.image->components != 1)
        return;
    const FrameAccess f(*item.image);
    const Span s = frameSpan(item, f);
    if (s.empty())
        return;
    const Tone tone(item);
    const unsigned char *const map = tone.map;   // see paintMosaicColor
    const int width = s.right - s.left;
    for (int row = s.top; row < s.bottom; ++row) {
        const unsigned short *p = f.pixel(row, s.left);
        uint32_t *o = outRow(*item.tile, row, s.left);
        int x = 0;
        for (; x < width && (reinterpret_cast<uintptr_t>(o + x) & 15); ++x)
            o[x] = grayPixel(tone(p[x]));
        const ptrdiff_t ahead = rowsAhead(f, s, row, p);
#if TW_HAVE_AVX2
        if (haveAvx2())
            x = mosaicRowAvx2<true>(p, o, x, width, ahead, map, 0, 0);
#endif
        for (const int start = x; x + 4 <= width; x += 4) {
            if (!((x - start) & 31))
                _mm_prefetch(reinterpret_cast<const char *>(p + ahead + x), _MM_HINT_T0);
            const __m128i four = _mm_setr_epi32(int(grayPixel(map[p[x]])), int(grayPixel(map[p[x + 1]])),
                                                int(grayPixel(map[p[x + 2]])), int(grayPixel(map[p[x + 3]])));
            _mm_stream_si128(reinterpret_cast<__m128i *>(o + x), four);
        }
        for (; x < width; ++x)
            o[x] = grayPixel(tone(p[x]));
    }
    _mm_sfence();
}

void paintMosaicColor(RawCopyItem &item)
{
    if (!usable(item) || item.image->components != 1)
        return;
    const FrameAccess f(*item.image);
    const Span s = frameSpan(item, f);
    if (s.empty())
        return;
    const Tone tone(item);
    // A local copy: the streaming stores may alias anything, and the table
    // pointer would be reloaded every pixel.
    const unsigned char *const map = tone.map;
    static const unsigned char shiftOf[4] = {16, 8, 0, 8};
    unsigned char ch[48], sh[48];
    for (int row = s.top; row < s.bottom; ++row) {
        f.rowChannels(row, s.left, ch);
        for (int j = 0; j < 48; ++j)
            sh[j] = shiftOf[ch[j]];
        const unsigned short *p = f.pixel(row, s.left);
        const ptrdiff_t ahead = rowsAhead(f, s, row, p);
        uint32_t *o = outRow(*item.tile, row, s.left);
        bool period2 = true;
        for (int j = 2; j < 48 && period2; ++j)
            period2 = sh[j] == sh[j - 2];
        if (period2) {
            // Every Bayer row: pairs with two fixed shifts.
            const int s0 = sh[0], s1 = sh[1];
            const int width = s.right - s.left;
            int x = 0;
            // Up to a 16-byte boundary of the tile, then four pixels a
            // streaming store: a tile is far larger than the caches, so
            // reading its lines in before overwriting them only adds traffic.
            for (; x < width && (reinterpret_cast<uintptr_t>(o + x) & 15); ++x)
                o[x] = 0xFF000000u | tone(p[x]) << ((x & 1) ? s1 : s0);
            const bool odd = x & 1;
#if TW_HAVE_AVX2
            if (haveAvx2())
                x = mosaicRowAvx2<false>(p, o, x, width, ahead, map, odd ? s1 : s0, odd ? s0 : s1);
#endif
            // Multipliers rather than shifts: no shift count held in one
            // register for every pixel.
            const uint32_t a = 1u << (odd ? s1 : s0), b = 1u << (odd ? s0 : s1);
            for (const int start = x; x + 4 <= width; x += 4) {
                if (!((x - start) & 31))
                    _mm_prefetch(reinterpret_cast<const char *>(p + ahead + x), _MM_HINT_T0);
                const __m128i four = _mm_setr_epi32(int(0xFF000000u | map[p[x]] * a),
                                                    int(0xFF000000u | map[p[x + 1]] * b),
                                                    int(0xFF000000u | map[p[x + 2]] * a),
                                                    int(0xFF000000u | map[p[x + 3]] * b));
                _mm_stream_si128(reinterpret_cast<__m128i *>(o + x), four);
            }
            for (; x < width; ++x)
                o[x] = 0xFF000000u | tone(p[x]) << ((x & 1) ? s1 : s0);
            continue;
        }
        for (int c = s.left; c < s.right; c += 48) {
            const int n = std::min(48, s.right - c);
            for (int j = 0; j < n; ++j)
                *o++ = 0xFF000000u | tone(*p++) << sh[j];
        }
    }
    // The streamed lines are visible to the thread that shows the tile.
    _mm_sfence();
}

namespace {

// Marked pairs [from, to) of a Bayer row four at a time, the other pixel of
// each pair black; returns where it stopped. The tests run on 32-bit lanes:
// raw values are 16-bit, so levels are capped at 65536 without changing any
// answer.
int markedPairs4(const unsigned short *p, uint32_t *o, int first, int from, int to, uint32_t under,
                 uint32_t over, const unsigned char *map, ptrdiff_t ahead)
{
    const __m128i ov = _mm_set1_epi32(int(std::min<uint32_t>(over, 65536u)) - 1);
    const __m128i un = _mm_set1_epi32(int(std::min<uint32_t>(under, 65536u)));
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    const __m128i overMark = _mm_set1_epi32(int(OverMarkChannel));
    const __m128i underMark = _mm_set1_epi32(int(UnderMark));
    const __m128i low = _mm_set1_epi32(0xFFFF);
    int i = from;
    for (; i + 4 <= to; i += 4) {
        const unsigned short *q = p + 2 * i;
        if (!((i - from) & 15))
            _mm_prefetch(reinterpret_cast<const char *>(q + ahead), _MM_HINT_T0);
        const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
        const __m128i v = first ? _mm_srli_epi32(raw, 16) : _mm_and_si128(raw, low);
        const __m128i t = _mm_setr_epi32(map[q[first]], map[q[first + 2]], map[q[first + 4]], map[q[first + 6]]);
        const __m128i g = _mm_or_si128(_mm_or_si128(opaque, t), _mm_or_si128(_mm_slli_epi32(t, 8), _mm_slli_epi32(t, 16)));
        const __m128i isOver = _mm_cmpgt_epi32(v, ov);
        const __m128i isUnder = _mm_cmplt_epi32(v, un);
        __m128i r = _mm_or_si128(_mm_andnot_si128(isOver, g), _mm_and_si128(isOver, overMark));
        r = _mm_or_si128(_mm_andnot_si128(isUnder, r), _mm_and_si128(isUnder, underMark));
        __m128i *out = reinterpret_cast<__m128i *>(o + 2 * i);
        if (first) {
            _mm_storeu_si128(out, _mm_unpacklo_epi32(opaque, r));
            _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(opaque, r));
        } else {
            _mm_storeu_si128(out, _mm_unpacklo_epi32(r, opaque));
            _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(r, opaque));
        }
    }
    return i;
}

} // namespace

void paintMosaicChannel(RawCopyItem &item)
{
    if (!usable(item) || item.image->components != 1)
        return;
    const FrameAccess f(*item.image);
    const Span s = frameSpan(item, f);
    if (s.empty())
        return;
    const Tone tone(item);
    // Locals, not the record: the stores to the tile could alias its fields
    // and force a reload every pixel.
    const uint32_t under = item.under, over = item.over;
    unsigned char ch[48];
    for (int row = s.top; row < s.bottom; ++row) {
        f.rowChannels(row, s.left, ch);
        uint32_t *o = outRow(*item.tile, row, s.left);
        const int width = s.right - s.left;
        const bool hasChannel = std::find(ch, ch + 48, (unsigned char)item.channel) != ch + 48;
        bool period2 = true;
        for (int j = 2; j < 48 && period2; ++j)
            period2 = ch[j] == ch[j - 2];
        const bool pairs = hasChannel && period2 && (ch[0] == item.channel) != (ch[1] == item.channel);
        if (item.blackOthers && !pairs)
            std::fill(o, o + width, 0xFF000000u);
        if (!hasChannel)
            continue;
        const unsigned short *p = f.pixel(row, s.left);
        const MarkCols mc = markCols(item.markArea, row, s.left, s.right);
        // Two-column patterns (every Bayer row) step over the row by pairs:
        // plain, marked and plain again, the other pixel of a pair blackened
        // in the same go when the tile is due to be cleared.
        if (pairs) {
            const int first = ch[0] == item.channel ? 0 : 1;
            const int a = mc.a - s.left, b = mc.b - s.left;
            // Pairs [0, n) hold pixels 2i and 2i + 1; the channel's is 2i + first.
            const int n = width / 2;
            const int ia = std::clamp((a - first + 1) / 2, 0, n);
            const int ib = std::clamp((b - first + 1) / 2, ia, n);
            auto run = [&](auto black) {
                auto plain = [&](int from, int to) {
                    for (int i = from; i < to; ++i) {
                        const int x = 2 * i + first;
                        o[x] = grayPixel(tone(p[x]));
                        if constexpr (decltype(black)::value)
                            o[x ^ 1] = 0xFF000000u;
                    }
                };
                plain(0, ia);
                int i = ia;
                if constexpr (decltype(black)::value)
                    i = markedPairs4(p, o, first, ia, ib, under, over, tone.map, rowsAhead(f, s, row, p));
                for (; i < ib; ++i) {
                    const int x = 2 * i + first;
                    const uint32_t v = p[x];
                    o[x] = markedPixel(v, under, over, grayPixel(tone(v)), OverMarkChannel);
                    if constexpr (decltype(black)::value)
                        o[x ^ 1] = 0xFF000000u;
                }
                plain(ib, n);
            };
            if (item.blackOthers)
                run(std::true_type());
            else
                run(std::false_type());
            // An odd last pixel, outside every pair.
            if (width & 1) {
                const int x = width - 1;
                if (first == 0) {
                    const uint32_t v = p[x];
                    const uint32_t g = grayPixel(tone(v));
                    o[x] = (x >= a && x < b) ? markedPixel(v, under, over, g, OverMarkChannel) : g;
                } else if (item.blackOthers) {
                    o[x] = 0xFF000000u;
                }
            }
            continue;
        }
        // Otherwise only the slots of the channel's colour are visited.
        int wanted[48], n = 0;
        for (int j = 0; j < 48; ++j)
            if (ch[j] == item.channel)
                wanted[n++] = j;
        for (int base = 0; base < width; base += 48) {
            for (int i = 0; i < n; ++i) {
                const int x = base + wanted[i];
                if (x >= width)
                    break;
                const uint32_t v = p[x];
                const uint32_t g = grayPixel(tone(v));
                const int c = s.left + x;
                o[x] = (c >= mc.a && c < mc.b) ? markedPixel(v, under, over, g, OverMarkChannel) : g;
            }
        }
    }
}

namespace {

// Walks the region in 2x2 blocks: blocks start on the region's even offsets
// (tiles start at multiples of 1008), the second row and column of a block
// cut to the frame's last row and column. visit(r, c, v[4], colour[4]) gets
// the pixels in reading order.
template <class Visit>
void forEachBlock(const FrameAccess &f, const Span &s, Visit &&visit)
{
    unsigned char colTop[48], colBottom[48];
    for (int r = s.top; r < s.bottom; r += 2) {
        const int r1 = std::min(r + 1, f.height() - 1);
        f.rowColours(r, colTop);
        f.rowColours(r1, colBottom);
        const unsigned short *top = f.pixel(r, 0);
        const unsigned short *bottom = f.pixel(r1, 0);
        int j = s.left % 48;
        for (int c = s.left; c < s.right; c += 2) {
            const int c1 = std::min(c + 1, f.width() - 1);
            const int j1 = c1 == c ? j : (j + 1 == 48 ? 0 : j + 1);
            const uint32_t v[4] = {top[c], top[c1], bottom[c], bottom[c1]};
            const unsigned char colour[4] = {colTop[j], colTop[j1], colBottom[j], colBottom[j1]};
            visit(r, c, v, colour);
            j += 2;
            if (j >= 48)
                j -= 48;
        }
    }
}

inline void writeBlock(const pixel_array_item_t &t, const Span &s, int r, int c, uint32_t px)
{
    uint32_t *o = outRow(t, r, c);
    const bool two = c + 1 < s.right;
    o[0] = px;
    if (two)
        o[1] = px;
    if (r + 1 < s.bottom) {
        o += TileSize;
        o[0] = px;
        if (two)
            o[1] = px;
    }
}

} // namespace

void paintMosaic2x2Composite(RawCopyItem &item)
{
    if (!usable(item) || item.image->components != 1)
        return;
    const FrameAccess f(*item.image);
    const Span s = frameSpan(item, f);
    if (s.empty())
        return;
    const Tone tone(item);
    forEachBlock(f, s, [&](int r, int c, const uint32_t *v, const unsigned char *colour) {
        // Selects instead of an indexed slot array keep the block in
        // registers; a later pixel of a colour replaces an earlier one.
        uint32_t red = 0, blue = 0, g1 = 0, g3 = 0;
        bool has1 = false, has3 = false;
        for (int i = 0; i < 4; ++i) {
            const uint32_t t = tone(v[i]);
            const int k = colour[i];
            red = k == 0 ? t : red;
            g1 = k == 1 ? t : g1;
            blue = k == 2 ? t : blue;
            g3 = k == 3 ? t : g3;
            has1 = has1 || k == 1;
            has3 = has3 || k == 3;
        }
        // Average only the green slots that hold a value (a 3-colour
        // pattern fills one of them).
        const uint32_t green = has1 && has3 ? (g1 + g3) / 2 : (has1 ? g1 : g3);
        writeBlock(*item.tile, s, r, c, 0xFF000000u | red << 16 | green << 8 | blue);
    });
}

void paintMosaic2x2Channel(RawCopyItem &item)
{
    if (!usable(item) || item.image->components != 1)
        return;
    const FrameAccess f(*item.image);
    const Span s = frameSpan(item, f);
    if (s.empty())
        return;
    const Tone tone(item);
    const QRect &m = item.markArea;
    const bool anyMarks = m.width() > 0 && m.height() > 0;
    forEachBlock(f, s, [&](int r, int c, const uint32_t *v, const unsigned char *colour) {
        int i = 0;
        while (i < 4 && colour[i] != item.channel)
            ++i;
        // A block without the channel's colour keeps what the tile held.
        if (i == 4) {
            if (item.blackOthers)
                writeBlock(*item.tile, s, r, c, 0xFF000000u);
            return;
        }
        const uint32_t g = grayPixel(tone(v[i]));
        const bool inside = anyMarks && r >= m.top() && r < m.top() + m.height() && c >= m.left()
                            && c < m.left() + m.width();
        writeBlock(*item.tile, s, r, c, inside ? markedPixel(v[i], item.under, item.over, g, OverMarkOverlay) : g);
    });
}

void paintExposureOverlay(OEUEItem &item)
{
    if (!item.tile || !item.tile->pixels || !item.image || !item.image->data
        || item.under.size() < 4 || item.over.size() < 4)
        return;
    const FrameAccess f(*item.image);
    const Span fs = frameSpan(*item.tile, f);
    Span s = cut(*item.tile, item.markArea.left(), item.markArea.top(), item.markArea.width(),
                 item.markArea.height());
    s.left = std::max(s.left, fs.left);
    s.top = std::max(s.top, fs.top);
    s.right = std::min(s.right, fs.right);
    s.bottom = std::min(s.bottom, fs.bottom);
    if (s.empty())
        return;
    const uint32_t ue[4] = {item.under[0], item.under[1], item.under[2], item.under[3]};
    const uint32_t oe[4] = {item.over[0], item.over[1], item.over[2], item.over[3]};
    const int comps = f.components();
    for (int row = s.top; row < s.bottom; ++row) {
        const unsigned short *p = f.pixel(row, s.left);
        uint32_t *o = outRow(*item.tile, row, s.left);
        if (comps == 1) {
            // The colour of a pixel is that of its frame position.
            unsigned char ch[48];
            f.rowChannels(row, s.left, ch);
            int j = 0;
            for (int c = s.left; c < s.right; ++c, ++p, ++o) {
                const uint32_t v = *p;
                const int k = ch[j];
                if (v < ue[k])
                    *o = UnderMark;
                else if (v >= oe[k])
                    *o = OverMarkOverlay;
                if (++j == 48)
                    j = 0;
            }
        } else {
            for (int c = s.left; c < s.right; ++c, p += comps, ++o) {
                if (p[0] < ue[0] || p[1] < ue[1] || p[2] < ue[2])
                    *o = UnderMark;
                else if (p[0] >= oe[0] || p[1] >= oe[1] || p[2] >= oe[2])
                    *o = OverMarkOverlay;
            }
        }
    }
}
