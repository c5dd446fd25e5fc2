#include "formats/DngDecoder.h"

#include "decompress/Uncompressed.h"
#include "formats/CameraFacts.h"
#include "formats/ExifFields.h"
#include "io/FrameBuffer.h"
#include "io/ParallelFor.h"

#include "decompress/DeflateFloatDecoder.h"
#include "decompress/LosslessJpegDecoder.h"
#include "decompress/LossyJpegDecoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <numeric>

namespace kaldris {

namespace {

enum Tag : uint16_t {
    NewSubfileType = 254, ImageWidth = 256, ImageLength = 257, BitsPerSample = 258, Compression = 259,
    Photometric = 262, ImageDescription = 270, Make = 271, Model = 272, StripOffsets = 273, Orientation = 274,
    SamplesPerPixel = 277, RowsPerStrip = 278, StripByteCounts = 279, PlanarConfiguration = 284,
    DateTime = 306, Artist = 315, Predictor = 317, TileWidth = 322, TileLength = 323, TileOffsets = 324,
    TileByteCounts = 325, SampleFormat = 339, JpegIfOffset = 513, JpegIfByteCount = 514,
    CfaRepeatPatternDim = 33421, CfaPattern = 33422, ExposureTime = 33434, FNumber = 33437,
    IsoSpeed = 34855, DateTimeOriginal = 36867, FocalLength = 37386,
    DngVersion = 50706, UniqueCameraModel = 50708, CfaPlaneColor = 50710, CfaLayout = 50711,
    LinearizationTable = 50712, BlackLevelRepeatDim = 50713, BlackLevel = 50714, BlackLevelDeltaH = 50715,
    BlackLevelDeltaV = 50716, WhiteLevel = 50717, DefaultCropOrigin = 50719, DefaultCropSize = 50720,
    ColorMatrix1 = 50721, ColorMatrix2 = 50722, CameraCalibration1 = 50723, CameraCalibration2 = 50724,
    AnalogBalance = 50727, AsShotNeutral = 50728, AsShotWhiteXY = 50729, BaselineExposure = 50730,
    LinearResponseLimit = 50734, CalibrationIlluminant1 = 50778, CalibrationIlluminant2 = 50779,
    ActiveArea = 50829, ForwardMatrix1 = 50964, ForwardMatrix2 = 50965,
    OpcodeList1 = 51008, OpcodeList2 = 51009, OpcodeList3 = 51022,
};

constexpr uint32_t maxDimension = 65535;
// Deflate and lossy JPEG cannot expand beyond this many samples a byte
// (deflate's limit is about 1032 bytes a byte); lossless JPEG spends at least
// one bit a sample. A file claiming more is refused before anything is allocated.
constexpr uint64_t maxSamplesPerByte = 1100;
constexpr uint64_t maxLosslessJpegSamplesPerByte = 8;
// Frames smaller than this are not worth refusing, whatever their bytes.
constexpr uint64_t sampleSlack = 4096;

long lround0(double v) { return std::isfinite(v) ? std::lround(v) : 0; }

// What a JPEG stream is: its first start-of-frame marker (0xC0.. 0xCF) and size.
struct JpegInfo {
    int sof = -1;
    uint32_t width = 0, height = 0;
    int components = 0;
};

JpegInfo sniffJpeg(ByteStream s, uint64_t offset, uint64_t length)
{
    s.setBigEndian(true);   // JPEG's own order, whatever the TIFF's
    JpegInfo info;
    length = s.available(offset, length);
    if (length < 4 || s.u8(offset) != 0xFF || s.u8(offset + 1) != 0xD8)
        return info;
    uint64_t p = offset + 2, end = offset + length;
    for (int guard = 0; guard < 1000 && p + 4 <= end; ++guard) {
        if (s.u8(p) != 0xFF) {
            ++p;
            continue;
        }
        uint8_t m = s.u8(p + 1);
        if (m == 0xFF) {
            ++p;
            continue;
        }
        if (m == 0xD8 || m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {
            p += 2;
            continue;
        }
        if (m == 0xD9 || m == 0xDA)
            return info;
        uint32_t len = s.u16(p + 2);
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            if (p + 10 <= end) {
                info.sof = m - 0xC0;
                info.height = s.u16(p + 5);
                info.width = s.u16(p + 7);
                info.components = s.u8(p + 9);
            }
            return info;
        }
        p += 2 + len;
    }
    return info;
}

// XYZ to camera neutral through the DNG colour chain (AnalogBalance x
// CameraCalibration x ColorMatrix), as multipliers scaled so that colour 1 is 1.
bool multipliersFor(const kaldris_dng_color_t &c, const float *ab, int planes, const double xyz[3], float mul[4])
{
    if (!c.has_colormatrix || planes < 1 || planes > 4)
        return false;
    double cam[4] = {0, 0, 0, 0};
    for (int i = 0; i < planes; ++i)
        for (int j = 0; j < 3; ++j)
            cam[i] += c.colormatrix[i][j] * xyz[j];
    if (c.has_calibration) {
        double t[4] = {0, 0, 0, 0};
        for (int i = 0; i < planes; ++i)
            for (int j = 0; j < planes; ++j)
                t[i] += c.calibration[i][j] * cam[j];
        std::memcpy(cam, t, sizeof t);
    }
    for (int i = 0; i < planes; ++i) {
        cam[i] *= ab[i] > 0 ? ab[i] : 1.0;
        if (!(cam[i] > 1e-9))
            return false;
    }
    int ref = planes > 1 ? 1 : 0;
    for (int i = 0; i < planes; ++i)
        mul[i] = float(cam[ref] / cam[i]);
    return true;
}

void clearTarget(const SampleTarget &t)
{
    for (uint32_t r = 0; r < t.keepRows; ++r)
        std::memset(t.dst + r * t.pitch, 0, size_t(t.keepSamples) * sizeof(uint16_t));
}

}

uint64_t DngDecoder::unpackedBytes() const
{
    uint64_t samples = uint64_t(m_f.width) * m_f.height * m_f.spp;
    return samples * 2 + (m_f.floatData ? samples * 4 : 0);
}

void DngDecoder::collectFrames(const TiffIfd &ifd, unsigned flags)
{
    uint64_t nst = ifd.u(NewSubfileType, 0);
    uint64_t photometric = ifd.u(Photometric, 0);
    bool hasData = ifd.has(StripOffsets) || ifd.has(TileOffsets);
    if (hasData) {
        if (nst == 0 && (photometric == 32803 || photometric == 34892))
            m_frames.push_back({&ifd, Raw});
        else if (nst == 0x10 && (flags & KALDRIS_PROC_DNG_ENHANCED))
            m_frames.push_back({&ifd, Enhanced});
        else if (nst == 1 && (flags & KALDRIS_PROC_DNG_PREVIEWS))
            m_frames.push_back({&ifd, Preview});
    }
    for (const auto &sub : ifd.subIfds)
        collectFrames(*sub, flags);
}

void DngDecoder::open(const ByteStream &file, TiffTree tree, kaldris_data_t &d)
{
    m_file = file;
    m_tree = std::move(tree);
    m_file.setBigEndian(m_tree.bigEndian);
    const TiffIfd &ifd0 = *m_tree.chain.front();
    if (!ifd0.has(DngVersion))
        fail(KALDRIS_FILE_UNSUPPORTED);
    for (const auto &ifd : m_tree.chain)
        collectFrames(*ifd, d.params.processing_flags);
    if (m_frames.empty())
        fail(KALDRIS_CORRUPT);
    d.idata.raw_count = unsigned(m_frames.size());
    if (d.params.shot_select >= m_frames.size())
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);
    const FrameIfd &sel = m_frames[d.params.shot_select];
    readFrame(*sel.ifd, sel.kind);

    readIdentity(d);
    readSizes(d);
    readCfa(d);
    readLevels(d);
    readColour(d);
    findThumbnail(d);

    const uint16_t opcodeTags[3] = {OpcodeList1, OpcodeList2, OpcodeList3};
    for (int i = 0; i < 3; ++i) {
        const TiffEntry *e = m_f.ifd->get(opcodeTags[i]);
        if (e && TiffEntry::typeSize(e->type()) == 1)
            m_opcodes[i] = DngOpcodeList(std::vector<uint8_t>(e->bytes(), e->bytes() + e->count()), i + 1);
    }
    resetNotes(d);

    uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && unpackedBytes() > limit)
        fail(KALDRIS_TOO_BIG);
}

void DngDecoder::readFrame(const TiffIfd &ifd, Kind kind)
{
    Frame f;
    f.ifd = &ifd;
    f.kind = kind;
    uint64_t w = ifd.u(ImageWidth, 0), h = ifd.u(ImageLength, 0);
    if (!w || !h)
        fail(KALDRIS_CORRUPT);
    if (w > maxDimension || h > maxDimension)
        fail(KALDRIS_TOO_BIG);
    f.width = uint32_t(w);
    f.height = uint32_t(h);
    uint64_t spp = ifd.u(SamplesPerPixel, 1);
    if (spp < 1 || spp > 4)
        fail(KALDRIS_FILE_UNSUPPORTED);
    f.spp = uint32_t(spp);
    uint64_t bits = ifd.u(BitsPerSample, 1);
    if (const TiffEntry *e = ifd.get(BitsPerSample))
        for (uint32_t i = 1; i < std::min<uint32_t>(e->count(), f.spp); ++i)
            if (e->u(i) != bits)
                fail(KALDRIS_FILE_UNSUPPORTED);
    f.bits = uint32_t(std::min<uint64_t>(bits, 64));
    f.compression = uint32_t(ifd.u(Compression, 1));
    f.photometric = uint32_t(ifd.u(Photometric, 0));
    f.predictor = uint32_t(std::min<uint64_t>(ifd.u(Predictor, 1), 0xFFFFFFFF));
    f.floatData = ifd.u(SampleFormat, 1) == 3;
    if (f.spp > 1 && ifd.u(PlanarConfiguration, 1) != 1)
        fail(KALDRIS_UNSUPPORTED_COMPRESSION);

    const TiffEntry *offsets, *counts;
    if (ifd.has(TileOffsets)) {
        uint64_t tw = ifd.u(TileWidth, 0), tl = ifd.u(TileLength, 0);
        if (!tw || !tl || tw > maxDimension + 1 || tl > maxDimension + 1)
            fail(KALDRIS_CORRUPT);
        f.tiled = true;
        f.blockWidth = uint32_t(tw);
        f.blockHeight = uint32_t(tl);
        offsets = ifd.get(TileOffsets);
        counts = ifd.get(TileByteCounts);
    } else {
        uint64_t rps = ifd.u(RowsPerStrip, f.height);
        if (!rps || rps > f.height)
            rps = f.height;
        f.blockWidth = f.width;
        f.blockHeight = uint32_t(rps);
        offsets = ifd.get(StripOffsets);
        counts = ifd.get(StripByteCounts);
    }
    f.across = (f.width + f.blockWidth - 1) / f.blockWidth;
    f.down = (f.height + f.blockHeight - 1) / f.blockHeight;
    uint64_t n = uint64_t(f.across) * f.down;
    if (!offsets || !counts || offsets->count() != n || counts->count() != n || !offsets->isInteger()
        || !counts->isInteger())
        fail(KALDRIS_CORRUPT);
    f.blocks.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        f.blocks[i].offset = offsets->u(i);
        f.blocks[i].length = counts->u(i);
    }

    // Supported combinations, refused now rather than at unpack.
    switch (f.compression) {
    case 1:
        if (f.floatData || !Uncompressed::supportsBits(f.bits))
            fail(KALDRIS_UNSUPPORTED_COMPRESSION);
        break;
    case 7: {
        if (f.floatData || f.bits < 2 || f.bits > 16)
            fail(KALDRIS_UNSUPPORTED_COMPRESSION);
        JpegInfo j = sniffJpeg(m_file, f.blocks[0].offset, f.blocks[0].length);
        f.lossyJpeg = j.sof == 0 || j.sof == 1;
        if (f.lossyJpeg && f.bits != 8)
            fail(KALDRIS_UNSUPPORTED_COMPRESSION);
        break;
    }
    case 6:
    case 34892:
        if (f.floatData || f.bits != 8)
            fail(KALDRIS_UNSUPPORTED_COMPRESSION);
        f.lossyJpeg = true;
        break;
    case 8:
        if (!f.floatData || (f.bits != 16 && f.bits != 24 && f.bits != 32))
            fail(KALDRIS_UNSUPPORTED_COMPRESSION);
        break;
    default:
        fail(KALDRIS_UNSUPPORTED_COMPRESSION);
    }
    if (f.floatData && f.compression != 8)
        fail(KALDRIS_UNSUPPORTED_COMPRESSION);
    if (f.photometric == 32803 && f.spp != 1)
        fail(KALDRIS_UNSUPPORTED_CFA);
    checkDataHeld(f);
    m_f = std::move(f);
}

void DngDecoder::checkDataHeld(const Frame &f) const
{
    // Strips or tiles may all point at the same bytes, so each byte of the
    // file counts once: the union of the blocks' ranges.
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    ranges.reserve(f.blocks.size());
    uint64_t claimed = 0;
    bool cut = false;
    for (const Block &b : f.blocks) {
        const uint64_t avail = m_file.available(b.offset, b.length);
        cut |= avail < b.length;
        claimed += avail;
        if (avail)
            ranges.emplace_back(b.offset, b.offset + avail);
    }
    std::sort(ranges.begin(), ranges.end());
    uint64_t held = 0, end = 0;
    for (const auto &[from, to] : ranges) {
        if (to <= end)
            continue;
        held += to - std::max(from, end);
        end = to;
    }

    const uint64_t samples = uint64_t(f.width) * f.height * f.spp;
    uint64_t reach;
    if (f.compression == 1)
        reach = held * 8 / f.bits;
    else if (f.compression == 7 && !f.lossyJpeg)
        reach = held * maxLosslessJpegSamplesPerByte;
    else
        reach = held * maxSamplesPerByte;
    if (samples <= reach + sampleSlack)
        return;
    // Shared bytes claiming a frame the file cannot hold: refused like any
    // frame too large to load.
    if (claimed > held)
        fail(KALDRIS_TOO_BIG);
    // A cut uncompressed file is shown as far as its rows go, unless most of
    // them are missing.
    if (f.compression == 1 && samples <= 2 * reach + sampleSlack)
        return;
    fail(held && !cut ? KALDRIS_CORRUPT : KALDRIS_TRUNCATED);
}

void DngDecoder::readIdentity(kaldris_data_t &d) const
{
    ExifFields::read(m_tree, d);
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, "DNG");
    ExifFields::copyText(d.color.black_source, sizeof d.color.black_source, "file");
    CameraFacts::identify(d, "dng");
    const TiffIfd &ifd0 = *m_tree.chain.front();
    ExifFields::copyText(d.idata.unique_model, sizeof d.idata.unique_model, ExifFields::text(&ifd0, UniqueCameraModel));
    if (const TiffEntry *v = ifd0.get(DngVersion)) {
        unsigned ver = 0;
        for (uint32_t i = 0; i < 4; ++i)
            ver = ver << 8 | unsigned(i < v->count() ? v->u(i) & 0xFF : 0);
        d.idata.dng_version = ver;
    }
}

void DngDecoder::readSizes(kaldris_data_t &d)
{
    const TiffIfd &ifd = *m_f.ifd;
    uint32_t top = 0, left = 0, bottom = m_f.height, right = m_f.width;
    if (const TiffEntry *a = ifd.get(ActiveArea); a && a->count() == 4) {
        uint64_t t = a->u(0), l = a->u(1), b = a->u(2), r = a->u(3);
        if (t < b && l < r && b <= m_f.height && r <= m_f.width) {
            top = uint32_t(t);
            left = uint32_t(l);
            bottom = uint32_t(b);
            right = uint32_t(r);
        }
    }
    m_activeTop = top;
    m_activeLeft = left;
    m_activeHeight = bottom - top;
    m_activeWidth = right - left;
    if (d.params.processing_flags & KALDRIS_PROC_DNG_DEFAULT_CROP) {
        const TiffEntry *o = ifd.get(DefaultCropOrigin), *s = ifd.get(DefaultCropSize);
        if (o && s && o->count() == 2 && s->count() == 2) {
            double x = o->f(0), y = o->f(1), w = s->f(0), h = s->f(1);
            long cx = lround0(x), cy = lround0(y), cw = lround0(w), ch = lround0(h);
            if (cx >= 0 && cy >= 0 && cw > 0 && ch > 0 && uint64_t(left) + cx < right && uint64_t(top) + cy < bottom) {
                left += uint32_t(cx);
                top += uint32_t(cy);
                right = uint32_t(std::min<uint64_t>(right, uint64_t(left) + cw));
                bottom = uint32_t(std::min<uint64_t>(bottom, uint64_t(top) + ch));
            }
        }
    }
    d.sizes.raw_width = ushort(m_f.width);
    d.sizes.raw_height = ushort(m_f.height);
    d.sizes.top_margin = ushort(top);
    d.sizes.left_margin = ushort(left);
    d.sizes.width = ushort(right - left);
    d.sizes.height = ushort(bottom - top);
    d.sizes.iwidth = d.sizes.width;
    d.sizes.iheight = d.sizes.height;
    d.sizes.raw_pitch = m_f.width * 2 * m_f.spp;
}

void DngDecoder::readCfa(kaldris_data_t &d) const
{
    const TiffIfd &ifd = *m_f.ifd;
    d.idata.filters = 0;
    if (m_f.photometric != 32803) {
        d.idata.colors = int(m_f.spp == 2 ? 1 : m_f.spp);
        if (m_f.spp == 1)
            ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, "W");
        else if (m_f.spp == 3)
            ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, "RGB");
        else
            ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, "RGBG");
        if (m_f.spp == 2)
            fail(KALDRIS_FILE_UNSUPPORTED);
        return;
    }
    if (ifd.u(CfaLayout, 1) != 1)
        fail(KALDRIS_UNSUPPORTED_CFA);
    const TiffEntry *dim = ifd.get(CfaRepeatPatternDim), *pat = ifd.get(CfaPattern);
    if (!dim || dim->count() != 2 || !pat)
        fail(KALDRIS_UNSUPPORTED_CFA);
    uint64_t rows = dim->u(0), cols = dim->u(1);
    if (!rows || !cols || rows > 16 || cols > 16 || pat->count() != rows * cols)
        fail(KALDRIS_UNSUPPORTED_CFA);
    std::vector<uint8_t> planeColor{0, 1, 2};
    if (const TiffEntry *pc = ifd.get(CfaPlaneColor)) {
        if (pc->count() < 1 || pc->count() > 4)
            fail(KALDRIS_UNSUPPORTED_CFA);
        planeColor.clear();
        for (uint32_t i = 0; i < pc->count(); ++i)
            planeColor.push_back(uint8_t(std::min<uint64_t>(pc->u(i), 255)));
    }
    const int planes = int(planeColor.size());
    std::vector<int> colour(rows * cols);
    for (uint32_t i = 0; i < rows * cols; ++i) {
        uint64_t v = pat->u(i);
        if (v >= uint64_t(planes))
            fail(KALDRIS_UNSUPPORTED_CFA);
        colour[i] = int(v);
    }
    static const char letters[] = "RGBCMYW";
    char desc[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < planes; ++i)
        desc[i] = planeColor[i] < 7 ? letters[planeColor[i]] : '?';
    d.idata.colors = planes;
    const bool rgb = planes == 3 && planeColor[0] == 0 && planeColor[1] == 1 && planeColor[2] == 2;
    const bool sixBySix = rows == 6 && cols == 6;
    if (rgb && !sixBySix) {
        // The green that shares its rows with blue rather than red is the
        // second green, colour 3.
        for (uint64_t r = 0; r < rows; ++r) {
            bool hasRed = false;
            for (uint64_t c = 0; c < cols; ++c)
                hasRed |= colour[r * cols + c] == 0;
            if (!hasRed)
                for (uint64_t c = 0; c < cols; ++c)
                    if (colour[r * cols + c] == 1)
                        colour[r * cols + c] = 3;
        }
    }
    if (rgb)
        std::memcpy(desc, "RGBG", 4);
    std::memcpy(d.idata.cdesc, desc, 5);

    // The DNG pattern starts at the ActiveArea origin; ours at the visible origin.
    const uint32_t dy = d.sizes.top_margin - m_activeTop, dx = d.sizes.left_margin - m_activeLeft;
    if (sixBySix) {
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                d.idata.xtrans[r][c] = char(colour[((r + dy) % 6) * 6 + (c + dx) % 6]);
        d.idata.filters = 9;
        return;
    }
    if (cols > 2 || 8 % rows != 0)
        fail(KALDRIS_UNSUPPORTED_CFA);
    unsigned filters = 0;
    for (uint32_t r = 0; r < 8; ++r)
        for (uint32_t c = 0; c < 2; ++c)
            filters |= unsigned(colour[((r + dy) % rows) * cols + (c + dx) % cols]) << (((r << 1) | c) << 1);
    // A word below 1000 would read as "no pattern" or "6x6".
    if (filters < 1000)
        fail(KALDRIS_UNSUPPORTED_CFA);
    d.idata.filters = filters;
}

void DngDecoder::readLevels(kaldris_data_t &d)
{
    const TiffIfd &ifd = *m_f.ifd;
    // Linearization table: the tone curve, applied at unpack.
    for (int i = 0; i < 0x10000; ++i)
        d.color.curve[i] = ushort(i);
    m_hasCurve = false;
    if (const TiffEntry *lt = ifd.get(LinearizationTable); lt && lt->count() > 0 && lt->isInteger()) {
        uint32_t n = std::min<uint32_t>(lt->count(), 0x10000);
        for (uint32_t i = 0; i < n; ++i)
            d.color.curve[i] = ushort(std::min<uint64_t>(lt->u(i), 0xFFFF));
        for (uint32_t i = n; i < 0x10000; ++i)
            d.color.curve[i] = d.color.curve[n - 1];
        m_hasCurve = true;
    }

    double white = 0;
    if (const TiffEntry *wl = ifd.get(WhiteLevel)) {
        for (uint32_t i = 0; i < std::min<uint32_t>(wl->count(), 4); ++i)
            white = std::max(white, wl->f(i));
    }
    ExifFields::copyText(d.color.white_source, sizeof d.color.white_source, white > 0 ? "file" : "bit depth");
    if (!(white > 0)) {
        if (m_f.floatData)
            white = 1.0;
        else if (m_hasCurve)
            white = *std::max_element(d.color.curve, d.color.curve + 0x10000);
        else
            white = double((1u << std::min(m_f.bits, 16u)) - 1);
    }
    m_white = white;
    m_linearLimit = ifd.f(LinearResponseLimit, 0);
    if (!(m_linearLimit > 0 && m_linearLimit <= 1))
        m_linearLimit = 0;

    // Black level pattern; the row and column deltas are kept apart.
    m_black.clear();
    m_blackRows = m_blackCols = 0;
    m_blackPerSample = m_f.spp > 1;
    uint64_t rows = 1, cols = 1;
    if (const TiffEntry *dim = ifd.get(BlackLevelRepeatDim); dim && dim->count() == 2) {
        rows = dim->u(0);
        cols = dim->u(1);
        // Each side checked first: 64-bit values (LONG8, DOUBLE) could wrap the product.
        if (!rows || !cols || rows > 4096 || cols > 4096 || rows * cols > 4096)
            rows = cols = 1;
    }
    std::vector<double> values;
    if (const TiffEntry *bl = ifd.get(BlackLevel); bl && bl->count() > 0)
        values = bl->reals(uint32_t(std::min<uint64_t>(rows * cols * m_f.spp, 1u << 16)));
    // Row and column deltas count from the active area's corner; a value
    // that is no finite level counts as 0.
    double delta = 0;
    m_rowDeltaFile.clear();
    m_colDeltaFile.clear();
    for (uint16_t tag : {BlackLevelDeltaH, BlackLevelDeltaV}) {
        const TiffEntry *e = ifd.get(tag);
        if (!e || e->count() == 0)
            continue;
        const bool perColumn = tag == BlackLevelDeltaH;
        std::vector<double> &v = perColumn ? m_colDeltaFile : m_rowDeltaFile;
        const uint32_t size = perColumn ? m_f.width : m_f.height, from = perColumn ? m_activeLeft : m_activeTop;
        const uint32_t n = std::min(e->count(), perColumn ? m_activeWidth : m_activeHeight);
        v.assign(size, 0.0);
        double sum = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const double x = e->f(i);
            v[from + i] = std::isfinite(x) ? std::clamp(x, -65535.0, 65535.0) : 0.0;
            sum += v[from + i];
        }
        delta += n ? sum / n : 0.0;
    }
    d.color.black_delta_avg = float(delta);
    auto value = [&](uint64_t i) { return values.empty() ? 0.0 : values[i % values.size()]; };
    if (m_blackPerSample) {
        // One level a sample: the average over the repeat pattern.
        for (uint32_t s = 0; s < m_f.spp; ++s) {
            double sum = 0;
            for (uint64_t p = 0; p < rows * cols; ++p)
                sum += value(p * m_f.spp + s);
            m_black.push_back(sum / double(rows * cols));
        }
    } else {
        m_blackRows = uint32_t(rows);
        m_blackCols = uint32_t(cols);
        m_black.resize(rows * cols);
        // Re-phased from the ActiveArea origin to raw coordinates.
        for (uint64_t r = 0; r < rows; ++r)
            for (uint64_t c = 0; c < cols; ++c) {
                uint64_t sr = (r + rows - m_activeTop % rows) % rows, sc = (c + cols - m_activeLeft % cols) % cols;
                m_black[r * cols + c] = value(sr * cols + sc);
            }
    }
    applyLevels(d, 1.0);
}

void DngDecoder::applyLevels(kaldris_data_t &d, double scale, double dataMax) const
{
    auto level = [&](double v) { return unsigned(std::clamp<double>(std::round(v * scale), 0, 65535)); };
    std::fill(d.color.cblack, d.color.cblack + 4104, 0u);
    d.color.black = 0;
    if (m_blackPerSample) {
        unsigned lo = 65535;
        for (double v : m_black)
            lo = std::min(lo, level(v));
        d.color.black = lo;
        for (size_t s = 0; s < m_black.size() && s < 4; ++s)
            d.color.cblack[s] = level(m_black[s]) - lo;
    } else if (!m_black.empty()) {
        unsigned lo = 65535;
        for (double v : m_black)
            lo = std::min(lo, level(v));
        d.color.black = lo;
        if (m_blackRows * m_blackCols > 1) {
            d.color.cblack[4] = m_blackRows;
            d.color.cblack[5] = m_blackCols;
            for (size_t i = 0; i < m_black.size(); ++i)
                d.color.cblack[6 + i] = level(m_black[i]) - lo;
        }
    }
    auto deltas = [&](const std::vector<double> &file, std::vector<float> &at, const float *&ptr, unsigned &count) {
        at.resize(file.size());
        for (size_t i = 0; i < file.size(); ++i)
            at[i] = float(file[i] * scale);
        ptr = at.empty() ? nullptr : at.data();
        count = unsigned(at.size());
    };
    deltas(m_rowDeltaFile, m_rowDelta, d.color.black_row_delta, d.color.black_row_delta_count);
    deltas(m_colDeltaFile, m_colDelta, d.color.black_col_delta, d.color.black_col_delta_count);
    d.color.maximum = std::max(1u, level(dataMax >= 0 ? dataMax : m_white));
    for (int c = 0; c < 4; ++c)
        d.color.linear_max[c] = m_linearLimit > 0
            ? unsigned(std::lround(d.color.black + m_linearLimit * (double(d.color.maximum) - d.color.black)))
            : 0;
}

void DngDecoder::readColour(kaldris_data_t &d) const
{
    const TiffIfd &ifd0 = *m_tree.chain.front();
    const int planes = m_f.photometric == 32803 ? d.idata.colors : int(m_f.spp);
    auto &col = d.color;
    for (int c = 0; c < 4; ++c)
        col.analog_balance[c] = 1;
    if (const TiffEntry *ab = ifd0.get(AnalogBalance); ab && ab->count() == uint32_t(planes))
        for (int c = 0; c < planes; ++c)
            col.analog_balance[c] = float(ab->f(c));
    const uint16_t cm[2] = {ColorMatrix1, ColorMatrix2}, cc[2] = {CameraCalibration1, CameraCalibration2},
                   fm[2] = {ForwardMatrix1, ForwardMatrix2}, il[2] = {CalibrationIlluminant1, CalibrationIlluminant2};
    for (int k = 0; k < 2; ++k) {
        kaldris_dng_color_t &dc = col.dng_color[k];
        dc.illuminant = int(std::min<uint64_t>(ifd0.u(il[k], 0), 255));
        if (const TiffEntry *e = ifd0.get(cm[k]); e && e->count() == uint32_t(planes * 3)) {
            for (int i = 0; i < planes; ++i)
                for (int j = 0; j < 3; ++j)
                    dc.colormatrix[i][j] = float(e->f(i * 3 + j));
            dc.has_colormatrix = 1;
        }
        if (const TiffEntry *e = ifd0.get(cc[k]); e && e->count() == uint32_t(planes * planes)) {
            for (int i = 0; i < planes; ++i)
                for (int j = 0; j < planes; ++j)
                    dc.calibration[i][j] = float(e->f(i * planes + j));
            dc.has_calibration = 1;
        }
        if (const TiffEntry *e = ifd0.get(fm[k]); e && e->count() == uint32_t(planes * 3)) {
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < planes; ++j)
                    dc.forwardmatrix[i][j] = float(e->f(i * planes + j));
            dc.has_forwardmatrix = 1;
        }
    }
    col.baseline_exposure = float(ifd0.f(BaselineExposure, 0));

    const bool splitGreen = d.idata.filters >= 1000 && std::strcmp(d.idata.cdesc, "RGBG") == 0 && planes == 3;
    auto finish = [&](float mul[4]) {
        if (splitGreen || (planes == 3))
            mul[3] = mul[1];
    };
    // Daylight: the matrix calibrated nearest to D65.
    const kaldris_dng_color_t *day = nullptr;
    for (int k = 0; k < 2; ++k) {
        const auto &dc = col.dng_color[k];
        if (!dc.has_colormatrix)
            continue;
        if (!day || dc.illuminant == 21 || (day->illuminant != 21 && (dc.illuminant == 20 || dc.illuminant == 23)))
            day = &dc;
    }
    const double d65[3] = {0.95047, 1.0, 1.08883};
    for (int c = 0; c < 4; ++c)
        col.pre_mul[c] = 1;
    if (day && multipliersFor(*day, col.analog_balance, planes, d65, col.pre_mul))
        finish(col.pre_mul);

    if (const TiffEntry *n = ifd0.get(AsShotNeutral); n && n->count() == uint32_t(planes)) {
        bool ok = true;
        float mul[4] = {0, 0, 0, 0};
        for (int c = 0; c < planes; ++c) {
            double v = n->f(c);
            if (!(v > 0)) {
                ok = false;
                break;
            }
            mul[c] = float(1.0 / v);
        }
        int ref = planes > 1 ? 1 : 0;
        if (ok) {
            for (int c = 0; c < planes; ++c)
                col.cam_mul[c] = mul[c] / mul[ref];
            finish(col.cam_mul);
        }
    } else if (const TiffEntry *xy = ifd0.get(AsShotWhiteXY); xy && xy->count() == 2) {
        double x = xy->f(0), y = xy->f(1);
        if (y > 0 && x > 0 && x + y < 1) {
            const double xyz[3] = {x / y, 1.0, (1 - x - y) / y};
            const kaldris_dng_color_t *m = col.dng_color[0].has_colormatrix ? &col.dng_color[0] : &col.dng_color[1];
            if (multipliersFor(*m, col.analog_balance, planes, xyz, col.cam_mul))
                finish(col.cam_mul);
        }
    }
    if (const TiffEntry *xy = ifd0.get(AsShotWhiteXY); xy && xy->count() == 2) {
        col.as_shot_white_xy[0] = float(xy->f(0));
        col.as_shot_white_xy[1] = float(xy->f(1));
    }
}

void DngDecoder::findThumbnail(kaldris_data_t &d)
{
    uint64_t best = 0;
    auto consider = [&](uint64_t offset, uint64_t length) {
        if (!m_file.contains(offset, length) || length < 4)
            return;
        JpegInfo j = sniffJpeg(m_file, offset, length);
        if (j.sof < 0 || j.sof == 3)
            return;
        uint64_t area = uint64_t(j.width) * j.height;
        if (area > best || !m_thumbLength) {
            best = area;
            m_thumbOffset = offset;
            m_thumbLength = length;
            d.thumbnail.twidth = ushort(j.width);
            d.thumbnail.theight = ushort(j.height);
            d.thumbnail.tcolors = j.components;
        }
    };
    std::vector<const TiffIfd *> stack;
    for (auto it = m_tree.chain.rbegin(); it != m_tree.chain.rend(); ++it)
        stack.push_back(it->get());
    while (!stack.empty()) {
        const TiffIfd *ifd = stack.back();
        stack.pop_back();
        for (auto it = ifd->subIfds.rbegin(); it != ifd->subIfds.rend(); ++it)
            stack.push_back(it->get());
        uint64_t c = ifd->u(Compression, 1);
        if (ifd->u(NewSubfileType, 0) == 1 && (c == 6 || c == 7 || c == 34892)) {
            const TiffEntry *o = ifd->get(StripOffsets), *n = ifd->get(StripByteCounts);
            if (o && n && o->count() == 1 && n->count() == 1)
                consider(o->u(0), n->u(0));
        }
        if (ifd->has(JpegIfOffset) && ifd->has(JpegIfByteCount))
            consider(ifd->u(JpegIfOffset, 0), ifd->u(JpegIfByteCount, 0));
    }
    if (m_thumbLength) {
        d.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
        d.thumbnail.tlength = unsigned(std::min<uint64_t>(m_thumbLength, 0xFFFFFFFFu));
    }
}

void DngDecoder::unpack(kaldris_data_t &d, std::vector<float> &floats)
{
    uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && unpackedBytes() > limit)
        fail(KALDRIS_TOO_BIG);
    const size_t samples = size_t(m_f.width) * m_f.height * m_f.spp;
    uint16_t *out = static_cast<uint16_t *>(allocateFrame(samples * sizeof(uint16_t)));
    if (!out)
        fail(KALDRIS_OUT_OF_MEMORY);
    d.rawdata.raw_alloc = out;
    if (m_f.floatData) {
        floats.assign(samples, 0.0f);
        d.rawdata.float_image = floats.data();
        d.rawdata.float_components = int(m_f.spp);
    }
    resetNotes(d);
    // OpcodeList1 sees the values as stored, before the tone curve.
    const bool curveLeft = !m_f.floatData && !m_opcodes[0].empty() && !m_opcodes[0].refused();
    decodeBlocks(d, out, m_f.floatData ? floats.data() : nullptr, !curveLeft);
    applyOpcodes(d, out, curveLeft);
    if (m_f.spp == 1)
        d.rawdata.raw_image = out;
    else if (m_f.spp == 3)
        d.rawdata.color3_image = reinterpret_cast<ushort(*)[3]>(out);
    else
        d.rawdata.color4_image = reinterpret_cast<ushort(*)[4]>(out);
}

void DngDecoder::resetNotes(kaldris_data_t &d) const
{
    d.opcodes = kaldris_opcodes_t{};
    for (const DngOpcodeList &l : m_opcodes)
        l.addNotes(d.opcodes);
}

void DngDecoder::blackRow(const kaldris_data_t &d, int row, float *out, int width) const
{
    const kaldris_colordata_t &c = d.color;
    const int spp = int(m_f.spp);
    const unsigned ph = c.cblack[4], pw = c.cblack[5];
    const bool pattern = ph && pw && size_t(ph) * pw <= 4098;
    const float base = float(c.black) + (c.black_row_delta ? c.black_row_delta[row] : 0.0f);
    const unsigned filters = d.idata.filters;
    const int vr = row - d.sizes.top_margin;
    // The colour levels of this row repeat every 6 (6x6 pattern) or 2 columns.
    const int period = filters == 9 ? 6 : 2;
    float colourLevel[6] = {0, 0, 0, 0, 0, 0};
    for (int k = 0; k < period && spp == 1; ++k) {
        const int vc = k - d.sizes.left_margin;
        int colour = 0;
        if (filters == 9)
            colour = d.idata.xtrans[((vr % 6) + 6) % 6][((vc % 6) + 6) % 6] & 3;
        else if (filters >= 1000)
            colour = int(filters >> ((((unsigned(vr) << 1) & 14) | (unsigned(vc) & 1)) << 1) & 3);
        colourLevel[k] = base + float(c.cblack[colour]);
    }
    if (spp == 1) {
        for (int x = 0, k = 0; x < width; ++x) {
            out[x] = colourLevel[k];
            if (++k == period)
                k = 0;
        }
    } else {
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < spp; ++k)
                out[size_t(x) * spp + k] = base + float(c.cblack[std::min(k, 3)]);
    }
    if (pattern) {
        const unsigned *p = c.cblack + 6 + (row % ph) * pw;
        for (int x = 0, j = 0; x < width; ++x) {
            for (int k = 0; k < spp; ++k)
                out[size_t(x) * spp + k] += float(p[j]);
            if (++j == int(pw))
                j = 0;
        }
    }
    if (c.black_col_delta)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < spp; ++k)
                out[size_t(x) * spp + k] += c.black_col_delta[x];
}

void DngDecoder::trimTo(kaldris_data_t &d, int top, int left, int bottom, int right) const
{
    kaldris_image_sizes_t &s = d.sizes;
    const int t = std::max<int>(top, s.top_margin), l = std::max<int>(left, s.left_margin);
    const int b = std::min<int>(bottom, s.top_margin + s.height), r = std::min<int>(right, s.left_margin + s.width);
    if (t >= b || l >= r)
        return;
    // The colour pattern counts from the visible corner, which moves.
    const int dy = t - s.top_margin, dx = l - s.left_margin;
    if (d.idata.filters >= 1000) {
        unsigned f = 0;
        for (int row = 0; row < 8; ++row)
            for (int col = 0; col < 2; ++col) {
                const unsigned from = ((((row + dy) & 7) << 1) | ((col + dx) & 1)) << 1;
                f |= ((d.idata.filters >> from) & 3) << ((((row << 1) | col)) << 1);
            }
        d.idata.filters = f;
    } else if (d.idata.filters == 9) {
        char x[6][6];
        for (int row = 0; row < 6; ++row)
            for (int col = 0; col < 6; ++col)
                x[row][col] = d.idata.xtrans[(row + dy) % 6][(col + dx) % 6];
        std::memcpy(d.idata.xtrans, x, sizeof x);
    }
    s.top_margin = ushort(t);
    s.left_margin = ushort(l);
    s.height = ushort(b - t);
    s.width = ushort(r - l);
    s.iheight = s.height;
    s.iwidth = s.width;
}

void DngDecoder::applyOpcodes(kaldris_data_t &d, uint16_t *out, bool curveLeft)
{
    const unsigned flags = d.params.processing_flags;
    const bool stage2 = (flags & KALDRIS_PROC_DNG_STAGE2) == KALDRIS_PROC_DNG_STAGE2;
    if (m_f.floatData) {
        // The lists would need the floats; the integers made of them come later.
        m_opcodes[0].markAll(d.opcodes, KALDRIS_OPCODE_NOT_APPLICABLE);
        if (stage2)
            m_opcodes[1].markAll(d.opcodes, KALDRIS_OPCODE_NOT_APPLICABLE);
        return;
    }
    OpcodeImage img;
    img.data = out;
    img.pitch = size_t(m_f.width) * m_f.spp;
    img.planes = int(m_f.spp);
    img.rows = int(m_f.height);
    img.cols = int(m_f.width);
    img.mosaic = m_f.photometric == 32803;
    img.threads = d.params.threads;
    img.boundsRows = img.rows;
    img.boundsCols = img.cols;
    m_opcodes[0].apply(img, d.opcodes, [&](const DngOpcodes::Rect &r) { trimTo(d, r.top, r.left, r.bottom, r.right); });

    if (curveLeft) {
        bool identity = true;
        for (int i = 0; i < 0x10000 && identity; ++i)
            identity = d.color.curve[i] == i;
        if (!identity) {
            const ushort *curve = d.color.curve;
            parallelFor(m_f.height, d.params.threads, [&](size_t row) {
                uint16_t *p = out + row * img.pitch;
                for (size_t x = 0; x < img.pitch; ++x)
                    p[x] = curve[p[x]];
            });
        }
    }
    if (!stage2 || m_opcodes[1].empty())
        return;
    // Stage 2 addresses the active area, around the black and white levels.
    img.rowOrigin = -int(m_activeTop);
    img.colOrigin = -int(m_activeLeft);
    img.boundsRows = int(m_activeHeight);
    img.boundsCols = int(m_activeWidth);
    img.white = float(d.color.maximum);
    img.blackRow = [this, &d](int row, float *black, int count) { blackRow(d, row, black, count); };
    // Without column offsets a row's black repeats with the colours and the pattern.
    if (!d.color.black_col_delta) {
        const int colours = d.idata.filters == 9 ? 6 : (d.idata.filters >= 1000 ? 2 : 1);
        const unsigned ph = d.color.cblack[4], pw = d.color.cblack[5];
        const int pattern = ph && pw && size_t(ph) * pw <= 4098 ? int(pw) : 1;
        const int period = std::lcm(colours, pattern);
        img.blackPeriod = period <= 64 ? period : 0;
    }
    m_opcodes[1].apply(img, d.opcodes, [&](const DngOpcodes::Rect &r) {
        trimTo(d, r.top + int(m_activeTop), r.left + int(m_activeLeft), r.bottom + int(m_activeTop),
               r.right + int(m_activeLeft));
    });
}

bool DngDecoder::hasRenderOpcodes(const kaldris_data_t &d) const
{
    return (d.params.processing_flags & KALDRIS_PROC_DNG_STAGE3) && !m_opcodes[2].empty();
}

void DngDecoder::applyRenderOpcodes(kaldris_data_t &d, uint16_t *rgb, int width, int height, int colours) const
{
    if (!hasRenderOpcodes(d))
        return;
    // The rendering covers the visible part of the active area the list addresses.
    OpcodeImage img;
    img.data = rgb;
    img.pitch = size_t(width) * colours;
    img.planes = colours;
    img.rows = height;
    img.cols = width;
    img.rowOrigin = int(d.sizes.top_margin) - int(m_activeTop);
    img.colOrigin = int(d.sizes.left_margin) - int(m_activeLeft);
    img.boundsRows = int(m_activeHeight);
    img.boundsCols = int(m_activeWidth);
    img.threads = d.params.threads;
    m_opcodes[2].apply(img, d.opcodes, nullptr);
}

void DngDecoder::decodeBlocks(kaldris_data_t &d, uint16_t *out, float *floats, bool applyCurve)
{
    const Frame &f = m_f;
    const size_t pitch = size_t(f.width) * f.spp;
    // Work items: a block, or for uncompressed data a band of a block's rows,
    // so one large strip still spreads over the cores.
    struct Item {
        uint32_t block, firstRow, rows;
    };
    constexpr uint32_t bandRows = 128;
    std::vector<Item> items;
    for (uint32_t b = 0; b < f.blocks.size(); ++b) {
        uint32_t y0 = (b / f.across) * f.blockHeight;
        uint32_t keepRows = std::min(f.blockHeight, f.height - y0);
        if (f.compression == 1 && !f.tiled)
            for (uint32_t r = 0; r < keepRows; r += bandRows)
                items.push_back({b, r, std::min(bandRows, keepRows - r)});
        else
            items.push_back({b, 0, keepRows});
    }
    std::vector<std::atomic<int>> failed(f.blocks.size());
    std::atomic<size_t> absent{0};
    for (auto &a : failed)
        a.store(0);

    bool identity = true;
    for (int i = 0; i < 0x10000 && identity; ++i)
        identity = d.color.curve[i] == i;
    const ushort *curve = (identity || f.floatData || !applyCurve) ? nullptr : d.color.curve;
    if (!identity && f.floatData)
        d.progress_flags |= KALDRIS_STATE_CURVE_NOT_USED;

    auto decodeItem = [&](size_t i) {
        const Item &it = items[i];
        const Block &blk = f.blocks[it.block];
        const uint32_t bx = it.block % f.across, by = it.block / f.across;
        const uint32_t x0 = bx * f.blockWidth, y0 = by * f.blockHeight;
        const uint32_t keepW = std::min(f.blockWidth, f.width - x0);
        const uint32_t rowsInBlock = f.tiled ? f.blockHeight : std::min(f.blockHeight, f.height - y0);
        const uint64_t avail = m_file.available(blk.offset, blk.length);
        if (it.firstRow == 0 && avail == 0)
            absent.fetch_add(1);
        const uint8_t *src = avail ? m_file.data() + blk.offset : nullptr;
        int rc = KALDRIS_SUCCESS;
        SampleTarget t;
        t.dst = out + (size_t(y0) + it.firstRow) * pitch + size_t(x0) * f.spp;
        t.pitch = pitch;
        t.rowSamples = f.blockWidth * f.spp;
        t.rows = rowsInBlock - it.firstRow;
        t.keepSamples = keepW * f.spp;
        t.keepRows = it.rows;
        // Decompressors leave what they cannot decode as it was; uncompressed
        // rows write every kept sample (zeros where the data end).
        if (f.compression != 1)
            clearTarget(t);
        if (f.compression == 1) {
            // Only the rows this band needs count; a byte count that claims
            // more than the file holds is harmless when those rows are there.
            const uint64_t rb = Uncompressed::rowBytes(t.rowSamples, f.bits);
            const uint64_t skip = rb * it.firstRow;
            const uint8_t *s = src && skip < avail ? src + skip : nullptr;
            const uint64_t len = s ? std::min(avail - skip, rb * it.rows) : 0;
            rc = s ? Uncompressed::decode(s, size_t(len), t, f.bits, m_file.bigEndian()) : KALDRIS_DATA_ERROR;
            if (!s || rc == KALDRIS_UNSUPPORTED_COMPRESSION)
                clearTarget(t);   // nothing written
        } else if (!src) {
            rc = KALDRIS_DATA_ERROR;
        } else if (f.floatData) {
            FloatTarget ft;
            ft.dst = floats + size_t(y0) * pitch + size_t(x0) * f.spp;
            ft.pitch = pitch;
            ft.rowSamples = t.rowSamples;
            ft.rows = t.rows;
            ft.keepSamples = t.keepSamples;
            ft.keepRows = t.keepRows;
            rc = DeflateFloatDecoder::decode(src, size_t(avail), ft, f.spp, f.bits, int(f.predictor),
                                             m_file.bigEndian());
        } else if (f.lossyJpeg) {
            rc = LossyJpegDecoder::decode(src, size_t(avail), t, f.spp);
        } else {
            rc = LosslessJpegDecoder::decode(src, size_t(avail), t);
        }
        if (curve) {
            for (uint32_t r = 0; r < t.keepRows; ++r) {
                uint16_t *row = t.dst + r * t.pitch;
                for (uint32_t x = 0; x < t.keepSamples; ++x)
                    row[x] = curve[row[x]];
            }
        }
        if (rc == KALDRIS_OUT_OF_MEMORY)
            fail(rc);
        if (rc != KALDRIS_SUCCESS) {
            int none = 0;
            failed[it.block].compare_exchange_strong(none, rc);
        }
    };
    // Small frames (previews, thumbnails) are not worth starting threads for.
    if (uint64_t(f.width) * f.height * f.spp < (1u << 18)) {
        for (size_t i = 0; i < items.size(); ++i)
            decodeItem(i);
    } else {
        parallelFor(items.size(), d.params.threads, decodeItem);
    }
    // A broken piece is counted and the rest of the frame kept; only a frame
    // of which nothing could be decoded fails as a whole.
    unsigned errors = 0;
    int firstError = KALDRIS_SUCCESS;
    bool partly = false;
    for (auto &a : failed)
        if (int code = a.load()) {
            ++errors;
            partly |= code == KALDRIS_DATA_ERROR;
            if (firstError == KALDRIS_SUCCESS)
                firstError = code;
        }
    if (absent.load() == f.blocks.size())
        fail(KALDRIS_TRUNCATED);
    if (errors == f.blocks.size() && !partly)
        fail(firstError);
    d.decode_errors = errors;
}

}
