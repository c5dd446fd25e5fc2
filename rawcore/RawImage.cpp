#include "RawImage.h"

#include "KaldrisFrames.h"
#include "PrefStore.h"
#include "rawMkBlack.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>

namespace {

// 48 is a multiple of every colour period along a row (2 for the 8x2 word,
// 6 for 6x6 patterns, 16 for the widest the library describes) and of 3
// and 4 values a pixel.
constexpr int RowTable = 48;

int floorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

int positiveMod(int a, int m)
{
    const int r = a % m;
    return r < 0 ? r + m : r;
}

int patternColour(unsigned word, int row, int column)
{
    return int((word >> ((((row * 2) & 14) | (column & 1)) * 2)) & 3);
}

int rotatedColour(unsigned word, int width, int layout, int row, int column)
{
    int r, c;
    if (layout) {
        r = width - 1 - column + floorDiv(row, 2);
        c = column + floorDiv(row + 1, 2);
    } else {
        r = width - 1 + row - floorDiv(column, 2);
        c = row + floorDiv(column + 1, 2);
    }
    return patternColour(word, r, c);
}

// One row of values minus its levels, clamped at 0; the table repeats every
// RowTable values. The branch-free form lets the compiler use saturating
// vector subtraction.
void subtractRowTable(ushort *p, size_t count, const ushort *table)
{
    size_t x = 0;
    for (; x + RowTable <= count; x += RowTable) {
        ushort *q = p + x;
        for (int k = 0; k < RowTable; ++k) {
            const ushort v = q[k], s = table[k];
            q[k] = v > s ? ushort(v - s) : ushort(0);
        }
    }
    for (int k = 0; x < count; ++x, ++k) {
        const ushort v = p[x], s = table[k];
        p[x] = v > s ? ushort(v - s) : ushort(0);
    }
}

void subtractRowValues(ushort *p, size_t count, const ushort *sub)
{
    for (size_t x = 0; x < count; ++x) {
        const ushort v = p[x], s = sub[x];
        p[x] = v > s ? ushort(v - s) : ushort(0);
    }
}

// The general form: any int amount a value, the result clamped to 0..65535.
void subtractRowAmounts(ushort *p, size_t count, const int64_t *amount)
{
    for (size_t x = 0; x < count; ++x) {
        const int64_t v = int64_t(p[x]) - amount[x];
        p[x] = ushort(std::clamp<int64_t>(v, 0, 65535));
    }
}

}

RawImage::RawImage(std::unique_ptr<Kaldris_fast> decoder)
    : curveBackup(CurveSize, 0), decoderObject(decoder ? std::move(decoder) : std::make_unique<Kaldris_fast>(0))
{
}

RawImage::~RawImage()
{
    kaldris_rawdata_t &raw = decoderObject->imgdata.rawdata;
    // The Phase One path lent the working buffer to the decoder; it must
    // not be freed by the library as well as here.
    if (workingBuffer && raw.raw_image == workingBuffer)
        raw.raw_image = static_cast<ushort *>(raw.raw_alloc) != workingBuffer ? static_cast<ushort *>(raw.raw_alloc)
                                                                              : nullptr;
    kaldris::releaseFrame(workingBuffer);
    workingBuffer = nullptr;
    view1 = nullptr;
    view3 = nullptr;
    view4 = nullptr;
    if (processedImage)
        Kaldris::dcraw_clear_mem(processedImage);
    processedImage = nullptr;
    decoderObject->recycle();
    infoHtml.clear();
    path.clear();
    decoderObject.reset();
}

int RawImage::components() const
{
    if (view1)
        return 1;
    if (view3)
        return 3;
    if (view4)
        return 4;
    return 0;
}

const void *RawImage::decoderData() const
{
    const kaldris_rawdata_t &raw = data().rawdata;
    const void *source = nullptr;
    switch (components()) {
    case 1:
        source = raw.raw_image;
        break;
    case 3:
        source = raw.color3_image;
        break;
    case 4:
        source = raw.color4_image;
        break;
    default:
        return nullptr;
    }
    if (source == workingBuffer)
        source = raw.raw_alloc != workingBuffer ? raw.raw_alloc : nullptr;
    return source;
}

int RawImage::blackPatternHeight() const
{
    const unsigned *cb = data().color.cblack;
    const uint64_t h = cb[4], w = cb[5];
    return h && w && h * w <= 4104 - 6 ? int(h) : 0;
}

int RawImage::blackPatternWidth() const
{
    return blackPatternHeight() ? int(data().color.cblack[5]) : 0;
}

QVector<int> RawImage::blackLevels(PrefStore *prefs) const
{
    QVector<int> levels(5, 0);
    const int method = prefs ? prefs->prefValue(QStringLiteral("subtractBlackMethod")) : 0;
    if (method == 1) {
        const int level = prefs->prefValue(QStringLiteral("blManualLevel"));
        std::fill(levels.begin(), levels.begin() + 4, level);
        return levels;
    }
    if (method == 2) {
        const QVector<int> manual = prefs->blackLevelsFromPrefs();
        for (int i = 0; i < 4 && i < manual.size(); ++i)
            levels[i] = manual[i];
        return levels;
    }
    const kaldris_colordata_t &color = data().color;
    for (int i = 0; i < 4; ++i)
        levels[i] = int(std::min<int64_t>(int64_t(color.cblack[i]) + color.black, 65535));
    const int h = blackPatternHeight(), w = blackPatternWidth();
    if (!h)
        return levels;
    const unsigned *pattern = blackPattern();
    const unsigned filters = data().idata.filters;
    if (filters >= 1000 && h <= 2 && w <= 2 && !rotatedWidth) {
        // The pattern counts in raw coordinates. It folds into a colour's
        // level only when every site of that colour holds the same value;
        // one 8x2 period of the colour word covers every combination.
        std::array<int64_t, 4> value{-1, -1, -1, -1};
        bool uniform = true;
        for (int row = 0; row < 8 && uniform; ++row)
            for (int column = 0; column < 2; ++column) {
                const int c = rawColorAt(row, column);
                const int64_t v = pattern[(row % h) * w + column % w];
                if (value[c] < 0)
                    value[c] = v;
                else if (value[c] != v)
                    uniform = false;
            }
        if (uniform) {
            for (int c = 0; c < 4; ++c)
                if (value[c] > 0)
                    levels[c] = int(std::min<int64_t>(levels[c] + value[c], 65535));
            return levels;
        }
    } else if (filters < 1000 && h == 1 && w == 1) {
        for (int i = 0; i < 4; ++i)
            levels[i] = int(std::min<int64_t>(levels[i] + int64_t(pattern[0]), 65535));
        return levels;
    }
    levels[4] = 1;
    return levels;
}

void RawImage::subtractBlackLevels(PrefStore *prefs, int idealThreads, int minThreads, int bandRows,
                                   const void *source)
{
    if (!workingBuffer)
        return;
    const QVector<int> levels = blackLevels(prefs);
    const bool deltas = usesFileDeltas(prefs);
    const int height = data().sizes.raw_height;
    if (idealThreads > minThreads && bandRows > 0 && height > bandRows) {
        const BlackRows rows = blackRowTable(levels.constData());
        std::vector<rawMkBlack> jobs;
        jobs.reserve(size_t(height / bandRows + 1));
        for (int first = 0; first < height; first += bandRows)
            jobs.push_back({first, std::min(first + bandRows, height), this, levels.constData(), source, &rows, deltas});
        QtConcurrent::blockingMap(jobs, runRawMkBlack);
    } else {
        subtractBlackRows(0, height, levels.constData(), source, nullptr, deltas);
    }
}

namespace {

bool levelsFit16(const int *levels)
{
    for (int i = 0; i < 4; ++i)
        if (levels[i] < 0 || levels[i] > 65535)
            return false;
    return true;
}

// Rows of a pattern repeat every lcm(pattern height, 48) rows; beyond this
// the table would cost more than it saves.
constexpr int MaxTableRows = 256;

}

RawImage::BlackRows RawImage::blackRowTable(const int *levels) const
{
    BlackRows table;
    const int h = blackPatternHeight(), w = blackPatternWidth();
    const int width = data().sizes.raw_width;
    if (components() != 1 || !levels[4] || !h || !levelsFit16(levels) || !width)
        return table;
    const int period = std::lcm(h, RowTable);
    if (period > MaxTableRows)
        return table;
    table.resize(size_t(period));
    for (int row = 0; row < period; ++row) {
        std::vector<ushort> &sub = table[size_t(row)];
        sub.resize(size_t(width));
        int colourLevel[RowTable];
        for (int k = 0; k < RowTable; ++k)
            colourLevel[k] = levels[rawColorAt(row, k)];
        const unsigned *patternRow = blackPattern() + size_t(row % h) * w;
        for (size_t x = 0, k = 0, j = 0; x < size_t(width); ++x) {
            sub[x] = ushort(std::min<int64_t>(int64_t(colourLevel[k]) + patternRow[j], 65535));
            if (++k == RowTable)
                k = 0;
            if (++j == size_t(w))
                j = 0;
        }
    }
    return table;
}

bool RawImage::usesFileDeltas(PrefStore *prefs) const
{
    const int method = prefs ? prefs->prefValue(QStringLiteral("subtractBlackMethod")) : 0;
    const kaldris_colordata_t &color = data().color;
    return method != 1 && method != 2 && (color.black_row_delta_count || color.black_col_delta_count);
}

void RawImage::subtractBlackRows(int firstRow, int lastRow, const int *levels, const void *source,
                                 const BlackRows *rows, bool deltas)
{
    const int comps = components();
    if (!workingBuffer || !comps)
        return;
    const kaldris_image_sizes_t &sizes = data().sizes;
    const size_t pitch = sizes.raw_pitch;
    firstRow = std::max(firstRow, 0);
    lastRow = std::min<int>(lastRow, sizes.raw_height);
    if (source && firstRow < lastRow && size_t(lastRow) * pitch <= workingBufferSize)
        std::memcpy(static_cast<unsigned char *>(workingBuffer) + size_t(firstRow) * pitch,
                    static_cast<const unsigned char *>(source) + size_t(firstRow) * pitch,
                    size_t(lastRow - firstRow) * pitch);
    const int width = sizes.raw_width;
    if (firstRow >= lastRow || !width || pitch < size_t(width) * 2 * comps)
        return;
    const size_t count = size_t(width) * comps;
    auto *base = static_cast<unsigned char *>(workingBuffer);

    const int h = blackPatternHeight(), w = blackPatternWidth();
    const bool withPattern = comps == 1 && levels[4] && h;
    const bool levelsFit = levelsFit16(levels);
    BlackRows ownRows;
    if (withPattern && levelsFit && !rows) {
        ownRows = blackRowTable(levels);
        rows = &ownRows;
    }
    const bool tableRows = withPattern && levelsFit && rows && !rows->empty();
    const kaldris_colordata_t &color = data().color;
    const float *rowDelta = deltas && color.black_row_delta_count >= sizes.raw_height ? color.black_row_delta : nullptr;
    const float *colDelta = deltas && color.black_col_delta_count >= sizes.raw_width ? color.black_col_delta : nullptr;
    const bool withDeltas = rowDelta || colDelta;
    std::vector<int64_t> amounts;
    if (withDeltas || (withPattern ? !tableRows : !levelsFit))
        amounts.resize(count);

    for (int row = firstRow; row < lastRow; ++row) {
        size_t offset = size_t(row) * pitch;
        if (comps == 3)
            offset = size_t(row) * pitch / 6 * 6;
        else if (comps == 4)
            offset &= ~size_t(7);
        ushort *p = reinterpret_cast<ushort *>(base + offset);
        if (tableRows && !withDeltas) {
            subtractRowValues(p, count, (*rows)[size_t(row) % rows->size()].data());
            continue;
        }
        int colourLevel[RowTable];
        for (int k = 0; k < RowTable; ++k)
            colourLevel[k] = levels[comps == 1 ? rawColorAt(row, k) : k % comps];
        if (levelsFit && !withPattern && !withDeltas) {
            ushort table[RowTable];
            for (int k = 0; k < RowTable; ++k)
                table[k] = ushort(colourLevel[k]);
            subtractRowTable(p, count, table);
            continue;
        }
        if (tableRows) {
            const ushort *table = (*rows)[size_t(row) % rows->size()].data();
            for (size_t x = 0; x < count; ++x)
                amounts[x] = table[x];
        } else {
            const unsigned *patternRow = withPattern ? blackPattern() + size_t(row % h) * w : nullptr;
            for (size_t x = 0, k = 0, j = 0; x < count; ++x) {
                amounts[x] = colourLevel[k] + (patternRow ? int64_t(patternRow[j]) : 0);
                if (++k == RowTable)
                    k = 0;
                if (patternRow && ++j == size_t(w))
                    j = 0;
            }
        }
        if (withDeltas) {
            // The file's per-row and per-column offsets, on top of the levels.
            const float rd = rowDelta ? rowDelta[row] : 0.0f;
            for (size_t x = 0; x < count; ++x)
                amounts[x] += std::lround(rd + (colDelta ? colDelta[x / size_t(comps)] : 0.0f));
        }
        subtractRowAmounts(p, count, amounts.data());
    }
}

int RawImage::fcolorAt(int row, int column) const
{
    if (rotatedWidth)
        return fcolorRotated(row, column);
    if (cfaPattern >= 1000)
        return patternColour(cfaPattern, row, column);
    const kaldris_image_sizes_t &sizes = data().sizes;
    if (cfaPattern == 9)
        return decoder().fcol(row + 6 - int(unsigned(sizes.top_margin - frameOriginRow) % 6u),
                              column + 6 - int(unsigned(sizes.left_margin - frameOriginCol) % 6u));
    return decoder().fcol(row, column);
}

int RawImage::fcolorRotated(int row, int column) const
{
    return rotatedColour(cfaPattern, rotatedWidth, rotatedLayout, row, column);
}

int RawImage::rawColorAt(int rawRow, int rawColumn) const
{
    if (rotatedWidth)
        return fcolorAt(rawRow - frameOriginRow, rawColumn - frameOriginCol);
    const kaldris_image_sizes_t &sizes = data().sizes;
    // The library's colour word and fcol() count from the visible origin.
    const int row = rawRow - sizes.top_margin, column = rawColumn - sizes.left_margin;
    if (filtersCopy >= 1000)
        return patternColour(filtersCopy, row, column);
    if (filtersCopy == 9)
        return decoder().fcol(positiveMod(row, 6) + 6, positiveMod(column, 6) + 6);
    return decoder().fcol(std::max(row, 0), std::max(column, 0));
}

void RawImage::countCfaColours()
{
    if (!data().idata.filters) {
        cfaColourCount = data().idata.colors;
        return;
    }
    bool seen[4] = {false, false, false, false};
    for (int row = 0; row < 48; ++row)
        for (int column = 0; column < 48; ++column)
            seen[decoder().fcol(row, column) & 3] = true;
    cfaColourCount = int(std::count(std::begin(seen), std::end(seen), true));
}

unsigned RawImage::shiftCfaPattern()
{
    cfaPattern = filtersCopy;
    const kaldris_image_sizes_t &sizes = data().sizes;
    if (rotatedWidth || (frameOriginRow == sizes.top_margin && frameOriginCol == sizes.left_margin)
        || data().idata.filters < 1000)
        return cfaPattern;
    const int dy = frameOriginRow - sizes.top_margin, dx = frameOriginCol - sizes.left_margin;
    unsigned shifted = 0;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 2; ++c) {
            const unsigned colour = unsigned(patternColour(filtersCopy, positiveMod(r + dy, 8), positiveMod(c + dx, 2)));
            shifted |= colour << ((r * 2 + c) * 2);
        }
    cfaPattern = shifted;
    return cfaPattern;
}

bool RawImage::isBayerImage() const
{
    return data().idata.colors > 1 && cfaPattern > 999;
}

FrameView RawImage::frameView(int channels) const
{
    FrameView v;
    const kaldris_image_sizes_t &sizes = data().sizes;
    v.data = static_cast<const unsigned short *>(workingBuffer);
    v.pitch = sizes.raw_pitch / 2;
    v.components = std::max(components(), 1);
    v.rawWidth = sizes.raw_width;
    v.rawHeight = sizes.raw_height;
    v.originRow = frameOriginRow;
    v.originCol = frameOriginCol;
    v.width = frameWidth;
    v.height = frameHeight;
    v.channels = channels;
    if (rotatedWidth) {
        const unsigned word = cfaPattern;
        const int width = rotatedWidth, layout = rotatedLayout;
        v.colorAt = [word, width, layout](int row, int column) {
            return rotatedColour(word, width, layout, row, column);
        };
        return v;
    }
    // Every other layout repeats within 48 x 48 frame positions; a table
    // keeps the jobs away from the decoder object.
    auto table = std::make_shared<std::array<unsigned char, RowTable * RowTable>>();
    for (int row = 0; row < RowTable; ++row)
        for (int column = 0; column < RowTable; ++column)
            (*table)[size_t(row * RowTable + column)] = (unsigned char)fcolorAt(row, column);
    v.colorAt = [table](int row, int column) {
        return int((*table)[size_t(positiveMod(row, RowTable) * RowTable + positiveMod(column, RowTable))]);
    };
    v.colourTable = table;
    return v;
}
