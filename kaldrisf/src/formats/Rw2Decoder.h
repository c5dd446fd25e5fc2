// Panasonic RW2 and Leica RWL: a TIFF variant with the magic 0x55 whose IFD0
// holds Panasonic's own raw tags (sensor size and borders, colour-filter
// code, bit depth, black levels, balance, raw format) beside Make, Model and
// the EXIF pointer, and the camera's JPEG with an EXIF block of its own.
// The raw data: the 12-bit bit-stream codec, the packed layout of the newer
// bodies, or 16-bit words.
#ifndef KALDRIS_RW2DECODER_H
#define KALDRIS_RW2DECODER_H

#include "formats/FormatDecoder.h"

#include <string>

namespace kaldris {

struct CameraEntry;

class Rw2Decoder : public FormatDecoder {
public:
    static bool recognises(const ByteStream &file);

    const char *name() const override { return "panasonic_rw2"; }
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

    uint64_t thumbOffset() const override { return m_thumbOffset; }
    uint64_t thumbLength() const override { return m_thumbLength; }

    enum class Codec { Bitstream, Packed, Unpacked16 };

private:
    void readPreviewExif(kaldris_data_t &d) const;
    void readSizes(kaldris_data_t &d, const CameraEntry *cam) const;
    void readLevels(kaldris_data_t &d, const CameraEntry *cam) const;
    std::string ratioMode() const;

    ByteStream m_file;
    TiffTree m_tree;
    Codec m_codec = Codec::Bitstream;
    uint32_t m_bits = 12;
    uint64_t m_rawOffset = 0, m_rawLength = 0;
    uint32_t m_rawWidth = 0, m_rawHeight = 0;
    uint64_t m_thumbOffset = 0, m_thumbLength = 0;
};

}

#endif
