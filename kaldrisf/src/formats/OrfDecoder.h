// Olympus (and OM Digital) ORF: a TIFF file with its own magic ("IIRO",
// "IIRS", "MMOR") whose IFD0 holds the raw strip: the maker's 12-bit
// compression, packed 12-bit data, the interlaced fields of the older
// bodies, or unpacked 16-bit samples. Levels and balance come from the maker
// note's image-processing directory (older bodies: the note itself), else
// the camera database; the preview JPEG from the camera-settings directory.
#ifndef KALDRIS_ORFDECODER_H
#define KALDRIS_ORFDECODER_H

#include "formats/FormatDecoder.h"

#include <memory>

namespace kaldris {

struct CameraEntry;

class OrfDecoder : public FormatDecoder {
public:
    static bool recognises(const ByteStream &file);

    const char *name() const override { return "olympus_orf"; }
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

    uint64_t thumbOffset() const override { return m_thumbOffset; }
    uint64_t thumbLength() const override { return m_thumbLength; }

private:
    enum class Layout {
        Compressed,    // the maker's 12-bit code, 16 bits a sample in the IFD
        PackedWords,   // 12-bit MSB-first in little-endian 32-bit words, exactly 1.5 bytes a pixel
        PackedGroups,  // 12-bit pairs in little-endian groups, a pad byte every 10 pixels: 1.6 bytes a pixel
        Packed,        // 12-bit MSB-first bytes, rows on byte boundaries
        Interlaced,    // as Packed, even rows first, odd rows from the next 2048-byte boundary
        Unpacked,      // 16-bit words in the file's order, the 12 bits at the top, exactly 2 bytes a pixel
    };

    void findRawIfd();
    void chooseLayout();
    void readLevels(kaldris_data_t &d, const CameraEntry *cam);
    void readSizes(kaldris_data_t &d, const CameraEntry *cam);
    void findThumbnail(kaldris_data_t &d);
    uint64_t noteBase() const;
    const TiffIfd *noteDirectory(uint16_t tag);

    ByteStream m_file;
    TiffTree m_tree;
    const TiffIfd *m_raw = nullptr;
    Layout m_layout = Layout::Compressed;
    uint32_t m_width = 0, m_height = 0;
    uint64_t m_offset = 0, m_length = 0;
    unsigned m_black[4] = {0, 0, 0, 0};   // colours R, G, B, G2
    bool m_haveBlack = false;
    const char *m_blackFrom = "none";
    uint64_t m_thumbOffset = 0, m_thumbLength = 0;
    // Note directories stored as blocks of bytes rather than pointed at.
    std::vector<std::unique_ptr<TiffIfd>> m_blockDirectories;
};

}

#endif
