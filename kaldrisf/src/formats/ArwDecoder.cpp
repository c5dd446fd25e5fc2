#include "formats/ArwDecoder.h"

#include "camera/CameraDatabase.h"
#include "decompress/Arw1Decoder.h"
#include "decompress/LosslessJpegDecoder.h"
#include "decompress/Uncompressed.h"
#include "formats/CameraFacts.h"
#include "formats/ExifFields.h"
#include "formats/Sr2Private.h"
#include "io/FrameBuffer.h"
#include "io/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace kaldris {

namespace {

enum Tag : uint16_t {
    NewSubfileType = 254, ImageWidth = 256, ImageLength = 257, BitsPerSample = 258, Compression = 259,
    Make = 271, Model = 272, StripOffsets = 273, SamplesPerPixel = 277, StripByteCounts = 279, TileWidth = 322,
    TileLength = 323, TileOffsets = 324, TileByteCounts = 325, JpegIfOffset = 513, JpegIfByteCount = 514,
    CfaRepeatPatternDim = 0x828D, CfaPattern = 0x828E, DngVersion = 50706, BlackLevel = 50714,
    WhiteLevel = 50717,
    // Sony's own tags of the raw directory
    SonyToneCurve = 0x7010, SonyCropTopLeft = 0x74C7, SonyCropSize = 0x74C8,
};

enum : uint64_t { CompressionNone = 1, CompressionLosslessJpeg = 7, CompressionSonyArw = 32767 };

// The sum of a strip or tile list, or 0 when it does not add up.
uint64_t total(const std::vector<uint64_t> &v)
{
    uint64_t t = 0;
    for (uint64_t x : v) {
        if (x > (uint64_t(1) << 40))
            return 0;
        t += x;
    }
    return t;
}

std::vector<uint64_t> values(const TiffIfd &ifd, uint16_t tag, uint32_t max)
{
    const TiffEntry *e = ifd.get(tag);
    return e && e->isInteger() ? e->ints(max) : std::vector<uint64_t>();
}

Arw2Mode modeOf(unsigned flags)
{
    if (flags & KALDRIS_PROC_ARW2_BASE_ONLY)
        return Arw2Mode::BaseOnly;
    if (flags & KALDRIS_PROC_ARW2_DELTA_ONLY)
        return Arw2Mode::DeltaOnly;
    if (flags & KALDRIS_PROC_ARW2_DELTA_ZERO)
        return Arw2Mode::DeltaZero;
    if (flags & KALDRIS_PROC_ARW2_DELTA_STEP)
        return Arw2Mode::DeltaStep;
    return Arw2Mode::Standard;
}

}

bool ArwDecoder::recognises(const TiffTree &tree)
{
    const TiffIfd &ifd0 = *tree.chain.front();
    if (ifd0.has(DngVersion))
        return false;
    if (tree.makerNoteKind == MakerNoteKind::Sony)
        return true;
    std::string make = ExifFields::text(&ifd0, Make);
    for (char &c : make)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return make.rfind("sony", 0) == 0;
}

unsigned ArwDecoder::infoFlags() const
{
    return m_layout == Layout::Arw2 ? KALDRIS_DECODER_HASCURVE | KALDRIS_DECODER_SONYARW2 : 0u;
}

const TiffIfd *ArwDecoder::findRawIfd() const
{
    // The cameras put it in a SubIFD of IFD0; the largest directory of a raw
    // compression anywhere in the tree is taken.
    const TiffIfd *best = nullptr;
    uint64_t bestArea = 0;
    std::vector<const TiffIfd *> stack;
    for (const auto &ifd : m_tree.chain)
        stack.push_back(ifd.get());
    while (!stack.empty()) {
        const TiffIfd *ifd = stack.back();
        stack.pop_back();
        for (const auto &sub : ifd->subIfds)
            stack.push_back(sub.get());
        const uint64_t c = ifd->u(Compression, 0);
        if (c != CompressionNone && c != CompressionLosslessJpeg && c != CompressionSonyArw)
            continue;
        if (ifd->u(SamplesPerPixel, 1) != 1 || ifd->u(NewSubfileType, 0) & 1)
            continue;
        const uint64_t area = ifd->u(ImageWidth, 0) * ifd->u(ImageLength, 0);
        if (area > bestArea && (ifd->has(StripOffsets) || ifd->has(TileOffsets))) {
            best = ifd;
            bestArea = area;
        }
    }
    return best;
}

void ArwDecoder::readLayout(const TiffIfd &raw)
{
    const uint64_t w = raw.u(ImageWidth, 0), h = raw.u(ImageLength, 0);
    if (!w || !h || w > 65535 || h > 65535)
        fail(KALDRIS_CORRUPT);
    m_width = uint32_t(w);
    m_height = uint32_t(h);
    m_bits = uint32_t(std::clamp<uint64_t>(raw.u(BitsPerSample, 14), 8, 16));
    const uint64_t compression = raw.u(Compression, 0);
    const uint64_t pixels = w * h;
    if (compression == CompressionLosslessJpeg) {
        const uint64_t tw = raw.u(TileWidth, 0), th = raw.u(TileLength, 0);
        m_tileOffsets = values(raw, TileOffsets, 1u << 20);
        m_tileLengths = values(raw, TileByteCounts, 1u << 20);
        if (!tw || !th || tw > 65535 || th > 65535 || (tw & 1) || (th & 1))
            fail(KALDRIS_CORRUPT);
        m_tileWidth = uint32_t(tw);
        m_tileHeight = uint32_t(th);
        const uint64_t tiles = ((w + tw - 1) / tw) * ((h + th - 1) / th);
        if (m_tileOffsets.size() != tiles || m_tileLengths.size() != tiles)
            fail(KALDRIS_CORRUPT);
        if (!m_file.contains(m_tileOffsets.front(), 2))
            fail(KALDRIS_TRUNCATED);
        m_layout = Layout::LosslessTiles;
        return;
    }
    const std::vector<uint64_t> offsets = values(raw, StripOffsets, 1u << 16);
    const std::vector<uint64_t> lengths = values(raw, StripByteCounts, 1u << 16);
    if (offsets.empty() || lengths.size() != offsets.size())
        fail(KALDRIS_CORRUPT);
    m_offset = offsets.front();
    m_length = total(lengths);
    // More than one strip only as one run of bytes.
    for (size_t i = 1; i < offsets.size(); ++i)
        if (offsets[i] != offsets[i - 1] + lengths[i - 1])
            fail(KALDRIS_CORRUPT);
    if (!m_file.contains(m_offset, 1))
        fail(KALDRIS_TRUNCATED);
    // The byte count tells the layout, whatever the compression tag says.
    if (compression == CompressionSonyArw && m_length == pixels) {
        m_layout = Layout::Arw2;
        m_bits = 14;
    } else if (compression == CompressionSonyArw ? m_length == pixels * 2 : m_length >= pixels * 2) {
        m_layout = Layout::Words;
    } else if (compression == CompressionSonyArw) {
        // ARW 1: the stream codes eight rows more than the directory says,
        // and the A100's 3880-wide files one column more.
        m_layout = Layout::Arw1;
        m_bits = 12;
        m_width += m_width == 3880;
        m_height += 8;
        if (m_height > 65535)
            fail(KALDRIS_CORRUPT);
    } else {
        fail(KALDRIS_SONY_UNSUPPORTED);
    }
}

void ArwDecoder::open(const ByteStream &file, TiffTree tree, kaldris_data_t &d)
{
    m_file = file;
    m_file.setBigEndian(tree.bigEndian);
    m_tree = std::move(tree);
    const std::string model = ExifFields::text(m_tree.chain.front().get(), Model);
    for (const char *unread : unreadModels)
        if (model == unread)
            fail(KALDRIS_SONY_UNSUPPORTED);
    const TiffIfd *raw = findRawIfd();
    if (!raw)
        fail(KALDRIS_SONY_UNSUPPORTED);
    readLayout(*raw);
    d.idata.raw_count = 1;
    if (d.params.shot_select > 0)
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);

    ExifFields::read(m_tree, d);
    const char *format = m_layout == Layout::Arw2    ? "Sony ARW 2 (compressed)"
                         : m_layout == Layout::Arw1  ? "Sony ARW 1 (compressed)"
                         : m_layout == Layout::Words ? "Sony ARW (uncompressed)"
                                                     : "Sony ARW (lossless)";
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, format);

    for (int i = 0; i < 0x10000; ++i)
        d.color.curve[i] = ushort(i);
    if (m_layout == Layout::Arw2) {
        // Without the tag the curve's knots all sit at 0: one segment of 16 steps.
        uint16_t knots[4] = {0, 0, 0, 0};
        if (const TiffEntry *c = raw->get(SonyToneCurve); c && c->isInteger() && c->count() >= 4)
            for (uint32_t i = 0; i < 4; ++i)
                knots[i] = uint16_t(c->u(i));
        Arw2Decoder::buildCurve(knots, m_curve);
        for (uint32_t i = 0; i < 0x10000; ++i)
            d.color.curve[i] = m_curve[std::min<uint32_t>(i, Arw2Decoder::codes - 1)];
    }

    const CameraEntry *cam = CameraFacts::identify(d);
    readSizes(d, *raw, cam);
    readLevels(d, *raw, cam);
    findThumbnail(d, raw);

    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    const uint64_t frame = uint64_t(m_width) * m_height * 2;
    if (limit && frame > limit)
        fail(KALDRIS_TOO_BIG);
    // No layout spends less than a bit a sample: a frame the file's bytes
    // cannot nearly fill is not allocated (a cut file still opens).
    uint64_t held = m_file.available(m_offset, m_length);
    for (size_t i = 0; i < m_tileOffsets.size(); ++i)
        held += m_file.available(m_tileOffsets[i], m_tileLengths[i]);
    if (frame > held * 16 + (uint64_t(16) << 20))
        fail(KALDRIS_TOO_BIG);
}

void ArwDecoder::readSizes(kaldris_data_t &d, const TiffIfd &raw, const CameraEntry *cam)
{
    auto &s = d.sizes;
    s.raw_width = ushort(m_width);
    s.raw_height = ushort(m_height);
    s.raw_pitch = m_width * 2;
    // The camera's crop: origin (left, top) and size (width, height).
    uint32_t area[4] = {0, 0, m_width, m_height};
    const std::vector<uint64_t> origin = values(raw, SonyCropTopLeft, 2), size = values(raw, SonyCropSize, 2);
    const bool own = origin.size() == 2 && size.size() == 2 && size[0] && size[1]
                     && origin[0] + size[0] <= m_width && origin[1] + size[1] <= m_height;
    if (own) {
        for (int i = 0; i < 2; ++i) {
            area[i] = uint32_t(origin[size_t(i)]);
            area[2 + i] = uint32_t(size[size_t(i)]);
        }
    }
    CameraFacts::placeVisibleArea(d, cam, own ? area : nullptr);
    const uint32_t left = s.left_margin, top = s.top_margin;

    // The raw directory's own 2x2 pattern first, then the database, then
    // R G / G B from the raw origin, which nearly every body has.
    unsigned filters = 0;
    const TiffEntry *pattern = raw.get(CfaPattern);
    const std::vector<uint64_t> dim = values(raw, CfaRepeatPatternDim, 2);
    if (pattern && pattern->count() == 4 && (dim.empty() || (dim.size() == 2 && dim[0] == 2 && dim[1] == 2))) {
        CameraEntry e;
        e.cfaWidth = e.cfaHeight = 2;
        static const char letters[3] = {'R', 'G', 'B'};
        for (uint32_t i = 0; i < 4; ++i) {
            const uint64_t c = pattern->u(i);
            e.cfa.push_back(c < 3 ? letters[c] : '?');
        }
        filters = CameraFacts::bayerFilters(e, top, left);
    }
    if (!filters && cam)
        filters = CameraFacts::bayerFilters(*cam, top, left);
    if (!filters) {
        CameraEntry e;
        e.cfaWidth = e.cfaHeight = 2;
        e.cfa = {'R', 'G', 'G', 'B'};
        filters = CameraFacts::bayerFilters(e, top, left);
    }
    d.idata.filters = filters;
    d.idata.colors = 3;
    ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, "RGBG");
}

void ArwDecoder::readLevels(kaldris_data_t &d, const TiffIfd &raw, const CameraEntry *cam)
{
    const Sr2Levels sr2 = Sr2Private::read(m_file, m_tree);
    const int iso = int(std::lround(std::clamp<double>(d.other.iso_speed, 0, 1e6)));
    const CameraSensor *sensor = cam ? cam->sensorFor(iso) : nullptr;
    const unsigned depthWhite = m_layout == Layout::Arw2 ? m_curve[Arw2Decoder::codes - 1] : (1u << m_bits) - 1;
    // Bodies that keep 12-bit levels for 14-bit data.
    const unsigned sr2Scale = sr2.haveWhite && sr2.white <= 4095 && depthWhite > 4095 * 2 ? 4 : 1;

    const char *whiteFrom = "bit depth";
    m_white = depthWhite;
    if (const TiffEntry *wl = raw.get(WhiteLevel); wl && wl->isInteger() && wl->u(0) > 0 && wl->u(0) <= 65535) {
        m_white = unsigned(wl->u(0));
        whiteFrom = "file";
    } else if (sr2.haveWhite) {
        m_white = std::min(sr2.white * sr2Scale, 65535u);
        whiteFrom = "file";
    } else if (sensor && sensor->white > 0) {
        m_white = unsigned(std::min(sensor->white, 65535));
        whiteFrom = "database";
    }
    ExifFields::copyText(d.color.white_source, sizeof d.color.white_source, whiteFrom);

    const char *blackFrom = "none";
    std::fill(m_black, m_black + 4, 0u);
    const std::vector<uint64_t> bl = values(raw, BlackLevel, 4);
    if (bl.size() == 4 || bl.size() == 1) {
        // Four values by position in the 2x2 pattern from the raw origin.
        const auto &s = d.sizes;
        for (uint32_t i = 0; i < 4; ++i) {
            const unsigned ry = (i / 2 + 16 - s.top_margin % 16) % 16, rx = (i % 2 + 2 - s.left_margin % 2) % 2;
            const int colour = int(d.idata.filters >> ((((ry << 1) & 14) | rx) << 1) & 3);
            m_black[colour] = unsigned(std::min<uint64_t>(bl[bl.size() == 4 ? i : 0], 65535));
        }
        blackFrom = "file";
    } else if (sr2.haveBlack) {
        for (int c = 0; c < 4; ++c)
            m_black[c] = std::min(sr2.black[c] * sr2Scale, 65535u);
        blackFrom = "file";
    } else if (sensor) {
        std::fill(m_black, m_black + 4, unsigned(std::clamp(sensor->black, 0, 65535)));
        blackFrom = "database";
    }
    if (*std::max_element(m_black, m_black + 4) >= m_white) {
        std::fill(m_black, m_black + 4, 0u);
        blackFrom = "none";
    }
    ExifFields::copyText(d.color.black_source, sizeof d.color.black_source, blackFrom);
    setLevels(d, false);

    for (int c = 0; c < 4; ++c) {
        d.color.pre_mul[c] = 1;
        d.color.cam_mul[c] = sr2.haveBalance ? float(sr2.balance[c]) : 0.0f;
    }
}

void ArwDecoder::setLevels(kaldris_data_t &d, bool codeSpace) const
{
    // Levels of curve-expanded data moved back to the codes that reach them.
    auto code = [&](unsigned v) {
        if (!codeSpace)
            return v;
        return unsigned(std::lower_bound(m_curve, m_curve + Arw2Decoder::codes, uint16_t(std::min(v, 65535u)))
                        - m_curve);
    };
    auto &c = d.color;
    std::fill(c.cblack, c.cblack + 4104, 0u);
    unsigned level[4];
    for (int i = 0; i < 4; ++i)
        level[i] = code(m_black[i]);
    c.black = *std::min_element(level, level + 4);
    for (int i = 0; i < 4; ++i)
        c.cblack[i] = level[i] - c.black;
    c.maximum = codeSpace ? std::min(code(m_white), Arw2Decoder::codes - 1) : m_white;
}

void ArwDecoder::findThumbnail(kaldris_data_t &d, const TiffIfd *raw)
{
    m_thumbOffset = m_thumbLength = 0;
    // The largest JPEG of the IFD chain: the preview of IFD1 where the
    // camera wrote one, else IFD0's thumbnail.
    for (const auto &ifd : m_tree.chain) {
        if (ifd.get() == raw)
            continue;
        uint64_t off = 0, len = 0;
        if (ifd->has(JpegIfOffset)) {
            off = ifd->u(JpegIfOffset, 0);
            len = ifd->u(JpegIfByteCount, 0);
        } else if (ifd->u(Compression, 0) == 6 && ifd->has(StripOffsets)) {
            off = ifd->u(StripOffsets, 0);
            len = ifd->u(StripByteCounts, 0);
        }
        if (len > m_thumbLength && isJpegAt(m_file, off, len)) {
            m_thumbOffset = off;
            m_thumbLength = len;
        }
    }
    if (m_thumbLength) {
        d.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
        d.thumbnail.tlength = unsigned(std::min<uint64_t>(m_thumbLength, 0xFFFFFFFFu));
    }
}

void ArwDecoder::unpack(kaldris_data_t &d, std::vector<float> &)
{
    const size_t samples = size_t(m_width) * m_height;
    SampleFrame out = allocateSamples(samples, d.params.max_raw_memory_mb);
    d.decode_errors = 0;
    d.progress_flags &= ~unsigned(KALDRIS_STATE_CURVE_NOT_USED);
    switch (m_layout) {
    case Layout::Arw2: unpackArw2(d, out.get()); break;
    case Layout::Words: unpackWords(d, out.get()); break;
    case Layout::LosslessTiles: unpackTiles(d, out.get()); break;
    case Layout::Arw1: unpackArw1(d, out.get()); break;
    }
    d.rawdata.raw_alloc = d.rawdata.raw_image = out.release();
}

void ArwDecoder::unpackArw2(kaldris_data_t &d, uint16_t *out) const
{
    Arw2Options o;
    o.mode = modeOf(d.params.processing_flags);
    o.curve = d.color.curve;
    o.fileCurve = m_curve;
    o.threshold = unsigned(std::max(0, d.params.arw2_delta_threshold));
    o.maximum = m_white;
    // A caller that made the curve linear sees codes: the levels follow.
    bool linear = true;
    for (uint32_t i = 0; i < Arw2Decoder::codes && linear; ++i)
        linear = d.color.curve[i] == i;
    bool fileLinear = true;
    for (uint32_t i = 0; i < Arw2Decoder::codes && fileLinear; ++i)
        fileLinear = m_curve[i] == i;
    setLevels(d, linear && !fileLinear && o.mode != Arw2Mode::DeltaStep);
    if (o.mode == Arw2Mode::DeltaStep)
        d.progress_flags |= KALDRIS_STATE_CURVE_NOT_USED;

    const uint64_t avail = m_file.available(m_offset, m_length);
    const uint32_t rows = uint32_t(std::min<uint64_t>(m_height, avail / m_width));
    const uint8_t *src = m_file.data() + m_offset;
    const Arw2CurveRuns runs = Arw2Decoder::curveRuns(d.color.curve);
    o.runs = &runs;
    // Bands of rows: a row alone is too little work for a job.
    constexpr uint32_t band = 16;
    std::atomic<unsigned> broken{0};
    parallelFor((rows + band - 1) / band, d.params.threads, [&](size_t i) {
        const size_t y = i * band;
        const uint32_t n = std::min<uint32_t>(band, rows - uint32_t(y));
        const unsigned b = Arw2Decoder::decodeRows(src + y * m_width, out + y * m_width, m_width, n, o);
        if (b)
            broken.fetch_add(b, std::memory_order_relaxed);
    });
    if (rows < m_height) {
        std::fill(out + size_t(rows) * m_width, out + size_t(m_height) * m_width, uint16_t(0));
        ++d.decode_errors;
    }
    d.decode_errors += broken.load();
}

void ArwDecoder::unpackWords(kaldris_data_t &d, uint16_t *out) const
{
    // Bands of rows on every core; a file cut short gives zeros past its end.
    constexpr uint32_t band = 64;
    const uint64_t rowBytes = uint64_t(m_width) * 2;
    const uint64_t avail = m_file.available(m_offset, m_length);
    const uint8_t *src = m_file.data() + m_offset;
    std::atomic<unsigned> cut{0};
    parallelFor((m_height + band - 1) / band, d.params.threads, [&](size_t b) {
        const uint32_t y0 = uint32_t(b) * band, n = std::min(band, m_height - y0);
        const uint64_t from = y0 * rowBytes;
        SampleTarget t;
        t.dst = out + size_t(y0) * m_width;
        t.pitch = m_width;
        t.rowSamples = t.keepSamples = m_width;
        t.rows = t.keepRows = n;
        const size_t len = from < avail ? size_t(std::min<uint64_t>(avail - from, n * rowBytes)) : 0;
        if (Uncompressed::decode(src + (len ? from : 0), len, t, 16, m_file.bigEndian()) != KALDRIS_SUCCESS)
            cut.store(1);
    });
    d.decode_errors += cut.load();
}

void ArwDecoder::unpackTiles(kaldris_data_t &d, uint16_t *out) const
{
    const uint32_t across = (m_width + m_tileWidth - 1) / m_tileWidth;
    std::atomic<unsigned> failed{0};
    parallelFor(m_tileOffsets.size(), d.params.threads, [&](size_t i) {
        const uint32_t x0 = uint32_t(i % across) * m_tileWidth, y0 = uint32_t(i / across) * m_tileHeight;
        const uint32_t keepW = std::min(m_tileWidth, m_width - x0), keepH = std::min(m_tileHeight, m_height - y0);
        uint16_t *dst = out + size_t(y0) * m_width + x0;
        for (uint32_t y = 0; y < keepH; ++y)
            std::fill(dst + size_t(y) * m_width, dst + size_t(y) * m_width + keepW, uint16_t(0));
        const uint64_t avail = m_file.available(m_tileOffsets[i], m_tileLengths[i]);
        LosslessJpegHeader h{};
        const uint8_t *src = avail ? m_file.data() + m_tileOffsets[i] : nullptr;
        if (!src || LosslessJpegDecoder::readHeader(src, size_t(avail), h) != KALDRIS_SUCCESS) {
            failed.fetch_add(1);
            return;
        }
        int rc;
        if (h.components == 4 && uint32_t(h.width) * 2 == m_tileWidth && uint32_t(h.height) * 2 == m_tileHeight) {
            // Sony's tiles: each MCU is a 2x2 square of the mosaic, its
            // four samples the top row's two, then the bottom row's.
            std::vector<uint16_t> lines(size_t(m_tileWidth) * 2 * (m_tileHeight / 2), 0);
            SampleTarget t;
            t.dst = lines.data();
            t.pitch = t.rowSamples = t.keepSamples = m_tileWidth * 2;
            t.rows = t.keepRows = m_tileHeight / 2;
            rc = LosslessJpegDecoder::decode(src, size_t(avail), t);
            for (uint32_t y = 0; y < keepH; ++y) {
                const uint16_t *line = lines.data() + size_t(y / 2) * m_tileWidth * 2 + (y & 1) * 2;
                uint16_t *row = dst + size_t(y) * m_width;
                for (uint32_t x = 0; x < keepW; ++x)
                    row[x] = line[(x / 2) * 4 + (x & 1)];
            }
        } else {
            // A tile coded as its own rows, as DNG tiles are.
            SampleTarget t;
            t.dst = dst;
            t.pitch = m_width;
            t.rowSamples = m_tileWidth;
            t.rows = m_tileHeight;
            t.keepSamples = keepW;
            t.keepRows = keepH;
            rc = LosslessJpegDecoder::decode(src, size_t(avail), t);
        }
        if (rc != KALDRIS_SUCCESS)
            failed.fetch_add(1);
    });
    d.decode_errors += failed.load();
}

void ArwDecoder::unpackArw1(kaldris_data_t &d, uint16_t *out) const
{
    // One stream through every column: no split point, so one core.
    const uint64_t avail = m_file.available(m_offset, m_length);
    d.decode_errors += Arw1Decoder::decode(avail ? m_file.data() + m_offset : nullptr, size_t(avail), out, m_width,
                                           m_width, m_height);
}

}
