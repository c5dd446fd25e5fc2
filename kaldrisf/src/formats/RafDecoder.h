// Fujifilm RAF: a big-endian header ("FUJIFILMCCD-RAW") pointing at three
// blocks: the embedded JPEG (whose APP1 holds the EXIF data and the maker
// note), a directory of tagged records (sizes, crop, layout, X-Trans
// pattern, balance) and the raw data, which newer bodies wrap in a small TIFF
// whose Fujifilm IFD gives sizes, bit depth, black and the strip. Uncompressed
// 16-bit words (in the EXIF block's byte order) are read, plain or on the
// older bodies' 45-degree sensor; compressed data are recognised and refused.
#ifndef KALDRIS_RAFDECODER_H
#define KALDRIS_RAFDECODER_H

#include "formats/FormatDecoder.h"

#include <vector>

namespace kaldris {

struct CameraEntry;

class RafDecoder : public FormatDecoder {
public:
    static bool recognises(const ByteStream &file);

    const char *name() const override { return "fujifilm_raf"; }
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

    uint64_t thumbOffset() const override { return m_thumbOffset; }
    uint64_t thumbLength() const override { return m_thumbLength; }

    // The records of the RAF directory this decoder uses.
    struct Records {
        bool rawSize = false, cropOrigin = false, cropSize = false, imageSize = false, layout = false, xtrans = false, balance = false;
        uint32_t rawHeight = 0, rawWidth = 0;
        uint32_t cropTop = 0, cropLeft = 0, cropHeight = 0, cropWidth = 0;
        uint32_t imageHeight = 0, imageWidth = 0;
        uint8_t layoutBytes[2] = {0, 0};
        uint8_t xtransBytes[36] = {};
        uint16_t grgb[4] = {0, 0, 0, 0};
    };

private:
    void readExif(kaldris_data_t &d);
    void readRecords(uint64_t offset, uint64_t length);
    void readRawContainer(uint64_t offset, uint64_t length);
    void guessByteOrder();
    void placeVisibleArea(kaldris_data_t &d, const CameraEntry *cam);
    void placeColours(kaldris_data_t &d, const CameraEntry *cam);
    void setLevels(kaldris_data_t &d, const CameraEntry *cam);

    ByteStream m_file;
    TiffTree m_exif;
    Records m_rec;
    uint64_t m_thumbOffset = 0, m_thumbLength = 0;
    // The raw data: where, how long the file says, its shape.
    uint64_t m_dataOffset = 0, m_dataLength = 0;
    uint32_t m_width = 0, m_height = 0, m_bits = 0;
    bool m_bigEndian = true;
    std::vector<double> m_black;      // the Fujifilm IFD's levels, empty when none
    bool m_haveGrb = false;
    double m_grb[3] = {0, 0, 0};
};

}

#endif
