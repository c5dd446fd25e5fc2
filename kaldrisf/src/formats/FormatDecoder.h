// One file format: open() fills the data block from the file's structure,
// unpack() decodes the selected frame into one of the raw buffers. Both
// throw DecodeError with a KaldrisError code.
#ifndef KALDRIS_FORMATDECODER_H
#define KALDRIS_FORMATDECODER_H

#include "Kaldris.h"
#include "io/ByteStream.h"
#include "tiff/TiffTree.h"

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
};

}

#endif
