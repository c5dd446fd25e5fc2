#include "formats/NikonDecoder.h"

#include "camera/CameraDatabase.h"
#include "decompress/NikonSmallRaw.h"
#include "decompress/Uncompressed.h"
#include "formats/CameraFacts.h"
#include "formats/ExifFields.h"
#include "io/FrameBuffer.h"
#include "io/ParallelFor.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace kaldris {

namespace {

enum Tag : uint16_t {
    NewSubFileType = 254, ImageWidth = 256, ImageLength = 257, BitsPerSample = 258, Compression = 259,
    Photometric = 262, Make = 271, Model = 272, StripOffsets = 273, SamplesPerPixel = 277, StripByteCounts = 279,
    JpegIfOffset = 513, JpegIfByteCount = 514, CfaRepeatPatternDim = 33421, CfaPattern = 33422,
    MakerNote = 37500, DngVersion = 50706,
};

// Nikon maker-note tags.
enum NikonTag : uint16_t {
    WbRbLevels = 0x000C, PreviewIfd = 0x0011, BlackLevel = 0x003D, NefCompression = 0x0093,
    Linearization = 0x0096,
};

constexpr uint16_t compressionNone = 1, compressionNikon = 34713;
constexpr uint16_t photometricCfa = 32803;
// Values of NefCompression for the maker's newer lossy codecs (HE, HE*),
// whose coding is not public.
constexpr uint64_t nefHighEfficiency = 13, nefHighEfficiencyStar = 14;
constexpr uint64_t nefLossy = 1, nefLossless = 3, nefLossy2 = 4;

// Huffman codes take at least one bit a value.
constexpr uint64_t sampleSlack = 4096;


bool startsWithNikon(const std::string &make)
{
    std::string m = make.substr(0, 5);
    for (char &c : m)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return m == "nikon";
}

// The film scanners name themselves COOLSCAN or LS-nnnn; a camera's RGB
// strip (a preview) is no scan.
bool isScannerModel(const TiffTree &tree)
{
    std::string model = ExifFields::text(tree.chain.front().get(), Model);
    for (char &c : model)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return model.find("COOLSCAN") != std::string::npos || model.rfind("LS-", 0) == 0
           || model.find(" LS-") != std::string::npos;
}

void forEachIfd(const TiffIfd &ifd, const std::function<void(const TiffIfd &)> &fn)
{
    fn(ifd);
    for (const auto &sub : ifd.subIfds)
        forEachIfd(*sub, fn);
}

uint64_t stripBytes(const TiffIfd &ifd)
{
    const TiffEntry *counts = ifd.get(StripByteCounts);
    uint64_t n = 0;
    for (uint32_t i = 0; counts && i < counts->count() && i < 65536; ++i)
        n += counts->u(i);
    return n;
}

}

bool NikonDecoder::recognises(const TiffTree &tree)
{
    if (tree.chain.empty() || tree.chain.front()->has(DngVersion))
        return false;
    if (tree.makerNoteKind == MakerNoteKind::Nikon || tree.makerNoteKind == MakerNoteKind::NikonOld)
        return true;
    for (const auto &ifd : tree.chain)
        if (ifd->has(Make))
            return startsWithNikon(ExifFields::text(ifd.get(), Make));
    return false;
}

const TiffIfd *NikonDecoder::findRawIfd() const
{
    // The full-size CFA image: sub-IFDs first, as the cameras put it there;
    // of several, the largest.
    const TiffIfd *best = nullptr;
    uint64_t bestArea = 0;
    auto consider = [&](const TiffIfd &ifd) {
        if (ifd.u(NewSubFileType, 0) != 0 || !ifd.has(StripOffsets) || ifd.u(SamplesPerPixel, 1) != 1)
            return;
        const uint64_t bits = ifd.u(BitsPerSample, 0);
        const uint64_t photometric = ifd.u(Photometric, photometricCfa);
        if (bits < 10 || bits > 16 || (photometric != photometricCfa && photometric != 1))
            return;
        const uint64_t area = ifd.u(ImageWidth, 0) * ifd.u(ImageLength, 0);
        if (area > bestArea) {
            best = &ifd;
            bestArea = area;
        }
    };
    for (const auto &top : m_tree.chain)
        for (const auto &sub : top->subIfds)
            forEachIfd(*sub, consider);
    if (!best)
        for (const auto &top : m_tree.chain)
            consider(*top);
    return best;
}

const TiffIfd *NikonDecoder::findSmallIfd() const
{
    // Its strip is three bytes a pixel, which neither packing nor the
    // Huffman coding of a CFA image of that size would give.
    const TiffIfd *best = nullptr;
    uint64_t bestArea = 0;
    for (const auto &top : m_tree.chain)
        forEachIfd(*top, [&](const TiffIfd &ifd) {
            const uint64_t w = ifd.u(ImageWidth, 0), h = ifd.u(ImageLength, 0);
            if (ifd.u(NewSubFileType, 0) != 0 || ifd.u(Compression, 0) != compressionNikon || !ifd.has(StripOffsets)
                || !w || w % 2 || w > 65535 || !h || h > 65535 || stripBytes(ifd) != w * h * 3)
                return;
            if (w * h > bestArea) {
                best = &ifd;
                bestArea = w * h;
            }
        });
    return best;
}

const TiffIfd *NikonDecoder::findScannerIfd() const
{
    const TiffIfd *best = nullptr;
    uint64_t bestArea = 0;
    for (const auto &top : m_tree.chain)
        forEachIfd(*top, [&](const TiffIfd &ifd) {
            const uint64_t bits = ifd.u(BitsPerSample, 0);
            if (ifd.u(NewSubFileType, 0) != 0 || ifd.u(SamplesPerPixel, 1) != 3 || ifd.u(Photometric, 0) != 2
                || ifd.u(Compression, 1) != compressionNone || (bits != 8 && bits != 16) || !ifd.has(StripOffsets))
                return;
            const uint64_t area = ifd.u(ImageWidth, 0) * ifd.u(ImageLength, 0);
            if (area > bestArea) {
                best = &ifd;
                bestArea = area;
            }
        });
    return best;
}

void NikonDecoder::open(const ByteStream &file, TiffTree tree, kaldris_data_t &d)
{
    m_file = file;
    m_tree = std::move(tree);
    const TiffIfd *note = m_tree.makerNote.get();
    const uint64_t nefCompression = note ? note->u(NefCompression, 0) : 0;
    if (nefCompression == nefHighEfficiency || nefCompression == nefHighEfficiencyStar)
        fail(KALDRIS_NIKON_UNSUPPORTED);
    const TiffIfd *raw = m_raw = findSmallIfd();
    m_packing = Packing::Small;
    if (!raw) {
        raw = m_raw = findRawIfd();
        m_packing = Packing::Words;
    }
    if (!raw && isScannerModel(m_tree) && (raw = m_raw = findScannerIfd()))
        m_packing = Packing::Scanner;
    // Images without a CFA, small raw or scanner image are Nikon files we do not read.
    if (!raw)
        fail(KALDRIS_NIKON_UNSUPPORTED);
    d.idata.raw_count = 1;
    if (d.params.shot_select > 0)
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);

    const uint64_t w = raw->u(ImageWidth, 0), h = raw->u(ImageLength, 0);
    m_bits = uint32_t(raw->u(BitsPerSample, 0));
    if (!w || !h || w > 65535 || h > 65535)
        fail(KALDRIS_CORRUPT);
    m_width = uint32_t(w);
    m_height = uint32_t(h);

    // The strips, one run of bytes as the cameras write them.
    const TiffEntry *offs = raw->get(StripOffsets), *counts = raw->get(StripByteCounts);
    if (!offs || !counts || !offs->count() || offs->count() != counts->count() || offs->count() > 65535)
        fail(KALDRIS_CORRUPT);
    m_dataOffset = offs->u(0);
    m_dataLength = 0;
    for (uint32_t i = 0; i < offs->count(); ++i) {
        if (offs->u(i) != m_dataOffset + m_dataLength)
            fail(KALDRIS_CORRUPT);
        m_dataLength += counts->u(i);
    }
    if (!m_file.available(m_dataOffset, m_dataLength))
        fail(KALDRIS_TRUNCATED);

    if (m_packing == Packing::Scanner) {
        openScanner(d);
        return;
    }
    if (m_packing == Packing::Small) {
        openSmall(d);
        return;
    }
    const uint64_t wordBytes = w * h * 2;
    const uint64_t packedBytes = Uncompressed::rowBytes(m_width, m_bits) * h;
    const uint64_t compression = raw->u(Compression, compressionNone);
    // Some bodies mark uncompressed data with the Huffman code: their
    // NEFCompression or a strip of exactly the uncompressed size tells.
    const bool coded = nefCompression == 0 || nefCompression == nefLossy || nefCompression == nefLossless
                       || nefCompression == nefLossy2;
    if (compression == compressionNikon && coded && m_dataLength != wordBytes && m_dataLength != packedBytes) {
        m_packing = Packing::Huffman;
        if (m_bits != 12 && m_bits != 14)
            fail(KALDRIS_UNSUPPORTED_COMPRESSION);
        if (w * h > m_dataLength * 8 + sampleSlack)
            fail(m_file.available(m_dataOffset, m_dataLength) < m_dataLength ? KALDRIS_TRUNCATED : KALDRIS_CORRUPT);
    } else if (compression == compressionNikon || compression == compressionNone) {
        // The size tells the packing.
        m_packing = m_dataLength >= wordBytes || m_bits == 16 ? Packing::Words : Packing::Packed;
    } else {
        fail(KALDRIS_NIKON_UNSUPPORTED);
    }
    m_bigEndianWords = m_tree.bigEndian;

    ExifFields::read(m_tree, d);
    const bool coolpix = std::strncmp(d.idata.file_model, "COOLPIX", 7) == 0;
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, coolpix ? "Nikon NRW" : "Nikon NEF");
    // The database files each body by depth and coding; a body it knows in
    // another of them still gives its names, colours and layout, and its
    // levels where the depth is the same.
    const std::string depth = std::to_string(m_bits) + "bit-";
    const bool huffman = m_packing == Packing::Huffman;
    const std::string modes[] = {depth + (huffman ? "compressed" : "uncompressed"),
                                 depth + (huffman ? "uncompressed" : "compressed"),
                                 std::to_string(m_bits == 12 ? 14 : 12) + (huffman ? "bit-compressed" : "bit-uncompressed")};
    const CameraEntry *cam = nullptr;
    m_dbLevels = true;
    for (const std::string &mode : modes) {
        cam = CameraFacts::identify(d, mode);
        if (cam && d.idata.camera_mode[0]) {
            m_dbLevels = mode.compare(0, depth.size(), depth) == 0;
            break;
        }
    }
    if (!cam || !d.idata.camera_mode[0])
        cam = CameraFacts::identify(d);

    readLinearization(d);
    readSizes(d, cam);
    readLevels(d, cam);
    readBalance(d);
    findThumbnail(d);

    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && wordBytes > limit)
        fail(KALDRIS_TOO_BIG);
}

void NikonDecoder::openScanner(kaldris_data_t &d)
{
    if (m_dataLength < uint64_t(m_width) * m_height * 3 * (m_bits / 8))
        fail(m_file.available(m_dataOffset, m_dataLength) < m_dataLength ? KALDRIS_TRUNCATED : KALDRIS_CORRUPT);
    m_bigEndianWords = m_tree.bigEndian;
    openThreeColour(d, "Nikon Coolscan NEF", {});
}

void NikonDecoder::openSmall(kaldris_data_t &d)
{
    openThreeColour(d, "Nikon NEF (small raw)", "sNEF-uncompressed");
    // A body the database knows only by its CFA files still gets its names;
    // their matrix is the sensor's, not that of the camera's small raw colours.
    if (!d.idata.camera_mode[0])
        for (const char *mode : {"14bit-uncompressed", "14bit-compressed", "12bit-uncompressed", "12bit-compressed"})
            if (CameraFacts::identify(d, mode) && d.idata.camera_mode[0]) {
                d.color.builtin_color = kaldris_dng_color_t{};
                d.idata.camera_mode[0] = 0;
                break;
            }
    readBalance(d);
}

void NikonDecoder::openThreeColour(kaldris_data_t &d, const char *format, std::string_view mode)
{
    ExifFields::read(m_tree, d);
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, format);
    if (mode.empty() || !CameraFacts::identify(d, mode) || !d.idata.camera_mode[0])
        CameraFacts::identify(d);
    setRgbFrame(d, m_width, m_height);
    auto &c = d.color;
    for (int i = 0; i < 0x10000; ++i)
        c.curve[i] = ushort(i);
    m_hasCurve = false;
    // Values without an offset, reaching 16 bits.
    std::fill(c.cblack, c.cblack + 4104, 0u);
    c.black = 0;
    c.maximum = 65535;
    ExifFields::copyText(c.black_source, sizeof c.black_source, "none");
    ExifFields::copyText(c.white_source, sizeof c.white_source, "bit depth");
    for (int i = 0; i < 4; ++i) {
        c.pre_mul[i] = 1;
        c.cam_mul[i] = 0;
    }
    findThumbnail(d);
    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && uint64_t(m_width) * m_height * 6 > limit)
        fail(KALDRIS_TOO_BIG);
}

int NikonDecoder::srawMidpoint() const
{
    return m_packing == Packing::Small ? NikonSmallRaw::midpoint : 0;
}

void NikonDecoder::unpackSmall(kaldris_data_t &d, const uint8_t *src, size_t avail)
{
    const unsigned flags = d.params.processing_flags;
    NikonSmallRaw::Output mode = NikonSmallRaw::Output::Rgb;
    if (flags & KALDRIS_PROC_SRAW_YCC)
        mode = flags & KALDRIS_PROC_SRAW_NO_INTERP ? NikonSmallRaw::Output::YccRepeated : NikonSmallRaw::Output::Ycc;
    SampleFrame out = allocateSamples(size_t(m_width) * m_height * 3, d.params.max_raw_memory_mb);
    // The data hold the balanced colour: the as-shot levels take it back to
    // the camera's own, which the as-shot multipliers balance again.
    const float balance[2] = {d.color.cam_mul[0], d.color.cam_mul[2]};
    auto *pixels = reinterpret_cast<uint16_t(*)[3]>(out.get());
    const bool whole = NikonSmallRaw::decode(src, avail, m_width, m_height, mode, balance, pixels, d.params.threads);
    d.decode_errors = whole ? 0 : 1;
    // Y, Cb and Cr keep the 12 bits they are stored in.
    d.color.maximum = mode == NikonSmallRaw::Output::Rgb ? 65535 : 4095;
    d.rawdata.raw_alloc = out.get();
    d.rawdata.color3_image = reinterpret_cast<ushort(*)[3]>(out.release());
}

void NikonDecoder::readLinearization(kaldris_data_t &d)
{
    for (int i = 0; i < 0x10000; ++i)
        d.color.curve[i] = ushort(i);
    m_hasCurve = false;
    m_stream = NikonStream{};
    uint32_t codes = (1u << std::min<uint32_t>(m_bits, 16)) & 0x7FFF;
    bool lossless = true;
    const TiffIfd *note = m_tree.makerNote.get();
    const TiffEntry *lin = note ? note->get(Linearization) : nullptr;
    const uint8_t *p = lin ? lin->bytes() : nullptr;
    const uint64_t n = lin ? lin->byteSize() : 0;
    if (p && n >= 12) {
        // Read in the note's byte order: that of its own TIFF header.
        bool big = m_tree.bigEndian;
        if (const TiffEntry *mn = m_tree.chain.front()->exif ? m_tree.chain.front()->exif->get(MakerNote) : nullptr;
            mn && m_tree.makerNoteKind == MakerNoteKind::Nikon && m_file.contains(mn->dataOffset() + 10, 2))
            big = m_file.u8(mn->dataOffset() + 10) == 'M';
        const ByteStream s(p, size_t(n), big);
        const uint8_t v0 = s.u8(0), v1 = s.u8(1);
        lossless = v0 == 0x46;
        for (int i = 0; i < 4; ++i)
            m_stream.initial[i >> 1][i & 1] = int16_t(s.u16(2 + 2 * uint64_t(i)));
        // Entries that the tag does not hold are left out.
        const uint32_t size = uint32_t(std::min<uint64_t>(s.u16(10), (n - 12) / 2));
        const uint32_t step = size > 1 ? codes / (size - 1) : 0;
        ushort *curve = d.color.curve;
        if (v0 == 0x44 && v1 == 0x20 && step > 0) {
            // Knots, every step-th code, joined by straight lines.
            for (uint32_t i = 0; i < size; ++i)
                curve[i * step] = s.u16(12 + 2 * uint64_t(i));
            const uint32_t last = (size - 1) * step;
            for (uint32_t i = 0; i < codes; ++i) {
                const uint32_t k = i - i % step, f = i % step;
                if (k + step > last)
                    curve[i] = curve[std::min(k, last)];
                else
                    curve[i] = ushort((curve[k] * (step - f) + curve[k + step] * f) / step);
            }
            if (n >= 564)
                m_stream.split = s.u16(562);
        } else if (!lossless && size >= 2 && size <= 0x4001) {
            for (uint32_t i = 0; i < size; ++i)
                curve[i] = s.u16(12 + 2 * uint64_t(i));
            codes = size;
        }
        if (!lossless)
            while (codes >= 2 && curve[codes - 2] == curve[codes - 1])
                --codes;
    }
    m_stream.table = NikonHuffmanDecoder::tableFor(lossless, int(m_bits));
    m_stream.codes = codes;
    if (m_packing != Packing::Huffman) {
        for (int i = 0; i < 0x10000; ++i)
            d.color.curve[i] = ushort(i);
        return;
    }
    if (lossless)
        return;
    // Codes past the curve's end give its last value.
    ushort *curve = d.color.curve;
    if (codes)
        std::fill(curve + codes, curve + 0x10000, curve[codes - 1]);
    for (int i = 0; i < 0x4000 && !m_hasCurve; ++i)
        m_hasCurve = curve[i] != i;
    if (!m_hasCurve)
        for (int i = 0; i < 0x10000; ++i)
            curve[i] = ushort(i);
    else
        m_fileCurve.assign(curve, curve + std::max<uint32_t>(codes, 1));
}

void NikonDecoder::readSizes(kaldris_data_t &d, const CameraEntry *cam)
{
    auto &s = d.sizes;
    s.raw_width = ushort(m_width);
    s.raw_height = ushort(m_height);
    s.raw_pitch = m_width * 2;
    uint32_t left = 0, top = 0, width = m_width, height = m_height;
    int x, y, cw, ch;
    if (cam && cam->cropRect(int(m_width), int(m_height), x, y, cw, ch)) {
        left = uint32_t(x);
        top = uint32_t(y);
        width = uint32_t(cw);
        height = uint32_t(ch);
    }
    s.left_margin = ushort(left);
    s.top_margin = ushort(top);
    s.width = s.iwidth = ushort(width);
    s.height = s.iheight = ushort(height);

    // The file's own CFA pattern (TIFF/EP, from the raw origin) first, then
    // the database's, then the R G / G B of most bodies.
    auto filtersOf = [&](const std::vector<char> &letters) {
        CameraEntry e;
        e.cfaWidth = e.cfaHeight = 2;
        e.cfa = letters;
        return CameraFacts::bayerFilters(e, top, left);
    };
    unsigned filters = 0;
    const TiffEntry *dim = m_raw->get(CfaRepeatPatternDim), *pat = m_raw->get(CfaPattern);
    if (dim && pat && dim->count() == 2 && dim->u(0) == 2 && dim->u(1) == 2 && pat->count() == 4) {
        static const char letter[3] = {'R', 'G', 'B'};
        std::vector<char> letters;
        for (uint32_t i = 0; i < 4; ++i) {
            const uint64_t c = pat->u(i);
            letters.push_back(c < 3 ? letter[c] : '?');
        }
        filters = filtersOf(letters);
    }
    if (!filters && cam)
        filters = CameraFacts::bayerFilters(*cam, top, left);
    if (!filters)
        filters = filtersOf({'R', 'G', 'G', 'B'});
    d.idata.filters = filters;
    d.idata.colors = 3;
    ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, "RGBG");
}

void NikonDecoder::readLevels(kaldris_data_t &d, const CameraEntry *cam)
{
    auto &c = d.color;
    const unsigned depthWhite = (1u << std::clamp<uint32_t>(m_bits, 1, 16)) - 1;
    if (m_packing == Packing::Huffman && m_hasCurve) {
        c.maximum = c.curve[std::max<uint32_t>(m_stream.codes, 1) - 1];
        ExifFields::copyText(c.white_source, sizeof c.white_source, "curve");
    } else {
        c.maximum = depthWhite;
        ExifFields::copyText(c.white_source, sizeof c.white_source, "bit depth");
    }

    std::fill(c.cblack, c.cblack + 4104, 0u);
    c.black = 0;
    unsigned level[4] = {0, 0, 0, 0};
    const char *from = "none";
    const TiffIfd *note = m_tree.makerNote.get();
    const TiffEntry *bl = note ? note->get(BlackLevel) : nullptr;
    if (bl && bl->isInteger() && bl->count() >= 4) {
        // Kept at 14-bit scale whatever the data's depth; R, Gr, Gb, B.
        const int shift = m_bits < 14 ? int(14 - m_bits) : 0;
        static const int colourOf[4] = {0, 1, 3, 2};
        bool ok = true;
        for (uint32_t i = 0; i < 4; ++i) {
            const uint64_t v = bl->u(i) >> shift;
            ok &= v < c.maximum;
            level[colourOf[i]] = unsigned(std::min<uint64_t>(v, 65535));
        }
        if (ok)
            from = "file";
    }
    if (std::strcmp(from, "file") != 0) {
        std::fill(level, level + 4, 0u);
        const int iso = int(std::lround(std::clamp<double>(d.other.iso_speed, 0, 1e6)));
        const CameraSensor *sensor = cam && m_dbLevels ? cam->sensorFor(iso) : nullptr;
        if (sensor && sensor->black > 0 && unsigned(sensor->black) < c.maximum) {
            std::fill(level, level + 4, unsigned(sensor->black));
            from = "database";
        }
    }
    ExifFields::copyText(c.black_source, sizeof c.black_source, from);
    const unsigned lo = *std::min_element(level, level + 4);
    c.black = lo;
    for (int i = 0; i < 4; ++i) {
        c.cblack[i] = level[i] - lo;
        m_levels[i] = level[i];
    }
    m_maximum = c.maximum;
}

// A caller that made the curve linear sees the codes: black and white move
// to the codes that reach them, or black would be taken off at the wrong scale.
void NikonDecoder::levelsInCodeSpace(kaldris_data_t &d) const
{
    auto code = [&](unsigned v) {
        return unsigned(std::lower_bound(m_fileCurve.begin(), m_fileCurve.end(), std::min(v, 65535u))
                        - m_fileCurve.begin());
    };
    auto &c = d.color;
    unsigned level[4];
    for (int i = 0; i < 4; ++i)
        level[i] = code(m_levels[i]);
    const unsigned lo = *std::min_element(level, level + 4);
    c.black = lo;
    for (int i = 0; i < 4; ++i)
        c.cblack[i] = level[i] - lo;
    c.maximum = std::min<unsigned>(code(m_maximum), unsigned(m_fileCurve.size()) - 1);
}

void NikonDecoder::readBalance(kaldris_data_t &d) const
{
    auto &c = d.color;
    for (int i = 0; i < 4; ++i) {
        c.pre_mul[i] = 1;
        c.cam_mul[i] = 0;
    }
    const TiffIfd *note = m_tree.makerNote.get();
    const TiffEntry *wb = note ? note->get(WbRbLevels) : nullptr;
    if (!wb || wb->count() < 2)
        return;
    const double r = wb->f(0), b = wb->f(1);
    // Levels no body writes leave the balance neutral.
    if (!(r > 0.05 && r < 64 && b > 0.05 && b < 64))
        return;
    c.cam_mul[0] = float(r);
    c.cam_mul[1] = 1;
    c.cam_mul[2] = float(b);
    c.cam_mul[3] = 1;
}

void NikonDecoder::findThumbnail(kaldris_data_t &d)
{
    m_thumbOffset = m_thumbLength = 0;
    auto consider = [&](uint64_t off, uint64_t len) {
        if (len > m_thumbLength && isJpegAt(m_file, off, len)) {
            m_thumbOffset = off;
            m_thumbLength = len;
        }
    };
    auto look = [&](const TiffIfd &ifd) {
        if (&ifd == m_raw)
            return;
        if (ifd.has(JpegIfOffset))
            consider(ifd.u(JpegIfOffset, 0), ifd.u(JpegIfByteCount, 0));
        const uint64_t compression = ifd.u(Compression, 0);
        if ((compression == 6 || compression == 7) && ifd.has(StripOffsets))
            consider(ifd.u(StripOffsets, 0), ifd.u(StripByteCounts, 0));
    };
    for (const auto &top : m_tree.chain)
        forEachIfd(*top, look);
    // The maker note's preview IFD counts from the note's TIFF header.
    const TiffIfd *note = m_tree.makerNote.get();
    const TiffIfd *preview = note ? note->subIfd(PreviewIfd) : nullptr;
    const TiffEntry *mn = m_tree.chain.front()->exif ? m_tree.chain.front()->exif->get(MakerNote) : nullptr;
    if (preview && mn && m_tree.makerNoteKind == MakerNoteKind::Nikon)
        consider(mn->dataOffset() + 10 + preview->u(JpegIfOffset, 0), preview->u(JpegIfByteCount, 0));
    announceJpegThumbnail(d, m_thumbLength);
}

void NikonDecoder::unpackScanner(kaldris_data_t &d, const uint8_t *src, size_t avail)
{
    const size_t samples = size_t(m_width) * m_height * 3;
    SampleFrame out = allocateSamples(samples, d.params.max_raw_memory_mb);
    SampleTarget t;
    t.dst = out.get();
    t.pitch = t.rowSamples = t.keepSamples = m_width * 3;
    t.rows = t.keepRows = m_height;
    const int rc = Uncompressed::decode(src, avail, t, m_bits, m_bigEndianWords);
    d.decode_errors = rc == KALDRIS_DATA_ERROR ? 1 : 0;
    if (rc != KALDRIS_SUCCESS && rc != KALDRIS_DATA_ERROR)
        fail(rc);
    // The scanner's values are gamma-encoded: raised to the chosen gamma on
    // the full 16-bit scale (1 keeps them as they are, 8-bit ones scaled).
    float g = d.params.coolscan_gamma;
    if (!(g > 0 && g <= 10))
        g = 1;
    const uint32_t top = (1u << m_bits) - 1;
    if (g != 1 || m_bits != 16) {
        std::vector<uint16_t> table(size_t(top) + 1);
        for (uint32_t v = 0; v <= top; ++v)
            table[v] = uint16_t(std::lround(65535.0 * std::pow(double(v) / top, double(g))));
        uint16_t *p = out.get();
        parallelFor(m_height, d.params.threads, [&](size_t y) {
            uint16_t *row = p + y * t.pitch;
            for (uint32_t x = 0; x < t.pitch; ++x)
                row[x] = table[row[x] & top];
        });
    }
    d.rawdata.raw_alloc = out.get();
    d.rawdata.color3_image = reinterpret_cast<ushort(*)[3]>(out.release());
}

void NikonDecoder::unpack(kaldris_data_t &d, std::vector<float> &)
{
    const size_t samples = size_t(m_width) * m_height;
    const uint64_t avail = m_file.available(m_dataOffset, m_dataLength);
    if (!avail)
        fail(KALDRIS_TRUNCATED);
    if (m_packing == Packing::Scanner) {
        unpackScanner(d, m_file.data() + m_dataOffset, size_t(avail));
        return;
    }
    if (m_packing == Packing::Small) {
        unpackSmall(d, m_file.data() + m_dataOffset, size_t(avail));
        return;
    }
    SampleFrame out = allocateSamples(samples, d.params.max_raw_memory_mb);
    const uint8_t *src = m_file.data() + m_dataOffset;
    int rc;
    if (m_packing == Packing::Huffman) {
        bool linear = m_hasCurve;
        for (size_t i = 0; i < m_fileCurve.size() && linear; ++i)
            linear = d.color.curve[i] == i;
        if (linear)
            levelsInCodeSpace(d);
        rc = NikonHuffmanDecoder::decode(src, size_t(avail), m_stream, d.color.curve, out.get(), m_width, m_width,
                                         m_height);
    } else {
        SampleTarget t;
        t.dst = out.get();
        t.pitch = m_width;
        t.rowSamples = t.keepSamples = m_width;
        t.rows = t.keepRows = m_height;
        rc = Uncompressed::decode(src, size_t(avail), t, m_packing == Packing::Words ? 16 : m_bits, m_bigEndianWords);
    }
    d.decode_errors = 0;
    if (rc == KALDRIS_DATA_ERROR)
        d.decode_errors = 1;
    else if (rc != KALDRIS_SUCCESS)
        fail(rc);
    d.rawdata.raw_alloc = d.rawdata.raw_image = out.release();
}

}
