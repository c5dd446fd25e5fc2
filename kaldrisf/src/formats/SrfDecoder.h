// Sony SRF (the DSC-F828 and DSC-V3): a big-endian TIFF whose IFD0 gives the
// raw area; the raw data, 14-bit values in 16-bit big-endian words, lie at a
// place fixed per body, enciphered with Sony's key stream. The data key is
// itself enciphered in the file: a byte at 200896 points (four bytes a step)
// at the file key, which deciphers the 40 bytes at 164600; their bytes 22..25
// (least significant first) are the data key. One stream runs from the first
// row on, each row taking width / 2 words.
#ifndef KALDRIS_SRFDECODER_H
#define KALDRIS_SRFDECODER_H

#include "formats/FormatDecoder.h"

namespace kaldris {

struct CameraEntry;

class SrfDecoder : public FormatDecoder {
public:
    // The bodies that write SRF.
    static constexpr const char *models[2] = {"DSC-F828", "DSC-V3"};
    // A Sony TIFF, not a DNG, from one of them.
    static bool recognises(const TiffTree &tree);

    const char *name() const override { return "sony_srf"; }
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

private:
    void readSizes(kaldris_data_t &d, const CameraEntry *cam, uint32_t left, uint32_t width);
    void readLevels(kaldris_data_t &d, const CameraEntry *cam);

    ByteStream m_file;
    TiffTree m_tree;
    uint32_t m_width = 0, m_height = 0;
    uint64_t m_offset = 0;
    uint32_t m_dataKey = 0;
};

}

#endif
