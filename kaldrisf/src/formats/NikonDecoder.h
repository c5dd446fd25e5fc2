// Nikon NEF and NRW: a TIFF file whose raw image is the sub-IFD with
// NewSubFileType 0; its data are uncompressed (16-bit words or MSB-first
// packed) or Nikon's Huffman coding, whose predictors, curve and split row
// the maker note's tag 0x96 holds. Levels and balance come from the maker
// note, else the camera database. A Coolscan NEF holds a film scanner's RGB
// image instead, brought to 16 bits through the scanner gamma; a small raw
// ("RAW S") a YCbCr image, turned into RGB or kept as Y, Cb, Cr.
#ifndef KALDRIS_NIKONDECODER_H
#define KALDRIS_NIKONDECODER_H

#include "decompress/NikonHuffmanDecoder.h"
#include "formats/FormatDecoder.h"

#include <string_view>
#include <vector>

namespace kaldris {

struct CameraEntry;

class NikonDecoder : public FormatDecoder {
public:
    // A TIFF file (not a DNG) whose maker note is Nikon's or whose Make says Nikon.
    static bool recognises(const TiffTree &tree);

    const char *name() const override { return "nikon_nef"; }
    unsigned infoFlags() const override { return m_hasCurve ? unsigned(KALDRIS_DECODER_HASCURVE) : 0u; }
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

    uint64_t thumbOffset() const override { return m_thumbOffset; }
    uint64_t thumbLength() const override { return m_thumbLength; }
    bool isCoolscan() const override { return m_packing == Packing::Scanner; }
    bool isSraw() const override { return m_packing == Packing::Small; }
    int srawMidpoint() const override;

private:
    enum class Packing { Words, Packed, Huffman, Scanner, Small };

    const TiffIfd *findRawIfd() const;
    const TiffIfd *findScannerIfd() const;
    const TiffIfd *findSmallIfd() const;
    void openSmall(kaldris_data_t &d);
    // Sizes, levels and thumbnail of a three-colour image (scan, small raw).
    void openThreeColour(kaldris_data_t &d, const char *format, std::string_view mode);
    void unpackSmall(kaldris_data_t &d, const uint8_t *src, size_t avail);
    void openScanner(kaldris_data_t &d);
    void unpackScanner(kaldris_data_t &d, const uint8_t *src, size_t avail);
    void readLinearization(kaldris_data_t &d);
    void readLevels(kaldris_data_t &d, const CameraEntry *cam);
    void readBalance(kaldris_data_t &d) const;
    void readSizes(kaldris_data_t &d, const CameraEntry *cam);
    void findThumbnail(kaldris_data_t &d);
    void levelsInCodeSpace(kaldris_data_t &d) const;

    ByteStream m_file;
    TiffTree m_tree;
    const TiffIfd *m_raw = nullptr;
    uint32_t m_width = 0, m_height = 0, m_bits = 0;
    uint64_t m_dataOffset = 0, m_dataLength = 0;
    Packing m_packing = Packing::Words;
    bool m_bigEndianWords = false;
    NikonStream m_stream;
    bool m_hasCurve = false;
    std::vector<uint16_t> m_fileCurve;   // the file's curve, its codes only
    unsigned m_levels[4] = {0, 0, 0, 0}, m_maximum = 0;   // at the curve's scale
    bool m_dbLevels = false;   // the database entry found is for the file's bit depth
    uint64_t m_thumbOffset = 0, m_thumbLength = 0;
};

}

#endif
