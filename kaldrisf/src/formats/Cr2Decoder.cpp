#include "formats/Cr2Decoder.h"

#include "camera/CameraDatabase.h"
#include "formats/CameraFacts.h"
#include "formats/ExifFields.h"
#include "io/FrameBuffer.h"
#include "io/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace kaldris {

namespace {

enum Tag : uint16_t {
    Compression = 259, StripOffsets = 273, StripByteCounts = 279, JpegIfOffset = 513, JpegIfByteCount = 514,
    SliceLayout = 0xC640, SrawType = 0xC6C5,
};

// Canon maker-note tags.
enum CanonTag : uint16_t { SensorInfo = 0x00E0, ColorData = 0x4001 };

// Where a ColorData version keeps what we read, in 16-bit words; the count
// of the tag tells the version. -1: the version does not carry it.
struct ColorDataLayout {
    uint32_t counts[12];
    int asShot;          // WB_RGGBLevelsAsShot, R G G B
    int black;           // PerChannelBlackLevel, R G G B
    int white;           // SpecularWhiteLevel
};

const ColorDataLayout colorDataLayouts[] = {
    {{582}, 25, -1, -1},
    {{653}, 34, -1, -1},
    {{796}, 63, 196, -1},
    {{674, 692}, 63, -1, -1},
    {{702}, 63, 0x2B4, 0x2B9},
    {{1227, 1250, 1251, 1337, 1338, 1346}, 63, 719, 724},
    {{1273, 1275}, 63, 479, 484},
    {{1312, 1313, 1316, 1506}, 63, 504, 509},
    {{1353, 1560, 1592, 1602}, 63, 556, 561},
    {{1816, 1820, 1824}, 71, 329, 797},
};

const ColorDataLayout *layoutFor(uint32_t count)
{
    for (const ColorDataLayout &l : colorDataLayouts)
        for (uint32_t c : l.counts)
            if (c && c == count)
                return &l;
    return nullptr;
}


// Lossless JPEG spends at least one bit a sample; a stream claiming more
// samples than that is refused before anything is allocated.
constexpr uint64_t sampleSlack = 4096;

}

bool Cr2Decoder::recognises(const ByteStream &file)
{
    if (file.size() < 16)
        return false;
    const uint8_t *h = file.data();
    const bool le = h[0] == 'I' && h[1] == 'I' && h[2] == 42 && h[3] == 0;
    const bool be = h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == 42;
    return (le || be) && h[8] == 'C' && h[9] == 'R' && h[10] == 2;
}

const TiffIfd *Cr2Decoder::findRawIfd() const
{
    ByteStream s = m_file;
    s.setBigEndian(m_tree.bigEndian);
    const uint64_t rawIfd = s.u32(12);
    for (const auto &ifd : m_tree.chain)
        if (ifd->offset == rawIfd && ifd->has(StripOffsets))
            return ifd.get();
    // A header pointing elsewhere: the last IFD whose strip is a lossless JPEG.
    for (auto it = m_tree.chain.rbegin(); it != m_tree.chain.rend(); ++it) {
        const TiffIfd &ifd = **it;
        if (ifd.u(Compression, 0) != 6 || !ifd.has(StripOffsets) || !ifd.has(StripByteCounts))
            continue;
        const uint64_t off = ifd.u(StripOffsets, 0), len = ifd.u(StripByteCounts, 0);
        const uint64_t avail = m_file.available(off, len);
        LosslessJpegHeader h{};
        if (avail && LosslessJpegDecoder::readHeader(m_file.data() + off, size_t(avail), h) == KALDRIS_SUCCESS)
            return &ifd;
    }
    return nullptr;
}

void Cr2Decoder::open(const ByteStream &file, TiffTree tree, kaldris_data_t &d)
{
    m_file = file;
    m_tree = std::move(tree);
    const TiffIfd *raw = m_rawIfd = findRawIfd();
    if (!raw)
        fail(KALDRIS_CORRUPT);
    d.idata.raw_count = 1;
    if (d.params.shot_select > 0)
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);

    // The stream: its header gives the sizes before anything is allocated.
    m_rawOffset = raw->u(StripOffsets, 0);
    m_rawLength = raw->u(StripByteCounts, 0);
    const uint64_t avail = m_file.available(m_rawOffset, m_rawLength);
    if (!avail)
        fail(KALDRIS_TRUNCATED);
    int rc = LosslessJpegDecoder::readHeader(m_file.data() + m_rawOffset, size_t(avail), m_jpeg);
    if (rc != KALDRIS_SUCCESS)
        fail(rc);
    m_sraw = m_jpeg.slots != m_jpeg.components;
    if (!m_sraw && (m_jpeg.components < 1 || m_jpeg.components > 4))
        fail(KALDRIS_UNSUPPORTED_COMPRESSION);
    const uint64_t total = m_jpeg.lineSamples * m_jpeg.mcuLines;

    uint64_t rowSamples = m_jpeg.lineSamples;
    m_slices = JpegSlices{};
    if (const TiffEntry *sl = raw->get(SliceLayout); sl && sl->count() >= 3 && sl->isInteger()) {
        const uint64_t n = sl->u(0), w = sl->u(1), last = sl->u(2);
        if (w == 0 || last == 0 || n > 64 || n * w + last > 0xFFFFFu)
            fail(KALDRIS_CORRUPT);
        m_slices.count = uint32_t(n);
        m_slices.width = uint32_t(w);
        m_slices.lastWidth = uint32_t(last);
        rowSamples = n * w + last;
    }
    if (!rowSamples || total % rowSamples || total / rowSamples > 65535 || (!m_sraw && rowSamples > 65535))
        fail(KALDRIS_CORRUPT);
    m_rowSamples = uint32_t(rowSamples);
    m_rows = uint32_t(total / rowSamples);

    if (total > avail * 8 + sampleSlack)
        fail(avail < m_rawLength ? KALDRIS_TRUNCATED : KALDRIS_CORRUPT);

    ExifFields::read(m_tree, d);
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, m_sraw ? "Canon CR2 (sRAW)" : "Canon CR2");
    readColorData();

    std::string mode;
    if (m_sraw) {
        if (m_rowSamples % m_jpeg.slots)
            fail(KALDRIS_CORRUPT);
        const uint32_t mcus = m_rowSamples / m_jpeg.slots;
        m_width = std::min<uint32_t>(mcus * m_jpeg.h[0], uint32_t(m_jpeg.width));
        m_height = std::min<uint32_t>(m_rows * m_jpeg.v[0], uint32_t(m_jpeg.height));
        if (!m_width || !m_height || m_width > 65535 || m_height > 65535)
            fail(KALDRIS_CORRUPT);
        mode = raw->u(SrawType, 1) == 2 ? "sRaw2" : "sRaw1";
    }
    const CameraEntry *cam = CameraFacts::identify(d, mode);

    readSizes(d, cam);
    const int iso = int(std::lround(std::clamp<double>(d.other.iso_speed, 0, 1e6)));
    const CameraSensor *sensor = cam ? cam->sensorFor(iso) : nullptr;
    if (sensor) {
        m_haveDbBlack = true;
        m_dbBlack = unsigned(std::max(0, sensor->black));
    }

    const unsigned depthWhite = (1u << std::clamp(m_jpeg.precision, 1, 16)) - 1;
    unsigned white = depthWhite;
    const char *whiteFrom = "bit depth";
    // sRAW data are converted colour: only their bit depth bounds them.
    if (!m_sraw && m_white) {
        white = m_white;
        whiteFrom = "file";
    } else if (!m_sraw && sensor && sensor->white > 0) {
        white = unsigned(std::min(sensor->white, 65535));
        whiteFrom = "database";
    }
    d.color.maximum = white;
    ExifFields::copyText(d.color.white_source, sizeof d.color.white_source, whiteFrom);

    for (int c = 0; c < 4; ++c)
        d.color.pre_mul[c] = 1;
    if (m_haveBalance) {
        // R G G B levels to multipliers of colours R, G, B, G2.
        const double g = m_balance[1];
        d.color.cam_mul[0] = float(m_balance[0] / g);
        d.color.cam_mul[1] = 1;
        d.color.cam_mul[2] = float(m_balance[3] / g);
        d.color.cam_mul[3] = float(m_balance[2] / g);
    }

    findThumbnail(d);

    const uint64_t bytes = m_sraw ? total * 2 + uint64_t(m_width) * m_height * 6 : total * 2;
    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && bytes > limit)
        fail(KALDRIS_TOO_BIG);
}

void Cr2Decoder::readColorData()
{
    m_haveBalance = m_haveBlack = false;
    m_white = 0;
    const TiffIfd *note = m_tree.makerNote.get();
    const TiffEntry *cd = note ? note->get(ColorData) : nullptr;
    if (!cd || !cd->isInteger())
        return;
    const ColorDataLayout *l = layoutFor(cd->count());
    if (!l)
        return;   // a version we do not know: neutral balance, levels from elsewhere
    auto word = [&](int i) { return unsigned(cd->u(uint32_t(i)) & 0xFFFF); };
    if (l->asShot >= 0 && uint32_t(l->asShot + 4) <= cd->count()) {
        bool ok = true;
        for (int c = 0; c < 4; ++c) {
            m_balance[c] = word(l->asShot + c);
            ok &= m_balance[c] > 0;
        }
        m_haveBalance = ok;
    }
    const unsigned depthWhite = (1u << std::clamp(m_jpeg.precision, 1, 16)) - 1;
    unsigned lowest = depthWhite;
    if (l->black >= 0 && uint32_t(l->black + 4) <= cd->count()) {
        bool ok = true, any = false;
        for (int c = 0; c < 4; ++c) {
            m_black[c] = word(l->black + c);
            ok &= m_black[c] < depthWhite;
            any |= m_black[c] > 0;
            lowest = std::min(lowest, m_black[c]);
        }
        // No Canon body has a black of 0: zeros are a field left empty.
        m_haveBlack = ok && any;
    }
    if (l->white >= 0 && uint32_t(l->white) < cd->count()) {
        const unsigned w = word(l->white);
        // A level outside the data's range is not this version's white.
        if (w <= depthWhite && w > (m_haveBlack ? lowest : 0u))
            m_white = w;
    }
}

void Cr2Decoder::readSizes(kaldris_data_t &d, const CameraEntry *cam)
{
    auto &s = d.sizes;
    if (m_sraw) {
        setRgbFrame(d, m_width, m_height);
        return;
    }
    const uint32_t rw = m_rowSamples, rh = m_rows;
    s.raw_width = ushort(rw);
    s.raw_height = ushort(rh);
    s.raw_pitch = rw * 2;
    uint32_t left = 0, top = 0, width = rw, height = rh;
    bool found = false;
    const TiffIfd *note = m_tree.makerNote.get();
    if (const TiffEntry *si = note ? note->get(SensorInfo) : nullptr; si && si->isInteger() && si->count() >= 9) {
        const uint64_t l = si->u(5), t = si->u(6), r = si->u(7), b = si->u(8);
        if (l <= r && t <= b && r < rw && b < rh) {
            left = uint32_t(l);
            top = uint32_t(t);
            width = uint32_t(r - l + 1);
            height = uint32_t(b - t + 1);
            found = true;
        }
    }
    const uint32_t fileArea[4] = {left, top, width, height};
    CameraFacts::placeVisibleArea(d, cam, found ? fileArea : nullptr);
    left = s.left_margin;
    top = s.top_margin;
    width = s.width;
    height = s.height;

    // Canon's sensors are R G / G B from the visible origin unless the
    // database says otherwise.
    unsigned filters = cam ? CameraFacts::bayerFilters(*cam, top, left) : 0;
    if (!filters)
        filters = 0xB4B4B4B4;
    d.idata.filters = filters;
    d.idata.colors = 3;
    ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, "RGBG");

    // The database's masked areas count only where they fit our raw area
    // and stay clear of the visible one: its conventions are another
    // decoder's.
    m_blackAreas.clear();
    if (cam)
        for (const CameraBlackArea &a : cam->blackAreas) {
            const int64_t from = a.offset, size = a.size;
            const int64_t first = a.vertical ? left : top, count = a.vertical ? width : height;
            const int64_t extent = a.vertical ? rw : rh;
            if (from < 0 || size <= 0 || from + size > extent || (from < first + count && from + size > first))
                continue;
            if (a.vertical)
                m_blackAreas.push_back({uint32_t(from), 0, uint32_t(size), rh});
            else
                m_blackAreas.push_back({0, uint32_t(from), rw, uint32_t(size)});
        }
    if (m_blackAreas.empty()) {
        if (left)
            m_blackAreas.push_back({0, 0, left, rh});
        if (top)
            m_blackAreas.push_back({left, 0, rw - left, top});
    }
    if (m_blackAreas.size() > 4)
        m_blackAreas.resize(4);
}

void Cr2Decoder::findThumbnail(kaldris_data_t &d)
{
    m_thumbOffset = m_thumbLength = 0;
    // The full-size preview of IFD0, else the first other JPEG of the chain.
    for (const auto &ifd : m_tree.chain) {
        uint64_t off = 0, len = 0;
        if (ifd->u(Compression, 0) == 6 && ifd->has(StripOffsets) && ifd.get() != m_rawIfd) {
            off = ifd->u(StripOffsets, 0);
            len = ifd->u(StripByteCounts, 0);
        } else if (ifd->has(JpegIfOffset)) {
            off = ifd->u(JpegIfOffset, 0);
            len = ifd->u(JpegIfByteCount, 0);
        }
        if (isJpegAt(m_file, off, len)) {
            m_thumbOffset = off;
            m_thumbLength = len;
            break;
        }
    }
    announceJpegThumbnail(d, m_thumbLength);
}

void Cr2Decoder::unpack(kaldris_data_t &d, std::vector<float> &)
{
    const size_t samples = size_t(m_rowSamples) * m_rows;
    const uint64_t avail = m_file.available(m_rawOffset, m_rawLength);
    if (!avail)
        fail(KALDRIS_TRUNCATED);
    SampleFrame stream = allocateSamples(samples, d.params.max_raw_memory_mb);
    SampleTarget t;
    t.dst = stream.get();
    t.pitch = m_rowSamples;
    t.rowSamples = m_rowSamples;
    t.rows = m_rows;
    t.keepSamples = m_rowSamples;
    t.keepRows = m_rows;
    const uint8_t *src = m_file.data() + m_rawOffset;
    auto decode = [&] {
        if (m_slices.width)
            return LosslessJpegDecoder::decode(src, size_t(avail), t, m_slices);
        return LosslessJpegDecoder::decode(src, size_t(avail), t);
    };
    int rc = decode();
    d.decode_errors = 0;
    if (rc == KALDRIS_DATA_ERROR) {
        // Broken data: decoded again over zeros, so what the stream does
        // not reach is 0 rather than what the buffer held.
        std::memset(stream.get(), 0, samples * sizeof(uint16_t));
        decode();
        d.decode_errors = 1;
    } else if (rc != KALDRIS_SUCCESS) {
        fail(rc);
    }

    if (!m_sraw) {
        d.rawdata.raw_alloc = d.rawdata.raw_image = stream.release();
        measureBlack(d);
        return;
    }
    const size_t pixels = size_t(m_width) * m_height;
    auto *out = static_cast<uint16_t(*)[3]>(allocateFrame(pixels * 6));
    if (!out)
        fail(KALDRIS_OUT_OF_MEMORY);
    convertSraw(d, stream.get(), out);
    d.rawdata.raw_alloc = out;
    d.rawdata.color3_image = out;
    d.color.black = 0;
    std::fill(d.color.cblack, d.color.cblack + 4104, 0u);
}

void Cr2Decoder::measureBlack(kaldris_data_t &d) const
{
    auto &c = d.color;
    std::fill(c.cblack, c.cblack + 4104, 0u);
    c.black = 0;
    unsigned level[4] = {0, 0, 0, 0};
    bool have = false;
    const char *from = "none";
    if (m_haveBlack) {
        from = "file";
        // R G G B words to colours R, G, B, G2.
        level[0] = m_black[0];
        level[1] = m_black[1];
        level[2] = m_black[3];
        level[3] = m_black[2];
        have = true;
    } else {
        const auto &s = d.sizes;
        const ushort *raw = d.rawdata.raw_image;
        const unsigned filters = d.idata.filters;
        double sum[4] = {0, 0, 0, 0};
        uint64_t count[4] = {0, 0, 0, 0};
        for (const Area &a : m_blackAreas)
            for (uint32_t y = a.y; y < a.y + a.h; ++y) {
                const ushort *row = raw + size_t(y) * s.raw_width;
                // The colours of this row, seen from the visible origin.
                const unsigned ry = (y + 16 - s.top_margin % 16) % 16;
                for (uint32_t x = a.x; x < a.x + a.w; ++x) {
                    const unsigned rx = (x + 2 - s.left_margin % 2) % 2;
                    const int colour = int(filters >> ((((ry << 1) & 14) | rx) << 1) & 3);
                    sum[colour] += row[x];
                    ++count[colour];
                }
            }
        for (int i = 0; i < 4; ++i)
            if (count[i]) {
                level[i] = unsigned(std::lround(sum[i] / double(count[i])));
                have = true;
                from = "masked area";
            }
        c.black_area_count = 0;
        if (have)
            for (const Area &a : m_blackAreas) {
                ushort *out = c.black_areas[c.black_area_count++];
                out[0] = ushort(a.x);
                out[1] = ushort(a.y);
                out[2] = ushort(a.w);
                out[3] = ushort(a.h);
            }
        // A colour the areas miss takes the mean of those they hold.
        if (have) {
            double all = 0, n = 0;
            for (int i = 0; i < 4; ++i)
                if (count[i]) {
                    all += sum[i];
                    n += double(count[i]);
                }
            for (int i = 0; i < 4; ++i)
                if (!count[i])
                    level[i] = unsigned(std::lround(all / n));
        }
    }
    if (!have && m_haveDbBlack) {
        for (unsigned &l : level)
            l = m_dbBlack;
        have = true;
        from = "database";
    }
    ExifFields::copyText(c.black_source, sizeof c.black_source, from);
    if (!have)
        return;
    const unsigned lo = *std::min_element(level, level + 4);
    c.black = lo;
    for (int i = 0; i < 4; ++i)
        c.cblack[i] = level[i] - lo;
}

void Cr2Decoder::convertSraw(kaldris_data_t &d, const uint16_t *stream, uint16_t (*out)[3]) const
{
    const int hY = m_jpeg.h[0], vY = m_jpeg.v[0], slots = m_jpeg.slots;
    const uint32_t mcus = m_rowSamples / uint32_t(slots), lines = m_rows;
    const int cbSlot = hY * vY;
    const unsigned flags = d.params.processing_flags;
    const bool ycc = flags & KALDRIS_PROC_SRAW_YCC;
    const bool interpolate = !(ycc && (flags & KALDRIS_PROC_SRAW_NO_INTERP));
    const double mid = double(srawMidpoint());
    double inv[3] = {1, 1, 1};
    if (m_haveBalance) {
        // The stream holds balanced colour; dividing by the as-shot levels
        // gives the camera's own, which the as-shot multipliers balance again.
        inv[0] = m_balance[1] / m_balance[0];
        inv[2] = m_balance[1] / m_balance[3];
    }
    auto clamp16 = [](double v) { return uint16_t(v <= 0 ? 0 : v >= 65535 ? 65535 : std::lround(v)); };
    const uint32_t w = m_width;
    parallelFor(m_height, d.params.threads, [&](size_t y) {
        const uint32_t my = uint32_t(y) / uint32_t(vY), fy = uint32_t(y) % uint32_t(vY);
        const uint32_t my1 = interpolate && fy ? std::min(my + 1, lines - 1) : my;
        const uint16_t *line0 = stream + size_t(my) * m_rowSamples, *line1 = stream + size_t(my1) * m_rowSamples;
        uint16_t(*o)[3] = out + y * w;
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t mx = x / uint32_t(hY), fx = x % uint32_t(hY);
            const uint32_t mx1 = interpolate && fx ? std::min(mx + 1, mcus - 1) : mx;
            const uint16_t *a = line0 + size_t(mx) * slots;
            const int yv = a[fy * hY + fx];
            int cb, cr;
            if (mx1 == mx && my1 == my) {
                cb = a[cbSlot];
                cr = a[cbSlot + 1];
            } else {
                const uint16_t *b = line0 + size_t(mx1) * slots, *c = line1 + size_t(mx) * slots,
                               *e = line1 + size_t(mx1) * slots;
                cb = (a[cbSlot] + b[cbSlot] + c[cbSlot] + e[cbSlot] + 2) >> 2;
                cr = (a[cbSlot + 1] + b[cbSlot + 1] + c[cbSlot + 1] + e[cbSlot + 1] + 2) >> 2;
            }
            if (ycc) {
                o[x][0] = uint16_t(yv);
                o[x][1] = uint16_t(cb);
                o[x][2] = uint16_t(cr);
                continue;
            }
            const double cbv = cb - mid, crv = cr - mid;
            o[x][0] = clamp16((yv + 1.402 * crv) * inv[0]);
            o[x][1] = clamp16(yv - 0.344136 * cbv - 0.714136 * crv);
            o[x][2] = clamp16((yv + 1.772 * cbv) * inv[2]);
        }
    });
}

}
