#include "Kaldris.h"
#include "KaldrisPrivate.h"
#include "io/ParallelFor.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

Kaldris_fast::Kaldris_fast(unsigned flags) : Kaldris(flags) {}
Kaldris_fast::~Kaldris_fast() = default;

int Kaldris_fast::open_qfile(const QString &path, int64_t max_buffered)
{
    QByteArray name;
    int rc = kaldris::guarded([&] {
        name = QFile::encodeName(path);
        return int(KALDRIS_SUCCESS);
    });
    if (rc != KALDRIS_SUCCESS)
        return rc;
    return open_file(name.constData(), max_buffered);
}

int Kaldris_fast::unpack() { return Kaldris::unpack(); }

int Kaldris_fast::clearZeroPixels()
{
    const auto &s = imgdata.sizes;
    ushort *raw = imgdata.rawdata.raw_image;
    if (!imgdata.color.zero_is_bad || !raw || imgdata.idata.filters < 1000)
        return 0;
    return kaldris::guarded([&] {
        const size_t pitch = s.raw_pitch / 2;
        const int height = s.raw_height, width = s.raw_width;
        // The pattern repeats every 8 rows and 2 columns, here in raw coordinates.
        int colour[8][2];
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 2; ++c)
                colour[r][c] = fcol(r - s.top_margin, c - s.left_margin);
        // Every replacement is worked out from the data as unpacked, so a
        // cleared pixel never feeds its neighbour's mean; they are written
        // once all bands are done.
        constexpr int bandRows = 64;
        const size_t bands = (size_t(height) + bandRows - 1) / bandRows;
        std::vector<std::vector<std::pair<size_t, ushort>>> fixes(bands);
        kaldris::parallelFor(bands, imgdata.params.threads, [&](size_t b) {
            const int r0 = int(b) * bandRows, r1 = std::min(height, r0 + bandRows);
            for (int row = r0; row < r1; ++row) {
                const ushort *line = raw + size_t(row) * pitch;
                for (int col = 0; col < width; ++col) {
                    if (line[col])
                        continue;
                    const int want = colour[row & 7][col & 1];
                    unsigned sum = 0, n = 0;
                    // Same-colour neighbours within two rows and columns,
                    // only those inside the raw area.
                    for (int y = std::max(0, row - 2); y <= std::min(height - 1, row + 2); ++y) {
                        const ushort *near = raw + size_t(y) * pitch;
                        for (int x = std::max(0, col - 2); x <= std::min(width - 1, col + 2); ++x)
                            if (near[x] && colour[y & 7][x & 1] == want) {
                                sum += near[x];
                                ++n;
                            }
                    }
                    if (n)
                        fixes[b].emplace_back(size_t(row) * pitch + size_t(col), ushort((sum + n / 2) / n));
                }
            }
        });
        int count = 0;
        for (const auto &band : fixes) {
            for (const auto &f : band)
                raw[f.first] = f.second;
            count += int(band.size());
        }
        return count;
    });
}

int Kaldris_fast::get_phaseone_blacklevel() { return 0; }

int Kaldris_fast::get_other_blacklevel(int *levels, int channels)
{
    if (!levels)
        return KALDRIS_UNSPECIFIED_ERROR;
    const auto &c = imgdata.color;
    const auto &s = imgdata.sizes;
    for (int i = 0; i < 4; ++i)
        levels[i] = int(c.black + c.cblack[i]);
    const unsigned ph = c.cblack[4], pw = c.cblack[5];
    if (imgdata.idata.filters > 1000 && ph >= 1 && ph <= 2 && pw >= 1 && pw <= 2) {
        // The pattern is in raw coordinates, the colours in visible ones.
        for (int i = 0; i < 4; ++i) {
            const int row = i / 2, col = i % 2;
            const unsigned rr = row + s.top_margin, rc = col + s.left_margin;
            levels[fcol(row, col)] += int(c.cblack[6 + (rr % ph) * pw + rc % pw]);
        }
    } else if (imgdata.idata.filters <= 1000 && ph == 1 && pw == 1) {
        for (int i = 0; i < 4; ++i)
            levels[i] += int(c.cblack[6]);
    }
    // The common level: the average of the channels in use.
    const int n = channels < 1 ? 1 : (channels > 4 ? 4 : channels);
    long sum = 0;
    for (int i = 0; i < n; ++i)
        sum += levels[i];
    levels[4] = int(sum / n);
    return KALDRIS_SUCCESS;
}

kaldris_processed_image_t *Kaldris_fast::dcraw_make_mem_image_ex(kaldris_processed_image_t *previous, int *errcode)
{
    auto failWith = [&](int code) -> kaldris_processed_image_t * {
        dcraw_clear_mem(previous);
        if (errcode)
            *errcode = code;
        return nullptr;
    };
    auto succeed = [&](kaldris_processed_image_t *img) {
        imgdata.processed_data_size = img->data_size;
        if (errcode)
            *errcode = KALDRIS_SUCCESS;
        return img;
    };
    if (!d->hasRendered)
        return failWith(KALDRIS_OUT_OF_ORDER_CALL);
    // The rendering already went out in this very block.
    if (previous && previous == d->handedOut)
        return succeed(previous);
    kaldris::RenderedImage &r = d->rendered;
    const size_t needed = size_t(r.width) * r.height * r.colors;
    if (r.width <= 0 || r.height <= 0 || r.colors <= 0 || needed > r.pixels.size() || needed > 0xFFFFFFFFu)
        return failWith(d->handedOut ? KALDRIS_OUT_OF_ORDER_CALL : KALDRIS_NOT_PROCESSED);
    auto fillHeader = [&](kaldris_processed_image_t *img) {
        img->height = ushort(r.height);
        img->width = ushort(r.width);
        img->colors = ushort(r.colors);
        img->bits = 8;
        img->data_size = unsigned(needed);
        img->reserved = 0;
    };
    if (!previous || previous->data_size < needed) {
        // The rendering's own block goes out: no copy, no second set of pages.
        dcraw_clear_mem(previous);
        previous = nullptr;
        kaldris_processed_image_t *img = r.pixels.release();
        fillHeader(img);
        d->handedOut = img;
        return succeed(img);
    }
    kaldris_processed_image_t *img = previous;
    fillHeader(img);
    // In bands on every core: one thread alone would copy at a fraction of
    // the memory's speed.
    const size_t chunk = size_t(1) << 20;
    const size_t chunks = (needed + chunk - 1) / chunk;
    kaldris::parallelFor(chunks, imgdata.params.threads, [&](size_t i) {
        const size_t at = i * chunk;
        std::memcpy(img->data + at, r.pixels.data() + at, std::min(chunk, needed - at));
    });
    return succeed(img);
}
