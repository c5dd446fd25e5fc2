#include "formats/PefDecoder.h"

#include "camera/CameraDatabase.h"
#include "decompress/Uncompressed.h"
#include "formats/CameraFacts.h"
#include "formats/ExifFields.h"
#include "io/FrameBuffer.h"
#include "io/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>

namespace kaldris {

namespace {

enum Tag : uint16_t {
    ImageWidth = 256, ImageLength = 257, BitsPerSample = 258, Compression = 259, Photometric = 262,
    StripOffsets = 273, SamplesPerPixel = 277, StripByteCounts = 279, JpegIfOffset = 513,
    JpegIfByteCount = 514, DngVersion = 50706,
};

enum PentaxTag : uint16_t {
    PreviewLength = 0x0003, PreviewStart = 0x0004, BlackPoint = 0x0200, WhitePoint = 0x0201, HuffmanTable = 0x0220,
};

constexpr unsigned pentaxHuffman = 65535;
constexpr unsigned photometricCfa = 32803, photometricGrey = 1;

// R G / G B from the visible origin, the second green colour 3.
constexpr unsigned defaultFilters = 0xB4B4B4B4;

// Both codings spend at least one bit a sample; a frame claiming more
// samples than that is refused before anything is allocated.
constexpr uint64_t sampleSlack = 4096;

// The 4 R G G B values of tags 0x200 and 0x201 by colour R, G, B, G2.
constexpr int rggbColour[4] = {0, 1, 3, 2};

int filterColour(unsigned filters, unsigned row, unsigned col)
{
    return int(filters >> ((((row << 1) & 14) | (col & 1)) << 1) & 3);
}

// The values of a 4-value SHORT tag of the note, or false.
bool fourShorts(const TiffIfd *note, uint16_t tag, unsigned (&v)[4])
{
    const TiffEntry *e = note ? note->get(tag) : nullptr;
    if (!e || !e->isInteger() || e->count() < 4)
        return false;
    for (uint32_t i = 0; i < 4; ++i)
        v[i] = unsigned(std::min<uint64_t>(e->u(i), 65535));
    return true;
}

}

bool PefDecoder::recognises(const TiffTree &tree, const std::string &make)
{
    if (tree.chain.empty() || tree.chain.front()->has(DngVersion))
        return false;
    if (tree.makerNoteKind == MakerNoteKind::Pentax)
        return true;
    for (const char *prefix : {"pentax", "ricoh", "asahi"})
        if (make.rfind(prefix, 0) == 0)
            return true;
    return false;
}

void PefDecoder::shiftOf(int frame, int &dy, int &dx)
{
    static const int shifts[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    dy = shifts[frame & 3][0];
    dx = shifts[frame & 3][1];
}

bool PefDecoder::readFrame(const TiffIfd &ifd, Frame &f) const
{
    const TiffEntry *offsets = ifd.get(StripOffsets), *counts = ifd.get(StripByteCounts);
    if (!offsets || !counts || !offsets->count() || offsets->count() != counts->count())
        return false;
    f.ifd = &ifd;
    f.compression = unsigned(ifd.u(Compression, 1));
    const uint64_t photometric = ifd.u(Photometric, 0);
    f.bits = uint32_t(std::min<uint64_t>(ifd.u(BitsPerSample, 0), 64));
    // CFA data, or a monochrome body's grey levels; never an 8-bit picture.
    const bool raw = photometric == photometricCfa || f.compression == pentaxHuffman
        || (photometric == photometricGrey && f.bits >= 10);
    if (ifd.u(SamplesPerPixel, 1) != 1 || !raw)
        return false;
    f.width = uint32_t(std::min<uint64_t>(ifd.u(ImageWidth, 0), 0x10000));
    f.height = uint32_t(std::min<uint64_t>(ifd.u(ImageLength, 0), 0x10000));
    // The strips as one run: the cameras write one strip, or strips back to back.
    const uint32_t last = offsets->count() - 1;
    f.offset = offsets->u(0);
    const uint64_t end = offsets->u(last) + counts->u(last);
    f.length = end > f.offset ? end - f.offset : counts->u(0);
    f.words = f.bits == 16 || f.length >= uint64_t(f.width) * f.height * 2;
    return true;
}

void PefDecoder::collectFrames()
{
    m_frames.clear();
    auto consider = [&](const TiffIfd &ifd) {
        Frame f;
        if (readFrame(ifd, f))
            m_frames.push_back(f);
    };
    for (const auto &ifd : m_tree.chain) {
        consider(*ifd);
        for (const auto &sub : ifd->subIfds)
            consider(*sub);
    }
}

void PefDecoder::open(const ByteStream &file, TiffTree tree, kaldris_data_t &d)
{
    m_file = file;
    m_tree = std::move(tree);
    m_file.setBigEndian(m_tree.bigEndian);
    if (m_tree.chain.front()->has(DngVersion))
        fail(KALDRIS_FILE_UNSUPPORTED);
    collectFrames();
    // Frames we cannot read drop out; the file fails only when none is left,
    // with the reason of the first.
    int firstError = KALDRIS_SUCCESS;
    std::vector<Frame> readable;
    for (const Frame &f : m_frames) {
        int rc = KALDRIS_SUCCESS;
        if ((f.compression != 1 && f.compression != pentaxHuffman) || f.bits < 8 || f.bits > 16)
            rc = KALDRIS_UNSUPPORTED_COMPRESSION;
        else if (!f.width || !f.height || f.width > 65535 || f.height > 65535)
            rc = KALDRIS_CORRUPT;
        else if (uint64_t(f.width) * f.height > uint64_t(m_file.size()) * 8 + sampleSlack)
            rc = KALDRIS_TOO_BIG;
        if (rc == KALDRIS_SUCCESS)
            readable.push_back(f);
        else if (firstError == KALDRIS_SUCCESS)
            firstError = rc;
    }
    m_frames.swap(readable);
    if (m_frames.empty())
        fail(firstError == KALDRIS_SUCCESS ? int(KALDRIS_CORRUPT) : firstError);

    // Where the note's own pointers count from, and its byte order.
    const TiffIfd *note = m_tree.makerNote.get();
    m_noteBase = 0;
    bool noteBig = m_tree.bigEndian;
    if (note && m_tree.makerNoteKind == MakerNoteKind::Pentax) {
        const uint64_t at = note->offset;
        if (at >= 10 && m_file.contains(at - 10, 10) && std::memcmp(m_file.data() + at - 10, "PENTAX \0", 8) == 0) {
            m_noteBase = at - 10;
            noteBig = m_file.u8(at - 2) == 'M';
        } else if (at >= 6 && m_file.contains(at - 6, 6)) {
            const uint8_t o = m_file.u8(at - 2);
            noteBig = o == 'M' ? true : o == 'I' ? false : m_tree.bigEndian;
        }
    }

    bool huffman = false;
    for (const Frame &f : m_frames)
        huffman |= f.compression == pentaxHuffman;
    m_haveTable = false;
    if (huffman) {
        // The earliest bodies' files carry no table: a coding we do not read.
        const TiffEntry *t = note ? note->get(HuffmanTable) : nullptr;
        if (!t)
            fail(KALDRIS_UNSUPPORTED_COMPRESSION);
        if (TiffEntry::typeSize(t->type()) != 1 || !m_file.contains(t->dataOffset(), t->byteSize())
            || !PentaxHuffman::readTable(m_file.data() + t->dataOffset(), size_t(t->byteSize()), noteBig, m_table))
            fail(KALDRIS_CORRUPT);
        m_haveTable = true;
    }

    const bool wantMerge = d.params.processing_flags & KALDRIS_PROC_4SHOT_MERGE;
    m_merge = false;
    d.idata.raw_count = unsigned(m_frames.size());

    ExifFields::read(m_tree, d);
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, "Pentax PEF");
    const CameraEntry *cam = CameraFacts::identify(d);
    // Every body of the family under one make, Ricoh-branded or not, so
    // callers that treat Pentax files alike see them all.
    if (!cam) {
        std::string model = ExifFields::text(m_tree.chain.front().get(), 272);
        if (model.rfind("PENTAX ", 0) == 0)
            model.erase(0, 7);
        ExifFields::copyText(d.idata.model, sizeof d.idata.model, model);
    }
    ExifFields::copyText(d.idata.make, sizeof d.idata.make, "Pentax");

    // The sizes, crop and layout of the first frame, which every merged frame shares.
    const Frame &first = m_frames.front();
    auto &s = d.sizes;
    s.raw_width = ushort(first.width);
    s.raw_height = ushort(first.height);
    uint32_t left = 0, top = 0, width = first.width, height = first.height;
    int x, y, w, h;
    if (cam && cam->cropRect(int(first.width), int(first.height), x, y, w, h)) {
        left = uint32_t(x);
        top = uint32_t(y);
        width = uint32_t(w);
        height = uint32_t(h);
    }
    // A known body without a mosaic or colour data is a monochrome one.
    const bool mono = cam && cam->cfa.empty() && cam->matrixPlanes == 0;
    unsigned filters = cam ? CameraFacts::bayerFilters(*cam, top, left) : 0;
    if (!filters && !mono)
        filters = defaultFilters;
    d.idata.filters = m_filters = filters;
    m_merge = wantMerge && !mono && mergeable();
    if (m_merge)
        d.idata.raw_count = 1;
    if (d.params.shot_select >= d.idata.raw_count)
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);
    m_selected = m_merge ? 0 : d.params.shot_select;
    const Frame &sel = m_frames[m_selected];
    if (sel.width != first.width || sel.height != first.height) {
        // A frame of its own size: the whole of it, as the file gives it.
        s.raw_width = ushort(sel.width);
        s.raw_height = ushort(sel.height);
        left = top = 0;
        width = sel.width;
        height = sel.height;
        d.idata.filters = filters = cam ? CameraFacts::bayerFilters(*cam, 0, 0) : 0;
        if (!filters && !mono)
            d.idata.filters = defaultFilters;
    }
    s.left_margin = ushort(left);
    s.top_margin = ushort(top);
    s.width = s.iwidth = ushort(width);
    s.height = s.iheight = ushort(height);
    d.idata.colors = mono ? 1 : 3;
    ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, mono ? "W" : "RGBG");
    s.raw_pitch = unsigned(s.raw_width) * 2;
    if (m_merge) {
        // The filter word stays with the decoder for the merge; the data
        // block describes four values a pixel and no mosaic.
        d.idata.filters = 0;
        d.idata.colors = 4;
        s.raw_pitch = unsigned(s.raw_width) * 8;
    }

    readLevels(d, cam);
    findThumbnail(d);

    const uint64_t pixels = uint64_t(s.raw_width) * s.raw_height;
    const uint64_t bytes = m_merge ? pixels * 16 : pixels * 2;
    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && bytes > limit)
        fail(KALDRIS_TOO_BIG);
}

bool PefDecoder::mergeable() const
{
    if (m_frames.size() != 4)
        return false;
    const Frame &a = m_frames.front();
    if (a.width < 2 || a.height < 2)
        return false;
    for (const Frame &f : m_frames)
        if (f.width != a.width || f.height != a.height || f.bits != a.bits)
            return false;
    // A 2x2 mosaic of four colours: then the four shifts give each pixel each colour once.
    bool seen[4] = {false, false, false, false};
    for (unsigned r = 0; r < 8; ++r)
        for (unsigned c = 0; c < 2; ++c) {
            const int k = filterColour(m_filters, r, c);
            if (k != filterColour(m_filters, r & 1, c))
                return false;
            seen[k] = true;
        }
    return seen[0] && seen[1] && seen[2] && seen[3];
}

void PefDecoder::readLevels(kaldris_data_t &d, const CameraEntry *cam)
{
    auto &c = d.color;
    const TiffIfd *note = m_tree.makerNote.get();
    const int iso = int(std::lround(std::clamp<double>(d.other.iso_speed, 0, 1e6)));
    const CameraSensor *sensor = cam ? cam->sensorFor(iso) : nullptr;
    const unsigned bits = m_frames[m_selected].bits;
    const unsigned depthWhite = (1u << bits) - 1;

    std::fill(c.cblack, c.cblack + 4104, 0u);
    c.black = 0;
    unsigned level[4] = {0, 0, 0, 0}, v[4];
    const char *from = "none";
    if (fourShorts(note, BlackPoint, v) && std::all_of(v, v + 4, [&](unsigned b) { return b < depthWhite; })) {
        for (int i = 0; i < 4; ++i)
            level[rggbColour[i]] = v[i];
        from = "file";
    } else if (sensor) {
        for (unsigned &l : level)
            l = unsigned(std::clamp(sensor->black, 0, int(depthWhite)));
        from = "database";
    }
    ExifFields::copyText(c.black_source, sizeof c.black_source, from);
    const unsigned lo = *std::min_element(level, level + 4);
    c.black = lo;
    for (int i = 0; i < 4; ++i)
        c.cblack[i] = level[i] - lo;

    unsigned white = depthWhite;
    const char *whiteFrom = "bit depth";
    if (sensor && sensor->white > int(lo) && unsigned(sensor->white) <= depthWhite) {
        white = unsigned(sensor->white);
        whiteFrom = "database";
    }
    c.maximum = white;
    ExifFields::copyText(c.white_source, sizeof c.white_source, whiteFrom);

    for (float &m : c.pre_mul)
        m = 1;
    if (fourShorts(note, WhitePoint, v) && std::all_of(v, v + 4, [](unsigned l) { return l > 0; })) {
        float mul[4];
        for (int i = 0; i < 4; ++i)
            mul[rggbColour[i]] = float(v[i]) / float(v[1]);
        std::copy(mul, mul + 4, c.cam_mul);
    }
}

void PefDecoder::findThumbnail(kaldris_data_t &d)
{
    m_thumbOffset = m_thumbLength = 0;
    auto offer = [&](uint64_t off, uint64_t len) {
        if (len > m_thumbLength && isJpegAt(m_file, off, len)) {
            m_thumbOffset = off;
            m_thumbLength = len;
        }
    };
    // The largest JPEG: the maker note's preview, else those of the IFDs.
    if (const TiffIfd *note = m_tree.makerNote.get(); note && note->has(PreviewStart) && note->has(PreviewLength))
        offer(m_noteBase + note->u(PreviewStart, 0), note->u(PreviewLength, 0));
    for (const auto &ifd : m_tree.chain) {
        if (ifd->has(JpegIfOffset))
            offer(ifd->u(JpegIfOffset, 0), ifd->u(JpegIfByteCount, 0));
        if (ifd->u(Compression, 0) == 6 && ifd->has(StripOffsets))
            offer(ifd->u(StripOffsets, 0), ifd->u(StripByteCounts, 0));
    }
    if (m_thumbLength) {
        d.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
        d.thumbnail.tlength = unsigned(std::min<uint64_t>(m_thumbLength, 0xFFFFFFFFu));
    }
}

void PefDecoder::decodeFrame(const Frame &f, uint16_t *dst, bool parallel, int threads,
                             std::atomic<unsigned> &errors) const
{
    const uint64_t avail = m_file.available(f.offset, f.length);
    const uint8_t *src = m_file.data() + std::min<uint64_t>(f.offset, m_file.size());
    if (f.compression == pentaxHuffman) {
        if (PentaxHuffman::decode(src, size_t(avail), m_table, int(f.bits), dst, f.width, f.width, f.height) < f.height)
            errors.fetch_add(1);
        return;
    }
    // Uncompressed: bands of rows, each from its own place in the data.
    const uint32_t bits = f.words ? 16 : f.bits;
    const uint64_t rowBytes = Uncompressed::rowBytes(f.width, bits);
    constexpr uint32_t bandRows = 128;
    const size_t bands = (f.height + bandRows - 1) / bandRows;
    auto band = [&](size_t b) {
        const uint32_t y0 = uint32_t(b) * bandRows, rows = std::min(bandRows, f.height - y0);
        const uint64_t at = y0 * rowBytes;
        SampleTarget t;
        t.dst = dst + size_t(y0) * f.width;
        t.pitch = f.width;
        t.rowSamples = t.keepSamples = f.width;
        t.rows = t.keepRows = rows;
        const uint64_t len = at < avail ? std::min<uint64_t>(avail - at, rowBytes * rows) : 0;
        if (Uncompressed::decode(src + std::min(at, avail), size_t(len), t, bits, m_file.bigEndian()) != KALDRIS_SUCCESS)
            errors.fetch_add(1);
    };
    if (parallel)
        parallelFor(bands, threads, band);
    else
        for (size_t b = 0; b < bands; ++b)
            band(b);
}

void PefDecoder::merge(const uint16_t *const frames[4], uint16_t *out, const kaldris_data_t &d) const
{
    const uint32_t w = m_frames.front().width, h = m_frames.front().height;
    const unsigned top = d.sizes.top_margin, left = d.sizes.left_margin;
    parallelFor(h, d.params.threads, [&](size_t r) {
        const uint16_t *src[4];
        int colour[4][2];
        int dx[4];
        for (int k = 0; k < 4; ++k) {
            int dy;
            shiftOf(k, dy, dx[k]);
            uint32_t rr = uint32_t(r) + uint32_t(dy);
            if (rr >= h)
                rr -= 2;
            src[k] = frames[k] + size_t(rr) * w;
            for (unsigned p = 0; p < 2; ++p)
                colour[k][p] = filterColour(m_filters, rr - top, p - left);
        }
        uint16_t *o = out + size_t(r) * w * 4;
        auto put = [&](uint32_t c, int k, uint32_t cc) { o[c * 4 + unsigned(colour[k][cc & 1])] = src[k][cc]; };
        for (uint32_t c = 0; c + 1 < w; ++c)
            for (int k = 0; k < 4; ++k)
                put(c, k, c + uint32_t(dx[k]));
        for (int k = 0; k < 4; ++k)
            put(w - 1, k, dx[k] ? w - 2 : w - 1);
    });
}

void PefDecoder::unpack(kaldris_data_t &d, std::vector<float> &)
{
    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    const Frame &sel = m_frames[m_selected];
    const size_t pixels = size_t(sel.width) * sel.height;
    if (limit && (m_merge ? pixels * 16 : pixels * 2) > limit)
        fail(KALDRIS_TOO_BIG);
    std::atomic<unsigned> errors{0};
    d.decode_errors = 0;
    if (!m_merge) {
        auto *out = static_cast<uint16_t *>(allocateFrame(pixels * sizeof(uint16_t)));
        if (!out)
            fail(KALDRIS_OUT_OF_MEMORY);
        decodeFrame(sel, out, true, d.params.threads, errors);
        d.rawdata.raw_alloc = d.rawdata.raw_image = out;
        d.decode_errors = errors.load();
        return;
    }
    std::unique_ptr<uint16_t, decltype(&std::free)> planes(
        static_cast<uint16_t *>(allocateFrame(pixels * 4 * sizeof(uint16_t))), &std::free);
    auto *out = static_cast<uint16_t *>(allocateFrame(pixels * 4 * sizeof(uint16_t)));
    if (!planes || !out) {
        std::free(out);
        fail(KALDRIS_OUT_OF_MEMORY);
    }
    const uint16_t *frames[4];
    for (int k = 0; k < 4; ++k)
        frames[k] = planes.get() + pixels * size_t(k);
    parallelFor(4, d.params.threads,
                [&](size_t k) { decodeFrame(m_frames[k], planes.get() + pixels * k, false, 1, errors); });
    merge(frames, out, d);
    d.rawdata.raw_alloc = out;
    d.rawdata.color4_image = reinterpret_cast<ushort(*)[4]>(out);
    d.decode_errors = errors.load();
}

}
