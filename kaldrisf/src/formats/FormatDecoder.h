// One file format: open() fills the data block from the file's structure,
// unpack() decodes the selected frame into one of the raw buffers. Both
// throw DecodeError with a KaldrisError code.
#ifndef KALDRIS_FORMATDECODER_H
#define KALDRIS_FORMATDECODER_H

#include "Kaldris.h"
#include "io/ByteStream.h"
#include "tiff/TiffTree.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace kaldris {

class FormatDecoder {
public:
    virtual ~FormatDecoder() = default;

    virtual const char *name() const = 0;
    // KALDRIS_DECODER_* flags of the open file.
    virtual unsigned infoFlags() const { return 0; }

    // `tree` is the file's parsed TIFF structure (empty for other containers).
    virtual void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) = 0;
    // Decodes into a new raw_alloc, released with std::free (and `floats` for float data).
    virtual void unpack(kaldris_data_t &d, std::vector<float> &floats) = 0;

    virtual bool floatingPoint() const { return false; }
    // Float data only: black, white and maximum at `scale` times the file's
    // levels, the maximum `dataMax` x scale when given.
    virtual void applyLevels(kaldris_data_t &, double, double) const {}

    virtual uint64_t thumbOffset() const { return 0; }
    virtual uint64_t thumbLength() const { return 0; }

    // Processing of the RGB rendering the file asks for (DNG OpcodeList3):
    // `rgb` holds the visible area's linear output values, `colours` a pixel.
    virtual bool hasRenderOpcodes(const kaldris_data_t &) const { return false; }
    virtual void applyRenderOpcodes(kaldris_data_t &, uint16_t *, int, int, int) const {}

    virtual bool isSraw() const { return false; }
    virtual int srawMidpoint() const { return 0; }
    // A film scanner's RGB image (three values a pixel, no CFA).
    virtual bool isCoolscan() const { return false; }

protected:
    // A frame of three values a pixel without a CFA or margins (sRAW, scans).
    static void setRgbFrame(kaldris_data_t &d, uint32_t width, uint32_t height)
    {
        auto &s = d.sizes;
        s.raw_width = s.width = s.iwidth = ushort(width);
        s.raw_height = s.height = s.iheight = ushort(height);
        s.top_margin = s.left_margin = 0;
        s.raw_pitch = width * 6;
        d.idata.colors = 3;
        d.idata.filters = 0;
        std::snprintf(d.idata.cdesc, sizeof d.idata.cdesc, "RGB");
    }
    // A JPEG (its SOI marker) of `length` bytes at `offset`, inside the file.
    static bool isJpegAt(const ByteStream &f, uint64_t offset, uint64_t length)
    {
        return length >= 4 && f.contains(offset, length) && f.u8(offset) == 0xFF && f.u8(offset + 1) == 0xD8;
    }
    // Tells the caller of a JPEG thumbnail of `length` bytes (0: none); its
    // bytes come with unpack_thumb().
    static void announceJpegThumbnail(kaldris_data_t &d, uint64_t length)
    {
        if (!length)
            return;
        d.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
        d.thumbnail.tlength = unsigned(length < 0xFFFFFFFFu ? length : 0xFFFFFFFFu);
    }
};

}

#endif
