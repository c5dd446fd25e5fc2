// Samsung SRW: a little-endian TIFF file whose IFD0 holds the small JPEG
// thumbnail, Make, Model and the EXIF IFD; the raw frame sits in a SubIFD
// (a larger JPEG preview in another). The raw IFD's Compression picks the
// layout: 32769 padded 12-bit packing, 32770 plain packing or 16-bit words,
// or with tag 0xa010 (a table of each row's start) block layout 1, 32772
// the per-row Huffman stream, 32773 block layout 2. The maker note (a plain
// IFD, offsets from the note) gives the as-shot balance: 0xa021 less the
// black 0xa028, R G G B.
#ifndef KALDRIS_SRWDECODER_H
#define KALDRIS_SRWDECODER_H

#include "formats/FormatDecoder.h"

#include <string>

namespace kaldris {

struct CameraEntry;

class SrwDecoder : public FormatDecoder {
public:
    // A TIFF file, no DNG, whose Make is Samsung's (`make` in lower case).
    static bool recognises(const TiffTree &tree, const std::string &make);

    const char *name() const override { return "samsung_srw"; }
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

    uint64_t thumbOffset() const override { return m_thumbOffset; }
    uint64_t thumbLength() const override { return m_thumbLength; }

    enum class Codec { PackedPadded, Packed, Words, Blocks1, RowHuffman, Blocks2 };

private:
    const TiffIfd *findRawIfd() const;
    void readLevels(kaldris_data_t &d, const CameraEntry *cam) const;
    void findThumbnail(kaldris_data_t &d);

    ByteStream m_file;
    TiffTree m_tree;
    Codec m_codec = Codec::Blocks1;
    uint32_t m_width = 0, m_height = 0, m_bits = 12;
    uint64_t m_rawOffset = 0, m_rawLength = 0, m_rowTable = 0;
    uint64_t m_thumbOffset = 0, m_thumbLength = 0;
};

}

#endif
