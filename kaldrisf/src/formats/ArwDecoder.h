// Sony ARW: a TIFF file whose IFD0 holds the thumbnail and points, through
// SubIFDs, at the raw directory: ARW 2 compressed rows (Compression 32767,
// one byte a pixel), 14-bit data in 16-bit words (Compression 1), or lossless
// JPEG tiles (Compression 7); the DSLR-A100's ARW 1 is one Huffman-coded
// stream (Compression 32767 with any other byte count). Levels and balance come from the raw directory
// and the enciphered SR2 private data, else the camera database.
#ifndef KALDRIS_ARWDECODER_H
#define KALDRIS_ARWDECODER_H

#include "decompress/Arw2Decoder.h"
#include "formats/FormatDecoder.h"

namespace kaldris {

struct CameraEntry;

class ArwDecoder : public FormatDecoder {
public:
    // A TIFF file that is not a DNG, whose Make or maker note is Sony's.
    static bool recognises(const TiffTree &tree);
    // The bodies whose layouts (SR2) this decoder does not
    // read: their files are refused with KALDRIS_SONY_UNSUPPORTED.
    static constexpr const char *unreadModels[1] = {"DSC-R1"};

    const char *name() const override { return "sony_arw"; }
    unsigned infoFlags() const override;
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

    uint64_t thumbOffset() const override { return m_thumbOffset; }
    uint64_t thumbLength() const override { return m_thumbLength; }

private:
    enum class Layout { Arw2, Words, LosslessTiles, Arw1 };

    const TiffIfd *findRawIfd() const;
    void readLayout(const TiffIfd &raw);
    void readSizes(kaldris_data_t &d, const TiffIfd &raw, const CameraEntry *cam);
    void readLevels(kaldris_data_t &d, const TiffIfd &raw, const CameraEntry *cam);
    void setLevels(kaldris_data_t &d, bool codeSpace) const;
    void findThumbnail(kaldris_data_t &d, const TiffIfd *raw);
    void unpackArw2(kaldris_data_t &d, uint16_t *out) const;
    void unpackWords(kaldris_data_t &d, uint16_t *out) const;
    void unpackTiles(kaldris_data_t &d, uint16_t *out) const;
    void unpackArw1(kaldris_data_t &d, uint16_t *out) const;

    ByteStream m_file;
    TiffTree m_tree;
    Layout m_layout = Layout::Arw2;
    uint32_t m_width = 0, m_height = 0, m_bits = 14;
    uint64_t m_offset = 0, m_length = 0;                  // strip data
    uint32_t m_tileWidth = 0, m_tileHeight = 0;
    std::vector<uint64_t> m_tileOffsets, m_tileLengths;
    uint16_t m_curve[Arw2Decoder::codes] = {};            // the file's curve by code (ARW 2)
    // Levels per colour index at the data's own (curve-expanded) scale.
    unsigned m_black[4] = {0, 0, 0, 0};
    unsigned m_white = 0;
    uint64_t m_thumbOffset = 0, m_thumbLength = 0;
};

}

#endif
